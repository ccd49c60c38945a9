#include "StreamInfo.h"

#include "FileOps.h"
#include "TagError.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#include <unistd.h>

#include <csetjmp>
#include <csignal>
#include <mutex>
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

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

namespace mp3info {

namespace {

// A hint to start loading the cache line at p; no effect on what is read.
inline void Prefetch(const unsigned char *p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    _mm_prefetch(reinterpret_cast<const char *>(p), _MM_HINT_T0);
#else
    (void)p;
#endif
}

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

constexpr std::size_t kWindow = 8 * 1024;      // random access: tag ends, first frame, probes
// Sequential header walk: mapped windows, or reads of this size where mapping fails.
// A fixed window keeps memory the same whatever the length of the file.
constexpr std::size_t kWalkWindow = 256 * 1024;
constexpr std::size_t kWalkMapWindow = 1024 * 1024;
constexpr int kPrefetchAhead = 8192;
constexpr std::int64_t kProbeReach = 64 * 1024;

// Offset after the trailing tags: ID3v1 (and the extended TAG+ block), APE,
// Lyrics3 v1/v2 and an appended ID3v2 tag with footer, in any order and repeated.
std::int64_t AudioEnd(ByteSource &src, std::int64_t audioStart) {
    std::int64_t end = src.size();
    for (;;) {
        const std::int64_t before = end;
        if (end - 128 >= audioStart) {
            if (const unsigned char *p = src.At(end - 128, 3); p && std::memcmp(p, "TAG", 3) == 0) {
                end -= 128;
                if (const unsigned char *q = src.At(end - 227, 4); end - 227 >= audioStart && q && std::memcmp(q, "TAG+", 4) == 0)
                    end -= 227;
            }
        }
        if (end - 32 >= audioStart) {
            if (const unsigned char *p = src.At(end - 32, 32); p && std::memcmp(p, "APETAGEX", 8) == 0) {
                const std::int64_t size = p[12] | (p[13] << 8) | (p[14] << 16) | (std::int64_t(p[15]) << 24);
                const bool header = p[23] & 0x80;
                const std::int64_t total = size + (header ? 32 : 0);
                if (size >= 32 && end - total >= audioStart) end -= total;
            }
        }
        if (end - 15 >= audioStart) {
            if (const unsigned char *p = src.At(end - 15, 15)) {
                if (std::memcmp(p + 6, "LYRICS200", 9) == 0) {
                    std::int64_t size = 0;
                    bool digits = true;
                    for (int i = 0; i < 6; ++i) {
                        if (p[i] < '0' || p[i] > '9') digits = false;
                        size = size * 10 + (p[i] - '0');
                    }
                    const unsigned char *b = digits ? src.At(end - 15 - size, 11) : nullptr;
                    if (b && end - 15 - size >= audioStart && std::memcmp(b, "LYRICSBEGIN", 11) == 0)
                        end -= 15 + size;
                } else if (std::memcmp(p + 6, "LYRICSEND", 9) == 0) {
                    // Lyrics3 v1: at most 5100 bytes of lyrics after "LYRICSBEGIN".
                    const std::int64_t from = std::max(audioStart, end - 9 - 5100 - 11);
                    const std::size_t n = static_cast<std::size_t>(end - 9 - from);
                    if (const unsigned char *b = src.At(from, n)) {
                        const unsigned char *hit = nullptr;
                        for (std::size_t i = 0; i + 11 <= n; ++i)
                            if (std::memcmp(b + i, "LYRICSBEGIN", 11) == 0) { hit = b + i; break; }
                        if (hit) end = from + (hit - b);
                    }
                }
            }
        }
        if (end - 10 >= audioStart) {
            if (const unsigned char *p = src.At(end - 10, 10); p && std::memcmp(p, "3DI", 3) == 0) {
                unsigned char h[10];
                std::memcpy(h, p, 10);
                std::memcpy(h, "ID3", 3);
                const std::int64_t total = ID3v2TagSize(h, 10); // counts the footer in
                const unsigned char *head = total > 0 && end - total >= audioStart ? src.At(end - total, 3) : nullptr;
                if (head && std::memcmp(head, "ID3", 3) == 0) end -= total;
            }
        }
        if (end == before) return end;
    }
}

// A valid header at pos whose successor starts where the frame ends (or the
// frame ends exactly at the end of the audio). `like` narrows to one stream.
std::optional<FrameHeader> ChainedHeader(ByteSource &src, std::int64_t pos, std::int64_t end, const FrameHeader *like) {
    if (pos + 4 > end) return std::nullopt;
    const unsigned char *p = src.At(pos, 4);
    if (!p || p[0] != 0xFF) return std::nullopt;
    auto h = ParseFrameHeader(p);
    if (!h || (like && !SameStream(*h, *like))) return std::nullopt;
    const std::int64_t next = pos + h->frameLength();
    if (next == end) return h;
    if (next + 4 > end) return std::nullopt;
    const unsigned char *q = src.At(next, 4);
    if (!q) return std::nullopt;
    auto n = ParseFrameHeader(q);
    if (!n || !SameStream(*h, *n)) return std::nullopt;
    return h;
}

struct Found {
    std::int64_t pos = -1;
    FrameHeader h;
};

Found FindFrame(ByteSource &src, std::int64_t from, std::int64_t end, std::int64_t limit, const FrameHeader *like) {
    const std::int64_t stop = std::min(end, limit);
    for (std::int64_t pos = from; pos + 4 <= stop; ++pos) {
        // Jump to the next FF byte inside the current window.
        std::size_t span = 0;
        const unsigned char *p = src.Some(pos, 4, static_cast<std::size_t>(std::min<std::int64_t>(stop - pos, 4096)), span);
        if (!p) return {};
        const void *ff = std::memchr(p, 0xFF, span);
        if (!ff) {
            pos += static_cast<std::int64_t>(span) - 1;
            continue;
        }
        pos += static_cast<const unsigned char *>(ff) - p;
        if (auto h = ChainedHeader(src, pos, end, like)) return {pos, *h};
    }
    return {};
}

// Collects the bitrates of up to `count` chained frames from a resync point.
void SampleBitrates(ByteSource &src, std::int64_t from, std::int64_t end, const FrameHeader &like, int count,
                    std::vector<int> &out) {
    Found f = FindFrame(src, from, end, from + kProbeReach, &like);
    if (f.pos < 0) return;
    std::int64_t pos = f.pos;
    for (int i = 0; i < count && pos + 4 <= end; ++i) {
        const unsigned char *p = src.At(pos, 4);
        auto h = p ? ParseFrameHeader(p) : std::nullopt;
        if (!h || !SameStream(*h, like)) return;
        out.push_back(h->bitrateKbps);
        pos += h->frameLength();
    }
}

// Frame lengths of one stream by the third header byte (bitrate, padding), once the
// second byte matches; 0 = not known yet, -1 = no frame of this stream.
class Lengths {
public:
    explicit Lengths(const FrameHeader &like) : like_(like) {}
    void Forget() {
        by_.fill(0);
        second_ = -1;
    }
    // The length of the frame at p (four bytes there), or -1 when it is none of the stream's.
    int At(const unsigned char *p) {
        if (second_ < 0) {
            const int len = Parse(p);
            if (len > 0) second_ = p[1];
            return len;
        }
        if (p[0] != 0xFF) return -1;
        if (p[1] != second_) return Parse(p);
        int &len = by_[p[2]];
        if (len == 0) len = Parse(p);
        return len;
    }

private:
    int Parse(const unsigned char *p) const {
        const auto h = ParseFrameHeader(p);
        return h && SameStream(*h, like_) ? h->frameLength() : -1;
    }
    const FrameHeader &like_;
    std::array<int, 256> by_{};
    int second_ = -1;
};

// Where two chained frames of the stream start in [from, from + reach) of the n bytes at p;
// -1 if none do. A false start costs no count: its piece is not joined.
std::int64_t ChainStart(const unsigned char *p, std::size_t n, std::size_t from, std::size_t reach, Lengths &lengths) {
    const std::size_t limit = std::min(from + reach, n - 3);
    for (std::size_t i = from; i < limit; ++i) {
        const void *ff = std::memchr(p + i, 0xFF, limit - i);
        if (!ff) return -1;
        i = static_cast<std::size_t>(static_cast<const unsigned char *>(ff) - p);
        std::size_t at = i;
        int k = 0;
        for (; k < 2 && at + 4 <= n; ++k) {
            const int len = lengths.At(p + at);
            if (len <= 0) break;
            at += static_cast<std::size_t>(len);
        }
        if (k == 2) return static_cast<std::int64_t>(i);
    }
    return -1;
}

constexpr std::size_t kChainSpan = 16 * 1024;
constexpr int kChains = 16;
} // namespace

int detail::walkPieces = kChains;

namespace {

// Counts the frames from p on, within the n bytes there, up to the first that is none of
// the stream's; returns how many bytes it went. Each header says where the next one is,
// so a single walk waits on memory at every frame. With `chained`, the stretch is cut at
// frame starts found further on and the pieces are walked side by side. A piece counts
// only if the one before it ends exactly where it starts; otherwise the count stops there
// and the caller walks on one frame at a time, as it would have anyway.
std::size_t CountFrames(const unsigned char *p, std::size_t n, bool chained, Lengths &lengths, std::int64_t &frames,
                        std::int64_t &bytes) {
    if (n < 4) return 0;
    const unsigned char *last = p + n - 4;
    std::size_t start[kChains] = {0};
    int chains = 1;
    const int most = std::clamp(detail::walkPieces, 1, kChains);
    const int want = chained ? static_cast<int>(std::min<std::size_t>(most, n / kChainSpan)) : 1;
    for (int k = 1; k < want; ++k) // the places looked at next, fetched together
        for (std::size_t off = 0; off < 1024; off += 64) Prefetch(p + n * k / want + off);
    for (int k = 1; k < want; ++k) {
        const std::int64_t at = ChainStart(p, n, n * k / want, kChainSpan / 2, lengths);
        if (at > static_cast<std::int64_t>(start[chains - 1])) start[chains++] = static_cast<std::size_t>(at);
    }
    if (chains == 1) {
        const unsigned char *q = p;
        for (int len; q <= last && (len = lengths.At(q)) > 0; q += len) {
            // Fetch the bytes a few frames ahead while this one is counted.
            for (int off = 0; off < len; off += 64) Prefetch(q + kPrefetchAhead + off);
            ++frames;
            bytes += len;
        }
        return static_cast<std::size_t>(q - p);
    }
    const unsigned char *q[kChains];
    std::int64_t count[kChains] = {}, sum[kChains] = {};
    bool open[kChains];
    for (int k = 0; k < chains; ++k) {
        q[k] = p + start[k];
        open[k] = true;
    }
    for (int active = chains; active > 0;) {
        for (int k = 0; k < chains; ++k) {
            if (!open[k]) continue;
            const unsigned char *stop = k + 1 < chains ? p + start[k + 1] : last + 1;
            const int len = q[k] < stop ? lengths.At(q[k]) : -1;
            if (len <= 0) {
                open[k] = false;
                --active;
                continue;
            }
            ++count[k];
            sum[k] += len;
            q[k] += len;
            Prefetch(q[k]);
        }
    }
    for (int k = 0;; ++k) {
        frames += count[k];
        bytes += sum[k];
        if (k + 1 == chains || q[k] != p + start[k + 1]) return static_cast<std::size_t>(q[k] - p);
    }
}

#ifdef SORTI_CATCH_BUS
// Touching a page of a mapped file that another program has cut short since, or that
// the disk cannot deliver, raises SIGBUS. During a walk it ends the mapping instead of
// the program: the walk goes on with reads, which see the file as it is now.
thread_local sigjmp_buf *tWalkJump = nullptr;
struct sigaction gOtherBus;

void OnBus(int sig, siginfo_t *info, void *context) {
    if (tWalkJump) siglongjmp(*tWalkJump, 1);
    if (gOtherBus.sa_flags & SA_SIGINFO) {
        if (gOtherBus.sa_sigaction) gOtherBus.sa_sigaction(sig, info, context);
        return;
    }
    if (gOtherBus.sa_handler != SIG_DFL && gOtherBus.sa_handler != SIG_IGN) return gOtherBus.sa_handler(sig);
    ::signal(SIGBUS, SIG_DFL); // the access faults again and the default action follows
}

struct BusCatch {
    explicit BusCatch(sigjmp_buf *jump) {
        static std::once_flag once;
        std::call_once(once, [] {
            struct sigaction sa {};
            sa.sa_sigaction = OnBus;
            sa.sa_flags = SA_SIGINFO;
            sigemptyset(&sa.sa_mask);
            ::sigaction(SIGBUS, &sa, &gOtherBus);
        });
        tWalkJump = jump;
    }
    ~BusCatch() { tWalkJump = nullptr; }
    BusCatch(const BusCatch &) = delete;
    BusCatch &operator=(const BusCatch &) = delete;
};
#endif

// Walks every frame header from pos to end, resyncing over damaged stretches.
void WalkFrames(ByteSource &src, std::int64_t from, std::int64_t end, const FrameHeader &like, StreamInfo &info) {
    const bool mapped = src.MapWindows(from, kWalkMapWindow, kWalkWindow);
    if (!mapped) src.SetWindow(kWalkWindow);
    Lengths lengths(like);
    // Kept in memory: after a jump back from the signal they hold the last frame counted.
    volatile std::int64_t pos = from, frames = 0, bytes = 0;
    volatile std::int64_t single = 0; // up to here, one frame after the other: the window had damage
#ifdef SORTI_CATCH_BUS
    sigjmp_buf jump;
    BusCatch guard(mapped ? &jump : nullptr);
    if (mapped && sigsetjmp(jump, 1) != 0) {
        tWalkJump = nullptr;
        src.StopMapping();
        lengths.Forget();
    }
#endif
    while (pos + 4 <= end) {
        std::size_t run = 0;
        const unsigned char *p = src.Run(pos, 4, run);
        if (p) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(run), end - pos));
            std::int64_t counted = 0, sum = 0;
            const std::size_t went = CountFrames(p, n, pos >= single, lengths, counted, sum);
            if (went + 4 <= n) single = pos + static_cast<std::int64_t>(n);
            frames = frames + counted;
            bytes = bytes + sum;
            pos = pos + static_cast<std::int64_t>(went);
            if (went > 0) continue;
        }
        // No frame of the stream at pos (a frame there was counted above), or its bytes are gone.
        Found f = FindFrame(src, pos + 1, end, end, &like);
        if (f.pos < 0) break;
        pos = f.pos;
    }
    const std::int64_t counted = frames;
    const std::int64_t sum = bytes - std::max<std::int64_t>(0, pos - end); // the last frame cut short by the end
    info.frames = counted;
    info.seconds = static_cast<double>(counted) * like.samplesPerFrame() / like.sampleRate;
    if (info.seconds > 0) info.bitrateKbps = static_cast<int>(std::lround(sum * 8.0 / info.seconds / 1000.0));
}

