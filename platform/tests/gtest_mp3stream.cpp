// Stream reader on hand-built byte streams: headers, information frames, tags
// around the audio, damaged and empty files.
#include "Mp3Info.h"
#include "MpegFrame.h"
#include "StreamInfo.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

using namespace mp3info;
using testutil::Filler;
using testutil::TempDir;
using testutil::WriteAll;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

// A frame: the 4 header bytes followed by zeros up to `length`.
std::string Frame(const std::string &header, size_t length) {
    std::string f = header;
    f.resize(length, '\0');
    return f;
}

std::string Repeat(const std::string &s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

std::string BigEndian(std::uint32_t v) {
    return Bytes({int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)});
}

std::string Synchsafe(std::uint32_t v) {
    return Bytes({int((v >> 21) & 0x7F), int((v >> 14) & 0x7F), int((v >> 7) & 0x7F), int(v & 0x7F)});
}

// MPEG 1 layer III, 128 kbit/s, 44.1 kHz, stereo: 417 bytes, 418 padded.
const std::string kH128 = Bytes({0xFF, 0xFB, 0x90, 0x00});
const std::string kH128Pad = Bytes({0xFF, 0xFB, 0x92, 0x00});
// Same stream at 64 kbit/s: 208 bytes.
const std::string kH64 = Bytes({0xFF, 0xFB, 0x50, 0x00});
constexpr double kMp3FrameSeconds = 1152.0 / 44100.0;

// An information frame at 128 kbit/s with the tag at `offset`.
std::string InfoFrame(const std::string &header, size_t length, size_t offset, const char *id, std::uint32_t frames,
                      std::uint32_t bytes, std::uint32_t flags = 3) {
    std::string f = Frame(header, length);
    std::string x = std::string(id) + BigEndian(flags);
    if (flags & 1) x += BigEndian(frames);
    if (flags & 2) x += BigEndian(bytes);
    f.replace(offset, x.size(), x);
    return f;
}

std::string Id3v2(int major, size_t body, bool footer) {
    std::string t = "ID3" + Bytes({major, 0, footer ? 0x10 : 0}) + Synchsafe(static_cast<std::uint32_t>(body));
    std::string b(body, '\0');
    b.replace(0, 8, Bytes({0xFF, 0xFB, 0x90, 0x00, 0xFF, 0xFB, 0x90, 0x00})); // syncs inside the tag
    t += b;
    if (footer) t += "3DI" + Bytes({major, 0, 0x10}) + Synchsafe(static_cast<std::uint32_t>(body));
    return t;
}

std::string Id3v1() {
    std::string r = "TAG";
    r.resize(128, ' ');
    return r;
}

std::string ApeTag(bool withHeader) {
    std::string items = Bytes({5, 0, 0, 0, 0, 0, 0, 0}) + "Title" + '\0' + "hello";
    const std::uint32_t size = static_cast<std::uint32_t>(items.size() + 32);
    auto block = [&](bool isHeader) {
        std::string b = "APETAGEX" + Bytes({0xD0, 0x07, 0, 0});
        b += Bytes({int(size & 0xFF), int((size >> 8) & 0xFF), 0, 0});
        b += Bytes({1, 0, 0, 0});
        b += Bytes({0, 0, 0, (withHeader ? 0x80 : 0) | (isHeader ? 0x20 : 0)});
        b += std::string(8, '\0');
        return b;
    };
    return (withHeader ? block(true) : std::string()) + items + block(false);
}

std::string Lyrics3v2() {
    const std::string body = "LYRICSBEGININD00002" "11LYR00005hello";
    char size[8];
    std::snprintf(size, sizeof size, "%06zu", body.size());
    return body + size + "LYRICS200";
}

std::string Lyrics3v1() { return std::string("LYRICSBEGIN") + "some words of a song" + "LYRICSEND"; }

StreamInfo Read(const TempDir &dir, const std::string &bytes) {
    const auto path = dir.file("s.mp3");
    WriteAll(path, bytes);
    return ReadStreamInfo(path);
}

} // namespace

