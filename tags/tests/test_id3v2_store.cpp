#include "Id3Bytes.h"
#include "TagError.h"
#include "TestUtil.h"
#include "id3v2/Mp3TagID3v2.h"

#include <functional>
#include <gtest/gtest.h>

using namespace tags;
using namespace id3bytes;
using testutil::Filler;
using testutil::TempDir;
using testutil::WriteAll;

namespace {

std::string Ids(const Mp3TagID3v2 &t) {
    std::string s;
    for (int i = 1; i <= t.FrameCount(); ++i) s += (i > 1 ? "," : "") + t.Frame(i) + ":" + std::to_string(t.TagsInFrame(i));
    return s;
}

// A tag object bound to a file with TIT2, TPE1, TALB.
struct Bound {
    TempDir dir;
    std::string path = dir.file("s.mp3");
    Mp3TagID3v2 t;
    Bound() {
        WriteAll(path, Tag(3, Frame("TIT2", Text("T")) + Frame("TPE1", Text("A")) + Frame("TALB", Text("L"))) + Filler(100));
        t.MP3File(path);
    }
};

int ErrorOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const TagError &e) {
        EXPECT_EQ(e.source(), Mp3TagID3v2::Source());
        return e.number();
    }
    return 0;
}

} // namespace

TEST(ID3v2Store, AddRemoveAndRenumber) {
    Bound b;
    auto &t = b.t;
    EXPECT_EQ(t.TagsInFrame("COMM"), 0);
    t.AddTag("COMM", "a");
    t.AddTag("COMM", "b");
    EXPECT_EQ(t.FrameCount(), 4);
    EXPECT_EQ(t.TagsInFrame("COMM"), 2);
    EXPECT_EQ(t.TagsInFrame("comm"), 2);
    t.RemoveTag("COMM", 1);
    EXPECT_EQ(t.TagsInFrame("COMM"), 1);
    // b is now number 1: it is what Update writes.
    EXPECT_NE(t.RenderTag(0).find(Frame("COMM", Text("b"))), std::string::npos);
    EXPECT_EQ(t.RenderTag(0).find(Frame("COMM", Text("a"))), std::string::npos);
    t.RemoveTag("COMM", 1);
    EXPECT_EQ(Ids(t), "TIT2:1,TPE1:1,TALB:1");

    // Case is ignored on lookup; the first spelling stays.
    t.AddTag("tit2", "second");
    EXPECT_EQ(Ids(t), "TIT2:2,TPE1:1,TALB:1");
    t.AddTag("txxx", std::string("k\0v", 3));
    EXPECT_EQ(t.Frame(4), "txxx");
    EXPECT_EQ(t.TagsInFrame(4), 1);
    EXPECT_EQ(t.TagsInFrame(5), 0);
    EXPECT_EQ(t.TagsInFrame(0), 0);

    t.RemoveFrame(4);
    t.RemoveFrame("tpe1");
    EXPECT_EQ(Ids(t), "TIT2:2,TALB:1");
    // Named fields are a cache: the store operations leave them alone.
    t.RemoveFrame("TIT2");
    EXPECT_EQ(t.Title(), "T");
    EXPECT_EQ(t.Artist(), "A");
}

TEST(ID3v2Store, LookupErrors) {
    Bound b;
    auto &t = b.t;
    EXPECT_EQ(ErrorOf([&] { t.RemoveFrame("COMM"); }), 5);
    EXPECT_EQ(ErrorOf([&] { t.RemoveFrame(0); }), 5);
    EXPECT_EQ(ErrorOf([&] { t.RemoveFrame(4); }), 5);
    EXPECT_EQ(ErrorOf([&] { t.RemoveTag("TIT2", 2); }), 5);
    EXPECT_EQ(ErrorOf([&] { t.RemoveTag("TIT2", 0); }), 5);
    EXPECT_EQ(ErrorOf([&] { t.RemoveTag("COMM", 1); }), 5);
    EXPECT_EQ(ErrorOf([&] { t.Frame(0); }), Mp3TagID3v2::kErrSubscript);
    EXPECT_EQ(ErrorOf([&] { t.Frame(4); }), Mp3TagID3v2::kErrSubscript);
    EXPECT_EQ(Ids(t), "TIT2:1,TPE1:1,TALB:1");
    try {
        t.RemoveFrame("XXXX");
    } catch (const TagError &e) {
        EXPECT_EQ(e.description(), "Invalid procedure call or argument");
    }

    // Before MP3File there is no store; a setter keeps its value and still fails.
    Mp3TagID3v2 fresh;
    EXPECT_EQ(ErrorOf([&] { fresh.FrameCount(); }), Mp3TagID3v2::kErrNoStore);
    EXPECT_EQ(ErrorOf([&] { fresh.AddTag("TIT2", "x"); }), Mp3TagID3v2::kErrNoStore);
    EXPECT_EQ(ErrorOf([&] { fresh.Update(); }), Mp3TagID3v2::kErrNoStore);
    EXPECT_EQ(ErrorOf([&] { fresh.Title("x"); }), Mp3TagID3v2::kErrNoStore);
    EXPECT_EQ(fresh.Title(), "x");
    EXPECT_EQ(fresh.TagsInFrame("TIT2"), 0);
}

