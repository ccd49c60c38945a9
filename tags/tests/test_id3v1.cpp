#include "Id3Bytes.h"
#include "TagError.h"
#include "TestUtil.h"
#include "id3v1/Mp3TagID3v1.h"

#include <filesystem>
#include <functional>
#include <unistd.h>
#include <gtest/gtest.h>

using namespace tags;
using testutil::Filler;
using testutil::ReadAll;
using testutil::TempDir;
using testutil::WriteAll;

namespace {

std::string Record(const std::string &title, const std::string &artist, const std::string &album,
                   const std::string &year, const std::string &comment, char track, char genre,
                   const char *marker = "TAG") {
    auto pad = [](std::string s, size_t n) { s.resize(n, '\0'); return s; };
    std::string r = marker;
    r += pad(title, 30) + pad(artist, 30) + pad(album, 30) + pad(year, 4) + pad(comment, 28);
    r += '\0';
    r += track;
    r += genre;
    return r;
}

} // namespace

TEST(ID3v1Read, FieldsAreCleanedAndDecoded) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    WriteAll(path, Filler(1000) + Record(std::string("Ab\0cd", 5), "  Die Band  ", "M\xFC" "de", "1999",
                                         "inner  space", 7, 17));
    Mp3TagID3v1 t;
    t.MP3File(path);
    EXPECT_TRUE(t.HasID3v1Tag());
    EXPECT_EQ(t.MP3File(), path);
    EXPECT_EQ(t.Title(), "Abcd");
    EXPECT_EQ(t.Artist(), "Die Band");
    EXPECT_EQ(t.Album(), "Müde");
    EXPECT_EQ(t.Year(), "1999");
    EXPECT_EQ(t.Comment(), "inner  space");
    EXPECT_EQ(t.Track(), 7);
    EXPECT_EQ(t.Genre(), 17);

    // Version 1.0 (no zero before the track byte): a 30-byte comment and no track.
    std::string rec = Record("T", "", "", "", "", 0, 0);
    for (int i = 97; i < 127; ++i) rec[i] = 'c';
    WriteAll(path, Filler(500) + rec);
    t.MP3File(path);
    EXPECT_EQ(t.Comment(), std::string(30, 'c'));
    EXPECT_EQ(t.Track(), 0);
}

TEST(ID3v1Read, NoTagCases) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    Mp3TagID3v1 fresh;
    EXPECT_EQ(fresh.Genre(), 0);
    EXPECT_FALSE(fresh.HasID3v1Tag());

    // Exactly 128 bytes starting with TAG: no tag.
    WriteAll(path, Record("x", "", "", "", "", 1, 2));
    Mp3TagID3v1 t;
    t.Title("stale");
    t.MP3File(path);
    EXPECT_FALSE(t.HasID3v1Tag());
    EXPECT_EQ(t.Title(), "");
    EXPECT_EQ(t.Genre(), 255);
    EXPECT_EQ(t.Track(), 0);

    // Lower-case marker is not a tag.
    WriteAll(path, Filler(300) + Record("x", "", "", "", "", 1, 2, "tag"));
    t.MP3File(path);
    EXPECT_FALSE(t.HasID3v1Tag());

    for (size_t n : {0u, 3u}) {
        WriteAll(path, Filler(n));
        t.MP3File(path);
        EXPECT_FALSE(t.HasID3v1Tag());
    }
}

TEST(ID3v1Read, OpenFailureIsPassedThroughAndFieldsReset) {
    TempDir dir;
    Mp3TagID3v1 t;
    t.Title("old");
    t.Genre(3);
    try {
        t.MP3File(dir.file("missing.mp3"));
        FAIL() << "no error";
    } catch (const TagError &e) {
        EXPECT_EQ(e.number(), ENOENT);
        EXPECT_EQ(e.source(), ExecutableBaseName() + ".cMP3ID3v1");
        EXPECT_EQ(e.source(), "tags_tests.cMP3ID3v1");
        EXPECT_FALSE(e.description().empty());
    }
    EXPECT_EQ(t.Title(), "");
    EXPECT_EQ(t.Genre(), 255);
    EXPECT_FALSE(t.HasID3v1Tag());
}

