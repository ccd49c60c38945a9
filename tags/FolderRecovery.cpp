#include "FolderRecovery.h"

#include "TagError.h"
#include "UndoRecord.h"

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

void RecoverFolderOnce(const std::string &folder) {
    // Held for the whole scan: another thread's open in this folder must wait until
    // every record here is rolled back, not find the folder marked done halfway.
    static std::recursive_mutex mutex;
    static std::set<std::string> done;
    std::lock_guard<std::recursive_mutex> lock(mutex);
    if (!done.insert(folder).second) return;
    std::error_code ec;
    const fs::path dir = PathFromUtf8(folder.empty() ? std::string(".") : folder);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = Utf8FromPath(it->path().filename());
        if (!name.starts_with(".sortimentor-")) continue;
        const std::string record = Utf8FromPath(it->path());
        unsigned long long a = 0, b = 0;
        int used = 0;
        if (name.ends_with(".new")) {
            // A copy over a hard-linked file that did not finish: the next open of it finishes it.
            if (std::sscanf(name.c_str(), ".sortimentor-%llu-%llu.new%n", &a, &b, &used) == 2 &&
                static_cast<size_t>(used) == name.size())
                AddPending(a, b, record);
            continue;
        }
        if (!IsUndoRecord(name) || std::sscanf(name.c_str(), ".sortimentor-%llu-%llu.undo", &a, &b) != 2) continue;
        if (a == OwnPid() || !ProcessGone(static_cast<unsigned long>(a))) continue;
        UndoTarget p;
        try {
            if (!ReadUndoTarget(record, p)) {
                RemoveQuietly(record); // void, or cut short before its writer changed anything
                continue;
            }
        } catch (const TagError &) {
            continue;
        }
        // Rolled back through its name where the name still leads to the file; otherwise
        // the open of the file with that identity does it.
        try {
            File f("recovery");
            f.OpenFile(Utf8FromPath(dir / PathFromUtf8(p.name)), File::Mode::ReadWrite, false);
            const File::Identity id = f.Identify();
            if (id.device == p.device && id.inode == p.inode) {
                RollBack(f, record, "recovery");
                continue;
            }
        } catch (const TagError &) {
        }
        AddPending(p.device, p.inode, record);
    }
}

} // namespace tags::fileops
