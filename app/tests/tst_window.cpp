// The main window, one case per behaviour: start-up and close with the settings, loading
// a folder, the renaming options, the keyboard; and on album folders of MP3 files the
// album run (with a second click), declining, a failed trash, closing mid-run, the
// panel's fallback and the checked-only write, read back through the tag engine.

#include "AlbumFixture.h"
#include "DragList.h"
#include "Root.h"
#include "Tooltips_Class.h"

#include <QtWidgets>

#include <functional>
#include <memory>

using fixture::Texts;

namespace {

QCheckBox *Check(const Root &w, const QString &name) { return w.Control<QCheckBox>(name); }
QLineEdit *Edit(const Root &w, const QString &name) { return w.Control<QLineEdit>(name); }
QString Native(const QString &folder) { return QDir::toNativeSeparators(folder); }

// The settings file under the program's own key, read and written without the program.
QSettings Settings() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Varnolt", "Sortimentor"); }

// Calls `fn` on every pass of the event loop while it lives.
struct Poll {
    QTimer timer;
    explicit Poll(const std::function<void()> &fn) {
        QObject::connect(&timer, &QTimer::timeout, fn);
        timer.start(0);
    }
};
QMessageBox *Question() { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }

void Select(Root &w, const QString &entry) {
    w.LDateien()->setCurrentItem(w.LDateien()->findItems(entry, Qt::MatchExactly).value(0));
}

// Moves `entry` to the top with the arrow button.
void ToTop(Root &w, const QString &entry) {
    Select(w, entry);
    while (w.LDateien()->currentRow() > 0)
        w.bAufwaertsClick();
}

// On to the tag page; a new name (empty: the present ones) chooses the renaming on the way.
void ToTagPage(Root &w, const char *rename = nullptr) {
    w.bStarten()->click();
    if (rename) {
        Check(w, "bChangeFilename")->click();
        if (*rename)
            Edit(w, "tFilename")->setText(QString::fromUtf8(rename));
        else
            Check(w, "bUseExistFile")->click();
    }
    w.bStarten()->click();
    QVERIFY(Root::PageShown(w.xpFrames(1)));
}

// Checks each row's toggle ("Titel" for bTitel) and fills its field where a text is given.
void Tick(Root &w, const QList<std::pair<QString, QString>> &rows) {
    for (const auto &[row, text] : rows) {
        Check(w, "b" + row)->click();
        if (!text.isNull())
            Edit(w, "t" + row)->setText(text);
    }
}

void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}

