// What makes a file the user's survives a growing write: owner, group, mode and every
// hard link's view of it. Anything that is not a regular file is refused at once.
#include "FieldWrite.h"
#include "TestUtil.h"
#include "WriteCheck.h"

#include <csignal>
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
};

class FileIdentity : public ::testing::TestWithParam<IdentityRow> {};

TEST_P(FileIdentity, GrowingWriteKeepsOwnerModeAndLinks) {
    const IdentityRow &r = GetParam();
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the file to another owner";
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
    struct stat was {};
    ASSERT_EQ(::stat(path.c_str(), &was), 0);

    const std::string title(3000, 'n'); // far beyond the old tag: the growth path
    auto write = [&] {
        try {
            return testutil::WriteTitle<Mp3TagID3v2>(path, title), 0;
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
    EXPECT_EQ(Names(dir.path()).size(), r.secondName ? 2u : 1u);
    EXPECT_TRUE(writecheck::WriteKept(before, path, {title, audio, trailer, {}}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileIdentity,
    ::testing::Values(IdentityRow{"root_keeps_another_owner", false, kNobody, kNobody, 0640, false},
                      IdentityRow{"user_keeps_root_as_owner", true, 0, 0, 0666, false},
                      IdentityRow{"both_hard_links_see_the_write", false, 0, 0, 0644, true},
                      IdentityRow{"user_writes_a_linked_file_of_root", true, 0, kNobody, 0666, true}), testutil::RowName);

struct Odd {
    const char *name;
    std::function<std::string(const TempDir &)> make;
    int err;
};

// Update on an object whose read failed: the path is bound all the same.
template <class Tag> void BindAndUpdate(const std::string &path) {
    Tag t;
    try {
        t.MP3File(path);
    } catch (const TagError &) {
    }
    t.Update();
}

class NotRegular : public ::testing::TestWithParam<Odd> {};

TEST_P(NotRegular, IsRefusedAtOnceByEveryEntry) {
    TempDir dir;
    const std::string path = GetParam().make(dir);
    ASSERT_FALSE(path.empty());
    const std::vector<std::pair<const char *, std::function<void()>>> entries = {
        {"v1 read", [&] { Mp3TagID3v1().MP3File(path); }},
        {"v2 read", [&] { Mp3TagID3v2().MP3File(path); }},
        {"v1 write", [&] { BindAndUpdate<Mp3TagID3v1>(path); }},
        {"v2 write", [&] { BindAndUpdate<Mp3TagID3v2>(path); }},
        {"both", [&] {
             Mp3TagID3v1 v1;
             Mp3TagID3v2 v2;
             FieldValues v;
             v.title = "x";
             WriteFields(path, v, v1, v2);
         }}};
    ::alarm(20); // a blocking open ends the test here
    for (const auto &[what, run] : entries) {
        try {
            run();
            ADD_FAILURE() << what << ": no error";
        } catch (const TagError &e) {
            EXPECT_EQ(e.number(), GetParam().err) << what;
            EXPECT_FALSE(e.description().empty()) << what;
        }
    }
    ::alarm(0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NotRegular,
    ::testing::Values(
        Odd{"fifo", [](const TempDir &d) { return ::mkfifo(d.file("f.mp3").c_str(), 0644) == 0 ? d.file("f.mp3") : ""; },
            EINVAL},
        Odd{"folder", [](const TempDir &d) { return fs::create_directory(d.file("d.mp3")) ? d.file("d.mp3") : ""; },
            EISDIR},
        Odd{"device_through_link", [](const TempDir &d) { return fs::create_symlink("/dev/null", d.file("n.mp3")), d.file("n.mp3"); },
            EINVAL}),
    testutil::RowName);

} // namespace
