// The small rules of the album run (track counter, the playlist's name), the run
// driver's skip-and-continue and the folder named at start, without a window.

#include "AlbumFixture.h"
#include "AlbumWorkflow.h"
#include "StartFolder.h"
#include "TagError.h"


#include <stdexcept>

using namespace album;

class TestAlbumRules : public QObject {
    Q_OBJECT

private slots:
    void trackCounter_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("next");
        QTest::newRow("letters count as 1") << "de_DE" << "abc" << "2";
        QTest::newRow("not a finite number") << "en_US" << "inf" << "2";
        QTest::newRow("German thousands") << "de_DE" << "1.234" << "1235";
        QTest::newRow("German decimal comma") << "de_DE" << "1,5" << "2,5";
    }
    void trackCounter() {
        QFETCH(QString, locale);
        QFETCH(QString, current);
        QFETCH(QString, next);
        QCOMPARE(NextTrackText(current, QLocale(locale)), next);
    }

    // Nothing is written outside the folder nor over a folder.
    void playlistRefusesNamesOutsideTheFolder() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("AC") && QDir(dir.path()).mkdir("Live.m3u"));
        for (const char *album : {"AC/DC", "Live"})
            QVERIFY2(!WritePlaylist(dir.path(), album, {"a.mp3"}), album);
        QVERIFY(fixture::Listing(dir.path()).isEmpty() && QDir(dir.path() + "/AC").isEmpty());
    }

    // A failing step is skipped and the next one runs; every file goes through every step
    // in order, the first one without counting on.
    void failingStepsAreSkipped() {
        QStringList calls;
        auto step = [&](const char *name, int failOn, std::function<void()> fail = {}) {
            return [&calls, name, failOn, fail](const RunFile &f) {
                calls << QStringLiteral("%1:%2").arg(f.index).arg(name);
                if (f.index == failOn)
                    fail();
            };
        };
        FileSteps steps{step("select", -1), step("count", -1),
                        step("writable", 0, [] { throw std::runtime_error("locked"); }), step("title", -1),
                        step("id3v1", 1, [] { throw tags::TagError(tags::kErrNotValidMp3, "s", "not valid"); }),
                        step("tags", 2, [] { throw 42; })};
        AlbumRun run;
        run.SetSteps(steps);
        const RunPlan plan{QDir::tempPath(), {"x.mp3", "y.mp3", "z.mp3", "w.mp3"}};
        const RunResult r = run.Run(plan);
        QVERIFY(r.outcome == RunOutcome::Done && r.visited == 4 && r.failedSteps == 3);
        QCOMPARE(r.failedFiles, QStringList({"x.mp3", "y.mp3", "z.mp3"}));
        QCOMPARE(calls.mid(0, 11), QStringList({"0:select", "0:writable", "0:title", "0:id3v1", "0:tags", "1:select", "1:count",
                                                "1:writable", "1:title", "1:id3v1", "1:tags"}));
        QCOMPARE(calls.size(), 23);

        // A run started from within a run starts nothing.
        RunOutcome inner = RunOutcome::Done;
        run.SetSteps({[&](const RunFile &) { inner = run.Run(plan).outcome; }});
        run.Run(plan);
        QCOMPARE(inner, RunOutcome::Busy);

        // An empty list asks nothing and does nothing.
        bool asked = false;
        run.SetConfirm([&](const QString &, const QString &) { return asked = true; });
        QVERIFY(run.Run(RunPlan{}).outcome == RunOutcome::Empty && !asked);
    }

    void startArgumentNamesTheFolder_data() {
        QTest::addColumn<QStringList>("args"); // "@" stands for the album folder, "~" for its parent
        QTest::addColumn<QString>("folder");   // "" for no target
        QTest::addColumn<QString>("file");
        const QString album = "Über den Wolken";
        QTest::newRow("options only") << QStringList{"--verbose", "-x"} << "" << "";
        QTest::newRow("gone") << QStringList{"~/gone"} << "" << "";
        QTest::newRow("web URL") << QStringList{"https://example.org/album/"} << "" << "";
        QTest::newRow("odd segments") << QStringList{"@/../" + album + "/"} << album << "";
        QTest::newRow("relative after an option") << QStringList{"--new-window", album} << album << "";
        QTest::newRow("file URL") << QStringList{"file://@"} << album << "";
        QTest::newRow("first one counts") << QStringList{"@/a.mp3", "~"} << album << "a.mp3";
        QTest::newRow("dash after --") << QStringList{"--", "-dash"} << "-dash" << "";
        QTest::newRow("local name like a URL") << QStringList{"cd:1"} << "cd:1" << "";
    }
    void startArgumentNamesTheFolder() {
        QFETCH(QStringList, args);
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QTemporaryDir tmp;
        for (const char *dir : {"Über den Wolken", "-dash", "cd:1"})
            fixture::FakeAlbum(fixture::FreshFolder(tmp, dir), {"a.mp3", "b.mp3"});
        const QString album = tmp.filePath("Über den Wolken");
        for (QString &a : args) {
            if (a.startsWith("file://"))
                a = QUrl::fromLocalFile(a.mid(7).replace('@', album)).toString(QUrl::FullyEncoded);
            a.replace('@', album).replace('~', tmp.path());
        }
        const auto t = startfolder::FromArguments(args, tmp.path());
        QCOMPARE(t.has_value(), !folder.isEmpty());
        if (t) {
            QCOMPARE(t->folder, QDir::toNativeSeparators(tmp.filePath(folder)));
            QCOMPARE(t->file, file);
        }
    }
};

SORTI_TEST_MAIN(QCoreApplication, TestAlbumRules)
#include "tst_albumrules.moc"
