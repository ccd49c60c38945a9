// The main window without an album run: start-up and close with the settings, loading a
// folder, the renaming options, the list's tip, the keyboard and the names a screen
// reader meets.

#include "DragList.h"
#include "StartFolder.h"
#include "Tooltips_Class.h"
#include "WindowFixture.h"

#include <QToolTip>

using namespace wintest;
using fixture::Texts;

class TestWindow : public WindowTest {
    Q_OBJECT

private slots:
    void init() { Reset(); }

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
        // From a file manager: a file's URL after options and "--" names its folder and itself.
        const auto start = startfolder::FromArguments({"-x", "", "--", QUrl::fromLocalFile(folder + "C.Mp3").toString()});
        QVERIFY(start && start->file == "C.Mp3" && !startfolder::FromArguments({"http://example.org/a.mp3"}) && !startfolder::FromArguments({}));
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

    // The list's tip: shown on entering the list, wrapped to the tip width with one line
    // per stored pair, following a new text; gone on a click into the list and on leaving it.
    void listTip() {
        Root w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Tooltips_Class *tips = w.Tooltips();
        QListWidget *list = w.LDateien();
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        tips->SetTipText(list, "Artist: A\n\rTitel: ein Titel, der viel zu lang ist für die Breite eines Tipps");
        QCoreApplication::sendEvent(list, &enter);
        QTRY_COMPARE(tips->ShownFor(), list);
        QVERIFY2(QToolTip::text().contains("width=\"185\"") && QToolTip::text().count("<br/>") == 1, qPrintable(QToolTip::text()));
        tips->SetTipText(list, "Artist: B");
        QVERIFY(QToolTip::text().contains("Artist: B"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton);
        QVERIFY(!tips->ShownFor());
        QCoreApplication::sendEvent(list, &enter);
        QTRY_COMPARE(tips->ShownFor(), list);
        QCoreApplication::sendEvent(list, &leave);
        QVERIFY(!tips->ShownFor());
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
};

SORTI_TEST_MAIN(QApplication, TestWindow)
#include "tst_window.moc"
