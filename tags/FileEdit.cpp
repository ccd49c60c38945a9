#include "FileEdit.h"

#include "FileOps.h"
#include "TagError.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
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

// Hidden and short whatever the file's own name, so it never hits the name length limit.
std::string TempName(const fs::path &folder) {
    static std::atomic<unsigned> counter{0};
    const std::string name = ".sortimentor-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
    return Utf8FromPath(folder / name);
}

bool ProcessGone(unsigned long pid) {
#ifdef _WIN32
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h) return GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(h, &code) && code != STILL_ACTIVE;
    CloseHandle(h);
    return ended;
#else
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
}

// Temporary files of writers that were killed before their rename: the original
// they were made from is still in place, so they are only garbage. Once per folder
// and process; files of a process that still runs stay.
void RemoveStaleTemps(const fs::path &folder) {
    static std::mutex mutex;
    static std::set<std::string> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!done.insert(Utf8FromPath(folder)).second) return;
    }
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(folder, ec)) {
        const std::string name = Utf8FromPath(e.path().filename());
        unsigned long pid = 0;
        unsigned n = 0;
        char tail[8] = {};
        if (std::sscanf(name.c_str(), ".sortimentor-%lu-%u.%4s", &pid, &n, tail) != 3 || std::string(tail) != "tmp") continue;
        if (pid == 0 || pid == static_cast<unsigned long>(getpid())) continue;
        if (ProcessGone(pid)) RemoveQuietly(Utf8FromPath(e.path()));
    }
}

bool FitsInPlace(const std::vector<Splice> &splices, std::int64_t len) {
    for (const Splice &s : splices)
        if (static_cast<std::int64_t>(s.bytes.size()) != s.oldLen && !(s.at == len && s.oldLen == 0)) return false;
    return true;
}

void WriteInPlace(File &f, const std::vector<Splice> &splices, std::int64_t len, const std::string &source) {
    // The undo: old bytes the planner passed on, or read here. Not zeroed first: every
    // byte is read over at once.
    std::vector<std::unique_ptr<char[]>> read;
    std::vector<const char *> old;
    for (const Splice &s : splices) {
        if (s.old.size() == static_cast<size_t>(s.oldLen)) {
            old.push_back(s.old.data());
            continue;
        }
        auto o = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(s.oldLen));
        f.Seek(s.at);
        if (f.ReadFull(o.get(), static_cast<size_t>(s.oldLen)) != static_cast<size_t>(s.oldLen))
            throw SystemError(source, kErrIo);
        old.push_back(o.get());
        read.push_back(std::move(o));
    }
    size_t done = 0;
    try {
        for (; done < splices.size(); ++done) {
            f.Seek(splices[done].at);
            f.Write(splices[done].bytes.data(), splices[done].bytes.size());
        }
    } catch (...) {
        // Put the old bytes back, those of the splice that failed halfway included.
        try {
            for (size_t i = 0; i <= done && i < splices.size(); ++i) {
                if (splices[i].oldLen == 0) continue;
                f.Seek(splices[i].at);
                f.Write(old[i], static_cast<size_t>(splices[i].oldLen));
            }
            if (f.Size() != len) f.Truncate(len);
        } catch (...) {
        }
        throw;
    }
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
        WriteInPlace(f, splices, len, source);
        return;
    }

    // Write through a symbolic link to the file it names; the link stays a link.
    const std::string target = LinkTarget(path);
    const std::string folder = ParentFolder(target);
    const File::Identity id = f.Identify();
    const int perms = f.PermissionBits();

    RemoveStaleTemps(PathFromUtf8(folder));
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
        throw TagError(e.number(), source,
                       e.description() + "; the new content waits in " + record + " and is written at the next access");
    }
}

} // namespace tags::fileops
