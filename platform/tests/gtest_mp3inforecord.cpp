// The information record: filled from a file, written into its ID3v1 tag.
#include "FileOps.h"
#include "Mp3Info.h"
#include "StreamInfo.h"
#include "TagError.h"
#include "TestUtil.h"
#include "id3v1/Mp3TagID3v1.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

using namespace mp3info;
using testutil::ReadAll;
using testutil::TempDir;
using testutil::WriteAll;

namespace {

// 1000 frames of MPEG 1 layer III at 128 kbit/s: 26.06 s.
std::string Audio() {
    std::string frame("\xFF\xFB\x90\x00", 4);
    frame.resize(417, '\0');
    std::string s;
    for (int i = 0; i < 1000; ++i) s += frame;
    return s;
}

std::string Id3v1(const std::string &title, const std::string &artist, int track, int genre) {
    auto pad = [](std::string s, size_t n) { s.resize(n, '\0'); return s; };
    std::string r = "TAG" + pad(title, 30) + pad(artist, 30) + pad("Alb\xFCm", 30) + pad("1999", 4) +
                    pad("nice", 28);
    r += '\0';
    r += static_cast<char>(track);
    r += static_cast<char>(genre);
    return r;
}

} // namespace

TEST(InfoRecord, FilledFromFileAndRefilledFromTheNext) {
    TempDir dir;
    const auto a = dir.file("a.mp3"), b = dir.file("b.mp3");
    WriteAll(a, Audio() + Id3v1("First", "Alpha", 7, 17));
    WriteAll(b, Audio());

    Mp3InfoRecord r;
    ASSERT_TRUE(Mp3FileInfo(a, r));
    EXPECT_EQ(r.bitrate, 128);
    EXPECT_EQ(r.seconds, 26);
    EXPECT_EQ(r.title, "First" + std::string(25, ' '));
    EXPECT_EQ(r.artist, "Alpha" + std::string(25, ' '));
    EXPECT_EQ(r.album, "Albüm" + std::string(25, ' ')); // 30 characters, one of them two UTF-8 bytes
    EXPECT_EQ(r.year, "1999");
    EXPECT_EQ(r.comment, "nice" + std::string(26, ' '));
    EXPECT_EQ(r.genreName, "Rock" + std::string(26, ' '));
    EXPECT_EQ(r.genre, 17);
    EXPECT_EQ(r.track, 7);
    EXPECT_EQ(r.trackGiven, 2);
    EXPECT_EQ(r.trackGiven2, 2);
    EXPECT_EQ(r.artistText, "Alpha");
    EXPECT_EQ(r.trackText, "7");

    // A file without a tag leaves nothing of the first file behind.
    ASSERT_TRUE(Mp3FileInfo(b, r));
    EXPECT_EQ(r.title, std::string(30, ' '));
    EXPECT_EQ(r.artist, std::string(30, ' '));
    EXPECT_EQ(r.artistText, "");
    EXPECT_EQ(r.genre, 255);
    EXPECT_EQ(r.track, 0);
    EXPECT_EQ(r.trackGiven, 1);

    // Unreadable: false, zeros, nothing thrown.
    r.bitrate = 99;
    r.seconds = 99;
    EXPECT_FALSE(Mp3FileInfo(dir.file("missing.mp3"), r));
    EXPECT_EQ(r.bitrate, 0);
    EXPECT_EQ(r.seconds, 0);
    EXPECT_EQ(r.artist, std::string(30, ' '));
    EXPECT_FALSE(Mp3FileInfo(dir.path().string(), r)); // a folder
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.mp3")));
}

TEST(InfoRecord, WriteID3V1TakesShortSlotsGenreAndTrack) {
    TempDir dir;
    const auto path = dir.file("w.mp3");
    const std::string audio = Audio();
    WriteAll(path, audio + Id3v1("Old", "Old", 1, 1));

    Mp3InfoRecord r;
    r.title = Mp3InfoRecord::Slot("Größe", Mp3InfoRecord::kShort);
    r.artist = Mp3InfoRecord::Slot(std::string(40, 'x'), Mp3InfoRecord::kShort);
    r.album = Mp3InfoRecord::Slot("Album", Mp3InfoRecord::kShort);
    r.year = Mp3InfoRecord::Slot("2024", Mp3InfoRecord::kYear);
    r.comment = Mp3InfoRecord::Slot(std::string(30, 'c'), Mp3InfoRecord::kShort);
    r.genre = 80;
    r.track = 12;
    r.trackGiven = r.trackGiven2 = 2;
    ASSERT_TRUE(WriteID3V1(path, r));

    tags::Mp3TagID3v1 v1;
    v1.MP3File(path);
    EXPECT_EQ(v1.Title(), "Größe");
    EXPECT_EQ(v1.Artist(), std::string(30, 'x'));
    EXPECT_EQ(v1.Album(), "Album");
    EXPECT_EQ(v1.Year(), "2024");
    EXPECT_EQ(v1.Comment(), std::string(28, 'c')); // room for the track number
    EXPECT_EQ(v1.Genre(), 80);
    EXPECT_EQ(v1.Track(), 12);
    const std::string bytes = ReadAll(path);
    EXPECT_EQ(bytes.size(), audio.size() + 128);
    EXPECT_EQ(bytes.substr(0, audio.size()), audio);

    // No track given, genre out of range: track 0, genre none.
    r.trackGiven = r.trackGiven2 = 1;
    r.genre = 400;
    ASSERT_TRUE(WriteID3V1(path, r));
    v1.MP3File(path);
    EXPECT_EQ(v1.Track(), 0);
    EXPECT_EQ(v1.Genre(), 255);
    EXPECT_EQ(ReadAll(path).size(), audio.size() + 128);

    // A file without a tag gets one appended; an empty file and a missing one fail cleanly.
    const auto bare = dir.file("bare.mp3");
    WriteAll(bare, audio);
    ASSERT_TRUE(WriteID3V1(bare, r));
    EXPECT_EQ(ReadAll(bare).size(), audio.size() + 128);
    const auto empty = dir.file("empty.mp3");
    WriteAll(empty, "");
    std::string error;
    EXPECT_FALSE(WriteID3V1(empty, r, &error));
    EXPECT_NE(error.find("is not a valid MP3 file."), std::string::npos);
    EXPECT_EQ(ReadAll(empty).size(), 0u);
    EXPECT_FALSE(WriteID3V1(dir.file("missing.mp3"), r, &error));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.mp3")));
}

TEST(InfoRecord, ReadFailuresStayInside) {
    TempDir dir;
    const auto path = dir.file("r.mp3");
    WriteAll(path, Audio() + Id3v1("T", "A", 1, 2));
    Mp3InfoRecord r;
    r.bitrate = 7;
    bool ok = true;
    StreamInfo s;
    {
        testutil::FaultHookGuard hook(
            [](tags::fileops::Op op, const std::string &) { return op == tags::fileops::Op::Read ? tags::fileops::kErrIo : 0; });
        EXPECT_NO_THROW(ok = Mp3FileInfo(path, r));
        s = ReadStreamInfo(path);
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(r.bitrate, 0);
    EXPECT_EQ(r.seconds, 0);
    EXPECT_FALSE(s.readable);
    EXPECT_NE(s.error.find(tags::SystemErrorText(tags::fileops::kErrIo)), std::string::npos);
    EXPECT_TRUE(Mp3FileInfo(path, r)); // and all is well again
    EXPECT_EQ(r.bitrate, 128);
}
