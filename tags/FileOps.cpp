#include "FileOps.h"

#include "TagError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define NOMINMAX
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef S_ISDIR
#define S_ISDIR(m) (((m) & S_IFMT) == S_IFDIR)
#endif

namespace tags::fileops {
namespace {

FaultHook &Hook() {
    static FaultHook hook;
    return hook;
}

int Injected(Op op, const std::string &path) {
    const FaultHook &h = Hook();
    return h ? h(op, path) : 0;
}

#ifdef _WIN32
std::wstring Wide(const std::string &utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, w.data(), n);
    return w;
}
#endif

} // namespace

void SetFaultHook(FaultHook hook) { Hook() = std::move(hook); }

File::~File() { Close(); }

void File::Fail(int err) const { throw SystemError(source_, err); }

void File::Open(const std::string &path, Mode mode) { OpenFile(path, mode, true); }

void File::FailNotRegular(unsigned mode) const {
#ifndef _WIN32
    if (S_ISDIR(mode)) Fail(EISDIR);
    const char *kind = S_ISFIFO(mode) ? "a FIFO (named pipe)" : S_ISSOCK(mode) ? "a socket"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? "a device" : "no regular file";
    throw TagError(EINVAL, source_, path_ + " is " + kind + ", not an MP3 file.");
#else
    (void)mode;
    Fail(EISDIR);
#endif
}

void File::OpenFile(const std::string &path, Mode mode, bool finishCopy) {
    Close();
    path_ = path;
    if (int e = Injected(Op::Open, path)) Fail(e);
    const int flags = (mode == Mode::Read ? O_RDONLY : O_RDWR);
    struct stat st {};
#ifdef _WIN32
    fd_ = _wopen(Wide(path).c_str(), flags | O_BINARY);
    if (fd_ < 0) Fail(errno);
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        Close();
        Fail(EISDIR);
    }
    (void)finishCopy;
#else
    // Refused before opening: opening a FIFO or a device can block or act on the device.
    if (::stat(path.c_str(), &st) != 0) Fail(errno);
    if (!S_ISREG(st.st_mode)) FailNotRegular(st.st_mode);
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) Fail(errno);
    // The name may have been replaced between the two looks.
    if (::fstat(fd_, &st) != 0) {
        const int e = errno;
        Close();
        Fail(e);
    }
    if (!S_ISREG(st.st_mode)) {
        Close();
        FailNotRegular(st.st_mode);
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    if (!finishCopy) return;
    const std::string record = CopyRecordPath(FolderOf(path), st.st_dev, st.st_ino);
    struct stat rs {};
    if (::stat(record.c_str(), &rs) != 0) return;
    // A writer was killed while copying new content over this file: finish its copy.
    try {
        File w(source_);
        w.OpenFile(path, Mode::ReadWrite, false);
        FinishCopy(w, record, source_);
    } catch (const TagError &) {
        // A reader still sees the file; a writer must not write over a half-copied one.
        if (mode == Mode::ReadWrite) {
            Close();
            throw;
        }
    }
#endif
}

void File::CreateNew(const std::string &path) {
    Close();
    path_ = path;
    if (int e = Injected(Op::Create, path)) Fail(e);
#ifdef _WIN32
    fd_ = _wopen(Wide(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_BINARY, _S_IREAD | _S_IWRITE);
#else
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
#endif
    if (fd_ < 0) Fail(errno);
}

std::int64_t File::Size() {
    struct stat st {};
    if (fstat(fd_, &st) != 0) Fail(errno);
    return static_cast<std::int64_t>(st.st_size);
}

void File::Seek(std::int64_t pos) {
#ifdef _WIN32
    if (_lseeki64(fd_, pos, SEEK_SET) < 0) Fail(errno);
#else
    if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) Fail(errno);
#endif
}

size_t File::Read(void *buf, size_t n) {
    if (int e = Injected(Op::Read, path_)) Fail(e);
    for (;;) {
#ifdef _WIN32
        const int r = _read(fd_, buf, static_cast<unsigned>(n));
#else
        const ssize_t r = ::read(fd_, buf, n);
#endif
        if (r >= 0) return static_cast<size_t>(r);
        if (errno != EINTR) Fail(errno);
    }
}

size_t File::ReadFull(void *buf, size_t n) {
    size_t got = 0;
    auto *p = static_cast<char *>(buf);
    while (got < n) {
        const size_t r = Read(p + got, n - got);
        if (r == 0) break;
        got += r;
    }
    return got;
}

