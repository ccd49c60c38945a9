// Open and read failures on the ID3v1 paths carry the OS number and the class's
// source (write failures: test_write_faults.cpp).
#include "FileOps.h"
#include "TagError.h"
#include "TestUtil.h"
#include "id3v1/Mp3TagID3v1.h"

#include <gtest/gtest.h>

using namespace tags;
using testutil::Filler;
using testutil::ReadAll;
using testutil::TempDir;
using testutil::WriteAll;

namespace {

using HookGuard = testutil::FaultHookGuard;

void ExpectErrno(const std::function<void()> &fn, int err) {
    try {
        fn();
        ADD_FAILURE() << "no error";
    } catch (const TagError &e) {
        EXPECT_EQ(e.number(), err);
        EXPECT_EQ(e.source(), ExecutableBaseName() + ".cMP3ID3v1");
        EXPECT_FALSE(e.description().empty());
    }
}

} // namespace

TEST(ID3v1Faults, OpenAndReadFailuresArePassedThrough) {
    TempDir dir;
    const auto path = dir.file("a.mp3");
    const std::string audio = Filler(300);
    WriteAll(path, audio);
    Mp3TagID3v1 t;
    t.MP3File(path);
    {
        HookGuard hook([](fileops::Op op, const std::string &) { return op == fileops::Op::Open ? EACCES : 0; });
        ExpectErrno([&] { t.Update(); }, EACCES);
        ExpectErrno([&] { t.MP3File(path); }, EACCES);
        EXPECT_EQ(t.Genre(), 255);
    }
    {
        HookGuard hook([](fileops::Op op, const std::string &) { return op == fileops::Op::Read ? EIO : 0; });
        ExpectErrno([&] { t.Update(); }, EIO);
    }
    EXPECT_EQ(ReadAll(path), audio);

    // A file that vanished between listing and writing.
    std::filesystem::remove(path);
    ExpectErrno([&] { t.Update(); }, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(path));
}
