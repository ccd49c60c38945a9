// The directory order on a FAT image mounted with fusefat: after the rewrite the
// folder lists the album in album order, every byte of every file is unchanged and
// fsck finds the image clean. The whole run (tags, names, order) on an exFAT image.
// Skips itself where FUSE, a loop device or the tools are missing.
// As the album run's last step (on the test's own disk, taken for FAT): killed in the
// middle and finished or rolled back, nothing stays in the holding folder, no byte
// changes, and the run says so when the folder does not list the album in order.

#include "AlbumFixture.h"
#include "AlbumRun.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "Id3Bytes.h"
#include "RunRepair.h"
#include "TagPanel.h"

#include <QScopeGuard>

#include <sys/wait.h>
#include <unistd.h>

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

QByteArray Mp3(int seed) {
    const std::string s = id3bytes::Tag(3, id3bytes::Frame("TIT2", id3bytes::Text("t"))) +
                          streambytes::Stream(streambytes::Mpeg{}, 8, static_cast<unsigned>(seed));
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// The files as another reader of the directory lists them, of those in `names`.
QStringList Listed(const QString &folder, const QStringList &names) {
    QByteArray listing;
    QStringList listed;
    if (Run("ls", {"-f", folder}, &listing) == 0)
        for (const QByteArray &line : listing.split('\n'))
            if (names.contains(QString::fromUtf8(line)))
                listed << QString::fromUtf8(line);
    return listed;
}

// The album run with nothing but the directory order (and the renaming) to do.
album::RunResult DirectoryRun(const QString &folder, const QStringList &entries, bool rename, bool tags = false) {
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
    // A trash on the same image: the old names go there by a rename.
    run.SetTrashFn([folder](const QString &path) {
        QDir().mkpath(folder + "../Papierkorb");
        return platform::TrashOutcome{QFile::rename(path, folder + "../Papierkorb/" + QFileInfo(path).fileName()), "voll"};
    });
    album::RunPlan plan;
    plan.folder = folder;
    plan.entries = entries;
    plan.directoryOrder = true;
    if (rename)
        plan.rename = album::RenameOptions{QString(), true};
    return run.Run(plan);
}

} // namespace

class TestDirOrder : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_image, m_mount;

    // A fresh FAT image mounted at m_mount; why not, when it cannot be.
    QString Mount() {
        if (!QFileInfo::exists("/dev/fuse"))
            return "/dev/fuse is missing: no FAT image can be mounted here";
        if (Tool("fusefat").isEmpty() || Tool("mkfs.vfat").isEmpty() || Tool("fsck.vfat").isEmpty() ||
            Tool("fusermount").isEmpty())
            return "fusefat, fuse3 or dosfstools is missing (scripts/deps.sh installs them)";
        m_image = m_tmp.filePath("fat.img"), m_mount = fixture::FreshFolder(m_tmp, "mnt");
        QFile::remove(m_image);
        if (Run("truncate", {"-s", "8M", m_image}) != 0 || Run(Tool("mkfs.vfat"), {m_image}) != 0 ||
            Run(Tool("fusefat"), {"-o", "rw+", m_image, m_mount}) != 0)
            return "the FAT image cannot be made or mounted";
        return {};
    }
    // Unmounts and checks the image.
    bool Clean() { return Run("fusermount", {"-u", m_mount}) == 0 && Run(Tool("fsck.vfat"), {"-n", m_image}) == 0; }

