// The frames a tag object renders after setters and store operations, as bytes.
#include "TestUtil.h"

using namespace tags;
using namespace id3bytes;
using namespace testutil;

namespace {

struct RenderRow {
    const char *name;
    std::string before; // the tag in the file, or nothing
    std::function<void(Mp3TagID3v2 &)> change;
    std::string frames; // what RenderTag gives after the header, less the closing zeros
};

class ID3v2Render : public ::testing::TestWithParam<RenderRow> {};

TEST_P(ID3v2Render, Frames) {
    const RenderRow &r = GetParam();
    TempDir dir;
    WriteAll(dir.file("a.mp3"), r.before + Filler(100));
    Mp3TagID3v2 t;
    t.MP3File(dir.file("a.mp3"));
    r.change(t);
    EXPECT_EQ(t.RenderTag(0).substr(10), r.frames + std::string(4, '\0'));
}

const std::string kBom = "\xFF\xFE";
const std::string kTAL = Tag(3, Frame("TIT2", Text("T")) + Frame("TPE1", Text("A")) + Frame("TALB", Text("L")));

INSTANTIATE_TEST_SUITE_P(Setters, ID3v2Render, ::testing::Values(
    RenderRow{"setter_replaces_every_tag_and_moves_to_the_end", kTAL,
              [](Mp3TagID3v2 &t) { t.AddTag("TPE1", "second"), t.Artist("New"), t.Title(""); },
              Frame("TALB", Text("L")) + Frame("TPE1", Text("New")) + Frame("TIT2", std::string(1, '\0'))},
    RenderRow{"utf16_beyond_windows_1252", "",
              [](Mp3TagID3v2 &t) {
                  t.Title("日本"), t.Artist("Ärzte €"), t.Comment("Ж"), t.LinkTo("http://ж");
                  t.AddTag("TXXX", std::string("к\0v", 4)), t.AddTag("TPE2", std::string("日\0本", 7));
                  t.AddTag("USLT", std::string("deud\0Ж", 7)); // language, description, text
              },
              Frame("TIT2", "\1" + kBom + "\xE5\x65\x2C\x67") + Frame("TPE1", Text("\xC4rzte \x80")) +
                  Frame("COMM", std::string("\1\0nt", 4) + kBom + std::string(2, '\0') + kBom + "\x16\x04") +
                  Frame("WXXX", "\1" + kBom + std::string(2, '\0') + "http://?") +
                  Frame("TXXX", "\1" + kBom + "\x3A\x04" + std::string(2, '\0') + kBom + std::string("v\0", 2)) +
                  Frame("TPE2", "\1" + kBom + "\xE5\x65" + std::string(2, '\0') + kBom + "\x2C\x67") +
                  Frame("USLT", "\1deu" + kBom + std::string("d\0\0\0", 4) + kBom + "\x16\x04")},
    RenderRow{"genre_keeps_the_name_read", Tag(3, Frame("TCON", Text("(17)"))), [](Mp3TagID3v2 &t) { t.Genre(5); },
              Frame("TCON", Text("(5)Rock"))},
    RenderRow{"genre_alone", "", [](Mp3TagID3v2 &t) { t.Genre(17); }, Frame("TCON", Text("(17)"))},
    RenderRow{"other_genre_name_alone", "", [](Mp3TagID3v2 &t) { t.OtherGenreName("Pop"); }, Frame("TCON", Text("(255)Pop"))}), testutil::RowName);

INSTANTIATE_TEST_SUITE_P(Store, ID3v2Render, ::testing::Values(
    // Tags of one frame stay together; identifiers are cut to four upper-case letters,
    // and none holding "ID3" is written.
    RenderRow{"frames_grouped_and_named", "",
              [](Mp3TagID3v2 &t) {
                  t.AddTag("COMM", std::string("\0nt\0a", 5)), t.AddTag("TPE1", "p"), t.AddTag("comm", std::string("\0nt\0b", 5));
                  t.AddTag("TALBUM", "long id"), t.AddTag("xID3", "never"), t.AddTag("TZZZ", "z"), t.AddTag("txxx", std::string("k\0v", 3));
                  t.AddTag("tzzz", "y");
              },
              Frame("COMM", std::string("\0\0nt\0a", 6)) + Frame("COMM", std::string("\0\0nt\0b", 6)) + Frame("TPE1", Text("p")) +
                  Frame("TALB", Text("long id")) + Frame("TZZZ", Text("z")) + Frame("TZZZ", Text("y")) + Frame("TXXX", Text(std::string("k\0v", 3)))},
    RenderRow{"year_replaces_a_kept_date", Tag(4, Frame24("TDRC", Text("2001-05-06T07:08")) + Frame24("TIT2", Text("T"))),
              [](Mp3TagID3v2 &t) { t.Year("1999"); }, Frame("TIT2", Text("T")) + Frame("TYER", Text("1999"))},
    RenderRow{"remove_tag_renumbers", kTAL,
              [](Mp3TagID3v2 &t) { t.AddTag("COMM", "a"), t.AddTag("COMM", "b"), t.RemoveTag("COMM", 1); },
              Frame("TIT2", Text("T")) + Frame("TPE1", Text("A")) + Frame("TALB", Text("L")) + Frame("COMM", Text("b"))},
    RenderRow{"remove_last_tag_removes_the_frame", kTAL, [](Mp3TagID3v2 &t) { t.RemoveTag("tpe1", 1); },
              Frame("TIT2", Text("T")) + Frame("TALB", Text("L"))},
    RenderRow{"remove_frames_by_name_and_number", kTAL,
              [](Mp3TagID3v2 &t) { t.AddTag("tit2", "second"), t.RemoveFrame(3), t.RemoveFrame("tpe1"); },
              Frame("TIT2", Text("T")) + Frame("TIT2", Text("second"))}), testutil::RowName);

// Frames of 2.2 and 2.4 tags as a 2.3 tag carries them.
INSTANTIATE_TEST_SUITE_P(Versions, ID3v2Render, ::testing::Values(
    RenderRow{"v22", Tag(2, Frame22("TT2", Text("x")) + Frame22("CRM", "secret") + Frame22("ZZZ", "?") +
                                Frame22("PIC", std::string("\0JPE\3d\0x", 8)) + Frame22("PIC", std::string("\0GIF\3d\0x", 8)) +
                                Frame22("PIC", std::string("\0BMP\3d\0x", 8)) + Frame22("PIC", std::string("\0PNG\3d\0x", 8)) +
                                Frame22("PIC", std::string("\0-->\3d\0x", 8)) + Frame22("PIC", std::string("\0Ti\0\3d\0x", 8))),
              [](Mp3TagID3v2 &) {},
              Frame("TIT2", Text("x")) + Frame("PRIV", std::string("CRM\0secret", 10)) + Frame("PRIV", std::string("ZZZ\0?", 5)) +
                  Frame("APIC", std::string("\0image/jpeg\0\3d\0x", 16)) +
                  Frame("APIC", std::string("\0image/gif\0\3d\0x", 15)) + Frame("APIC", std::string("\0image/bmp\0\3d\0x", 15)) +
                  Frame("APIC", std::string("\0image/png\0\3d\0x", 15)) + Frame("APIC", std::string("\0-->\0\3d\0x", 9)) +
                  Frame("APIC", std::string("\0image/ti\0\3d\0x", 14))},
    // A 2.4 identifier other programs reject goes back as it came, last; a group byte stays.
    RenderRow{"v24_odd_id_and_group",
              Tag(4, Frame24("tyer", Text("1999")) + Frame24("TPE1", "\5" + Text("g"), 0x0040) +
                         Frame24("PRIV", std::string("\5me\0x", 5), 0x0040)),
              [](Mp3TagID3v2 &) {},
              Frame("TPE1", "\5" + Text("g"), 0x0020) + Frame("PRIV", std::string("\5me\0x", 5), 0x0020) +
                  Frame("tyer", Text("1999"))},
    // A single genre name that 2.3 can carry keeps its bytes, terminator and all.
    RenderRow{"v24_genre_name_kept", Tag(4, Frame24("TCON", Text(std::string("Gothic\0", 7)))), [](Mp3TagID3v2 &) {},
              Frame("TCON", Text(std::string("Gothic\0", 7)))},
    RenderRow{"v24", Tag(4, Frame24("TIT2", Utf8Text(std::string("\xE6\x97\xA5\0", 4))) +
                                Frame24("TCON", Text(std::string("17\0Hard Beat", 12))) +
                                Frame24("TDRC", Text("2004-05-06")) + Frame24("TDOR", Text("1999-01-01")) + Frame24("TSOP", Text("sort")) +
                                Frame24("TENC", Text(std::string(200, 'x')))),
              [](Mp3TagID3v2 &) {},
              // A date goes to 2.3's frames only where readers get the same date back.
              Frame("TIT2", "\1" + kBom + "\xE5\x65") + Frame("TCON", Text("(17)Hard Beat")) + Frame("TYER", Text("2004")) +
                  Frame("TDAT", Text("0605")) + Frame("TDOR", Text("1999-01-01")) + Frame("TSOP", Text("sort")) +
                  Frame("TENC", Text(std::string(200, 'x')))}), testutil::RowName);

// Counts outside the store are zero; fields are decoded on first use, so whatever comes
// first, a setter or a store operation, the other fields still give what the file held,
// and a picture is written back byte for byte.
TEST(ID3v2Store, FieldsReadLateStillGiveTheFilesValues) {
    TempDir dir;
    const auto path = dir.file("f.mp3");
    EXPECT_EQ(Mp3TagID3v2().TagsInFrame("TIT2"), 0);
    const std::string pic = std::string("\0image/jpeg\0\3\0\xFF\xD8\xFF\xE0\xFF\xFE\0\0T\0", 24) + Filler(70000, 7);
    const std::tuple<std::function<void(Mp3TagID3v2 &)>, testutil::Want, std::string> rows[] = {
        {[](Mp3TagID3v2 &t) { t.Artist("New"); }, {{"Title", "T"}, {"Artist", "New"}}, "(17)"},
        {[](Mp3TagID3v2 &t) { t.Genre(5); }, {{"Genre", "5"}, {"OtherGenreName", "Rock"}}, "(5)Rock"},
        {[](Mp3TagID3v2 &t) { t.OtherGenreName("Pop"); }, {{"Genre", "17"}, {"Title", "T"}}, "(17)Pop"},
        {[](Mp3TagID3v2 &t) { t.RemoveFrame("TIT2"); }, {{"Title", "T"}, {"OtherGenreName", "Rock"}}, "(17)"},
        {[](Mp3TagID3v2 &t) { t.RemoveFrame(1); }, {{"Title", "T"}, {"Ids", "APIC:1,TPE1:1,TCON:1"}}, "(17)"}};
    for (const bool v4 : {false, true}) {
        WriteAll(path, Tag(v4 ? 4 : 3, Frame("TIT2", Text("T"), 0, v4) + Frame("APIC", pic, 0, v4) +
                                            Frame("TPE1", Text("A"), 0, v4) + Frame("TCON", Text("(17)"), 0, v4)) + Filler(100));
        Mp3TagID3v2 counts;
        counts.MP3File(path);
        for (const auto &[id, n] : {std::pair("tit2", 1), std::pair("COMM", 0)}) EXPECT_EQ(counts.TagsInFrame(id), n) << id;
        for (const int at : {0, 5}) EXPECT_EQ(counts.TagsInFrame(at), 0) << at;
        for (const auto &[change, want, tcon] : rows) {
            SCOPED_TRACE(tcon + (v4 ? " in 2.4" : " in 2.3"));
            Mp3TagID3v2 t;
            t.MP3File(path);
            change(t);
            testutil::ExpectFields(testutil::Fields(t), want);
            const std::string rendered = t.RenderTag(0);
            EXPECT_NE(rendered.find(Frame("APIC", pic)), std::string::npos);
            EXPECT_NE(rendered.find(Frame("TCON", Text(tcon))), std::string::npos);
        }
    }
}

} // namespace
