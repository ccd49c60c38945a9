// Stream reader on built byte streams: headers, information frames, tags around the
// audio, damaged and empty files. Every expected length, count, time and bitrate is
// worked out by hand from the stream's definition. Then against ffprobe on real
// encodings made by lame and ffmpeg at test time (scripts/deps.sh installs the tools:
// missing, they fail the test).
#include "Id3Bytes.h"
#include "MpegFrame.h"
#include "StreamBytes.h"
#include "StreamInfo.h"
#include "TestUtil.h"
#include "WriteCheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <tuple>

using namespace mp3info;
using namespace streambytes;
using id3bytes::Synchsafe;
using id3bytes::V1;
using Method = StreamInfo::Method;

namespace {

const unsigned char *U(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

std::string Repeat(const std::string &s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

// MPEG 1 Layer III at 44.1 kHz: 417 bytes at 128 kbit/s, 208 at 64.
const Mpeg k128{}, k64{1, 3, 64}, kCrc{1, 3, 128, 44100, true};
const Mpeg kV2{2, 3, 64, 22050}, kV25Mono{25, 3, 32, 11025, false, 3};

} // namespace

TEST(FrameHeader, FieldsLengthAndSamplesOfEveryVersionAndLayer) {
    struct Row {
        Mpeg m;
        bool padding;
        int length, samples; // by hand: 144 (72 for MPEG 2/2.5 Layer III) * bitrate / rate; Layer I 4 * (12 * bitrate / rate)
    };
    const Row rows[] = {
        {k128, false, 417, 1152}, {k128, true, 418, 1152}, {{1, 3, 128, 44100, true, 3}, false, 417, 1152},
        {{1, 3, 32, 32000, false, 3}, false, 144, 1152}, {{1, 3, 320, 48000}, false, 960, 1152}, {{1, 2, 192, 48000, false, 0}, false, 576, 1152},
        {{1, 2, 256, 44100, false, 3}, false, 835, 1152}, {{1, 1, 384, 48000}, false, 384, 384}, {{1, 1, 32, 44100}, true, 36, 384},
        {{1, 1, 352, 44100}, false, 380, 384}, {{1, 1, 192, 44100}, false, 208, 384}, {{1, 2, 32, 44100}, false, 104, 1152},
        {{2, 1, 128, 22050}, false, 276, 384}, {{2, 1, 192, 16000}, false, 576, 384}, {{2, 1, 56, 22050}, false, 120, 384},
        {{2, 1, 96, 22050}, false, 208, 384}, {kV2, false, 208, 576}, {{2, 3, 24, 22050}, false, 78, 576},
        {{2, 2, 64, 16000, false, 3}, false, 576, 1152}, {{2, 3, 160, 22050, true}, false, 522, 576}, {{25, 3, 8, 8000, false, 3}, false, 72, 576},
        {kV25Mono, false, 208, 576}, {{1, 2, 320, 48000}, false, 960, 1152}, {{1, 3, 256, 44100}, false, 835, 1152},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::PrintToString(Header(r.m, r.padding)));
        const auto h = ParseFrameHeader(U(Header(r.m, r.padding)));
        ASSERT_TRUE(h.has_value());
        const MpegVersion version = r.m.version == 1 ? MpegVersion::V1 : r.m.version == 2 ? MpegVersion::V2 : MpegVersion::V25;
        EXPECT_EQ(std::tuple(h->version, h->layer, h->bitrateKbps, h->sampleRate, h->crc, h->channels()),
                  std::tuple(version, r.m.layer, r.m.kbps, r.m.rate, r.m.crc, r.m.mode == 3 ? 1 : 2));
        EXPECT_EQ(h->frameLength(), r.length);
        EXPECT_EQ(h->samplesPerFrame(), r.samples);
    }
    // Every bitrate of every version and layer, from the builder's own table.
    for (int version : {1, 2})
        for (int layer : {1, 2, 3})
            for (int kbps = 8; kbps <= 448; kbps += 8) {
                const Mpeg m{version, layer, kbps, version == 1 ? 48000 : 24000};
                if (BitrateIndex(m) == 15)
                    continue; // not a bitrate of this version and layer
                const auto h = ParseFrameHeader(U(Header(m)));
                EXPECT_TRUE(h && h->bitrateKbps == kbps && h->frameLength() == FrameLength(m)) << version << layer << kbps;
            }
    const char *invalid[] = {
        "\xFE\xFB\x90\x00", // sync broken in the first byte
        "\xFF\x7B\x90\x00", // sync broken in the second byte
        "\xFF\xDB\x90\x00", // and in its last sync bit
        "\xFF\xEB\x90\x00", // reserved version
        "\xFF\xF9\x90\x00", // reserved layer
        "\xFF\xFB\x00\x00", // free format
        "\xFF\xFB\xF0\x00", // bitrate index 15
        "\xFF\xFB\x9C\x00", // sample-rate index 3
    };
    for (const char *bytes : invalid)
        EXPECT_FALSE(ParseFrameHeader(reinterpret_cast<const unsigned char *>(bytes))) << testing::PrintToString(bytes);
}

TEST(FrameHeader, Id3v2TagSizes) {
    const std::pair<std::string, std::int64_t> rows[] = {
        {id3bytes::Tag(3, "", 300), 310},
        {id3bytes::Tag24WithFooter("", 300), 320},
        {id3bytes::Tag(3, "", 300, 0x10), 310}, // the footer flag means nothing before 2.4
        {std::string("ID3\3\0\0\1\2\3\4", 10), 2130318}, // over 2 MB
        {std::string("ID3\3\0\0\0\0\x80\0", 10), 0}, // not synchsafe
        {std::string("ID3\xFF\0\0\0\0\1\0", 10), 0},
        {std::string("ID3\3\xFF\0\0\0\1\0", 10), 0}, // revision 0xFF
        {std::string("ID3\3\0\0", 6), 0}, // too short
        {std::string("TAG\3\0\0\0\0\1\0", 10), 0},
    };
    for (const auto &[bytes, size] : rows) EXPECT_EQ(ID3v2TagSize(U(bytes), bytes.size()), size) << testing::PrintToString(bytes);
}

namespace {

// Over three mebibytes read in windows: padded, unpadded and CRC-protected frames of one
// stream and pairs of another (MPEG 2, not counted) taking turns, with damaged stretches
// just before and across each mebibyte mark.
std::string LongDamagedWalk(std::int64_t &counted) {
    const std::string kMpeg2 = Frame(kV2, {}, 1);
    std::string walk = Stream(k64, 40);
    counted = 40;
    for (std::size_t mark = 1 << 20; walk.size() < (3u << 20) + 300000; ++counted) {
        const auto i = static_cast<unsigned>(counted);
        if (walk.size() + 1000 >= mark && walk.size() < mark) {
            // Starting like a header of the stream but for the sync byte.
            walk += std::string("\x00\xFB\x90\x00", 4) + Fill(walk.size() % 2 ? 1500 : 700, i);
            mark += 1 << 20;
        } else if (i % 97 == 5) {
            walk += kMpeg2 + kMpeg2;
        }
        walk += i % 4 == 0 ? Frame(k128, {}, i) : i % 4 == 1 ? Header(k128, true) + Fill(414, i) : i % 4 == 2 ? Frame(k64, {}, i) : Frame(kCrc, {}, i);
    }
    return walk;
}

} // namespace

TEST(StreamReader, TimeBitrateAndBoundsOfBuiltFiles) {
    const std::string cbr = Stream(k128, 100); // 41700 bytes: 2.60625 s at 128 kbit/s
    const std::string mix = Repeat(Frame(k128) + Frame(k64), 10); // 6250 bytes, 20 frames
    std::string vbr = Stream(k64, 40); // 440 frames, 154220 bytes: 11.4939 s
    for (int i = 0; i < 400; ++i) vbr += i % 4 ? Frame(k128, {}, i) : Frame(k64, {}, i);
    // Damage: a stretch with a false header in it, a stray byte, a stretch longer than a scan window.
    const std::size_t at = 208 * 40 + 417 * 10;
    const std::string damaged = vbr.substr(0, at) + Fill(777) + Header(k128) + Fill(100) + vbr.substr(at, 417 * 20) + "x" +
                                vbr.substr(at + 417 * 20, 417 * 20) + Fill(4097) + vbr.substr(at + 417 * 40);
    std::string decoy = Frame(k128); // frame data that looks like two chained headers
    decoy.replace(8, 4, Header(k64));
    decoy.replace(216, 4, Header(k64));
    std::int64_t walked = 0;
    const std::string longWalk = LongDamagedWalk(walked);
    std::string mpeg25;
    for (int i = 0; i < 200; ++i) mpeg25 += Frame({25, 3, i < 100 ? 8 : 32, 8000, false, 3});

    // False syncs in front: a lone header, a frame whose successor is missing, and a
    // frame followed by a header of another sample rate.
    const std::string junk = Fill(300) + Header(k128) + Fill(600) + Frame(k128) + Fill(50) + Frame(k128) +
                             Header({1, 3, 128, 48000}) + Fill(10);
    const std::string tags = id3bytes::Tag(3, id3bytes::Frame("PRIV", Header(k128) + Header(k128)), 200) +
                             id3bytes::Tag24WithFooter(id3bytes::Frame24("PRIV", Header(k128) + Header(k128)), 100);
    const Mpeg mono{1, 3, 128, 44100, false, 3}, v2Mono{2, 3, 64, 22050, false, 3};
    const Mpeg kTiny{2, 3, 8, 24000, false, 3}; // 24-byte frames
    auto info = [](const Mpeg &m) { return InfoFrame(m, 100) + Stream(m, 40); }; // "Info": 100 frames of m.kbps
    std::string misplaced = InfoFrame(mono, 55, "Xing"); // mono's place in a stereo frame
    misplaced[3] = Header(k128)[3];
    const std::string v1 = V1("t");
    const std::string appended = id3bytes::Tag24WithFooter(id3bytes::Frame24("TIT2", id3bytes::Text("x")), 64);

    struct Row {
        const char *name;
        std::string before, audio, after;
        Method method;
        std::int64_t frames = 0;
        double seconds = 0;
        int kbps = 0;
        bool vbr = false;
    };
    const Row rows[] = {
        {"a scan window of junk", Fill(4096), cbr, "", Method::ConstantBitrate, 100, 2.60625, 128, false},
        {"tags and junk in front", tags + junk, cbr, "", Method::ConstantBitrate, 100, 2.60625, 128, false},
        {"id3v1", "", cbr, v1, Method::ConstantBitrate, 100, 2.60625, 128, false},
        {"empty ape, footer only", "", cbr, Ape({}, false), Method::ConstantBitrate, 100, 2.60625, 128, false},
        {"lyrics3v1 of the longest kind", "", cbr, "LYRICSBEGIN" + Fill(5100) + "LYRICSEND" + v1, Method::ConstantBitrate, 100, 2.60625, 128, false},
        {"lyrics3v1 one byte too long is audio", "", cbr + "LYRICSBEGIN" + Fill(5101) + "LYRICSEND", v1, Method::ConstantBitrate, 112, 2.9263125, 128, false},
        {"lyrics3v2 with a broken marker is audio", "", cbr + std::string(Lyrics3v2("la")).replace(10, 1, "X"), v1, Method::ConstantBitrate, 100, 2.609125, 128, false},
        {"ape lyrics3 id3v1", tags, cbr, Ape({{"A", Fill(300)}}) + Lyrics3v2("la") + v1, Method::ConstantBitrate, 100, 2.60625, 128, false},
        {"extended id3v1", "", cbr, "TAG+" + Fill(223) + v1, Method::ConstantBitrate, 100, 2.60625, 128, false},
        {"appended id3v2.4", "", cbr, appended + v1, Method::ConstantBitrate, 100, 2.60625, 128, false},
        {"footer alone is no tag", "", cbr + std::string("3DI\4\0\x10", 6) + Synchsafe(0), "", Method::ConstantBitrate, 100, 2.606875, 128, false},
        {"one frame", "", Frame(k128), "", Method::ConstantBitrate, 1, 0.0260625, 128, false},
        {"one frame and a header", "", Frame(k128) + Header(k128), "", Method::ConstantBitrate, 1, 0.0263125, 128, false},
        {"audio ending in TAG", "", cbr + "TAG" + Fill(224), v1, Method::ConstantBitrate, 100, 2.6204375, 128, false},
        {"cut in the last frame", "", cbr + Frame(k128).substr(0, 100), "", Method::ConstantBitrate, 100, 2.61250, 128, false},
        {"layer I", "", Stream({1, 1, 384, 48000}, 250), "", Method::ConstantBitrate, 250, 2.0, 384, false},
        {"mpeg2 layer II", "", Stream({2, 2, 64, 16000, false, 3}, 100), "", Method::ConstantBitrate, 100, 7.2, 64, false},
        {"info", "", InfoFrame(k128, 40) + Stream(k128, 40), "", Method::XingCount, 40, 1.044898, 128, false},
        // Cut short under the information frame: more frames, or bytes, promised than there are.
        {"info promising more frames than fit", "", InfoFrame(k128, 1000) + Stream(k128, 40), "", Method::FrameWalk, 40, 1.044898, 128, false},
        {"xing promising more bytes", "", InfoFrame(k128, 60, "Xing", 3, 417 * 61) + mix, "", Method::FrameWalk, 20, 0.522449, 96, true},
        {"info counting one frame", "", InfoFrame(k128, 1) + Frame(k128), "", Method::XingCount, 1, 0.026122, 128, false},
        {"mpeg2 info", tags, InfoFrame(kV2, 40, "Info", 3, 208 * 41) + Stream(kV2, 40), v1, Method::XingCount, 40, 1.044898, 64, false},
        {"mpeg2.5 mono info", "", info(kV25Mono), "", Method::XingCount, 100, 5.224490, 32, false},
        {"mono info", "", info(mono), "", Method::XingCount, 100, 2.612245, 128, false},
        {"crc info", "", info(kCrc), "", Method::XingCount, 100, 2.612245, 128, false},
        {"mpeg2 mono info", "", info(v2Mono), "", Method::XingCount, 100, 2.612245, 64, false},
        {"misplaced xing", "", misplaced + Stream(mono, 40), "", Method::ConstantBitrate, 41, 1.0685625, 128, false},
        {"xing", "", InfoFrame(k128, 30, "Xing") + mix, "", Method::XingCount, 30, 0.783673, 68, true},
        // The frame count ends exactly where the smallest frame (padded to 25 bytes) does;
        // its 100 frames of 24 bytes just fit into the audio.
        {"xing count ending the frame", "", Header(kTiny, true) + std::string(9, '\0') + "Xing" + BE32(1) + BE32(100) + Stream(kTiny, 100),
         "", Method::XingCount, 100, 2.4, 8, true},
        {"mono vbri", "", Vbri(mono, 30, 999) + mix, "", Method::VbriCount, 30, 0.783673, 68, true},
        {"vbri", id3bytes::Tag(3, "", 50), Vbri(k128, 30, 999) + mix, "", Method::VbriCount, 30, 0.783673, 68, true},
        {"xing without count", "", InfoFrame(k128, 0, "Xing", 2, 1) + mix, "", Method::FrameWalk, 20, 0.522449, 96, true},
        // Frames are sampled, not all read: a change between the samples goes unseen.
        {"a change between the samples", "", Stream(k128, 20) + Frame(k64) + Stream(k128, 79), "", Method::ConstantBitrate, 99, 2.5931875, 128, false},
        {"a change in the last frame of a sample", "", Stream(k128, 30) + Frame(k64) + Stream(k128, 69), "", Method::FrameWalk, 100, 2.612245, 127, true},
        {"change in the last third", "", Stream(k128, 250) + Stream(k64, 236), "", Method::FrameWalk, 486, 12.695510, 97, true},
        {"vbr walk cut after a header", "", vbr + Header(k128), v1, Method::FrameWalk, 441, 11.52, 107, true},
        {"damaged stretch", "", damaged, "", Method::FrameWalk, 440, 11.493878, 107, true},
        {"decoys in frame data", "", Stream(k64, 40) + Repeat(decoy, 2000), "", Method::FrameWalk, 2040, 53.289796, 126, true},
        {"mpeg2.5 walk", "", mpeg25, "", Method::FrameWalk, 200, 14.4, 20, true},
        {"long damaged walk", "", longWalk, "", Method::FrameWalk, walked, walked * 1152 / 44100.0, 0, true},
        {"empty", "", "", "", Method::None},
        {"one frame cut short", "", Frame(k128).substr(0, 104), "", Method::None},
        {"letters", "", Fill(200000), "", Method::None},
        {"tag alone", "", id3bytes::Tag(3, "", 5000), "", Method::None},
        {"tag beyond the file", "", std::string("ID3\3\0\0\x7F\x7F\x7F\x7F", 10) + Stream(k128, 3), "", Method::None},
        {"syncs, no chain", "", Repeat(Header(k128), 2000), "", Method::None},
        {"id3v1 alone", "", v1, "", Method::None},
    };
    testutil::TempDir dir;
    const std::string path = dir.file("s.mp3");
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        testutil::WriteAll(path, r.before + r.audio + r.after);
        const StreamInfo s = ReadStreamInfo(path);
        EXPECT_TRUE(s.readable);
        EXPECT_EQ(s.hasAudio, r.method != Method::None);
        EXPECT_EQ(std::tuple(s.method, s.frames, s.vbr), std::tuple(r.method, r.frames, r.vbr));
        EXPECT_NEAR(s.seconds, r.seconds, 1e-6);
        if (r.kbps || r.method == Method::None) {
            EXPECT_EQ(s.bitrateKbps, r.kbps);
        }
        const auto start = static_cast<std::int64_t>(r.before.size());
        if (s.hasAudio) {
            EXPECT_EQ(std::pair(s.audioStart, s.audioEnd), std::pair(start, start + std::int64_t(r.audio.size())));
        }
    }
}

