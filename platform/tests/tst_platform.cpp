// The platform layer without a window: the settings store and the file utilities
// against a settings folder and files in a temporary directory; the MP3 information
// reader's texts and the ID3v1 writer's rows.
#include "AlbumFixture.h"
#include "FileUtils.h"
#include "Id3Bytes.h"
#include "Mp3InfoBridge.h"
#include "Registry.h"
#include "StreamBytes.h"

using namespace platform;

namespace {
const QString kKey = QStringLiteral("Software\\Varnolt\\Sortimentor");
const QString kMaker = QStringLiteral("Software\\Varnolt");

// n frames of MPEG 1 Layer III at 128 kbit/s (1000: 26.06 s), and an ID3v1 tag.
QByteArray File(int frames, const std::string &title, int track, int genre) {
    return QByteArray::fromStdString(streambytes::Stream({}, frames) +
                                     id3bytes::V1(title, "Art", "Alb\xE9", "2001", "c  ", track, static_cast<unsigned char>(genre)));
}
} // namespace

class TestPlatform : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    mp3info::Mp3InfoRecord record;

private slots:
    void init() { fixture::ClearSettings(); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void keysAreCreatedOnceAndOnlyForTheCurrentUser() {
        QVERIFY(!KeyExists(kCurrentUser, kMaker) && !SetValue(kCurrentUser, kKey, "LastDir", QStringLiteral("/a/")));
        QVERIFY(!KeyExists(kCurrentUser, kKey));
        QVERIFY(CreateKey(kCurrentUser, kMaker, "1"));
        QVERIFY(KeyExists(kCurrentUser, kMaker) && !KeyExists(kCurrentUser, kKey));
        QVERIFY(CreateKey(kCurrentUser, kKey, "1"));
        QVERIFY(SetValue(kCurrentUser, kKey, "LastDir", QStringLiteral("/a/")));
        QVERIFY(!CreateKey(kCurrentUser, kKey, "1")); // not new; the values stay
        RegValue v;
        QVERIFY(GetValue(kCurrentUser, kKey, "LastDir", v));
        QCOMPARE(std::get<QString>(v), QStringLiteral("/a/"));
        QVERIFY(!KeyExists(0x80000002u, kKey) && !SetValue(0x80000002u, kKey, "x", QStringLiteral("y")));
        QVERIFY(!KeyExists(kCurrentUser, "Varnolt"));
        QVERIFY(!GetValue(kCurrentUser, kKey, "Missing", v) && !GetValue(kCurrentUser, "Software\\Varnolt\\Other", "LastDir", v));
        // Numbers come back as numbers (32 bits stored as four bytes); a text with a line
        // break ends with one; an empty value writes nothing.
        QVERIFY(SetValue(kCurrentUser, kKey, "Short", qint16(-5)) && SetValue(kCurrentUser, kKey, "Long", qint32(70000)) &&
                SetValue(kCurrentUser, kKey, "Text", QStringLiteral("a\rb")) && SetValue(kCurrentUser, kKey, "None", RegValue{}));
        RegValue s, l, t;
        QVERIFY(GetValue(kCurrentUser, kKey, "Short", s) && GetValue(kCurrentUser, kKey, "Long", l) &&
                GetValue(kCurrentUser, kKey, "Text", t) && !GetValue(kCurrentUser, kKey, "None", v));
        QVERIFY(std::get<qint32>(s) == -5 && std::get<qint32>(l) == 70000 && std::get<QString>(t) == "a\rb\r\n");
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

    // The reader's texts: trailing blanks go, leading ones stay, a time of -1 shows as zero.
    // The checked rows reach the file cut to their fields, the genre as a number (a
    // point or the locale's decimal comma) or a name; the track is always written. The
    // stream is not read again.
    void readerTextsAndWriterRows() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
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
        const std::pair<const char *, int> genres[] = {{"", 255}, {"300", 255}, {"12.5", 12}, {"13,5", 14}, {"rock", 17},
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
};

SORTI_TEST_MAIN(QCoreApplication, TestPlatform)
#include "tst_platform.moc"
