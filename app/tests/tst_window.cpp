// The main window, one case per behaviour: start-up and close with the settings, loading
// a folder, the pages and their options, the keyboard, the list's tip; and on album
// folders of real MP3 files the album run (with a second click), declining, renaming, a
// failed trash, closing mid-run, the panel's fallback and the checked-only write, read
// back by mutagen.

#include "AlbumFixture.h"
#include "DragList.h"
#include "Root.h"
#include "Tooltips_Class.h"

#include <QtWidgets>

#include <functional>
#include <memory>
#include <optional>

using fixture::Texts;

namespace {

QCheckBox *Check(const Root &w, const char *name) { return w.Control<QCheckBox>(QString::fromLatin1(name)); }
QLineEdit *Edit(const Root &w, const char *name) { return w.Control<QLineEdit>(QString::fromLatin1(name)); }
QString Shown(const Root &w, const char *name) {
    if (const auto *e = Edit(w, name))
        return e->text();
    return w.Control<QLabel>(QString::fromLatin1(name))->text();
}
QString Native(const QString &folder) { return QDir::toNativeSeparators(folder); }

// The settings file under the program's own key, read and written without the program.
QSettings Settings() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Varnolt", "Sortimentor"); }
QString Stored(const QString &name) { return Settings().value(name, "<none>").toString(); }

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

// Moves `entry` to list position `to` with the arrow buttons.
void MoveTo(Root &w, const QString &entry, int to) {
    Select(w, entry);
    while (w.LDateien()->currentRow() > to)
        w.bAufwaertsClick();
    while (w.LDateien()->currentRow() < to)
        w.bAbwaertsClick();
}

// On to the tag page; with a name the renaming is chosen on the way (no name: the present ones).
void ToTagPage(Root &w, const std::optional<QString> &rename = {}) {
    w.bStarten()->click();
    QVERIFY(Root::PageShown(w.xpFrames(2)));
    if (rename) {
        Check(w, "bChangeFilename")->click();
        if (rename->isEmpty())
            Check(w, "bUseExistFile")->click();
        else
            Edit(w, "tFilename")->setText(*rename);
    }
    w.bStarten()->click();
    QVERIFY(Root::PageShown(w.xpFrames(1)));
}

void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}

void Hover(QWidget *w, bool enter) {
    const QPointF p(w->width() / 2.0, w->height() / 2.0);
    QEnterEvent in(p, p, w->mapToGlobal(p));
    QEvent out(QEvent::Leave);
    QApplication::sendEvent(w, enter ? static_cast<QEvent *>(&in) : &out);
}

