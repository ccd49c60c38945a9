// Keyboard use and accessibility of the main window, and the folder given at start.
#include "AlbumFixture.h"
#include "Registry.h"
#include "Root.h"
#include "StartFolder.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <memory>

using namespace platform;

class TestKeyboard : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_settingsDir;

    // A fresh album folder (native form, no trailing separator) with 2000-byte files.
    QString Album(const QString &name, const QStringList &files) {
        const QString dir = fixture::FreshFolder(m_tmp, name);
        for (const QString &f : files) {
            QFile out(dir + QLatin1Char('/') + f);
            if (!out.open(QIODevice::WriteOnly))
                qFatal("cannot write the album");
            out.write(QByteArray(2000, 'x'));
        }
        return QDir::toNativeSeparators(dir);
    }
    static QStringList Texts(const QListWidget *l) {
        QStringList t;
        for (int i = 0; i < l->count(); ++i)
            t << l->item(i)->text();
        return t;
    }
    static QString Slash(const QString &folder) { return folder + QDir::separator(); }
    void StoreLastDir(const QString &dir) {
        CreateKey(kCurrentUser, QStringLiteral("Software\\Varnolt"), QStringLiteral("1"));
        CreateKey(kCurrentUser, Root::SettingsKey(), QStringLiteral("1"));
        QVERIFY(SetValue(kCurrentUser, Root::SettingsKey(), QStringLiteral("LastDir"), dir));
    }
    // The window as main() sets it up, shown and active so that keys reach it.
    std::unique_ptr<Root> Shown(const QString &folder = QString()) {
        auto w = std::make_unique<Root>();
        if (!folder.isEmpty())
            w->OpenFolder(folder);
        w->SetupKeyboardAndAccessibility();
        w->show();
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w.get()))
            qWarning("window not active");
        w->Timer1Tick(); // enabled states as the page watcher keeps them
        return w;
    }
    static void Key(QWidget *w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : w;
        QTest::keyClick(target, key, mods);
    }
    // Every widget that Tab should reach on the page shown now.
    static QSet<QWidget *> Reachable(Root *w) {
        QSet<QWidget *> set;
        for (QWidget *c : w->findChildren<QWidget *>())
            if (c->isVisible() && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus) && c->window() == w)
                set.insert(c);
        return set;
    }
    // Walks the tab chain from `start` once around; names in the order visited.
    static QStringList TabWalk(Root *w, QWidget *start) {
        start->setFocus(Qt::TabFocusReason);
        QStringList visited;
        for (int i = 0; i < 100; ++i) {
            QWidget *f = QApplication::focusWidget();
            if (!f)
                break;
            if (!visited.isEmpty() && f == start)
                break;
            visited << f->objectName();
            QTest::keyClick(f, Qt::Key_Tab);
        }
        Q_UNUSED(w);
        return visited;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        QStandardPaths::setTestModeEnabled(true);
        m_settingsDir = m_tmp.filePath(QStringLiteral("settings"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir);
    }
    void init() { QDir(m_settingsDir).removeRecursively(); }

    void startArgumentNamesTheFolder() {
        const QString album = Album(QStringLiteral("Über den Wolken"), {QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
        const QString unix = QDir::fromNativeSeparators(album);
        using startfolder::FromArguments;

        QVERIFY(!FromArguments({}));
        QVERIFY(!FromArguments({QStringLiteral("--verbose"), QStringLiteral("-x")}));
        QVERIFY(!FromArguments({m_tmp.filePath(QStringLiteral("gone"))}));
        QVERIFY(!FromArguments({QStringLiteral("https://example.org/album/")}));

        auto t = FromArguments({album});
        QVERIFY(t);
        QCOMPARE(t->folder, album);
        QVERIFY(t->file.isEmpty());
        // A trailing separator and odd segments are tidied away.
        t = FromArguments({unix + QStringLiteral("/../Über den Wolken/")});
        QVERIFY(t);
        QCOMPARE(t->folder, album);
        // Relative to the working folder; unknown options before it are passed over.
        t = FromArguments({QStringLiteral("--new-window"), QStringLiteral("Über den Wolken")}, m_tmp.path());
        QVERIFY(t);
        QCOMPARE(t->folder, album);
        // A file:// URL, with the encoded blanks and umlaut of a file manager.
        const QString url = QUrl::fromLocalFile(unix).toString(QUrl::FullyEncoded);
        QVERIFY(url.contains(QStringLiteral("%20")));
        t = FromArguments({url});
        QVERIFY(t);
        QCOMPARE(t->folder, album);
        // A file stands for its folder and is remembered for the selection.
        t = FromArguments({QUrl::fromLocalFile(unix + QStringLiteral("/b.mp3")).toString()});
        QVERIFY(t);
        QCOMPARE(t->folder, album);
        QCOMPARE(t->file, QStringLiteral("b.mp3"));
        // Only the first one counts.
        t = FromArguments({album + QStringLiteral("/a.mp3"), m_tmp.path()});
        QVERIFY(t);
        QCOMPARE(t->file, QStringLiteral("a.mp3"));
        // After "--" a name starting with a dash is a name; one that looks like a URL
        // but exists here is a local name.
        const QString dashed = Album(QStringLiteral("-dash"), {});
        t = FromArguments({QStringLiteral("--"), QStringLiteral("-dash")}, m_tmp.path());
        QVERIFY(t);
        QCOMPARE(t->folder, dashed);
        const QString colon = Album(QStringLiteral("cd:1"), {});
        t = FromArguments({QStringLiteral("cd:1")}, m_tmp.path());
        QVERIFY(t);
        QCOMPARE(t->folder, colon);
    }

    void openFolderLoadsLikeTheFolderButton() {
        const QString last = Album(QStringLiteral("last"), {QStringLiteral("x.mp3")});
        const QString given = Album(QStringLiteral("given"), {QStringLiteral("02.mp3"), QStringLiteral("01.mp3"), QStringLiteral("03.mp3")});
        StoreLastDir(Slash(last));

        Root picked;
        picked.SetFolderPicker([&] { return given; });
        picked.bOrdnerClick();

        Root opened;
        QCOMPARE(Texts(opened.LDateien()), QStringList{QStringLiteral("x.mp3")});
        QVERIFY(opened.OpenFolder(given));
        QCOMPARE(opened.tOrdner()->text(), Slash(given));
        QCOMPARE(opened.tOrdner()->text(), picked.tOrdner()->text());
        QCOMPARE(Texts(opened.LDateien()), Texts(picked.LDateien()));
        // The folder button leaves the last checked entry selected; a folder from the
        // command line starts like a start-up, on the first entry.
        QCOMPARE(picked.LDateien()->currentRow(), 2);
        QCOMPARE(opened.LDateien()->currentRow(), 0);
        QCOMPARE(Root::TagOf(opened.xpFrame0()), QStringLiteral("1"));

        // The file that was handed over is selected; an unknown name selects the first.
        QVERIFY(opened.OpenFolder(Slash(given), QStringLiteral("02.mp3")));
        QCOMPARE(opened.tOrdner()->text(), Slash(given));
        QCOMPARE(opened.LDateien()->currentItem()->text(), QStringLiteral("02.mp3"));
        QVERIFY(opened.OpenFolder(given, QStringLiteral("nope.mp3")));
        QCOMPARE(opened.LDateien()->currentRow(), 0);

        // Not a folder: nothing changes.
        QVERIFY(!opened.OpenFolder(m_tmp.filePath(QStringLiteral("gone"))));
        QVERIFY(!opened.OpenFolder(given + QStringLiteral("/01.mp3")));
        QVERIFY(!opened.OpenFolder(QString()));
        QCOMPARE(opened.tOrdner()->text(), Slash(given));
        QCOMPARE(opened.LDateien()->count(), 3);

        // The picker of the folder button is still its own.
        opened.SetFolderPicker([&] { return last; });
        opened.bOrdnerClick();
        QCOMPARE(Texts(opened.LDateien()), QStringList{QStringLiteral("x.mp3")});
        QVERIFY(opened.OpenFolder(given));
        // Closing keeps the folder for the next start.
        opened.close();
        RegValue v;
        QVERIFY(GetValue(kCurrentUser, Root::SettingsKey(), QStringLiteral("LastDir"), v));
        QCOMPARE(std::get<QString>(v), Slash(given));
    }

    void ctrlUpDownMoveTheSelectedEntry() {
        const QString album = Album(QStringLiteral("order"), {QStringLiteral("A.mp3"), QStringLiteral("B.mp3"), QStringLiteral("C.mp3")});
        auto w = Shown(album);
        QListWidget *list = w->LDateien();
        QCOMPARE(QApplication::focusWidget(), list); // the list has the focus at start
        list->setCurrentRow(0);

        Key(w.get(), Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(Texts(list), (QStringList{QStringLiteral("B.mp3"), QStringLiteral("A.mp3"), QStringLiteral("C.mp3")}));
        QCOMPARE(list->currentRow(), 1);
        // From elsewhere in the window, too.
        w->tOrdner()->setFocus();
        QCOMPARE(QApplication::focusWidget(), w->tOrdner());
        Key(w.get(), Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(Texts(list), (QStringList{QStringLiteral("A.mp3"), QStringLiteral("B.mp3"), QStringLiteral("C.mp3")}));
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(QApplication::focusWidget(), w->tOrdner());

        // Plain arrows still only move the selection.
        list->setFocus();
        Key(w.get(), Qt::Key_Down);
        QCOMPARE(list->currentRow(), 1);
        QCOMPARE(Texts(list), (QStringList{QStringLiteral("A.mp3"), QStringLiteral("B.mp3"), QStringLiteral("C.mp3")}));

        // While the arrow buttons are disabled the keys do nothing either.
        w->bAbwaerts()->setEnabled(false);
        Key(w.get(), Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(Texts(list), (QStringList{QStringLiteral("A.mp3"), QStringLiteral("B.mp3"), QStringLiteral("C.mp3")}));
    }

    void mnemonicsWorkWithoutTouchingTheCaptions() {
        const QString album = Album(QStringLiteral("keys"), {QStringLiteral("A.mp3"), QStringLiteral("B.mp3")});
        const QString other = Album(QStringLiteral("keys2"), {QStringLiteral("Z.mp3")});
        auto w = Shown(album);
        auto *changeName = w->Control<QCheckBox>(QStringLiteral("bChangeFilename"));
        auto *useExist = w->Control<QCheckBox>(QStringLiteral("bUseExistFile"));
        auto *refresh = w->Control<QCheckBox>(QStringLiteral("bAlbumRefresh"));
        auto *artist = w->Control<QCheckBox>(QStringLiteral("bArtist"));

        Key(w.get(), Qt::Key_W, Qt::AltModifier); // Qt's own mnemonic clicks with a short delay
        QTRY_VERIFY(w->bPlayliste()->isChecked());

        // The file-name page's keys are dead while the page is hidden.
        Key(w.get(), Qt::Key_U, Qt::AltModifier);
        QVERIFY(!changeName->isChecked());
        Key(w.get(), Qt::Key_F, Qt::AltModifier); // continue
        QVERIFY(Root::PageShown(w->xpFrames(2)));
        Key(w.get(), Qt::Key_U, Qt::AltModifier);
        QVERIFY(changeName->isChecked());
        QCOMPARE(QApplication::focusWidget(), changeName);
        Key(w.get(), Qt::Key_N, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("tFilename"));

        // Alt+V means "vorhandenen Dateinamen" here and the album option on the tag page.
        const bool refreshBefore = refresh->isChecked();
        const bool useExistBefore = useExist->isChecked();
        Key(w.get(), Qt::Key_F, Qt::AltModifier);
        QVERIFY(Root::PageShown(w->xpFrames(1)));
        Key(w.get(), Qt::Key_V, Qt::AltModifier);
        QCOMPARE(refresh->isChecked(), !refreshBefore);
        QCOMPARE(useExist->isChecked(), useExistBefore);
        Key(w.get(), Qt::Key_A, Qt::AltModifier);
        QVERIFY(artist->isChecked());
        // Tab goes on from the toggle to its field.
        Key(w.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("tArtist"));

        // Alt+O and Ctrl+O choose a folder; Alt+D goes to the list.
        int asked = 0;
        w->SetFolderPicker([&] {
            ++asked;
            return other;
        });
        Key(w.get(), Qt::Key_O, Qt::AltModifier);
        QCOMPARE(asked, 1);
        QCOMPARE(Texts(w->LDateien()), QStringList{QStringLiteral("Z.mp3")});
        Key(w.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 2);
        Key(w.get(), Qt::Key_D, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), w->LDateien());

        // The captions stay as they are; only the playlist option has its own "&".
        for (QAbstractButton *b : w->findChildren<QAbstractButton *>())
            if (b != w->bPlayliste())
                QVERIFY2(!b->text().contains(QLatin1Char('&')), qPrintable(b->objectName()));
    }

    void tabReachesEveryEnabledControlInReadingOrder() {
        const QString album = Album(QStringLiteral("tabs"), {QStringLiteral("A.mp3"), QStringLiteral("B.mp3")});
        auto w = Shown(album);
        const QStringList common = {QStringLiteral("tOrdner"),   QStringLiteral("bOrdner"),  QStringLiteral("LDateien"),
                                    QStringLiteral("bAufwärts"), QStringLiteral("bAbwärts"), QStringLiteral("bPlayliste")};
        // Introduction page: nothing to reach on the page itself.
        QStringList walk = TabWalk(w.get(), w->tOrdner());
        const QStringList page3 = common + QStringList{QStringLiteral("bInfo"), QStringLiteral("bStarten")};
        QCOMPARE(walk, page3);

        w->bStartenClick();
        QVERIFY(Root::PageShown(w->xpFrames(2)));
        walk = TabWalk(w.get(), w->tOrdner());
        const QStringList page2 = common + QStringList{QStringLiteral("bChangeFilename"), QStringLiteral("bUseExistFile"),
                                                       QStringLiteral("tFilename"), QStringLiteral("bInfo"), QStringLiteral("bStarten")};
        QCOMPARE(walk, page2);
        QSet<QWidget *> seen;
        for (const QString &n : walk)
            seen.insert(w->Control(n));
        QCOMPARE(seen, Reachable(w.get()));

        w->bStartenClick();
        QVERIFY(Root::PageShown(w->xpFrames(1)));
        walk = TabWalk(w.get(), w->tOrdner());
        seen.clear();
        for (const QString &n : walk)
            seen.insert(w->Control(n));
        QCOMPARE(seen, Reachable(w.get()));
        QCOMPARE(walk.mid(0, 6), common);
        QCOMPARE(walk.mid(6, 4), (QStringList{QStringLiteral("bArtist"), QStringLiteral("tArtist"), QStringLiteral("bTitel"),
                                              QStringLiteral("tTitel")}));
        QCOMPARE(walk.last(), QStringLiteral("bStarten"));
        // Each field toggle is followed by its field.
        for (const char *t : {"Artist", "Titel", "Album", "Year", "Track", "Genre", "Kommentar"}) {
            const qsizetype i = walk.indexOf(QStringLiteral("b") + QString::fromLatin1(t));
            QVERIFY2(i >= 0, t);
            QCOMPARE(walk.value(i + 1), QStringLiteral("t") + QString::fromLatin1(t));
        }
        // Shift+Tab goes the same way back.
        w->bStarten()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w->bStarten(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), walk.at(walk.size() - 2));
    }

    void everyControlHasAnAccessibleName() {
        const QString album = Album(QStringLiteral("names"), {QStringLiteral("A.mp3")});
        auto w = Shown(album);
        auto name = [](QWidget *c) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(c);
            return a ? a->text(QAccessible::Name) : QString();
        };
        QCOMPARE(name(w->bAufwaerts()), QStringLiteral("Nach oben"));
        QCOMPARE(name(w->bAbwaerts()), QStringLiteral("Nach unten"));
        QCOMPARE(name(w->LDateien()), QStringLiteral("Dateiliste"));
        QCOMPARE(name(w->tOrdner()), QStringLiteral("Quellordner"));
        QCOMPARE(name(w->bStarten()).trimmed(), QStringLiteral("Fortfahren"));
        QCOMPARE(name(w->bPlayliste()).trimmed(), QStringLiteral("Wiedergabeliste im Quellordner erstellen"));
        QCOMPARE(name(w->Control(QStringLiteral("tArtist"))), QStringLiteral("Artist/Interpreter"));
        QCOMPARE(name(w->Control(QStringLiteral("bFilesTitel"))), QStringLiteral("Dateinamen in das Feld \"Titel\" eintragen "));
        QCOMPARE(name(w->xpFrames(2)), QStringLiteral("Datei-Eigenschaften"));

        // Every control a user can work with or look at, on every page.
        QWidget *store = w->Control(QStringLiteral("pSeite0"));
        int checked = 0;
        for (QWidget *c : w->findChildren<QWidget *>()) {
            if (store->isAncestorOf(c))
                continue; // never shown
            auto *label = qobject_cast<QLabel *>(c);
            const bool control = (c->focusPolicy() & Qt::TabFocus) || qobject_cast<QAbstractButton *>(c) ||
                                 qobject_cast<QGroupBox *>(c) || qobject_cast<QProgressBar *>(c) ||
                                 (label && !label->pixmap().isNull());
            if (!control)
                continue;
            ++checked;
            QVERIFY2(!name(c).trimmed().isEmpty(), qPrintable(c->objectName()));
        }
        QVERIFY(checked >= 30);
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
