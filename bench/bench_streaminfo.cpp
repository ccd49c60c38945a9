// Stream information (bitrate, playing time) of 1000 generated files: our reader
// against TagLib's MPEG::Properties in one run, then the cost of one file at
// 1 MB and at 50 MB for each kind of stream.
//
//   bench_streaminfo [files=1000] [rounds=5]
#include "Mp3Info.h"
#include "StreamInfo.h"

#include <mpegfile.h>
#include <mpegproperties.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadAll(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const fs::path &p, const std::string &bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Have(const char *tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

// A real encoding: tone and noise taking turns, so VBR frames differ.
std::string Encode(const fs::path &dir, const std::string &name, const std::string &lameArgs, double seconds) {
    const fs::path wav = dir / "src.wav", mp3 = dir / (name + ".mp3");
    if (!fs::exists(wav)) {
        char cmd[512];
        std::snprintf(cmd, sizeof cmd,
                      "ffmpeg -v error -y -f lavfi -i \"aevalsrc=exprs='if(lt(mod(t,2),1),0.6*sin(2*PI*440*t),"
                      "0.4*(random(0)*2-1))':d=%g:s=44100\" -ac 2 '%s'",
                      seconds, wav.c_str());
        if (std::system(cmd) != 0) return {};
    }
    if (std::system(("lame --quiet " + lameArgs + " '" + wav.string() + "' '" + mp3.string() + "'").c_str()) != 0)
        return {};
    return ReadAll(mp3);
}

// Hand-made frames (headers and zeros) when no encoder is installed: CBR 128 kbit/s.
std::string SyntheticCbr(int frames) {
    std::string f("\xFF\xFB\x90\x00", 4);
    f.resize(417, '\0');
    std::string s;
    for (int i = 0; i < frames; ++i) s += f;
    return s;
}

std::string Id3v2(size_t body, unsigned seed) {
    std::string t("ID3\x03\x00\x00", 6);
    t += static_cast<char>((body >> 21) & 0x7F);
    t += static_cast<char>((body >> 14) & 0x7F);
    t += static_cast<char>((body >> 7) & 0x7F);
    t += static_cast<char>(body & 0x7F);
    std::string title = "Title " + std::to_string(seed);
    std::string frame = "TIT2";
    const size_t size = title.size() + 1;
    frame += std::string{0, 0, static_cast<char>(size >> 8), static_cast<char>(size & 0xFF), 0, 0, 0};
    frame += title;
    frame.resize(std::min(body, frame.size()));
    t += frame + std::string(body - frame.size(), '\0');
    return t;
}

std::string Id3v1(unsigned seed) {
    std::string r = "TAG" + ("Title " + std::to_string(seed));
    r.resize(128, '\0');
    r[127] = static_cast<char>(seed % 148);
    return r;
}

// Stretches an encoding to about `target` bytes by repeating its audio frames;
// an information frame in front gets its counts multiplied.
std::string Stretch(const std::string &enc, size_t target) {
    const mp3info::StreamInfo info = [&] {
        const fs::path tmp = fs::temp_directory_path() / ("sortibench-probe-" + std::to_string(getpid()));
        WriteAll(tmp, enc);
        auto s = mp3info::ReadStreamInfo(tmp.string());
        fs::remove(tmp);
        return s;
    }();
    size_t head = static_cast<size_t>(info.audioStart);
    const bool counted = info.method == mp3info::StreamInfo::Method::XingCount;
    if (counted) head += static_cast<size_t>(info.first.frameLength());
    const std::string audio = enc.substr(head, static_cast<size_t>(info.audioEnd) - head);
    const size_t k = std::max<size_t>(1, (target + audio.size() - 1) / audio.size());
    std::string out = enc.substr(0, head);
    if (counted) {
        const size_t at = out.find("Xing") != std::string::npos ? out.find("Xing") : out.find("Info");
        auto put = [&](size_t pos, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) out[pos + i] = static_cast<char>(v >> (24 - 8 * i));
        };
        const unsigned flags = static_cast<unsigned char>(out[at + 7]);
        size_t pos = at + 8;
        if (flags & 1) {
            put(pos, static_cast<std::uint32_t>(info.frames * static_cast<std::int64_t>(k)));
            pos += 4;
        }
        if (flags & 2) put(pos, static_cast<std::uint32_t>(head - static_cast<size_t>(info.audioStart) + audio.size() * k));
    }
    out.reserve(head + audio.size() * k);
    for (size_t i = 0; i < k; ++i) out += audio;
    return out;
}

struct Result {
    double seconds = 0;
    long long checksum = 0;
};

