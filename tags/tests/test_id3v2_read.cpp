// What the ID3v2 reader makes of tags as other programs write them, from literal bytes.
#include "TestUtil.h"

using namespace tags;
using namespace id3bytes;
using streambytes::Mpeg;
using namespace testutil;

namespace {

struct ReadRow {
    const char *name;
    std::string bytes;
    Want want;
};

// Read first, so that every row also shows that nothing of an earlier read stays.
const std::string kEarlier =
    Tag(3, Frame("USLT", Text(std::string("eng\0la", 6))) + Frame("TCON", Text("(17)")) + Frame("TIT2", Text("alt")));

class ID3v2Read : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ID3v2Read, FieldsAndFrames) {
    testutil::TempDir dir;
    const std::string path = dir.file("t.mp3");
    Mp3TagID3v2 t;
    testutil::WriteAll(path, kEarlier);
    t.MP3File(path);
    testutil::WriteAll(path, GetParam().bytes);
    t.MP3File(path);
    testutil::ExpectFields(testutil::Fields(t), GetParam().want);
}

std::string Tcon(const std::string &text) { return Tag(3, Frame("TCON", Text(text))); }
const std::string kTitleX = Tag(3, Frame("TIT2", Text("x")));
const std::string kOk = Frame("TIT2", Text("ok"));
const std::string kBom = "\xFF\xFE";

INSTANTIATE_TEST_SUITE_P(Text, ID3v2Read, ::testing::Values(
    ReadRow{"v23_named_fields",
            Tag(3, Frame("TIT2", Text("Ab")) + Frame("TPE1", Text("Die \xC4rzte")) + Frame("TALB", Text("Alb")) +
                       Frame("TYER", Text("1999")) + Frame("TRCK", Text("3/12")) + Frame("TENC", Text("lame")) +
                       Frame("TOPE", Text("Orig")) + Frame("TCOM", Text("Comp")) + Frame("TCOP", Text("(c)")) +
                       Frame("WOAF", "http://a") + Frame("WOAR", "http://r") + Frame("WCOM", "http://b") +
                       Frame("PCNT", std::string("\0\0\1\2", 4)) + Frame("TXXX", Text(std::string("k\0v", 3))), 100) +
                Filler(3000),
            {{"TagVersion", "3"}, {"TagStart", "4"}, {"Title", "Ab"}, {"Artist", "Die Ärzte"}, {"Album", "Alb"},
             {"Year", "1999"}, {"Track", "3/12"}, {"EncodedBy", "lame"}, {"OriginalArtist", "Orig"},
             {"Composer", "Comp"}, {"Copyright", "(c)"}, {"AudioURL", "http://a"}, {"ArtistURL", "http://r"},
             {"BuyURL", "http://b"}, {"PlayCounter", "258"}, {"Genre", "255"}, {"Lyrics", ""},
             {"Ids", "TIT2:1,TPE1:1,TALB:1,TYER:1,TRCK:1,TENC:1,TOPE:1,TCOM:1,TCOP:1,WOAF:1,WOAR:1,WCOM:1,PCNT:1,TXXX:1"}}},
    ReadRow{"encodings",
            Tag(3, Frame("TIT2", "\1" + kBom + std::string("\x1F\x04\x40\x04\0\0", 6)) +
                       Frame("TPE1", std::string("\x02\x04\x1F\x04\x40", 5)) + Frame("TALB", Utf8Text("\xE6\x97\xA5")) +
                       Frame("COMM", Text(std::string("deudesc\0text", 12))) +
                       Frame("USLT", std::string("\1eng", 4) + kBom + std::string("d\0\0\0", 4) + kBom + std::string("L\0a\0", 4)) +
                       Frame("WXXX", Text(std::string("site\0http://x", 13))) +
                       Frame("TCOM", Text("\xC3\x84rger")) + // UTF-8 under encoding 0, as some taggers write it
                       Frame("TOPE", Text("M\xC3\xBC" "de \x80"))), // not UTF-8: 0x80 starts no character
            {{"Title", "Пр"}, {"Artist", "Пр"}, {"Album", "日"}, {"Comment", "text"}, {"Lyrics", "La"},
             {"LinkTo", "http://x"}, {"Composer", "Ärger"}, {"OriginalArtist", "MÃ¼de €"}}},
    ReadRow{"comments_join",
            Tag(3, Frame("COMM", Text(std::string("eng\0a", 5))) + Frame("COMM", Text(std::string("eng\0b", 5)))),
            {{"Comment", std::string("a\0\r\nb", 5)}, {"Ids", "COMM:2"}}},
    ReadRow{"v23_compressed_is_no_text",
            Tag(3, Frame("TCOM", Text("packed"), 0x0080) + kOk), {{"Composer", ""}, {"Title", "ok"}}}), testutil::RowName);

