// A process rewriting a large file through the growth path is killed at random
// moments: the file is afterwards always the old content or the new, never a mix.
// With a second hard link the new content is copied over the file itself; the next
// access (here through a symbolic link from another folder) finishes a copy that a kill
// cut short, and both names then show one whole file.
// In place, the writer stopped before each of its writes in turn leaves both tags alike
// once the next open has finished its work.
#include "FieldWrite.h"
#include "FileEdit.h"
#include "FolderRecovery.h"
#include "TestUtil.h"
#include "UndoRecord.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
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

// Rewrites the file with a title too long for the old tag; the exit code of the writer.
int Rewrite(const std::string &path) {
    try {
        WriteTitle<Mp3TagID3v2>(path, std::string(3000, 'n'));
        return 0;
    } catch (...) {
        return 1;
    }
}

// A rewrite in a process of its own, to be killed or waited for.
struct Writer {
#ifdef _WIN32
    // Windows has no fork: the writer is this program started again with the file in
    // its environment, and it rewrites and leaves before any test runs.
    static constexpr wchar_t kVar[] = L"SORTI_REWRITE_FILE";
    PROCESS_INFORMATION pi{};
    bool killed = false;
    explicit Writer(const std::string &path) {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring cmd = L"\"" + std::wstring(exe) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        SetEnvironmentVariableW(kVar, fileops::PathFromUtf8(path).wstring().c_str());
        // Under wine a start fails now and then while another test starts processes too.
        for (int tries = 3; tries-- && !CreateProcessW(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);)
            pi = {}, Sleep(200);
        SetEnvironmentVariableW(kVar, nullptr);
    }
    ~Writer() {
        if (pi.hProcess) CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
    }
    bool Started() const { return pi.hProcess != nullptr; }
    void Kill() { TerminateProcess(pi.hProcess, 9), killed = true; }
    bool Succeeded() {
        DWORD code = 1;
        // A kill that came while the process was still starting may not take: repeat it.
        while (WaitForSingleObject(pi.hProcess, killed ? 5000 : INFINITE) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 9);
        return GetExitCodeProcess(pi.hProcess, &code) && code == 0;
    }
#else
    pid_t pid;
    explicit Writer(const std::string &path) : pid(fork()) {
        if (pid == 0) _exit(Rewrite(path));
    }
    bool Started() const { return pid > 0; }
    void Kill() { kill(pid, SIGKILL); }
    bool Succeeded() {
        int status = 0;
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
#endif
};

#ifdef _WIN32
const bool kIsWriter = [] {
    if (const wchar_t *p = _wgetenv(Writer::kVar)) std::_Exit(Rewrite(fileops::Utf8FromPath(std::filesystem::path(p))));
    return false;
}();
#endif

class GrowthKill : public ::testing::TestWithParam<bool> {};

TEST_P(GrowthKill, KilledRewriteLeavesOldOrNewFile) {
    const bool linked = GetParam();
    TempDir dir;
    std::string path = dir.file("big.mp3"), other = dir.file("other.mp3");
    const std::string old = Tag(3, Frame("TIT2", Text("alt")), 100) + Filler(8 << 20, 3);

    // The new content, and how long a whole rewrite takes.
    WriteAll(path, old);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(Writer(path).Succeeded());
    const auto full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    const std::string fresh = ReadAll(path);
    ASSERT_GT(fresh.size(), old.size());

    std::mt19937 rng(12345);
    int sawOld = 0, sawNew = 0, cutCopies = 0;
    // Kills land at random; a slow process start (wine) can hide the copy window for a
    // while, so the rounds go on until every outcome was seen, within a bound.
    auto seenAll = [&] { return sawOld > 0 && sawNew > 0 && (!linked || cutCopies > 0); };
    // A folder of its own each round: this process looks for what killed writers left in
    // a folder once, at its first open there.
    std::unique_ptr<TempDir> roundDir;
    for (int round = 0; round < 60 || (round < 240 && !seenAll()); ++round) {
        roundDir = std::make_unique<TempDir>();
        path = roundDir->file("big.mp3"), other = roundDir->file("other.mp3");
        WriteAll(path, old);
        if (linked) std::filesystem::create_hard_link(path, other);
        Writer writer(path);
        ASSERT_TRUE(writer.Started());
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<long long>(0, full.count() * 2)(rng)));
        writer.Kill();
        writer.Succeeded();
        if (linked) {
            for (const auto &name : Names(roundDir->path())) cutCopies += name.ends_with(".new") ? 1 : 0;
            // Through a link in another folder to the other name: finishes an interrupted copy.
            const std::string link = dir.file("link" + std::to_string(round) + ".mp3");
            std::error_code noLinks; // Windows without the right to make them
            std::filesystem::create_symlink(other, link, noLinks);
            Mp3TagID3v2 reader;
            reader.MP3File(noLinks ? other : link);
        }
        const std::string now = ReadAll(path);
        ASSERT_TRUE(now == old || now == fresh) << "mixed content in round " << round;
        ASSERT_TRUE(!linked || SameFile(path, other)) << "names split in round " << round;
        ++(now == old ? sawOld : sawNew);
    }
    // A killed writer may leave its temporary file behind; the next growth in the
    // folder clears it (that of a running process stays).
    const std::string alive = ".sortimentor-" + std::to_string(getpid()) + "-77.tmp";
    WriteAll(roundDir->file(alive), "x");
    WriteAll(path, old);
    ASSERT_EQ(Rewrite(path), 0);
    std::set<std::string> left{"big.mp3", alive};
    if (linked) left.insert("other.mp3");
    EXPECT_EQ(Names(roundDir->path()), left);
    // The kills landed on both sides of the rename, and inside the copy over the file.
    EXPECT_TRUE(seenAll()) << sawOld << " old, " << sawNew << " new, " << cutCopies << " cut copies";
}

