// The trash on mounts of their own (tmpfs, mounted in a private mount namespace):
// a renaming run on another file system uses that mount's top-directory trash, and
// a read-only trash makes the window ask, loses nothing and reports what stayed.
// Needs root for the mounts; exits with 77 (skipped) and the reason where it cannot.

#include "AlbumFixture.h"
#include "AlbumWorkflow.h"
#include "Root.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace album;

namespace {

bool Mount(const QString &where, bool readOnly = false) {
    return ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", readOnly ? MS_RDONLY : 0, "mode=0755") == 0;
}
void Unmount(const QString &where) { ::umount2(QFile::encodeName(where).constData(), MNT_DETACH); }

QString Uid() { return QString::number(::getuid()); }

} // namespace

class TestTrashMount : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QStringList m_mounts;

    QString MountedFolder(const QString &name) {
        const QString dir = m_tmp.filePath(name);
        QDir().mkpath(dir);
        if (!Mount(dir))
            return {};
        m_mounts << dir;
        return dir;
    }

private slots:
    void initTestCase() { fixture::RequireTools(); }
    void cleanup() {
        for (const QString &dir : m_mounts)
            Unmount(dir);
        m_mounts.clear();
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
        const QString top = MountedFolder(QStringLiteral("mount"));
        QVERIFY2(!top.isEmpty(), std::strerror(errno));
        if (shared == QLatin1String("sticky") || shared == QLatin1String("plain")) {
            const QByteArray path = QFile::encodeName(top + "/.Trash");
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
            QCOMPARE(::chmod(path.constData(), shared == QLatin1String("sticky") ? 01777 : 0777), 0);
        } else if (shared == QLatin1String("link")) {
            QCOMPARE(::mkdir(QFile::encodeName(top + "/elsewhere").constData(), 01777), 0);
            QVERIFY(QFile::link(top + "/elsewhere", top + "/.Trash"));
        }
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

    void readOnlyTrashAsksAndLosesNothing_data() {
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("laterFiles");  // what the report says of the files after the first
        QTest::newRow("go on") << true << 3 << "schreibgeschützt";
        QTest::newRow("stop") << false << 1 << "abgebrochen";
    }
    void readOnlyTrashAsksAndLosesNothing() {
        QFETCH(bool, goOn);
        QFETCH(int, questions);
        QFETCH(QString, laterFiles);
        const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
        QVERIFY(QDir().mkpath(trash));
        QVERIFY2(Mount(trash, true), std::strerror(errno));
        m_mounts << trash;
        const QString folder = fixture::FreshFolder(m_tmp, QStringLiteral("album"));
        const QStringList album{"a.mp3", "b.mp3", "c.mp3"};
        QVERIFY(fixture::MakeAlbum(folder, album));
        const auto audio = fixture::AudioHashes(folder);

        Root w;
        w.SetFolderPicker([folder] { return folder; });
        QStringList notices;
        w.SetNotice([&](const QString &title, const QString &text) { notices << title << text; });
        w.SetConfirm([](const QString &, const QString &) { return true; });
        w.bOrdnerClick();
        w.bStarten()->click();
        w.Control<QCheckBox>("bChangeFilename")->click();
        w.Control<QLineEdit>("tFilename")->setText("Neu");
        w.bStarten()->click();

        // The question is a real message box: read it and answer it.
        QStringList asked;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            asked << box->windowTitle() << box->text();
            box->button(goOn ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        answer.start(10);
        w.bStarten()->click();
        answer.stop();

        QCOMPARE(asked.size(), 2 * questions);
        QCOMPARE(asked.value(0), QStringLiteral(" Dateien umbenennen"));
        QVERIFY2(asked.value(1).contains("\"a.mp3\"") && asked.value(1).contains("schreibgeschützt"),
                 qPrintable(asked.value(1)));
        // Nothing lost: every file under its old name, its audio unchanged.
        QCOMPARE(fixture::Listing(folder), album);
        QCOMPARE(fixture::AudioHashes(folder), audio);
        // The end of the run names each file that kept its name.
        QCOMPARE(notices.size(), 2);
        QCOMPARE(notices[0], QStringLiteral(" Dateien umbenennen"));
        const QStringList lines = notices[1].split('\n');
        for (const QString &name : album) {
            const QString line = lines.filter("  " + name + ": ").value(0);
            QVERIFY2(line.contains(name == "a.mp3" ? QStringLiteral("schreibgeschützt") : laterFiles), qPrintable(notices[1]));
        }
    }
};

int main(int argc, char **argv) {
    // The mounts live in a mount namespace of this process and end with it.
    QByteArray why;
    if (::geteuid() != 0)
        why = "not root: cannot mount a tmpfs";
    else if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        why = QByteArray("no mount namespace of its own: ") + std::strerror(errno);
    if (why.isEmpty()) {
        QTemporaryDir probe;
        if (!Mount(probe.path()))
            why = QByteArray("mounting a tmpfs was refused: ") + std::strerror(errno);
        else
            Unmount(probe.path());
    }
    if (!why.isEmpty()) {
        std::printf("SKIP: %s\n", why.constData());
        return 77;
    }
    fixture::Sandbox sandbox;
    QApplication app(argc, argv);
    sandbox.Enter();
    TestTrashMount tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_trashmount.moc"
