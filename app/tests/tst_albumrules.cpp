// The small rules of the album run: track counter, title from the file name,
// numbered names, the writable rule and the playlist.

#include "AlbumFixture.h"
#include "AlbumWorkflow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtTest>

using namespace album;

class TestAlbumRules : public QObject {
    Q_OBJECT

private slots:
    void trackCounter_data();
    void trackCounter();
    void trackSequence_data();
    void trackSequence();
    void titleFromFileName();
    void numberedName_data();
    void numberedName();
    void makeWritable();
    void playlistBytesAndReplacement();
    void playlistNamesInFileSystemEncoding();
    void playlistRefusesNamesOutsideTheFolder();
    void entryPathAddsMissingSeparator();
};

void TestAlbumRules::trackCounter_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("next");
    QTest::newRow("plain") << "de_DE" << "5" << "6";
    QTest::newRow("leading zero") << "de_DE" << "07" << "8";
    QTest::newRow("two digits") << "en_US" << "12" << "13";
    QTest::newRow("letters count as 1") << "de_DE" << "abc" << "2";
    QTest::newRow("empty counts as 1") << "de_DE" << "" << "2";
    QTest::newRow("track of total is no number") << "de_DE" << "3/12" << "2";
    QTest::newRow("German thousands") << "de_DE" << "1.234" << "1235";
    QTest::newRow("English thousands") << "en_US" << "1,234" << "1235";
    QTest::newRow("German decimal comma") << "de_DE" << "1,5" << "2,5";
    QTest::newRow("English decimal point") << "en_US" << "1.5" << "2.5";
    QTest::newRow("blanks around") << "de_DE" << " 5 " << "6";
    QTest::newRow("negative") << "de_DE" << "-1" << "0";
    QTest::newRow("not a finite number") << "en_US" << "inf" << "2";
    QTest::newRow("no group separator in output") << "de_DE" << "9999" << "10000";
}

void TestAlbumRules::trackCounter() {
    QFETCH(QString, locale);
    QFETCH(QString, current);
    QFETCH(QString, next);
    QCOMPARE(NextTrackText(current, QLocale(locale)), next);
}

void TestAlbumRules::trackSequence_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("number") << "5" << QStringList{"5", "6", "7"};
    QTest::newRow("text stays for the first file") << "abc" << QStringList{"abc", "2", "3"};
    QTest::newRow("empty stays for the first file") << "" << QStringList{"", "2", "3"};
    QTest::newRow("leading zero only on the first") << "07" << QStringList{"07", "8", "9"};
}

void TestAlbumRules::trackSequence() {
    QFETCH(QString, start);
    QFETCH(QStringList, expected);
    QCOMPARE(TrackSequence(start, 3, QLocale(QLocale::German, QLocale::Germany)), expected);
    QVERIFY(TrackSequence(start, 0, QLocale::c()).isEmpty());
}

void TestAlbumRules::titleFromFileName() {
    QCOMPARE(TitleFromFileName("07 Song.mp3"), QString("07 Song"));
    QCOMPARE(TitleFromFileName("Über.MP3"), QString("Über"));
    QCOMPARE(TitleFromFileName(".mp3"), QString(""));
    QCOMPARE(TitleFromFileName("ab"), QString(""));
}

void TestAlbumRules::numberedName_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("tFilename");
    QTest::addColumn<bool>("useExist");
    QTest::addColumn<QString>("expected");
    QTest::newRow("common name") << 3 << "Song.mp3" << "Urlaub" << false << "003- Urlaub.mp3";
    QTest::newRow("no name") << 3 << "Song.mp3" << "" << false << "003.mp3";
    QTest::newRow("present name") << 3 << "Song.mp3" << "Urlaub" << true << "003- Song.mp3";
    QTest::newRow("upper-case extension kept") << 1 << "Track.MP3" << "" << true << "001- Track.MP3";
    QTest::newRow("upper-case extension with name") << 1 << "Track.MP3" << "Urlaub" << false << "001- Urlaub.MP3";
    QTest::newRow("blanks are a name") << 2 << "a.mp3" << " " << false << "002-  .mp3";
    QTest::newRow("two digits") << 42 << "a.mp3" << "" << false << "042.mp3";
    QTest::newRow("three digits") << 999 << "a.mp3" << "" << false << "999.mp3";
    QTest::newRow("four digits") << 1000 << "a.mp3" << "" << false << "1000.mp3";
    QTest::newRow("numbered twice") << 1 << "001- Song.mp3" << "" << true << "001- 001- Song.mp3";
}

void TestAlbumRules::numberedName() {
    QFETCH(int, position);
    QFETCH(QString, present);
    QFETCH(QString, tFilename);
    QFETCH(bool, useExist);
    QFETCH(QString, expected);
    QCOMPARE(NumberedName(position, present, tFilename, useExist), expected);
}

