// The about dialog: version line, texts, placement and the mail and web links.

#include "Info.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrlQuery>
#include <QtTest>

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
    void versionLine_data();
    void versionLine();
    void parseVersion();
    void textsOfTheDialog();
    void mailAndWebButtons();
    void placementBesideOrLeftOfTheWindow();
};

void TestInfo::versionLine_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("build");
    QTest::addColumn<QString>("line");
    QTest::newRow("1.01.0007") << 1 << 1 << 7 << "Sortimentor 1.01 Build 700";
    QTest::newRow("build 0") << 1 << 1 << 0 << "Sortimentor 1.01 Build 100";
    QTest::newRow("build 1") << 1 << 1 << 1 << "Sortimentor 1.01 Build 100";
    QTest::newRow("build 12") << 1 << 1 << 12 << "Sortimentor 1.01 Build 120";
    QTest::newRow("build 123") << 1 << 1 << 123 << "Sortimentor 1.01 Build 123";
    QTest::newRow("build 1234") << 1 << 1 << 1234 << "Sortimentor 1.01 Build 1234";
    QTest::newRow("two-digit minor") << 2 << 10 << 5 << "Sortimentor 2.10 Build 500";
    QTest::newRow("minor 0") << 3 << 0 << 40 << "Sortimentor 3.00 Build 400";
}

void TestInfo::versionLine() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, build);
    QFETCH(QString, line);
    QCOMPARE(VersionLine("Sortimentor", {major, minor, build}), line);
}

void TestInfo::parseVersion() {
    auto same = [](const ProgramVersion &v, int a, int b, int c) { return v.major == a && v.minor == b && v.build == c; };
    QVERIFY(same(ParseProgramVersion("1.01.0007"), 1, 1, 7));
    QVERIFY(same(ParseProgramVersion("1.1"), 1, 1, 0));
    QVERIFY(same(ParseProgramVersion(""), 0, 0, 0));
    QVERIFY(same(ParseProgramVersion("2.x.-3"), 2, 0, 0));
}

void TestInfo::textsOfTheDialog() {
    Info info(nullptr, "1.01.0007");
    QCOMPARE(info.windowTitle(), QString(" Info über Sortimentor"));
    QCOMPARE(info.RName->text(), QString("Sortimentor 1.01 Build 700"));
    QCOMPARE(info.RWerbung->text(),
             QString("Vous avez choisi un produit intemporel et de qualité avec soin et détails. Il vous apportera "
                     "confort, bien-étre et satisfaction."));
    QVERIFY(!info.RNotice->text().isEmpty());
    QVERIFY(info.RContact->text().contains(Info::kSupportAddress));
    QCOMPARE(info.BMail->text(), QString("&E-Mail"));
    QCOMPARE(info.BWebseite->text(), QString("&Webseite"));
    QCOMPARE(info.BAbbrechen->text(), QString("&Abbrechen"));

    info.show();
    QVERIFY(info.isVisible());
    info.BAbbrechen->click();
    QVERIFY(!info.isVisible());

    // Without an explicit version the application's own is shown.
    QCoreApplication::setApplicationVersion("2.03.0012");
    QCOMPARE(Info().RName->text(), QString("Sortimentor 2.03 Build 120"));
}

void TestInfo::mailAndWebButtons() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("mailto", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    Info info(nullptr, "1.01.0007");

    info.BMail->click();
    info.BWebseite->click();

    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.urls.size(), 2);
    const QUrl mail = catcher.urls[0];
    QCOMPARE(mail.scheme(), QString("mailto"));
    QCOMPARE(mail.path(), QString("support@example.org"));
    const QUrlQuery query(mail);
    QCOMPARE(query.queryItemValue("Subject"), QString("Sortimentor"));
    QCOMPARE(query.queryItemValue("Body", QUrl::FullyDecoded), QString(" "));
    QCOMPARE(catcher.urls[1], QUrl("https://example.org/sortimentor"));
}

void TestInfo::placementBesideOrLeftOfTheWindow() {
    const QRect screen(0, 0, 1920, 1080);
    // 800 twips = 53 px, 1200 = 80 px at 96 dpi.
    QCOMPARE(InfoPlacement(QRect(100, 100, 600, 400), screen), QPoint(153, 153));
    // Too close to the right edge: to the left of the window instead.
    QCOMPARE(InfoPlacement(QRect(1700, 100, 200, 400), screen), QPoint(1620, 153));
    // Too close to the bottom: above its top edge.
    QCOMPARE(InfoPlacement(QRect(100, 900, 600, 150), screen), QPoint(153, 847));
    // Twice the pixel density halves the twips per pixel.
    QCOMPARE(InfoPlacement(QRect(100, 100, 600, 400), screen, 7.5), QPoint(207, 207));
}

QTEST_MAIN(TestInfo)
#include "tst_info.moc"
