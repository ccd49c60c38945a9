#include "FileOps.h"
#include "Id3Bytes.h"
#include "TagError.h"
#include "TestUtil.h"
#include "id3v2/Mp3TagID3v2.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

using namespace tags;
using namespace id3bytes;
using testutil::Filler;
using testutil::ReadAll;
using testutil::TempDir;
using testutil::WriteAll;
namespace fs = std::filesystem;

namespace {

Mp3TagID3v2 Bind(const std::string &path) {
    Mp3TagID3v2 t;
    t.MP3File(path);
    return t;
}

size_t FilesIn(const fs::path &dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir)) ++n;
    return n;
}

using HookGuard = testutil::FaultHookGuard;

} // namespace

TEST(ID3v2Write, NewTagInFrontOfAFileWithoutOne) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    const std::string audio = Filler(3000);
    WriteAll(path, audio);
    auto t = Bind(path);
    t.Title("Ab");
    const std::string expected = std::string("ID3\x03\x00\x00\x00\x00\x10\x00", 10) +
                                 std::string("TIT2\x00\x00\x00\x03\x00\x00\x00" "Ab", 13) + std::string(4, '\0');
    t.Update();
    const std::string out = ReadAll(path);
    ASSERT_EQ(out.size(), audio.size() + 2058);
    EXPECT_EQ(out.substr(0, 27), expected);
    EXPECT_EQ(out.substr(27, 2058 - 27), std::string(2058 - 27, '\0'));
    EXPECT_EQ(out.substr(2058), audio);
    // The object keeps what it read.
    EXPECT_FALSE(t.HasID3v2Tag());

    // A second Update finds the new tag and writes in place.
    t.Update();
    EXPECT_EQ(ReadAll(path), out);

    // An empty store: header and four zero bytes in 2058 bytes of room.
    const auto empty = dir.file("e.mp3");
    WriteAll(empty, audio);
    Bind(empty).Update();
    const std::string e = ReadAll(empty);
    ASSERT_EQ(e.size(), audio.size() + 2058);
    EXPECT_EQ(e.substr(0, 10), std::string("ID3\x03\x00\x00\x00\x00\x10\x00", 10));
    EXPECT_EQ(e.substr(10, 2048), std::string(2048, '\0'));
}

TEST(ID3v2Write, InPlaceWhenTheNewTagFits) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    // An old tag declaring 2048 bytes, its region filled with old frame bytes.
    std::string old = Tag(3, Frame("TIT2", Text(std::string(2037, 'o'))));
    ASSERT_EQ(old.size(), 2058u);
    const std::string audio = Filler(5000);
    WriteAll(path, old + audio);
    auto t = Bind(path);
    t.Title(std::string(565, 't'));
    t.AddTag("TPE1", std::string(9, 'a'));
    const std::string buf = t.RenderTag(2048);
    ASSERT_EQ(buf.size(), 610u);
    t.Update();
    const std::string out = ReadAll(path);
    ASSERT_EQ(out.size(), old.size() + audio.size());
    EXPECT_EQ(out.substr(0, buf.size()), buf);
    EXPECT_EQ(out.substr(6, 4), Synchsafe(2048));
    // The rest of the old region becomes zero padding.
    EXPECT_EQ(out.substr(buf.size(), 2058 - buf.size()), std::string(2058 - buf.size(), '\0'));
    EXPECT_EQ(out.substr(2058), audio);
    auto back = Bind(path);
    EXPECT_EQ(back.Title(), std::string(565, 't'));
    EXPECT_EQ(back.FrameCount(), 2);
}

