// The whole run (tags, names, order) at the top of an exFAT image: after it the device
// lists the album in album order and fsck finds the image clean. Skips itself where a
// loop device or the tools are missing.
// As the album run's last step (on the test's own disk, taken for FAT): killed in the
// middle and finished or rolled back, nothing stays in the holding folder, no byte
// changes, and the run says so when the folder does not list the album in order.

#include "AlbumFixture.h"
#include "AlbumRename.h"
#include "AlbumRun.h"
#include "ChildProcess.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "RecordedRun.h"
#include "TagPanel.h"

#include <QScopeGuard>

using album::DirectoryOrder;

namespace {

QString Tool(const char *name) {
    const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
    return found.isEmpty() ? QStandardPaths::findExecutable(QString::fromLatin1(name), {"/usr/sbin", "/sbin"}) : found;
}

int Run(const QString &program, const QStringList &args, QByteArray *out = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return -1;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The files as another reader of the directory lists them, of those in `names`.
QStringList Listed(const QString &folder, const QStringList &names) {
    QStringList listed;
#ifdef Q_OS_WIN
    // FindFirstFileW in the folder's own order (under wine, the Linux directory's).
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Unsorted))
        if (names.contains(name))
            listed << name;
#else
    QByteArray listing;
    if (Run("ls", {"-f", folder}, &listing) == 0)
        for (const QByteArray &line : listing.split('\n'))
            if (names.contains(QString::fromUtf8(line)))
                listed << QString::fromUtf8(line);
#endif
    return listed;
}

// The album run with nothing but the directory order (and the renaming) to do; the old
// names go into a folder `bin` (relative to the album) on the same device, by a rename.
album::RunResult DirectoryRun(const QString &folder, const QStringList &entries, bool rename, bool tags = false,
                              const QString &bin = "../Papierkorb/") {
    album::AlbumRun run;
    run.SetYield([] {});
    if (tags) {
        tagpanel::Rows rows;
        rows.artist = rows.track = true;
        rows.tArtist = "Die Künstlerin";
        album::FileSteps steps;
        steps.writeTags = [rows](const album::RunFile &f) mutable {
            rows.tTrack = QString::number(f.index + 1);
            if (!album::WriteRowsAlone(f.path, rows).isEmpty())
                throw std::runtime_error("write");
        };
        run.SetSteps(steps);
    }
    run.SetTrashFn([trash = folder + bin](const QString &path) {
        QDir().mkpath(trash);
        return platform::TrashOutcome{QFile::rename(path, trash + QFileInfo(path).fileName()), "voll"};
    });
    album::RunPlan plan;
    plan.folder = folder;
    plan.entries = entries;
    plan.directoryOrder = true;
    if (rename)
        plan.rename = album::RenameOptions{QString(), true};
    return run.Run(plan);
}

// A child process of this test: "ALBUM MOVES RENAME ENTRY..." the directory run,
// ended right after its move number MOVES as a kill would.
int Child(const QStringList &args) {
    const int moves = args.value(1).toInt();
    DirectoryOrder::SetMatters([](const QString &) { return true; });
    DirectoryOrder::SetMoveHook([moves](int n) {
        if (n == moves)
            std::_Exit(0); // as a kill: nothing after this reaches the disk
    });
    child::Go();
    DirectoryRun(args.value(0), args.mid(3), args.value(2) == "rename");
    return 1;
}

} // namespace

class TestDirOrder : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;

