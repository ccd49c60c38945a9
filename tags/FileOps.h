#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Thin file layer under both tag classes. Every failure is thrown as a TagError
// carrying the OS error number and text and the caller's source, so the classes
// pass open/read/write failures through unchanged. A hook lets tests inject faults.
namespace tags::fileops {

// Piece size of streamed copies: large enough for full disk speed, small enough
// that memory stays bounded whatever the file size.
constexpr size_t kCopyChunk = 64 * 1024;

enum class Op { Open, Read, Write, Flush, Rename, Remove, Create, Truncate };

// Returns an errno value to make the operation fail, 0 to let it run. A failed
// Write first writes half of its bytes, as a disk that fills up would.
using FaultHook = std::function<int(Op op, const std::string &path)>;
void SetFaultHook(FaultHook hook);

class File {
public:
    enum class Mode { Read, ReadWrite };

    explicit File(std::string source) : source_(std::move(source)) {}
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // Opens an existing regular file; never creates one and never blocks. Anything
    // else (folder, FIFO, device, socket) is refused before it is opened. A copy into
    // this file that a killed writer left unfinished is finished first.
    void Open(const std::string &path, Mode mode);
    // Creates a new, empty file that must not exist yet (exclusive), mode 0600.
    void CreateNew(const std::string &path);
    bool IsOpen() const { return fd_ >= 0; }
    const std::string &Path() const { return path_; }

    std::int64_t Size();
    void Seek(std::int64_t pos);
    // Reads up to n bytes; returns how many were read (0 at the end).
    size_t Read(void *buf, size_t n);
    // Reads exactly n bytes or up to the end; the result may be shorter.
    size_t ReadFull(void *buf, size_t n);
    void Write(const void *buf, size_t n);
    void Truncate(std::int64_t length);
    // Flushes the file's data to the disk.
    void Sync();
    // Closes, ignoring failure to close.
    void Close() noexcept;

    // Permission bits of the open file (POSIX st_mode & 07777), or -1.
    int PermissionBits();
    void SetPermissionBits(int bits);

    // What makes the file the user's besides its content.
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
    void OpenFile(const std::string &path, Mode mode, bool finishCopy);
    [[noreturn]] void Fail(int err) const;
    [[noreturn]] void FailNotRegular(unsigned mode) const;
    std::string source_;
    std::string path_;
    int fd_ = -1;
};

// Renames from -> to, replacing `to` atomically where the OS allows.
void ReplaceFile(const std::string &source, const std::string &from, const std::string &to);
// Removes a file, ignoring every failure.
void RemoveQuietly(const std::string &path) noexcept;
// Flushes a folder's entry table (after a rename), ignoring failure.
void SyncFolder(const std::string &folder) noexcept;

// The folder holding the file a path names, after following a symbolic link.
std::string FolderOf(const std::string &path);
// Name of the record that holds the complete new content of the file with that
// device and inode while it is copied over the file (see FileEdit.h).
std::string CopyRecordPath(const std::string &folder, std::uint64_t device, std::uint64_t inode);
// Copies a committed record over the open file, cuts it to the record's length,
// flushes it and removes the record. Throws on failure; the record then stays.
void FinishCopy(File &target, const std::string &record, const std::string &source);

} // namespace tags::fileops