TEST(FrameHeader, ValidHeadersOfEveryVersionAndLayer) {
    struct Case {
        std::string bytes;
        MpegVersion version;
        int layer, bitrate, rate, channels, length, samples;
        bool crc;
    };
    const Case cases[] = {
        {kH128, MpegVersion::V1, 3, 128, 44100, 2, 417, 1152, false},
        {kH128Pad, MpegVersion::V1, 3, 128, 44100, 2, 418, 1152, false},
        {Bytes({0xFF, 0xFA, 0x90, 0xC0}), MpegVersion::V1, 3, 128, 44100, 1, 417, 1152, true},
        {Bytes({0xFF, 0xFB, 0x18, 0xC0}), MpegVersion::V1, 3, 32, 32000, 1, 144, 1152, false},
        {Bytes({0xFF, 0xFB, 0xE4, 0x40}), MpegVersion::V1, 3, 320, 48000, 2, 960, 1152, false},
        {Bytes({0xFF, 0xFD, 0xA4, 0x00}), MpegVersion::V1, 2, 192, 48000, 2, 576, 1152, false},
        {Bytes({0xFF, 0xFF, 0xC4, 0x00}), MpegVersion::V1, 1, 384, 48000, 2, 384, 384, false},
        {Bytes({0xFF, 0xFF, 0x12, 0x00}), MpegVersion::V1, 1, 32, 44100, 2, 36, 384, false},
        {Bytes({0xFF, 0xFD, 0xC0, 0xC0}), MpegVersion::V1, 2, 256, 44100, 1, 835, 1152, false},
        {Bytes({0xFF, 0xF7, 0x80, 0x00}), MpegVersion::V2, 1, 128, 22050, 2, 276, 384, false},
        {Bytes({0xFF, 0xF7, 0xC8, 0x00}), MpegVersion::V2, 1, 192, 16000, 2, 576, 384, false},
        {Bytes({0xFF, 0xF3, 0x80, 0x00}), MpegVersion::V2, 3, 64, 22050, 2, 208, 576, false},
        {Bytes({0xFF, 0xF5, 0x88, 0xC0}), MpegVersion::V2, 2, 64, 16000, 1, 576, 1152, false},
        {Bytes({0xFF, 0xF2, 0xE0, 0x00}), MpegVersion::V2, 3, 160, 22050, 2, 522, 576, true},
        {Bytes({0xFF, 0xE3, 0x18, 0xC0}), MpegVersion::V25, 3, 8, 8000, 1, 72, 576, false},
        {Bytes({0xFF, 0xE3, 0x40, 0x00}), MpegVersion::V25, 3, 32, 11025, 2, 208, 576, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        auto h = ParseFrameHeader(reinterpret_cast<const unsigned char *>(c.bytes.data()));
        ASSERT_TRUE(h.has_value());
        EXPECT_EQ(h->version, c.version);
        EXPECT_EQ(h->layer, c.layer);
        EXPECT_EQ(h->bitrateKbps, c.bitrate);
        EXPECT_EQ(h->sampleRate, c.rate);
        EXPECT_EQ(h->channels(), c.channels);
        EXPECT_EQ(h->frameLength(), c.length);
        EXPECT_EQ(h->samplesPerFrame(), c.samples);
        EXPECT_EQ(h->crc, c.crc);
    }
}

TEST(FrameHeader, InvalidHeadersAreRejected) {
    const std::string bad[] = {
        Bytes({0xFE, 0xFB, 0x90, 0x00}), // sync broken in the first byte
        Bytes({0xFF, 0x7B, 0x90, 0x00}), // sync broken in the second byte
        Bytes({0xFF, 0xEB, 0x90, 0x00}), // reserved version
        Bytes({0xFF, 0xF9, 0x90, 0x00}), // reserved layer
        Bytes({0xFF, 0xFB, 0x00, 0x00}), // free format
        Bytes({0xFF, 0xFB, 0xF0, 0x00}), // bitrate index 15
        Bytes({0xFF, 0xFB, 0x9C, 0x00}), // sample-rate index 3
    };
    for (const auto &b : bad)
        EXPECT_FALSE(ParseFrameHeader(reinterpret_cast<const unsigned char *>(b.data())).has_value())
            << testing::PrintToString(b);
}

TEST(FrameHeader, Id3v2TagSizes) {
    auto size = [](const std::string &s) {
        return ID3v2TagSize(reinterpret_cast<const unsigned char *>(s.data()), s.size());
    };
    EXPECT_EQ(size(Id3v2(3, 300, false)), 310);
    EXPECT_EQ(size(Id3v2(4, 300, true)), 320);
    EXPECT_EQ(size("ID3" + Bytes({3, 0, 0x10}) + Synchsafe(300)), 310); // footer flag means nothing before 2.4
    EXPECT_EQ(size("ID3" + Bytes({3, 0, 0, 0, 0, 0x80, 0})), 0);      // not synchsafe
    EXPECT_EQ(size("ID3" + Bytes({0xFF, 0, 0, 0, 0, 1, 0})), 0);
    EXPECT_EQ(size("ID3" + Bytes({3, 0, 0})), 0);                      // too short
    EXPECT_EQ(size("TAG" + Bytes({3, 0, 0, 0, 0, 1, 0})), 0);
}

TEST(InformationFrame, XingInfoAndVbriAtTheirPlaces) {
    auto parse = [](const std::string &frame) {
        auto h = ParseFrameHeader(reinterpret_cast<const unsigned char *>(frame.data()));
        EXPECT_TRUE(h.has_value());
        return ParseVbrHeader(reinterpret_cast<const unsigned char *>(frame.data()), frame.size(), *h);
    };
    // MPEG 1 stereo: after 32 bytes of side information.
    auto v = parse(InfoFrame(kH128, 417, 36, "Xing", 1234, 567890));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->kind, VbrHeader::Kind::Xing);
    EXPECT_TRUE(v->hasFrames);
    EXPECT_EQ(v->frames, 1234u);
    EXPECT_TRUE(v->hasBytes);
    EXPECT_EQ(v->bytes, 567890u);
    // Only the byte count: no frames.
    v = parse(InfoFrame(kH128, 417, 36, "Xing", 0, 5000, 2));
    ASSERT_TRUE(v.has_value());
    EXPECT_FALSE(v->hasFrames);
    EXPECT_EQ(v->bytes, 5000u);
    // MPEG 1 mono (17 bytes of side information), "Info".
    v = parse(InfoFrame(Bytes({0xFF, 0xFB, 0x90, 0xC0}), 417, 21, "Info", 77, 0, 1));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->kind, VbrHeader::Kind::Info);
    EXPECT_EQ(v->frames, 77u);
    // MPEG 2 stereo (17) and mono (9).
    v = parse(InfoFrame(Bytes({0xFF, 0xF3, 0x80, 0x00}), 208, 21, "Xing", 99, 0, 1));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->frames, 99u);
    v = parse(InfoFrame(Bytes({0xFF, 0xF3, 0x80, 0xC0}), 208, 13, "Xing", 98, 0, 1));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->frames, 98u);
    // With CRC some encoders count the two CRC bytes in, some do not.
    v = parse(InfoFrame(Bytes({0xFF, 0xFA, 0x90, 0x00}), 417, 38, "Xing", 55, 0, 1));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->frames, 55u);
    // Xing in the wrong place for this mode is not taken.
    EXPECT_FALSE(parse(InfoFrame(kH128, 417, 21, "Xing", 55, 0, 1)).has_value());
    // VBRI: 32 bytes after the header, frames after version, delay, quality and bytes.
    std::string f = Frame(kH128, 417);
    f.replace(36, 18, "VBRI" + Bytes({0, 1, 0x04, 0x60, 0, 75}) + BigEndian(222222) + BigEndian(4321));
    v = parse(f);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->kind, VbrHeader::Kind::Vbri);
    EXPECT_EQ(v->frames, 4321u);
    EXPECT_EQ(v->bytes, 222222u);
    // A plain frame has none.
    EXPECT_FALSE(parse(Frame(kH128, 417)).has_value());
}

