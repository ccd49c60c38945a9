// The album run through the window, on album folders of MP3 files: every file written in
// list order (with a second click), declining, a failed trash, closing mid-run, the
// panel's fallback and the checked-only write, read back through the tag engine.

#include "AlbumRun.h"
#include "Headless.h"
#include "RunJournal.h"
#include "Tooltips_Class.h"
#include "WindowFixture.h"

using namespace wintest;
using fixture::Texts;

// What the trash says when a file stands where its folder should be: GIO's refusal;
// wine's shell leaves the file, or deletes it for good and the program gives it back.
#ifdef Q_OS_WIN
const char kNoTrash[] = "lässt sich nicht in den Papierkorb verschieben";
#else
const char kNoTrash[] = "an seiner Stelle liegt eine Datei";
#endif

class TestWindowRun : public WindowTest {
    Q_OBJECT

private slots:
    void init() { Reset(); }

    // Tracks counted up, titles from the file names, the checked fields the same in
    // every file, the others each file's own; a read-only file made writable; the playlist.
    // Clicks during the run start nothing; its undo gives every byte back.
    void albumRunWritesEveryFileInListOrder() {
        const QString folder = fixture::FreshFolder(m_tmp, "album");
        const QStringList names{"a.mp3", "b.mp3", "c.mp3", "d.mp3"};
        QVERIFY(fixture::MakeAlbum(folder, names));
        for (int i = 0; i < names.size(); ++i) {
            const QString own = QString::number(1990 + i);
            QVERIFY(fixture::WriteTags(folder + names[i],
                                       {{"v2", QJsonObject{{"TPE1", "Alt"}, {"COMM", own}, {"TYER", own}}},
                                        {"v1", QJsonObject{{"artist", "Alt"}, {"comment", own}, {"year", own}}}}));
        }
        QVERIFY(QFile::setPermissions(folder + "c.mp3", QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        const auto keptMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
        QVERIFY(QFile::setPermissions(folder + "b.mp3", keptMode));
        QVERIFY(fixture::Write(folder + "Best of.m3u", QByteArray(300, 'x')));
        const auto audio = fixture::Snapshot(folder, true);
        const auto before = fixture::Snapshot(folder);

        auto w = Open(folder);
        ToTop(*w, "d.mp3");
        ToTagPage(*w);
        Tick(*w, {{"Artist", "Künstlerin"}, {"Album", "Best of"}, {"Track", "5"}, {"Titel", {}}, {"FilesTitel", {}}});
        w->bPlayliste()->setChecked(true);
        bool locked = true;
        int clicks = 0;
        Poll watch([&] {
            if (!w->IsRunning())
                return;
            if (clicks < 3 && ++clicks)
                w->bStarten()->click();
            locked = locked && !w->LDateien()->isEnabled() && !w->bOrdner()->isEnabled();
        });
        w->show();
        w->bStarten()->click();

        QVERIFY(clicks == 3 && locked && m_asked == 1);
        QVERIFY(w->LastRun().outcome == album::RunOutcome::Done && w->LastRun().visited == 4 && w->LastRun().failedSteps == 0);
        // Reloaded in name order, back on the first page, usable again.
        QCOMPARE(Texts(w->LDateien()), names);
        QVERIFY(Root::PageShown(w->xpFrames(3)) && !Root::PageShown(w->xpFrames(1)) && w->LDateien()->isEnabled() &&
                w->bOrdner()->isEnabled() && w->RunProgress()->isHidden());
        const auto audioAfter = fixture::Snapshot(folder, true);
        for (const QString &name : names)
            QCOMPARE(audioAfter.value(name), audio.value(name));
        const std::tuple<const char *, int, int> want[] = {{"d", 5, 1993}, {"a", 6, 1990}, {"b", 7, 1991}, {"c", 8, 1992}};
        for (const auto &[file, track, own] : want) {
            const QJsonObject t = fixture::ReadTags(folder + file + ".mp3");
            QCOMPARE(t.value("v2").toObject(), QJsonObject({{"TPE1", "Künstlerin"}, {"TALB", "Best of"}, {"TIT2", file},
                                                            {"TRCK", QString::number(track)}, {"COMM", QString::number(own)},
                                                            {"TYER", QString::number(own)}}));
            QCOMPARE(t.value("v1").toObject(), QJsonObject({{"artist", "Künstlerin"}, {"album", "Best of"}, {"title", file},
                                                            {"track", track}, {"comment", QString::number(own)},
                                                            {"year", QString::number(own)}, {"genre", 255}}));
        }
        // The owner's write bit added, nothing else (Windows has the read-only attribute alone).
        const auto mask = QFileDevice::Permissions(QSysInfo::productType() == "windows" ? 0x2000 : 0x7077);
        for (const QString name : {"b.mp3", "c.mp3"})
            QCOMPARE(QFileInfo(folder + name).permissions() & mask, keptMode & mask);
        QCOMPARE(fixture::Read(folder + "Best of.m3u"), QByteArray("d.mp3\r\na.mp3\r\nb.mp3\r\nc.mp3\r\n"));
        QVERIFY(fixture::TakeTrash().isEmpty());
        // Its undo from the first page gives every byte back.
        w->Control<QPushButton>("bUndoRun")->click();
        QCOMPARE(fixture::Snapshot(folder), before);
        QCOMPARE(m_asked, 2);
    }

    // The real question boxes. Enter takes the run question's default "Nein": nothing
    // changes, and the page and the order stay for another try. Where the trash cannot be
    // made (a file stands in its place) a box asks after each file and "Nein" stops; every
    // file keeps its name and its audio, and the end of the run names each with the reason.
    void questionsLoseNothing_data() {
        QTest::addColumn<QString>("answers"); // to the run question, then to each trash question
        QTest::addColumn<QString>("laterFiles"); // what the report says of the files after the first
        QTest::newRow("Enter declines") << "Enter" << "";
        QTest::newRow("no trash, go on") << "Yes Yes Yes Yes" << kNoTrash;
        QTest::newRow("no trash, stop") << "Yes No" << "der Lauf wurde abgebrochen";
    }
    void questionsLoseNothing() {
        QFETCH(QString, answers);
        QFETCH(QString, laterFiles);
        const QString trash = fixture::TrashDir(), folder = Folder("questions");
        QDir(trash).removeRecursively();
        QVERIFY(QDir().mkpath(QFileInfo(trash).path()) && (laterFiles.isEmpty() || fixture::Write(trash, "")));
        const auto restore = qScopeGuard([&] { QFile::remove(trash); });
        auto w = OpenAlbum("questions", {"a.mp3", "b.mp3", "c.mp3"}, true);
        const auto before = fixture::Snapshot(folder), audio = fixture::Snapshot(folder, true);
        ToTop(*w, "c.mp3");
        ToTagPage(*w, "Neu");
        Tick(*w, {{"Titel", "Nein"}});
        QStringList asked;
        const QStringList give = answers.split(' ');
        Poll answer([&] {
            if (auto *box = Question(); box && asked.size() < give.size()) {
                const auto *preset = box->defaultButton();
                asked << box->windowTitle() + "|" + (preset ? preset->text().remove('&') : "") + "|" + box->text();
                if (give[asked.size() - 1] == "Enter")
                    QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
                else
                    box->button(give[asked.size() - 1] == "Yes" ? QMessageBox::Yes : QMessageBox::No)->click();
            }
        });
        w->bStarten()->click();

        QCOMPARE(asked.size(), give.size());
        QVERIFY2(asked[0].startsWith(" Sortimentor Converter|Nein|"), qPrintable(asked[0]));
        QCOMPARE(fixture::Snapshot(folder, true), audio); // the same names, the same audio
        if (laterFiles.isEmpty()) {
            QCOMPARE(w->LastRun().outcome, album::RunOutcome::Declined);
            QCOMPARE(fixture::Snapshot(folder), before);
            QVERIFY(Root::PageShown(w->xpFrames(1)) && fixture::TakeTrash().isEmpty());
            QCOMPARE(Texts(w->LDateien()), QStringList({"c.mp3", "a.mp3", "b.mp3"}));
            return;
        }
        QVERIFY2(asked[1].startsWith(" Dateien umbenennen|") && asked[1].contains("\"c.mp3\"") &&
                     asked[1].contains(kNoTrash), qPrintable(asked[1]));
        QVERIFY(m_notices.size() == 1 && m_notices[0].startsWith(" Dateien umbenennen|"));
        for (const QString name : {"a.mp3", "b.mp3", "c.mp3"}) {
            const QString line = m_notices[0].split('\n').filter("  " + name + ": ").value(0);
            QVERIFY2(line.contains(name == "c.mp3" ? QString(kNoTrash) : laterFiles),
                     qPrintable(m_notices[0]));
        }
    }

    // A run cut short right after its plan: loading the folder asks in the real box;
    // "Später" keeps the record, "Rückgängig machen" ends it with every file as before.
    void unfinishedRunIsOffered() {
        const QString folder = fixture::FreshFolder(m_tmp, "cut");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3"}));
        const auto before = fixture::Snapshot(folder);
        {
            album::RunJournal j;
            const std::vector<QJsonObject> rows(2, {{"artist", true}, {"tArtist", "Neu"}});
            QVERIFY(j.Begin(folder, {"a.mp3", "b.mp3"}, {true, true}, rows, std::nullopt, QString(), nullptr));
        }
        for (const QString answer : {"Später", "Rückgängig machen"}) {
            QString asked;
            Poll click([&] {
                if (auto *box = Question(); box && asked.isEmpty())
                    for (QAbstractButton *b : box->buttons())
                        if (b->text() == answer)
                            asked = box->text(), b->click();
            });
            auto w = Open(folder, true);
            QTRY_VERIFY(!asked.isEmpty());
            QVERIFY2(asked.contains("0 von 2 Dateien sind fertig"), qPrintable(asked));
            album::RunJournal j;
            QCOMPARE(album::RunJournal::Exists(folder) && j.Load(folder) && !j.State().complete, answer == "Später");
        }
        QCOMPARE(fixture::Snapshot(folder), before);
    }

    // Closing while the second file is written: it is finished, the rest left alone,
    // then the window closes.
    void closeDuringARunStopsAfterTheCurrentFile() {
        const QString folder = Folder("close");
        auto w = OpenAlbum("close", {"a.mp3", "b.mp3", "c.mp3", "d.mp3"});
        const auto before = fixture::Snapshot(folder);
        w->show();
        ToTagPage(*w);
        Tick(*w, {{"Titel", "Geschrieben"}});
        w->bPlayliste()->setChecked(true);
        bool closeRefused = false;
        Poll closer([&] {
            if (w->IsRunning() && w->RunProgress()->value() == 2 && w->isVisible())
                closeRefused = !w->close();
        });
        w->bStarten()->click();
        QVERIFY(closeRefused && !w->isVisible());
        QVERIFY(w->LastRun().outcome == album::RunOutcome::Stopped && w->LastRun().visited == 2);
        for (const QString name : {"a.mp3", "b.mp3"}) {
            const QJsonObject t = fixture::ReadTags(folder + name);
            QCOMPARE(t["v2"]["TIT2"].toString() + "|" + t["v1"]["title"].toString(), QString("Geschrieben|Geschrieben"));
        }
        const auto after = fixture::Snapshot(folder);
        QCOMPARE(QList({after["c.mp3"], after["d.mp3"]}), QList({before["c.mp3"], before["d.mp3"]}));
        QCOMPARE(after.size(), 4); // no playlist after a stop
    }

    // The terminal's album run leaves every file, name and playlist byte for byte as the
    // window's run with the same choices does, and its undo gives the album back.
    void terminalRunMatchesTheWindow_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("fields, tracks counted") << QStringList{"--artist", "Künstlerin", "--year", "2001", "--track-start", "7", "--total"};
        QTest::newRow("titles from names, renamed") << QStringList{"--title-from-name", "--comment", "x", "--rename", "--name", "Live"};
        QTest::newRow("names kept, playlist") << QStringList{"--album", "Best of", "--playlist", "--rename", "--keep-names"};
        QTest::newRow("tracks per disc") << QStringList{"--track-start", "1", "--total", "--per-disc"};
    }
    void terminalRunMatchesTheWindow() {
        QFETCH(QStringList, args);
        const QStringList order{"c.mp3", "a.mp3", "b.mp3"};
        const auto value = [&](const char *option) { return args.value(args.indexOf(option) + 1); };
        QHash<QString, QByteArray> after[2];
        for (int terminal : {0, 1}) {
            const QString folder = fixture::FreshFolder(m_tmp, terminal ? "terminal" : "window");
            QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}) &&
                    fixture::WriteTags(folder + "c.mp3", {{"v2", QJsonObject{{"TRCK", "4"}, {"TIT2", "Alt"}, {"TPOS", "1/2"}}}}));
            for (const char *second : {"a.mp3", "b.mp3"}) // the second disc
                QVERIFY(fixture::WriteTags(folder + second, {{"v2", QJsonObject{{"TPOS", "2/2"}}}}));
            const auto before = fixture::Snapshot(folder);
            const auto sink = std::unique_ptr<FILE, int (*)(FILE *)>(std::tmpfile(), std::fclose);
            if (terminal) {
                QCOMPARE(headless::Run(QStringList{"--run"} + args + QStringList{folder} + order, sink.get(), sink.get()), 0);
                after[1] = fixture::Snapshot(folder);
                if (args.contains("--per-disc")) { // counted again from the second disc's first file
                    QStringList tracks;
                    for (const QString &name : order)
                        tracks << fixture::ReadTags(folder + name).value("v2").toObject().value("TRCK").toString();
                    QCOMPARE(tracks, QStringList({"1/1", "1/2", "2/2"}));
                }
                QCOMPARE(headless::Run({"--undo", folder}, sink.get(), sink.get()), 0);
                QCOMPARE(fixture::Snapshot(folder), before);
                continue;
            }
            auto w = Open(folder);
            for (auto it = order.crbegin(); it != order.crend(); ++it)
                ToTop(*w, *it);
            ToTagPage(*w, !args.contains("--rename") ? nullptr : args.contains("--keep-names") ? "" : value("--name").toUtf8().constData());
            for (const auto &[option, row] : {std::pair{"--artist", "Artist"}, {"--album", "Album"}, {"--year", "Year"},
                                              {"--comment", "Kommentar"}, {"--track-start", "Track"}})
                if (args.contains(option))
                    Tick(*w, {{row, value(option)}});
            if (args.contains("--title-from-name"))
                Tick(*w, {{"Titel", {}}, {"FilesTitel", {}}});
            Check(*w, "bGesamtzahl")->setChecked(args.contains("--total"));
            Check(*w, "bJeCD")->setChecked(args.contains("--per-disc"));
            w->bPlayliste()->setChecked(args.contains("--playlist"));
            w->bStarten()->click();
            after[0] = fixture::Snapshot(folder);
        }
        QCOMPARE(after[1], after[0]);
    }

    // The panel fills from ID3v1 only when the ID3v2 artist is empty; the track always comes
    // from ID3v2, the genre as a name; the list tip sums it up. A single-file write changes
    // the checked fields of the selected file in both tags, nothing else: not the other
    // fields, not the picture, not the other files. The track reaches ID3v2 only when
    // checked and ID3v1 always; the genre ID3v1 only.
    void panelAndSingleFileWrite() {
        const QString folder = Folder("panel");
        auto w = OpenAlbum("panel", {"1.mp3", "2.mp3", "3.mp3"});
        QVERIFY(fixture::WriteTags(
            folder + "1.mp3",
            {{"v2", QJsonObject{{"TIT2", "V2 Titel"}, {"TALB", "V2 Album"}, {"TYER", "1999"}, {"COMM", "Notiz"}, {"TRCK", "3/12"},
                                {"TCON", "(17)"}, {"APIC", "89504e470d0a1a0a" + QString(600, '7')}}},
             {"v1", QJsonObject{{"artist", "A"}, {"title", "T"}, {"year", "1987"}, {"comment", "v1 note"}, {"track", 5},
                                {"genre", 17}}}}));
        QVERIFY(fixture::WriteTags(folder + "2.mp3", {{"v2", QJsonObject{{"TPE1", "Bänd"}, {"TCON", "(17)"}}},
                                                      {"v1", QJsonObject{{"artist", "Other"}, {"album", "V1 Album"}}}}));
        const auto shown = [&](const QString &entry) {
            Select(*w, entry);
            QStringList out;
            for (const char *row : {"tArtist", "tTitel", "tAlbum", "tYear", "tKommentar", "tTrack", "tGenre"})
                out << Edit(*w, row)->text();
            for (const char *row : {"cBitrate", "cTimes"})
                out << w->Control<QLabel>(row)->text();
            return out.join('|') + "|" + w->Tooltips()->ToolText(w->LDateien()).replace("\n\r", ";");
        };
        QCOMPARE(shown("1.mp3"), "A|T||1987|v1 note|3/12|Rock|128|00:00:01|Artist: A;Album: ;Titel: T;Track: 3/12");
        QCOMPARE(shown("2.mp3"), "Bänd||||||Rock|128|00:00:01|Artist: Bänd;Album: ;Titel: ;Track: ");
        QCOMPARE(shown("3.mp3"), "|||||||128|00:00:01|Artist: ;Album: ;Titel: ;Track: ");

        const QJsonObject before = fixture::ReadTags(folder + "1.mp3");
        QJsonObject v2 = before["v2"].toObject(), v1 = before["v1"].toObject();
        const QByteArray others = fixture::Read(folder + "2.mp3") + fixture::Read(folder + "3.mp3");
        const QByteArray picture = QByteArray::fromHex("89504e470d0a1a0a" + QByteArray(600, '7'));
        const auto writeAndCompare = [&] {
            w->bStarten()->click();
            QCOMPARE(w->LastRun().failedSteps, 0);
            QCOMPARE(fixture::Read(folder + "1.mp3").count(picture), 1);
            const QJsonObject after = fixture::ReadTags(folder + "1.mp3");
            QCOMPARE(after["v2"].toObject(), v2);
            QCOMPARE(after["v1"].toObject(), v1);
        };
        Select(*w, "1.mp3");
        ToTagPage(*w);
        Tick(*w, {{"AlbumRefresh", {}}, {"Titel", "Neu"}}); // the selected file alone
        Edit(*w, "tArtist")->setText("not written"); // its toggle is unchecked
        Edit(*w, "tGenre")->setText("Pop");          // nor is this one's
        Edit(*w, "tTrack")->setText("4");            // ID3v1 takes the track row always
        v2["TIT2"] = v1["title"] = "Neu";
        v1["track"] = 4;
        writeAndCompare();
        QVERIFY(Root::PageShown(w->xpFrames(1))); // no reload after a single-file write

        Tick(*w, {{"Titel", {}}, {"Track", "9"}, {"Genre", {}}});
        v2["TRCK"] = "9";
        v1["track"] = 9;
        v1["genre"] = 13;
        writeAndCompare();
        QCOMPARE(fixture::Read(folder + "2.mp3") + fixture::Read(folder + "3.mp3"), others);
        QCOMPARE(m_asked, 0);
        // A file gone since the listing: the rows are emptied.
        Select(*w, "2.mp3");
        QVERIFY(QFile::remove(folder + "1.mp3"));
        QCOMPARE(shown("1.mp3"), "|||||||0|00:00:00|Artist: ;Album: ;Titel: ;Track: ");
    }
};

SORTI_TEST_MAIN(QApplication, TestWindowRun)
#include "tst_windowrun.moc"
