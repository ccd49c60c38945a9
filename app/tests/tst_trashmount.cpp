// The trash on a mount of its own (tmpfs, mounted in a private mount namespace): a
// renaming run on another file system uses that mount's top-directory trash. Needs root
// for the mounts; exits with 77 (skipped) and the reason where it cannot.

#include "AlbumFixture.h"
#include "AlbumWorkflow.h"

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

bool Mount(const QString &where) {
    return ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", 0, "mode=0755") == 0;
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
