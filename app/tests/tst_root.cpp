// The main window: controls, start-up and close, loading, ordering, pages and help.
#include "AlbumFixture.h"
#include "DragList.h"
#include "Registry.h"
#include "Root.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

using namespace platform;

namespace {
const QString kAdd = QStringLiteral("Dateien hinzufügen");
const QString kOrder = QStringLiteral("Reihenfolge ändern");
const QString kOrderText =
    QStringLiteral("Sortieren Sie die Titel mit Hilfe der Pfeiltasten unter der Dateiliste nach der entsprechenden Reihenfolge.");
} // namespace

class TestRoot : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_settingsDir;

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
    // A fresh album folder (native form, ending in a separator) with files of given sizes.
    QString Album(const QString &name, const QList<QPair<QString, int>> &files) {
        const QString dir = fixture::FreshFolder(m_tmp, name);
        for (const auto &f : files) {
            QFile out(dir + QLatin1Char('/') + f.first);
            out.open(QIODevice::WriteOnly);
            out.write(QByteArray(f.second, 'x'));
        }
        return QDir::toNativeSeparators(dir) + QDir::separator();
    }
    static QStringList Texts(const QListWidget *l) {
        QStringList t;
        for (int i = 0; i < l->count(); ++i)
            t << l->item(i)->text();
        return t;
    }
    std::unique_ptr<Root> Open() { return std::make_unique<Root>(); }
    std::unique_ptr<Root> OpenWithAlbum(const QString &folder) {
        auto w = Open();
        w->SetFolderPicker([folder] { return folder; });
        w->bOrdnerClick();
        return w;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        QStandardPaths::setTestModeEnabled(true);
        m_settingsDir = m_tmp.filePath(QStringLiteral("settings"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir);
    }
    void init() { QDir(m_settingsDir).removeRecursively(); }

    void startStateOfTheWindow() {
        auto w = Open();
        // The arrays of controls are reachable under their indexed names.
        for (int i = 0; i <= 10; ++i)
            QVERIFY(w->Control<QLabel>(QStringLiteral("pSymbole%1").arg(i)) == w->pSymbole(i));
        QCOMPARE(w->Timer1()->interval(), 300);
        QVERIFY(w->Timer1()->isActive());
        QVERIFY(Root::PageShown(w->xpFrames(3)));
        QVERIFY(!Root::PageShown(w->xpFrames(2)));
        QVERIFY(!Root::PageShown(w->xpFrames(1)));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(Root::TagOf(w->xpFrames(i)), QStringLiteral("0"));
        QCOMPARE(Root::TagOf(w->xpFrame0()), QStringLiteral("0"));
        for (QCheckBox *c : w->findChildren<QCheckBox *>())
            QVERIFY2(!c->isChecked(), qPrintable(c->objectName()));
        for (const char *n : {"tArtist", "tTitel", "tAlbum", "tYear", "tTrack", "tGenre", "tKommentar"})
            QVERIFY(w->Control<QLineEdit>(QString::fromUtf8(n))->isReadOnly());
        // Until the first refresh the panel shows the second step.
        QCOMPARE(w->pHelpTitel()->text(), kOrder);
        QCOMPARE(w->pHelpCaption()->text(), kOrderText);
    }

    void tagTextsReadAsNumbers() {
        QObject o;
        QCOMPARE(Root::TagNumber(&o), 0);
        Root::SetTag(&o, QStringLiteral(" 2abc"));
        QCOMPARE(Root::TagNumber(&o), 2);
        Root::SetTag(&o, QStringLiteral("x"));
        QCOMPARE(Root::TagNumber(&o), 0);
    }

    void firstStartRecordsVersionAndShowsStepOne() {
        auto w = Open();
        QVERIFY(KeyExists(kCurrentUser, QStringLiteral("Software\\Varnolt")));
        QVERIFY(KeyExists(kCurrentUser, Root::SettingsKey()));
        QCOMPARE(Stored(QStringLiteral("Version")), QStringLiteral("1.1"));
        QCOMPARE(Stored(QStringLiteral("InstallDir")), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
        QCOMPARE(Stored(QStringLiteral("LastDir")), QStringLiteral("<none>"));
        QCOMPARE(w->tOrdner()->text(), QString());
        QCOMPARE(w->LDateien()->count(), 0);
        w->Timer1Tick();
        QVERIFY(!w->bStarten()->isEnabled());
        QVERIFY(!w->LDateien()->isEnabled());
        QVERIFY(!w->bAufwaerts()->isEnabled());
        QVERIFY(!w->bAbwaerts()->isEnabled());
        QCOMPARE(w->pHelpTitel()->text(), kAdd);
        QCOMPARE(w->pHelpCaption()->text(),
                 QStringLiteral("Fügen Sie einen Ordner bzw. ein Audio- oder Musikalbum mit Mp3-Dateien hinzu."));
        QCOMPARE(w->HelpIcon(), 1);
        // Closing stores the (empty) folder.
        w->close();
        QCOMPARE(Stored(QStringLiteral("LastDir")), QString());
    }

    void secondStartKeepsTheRecordedInstallDir() {
        Store(QStringLiteral("Version"), QStringLiteral("1.1"));
        Store(QStringLiteral("InstallDir"), QStringLiteral("elsewhere"));
        Open();
        QCOMPARE(Stored(QStringLiteral("InstallDir")), QStringLiteral("elsewhere"));
        // Another version rewrites both.
        Store(QStringLiteral("Version"), QStringLiteral("1.0"));
        Open();
        QCOMPARE(Stored(QStringLiteral("InstallDir")), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
        QCOMPARE(Stored(QStringLiteral("Version")), QStringLiteral("1.1"));
    }

    void folderFromTheCommandLineSkipsLastDir() {
        const QString last = Album(QStringLiteral("last2"), {{"a.mp3", 100}});
        Store(QStringLiteral("LastDir"), last);
        Root w(nullptr, false);
        QCOMPARE(w.tOrdner()->text(), QString());
        QCOMPARE(w.LDateien()->count(), 0);
        // Closing without a folder of its own stores the empty text.
        w.close();
        QCOMPARE(Stored(QStringLiteral("LastDir")), QString());
    }

    void lastDirIsRestoredAndLoaded() {
        const QString folder = Album(QStringLiteral("last"), {{"b.mp3", 100}, {"A.MP3", 100}, {"c.mp3", 100}, {"z.mp3", 10}});
        Store(QStringLiteral("LastDir"), folder);
        auto w = Open();
        QCOMPARE(w->tOrdner()->text(), folder);
        QCOMPARE(Texts(w->LDateien()), QStringList({"A.MP3", "b.mp3", "c.mp3"}));
        QCOMPARE(w->LDateien()->currentRow(), 0);
        QCOMPARE(Root::TagOf(w->LDateien()), QStringLiteral("1"));
        QCOMPARE(Root::TagOf(w->xpFrame0()), QStringLiteral("1"));
        w->Timer1Tick();
        QVERIFY(w->bStarten()->isEnabled());
        QVERIFY(w->LDateien()->isEnabled());
        QCOMPARE(w->pHelpTitel()->text(), kOrder);
        QCOMPARE(w->pHelpCaption()->text(), kOrderText);
        QCOMPARE(w->HelpIcon(), 4);
        // The folder vanishes while the list is shown: the watcher falls back to icon 3.
        QVERIFY(QDir(QDir::fromNativeSeparators(folder)).removeRecursively());
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 3);
        QCOMPARE(w->pHelpTitel()->text(), kOrder);
        w->close();
        QCOMPARE(Stored(QStringLiteral("LastDir")), folder);
    }

    void vanishedLastDirLeavesEverythingEmpty() {
        Store(QStringLiteral("LastDir"), QDir::toNativeSeparators(m_tmp.filePath(QStringLiteral("gone"))) + QDir::separator());
        auto w = Open();
        QCOMPARE(w->tOrdner()->text(), QString());
        QCOMPARE(w->LDateien()->count(), 0);
        w->Timer1Tick();
        QCOMPARE(w->pHelpTitel()->text(), kAdd);
        QVERIFY(!w->bStarten()->isEnabled());
        w->close();
        QCOMPARE(Stored(QStringLiteral("LastDir")), QString());
    }

    void choosingAFolderDropsTinyFiles() {
        const QString folder = Album(QStringLiteral("pick"), {{"a.mp3", 100}, {"b.mp3", 50}, {"c.mp3", 51}, {"d.mp3", 50}, {"e.mp3", 10}});
        auto w = Open();
        QString chosen = folder;
        chosen.chop(1); // the picker gives the folder without a trailing separator
        w->SetFolderPicker([chosen] { return chosen; });
        w->bOrdnerClick();
        QCOMPARE(w->tOrdner()->text(), folder);
        QCOMPARE(Texts(w->LDateien()), QStringList({"a.mp3", "c.mp3"}));
        // The check walked to the end and removed the last entry there: nothing selected.
        QCOMPARE(w->LDateien()->currentRow(), -1);
        QVERIFY(w->LDateien()->selectedItems().isEmpty());

        // When the last file stays, it is the one selected.
        Album(QStringLiteral("pick"), {{"a.mp3", 100}, {"b.mp3", 10}, {"c.mp3", 51}});
        w->bOrdnerClick();
        QCOMPARE(Texts(w->LDateien()), QStringList({"a.mp3", "c.mp3"}));
        QCOMPARE(w->LDateien()->currentRow(), 1);

        // Cancelling the picker changes nothing.
        w->SetFolderPicker([] { return QString(); });
        w->bOrdnerClick();
        QCOMPARE(w->tOrdner()->text(), folder);
        QCOMPARE(Texts(w->LDateien()), QStringList({"a.mp3", "c.mp3"}));

        // A folder without MP3 files: empty list, first step.
        const QString empty = Album(QStringLiteral("empty"), {{"x.txt", 100}});
        w->SetFolderPicker([empty] { return empty; });
        w->bOrdnerClick();
        QCOMPARE(w->LDateien()->count(), 0);
        QCOMPARE(Root::TagOf(w->xpFrame0()), QStringLiteral("0"));
        w->Timer1Tick();
        QCOMPARE(w->pHelpTitel()->text(), kAdd);
        QCOMPARE(w->HelpIcon(), 1);
    }

    void draggingReordersTheAlbum() {
        auto w = OpenWithAlbum(Album(QStringLiteral("drag"), {{"A.mp3", 60}, {"B.mp3", 60}, {"C.mp3", 60}, {"D.mp3", 60}}));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->Timer1Tick();
        platform::DragList *l = w->LDateienDrag();
        QWidget *vp = l->viewport();
        auto send = [&](QEvent::Type t, int row, Qt::MouseButton b, Qt::MouseButtons bs) {
            const QPoint p = l->visualItemRect(l->item(row)).center();
            QMouseEvent e(t, p, vp->mapToGlobal(p), b, bs, Qt::NoModifier);
            QApplication::sendEvent(vp, &e);
        };
        auto drag = [&](int from, int to) {
            send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
            send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
            QCOMPARE(l->InsertMark(), to);
            send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
            QCOMPARE(l->InsertMark(), -1);
            QVERIFY(!vp->testAttribute(Qt::WA_SetCursor));
        };
        drag(0, 2);
        QCOMPARE(Texts(l), QStringList({"B.mp3", "A.mp3", "C.mp3", "D.mp3"}));
        QCOMPARE(l->currentItem()->text(), QStringLiteral("A.mp3"));
        drag(1, 0); // back to the start
        drag(3, 1);
        QCOMPARE(Texts(l), QStringList({"A.mp3", "D.mp3", "B.mp3", "C.mp3"}));
        QCOMPARE(l->currentItem()->text(), QStringLiteral("D.mp3"));
    }

    void pagesAndHelpFollowTheContinueButton() {
        const QString folder = Album(QStringLiteral("pages"), {{"A.mp3", 60}, {"B.mp3", 60}});
        auto w = OpenWithAlbum(folder);
        auto *refresh = w->Control<QCheckBox>(QStringLiteral("bAlbumRefresh"));
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 4);

        w->bStarten()->click();
        QVERIFY(Root::PageShown(w->xpFrames(2)));
        QVERIFY(!Root::PageShown(w->xpFrames(3)));
        QCOMPARE(w->pHelpTitel()->text(), QStringLiteral("Dateinamen ändern"));
        QCOMPARE(w->pHelpCaption()->text(),
                 QStringLiteral("Geben Sie den sortierten Dateien eine Nummer im Dateinamen, damit der Explorer richtig sortiert."));
        QCOMPARE(w->HelpIcon(), 5);
        QVERIFY(refresh->isChecked()); // two entries: the whole album

        // A renaming choice just made: the next tick shows icon 6 and settles the state.
        Root::SetTag(w->xpFrames(2), QStringLiteral("2"));
        w->Timer1Tick();
        QCOMPARE(w->HelpIcon(), 6);
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QStringLiteral("1"));

        w->bStarten()->click();
        QVERIFY(Root::PageShown(w->xpFrames(1)));
        QCOMPARE(w->pHelpTitel()->text(), QStringLiteral("Eigenschaften ändern"));
        QCOMPARE(w->pHelpCaption()->text(),
                 QStringLiteral("Verwenden Sie automatische Eigenschaften um die sortierte Wiedergabe in iTunes abzuspielen."));
        QCOMPARE(w->HelpIcon(), 7);
        QCOMPARE(Root::TagOf(w->xpFrames(2)), QStringLiteral("1"));
        int asked = 0;
        w->SetConfirm([&](const QString &, const QString &) { return ++asked, false; });
        w->bStarten()->click();
        QCOMPARE(asked, 1); // the album run asks first; No keeps the page
        QVERIFY(Root::PageShown(w->xpFrames(1)));
        QCOMPARE(Root::TagOf(w->xpFrames(1)), QStringLiteral("1"));

        // Loading again brings back the first page with every state at "0".
        w->bOrdnerClick();
        QVERIFY(Root::PageShown(w->xpFrames(3)));
        QVERIFY(!Root::PageShown(w->xpFrames(1)));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(Root::TagOf(w->xpFrames(i)), QStringLiteral("0"));

        // One entry: the album option is left as it is.
        refresh->setChecked(false);
        auto one = OpenWithAlbum(Album(QStringLiteral("one"), {{"A.mp3", 60}}));
        one->bStarten()->click();
        QVERIFY(!one->Control<QCheckBox>(QStringLiteral("bAlbumRefresh"))->isChecked());
    }

    void largeFolderLoadsWithEventsRunning() {
        QList<QPair<QString, int>> files;
        for (int i = 1999; i >= 0; --i)
            files.append({QStringLiteral("Track %1.mp3").arg(i, 4, 10, QLatin1Char('0')), 64});
        const QString folder = Album(QStringLiteral("big"), files);
        auto w = Open();
        int ticks = 0;
        QTimer pulse;
        connect(&pulse, &QTimer::timeout, [&] { ++ticks; });
        pulse.start(0);
        w->SetFolderPicker([folder] { return folder; });
        w->bOrdnerClick();
        QCOMPARE(w->LDateien()->count(), 2000);
        QCOMPARE(w->LDateien()->item(0)->text(), QStringLiteral("Track 0000.mp3"));
        QCOMPARE(w->LDateien()->item(1999)->text(), QStringLiteral("Track 1999.mp3"));
        QVERIFY(ticks > 0);
    }
};

QTEST_MAIN(TestRoot)
#include "tst_root.moc"
