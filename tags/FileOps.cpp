#include "FileOps.h"
#include "FileOpsHook.h"

#include "TagError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

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
using detail::Injected;

void File::Open(const std::string &path, Mode mode) {
    Close();
    path_ = path;
    if (int e = Injected(Op::Open, path)) Fail(e);
    const int flags = (mode == Mode::Read ? O_RDONLY : O_RDWR);
#ifdef _WIN32
    fd_ = _wopen(Wide(path).c_str(), flags | O_BINARY);
#else
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC);
#endif
    if (fd_ < 0) Fail(errno);
    struct stat st {};
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        Close();
        Fail(EISDIR);
    }
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

} // namespace tags::fileops
