// The album run driver without a window: the steps a file goes through, the
// confirmation, skip-and-continue, stop, the re-entrancy guard, and a whole
// run over real MP3 files read back by mutagen.

#include "AlbumFixture.h"
#include "AlbumWorkflow.h"
#include "TagError.h"
#include "id3v1/Mp3TagID3v1.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <stdexcept>

using namespace album;

namespace {

// The part of the window the steps act on, as the window would keep it.
struct Panel {
    QString track;
    QString title;
    bool filesTitel = true;
};

// Reads title and track of each file with mutagen; empty if it is missing.
QJsonObject ReadWithMutagen(const QStringList &paths) {
    const QString script = QStringLiteral(
        "import json, sys\n"
        "import mutagen.id3 as m\n"
        "out = {}\n"
        "for p in sys.argv[1:]:\n"
        "    t = m.ID3(p)\n"
        "    out[p] = {'title': str(t.get('TIT2', '')), 'track': str(t.get('TRCK', '')),\n"
        "              'album': str(t.get('TALB', ''))}\n"
        "print(json.dumps(out))\n");
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + paths);
    if (!py.waitForFinished(30000) || py.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(py.readAllStandardOutput()).object();
}

bool HaveMutagen() {
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import mutagen")});
    return py.waitForFinished(30000) && py.exitStatus() == QProcess::NormalExit && py.exitCode() == 0;
}

// Steps that only record what ran, for the driver's order and guards.
struct Recorder {
    QStringList calls;
    FileSteps Steps() {
        auto rec = [this](const char *name) {
            return [this, name](const RunFile &f) { calls << QStringLiteral("%1:%2").arg(f.index).arg(name); };
        };
        return {rec("select"), rec("count"), rec("writable"), rec("title"), rec("id3v1"), rec("tags")};
    }
    QStringList For(int index) const { return calls.filter(QRegularExpression(QStringLiteral("^%1:").arg(index))); }
};

RunPlan PlanFor(const QString &folder, const QStringList &entries) {
    RunPlan plan;
    plan.folder = folder;
    plan.entries = entries;
    return plan;
}

} // namespace

class TestAlbumRun : public QObject {
    Q_OBJECT

private slots:
    void wholeAlbumOverRealFiles();
    void decliningChangesNothing();
    void failingStepsAreSkipped();
    void stopFinishesTheCurrentFileThenStops();
    void secondStartDuringARunStartsNothing();
    void singleFileWriteTouchesOnlyTheSelectedFile();
    void emptyListDoesNothing();
};

