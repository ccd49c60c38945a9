// The main window without real audio: start-up and close with the settings, loading a
// folder, the pages and the help panel, the toggles and renaming options, and the
// keyboard: the folder given at start, shortcuts, moving entries, tab order, names.

#include "AlbumFixture.h"
#include "DragList.h"
#include "Info.h"
#include "Registry.h"
#include "Root.h"
#include "StartFolder.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <functional>
#include <memory>

using namespace platform;
using fixture::Texts;

namespace {

QCheckBox *Check(const Root &w, const char *name) { return w.Control<QCheckBox>(QString::fromLatin1(name)); }
QLineEdit *Edit(const Root &w, const char *name) { return w.Control<QLineEdit>(QString::fromLatin1(name)); }

QString Stored(const QString &name) {
    RegValue v;
    if (!GetValue(kCurrentUser, Root::SettingsKey(), name, v) || !std::holds_alternative<QString>(v))
        return QStringLiteral("<none>");
    return std::get<QString>(v);
}
void Store(const QString &name, const QString &value) {
    CreateKey(kCurrentUser, QStringLiteral("Software\\Varnolt"), QStringLiteral("1"));
    CreateKey(kCurrentUser, Root::SettingsKey(), QStringLiteral("1"));
    QVERIFY(SetValue(kCurrentUser, Root::SettingsKey(), name, value));
}

QString Native(const QString &folder) { return QDir::toNativeSeparators(folder); }

// The window as main() sets it up, shown and active so that keys reach it.
std::unique_ptr<Root> Shown(const QString &folder) {
    auto w = std::make_unique<Root>();
    w->OpenFolder(folder);
    w->SetupKeyboardAndAccessibility();
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get()))
        qWarning("window not active");
    w->Timer1Tick();
    return w;
}

void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}

// The tab chain from `start` once around, by object name.
QStringList TabWalk(QWidget *start) {
    start->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (QWidget *f = start; f && visited.size() < 100; f = QApplication::focusWidget()) {
        if (!visited.isEmpty() && f == start)
            break;
        visited << f->objectName();
        QTest::keyClick(f, Qt::Key_Tab);
    }
    return visited;
}

} // namespace

class TestRoot : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;

    std::unique_ptr<Root> OpenWithAlbum(const QString &folder) {
        auto w = std::make_unique<Root>();
        w->SetFolderPicker([folder] { return folder; });
        w->bOrdnerClick();
        return w;
    }

