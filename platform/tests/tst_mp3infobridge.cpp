// The MP3 information reader's texts and the ID3v1 writer's rows.
#include "AlbumFixture.h"
#include "Id3Bytes.h"
#include "Mp3InfoBridge.h"
#include "StreamBytes.h"

namespace {

// n frames of MPEG 1 Layer III at 128 kbit/s (1000: 26.06 s), and an ID3v1 tag.
QByteArray File(int frames, const std::string &title, int track, int genre) {
    return QByteArray::fromStdString(streambytes::Stream({}, frames) +
                                     id3bytes::V1(title, "Art", "Alb\xE9", "2001", "c  ", track, static_cast<unsigned char>(genre)));
}

} // namespace

class TestMp3InfoBridge : public QObject {
    Q_OBJECT
    mp3info::Mp3InfoRecord record;

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // Trailing blanks go, leading ones stay; a time of -1 shows as zero.
    void readerTexts() {
        QTemporaryDir dir;
        const QString path = dir.filePath("ä b.mp3");
        QVERIFY(fixture::Write(path, File(1000, "Title  x  ", 9, 17)));
        const auto t = platform::ReadMp3Information(path, record);
        QCOMPARE(QStringList({t.bitrate, t.time, t.title, t.artist, t.album, t.year, t.comment, t.genre, t.track}),
                 QStringList({"128", "00:00:26", "Title  x", "Art", "Albé", "2001", "c", "Rock", "9"}));
        record.seconds = -1;
        record.title = " lead  ";
        const auto f = platform::FormatMp3Info(record);
        QCOMPARE(QStringList({f.time, f.title}), QStringList({"00:00:00", " lead"}));
    }

    // The checked rows reach the file cut to their fields, the genre as a number or a
    // name; the track is always written. The stream is not read again.
    void writerRows() {
        QTemporaryDir dir;
        const QString path = dir.filePath("w.mp3"), selected = dir.filePath("selected.mp3");
        QVERIFY(fixture::Write(path, File(50, "t", 4, 17)));
        QVERIFY(fixture::Write(selected, QByteArray::fromStdString(streambytes::Stream({}, 1000))));
        platform::ReadMp3Information(selected, record);
        platform::Id3v1Rows rows;
        rows.artist = rows.album = rows.year = rows.comment = rows.genre = true;
        rows.tArtist = QString(40, u'x');
        rows.tAlbum = QStringLiteral("Ölbaum");
        rows.tYear = QStringLiteral("20245");
        rows.tKommentar = QStringLiteral("k");
        rows.tTrack = QStringLiteral("07/12");
        const std::pair<const char *, int> genres[] = {{"", 255}, {"300", 255}, {"12.5", 12}, {"13.5", 14}, {"rock", 17},
                                                       {"no such genre", 17}, {"hip hop", 7}};
        const QByteArray audio = fixture::Read(path).chopped(128);
        auto tag = [&] { return fixture::Read(path).sliced(audio.size()); };
        for (const auto &[genre, number] : genres) {
            rows.tGenre = QString::fromUtf8(genre);
            QVERIFY(platform::WriteId3v1Rows(path, rows, record));
            QCOMPARE(int(uchar(tag().back())), number);
        }
        // The title was not checked: its bytes stay.
        const auto expected = [](int track) {
            return QByteArray::fromStdString(id3bytes::V1("t", std::string(30, 'x'), "\xD6lbaum" + std::string(24, ' '), "2024",
                                                          "k" + std::string(27, ' '), track, 7));
        };
        QCOMPARE(tag(), expected(7));
        QCOMPARE(record.seconds, 26);
        // No leading number: no track, whatever was there; an unchecked genre stays.
        rows.genre = false;
        rows.tTrack = QStringLiteral("Track");
        QVERIFY(platform::WriteId3v1Rows(path, rows, record));
        QCOMPARE(fixture::Read(path), audio + expected(0));
    }

    void leadingNumbers_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("blanks and letters") << "C" << "  12abc" << 12.0;
        QTest::newRow("negative") << "C" << "-3" << -3.0;
        QTest::newRow("letter first") << "C" << "x1" << 0.0;
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
};

SORTI_TEST_MAIN(QCoreApplication, TestMp3InfoBridge)
#include "tst_mp3infobridge.moc"
