// The information record: filled from a file, written into its ID3v1 tag; the
// playing time as text; and what every failure to read leaves.
#include "FileOps.h"
#include "Id3Bytes.h"
#include "Mp3Info.h"
#include "StreamBytes.h"
#include "StreamInfo.h"
#include "TagError.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace mp3info;
using id3bytes::V1;
using testutil::ReadAll;
using testutil::WriteAll;

namespace {

const std::string kAudio = streambytes::Stream({}, 1000); // 128 kbit/s, 26.06 s

std::string Pad(const std::string &s, size_t n = 30) { return (s + std::string(n, ' ')).substr(0, n); }

Mp3InfoRecord Record(const std::string &title, const std::string &artist, const std::string &comment, int genre, int track,
                     bool given) {
    Mp3InfoRecord r;
    r.title = title;
    r.artist = artist;
    r.year = "2024";
    r.comment = comment;
    r.genre = static_cast<std::int16_t>(genre);
    r.track = static_cast<std::int16_t>(track);
    r.trackGiven = given ? 2 : 1;
    return r;
}

} // namespace

TEST(InfoRecord, FilledFromFileAndRefilledFromTheNext) {
    testutil::TempDir dir;
    const auto a = dir.file("a.mp3"), b = dir.file("b.mp3");
    WriteAll(a, kAudio + V1("First", "Alpha", "Alb\xFCm", "1999", "nice", 7, 17));
    WriteAll(b, kAudio);
    Mp3InfoRecord r;
    ASSERT_TRUE(Mp3FileInfo(a, r));
    EXPECT_EQ(std::tuple(r.bitrate, r.seconds, r.genre, r.track, r.trackGiven), std::tuple(128, 26, 17, 7, 2));
    // 30 characters each, "ü" two UTF-8 bytes among them.
    EXPECT_EQ(std::vector({r.title, r.artist, r.album, r.year, r.comment, r.genreName}),
              std::vector({Pad("First"), Pad("Alpha"), "Albüm" + std::string(25, ' '), std::string("1999"), Pad("nice"), Pad("Rock")}));
    // A file without a tag leaves nothing of the first file behind.
    ASSERT_TRUE(Mp3FileInfo(b, r));
    EXPECT_EQ(std::tuple(r.title, r.genreName, r.genre, r.track, r.trackGiven), std::tuple(Pad(""), Pad(""), 255, 0, 1));
}

TEST(InfoRecord, WriteID3V1PutsFieldsGenreAndTrackIntoTheRecord) {
    const struct {
        std::string tag; // before; an unchanged field keeps its bytes
        Mp3InfoRecord record;
        std::string written;
    } rows[] = {
        {V1("Old", "Old", "", "", "", 1, 1),
         Record("Größe", std::string(40, 'x'), std::string(30, 'c'), 80, 12, true),
         V1(Pad("Gr\xF6\xDF" "e"), std::string(30, 'x'), "", "2024", std::string(28, 'c'), 12, 80)},
        {"", Record("T  ", "", "c", 256, 12, false), V1(Pad("T"), Pad(""), Pad(""), "2024", Pad("c", 28), 0, 255)},
        {"", Record("", "A", "", 0, 255, true), V1(Pad(""), Pad("A"), Pad(""), "2024", Pad("", 28), 255, 0)},
    };
    testutil::TempDir dir;
    const auto path = dir.file("w.mp3");
    for (const auto &row : rows) {
        WriteAll(path, kAudio + row.tag);
        ASSERT_TRUE(WriteID3V1(path, row.record));
        EXPECT_EQ(ReadAll(path), kAudio + row.written) << row.record.title;
    }
}

// The one place for files that cannot be read: missing, a folder, a failing read.
TEST(InfoRecord, UnreadableFilesGiveFalseAndZerosAndStayAsTheyWere) {
    testutil::TempDir dir;
    const auto missing = dir.file("missing.mp3"), file = dir.file("r.mp3");
    WriteAll(file, kAudio + V1("T"));
    const std::pair<std::string, int> rows[] = {{missing, 0}, {dir.path().string(), 0}, {file, tags::fileops::kErrIo}};
    for (const auto &[path, error] : rows) {
        SCOPED_TRACE(path);
        // The error is injected into every read.
        testutil::FaultHookGuard hook([&](tags::fileops::Op op, const std::string &) { return op == tags::fileops::Op::Read ? error : 0; });
        Mp3InfoRecord r = Record("", "", "", 0, 0, false);
        r.bitrate = r.seconds = 7;
        EXPECT_FALSE(Mp3FileInfo(path, r));
        EXPECT_EQ(std::tuple(r.bitrate, r.seconds, r.title), std::tuple(0, 0, Pad("")));
        const StreamInfo s = ReadStreamInfo(path);
        EXPECT_FALSE(s.readable);
        EXPECT_NE(s.error.find(error ? tags::SystemErrorText(error) : ""), std::string::npos) << s.error;
        EXPECT_FALSE(s.error.empty());
        std::string writeError;
        EXPECT_FALSE(WriteID3V1(path, r, &writeError));
        EXPECT_FALSE(writeError.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(ReadAll(file), kAudio + V1("T"));
    Mp3InfoRecord r;
    EXPECT_TRUE(Mp3FileInfo(file, r)); // all is well again
}

TEST(PlayingTime, TextAndProbeFields) {
    const std::pair<std::int32_t, const char *> rows[] = {
        {0, "00:00:00"}, {187, "00:03:07"}, {3 * 3600 + 59, "03:00:59"}, {123 * 3600 + 4 * 60 + 5, "123:04:05"}, {-1, "00:00:-01"}};
    for (const auto &[seconds, text] : rows) EXPECT_EQ(PlayingTimeText(seconds), text);
    testutil::TempDir dir;
    WriteAll(dir.file("p.mp3"), kAudio + V1("t"));
    EXPECT_EQ(StreamProbeFields(dir.file("p.mp3")), "bitrate=128\tseconds=26\ttime=00:00:26");
    EXPECT_EQ(StreamProbeFields(dir.file("none.mp3")), "bitrate=0\tseconds=0\ttime=00:00:00");
}
