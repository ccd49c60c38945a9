#include "StreamInfo.h"

#include "FileOps.h"
#include "StreamBytes.h"
#include "StreamWalk.h"
#include "TagError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace mp3info {

namespace {

using namespace detail;

constexpr std::size_t kWindow = 8 * 1024;      // random access: tag ends, first frame, probes
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

// Whether the audio bytes (information frame included) can hold what the information
// frame promises: its byte count where it has one, and its frames at the shortest length
// the stream allows. A file cut short keeps the header of the whole.
bool HoldsPromise(const VbrHeader &v, const FrameHeader &h, std::int64_t audioBytes) {
    if (v.hasBytes && v.bytes > audioBytes) return false;
    return std::int64_t(v.frames) * h.shortestFrameLength() <= audioBytes - h.frameLength();
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

    if (vbr && vbr->hasFrames && vbr->frames > 0 && !HoldsPromise(*vbr, h, end - first.pos)) {
        // Time and bitrate from the frames that are there.
        info.method = StreamInfo::Method::FrameWalk;
        info.vbr = vbr->kind != VbrHeader::Kind::Info;
        WalkFrames(src, first.pos + firstLen, end, h, info);
        return;
    }
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
