// The tooltip manager: results before and after Create, tools, margins, colours, and
// the album list's tip with its delays.
#include "Root.h"
#include "Tooltips_Class.h"

#include <QEnterEvent>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QStandardPaths>
#include <QToolTip>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

class TestTooltips : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;

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
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_tmp.filePath(QStringLiteral("settings")));
    }

    void nothingHappensBeforeCreate() {
        Tooltips_Class tips;
        QWidget form;
        auto *ctl = new QLabel(&form);
        QCOMPARE(tips.ToolCount(), 0);
        QCOMPARE(tips.MaxTipWidth(), 0);
        QCOMPARE(tips.BackColor(), 0);
        QCOMPARE(tips.ForeColor(), 0);
        QCOMPARE(tips.MarginLeft() + tips.MarginTop() + tips.MarginRight() + tips.MarginBottom(), 0);
        QCOMPARE(tips.ToolTipWidthFromText(QStringLiteral("abc")), 0);
        QCOMPARE(tips.ToolTipHeightFromText(QStringLiteral("abc")), 0);
        QCOMPARE(tips.TextWidthFromToolTipWidth(100), 0);
        QCOMPARE(tips.TextHeightFromToolTipHeight(100), 0);
        QCOMPARE(tips.GetDelayTime(Tooltips_Class::TTDT_INITIAL), 0);
        QCOMPARE(tips.Title(), QString());
        QVERIFY(!tips.Enabled());
        tips.AddTool(ctl, 0, QStringLiteral("x"));
        tips.SetTipText(ctl, QStringLiteral("x"));
        QCOMPARE(tips.ToolText(ctl), QString());
        QCOMPARE(tips.ToolCount(), 0);
        // The title is not kept without a window; the activation state is, until Create.
        tips.SetTitle(QStringLiteral("T"));
        tips.SetIcon(Tooltips_Class::TTI_INFO);
        tips.SetEnabled(false);
        QVERIFY(!tips.Enabled());
        tips.Create(&form, 0);
        QVERIFY(tips.Enabled());
        QCOMPARE(tips.Title(), QString());
        QCOMPARE(tips.Icon(), 0);
        QCOMPARE(Tooltips_Class::MakeLong(1, 2), 0x00020001);
        QCOMPARE(Tooltips_Class::MakeLong(-1, 0), 0x0000FFFF);
        QCOMPARE(Tooltips_Class::MakeLong(0, -1), qint32(0xFFFF0000u));
        QCOMPARE(Tooltips_Class::GetShellVersion(), 0);
    }

    void toolsAndTheirTexts() {
        QWidget form;
        auto *a = new QLabel(&form);
        auto *b = new QLabel(&form);
        auto *unknown = new QLabel(&form);
        Tooltips_Class tips;
        tips.Create(&form, 0);
        tips.AddTool(a, 0);
        tips.AddTool(b, Tooltips_Class::TTF_TRACK, QStringLiteral("B"));
        QCOMPARE(tips.ToolCount(), 2);
        QCOMPARE(tips.ToolFlags(a), 0x11);
        QCOMPARE(tips.ToolFlags(b), 0x21);
        QCOMPARE(tips.ToolText(a), QString());
        tips.SetTipText(a, QStringLiteral("Artist: x\n\rAlbum: y"));
        QCOMPARE(tips.ToolText(a), QStringLiteral("Artist: x\n\rAlbum: y"));
        QVERIFY(tips.GetTooltipWidth(a) > 0);
        QVERIFY(tips.GetTooltipHeight(a) > tips.ToolTipHeightFromText(QStringLiteral("x"))); // two lines

        // An unknown control changes nothing.
        tips.SetTipText(unknown, QStringLiteral("u"));
        tips.SetToolRect(unknown, 0, 0, 5, 5);
        tips.SetTracking(unknown, true);
        tips.SetTrackPosition(unknown, 1, 1);
        tips.DeleteTool(unknown);
        QCOMPARE(tips.ToolCount(), 2);
        QCOMPARE(tips.ToolText(unknown), QString());
        QCOMPARE(tips.GetTooltipWidth(unknown), 0);
        QVERIFY(!tips.HitTest(unknown, 1, 1));

        tips.SetToolRect(a, 0, 0, 10, 10);
        QVERIFY(tips.HitTest(a, 9, 9));
        QVERIFY(!tips.HitTest(a, 10, 10));
        tips.DeleteTool(a);
        QCOMPARE(tips.ToolCount(), 1);
        // A new Create starts without tools.
        tips.Create(&form, 0);
        QCOMPARE(tips.ToolCount(), 0);
    }

    void marginsDelaysAndColours() {
        QWidget form;
        Tooltips_Class tips;
        tips.Create(&form, 0);
        tips.SetMarginLeft(1);
        tips.SetMarginTop(2);
        tips.SetMarginRight(3);
        tips.SetMarginBottom(4);
        tips.SetMarginTop(8);
        QCOMPARE(tips.MarginLeft(), 1);
        QCOMPARE(tips.MarginTop(), 8);
        QCOMPARE(tips.MarginRight(), 3);
        QCOMPARE(tips.MarginBottom(), 4);
        // Measuring converts between text and bubble sizes both ways.
        const int w = tips.ToolTipWidthFromText(QStringLiteral("Hallo"));
        QCOMPARE(tips.TextWidthFromToolTipWidth(w), QFontMetrics(QToolTip::font()).horizontalAdvance(QStringLiteral("Hallo")));
        QCOMPARE(tips.TextHeightFromToolTipHeight(tips.ToolTipHeightFromText(QStringLiteral("x"))),
                 QFontMetrics(QToolTip::font()).height());

        tips.SetDelayTime(Tooltips_Class::TTDT_AUTOMATIC, 500);
        QCOMPARE(tips.GetDelayTime(Tooltips_Class::TTDT_INITIAL), 500);
        QCOMPARE(tips.GetDelayTime(Tooltips_Class::TTDT_AUTOPOP), 5000);
        QCOMPARE(tips.GetDelayTime(Tooltips_Class::TTDT_RESHOW), 100);
        tips.SetMaxTipWidth(185);
        QCOMPARE(tips.MaxTipWidth(), 185);

        // Plain colours pass unchanged; 0x80 in the top byte names a system colour.
        tips.SetBackColor(0x00123456);
        QCOMPARE(tips.BackColor(), 0x00123456);
        const QColor base = QGuiApplication::palette().color(QPalette::ToolTipBase);
        const qint32 baseRef = base.red() | (base.green() << 8) | (base.blue() << 16);
        tips.SetBackColor(qint32(0x80000018));
        QCOMPARE(tips.BackColor(), baseRef);
        QCOMPARE(Tooltips_Class::TranslateColor(qint32(0x80000018)), baseRef);
        QCOMPARE(Tooltips_Class::TranslateColor(0x000000FF), 0x000000FF);
        tips.SetForeColor(0x00010203);
        QCOMPARE(tips.ForeColor(), 0x00010203);
        tips.SetTitle(QStringLiteral("T"));
        tips.SetIcon(Tooltips_Class::TTI_WARNING);
        QCOMPARE(tips.Title(), QStringLiteral("T"));
        QCOMPARE(tips.Icon(), Tooltips_Class::TTI_WARNING);
    }

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
        QCOMPARE(tips->ToolFlags(w.LDateien()), 0x11);
        QCOMPARE(tips->GetDelayTime(Tooltips_Class::TTDT_INITIAL), 100);
        QCOMPARE(tips->GetDelayTime(Tooltips_Class::TTDT_RESHOW), 100);
        QCOMPARE(tips->GetDelayTime(Tooltips_Class::TTDT_AUTOPOP), 10000);
        QCOMPARE(tips->MaxTipWidth(), 185);
        QCOMPARE(tips->MarginLeft(), 8);
        QCOMPARE(tips->MarginTop(), 8);
        QCOMPARE(tips->MarginRight(), 8);
        QCOMPARE(tips->MarginBottom(), 8);
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

QTEST_MAIN(TestTooltips)
#include "tst_tooltips.moc"