INSTANTIATE_TEST_SUITE_P(Names, GrowthKill, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "hard_linked" : "single"; });

#ifndef _WIN32
TEST(InPlaceKill, StoppedBeforeEachWriteLeavesBothTagsOldOrNew) {
    const std::string old = Tag(3, Frame("TIT2", Text("alt")) + Frame("TPE1", Text("Band")), 100) + Filler(4096) + V1("alt", "Band");
    std::unique_ptr<TempDir> dir;
    std::string path;
    // Exits the writer at its stop-th write (0: never); the exit code, 3 when stopped.
    const auto write = [&](int stop) {
        dir = std::make_unique<TempDir>();
        path = dir->file("a.mp3");
        WriteAll(path, old);
        const pid_t pid = fork();
        if (pid == 0) {
            int writes = 0;
            fileops::SetFaultHook([&](fileops::Op op, const std::string &) {
                if (op == fileops::Op::Write && ++writes == stop) _exit(3);
                return 0;
            });
            Mp3TagID3v1 v1;
            Mp3TagID3v2 v2;
            FieldValues values;
            values.artist = "Neue Band", values.title = "Neuer Titel";
            WriteFields(path, values, v1, v2);
            _exit(0);
        }
        int status = 0, read = 0;
        waitpid(pid, &status, 0);
        // The next process to open the file finishes what the writer left.
        if (const pid_t reader = fork(); reader == 0) {
            Mp3TagID3v2 v2;
            v2.MP3File(path);
            _exit(0);
        } else {
            waitpid(reader, &read, 0);
        }
        return WIFEXITED(status) && WIFEXITED(read) && WEXITSTATUS(read) == 0 ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(write(0), 0);
    const std::string fresh = ReadAll(path);
    ASSERT_NE(fresh, old);
    int stop = 1;
    for (; stop < 50 && write(stop) == 3; ++stop) {
        const std::string now = ReadAll(path);
        ASSERT_TRUE(now == old || now == fresh) << "mixed after stopping before write " << stop;
        ASSERT_EQ(Names(dir->path()), std::set<std::string>{"a.mp3"}) << stop;
    }
    EXPECT_GT(stop, 2) << "the write took fewer steps than both tags need";
}
#endif

// One change over two pages can be cut short between them: its undo record is on the
// disk before its bytes are written, in the file's own folder, also where one record
// serves many writes (tagprobe) and the one before was in another folder.
TEST(InPlaceKill, ChangeOverTwoPagesHasItsRecordFirst) {
    const std::string before =
        Tag(3, Frame("TXXX", Text(std::string(4060, 'x'))) + Frame("TIT2", Text(std::string(40, 'a'))), 100) + Filler(1000);
    TempDir dir, other;
    const std::string path = dir.file("a.mp3");
    const fileops::UndoRecordReuse oneRecord;
    WriteAll(other.file("b.mp3"), before);
    WriteTitle<Mp3TagID3v2>(other.file("b.mp3"), std::string(40, 'b'));
    WriteAll(path, before);
    bool recorded = false;
    FaultHookGuard hook([&](fileops::Op op, const std::string &p) {
        if (op == fileops::Op::Write && p == path)
            for (const std::string &n : Names(dir.path())) recorded = recorded || n.ends_with(".undo");
        return 0;
    });
    WriteTitle<Mp3TagID3v2>(path, std::string(40, 'b'));
    EXPECT_TRUE(recorded);
}

#ifndef _WIN32
// The temporary file of a writer that still runs stays; once it is gone (a zombie
// not yet collected is gone too), the file goes.
TEST(DeadWriters, OnlyTheFilesOfGoneWritersGo) {
    TempDir dir;
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    const std::string name = ".sortimentor-" + std::to_string(child) + "-0.tmp";
    WriteAll(dir.file(name), "x");
    fileops::RecoverFolder(dir.file(""));
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{name});
    kill(child, SIGKILL);
    siginfo_t info{};
    waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
    fileops::RecoverFolder(dir.file(""));
    EXPECT_TRUE(Names(dir.path()).empty());
    waitpid(child, nullptr, 0);
}
#endif

} // namespace