namespace {

const auto &Shell = writecheck::Capture;

struct Kind {
    const char *name;
    const char *source;  // lavfi source of the sound
    const char *encoder; // the command, with IN and OUT for the files
    Method method;       // known from how the encoder was told to write
    bool vbr;
};

// A tone, or tone and noise taking turns each second, so that VBR frames differ.
const char *kTone = "sine=frequency=440:duration=6.2:sample_rate=44100";
const char *kVaried = "aevalsrc=exprs='if(lt(mod(t,2),1),0.6*sin(2*PI*440*t),0.4*(random(0)*2-1))':d=9.3:s=44100";

const Kind kKinds[] = {
    {"cbr_info", kTone, "lame --quiet -b 128 IN OUT", Method::XingCount, false},
    // A download cut off after 3.1 of 6.2 s: its information frame still promises all.
    {"cbr_info_cut_short", kTone, "lame --quiet -b 128 IN OUT && truncate -s 50000 OUT", Method::FrameWalk, false},
    {"cbr_plain", kTone, "lame --quiet -b 128 -t IN OUT", Method::ConstantBitrate, false},
    {"vbr_xing", kVaried, "lame --quiet -V 2 IN OUT", Method::XingCount, true},
    {"vbr_plain", kVaried, "lame --quiet -V 2 -t IN OUT", Method::FrameWalk, true},
    {"mpeg2_vbr_plain", kVaried, "lame --quiet --resample 16 -V 4 -t IN OUT", Method::FrameWalk, true},
    {"mpeg25_mono_info", kTone, "lame --quiet -m m --resample 8 -b 32 IN OUT", Method::XingCount, false},
    {"layer2", kTone, "ffmpeg -nostdin -v error -i IN -ar 48000 -c:a mp2 -b:a 192k -f mp2 OUT", Method::ConstantBitrate, false},
    // A JPEG cover in the ID3v2 tag: full of FF bytes before the audio.
    {"cover", kTone,
     "ffmpeg -nostdin -v error -i IN -f lavfi -i testsrc=s=400x400:d=0.04 -map 0:a -map 1:v -c:a libmp3lame -b:a 160k "
     "-c:v mjpeg -id3v2_version 3 OUT",
     Method::XingCount, false},
};

void PrintTo(const Kind &k, std::ostream *os) { *os << k.name; }

class Accuracy : public testing::TestWithParam<Kind> {};

} // namespace

