#include "Id3Bytes.h"
#include "StreamBytes.h"
#include "TagError.h"
#include "TestUtil.h"
#include "id3v2/Mp3TagID3v2.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace tags;
using namespace id3bytes;
using testutil::Filler;
using testutil::TempDir;
using testutil::WriteAll;

namespace {

struct Fixture {
    TempDir dir;
    std::string path = dir.file("t.mp3");
    Mp3TagID3v2 tag;
    Mp3TagID3v2 &Read(const std::string &bytes) {
        WriteAll(path, bytes);
        tag.MP3File(path);
        return tag;
    }
};

std::string Ids(const Mp3TagID3v2 &t) {
    std::string s;
    for (int i = 1; i <= t.FrameCount(); ++i) s += (i > 1 ? "," : "") + t.Frame(i) + ":" + std::to_string(t.TagsInFrame(i));
    return s;
}

} // namespace

TEST(ID3v2Read, TextFramesOfVersion3FillTheNamedFields) {
    Fixture fx;
    const std::string frames = Frame("TIT2", Text("Ab")) + Frame("TPE1", Text("Die \xC4rzte")) + Frame("TALB", Text("Alb")) +
                               Frame("TYER", Text("1999")) + Frame("TRCK", Text("3/12")) + Frame("TENC", Text("lame")) +
                               Frame("TOPE", Text("Orig")) + Frame("TCOM", Text("Comp")) + Frame("TCOP", Text("(c)")) +
                               Frame("WOAF", "http://a") + Frame("WOAR", "http://r") + Frame("WCOM", "http://b") +
                               Frame("PCNT", std::string("\x00\x00\x01\x02", 4)) + Frame("TXXX", Text(std::string("k\0v", 3)));
    auto &t = fx.Read(Tag(3, frames, 100) + Filler(3000));
    EXPECT_TRUE(t.HasID3v2Tag());
    EXPECT_EQ(t.ID3v2TagVersion(), 3);
    EXPECT_EQ(t.TagVersion(), 3);
    EXPECT_EQ(t.TagStart(), 4);
    EXPECT_EQ(t.Title(), "Ab");
    EXPECT_EQ(t.Artist(), "Die Ärzte");
    EXPECT_EQ(t.Album(), "Alb");
    EXPECT_EQ(t.Year(), "1999");
    EXPECT_EQ(t.Track(), "3/12");
    EXPECT_EQ(t.EncodedBy(), "lame");
    EXPECT_EQ(t.OriginalArtist(), "Orig");
    EXPECT_EQ(t.Composer(), "Comp");
    EXPECT_EQ(t.Copyright(), "(c)");
    EXPECT_EQ(t.AudioURL(), "http://a");
    EXPECT_EQ(t.ArtistURL(), "http://r");
    EXPECT_EQ(t.BuyURL(), "http://b");
    EXPECT_EQ(t.PlayCounter(), "258");
    EXPECT_EQ(t.Genre(), 255);
    EXPECT_EQ(Ids(t), "TIT2:1,TPE1:1,TALB:1,TYER:1,TRCK:1,TENC:1,TOPE:1,TCOM:1,TCOP:1,WOAF:1,WOAR:1,WCOM:1,PCNT:1,TXXX:1");
}

TEST(ID3v2Read, EncodingsAndStructuredFramesGiveTheTextPart) {
    Fixture fx;
    const std::string utf16 = std::string("\x01\xFF\xFE", 3) + std::string("\x1F\x04\x40\x04", 4) + std::string(2, '\0');
    const std::string utf16be = std::string("\x02\x04\x1F\x04\x40", 5);
    const std::string utf8 = std::string("\x03") + "\xE6\x97\xA5";
    const std::string comm = std::string("\x00", 1) + "deu" + "desc" + std::string(1, '\0') + "text";
    const std::string uslt = std::string("\x01", 1) + "eng" + std::string("\xFF\xFE" "d\0" "\0\0", 6) +
                             std::string("\xFF\xFE" "L\0" "a\0", 6);
    const std::string wxxx = std::string("\x00", 1) + "site" + std::string(1, '\0') + "http://x";
    // Encoding 0 holding UTF-8 (some taggers do that), and real Windows-1252.
    const std::string latin = Text("\xC3\x84rger") ;
    const std::string cp1252 = Text("M\xFC" "de \x80");
    auto &t = fx.Read(Tag(3, Frame("TIT2", utf16) + Frame("TPE1", utf16be) + Frame("TALB", utf8) + Frame("COMM", comm) +
                                 Frame("USLT", uslt) + Frame("WXXX", wxxx) + Frame("TCOM", latin) +
                                 Frame("TOPE", cp1252)));
    EXPECT_EQ(t.Composer(), "Ärger");
    EXPECT_EQ(t.OriginalArtist(), "Müde €");
    EXPECT_EQ(t.Title(), "Пр");
    EXPECT_EQ(t.Artist(), "Пр");
    EXPECT_EQ(t.Album(), "日");
    EXPECT_EQ(t.Comment(), "text");
    EXPECT_EQ(t.Lyrics(), "La");
    EXPECT_EQ(t.LinkTo(), "http://x");
}