TEST(ID3v2Store, SettersReplaceTheFrameAndMoveItToTheEnd) {
    Bound b;
    auto &t = b.t;
    t.AddTag("TPE1", "second artist");
    t.Artist("New");
    EXPECT_EQ(Ids(t), "TIT2:1,TALB:1,TPE1:1");
    EXPECT_EQ(t.Artist(), "New");
    t.Title("");
    EXPECT_EQ(Ids(t), "TALB:1,TPE1:1,TIT2:1");
    EXPECT_EQ(t.Title(), "");
    EXPECT_NE(t.RenderTag(0).find(Frame("TIT2", std::string(1, '\0'))), std::string::npos);

    // Every setter and the body it leads to.
    t.Album("Al");
    t.Year("2001");
    t.Track("7");
    t.Comment("Hi");
    t.Lyrics("La");
    t.LinkTo("http://l");
    t.EncodedBy("E");
    t.PlayCounter("258");
    t.OriginalArtist("O");
    t.Composer("C");
    t.Copyright("(c)");
    t.AudioURL("http://a");
    t.BuyURL("http://b");
    t.ArtistURL("http://r");
    const std::string r = t.RenderTag(0);
    const std::string expect[] = {
        Frame("TALB", Text("Al")), Frame("TYER", Text("2001")), Frame("TRCK", Text("7")),
        Frame("COMM", std::string("\x00\x00nt\x00Hi", 7)), Frame("USLT", std::string("\x00XXX\x00La", 7)),
        Frame("WXXX", std::string("\x00\x00http://l", 10)), Frame("TENC", Text("E")),
        Frame("PCNT", std::string("\x00\x00\x01\x02", 4)), Frame("TOPE", Text("O")), Frame("TCOM", Text("C")),
        Frame("TCOP", Text("(c)")), Frame("WOAF", "http://a"), Frame("WCOM", "http://b"), Frame("WOAR", "http://r"),
    };
    for (const std::string &f : expect) EXPECT_NE(r.find(f), std::string::npos) << f.substr(0, 4);
    EXPECT_EQ(t.Comment(), "Hi");
    EXPECT_EQ(t.Lyrics(), "La");
    EXPECT_EQ(t.LinkTo(), "http://l");
    EXPECT_EQ(t.PlayCounter(), "258");
    EXPECT_EQ(t.FrameCount(), 16);
}

TEST(ID3v2Store, GenreAndOtherGenreNameShareTCON) {
    TempDir dir;
    const auto path = dir.file("g.mp3");
    WriteAll(path, Tag(3, Frame("TCON", Text("(17)"))) + Filler(10));
    Mp3TagID3v2 t;
    t.MP3File(path);
    EXPECT_EQ(t.OtherGenreName(), "Rock");
    t.Genre(5);
    EXPECT_NE(t.RenderTag(0).find(Frame("TCON", Text("(5)Rock"))), std::string::npos);
    EXPECT_EQ(t.TagsInFrame("TCON"), 1);

    WriteAll(path, Filler(10));
    t.MP3File(path);
    t.OtherGenreName("Pop");
    EXPECT_NE(t.RenderTag(0).find(Frame("TCON", Text("(255)Pop"))), std::string::npos);
    t.MP3File(path);
    t.Genre(17);
    EXPECT_NE(t.RenderTag(0).find(Frame("TCON", Text("(17)"))), std::string::npos);
    EXPECT_EQ(t.GenreName(12), "Other");
    EXPECT_EQ(t.GenreName(200), "");
}