// The tab chain from the folder box meets every enabled control of the page once, in
// reading order: the folder row, the list's column, then the page and the buttons on the
// right, each top to bottom and a line left to right.
bool TabChainCoversThePage(Root &w) {
    QStringList walk;
    w.tOrdner()->setFocus(Qt::TabFocusReason);
    for (QWidget *f = w.tOrdner(); f && walk.size() < 100 && (walk.isEmpty() || f != w.tOrdner());
         f = QApplication::focusWidget()) {
        walk << f->objectName();
        QTest::keyClick(f, Qt::Key_Tab);
    }
    QStringList reachable;
    for (QWidget *c : w.findChildren<QWidget *>())
        if (c->isVisible() && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus))
            reachable << c->objectName();
    bool ok = walk.size() == reachable.size() &&
              QSet<QString>(walk.begin(), walk.end()) == QSet<QString>(reachable.begin(), reachable.end());
    const QRect list(w.LDateien()->mapTo(&w, QPoint(0, 0)), w.LDateien()->size());
    QRect prev;
    int prevBand = 0;
    for (const QString &name : walk) {
        const QWidget *c = w.Control(name);
        const QRect r(c->mapTo(&w, QPoint(0, 0)), c->size());
        const int band = r.bottom() < list.top() ? 0 : r.left() < list.right() ? 1 : 2;
        const bool sameLine = r.top() <= prev.bottom() && prev.top() <= r.bottom();
        if (band < prevBand || (band == prevBand && !(sameLine ? r.left() > prev.left() : r.top() > prev.top())))
            ok = false;
        prev = r;
        prevBand = band;
    }
    if (!ok)
        qWarning() << "tab chain" << walk << "controls" << reachable;
    return ok;
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
    // The window as main() sets it up, shown and active so that keys reach it.
    std::unique_ptr<Root> Active(const QString &folder) {
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

private slots:
    void initTestCase() { fixture::RequireTools(); }
    void init() {
        fixture::ClearSettings();
        m_asked = 0;
        m_notices.clear();
        fixture::TakeTrash();
    }

    void startUpAndCloseKeepTheSettings_data() {
        QTest::addColumn<QString>("version");    // stored before the start
        QTest::addColumn<QString>("lastDir");    // "album", "gone" or nothing
        QTest::addColumn<bool>("restore");       // false: a folder came with the command line
        QTest::addColumn<bool>("listed");
        QTest::newRow("first start") << "" << "" << true << false;
        QTest::newRow("same version") << "1.1" << "" << true << false;
        QTest::newRow("other version") << "1.0" << "" << true << false;
        QTest::newRow("last folder") << "1.1" << "album" << true << true;
        QTest::newRow("last folder gone") << "1.1" << "gone" << true << false;
        QTest::newRow("command line") << "1.1" << "album" << false << false;
    }
    void startUpAndCloseKeepTheSettings() {
        QFETCH(QString, version);
        QFETCH(QString, lastDir);
        QFETCH(bool, restore);
        QFETCH(bool, listed);
        const QString album = fixture::FreshFolder(m_tmp, "last");
        fixture::FakeAlbum(album, {"b.mp3", "A.MP3"});
        const QString folderText = Native(lastDir == "gone" ? m_tmp.filePath("gone/") : album);
        if (!version.isEmpty()) {
            Settings().setValue("Version", version);
            Settings().setValue("InstallDir", "elsewhere");
        }
        if (!lastDir.isEmpty())
            Settings().setValue("LastDir", folderText);

        Root w(nullptr, restore);
        QCOMPARE(Stored("Version"), QStringLiteral("1.1"));
        // Another version records the program's folder; the same one leaves it.
        QCOMPARE(Stored("InstallDir"), version == "1.1" ? "elsewhere" : Native(QCoreApplication::applicationDirPath()));
        QCOMPARE(Texts(w.LDateien()), listed ? QStringList({"A.MP3", "b.mp3"}) : QStringList());
        QCOMPARE(w.LDateien()->currentRow(), listed ? 0 : -1);
        w.Timer1Tick();
        QCOMPARE(w.bStarten()->isEnabled(), listed);
        QCOMPARE(w.HelpIcon(), listed ? 4 : 1);
        w.close();
        QCOMPARE(Stored("LastDir"), listed ? folderText : QString());
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
        QCOMPARE(w->LDateien()->count(), 2);
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
        QTimer pulse;
        connect(&pulse, &QTimer::timeout, [&] { ++ticks; });
        pulse.start(0);
        QVERIFY(w->OpenFolder(big));
        QCOMPARE(w->LDateien()->count(), 2000);
        QCOMPARE(w->LDateien()->item(1999)->text(), QStringLiteral("Track 1999.mp3"));
        QVERIFY(ticks > 0);
    }

    // Continue leads from page to page with its help; the renaming options; the field
    // toggles unlock their rows; loading again starts over.
    void pagesAndTheirOptions() {
        const QString folder = fixture::FreshFolder(m_tmp, "pages");
        fixture::FakeAlbum(folder, {"Song.mp3", "Zwei.mp3"});
        auto w = Open(folder);
        w->LDateien()->setCurrentRow(0);
        w->bStarten()->click();
        QVERIFY(Root::PageShown(w->xpFrames(2)) && !Root::PageShown(w->xpFrames(3)));
        QCOMPARE(w->HelpIcon(), 5);
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
        QVERIFY(name->text() == "Song" && !name->isEnabled());
        QCOMPARE(m_notices.size(), 1);
        QVERIFY(m_notices[0].startsWith(" Dateien umbenennen|"));
        useExist->click();
        QVERIFY(name->isEnabled() && name->text().isEmpty());
        w->LDateien()->setCurrentRow(-1);
        name->setText("Rest");
        useExist->click();
        QCOMPARE(name->text(), QString("Rest"));

        w->bStarten()->click();
        QVERIFY(Root::PageShown(w->xpFrames(1)) && !Root::PageShown(w->xpFrames(2)));
        QCOMPARE(w->HelpIcon(), 7);
        QVERIFY(Check(*w, "bAlbumRefresh")->isChecked()); // two entries: the whole album
        // Set from code, not clicked: the AT-SPI test toggles a box through its action.
        for (const char *row : {"Artist", "Titel", "Album", "Year", "Kommentar", "Track", "Genre"}) {
            for (bool unlocked : {true, false}) {
                w->SetHelpIcon(7);
                Check(*w, qPrintable(QStringLiteral("b") + row))->setChecked(unlocked);
                QVERIFY2(Edit(*w, qPrintable(QStringLiteral("t") + row))->isReadOnly() != unlocked, row);
                QCOMPARE(w->HelpIcon(), 8);
            }
        }
        // The track counter option goes with the album option, checked with the track.
        auto *trackChange = Check(*w, "bTrackChange");
        QVERIFY(trackChange->isEnabled());
        Check(*w, "bTrack")->click();
        QVERIFY(trackChange->isChecked());
        Check(*w, "bAlbumRefresh")->click();
        QVERIFY(!trackChange->isEnabled());

        // Loading again starts over, the renaming choice forgotten; with one entry the
        // album option is left as it is.
        QVERIFY(QFile::remove(folder + "Zwei.mp3"));
        w->bOrdnerClick();
        QVERIFY(Root::PageShown(w->xpFrames(3)) && !Root::PageShown(w->xpFrames(1)));
        w->bStarten()->click();
        QCOMPARE(w->HelpIcon(), 5);
        w->bStarten()->click();
        QVERIFY(!Check(*w, "bAlbumRefresh")->isChecked());
    }

    // Ctrl+Up/Down from anywhere in the window, as the arrow buttons, and a drop; the
    // mnemonics of the page shown; the tab order; a name for every control a user meets.
    void keyboardAndScreenReader() {
        const QString folder = fixture::FreshFolder(m_tmp, "keys");
        fixture::FakeAlbum(folder, {"A.mp3", "B.mp3", "C.mp3"});
        auto w = Active(folder);
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
        w->bAbwaerts()->setEnabled(false);
        Key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(Texts(list), QStringList({"A.mp3", "B.mp3", "C.mp3"}));
        w->bAbwaerts()->setEnabled(true);
        auto *drags = qobject_cast<platform::DragList *>(list);
        emit drags->dropped(0); // the current entry onto the first
        QCOMPARE(Texts(list), QStringList({"C.mp3", "A.mp3", "B.mp3"}));
        Key(Qt::Key_Up, Qt::ControlModifier); // at the top: nothing moves
        emit drags->dropped(3);               // past the last entry
        Key(Qt::Key_Down, Qt::ControlModifier);
        emit drags->dropped(4); // nowhere
        QCOMPARE(Texts(list), QStringList({"A.mp3", "B.mp3", "C.mp3"}));
        QCOMPARE(list->currentRow(), 2);
        Key(Qt::Key_W, Qt::AltModifier);
        QTRY_VERIFY(w->bPlayliste()->isChecked());
        Key(Qt::Key_U, Qt::AltModifier); // the file-name page is hidden
        QVERIFY(!Check(*w, "bChangeFilename")->isChecked());
        Key(Qt::Key_F, Qt::AltModifier);
        QVERIFY(Root::PageShown(w->xpFrames(2)));
        Key(Qt::Key_U, Qt::AltModifier);
        QVERIFY(Check(*w, "bChangeFilename")->isChecked());
        QVERIFY(TabChainCoversThePage(*w));
        // Alt+V is "vorhandenen Dateinamen" there and the album option on the tag page.
        const bool refresh = Check(*w, "bAlbumRefresh")->isChecked();
        Key(Qt::Key_F, Qt::AltModifier);
        Key(Qt::Key_V, Qt::AltModifier);
        QCOMPARE(Check(*w, "bAlbumRefresh")->isChecked(), !refresh);
        QVERIFY(!Check(*w, "bUseExistFile")->isChecked());
        int asked = 0;
        w->SetFolderPicker([&] { return ++asked, QString(); });
        Key(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 1);

        // The tag page, each field after its toggle.
        QVERIFY(TabChainCoversThePage(*w));
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

    // The list's tip shows after its delay, not when the pointer leaves first, and the
    // list's own item tips do not take it away.
    void albumListTip() {
        Root w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Tooltips_Class *tips = w.Tooltips();
        QListWidget *list = w.LDateien();
        list->addItem(QStringLiteral("a.mp3")); // an item without a tip of its own
        list->setEnabled(true);
        Hover(list, true);
        Hover(list, false);
        QTest::qWait(150);
        QVERIFY(!tips->ShownFor());
        QElapsedTimer t;
        t.start();
        Hover(list, true);
        QVERIFY(!tips->ShownFor());
        QTRY_COMPARE_WITH_TIMEOUT(tips->ShownFor(), static_cast<QWidget *>(list), 1000);
        QVERIFY(t.elapsed() >= 90);
        QWidget *vp = list->viewport();
        const QPoint item = list->visualItemRect(list->item(0)).center();
        QHelpEvent help(QEvent::ToolTip, item, vp->mapToGlobal(item));
        QApplication::sendEvent(vp, &help);
        QTest::qWait(400); // Qt hides a tip with a delay
        QCOMPARE(tips->ShownFor(), static_cast<QWidget *>(list));
        QVERIFY(QToolTip::text().contains(QStringLiteral("Klicken Sie hier um neu zu starten.")));
        Hover(list, false);
        QVERIFY(!tips->ShownFor());
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
        const auto audio = fixture::Snapshot(folder, true);

        auto w = Open(folder);
        MoveTo(*w, "d.mp3", 0);
        ToTagPage(*w);
        for (const char *toggle : {"bArtist", "bAlbum", "bTitel", "bTrack", "bFilesTitel"})
            Check(*w, toggle)->click();
        Edit(*w, "tArtist")->setText("Künstlerin");
        Edit(*w, "tAlbum")->setText("Best of");
        Edit(*w, "tTrack")->setText("5");
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

        QCOMPARE(clicks, 3);
        QCOMPARE(m_asked, 1);
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(w->LastRun().visited, 4);
        QCOMPARE(w->LastRun().failedSteps, 0);
        QVERIFY(locked);
        // Reloaded in name order, back on the first page, usable again.
        QCOMPARE(Texts(w->LDateien()), names);
        QVERIFY(Root::PageShown(w->xpFrames(3)));
        QVERIFY(w->LDateien()->isEnabled() && w->bOrdner()->isEnabled() && w->RunProgress()->isHidden());

        const struct {
            const char *name;
            int track, own;
        } want[] = {{"d", 5, 3}, {"a", 6, 0}, {"b", 7, 1}, {"c", 8, 2}};
        const auto audioAfter = fixture::Snapshot(folder, true);
        for (const auto &f : want) {
            const QString name = QString::fromLatin1(f.name) + ".mp3", own = QString::number(1990 + f.own);
            const QJsonObject t = fixture::ReadTags(folder + name);
            QCOMPARE(t.value("v2").toObject(), QJsonObject({{"TPE1", "Künstlerin"}, {"TALB", "Best of"}, {"TIT2", f.name},
                                                            {"TRCK", QString::number(f.track)}, {"COMM", own}, {"TDRC", own}}));
            QCOMPARE(t.value("v1").toObject(), QJsonObject({{"artist", "Künstlerin"}, {"album", "Best of"}, {"title", f.name},
                                                            {"track", f.track}, {"comment", own}, {"year", own},
                                                            {"genre", 255}}));
            QCOMPARE(audioAfter.value(name), audio.value(name));
        }
        for (const QString name : {"b.mp3", "c.mp3"}) // the owner's write bit added, nothing else
            QCOMPARE(QFileInfo(folder + name).permissions() & QFileDevice::Permissions(0x7077), keptMode);
        QCOMPARE(fixture::Read(folder + "Best of.m3u"), QByteArray("d.mp3\r\na.mp3\r\nb.mp3\r\nc.mp3\r\n"));
        QVERIFY(fixture::TakeTrash().isEmpty());
    }

    // The real question box: "Nein" is its default, so Enter declines and nothing changes.
    void enterOnTheQuestionDeclines() {
        const QString folder = fixture::FreshFolder(m_tmp, "declined");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}));
        const auto before = fixture::Snapshot(folder);
        auto w = Open(folder, true);
        MoveTo(*w, "c.mp3", 0);
        ToTagPage(*w, QStringLiteral("Urlaub"));
        Check(*w, "bTitel")->click();
        Edit(*w, "tTitel")->setText("Nein");
        w->bPlayliste()->setChecked(true);
        QString title, defaultButton;
        Poll enter([&] {
            if (auto *box = Question(); box && title.isEmpty()) {
                title = box->windowTitle();
                defaultButton = box->defaultButton() ? box->defaultButton()->text().remove('&') : QString();
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
            }
        });
        w->bStarten()->click();

        QCOMPARE(title, QStringLiteral(" Sortimentor Converter"));
        QCOMPARE(defaultButton, QStringLiteral("Nein"));
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Declined);
        QCOMPARE(fixture::Snapshot(folder), before);
        QVERIFY(fixture::TakeTrash().isEmpty());
        // No reload: the page and the order stay for another try.
        QVERIFY(Root::PageShown(w->xpFrames(1)));
        QCOMPARE(Texts(w->LDateien()), QStringList({"c.mp3", "a.mp3", "b.mp3"}));
    }

    // Numbered in list order after the tags are written, the old names in the trash,
    // the playlist naming the new files; a single-file write renames too and asks nothing.
    void renamingNumbersTheFilesInListOrder() {
        const QString folder = fixture::FreshFolder(m_tmp, "rename");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3"}));
        auto audio = fixture::Snapshot(folder, true);
        auto w = Open(folder);
        MoveTo(*w, "b.mp3", 0);
        ToTagPage(*w, QStringLiteral("Grüße"));
        Edit(*w, "tAlbum")->setText("Grüße");
        w->bPlayliste()->setChecked(true);
        w->bStarten()->click();
        QCOMPARE(m_asked, 1);
        const QStringList numbered{"001- Grüße.mp3", "002- Grüße.mp3", "003- Grüße.mp3"};
        QCOMPARE(fixture::Listing(folder), numbered + QStringList{"Grüße.m3u"});
        auto now = fixture::Snapshot(folder, true);
        QCOMPARE(QList({now[numbered[0]], now[numbered[1]], now[numbered[2]]}), QList({audio["b.mp3"], audio["a.mp3"], audio["c.mp3"]}));
        QCOMPARE(fixture::Read(folder + "Grüße.m3u"), numbered.join("\r\n").toUtf8() + "\r\n");
        QCOMPARE(fixture::TakeTrash().keys(), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
        QCOMPARE(Texts(w->LDateien()), numbered);
        QVERIFY(Root::PageShown(w->xpFrames(3)));

        const QString second = fixture::FreshFolder(m_tmp, "rename-exist");
        QVERIFY(fixture::MakeAlbum(second, {"Song.mp3", "Track.MP3"}, 7));
        audio = fixture::Snapshot(second, true);
        auto w2 = Open(second);
        MoveTo(*w2, "Track.MP3", 0);
        ToTagPage(*w2, QString());
        Check(*w2, "bAlbumRefresh")->click();
        w2->bStarten()->click();
        QCOMPARE(m_asked, 1);
        QCOMPARE(fixture::Listing(second), QStringList({"001- Track.MP3", "002- Song.mp3"}));
        now = fixture::Snapshot(second, true);
        QCOMPARE(QList({now["001- Track.MP3"], now["002- Song.mp3"]}), QList({audio["Track.MP3"], audio["Song.mp3"]}));
        QCOMPARE(fixture::TakeTrash().size(), 2);
    }

    // The trash cannot be made (a file stands in its place): the real question box asks
    // after each file and "Nein" stops; every file keeps its name and its audio, and the
    // end of the run names each one with the reason.
    void failedTrashAsksAndLosesNothing_data() {
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("laterFiles"); // what the report says of the files after the first
        QTest::newRow("go on") << true << 3 << "an seiner Stelle liegt eine Datei";
        QTest::newRow("stop") << false << 1 << "der Lauf wurde abgebrochen";
    }
    void failedTrashAsksAndLosesNothing() {
        QFETCH(bool, goOn);
        QFETCH(int, questions);
        QFETCH(QString, laterFiles);
        const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
        QVERIFY(QDir().mkpath(qEnvironmentVariable("XDG_DATA_HOME")) && fixture::Write(trash, "no folder"));
        const auto restore = qScopeGuard([&] { QFile::remove(trash); });
        const QString folder = fixture::FreshFolder(m_tmp, "no-trash");
        const QStringList album{"a.mp3", "b.mp3", "c.mp3"};
        QVERIFY(fixture::MakeAlbum(folder, album));
        const auto audio = fixture::Snapshot(folder, true);
        auto w = Open(folder);
        ToTagPage(*w, QStringLiteral("Neu"));
        QStringList asked;
        Poll answer([&] {
            if (auto *box = Question()) {
                asked << box->windowTitle() << box->text();
                box->button(goOn ? QMessageBox::Yes : QMessageBox::No)->click();
            }
        });
        w->bStarten()->click();

        QCOMPARE(asked.size(), 2 * questions);
        QCOMPARE(asked.value(0), QStringLiteral(" Dateien umbenennen"));
        QVERIFY2(asked.value(1).contains("\"a.mp3\"") && asked.value(1).contains("an seiner Stelle liegt eine Datei"),
                 qPrintable(asked.value(1)));
        QCOMPARE(fixture::Listing(folder), album);
        QCOMPARE(fixture::Snapshot(folder, true), audio);
        QCOMPARE(m_notices.size(), 1);
        const QStringList lines = m_notices[0].split('\n');
        QVERIFY2(lines[0].startsWith(" Dateien umbenennen|"), qPrintable(lines[0]));
        for (const QString &name : album) {
            const QString line = lines.filter("  " + name + ": ").value(0);
            QVERIFY2(line.contains(name == "a.mp3" ? QStringLiteral("an seiner Stelle liegt eine Datei") : laterFiles),
                     qPrintable(m_notices[0]));
        }
    }

    // Closing while the second file is written: it is finished, the rest left alone,
    // then the window closes.
    void closeDuringARunStopsAfterTheCurrentFile() {
        const QString folder = fixture::FreshFolder(m_tmp, "close");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
        const auto before = fixture::Snapshot(folder);
        auto w = Open(folder);
        w->show();
        ToTagPage(*w);
        Check(*w, "bTitel")->click();
        Edit(*w, "tTitel")->setText("Geschrieben");
        w->bPlayliste()->setChecked(true);
        bool closeRefused = false;
        Poll closer([&] {
            if (w->IsRunning() && w->RunProgress()->value() == 2 && w->isVisible())
                closeRefused = !w->close();
        });
        w->bStarten()->click();
        QVERIFY(closeRefused);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Stopped);
        QCOMPARE(w->LastRun().visited, 2);
        for (const QString name : {"a.mp3", "b.mp3"}) {
            const QJsonObject t = fixture::ReadTags(folder + name);
            QCOMPARE(t["v2"]["TIT2"].toString(), QString("Geschrieben"));
            QCOMPARE(t["v1"]["title"].toString(), QString("Geschrieben"));
        }
        const auto after = fixture::Snapshot(folder);
        QCOMPARE(QList({after["c.mp3"], after["d.mp3"]}), QList({before["c.mp3"], before["d.mp3"]}));
        QCOMPARE(after.size(), 4); // no playlist after a stop
    }

    // ID3v1 fills the panel only when the ID3v2 artist is empty; the track always comes
    // from ID3v2, the genre as a name; the list tip sums it up.
    void panelFallsBackToId3v1WithoutAnId3v2Artist() {
        const QString folder = fixture::FreshFolder(m_tmp, "fallback");
        QVERIFY(fixture::MakeAlbum(folder, {"1.mp3", "2.mp3", "3.mp3"}));
        QVERIFY(fixture::WriteTags(folder + "1.mp3",
                                   {{"v2", QJsonObject{{"TIT2", "V2 Titel"}, {"TALB", "V2 Album"}, {"TRCK", "3/12"}}},
                                    {"v1", QJsonObject{{"artist", "A"}, {"title", "T"}, {"year", "1987"},
                                                       {"comment", "v1 note"}, {"track", 5}, {"genre", 17}}}}));
        QVERIFY(fixture::WriteTags(folder + "2.mp3", {{"v2", QJsonObject{{"TPE1", "Bänd"}, {"TCON", "(17)"}}},
                                                      {"v1", QJsonObject{{"artist", "Other"}, {"album", "V1 Album"}}}}));
        auto w = Open(folder);
        const char *rows[] = {"tArtist", "tTitel", "tAlbum", "tYear", "tKommentar", "tTrack", "tGenre", "cBitrate", "cTimes"};
        const struct {
            const char *entry;
            QStringList shown;
            QString tip;
        } cases[] = {
            {"1.mp3", {"A", "T", "", "1987", "v1 note", "3/12", "Rock", "32", "00:00:00"},
             "Artist: A\n\rAlbum: \n\rTitel: T\n\rTrack: 3/12"},
            {"2.mp3", {"Bänd", "", "", "", "", "", "Rock", "32", "00:00:00"}, "Artist: Bänd\n\rAlbum: \n\rTitel: \n\rTrack: "},
            {"3.mp3", {"", "", "", "", "", "", "", "32", "00:00:00"}, "Artist: \n\rAlbum: \n\rTitel: \n\rTrack: "},
        };
        for (const auto &c : cases) {
            Select(*w, c.entry);
            QStringList shown;
            for (const char *row : rows)
                shown << Shown(*w, row);
            QCOMPARE(shown, c.shown);
            QCOMPARE(w->Tooltips()->ToolText(w->LDateien()), c.tip);
        }
        // A file gone since the listing: the rows are emptied.
        Select(*w, "2.mp3");
        QVERIFY(QFile::remove(folder + "1.mp3"));
        Select(*w, "1.mp3");
        QCOMPARE(QStringList({Shown(*w, "tArtist"), Shown(*w, "cBitrate")}), QStringList({"", "0"}));
    }

    // A single-file write changes the checked fields of the selected file in both tags,
    // nothing else: not the other fields, not the picture, not the other file. The track
    // reaches ID3v2 only when checked and ID3v1 always; the genre ID3v1 only.
    void singleFileWriteChangesOnlyTheCheckedFields() {
        const QString folder = fixture::FreshFolder(m_tmp, "checked");
        QVERIFY(fixture::MakeAlbum(folder, {"a.mp3", "b.mp3"}));
        const QString picture = "89504e470d0a1a0a" + QString(600, '7');
        QVERIFY(fixture::WriteTags(
            folder + "a.mp3",
            {{"v2", QJsonObject{{"TPE1", "Künstler"}, {"TIT2", "Alt"}, {"TALB", "Platte"}, {"TYER", "1999"},
                                {"COMM", "Notiz"}, {"TRCK", "3/12"}, {"TCON", "(17)"}, {"APIC", picture}}},
             {"v1", QJsonObject{{"artist", "Künstler"}, {"title", "Alt"}, {"album", "Platte"}, {"year", "1999"},
                                {"comment", "Notiz"}, {"track", 3}, {"genre", 17}}}}));
        const QByteArray other = fixture::Read(folder + "b.mp3");
        const QJsonObject before = fixture::ReadTags(folder + "a.mp3");
        QJsonObject v2 = before["v2"].toObject(), v1 = before["v1"].toObject();

        auto w = Open(folder);
        Select(*w, "a.mp3");
        ToTagPage(*w);
        Check(*w, "bAlbumRefresh")->click(); // the selected file alone
        Check(*w, "bTitel")->click();
        Edit(*w, "tTitel")->setText("Neu");
        Edit(*w, "tArtist")->setText("not written"); // its toggle is unchecked
        Edit(*w, "tGenre")->setText("Pop");          // nor is this one's
        Edit(*w, "tTrack")->setText("4");            // ID3v1 takes the track row always
        w->bStarten()->click();
        QCOMPARE(w->LastRun().outcome, album::RunOutcome::Done);
        QCOMPARE(w->LastRun().failedSteps, 0);
        v2["TIT2"] = v1["title"] = "Neu";
        v1["track"] = 4;
        QJsonObject after = fixture::ReadTags(folder + "a.mp3");
        QCOMPARE(after["v2"].toObject(), v2);
        QCOMPARE(after["v1"].toObject(), v1);
        QVERIFY(Root::PageShown(w->xpFrames(1))); // no reload after a single-file write

        Check(*w, "bTitel")->click();
        Check(*w, "bTrack")->click();
        Edit(*w, "tTrack")->setText("9");
        Check(*w, "bGenre")->click();
        w->bStarten()->click();
        v2["TRCK"] = "9";
        v1["track"] = 9;
        v1["genre"] = 13;
        after = fixture::ReadTags(folder + "a.mp3");
        QCOMPARE(after["v2"].toObject(), v2);
        QCOMPARE(after["v1"].toObject(), v1);
        QCOMPARE(fixture::Read(folder + "b.mp3"), other);
        QCOMPARE(m_asked, 0);
    }
};

SORTI_TEST_MAIN(QApplication, TestWindow)
#include "tst_window.moc"