TEST_P(Accuracy, AgreesWithFfprobe) {
#ifdef _WIN32
    GTEST_SKIP() << "lame, ffmpeg and ffprobe run through popen and a POSIX shell, Linux only";
#endif
    ASSERT_EQ(Shell("for t in lame ffmpeg ffprobe; do command -v $t; done | wc -l"), "3\n") << "lame, ffmpeg or ffprobe missing";
    const Kind &k = GetParam();
    testutil::TempDir dir;
    const std::string wav = dir.file("in.wav"), out = dir.file("out.mp3");
    Shell("ffmpeg -nostdin -v error -f lavfi -i \"" + std::string(k.source) + "\" -ac 2 '" + wav + "'");
    std::string cmd = k.encoder;
    cmd.replace(cmd.find("IN"), 2, "'" + wav + "'");
    for (size_t at; (at = cmd.find("OUT")) != std::string::npos;) cmd.replace(at, 3, "'" + out + "'");
    Shell(cmd);

    // ffprobe's packet count is a frame walk of its own; its bitrate comes from the
    // information frame or the first frame.
    std::istringstream probe(Shell("ffprobe -v error -count_packets -select_streams a -show_entries "
                                 "stream=nb_read_packets,sample_rate,bit_rate -of csv=p=0 '" + out + "'"));
    double rate = 0, kbps = 0;
    long long packets = 0;
    char comma;
    probe >> rate >> comma >> kbps >> comma >> packets;
    ASSERT_GT(packets, 0) << "encoding failed: " << cmd;
    kbps /= 1000;
    const double seconds = packets * (rate >= 32000 ? 1152 : 576) / rate; // all low rates here are Layer III

    const StreamInfo s = ReadStreamInfo(out);
    // Only a constant stream without an information frame has its frames estimated.
    const long long frameSlack = k.method == Method::ConstantBitrate ? 1 : 0;
    EXPECT_TRUE(s.method == k.method && s.vbr == k.vbr && std::llabs(s.frames - packets) <= frameSlack &&
                std::abs(s.seconds - seconds) < 0.05 && std::abs(s.bitrateKbps - kbps) <= (k.vbr ? 0.03 * kbps + 1 : 1))
        << "ours: method " << int(s.method) << ", vbr " << s.vbr << ", " << s.frames << " frames, " << s.seconds << " s, "
        << s.bitrateKbps << " kbit/s; ffprobe: " << packets << " packets, " << seconds << " s, " << kbps << " kbit/s";
}

