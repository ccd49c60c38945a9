#pragma once
// Byte builders for tag tests: ID3v2 tags and frames, ID3v1 records, as literal bytes.
#include <cstdint>
#include <string>

namespace id3bytes {

inline std::string Synchsafe(std::uint32_t v) {
    return {static_cast<char>((v >> 21) & 0x7F), static_cast<char>((v >> 14) & 0x7F),
            static_cast<char>((v >> 7) & 0x7F), static_cast<char>(v & 0x7F)};
}

inline std::string BE32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A 2.3 frame (plain size) or, with v4, a 2.4 frame (synchsafe size).
inline std::string Frame(const std::string &id, const std::string &body, std::uint16_t flags = 0, bool v4 = false) {
    return id + (v4 ? Synchsafe(static_cast<std::uint32_t>(body.size())) : BE32(static_cast<std::uint32_t>(body.size()))) +
           static_cast<char>(flags >> 8) + static_cast<char>(flags & 0xFF) + body;
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

inline std::string Text(const std::string &latin1) { return std::string(1, '\0') + latin1; }

// A 128-byte ID3v1.1 record; fields are zero-padded.
inline std::string V1Record(const std::string &title, const std::string &artist, const std::string &album,
                            const std::string &year, const std::string &comment, char track, char genre,
                            const char *marker = "TAG") {
    auto pad = [](std::string s, size_t n) { s.resize(n, '\0'); return s; };
    std::string r = marker;
    r += pad(title, 30) + pad(artist, 30) + pad(album, 30) + pad(year, 4) + pad(comment, 28);
    r += '\0';
    r += track;
    r += genre;
    return r;
}

} // namespace id3bytes