void Analyse(File &file, StreamInfo &info) {
    ByteSource src(file, file.Size(), kWindow);

    // Leading ID3v2 tags (sometimes more than one).
    std::int64_t start = 0;
    for (;;) {
        const unsigned char *p = src.At(start, 10);
        const std::int64_t tag = p ? ID3v2TagSize(p, 10) : 0;
        if (tag == 0) break;
        start += tag;
    }
    if (start >= src.size()) return;

    const std::int64_t end = AudioEnd(src, start);
    const Found first = FindFrame(src, start, end, end, nullptr);
    if (first.pos < 0) return;

    const FrameHeader &h = first.h;
    info.hasAudio = true;
    info.first = h;
    info.audioStart = first.pos;
    info.audioEnd = end;
    const std::int64_t firstLen = h.frameLength();

    const std::size_t avail = static_cast<std::size_t>(std::min<std::int64_t>(firstLen, end - first.pos));
    const unsigned char *fp = src.At(first.pos, avail);
    VbrHeader vbrHeader;
    bool hasVbrHeader = false;
    if (fp) {
        if (auto v = ParseVbrHeader(fp, avail, h)) {
            vbrHeader = *v;
            hasVbrHeader = true;
        }
    }
    const VbrHeader *vbr = hasVbrHeader ? &vbrHeader : nullptr;
    const double secondsPerFrame = static_cast<double>(h.samplesPerFrame()) / h.sampleRate;

    if (vbr && vbr->hasFrames && vbr->frames > 0) {
        info.method = vbr->kind == VbrHeader::Kind::Vbri ? StreamInfo::Method::VbriCount : StreamInfo::Method::XingCount;
        info.frames = vbr->frames;
        info.seconds = vbr->frames * secondsPerFrame;
        const unsigned char *np = src.At(first.pos + firstLen, 4);
        const auto next = np ? ParseFrameHeader(np) : std::nullopt;
        if (vbr->kind == VbrHeader::Kind::Info && next) {
            info.bitrateKbps = next->bitrateKbps; // LAME marks constant-bitrate streams "Info"
        } else {
            info.vbr = true;
            // The information frame is counted in, as its own byte count does.
            const std::int64_t audioBytes = end - first.pos;
            info.bitrateKbps = static_cast<int>(std::lround(audioBytes * 8.0 / info.seconds / 1000.0));
        }
        return;
    }

    // No usable count: the audio starts after an information frame if there is one.
    const std::int64_t dataStart = vbr ? first.pos + firstLen : first.pos;
    Found data = vbr ? FindFrame(src, dataStart, end, dataStart + kProbeReach, &h) : first;
    if (data.pos < 0) data = first;

    // Constant bitrate, unless frames at the start or at three points further on say otherwise.
    std::vector<int> rates;
    auto same = [&] { return !rates.empty() && std::all_of(rates.begin(), rates.end(), [&](int r) { return r == rates[0]; }); };
    SampleBitrates(src, data.pos, end, h, 16, rates);
    // A stream that varies at the start is walked anyway: no need to look further on.
    for (int quarter = 1; quarter <= 3 && same(); ++quarter)
        SampleBitrates(src, data.pos + (end - data.pos) * quarter / 4, end, h, 6, rates);
    const bool constant = same();

    if (constant) {
        info.method = StreamInfo::Method::ConstantBitrate;
        info.bitrateKbps = rates[0];
        info.seconds = (end - data.pos) * 8.0 / (rates[0] * 1000.0);
        info.frames = static_cast<std::int64_t>(std::llround(info.seconds / secondsPerFrame));
        return;
    }
    info.method = StreamInfo::Method::FrameWalk;
    info.vbr = true;
    WalkFrames(src, data.pos, end, h, info);
}

} // namespace

std::int32_t StreamInfo::WholeSeconds() const {
    if (!(seconds > 0)) return 0;
    return static_cast<std::int32_t>(std::lround(std::min(seconds, static_cast<double>(INT32_MAX))));
}

StreamInfo ReadStreamInfo(const std::string &path) noexcept {
    try {
        File file("mp3info");
        file.Open(path, File::Mode::Read);
        return ReadStreamInfo(file);
    } catch (const std::exception &e) {
        StreamInfo info;
        info.error = e.what();
        return info;
    } catch (...) {
        StreamInfo info;
        info.error = "unknown error";
        return info;
    }
}

StreamInfo ReadStreamInfo(File &file) noexcept {
    StreamInfo info;
    try {
        info.readable = true;
        Analyse(file, info);
    } catch (const std::exception &e) {
        const StreamInfo blank;
        info = blank;
        info.error = e.what();
    } catch (...) {
        info = StreamInfo{};
        info.error = "unknown error";
    }
    if (!info.hasAudio) {
        info.bitrateKbps = 0;
        info.seconds = 0;
    }
    return info;
}

} // namespace mp3info
