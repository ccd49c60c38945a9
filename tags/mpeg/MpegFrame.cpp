#include "MpegFrame.h"

#include <cstring>

namespace mp3info {

namespace {

// kbit/s by [row][index]; rows: V1 L1, V1 L2, V1 L3, V2/2.5 L1, V2/2.5 L2 and L3.
constexpr int kBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};

constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000}, // MPEG 1
    {22050, 24000, 16000}, // MPEG 2
    {11025, 12000, 8000},  // MPEG 2.5
};

std::uint32_t BigEndian32(const unsigned char *p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

} // namespace

int FrameHeader::samplesPerFrame() const {
    if (layer == 1) return 384;
    if (layer == 2) return 1152;
    return version == MpegVersion::V1 ? 1152 : 576;
}

int FrameHeader::frameLength() const {
    const int pad = padding ? 1 : 0;
    if (layer == 1) return (12 * bitrateKbps * 1000 / sampleRate + pad) * 4;
    const int factor = (layer == 3 && version != MpegVersion::V1) ? 72 : 144;
    return factor * bitrateKbps * 1000 / sampleRate + pad;
}

int FrameHeader::shortestFrameLength() const {
    FrameHeader s = *this;
    s.bitrateKbps = version == MpegVersion::V1 || layer == 1 ? 32 : 8; // index 1 of its row
    s.padding = false;
    return s.frameLength();
}

int FrameHeader::sideInfoSize() const {
    if (layer != 3) return 0;
    if (version == MpegVersion::V1) return channels() == 1 ? 17 : 32;
    return channels() == 1 ? 9 : 17;
}

std::optional<FrameHeader> ParseFrameHeader(const unsigned char *p) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return std::nullopt;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;

    FrameHeader h;
    h.version = versionBits == 3 ? MpegVersion::V1 : versionBits == 2 ? MpegVersion::V2 : MpegVersion::V25;
    h.layer = 4 - layerBits;
    h.crc = (p[1] & 1) == 0;
    const bool v1 = h.version == MpegVersion::V1;
    const int row = v1 ? h.layer - 1 : (h.layer == 1 ? 3 : 4);
    h.bitrateKbps = kBitrates[row][bitrateIndex];
    h.sampleRate = kSampleRates[static_cast<int>(h.version)][rateIndex];
    h.padding = (p[2] >> 1) & 1;
    h.channelMode = p[3] >> 6;
    return h;
}

bool SameStream(const FrameHeader &a, const FrameHeader &b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

std::optional<VbrHeader> ParseVbrHeader(const unsigned char *frame, std::size_t n, const FrameHeader &h) {
    if (h.layer == 3) {
        const std::size_t side = static_cast<std::size_t>(h.sideInfoSize());
        for (std::size_t off : {4 + side, 6 + side}) {
            if (off + 8 > n) continue;
            const unsigned char *x = frame + off;
            const bool xing = std::memcmp(x, "Xing", 4) == 0;
            if (!xing && std::memcmp(x, "Info", 4) != 0) continue;
            VbrHeader v;
            v.kind = xing ? VbrHeader::Kind::Xing : VbrHeader::Kind::Info;
            const std::uint32_t flags = BigEndian32(x + 4);
            std::size_t at = off + 8;
            if (flags & 1) {
                if (at + 4 > n) return v;
                v.hasFrames = true;
                v.frames = BigEndian32(frame + at);
                at += 4;
            }
            if (flags & 2) {
                if (at + 4 > n) return v;
                v.hasBytes = true;
                v.bytes = BigEndian32(frame + at);
            }
            return v;
        }
    }
    // VBRI: id, version (2), delay (2), quality (2), bytes (4), frames (4).
    if (h.layer == 3 && n >= 36 + 18 && std::memcmp(frame + 36, "VBRI", 4) == 0) {
        VbrHeader v;
        v.kind = VbrHeader::Kind::Vbri;
        v.hasBytes = true;
        v.bytes = BigEndian32(frame + 36 + 10);
        v.hasFrames = true;
        v.frames = BigEndian32(frame + 36 + 14);
        return v;
    }
    return std::nullopt;
}

std::int64_t ID3v2TagSize(const unsigned char *p, std::size_t n) {
    if (n < 10 || std::memcmp(p, "ID3", 3) != 0) return 0;
    if (p[3] == 0xFF || p[4] == 0xFF) return 0;
    std::int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (p[i] & 0x80) return 0; // sizes are synchsafe
        size = (size << 7) | p[i];
    }
    const bool footer = p[3] >= 4 && (p[5] & 0x10);
    return 10 + size + (footer ? 10 : 0);
}

} // namespace mp3info
