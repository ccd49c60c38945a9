// What makes a file the user's survives a growing write: owner, group, mode and every
// hard link's view of it.
#include "TestUtil.h"
#include "WriteCheck.h"

#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

using namespace tags;
using namespace testutil;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

struct IdentityRow {
    const char *name;
    bool asNobody; // write as an ordinary user instead of root
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool secondName; // a hard link beside the file
    bool symlink = false; // written through a symbolic link to it
};

class FileIdentity : public ::testing::TestWithParam<IdentityRow> {};

TEST_P(FileIdentity, GrowingWriteKeepsOwnerModeAndLinks) {
    const IdentityRow &r = GetParam();
    if (::geteuid() != 0 && (r.asNobody || r.owner || r.group)) GTEST_SKIP() << "needs root to hand the file to another owner";
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const std::string path = dir.file("a.mp3"), other = dir.file("b.mp3");
    const std::string audio = streambytes::Stream({}, 40), trailer = id3bytes::V1("alt", "Band");
    const std::string before =
        id3bytes::Tag(3, id3bytes::Frame("TIT2", id3bytes::Text("alt")) + id3bytes::Frame("TPE1", id3bytes::Text("B")), 20) +
        audio + trailer;
    WriteAll(path, before);
    ASSERT_EQ(::chown(path.c_str(), r.owner, r.group), 0);
    ASSERT_EQ(::chmod(path.c_str(), r.mode), 0);
    if (r.secondName) fs::create_hard_link(path, other);
    if (r.symlink) fs::create_symlink(path, other);
    struct stat was {};
    ASSERT_EQ(::stat(path.c_str(), &was), 0);

    const std::string title(3000, 'n'); // far beyond the old tag: the growth path
    auto write = [&] {
        try {
            return testutil::WriteTitle<Mp3TagID3v2>(r.symlink ? other : path, title), 0;
        } catch (const TagError &e) {
            return e.number();
        }
    };
    ASSERT_EQ(r.asNobody ? testutil::AsOrdinaryUser(write) : write(), 0);

    struct stat now {};
    ASSERT_EQ(::stat(path.c_str(), &now), 0);
    EXPECT_EQ(std::tuple(now.st_uid, now.st_gid, now.st_mode, now.st_nlink),
              std::tuple(was.st_uid, was.st_gid, was.st_mode, was.st_nlink));
    struct stat o {};
    if (r.secondName) {
        EXPECT_TRUE(::stat(other.c_str(), &o) == 0 && o.st_ino == now.st_ino) << "the names were split";
    }
    EXPECT_EQ(fs::is_symlink(other), r.symlink);
    EXPECT_EQ(Names(dir.path()).size(), r.secondName || r.symlink ? 2u : 1u);
    EXPECT_TRUE(writecheck::WriteKept(before, path, {title, audio, trailer, {}}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileIdentity,
    ::testing::Values(IdentityRow{"root_keeps_another_owner", false, kNobody, kNobody, 0640, false},
                      IdentityRow{"user_keeps_root_as_owner", true, 0, 0, 0666, false},
                      IdentityRow{"both_hard_links_see_the_write", false, 0, 0, 0644, true},
                      IdentityRow{"user_writes_a_linked_file_of_root", true, 0, kNobody, 0666, true},
                      IdentityRow{"through_a_symbolic_link", false, 0, 0, 0640, false, true}), testutil::RowName);

} // namespace
