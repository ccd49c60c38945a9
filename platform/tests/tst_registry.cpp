// The settings store and the file utilities, against a settings folder and files in a
// temporary directory.
#include "AlbumFixture.h"
#include "FileUtils.h"
#include "Registry.h"

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
        QVERIFY(!GetValue(kCurrentUser, kKey, "Missing", v) && !GetValue(kCurrentUser, "Software\\Varnolt\\Other", "LastDir", v));
    }

    // What lands in the store for each kind, and what comes back. Values stored by
    // others come back as text up to a zero character; kinds the store does not know
    // leave the value alone.
    void valueKinds_data() {
        QTest::addColumn<QVariant>("written"); // a RegValue, or invalid: `stored` is put in raw
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QVariant>("readBack"); // a RegValue
        auto value = [](RegValue v) { return QVariant::fromValue(v); };
        const QVariant kept = value(QStringLiteral("kept"));
        QTest::newRow("16-bit") << value(qint16(5)) << QVariant(5) << true << value(qint32(5));
        QTest::newRow("32-bit") << value(qint32(-2)) << QVariant(QByteArray("\xfe\xff\xff\xff", 4)) << true << value(qint32(-2));
        QTest::newRow("lines") << value(QStringLiteral("a\r\nb")) << QVariant("a\r\nb\r\n") << true << value(QStringLiteral("a\r\nb\r\n"));
        QTest::newRow("one line ending") << value(QStringLiteral("x\r\n")) << QVariant("x\r\n") << true << value(QStringLiteral("x\r\n"));
        QTest::newRow("empty text") << value(QString()) << QVariant("") << true << value(QString());
        QTest::newRow("nothing") << value(RegValue()) << QVariant() << false << kept;
        QTest::newRow("zero character") << QVariant() << QVariant(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")) << true << value(QStringLiteral("ab"));
        QTest::newRow("point") << QVariant() << QVariant(QPoint(1, 2)) << true << kept;
        QTest::newRow("two bytes") << QVariant() << QVariant(QByteArray("\x01\x02", 2)) << false << kept;
    }
    void valueKinds() {
        QFETCH(QVariant, written);
        QFETCH(QVariant, stored);
        QFETCH(bool, read);
        QFETCH(QVariant, readBack);
        CreateKey(kCurrentUser, kKey, "1");
        if (written.isValid()) {
            QVERIFY(SetValue(kCurrentUser, kKey, "V", written.value<RegValue>()));
            QCOMPARE(Raw().value("V").toByteArray(), stored.toByteArray());
        } else {
            Raw().setValue("V", stored);
        }
        RegValue v = QStringLiteral("kept");
        QCOMPARE(GetValue(kCurrentUser, kKey, "V", v), read);
        QVERIFY(v == readBack.value<RegValue>());
    }

    void existenceTests_data() {
        QTest::addColumn<QString>("path"); // under a folder holding Song.MP3 and notes.txt
        QTest::addColumn<bool>("path_exists");
        QTest::addColumn<bool>("file_exists");
        QTest::newRow("nothing") << "<none>" << false << false;
        QTest::newRow("the folder") << "" << true << true;
        QTest::newRow("with separator") << "/" << true << false;
        QTest::newRow("gone") << "/gone.mp3" << false << false;
        QTest::newRow("star, any case") << "/*.mp3" << false << true;
        QTest::newRow("question mark, any case") << "/s?ng.mp3" << false << true;
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
