// The MP3 information reader's texts and the ID3v1 writer's rows.
#include "AlbumFixture.h"
#include "Mp3InfoBridge.h"
#include "id3v1/Mp3TagID3v1.h"

using platform::Id3v1Rows;

namespace {

QByteArray Frames(int count) {
    QByteArray frame(417, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x90);
    return frame.repeated(count);
}

QByteArray Id3v1(const QByteArray &title, const QByteArray &artist, const QByteArray &album, int track, int genre) {
    auto pad = [](QByteArray s, int n) { s.resize(n, '\0'); return s; };
    QByteArray r = "TAG" + pad(title, 30) + pad(artist, 30) + pad(album, 30) + pad("2001", 4) + pad("c  ", 28);
    r += '\0';
    r += char(track);
    r += char(genre);
    return r;
}


tags::Mp3TagID3v1 ReadTag(const QString &path) {
    tags::Mp3TagID3v1 t;
    t.MP3File(QFile::encodeName(path).toStdString());
    return t;
}

} // namespace

class TestMp3InfoBridge : public QObject {
    Q_OBJECT
    mp3info::Mp3InfoRecord record;

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void readerTexts() {
        QTemporaryDir dir;
        const QString path = dir.filePath("ä b.mp3");
        auto texts = [&](const QString &file) {
            const auto t = platform::ReadMp3Information(file, record);
            return QStringList{t.bitrate, t.time, t.title, t.artist, t.album, t.year, t.comment, t.genre, t.track};
        };
        QVERIFY(fixture::Write(path, Frames(1000) + Id3v1("Title  x  ", "Art", "Alb\xE9", 9, 17)));
        QCOMPARE(texts(path), QStringList({"128", "00:00:26", "Title  x", "Art", "Albé", "2001", "c", "Rock", "9"}));
        // Hours: a Xing count of 441000 frames is 3 h 12 min.
        QByteArray xing = Frames(1);
        xing.replace(36, 12, QByteArray("Xing\0\0\0\x01\x00\x06\xBA\xA8", 12));
        QVERIFY(fixture::Write(path, xing + Frames(10)));
        QCOMPARE(texts(path).value(1), QStringLiteral("03:12:00"));
        // Garbage: zeros, nothing thrown (a missing file: the window's panel test).
        QVERIFY(fixture::Write(path, QByteArray(5000, 'x')));
        QCOMPARE(texts(path).mid(0, 4), QStringList({"0", "00:00:00", "", ""}));
        // A time of -1, and leading blanks that stay.
        record.seconds = -1;
        record.title = " lead  ";
        QCOMPARE(platform::FormatMp3Info(record).time, QStringLiteral("00:00:00"));
        QCOMPARE(platform::FormatMp3Info(record).title, QStringLiteral(" lead"));
    }

    // The checked rows reach the record cut to its fields; the track is always written.
    // Only the tag fields are refilled from the file: its stream is not read again.
    void writerRows() {
        QTemporaryDir dir;
        const QString path = dir.filePath("w.mp3"), selected = dir.filePath("selected.mp3");
        QVERIFY(fixture::Write(path, Frames(50) + Id3v1("t", "a", "b", 4, 17)));
        QVERIFY(fixture::Write(selected, Frames(1000)));
        platform::ReadMp3Information(selected, record);
        const auto seconds = record.seconds;
        Id3v1Rows rows;
        rows.artist = rows.album = rows.year = rows.comment = rows.genre = true;
        rows.tArtist = QString(40, u'x');
        rows.tAlbum = QStringLiteral("Ölbaum");
        rows.tYear = QStringLiteral("20245");
        rows.tKommentar = QStringLiteral("k");
        rows.tTrack = QStringLiteral("07/12");
        const struct {
            const char *genre;
            int number;
        } genres[] = {{"12.5", 12}, {"13.5", 14}, {"rock", 17}, {"no such genre", 17}, {"hip hop", 7}, {"", 255}, {"300", 255}};
        for (const auto &g : genres) {
            rows.tGenre = QString::fromUtf8(g.genre);
            QVERIFY(platform::WriteId3v1Rows(path, rows, record));
            QCOMPARE(int(ReadTag(path).Genre()), g.number);
        }
        const auto t = ReadTag(path);
        QCOMPARE(QList({t.Title(), t.Artist(), t.Album(), t.Year(), t.Comment()}),
                 QList<std::string>({"t", std::string(30, 'x'), "Ölbaum", "2024", "k"}));
        QCOMPARE(int(t.Track()), 7);
        QCOMPARE(record.seconds, seconds);
        // No leading number: no track, whatever was there; an unchecked genre stays.
        rows.genre = false;
        rows.tTrack = QStringLiteral("Track");
        QVERIFY(platform::WriteId3v1Rows(path, rows, record));
        QCOMPARE(int(ReadTag(path).Track()), 0);
        QCOMPARE(int(ReadTag(path).Genre()), 255);
        QVERIFY(!platform::WriteId3v1Rows(dir.filePath("missing.mp3"), rows, record));
        QVERIFY(!QFile::exists(dir.filePath("missing.mp3")));
    }

    void leadingNumbers_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("blanks and letters") << "C" << "  12abc" << 12.0;
        QTest::newRow("negative") << "C" << "-3" << -3.0;
        QTest::newRow("empty") << "C" << "" << 0.0;
        QTest::newRow("letter first") << "C" << "x1" << 0.0;
        QTest::newRow("point") << "C" << "2.5" << 2.5;
        QTest::newRow("comma in C") << "C" << "2,5" << 2.0;
        QTest::newRow("comma in German") << "de_DE" << "2,5" << 2.5;
        QTest::newRow("point in German") << "de_DE" << "2.5" << 2.5;
    }
    void leadingNumbers() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(double, number);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(platform::LeadingNumber(text), number);
    }
    void roundHalfEven() {
        QCOMPARE(QList({platform::RoundHalfEven(2.5), platform::RoundHalfEven(3.5), platform::RoundHalfEven(-2.5),
                        platform::RoundHalfEven(2.6)}),
                 QList<long long>({2, 4, -2, 3}));
    }
};

SORTI_TEST_MAIN(QCoreApplication, TestMp3InfoBridge)
#include "tst_mp3infobridge.moc"
