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

    // The reader's texts: trailing blanks go, leading ones stay, a time of -1 shows as zero.
    // The checked rows reach the file cut to their fields, the genre as a number or a
    // name; the track is always written. The stream is not read again.
    void readerTextsAndWriterRows() {
        QTemporaryDir dir;
        const QString path = dir.filePath("w.mp3"), selected = dir.filePath("ä b.mp3");
        QVERIFY(fixture::Write(path, File(50, "t", 4, 17)));
        QVERIFY(fixture::Write(selected, File(1000, "Title  x  ", 9, 17)));
        const auto t = platform::ReadMp3Information(selected, record);
        QCOMPARE(QStringList({t.bitrate, t.time, t.title, t.artist, t.album, t.year, t.comment, t.genre, t.track}),
                 QStringList({"128", "00:00:26", "Title  x", "Art", "Albé", "2001", "c", "Rock", "9"}));
        mp3info::Mp3InfoRecord unknown;
        unknown.seconds = -1;
        unknown.title = " lead  ";
        const auto f = platform::FormatMp3Info(unknown);
        QCOMPARE(f.time + "|" + f.title, QString("00:00:00| lead"));

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

    void leadingNumbers() {
        const struct {
            const char *locale, *text;
            double number;
        } rows[] = {{"C", "  -12abc", -12}, {"C", "x1", 0}, {"C", "2,5", 2}, {"de_DE", "2,5", 2.5}, {"de_DE", "2.5", 2.5}};
        for (const auto &r : rows) {
            QLocale::setDefault(QLocale(r.locale));
            QCOMPARE(platform::LeadingNumber(r.text), r.number);
        }
    }
};

SORTI_TEST_MAIN(QCoreApplication, TestMp3InfoBridge)
#include "tst_mp3infobridge.moc"
