#pragma once
// Byte builders for ID3v2 tests: tags and frames spelled out as literal bytes.
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

} // namespace id3bytes