INSTANTIATE_TEST_SUITE_P(Genre, ID3v2Read, ::testing::Values(
    ReadRow{"number_and_name", Tcon("(17)Hard Beat"), {{"Genre", "17"}, {"OtherGenreName", "Hard Beat"}}},
    ReadRow{"one_character_after", Tcon("(17)x"), {{"Genre", "17"}, {"OtherGenreName", "Rock"}}},
    ReadRow{"spaces_inside", Tcon("( 9 )"), {{"Genre", "9"}, {"OtherGenreName", "Metal"}}},
    ReadRow{"largest", Tcon("(255)"), {{"Genre", "255"}, {"OtherGenreName", ""}}},
    ReadRow{"too_large", Tcon("(256)"), {{"Genre", "255"}, {"OtherGenreName", "(256)"}}},
    ReadRow{"no_number", Tcon("(abc)"), {{"Genre", "255"}, {"OtherGenreName", "(abc)"}}},
    ReadRow{"name_only", Tcon("Gothic"), {{"Genre", "255"}, {"OtherGenreName", "Gothic"}}},
    ReadRow{"two_numbers", Tcon("(12)(13)"), {{"Genre", "12"}, {"OtherGenreName", "(13)"}}}), testutil::RowName);

// Where the scan finds a tag: "ID3" before the first audio frame, anywhere.
const std::string kAudio = streambytes::Stream({}, 3);
INSTANTIATE_TEST_SUITE_P(Scan, ID3v2Read, ::testing::Values(
    ReadRow{"after_junk", Filler(500) + kTitleX + Filler(100), {{"TagStart", "504"}, {"Title", "x"}}},
    ReadRow{"across_two_windows", Filler(4094) + kTitleX + Filler(100), {{"TagStart", "4098"}, {"Title", "x"}}},
    // Audio whose only provable frame has its header in a window's last four bytes, or
    // across two windows (the second frame is followed by the tag).
    ReadRow{"audio_at_a_window_end", Filler(4092) + streambytes::Stream({}, 2) + kTitleX, {{"TagStart", "0"}}},
    ReadRow{"audio_across_two_windows", Filler(4093) + streambytes::Stream({}, 2) + kTitleX, {{"TagStart", "0"}}},
    ReadRow{"after_audio", Filler(100) + kAudio + kTitleX + Filler(100), {{"TagStart", "0"}, {"Title", ""}}},
    ReadRow{"after_layer1_audio", Filler(100) + streambytes::Stream({1, 1, 448, 48000}, 3) + kTitleX,
            {{"TagStart", "0"}}},
    ReadRow{"lone_sync_is_no_audio", Filler(50) + "\xFF\xFB\x90\x64" + Filler(50) + kTitleX + Filler(100),
            {{"TagStart", "108"}}},
    ReadRow{"sync_of_another_stream", Filler(50) + streambytes::Frame({}) + streambytes::Frame({2, 3, 64, 22050}) + kTitleX,
            {{"TagStart", std::to_string(50 + 417 + 208 + 4)}}},
    // The file's last byte is never examined.
    ReadRow{"id3_then_one_byte", Filler(10) + "ID3x", {{"TagStart", "14"}}},
    ReadRow{"id3_at_the_end", Filler(10) + "ID3", {{"TagStart", "0"}}}), testutil::RowName);

