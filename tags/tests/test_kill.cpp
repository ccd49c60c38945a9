// A process rewriting a large file through the growth path is killed at random
// moments: the file is afterwards always the old content or the new, never a mix.
// With a second hard link the new content is copied over the file itself; the next
// access finishes a copy that a kill cut short, and both names then show one whole file.
#include "TestUtil.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <thread>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <process.h>
#include <windows.h>
#define getpid _getpid
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace tags;
using namespace id3bytes;
using namespace testutil;

namespace {

// Rewrites the file with a title too long for the old tag.
void Rewrite(const std::string &path) { testutil::WriteTitle<Mp3TagID3v2>(path, std::string(3000, 'n')); }

#ifdef _WIN32
// Windows has no fork: the writer is this program started again with the file in
// its environment, and it rewrites and leaves before any test runs.
const wchar_t kWriterVar[] = L"SORTI_REWRITE_FILE";
const bool kIsWriter = [] {
    if (const wchar_t *p = _wgetenv(kWriterVar)) {
        try {
            Rewrite(fileops::Utf8FromPath(std::filesystem::path(p)));
        } catch (...) {
            std::_Exit(1);
        }
        std::_Exit(0);
    }
    return false;
}();
#endif

// A rewrite in a process of its own, to be killed or waited for.
class Writer {
public:
    explicit Writer(const std::string &path) {
#ifdef _WIN32
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring cmd = L"\"" + std::wstring(exe) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        SetEnvironmentVariableW(kWriterVar, fileops::PathFromUtf8(path).wstring().c_str());
        started_ = CreateProcessW(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
        SetEnvironmentVariableW(kWriterVar, nullptr);
#else
        pid_ = fork();
        if (pid_ == 0) {
            try {
                Rewrite(path);
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        started_ = pid_ > 0;
#endif
    }
    ~Writer() {
#ifdef _WIN32
        if (started_) {
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
#endif
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    bool Started() const { return started_; }
    void Kill() {
#ifdef _WIN32
        TerminateProcess(pi_.hProcess, 9);
        killed_ = true;
#else
        kill(pid_, SIGKILL);
#endif
    }
    // Waits for the end; true when the rewrite went through.
    bool Succeeded() {
#ifdef _WIN32
        DWORD code = 1;
        // A kill that came while the process was still starting may not take: repeat it.
        while (WaitForSingleObject(pi_.hProcess, killed_ ? 5000 : INFINITE) == WAIT_TIMEOUT)
            TerminateProcess(pi_.hProcess, 9);
        return GetExitCodeProcess(pi_.hProcess, &code) && code == 0;
#else
        int status = 0;
        return waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
    }

private:
    bool started_ = false;
#ifdef _WIN32
    PROCESS_INFORMATION pi_{};
    bool killed_ = false;
#else
    pid_t pid_ = -1;
#endif
};

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
    {
        Writer probe(path);
        ASSERT_TRUE(probe.Started());
        ASSERT_TRUE(probe.Succeeded());
    }
    const auto full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    const std::string fresh = ReadAll(path);
    ASSERT_GT(fresh.size(), old.size());

    std::mt19937 rng(12345);
    int sawOld = 0, sawNew = 0, cutCopies = 0;
    // Kills land at random; a slow process start (wine) can hide the copy window for a
    // while, so the rounds go on until every outcome was seen, within a bound.
    auto seenAll = [&] { return sawOld > 0 && sawNew > 0 && (!linked || cutCopies > 0); };
    for (int round = 0; round < 60 || (round < 240 && !seenAll()); ++round) {
        std::filesystem::remove(other);
        WriteAll(path, old);
        if (linked) std::filesystem::create_hard_link(path, other);
        Writer writer(path);
        ASSERT_TRUE(writer.Started());
        const auto wait = std::uniform_int_distribution<long long>(0, full.count() * 2)(rng);
        std::this_thread::sleep_for(std::chrono::microseconds(wait));
        writer.Kill();
        writer.Succeeded();

        if (linked) {
            for (const auto &e : std::filesystem::directory_iterator(dir.path()))
                cutCopies += e.path().extension() == ".new" ? 1 : 0;
            Mp3TagID3v2 reader; // through the other name: finishes an interrupted copy
            reader.MP3File(other);
            ASSERT_TRUE(testutil::SameFile(path, other)) << "names split in round " << round;
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
    testutil::WriteTitle<Mp3TagID3v2>(path, std::string(5000, 'z'));
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
}

INSTANTIATE_TEST_SUITE_P(Names, GrowthKill, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "hard_linked" : "single"; });