Result TimeOurs(const std::vector<std::string> &files) {
    Result r;
    const auto t0 = Clock::now();
    for (const auto &f : files) {
        const auto s = mp3info::ReadStreamInfo(f);
        r.checksum += s.bitrateKbps + static_cast<long long>(s.seconds * 1000);
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    return r;
}

Result TimeRecord(const std::vector<std::string> &files) {
    Result r;
    mp3info::Mp3InfoRecord rec;
    const auto t0 = Clock::now();
    for (const auto &f : files) {
        mp3info::Mp3FileInfo(f, rec);
        r.checksum += rec.bitrate + rec.seconds;
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    return r;
}

Result TimeTagLib(const std::vector<std::string> &files, TagLib::AudioProperties::ReadStyle style) {
    Result r;
    const auto t0 = Clock::now();
    for (const auto &f : files) {
        TagLib::MPEG::File file(f.c_str(), true, style);
        if (const auto *p = file.audioProperties()) r.checksum += p->bitrate() + p->lengthInMilliseconds();
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    return r;
}

double Best(int rounds, const std::function<Result()> &run) {
    double best = 1e99;
    for (int i = 0; i < rounds; ++i) best = std::min(best, run().seconds);
    return best;
}

} // namespace

int main(int argc, char **argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const fs::path dir = fs::temp_directory_path() / ("sortibench-stream-" + std::to_string(getpid()));
    fs::create_directories(dir);

    // Base encodings: constant with Info frame, constant without, VBR with Xing, VBR without.
    struct Base { std::string name, lame, bytes; };
    std::vector<Base> bases = {{"cbr_info", "-b 128", {}}, {"cbr_plain", "-b 128 -t", {}},
                               {"vbr_xing", "-V 2", {}}, {"vbr_plain", "-V 2 -t", {}}};
    const bool tools = Have("lame") && Have("ffmpeg");
    for (auto &b : bases) {
        b.bytes = tools ? Encode(dir, b.name, b.lame, 4.3) : std::string();
        if (b.bytes.empty()) b.bytes = SyntheticCbr(165);
    }
    std::cout << "encoder: " << (tools ? "lame (4.3 s each)" : "none, synthetic CBR frames") << "\n";

    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const auto &b = bases[static_cast<size_t>(i) % bases.size()];
        const fs::path p = dir / ("f" + std::to_string(i) + ".mp3");
        WriteAll(p, Id3v2(512 + static_cast<size_t>(i % 7) * 1024, static_cast<unsigned>(i)) + b.bytes +
                        Id3v1(static_cast<unsigned>(i)));
        files.push_back(p.string());
    }

    // Warm the cache, then take the best of `rounds` for each, interleaved.
    TimeOurs(files);
    TimeTagLib(files, TagLib::AudioProperties::Average);
    double ours = 1e99, record = 1e99, tlAvg = 1e99, tlAcc = 1e99;
    for (int r = 0; r < rounds; ++r) {
        ours = std::min(ours, TimeOurs(files).seconds);
        tlAvg = std::min(tlAvg, TimeTagLib(files, TagLib::AudioProperties::Average).seconds);
        record = std::min(record, TimeRecord(files).seconds);
        tlAcc = std::min(tlAcc, TimeTagLib(files, TagLib::AudioProperties::Accurate).seconds);
    }
    std::printf("\n%d files, best of %d rounds\n", count, rounds);
    std::printf("%-44s %10s %12s\n", "reader", "files/s", "vs TagLib");
    std::printf("%-44s %10.0f %11.2fx\n", "ours: ReadStreamInfo", count / ours, tlAvg / ours);
    std::printf("%-44s %10.0f %11.2fx\n", "ours: Mp3FileInfo (stream + ID3v1 fields)", count / record, tlAvg / record);
    std::printf("%-44s %10.0f %11.2fx\n", "TagLib MPEG::File + Properties (Average)", count / tlAvg, 1.0);
    std::printf("%-44s %10.0f %11.2fx\n", "TagLib MPEG::File + Properties (Accurate)", count / tlAcc, tlAvg / tlAcc);

    // Cost of one file by length.
    std::printf("\nper file, microseconds (best of %d x 20 reads)\n", rounds);
    std::printf("%-12s %-8s %12s %12s %12s %12s   %s\n", "stream", "method", "ours 1MB", "ours 50MB", "TagLib 1MB",
                "TagLib 50MB", "50MB length s: ours / TagLib");
    for (const auto &b : bases) {
        std::vector<std::string> paths;
        for (size_t mb : {1u, 50u}) {
            const fs::path p = dir / (b.name + "_" + std::to_string(mb) + "MB.mp3");
            WriteAll(p, Stretch(b.bytes, mb * 1024 * 1024));
            paths.push_back(p.string());
        }
        const auto info = mp3info::ReadStreamInfo(paths[1]);
        const char *method = info.method == mp3info::StreamInfo::Method::XingCount        ? "xing"
                             : info.method == mp3info::StreamInfo::Method::ConstantBitrate ? "cbr"
                             : info.method == mp3info::StreamInfo::Method::FrameWalk       ? "walk"
                                                                                           : "other";
        double us[4];
        for (int i = 0; i < 2; ++i) {
            const std::vector<std::string> one(20, paths[static_cast<size_t>(i)]);
            us[i] = Best(rounds, [&] { return TimeOurs(one); }) / 20 * 1e6;
            us[2 + i] = Best(rounds, [&] { return TimeTagLib(one, TagLib::AudioProperties::Average); }) / 20 * 1e6;
        }
        TagLib::MPEG::File peer(paths[1].c_str(), true, TagLib::AudioProperties::Average);
        const double peerSeconds = peer.audioProperties() ? peer.audioProperties()->lengthInMilliseconds() / 1000.0 : 0;
        std::printf("%-12s %-8s %12.1f %12.1f %12.1f %12.1f   %.1f / %.1f\n", b.name.c_str(), method, us[0], us[1], us[2],
                    us[3], info.seconds, peerSeconds);
    }

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