INSTANTIATE_TEST_SUITE_P(Versions, ID3v2Read, ::testing::Values(
    ReadRow{"version_5", std::string(kTitleX).replace(3, 1, "\5") + Filler(10),
            {{"TagStart", "4"}, {"TagVersion", "5"}, {"Ids", ""}, {"Title", ""}}},
    ReadRow{"v22_converted",
            Tag(2, Frame22("TT2", Text("x")) + Frame22("TP1", Text("y")) +
                       Frame22("PIC", std::string("\0PNG\3cover\0\x89PNG", 15)) + Frame22("CRM", "secret") + Frame22("PIC", std::string("\0JPG", 4)) +
                       Frame22("TXX", Text(std::string("k\0v", 3))) + Frame22("ZZZ", "?") +
                       Frame22("COM", Text(std::string("eng\0c", 5))) + Frame22("TCO", Text("(1)")), 20) +
                Filler(100),
            {{"TagVersion", "2"}, {"Title", "x"}, {"Artist", "y"}, {"Comment", "c"}, {"Genre", "1"},
             {"Ids", "TIT2:1,TPE1:1,APIC:1,PRIV:2,TXXX:1,COMM:1,TCON:1"}}},
    ReadRow{"v22_compression_flag", Tag(2, Frame22("TT2", Text("x")), 0, 0x40), {{"Ids", ""}}},
    // Joined values, a compressed frame, UTF-8 text; renaming and dates: test_id3v2_store.cpp.
    ReadRow{"v24_converted",
            Tag(4, Frame24("TPE1", Text(std::string("A\0B", 3))) + Frame24("TALB", Synchsafe(7) + Deflate(Text("zipped")), 0x0009) +
                       Frame24("COMM", Utf8Text(std::string("deu\0\xC3\xBC", 6)))) + Filler(50),
            {{"TagVersion", "4"}, {"Artist", "A/B"}, {"Album", "zipped"}, {"Comment", "ü"}}},
    ReadRow{"v24_tyer_wins_over_tdrc", Tag(4, Frame24("TDRC", Text("2010")) + Frame24("TYER", Text("1999"))),
            {{"Year", "1999"}, {"Ids", "TYER:1"}}},
    // 2.3 tags that carry the 2.4 date frame: TYER wins, wherever it stands.
    ReadRow{"v23_year_from_tdrc", Tag(3, Frame("TDRC", Text("2004-05-06"))), {{"Year", "2004"}}},
    ReadRow{"v23_year_from_utf16_tdrc", Tag(3, Frame("TDRC", std::string("\x01\xFF\xFE" "2\0" "0\0" "1\0" "1\0", 11))), {{"Year", "2011"}}},
    ReadRow{"v23_tyer_then_tdrc", Tag(3, Frame("TYER", Text("1999")) + Frame("TDRC", Text("2004"))), {{"Year", "1999"}}},
    // Some writers put plain sizes into 2.4 frames: 200 = 00 00 00 C8, 256 = 00 00 01 00.
    ReadRow{"v24_plain_size", Tag(4, Frame("TENC", Text(std::string(199, 'p'))) + Frame24("TIT2", Text("after"))),
            {{"EncodedBy", std::string(199, 'p')}, {"Title", "after"}}},
    ReadRow{"v24_plain_size_not_synchsafe", Tag(4, Frame("TENC", Text(std::string(255, 'q'))) + Frame24("TIT2", Text("x"))),
            {{"EncodedBy", std::string(255, 'q')}, {"Title", "x"}}},
    // Plain sizes throughout, where a synchsafe reading still finds a frame or zero bytes.
    ReadRow{"v24_plain_sizes_throughout",
            Tag(4, Frame("PRIV", "owner" + std::string(295, '\0')) + Frame("TIT2", Text("t")) +
                       Frame("COMM", Text("eng" + std::string(1, '\0') + " 0000A2B1 000009F3 TALB")) + Frame("TPE1", Text(std::string(130, 'a')))),
            {{"Title", "t"}, {"Artist", std::string(130, 'a')}, {"Ids", "PRIV:1,TIT2:1,COMM:1,TPE1:1"}}},
    ReadRow{"v24_values", Tag(4, Frame24("TPE1", Text(std::string("piman\0jzig", 10))) +
                                     Frame24("TALB", "\1" + kBom + std::string("a\0\0\0", 4) + kBom + std::string("b\0", 2))),
            {{"Artist", "piman/jzig"}, {"Album", "a/b"}}},
    ReadRow{"v23_values", Tag(3, Frame("TPE1", Text(std::string("piman\0jzig\0", 11)))), {{"Artist", "piman/jzig"}}},
    // Text and link frames without a 2.3 name become user-defined ones named by their identifier.
    ReadRow{"v22_sort_and_odd_ids", Tag(2, Frame22("TST", Text("a")) + Frame22("TSA", Text("b")) + Frame22("TSP", Text("c")) +
                                               Frame22("TKW", Text("k")) + Frame22("WZZ", "http://z")),
            {{"Ids", "TSOT:1,TSOA:1,TSOP:1,TXXX:1,WXXX:1"}, {"LinkTo", "http://z"}}},
    ReadRow{"v24_date_with_time", Tag(4, Frame24("TDRC", Text("2001-05-06T07:08"))), {{"Year", "2001"}, {"Ids", "TDRC:1"}}},
    // 2.3 unsynchronises the whole tag, the frame size counting the stored bytes.
    ReadRow{"v23_unsynchronised",
            Tag(3, Frame("TIT2", Text(std::string("a\xFF\0b", 4))).replace(4, 4, BE32(4)), 0, 0x80) + Filler(20),
            {{"Title", "a\xC3\xBF" "b"}}},
    ReadRow{"v24_frame_unsynchronised",
            Tag(4, Frame24("TIT2", Synchsafe(4) + Text(std::string("c\xFF\0d", 4)), 0x0003) + Frame24("TPE1", Synchsafe(0), 1)) + Filler(20),
            {{"Title", "c\xC3\xBF" "d"}, {"Ids", "TIT2:1"}}}, // a length and no data: an empty frame
    ReadRow{"v23_extended_header", Tag(3, ExtendedHeader(3) + Frame("TIT2", Text("e")), 0, 0x40), {{"Title", "e"}}},
    // 2.3's 0x0040 is encryption: the frame is kept, not read as text.
    ReadRow{"v23_encrypted_frame", Tag(3, Frame("TIT2", "\x80" + Text("geheim"), 0x0040) + Frame("TPE1", Text("a"))),
            {{"Title", ""}, {"Artist", "a"}, {"Ids", "TIT2:1,TPE1:1"}}},
    ReadRow{"v24_extended_header", Tag(4, ExtendedHeader(4) + Frame24("TIT2", Text("f")), 0, 0x40), {{"Title", "f"}}},
    // An extended header shorter than its own fields: where the frames start is unknown.
    ReadRow{"v23_extended_header_too_short", Tag(3, BE32(0) + Frame("TIT2", Text("g")), 0, 0x40), {{"Title", ""}}},
    // The flag without an extended header: a frame follows the header directly.
    ReadRow{"v24_extended_flag_without_header", Tag(4, Frame("TIT2", Text("h")) + Frame("PRIV", std::string(200, 'p')), 0, 0x40),
            {{"Title", "h"}, {"Ids", "TIT2:1,PRIV:1"}}}),
    testutil::RowName);

