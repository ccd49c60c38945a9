#pragma once
// Byte builders for tag tests: ID3v2 tags and frames of any version, ID3v1 records,
// spelled out as literal bytes.
#include "StreamBytes.h"

#include <cstdint>
#include <string>
#include <zlib.h>

namespace id3bytes {

inline std::string Synchsafe(std::uint32_t v) {
    return {static_cast<char>((v >> 21) & 0x7F), static_cast<char>((v >> 14) & 0x7F),
            static_cast<char>((v >> 7) & 0x7F), static_cast<char>(v & 0x7F)};
}

using streambytes::BE32;

// A 2.3 frame (plain size) or, with v4, a 2.4 frame (synchsafe size).
inline std::string Frame(const std::string &id, const std::string &body, std::uint16_t flags = 0, bool v4 = false) {
    return id + (v4 ? Synchsafe(static_cast<std::uint32_t>(body.size())) : BE32(static_cast<std::uint32_t>(body.size()))) +
           static_cast<char>(flags >> 8) + static_cast<char>(flags & 0xFF) + body;
}

inline std::string Frame24(const std::string &id, const std::string &body, std::uint16_t flags = 0) {
    return Frame(id, body, flags, true);
}

inline std::string Frame22(const std::string &id, const std::string &body) {
    const auto n = static_cast<std::uint32_t>(body.size());
    return id + static_cast<char>(n >> 16) + static_cast<char>(n >> 8) + static_cast<char>(n) + body;
}

// Header + frames + padding; the size field counts frames and padding.
inline std::string Tag(int version, const std::string &frames, size_t padding = 0, int flags = 0) {
    std::string t = "ID3";
    t += static_cast<char>(version);
    t += '\0';
    t += static_cast<char>(flags);
    t += Synchsafe(static_cast<std::uint32_t>(frames.size() + padding));
    return t + frames + std::string(padding, '\0');
}

// The smallest extended header of a version (3 or 4) without optional data.
inline std::string ExtendedHeader(int version) {
    if (version == 3) return BE32(6) + std::string(6, '\0');
    return Synchsafe(6) + std::string("\x01\x00", 2);
}

// A 2.4 tag with footer (and optionally an extended header): flags get 0x10 (and 0x40).
inline std::string Tag24WithFooter(const std::string &frames, size_t padding = 0, bool extended = false) {
    const std::string body = (extended ? ExtendedHeader(4) : std::string()) + frames;
    const int flags = 0x10 | (extended ? 0x40 : 0);
    std::string t = Tag(4, body, padding, flags);
    return t + "3DI" + t.substr(3, 7);
}

inline std::string Text(const std::string &latin1) { return std::string(1, '\0') + latin1; }
inline std::string Utf8Text(const std::string &utf8) { return std::string(1, '\3') + utf8; }

// zlib stream of data, as compressed frames carry it.
inline std::string Deflate(const std::string &data) {
    uLongf n = compressBound(static_cast<uLong>(data.size()));
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &n, reinterpret_cast<const Bytef *>(data.data()),
              static_cast<uLong>(data.size()), 9);
    out.resize(n);
    return out;
}

// A 128-byte ID3v1 record; track < 0 gives the 1.0 layout with a 30-byte comment.
inline std::string V1(const std::string &title, const std::string &artist = "", const std::string &album = "",
                      const std::string &year = "", const std::string &comment = "", int track = 0,
                      unsigned char genre = 255) {
    auto field = [](const std::string &s, size_t n) { return (s + std::string(n, '\0')).substr(0, n); };
    std::string r = "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4);
    if (track < 0) {
        r += field(comment, 30);
    } else {
        r += field(comment, 28) + '\0' + static_cast<char>(track);
    }
    return r + static_cast<char>(genre);
}

} // namespace id3bytes
