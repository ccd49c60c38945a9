// A process rewriting a large file through the growth path is killed at random
// moments: the file is afterwards always the old content or the new, never a mix.
// With a second hard link the new content is copied over the file itself; the next
// access finishes a copy that a kill cut short, and both names then show one whole file.
#include "Id3Bytes.h"
#include "TestUtil.h"
#include "id3v2/Mp3TagID3v2.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tags;
using namespace id3bytes;
using testutil::Filler;
using testutil::ReadAll;
using testutil::TempDir;
using testutil::WriteAll;

namespace {

// Rewrites the file with a title too long for the old tag, in a child process.
pid_t StartRewrite(const std::string &path) {
    const pid_t pid = fork();
    if (pid == 0) {
        try {
            Mp3TagID3v2 t;
            t.MP3File(path);
            t.Title(std::string(3000, 'n'));
            t.Update();
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    return pid;
}

} // namespace

class GrowthKill : public ::testing::TestWithParam<bool> {};

TEST_P(GrowthKill, KilledRewriteLeavesOldOrNewFile) {
    const bool linked = GetParam();
    TempDir dir;
    const std::string path = dir.file("big.mp3"), other = dir.file("other.mp3");
    const std::string old = Tag(3, Frame("TIT2", Text("alt")), 100) + Filler(8 << 20, 3);

    // The new content, and how long a whole rewrite takes.
    WriteAll(path, old);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t probe = StartRewrite(path);
    ASSERT_GT(probe, 0);
    int status = 0;
    waitpid(probe, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    const std::string fresh = ReadAll(path);
    ASSERT_GT(fresh.size(), old.size());

    std::mt19937 rng(12345);
    int sawOld = 0, sawNew = 0, cutCopies = 0;
    for (int round = 0; round < 60; ++round) {
        std::filesystem::remove(other);
        WriteAll(path, old);
        if (linked) std::filesystem::create_hard_link(path, other);
        const pid_t pid = StartRewrite(path);
        ASSERT_GT(pid, 0);
        const auto wait = std::uniform_int_distribution<long long>(0, full.count() * 2)(rng);
        std::this_thread::sleep_for(std::chrono::microseconds(wait));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);

        if (linked) {
            for (const auto &e : std::filesystem::directory_iterator(dir.path()))
                cutCopies += e.path().extension() == ".new" ? 1 : 0;
            Mp3TagID3v2 reader; // through the other name: finishes an interrupted copy
            reader.MP3File(other);
            struct stat a {}, b {};
            ASSERT_EQ(::stat(path.c_str(), &a), 0);
            ASSERT_EQ(::stat(other.c_str(), &b), 0);
            ASSERT_EQ(a.st_ino, b.st_ino) << "names split in round " << round;
        }
        const std::string now = ReadAll(path);
        if (now == old) {
            ++sawOld;
        } else {
            ASSERT_EQ(now.size(), fresh.size()) << "round " << round;
            ASSERT_TRUE(now == fresh) << "mixed content in round " << round;
            ++sawNew;
        }
    }
    // A killed writer may leave its temporary file behind; the next growth in the
    // folder clears it (that of a running process stays).
    const std::string alive = dir.file(".sortimentor-" + std::to_string(getpid()) + "-77.tmp");
    WriteAll(alive, "x");
    WriteAll(path, old);
    Mp3TagID3v2 t;
    t.MP3File(path);
    t.Title(std::string(5000, 'z'));
    t.Update();
    size_t others = 0;
    for (const auto &e : std::filesystem::directory_iterator(dir.path()))
        others += e.path() != path && e.path() != alive && e.path() != other ? 1 : 0;
    EXPECT_EQ(others, 0u);
    EXPECT_TRUE(std::filesystem::exists(alive));
    // The kills landed on both sides of the rename.
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
    if (linked) {
        EXPECT_GT(cutCopies, 0) << "no kill landed inside the copy over the file";
    }
    RecordProperty("old", sawOld);
    RecordProperty("new", sawNew);
    RecordProperty("cut_copies", cutCopies);
}

INSTANTIATE_TEST_SUITE_P(Names, GrowthKill, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "hard_linked" : "single"; });
