#include "FileEdit.h"

#include "FileOps.h"
#include "TagError.h"
#include "FolderRecovery.h"
#include "UndoRecord.h"
#include "WriterNames.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// windows.h maps ReplaceFile to ReplaceFileW; ours is the one in FileOps.h.
#undef ReplaceFile
#else
#include <unistd.h>
#endif

namespace tags::fileops {
namespace {

namespace fs = std::filesystem;

std::string TempName(const fs::path &folder) {
    static std::atomic<unsigned> counter{0};
    return Utf8FromPath(folder / WriterFileName(WriterFile::Temp, static_cast<std::uint64_t>(getpid()), counter.fetch_add(1)));
}

bool FitsInPlace(const std::vector<Splice> &splices, std::int64_t len) {
    for (const Splice &s : splices)
        if (static_cast<std::int64_t>(s.bytes.size()) != s.oldLen && !(s.at == len && s.oldLen == 0)) return false;
    return true;
}

// The ranges that differ between old and new: a splice rewrites a whole tag, of which
// a title change touches a few bytes.
std::vector<Change> ChangedRanges(const std::vector<Splice> &splices, const std::vector<const char *> &old) {
    std::vector<Change> changes;
    for (size_t i = 0; i < splices.size(); ++i) {
        const std::string_view now = splices[i].bytes;
        if (splices[i].oldLen == 0) {
            if (!now.empty()) changes.push_back({splices[i].at, {}, now});
            continue;
        }
        // Compared in blocks first: the bytes that stay the same (a picture) are the most.
        constexpr size_t kStep = 64;
        const char *o = old[i];
        size_t first = 0, end = now.size();
        while (end - first >= kStep && std::memcmp(now.data() + first, o + first, kStep) == 0) first += kStep;
        while (first < end && now[first] == o[first]) ++first;
        if (first == end) continue;
        while (end - first >= kStep && std::memcmp(now.data() + end - kStep, o + end - kStep, kStep) == 0) end -= kStep;
        while (now[end - 1] == o[end - 1]) --end;
        changes.push_back({splices[i].at + static_cast<std::int64_t>(first), std::string_view(o + first, end - first),
                           now.substr(first, end - first)});
    }
    return changes;
}

void WriteInPlace(File &f, const std::string &path, const std::vector<Splice> &splices, std::int64_t len,
                  const std::string &source) {
    // The old bytes the planner passed on, or read here.
    std::vector<std::string> read;
    std::vector<const char *> old;
    read.reserve(splices.size());
    for (const Splice &s : splices) {
        if (s.old.size() == static_cast<size_t>(s.oldLen)) {
            old.push_back(s.old.data());
            continue;
        }
        std::string &o = read.emplace_back(static_cast<size_t>(s.oldLen), '\0');
        if (f.ReadAt(s.at, o.data(), o.size()) != o.size()) throw SystemError(source, kErrIo);
        old.push_back(o.data());
    }
    const std::vector<Change> changes = ChangedRanges(splices, old);
    if (changes.empty()) return;
    std::int64_t newLen = len;
    for (const Change &c : changes) newLen += c.old.empty() ? static_cast<std::int64_t>(c.now.size()) : 0;

    // Several writes, or one over more than a page, can be cut short by a kill (the system
    // writes page by page): the undo record lets the next open put the old bytes back.
    constexpr std::int64_t kPage = 4096;
    const Change &c0 = changes[0];
    UndoRecord undo;
    if (changes.size() > 1 || c0.at / kPage != (c0.at + static_cast<std::int64_t>(c0.now.size()) - 1) / kPage) {
        const std::string target = LinkTarget(path);
        undo.Write(f, ParentFolder(target), Utf8FromPath(PathFromUtf8(target).filename()), len, newLen, changes, source);
    }
    size_t done = 0;
    try {
        for (; done < changes.size(); ++done) {
            f.Seek(changes[done].at);
            f.Write(changes[done].now.data(), changes[done].now.size());
        }
    } catch (...) {
        // Put the old bytes back, those of the range that failed halfway included.
        try {
            for (size_t i = 0; i <= done && i < changes.size(); ++i) {
                if (changes[i].old.empty()) continue;
                f.Seek(changes[i].at);
                f.Write(changes[i].old.data(), changes[i].old.size());
            }
            if (f.Size() != len) f.Truncate(len);
            undo.Remove();
        } catch (...) {
            try {
                undo.Keep(f.Identify());
            } catch (...) {
            }
        }
        throw;
    }
    undo.Remove();
}

// Streams the new content (the old one with the splices applied) into tmp.
void WriteNewContent(File &src, File &tmp, const std::vector<Splice> &splices, std::int64_t len,
                     const std::string &source) {
    const auto step = static_cast<std::int64_t>(kCopyChunk);
    std::int64_t pos = 0, out = 0; // read and write positions
    auto copyTo = [&](std::int64_t end) {
        src.Seek(pos);
        while (pos < end) {
            // Writes end on chunk boundaries of the new file: a write that starts or ends
            // inside a page costs the file system more.
            const size_t n = static_cast<size_t>(std::min(end - pos, step - out % step));
            if (tmp.CopyFrom(src, n) != n) throw SystemError(source, kErrIo);
            pos += static_cast<std::int64_t>(n);
            out += static_cast<std::int64_t>(n);
        }
    };
    std::int64_t newLen = len;
    for (const Splice &s : splices) {
        copyTo(s.at);
        tmp.Write(s.bytes.data(), s.bytes.size());
        pos = s.at + s.oldLen;
        out += static_cast<std::int64_t>(s.bytes.size());
        newLen += static_cast<std::int64_t>(s.bytes.size()) - s.oldLen;
    }
    copyTo(len);
    // The old content must have arrived whole before it replaces the original. Reading
    // the new bytes back would only read the cache they were just written to; the flush
    // reports what did not reach the disk.
    if (tmp.Size() != newLen) throw SystemError(source, kErrIo);
}

} // namespace

void ApplySplices(File &f, const std::string &path, const std::vector<Splice> &splices, const std::string &source) {
    const std::int64_t len = f.Size();
    std::int64_t end = 0;
    for (const Splice &s : splices) {
        if (s.at < end || s.oldLen < 0 || s.at + s.oldLen > len) throw SystemError(source, kErrInvalid);
        end = s.at + s.oldLen;
    }
    if (FitsInPlace(splices, len)) {
        WriteInPlace(f, path, splices, len, source);
        return;
    }

    // Write through a symbolic link to the file it names; the link stays a link.
    const std::string target = LinkTarget(path);
    const std::string folder = ParentFolder(target);
    const File::Identity id = f.Identify();
    const int perms = f.PermissionBits();

    RecoverFolderOnce(folder);  // what killed writers left here, before this one adds its own
    File tmp(source);
    std::string tmpPath;
    for (int attempt = 0;; ++attempt) {
        tmpPath = TempName(PathFromUtf8(folder));
        try {
            tmp.CreateNew(tmpPath);
            break;
        } catch (const TagError &e) {
            if (e.number() != kErrExists || attempt >= 50) throw;
        }
    }
    std::string record;
    try {
        WriteNewContent(f, tmp, splices, len, source);
        // A rename keeps the file the user's only when it has no other name and the
        // new file can get its owner and group (chown clears set-id bits: mode after).
        const bool rename = id.links <= 1 && tmp.SetOwner(id.owner, id.group);
        // File systems without POSIX modes (FAT on a USB stick) refuse this; the write
        // itself must still go through.
        try {
            if (perms >= 0) tmp.SetPermissionBits(perms);
        } catch (const TagError &) {
        }
        tmp.Sync();
        if (rename) {
            tmp.Close();
            f.Close();
            // No folder flush: the new content is on disk before the rename, so after a
            // crash the name leads to the old file or the new one, both whole.
            ReplaceFile(source, tmpPath, target);
            return;
        }
        // Room for the copy, so that it cannot run out of disk halfway.
        f.Reserve(tmp.Size());
        tmp.Close();
        record = CopyRecordPath(folder, id.device, id.inode);
        ReplaceFile(source, tmpPath, record);
    } catch (...) {
        tmp.Close();
        RemoveQuietly(tmpPath);
        throw;
    }
    SyncFolder(folder);
    try {
        FinishCopy(f, record, source);
    } catch (const TagError &e) {
        AddPending(id.device, id.inode, record);
        throw TagError(e.number(), source,
                       e.description() + "; the new content waits in " + record + " and is written at the next access");
    }
}

} // namespace tags::fileops