private slots:
    void cleanup() {
        if (!m_mount.isEmpty())
            Run("fusermount", {"-u", m_mount});
    }

    void otherFileSystemsNeedNothing() { QVERIFY(!DirectoryOrder::Matters(m_tmp.path())); }

    void fatListsTheAlbumInOrder_data() {
        QTest::addColumn<QStringList>("created"); // in this order; not .mp3: not in the album
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("under"); // the album folder in the image; "": its top
        QTest::newRow("reversed, long names") << QStringList{"01 Zebra.mp3", "Track 2 mit einem langen Namen.mp3", "a.mp3", "cover.jpg"}
                                             << QStringList{"a.mp3", "Track 2 mit einem langen Namen.mp3", "01 Zebra.mp3"}
                                             << "Album/";
        QTest::newRow("another file between") << QStringList{"a.mp3", "cover.jpg", "Ein sehr langer Dateiname fuer drei.mp3", "b.mp3"}
                                              << QStringList{"Ein sehr langer Dateiname fuer drei.mp3", "b.mp3", "a.mp3"}
                                              << "Album/";
        QTest::newRow("top of the device") << QStringList{"a.mp3", "cover.jpg", "Ein sehr langer Dateiname fuer drei.mp3", "b.mp3"}
                                           << QStringList{"Ein sehr langer Dateiname fuer drei.mp3", "b.mp3", "a.mp3"} << "";
    }
    void fatListsTheAlbumInOrder() {
        QFETCH(QStringList, created);
        QFETCH(QStringList, order);
        QFETCH(QString, under);
        if (const QString why = Mount(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(DirectoryOrder::Matters(m_mount));

        const QString album = m_mount + under;
        QVERIFY(QDir().mkpath(album));
        QHash<QString, QByteArray> bytes;
        for (int i = 0; i < created.size(); ++i)
            QVERIFY(fixture::Write(album + created[i], bytes[created[i]] = Mp3(i)));
        const album::DirectoryOrderResult r = DirectoryOrder::Apply(album, order);
        QVERIFY2(r.done && r.stranded.isEmpty(), qPrintable(r.error));
        QCOMPARE(Listed(album, order), order);
        QVERIFY(r.inOrder);
        for (const QString &name : created)
            QCOMPARE(fixture::Read(album + name), bytes[name]);
        QCOMPARE(fixture::Listing(album).size(), created.size()); // the holding folder is gone
        QVERIFY(!QFileInfo::exists(DirectoryOrder::HoldingFolder(album)));
        QVERIFY(Clean());
    }

    // FAT keeps no POSIX modes (fusefat refuses to set them): the renaming's copy still goes through.
    void copiesOntoFat() {
        if (const QString why = Mount(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(fixture::Write(m_mount + "a.mp3", Mp3(1)));
        QVERIFY(album::CopyAndSync(m_mount + "a.mp3", m_mount + "b.mp3"));
        QCOMPARE(fixture::Read(m_mount + "b.mp3"), Mp3(1));
        QVERIFY(Clean());
    }

    // The whole run (tags, names, order) on an exFAT image through exfat-fuse on a loop
    // device (fusefat puts a write that follows a read up to the file's end elsewhere in
    // the file). exfat-fuse lists a folder from its cache until it is mounted again, so
    // the order is read after a new mount; fsck.exfat finds the image clean.
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
        const QString album = mount + "Album/";
        QVERIFY(QDir().mkpath(album));
        // A short name's slot free at the start: the second new name fills it, the first is too long.
        const QStringList entries{"Ein sehr langer Dateiname c.mp3", "b.mp3", "a.mp3"};
        QVERIFY(fixture::Write(album + "x.jpg", "jpeg"));
        for (int i = 0; i < entries.size(); ++i)
            QVERIFY(fixture::Write(album + entries[i], Mp3(i)));
        QVERIFY(QFile::remove(album + "x.jpg"));
        QVERIFY(DirectoryRun(album, entries, true, true).outcome == album::RunOutcome::Done);
        QVERIFY(Run("fusermount", {"-u", mount}) == 0 && mountIt());
        QStringList names;
        for (int i = 0; i < entries.size(); ++i)
            names << QStringLiteral("%1- %2").arg(i + 1, 3, 10, QLatin1Char('0')).arg(entries[i]);
        QCOMPARE(Listed(album, names), names);
        for (int i = 0; i < entries.size(); ++i) {
            const QString path = album + names[i];
            QCOMPARE(fixture::Audio(fixture::Read(path)), fixture::Audio(Mp3(i)));
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
        for (int i = 0; i < created.size(); ++i)
            QVERIFY(fixture::Write(album + created[i], Mp3(i)));
        const auto before = fixture::Snapshot(album);
        QString problem;
        if (moves > 0) {
            const pid_t child = fork();
            if (child == 0) {
                DirectoryOrder::SetMoveHook([moves](int n) {
                    if (n == moves)
                        _exit(0);
                });
                DirectoryRun(album, entries, rename);
                _exit(1);
            }
            int status = -1;
            QVERIFY(child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
            QVERIFY(DirectoryOrder::Interrupted(album));
            album::RunJournal journal;
            QVERIFY(album::RunJournal::Exists(album) && journal.Load(album));
            QVERIFY(journal.State().dirOrderBegun && !journal.State().complete);
            const album::RepairResult r = forward ? album::RollForward(journal) : album::RollBack(journal, false);
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

SORTI_TEST_MAIN(QCoreApplication, TestDirOrder)
#include "tst_dirorder.moc"