TEST(ID3v2Read, CommentsJoinAndGenreRules) {
    Fixture fx;
    auto comm = [](const std::string &text) { return Frame("COMM", Text(std::string("eng\0", 4) + text)); };
    auto &t = fx.Read(Tag(3, comm("a") + comm("b") + Frame("TCON", Text("(17)"))));
    EXPECT_EQ(t.Comment(), std::string("a\0\r\nb", 5));
    EXPECT_EQ(t.TagsInFrame("COMM"), 2);
    EXPECT_EQ(t.Genre(), 17);
    EXPECT_EQ(t.OtherGenreName(), "Rock");
    EXPECT_EQ(t.GenreName(t.Genre()), "Rock");

    struct Case {
        const char *text;
        int genre;
        const char *other;
    } cases[] = {
        {"(17)Hard Beat", 17, "Hard Beat"}, {"(17)x", 17, "Rock"},     {"(255)", 255, ""},
        {"(300)", 255, "(300)"},            {"(abc)", 255, "(abc)"},    {"Gothic", 255, "Gothic"},
        {")12(", 255, ")12("},              {"(12)(13)", 12, "(13)"},
    };
    for (const Case &c : cases) {
        auto &g = fx.Read(Tag(3, Frame("TCON", Text(c.text))));
        EXPECT_EQ(g.Genre(), c.genre) << c.text;
        EXPECT_EQ(g.OtherGenreName(), c.other) << c.text;
    }
}

TEST(ID3v2Read, FindsTheTagWhereTheScanAllowsIt) {
    Fixture fx;
    const std::string tag = Tag(3, Frame("TIT2", Text("x")));
    EXPECT_EQ(fx.Read(Filler(500) + tag + Filler(100)).TagStart(), 504);
    EXPECT_EQ(fx.tag.Title(), "x");
    // Straddling the first two windows.
    EXPECT_EQ(fx.Read(Filler(4094) + tag + Filler(100)).TagStart(), 4098);
    EXPECT_EQ(fx.tag.Title(), "x");
    // Audio ends the scan: a frame header whose next header follows where the frame ends.
    const std::string audio = streambytes::Stream({}, 3);
    EXPECT_FALSE(fx.Read(Filler(100) + audio + tag + Filler(100)).HasID3v2Tag());
    // A lone sync is no audio.
    EXPECT_EQ(fx.Read(Filler(50) + "\xFF\xFB\x90\x64" + Filler(50) + tag + Filler(100)).TagStart(), 108);
    // Far into a file without syncs.
    EXPECT_EQ(fx.Read(Filler(20000) + tag + Filler(10)).TagStart(), 20004);
    // The very last byte is never examined: "ID3" as the last three bytes of a file is found, "ID" + "3" at the end is not.
    EXPECT_FALSE(fx.Read(Filler(10) + "ID").HasID3v2Tag());
    EXPECT_EQ(fx.Read(Filler(10) + "ID3x").TagStart(), 14);
    EXPECT_FALSE(fx.Read(Filler(10) + "ID3").HasID3v2Tag());
}

TEST(ID3v2Read, VersionsOutsideTwoToFourReadNoFrames) {
    Fixture fx;
    std::string t5 = Tag(3, Frame("TIT2", Text("x")));
    t5[3] = 5;
    auto &t = fx.Read(t5 + Filler(10));
    EXPECT_TRUE(t.HasID3v2Tag());
    EXPECT_EQ(t.TagVersion(), 5);
    EXPECT_EQ(t.FrameCount(), 0);
    EXPECT_EQ(t.Title(), "");
}