// The audio of the named files, in that order.
QList<QByteArray> AudioOf(const QString &folder, const QStringList &names) {
    const auto audio = fixture::Snapshot(folder, true);
    QList<QByteArray> out;
    for (const QString &n : names)
        out << audio.value(n);
    return out;
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    int m_asked = 0;
    QStringList m_notices;

    std::unique_ptr<Root> Open(const QString &folder, bool realQuestion = false) {
        auto w = std::make_unique<Root>();
        w->SetFolderPicker([folder] { return folder; });
        w->SetNotice([this](const QString &title, const QString &text) { m_notices << title + "|" + text; });
        if (!realQuestion)
            w->SetConfirm([this](const QString &, const QString &) { return ++m_asked; });
        w->bOrdnerClick();
        return w;
    }
    // A folder of real MP3 files, opened in a window.
    std::unique_ptr<Root> OpenAlbum(const char *name, const QStringList &files, bool realQuestion = false) {
        const QString folder = fixture::FreshFolder(m_tmp, name);
        if (!fixture::MakeAlbum(folder, files))
            qFatal("the album could not be written");
        return Open(folder, realQuestion);
    }
    QString Folder(const char *name) { return m_tmp.filePath(name) + "/"; }

private slots:
    void init() {
        fixture::ClearSettings();
        m_asked = 0;
        m_notices.clear();
        fixture::TakeTrash();
    }

    void startUpAndCloseKeepTheSettings_data() {
        QTest::addColumn<QString>("version"); // stored before the start
        QTest::addColumn<QString>("lastDir"); // "album", "gone" or nothing
        QTest::newRow("first start") << "" << "";
        QTest::newRow("other version") << "1.0" << "";
        QTest::newRow("last folder") << "1.1" << "album";
        QTest::newRow("last folder gone") << "1.1" << "gone";
    }
    void startUpAndCloseKeepTheSettings() {
        QFETCH(QString, version);
        QFETCH(QString, lastDir);
        const bool listed = lastDir == "album";
        const QString album = fixture::FreshFolder(m_tmp, "last");
        fixture::FakeAlbum(album, {"b.mp3", "A.MP3"});
        const QString folderText = Native(lastDir == "gone" ? m_tmp.filePath("gone/") : album);
        if (!version.isEmpty()) {
            Settings().setValue("Version", version);
            Settings().setValue("InstallDir", "elsewhere");
        }
        if (!lastDir.isEmpty())
            Settings().setValue("LastDir", folderText);

        Root w;
        QCOMPARE(Settings().value("Version").toString(), QStringLiteral("1.1"));
        // Another version records the program's folder; the same one leaves it.
        QCOMPARE(Settings().value("InstallDir").toString(),
                 version == "1.1" ? "elsewhere" : Native(QCoreApplication::applicationDirPath()));
        QCOMPARE(Texts(w.LDateien()), listed ? QStringList({"A.MP3", "b.mp3"}) : QStringList());
        QCOMPARE(w.LDateien()->currentRow(), listed ? 0 : -1);
        w.Timer1Tick();
        QCOMPARE(w.bStarten()->isEnabled(), listed);
        w.close();
        QCOMPARE(Settings().value("LastDir", "<none>").toString(), listed ? folderText : QString());
    }

    // The folder is loaded in name order without files of 50 bytes or less; the check
    // leaves the last entry it kept selected. A large folder lets events run meanwhile.
    void loadingAFolder() {
        const QString folder = fixture::FreshFolder(m_tmp, "pick");
        fixture::FakeAlbum(folder, {"a.mp3", "C.Mp3", "notes.txt", "x.mp3.bak", "folder.mp3/"}, 51);
        fixture::FakeAlbum(folder, {"b.mp3", "d.mp3"}, 50);
        auto w = Open(folder.chopped(1));
        QCOMPARE(w->tOrdner()->text(), Native(folder));
        QCOMPARE(Texts(w->LDateien()), QStringList({"a.mp3", "C.Mp3"}));
        QCOMPARE(w->LDateien()->currentRow(), -1);
        QVERIFY(QFile::remove(folder + "d.mp3"));
        w->bOrdnerClick();
        QCOMPARE(w->LDateien()->currentRow(), 1);
        QVERIFY(w->OpenFolder(folder, "C.Mp3"));
        QCOMPARE(w->LDateien()->currentItem()->text(), QStringLiteral("C.Mp3"));
        for (const QString &bad : {m_tmp.filePath("gone"), folder + "a.mp3", QString()})
            QVERIFY(!w->OpenFolder(bad));
        QVERIFY(QDir(folder).removeRecursively()); // vanishes while it is shown
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 3);
        w->SetFolderPicker([] { return QString(); }); // cancelled: nothing changes
        w->bOrdnerClick();
        QCOMPARE(w->LDateien()->count(), 2);

        const QString big = fixture::FreshFolder(m_tmp, "big");
        for (int i = 1999; i >= 0; --i)
            QVERIFY(fixture::Write(big + QStringLiteral("Track %1.mp3").arg(i, 4, 10, QLatin1Char('0')), QByteArray(64, 'x')));
        int ticks = 0;
        Poll pulse([&] { ++ticks; });
        QVERIFY(w->OpenFolder(big));
        QCOMPARE(w->LDateien()->item(1999)->text(), QStringLiteral("Track 1999.mp3"));
        QVERIFY(ticks > 0);
    }

    // The renaming options with their help; the field toggles unlock their rows; the
    // track counter option goes with the album option.
    void pagesAndTheirOptions() {
        const QString folder = fixture::FreshFolder(m_tmp, "pages");
        fixture::FakeAlbum(folder, {"Song.mp3", "Zwei.mp3"});
        auto w = Open(folder);
        w->LDateien()->setCurrentRow(0);
        w->bStarten()->click();
        auto *name = Edit(*w, "tFilename");
        auto *useExist = Check(*w, "bUseExistFile");
        // A renaming choice shows icon 6 once the watcher has seen it; taking it back shows 5.
        auto watcherShows6 = [&] {
            w->SetHelpIcon(7);
            w->Timer1Tick();
            return w->HelpIcon() == 6;
        };
        Check(*w, "bChangeFilename")->click();
        QVERIFY(watcherShows6() && !watcherShows6());
        Check(*w, "bChangeFilename")->click();
        QCOMPARE(w->HelpIcon(), 5);
        name->setText("Ab");
        QVERIFY(!watcherShows6());
        name->setText("Abc");
        QVERIFY(watcherShows6());
        // The present names: the selected one is shown, the box locked, the user told once.
        useExist->click();
        QVERIFY(name->text() == "Song" && !name->isEnabled() && m_notices.size() == 1);
        useExist->click();
        QVERIFY(name->isEnabled() && name->text().isEmpty());
        w->LDateien()->setCurrentRow(-1);
        name->setText("Rest");
        useExist->click();
        QCOMPARE(name->text(), QString("Rest"));

        w->bStarten()->click();
        QVERIFY(Check(*w, "bAlbumRefresh")->isChecked()); // two entries: the whole album
        // Set from code, not clicked: the AT-SPI test toggles a box through its action.
        for (const QString row : {"Artist", "Titel", "Album", "Year", "Kommentar", "Track", "Genre"}) {
            for (bool unlocked : {true, false}) {
                Check(*w, "b" + row)->setChecked(unlocked);
                QVERIFY2(Edit(*w, "t" + row)->isReadOnly() != unlocked, qPrintable(row));
            }
        }
        auto *trackChange = Check(*w, "bTrackChange");
        Check(*w, "bTrack")->click();
        QVERIFY(trackChange->isChecked() && trackChange->isEnabled());
        Check(*w, "bAlbumRefresh")->click();
        QVERIFY(!trackChange->isEnabled());
    }

    // Ctrl+Up/Down from anywhere in the window, as the arrow buttons, and a drop; the
    // mnemonics of the page shown; the tab order; a name for every control a user meets.
    void keyboardAndScreenReader() {
        const QString folder = fixture::FreshFolder(m_tmp, "keys");
        fixture::FakeAlbum(folder, {"A.mp3", "B.mp3", "C.mp3"});
        auto w = std::make_unique<Root>(); // as main() sets it up, active so that keys reach it
        w->OpenFolder(folder);
        w->SetupKeyboardAndAccessibility();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->Timer1Tick();
        QListWidget *list = w->LDateien();
        auto *drags = qobject_cast<platform::DragList *>(list);
        const auto order = [&] { return Texts(list).join(' ').remove(".mp3"); };
        QCOMPARE(QApplication::focusWidget(), list);
        Key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(order(), "B A C");
        w->tOrdner()->setFocus();
        Key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(order(), "A B C");
        QCOMPARE(QApplication::focusWidget(), w->tOrdner());
        list->setFocus();
        Key(Qt::Key_Down); // a plain arrow only moves the selection
        QCOMPARE(list->currentRow(), 1);
        w->bAbwaerts()->setEnabled(false);
        Key(Qt::Key_Down, Qt::ControlModifier); // the list's own: on to the next entry
        QCOMPARE(order(), "A B C");
        w->bAbwaerts()->setEnabled(true);
        emit drags->dropped(0); // the current entry onto the first
        QCOMPARE(order(), "C A B");
        Key(Qt::Key_Up, Qt::ControlModifier); // at the top: nothing moves
        emit drags->dropped(3);               // past the last entry
        Key(Qt::Key_Down, Qt::ControlModifier);
        emit drags->dropped(4); // nowhere
        QVERIFY(order() == "A B C" && list->currentRow() == 2);
        Key(Qt::Key_W, Qt::AltModifier);
        QTRY_VERIFY(w->bPlayliste()->isChecked());
        Key(Qt::Key_U, Qt::AltModifier); // the file-name page is hidden
        QVERIFY(!Check(*w, "bChangeFilename")->isChecked());
        Key(Qt::Key_F, Qt::AltModifier);
        Key(Qt::Key_U, Qt::AltModifier);
        QVERIFY(Check(*w, "bChangeFilename")->isChecked());
        // Alt+V is "vorhandenen Dateinamen" there and the album option on the tag page.
        const bool refresh = Check(*w, "bAlbumRefresh")->isChecked();
        Key(Qt::Key_F, Qt::AltModifier);
        Key(Qt::Key_V, Qt::AltModifier);
        QVERIFY(Check(*w, "bAlbumRefresh")->isChecked() != refresh && !Check(*w, "bUseExistFile")->isChecked());
        int asked = 0;
        w->SetFolderPicker([&] { return ++asked, QString(); });
        Key(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 1);

        // The tag page.
        QWidget *store = w->Control(QStringLiteral("pSeite0")); // never shown
        int named = 0;
        for (QWidget *c : w->findChildren<QWidget *>()) {
            auto *label = qobject_cast<QLabel *>(c);
            if (!store->isAncestorOf(c) && ((c->focusPolicy() & Qt::TabFocus) || qobject_cast<QAbstractButton *>(c) ||
                                            qobject_cast<QGroupBox *>(c) || qobject_cast<QProgressBar *>(c) ||
                                            (label && !label->pixmap().isNull())))
                QVERIFY2(!QAccessible::queryAccessibleInterface(c)->text(QAccessible::Name).trimmed().isEmpty() && ++named,
                         qPrintable(c->objectName()));
        }
        QVERIFY(named >= 30);
    }

    // Tracks counted up, titles from the file names, the checked fields the same in
    // every file, the others each file's own; a read-only file made writable; the playlist.
    // Clicks during the run start nothing.
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
        const auto audio = AudioOf(folder, names);

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
        QCOMPARE(AudioOf(folder, names), audio);
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
        for (const QString name : {"b.mp3", "c.mp3"}) // the owner's write bit added, nothing else
            QCOMPARE(QFileInfo(folder + name).permissions() & QFileDevice::Permissions(0x7077), keptMode);
        QCOMPARE(fixture::Read(folder + "Best of.m3u"), QByteArray("d.mp3\r\na.mp3\r\nb.mp3\r\nc.mp3\r\n"));
        QVERIFY(fixture::TakeTrash().isEmpty());
    }

    // The real question boxes. Enter takes the run question's default "Nein": nothing
    // changes, and the page and the order stay for another try. Where the trash cannot be
    // made (a file stands in its place) a box asks after each file and "Nein" stops; every
    // file keeps its name and its audio, and the end of the run names each with the reason.
    void questionsLoseNothing_data() {
        QTest::addColumn<QString>("answers"); // to the run question, then to each trash question
        QTest::addColumn<QString>("laterFiles"); // what the report says of the files after the first
        QTest::newRow("Enter declines") << "Enter" << "";
        QTest::newRow("no trash, go on") << "Yes Yes Yes Yes" << "an seiner Stelle liegt eine Datei";
        QTest::newRow("no trash, stop") << "Yes No" << "der Lauf wurde abgebrochen";
    }
    void questionsLoseNothing() {
        QFETCH(QString, answers);
        QFETCH(QString, laterFiles);
        const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash", folder = Folder("questions");
        QVERIFY(QDir().mkpath(qEnvironmentVariable("XDG_DATA_HOME")) && (laterFiles.isEmpty() || fixture::Write(trash, "")));
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
                     asked[1].contains("an seiner Stelle liegt eine Datei"), qPrintable(asked[1]));
        QVERIFY(m_notices.size() == 1 && m_notices[0].startsWith(" Dateien umbenennen|"));
        for (const QString name : {"a.mp3", "b.mp3", "c.mp3"}) {
            const QString line = m_notices[0].split('\n').filter("  " + name + ": ").value(0);
            QVERIFY2(line.contains(name == "c.mp3" ? QStringLiteral("an seiner Stelle liegt eine Datei") : laterFiles),
                     qPrintable(m_notices[0]));
        }
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

SORTI_TEST_MAIN(QApplication, TestWindow)
#include "tst_window.moc"
