// The album work without a window. The renaming run: numbered names in list order,
// renumbering after a reorder, names the file system cannot take, and faults injected
// into every step; no file is ever lost, overwritten or moved out of the folder; the
// trash it uses. The playlist's name. The run's record: a crash after every step and
// kills at random moments, then finishing or rolling back, and the undo of a finished run.

#include "AlbumFixture.h"
#include "AlbumRename.h"
#include "AlbumRun.h"
#include "AlbumWorkflow.h"
#include "ChildProcess.h"
#include "DirectoryOrder.h"
#include "FileOps.h"
#include "Headless.h"
#include "Id3Bytes.h"
#include "RecordedRun.h"
#include "RunTexts.h"
#include "RunStore.h"
#include "TagError.h"
#include "TagRegions.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <functional>
#include <random>
#include <stdexcept>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace album;

namespace {

QString StatusLetters(const RenameResult &r) {
    static const char letters[] = "RUMBCFSKT"; // in the order of RenameStatus
    QString s;
    for (const RenameEntry &e : r.entries)
        s += QLatin1Char(letters[static_cast<int>(e.status)]);
    return s;
}

// "name<source" for every file of the folder: which old file's content it holds.
QStringList Provenance(const QString &folder, const QHash<QString, QByteArray> &before) {
    QStringList out;
    const auto after = fixture::Snapshot(folder);
    for (const QString &name : fixture::Listing(folder))
        out << name + "<" + before.key(after.value(name), "?");
    return out;
}

// Three files as other programs leave them: both tags with room to spare, no tag at
// all, an ID3v2 tag too small for the new fields; and an old playlist.
void TaggedAlbum(const QString &folder) {
    using namespace id3bytes;
    const streambytes::Mpeg m;
    const std::string v2 = Tag(3, Frame("TIT2", Text("Alt")) + Frame("TPE1", Text("Vorher")), 600);
    const std::string files[] = {v2 + streambytes::Stream(m, 12, 1) + V1("Alt", "Vorher"), streambytes::Stream(m, 12, 2),
                                 Tag(3, Frame("TIT2", Text("A"))) + streambytes::Stream(m, 12, 3)};
    const char *names[] = {"001.mp3", "002.mp3", "x.mp3"};
    for (int i = 0; i < 3; ++i)
        QVERIFY(fixture::Write(folder + names[i], QByteArray::fromStdString(files[i])));
    QVERIFY(fixture::Write(folder + "Best.m3u", "old.mp3\r\n"));
}

// The album run of the window without it: 002, 001, x in this order (a renumbering
// that swaps two names), artist, album and the counted track, renaming optional, the playlist.
RunResult WindowlessRun(const QString &folder, bool rename, const QString &failOn = {}) {
    tagpanel::Rows rows;
    rows.artist = rows.track = rows.album = true;
    rows.tArtist = "Die Künstlerin";
    rows.tAlbum = "Best";
    rows.tTrack = "1";
    FileSteps steps;
    steps.writeTags = [rows, failOn](const RunFile &f) mutable {
        rows.tTrack = QString::number(f.index + 1);
        if (f.entry == failOn || !WriteRowsAlone(f.path, rows).isEmpty())
            throw std::runtime_error("write");
    };
    AlbumRun run;
    run.SetSteps(steps);
    run.SetYield([] {});
    RunPlan plan;
    plan.folder = folder;
    plan.entries = QStringList{"002.mp3", "001.mp3", "x.mp3"};
    plan.writePlaylist = true;
    plan.albumText = [] { return QString("Best"); };
    plan.rows = RowsToJson(rows);
    if (rename)
        plan.rename = RenameOptions{};
    return run.Run(plan);
}

// `sortimentor ARGS` as from a terminal, its output discarded; the exit code.
int Headless(const QStringList &args) {
    const auto sink = std::unique_ptr<FILE, int (*)(FILE *)>(std::tmpfile(), std::fclose);
    return headless::Run(args, sink.get(), sink.get());
}

// A child process of this test: "run FOLDER [MARKS]", the recorded run with renaming as
// `sortimentor --run` makes it, ended right after its mark number MARKS as a kill would;
// "cli ARGS...", the terminal;
// on Windows "hold FILE", a player that holds the file open until it is killed.
int Child(const QStringList &args) {
    if (args.value(0) == "run") {
        const int marks = args.value(2, "-1").toInt();
        RunJournal::SetMarkHook([marks](int n) {
            if (n == marks)
                std::_Exit(0); // as a kill: nothing after this reaches the disk
        });
        child::Go();
        Headless({"--run", "--artist", "Die Künstlerin", "--album", "Best", "--track-start", "1", "--playlist", "--rename",
                  args.value(1), "002.mp3", "001.mp3", "x.mp3"});
        return marks < 0 ? 0 : 1;
    }
#ifdef Q_OS_WIN
    if (args.value(0) == "hold") { // as a player holds a file: others may read it, nothing more
        const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(args.value(1).utf16()), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        child::Go();
        Sleep(h == INVALID_HANDLE_VALUE ? 0 : INFINITE);
        return 1;
    }
#endif
    child::Go();
    return Headless(args.mid(1));
}

// The recorded run with renaming in a child, ended right after its mark number `marks`.
bool CrashedRun(const QString &folder, int marks) { return child::Run({"run", folder, QString::number(marks)}) == 0; }

// The run, or `sortimentor ARGS`, in a child killed at `ns`; false when none could start.
bool Killed(const QStringList &args, qint64 ns) { return child::Run(args, ns) >= -1; }

} // namespace