TEST(StreamReader, FirstFrameAfterTagsJunkAndFalseSyncs) {
    TempDir dir;
    const std::string audio = Repeat(Frame(kH128, 417), 50);

    // ID3v2.4 with footer (and syncs inside the tag), then audio.
    StreamInfo s = Read(dir, Id3v2(4, 1000, true) + audio);
    EXPECT_TRUE(s.hasAudio);
    EXPECT_EQ(s.audioStart, 1020);
    EXPECT_EQ(s.frames, 50);

    // Two tags in a row.
    s = Read(dir, Id3v2(3, 200, false) + Id3v2(4, 100, true) + audio);
    EXPECT_EQ(s.audioStart, 210 + 120);

    // Junk with false syncs: a lone valid header, a header whose successor is
    // missing, and a header followed by one of another sample rate.
    const std::string junk = Filler(300) + kH128 + Filler(600) + Frame(kH128, 417) + Filler(50) +
                             Frame(kH128, 417) + Bytes({0xFF, 0xFB, 0x94, 0x00}) + Filler(10);
    s = Read(dir, Id3v2(3, 100, false) + junk + audio);
    EXPECT_TRUE(s.hasAudio);
    EXPECT_EQ(s.audioStart, static_cast<std::int64_t>(110 + junk.size()));
    EXPECT_EQ(s.bitrateKbps, 128);
    EXPECT_NEAR(s.seconds, 50 * 417 * 8 / 128000.0, 1e-9);

    // Frames with CRC (FF FA).
    const std::string crcHeader = Bytes({0xFF, 0xFA, 0x90, 0x00});
    s = Read(dir, Filler(33) + Repeat(Frame(crcHeader, 417), 20));
    EXPECT_TRUE(s.hasAudio);
    EXPECT_TRUE(s.first.crc);
    EXPECT_EQ(s.audioStart, 33);
    EXPECT_EQ(s.frames, 20);
}

