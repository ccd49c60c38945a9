// Stream reader against ffprobe on real encodings made by lame and ffmpeg at test time.
// The tools are installed by scripts/deps.sh: missing, they fail the test.
#include "StreamInfo.h"
#include "TestUtil.h"
#include "WriteCheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

using namespace mp3info;
using Method = StreamInfo::Method;

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
    cmd.replace(cmd.find("OUT"), 3, "'" + out + "'");
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
