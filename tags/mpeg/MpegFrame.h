#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

// MPEG audio frame headers and the information frames (Xing/Info, VBRI) that
// encoders put in place of the first audio frame. Pure functions over bytes.
namespace mp3info {

enum class MpegVersion : std::uint8_t { V1, V2, V25 };

struct FrameHeader {
    MpegVersion version = MpegVersion::V1;
    int layer = 3;          // 1, 2 or 3
    bool crc = false;       // a 16-bit CRC follows the header
    int bitrateKbps = 0;
    int sampleRate = 0;
    bool padding = false;
    int channelMode = 0;    // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono

    int channels() const { return channelMode == 3 ? 1 : 2; }
    int samplesPerFrame() const;
    // Whole frame in bytes, header included.
    int frameLength() const;
    // The shortest frame of this stream: its lowest bitrate, no padding.
    int shortestFrameLength() const;
    // Layer III side information in bytes (0 for layers I and II).
    int sideInfoSize() const;
};

// A header is valid when it has the sync bits, a defined version and layer,
// a bitrate index other than 0 (free format) and 15, and a sample-rate index other than 3.
std::optional<FrameHeader> ParseFrameHeader(const unsigned char *p);

// Two headers belong to one stream when version, layer and sample rate agree.
bool SameStream(const FrameHeader &a, const FrameHeader &b);

struct VbrHeader {
    enum class Kind { Xing, Info, Vbri };
    Kind kind = Kind::Xing;
    bool hasFrames = false;
    bool hasBytes = false;
    std::uint32_t frames = 0; // audio frames after the information frame
    std::uint32_t bytes = 0;
};

// Looks for a Xing/Info or VBRI header inside the frame that starts at `frame`
// (n bytes available). Xing sits after the side information (some encoders count
// the CRC in, some do not, so both places are tried); VBRI sits 32 bytes after the header.
std::optional<VbrHeader> ParseVbrHeader(const unsigned char *frame, std::size_t n, const FrameHeader &h);

// Length of an ID3v2 tag starting at p (header, body and a v2.4 footer), or 0
// when p does not start a well-formed ID3v2 header. Needs 10 bytes.
std::int64_t ID3v2TagSize(const unsigned char *p, std::size_t n);

} // namespace mp3info