void File::Write(const void *buf, size_t n) {
    const auto *p = static_cast<const char *>(buf);
    while (n > 0) {
        if (int e = Injected(Op::Write, path_)) {
            // An injected failure behaves like a disk that fills up: half the bytes land first.
            const size_t half = n / 2;
#ifdef _WIN32
            if (half) (void)_write(fd_, p, static_cast<unsigned>(half));
#else
            if (half) (void)!::write(fd_, p, half);
#endif
            Fail(e);
        }
#ifdef _WIN32
        const int r = _write(fd_, p, static_cast<unsigned>(n));
#else
        const ssize_t r = ::write(fd_, p, n);
#endif
        if (r < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        if (r == 0) Fail(ENOSPC);
        p += r;
        n -= static_cast<size_t>(r);
    }
}

void File::Truncate(std::int64_t length) {
    if (int e = Injected(Op::Truncate, path_)) Fail(e);
#ifdef _WIN32
    if (_chsize_s(fd_, length) != 0) Fail(errno);
#else
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) Fail(errno);
#endif
}

void File::Sync() {
    if (int e = Injected(Op::Flush, path_)) Fail(e);
#ifdef _WIN32
    if (_commit(fd_) != 0) Fail(errno);
#else
    if (::fsync(fd_) != 0) Fail(errno);
#endif
}

void File::Close() noexcept {
    if (fd_ >= 0) {
#ifdef _WIN32
        _close(fd_);
#else
        ::close(fd_);
#endif
        fd_ = -1;
    }
}

int File::PermissionBits() {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

void File::SetPermissionBits(int bits) {
#ifndef _WIN32
    if (bits >= 0 && ::fchmod(fd_, static_cast<mode_t>(bits)) != 0) Fail(errno);
#else
    (void)bits;
#endif
}

File::Identity File::Identify() {
    struct stat st {};
    if (fstat(fd_, &st) != 0) Fail(errno);
    Identity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.links = static_cast<std::uint64_t>(st.st_nlink);
    id.owner = static_cast<long>(st.st_uid);
    id.group = static_cast<long>(st.st_gid);
    return id;
}

bool File::SetOwner(long owner, long group) noexcept {
#ifndef _WIN32
    return ::fchown(fd_, static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0;
#else
    (void)owner;
    (void)group;
    return true;
#endif
}

void File::Reserve(std::int64_t length) {
#ifdef __linux__
    if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        Fail(errno);
#else
    (void)length;
#endif
}

void ReplaceFile(const std::string &source, const std::string &from, const std::string &to) {
    if (int e = Injected(Op::Rename, to)) throw SystemError(source, e);
#ifdef _WIN32
    if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw SystemError(source, EACCES);
#else
    if (std::rename(from.c_str(), to.c_str()) != 0) throw SystemError(source, errno);
#endif
}

void RemoveQuietly(const std::string &path) noexcept {
    if (Injected(Op::Remove, path) != 0) return;
#ifdef _WIN32
    DeleteFileW(Wide(path).c_str());
#else
    ::unlink(path.c_str());
#endif
}

void SyncFolder(const std::string &folder) noexcept {
#ifndef _WIN32
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    (void)folder;
#endif
}

std::string FolderOf(const std::string &path) {
    namespace fs = std::filesystem;
    fs::path p(path);
    std::error_code ec;
    if (fs::is_symlink(p, ec)) {
        const fs::path real = fs::canonical(p, ec);
        if (!ec) p = real;
    }
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

std::string CopyRecordPath(const std::string &folder, std::uint64_t device, std::uint64_t inode) {
    return (std::filesystem::path(folder) /
            (".sortimentor-" + std::to_string(device) + "-" + std::to_string(inode) + ".new"))
        .string();
}

void FinishCopy(File &target, const std::string &record, const std::string &source) {
    File r(source);
    r.OpenFile(record, File::Mode::Read, false);
    const std::int64_t len = r.Size();
    std::vector<char> chunk(kCopyChunk);
    target.Seek(0);
    std::int64_t copied = 0;
    for (size_t n; (n = r.Read(chunk.data(), chunk.size())) > 0; copied += static_cast<std::int64_t>(n))
        target.Write(chunk.data(), n);
    if (copied != len) throw SystemError(source, EIO);
    target.Truncate(len);
    target.Sync();
    r.Close();
    RemoveQuietly(record);
    SyncFolder(std::filesystem::path(record).parent_path().string());
}

} // namespace tags::fileops
