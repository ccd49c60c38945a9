#include "StreamWalk.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#ifdef SORTI_CATCH_BUS
#include <csetjmp>
#include <csignal>
#include <mutex>
#endif

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

namespace mp3info {

namespace detail {

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

} // namespace detail

namespace {

using namespace detail;

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

// Sequential header walk: mapped windows, or reads of this size where mapping fails.
// A fixed window keeps memory the same whatever the length of the file.
constexpr std::size_t kWalkWindow = 256 * 1024;
constexpr std::size_t kWalkMapWindow = 1024 * 1024;
constexpr int kPrefetchAhead = 8192;

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

} // namespace

void detail::WalkFrames(ByteSource &src, std::int64_t from, std::int64_t end, const FrameHeader &like, StreamInfo &info) {
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

} // namespace mp3info