private slots:
    void otherFileSystemsNeedNothing() { QVERIFY(!DirectoryOrder::Matters(m_tmp.path())); }

    // The whole run (tags, names, order) at the top of an exFAT image through exfat-fuse
    // on a loop device, where the holding folder lies inside the album folder. exfat-fuse
    // lists a folder from its cache until it is mounted again, so the order is read after
    // a new mount; fsck.exfat finds the image clean.
    void exfatRunEndsInOrder() {
        const QString image = m_tmp.filePath("exfat.img"), mount = fixture::FreshFolder(m_tmp, "ex");
        QByteArray loop;
        if (Tool("mkfs.exfat").isEmpty() || Tool("mount.exfat-fuse").isEmpty() || Tool("losetup").isEmpty() ||
            Run("truncate", {"-s", "16M", image}) != 0 || Run(Tool("mkfs.exfat"), {image}) != 0 ||
            Run(Tool("losetup"), {"-f", "--show", image}, &loop) != 0)
            QSKIP("no exFAT image on a loop device here (exfatprogs, exfat-fuse and a free loop device are needed)");
        const QString device = QString::fromLatin1(loop.trimmed());
        auto detach = qScopeGuard([&] {
            Run("fusermount", {"-u", mount});
            Run(Tool("losetup"), {"-d", device});
        });
        const auto mountIt = [&] { return Run(Tool("mount.exfat-fuse"), {device, mount}) == 0; };
        if (!mountIt())
            QSKIP("exfat-fuse cannot mount the image here");
        DirectoryOrder::SetMatters([](const QString &) { return true; }); // exfat-fuse says "fuseblk"
        auto reset = qScopeGuard([] { DirectoryOrder::SetMatters({}); });
        const QString album = mount;
        // A short name's slot free at the start: the second new name fills it, the first is too long.
        const QStringList entries{"Ein sehr langer Dateiname c.mp3", "b.mp3", "a.mp3"};
        QVERIFY(fixture::Write(album + "x.jpg", "jpeg"));
        QVERIFY(fixture::MakeAlbum(album, entries) && QFile::remove(album + "x.jpg"));
        QByteArrayList audio;
        for (const QString &entry : entries)
            audio << fixture::Read(album + entry);
        const album::RunResult r = DirectoryRun(album, entries, true, true, ".Papierkorb/");
        // Its own read-back may warn (the cache), the step itself must not have failed.
        QVERIFY2(r.outcome == album::RunOutcome::Done && (r.problem.isEmpty() || r.problem.startsWith("Der Ordner listet")),
                 qPrintable(r.problem));
        QVERIFY(Run("fusermount", {"-u", mount}) == 0 && mountIt());
        QStringList names;
        for (int i = 0; i < entries.size(); ++i)
            names << QStringLiteral("%1- %2").arg(i + 1, 3, 10, QLatin1Char('0')).arg(entries[i]);
        QCOMPARE(Listed(album, names), names);
        for (int i = 0; i < entries.size(); ++i) {
            const QString path = album + names[i];
            QCOMPARE(fixture::Audio(fixture::Read(path)), audio[i]);
            const QJsonObject tags = fixture::ReadTags(path);
            QCOMPARE(tags["v2"].toObject()["TRCK"].toString(), QString::number(i + 1));
            QCOMPARE(tags["v1"].toObject()["artist"].toString(), QString("Die Künstlerin"));
        }
        QVERIFY(Run("fusermount", {"-u", mount}) == 0);
        QCOMPARE(Run(Tool("fsck.exfat"), {"-n", device}), 0);
    }

    // The album run's last step, or a kill after `moves` renames in it and then the
    // repair: nothing in the holding folder, every byte as it was, finished in album order.
    void albumRunEndsInOrder_data() {
        QTest::addColumn<bool>("rename");
        QTest::addColumn<int>("moves");  // 0: not killed
        QTest::addColumn<bool>("forward");
        QTest::newRow("run") << false << 0 << true;
        QTest::newRow("renamed run") << true << 0 << true;
        // Out: 3 files, then the record; back: the files, then the record.
        QTest::newRow("killed with the record away, finished") << false << 4 << true;
        QTest::newRow("killed on the way back, finished") << true << 6 << true;
        QTest::newRow("killed with the record away, rolled back") << true << 4 << false;
    }
    void albumRunEndsInOrder() {
        QFETCH(bool, rename);
        QFETCH(int, moves);
        QFETCH(bool, forward);
        DirectoryOrder::SetMatters([](const QString &) { return true; });
        auto reset = qScopeGuard([] { DirectoryOrder::SetMatters({}); });
        QDir(m_tmp.filePath("Papierkorb")).removeRecursively();
        const QString album = fixture::FreshFolder(m_tmp, "Album");
        const QStringList created{"c.mp3", "Ein sehr langer Dateiname b.mp3", "a.mp3"};
        const QStringList entries{"a.mp3", "Ein sehr langer Dateiname b.mp3", "c.mp3"};
        QVERIFY(fixture::MakeAlbum(album, created));
        const auto before = fixture::Snapshot(album);
        QString problem;
        if (moves > 0) {
            QCOMPARE(child::Run(QStringList{album, QString::number(moves), rename ? "rename" : ""} + entries), 0);
            QVERIFY(DirectoryOrder::Interrupted(album));
            album::RecordedRun run;
            QVERIFY(album::RunJournal::Exists(album) && run.Load(album));
            QVERIFY(run.State().dirOrderBegun && !run.State().complete);
            const album::RepairResult r = forward ? run.Forward() : run.Back(false);
            QVERIFY2(r.ok || r.failed.size() == 1, qPrintable(r.failed.join('\n')));
            problem = r.failed.join('\n');
        } else {
            const album::RunResult r = DirectoryRun(album, entries, rename);
            QVERIFY(r.outcome == album::RunOutcome::Done);
            problem = r.problem;
        }
        QVERIFY(!DirectoryOrder::Interrupted(album));
        QStringList names = forward ? entries : created;
        if (rename && forward)
            for (int i = 0; i < names.size(); ++i)
                names[i] = QStringLiteral("%1- %2").arg(i + 1, 3, 10, QLatin1Char('0')).arg(names[i]);
        // Read back: silent exactly when another reader lists the album in order.
        QCOMPARE(problem.isEmpty(), !forward || Listed(album, names) == names);
        // Every file once, each with its own bytes.
        const auto after = fixture::Snapshot(album);
        QCOMPARE(after.size(), before.size());
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(after.value(forward ? names[i] : entries[i]), before.value(entries[i]));
    }
};

SORTI_TEST_MAIN_WITH_CHILD(QCoreApplication, TestDirOrder, Child)
#include "tst_dirorder.moc"