void TestAlbumRun::wholeAlbumOverRealFiles() {
    if (!fixture::HaveLame())
        QSKIP("lame is not installed");
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    const QStringList album{"b.mp3", "empty.mp3", "a.mp3", "c.mp3"};
    QVERIFY(fixture::MakeAlbum(folder, {"b.mp3", "a.mp3", "c.mp3"}));
    QVERIFY(fixture::Write(folder + "empty.mp3", {}));
    QVERIFY(QFile::setPermissions(folder + "a.mp3", QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    QHash<QString, QByteArray> audio;
    for (const QString &name : album)
        audio.insert(name, fixture::Read(folder + name));

    Panel panel{"5", "unchanged"};
    QStringList tagsWritten;
    FileSteps steps;
    steps.countTrack = [&](const RunFile &) { panel.track = NextTrackText(panel.track, QLocale(QLocale::German)); };
    steps.makeWritable = [](const RunFile &f) { MakeWritable(f.path); };
    steps.titleFromName = [&](const RunFile &f) {
        if (panel.filesTitel)
            panel.title = TitleFromFileName(f.entry);
    };
    steps.writeId3v1 = [&](const RunFile &f) {
        tags::Mp3TagID3v1 v1;
        v1.MP3File(QFile::encodeName(f.path).toStdString());
        v1.Title(panel.title.toStdString());
        v1.Album("Best of");
        v1.Track(static_cast<std::uint8_t>(panel.track.toInt()));
        v1.Update();
    };
    steps.writeTags = [&](const RunFile &f) { tagsWritten << f.entry; };

    AlbumRun run;
    run.SetSteps(steps);
    QStringList asked, locks, progress;
    run.SetConfirm([&](const QString &title, const QString &text) {
        asked << title << text;
        return true;
    });
    run.SetLock([&](bool on) { locks << (on ? "lock" : "unlock"); });
    run.SetProgress([&](int i, int n, const QString &entry) { progress << QString("%1/%2 %3").arg(i).arg(n).arg(entry); });

    RunPlan plan = PlanFor(folder, album);
    plan.writePlaylist = true;
    plan.albumText = [] { return QStringLiteral("Best of"); };
    plan.rename = RenameOptions{"Urlaub", false};
    const RunResult r = run.Run(plan);

    // The question, asked once, as the user reads it.
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked[0], QString(" Sortimentor Converter"));
    const QStringList lines = asked[1].split('\n');
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QString("ACHTUNG !"));
    QCOMPARE(lines[1], QString("Sie verändern die Mp3-Informationen der markierten Felder "));
    QCOMPARE(lines[2], QString("für alle in der Dateiliste enthaltenen Audiodateien. "));
    QCOMPARE(lines[3], QString("Dieser Vorgang kann nicht rückgängig gemacht werden."));
    QCOMPARE(lines[4], QString());
    QCOMPARE(lines[5], QString("Möchten Sie wirklich fortfahren ?"));

    QCOMPARE(r.outcome, RunOutcome::Done);
    QCOMPARE(r.visited, 4);
    QCOMPARE(r.failedFiles, QStringList{"empty.mp3"});  // ID3v1 refuses an empty file
    QCOMPARE(tagsWritten, album);                      // ... and the next step still ran
    QCOMPARE(locks, QStringList({"lock", "unlock"}));
    QCOMPARE(progress.mid(0, 4), QStringList({"0/4 b.mp3", "1/4 empty.mp3", "2/4 a.mp3", "3/4 c.mp3"}));
    QCOMPARE(panel.track, QString("8"));
    QVERIFY(QFileInfo(folder + "003- Urlaub.mp3").permissions().testFlag(QFileDevice::WriteOwner));

    // Renamed in list order; the playlist names the files as they are now.
    const QStringList renamed{"001- Urlaub.mp3", "002- Urlaub.mp3", "003- Urlaub.mp3", "004- Urlaub.mp3"};
    QVERIFY(r.renaming.has_value());
    QCOMPARE(r.renaming->FinalNames(), renamed);
    QVERIFY(r.playlistWritten);
    QCOMPARE(fixture::Read(folder + "Best of.m3u"),
             QByteArray("001- Urlaub.mp3\r\n002- Urlaub.mp3\r\n003- Urlaub.mp3\r\n004- Urlaub.mp3\r\n"));
    QCOMPARE(fixture::Listing(folder), QStringList(renamed) << "Best of.m3u");
    // The old names went to the trash.
    QStringList trashed = fixture::TakeTrash().keys();
    trashed.sort();
    QStringList oldNames = album;
    oldNames.sort();
    QCOMPARE(trashed, oldNames);

    // Each file kept its audio; only the 128-byte record was added.
    for (int i = 0; i < album.size(); ++i) {
        const QByteArray now = fixture::Read(folder + renamed[i]);
        if (album[i] == "empty.mp3") {
            QCOMPARE(now, QByteArray());
            continue;
        }
        QCOMPARE(now.size(), audio.value(album[i]).size() + 128);
        QCOMPARE(now.left(now.size() - 128), audio.value(album[i]));
    }

    if (!HaveMutagen())
        QSKIP("python3-mutagen is not installed; the tags were not read back");
    const QJsonObject tags = ReadWithMutagen({folder + renamed[0], folder + renamed[2], folder + renamed[3]});
    QCOMPARE(tags.size(), 3);
    auto field = [&](int i, const char *key) { return tags.value(folder + renamed[i]).toObject().value(key).toString(); };
    QCOMPARE(field(0, "title"), QString("b"));
    QCOMPARE(field(0, "track"), QString("5"));
    QCOMPARE(field(2, "title"), QString("a"));
    QCOMPARE(field(2, "track"), QString("7"));
    QCOMPARE(field(3, "title"), QString("c"));
    QCOMPARE(field(3, "track"), QString("8"));
    QCOMPARE(field(3, "album"), QString("Best of"));
}

