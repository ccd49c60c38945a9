// The file layer on Windows: UTF-8 paths in the program, UTF-16 at the system, Win32
// handles, and Windows error codes with their system messages.
#include "FileOps.h"
#include "FileOpsHook.h"

#include "TagError.h"

#include <algorithm>
#include <utility>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// windows.h maps ReplaceFile to ReplaceFileW; ours is the one in FileOps.h.
#undef ReplaceFile

namespace tags::fileops {
using detail::Injected;

// Paths from 248 characters on (CreateDirectoryW's limit; MAX_PATH is 260) take the
// \\?\ form, which has no such limit but must be whole: absolute, backslashes only,
// no "." or ".." parts, and \\?\UNC\ for a share.
std::wstring WidePath(const std::string &utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(std::max(n, 0)), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    if (w.size() < 248 || w.rfind(L"\\\\?\\", 0) == 0) return w;
    std::wstring full(GetFullPathNameW(w.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(w.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.empty()) return w;
    return full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

namespace {

HANDLE H(void *h) { return static_cast<HANDLE>(h); }

File::Identity IdentityOf(const BY_HANDLE_FILE_INFORMATION &info) {
    File::Identity id;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.links = info.nNumberOfLinks;
    return id;
}

// Attributes that describe the file rather than its state; copied to the replacement.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A single ReadFile/WriteFile moves at most a DWORD's worth; stay well below.
constexpr size_t kMaxIo = 1u << 30;

} // namespace

void File::OpenRegular(const std::string &path, Mode mode) {
    const std::wstring wide = WidePath(path);
    // A folder is refused by name; CreateFileW would only say "access denied".
    // Devices may have no attributes; CreateFileW then tells what they are.
    const DWORD attrs = GetFileAttributesW(wide.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) Fail(kErrIsFolder);
    // Other programs may read meanwhile (a player keeps the file open), never write.
    // A read-only file cannot be opened for writing: ERROR_ACCESS_DENIED, as the
    // caller has to clear the attribute first.
    const DWORD access = mode == Mode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    HANDLE h = CreateFileW(wide.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail(static_cast<int>(GetLastError()));
    handle_ = h;
    // Devices (NUL, COM1, CON) and pipes open like files; only files on a disk are ours.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        Close();
        throw TagError(kErrInvalid, source_, path + " is a device or a pipe, not an MP3 file.");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) {
        const int e = static_cast<int>(GetLastError());
        Close();
        Fail(e);
    }
    // The name may have been replaced by a folder between the two looks.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        Close();
        Fail(kErrIsFolder);
    }
    // Network shares and wine run as root may grant the open anyway; the attribute rules.
    if (mode == Mode::ReadWrite && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
        Close();
        Fail(ERROR_ACCESS_DENIED);
    }
    opened_ = IdentityOf(info);
    if (mode == Mode::Read) size_ = static_cast<std::int64_t>(std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
}

void File::CreateNew(const std::string &path) {
    Close();
    path_ = path;
    mode_ = Mode::ReadWrite;
    if (int e = Injected(Op::Create, path)) Fail(e);
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail(static_cast<int>(GetLastError()));
    handle_ = h;
}

std::int64_t File::SystemSize() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(H(handle_), &size)) Fail(static_cast<int>(GetLastError()));
    return size.QuadPart;
}

size_t File::SystemReadAt(std::int64_t pos, void *buf, size_t n) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(pos);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(pos) >> 32);
    DWORD got = 0;
    if (!ReadFile(H(handle_), buf, static_cast<DWORD>(std::min(n, kMaxIo)), &got, &at)) {
        const DWORD e = GetLastError();
        if (e == ERROR_HANDLE_EOF) return 0;
        Fail(static_cast<int>(e));
    }
    return got;
}

void File::Seek(std::int64_t pos) {
    LARGE_INTEGER to{};
    to.QuadPart = pos;
    if (!SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN)) Fail(static_cast<int>(GetLastError()));
}

