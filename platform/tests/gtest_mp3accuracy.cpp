// Stream reader against ffprobe on real encodings made by lame and ffmpeg at
// test time. Skipped when the tools are missing.
#include "StreamInfo.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

using namespace mp3info;
using testutil::ReadAll;
using testutil::TempDir;
using testutil::WriteAll;

namespace {

std::string Run(const std::string &cmd, int *status = nullptr) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = pclose(p);
    if (status) *status = rc;
    return out;
}

bool Have(const char *tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quote(const std::string &s) { return "'" + s + "'"; }

struct Probe {
    double duration = 0;     // format duration
    double streamBitrate = 0; // bit/s
    long long packets = 0;
    int sampleRate = 0;
};

Probe FfProbe(const std::string &path) {
    const std::string out = Run("ffprobe -v error -count_packets -show_entries "
                                "stream=nb_read_packets,sample_rate,bit_rate:format=duration -of default=nw=1 " +
                                Quote(path));
    std::map<std::string, std::string> kv;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && !kv.count(line.substr(0, eq))) kv[line.substr(0, eq)] = line.substr(eq + 1);
    }
    Probe p;
    auto num = [&](const char *k) { return kv.count(k) ? std::atof(kv[k].c_str()) : 0.0; };
    p.duration = num("duration");
    p.streamBitrate = num("bit_rate");
    p.packets = static_cast<long long>(num("nb_read_packets"));
    p.sampleRate = static_cast<int>(num("sample_rate"));
    return p;
}

// A tone, or tone and noise taking turns each second (so VBR frames differ).
std::string MakeWav(const TempDir &dir, const std::string &name, bool varied, double seconds, int rate, int channels) {
    const std::string wav = dir.file(name + ".wav");
    char src[256];
    if (varied)
        std::snprintf(src, sizeof src,
                      "aevalsrc=exprs='if(lt(mod(t,2),1),0.6*sin(2*PI*440*t),0.4*(random(0)*2-1))':d=%g:s=%d",
                      seconds, rate);
    else
        std::snprintf(src, sizeof src, "sine=frequency=440:duration=%g:sample_rate=%d", seconds, rate);
    std::system(("ffmpeg -v error -y -f lavfi -i \"" + std::string(src) + "\" -ac " + std::to_string(channels) + " " +
                 Quote(wav))
                    .c_str());
    return wav;
}

struct Case {
    const char *name;
    bool varied;
    double seconds;
    int rate, channels;
    const char *lame;   // lame options, or nullptr
    const char *ffmpeg; // ffmpeg output options when not lame
    const char *ext;
    bool constant;      // constant bitrate: bitrate within 1 kbit/s
};

const Case kCases[] = {
    {"cbr32", false, 7.3, 44100, 2, "-b 32", nullptr, "mp3", true},
    {"cbr128", false, 7.3, 44100, 2, "-b 128", nullptr, "mp3", true},
    {"cbr320", false, 7.3, 44100, 2, "-b 320", nullptr, "mp3", true},
    {"cbr128_no_info", false, 7.3, 44100, 2, "-b 128 -t", nullptr, "mp3", true},
    {"vbr_xing", true, 9.3, 44100, 2, "-V 2", nullptr, "mp3", false},
    {"vbr_no_xing", true, 9.3, 44100, 2, "-V 2 -t", nullptr, "mp3", false},
    {"abr96", true, 9.3, 44100, 2, "--abr 96", nullptr, "mp3", false},
    {"rate22050", false, 6.2, 22050, 2, "-b 64 -t", nullptr, "mp3", true},
    {"rate16000", true, 6.2, 16000, 2, "-V 4", nullptr, "mp3", false},
    {"rate8000", false, 6.2, 8000, 1, "-b 16 -t", nullptr, "mp3", true},
    {"rate11025", true, 6.2, 11025, 1, "-V 5 -t", nullptr, "mp3", false},
    {"mono", false, 6.2, 44100, 1, "-m m -b 96 -t", nullptr, "mp3", true},
    {"crc_cbr", false, 6.2, 44100, 2, "-p -b 128 -t", nullptr, "mp3", true},
    {"crc_vbr", true, 6.2, 44100, 2, "-p -V 4", nullptr, "mp3", false},
    {"long_8kbit", false, 300.4, 8000, 1, "-b 8 -t", nullptr, "mp3", true},
    {"ffmpeg_mp2", false, 6.2, 48000, 2, nullptr, "-c:a mp2 -b:a 192k", "mp2", true},
    {"ffmpeg_mp3_vbr", true, 6.2, 44100, 2, nullptr, "-c:a libmp3lame -q:a 4", "mp3", false},
    // A JPEG cover in the ID3v2 tag: full of FF bytes before the audio.
    {"ffmpeg_cover", false, 6.2, 44100, 2, nullptr,
     "-i {cover} -map 0:a -map 1:v -c:a libmp3lame -b:a 160k -c:v copy -id3v2_version 3", "mp3", true},
    {"tiny", false, 0.05, 44100, 2, "-b 128", nullptr, "mp3", true},
};

class Accuracy : public testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "lame, ffmpeg and ffprobe run through popen and a POSIX shell, Linux only";
#endif
        if (!Have("lame") || !Have("ffmpeg") || !Have("ffprobe")) FAIL() << "lame, ffmpeg or ffprobe missing (scripts/deps.sh installs them)";
    }

    std::string Encode(const Case &c) {
        const std::string wav = MakeWav(dir_, c.name, c.varied, c.seconds, c.rate, c.channels);
        const std::string out = dir_.file(std::string(c.name) + "." + c.ext);
        if (c.lame)
            std::system(("lame --quiet " + std::string(c.lame) + " " + Quote(wav) + " " + Quote(out)).c_str());
        else {
            std::string options = c.ffmpeg;
            if (const auto at = options.find("{cover}"); at != std::string::npos) {
                const std::string cover = dir_.file("cover.jpg");
                std::system(("ffmpeg -v error -y -f lavfi -i testsrc=s=400x400 -frames:v 1 " + Quote(cover)).c_str());
                options.replace(at, 7, Quote(cover));
            }
            std::system(("ffmpeg -v error -y -i " + Quote(wav) + " " + options + " " + Quote(out)).c_str());
        }
        return out;
    }

    TempDir dir_;
};