void TestAlbumRun::decliningChangesNothing() {
    if (!fixture::HaveLame())
        QSKIP("lame is not installed");
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    const QStringList album{"b.mp3", "a.mp3"};
    QVERIFY(fixture::MakeAlbum(folder, album));
    const QByteArray b = fixture::Hash(folder + "b.mp3"), a = fixture::Hash(folder + "a.mp3");

    Recorder rec;
    AlbumRun run;
    run.SetSteps(rec.Steps());
    int locks = 0;
    run.SetLock([&](bool) { ++locks; });
    run.SetConfirm([](const QString &, const QString &) { return false; });
    RunPlan plan = PlanFor(folder, album);
    plan.writePlaylist = true;
    plan.albumText = [] { return QStringLiteral("Best of"); };
    plan.rename = RenameOptions{"", false};

    const RunResult r = run.Run(plan);

    QCOMPARE(r.outcome, RunOutcome::Declined);
    QVERIFY(rec.calls.isEmpty());
    QCOMPARE(locks, 0);
    QVERIFY(!r.renaming);
    QCOMPARE(fixture::Listing(folder), QStringList({"a.mp3", "b.mp3"}));
    QCOMPARE(fixture::Hash(folder + "b.mp3"), b);
    QCOMPARE(fixture::Hash(folder + "a.mp3"), a);
    QVERIFY(!run.IsRunning());
}

void TestAlbumRun::failingStepsAreSkipped() {
    QTemporaryDir dir;
    Recorder rec;
    FileSteps steps = rec.Steps();
    const auto record = steps;
    steps.makeWritable = [&](const RunFile &f) {
        record.makeWritable(f);
        if (f.index == 0)
            throw std::runtime_error("locked");
    };
    steps.writeId3v1 = [&](const RunFile &f) {
        record.writeId3v1(f);
        if (f.index == 1)
            throw tags::TagError(tags::kErrNotValidMp3, "sortimentor.cMP3ID3v1", "not a valid MP3 file.");
    };
    steps.writeTags = [&](const RunFile &f) {
        record.writeTags(f);
        if (f.index == 2)
            throw 42;
    };
    AlbumRun run;
    run.SetSteps(steps);

    const RunResult r = run.Run(PlanFor(dir.path(), {"x.mp3", "y.mp3", "z.mp3", "w.mp3"}));

    QCOMPARE(r.outcome, RunOutcome::Done);
    QCOMPARE(r.visited, 4);
    QCOMPARE(r.failedSteps, 3);
    QCOMPARE(r.failedFiles, QStringList({"x.mp3", "y.mp3", "z.mp3"}));
    // Every file went through every step in order; the first file is not counted on.
    QCOMPARE(rec.For(0), QStringList({"0:select", "0:writable", "0:title", "0:id3v1", "0:tags"}));
    for (int i = 1; i < 4; ++i) {
        const QString p = QString::number(i) + ":";
        QCOMPARE(rec.For(i), QStringList({p + "select", p + "count", p + "writable", p + "title", p + "id3v1", p + "tags"}));
    }
}

