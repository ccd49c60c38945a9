// The trash on a mount of its own (tmpfs, mounted in a private mount namespace): a
// renaming run on another file system uses that mount's top-directory trash; where that
// trash cannot take a file, the file stays. Needs root for the mounts; exits with 77
// (skipped) and the reason where it cannot.

#include "AlbumFixture.h"
#include "AlbumRename.h"
#include "AlbumWorkflow.h"
#include "Trash.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace album;

namespace {

bool Mount(const QString &where, const char *options = "mode=0755") {
    return ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", 0, options) == 0;
}
void Unmount(const QString &where) { ::umount2(QFile::encodeName(where).constData(), MNT_DETACH); }

QString Uid() { return QString::number(::getuid()); }

} // namespace

class TestTrashMount : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;

private slots:
    void cleanup() {
        Unmount(m_tmp.filePath("mount"));
        fixture::TakeTrash();
    }

    void otherMountUsesItsTopDirectoryTrash_data() {
        QTest::addColumn<QString>("shared");  // what $topdir/.Trash is
        QTest::addColumn<QString>("trash");   // the trash that must be used
        QTest::newRow("no .Trash") << "" << ".Trash-" + Uid();
        QTest::newRow("sticky .Trash") << "sticky" << ".Trash/" + Uid();
        QTest::newRow(".Trash not sticky") << "plain" << ".Trash-" + Uid();
        QTest::newRow(".Trash a link to a sticky folder") << "link" << ".Trash-" + Uid();
    }
    void otherMountUsesItsTopDirectoryTrash() {
        QFETCH(QString, shared);
        QFETCH(QString, trash);
        const QString top = m_tmp.filePath("mount");
        QVERIFY2(QDir().mkpath(top) && Mount(top), std::strerror(errno));
        const QByteArray path = QFile::encodeName(top + "/.Trash");
        if (shared == "sticky" || shared == "plain")
            QVERIFY(::mkdir(path.constData(), 0700) == 0 && ::chmod(path.constData(), shared == "sticky" ? 01777 : 0777) == 0);
        else if (shared == "link")
            QVERIFY(QDir().mkdir(top + "/elsewhere") && ::chmod(QFile::encodeName(top + "/elsewhere").constData(), 01777) == 0 &&
                    QFile::link(top + "/elsewhere", top + "/.Trash"));
        const QString folder = top + "/Album 1/";
        QVERIFY(QDir().mkpath(folder));
        const QStringList album{"b.mp3", "Über a.mp3"};
        fixture::FakeAlbum(folder, album);
        const auto before = fixture::Snapshot(folder);

        const RenameResult r = RenameAlbum(folder, album, {"", false});

        QCOMPARE(r.renamed, 2);
        QCOMPARE(fixture::Listing(folder), QStringList({"001.mp3", "002.mp3"}));
        for (const QString &name : album) {
            QCOMPARE(fixture::Hash(top + "/" + trash + "/files/" + name), before.value(name));
            const QList<QByteArray> info = fixture::Read(top + "/" + trash + "/info/" + name + ".trashinfo").split('\n');
            // Relative to the mount, so the trash still works where it is mounted next time.
            QCOMPARE(info.value(1), "Path=" + QFile::encodeName("Album 1/" + name).toPercentEncoding("/"));
        }
        QVERIFY(fixture::TakeTrash().isEmpty());  // nothing crossed into the home trash
        QCOMPARE(QFileInfo::exists(top + "/.Trash-" + Uid()), trash.startsWith(".Trash-"));
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(top + "/" + trash).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0700u);
    }

    // Where the mount's trash cannot take the file, it keeps its name and its bytes and
    // the reason says why; a name left in the trash without its record is not taken.
    void refusalsKeepTheFile_data() {
        QTest::addColumn<QString>("setup"); // "full", "read-only", "gone", or a file in the trash's way
        QTest::addColumn<QString>("reason"); // empty: trashed as b.2.mp3
        QTest::newRow("a file for the trash") << ".Trash-UID" << "kein Papierkorb anlegen: keine Berechtigung";
        QTest::newRow("a file for its files") << ".Trash-UID/files" << "an seiner Stelle liegt eine Datei";
        QTest::newRow("full") << "full" << "kann nichts abgelegt werden: der Datenträger ist voll";
        QTest::newRow("a name left over") << ".Trash-UID/files/b.mp3" << "";
        QTest::newRow("read-only") << "read-only" << "kein Papierkorb anlegen: der Datenträger ist schreibgeschützt";
        QTest::newRow("gone") << "gone" << "ist nicht mehr vorhanden";
    }
    void refusalsKeepTheFile() {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        const QString top = m_tmp.filePath("mount"), file = top + "/b.mp3";
        QVERIFY(QDir().mkpath(top) && Mount(top, setup == "full" ? "mode=0755,size=64k" : "mode=0755"));
        fixture::FakeAlbum(top + "/", {"b.mp3"});
        const QByteArray bytes = fixture::Read(file);
        if (setup == "gone") {
            QVERIFY(QFile::remove(file));
        } else if (setup == "read-only") {
            QVERIFY(::mount(nullptr, QFile::encodeName(top).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        } else if (setup == "full") {
            QVERIFY(!fixture::Write(top + "/fill", QByteArray(1 << 20, 'x')));
        } else {
            const QString in = top + "/" + QString(setup).replace("UID", Uid());
            QVERIFY(QDir().mkpath(QFileInfo(in).path()) && fixture::Write(in, "x"));
        }
        const platform::TrashOutcome out = platform::MoveToTrash(file);
        QVERIFY2(out.ok == reason.isEmpty() && out.reason.contains(reason), qPrintable(out.reason));
        QCOMPARE(fixture::Read(out.ok ? top + "/.Trash-" + Uid() + "/files/b.2.mp3" : file), setup == "gone" ? "" : bytes);
    }
};

int main(int argc, char **argv) {
    // The mounts live in a mount namespace of this process and end with it.
    QByteArray why;
    QTemporaryDir probe;
    if (::geteuid() != 0)
        why = "not root: cannot mount a tmpfs";
    else if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        why = QByteArray("no mount namespace of its own: ") + std::strerror(errno);
    else if (!Mount(probe.path()))
        why = QByteArray("mounting a tmpfs was refused: ") + std::strerror(errno);
    Unmount(probe.path());
    if (!why.isEmpty())
        return std::printf("SKIP: %s\n", why.constData()), 77;
    fixture::Sandbox sandbox;
    QCoreApplication app(argc, argv);
    sandbox.Enter();
    TestTrashMount tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_trashmount.moc"
