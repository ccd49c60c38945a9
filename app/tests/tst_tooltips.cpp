// The tooltip manager as the window uses it: a tip that shows after its delay, hides
// again, and on the album list is not taken away by the list's own item tips.
#include "AlbumFixture.h"
#include "Root.h"
#include "Tooltips_Class.h"

#include <QEnterEvent>
#include <QLabel>
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
    void tipShowsAfterItsDelayAndHidesAgain() {
        QWidget form;
        auto *ctl = new QLabel(QStringLiteral("hover me"), &form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Tooltips_Class tips;
        tips.Create(&form, 0);
        tips.AddTool(ctl, 0, QStringLiteral("Tip"));
        tips.SetDelayTime(Tooltips_Class::TTDT_INITIAL, 50);
        tips.SetDelayTime(Tooltips_Class::TTDT_AUTOPOP, 1000);
        Enter(ctl);
        QVERIFY(!tips.ShownFor());
        QTRY_COMPARE_WITH_TIMEOUT(tips.ShownFor(), static_cast<QWidget *>(ctl), 1000);
        QTRY_VERIFY_WITH_TIMEOUT(!tips.ShownFor(), 4000); // hides itself
        // Leaving before the delay shows nothing; disabled shows nothing.
        Enter(ctl);
        Leave(ctl);
        QTest::qWait(120);
        QVERIFY(!tips.ShownFor());
        tips.SetEnabled(false);
        Enter(ctl);
        QTest::qWait(120);
        QVERIFY(!tips.ShownFor());
    }

    void albumListTip() {
        Root w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Tooltips_Class *tips = w.Tooltips();
        QCOMPARE(tips->ToolText(w.LDateien()), QStringLiteral("Klicken Sie hier um neu zu starten."));
        w.LDateien()->setEnabled(true);
        QElapsedTimer t;
        t.start();
        Enter(w.LDateien());
        QTRY_COMPARE_WITH_TIMEOUT(tips->ShownFor(), static_cast<QWidget *>(w.LDateien()), 1000);
        QVERIFY(t.elapsed() >= 90);
        // The list's own item tips must not take it away again.
        QWidget *vp = w.LDateien()->viewport();
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), vp->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(vp, &help);
        QCOMPARE(tips->ShownFor(), static_cast<QWidget *>(w.LDateien()));
        QVERIFY(QToolTip::text().contains(QStringLiteral("Klicken Sie hier um neu zu starten.")));
        Leave(w.LDateien());
        QVERIFY(!tips->ShownFor());
    }
};

SORTI_TEST_MAIN(QApplication, TestTooltips)
#include "tst_tooltips.moc"