TEST(ID3v2Read, Version2FramesAreConvertedOrDropped) {
    Fixture fx;
    const std::string pic = std::string("\x00", 1) + "PNG" + "\x03" + "cover" + std::string(1, '\0') + "\x89PNGDATA";
    const std::string frames = Frame22("TT2", Text("x")) + Frame22("TP1", Text("y")) + Frame22("PIC", pic) +
                               Frame22("CRM", "secret") + Frame22("TXX", Text(std::string("k\0v", 3))) +
                               Frame22("ZZZ", "?") + Frame22("COM", Text(std::string("eng\0c", 5))) + Frame22("TCO", Text("(1)"));
    auto &t = fx.Read(Tag(2, frames, 20) + Filler(100));
    EXPECT_EQ(t.TagVersion(), 2);
    EXPECT_EQ(t.Title(), "x");
    EXPECT_EQ(t.Artist(), "y");
    EXPECT_EQ(t.Comment(), "c");
    EXPECT_EQ(t.Genre(), 1);
    EXPECT_EQ(Ids(t), "TIT2:1,TPE1:1,APIC:1,TXXX:1,COMM:1,TCON:1");

    // PIC becomes APIC with a MIME type, written with a 4-character identifier.
    t.Update();
    Mp3TagID3v2 back;
    back.MP3File(fx.path);
    EXPECT_EQ(back.TagVersion(), 3);
    EXPECT_EQ(Ids(back), "TIT2:1,TPE1:1,APIC:1,TXXX:1,COMM:1,TCON:1");
    const std::string bytes = testutil::ReadAll(fx.path);
    const std::string apic = std::string("\x00", 1) + "image/png" + std::string(1, '\0') + "\x03" + "cover" +
                             std::string(1, '\0') + "\x89PNGDATA";
    EXPECT_NE(bytes.find(Frame("APIC", apic)), std::string::npos);
}

TEST(ID3v2Read, Version4IsTurnedIntoVersion3) {
    Fixture fx;
    const std::string frames =
        Frame("TIT2", std::string("\x03") + "\xE6\x97\xA5" + std::string(1, '\0'), 0, true) +
        Frame("TPE1", std::string("\x00", 1) + "A" + std::string(1, '\0') + "B", 0, true) +
        Frame("TCON", std::string("\x00", 1) + "17" + std::string(1, '\0') + "Hard Beat", 0, true) +
        Frame("TDRC", std::string("\x00", 1) + "2004-05-06T07:08", 0, true) + Frame("TSOP", Text("sort"), 0, true) +
        Frame("TALB", Synchsafe(7) + Deflate(Text("zipped")), 0x0009, true) + // compressed, with data length
        Frame("COMM", std::string("\x03", 1) + "deu" + std::string(1, '\0') + "\xC3\xBC", 0, true);
    std::string big(200, 'x');
    auto &t = fx.Read(Tag(4, frames + Frame("TENC", Text(big), 0, true)) + Filler(50));
    EXPECT_EQ(t.TagVersion(), 4);
    EXPECT_EQ(t.Title(), "日");
    EXPECT_EQ(t.Artist(), "A/B");
    EXPECT_EQ(t.Genre(), 17);
    EXPECT_EQ(t.OtherGenreName(), "Hard Beat");
    EXPECT_EQ(t.Year(), "2004");
    EXPECT_EQ(t.Album(), "zipped");
    EXPECT_EQ(t.Comment(), "ü");
    EXPECT_EQ(t.EncodedBy(), big);
    // Frames only 2.4 knows stay; the date becomes the 2.3 date frames where it stood.
    EXPECT_EQ(Ids(t), "TIT2:1,TPE1:1,TCON:1,TYER:1,TDAT:1,TIME:1,TSOP:1,TALB:1,COMM:1,TENC:1");

    t.Update();
    const std::string bytes = testutil::ReadAll(fx.path);
    // UTF-8 became UTF-16 with BOM; the synchsafe 200 (00 00 01 48) a plain 00 00 00 C9.
    EXPECT_NE(bytes.find(Frame("TIT2", std::string("\x01\xFF\xFE\xE5\x65", 5))), std::string::npos);
    EXPECT_NE(bytes.find(std::string("TENC\x00\x00\x00\xC9", 8)), std::string::npos);
    EXPECT_NE(bytes.find(Frame("TYER", Text("2004"))), std::string::npos);
    EXPECT_NE(bytes.find(Frame("TDAT", Text("0605"))), std::string::npos);
    EXPECT_NE(bytes.find(Frame("TIME", Text("0708"))), std::string::npos);
    EXPECT_NE(bytes.find(Frame("TCON", Text("(17)Hard Beat"))), std::string::npos);
    Mp3TagID3v2 back;
    back.MP3File(fx.path);
    EXPECT_EQ(back.TagVersion(), 3);
    EXPECT_EQ(Ids(back), Ids(t)); // no TDRC, TSOP or compressed TALB in the 2.3 tag

    // Plain (not synchsafe) sizes in a 2.4 tag, as some writers make them: 200 = 00 00 00 C8.
    const std::string plain = std::string("TENC\x00\x00\x00\xC8\x00\x00", 10) + Text(std::string(199, 'p'));
    auto &p = fx.Read(Tag(4, plain + Frame("TIT2", Text("after"), 0, true)) + Filler(10));
    EXPECT_EQ(p.EncodedBy(), std::string(199, 'p'));
    EXPECT_EQ(p.Title(), "after");
    const std::string plain256 = std::string("TENC\x00\x00\x01\x00\x00\x00", 10) + Text(std::string(255, 'q'));
    EXPECT_EQ(fx.Read(Tag(4, plain256 + Frame("TIT2", Text("x"), 0, true))).EncodedBy(), std::string(255, 'q'));
    EXPECT_EQ(fx.tag.Title(), "x");

    // A TYER present in the 2.4 tag wins over TDRC.
    auto &y = fx.Read(Tag(4, Frame("TDRC", Text("2010"), 0, true) + Frame("TYER", Text("1999"), 0, true)));
    EXPECT_EQ(y.Year(), "1999");
    EXPECT_EQ(y.TagsInFrame("TYER"), 1);
}

