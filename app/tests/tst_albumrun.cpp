// The album run driver without a window: the steps a file goes through,
// skip-and-continue, stop, the single-file write. The window's own tests run
// whole albums of real files through it.

#include "AlbumFixture.h"
#include "AlbumWorkflow.h"
#include "TagError.h"

#include <QCoreApplication>
#include <QtTest>

#include <stdexcept>

using namespace album;

namespace {

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
    void failingStepsAreSkipped();
    void stopFinishesTheCurrentFileThenStops();
    void singleFileWriteTouchesOnlyTheSelectedFile();
    void emptyListDoesNothing();
};

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
