#include "TagFile.h"

#include "FileOps.h"
#include "SynchData.h"
#include "TagError.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <set>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef ReplaceFile
#else
#include <unistd.h>
#endif

namespace tags::id3v2 {

using fileops::File;

std::int64_t FindTagStart(File &f, std::int64_t fileLen) {
    char buf[kScanWindow];
    std::int64_t p = 1;
    for (;;) {
        std::int64_t len = kScanWindow;
        bool last = false;
        if (p + kScanWindow >= fileLen) {
            len = fileLen - p;
            last = true;
        }
        if (len > 0) {
            f.Seek(p - 1);
            const size_t got = f.ReadFull(buf, static_cast<size_t>(len));
            const std::string_view w(buf, got);
            const size_t i = w.find("ID3");
            if (i != std::string_view::npos) return p + static_cast<std::int64_t>(i) + 3;
            if (w.find("\xFF\xFB") != std::string_view::npos) return 0;
            if (got < static_cast<size_t>(len)) return 0;
        }
        if (last) return 0;
        p += kScanWindow - 3;
    }
}

bool TagRegionTrusted(File &f, std::int64_t tagPos, std::uint32_t tagSize, std::int64_t fileLen, std::int64_t need) {
    const std::int64_t end = tagPos + 10 + tagSize;
    if (end >= fileLen) return end == fileLen;
    unsigned char n[4] = {};
    f.Seek(end);
    const size_t got = f.ReadFull(n, sizeof n);
    const std::string_view next(reinterpret_cast<const char *>(n), got);
    if (n[0] == 0 || (got >= 2 && n[0] == 0xFF && (n[1] & 0xE0) == 0xE0) || next.substr(0, 3) == "ID3" ||
        next.substr(0, 3) == "TAG" || next == "APET" || next == "LYRI")
        return true;

    // Walk the frame headers of the old tag, then its zero padding.
    unsigned char h[10];
    f.Seek(tagPos);
    if (f.ReadFull(h, sizeof h) != sizeof h || (h[5] & 0xC0) != 0) return false; // unsynchronised or extended
    const int version = h[3];
    std::string body(tagSize, '\0');
    f.Seek(tagPos + 10);
    if (f.ReadFull(body.data(), body.size()) != body.size()) return false;
    const auto *b = reinterpret_cast<const unsigned char *>(body.data());
    const size_t hdr = version == 2 ? 6 : 10, idLen = version == 2 ? 3 : 4;
    size_t pos = 0;
    while (pos + hdr <= body.size()) {
        bool ok = true, zero = true;
        for (size_t i = 0; i < idLen; ++i) {
            ok = ok && ((b[pos + i] >= 'A' && b[pos + i] <= 'Z') || (b[pos + i] >= '0' && b[pos + i] <= '9'));
            zero = zero && b[pos + i] == 0;
        }
        if (!ok || zero) break;
        std::uint32_t size = version == 2 ? DecodeBE24(b + pos + 3) : DecodeBE32(b + pos + 4);
        if (version == 4 && !DecodeSynchsafe(b + pos + 4, size)) size = DecodeBE32(b + pos + 4);
        if (size > body.size() - pos - hdr) break;
        pos += hdr + size;
    }
    while (pos < body.size() && b[pos] == 0) ++pos;
    return static_cast<std::int64_t>(pos) + 10 >= need;
}

namespace {

// Hidden and short whatever the file's own name, so it never hits the name length limit.
std::string TempName(const std::filesystem::path &folder) {
    static std::atomic<unsigned> counter{0};
    const std::string name = ".sortimentor-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
    return fileops::Utf8FromPath(folder / name);
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
void RemoveStaleTemps(const std::filesystem::path &folder) {
    static std::mutex mutex;
    static std::set<std::string> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!done.insert(fileops::Utf8FromPath(folder)).second) return;
    }
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = fileops::Utf8FromPath(e.path().filename());
        unsigned long pid = 0;
        unsigned n = 0;
        char tail[8] = {};
        if (std::sscanf(name.c_str(), ".sortimentor-%lu-%u.%4s", &pid, &n, tail) != 3 || std::string(tail) != "tmp") continue;
        if (pid == 0 || pid == static_cast<unsigned long>(getpid())) continue;
        if (ProcessGone(pid)) fileops::RemoveQuietly(fileops::Utf8FromPath(e.path()));
    }
}

} // namespace

void RewriteWithRoom(File &src, const std::string &path, const std::string &head, std::int64_t room,
                     const std::string &source) {
    namespace fs = std::filesystem;
    const fs::path target = fileops::PathFromUtf8(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::int64_t oldLen = src.Size();
    const int perms = src.PermissionBits();

    RemoveStaleTemps(folder);
    File tmp(source);
    std::string tmpPath;
    for (int attempt = 0;; ++attempt) {
        tmpPath = TempName(folder);
        try {
            tmp.CreateNew(tmpPath);
            break;
        } catch (const TagError &e) {
            if (e.number() != fileops::kErrExists || attempt >= 50) throw;
        }
    }
    try {
        const std::int64_t headLen = static_cast<std::int64_t>(head.size());
        tmp.Write(head.data(), head.size());
        std::vector<char> chunk(kCopyChunk, '\0');
        for (std::int64_t left = room - headLen; left > 0;) {
            const size_t n = static_cast<size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(chunk.size())));
            tmp.Write(chunk.data(), n);
            left -= static_cast<std::int64_t>(n);
        }
        const std::int64_t skip = headLen > room ? headLen - room : 0;
        src.Seek(skip);
        std::int64_t copied = 0;
        for (;;) {
            const size_t n = src.Read(chunk.data(), chunk.size());
            if (n == 0) break;
            tmp.Write(chunk.data(), n);
            copied += static_cast<std::int64_t>(n);
        }
        // The old content must have arrived whole before it replaces the original.
        if (copied != oldLen - skip || tmp.Size() != std::max(room, headLen) + oldLen - skip)
            throw SystemError(source, fileops::kErrIo);
        // File systems without POSIX modes (FAT on a USB stick) refuse this; the write
        // itself must still go through.
        try {
            if (perms >= 0) tmp.SetPermissionBits(perms);
        } catch (const TagError &) {
        }
        tmp.Sync();
        tmp.Close();
        src.Close();
        fileops::ReplaceFile(source, tmpPath, path);
    } catch (...) {
        tmp.Close();
        fileops::RemoveQuietly(tmpPath);
        throw;
    }
    fileops::SyncFolder(fileops::Utf8FromPath(folder));
}

} // namespace tags::id3v2