class TestAlbumWork : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_folder;
    QHash<QString, QByteArray> m_finished; // the album as the whole recorded run leaves it
    qint64 m_runNs = 0;                    // and the time that run took to its end mark
    int m_runs = 0;

    void Finish() {
        if (!m_finished.isEmpty())
            return;
        TaggedAlbum(m_folder);
        int total = -1;
        QElapsedTimer clock;
        // Until the end mark: what follows it (the record leaving the album) is no part of the run.
        RunJournal::SetMarkHook([&](int n) { m_runNs = (total = n) == 14 ? clock.nsecsElapsed() : m_runNs; });
        clock.start();
        QVERIFY(WindowlessRun(m_folder, true).outcome == RunOutcome::Done);
        RunJournal::SetMarkHook({});
        QCOMPARE(total, 14);
        m_finished = fixture::Snapshot(m_folder);
        QCOMPARE(m_finished.size(), 4);
        init();
    }

private slots:
    void init() {
        // A path of its own: the kept record of a run is found by the album's path.
        m_folder = fixture::FreshFolder(m_tmp, "album" + QString::number(m_runs++));
        fixture::TakeTrash();
    }

    void renamesInListOrder_data() {
        QTest::addColumn<QStringList>("files"); // a name ending in '/' is a folder
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("tFilename");
        QTest::addColumn<QString>("fault"); // kind:target
        QTest::addColumn<QString>("statuses");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("trashed");
        // Lists as "a|b|c".
        auto row = [](const char *name, const char *files, const char *order, const QString &tFilename,
                      const char *fault, const char *statuses, const char *after, const char *trashed) {
            auto list = [](const char *s) { return QString::fromUtf8(s).split('|', Qt::SkipEmptyParts); };
            QTest::newRow(name) << list(files) << list(order) << tFilename << QString(fault) << QString(statuses)
                                << list(after) << list(trashed);
        };
        // An album numbered by an earlier run, reordered: every new name is another file's old one.
        row("renumber rotated", "001.mp3|002.mp3|003.mp3", "003.mp3|001.mp3|002.mp3", "", "", "RRR",
            "001.mp3<003.mp3|002.mp3<001.mp3|003.mp3<002.mp3", "001.mp3|002.mp3|003.mp3");
        row("renumber, two stay", "001- S.mp3|002- S.mp3|003- S.mp3|004- S.mp3", "004- S.mp3|002- S.mp3|003- S.mp3|001- S.mp3",
            "S", "", "RUUR", "001- S.mp3<004- S.mp3|002- S.mp3<002- S.mp3|003- S.mp3<003- S.mp3|004- S.mp3<001- S.mp3",
            "001- S.mp3|004- S.mp3");
        // 001.mp3 is not in the album: whoever would take its name keeps its own, and so on.
        row("name of a file that stays", "001.mp3|002.mp3|003.mp3|c.mp3|東京.MP3", "002.mp3|003.mp3|c.mp3|東京.MP3", "", "",
            "CCCR", "001.mp3<001.mp3|002.mp3<002.mp3|003.mp3<003.mp3|004.MP3<東京.MP3|c.mp3<c.mp3", "東京.MP3");
        row("missing and twice", "a.mp3|b.mp3", "a.mp3|gone.mp3|a.mp3|b.mp3", "", "", "RMCR",
            "001.mp3<a.mp3|004.mp3<b.mp3", "a.mp3|b.mp3");
        row("separator in the name", "b.mp3|a.mp3|001- AC/", "b.mp3|a.mp3", "AC/DC", "", "BB", "a.mp3<a.mp3|b.mp3<b.mp3", "");
        row("name too long", "b.mp3|a.mp3", "b.mp3|a.mp3", QString(300, 'x'), "", "BB", "a.mp3<a.mp3|b.mp3<b.mp3", "");
        // Faults as a full disk, a read-only medium or a refusing trash would cause them.
        row("final rename refused", "b.mp3|a.mp3|c.mp3", "b.mp3|a.mp3|c.mp3", "Urlaub", "rename-to:002- Urlaub.mp3",
            "RFR", "001- Urlaub.mp3<b.mp3|003- Urlaub.mp3<c.mp3|a.mp3<a.mp3", "a.mp3|b.mp3|c.mp3");
        row("first copy of a swap refused", "001.mp3|002.mp3|x.mp3", "002.mp3|001.mp3|x.mp3", "", "copy-from:002.mp3",
            "FCR", "001.mp3<001.mp3|002.mp3<002.mp3|003.mp3<x.mp3", "001.mp3|x.mp3");
        // The user stops at a refused copy: the copies already made of the files after it go.
        row("stopped at a refused copy", "a.mp3|b.mp3|c.mp3", "a.mp3|b.mp3|c.mp3", "", "halt:b.mp3", "RFS",
            "001.mp3<a.mp3|b.mp3<b.mp3|c.mp3<c.mp3", "a.mp3");
        row("way back blocked: undone", "001.mp3|002.mp3|x.mp3", "002.mp3|001.mp3|x.mp3", "", "temp-to:002.mp3", "KKK",
            "001.mp3<001.mp3|002.mp3<002.mp3|x.mp3<x.mp3", "001.mp3|002.mp3|x.mp3");
        // No folder: the names must not address the current folder.
        row("no folder", "a.mp3", "a.mp3", "", "no-folder", "M", "a.mp3<a.mp3", "");
        // FAT refuses modes: the copies still go through.
        row("modes refused", "b.mp3|a.mp3", "b.mp3|a.mp3", "", "chmod", "RR", "001.mp3<b.mp3|002.mp3<a.mp3", "a.mp3|b.mp3");
        // Copies of read-only files (Windows: flushed through the handle that wrote them).
        row("read-only files", "b.mp3|a.mp3", "b.mp3|a.mp3", "", "read-only", "RR", "001.mp3<b.mp3|002.mp3<a.mp3", "a.mp3|b.mp3");
        row("callbacks throw", "001.mp3|002.mp3|x.mp3", "002.mp3|001.mp3", "", "throw:001.mp3", "FF",
            "001.mp3<001.mp3|002.mp3<002.mp3|x.mp3<x.mp3", "001.mp3|002.mp3");
    }
    void renamesInListOrder() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, order);
        QFETCH(QString, tFilename);
        QFETCH(QString, fault);
        QFETCH(QString, statuses);
        QFETCH(QStringList, after);
        QFETCH(QStringList, trashed);
        fixture::FakeAlbum(m_folder, files);
        const auto before = fixture::Snapshot(m_folder);

        const QString kind = fault.section(':', 0, 0), target = "/" + fault.section(':', 1);
        RenameFn renameFn;
        CopyFn copyFn;
        ProgressFn progressFn;
        bool struck = false;
        if (kind == "copy-from" || kind == "halt") // stops halfway
            copyFn = [&](const QString &from, const QString &to) {
                if (!from.endsWith(target))
                    return QFile::copy(from, to);
                fixture::Write(to, fixture::Read(from).left(100));
                return false;
            };
        // rename-to: every rename onto the target fails; temp-to and throw: the first one
        // from a temporary name.
        if (kind == "rename-to" || kind == "temp-to" || kind == "throw")
            renameFn = [&](const QString &from, const QString &to) {
                if (to.endsWith(target) && (kind == "rename-to" || (!struck && QFileInfo(from).fileName().startsWith('~')))) {
                    struck = true;
                    if (kind == "throw")
                        throw std::runtime_error("file layer gave up");
                    return false;
                }
                return QFile::rename(from, to);
            };
        if (kind == "chmod")
            tags::fileops::SetFaultHook([](tags::fileops::Op op, const std::string &) { return op == tags::fileops::Op::Chmod ? EPERM : 0; });
        const auto unhook = qScopeGuard([] { tags::fileops::SetFaultHook(nullptr); });
        if (kind == "throw")
            progressFn = [](int, int, const QString &) { throw std::runtime_error("window gone"); };
        for (const QString &name : files)
            QVERIFY(kind != "read-only" || QFile::setPermissions(m_folder + name, QFileDevice::ReadOwner));

        RenameSeams seams;
        seams.rename = renameFn, seams.copy = copyFn, seams.progress = progressFn;
        if (kind == "halt")
            seams.ask = [](const QString &, const QString &) { return false; };
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_folder));
        const RenameResult r =
            RenameAlbum(kind == "no-folder" ? QString() : m_folder, order, {tFilename, false}, seams);
        QDir::setCurrent(cwd);

        QCOMPARE(StatusLetters(r), statuses);
        QCOMPARE(Provenance(m_folder, before), after);
        QCOMPARE(r.renamed, statuses.count('R'));
        QVERIFY(struck || !kind.contains(QRegularExpression("to|throw")));
        // The report names every file that did not reach its new name, and only then speaks.
        const QString report = RenameReport(r, m_folder);
        for (const RenameEntry &e : r.entries)
            if (e.status != RenameStatus::Renamed && e.status != RenameStatus::Unchanged)
                QVERIFY2(report.contains("  " + e.oldName), qPrintable(report));
        QCOMPARE(report.isEmpty(), QString(statuses).remove('R').remove('U').isEmpty());
        // The old files are in the trash under their old names, contents intact (a file
        // that went back to its name keeps its copy there).
        const auto trash = fixture::TakeTrash();
        QCOMPARE(trash.keys(), trashed);
        for (const QString &name : trashed)
            QCOMPARE(trash.value(name), before.value(name));
    }

    // The folder stops taking renames once the old file is in the trash: the file stays
    // under its temporary name, and the report says where.
    void strandedFileIsNamedWithItsPlace() {
        fixture::FakeAlbum(m_folder, {"a.mp3"});
        const QByteArray hash = fixture::Hash(m_folder + "a.mp3");
        RenameSeams refuse;
        refuse.rename = [](const QString &, const QString &) { return false; };
        const RenameResult r = RenameAlbum(m_folder, {"a.mp3"}, {"", false}, refuse);
        const RenameEntry &e = r.entries[0];
        QCOMPARE(e.status, RenameStatus::Stranded);
        QCOMPARE(fixture::Listing(m_folder), QStringList{e.finalName});
        QCOMPARE(fixture::Hash(m_folder + e.finalName), hash);
        const QString report = RenameReport(r, m_folder);
        QVERIFY2(report.contains(e.finalName + " (war a.mp3) in " + QDir::toNativeSeparators(m_folder)), qPrintable(report));
    }

    // A crash right after each step of the run (the plan on the disk, then every mark),
    // then either repair: the album is byte for byte the finished run's, or the one before.
    void crashAfterEveryStep_data() {
        QTest::addColumn<int>("marks");
        QTest::addColumn<bool>("forward");
        // 3 x tagged, plan of the renaming, 3 x 2 moves, renamed, playlist x 2, complete.
        constexpr int kMarks = 14;
        for (int k = 0; k <= kMarks; ++k)
            for (bool forward : {true, false})
                QTest::addRow("%d marks, %s", k, forward ? "finished" : "rolled back") << k << forward;
    }
    void crashAfterEveryStep() {
        QFETCH(int, marks);
        QFETCH(bool, forward);
        Finish();
        TaggedAlbum(m_folder);
        const auto before = fixture::Snapshot(m_folder);
        QVERIFY(CrashedRun(m_folder, marks));
        RecordedRun run;
        QVERIFY(run.Load(m_folder));
        QCOMPARE(run.State().complete, marks == 14);
        if (marks % 2 && marks < 14) {  // as `sortimentor --recover [--rollback] FOLDER` does it
            QCOMPARE(Headless(forward ? QStringList{"--recover", m_folder} : QStringList{"--recover", "--rollback", m_folder}), 0);
        } else {
            const RepairResult r = forward ? run.Forward() : run.Back(false);
            QVERIFY2(r.ok, qPrintable(r.failed.join('\n')));
        }
        QCOMPARE(fixture::Snapshot(m_folder), forward ? m_finished : before);
        QCOMPARE(RunJournal::Exists(m_folder), forward);  // the finished run's record is its undo
    }

    // Killed at random moments, inside the steps too, and the repair and the undo each
    // killed once before they run again: every album ends byte for byte as the finished
    // run leaves it or as it was, and the undo of a finished one gives it back.
    void killedAtRandomMoments() {
        Finish();
        std::mt19937_64 random(3);
        qint64 span = m_runNs + m_runNs / 10; // shorter while the runs end before their kill
        const auto moment = [&] { return static_cast<qint64>(random() % static_cast<quint64>(span)); };
        int cut = 0;
        for (int round = 0; round < 60; ++round) {
            // A folder of its own: a process looks for what killed writers left there once,
            // before its first temporary file there (this one in its repair).
            m_folder = fixture::FreshFolder(m_tmp, QString::number(round));
            TaggedAlbum(m_folder);
            const auto before = fixture::Snapshot(m_folder);
            QVERIFY(Killed({"run", m_folder}, moment()));
            RunJournal journal;
            const bool loaded = journal.Load(m_folder), unfinished = loaded && !journal.State().complete;
            if (loaded && !unfinished)
                span -= span / 5;
            const QStringList repair = round % 2 ? QStringList{"--recover", "--rollback", m_folder} : QStringList{"--recover", m_folder};
            if (unfinished && ++cut) {
                QCOMPARE(Headless({"--undo", m_folder}), 1);  // only a finished run has an undo
                QVERIFY(Killed(QStringList{"cli"} + repair, moment()));
            }
            QCOMPARE(Headless(repair), 0);
            const auto now = fixture::Snapshot(m_folder);
            QVERIFY2(now == before || now == m_finished, qPrintable(fixture::Listing(m_folder).join(' ')));
            QCOMPARE(RunJournal::Exists(m_folder), now == m_finished);
            if (now == m_finished) {
                QVERIFY(Killed({"cli", "--undo", m_folder}, moment()));
                QVERIFY(!RunJournal::Exists(m_folder) || Headless({"--undo", m_folder}) == 0);
                QCOMPARE(fixture::Snapshot(m_folder), before);
            }
            fixture::TakeTrash();
        }
        QVERIFY2(cut >= 15, qPrintable(QString::number(cut)));  // most kills fall inside the run
    }

    // After a finished run, the undo gives every byte back; a file changed since is left
    // alone; a file whose write failed in the run is named with the way back.
    void undoGivesEveryByteBack_data() {
        QTest::addColumn<bool>("rename");
        QTest::addColumn<QString>("changed");
        QTest::addColumn<QString>("failing");
        QTest::newRow("renamed") << true << "" << "";
        QTest::newRow("not renamed") << false << "" << "";
        QTest::newRow("one changed since") << false << "x.mp3" << "";
        QTest::newRow("one write failed") << true << "" << "001.mp3";
        QTest::newRow("album folder renamed since") << true << "" << "";
        if (qEnvironmentVariableIsSet("SORTI_TEST_DRIVE")) // a USB stick's root; under wine a folder of the build
            QTest::newRow("at a drive's root") << true << "" << "";
    }
    void undoGivesEveryByteBack() {
        QFETCH(bool, rename);
        QFETCH(QString, changed);
        QFETCH(QString, failing);
        if (QTest::currentDataTag() == QByteArray("at a drive's root"))
            m_folder = qEnvironmentVariable("SORTI_TEST_DRIVE") + "\\";
        TaggedAlbum(m_folder);
        auto expected = fixture::Snapshot(m_folder);
        const RunResult run = WindowlessRun(m_folder, rename, failing);
        QVERIFY(run.outcome == RunOutcome::Done && run.failedSteps == (failing.isEmpty() ? 0 : 1));
        QCOMPARE(run.failedFiles, failing.isEmpty() ? QStringList() : QStringList{failing});
        // The record has left the album: its files and the playlist, nothing else.
        QCOMPARE(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);
        if (QTest::currentDataTag() == QByteArray("album folder renamed since")) { // found again by its files
            QVERIFY(QDir().rename(m_folder, m_folder.chopped(1) + " (2)"));
            m_folder = m_folder.chopped(1) + " (2)/";
        }
        if (!changed.isEmpty()) {
            QFile f(m_folder + changed);
            QVERIFY(f.open(QIODevice::Append) && f.write("!") == 1);
            f.close();
            expected[changed] = fixture::Hash(m_folder + changed);
        }
        RecordedRun undo;
        QVERIFY(undo.Load(m_folder) && undo.State().complete);
        const RepairResult r = undo.Back(true);
        QCOMPARE(r.refused, changed.isEmpty() ? QStringList() : QStringList{changed});
        QCOMPARE(fixture::Snapshot(m_folder), expected);
        QVERIFY(!RunJournal::Exists(m_folder));
        QVERIFY(RepairReport(r, false, true).contains(changed));
        // Then nothing is left to undo or to finish; a record that cannot be read says so.
        QVERIFY(Headless({"--undo", m_folder}) == 1 && Headless({"--recover", m_folder}) == 0);
        QVERIFY(QDir().mkpath(RunJournal::DirFor(m_folder)) && fixture::Write(RunJournal::DirFor(m_folder) + "/" + RunJournal::kJournalFile, "{"));
        QCOMPARE(Headless({"--recover", m_folder}), 1);
    }

    // A new finished run in a folder drops the folder's earlier record, found by the key in
    // its name, or, for a record of an earlier build whose name has none, by what it holds.
    void earlierRecordOfTheFolderIsDropped_data() {
        QTest::addColumn<bool>("keyed");
        QTest::newRow("named with the folder's key") << true;
        QTest::newRow("of an earlier build") << false;
    }
    void earlierRecordOfTheFolderIsDropped() {
        QFETCH(bool, keyed);
        TaggedAlbum(m_folder);
        QVERIFY(WindowlessRun(m_folder, false).outcome == RunOutcome::Done);
        const QString other = runstore::Kept().first();  // another folder's record stays
        init();
        TaggedAlbum(m_folder);
        QVERIFY(WindowlessRun(m_folder, false).outcome == RunOutcome::Done);
        QString first = runstore::Kept().first();
        if (!keyed) {
            const QString old = first.section('-', 0, -2);
            QVERIFY(QDir().rename(first, old) && !runstore::OfFolder(QFileInfo(old).fileName(), m_folder));
            first = old;
        }
        QVERIFY(WindowlessRun(m_folder, false).outcome == RunOutcome::Done);
        QVERIFY(!QFileInfo::exists(first) && runstore::Kept().contains(other));
        QVERIFY(*runstore::OfFolder(QFileInfo(runstore::Kept().first()).fileName(), m_folder));
    }

    // Only the last runs keep their undo: the oldest record goes once more have finished.
    void oldestRecordsAreDropped() {
        QStringList folders;
        for (int i = 0; i <= runstore::kKept; ++i, init()) {
            TaggedAlbum(m_folder);
            QVERIFY(WindowlessRun(m_folder, false).outcome == RunOutcome::Done);
            folders << m_folder;
        }
        QVERIFY(!RunJournal::Exists(folders.first()) && RunJournal::Exists(folders[1]) && RunJournal::Exists(folders.last()));
    }

    // A repair or an undo that meets a changed folder or a refusing trash does what it
    // can, names every file it could not finish, and loses nothing: no file of the
    // user's is overwritten, every old file's audio is still there once (in the folder
    // or, while its name is taken, in the record) and the record stays. An undo cut
    // short that way blocks new runs until it is finished.
    void repairAroundObstacles_data() {
        QTest::addColumn<int>("marks");       // the crash; -1: the finished run, undone
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QString>("obstacle"); // taken:NAME, gone:NAME, trash or write
        QTest::addColumn<QString>("named");   // in the report of what failed
        QTest::newRow("undo, old name taken") << -1 << false << "taken:x.mp3" << "x.mp3: der Name ist vergeben";
        QTest::newRow("undo, trash refuses") << -1 << false << "trash" << "voll";
        QTest::newRow("rollback, file gone") << 2 << false << "gone:002.mp3" << "ist nicht mehr im Ordner";
        QTest::newRow("finish, tags refused") << 1 << true << "write" << "voll";
        QTest::newRow("finish, new name taken") << 7 << true << "taken:003.mp3" << "ist vergeben";
        QTest::newRow("finish, trash refuses") << 5 << true << "trash" << "voll";
    }
    void repairAroundObstacles() {
        QFETCH(int, marks);
        QFETCH(bool, forward);
        QFETCH(QString, obstacle);
        QFETCH(QString, named);
        TaggedAlbum(m_folder);
        auto audio = fixture::Snapshot(m_folder, true);
        const auto original = fixture::Snapshot(m_folder);
        QVERIFY(marks < 0 ? WindowlessRun(m_folder, true).outcome == RunOutcome::Done : CrashedRun(m_folder, marks));
        RepairSeams seams;
        const QString name = obstacle.section(':', 1);
        if (obstacle == "trash")
            seams.trash = [](const QString &) { return platform::TrashOutcome{false, "voll"}; };
        if (obstacle == "write")
            seams.write = [](const QString &, const tagpanel::Rows &) { return QString("voll"); };
        if (obstacle.startsWith("taken"))
            QVERIFY(fixture::Write(m_folder + name, "neu"));
        if (obstacle.startsWith("gone"))
            QVERIFY(QFile::remove(m_folder + name) && audio.remove(name));
        RecordedRun run(seams);
        QVERIFY(run.Load(m_folder));
        const RepairResult r = forward ? run.Forward() : run.Back(marks < 0);
        QVERIFY2(!r.ok && r.failed.join('\n').contains(named), qPrintable(r.failed.join('\n')));
        QVERIFY(RunJournal::Exists(m_folder));
        if (obstacle.startsWith("taken"))
            QCOMPARE(fixture::Read(m_folder + name), QByteArray("neu"));
        audio.remove("Best.m3u");
        QList<QByteArray> found = fixture::Snapshot(m_folder, true).values() + fixture::Snapshot(RunJournal::DirFor(m_folder), true).values();
        for (auto it = audio.cbegin(); it != audio.cend(); ++it)
            QVERIFY2(found.removeOne(it.value()), qPrintable(it.key()));
        if (marks < 0) { // no new run until the undo is finished, which it then can be
            QVERIFY(WindowlessRun(m_folder, true).problem.contains("nur zum Teil rückgängig"));
            QVERIFY(!obstacle.startsWith("taken") || QFile::remove(m_folder + name));
            RecordedRun again;
            QVERIFY(again.Load(m_folder) && again.Back(true).ok);
            QCOMPARE(fixture::Snapshot(m_folder), original);
        }
    }

    // A run that cannot keep its record, or would mix with one not finished, changes nothing.
    void runWithoutRecordChangesNothing_data() {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("problem");
        QTest::newRow("an earlier run unfinished") << "crash" << "ist nicht beendet";
        QTest::newRow("files left in the holding folder") << "holding" << "Dateien eines abgebrochenen Laufs";
        QTest::newRow("no room for the record") << "record" << "Protokoll des Durchlaufs nicht anlegen";
    }
    void runWithoutRecordChangesNothing() {
        QFETCH(QString, obstacle);
        QFETCH(QString, problem);
        TaggedAlbum(m_folder);
        const QString holding = DirectoryOrder::HoldingFolder(m_folder);
        QVERIFY(obstacle != "crash" || CrashedRun(m_folder, 2));
        QVERIFY(obstacle != "holding" || (QDir().mkpath(holding) && fixture::Write(holding + "/x.mp3", "alt")));
        QVERIFY(obstacle != "record" || fixture::Write(RunJournal::DirFor(m_folder), "kein Ordner"));
        const auto before = fixture::Snapshot(m_folder);
        const RunResult r = WindowlessRun(m_folder, true);
        QVERIFY2(r.outcome == RunOutcome::NoRecord && r.problem.contains(problem), qPrintable(r.problem));
        QCOMPARE(fixture::Snapshot(m_folder), before);
        QDir(holding).removeRecursively();
    }

