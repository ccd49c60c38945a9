#pragma once
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// Thin file layer under both tag classes. Every failure is thrown as a TagError
// carrying the OS error number and text and the caller's source, so the classes
// pass open/read/write failures through unchanged. A hook lets tests inject faults.
namespace tags::fileops {

// Piece size of streamed copies: large enough for full disk speed, small enough
// that memory stays bounded whatever the file size.
constexpr size_t kCopyChunk = 64 * 1024;

enum class Op { Open, Read, Write, Flush, Rename, Remove, Create, Truncate, Chmod };

// Error numbers as the system reports them: errno values on POSIX, Windows error
// codes (GetLastError) on Windows. The layer raises these, and the fault hook returns them.
#ifdef _WIN32
inline constexpr int kErrNotFound = 2;   // ERROR_FILE_NOT_FOUND
inline constexpr int kErrAccess = 5;     // ERROR_ACCESS_DENIED
inline constexpr int kErrExists = 80;    // ERROR_FILE_EXISTS
inline constexpr int kErrNoSpace = 112;  // ERROR_DISK_FULL
inline constexpr int kErrIo = 1117;      // ERROR_IO_DEVICE
inline constexpr int kErrInvalid = 87;   // ERROR_INVALID_PARAMETER
inline constexpr int kErrIsFolder = 336; // ERROR_DIRECTORY_NOT_SUPPORTED
#else
inline constexpr int kErrNotFound = ENOENT;
inline constexpr int kErrAccess = EACCES;
inline constexpr int kErrExists = EEXIST;
inline constexpr int kErrNoSpace = ENOSPC;
inline constexpr int kErrIo = EIO;
inline constexpr int kErrInvalid = EINVAL;
inline constexpr int kErrIsFolder = EISDIR;
#endif

// Paths are UTF-8 on every system. std::filesystem's narrow strings are in the ANSI
// code page on Windows, so paths cross over through these two.
inline std::filesystem::path PathFromUtf8(const std::string &utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path &path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

#ifdef _WIN32
// A UTF-8 path as the wide calls of Windows take it, long ones in their \\?\ form.
std::wstring WidePath(const std::string &utf8);
#endif

// Returns an error number to make the operation fail, 0 to let it run. A failed
// Write first writes half of its bytes, as a disk that fills up would.
using FaultHook = std::function<int(Op op, const std::string &path)>;
void SetFaultHook(FaultHook hook);

class File {
public:
    enum class Mode { Read, ReadWrite };

    explicit File(std::string source) : source_(std::move(source)) {}
    // Failures from here on are raised with this source.
    void SetSource(std::string source) { source_ = std::move(source); }
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // Opens an existing regular file; never creates one and never blocks. Anything
    // else (folder, FIFO, device, socket) is refused before it is opened. What a killed
    // writer left unfinished in this file is finished or rolled back first.
    void Open(const std::string &path, Mode mode);
    // Creates a new, empty file that must not exist yet (exclusive), mode 0600.
    void CreateNew(const std::string &path);
#ifdef _WIN32
    bool IsOpen() const { return handle_ != nullptr; }
    void *Handle() const { return handle_; } // HANDLE, for mapping the file
#else
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; } // for mapping the file
#endif
    const std::string &Path() const { return path_; }

    // Open for reading, the size is the one seen first: every reader of the file then
    // works on the same length. Open for writing, it is looked up again after a write.
    std::int64_t Size();
    void Seek(std::int64_t pos);
    // Reads up to n bytes; returns how many were read (0 at the end).
    size_t Read(void *buf, size_t n);
    // Reads exactly n bytes or up to the end; the result may be shorter.
    size_t ReadFull(void *buf, size_t n);
    // Reads n bytes at pos, or up to the end. Open for reading, the file's first and
    // last kBlock bytes are kept once read (until the next write): the tags and the stream
    // information all look there, so reading them together costs one read of each. Where
    // a later Read starts is not defined (Seek first).
    static constexpr size_t kBlock = 4096;
    size_t ReadAt(std::int64_t pos, void *buf, size_t n);
    void Write(const void *buf, size_t n);
    // Copies up to n bytes from src's position to this file's, counting as a Read of
    // src and a Write here for the fault hook; returns how many, fewer only at src's
    // end. The system copies in the kernel where it can, without the bytes passing
    // through the program.
    size_t CopyFrom(File &src, size_t n);
    void Truncate(std::int64_t length);
    // Flushes the file's data to the disk.
    void Sync();
    // Closes, ignoring failure to close.
    void Close() noexcept;

    // Permission bits of the open file (POSIX st_mode & 07777; on Windows its
    // hidden, system and archive attributes), or -1.
    int PermissionBits();
    void SetPermissionBits(int bits);

    // What makes the file the user's besides its content. On Windows the device is
    // the volume's serial number, the inode the file index, and there is no owner.
    struct Identity {
        std::uint64_t device = 0, inode = 0, links = 1;
        long owner = -1, group = -1;
    };
    Identity Identify();
    // Gives the file that owner and group; false where the system does not allow it.
    bool SetOwner(long owner, long group) noexcept;
    // Reserves disk room up to length without changing the file's size, where the
    // file system can; a later overwrite up to that length then does not run out.
    void Reserve(std::int64_t length);

private:
    friend void FinishCopy(File &, const std::string &, const std::string &);
    friend void RollBackDeadWriter(const std::string &, const std::string &);
    friend void DropGuard(const std::string &);
    void OpenFile(const std::string &path, Mode mode, bool finishCopy);
    // The system part of opening: refuses anything but a regular file.
    void OpenRegular(const std::string &path, Mode mode);
    [[noreturn]] void Fail(int err) const;
    // A write makes the kept size and blocks stale.
    void Changed() { size_ = head_.start = tail_.start = -1; }
    std::int64_t SystemSize();
    // One system read at pos; may be short.
    size_t SystemReadAt(std::int64_t pos, void *buf, size_t n);
    size_t ReadFullAt(std::int64_t pos, void *buf, size_t n);
    // The system calls without the fault hook: one read (may be short), a whole write.
    size_t SystemRead(void *buf, size_t n);
    void SystemWrite(const void *buf, size_t n);
    size_t SystemCopy(File &src, size_t n);
    size_t CopyThroughBuffer(File &src, size_t n);
    std::string source_;
    std::string path_;
    Mode mode_ = Mode::Read;
    // Kept while open for reading: the size seen on opening (-1 otherwise) and the first
    // and last block.
    struct Block {
        std::int64_t start = -1; // -1: not read yet
        std::string bytes;
    };
    std::int64_t size_ = -1;
    Block head_, tail_;
    // What the system part learnt while opening, so the recovery check needs no second
    // look: the file's identity then, and whether the name is known not to be a link.
    Identity opened_;
    bool plainName_ = false;
#ifdef _WIN32
    void *handle_ = nullptr; // HANDLE, never INVALID_HANDLE_VALUE
#else
    int fd_ = -1;
#endif
};

// Renames from -> to, replacing `to` atomically where the OS allows.
void ReplaceFile(const std::string &source, const std::string &from, const std::string &to);
// Removes a file, ignoring every failure.
void RemoveQuietly(const std::string &path) noexcept;
// Whether something by this name is there (a link counts by its target).
bool NameExists(const std::string &path) noexcept;
// Flushes a folder's entry table (after a rename), ignoring failure.
void SyncFolder(const std::string &folder) noexcept;

// The file a symbolic link names; any other path as it is.
std::string LinkTarget(const std::string &path);
// The folder part of a path ("." for a bare name), and the folder holding the file a
// path names after following a symbolic link.
std::string ParentFolder(const std::string &path);
std::string FolderOf(const std::string &path);
// Name of the record that holds the complete new content of the file with that
// device and inode while it is copied over the file (see FileEdit.h).
std::string CopyRecordPath(const std::string &folder, std::uint64_t device, std::uint64_t inode);
// Copies a committed record over the open file, cuts it to the record's length,
// flushes it and removes the record. Throws on failure; the record then stays.
void FinishCopy(File &target, const std::string &record, const std::string &source);

} // namespace tags::fileops
