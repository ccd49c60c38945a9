// The settings store and the file utilities, against a settings folder and files in a
// temporary directory.
#include "AlbumFixture.h"
#include "FileUtils.h"
#include "Registry.h"

#include <QPoint>

using namespace platform;

namespace {
const QString kKey = QStringLiteral("Software\\Varnolt\\Sortimentor");
const QString kMaker = QStringLiteral("Software\\Varnolt");

QSettings Raw() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Varnolt", "Sortimentor"); }
} // namespace

class TestRegistry : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;

private slots:
    void init() { fixture::ClearSettings(); }

    void keysAreCreatedOnceAndOnlyForTheCurrentUser() {
        QVERIFY(!KeyExists(kCurrentUser, kMaker));
        QVERIFY(!SetValue(kCurrentUser, kKey, "LastDir", QStringLiteral("/a/")));
        QVERIFY(!KeyExists(kCurrentUser, kKey));
        QVERIFY(CreateKey(kCurrentUser, kMaker, "1"));
        QVERIFY(KeyExists(kCurrentUser, kMaker) && !KeyExists(kCurrentUser, kKey));
        QVERIFY(CreateKey(kCurrentUser, kKey, "1"));
        QVERIFY(SetValue(kCurrentUser, kKey, "LastDir", QStringLiteral("/a/")));
        QVERIFY(!CreateKey(kCurrentUser, kKey, "1")); // not new; the values stay
        RegValue v;
        QVERIFY(GetValue(kCurrentUser, kKey, "LastDir", v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("/a/"));
        QVERIFY(!KeyExists(0x80000002u, kKey));
        QVERIFY(!SetValue(0x80000002u, kKey, "x", QStringLiteral("y")));
        QVERIFY(!KeyExists(kCurrentUser, "Varnolt"));
    }

    // What lands in the store for each kind, and what comes back.
    void valueKinds_data() {
        QTest::addColumn<QVariant>("written"); // a RegValue
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("readBack"); // a RegValue, or invalid: GetValue fails
        QTest::newRow("16-bit") << QVariant::fromValue(RegValue(qint16(5))) << QVariant(5) << QVariant::fromValue(RegValue(qint32(5)));
        QTest::newRow("32-bit") << QVariant::fromValue(RegValue(qint32(-2))) << QVariant(QByteArray("\xfe\xff\xff\xff", 4))
                                << QVariant::fromValue(RegValue(qint32(-2)));
        QTest::newRow("lines") << QVariant::fromValue(RegValue(QStringLiteral("a\r\nb"))) << QVariant("a\r\nb\r\n")
                               << QVariant::fromValue(RegValue(QStringLiteral("a\r\nb\r\n")));
        QTest::newRow("one line ending") << QVariant::fromValue(RegValue(QStringLiteral("x\r\n"))) << QVariant("x\r\n")
                                         << QVariant::fromValue(RegValue(QStringLiteral("x\r\n")));
        QTest::newRow("empty text") << QVariant::fromValue(RegValue(QString())) << QVariant("")
                                    << QVariant::fromValue(RegValue(QString()));
        QTest::newRow("nothing") << QVariant::fromValue(RegValue()) << QVariant() << QVariant();
    }
    void valueKinds() {
        QFETCH(QVariant, written);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, readBack);
        CreateKey(kCurrentUser, kKey, "1");
        QVERIFY(SetValue(kCurrentUser, kKey, "V", written.value<RegValue>()));
        QCOMPARE(Raw().value("V").toByteArray(), stored.toByteArray());
        RegValue v = QStringLiteral("kept");
        QCOMPARE(GetValue(kCurrentUser, kKey, "V", v), readBack.isValid());
        QVERIFY(v == (readBack.isValid() ? readBack.value<RegValue>() : RegValue(QStringLiteral("kept"))));
    }

    // Text up to a zero character; kinds the store does not know leave the value alone.
    void readingStrangeValues() {
        CreateKey(kCurrentUser, kKey, "1");
        Raw().setValue("Zero", QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"));
        Raw().setValue("Point", QPoint(1, 2));
        Raw().setValue("Short", QByteArray("\x01\x02", 2));
        RegValue v;
        QVERIFY(GetValue(kCurrentUser, kKey, "Zero", v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("ab"));
        QVERIFY(GetValue(kCurrentUser, kKey, "Point", v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("ab"));
        QVERIFY(!GetValue(kCurrentUser, kKey, "Short", v));
        QVERIFY(!GetValue(kCurrentUser, kKey, "Missing", v));
        QVERIFY(!GetValue(kCurrentUser, "Software\\Varnolt\\Other", "Zero", v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("ab"));
    }

    void existenceTests_data() {
        QTest::addColumn<QString>("path"); // under a folder holding Song.MP3 and notes.txt
        QTest::addColumn<bool>("path_exists");
        QTest::addColumn<bool>("file_exists");
        QTest::newRow("nothing") << "<none>" << false << false;
        QTest::newRow("the folder") << "" << true << true;
        QTest::newRow("with separator") << "/" << true << false;
        QTest::newRow("a file") << "/Song.MP3" << true << true;
        QTest::newRow("gone") << "/gone.mp3" << false << false;
        QTest::newRow("wildcard, any case") << "/*.mp3" << false << true;
        QTest::newRow("question mark") << "/S?ng.*" << false << true;
        QTest::newRow("no match") << "/*.wav" << false << false;
    }
    void existenceTests() {
        QFETCH(QString, path);
        QFETCH(bool, path_exists);
        QFETCH(bool, file_exists);
        const QString dir = fixture::FreshFolder(m_tmp, "files");
        fixture::FakeAlbum(dir, {"Song.MP3", "notes.txt"});
        const QString full = path == "<none>" ? QString() : QDir::toNativeSeparators(dir.chopped(1) + path);
        QCOMPARE(PathExists(full), path_exists);
        QCOMPARE(FileExists(full), file_exists);
    }

    void recycledFilesGoToTheTrash() {
        const QString dir = fixture::FreshFolder(m_tmp, "recycle");
        fixture::FakeAlbum(dir, {"a.mp3"});
        bool aborted = true;
        QVERIFY(RecycleFiles(QDir::toNativeSeparators(dir + "a.mp3"), true, &aborted));
        QVERIFY(!aborted);
        QVERIFY(!QFile::exists(dir + "a.mp3"));
        QCOMPARE(fixture::TakeTrash().keys(), QStringList{"a.mp3"});
        // A missing file is reported, nothing else happens.
        QVERIFY(!RecycleFiles(QStringList{dir + "missing.mp3"}, false, &aborted));
        QVERIFY(aborted);
    }
};

SORTI_TEST_MAIN(QCoreApplication, TestRegistry)
#include "tst_registry.moc"
