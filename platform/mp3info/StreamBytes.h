#pragma once
// The bytes of an MPEG file as the stream reader looks at them: read windows, or for
// the frame walk a mapping of the file. Inside the library only.
#include "FileOps.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#include <unistd.h>
#define SORTI_MAPPED_WALK 1
#define SORTI_CATCH_BUS 1
#elif defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#define SORTI_MAPPED_WALK 1
#endif

namespace mp3info::detail {

using tags::fileops::File;

// Read windows over the file. At() hands out n contiguous bytes at pos, refilling
// the window used least recently only when they are not already inside one. Two
// windows, so that looking at the end of the file does not lose the start of the
// audio; a refill reads at least kMinRead bytes, up to the window.
// For the sequential frame walk the window can be a mapping of the file instead,
// which spares copying every byte when only the frame headers are looked at.
constexpr std::size_t kMinRead = 4096;

class ByteSource {
public:
    ByteSource(File &f, std::int64_t size, std::size_t window) : f_(f), size_(size), window_(window) {}
    ~ByteSource() { Unmap(); }
    ByteSource(const ByteSource &) = delete;
    ByteSource &operator=(const ByteSource &) = delete;

    std::int64_t size() const { return size_; }
    // Windows of this size, each refill reading all of it (for sequential reads).
    void SetWindow(std::size_t window) {
        if (window == window_) return;
        window_ = window;
        minRead_ = window;
        for (Slot &w : slots_) w = Slot{};
    }
    // Maps windows of `window` bytes from `from` on; false where the file cannot be mapped.
    // Should a later mapping fail, reads of `fallback` bytes take over.
    bool MapWindows(std::int64_t from, std::size_t window, std::size_t fallback) {
#ifdef SORTI_MAPPED_WALK
        mapWindow_ = window;
        fallbackWindow_ = fallback;
        if (OpenForMapping() && Mapped(from, 0)) return true;
        Unmap();
        return false;
#else
        (void)from;
        (void)window;
        (void)fallback;
        return false;
#endif
    }

    // Up to `most` bytes at pos without a refill where a window holds at least `least`
    // of them (a scan takes what is there); otherwise At(pos, most). `got` tells how many.
    const unsigned char *Some(std::int64_t pos, std::size_t least, std::size_t most, std::size_t &got) {
#ifdef SORTI_MAPPED_WALK
        if (!mapping_)
#endif
            if (const unsigned char *p = Held(pos, least, got)) {
                got = std::min(got, most);
                return p;
            }
        got = most;
        return At(pos, most);
    }

    // Reads instead of the mapping from here on.
    void StopMapping() {
#ifdef SORTI_MAPPED_WALK
        if (!mapping_) return;
        Unmap();
        SetWindow(fallbackWindow_);
#endif
    }

    // At least `least` bytes at pos, and all that follow them in the same window; `got` tells how many.
    const unsigned char *Run(std::int64_t pos, std::size_t least, std::size_t &got) {
        const unsigned char *p = At(pos, least);
        if (!p) return nullptr;
#ifdef SORTI_MAPPED_WALK
        if (mapping_) {
            got = static_cast<std::size_t>(mapStart_ + mapLen_ - pos);
            return p;
        }
#endif
        Held(pos, least, got);
        return p;
    }