void TestAlbumRun::stopFinishesTheCurrentFileThenStops() {
    if (!fixture::HaveLame())
        QSKIP("lame is not installed");
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    const QStringList album{"b.mp3", "a.mp3", "c.mp3"};
    QVERIFY(fixture::MakeAlbum(folder, album));

    Recorder rec;
    AlbumRun run;
    run.SetSteps(rec.Steps());
    QStringList locks;
    run.SetLock([&](bool on) { locks << (on ? "lock" : "unlock"); });
    // The window is closed while file 1 is being written.
    run.SetYield([&] {
        if (rec.calls.contains("1:writable") && !run.StopRequested())
            run.RequestStop();
    });
    RunPlan plan = PlanFor(folder, album);
    plan.writePlaylist = true;
    plan.rename = RenameOptions{"", false};

    const RunResult r = run.Run(plan);

    QCOMPARE(r.outcome, RunOutcome::Stopped);
    QCOMPARE(r.visited, 2);
    QCOMPARE(rec.For(1), QStringList({"1:select", "1:count", "1:writable", "1:title", "1:id3v1", "1:tags"}));
    QVERIFY(rec.For(2).isEmpty());
    QCOMPARE(locks, QStringList({"lock", "unlock"}));
    QVERIFY(!r.renaming);
    QVERIFY(!r.playlistWritten);
    QCOMPARE(fixture::Listing(folder), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    QVERIFY(!run.IsRunning());
}

void TestAlbumRun::secondStartDuringARunStartsNothing() {
    QTemporaryDir dir;
    Recorder rec;
    AlbumRun run;
    run.SetSteps(rec.Steps());
    int asked = 0;
    run.SetConfirm([&](const QString &, const QString &) {
        ++asked;
        return true;
    });
    const RunPlan plan = PlanFor(dir.path(), {"x.mp3", "y.mp3"});
    QList<RunOutcome> inner;
    // A second click on the continue button while the run yields.
    run.SetYield([&] {
        if (inner.isEmpty()) {
            QVERIFY(run.IsRunning());
            inner << run.Run(plan).outcome;
        }
    });

    const RunResult r = run.Run(plan);

    QCOMPARE(r.outcome, RunOutcome::Done);
    QCOMPARE(inner, QList<RunOutcome>{RunOutcome::Busy});
    QCOMPARE(asked, 1);
    QCOMPARE(rec.calls.filter("tags").size(), 2);
    QVERIFY(!run.IsRunning());

    // Once it is over, the next click runs again.
    QCOMPARE(run.Run(plan).outcome, RunOutcome::Done);
    QCOMPARE(asked, 2);
}

void TestAlbumRun::singleFileWriteTouchesOnlyTheSelectedFile() {
    if (!fixture::HaveLame())
        QSKIP("lame is not installed");
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    const QStringList album{"b.mp3", "a.mp3"};
    QVERIFY(fixture::MakeAlbum(folder, album));

    Recorder rec;
    AlbumRun run;
    run.SetSteps(rec.Steps());
    run.SetConfirm([](const QString &, const QString &) {
        qWarning("asked although only one file is written");
        return false;
    });
    RunPlan plan = PlanFor(folder, album);
    plan.wholeAlbum = false;
    plan.selected = 1;
    plan.writePlaylist = true;  // only the album run writes one
    plan.albumText = [] { return QStringLiteral("Best of"); };
    plan.rename = RenameOptions{"", true};

    QTest::failOnWarning(QRegularExpression("asked"));
    const RunResult r = run.Run(plan);

    QCOMPARE(r.outcome, RunOutcome::Done);
    QCOMPARE(rec.calls, QStringList({"1:writable", "1:id3v1", "1:tags"}));
    QVERIFY(r.renaming);
    QCOMPARE(fixture::Listing(folder), QStringList({"001- b.mp3", "002- a.mp3"}));

    // Nothing selected: no file is written, none renamed without a plan for it.
    rec.calls.clear();
    plan.selected = -1;
    plan.rename.reset();
    plan.entries = {"001- b.mp3", "002- a.mp3"};
    QCOMPARE(run.Run(plan).visited, 0);
    QVERIFY(rec.calls.isEmpty());
}

void TestAlbumRun::emptyListDoesNothing() {
    Recorder rec;
    AlbumRun run;
    run.SetSteps(rec.Steps());
    bool asked = false;
    run.SetConfirm([&](const QString &, const QString &) { return asked = true; });
    QCOMPARE(run.Run(PlanFor("/nonexistent/", {})).outcome, RunOutcome::Empty);
    QVERIFY(!asked);
    QVERIFY(rec.calls.isEmpty());
}

ALBUM_TEST_MAIN(QCoreApplication, TestAlbumRun)
#include "tst_albumrun.moc"
