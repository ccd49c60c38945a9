// Faults around the ID3v2 write path that the OS produces by itself: a file gone
// between listing and writing, a folder that takes no new files.
#include "Id3Bytes.h"
#include "TagError.h"
#include "TestUtil.h"
#include "id3v2/Mp3TagID3v2.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace tags;
using namespace id3bytes;
using testutil::Filler;
using testutil::ReadAll;
using testutil::TempDir;
using testutil::WriteAll;
namespace fs = std::filesystem;

TEST(ID3v2Faults, FileGoneBeforeWritingIsAnErrorAndStaysGone) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    WriteAll(path, Tag(3, Frame("TIT2", Text("x")), 100) + Filler(3000));
    Mp3TagID3v2 t;
    t.MP3File(path);
    t.Title("neu");
    fs::remove(path);
    try {
        t.Update();
        FAIL() << "no error";
    } catch (const TagError &e) {
        EXPECT_EQ(e.number(), fileops::kErrNotFound);
        EXPECT_EQ(e.source(), "tags_tests.cMP3ID3v2");
        EXPECT_FALSE(e.description().empty());
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(ID3v2Faults, ReadOnlyFolderStillTakesInPlaceWritesButNoGrowth) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder's read-only attribute does not keep files out on Windows";
#endif
    TempDir dir;
    const fs::path folder = dir.path() / "album";
    fs::create_directory(folder);
    const std::string path = (folder / "a.mp3").string();
    const std::string original = Tag(3, Frame("TIT2", Text("x")), 200) + Filler(5000);
    WriteAll(path, original);
    fs::permissions(path, fs::perms::all);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);

    const int result = testutil::AsOrdinaryUser([&] {
        Mp3TagID3v2 t;
        t.MP3File(path);
        t.Title("kurz"); // fits the old tag
        t.Update();
        t.Title(std::string(400, 'l')); // needs a new file beside the old one
        try {
            t.Update();
        } catch (const TagError &e) {
            return e.number() == fileops::kErrAccess && e.source() == "tags_tests.cMP3ID3v2" ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(result, 0);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);

    // The in-place write landed, the growth left the file whole and nothing beside it.
    const std::string now = ReadAll(path);
    ASSERT_EQ(now.size(), original.size());
    EXPECT_EQ(now.substr(now.size() - 5000), original.substr(original.size() - 5000));
    Mp3TagID3v2 back;
    back.MP3File(path);
    EXPECT_EQ(back.Title(), "kurz");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}