TEST(StreamReader, PlayingTimeFromInformationFrames) {
    TempDir dir;
    const std::string audio = Repeat(Frame(kH128, 417) + Frame(kH64, 208), 10);

    // Xing: the count holds, whatever the file length suggests.
    StreamInfo s = Read(dir, InfoFrame(kH128, 417, 36, "Xing", 5000, 0, 1) + audio);
    EXPECT_EQ(s.method, StreamInfo::Method::XingCount);
    EXPECT_TRUE(s.vbr);
    EXPECT_EQ(s.frames, 5000);
    EXPECT_DOUBLE_EQ(s.seconds, 5000 * kMp3FrameSeconds);
    EXPECT_EQ(s.WholeSeconds(), 131); // 130.6 s
    EXPECT_EQ(s.bitrateKbps, static_cast<int>(std::lround((417 + audio.size()) * 8 / (5000 * kMp3FrameSeconds) / 1000)));

    // Info: a constant stream; the bitrate is that of its frames.
    s = Read(dir, InfoFrame(kH128, 417, 36, "Info", 40, 0, 1) + Repeat(Frame(kH128, 417), 40));
    EXPECT_EQ(s.method, StreamInfo::Method::XingCount);
    EXPECT_FALSE(s.vbr);
    EXPECT_EQ(s.bitrateKbps, 128);
    EXPECT_EQ(s.frames, 40);

    // VBRI.
    std::string vbri = Frame(kH128, 417);
    vbri.replace(36, 18, "VBRI" + Bytes({0, 1, 0, 0, 0, 75}) + BigEndian(999) + BigEndian(1000));
    s = Read(dir, Id3v2(3, 50, false) + vbri + audio);
    EXPECT_EQ(s.method, StreamInfo::Method::VbriCount);
    EXPECT_EQ(s.frames, 1000);
    EXPECT_EQ(s.WholeSeconds(), 26); // 26.12 s

    // A Xing frame without a frame count is no count: the frames are walked, itself left out.
    s = Read(dir, InfoFrame(kH128, 417, 36, "Xing", 0, 1, 2) + audio);
    EXPECT_EQ(s.method, StreamInfo::Method::FrameWalk);
    EXPECT_EQ(s.frames, 20);
}

