#include "FrameWalk.h"

#include "SynchData.h"

#include <cstdint>

namespace tags::id3v2 {

bool ValidFrameIdChar(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

size_t FrameHeaderLength(int version) { return version == 2 ? 6 : 10; }

size_t ExtendedHeaderLength(std::string_view body, int version) {
    const auto *b = reinterpret_cast<const unsigned char *>(body.data());
    if (body.size() < 4) return std::string_view::npos;
    std::uint32_t ext = 0;
    if (version == 3) {
        ext = DecodeBE32(b) + 4;
    } else if (!DecodeSynchsafe(b, ext)) {
        return std::string_view::npos;
    }
    if (ext < 6 || ext > body.size()) return std::string_view::npos;
    return ext;
}

FrameWalk WalkFrames(std::string_view body, int version, size_t from, const LoadBytes &load) {
    const auto *b = reinterpret_cast<const unsigned char *>(body.data());
    const size_t limit = body.size();
    const size_t hdr = FrameHeaderLength(version);
    const size_t idLen = version == 2 ? 3 : 4;
    // Whether a frame header (or padding, or the end) starts at `at`.
    auto startsFrame = [&](std::uint64_t at) {
        if (at == limit) return true;
        if (at + idLen > limit) return false;
        if (load) load(static_cast<size_t>(at), idLen);
        bool zero = true, ok = true;
        for (size_t i = 0; i < idLen; ++i) {
            zero = zero && b[at + i] == 0;
            ok = ok && ValidFrameIdChar(b[at + i]);
        }
        return zero || ok;
    };

    FrameWalk w;
    size_t pos = from;
    while (pos <= limit && limit - pos >= hdr) {
        if (load) load(pos, hdr);
        const unsigned char *fh = b + pos;
        bool zero = true, valid = true;
        for (size_t i = 0; i < idLen; ++i) {
            zero = zero && fh[i] == 0;
            valid = valid && ValidFrameIdChar(fh[i]);
        }
        if (zero) break; // padding
        std::uint32_t size = 0;
        if (version == 2) {
            size = DecodeBE24(fh + 3);
        } else if (version == 3) {
            size = DecodeBE32(fh + 4);
        } else {
            // Some writers put plain sizes into 2.4 frames; take the reading after
            // which the next frame (or the end) follows.
            const std::uint32_t plain = DecodeBE32(fh + 4);
            const bool safe = DecodeSynchsafe(fh + 4, size);
            if (!safe || (plain != size && !startsFrame(pos + hdr + std::uint64_t(size)) &&
                          startsFrame(pos + hdr + std::uint64_t(plain)))) {
                if (!startsFrame(pos + hdr + std::uint64_t(plain))) break;
                size = plain;
            }
        }
        if (size > limit - pos - hdr) break;
        // An odd identifier is a frame only when what follows it is in order.
        if (!valid && !startsFrame(pos + hdr + std::uint64_t(size))) break;
        w.frames.push_back({pos, size});
        pos += hdr + size;
    }
    w.end = pos;
    return w;
}

} // namespace tags::id3v2
