// The file layer on POSIX systems.
#include "FileOps.h"
#include "FileOpsHook.h"

#include "TagError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tags::fileops {
using detail::Injected;

namespace {

[[noreturn]] void FailNotRegular(const std::string &source, const std::string &path, mode_t mode) {
    if (S_ISDIR(mode)) throw SystemError(source, EISDIR);
    const char *kind = S_ISFIFO(mode) ? "a FIFO (named pipe)" : S_ISSOCK(mode) ? "a socket"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? "a device" : "no regular file";
    throw TagError(EINVAL, source, path + " is " + kind + ", not an MP3 file.");
}

File::Identity IdentityOf(const struct stat &st) {
    File::Identity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.links = static_cast<std::uint64_t>(st.st_nlink);
    id.owner = static_cast<long>(st.st_uid);
    id.group = static_cast<long>(st.st_gid);
    return id;
}

} // namespace

void File::OpenRegular(const std::string &path, Mode mode) {
    const int flags = (mode == Mode::Read ? O_RDONLY : O_RDWR);
    struct stat named {};
    // Refused before opening: opening a FIFO or a device can block or act on the device.
    if (::lstat(path.c_str(), &named) != 0) Fail(errno);
    const bool link = S_ISLNK(named.st_mode);
    if (link && ::stat(path.c_str(), &named) != 0) Fail(errno);
    if (!S_ISREG(named.st_mode)) FailNotRegular(source_, path, named.st_mode);
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) Fail(errno);
    // The name may have been replaced between the two looks.
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int e = errno;
        Close();
        Fail(e);
    }
    if (!S_ISREG(st.st_mode)) {
        Close();
        FailNotRegular(source_, path, st.st_mode);
    }
    // Clears O_NONBLOCK, the only status flag that was set, for writing; reads of a
    // regular file never block anyway.
    if (mode == Mode::ReadWrite) ::fcntl(fd_, F_SETFL, 0);
    opened_ = IdentityOf(st);
    if (mode == Mode::Read) size_ = static_cast<std::int64_t>(st.st_size);
    plainName_ = !link && named.st_dev == st.st_dev && named.st_ino == st.st_ino;
}

void File::CreateNew(const std::string &path) {
    Close();
    path_ = path;
    mode_ = Mode::ReadWrite;
    if (int e = Injected(Op::Create, path)) Fail(e);
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ < 0) Fail(errno);
}

std::int64_t File::SystemSize() {
    struct stat st {};
    if (fstat(fd_, &st) != 0) Fail(errno);
    return static_cast<std::int64_t>(st.st_size);
}

size_t File::SystemReadAt(std::int64_t pos, void *buf, size_t n) {
    for (;;) {
        const ssize_t r = ::pread(fd_, buf, n, static_cast<off_t>(pos));
        if (r >= 0) return static_cast<size_t>(r);
        if (errno != EINTR) Fail(errno);
    }
}

void File::Seek(std::int64_t pos) {
    if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) Fail(errno);
}

size_t File::SystemRead(void *buf, size_t n) {
    for (;;) {
        const ssize_t r = ::read(fd_, buf, n);
        if (r >= 0) return static_cast<size_t>(r);
        if (errno != EINTR) Fail(errno);
    }
}

void File::SystemWrite(const void *buf, size_t n) {
    const auto *p = static_cast<const char *>(buf);
    while (n > 0) {
        const ssize_t r = ::write(fd_, p, n);
        if (r < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        if (r == 0) Fail(ENOSPC);
        p += r;
        n -= static_cast<size_t>(r);
    }
}

size_t File::SystemCopy(File &src, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::copy_file_range(src.fd_, nullptr, fd_, nullptr, n - done, 0);
        if (r > 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        // File systems without a copy in the kernel refuse it; some kernels report 0
        // for files they cannot copy. The buffer tells the true end.
        if (r == 0 || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)
            return done + CopyThroughBuffer(src, n - done);
        Fail(errno);
    }
    return done;
}

void File::Truncate(std::int64_t length) {
    Changed();
    if (int e = Injected(Op::Truncate, path_)) Fail(e);
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) Fail(errno);
}

void File::Sync() {
    if (int e = Injected(Op::Flush, path_)) Fail(e);
    if (::fsync(fd_) != 0) Fail(errno);
}

void File::Close() noexcept {
    size_ = head_.start = tail_.start = -1;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int File::PermissionBits() {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

void File::SetPermissionBits(int bits) {
    if (int e = Injected(Op::Chmod, path_)) Fail(e);
    if (bits >= 0 && ::fchmod(fd_, static_cast<mode_t>(bits)) != 0) Fail(errno);
}

File::Identity File::Identify() {
    struct stat st {};
    if (fstat(fd_, &st) != 0) Fail(errno);
    return IdentityOf(st);
}

bool File::SetOwner(long owner, long group) noexcept {
    return ::fchown(fd_, static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0;
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
    if (std::rename(from.c_str(), to.c_str()) != 0) throw SystemError(source, errno);
}

void RemoveQuietly(const std::string &path) noexcept {
    if (Injected(Op::Remove, path) != 0) return;
    ::unlink(path.c_str());
}

bool NameExists(const std::string &path) noexcept {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void SyncFolder(const std::string &folder) noexcept {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace tags::fileops