void TestAlbumRules::makeWritable() {
    QTemporaryDir dir;
    const QString readOnly = dir.filePath("ro.mp3");
    const QString writable = dir.filePath("rw.mp3");
    QVERIFY(fixture::Write(readOnly, "x"));
    QVERIFY(fixture::Write(writable, "x"));
    const auto r = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const auto rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(readOnly, r));
    QVERIFY(QFile::setPermissions(writable, rw));

    QVERIFY(MakeWritable(readOnly));
    QCOMPARE(QFileInfo(readOnly).permissions() & 0x7077, r | QFileDevice::WriteOwner);
    QVERIFY(QFileInfo(readOnly).isWritable());
    QVERIFY(!MakeWritable(readOnly));  // now it is

    QVERIFY(!MakeWritable(writable));
    QCOMPARE(QFileInfo(writable).permissions() & 0x7077, rw);

    QVERIFY(!MakeWritable(dir.filePath("missing.mp3")));
    QVERIFY(!QFileInfo::exists(dir.filePath("missing.mp3")));
}

void TestAlbumRules::playlistBytesAndReplacement() {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    const QString path = folder + "Best of.m3u";
    QVERIFY(fixture::Write(path, QByteArray(500, 'x')));  // an older, longer playlist

    QVERIFY(WritePlaylist(folder, "Best of", {"b.mp3", "a.mp3", "c.mp3"}));
    QCOMPARE(fixture::Read(path), QByteArray("b.mp3\r\na.mp3\r\nc.mp3\r\n"));

    QVERIFY(WritePlaylist(folder, "Best of", {"x.mp3"}));
    QCOMPARE(fixture::Read(path), QByteArray("x.mp3\r\n"));

    // An empty album text gives ".m3u"; an empty list an empty file.
    QVERIFY(WritePlaylist(folder, "", {}));
    QVERIFY(QFileInfo::exists(folder + ".m3u"));
    QCOMPARE(QFileInfo(folder + ".m3u").size(), 0);

    // Only the two playlists: no temporary file is left behind.
    QCOMPARE(fixture::Listing(dir.path()), QStringList({".m3u", "Best of.m3u"}));
}

void TestAlbumRules::playlistNamesInFileSystemEncoding() {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    const QStringList names{"Über Straße.mp3", "東京の夜.mp3", "Ça va.MP3"};
    for (const QString &n : names)
        QVERIFY(fixture::Write(folder + n, "x"));

    QVERIFY(WritePlaylist(folder, "Grüße", names));
    const QString path = folder + "Grüße.m3u";
    QVERIFY(QFileInfo::exists(path));
    const QByteArray bytes = fixture::Read(path);
    QCOMPARE(bytes, QByteArray("\xc3\x9c" "ber Stra\xc3\x9f" "e.mp3\r\n"
                               "\xe6\x9d\xb1\xe4\xba\xac\xe3\x81\xae\xe5\xa4\x9c.mp3\r\n"
                               "\xc3\x87" "a va.MP3\r\n"));

    // Every line names a file of the folder.
    QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), names.size());
    for (const QByteArray &line : lines) {
        QVERIFY(line.endsWith('\r'));
        QVERIFY2(QFileInfo::exists(folder + QFile::decodeName(line.chopped(1))), line.constData());
    }
}

void TestAlbumRules::playlistRefusesNamesOutsideTheFolder() {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    QVERIFY(QDir(folder).mkdir("AC"));

    QVERIFY(!WritePlaylist(folder, "AC/DC", {"a.mp3"}));
    QVERIFY(!WritePlaylist(folder, "../up", {"a.mp3"}));
    QVERIFY(!WritePlaylist(folder, QString(300, QChar('x')), {"a.mp3"}));
    QVERIFY(fixture::Listing(folder).isEmpty());
    QVERIFY(QDir(folder + "AC").isEmpty());

    // A playlist name taken by a folder, or a folder that is not there.
    QVERIFY(QDir(folder).mkdir("Live.m3u"));
    QVERIFY(!WritePlaylist(folder, "Live", {"a.mp3"}));
    QVERIFY(!WritePlaylist(folder + "gone/", "Live", {"a.mp3"}));
    QVERIFY(fixture::Listing(folder).isEmpty());
}

void TestAlbumRules::entryPathAddsMissingSeparator() {
    QCOMPARE(EntryPath("/music/album/", "a.mp3"), QString("/music/album/a.mp3"));
    QCOMPARE(EntryPath("/music/album", "a.mp3"), QString("/music/album/a.mp3"));
    QCOMPARE(EntryPath("/", "a.mp3"), QString("/a.mp3"));
}

ALBUM_TEST_MAIN(QCoreApplication, TestAlbumRules)
#include "tst_albumrules.moc"
