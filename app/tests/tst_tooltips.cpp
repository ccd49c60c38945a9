// The tooltip on the album list: it shows after its delay, not when the pointer leaves
// first, and the list's own item tips do not take it away.
#include "AlbumFixture.h"
#include "Root.h"
#include "Tooltips_Class.h"

#include <QEnterEvent>
#include <QListWidget>
#include <QToolTip>

class TestTooltips : public QObject {
    Q_OBJECT
    static void Enter(QWidget *w) {
        const QPointF p(w->width() / 2.0, w->height() / 2.0);
        QEnterEvent e(p, p, w->mapToGlobal(p));
        QApplication::sendEvent(w, &e);
    }
    static void Leave(QWidget *w) {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(w, &e);
    }

private slots:
    void albumListTip() {
        Root w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Tooltips_Class *tips = w.Tooltips();
        QListWidget *list = w.LDateien();
        list->addItem(QStringLiteral("a.mp3")); // an item without a tip of its own
        list->setEnabled(true);
        Enter(list);
        Leave(list);
        QTest::qWait(150);
        QVERIFY(!tips->ShownFor());
        QElapsedTimer t;
        t.start();
        Enter(list);
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
        Leave(list);
        QVERIFY(!tips->ShownFor());
    }
};

SORTI_TEST_MAIN(QApplication, TestTooltips)
#include "tst_tooltips.moc"