#ifdef Q_OS_WIN
    // A file that a player holds open without share-delete can be neither written nor
    // renamed: the run skips it and records the skip, its bytes stay, no other file is
    // lost, and the undo gives back exactly the album before.
    void heldFileIsSkipped() {
        TaggedAlbum(m_folder);
        const auto before = fixture::Snapshot(m_folder), audio = fixture::Snapshot(m_folder, true);
        const auto holder = child::Start({"hold", QDir::toNativeSeparators(m_folder + "001.mp3")});
        QVERIFY(holder);
        const RunResult r = WindowlessRun(m_folder, true);
        holder->kill();
        QVERIFY(holder->waitForFinished() && r.outcome == RunOutcome::Done && r.failedFiles == QStringList{"001.mp3"});
        QCOMPARE(fixture::Hash(m_folder + "001.mp3"), before.value("001.mp3"));
        for (const char *name : {"001.mp3", "002.mp3", "x.mp3"})
            QVERIFY(fixture::Snapshot(m_folder, true).values().contains(audio.value(name)));
        QCOMPARE(Headless({"--undo", m_folder}), 0);
        QCOMPARE(fixture::Snapshot(m_folder), before);
    }
#endif

    // Records of older builds hold BLAKE2b digests: whatever is checked against one is
    // hashed the same way, short audio whole and long audio sampled.
    void digestsFollowTheRecordsKind_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("cover");  // bytes of a picture frame: a head longer than the first read
        for (const HashKind kind : {HashKind::Xxh3, HashKind::Blake2b})
            for (const auto &[frames, cover] : {std::pair{12, 0}, {400, 0}, {3000, 0}, {400, 150000}})
                QTest::addRow("%s, %d frames, cover %d", kind == HashKind::Xxh3 ? "XXH3" : "BLAKE2b", frames, cover)
                    << static_cast<int>(kind) << frames << cover;
    }
    void digestsFollowTheRecordsKind() {
        QFETCH(int, kind);
        QFETCH(int, frames);
        QFETCH(int, cover);
        const HashKind k = static_cast<HashKind>(kind);
        using namespace id3bytes;
        const QByteArray audio = QByteArray::fromStdString(streambytes::Stream(streambytes::Mpeg(), frames, 5));
        const std::string picture = cover ? Frame("APIC", std::string(static_cast<size_t>(cover), 'c')) : std::string();
        const QByteArray head = QByteArray::fromStdString(Tag(3, Frame("TIT2", Text("Alt")) + picture, 300));
        const QByteArray file = head + audio + QByteArray::fromStdString(V1("Alt", "Vorher"));
        const TagRegions old = SplitRegions(file, k);
        QVERIFY(KindOf(old.middleHash) == k && KindOf(ContentDigest(old)) == k && old.head == head);
        const QByteArray retagged = QByteArray::fromStdString(Tag(4, Frame24("TIT2", Text("Neu")), 900)) + audio;
        QCOMPARE(Rebuild(old, retagged), std::optional<QByteArray>(file));
        QCOMPARE(ContentDigest(SplitRegions(file, k)), ContentDigest(old));
        QByteArray otherAudio = retagged;
        otherAudio[otherAudio.size() - 100] = static_cast<char>(otherAudio[otherAudio.size() - 100] ^ 1);
        QVERIFY(!Rebuild(old, otherAudio));
        if (k == HashKind::Blake2b && frames == 12 && !cover) {  // as the older builds wrote it
            const auto b2 = [](const QByteArray &b) { return QCryptographicHash::hash(b, QCryptographicHash::Blake2b_256); };
            QCOMPARE(ContentDigest(old), b2(b2(head) + b2(QByteArray::number(audio.size()) + audio) + b2(file.right(128))));
        }
    }

    // The playlist is written neither outside the folder nor over a folder; the run says so.
    void playlistRefusesNamesOutsideTheFolder() {
        TaggedAlbum(m_folder);
        QVERIFY(QDir(m_folder).mkdir("AC") && QDir(m_folder).mkdir("Live.m3u"));
        for (const char *album : {"AC/DC", "Live"})
            QVERIFY2(Headless({"--run", "--album", album, "--playlist", m_folder}) == 1, album);
        QVERIFY(QDir(m_folder + "AC").isEmpty() && QDir(m_folder + "Live.m3u").isEmpty());
    }
};

SORTI_TEST_MAIN_WITH_CHILD(QCoreApplication, TestAlbumWork, Child)
#include "tst_albumwork.moc"
