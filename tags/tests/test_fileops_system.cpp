// The file layer against the system itself: names outside ASCII, files and folders
// without write permission, on Windows other programs holding the file open; errors
// carry the system's messages.
#include "TestUtil.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
#ifdef __linux__
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cstddef>
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
template <class T> int TitleError(const std::string &path, const std::string &title) {
    try {
        WriteTitle<T>(path, title);
        return 0;
    } catch (const TagError &e) {
        EXPECT_EQ(e.description(), SystemErrorText(e.number()));
        return e.number();
    }
}

// Writes in a folder and file named outside ASCII, as an ordinary user; without write
// permission on the file or folder only in place in a read-only folder works, and the
// file stays as it was. On Windows another program (a player) may hold the file open:
// reading only, sharing reading (or reading and writing), or writing.
enum class Lock { None, File, Folder, Reader, SharingReader, Writer };
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
    TempDir dir;
    const fs::path folder = dir.path() / fileops::PathFromUtf8("Alb\u00fcm \u97f3\u697d");
    fs::create_directory(folder);
    const std::string name = "Bj\u00f6rk \u30c6\u30b9\u30c8.mp3", path = fileops::Utf8FromPath(folder / fileops::PathFromUtf8(name));
    WriteAll(path, kOriginal);
    const auto readOnly = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    for (const fs::path &p : {folder, fileops::PathFromUtf8(path)}) fs::permissions(p, fs::perms::all);
    if (r.lock == Lock::File || r.lock == Lock::Folder)
        fs::permissions(r.lock == Lock::Folder ? folder : fileops::PathFromUtf8(path), readOnly, fs::perm_options::remove);
#ifdef _WIN32
    // A growth keeps these attributes; a reader sharing writing lets the write go in place, never
    // replace the file under its handle (what the rename gives then varies by file system).
    const std::wstring wide = fileops::PathFromUtf8(path).wstring();
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (r.lock == Lock::None) {
        ASSERT_TRUE(SetFileAttributesW(wide.c_str(), kept));
    }
    HANDLE held = r.lock < Lock::Reader ? INVALID_HANDLE_VALUE
                                        : CreateFileW(wide.c_str(), GENERIC_READ | (r.lock == Lock::Writer ? GENERIC_WRITE : 0),
                                                      FILE_SHARE_READ | (r.lock == Lock::Reader ? 0 : FILE_SHARE_WRITE), nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(held == INVALID_HANDLE_VALUE, r.lock < Lock::Reader);
#endif
    int err = testutil::AsOrdinaryUser([&] { return r.v1 ? TitleError<Mp3TagID3v1>(path, r.title) : TitleError<Mp3TagID3v2>(path, r.title); });
#ifdef _WIN32
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    if (r.lock == Lock::SharingReader && err == ERROR_SHARING_VIOLATION) err = ERROR_ACCESS_DENIED;
    if (r.lock == Lock::None) {
        EXPECT_EQ(GetFileAttributesW(wide.c_str()) & kept, kept);
    }
#endif
    // Writable again, so that the folder can go (Windows deletes no read-only file).
    for (const fs::path &p : {folder, fileops::PathFromUtf8(path)}) fs::permissions(p, fs::perms::owner_all, fs::perm_options::add);
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

#ifdef _WIN32
constexpr int kShared = 32; // ERROR_SHARING_VIOLATION
#endif

const RefusalRow kRefusals[] = {
    {"v1_writable", true, Lock::None, kShort, 0},
    {"v2_writable_growth", false, Lock::None, kLong, 0},
    {"v1_read_only_file", true, Lock::File, kShort, fileops::kErrAccess},
    {"v2_read_only_file", false, Lock::File, kShort, fileops::kErrAccess},
    {"v2_read_only_file_growth", false, Lock::File, kLong, fileops::kErrAccess},
#ifdef _WIN32
    // A folder's read-only attribute keeps no file out on Windows; a player may hold the file.
    {"windows_reader", false, Lock::Reader, kShort, kShared},
    {"windows_reader_sharing_writes_in_place", false, Lock::SharingReader, kShort, 0},
    {"windows_reader_sharing_writes_growth", false, Lock::SharingReader, kLong, fileops::kErrAccess},
    {"windows_writer", false, Lock::Writer, kShort, kShared},
#else
    {"v2_read_only_folder_in_place", false, Lock::Folder, kShort, 0},
    {"v2_read_only_folder_growth", false, Lock::Folder, kLong, fileops::kErrAccess},
#endif
};
INSTANTIATE_TEST_SUITE_P(Rows, Refusals, ::testing::ValuesIn(kRefusals), testutil::RowName);

#ifdef __linux__
// Where the kernel cannot copy (an old kernel, a file system without a copy of its own:
// copy_file_range fails with err, or with 0 reports nothing copied), a growth copies
// through a buffer and the file ends up whole.
bool GrowthWholeWithoutKernelCopy(int err) {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_copy_file_range, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<unsigned>(err) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) std::abort();
    TempDir dir;
    const std::string path = dir.file("a.mp3");
    WriteAll(path, kOriginal);
    WriteTitle<Mp3TagID3v2>(path, kLong);
    Mp3TagID3v2 back;
    back.MP3File(path);
    const std::string out = ReadAll(path);
    return back.Title() == kLong && out.size() > 6000 && out.substr(out.size() - 6000) == Filler(6000);
}

TEST(KernelCopyRefused, GrowthStillWritesWholeFiles) {
    for (int err : {EXDEV, ENOSYS, EOPNOTSUPP, EINVAL, 0})
        EXPECT_EXIT(std::exit(GrowthWholeWithoutKernelCopy(err) ? 0 : 1), ::testing::ExitedWithCode(0), "")
            << "copy_file_range failing with " << err;
}
#endif

} // namespace