INSTANTIATE_TEST_SUITE_P(RealEncodings, Accuracy, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<Kind> &i) { return std::string(i.param.name); });

#ifndef _WIN32 // Windows refuses to cut a file short that is mapped
TEST(StreamReader, FileCutShortUnderTheWalkEndsTheCountNotTheProgram) {
    // Another program halves the file once it is open. The walk maps pages that are gone
    // by then (SIGBUS) and goes on with reads: it counts the frames whose header is left.
    std::string vbr;
    std::int64_t left = 0;
    for (int i = 0; i < 800; ++i) vbr += Frame(i % 2 ? k128 : k64, {}, i);
    const auto half = static_cast<std::int64_t>(vbr.size() / 2);
    for (std::int64_t at = 0, i = 0; at + 4 <= half; at += i++ % 2 ? 417 : 208) ++left;
    testutil::TempDir dir;
    const std::string path = dir.file("cut.mp3");
    testutil::WriteAll(path, vbr);
    bool cut = false;
    testutil::FaultHookGuard hook([&](tags::fileops::Op op, const std::string &p) {
        if (op == tags::fileops::Op::Read && !cut) {
            std::filesystem::resize_file(p, static_cast<std::uintmax_t>(half));
            cut = true;
        }
        return 0;
    });
    const StreamInfo s = ReadStreamInfo(path);
    EXPECT_TRUE(cut);
    EXPECT_EQ(std::pair(s.method, s.frames), std::pair(Method::FrameWalk, left));
}
#endif
