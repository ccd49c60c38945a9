#include "TagFile.h"

#include "FileOps.h"
#include "FrameWalk.h"
#include "MpegFrame.h"
#include "SynchData.h"
#include "TagError.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace tags::id3v2 {

using fileops::File;

namespace {

// Whether an MPEG frame header at offset `at` (its 4 bytes in h) starts audio: the
// next header of the same stream sits where this frame ends, or the file ends there.
bool AudioFrameAt(File &f, std::int64_t at, const unsigned char *h, std::int64_t fileLen) {
    const auto head = mp3info::ParseFrameHeader(h);
    if (!head) return false;
    const std::int64_t next = at + head->frameLength();
    if (next == fileLen) return true;
    unsigned char n[4];
    if (next + 4 > fileLen) return false;
    f.Seek(next);
    if (f.ReadFull(n, sizeof n) != sizeof n) return false;
    const auto second = mp3info::ParseFrameHeader(n);
    return second && mp3info::SameStream(*head, *second);
}

// Offset in `raw` (an unsynchronised body) of the byte that resynchronises to `pos`.
size_t RawOffset(std::string_view raw, size_t pos) {
    size_t i = 0;
    for (size_t out = 0; i < raw.size() && out < pos; ++out) {
        if (static_cast<unsigned char>(raw[i]) == 0xFF && i + 1 < raw.size() && raw[i + 1] == 0) {
            i += 2;
        } else {
            ++i;
        }
    }
    return i;
}

// The first audio frame in [from, to), and with wantTag the first "ID3" before it.
FrontScan Scan(File &f, std::int64_t from, std::int64_t to, std::int64_t fileLen, bool wantTag) {
    FrontScan r;
    std::vector<unsigned char> buf(kScanWindow);
    for (std::int64_t p = from; p < to; p += kScanWindow - 3) {
        // The window may reach past `to`: a header starting before it needs its 4 bytes.
        const size_t len = static_cast<size_t>(std::min<std::int64_t>(kScanWindow, fileLen - p));
        f.Seek(p);
        const size_t got = f.ReadFull(buf.data(), len);
        const std::string_view w(reinterpret_cast<const char *>(buf.data()), got);
        size_t id3 = wantTag ? w.find("ID3") : std::string_view::npos;
        // The file's very last byte is never examined.
        if (id3 != std::string_view::npos && p + static_cast<std::int64_t>(id3) + 3 >= fileLen) id3 = std::string_view::npos;
        const size_t last = std::min({id3, got >= 4 ? got - 3 : 0, static_cast<size_t>(to - p)});
        for (size_t i = 0; i < last; ++i) {
            if (buf[i] != 0xFF || (buf[i + 1] & 0xE0) != 0xE0) continue;
            const unsigned char h[4] = {buf[i], buf[i + 1], buf[i + 2], buf[i + 3]};
            if (AudioFrameAt(f, p + static_cast<std::int64_t>(i), h, fileLen)) {
                r.audioStart = p + static_cast<std::int64_t>(i);
                return r;
            }
        }
        if (id3 != std::string_view::npos) {
            r.tagStart = p + static_cast<std::int64_t>(id3) + 4;
            return r;
        }
        if (got < len || p + static_cast<std::int64_t>(got) >= fileLen) break;
    }
    return r;
}

} // namespace

FrontScan ScanFront(File &f, std::int64_t fileLen, std::int64_t from) { return Scan(f, from, fileLen, fileLen, true); }

TagRoom MeasureTag(File &f, std::int64_t tagPos, std::int64_t fileLen) {
    unsigned char h[10];
    f.Seek(tagPos);
    std::uint32_t size = 0;
    if (f.ReadFull(h, sizeof h) != sizeof h || std::memcmp(h, "ID3", 3) != 0 || h[3] < 2 || h[3] > 4 ||
        !DecodeSynchsafe(h + 6, size))
        return {};
    const int version = h[3];
    const std::int64_t declaredEnd = tagPos + 10 + size;
    if (declaredEnd > fileLen) return {};

    TagRoom room;
    unsigned char next[4];
    f.Seek(declaredEnd);
    const size_t got = f.ReadFull(next, sizeof next);
    if (got == sizeof next && AudioFrameAt(f, declaredEnd, next, fileLen)) {
        room.proven = room.end = 10 + size;
    } else {
        std::string raw(size, '\0');
        f.Seek(tagPos + 10);
        if (f.ReadFull(raw.data(), raw.size()) != raw.size()) return {};
        // 2.3 and 2.2 unsynchronise the whole body, 2.4 frame by frame.
        const bool unsync = version < 4 && (h[5] & 0x80);
        const std::string body = unsync ? Resynchronise(raw) : raw;
        size_t from = 0;
        if (version >= 3 && (h[5] & 0x40)) {
            from = ExtendedHeaderLength(body, version);
            if (from == std::string_view::npos) return {};
        }
        size_t end = WalkFrames(body, version, from).end;
        if (unsync) end = RawOffset(raw, end);
        while (end < raw.size() && raw[end] == 0) ++end;
        room.proven = 10 + static_cast<std::int64_t>(end);
        room.end = 10 + size;
        if (version == 4 && (h[5] & 0x10) && got >= 3 && std::memcmp(next, "3DI", 3) == 0) {
            room.end += 10;
            if (room.proven == 10 + size) room.proven = room.end;
        }
    }
    // Sizes that run into audio prove nothing about the audio.
    const std::int64_t audio = Scan(f, tagPos + 10, tagPos + room.end, fileLen, false).audioStart;
    if (audio >= 0) room.end = std::min(room.end, audio - tagPos);
    room.proven = std::min(room.proven, room.end);
    return room;
}

namespace {

// Hidden and short whatever the file's own name, so it never hits the name length limit.
std::string TempName(const std::filesystem::path &folder) {
    static std::atomic<unsigned> counter{0};
    const std::string name = ".sortimentor-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
    return (folder / name).string();
}

// Temporary files of writers that were killed before their rename: the original
// they were made from is still in place, so they are only garbage. Once per folder
// and process; files of a process that still runs stay.
void RemoveStaleTemps(const std::filesystem::path &folder) {
#ifndef _WIN32
    static std::mutex mutex;
    static std::set<std::string> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!done.insert(folder.string()).second) return;
    }
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        unsigned long pid = 0;
        unsigned n = 0;
        char tail[8] = {};
        if (std::sscanf(name.c_str(), ".sortimentor-%lu-%u.%4s", &pid, &n, tail) != 3 || std::string(tail) != "tmp") continue;
        if (pid == 0 || static_cast<pid_t>(pid) == getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) fileops::RemoveQuietly(e.path().string());
    }
#else
    (void)folder;
#endif
}

} // namespace

void RewriteWithRoom(File &src, const std::string &path, const std::string &head, std::int64_t room,
                     const std::string &source) {
    namespace fs = std::filesystem;
    const fs::path target(path);
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
            if (e.number() != EEXIST || attempt >= 50) throw;
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
            throw SystemError(source, EIO);
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
    fileops::SyncFolder(folder.string());
}

} // namespace tags::id3v2
