#include "TestUtil.h"
#include "TextCodec.h"
#include "id3v1/Genres.h"
#include "id3v2/FrameBody.h"

#include <cstdlib>
#include <tuple>

using namespace tags;

TEST(Genres, EdgesOfTheTable) {
    const std::pair<int, const char *> rows[] = {{0, "Blues"}, {122, "Drum Solo"}, {123, ""}, {124, "Euro - House"},
                                                 {147, "Synth Pop"}, {148, ""}, {255, ""}};
    for (const auto &[genre, name] : rows) EXPECT_EQ(GenreTableName(static_cast<std::uint8_t>(genre)), name) << genre;
}

namespace {

// UTF-8 text and its UTF-16 form, little endian with BOM, as our writer makes it.
struct Utf16Row {
    const char *name;
    std::string utf8, utf16;
};

class Utf16 : public ::testing::TestWithParam<Utf16Row> {};

TEST_P(Utf16, BothWaysAndBothByteOrders) {
    const Utf16Row &r = GetParam();
    const std::string le = "\xFF\xFE" + r.utf16;
    EXPECT_EQ(codec::Utf8ToUtf16Bom(r.utf8), le);
    EXPECT_EQ(codec::Utf16ToUtf8(le, true), r.utf8); // the BOM decides
    std::string be;
    for (size_t i = 0; i + 1 < r.utf16.size(); i += 2) be += std::string{r.utf16[i + 1], r.utf16[i]};
    EXPECT_EQ(codec::Utf16ToUtf8("\xFE\xFF" + be, false), r.utf8);
    EXPECT_EQ(codec::Utf16ToUtf8(be, true), r.utf8);
}

INSTANTIATE_TEST_SUITE_P(Rows, Utf16, ::testing::Values(
    Utf16Row{"bmp", "Zoë 日", std::string("Z\0o\0\xEB\0 \0\xE5\x65", 10)},
    Utf16Row{"last_before_surrogates", "\xED\x9F\xBF" "a", std::string("\xFF\xD7" "a\0", 4)},
    Utf16Row{"first_after_surrogates", "\xEE\x80\x80", std::string("\0\xE0", 2)},
    Utf16Row{"last_of_the_bmp", "\xEF\xBF\xBF", "\xFF\xFF"},
    Utf16Row{"first_pair", "\xF0\x90\x80\x80", std::string("\0\xD8\0\xDC", 4)},
    Utf16Row{"pair_in_text", "a\xF0\x9F\x8E\xB5" "b", std::string("a\0\x3C\xD8\xB5\xDF" "b\0", 8)},
    Utf16Row{"last_pair", "\xF4\x8F\xBF\xBF", "\xFF\xDB\xFF\xDF"}), testutil::RowName);

// Bytes that are no valid text: each bad unit gives one U+FFFD, the rest is kept.
const std::string kBad = "\xEF\xBF\xBD";
struct BadRow {
    const char *name;
    std::string in, out;
    bool utf16; // else UTF-8 through SanitizeUtf8
};

class BadText : public ::testing::TestWithParam<BadRow> {};

TEST_P(BadText, Replaced) {
    const BadRow &r = GetParam();
    EXPECT_EQ(r.utf16 ? codec::Utf16ToUtf8(r.in, false) : codec::SanitizeUtf8(r.in), r.out);
}

INSTANTIATE_TEST_SUITE_P(Rows, BadText, ::testing::Values(
    BadRow{"high_surrogate_last", std::string("A\0\0\xD8", 4), "A" + kBad, true},
    BadRow{"high_surrogate_before_text", std::string("\xFF\xDB\0\xE0", 4), kBad + "\xEE\x80\x80", true},
    BadRow{"high_surrogate_then_odd_byte", std::string("\xFE\xFF\xD8\0\xDC", 5), kBad, true},
    BadRow{"high_surrogate_twice", std::string("\0\xD8\0\xD8\0\xDC", 6), kBad + "\xF0\x90\x80\x80", true},
    BadRow{"low_surrogate_alone", std::string("\xFF\xDF" "A\0", 4), kBad + "A", true},
    BadRow{"odd_last_byte", std::string("A\0B", 3), "A", true},
    BadRow{"cut_sequence", "a\xC3(b", "a" + kBad + "(b", false},
    BadRow{"overlong", "\xC0\x80", kBad + kBad, false},
    BadRow{"surrogate_in_utf8", "\xED\xA0\x80", kBad + kBad + kBad, false},
    BadRow{"past_unicode", "\xF4\x90\x80\x80", kBad + kBad + kBad + kBad, false}), testutil::RowName);

} // namespace

TEST(Cp1252, RoundTripAndFallback) {
    const std::string bytes("Gr\xFC\xDF" "e \x80 \x93x\x94", 11);
    EXPECT_EQ(codec::Cp1252ToUtf8(bytes), "Grüße € “x”");
    EXPECT_EQ(codec::Utf8ToCp1252("Grüße € “x”"), bytes);
    EXPECT_TRUE(codec::FitsCp1252("Mädchen – Ärger"));
    EXPECT_FALSE(codec::FitsCp1252("a\xC3"));
    EXPECT_EQ(codec::Utf8ToCp1252("\u0080\u0081"), "?\x81"); // 0x80 is the euro sign
    // Every byte survives a round trip, the five undefined ones included.
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(codec::Cp1252ToUtf8(all.substr(127, 32)), "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ");
    EXPECT_EQ(codec::Utf8ToCp1252(codec::Cp1252ToUtf8(all)), all);
}

// The 8-bit code page is the user's: SORTI_EXPECT_ACP names the one the run was started
// with (a Windows run under a Japanese locale: 932), 1252 where unset and on Linux.
// What it cannot hold is '?', a field's width never cuts a double-byte character, and
// single-byte ID3v2 text stays what every reader takes the same.
TEST(AnsiCodePage, FollowsTheUsersCodePage) {
    const unsigned cp = std::getenv("SORTI_EXPECT_ACP") ? static_cast<unsigned>(std::atoi(std::getenv("SORTI_EXPECT_ACP"))) : 1252;
    // code page, text, field width, its bytes, whether ID3v2 takes it as single-byte text
    const std::tuple<unsigned, const char *, size_t, std::string, bool> rows[] = {
        {1252, "Ärger", 30, "\xC4rger", true}, {1252, "東京", 30, "??", false}, {1252, "Ärger", 3, "\xC4rg", true},
        {932, "東京", 30, "\x93\x8C\x8B\x9E", false}, {932, "東京", 3, "\x93\x8C", false}, {932, "Ärger", 30, "?rger", false},
        {932, "abc", 30, "abc", true}};
    ASSERT_TRUE(cp == 1252 || cp == 932) << "no rows for code page " << cp;
    for (const auto &[page, utf8, width, bytes, singleByte] : rows) {
        if (page != cp) continue;
        EXPECT_EQ(codec::Utf8ToAnsi(utf8, width), bytes) << utf8;
        if (bytes.find('?') == std::string::npos) {
            EXPECT_EQ(codec::AnsiToUtf8(bytes), std::string(utf8).substr(0, codec::AnsiToUtf8(bytes).size()));
        }
        EXPECT_EQ(id3v2::RenderTagString("TIT2", utf8)[0] == '\0', singleByte) << utf8;
    }
}
