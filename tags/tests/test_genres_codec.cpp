#include "TextCodec.h"
#include "id3v1/Genres.h"
#include "id3v1/Mp3TagID3v1.h"

#include <gtest/gtest.h>

using namespace tags;

TEST(Genres, TableEdgesAndGaps) {
    EXPECT_EQ(GenreTableName(0), "Blues");
    EXPECT_EQ(GenreTableName(12), "Other");
    EXPECT_EQ(GenreTableName(17), "Rock");
    EXPECT_EQ(GenreTableName(78), "Rock 'n'Roll");
    EXPECT_EQ(GenreTableName(109), "Pr0n Groove");
    EXPECT_EQ(GenreTableName(122), "Drum Solo");
    EXPECT_EQ(GenreTableName(123), "");
    EXPECT_EQ(GenreTableName(124), "Euro - House");
    EXPECT_EQ(GenreTableName(128), "Club - House");
    EXPECT_EQ(GenreTableName(147), "Synth Pop");
    EXPECT_EQ(GenreTableName(148), "");
    EXPECT_EQ(GenreTableName(200), "");
    EXPECT_EQ(GenreTableName(255), "");
    int named = 0;
    for (int g = 0; g < 256; ++g) named += GenreTableName(static_cast<std::uint8_t>(g)).empty() ? 0 : 1;
    EXPECT_EQ(named, 147);
    EXPECT_EQ(Mp3TagID3v1().GenreName(53), "Pop / Folk");
}

TEST(Codec, Cp1252RoundTripAndFallback) {
    const std::string bytes("Gr\xFC\xDF" "e \x80 \x93x\x94", 11);
    const std::string utf8 = codec::Cp1252ToUtf8(bytes);
    EXPECT_EQ(utf8, "Grüße € “x”");
    EXPECT_EQ(codec::Utf8ToCp1252(utf8), bytes);
    EXPECT_TRUE(codec::FitsCp1252("Mädchen – Ärger"));
    EXPECT_FALSE(codec::FitsCp1252("日本"));
    EXPECT_FALSE(codec::FitsCp1252("Москва"));
    EXPECT_EQ(codec::Utf8ToCp1252("a日b"), "a?b");
    // Every byte survives a round trip, the five undefined ones included.
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(codec::Utf8ToCp1252(codec::Cp1252ToUtf8(all)), all);
}

TEST(Codec, Utf16BothOrdersAndSurrogates) {
    const std::string text = "Zoë 日本 \xF0\x9F\x8E\xB5"; // with a U+1F3B5 outside the BMP
    const std::string le = codec::Utf8ToUtf16Bom(text);
    ASSERT_EQ(le.substr(0, 2), std::string("\xFF\xFE", 2));
    EXPECT_EQ(codec::Utf16ToUtf8(le, false), text);
    // Same text big endian, with and without BOM.
    std::string be = "\xFE\xFF";
    for (size_t i = 2; i + 1 < le.size(); i += 2) { be += le[i + 1]; be += le[i]; }
    EXPECT_EQ(codec::Utf16ToUtf8(be, false), text);
    EXPECT_EQ(codec::Utf16ToUtf8(be.substr(2), true), text);
    // A lone surrogate and an odd trailing byte do not break decoding.
    EXPECT_EQ(codec::Utf16ToUtf8(std::string("\xFF\xFE\x00\xD8\x41\x00\x42", 7), false), "\xEF\xBF\xBD" "A");
    EXPECT_EQ(codec::SanitizeUtf8("a\xC3(b"), "a\xEF\xBF\xBD(b");
}