private slots:
    void init() { fixture::ClearSettings(); }

    void startUpAndCloseKeepTheSettings_data() {
        QTest::addColumn<QString>("version");    // stored before the start
        QTest::addColumn<QString>("lastDir");    // "album", "gone" or nothing
        QTest::addColumn<bool>("restore");       // false: a folder came with the command line
        QTest::addColumn<QString>("installDir"); // after the start: "app" for the program's folder
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("lastDirAfter");
        const QStringList album{"A.MP3", "b.mp3"};
        QTest::newRow("first start") << "" << "" << true << "app" << QStringList() << "";
        QTest::newRow("same version") << "1.1" << "" << true << "elsewhere" << QStringList() << "";
        QTest::newRow("other version") << "1.0" << "" << true << "app" << QStringList() << "";
        QTest::newRow("last folder") << "1.1" << "album" << true << "elsewhere" << album << "album";
        QTest::newRow("last folder gone") << "1.1" << "gone" << true << "elsewhere" << QStringList() << "";
        QTest::newRow("command line") << "1.1" << "album" << false << "elsewhere" << QStringList() << "";
    }
    void startUpAndCloseKeepTheSettings() {
        QFETCH(QString, version);
        QFETCH(QString, lastDir);
        QFETCH(bool, restore);
        QFETCH(QString, installDir);
        QFETCH(QStringList, listed);
        QFETCH(QString, lastDirAfter);
        const QString album = fixture::FreshFolder(m_tmp, "last");
        fixture::FakeAlbum(album, {"b.mp3", "A.MP3"});
        fixture::FakeAlbum(album, {"tiny.mp3"}, 10);
        const QString folderText = Native(lastDir == "gone" ? m_tmp.filePath("gone/") : album);
        if (!version.isEmpty()) {
            Store("Version", version);
            Store("InstallDir", "elsewhere");
        }
        if (!lastDir.isEmpty())
            Store("LastDir", folderText);

        Root w(nullptr, restore);
        QCOMPARE(Stored("Version"), QStringLiteral("1.1"));
        QCOMPARE(Stored("InstallDir"), installDir == "app" ? Native(QCoreApplication::applicationDirPath()) : installDir);
        QCOMPARE(Texts(w.LDateien()), listed);
        QCOMPARE(w.LDateien()->currentRow(), listed.isEmpty() ? -1 : 0);
        w.Timer1Tick();
        QCOMPARE(w.bStarten()->isEnabled(), !listed.isEmpty());
        QCOMPARE(w.HelpIcon(), listed.isEmpty() ? 1 : 4);
        w.close();
        QCOMPARE(Stored("LastDir"), lastDirAfter == "album" ? folderText : QString());
    }

    // The picker's folder is loaded in name order without files of 50 bytes or less; the
    // check leaves the last entry it kept selected, or none when it removed the last one.
    void choosingAFolderLoadsIt() {
        const QString folder = fixture::FreshFolder(m_tmp, "pick");
        fixture::FakeAlbum(folder, {"a.mp3", "c.mp3"}, 51);
        fixture::FakeAlbum(folder, {"b.mp3", "d.mp3"}, 50);
        auto w = OpenWithAlbum(folder.chopped(1));
        QCOMPARE(w->tOrdner()->text(), Native(folder));
        QCOMPARE(Texts(w->LDateien()), QStringList({"a.mp3", "c.mp3"}));
        QCOMPARE(w->LDateien()->currentRow(), -1);
        QVERIFY(QFile::remove(folder + "d.mp3"));
        w->bOrdnerClick();
        QCOMPARE(w->LDateien()->currentRow(), 1);
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 4);
        // The folder vanishes while the list is shown.
        QVERIFY(QDir(folder).removeRecursively());
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 3);
        // Cancelling the picker changes nothing; a folder without MP3 files empties the list.
        w->SetFolderPicker([] { return QString(); });
        w->bOrdnerClick();
        QCOMPARE(Texts(w->LDateien()), QStringList({"a.mp3", "c.mp3"}));
        const QString empty = fixture::FreshFolder(m_tmp, "empty");
        fixture::FakeAlbum(empty, {"x.txt"});
        w->SetFolderPicker([empty] { return empty; });
        w->bOrdnerClick();
        QCOMPARE(w->LDateien()->count(), 0);
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 1);
        QVERIFY(!w->bStarten()->isEnabled());

        // A large folder lets the window's events run while it loads.
        const QString big = fixture::FreshFolder(m_tmp, "big");
        for (int i = 1999; i >= 0; --i)
            QVERIFY(fixture::Write(big + QStringLiteral("Track %1.mp3").arg(i, 4, 10, QLatin1Char('0')), QByteArray(64, 'x')));
        int ticks = 0;
        QTimer pulse;
        connect(&pulse, &QTimer::timeout, [&] { ++ticks; });
        pulse.start(0);
        w->SetFolderPicker([big] { return big; });
        w->bOrdnerClick();
        QCOMPARE(w->LDateien()->count(), 2000);
        QCOMPARE(w->LDateien()->item(1999)->text(), QStringLiteral("Track 1999.mp3"));
        QVERIFY(ticks > 0);
    }

    void pagesAndHelpFollowTheContinueButton() {
        const QString folder = fixture::FreshFolder(m_tmp, "pages");
        fixture::FakeAlbum(folder, {"A.mp3", "B.mp3"});
        auto w = OpenWithAlbum(folder);
        auto *refresh = Check(*w, "bAlbumRefresh");
        const struct {
            int page, icon;
            const char *title;
        } steps[] = {{2, 5, "Dateinamen ändern"}, {1, 7, "Eigenschaften ändern"}};
        for (const auto &s : steps) {
            w->bStarten()->click();
            for (int i = 1; i <= 3; ++i)
                QCOMPARE(Root::PageShown(w->xpFrames(i)), i == s.page);
            QCOMPARE(w->HelpIcon(), s.icon);
            QCOMPARE(w->pHelpTitel()->text(), QString(s.title));
            QVERIFY(refresh->isChecked()); // two entries: the whole album
        }
        // The album run asks first; No keeps the page.
        int asked = 0;
        w->SetConfirm([&](const QString &, const QString &) { return ++asked, false; });
        w->bStarten()->click();
        QCOMPARE(asked, 1);
        QVERIFY(Root::PageShown(w->xpFrames(1)));
        // Loading again brings back the first page with every state at "0".
        w->bOrdnerClick();
        QVERIFY(Root::PageShown(w->xpFrames(3)) && !Root::PageShown(w->xpFrames(1)));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(Root::TagOf(w->xpFrames(i)), QStringLiteral("0"));
        // One entry: the album option is left as it is.
        refresh->setChecked(false);
        const QString one = fixture::FreshFolder(m_tmp, "one");
        fixture::FakeAlbum(one, {"A.mp3"});
        auto w1 = OpenWithAlbum(one);
        w1->bStarten()->click();
        QVERIFY(!Check(*w1, "bAlbumRefresh")->isChecked());
    }

    // However a box changes (a click, the program, a screen reader's toggle), its row
    // unlocks and locks again and the help shows icon 8.
    void togglesUnlockTheirRows_data() {
        QTest::addColumn<std::function<void(QCheckBox *)>>("toggle");
        QTest::newRow("click") << std::function<void(QCheckBox *)>([](QCheckBox *b) { b->click(); });
        QTest::newRow("program") << std::function<void(QCheckBox *)>([](QCheckBox *b) { b->setChecked(!b->isChecked()); });
        QTest::newRow("accessible toggle") << std::function<void(QCheckBox *)>([](QCheckBox *b) {
            QAccessible::queryAccessibleInterface(b)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        });
    }
    void togglesUnlockTheirRows() {
        QFETCH(std::function<void(QCheckBox *)>, toggle);
        const QString folder = fixture::FreshFolder(m_tmp, "toggles");
        fixture::FakeAlbum(folder, {"a.mp3"});
        auto w = OpenWithAlbum(folder);
        w->bStarten()->click();
        w->bStarten()->click();
        for (const char *row : {"Artist", "Titel", "Album", "Year", "Kommentar", "Track", "Genre"}) {
            QCheckBox *box = Check(*w, qPrintable(QStringLiteral("b") + row));
            QLineEdit *edit = Edit(*w, qPrintable(QStringLiteral("t") + row));
            for (bool unlocked : {true, false}) {
                w->SetHelpIcon(7);
                toggle(box);
                QVERIFY2(edit->isReadOnly() != unlocked, row);
                QCOMPARE(w->HelpIcon(), 8);
            }
        }
        // The track counter option is usable with the album option only, and checked with
        // the track when the album option is on.
        auto *trackChange = Check(*w, "bTrackChange");
        QVERIFY(!trackChange->isEnabled());
        Check(*w, "bAlbumRefresh")->click();
        QVERIFY(trackChange->isEnabled());
        Check(*w, "bTrack")->click();
        QVERIFY(trackChange->isChecked());
        Check(*w, "bAlbumRefresh")->click();
        QVERIFY(!trackChange->isEnabled());
    }

    // The file-name page's state: "2" when a renaming choice was just made, "1" after the
    // watcher has shown it (icon 6) or when the choice is taken back (icon 5).
    void renamingOptionsSetThePageState() {
        const QString folder = fixture::FreshFolder(m_tmp, "options");
        fixture::FakeAlbum(folder, {"Song.mp3", "Zwei.mp3"});
        auto w = OpenWithAlbum(folder);
        QStringList notices;
        w->SetNotice([&](const QString &title, const QString &) { notices << title; });
        w->LDateien()->setCurrentRow(0);
        w->bStarten()->click();
        auto state = [&] { return Root::TagOf(w->xpFrames(2)); };
        auto *name = Edit(*w, "tFilename");
        auto *useExist = Check(*w, "bUseExistFile");
        Check(*w, "bChangeFilename")->click();
        QCOMPARE(state(), QString("2"));
        Check(*w, "bChangeFilename")->click();
        QCOMPARE(state(), QString("1"));
        QCOMPARE(w->HelpIcon(), 5);
        name->setText("Ab");
        QCOMPARE(state(), QString("1"));
        name->setText("Abc");
        QCOMPARE(state(), QString("2"));
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 6);
        QCOMPARE(state(), QString("1"));
        // The present names: the selected one is shown, the box locked, the user told once.
        useExist->click();
        QCOMPARE(name->text(), QString("Song"));
        QVERIFY(!name->isEnabled());
        QCOMPARE(notices, QStringList{" Dateien umbenennen"});
        QCOMPARE(state(), QString("2"));
        useExist->click();
        QVERIFY(name->isEnabled() && name->text().isEmpty());
        QCOMPARE(notices.size(), 1);
        // No selection: the name is left as it is.
        name->setText("Rest");
        w->LDateien()->setCurrentRow(-1);
        useExist->click();
        QCOMPARE(name->text(), QString("Rest"));
    }

    void aboutButtonOpensTheDialog() {
        Root w;
        QCoreApplication::setApplicationVersion(QStringLiteral("1.01.0007"));
        w.bInfo()->click();
        auto *dialog = w.findChild<Info *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->RName->text(), QString("Sortimentor 1.01 Build 700"));
        dialog->BAbbrechen->click();
        QTRY_VERIFY(!w.findChild<Info *>());
    }

    void startArgumentNamesTheFolder_data() {
        QTest::addColumn<QStringList>("args"); // "@" stands for the album folder, "~" for its parent
        QTest::addColumn<QString>("folder");   // "" for no target
        QTest::addColumn<QString>("file");
        const QString album = "Über den Wolken";
        QTest::newRow("nothing") << QStringList() << "" << "";
        QTest::newRow("options only") << QStringList{"--verbose", "-x"} << "" << "";
        QTest::newRow("gone") << QStringList{"~/gone"} << "" << "";
        QTest::newRow("web URL") << QStringList{"https://example.org/album/"} << "" << "";
        QTest::newRow("folder") << QStringList{"@"} << album << "";
        QTest::newRow("odd segments") << QStringList{"@/../" + album + "/"} << album << "";
        QTest::newRow("relative after an option") << QStringList{"--new-window", album} << album << "";
        QTest::newRow("file URL") << QStringList{"file://@"} << album << "";
        QTest::newRow("file URL of a file") << QStringList{"file://@/b.mp3"} << album << "b.mp3";
        QTest::newRow("first one counts") << QStringList{"@/a.mp3", "~"} << album << "a.mp3";
        QTest::newRow("dash after --") << QStringList{"--", "-dash"} << "-dash" << "";
        QTest::newRow("local name like a URL") << QStringList{"cd:1"} << "cd:1" << "";
    }
    void startArgumentNamesTheFolder() {
        QFETCH(QStringList, args);
        QFETCH(QString, folder);
        QFETCH(QString, file);
        for (const char *dir : {"Über den Wolken", "-dash", "cd:1"})
            fixture::FakeAlbum(fixture::FreshFolder(m_tmp, dir), {"a.mp3", "b.mp3"});
        const QString album = m_tmp.filePath("Über den Wolken");
        for (QString &a : args) {
            if (a.startsWith("file://"))
                a = QUrl::fromLocalFile(a.mid(7).replace('@', album)).toString(QUrl::FullyEncoded);
            a.replace('@', album).replace('~', m_tmp.path());
        }
        const auto t = startfolder::FromArguments(args, m_tmp.path());
        QCOMPARE(t.has_value(), !folder.isEmpty());
        if (t) {
            QCOMPARE(t->folder, Native(m_tmp.filePath(folder)));
            QCOMPARE(t->file, file);
        }
    }

    void openFolderLoadsLikeTheFolderButton() {
        const QString given = fixture::FreshFolder(m_tmp, "given");
        fixture::FakeAlbum(given, {"02.mp3", "01.mp3", "03.mp3"});
        Root w;
        QVERIFY(w.OpenFolder(given.chopped(1), QStringLiteral("02.mp3")));
        QCOMPARE(w.tOrdner()->text(), Native(given));
        QCOMPARE(Texts(w.LDateien()), QStringList({"01.mp3", "02.mp3", "03.mp3"}));
        QCOMPARE(w.LDateien()->currentItem()->text(), QStringLiteral("02.mp3"));
        QVERIFY(w.OpenFolder(given, QStringLiteral("nope.mp3")));
        QCOMPARE(w.LDateien()->currentRow(), 0);
        // Not a folder: nothing changes.
        for (const QString &bad : {m_tmp.filePath("gone"), given + "01.mp3", QString()})
            QVERIFY(!w.OpenFolder(bad));
        QCOMPARE(w.tOrdner()->text(), Native(given));
        QCOMPARE(w.LDateien()->count(), 3);
    }

    // Ctrl+Up/Down from anywhere in the window, as the arrow buttons; and one drag.
    void keysAndDraggingMoveTheSelectedEntry() {
        const QString folder = fixture::FreshFolder(m_tmp, "order");
        fixture::FakeAlbum(folder, {"A.mp3", "B.mp3", "C.mp3"});
        auto w = Shown(folder);
        QListWidget *list = w->LDateien();
        QCOMPARE(QApplication::focusWidget(), list);
        Key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(Texts(list), QStringList({"B.mp3", "A.mp3", "C.mp3"}));
        w->tOrdner()->setFocus();
        Key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(Texts(list), QStringList({"A.mp3", "B.mp3", "C.mp3"}));
        QCOMPARE(QApplication::focusWidget(), w->tOrdner());
        list->setFocus();
        Key(Qt::Key_Down); // a plain arrow only moves the selection
        QCOMPARE(list->currentRow(), 1);
        QCOMPARE(Texts(list), QStringList({"A.mp3", "B.mp3", "C.mp3"}));
        w->bAbwaerts()->setEnabled(false);
        Key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(Texts(list), QStringList({"A.mp3", "B.mp3", "C.mp3"}));

        QWidget *vp = list->viewport();
        for (auto [type, row, button, buttons] : {std::tuple{QEvent::MouseButtonPress, 0, Qt::LeftButton, Qt::LeftButton},
                                                  {QEvent::MouseMove, 2, Qt::NoButton, Qt::LeftButton},
                                                  {QEvent::MouseButtonRelease, 2, Qt::LeftButton, Qt::NoButton}}) {
            const QPoint p = list->visualItemRect(list->item(row)).center();
            QMouseEvent e(type, p, vp->mapToGlobal(p), button, Qt::MouseButtons(buttons), Qt::NoModifier);
            QApplication::sendEvent(vp, &e);
        }
        QCOMPARE(Texts(list), QStringList({"B.mp3", "A.mp3", "C.mp3"}));
        QCOMPARE(list->currentItem()->text(), QStringLiteral("A.mp3"));
    }

    void mnemonicsWorkOnTheirPageOnly() {
        const QString folder = fixture::FreshFolder(m_tmp, "keys");
        fixture::FakeAlbum(folder, {"A.mp3", "B.mp3"});
        auto w = Shown(folder);
        auto *changeName = Check(*w, "bChangeFilename");
        Key(Qt::Key_W, Qt::AltModifier);
        QTRY_VERIFY(w->bPlayliste()->isChecked());
        Key(Qt::Key_U, Qt::AltModifier); // the file-name page is hidden
        QVERIFY(!changeName->isChecked());
        Key(Qt::Key_F, Qt::AltModifier);
        QVERIFY(Root::PageShown(w->xpFrames(2)));
        Key(Qt::Key_U, Qt::AltModifier);
        QVERIFY(changeName->isChecked());
        Key(Qt::Key_N, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), Edit(*w, "tFilename"));
        // Alt+V is "vorhandenen Dateinamen" here and the album option on the tag page.
        const bool refresh = Check(*w, "bAlbumRefresh")->isChecked();
        const bool useExist = Check(*w, "bUseExistFile")->isChecked();
        Key(Qt::Key_F, Qt::AltModifier);
        Key(Qt::Key_V, Qt::AltModifier);
        QCOMPARE(Check(*w, "bAlbumRefresh")->isChecked(), !refresh);
        QCOMPARE(Check(*w, "bUseExistFile")->isChecked(), useExist);
        Key(Qt::Key_A, Qt::AltModifier);
        QVERIFY(Check(*w, "bArtist")->isChecked());
        // Alt+O and Ctrl+O choose a folder; Alt+D goes to the list.
        int asked = 0;
        w->SetFolderPicker([&] { return ++asked, QString(); });
        Key(Qt::Key_O, Qt::AltModifier);
        Key(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 2);
        Key(Qt::Key_D, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), w->LDateien());
    }

    // Tab reaches every enabled control of the page shown, in reading order, each field
    // toggle followed by its field; every control a user meets has an accessible name.
    void tabOrderAndAccessibleNames() {
        const QString folder = fixture::FreshFolder(m_tmp, "tabs");
        fixture::FakeAlbum(folder, {"A.mp3", "B.mp3"});
        auto w = Shown(folder);
        auto reachable = [&] {
            QSet<QString> set;
            for (QWidget *c : w->findChildren<QWidget *>())
                if (c->isVisible() && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus))
                    set.insert(c->objectName());
            return set;
        };
        w->bStartenClick();
        QStringList walk = TabWalk(w->tOrdner());
        QCOMPARE(walk, QStringList({"tOrdner", "bOrdner", "LDateien", "bAufwärts", "bAbwärts", "bPlayliste",
                                    "bChangeFilename", "bUseExistFile", "tFilename", "bInfo", "bStarten"}));
        w->bStartenClick();
        walk = TabWalk(w->tOrdner());
        QCOMPARE(QSet<QString>(walk.begin(), walk.end()), reachable());
        QCOMPARE(walk.size(), reachable().size());
        for (const QString t : {"Artist", "Titel", "Album", "Year", "Track", "Genre", "Kommentar"})
            QCOMPARE(walk.value(walk.indexOf("b" + t) + 1), "t" + t);

        QWidget *store = w->Control(QStringLiteral("pSeite0")); // never shown
        int named = 0;
        for (QWidget *c : w->findChildren<QWidget *>()) {
            auto *label = qobject_cast<QLabel *>(c);
            if (store->isAncestorOf(c) ||
                !((c->focusPolicy() & Qt::TabFocus) || qobject_cast<QAbstractButton *>(c) || qobject_cast<QGroupBox *>(c) ||
                  qobject_cast<QProgressBar *>(c) || (label && !label->pixmap().isNull())))
                continue;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(c);
            QVERIFY2(a && !a->text(QAccessible::Name).trimmed().isEmpty(), qPrintable(c->objectName()));
            ++named;
        }
        QVERIFY(named >= 30);
    }
};

SORTI_TEST_MAIN(QApplication, TestRoot)
#include "tst_root.moc"
