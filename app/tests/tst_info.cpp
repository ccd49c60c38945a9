// The about dialog: the version line, opening it from the window, the mail and web
// buttons, and where it opens.

#include "AlbumFixture.h"
#include "Info.h"
#include "Root.h"

#include <QtWidgets>
#include <QUrlQuery>

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
    void versionLine_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("line");
        QTest::newRow("no build") << "1.1" << "Sortimentor 1.01 Build 100";
        QTest::newRow("build 12") << "1.1.12" << "Sortimentor 1.01 Build 120";
        QTest::newRow("unreadable parts") << "2.x.-3" << "Sortimentor 2.00 Build 100";
    }
    void versionLine() {
        QFETCH(QString, version);
        QFETCH(QString, line);
        QCOMPARE(VersionLine("Sortimentor", ParseProgramVersion(version)), line);
    }

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
        QCOMPARE(catcher.urls.size(), 2);
        const QUrl mail = catcher.urls[0];
        QCOMPARE(mail.scheme() + ":" + mail.path(), QString("mailto:support@example.org"));
        QCOMPARE(QUrlQuery(mail).queryItemValue("Subject"), QString("Sortimentor"));
        QCOMPARE(QUrlQuery(mail).queryItemValue("Body", QUrl::FullyDecoded), QString(" "));
        QCOMPARE(catcher.urls[1], QUrl("https://example.org/sortimentor"));
        dialog->BAbbrechen->click();
        QTRY_VERIFY(!w.findChild<Info *>());
    }

    // 800 twips = 53 px, 1200 = 80 px at 96 dpi; beside the window, else left of or above it.
    void placementBesideOrLeftOfTheWindow() {
        const QRect screen(0, 0, 1920, 1080);
        QCOMPARE(InfoPlacement(QRect(100, 100, 600, 400), screen), QPoint(153, 153));
        QCOMPARE(InfoPlacement(QRect(1454, 100, 200, 400), screen), QPoint(1374, 153)); // 6200 twips left exactly
        QCOMPARE(InfoPlacement(QRect(100, 900, 600, 150), screen), QPoint(153, 847));
    }
};

SORTI_TEST_MAIN(QApplication, TestInfo)
#include "tst_info.moc"
