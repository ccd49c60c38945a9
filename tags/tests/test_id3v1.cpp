// ID3v1 records as other programs write them, and the bytes our writes leave.
#include "TestUtil.h"

using namespace tags;
using id3bytes::V1;
using namespace testutil;

namespace {

struct ReadRow {
    const char *name;
    std::string bytes;
    testutil::Want want;
};

class ID3v1Read : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ID3v1Read, Fields) {
    TempDir dir;
    WriteAll(dir.file("a.mp3"), GetParam().bytes);
    Mp3TagID3v1 t;
    t.Title("stale"), t.Genre(3), t.Track(4); // a read forgets what was set before
    t.MP3File(dir.file("a.mp3"));
    testutil::ExpectFields(testutil::Fields(t), GetParam().want);
}

const testutil::Want kNoTag = {{"Has", "0"}, {"Title", ""}, {"Genre", "255"}, {"Track", "0"}};
const std::string kLowerCase = "tag" + V1("x", "", "", "", "", 1, 2).substr(3);

INSTANTIATE_TEST_SUITE_P(Rows, ID3v1Read, ::testing::Values(
    ReadRow{"v11_cleaned", Filler(1000) + V1(std::string("Ab\0cd", 5), "  Die Band  ", "M\xFC" "de", "1999", "inner  space", 7, 17),
            {{"Has", "1"}, {"Title", "Abcd"}, {"Artist", "Die Band"}, {"Album", "Müde"}, {"Year", "1999"},
             {"Comment", "inner  space"}, {"Track", "7"}, {"Genre", "17"}}},
    // A comment of 30 bytes: the 1.1 layout all the same (mutagen takes the track alike,
    // and the comment up to byte 125).
    ReadRow{"v10_fields_of_30", Filler(500) + V1("T", std::string(30, 'a'), "", "", std::string(30, 'c'), -1, 0),
            {{"Artist", std::string(30, 'a')}, {"Comment", std::string(28, 'c')}, {"Track", "99"}, {"Genre", "0"}}},
    ReadRow{"utf8_as_some_encoders_write_it",
            Filler(500) + V1("T\xC3\xAFtle \xE2\x9C\x93", "\xC3\x84rtist", "\xC3\xA4" + std::string(27, 'x') + "\xC3\xA4", "", "M\xFC" "de"),
            {{"Title", "Tïtle ✓"}, {"Artist", "Ärtist"}, {"Album", "ä" + std::string(27, 'x')}, {"Comment", "Müde"}}},
    ReadRow{"utf8_cut_in_three_and_four_byte_characters", Filler(500) + V1([] {
                std::string t = "a";
                for (int i = 0; i < 10; ++i) t += "\xE3\x82\xA2"; // 31 bytes: the field keeps 2 of the last
                return t;
            }(), "a\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5" "bc\xF0\x9F\x8E\xB5"),
            {{"Title", "a\u30A2\u30A2\u30A2\u30A2\u30A2\u30A2\u30A2\u30A2\u30A2"}, {"Artist", "a🎵🎵🎵🎵🎵🎵bc"}}},
    ReadRow{"record_after_one_byte", Filler(1) + V1("x"), {{"Has", "1"}, {"Title", "x"}}},
    ReadRow{"record_alone", V1("x", "", "", "", "", 1, 2), kNoTag},
    ReadRow{"lower_case_marker", Filler(300) + kLowerCase, kNoTag}), testutil::RowName);

// A write changes only the fields the caller set: the others keep their bytes. A 1.0
// record becomes 1.1: byte 125 is zero, byte 126 the track as read.
struct WriteRow {
    const char *name;
    std::string before;
    std::function<void(Mp3TagID3v1 &)> change;
    std::string after;
};

class ID3v1Write : public ::testing::TestWithParam<WriteRow> {};