TEST(ID3v2Read, UnsynchronisationAndExtendedHeadersAreUndone) {
    Fixture fx;
    // 2.3 tag-level unsynchronisation: FF 00 in the stored bytes is FF.
    const std::string body = Text(std::string("a\xFF\x00" "b", 4));
    std::string frames = Frame("TIT2", body);
    frames.replace(4, 4, BE32(4)); // size counts the resynchronised body
    auto &t = fx.Read(Tag(3, frames, 0, 0x80) + Filler(20));
    EXPECT_EQ(t.Title(), "a\xC3\xBF" "b");

    // 2.4 frame-level unsynchronisation with a data length indicator.
    const std::string f4 = Frame("TIT2", Synchsafe(4) + Text(std::string("c\xFF\x00" "d", 4)), 0x0003, true);
    EXPECT_EQ(fx.Read(Tag(4, f4) + Filler(20)).Title(), "c\xC3\xBF" "d");

    // Extended headers: 2.3 (size 6 excluding itself), 2.4 (synchsafe size including itself).
    const std::string ext3 = BE32(6) + std::string(6, '\0');
    EXPECT_EQ(fx.Read(Tag(3, ext3 + Frame("TIT2", Text("e")), 0, 0x40)).Title(), "e");
    const std::string ext4 = Synchsafe(6) + std::string("\x01\x00", 2);
    EXPECT_EQ(fx.Read(Tag(4, ext4 + Frame("TIT2", Text("f"), 0, true), 0, 0x40)).Title(), "f");
}

TEST(ID3v2Read, CorruptInputEndsQuietly) {
    Fixture fx;
    const std::string good = Frame("TIT2", Text("ok"));
    EXPECT_FALSE(fx.Read("").HasID3v2Tag());
    EXPECT_FALSE(fx.Read("ID3").HasID3v2Tag());
    EXPECT_FALSE(fx.Read("I").HasID3v2Tag());
    // Header cut short: the version byte is kept, nothing else.
    EXPECT_EQ(fx.Read("ID3\x03\x00").TagVersion(), 3);
    EXPECT_EQ(fx.tag.FrameCount(), 0);
    // Declared size far past the end: frames that are whole stay.
    std::string t = Tag(3, good + Frame("TPE1", Text("cut")));
    t.replace(6, 4, Synchsafe(100000));
    EXPECT_EQ(fx.Read(t.substr(0, t.size() - 2)).Title(), "ok");
    EXPECT_EQ(fx.tag.Artist(), "");
    EXPECT_EQ(fx.tag.FrameCount(), 1);
    // A frame reaching past the declared tag end.
    std::string over = Tag(3, good + Frame("TPE1", Text("long")));
    over.replace(6, 4, Synchsafe(static_cast<std::uint32_t>(good.size() + 12)));
    EXPECT_EQ(fx.Read(over + Filler(100)).FrameCount(), 1);
    // Size bytes with bit 7 set.
    std::string bad = Tag(3, good);
    bad[8] = '\x80';
    EXPECT_EQ(fx.Read(bad).FrameCount(), 0);
    EXPECT_TRUE(fx.tag.HasID3v2Tag());
    // A frame size of 0xFFFFFFFF and garbage after a good frame.
    EXPECT_EQ(fx.Read(Tag(3, good + "TPE1\xFF\xFF\xFF\xFF\x00\x00xyz")).FrameCount(), 1);
    EXPECT_EQ(fx.Read(Tag(3, good + "\x01\x02\x03\x04\x00\x00\x00\x01\x00\x00x")).FrameCount(), 1);
    // Too few bytes left for a frame header.
    EXPECT_EQ(fx.Read(Tag(3, good + "TPE")).FrameCount(), 1);
    // Truncated bodies of structured frames.
    auto &s = fx.Read(Tag(3, Frame("COMM", "\x01" "e") + Frame("WXXX", "\x01") + Frame("PCNT", "") + Frame("TIT2", "\x01\xFF")));
    EXPECT_EQ(s.Comment(), "");
    EXPECT_EQ(s.FrameCount(), 3); // the empty PCNT is dropped
    EXPECT_EQ(fx.Read(Tag(2, Frame22("PIC", "\x00PN"))).FrameCount(), 0);
}