    // nullptr when [pos, pos + n) is not inside the file. n must not exceed the window.
    const unsigned char *At(std::int64_t pos, std::size_t n) {
        if (pos < 0 || pos + static_cast<std::int64_t>(n) > size_) return nullptr;
#ifdef SORTI_MAPPED_WALK
        if (mapping_) {
            if (const unsigned char *p = Mapped(pos, n)) return p;
            Unmap(); // mapping failed: back to reads
            SetWindow(fallbackWindow_);
        }
#endif
        std::size_t held = 0;
        if (const unsigned char *p = Held(pos, n, held)) return p;
        const auto end = pos + static_cast<std::int64_t>(n);
        Slot &w = slots_[0].used <= slots_[1].used ? slots_[0] : slots_[1];
        if (w.size != window_) {
            w.buf = std::make_unique_for_overwrite<unsigned char[]>(window_); // the read fills what is used
            w.size = window_;
        }
        // Near the end the read is pulled back so that it covers all trailers. Reads of
        // kMinRead at the start and at the end are the blocks the file keeps.
        const auto want = static_cast<std::int64_t>(std::min(window_, std::max(n, minRead_)));
        w.start = std::max<std::int64_t>(0, std::min(pos, size_ - want));
        w.len = f_.ReadAt(w.start, w.buf.get(), static_cast<std::size_t>(std::min(want, size_ - w.start)));
        w.used = tick_;
        if (end > w.start + static_cast<std::int64_t>(w.len)) return nullptr;
        return w.buf.get() + (pos - w.start);
    }

private:
    // The window holding [pos, pos + least), marked as used; `held` tells how many bytes
    // it has from pos on. nullptr when no window holds them.
    const unsigned char *Held(std::int64_t pos, std::size_t least, std::size_t &held) {
        ++tick_;
        for (Slot &w : slots_) {
            const std::int64_t end = w.start + static_cast<std::int64_t>(w.len);
            if (pos >= w.start && pos + static_cast<std::int64_t>(least) <= end) {
                w.used = tick_;
                held = static_cast<std::size_t>(end - pos);
                return w.buf.get() + (pos - w.start);
            }
        }
        return nullptr;
    }

#ifdef SORTI_MAPPED_WALK
    const unsigned char *Mapped(std::int64_t pos, std::size_t n) {
        if (map_ && pos >= mapStart_ && pos + static_cast<std::int64_t>(n) <= mapStart_ + mapLen_)
            return map_ + (pos - mapStart_);
        ReleaseView();
        static const std::int64_t grain = MapGrain();
        mapStart_ = pos - pos % grain;
        mapLen_ = std::min<std::int64_t>(static_cast<std::int64_t>(mapWindow_), size_ - mapStart_);
        if (pos + static_cast<std::int64_t>(n) > mapStart_ + mapLen_) return nullptr;
        map_ = MapView();
        return map_ ? map_ + (pos - mapStart_) : nullptr;
    }
    void Unmap() {
        ReleaseView();
        CloseMapping();
    }
#ifdef _WIN32
    bool OpenForMapping() {
        mapping_ = CreateFileMappingW(static_cast<HANDLE>(f_.Handle()), nullptr, PAGE_READONLY, 0, 0, nullptr);
        return mapping_ != nullptr;
    }
    static std::int64_t MapGrain() {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return info.dwAllocationGranularity;
    }
    const unsigned char *MapView() {
        const auto at = static_cast<std::uint64_t>(mapStart_);
        return static_cast<const unsigned char *>(MapViewOfFile(mapping_, FILE_MAP_READ, static_cast<DWORD>(at >> 32),
                                                                static_cast<DWORD>(at), static_cast<SIZE_T>(mapLen_)));
    }
    void ReleaseView() {
        if (map_) UnmapViewOfFile(map_);
        map_ = nullptr;
    }
    void CloseMapping() {
        if (mapping_) CloseHandle(mapping_);
        mapping_ = nullptr;
    }
    HANDLE mapping_ = nullptr; // null while the walk reads instead
#else
    bool OpenForMapping() {
        mapping_ = f_.Descriptor() >= 0;
        return mapping_;
    }
    static std::int64_t MapGrain() { return ::sysconf(_SC_PAGESIZE); }
    const unsigned char *MapView() {
        // Not populated up front: the faults of the walk map the pages around each in one
        // go, which costs less than entering every page before the walk starts.
        void *m = ::mmap(nullptr, static_cast<std::size_t>(mapLen_), PROT_READ, MAP_PRIVATE, f_.Descriptor(),
                         static_cast<off_t>(mapStart_));
        return m == MAP_FAILED ? nullptr : static_cast<const unsigned char *>(m);
    }
    void ReleaseView() {
        if (map_) ::munmap(const_cast<unsigned char *>(map_), static_cast<std::size_t>(mapLen_));
        map_ = nullptr;
    }
    void CloseMapping() { mapping_ = false; }
    bool mapping_ = false; // false while the walk reads instead
#endif
    std::size_t mapWindow_ = 0;
    std::size_t fallbackWindow_ = 0;
    const unsigned char *map_ = nullptr;
    std::int64_t mapStart_ = 0, mapLen_ = 0;
#else
    void Unmap() {}
#endif

    struct Slot {
        std::unique_ptr<unsigned char[]> buf;
        std::size_t size = 0;
        std::int64_t start = 0;
        std::size_t len = 0;
        unsigned used = 0;
    };
    File &f_;
    std::int64_t size_;
    std::size_t window_, minRead_ = kMinRead;
    Slot slots_[2];
    unsigned tick_ = 0;
};

} // namespace mp3info::detail
