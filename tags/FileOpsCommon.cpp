// The parts of the file layer that are the same on every system.
#include "FileOps.h"
#include "WriterNames.h"
#include "FileOpsHook.h"
#include "TagError.h"
#include "FolderRecovery.h"
#include "UndoRecord.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

namespace tags::fileops {
namespace {

FaultHook &Hook() {
    static FaultHook hook;
    return hook;
}

} // namespace

int detail::Injected(Op op, const std::string &path) {
    const FaultHook &h = Hook();
    return h ? h(op, path) : 0;
}

void SetFaultHook(FaultHook hook) { Hook() = std::move(hook); }

using detail::Injected;

File::~File() { Close(); }

void File::Fail(int err) const { throw SystemError(source_, err); }

void File::Open(const std::string &path, Mode mode) { OpenFile(path, mode, true); }

void File::OpenFile(const std::string &path, Mode mode, bool finishCopy) {
    Close();
    path_ = path;
    mode_ = mode;
    plainName_ = false;
    if (int e = Injected(Op::Open, path)) Fail(e);
    if (finishCopy) RecoverFolderOnce(ParentFolder(path));
    OpenRegular(path, mode);
    if (!finishCopy) return;
    if (!plainName_) RecoverFolderOnce(FolderOf(path));
    const std::string record = PendingRecord(opened_.device, opened_.inode);
    if (record.empty()) return;
    if (!NameExists(record)) {
        DropPending(opened_.device, opened_.inode); // someone else finished it
        return;
    }
    // A writer was cut short in this file: finish its copy, or put back the old bytes of
    // its in-place write. Through a handle of its own, opened after this one is closed:
    // Windows refuses a second writer while this one is open.
    Close();
    try {
        File w(source_);
        w.OpenFile(path, Mode::ReadWrite, false);
        if (IsUndoRecord(record)) RollBack(w, record, source_);
        else FinishCopy(w, record, source_);
        DropPending(opened_.device, opened_.inode);
    } catch (const TagError &) {
        // A reader still sees the file; a writer must not write over a half-written one.
        if (mode == Mode::ReadWrite) throw;
    }
    OpenFile(path, mode, false);
}

size_t File::Read(void *buf, size_t n) {
    if (int e = Injected(Op::Read, path_)) Fail(e);
    return SystemRead(buf, n);
}

void File::Write(const void *buf, size_t n) {
    Changed();
    if (int e = Injected(Op::Write, path_)) {
        // An injected failure behaves like a disk that fills up: half the bytes land first.
        try {
            SystemWrite(buf, n / 2);
        } catch (const TagError &) {
        }
        Fail(e);
    }
    SystemWrite(buf, n);
}

size_t File::CopyFrom(File &src, size_t n) {
    Changed();
    if (int e = Injected(Op::Read, src.path_)) src.Fail(e);
    if (int e = Injected(Op::Write, path_)) {
        try {
            SystemCopy(src, n / 2);
        } catch (const TagError &) {
        }
        Fail(e);
    }
    return SystemCopy(src, n);
}

size_t File::CopyThroughBuffer(File &src, size_t n) {
    const size_t size = std::min(n, kCopyChunk);
    const auto buf = std::make_unique_for_overwrite<char[]>(size);
    size_t done = 0;
    while (done < n) {
        const size_t r = src.SystemRead(buf.get(), std::min(n - done, size));
        if (r == 0) break;
        SystemWrite(buf.get(), r);
        done += r;
    }
    return done;
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

std::int64_t File::Size() {
    if (size_ >= 0) return size_;
    const std::int64_t size = SystemSize();
    if (mode_ == Mode::ReadWrite) size_ = size;
    return size;
}

size_t File::ReadFullAt(std::int64_t pos, void *buf, size_t n) {
    size_t got = 0;
    auto *p = static_cast<char *>(buf);
    while (got < n) {
        const size_t r = SystemReadAt(pos + static_cast<std::int64_t>(got), p + got, n - got);
        if (r == 0) break;
        got += r;
    }
    return got;
}

size_t File::ReadAt(std::int64_t pos, void *buf, size_t n) {
    if (int e = Injected(Op::Read, path_)) Fail(e);
    if (pos >= 0 && n <= kBlock) {
        const std::int64_t size = Size();
        const auto end = pos + static_cast<std::int64_t>(n);
        Block *b = end <= static_cast<std::int64_t>(kBlock) ? &head_ : pos >= size - std::int64_t(kBlock) ? &tail_ : nullptr;
        if (b) {
            const std::int64_t start = b == &head_ ? 0 : std::max<std::int64_t>(0, size - std::int64_t(kBlock));
            if (b->start != start) {
                b->bytes.resize(kBlock);
                b->bytes.resize(ReadFullAt(start, b->bytes.data(), kBlock));
                b->start = start;
            }
            const std::int64_t have = b->start + static_cast<std::int64_t>(b->bytes.size());
            const size_t got = pos >= have ? 0 : static_cast<size_t>(std::min(end, have) - pos);
            std::memcpy(buf, b->bytes.data() + (pos - b->start), got);
            return got;
        }
    }
    return ReadFullAt(pos, buf, n);
}

std::string LinkTarget(const std::string &path) {
    namespace fs = std::filesystem;
    const fs::path p = PathFromUtf8(path);
    std::error_code ec;
    if (fs::is_symlink(p, ec)) {
        const fs::path real = fs::canonical(p, ec);
        if (!ec) return Utf8FromPath(real);
    }
    return path;
}

std::string ParentFolder(const std::string &path) {
    // The common "folder/name" as text, since every open asks; roots, doubled
    // separators and drive names through the path object.
#ifdef _WIN32
    const size_t cut = path.find_last_of("/\\");
    const bool plain = cut != std::string::npos && cut > 0 && path[cut - 1] != '/' && path[cut - 1] != '\\' &&
                       path[cut - 1] != ':';
#else
    const size_t cut = path.rfind('/');
    const bool plain = cut != std::string::npos && cut > 0 && path[cut - 1] != '/';
#endif
    if (plain) return path.substr(0, cut);
    const std::filesystem::path p = PathFromUtf8(path);
    return p.has_parent_path() ? Utf8FromPath(p.parent_path()) : std::string(".");
}

std::string FolderOf(const std::string &path) { return ParentFolder(LinkTarget(path)); }

std::string CopyRecordPath(const std::string &folder, std::uint64_t device, std::uint64_t inode) {
    // Looked for at every open, so joined as text rather than through a path object.
    std::string p = folder;
    const char sep = static_cast<char>(std::filesystem::path::preferred_separator);
    bool joined = p.empty() || p.back() == '/' || p.back() == sep;
#ifdef _WIN32
    joined = joined || p.back() == ':'; // "C:" names the drive's current folder
#endif
    if (!joined) p += sep;
    return p + WriterFileName(WriterFile::Copy, device, inode);
}

void FinishCopy(File &target, const std::string &record, const std::string &source) {
    File r(source);
    r.OpenFile(record, File::Mode::Read, false);
    const std::int64_t len = r.Size();
    target.Seek(0);
    std::int64_t copied = 0;
    for (size_t n; (n = target.CopyFrom(r, kCopyChunk)) > 0;) copied += static_cast<std::int64_t>(n);
    if (copied != len) throw SystemError(source, kErrIo);
    target.Truncate(len);
    target.Sync();
    r.Close();
    RemoveQuietly(record);
    SyncFolder(Utf8FromPath(PathFromUtf8(record).parent_path()));
}

} // namespace tags::fileops
