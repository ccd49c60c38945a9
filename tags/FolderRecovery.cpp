#include "FolderRecovery.h"

#include "TagError.h"
#include "UndoRecord.h"
#include "WriterNames.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef ReplaceFile
#else
#include <csignal>
#endif

namespace tags::fileops {
namespace {

namespace fs = std::filesystem;

struct Key {
    std::uint64_t device, inode;
    auto operator<=>(const Key &) const = default;
};

std::mutex &Mutex() {
    static std::mutex m;
    return m;
}
std::map<Key, std::string> &Pending() {
    static std::map<Key, std::string> pending;
    return pending;
}
std::recursive_mutex &ScanMutex() {
    static std::recursive_mutex m;
    return m;
}

} // namespace

bool ProcessGone(unsigned long pid) {
#ifdef _WIN32
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h) return GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(h, &code) && code != STILL_ACTIVE;
    CloseHandle(h);
    return ended;
#else
    if (::kill(static_cast<pid_t>(pid), 0) != 0) return errno == ESRCH;
#ifdef __linux__
    // A killed process stays a zombie until its parent collects it, but writes nothing more.
    if (std::FILE *stat = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r")) {
        char buf[512] = {};
        const size_t n = std::fread(buf, 1, sizeof buf - 1, stat);
        std::fclose(stat);
        const char *close = std::strrchr(buf, ')');
        return n > 0 && close && close[1] == ' ' && close[2] == 'Z';
    }
#endif
    return false;
#endif
}

std::string PendingRecord(std::uint64_t device, std::uint64_t inode) {
    std::lock_guard<std::mutex> lock(Mutex());
    if (Pending().empty()) return {};
    const auto it = Pending().find(Key{device, inode});
    return it == Pending().end() ? std::string() : it->second;
}

void AddPending(std::uint64_t device, std::uint64_t inode, const std::string &record) {
    std::lock_guard<std::mutex> lock(Mutex());
    Pending()[Key{device, inode}] = record;
}

void DropPending(std::uint64_t device, std::uint64_t inode) {
    std::lock_guard<std::mutex> lock(Mutex());
    Pending().erase(Key{device, inode});
}

// An undo record of a writer that no longer runs: rolled back through its name where the
// name still leads to the file; otherwise the open of the file with that identity does it.
void RollBackDeadWriter(const std::string &folder, const std::string &record) {
    UndoTarget p;
    try {
        if (!ReadUndoTarget(record, p)) {
            RemoveQuietly(record); // void, or cut short before its writer changed anything
            return;
        }
    } catch (const TagError &) {
        return;
    }
    try {
        File f("recovery");
        f.OpenFile(Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(p.name)), File::Mode::ReadWrite, false);
        const File::Identity id = f.Identify();
        if (id.device == p.device && id.inode == p.inode) {
            RollBack(f, record, "recovery");
            return;
        }
    } catch (const TagError &) {
    }
    AddPending(p.device, p.inode, record);
}

// A trash guard is an extra name of a file in its place or in the bin, and goes; where
// it is the file's only name (the shell deleted for good) it stays, as the only copy.
// Process ids are no help here: wine gives a dead one to the next process at once.
void DropGuard(const std::string &guard) {
    try {
        File f("recovery");
        f.OpenFile(guard, File::Mode::Read, false);
        const bool extra = f.Identify().links >= 2;
        f.Close();
        if (extra) RemoveQuietly(guard);
    } catch (const TagError &) {
    }
}

void RecoverFolder(const std::string &folder) {
    // Held for the whole scan: another thread's open in this folder must wait until
    // every record here is rolled back, not find the folder marked done halfway.
    std::lock_guard<std::recursive_mutex> lock(ScanMutex());
    std::error_code ec;
    const fs::path dir = PathFromUtf8(folder.empty() ? std::string(".") : folder);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::optional<WriterFileId> id = ParseWriterFileName(Utf8FromPath(it->path().filename()));
        if (!id) continue;
        const std::string path = Utf8FromPath(it->path());
        const bool gone = id->a != OwnPid() && ProcessGone(static_cast<unsigned long>(id->a));
        switch (id->kind) {
        case WriterFile::Copy: // a copy over a hard-linked file that did not finish: the next open of it finishes it
            AddPending(id->a, id->b, path);
            break;
        case WriterFile::Undo:
            if (gone) RollBackDeadWriter(Utf8FromPath(dir), path);
            break;
        case WriterFile::Temp: // the original it was made from is still in place
            if (gone) RemoveQuietly(path);
            break;
        case WriterFile::Guard:
            DropGuard(path);
            break;
        }
    }
}

void RecoverFolderOnce(const std::string &folder) {
    static std::set<std::string> done;
    std::lock_guard<std::recursive_mutex> lock(ScanMutex());
    if (done.insert(folder).second) RecoverFolder(folder);
}

} // namespace tags::fileops
