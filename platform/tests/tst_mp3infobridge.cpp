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

void Write(const QString &path, const QByteArray &bytes) { QVERIFY(fixture::Write(path, bytes)); }

tags::Mp3TagID3v1 ReadTag(const QString &path) {
    tags::Mp3TagID3v1 t;
    t.MP3File(QFile::encodeName(path).toStdString());
    return t;
}

} // namespace

class TestMp3InfoBridge : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void readerTexts() {
        QTemporaryDir dir;
        const QString path = dir.filePath("ä b.mp3");
        Write(path, Frames(1000) + Id3v1("Title  x  ", "Art", "Alb\xE9", 9, 17));
        mp3info::Mp3InfoRecord record;
        const auto t = platform::ReadMp3Information(path, record);
        QCOMPARE(t.bitrate, QStringLiteral("128"));
        QCOMPARE(t.time, QStringLiteral("00:00:26"));
        QCOMPARE(t.title, QStringLiteral("Title  x"));
        QCOMPARE(t.artist, QStringLiteral("Art"));
        QCOMPARE(t.album, QStringLiteral("Albé"));
        QCOMPARE(t.year, QStringLiteral("2001"));
        QCOMPARE(t.comment, QStringLiteral("c"));
        QCOMPARE(t.genre, QStringLiteral("Rock"));
        QCOMPARE(t.track, QStringLiteral("9"));

        // Hours: a Xing count of 441000 frames is 3 h 12 min.
        QByteArray xing = Frames(1);
        xing.replace(36, 12, QByteArray("Xing\0\0\0\x01\x00\x06\xBA\xA8", 12));
        Write(path, xing + Frames(10));
        QCOMPARE(platform::ReadMp3Information(path, record).time, QStringLiteral("03:12:00"));

        // Garbage and missing files: zeros, nothing thrown.
        Write(path, QByteArray(5000, 'x'));
        auto g = platform::ReadMp3Information(path, record);
        QCOMPARE(g.bitrate, QStringLiteral("0"));
        QCOMPARE(g.time, QStringLiteral("00:00:00"));
        g = platform::ReadMp3Information(dir.filePath("none.mp3"), record);
        QCOMPARE(g.bitrate, QStringLiteral("0"));
        QCOMPARE(g.time, QStringLiteral("00:00:00"));
        QCOMPARE(g.artist, QString());

        // The time text of t = -1, and leading blanks that stay.
        record.seconds = -1;
        record.title = " lead  ";
        QCOMPARE(platform::FormatMp3Info(record).time, QStringLiteral("00:00:00"));
        QCOMPARE(platform::FormatMp3Info(record).title, QStringLiteral(" lead"));
        record.seconds = 59;
        QCOMPARE(platform::FormatMp3Info(record).time, QStringLiteral("00:00:59"));
    }

    // An album run: the record still holds the file selected before; each
    // file must keep its own artist when only the title row is checked.
    void writerKeepsEachFilesOwnFields() {
        QTemporaryDir dir;
        const QString a = dir.filePath("01.mp3"), b = dir.filePath("02.mp3");
        Write(a, Frames(50) + Id3v1("a-title", "Alpha", "Album A", 1, 17));
        Write(b, Frames(50) + Id3v1("b-title", "Beta", "Album B", 2, 80));

        mp3info::Mp3InfoRecord record;
        platform::ReadMp3Information(a, record); // selected before the run

        Id3v1Rows rows;
        rows.title = true;
        rows.tTitel = QStringLiteral("Neu");
        rows.tArtist = QStringLiteral("Unchecked Artist");
        rows.tTrack = QStringLiteral("1");
        QVERIFY(platform::WriteId3v1Rows(a, rows, record));
        rows.tTrack = QStringLiteral("2");
        QVERIFY(platform::WriteId3v1Rows(b, rows, record));

        const auto ta = ReadTag(a), tb = ReadTag(b);
        QCOMPARE(ta.Title(), std::string("Neu"));
        QCOMPARE(tb.Title(), std::string("Neu"));
        QCOMPARE(ta.Artist(), std::string("Alpha"));
        QCOMPARE(tb.Artist(), std::string("Beta"));
        QCOMPARE(tb.Album(), std::string("Album B"));
        QCOMPARE(tb.Genre(), 80);
        QCOMPARE(ta.Track(), 1);
        QCOMPARE(tb.Track(), 2);
    }

    void writerRows() {
        QTemporaryDir dir;
        const QString path = dir.filePath("w.mp3");
        Write(path, Frames(50) + Id3v1("t", "a", "b", 4, 17));
        mp3info::Mp3InfoRecord record;

        Id3v1Rows rows;
        rows.artist = rows.album = rows.year = rows.comment = rows.genre = true;
        rows.tArtist = QString(40, u'x');
        rows.tAlbum = QStringLiteral("Ölbaum");
        rows.tYear = QStringLiteral("20245");
        rows.tKommentar = QStringLiteral("k");
        rows.tGenre = QStringLiteral("12.5"); // halves go to the even neighbour
        rows.tTrack = QStringLiteral("07/12");
        QVERIFY(platform::WriteId3v1Rows(path, rows, record));
        auto t = ReadTag(path);
        QCOMPARE(t.Title(), std::string("t"));
        QCOMPARE(t.Artist(), std::string(30, 'x'));
        QCOMPARE(t.Album(), std::string("Ölbaum"));
        QCOMPARE(t.Year(), std::string("2024"));
        QCOMPARE(t.Comment(), std::string("k"));
        QCOMPARE(t.Genre(), 12);
        QCOMPARE(t.Track(), 7);

        struct { QString genre; int expected; } genres[] = {
            {QStringLiteral("13.5"), 14}, {QStringLiteral("rock"), 17}, {QStringLiteral("no such genre"), 17},
            {QStringLiteral("hip hop"), 7}, {QString(), 255}, {QStringLiteral("300"), 255},
        };
        for (const auto &g : genres) {
            rows.tGenre = g.genre;
            QVERIFY(platform::WriteId3v1Rows(path, rows, record));
            QCOMPARE(int(ReadTag(path).Genre()), g.expected);
        }

        // No leading number: no track, whatever was there.
        rows.genre = false;
        rows.tTrack = QStringLiteral("Track");
        QVERIFY(platform::WriteId3v1Rows(path, rows, record));
        QCOMPARE(int(ReadTag(path).Track()), 0);
        QCOMPARE(int(ReadTag(path).Genre()), 255); // the genre set before stays

        // Unreadable files fail without creating anything.
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