size_t File::SystemRead(void *buf, size_t n) {
    DWORD got = 0;
    if (!ReadFile(H(handle_), buf, static_cast<DWORD>(std::min(n, kMaxIo)), &got, nullptr))
        Fail(static_cast<int>(GetLastError()));
    return got;
}

void File::SystemWrite(const void *buf, size_t n) {
    const auto *p = static_cast<const char *>(buf);
    while (n > 0) {
        DWORD put = 0;
        if (!WriteFile(H(handle_), p, static_cast<DWORD>(std::min(n, kMaxIo)), &put, nullptr))
            Fail(static_cast<int>(GetLastError()));
        if (put == 0) Fail(kErrNoSpace);
        p += put;
        n -= put;
    }
}

size_t File::SystemCopy(File &src, size_t n) { return CopyThroughBuffer(src, n); }

void File::Truncate(std::int64_t length) {
    Changed();
    if (int e = Injected(Op::Truncate, path_)) Fail(e);
    // SetEndOfFile cuts at the file pointer; the position is kept, as ftruncate does.
    LARGE_INTEGER here{}, zero{}, to{};
    to.QuadPart = length;
    if (!SetFilePointerEx(H(handle_), zero, &here, FILE_CURRENT) || !SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(H(handle_)) || !SetFilePointerEx(H(handle_), here, nullptr, FILE_BEGIN))
        Fail(static_cast<int>(GetLastError()));
}

void File::Sync() {
    if (int e = Injected(Op::Flush, path_)) Fail(e);
    if (!FlushFileBuffers(H(handle_))) Fail(static_cast<int>(GetLastError()));
}

void File::Close() noexcept {
    size_ = head_.start = tail_.start = -1;
    if (handle_) {
        CloseHandle(H(handle_));
        handle_ = nullptr;
    }
}

int File::PermissionBits() {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(H(handle_), &info)) return -1;
    return static_cast<int>(info.dwFileAttributes & kKeptAttributes);
}

void File::SetPermissionBits(int bits) {
    if (int e = Injected(Op::Chmod, path_)) Fail(e);
    if (bits < 0) return;
    FILE_BASIC_INFO info{};
    // Zero times leave them as they are; an attribute value of 0 would too, hence NORMAL.
    const DWORD attrs = static_cast<DWORD>(bits) & kKeptAttributes;
    info.FileAttributes = attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(H(handle_), FileBasicInfo, &info, sizeof info))
        Fail(static_cast<int>(GetLastError()));
}

File::Identity File::Identify() {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(H(handle_), &info)) Fail(static_cast<int>(GetLastError()));
    return IdentityOf(info);
}

// A new file belongs to whoever may write the folder; there is no owner to carry over.
bool File::SetOwner(long, long) noexcept { return true; }

void File::Reserve(std::int64_t length) {
    // An allocation below the end of the file would cut the file.
    if (length <= Size()) return;
    FILE_ALLOCATION_INFO info{};
    info.AllocationSize.QuadPart = length;
    if (SetFileInformationByHandle(H(handle_), FileAllocationInfo, &info, sizeof info)) return;
    const DWORD e = GetLastError();
    if (e != ERROR_INVALID_PARAMETER && e != ERROR_INVALID_FUNCTION && e != ERROR_NOT_SUPPORTED &&
        e != ERROR_CALL_NOT_IMPLEMENTED)
        Fail(static_cast<int>(e));
}

void ReplaceFile(const std::string &source, const std::string &from, const std::string &to) {
    if (int e = Injected(Op::Rename, to)) throw SystemError(source, e);
    // One rename that replaces the target; a program holding the target open without
    // FILE_SHARE_DELETE makes it fail, and the target stays as it was.
    if (!MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw SystemError(source, static_cast<int>(GetLastError()));
}

void RemoveQuietly(const std::string &path) noexcept {
    if (Injected(Op::Remove, path) != 0) return;
    DeleteFileW(WidePath(path).c_str());
}

bool NameExists(const std::string &path) noexcept {
    return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// MOVEFILE_WRITE_THROUGH already returns only once the rename is on the disk.
void SyncFolder(const std::string &) noexcept {}

} // namespace tags::fileops