// Samples per frame of what ffprobe reports, for a duration from its packet count.
int SamplesPerFrame(const Case &c, int rate) { return std::string(c.ext) == "mp2" || rate >= 32000 ? 1152 : 576; }

const char *MethodName(StreamInfo::Method m) {
    switch (m) {
    case StreamInfo::Method::XingCount: return "xing";
    case StreamInfo::Method::VbriCount: return "vbri";
    case StreamInfo::Method::ConstantBitrate: return "cbr";
    case StreamInfo::Method::FrameWalk: return "walk";
    default: return "none";
    }
}

} // namespace

TEST_F(Accuracy, RealEncodingsAgreeWithFfprobe) {
    std::ostringstream table;
    table << "case              method  ours_s    ffprobe_s  packets_s  ours_kbps  ffprobe_kbps  frames/packets\n";
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path = Encode(c);
        const Probe p = FfProbe(path);
        ASSERT_GT(p.packets, 0) << "encoding failed";
        const StreamInfo s = ReadStreamInfo(path);
        ASSERT_TRUE(s.hasAudio);
        EXPECT_EQ(s.first.sampleRate, p.sampleRate);

        // ffprobe's packet count is an independent frame walk.
        const double packetSeconds = static_cast<double>(p.packets) * SamplesPerFrame(c, p.sampleRate) / p.sampleRate;
        const bool counted = s.method == StreamInfo::Method::XingCount || s.method == StreamInfo::Method::VbriCount ||
                             s.method == StreamInfo::Method::FrameWalk;
        if (counted) {
            EXPECT_EQ(s.frames, p.packets);
        } else {
            EXPECT_NEAR(static_cast<double>(s.frames), static_cast<double>(p.packets), 1.0);
        }
        EXPECT_NEAR(s.seconds, packetSeconds, 0.1);

        // ffprobe guesses the time of a VBR stream without an information frame
        // from its first frame; everywhere else its time is the reference.
        if (!(s.vbr && s.method == StreamInfo::Method::FrameWalk)) {
            EXPECT_NEAR(s.seconds, p.duration, 1.0);
        }
        if (counted) {
            EXPECT_EQ(s.WholeSeconds(), std::lround(packetSeconds));
        }
        if (s.method == StreamInfo::Method::XingCount) {
            EXPECT_EQ(s.WholeSeconds(), std::lround(p.duration));
        }

        if (c.constant) {
            EXPECT_FALSE(s.vbr);
            EXPECT_NEAR(s.bitrateKbps, p.streamBitrate / 1000.0, 1.0);
        } else {
            EXPECT_TRUE(s.vbr);
            EXPECT_NEAR(s.bitrateKbps, p.streamBitrate / 1000.0, 0.03 * p.streamBitrate / 1000.0 + 1);
        }
        char row[200];
        std::snprintf(row, sizeof row, "%-17s %-7s %-9.3f %-10.3f %-10.3f %-10d %-13.1f %lld/%lld\n", c.name,
                      MethodName(s.method), s.seconds, p.duration, packetSeconds, s.bitrateKbps,
                      p.streamBitrate / 1000.0, static_cast<long long>(s.frames), p.packets);
        table << row;
    }
    std::cout << table.str();
}

TEST_F(Accuracy, TagsAroundRealAudioChangeNothing) {
    for (const Case &c : {kCases[3], kCases[5]}) { // constant without Info, VBR without Xing
        SCOPED_TRACE(c.name);
        const std::string path = Encode(c);
        const StreamInfo plain = ReadStreamInfo(path);
        const std::string audio = ReadAll(path);

        // ID3v2.4 with footer and padding in front; APE, Lyrics3 and ID3v1 behind.
        std::string v2("ID3\x04\x00\x10\x00\x00\x10\x00", 10); // 2048 bytes
        v2 += std::string("TIT2\x00\x00\x00\x05\x00\x00\x03" "abcd", 15) + std::string(2048 - 15, '\0');
        v2 += std::string("3DI\x04\x00\x10\x00\x00\x10\x00", 10);
        std::string ape = "APETAGEX" + std::string("\xD0\x07\x00\x00", 4) + std::string("\x20\x00\x00\x00", 4) +
                          std::string(4, '\0') + std::string(4, '\0') + std::string(8, '\0');
        std::string lyrics = "LYRICSBEGININD0000211";
        char size[8];
        std::snprintf(size, sizeof size, "%06zu", lyrics.size());
        lyrics += std::string(size) + "LYRICS200";
        std::string v1 = "TAG";
        v1.resize(128, ' ');
        const std::string tagged = dir_.file("tagged.mp3");
        WriteAll(tagged, v2 + audio + ape + lyrics + v1);

        const StreamInfo s = ReadStreamInfo(tagged);
        EXPECT_EQ(s.method, plain.method);
        EXPECT_EQ(s.audioStart, plain.audioStart + static_cast<std::int64_t>(v2.size()));
        EXPECT_EQ(s.audioEnd - s.audioStart, plain.audioEnd - plain.audioStart);
        EXPECT_DOUBLE_EQ(s.seconds, plain.seconds);
        EXPECT_EQ(s.bitrateKbps, plain.bitrateKbps);
    }
}
