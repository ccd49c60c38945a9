#include "TagFile.h"

#include "FileOps.h"
#include "FrameWalk.h"
#include "MpegFrame.h"
#include "SynchData.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <string_view>

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
    if (f.ReadAt(next, n, sizeof n) != sizeof n) return false;
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
    const auto buf = std::make_unique_for_overwrite<unsigned char[]>(kScanWindow); // each read fills what is looked at
    for (std::int64_t p = from; p < to; p += kScanWindow - 3) {
        // The window may reach past `to`: a header starting before it needs its 4 bytes.
        const size_t len = static_cast<size_t>(std::min<std::int64_t>(kScanWindow, fileLen - p));
        const size_t got = f.ReadAt(p, buf.get(), len);
        const std::string_view w(reinterpret_cast<const char *>(buf.get()), got);
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

// The first audio frame starting in buf[0, limit), where buf holds the file's bytes
// from `base` on; a next header beyond buf is looked up in the file. -1 when none.
std::int64_t FirstAudio(File &f, std::string_view buf, size_t limit, std::int64_t base, std::int64_t fileLen) {
    const auto *b = reinterpret_cast<const unsigned char *>(buf.data());
    limit = std::min(limit, buf.size() >= 4 ? buf.size() - 3 : 0);
    for (size_t i = buf.find('\xFF'); i < limit; i = buf.find('\xFF', i + 1)) {
        if ((b[i + 1] & 0xE0) != 0xE0) continue;
        const auto head = mp3info::ParseFrameHeader(b + i);
        if (!head) continue;
        const size_t next = i + static_cast<size_t>(head->frameLength());
        if (next + 4 <= buf.size()) {
            const auto second = mp3info::ParseFrameHeader(b + next);
            if (!second || !mp3info::SameStream(*head, *second)) continue;
            return base + static_cast<std::int64_t>(i);
        }
        if (AudioFrameAt(f, base + static_cast<std::int64_t>(i), b + i, fileLen)) return base + static_cast<std::int64_t>(i);
    }
    return -1;
}

// Where the audio's first header was walked as a frame: with no padding after the
// frames, an MPEG header passes for an odd identifier (the zeros of an information
// frame for an empty frame and padding). The frames end there; npos when no odd
// identifier starts the audio. `declared` holds the file's bytes from bodyPos on.
size_t AudioAmongFrames(File &f, const FrameWalk &walk, std::string_view body, std::string_view declared, bool unsync,
                        std::int64_t bodyPos, std::int64_t fileLen) {
    for (const FrameSpan &s : walk.frames) {
        if (body[s.pos] != '\xFF') continue;
        const size_t at = unsync ? RawOffset(declared, s.pos) : s.pos;
        if (at + 4 <= declared.size() &&
            AudioFrameAt(f, bodyPos + static_cast<std::int64_t>(at), reinterpret_cast<const unsigned char *>(declared.data() + at), fileLen))
            return s.pos;
    }
    return std::string_view::npos;
}

} // namespace

FrontScan ScanFront(File &f, std::int64_t fileLen, std::int64_t from) { return Scan(f, from, fileLen, fileLen, true); }

TagRoom MeasureTag(File &f, std::int64_t tagPos, std::int64_t fileLen, TagBytes *kept) {
    unsigned char h[10];
    std::uint32_t size = 0;
    if (f.ReadAt(tagPos, h, sizeof h) != sizeof h || std::memcmp(h, "ID3", 3) != 0 || h[3] < 2 || h[3] > 4 ||
        !DecodeSynchsafe(h + 6, size))
        return {};
    const int version = h[3];
    const std::int64_t declaredEnd = tagPos + 10 + size;

    // The body and what follows it: a footer, or the audio's first header; as far as the
    // file goes. Not zero-filled: the read overwrites it.
    const size_t want = static_cast<size_t>(std::min<std::int64_t>(size + std::int64_t(10), fileLen - tagPos - 10));
    const std::shared_ptr<char[]> bytes(new char[10 + want]);
    std::memcpy(bytes.get(), h, 10);
    const size_t got = f.ReadAt(tagPos + 10, bytes.get() + 10, want);
    if (kept) *kept = {bytes, 10 + got};
    if (got != want) return {};
    // A size past the end proves room only up to audio found after the frames.
    const bool past = declaredEnd > fileLen;
    const std::string_view raw(bytes.get() + 10, want);
    const std::string_view after = past ? std::string_view() : raw.substr(size);

    TagRoom room;
    room.end = 10 + size;
    const std::string_view declared = raw.substr(0, past ? want : size);
    // 2.3 and 2.2 unsynchronise the whole body, 2.4 frame by frame.
    const bool unsync = version < 4 && (h[5] & 0x80);
    const std::string plain = unsync ? Resynchronise(declared) : std::string();
    const std::string_view body = unsync ? std::string_view(plain) : declared;
    const size_t from = FramesStart(body, version, h[5]);
    // Where the frames end: bytes inside them are tag, whatever they look like (UTF-16
    // text and pictures hold byte pairs that pass for MPEG headers).
    size_t frames = 0;
    std::int64_t claimed = 0; // where a frame running past the declared end says it ends
    if (from != std::string_view::npos) {
        const FrameWalk walk = WalkFrames(body, version, from);
        frames = walk.cut ? body.size() : walk.end;
        if (const size_t audio = AudioAmongFrames(f, walk, body, declared, unsync, tagPos + 10, fileLen); audio != std::string_view::npos)
            frames = audio;
        else if (walk.cut && !unsync && !past) claimed = tagPos + 10 + static_cast<std::int64_t>(std::min<std::uint64_t>(walk.cutEnd, fileLen));
        if (unsync) frames = RawOffset(declared, frames);
    }
    const bool audioAtEnd =
        after.size() >= 4 && AudioFrameAt(f, declaredEnd, reinterpret_cast<const unsigned char *>(after.data()), fileLen);
    if (audioAtEnd) {
        room.proven = room.end; // a declared end where the audio starts
    } else {
        if (from == std::string_view::npos) return {};
        size_t end = frames;
        while (end < declared.size() && declared[end] == 0) ++end;
        room.proven = 10 + static_cast<std::int64_t>(end);
        if (version == 4 && (h[5] & 0x10) && after.substr(0, 3) == "3DI") {
            room.end += 10;
            if (end == declared.size()) room.proven = room.end;
        }
    }
    // Sizes that run into audio prove nothing about the audio.
    std::int64_t audio = FirstAudio(f, raw.substr(frames), static_cast<size_t>(room.end - 10) - frames,
                                    tagPos + 10 + static_cast<std::int64_t>(frames), fileLen);
    // The bytes such a frame claims are tag up to the audio.
    if (audio < 0 && claimed > declaredEnd && !audioAtEnd)
        audio = Scan(f, declaredEnd, std::min(claimed + 1, fileLen), fileLen, false).audioStart;
    if (audio >= 0) room.end = audio - tagPos;
    else if (past) return {};
    room.proven = std::min(room.proven, room.end);
    return room;
}

} // namespace tags::id3v2
