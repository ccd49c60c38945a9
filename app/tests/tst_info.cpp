// The about dialog: opening it from the window with the version line, the mail and web
// buttons, and where it opens.

#include "AlbumFixture.h"
#include "Info.h"
#include "Root.h"

#include <QtWidgets>

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestInfo : public QObject {
    Q_OBJECT

private slots:
    // Opened from the window with the program's version; its buttons open mail and web.
    void aboutBoxFromTheWindow() {
        Root w;
        QCoreApplication::setApplicationVersion(QStringLiteral("1.01.0007"));
        w.bInfo()->click();
        auto *dialog = w.findChild<Info *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->RName->text(), QString("Sortimentor 1.01 Build 700"));
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("mailto", &catcher, "open");
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        dialog->BMail->click();
        dialog->BWebseite->click();
        QDesktopServices::unsetUrlHandler("mailto");
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.urls, QList<QUrl>({QUrl("mailto:support@example.org?Subject=Sortimentor&Body= "),
                                            QUrl("https://example.org/sortimentor")}));
        dialog->BAbbrechen->click();
        QTRY_VERIFY(!w.findChild<Info *>());
    }

    // Unreadable version parts count as 0, and build 0 shows as 100. 800 twips = 53 px,
    // 1200 = 80 px at 96 dpi: the box opens beside the window, else left of or above it.
    void versionLineAndPlacement() {
        QCOMPARE(VersionLine("Sortimentor", ParseProgramVersion("2.x.-3")), QString("Sortimentor 2.00 Build 100"));
        const QRect screen(0, 0, 1920, 1080);
        QCOMPARE(InfoPlacement(QRect(100, 100, 600, 400), screen), QPoint(153, 153));
        QCOMPARE(InfoPlacement(QRect(1454, 100, 200, 400), screen), QPoint(1374, 153)); // 6200 twips left exactly
        QCOMPARE(InfoPlacement(QRect(100, 900, 600, 150), screen), QPoint(153, 847));
    }
};

SORTI_TEST_MAIN(QApplication, TestInfo)
#include "tst_info.moc"