TEST(ID3v2Write, GrowthPathRoundsToMultiplesOf2048) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    const std::string old = Tag(3, Frame("TIT2", Text("x")), 2048 - 12);
    ASSERT_EQ(old.size(), 2058u);
    const std::string audio = Filler(7000);
    WriteAll(path, old + audio);
    auto t = Bind(path);
    // Exactly the old region: still in place.
    t.Title(std::string(2058 - 10 - 10 - 4 - 1, 'n'));
    t.Update();
    EXPECT_EQ(ReadAll(path), t.RenderTag(2048) + audio);
    // One byte more grows to the next multiple of 2048; the old tag is not copied.
    t.Title(std::string(2058 - 10 - 10 - 4, 'n'));
    t.Update();
    const std::string out = ReadAll(path);
    const std::string buf = t.RenderTag(4096);
    ASSERT_EQ(out.size(), 4096 + 10 + audio.size());
    EXPECT_EQ(out.substr(0, buf.size()), buf);
    EXPECT_EQ(out.substr(buf.size(), 4106 - buf.size()), std::string(4106 - buf.size(), '\0'));
    EXPECT_EQ(out.substr(4106), audio);
    EXPECT_EQ(Bind(path).Title(), t.Title());
}

TEST(ID3v2Write, TagAfterJunk) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    const std::string junk = Filler(300, 7);
    const std::string old = Tag(3, Frame("TIT2", Text("x")), 500);
    const std::string audio = Filler(2000, 3);
    WriteAll(path, junk + old + audio);
    auto t = Bind(path);
    EXPECT_EQ(t.TagStart(), 304);
    // The new tag goes to the file's first byte; junk and old tag stay behind its padding.
    t.Title("new");
    t.Update();
    std::string out = ReadAll(path);
    ASSERT_EQ(out.size(), 2058 + audio.size());
    EXPECT_EQ(out.substr(0, 10), std::string("ID3\x03\x00\x00", 6) + Synchsafe(2048));
    const size_t kept = junk.size() + old.size();
    EXPECT_EQ(out.substr(2058 - kept), junk + old + audio);
    EXPECT_EQ(Bind(path).TagStart(), 4);
    EXPECT_EQ(Bind(path).Title(), "new");

    // Now it fits in place, up to where the kept bytes begin.
    t.Title(std::string(1000, 'g'));
    t.Update();
    const std::string again = ReadAll(path);
    ASSERT_EQ(again.size(), out.size());
    EXPECT_EQ(again.substr(0, 10), out.substr(0, 10));
    EXPECT_EQ(again.substr(2058 - kept), out.substr(2058 - kept));
    EXPECT_EQ(Bind(path).Title(), std::string(1000, 'g'));
}

TEST(ID3v2Write, FrameLayoutRules) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    WriteAll(path, Filler(100));
    auto t = Bind(path);
    t.AddTag("COMM", std::string("\0nt\0a", 5));
    t.AddTag("TPE1", "p");
    t.AddTag("COMM", std::string("\0nt\0b", 5));
    t.AddTag("TALBUM", "long id");
    t.AddTag("xID3", "never");
    const std::string r = t.RenderTag(0);
    EXPECT_EQ(r.substr(10), Frame("COMM", std::string("\0\0nt\0a", 6)) + Frame("COMM", std::string("\0\0nt\0b", 6)) +
                                Frame("TPE1", Text("p")) + Frame("TALB", Text("long id")) + std::string(4, '\0'));

    // An identifier shorter than 4 characters fails before the file is opened.
    t.AddTag("TT", "x");
    fs::remove(path);
    try {
        t.Update();
        FAIL();
    } catch (const TagError &e) {
        EXPECT_EQ(e.number(), 5);
        EXPECT_EQ(e.source(), ExecutableBaseName() + ".cMP3ID3v2");
    }
    EXPECT_FALSE(fs::exists(path));
    // Without that frame a missing file is refused, not created.
    t.RemoveFrame("TT");
    try {
        t.Update();
        FAIL();
    } catch (const TagError &e) {
        EXPECT_EQ(e.number(), ENOENT);
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(ID3v2Write, UntouchedFramesKeepTheirBytes) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    std::string picture;
    for (int i = 0; i < 3000; ++i) picture += static_cast<char>(i * 7);
    const std::string frames =
        Frame("APIC", std::string("\x00image/jpeg\x00\x03", 13) + "cover" + std::string(1, '\0') + picture) +
        Frame("PRIV", std::string("owner\0\x01\x02\x00\xFF", 10)) + Frame("UFID", std::string("http://id\0\x12\x34", 12)) +
        Frame("GEOB", std::string("\x00text/plain\x00" "f.txt\x00" "d\x00" "DATA", 25)) +
        Frame("TXXX", std::string("\x01\xFF\xFE" "k\0\0\0\xFF\xFE" "v\0", 11)) +
        Frame("TPE1", std::string("\x01\xFF\xFE" "A\0" "\xC4\0", 7)) +
        Frame("TCOM", std::string("\x00" "packed", 7), 0x0080) + // compressed: flags and bytes stay
        Frame("TIT2", Text("old"));
    WriteAll(path, Tag(3, frames, 10) + Filler(4000));
    auto t = Bind(path);
    EXPECT_EQ(t.Artist(), "AÄ");
    EXPECT_EQ(t.Composer(), ""); // compressed bytes are no text
    t.Title("new");
    t.Update(); // grows: the old tag had 10 bytes of padding
    const std::string out = ReadAll(path);
    EXPECT_EQ(out.substr(10, frames.size() - 13), frames.substr(0, frames.size() - 13));
    EXPECT_NE(out.find(Frame("TIT2", Text("new"))), std::string::npos);
    auto back = Bind(path);
    EXPECT_EQ(back.FrameCount(), 8);
    EXPECT_EQ(back.Artist(), "AÄ");
}