// Damaged tags end the read quietly with what is whole.
std::string Sized(std::string tag, std::uint32_t size) { return tag.replace(6, 4, Synchsafe(size)); }
INSTANTIATE_TEST_SUITE_P(Corrupt, ID3v2Read, ::testing::Values(
    ReadRow{"empty_file", "", {{"TagStart", "0"}, {"TagVersion", "0"}, {"Ids", ""}}},
    ReadRow{"header_cut_short", "ID3\3", {{"TagStart", "4"}, {"TagVersion", "3"}, {"Ids", ""}}},
    ReadRow{"size_past_the_end", Sized(Tag(3, kOk + Frame("TPE1", Text("cut"))), 100000).substr(0, 34),
            {{"Title", "ok"}, {"Artist", ""}, {"Ids", "TIT2:1"}}},
    ReadRow{"frame_past_the_tag", Sized(Tag(3, kOk + Frame("TPE1", Text("long"))), 24) + Filler(100), {{"Ids", "TIT2:1"}}},
    ReadRow{"size_bit_7", std::string(Tag(3, kOk)).replace(8, 1, "\x80"), {{"TagStart", "4"}, {"Ids", ""}}},
    ReadRow{"huge_frame_size", Tag(3, kOk + std::string("TPE1\xFF\xFF\xFF\xFF\0\0xyz", 13)), {{"Ids", "TIT2:1"}}},
    ReadRow{"truncated_bodies",
            Tag(3, Frame("COMM", "\1e") + Frame("WXXX", "\1") + Frame("PCNT", "") + Frame("TIT2", "\1\xFF")),
            {{"Comment", ""}, {"Ids", "COMM:1,WXXX:1,TIT2:1"}}}), testutil::RowName);

} // namespace