TEST(StreamReader, ConstantAndVariableStreamsWithoutInformationFrame) {
    TempDir dir;
    // Constant: time from the audio bytes, padded and unpadded frames mixed.
    std::string cbr;
    for (int i = 0; i < 300; ++i) cbr += Frame(i % 3 ? kH128Pad : kH128, i % 3 ? 418 : 417);
    StreamInfo s = Read(dir, cbr);
    EXPECT_EQ(s.method, StreamInfo::Method::ConstantBitrate);
    EXPECT_EQ(s.bitrateKbps, 128);
    EXPECT_NEAR(s.seconds, cbr.size() * 8 / 128000.0, 1e-9);
    EXPECT_EQ(s.frames, 300);

    // Variable, starting with 40 equal frames: the probes further on see the change,
    // and the walk gives the exact count and average.
    std::string vbr = Repeat(Frame(kH64, 208), 40);
    for (int i = 0; i < 400; ++i) vbr += i % 4 ? Frame(kH128, 417) : Frame(kH64, 208);
    s = Read(dir, vbr);
    EXPECT_EQ(s.method, StreamInfo::Method::FrameWalk);
    EXPECT_TRUE(s.vbr);
    EXPECT_EQ(s.frames, 440);
    EXPECT_DOUBLE_EQ(s.seconds, 440 * kMp3FrameSeconds);
    EXPECT_EQ(s.bitrateKbps, static_cast<int>(std::lround(vbr.size() * 8 / (440 * kMp3FrameSeconds) / 1000)));

    // A damaged stretch in the middle: the walk resyncs and counts the frames around it.
    const std::string damaged = vbr.substr(0, 208 * 40 + 417 * 10) + Filler(777) + kH128 + Filler(100) +
                                vbr.substr(208 * 40 + 417 * 10);
    s = Read(dir, damaged);
    EXPECT_EQ(s.method, StreamInfo::Method::FrameWalk);
    EXPECT_EQ(s.frames, 440);

    // Several megabytes, read in windows: padded, unpadded and CRC-protected frames of
    // one stream and frames of another (MPEG 2, not counted) taking turns, with damaged
    // stretches just before and across each mebibyte mark.
    const std::string kCrc128 = Bytes({0xFF, 0xFA, 0x90, 0x00});
    const std::string kMpeg2 = Bytes({0xFF, 0xF3, 0x90, 0x00}); // 22.05 kHz
    std::string walk = Repeat(Frame(kH64, 208), 40);
    std::int64_t counted = 40;
    for (std::size_t mark = 1 << 20; walk.size() < (3u << 20) + 300000;) {
        const int i = static_cast<int>(counted);
        if (walk.size() + 1000 >= mark && walk.size() < mark) {
            // Starting like a header of the stream but for the sync byte.
            walk += Bytes({0x00, 0xFB, 0x90, 0x00}) + Filler(walk.size() % 2 ? 1500 : 700, static_cast<unsigned>(i));
            mark += 1 << 20;
        } else if (i % 97 == 5) {
            walk += Frame(kMpeg2, 417) + Frame(kMpeg2, 417);
        }
        const std::string &h = i % 4 == 0 ? kH128 : i % 4 == 1 ? kH128Pad : i % 4 == 2 ? kH64 : kCrc128;
        const size_t len = h == kH128Pad ? 418 : h == kH64 ? 208 : 417;
        walk += Frame(h, len);
        ++counted;
    }
    s = Read(dir, walk);
    EXPECT_EQ(s.method, StreamInfo::Method::FrameWalk);
    EXPECT_EQ(s.frames, counted);
    EXPECT_DOUBLE_EQ(s.seconds, counted * kMp3FrameSeconds);

    // Frame data that looks like two chained headers: only a walk from the first frame
    // tells it from frames.
    std::string decoy = Frame(kH128, 417);
    decoy.replace(8, 4, kH64);
    decoy.replace(216, 4, kH64);
    s = Read(dir, Repeat(Frame(kH64, 208), 40) + Repeat(decoy, 2000));
    EXPECT_EQ(s.method, StreamInfo::Method::FrameWalk);
    EXPECT_EQ(s.frames, 2040);
}

TEST(StreamReader, TrailingTagsAreNotAudio) {
    TempDir dir;
    const std::string audio = Repeat(Frame(kH128, 417), 100);
    const double seconds = audio.size() * 8 / 128000.0;
    const std::string trailers[] = {
        Id3v1(),
        ApeTag(true) + Id3v1(),
        ApeTag(false),
        Lyrics3v2() + Id3v1(),
        Lyrics3v1() + Id3v1(),
        ApeTag(true) + Lyrics3v2() + Id3v1(),
        "3DI" + Bytes({4, 0, 0x10}) + Synchsafe(0), // footer only: not a tag
    };
    const std::int64_t ends[] = {0, 0, 0, 0, 0, 0, 10};
    for (size_t i = 0; i < std::size(trailers); ++i) {
        SCOPED_TRACE(i);
        StreamInfo s = Read(dir, Id3v2(3, 500, false) + audio + trailers[i]);
        EXPECT_EQ(s.audioEnd, static_cast<std::int64_t>(510 + audio.size()) + ends[i]);
        if (ends[i] == 0) {
            EXPECT_NEAR(s.seconds, seconds, 1e-9);
        }
    }
    // An appended ID3v2.4 tag with footer.
    std::string appended = Id3v2(4, 64, true);
    appended.replace(10, 8, std::string(8, '\0'));
    StreamInfo s = Read(dir, audio + appended + Id3v1());
    EXPECT_EQ(s.audioEnd, static_cast<std::int64_t>(audio.size()));
}

