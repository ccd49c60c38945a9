#pragma once
// Byte builders for what surrounds a tag: MPEG audio frames of any version, layer and
// protection, and the trailers other programs append (APEv2, Lyrics3v2).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace streambytes {

struct Mpeg {
    int version = 1; // 1, 2, or 25 for MPEG 2.5
    int layer = 3;
    int kbps = 128;
    int rate = 44100;
    bool crc = false; // protected: a 16-bit CRC follows the header
    int mode = 1;     // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
};

inline int BitrateIndex(const Mpeg &m) {
    static const int k[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    };
    const int row = m.version == 1 ? m.layer - 1 : (m.layer == 1 ? 3 : 4);
    for (int i = 1; i < 15; ++i)
        if (k[row][i] == m.kbps) return i;
    return 15; // invalid on purpose
}

inline int RateIndex(const Mpeg &m) {
    static const int k[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    const int row = m.version == 1 ? 0 : m.version == 2 ? 1 : 2;
    for (int i = 0; i < 3; ++i)
        if (k[row][i] == m.rate) return i;
    return 3; // invalid on purpose
}

inline std::string Header(const Mpeg &m, bool padding = false) {
    const int v = m.version == 1 ? 3 : m.version == 2 ? 2 : 0;
    std::string h(4, '\0');
    h[0] = '\xFF';
    h[1] = static_cast<char>(0xE0 | v << 3 | (4 - m.layer) << 1 | (m.crc ? 0 : 1));
    h[2] = static_cast<char>(BitrateIndex(m) << 4 | RateIndex(m) << 2 | (padding ? 2 : 0));
    h[3] = static_cast<char>(m.mode << 6);
    return h;
}

inline int FrameLength(const Mpeg &m, bool padding = false) {
    const int pad = padding ? 1 : 0;
    if (m.layer == 1) return (12 * m.kbps * 1000 / m.rate + pad) * 4;
    const int factor = (m.layer == 3 && m.version != 1) ? 72 : 144;
    return factor * m.kbps * 1000 / m.rate + pad;
}

// Letters only: no frame sync, no "ID3", no "TAG" by accident.
inline std::string Fill(size_t n, unsigned seed = 7) {
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char &c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>('a' + (x >> 16) % 20);
    }
    return s;
}

// One whole frame: header, CRC bytes when protected, then payload cut or filled to length.
inline std::string Frame(const Mpeg &m, const std::string &payload = {}, unsigned seed = 7) {
    std::string f = Header(m);
    if (m.crc) f += "\x12\x34";
    const size_t len = static_cast<size_t>(FrameLength(m));
    std::string p = payload.size() >= len - f.size() ? payload.substr(0, len - f.size())
                                                     : payload + Fill(len - f.size() - payload.size(), seed);
    return f + p;
}

// n frames, each with different filler.
inline std::string Stream(const Mpeg &m, int n, unsigned seed = 7) {
    std::string s;
    for (int i = 0; i < n; ++i) s += Frame(m, {}, seed + static_cast<unsigned>(i));
    return s;
}

inline std::string BE32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// An encoder's information frame right after the side information: "Info" (as lame
// writes for CBR) or "Xing", with a frame count (flag 1) and a byte count (flag 2).
inline std::string InfoFrame(const Mpeg &m, std::uint32_t frames, const char *id = "Info", std::uint32_t flags = 1,
                             std::uint32_t bytes = 0) {
    const size_t side = m.version == 1 ? (m.mode == 3 ? 17 : 32) : (m.mode == 3 ? 9 : 17);
    return Frame(m, std::string(side, '\0') + id + BE32(flags) + (flags & 1 ? BE32(frames) : "") +
                        (flags & 2 ? BE32(bytes) : "") + std::string(100, '\0'));
}

// A VBRI frame (Fraunhofer): 32 bytes after the header, whatever the mode.
inline std::string Vbri(const Mpeg &m, std::uint32_t frames, std::uint32_t bytes) {
    return Frame(m, std::string(m.crc ? 30 : 32, '\0') + "VBRI" + std::string(6, '\1') + BE32(bytes) + BE32(frames));
}

inline std::string LE32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

// An APEv2 tag with footer, and header unless told otherwise, holding text items.
inline std::string Ape(const std::vector<std::pair<std::string, std::string>> &items, bool header = true) {
    std::string body;
    for (const auto &[key, value] : items)
        body += LE32(static_cast<std::uint32_t>(value.size())) + LE32(0) + key + '\0' + value;
    const auto size = static_cast<std::uint32_t>(body.size() + 32);
    auto block = [&](std::uint32_t flags) {
        return "APETAGEX" + LE32(2000) + LE32(size) + LE32(static_cast<std::uint32_t>(items.size())) + LE32(flags) +
               std::string(8, '\0');
    };
    return (header ? block(0xA0000000u) : std::string()) + body + block(header ? 0x80000000u : 0);
}

// A Lyrics3v2 block with an IND and a LYR field.
inline std::string Lyrics3v2(const std::string &lyrics) {
    auto field = [](const std::string &id, const std::string &data) {
        std::string n = std::to_string(data.size());
        return id + std::string(5 - n.size(), '0') + n + data;
    };
    const std::string body = "LYRICSBEGIN" + field("IND", "10") + field("LYR", lyrics);
    std::string n = std::to_string(body.size());
    return body + std::string(6 - n.size(), '0') + n + "LYRICS200";
}

} // namespace streambytes