TEST(ID3v2Read, EachReadStartsAfresh) {
    Fixture fx;
    fx.Read(Tag(3, Frame("USLT", Text(std::string("eng\0la", 6))) + Frame("TCON", Text("(17)"))));
    EXPECT_EQ(fx.tag.Lyrics(), "la");
    auto &t = fx.Read(Tag(3, Frame("TIT2", Text("x"))));
    EXPECT_EQ(t.Lyrics(), "");
    EXPECT_EQ(t.Genre(), 255);
    EXPECT_EQ(t.OtherGenreName(), "");
    EXPECT_EQ(Ids(t), "TIT2:1");
}

TEST(ID3v2Read, OpenFailurePassesThrough) {
    TempDir dir;
    Mp3TagID3v2 t;
    try {
        t.MP3File(dir.file("missing.mp3"));
        FAIL();
    } catch (const TagError &e) {
        EXPECT_EQ(e.number(), fileops::kErrNotFound);
        EXPECT_EQ(e.source(), ExecutableBaseName() + ".cMP3ID3v2");
        EXPECT_EQ(e.description(), SystemErrorText(fileops::kErrNotFound));
    }
    EXPECT_EQ(t.MP3File(), dir.file("missing.mp3"));
    EXPECT_EQ(t.FrameCount(), 0); // the store exists, empty
    EXPECT_EQ(Mp3TagID3v2::Source(), "tags_tests.cMP3ID3v2");
}

// Mutated tags of every version: reading never fails or crashes, and writing back never
// loses the bytes that follow the tag.
TEST(ID3v2Read, MutatedTagsReadAndWriteSafely) {
    TempDir dir;
    const std::string path = dir.file("f.mp3");
    const std::string audio = streambytes::Stream({}, 3);
    const std::string comm = Text(std::string("eng\0c", 5));
    const std::string seeds[] = {
        Tag(3, Frame("TIT2", Text("t")) + Frame("COMM", comm) + Frame("APIC", std::string("\0a\0\3d\0xx", 8)) +
                   Frame("TXXX", std::string("\1\xFF\xFE" "k\0" "\0\0" "\xFF\xFE" "v\0", 11)), 20),
        Tag(4, Frame("TIT2", std::string("\3t\0", 3), 0, true) + Frame("TDRC", Text("2001-02-03"), 0, true) +
                   Frame("TPE1", Synchsafe(2) + Text("a"), 0x0043, true), 20, 0x80),
        Tag(2, Frame22("TT2", Text("t")) + Frame22("PIC", std::string("\0JPG\3d\0xx", 9)) + Frame22("COM", comm), 20),
    };
    unsigned x = 1;
    auto rnd = [&x] { return (x = x * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 150; ++round) {
        std::string tag = seeds[round % 3];
        for (int k = 1 + rnd() % 4; k > 0; --k) tag[3 + rnd() % (tag.size() - 3)] = static_cast<char>(rnd());
        if (round % 7 == 0) tag.resize(rnd() % tag.size());
        const std::string before = tag + audio;
        WriteAll(path, before);
        Mp3TagID3v2 t;
        ASSERT_NO_THROW(t.MP3File(path)) << round;
        t.Title("new title");
        ASSERT_NO_THROW(t.Update()) << round;
        const std::string after = testutil::ReadAll(path);
        ASSERT_GE(after.size(), before.size()) << round;
        ASSERT_EQ(after.substr(after.size() - audio.size()), audio) << round;
        Mp3TagID3v2 back;
        back.MP3File(path);
        EXPECT_EQ(back.Title(), "new title") << round;
    }
}