TEST(StreamReader, DamagedAndEmptyFilesGiveNoAudio) {
    TempDir dir;
    const std::string cases[] = {
        "",
        Bytes({0xFF}),
        Bytes({0xFF, 0xFB, 0x90, 0x00}) + std::string(100, '\0'), // one frame, cut short
        Filler(200000),
        Id3v2(3, 5000, false),
        "ID3" + Bytes({3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}) + Repeat(Frame(kH128, 417), 3), // size beyond the file
        Repeat(Bytes({0xFF, 0xFB, 0x90, 0x00}), 2000), // syncs everywhere, no chain
        Id3v1(),
    };
    for (const auto &bytes : cases) {
        SCOPED_TRACE(bytes.size());
        StreamInfo s = Read(dir, bytes);
        EXPECT_TRUE(s.readable);
        EXPECT_FALSE(s.hasAudio);
        EXPECT_EQ(s.bitrateKbps, 0);
        EXPECT_EQ(s.WholeSeconds(), 0);
    }
    // One whole frame is a stream; a file cut inside its second frame keeps the first.
    StreamInfo s = Read(dir, Frame(kH128, 417));
    EXPECT_TRUE(s.hasAudio);
    s = Read(dir, Repeat(Frame(kH128, 417), 30) + Frame(kH128, 417).substr(0, 100));
    EXPECT_TRUE(s.hasAudio);
    EXPECT_EQ(s.bitrateKbps, 128);

    s = ReadStreamInfo(dir.file("missing.mp3"));
    EXPECT_FALSE(s.readable);
    EXPECT_FALSE(s.error.empty());
    EXPECT_EQ(s.bitrateKbps, 0);
}

TEST(StreamReader, LayersOneAndTwoAndLowRates) {
    TempDir dir;
    // Layer I, 384 kbit/s, 48 kHz: 384 samples in 384 bytes.
    StreamInfo s = Read(dir, Repeat(Frame(Bytes({0xFF, 0xFF, 0xC4, 0x00}), 384), 250));
    EXPECT_EQ(s.first.layer, 1);
    EXPECT_NEAR(s.seconds, 250 * 384 / 48000.0, 1e-9);
    // Layer II, MPEG 2, 64 kbit/s at 16 kHz, mono.
    s = Read(dir, Repeat(Frame(Bytes({0xFF, 0xF5, 0x88, 0xC0}), 576), 100));
    EXPECT_EQ(s.first.layer, 2);
    EXPECT_EQ(s.first.version, MpegVersion::V2);
    EXPECT_NEAR(s.seconds, 100 * 1152 / 16000.0, 1e-9);
    // MPEG 2.5, 8 kbit/s at 8 kHz, walked over a change to 32 kbit/s.
    std::string v25;
    for (int i = 0; i < 200; ++i) v25 += i < 100 ? Frame(Bytes({0xFF, 0xE3, 0x18, 0xC0}), 72) : Frame(Bytes({0xFF, 0xE3, 0x48, 0xC0}), 288);
    s = Read(dir, v25);
    EXPECT_EQ(s.first.version, MpegVersion::V25);
    EXPECT_EQ(s.method, StreamInfo::Method::FrameWalk);
    EXPECT_DOUBLE_EQ(s.seconds, 200 * 576 / 8000.0);
    EXPECT_EQ(s.bitrateKbps, 20);
}

TEST(PlayingTime, TextAndProbeFields) {
    EXPECT_EQ(PlayingTimeText(0), "00:00:00");
    EXPECT_EQ(PlayingTimeText(187), "00:03:07");
    EXPECT_EQ(PlayingTimeText(3 * 3600 + 59), "03:00:59");
    EXPECT_EQ(PlayingTimeText(123 * 3600 + 4 * 60 + 5), "123:04:05");
    EXPECT_EQ(PlayingTimeText(-1), "00:00:-01");

    TempDir dir;
    const auto path = dir.file("p.mp3");
    WriteAll(path, Repeat(Frame(kH128, 417), 1000) + Id3v1()); // 26.06 s
    EXPECT_EQ(StreamProbeFields(path), "bitrate=128\tseconds=26\ttime=00:00:26");
    EXPECT_EQ(StreamProbeFields(dir.file("none.mp3")), "bitrate=0\tseconds=0\ttime=00:00:00");
}