TEST(ID3v1Write, AppendThenRewriteInPlace) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    const std::string audio = Filler(777);
    WriteAll(path, audio);
    Mp3TagID3v1 t;
    t.MP3File(path);
    t.Title(std::string(35, 'x'));
    t.Artist("Björk");
    t.Year("19999");
    t.Track(5);
    t.Update();
    std::string bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), audio.size() + 128);
    EXPECT_EQ(bytes.substr(0, audio.size()), audio);
    const std::string rec = bytes.substr(audio.size());
    EXPECT_EQ(rec.substr(0, 3), "TAG");
    EXPECT_EQ(rec.substr(3, 30), std::string(30, 'x'));
    EXPECT_EQ(rec.substr(33, 30), "Bj\xF6rk" + std::string(25, ' '));
    EXPECT_EQ(rec.substr(63, 30), std::string(30, ' '));
    EXPECT_EQ(rec.substr(93, 4), "1999");
    EXPECT_EQ(rec.substr(97, 28), std::string(28, ' '));
    EXPECT_EQ(rec[125], '\0');
    EXPECT_EQ(rec[126], 5);
    EXPECT_EQ(static_cast<unsigned char>(rec[127]), 255); // never assigned: the read's 255

    // Second update overwrites in place, length unchanged.
    t.MP3File(path);
    EXPECT_EQ(t.Artist(), "Björk");
    t.Comment("neu");
    t.Genre(13);
    t.Update();
    bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), audio.size() + 128);
    EXPECT_EQ(bytes.substr(0, audio.size()), audio);
    t.MP3File(path);
    EXPECT_EQ(t.Comment(), "neu");
    EXPECT_EQ(t.Artist(), "Björk");
    EXPECT_EQ(t.Genre(), 13);
    EXPECT_EQ(t.GenreName(t.Genre()), "Pop");

    // A lower-case "tag" record is not touched: a second record follows it.
    WriteAll(path, audio + Record("x", "", "", "", "", 1, 2, "tag"));
    t.MP3File(path);
    t.Update();
    EXPECT_EQ(ReadAll(path).size(), audio.size() + 256);
}

TEST(ID3v1Write, EmptyAndShortFiles) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    WriteAll(path, "");
    Mp3TagID3v1 t;
    t.MP3File(path);
    t.Title("x");
    try {
        t.Update();
        FAIL() << "no error";
    } catch (const TagError &e) {
        EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x80041001u));
        EXPECT_EQ(e.number(), -2147217407);
        EXPECT_EQ(e.description(), path + " is not a valid MP3 file.");
        EXPECT_EQ(e.source(), "tags_tests.cMP3ID3v1");
    }
    EXPECT_EQ(ReadAll(path), "");

    const std::string shortFile = "TAG" + Filler(125);
    WriteAll(path, shortFile);
    t.MP3File(path);
    t.Title("x");
    EXPECT_NO_THROW(t.Update());
    EXPECT_EQ(ReadAll(path), shortFile);
}