TEST_P(ID3v1Write, FileAfterUpdate) {
    const WriteRow &r = GetParam();
    TempDir dir;
    const auto path = dir.file("a.mp3");
    WriteAll(path, r.before);
    Mp3TagID3v1 t;
    t.MP3File(path);
    r.change(t);
    t.Update();
    EXPECT_TRUE(testutil::SameBytes(ReadAll(path), r.after));
}

std::string Spaces(std::string s, size_t n) { return s.resize(n, ' '), s; }
// A record as our writer makes it: Windows-1252, padded with spaces.
std::string Written(const std::string &title, const std::string &year = "", int track = 0, int genre = 255) {
    return "TAG" + Spaces(title, 30) + std::string(60, ' ') + Spaces(year, 4) + std::string(28, ' ') + '\0' +
           static_cast<char>(track) + static_cast<char>(genre);
}
// A 1.0 record: the comment fills bytes 97 to 126.
std::string V10(const std::string &title, const std::string &comment30) {
    return V1(title, "Band", "", "1999", "", 0, 17).replace(97, 30, comment30);
}

const std::string kAudio = Filler(777);
const std::string kLong = "Dreissig Zeichen Kommentar 30!"; // 30 characters
const std::string kUtf8 = "Ti\xC3\xADtulo \xE2\x9C\x93";
const auto kNothing = [](Mp3TagID3v1 &) {};

INSTANTIATE_TEST_SUITE_P(Rows, ID3v1Write, ::testing::Values(
    WriteRow{"appended", kAudio,
             [](Mp3TagID3v1 &t) { t.Title(std::string(35, 'x')), t.Artist("Björk"), t.Year("19999"), t.Track(5), t.Genre(13); },
             kAudio + Written(std::string(30, 'x'), "1999", 5, 13).replace(33, 30, Spaces("Bj\xF6rk", 30))},
    WriteRow{"outside_windows_1252", kAudio, [](Mp3TagID3v1 &t) { t.Title("日本 Ärger"); }, kAudio + Written("?? \xC4rger")},
    WriteRow{"lower_case_marker_is_no_record", kAudio + kLowerCase, kNothing, kAudio + kLowerCase + Written("")},
    WriteRow{"too_short_for_a_record", "TAG" + Filler(125), [](Mp3TagID3v1 &t) { t.Title("x"); }, "TAG" + Filler(125)},
    WriteRow{"utf8_title_kept", kAudio + V1(kUtf8, "M\xFC" "de", "", "", "", 4, 1), [](Mp3TagID3v1 &t) { t.Album("Neu"); },
             kAudio + V1(kUtf8, "M\xFC" "de", "", "", "", 4, 1).replace(63, 30, Spaces("Neu", 30))},
    WriteRow{"genre_and_comment", kAudio + V1("alt", "Band", "Album", "2001", "c", 2, 3),
             [](Mp3TagID3v1 &t) { t.Comment("neu"), t.Genre(13); },
             kAudio + V1("alt", "Band", "Album", "2001", "", 2, 13).replace(97, 28, Spaces("neu", 28))},
    WriteRow{"v10_title_change_keeps_28_and_the_track", kAudio + V10("alt", kLong), [](Mp3TagID3v1 &t) { t.Title("neu"); },
             kAudio + V10("", kLong).replace(3, 30, Spaces("neu", 30)).replace(125, 1, std::string(1, '\0'))},
    WriteRow{"v10_new_comment_gets_28_bytes", kAudio + V10("alt", kLong), [](Mp3TagID3v1 &t) { t.Comment(std::string(32, 'k')); },
             kAudio + V10("alt", std::string(28, 'k') + '\0' + kLong[29])},
    WriteRow{"v10_with_track_becomes_v11", kAudio + V10("alt", kLong), [](Mp3TagID3v1 &t) { t.Track(9); },
             kAudio + V10("alt", kLong).replace(125, 2, std::string("\0\x09", 2))}), testutil::RowName);

} // namespace
