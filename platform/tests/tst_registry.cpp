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

    // Under a folder holding Song.MP3 and notes.txt; wildcards in any case.
    void existenceAndTrash() {
        const QString dir = fixture::FreshFolder(m_tmp, "files");
        fixture::FakeAlbum(dir, {"Song.MP3", "notes.txt"});
        const struct {
            const char *path; // "<none>": an empty path
            bool pathExists, fileExists;
        } rows[] = {{"<none>", false, false}, {"", true, true},        {"/", true, false},        {"/gone.mp3", false, false},
                    {"/*.mp3", false, true},  {"/s?ng.mp3", false, true}, {"/*.wav", false, false}};
        for (const auto &r : rows) {
            const QString full = r.path == QLatin1String("<none>") ? QString() : QDir::toNativeSeparators(dir.chopped(1) + r.path);
            QVERIFY2(PathExists(full) == r.pathExists && FileExists(full) == r.fileExists, r.path);
        }
        bool aborted = true;
        QVERIFY(RecycleFiles(QDir::toNativeSeparators(dir + "Song.MP3"), true, &aborted) && !aborted);
        QVERIFY(!QFile::exists(dir + "Song.MP3"));
        QCOMPARE(fixture::TakeTrash().keys(), QStringList{"Song.MP3"});
        // A missing file is reported, nothing else happens.
        QVERIFY(!RecycleFiles(QStringList{dir + "missing.mp3"}, false, &aborted) && aborted);
    }
};

SORTI_TEST_MAIN(QCoreApplication, TestRegistry)
#include "tst_registry.moc"