TEST(ID3v1Write, ReadOnlyFileIsUntouched) {
    TempDir dir;
    const auto path = dir.file("ro.mp3");
    const std::string content = Filler(400);
    WriteAll(path, content);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    // Root ignores permission bits: the write runs as an ordinary user then.
    const int err = testutil::AsOrdinaryUser([&] {
        Mp3TagID3v1 t;
        t.MP3File(path);
        t.Title("x");
        try {
            t.Update();
        } catch (const TagError &e) {
            return e.number() == EACCES && e.source() == "tags_tests.cMP3ID3v1" ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(err, 0);
    EXPECT_EQ(ReadAll(path), content);
}

TEST(ID3v1Read, RecordsWrittenInUtf8AreReadAsUtf8) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    // Some encoders write UTF-8 into the record; a character cut by the field end goes.
    const std::string cut = std::string(28, 'x') + "\xC3\xA4\xC3"; // 31 bytes, cut to 30
    WriteAll(path, Filler(500) + Record("T\xC3\xAFtle \xE2\x9C\x93", "\xC3\x84rtist", cut.substr(0, 30),
                                        "", "M\xFC" "de", 0, 0));
    Mp3TagID3v1 t;
    t.MP3File(path);
    EXPECT_EQ(t.Title(), "Tïtle ✓");
    EXPECT_EQ(t.Artist(), "Ärtist");
    EXPECT_EQ(t.Album(), std::string(28, 'x') + "ä");
    EXPECT_EQ(t.Comment(), "Müde"); // a lone 0xFC is Windows-1252
}

TEST(ID3v1Write, CharactersOutsideCp1252BecomeQuestionMarks) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    WriteAll(path, Filler(300));
    Mp3TagID3v1 t;
    t.MP3File(path);
    t.Title("日本 Ärger");
    t.Update();
    t.MP3File(path);
    EXPECT_EQ(t.Title(), "?? Ärger");
}

// A rewrite changes only the fields the caller set: the others keep their bytes, and a
// 1.0 record stays 1.0 while its comment and track are left alone.
namespace {

struct KeepRow {
    const char *name;
    std::string record;
    std::function<void(Mp3TagID3v1 &)> change;
    std::string expected;
};

std::ostream &operator<<(std::ostream &os, const KeepRow &r) { return os << r.name; }

// A 1.0 record: the comment fills bytes 97 to 126.
std::string V10(const std::string &title, const std::string &comment30) {
    std::string r = id3bytes::V1(title, "Band", "", "1999", "", 0, 17);
    return r.replace(97, 30, comment30);
}

const std::string kLong = "Dreissig Zeichen Kommentar 30!"; // 30 characters
const std::string kUtf8 = "Ti\xC3\xADtulo \xE2\x9C\x93";    // UTF-8 as some encoders write it
auto Spaces = [](std::string s, size_t n) { return s.resize(n, ' '), s; };

class ID3v1Keep : public ::testing::TestWithParam<KeepRow> {};

TEST_P(ID3v1Keep, UntouchedFieldsKeepTheirBytes) {
    const KeepRow &r = GetParam();
    TempDir dir;
    const auto path = dir.file("a.mp3");
    const std::string audio = Filler(700);
    WriteAll(path, audio + r.record);
    Mp3TagID3v1 t;
    t.MP3File(path);
    r.change(t);
    t.Update();
    const std::string out = ReadAll(path);
    ASSERT_EQ(out.size(), audio.size() + 128);
    EXPECT_EQ(out.substr(audio.size()), r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ID3v1Keep,
    ::testing::Values(
        KeepRow{"utf8_title_kept", id3bytes::V1(kUtf8, "M\xFC" "de", "", "", "", 4, 1),
                [](Mp3TagID3v1 &t) { t.Album("Neu"); },
                id3bytes::V1(kUtf8, "M\xFC" "de", "").replace(63, 30, Spaces("Neu", 30)).replace(126, 2, "\x04\x01")},
        KeepRow{"v10_stays_when_title_changes", V10("alt", kLong), [](Mp3TagID3v1 &t) { t.Title("neu"); },
                V10("", kLong).replace(3, 30, Spaces("neu", 30))},
        KeepRow{"v10_new_comment_gets_30_bytes", V10("alt", kLong),
                [](Mp3TagID3v1 &t) { t.Comment(std::string(32, 'k')); }, V10("alt", std::string(30, 'k'))},
        KeepRow{"v10_with_track_becomes_v11", V10("alt", kLong), [](Mp3TagID3v1 &t) { t.Track(9); },
                V10("alt", kLong).replace(125, 2, std::string("\0\x09", 2))},
        KeepRow{"zero_padding_kept", id3bytes::V1("alt", "Band", "Album", "2001", "c", 2, 3),
                [](Mp3TagID3v1 &t) { t.Year("2002"); },
                id3bytes::V1("alt", "Band", "Album", "2002", "c", 2, 3)}),
    [](const ::testing::TestParamInfo<KeepRow> &i) { return std::string(i.param.name); });

} // namespace
