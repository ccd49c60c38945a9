#include "FrameWalk.h"

#include "SynchData.h"

#include <cstdint>

namespace tags::id3v2 {

bool ValidFrameIdChar(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool PlainFrameId(std::string_view id) {
    for (char c : id)
        if (!ValidFrameIdChar(static_cast<unsigned char>(c))) return false;
    return true;
}

size_t FrameHeaderLength(int version) { return version == 2 ? 6 : 10; }

size_t FramesStart(std::string_view body, int version, int tagFlags) {
    if (version < 3 || !(tagFlags & 0x40)) return 0;
    const auto *b = reinterpret_cast<const unsigned char *>(body.data());
    if (body.size() < 4) return std::string_view::npos;
    // The size of a real one starts with a zero byte, far below the letters and digits.
    if (PlainFrameId(body.substr(0, 4))) return 0;
    std::uint32_t ext = 0;
    if (version == 3) {
        ext = DecodeBE32(b) + 4;
    } else if (!DecodeSynchsafe(b, ext)) {
        return std::string_view::npos;
    }
    if (ext < 6 || ext > body.size()) return std::string_view::npos;
    return ext;
}

namespace {

// How 2.4 frame sizes are read: synchsafe, plain 32-bit, or frame by frame whichever
// reading the next frame follows.
enum class Sizes { kSynchsafe, kPlain, kEach };

struct Walker {
    std::string_view body;
    int version;
    const LoadBytes &load;
    const unsigned char *b = reinterpret_cast<const unsigned char *>(body.data());
    const size_t limit = body.size();
    const size_t hdr = FrameHeaderLength(version);
    const size_t idLen = version == 2 ? 3 : 4;

    // Whether a frame header (or padding, or the end) starts at `at`.
    bool StartsFrame(std::uint64_t at) const {
        if (at == limit) return true;
        if (at + idLen > limit) return false;
        if (load) load(static_cast<size_t>(at), idLen);
        bool zero = true, ok = true;
        for (size_t i = 0; i < idLen; ++i) {
            zero = zero && b[at + i] == 0;
            ok = ok && ValidFrameIdChar(b[at + i]);
        }
        return zero || ok;
    }

    // Whether a walk ended in order: at the end, or with nothing but zero bytes after it.
    bool Clean(const FrameWalk &w) const {
        if (w.cut) return false;
        if (w.end >= limit) return true;
        if (load) load(w.end, limit - w.end);
        return body.find_first_not_of('\0', w.end) == std::string_view::npos;
    }

    FrameWalk Walk(size_t from, Sizes sizes, bool *ambiguous = nullptr) const {
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
                const std::uint32_t plain = DecodeBE32(fh + 4);
                const bool safe = DecodeSynchsafe(fh + 4, size);
                if (ambiguous && (!safe || plain != size)) *ambiguous = true;
                if (sizes == Sizes::kPlain) {
                    size = plain;
                } else if (sizes == Sizes::kSynchsafe) {
                    if (!safe) break;
                } else if (!safe || (plain != size && !StartsFrame(pos + hdr + std::uint64_t(size)) &&
                                     StartsFrame(pos + hdr + std::uint64_t(plain)))) {
                    if (!StartsFrame(pos + hdr + std::uint64_t(plain))) break;
                    size = plain;
                }
            }
            if (size > limit - pos - hdr) {
                // Other readers take what the tag holds of a frame that runs past its end.
                if (valid && pos + hdr < limit) {
                    w.cut = FrameSpan{pos, limit - pos - hdr};
                    w.cutEnd = pos + hdr + std::uint64_t(size);
                }
                break;
            }
            // An odd identifier is a frame only when what follows it is in order.
            if (!valid && !StartsFrame(pos + hdr + std::uint64_t(size))) break;
            w.frames.push_back({pos, size});
            pos += hdr + size;
        }
        w.end = pos;
        return w;
    }
};

} // namespace

FrameWalk WalkFrames(std::string_view body, int version, size_t from, const LoadBytes &load) {
    const Walker walker{body, version, load};
    if (version != 4) return walker.Walk(from, Sizes::kSynchsafe);
    // Some writers put plain sizes into 2.4 frames. Synchsafe first; when its frames do
    // not chain up to the end or the padding, plain sizes, then frame by frame; failing
    // all, the reading that finds the most frames.
    bool ambiguous = false;
    FrameWalk best = walker.Walk(from, Sizes::kSynchsafe, &ambiguous);
    if (!ambiguous || walker.Clean(best)) return best;
    for (const Sizes s : {Sizes::kPlain, Sizes::kEach}) {
        FrameWalk w = walker.Walk(from, s);
        if (walker.Clean(w)) return w;
        if (w.frames.size() > best.frames.size()) best = std::move(w);
    }
    return best;
}

} // namespace tags::id3v2