TEST(ID3v2Write, BrokenHeadersAreNeverWrittenOver) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    struct Case {
        const char *name;
        std::string bytes;
        size_t cut = 0;     // bytes proven to be the old tag, left out
        size_t grow = 2058; // the new tag, less what of the old one it covers
    } cases[] = {
        {"letters in audio", Filler(100) + "ID3" + Filler(3000)},
        {"version 5", Tag(3, Frame("TIT2", Text("x")), 3000).replace(3, 1, "\x05") + Filler(100)},
        {"size bit 7", Tag(3, Frame("TIT2", Text("x")), 3000).replace(7, 1, "\x80") + Filler(100)},
        {"past the end", Tag(3, Frame("TIT2", Text("x")), 3000).substr(0, 2000)},
        // Declares 300 bytes where the tag has 12 and the audio follows.
        // Only its header and frame are proven: they go, the rest of the declared 310
        // bytes stays inside the new tag.
        {"size into audio", Tag(3, Frame("TIT2", Text("x"))).replace(6, 4, Synchsafe(300)) + Filler(3000), 22,
         2058 - 288 - 22},
    };
    for (const Case &c : cases) {
        WriteAll(path, c.bytes);
        auto t = Bind(path);
        t.Title("a longer title");
        t.Update();
        const std::string out = ReadAll(path);
        ASSERT_EQ(out.size(), c.bytes.size() + c.grow) << c.name;
        EXPECT_EQ(out.substr(c.grow + c.cut), c.bytes.substr(c.cut)) << c.name;
        EXPECT_EQ(Bind(path).Title(), "a longer title") << c.name;
    }
}

TEST(ID3v2Write, GrowthKeepsPermissionsAndLinks) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    WriteAll(path, Filler(5000));
    ::chmod(path.c_str(), 0640);
    const auto link = dir.file("link.mp3");
    fs::create_symlink(path, link);
    auto t = Bind(link);
    t.Title("x");
    t.Update();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Bind(path).Title(), "x");
    EXPECT_EQ(FilesIn(dir.path()), 2u);
}

TEST(ID3v2Write, ReadOnlyFileFailsAndStaysUnchanged) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    const std::string original = Tag(3, Frame("TIT2", Text("x")), 100) + Filler(500);
    WriteAll(path, original);
    auto t = Bind(path);
    t.Title("y");
    // Root may write read-only files; the fault hook stands in for the refusal then.
    ::chmod(path.c_str(), 0444);
    HookGuard hook([&](fileops::Op op, const std::string &) { return op == fileops::Op::Open && ::geteuid() == 0 ? EACCES : 0; });
    try {
        t.Update();
        FAIL();
    } catch (const TagError &e) {
        EXPECT_EQ(e.number(), EACCES);
        EXPECT_EQ(e.description(), std::strerror(EACCES));
    }
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_EQ(t.Title(), "y");
}
