#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Thin file layer under both tag classes. Every failure is thrown as a TagError
// carrying the OS error number and text and the caller's source, so the classes
// pass open/read/write failures through unchanged. A hook lets tests inject faults.
namespace tags::fileops {

enum class Op { Open, Read, Write, Flush, Rename, Remove, Create };

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

    // Opens an existing file; never creates one.
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

private:
    [[noreturn]] void Fail(int err) const;
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

} // namespace tags::fileops