TEST(ID3v2Store, TextsBeyondWindows1252AreWrittenAsUtf16) {
    TempDir dir;
    const auto path = dir.file("u.mp3");
    WriteAll(path, Filler(10));
    Mp3TagID3v2 t;
    t.MP3File(path);
    t.Title("日本");
    t.Artist("Ärzte €"); // fits Windows-1252
    t.Comment("Ж");
    t.LinkTo("http://ж");
    t.AddTag("TXXX", std::string("к\0v", 4));
    const std::string r = t.RenderTag(0);
    const std::string bom = "\xFF\xFE";
    EXPECT_NE(r.find(Frame("TIT2", "\x01" + bom + "\xE5\x65\x2C\x67")), std::string::npos);
    EXPECT_NE(r.find(Frame("TPE1", Text("\xC4rzte \x80"))), std::string::npos);
    EXPECT_NE(r.find(Frame("COMM", std::string("\x01\x00nt", 4) + bom + std::string(2, '\0') + bom + "\x16\x04")),
              std::string::npos);
    EXPECT_NE(r.find(Frame("WXXX", "\x01" + bom + std::string(2, '\0') + "http://?")), std::string::npos);
    EXPECT_NE(r.find(Frame("TXXX", "\x01" + bom + "\x3A\x04" + std::string(2, '\0') + bom + std::string("v\0", 2))), std::string::npos);

    // And they read back as they were set.
    t.Update();
    Mp3TagID3v2 back;
    back.MP3File(path);
    EXPECT_EQ(back.Title(), "日本");
    EXPECT_EQ(back.Artist(), "Ärzte €");
    EXPECT_EQ(back.Comment(), "Ж");
}

// Fields are decoded on first use; whatever comes first, a setter or a store
// operation, the other fields still give what the file held, and a picture is
// written back byte for byte.
TEST(ID3v2Store, FieldsReadLateStillGiveTheFilesValues) {
    TempDir dir;
    const auto path = dir.file("f.mp3");
    const std::string picture = Frame("APIC", std::string("\0image/jpeg\0\x03\0", 14) + "\xFF\xD8\xFF\xE0" +
                                                  std::string("\xFF\xFE\0\0T\0", 6) + Filler(70000, 7));
    for (const int version : {3, 4}) {
        const bool v4 = version == 4;
        WriteAll(path, Tag(version,
                           Frame("TIT2", Text("T"), 0, v4) + picture.substr(0, 4) +
                               (v4 ? Synchsafe(std::uint32_t(picture.size() - 10)) : picture.substr(4, 4)) +
                               picture.substr(8) + Frame("TPE1", Text("A"), 0, v4) +
                               Frame("TCON", Text("(17)"), 0, v4)) +
                           Filler(100));
        struct Row {
            const char *what;
            std::function<void(Mp3TagID3v2 &)> change;
            std::string title, artist, otherGenre, tcon;
            int genre;
        };
        const Row rows[] = {
            {"Artist set", [](Mp3TagID3v2 &t) { t.Artist("New"); }, "T", "New", "Rock", "(17)", 17},
            {"Title set", [](Mp3TagID3v2 &t) { t.Title("x"); }, "x", "A", "Rock", "(17)", 17},
            {"Genre set", [](Mp3TagID3v2 &t) { t.Genre(5); }, "T", "A", "Rock", "(5)Rock", 5},
            {"OtherGenreName set", [](Mp3TagID3v2 &t) { t.OtherGenreName("Pop"); }, "T", "A", "Pop", "(17)Pop", 17},
            {"TIT2 removed", [](Mp3TagID3v2 &t) { t.RemoveFrame("TIT2"); }, "T", "A", "Rock", "(17)", 17},
        };
        for (const Row &r : rows) {
            SCOPED_TRACE(std::string(r.what) + " in version " + std::to_string(version));
            Mp3TagID3v2 t;
            t.MP3File(path);
            r.change(t);
            EXPECT_EQ(t.Title(), r.title);
            EXPECT_EQ(t.Artist(), r.artist);
            EXPECT_EQ(t.OtherGenreName(), r.otherGenre);
            EXPECT_EQ(t.Genre(), r.genre);
            const std::string rendered = t.RenderTag(0);
            EXPECT_NE(rendered.find(picture), std::string::npos);
            EXPECT_NE(rendered.find(Frame("TCON", Text(r.tcon))), std::string::npos);
        }
    }
}
