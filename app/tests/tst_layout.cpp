// Every text of the window fits its control on every page, at the start size and at the
// smallest size the window can take; run once more with QT_SCALE_FACTOR=2.
#include "AlbumFixture.h"
#include "Root.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>

class TestLayout : public QObject {
    Q_OBJECT
    // Texts that are cut off, as "name: why".
    static QStringList Clipped(Root &w) {
        QCoreApplication::processEvents();
        QStringList bad;
        for (QWidget *c : w.findChildren<QWidget *>()) {
            auto *label = qobject_cast<QLabel *>(c);
            auto *group = qobject_cast<QGroupBox *>(c);
            QSize need;
            if (label && label->wordWrap())
                need = QSize(0, label->heightForWidth(label->width()));
            else if ((label && !label->text().isEmpty()) || qobject_cast<QAbstractButton *>(c))
                need = c->sizeHint();
            else if (group)
                need = group->minimumSizeHint();
            if (!c->isVisible() || !need.isValid())
                continue;
            if (c->width() < need.width() || c->height() < need.height())
                bad << QStringLiteral("%1: %2x%3 < %4x%5").arg(c->objectName()).arg(c->width()).arg(c->height())
                           .arg(need.width()).arg(need.height());
            if (!w.rect().contains(QRect(c->mapTo(&w, QPoint(0, 0)), c->size())))
                bad << c->objectName() + QStringLiteral(": outside the window");
        }
        return bad;
    }

private slots:
    void noTextIsCutOff() {
        qInfo("scale factor %s", qgetenv("QT_SCALE_FACTOR").isEmpty() ? "1" : qgetenv("QT_SCALE_FACTOR").constData());
        Root w;
        w.SetupKeyboardAndAccessibility();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int page : {3, 2, 1}) {
            for (int i = 1; i <= 3; ++i)
                w.xpFrames(i)->setVisible(i == page);
            w.InfoHelpText(); // the help panel's text for this page
            QCoreApplication::processEvents();
            w.layout()->activate();
            QStringList bad = Clipped(w);
            QVERIFY2(bad.isEmpty(), qPrintable(QStringLiteral("page %1: ").arg(page) + bad.join(QStringLiteral("; "))));
            // As small as the layouts let the window go.
            const QSize start = w.size();
            w.resize(w.minimumSizeHint());
            bad = Clipped(w);
            QVERIFY2(bad.isEmpty(), qPrintable(QStringLiteral("page %1, smallest: ").arg(page) + bad.join(QStringLiteral("; "))));
            w.resize(start);
        }
    }
};

SORTI_TEST_MAIN(QApplication, TestLayout)
#include "tst_layout.moc"
