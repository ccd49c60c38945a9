// The file layer against the system itself: names outside ASCII, files and folders
// without write permission; on Windows other programs holding the file open, and the
// system's error messages.
#include "TestUtil.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

using namespace tags;
using namespace id3bytes;
using namespace testutil;
namespace fs = std::filesystem;

namespace {

// A tag with 100 bytes of padding: a short title fits, a long one makes the file grow.
const std::string kOriginal = Tag(3, Frame("TIT2", Text("alt")), 100) + Filler(6000);
const std::string kShort = "kurz";
const std::string kLong(400, 'l');

// Writes the title through one tag class; returns the error number, 0 on success.
template <class T = Mp3TagID3v2> int TitleError(const std::string &path, const std::string &title) {
    try {
        WriteTitle<T>(path, title);
        return 0;
    } catch (const TagError &e) {
        EXPECT_EQ(e.description(), SystemErrorText(e.number()));
        return e.number();
    }
}

} // namespace

// Writes in a folder and file named outside ASCII, as an ordinary user; without write
// permission on the file or folder only in place in a read-only folder works, and the
// file stays as it was.
enum class Lock { None, File, Folder };
struct RefusalRow {
    const char *name;
    bool v1; // the ID3v1 class, else ID3v2
    Lock lock;
    std::string title;
    int err; // 0: the write goes through
};

class Refusals : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(Refusals, FileKeptOrWrittenWhole) {
    const RefusalRow &r = GetParam();
#ifdef _WIN32
    if (r.lock == Lock::Folder) GTEST_SKIP() << "a folder's read-only attribute does not keep files out on Windows";
#endif
    TempDir dir;
    const fs::path folder = dir.path() / fileops::PathFromUtf8("Alb\u00fcm \u97f3\u697d");
    fs::create_directory(folder);
    const std::string name = "Bj\u00f6rk \u30c6\u30b9\u30c8.mp3", path = fileops::Utf8FromPath(folder / fileops::PathFromUtf8(name));
    WriteAll(path, kOriginal);
    const auto readOnly = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    for (const fs::path &p : {folder, fileops::PathFromUtf8(path)}) fs::permissions(p, fs::perms::all);
    if (r.lock != Lock::None) fs::permissions(r.lock == Lock::Folder ? folder : fileops::PathFromUtf8(path), readOnly, fs::perm_options::remove);
    const int err = testutil::AsOrdinaryUser([&] { return r.v1 ? TitleError<Mp3TagID3v1>(path, r.title) : TitleError(path, r.title); });
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(err, r.err);
    // One file, under its own name: nothing written beside it under a mangled one.
    EXPECT_EQ(Names(folder), std::set<std::string>{name});
    const std::string out = ReadAll(path);
    if (r.err) {
        EXPECT_TRUE(testutil::SameBytes(out, kOriginal));
    } else if (r.v1) {
        EXPECT_EQ(out.substr(out.size() - 128 - 6000, 6000), Filler(6000));
    } else {
        Mp3TagID3v2 back;
        back.MP3File(path);
        EXPECT_EQ(back.Title(), r.title);
        EXPECT_EQ(out.substr(out.size() - 6000), Filler(6000));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Refusals, ::testing::Values(
    RefusalRow{"v1_writable", true, Lock::None, kShort, 0},
    RefusalRow{"v2_writable_growth", false, Lock::None, kLong, 0},
    RefusalRow{"v1_read_only_file", true, Lock::File, kShort, fileops::kErrAccess},
    RefusalRow{"v2_read_only_file", false, Lock::File, kShort, fileops::kErrAccess},
    RefusalRow{"v2_read_only_file_growth", false, Lock::File, kLong, fileops::kErrAccess},
    RefusalRow{"v2_read_only_folder_in_place", false, Lock::Folder, kShort, 0},
    RefusalRow{"v2_read_only_folder_growth", false, Lock::Folder, kLong, fileops::kErrAccess}), testutil::RowName);

#ifdef _WIN32

TEST(WindowsFiles, GrowthKeepsHiddenAndSystemAttributes) {
    TempDir dir;
    const std::string path = dir.file("a.mp3");
    WriteAll(path, kOriginal);
    const std::wstring wide = fileops::PathFromUtf8(path).wstring();
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), kept));
    ASSERT_EQ(TitleError(path, kLong), 0);
    EXPECT_EQ(GetFileAttributesW(wide.c_str()) & kept, kept);
    const std::string out = ReadAll(path);
    EXPECT_EQ(out.substr(out.size() - 6000), Filler(6000));
}

// Another program (a player) has the file open while the tags are written.
TEST(WindowsFiles, FileHeldOpenByAnotherProgram) {
    struct Case {
        const char *name;
        DWORD access, share;
        std::string title;
        DWORD error; // 0: the write goes through
    } cases[] = {
        // Shares reading only: no one may write, the open for writing is refused.
        {"reader sharing read, in place", GENERIC_READ, FILE_SHARE_READ, kShort, ERROR_SHARING_VIOLATION},
        {"reader sharing read, growth", GENERIC_READ, FILE_SHARE_READ, kLong, ERROR_SHARING_VIOLATION},
        // Shares writing too: the tag is written in place, but the file cannot be
        // replaced under the open handle, so growth fails and leaves it whole.
        {"reader sharing read+write, in place", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, kShort, 0},
        {"reader sharing read+write, growth", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, kLong, ERROR_ACCESS_DENIED},
        // A writer that lets others read: our write is refused.
        {"writer sharing read+write", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, kShort,
         ERROR_SHARING_VIOLATION},
    };
    for (const Case &c : cases) {
        TempDir dir;
        const std::string path = dir.file("held.mp3");
        WriteAll(path, kOriginal);
        HANDLE other = CreateFileW(fileops::PathFromUtf8(path).wstring().c_str(), c.access, c.share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE) << c.name;
        const int err = TitleError(path, c.title);
        CloseHandle(other);
        if (c.error == ERROR_ACCESS_DENIED) // what a rename over an open file gives varies by file system
            EXPECT_TRUE(err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) << c.name << ": " << err;
        else
            EXPECT_EQ(err, static_cast<int>(c.error)) << c.name;
        Mp3TagID3v2 back;
        back.MP3File(path);
        EXPECT_EQ(back.Title(), c.error ? "alt" : c.title) << c.name;
        if (c.error) {
            EXPECT_EQ(ReadAll(path), kOriginal) << c.name;
        }
        EXPECT_EQ(Names(dir.path()).size(), 1u) << c.name;
    }
}

// While the layer has a file open, a player may open it for reading, never for writing.
TEST(WindowsFiles, OpenFileLetsOthersReadOnly) {
    TempDir dir;
    const std::string path = dir.file("a.mp3");
    WriteAll(path, kOriginal);
    const std::wstring wide = fileops::PathFromUtf8(path).wstring();
    for (auto mode : {fileops::File::Mode::Read, fileops::File::Mode::ReadWrite}) {
        fileops::File f("test");
        f.Open(path, mode);
        HANDLE reader = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(reader, INVALID_HANDLE_VALUE);
        CloseHandle(reader);
        HANDLE writer = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    }
}

#endif
