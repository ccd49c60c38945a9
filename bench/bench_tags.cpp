// Tag engine benchmark on an album folder as it comes from common taggers (made by
// make_album.py with lame, ffmpeg and mutagen, cached in the temporary folder):
//   1. tags + stream information, ours against TagLib's tags + audio properties;
//   2. a title written in place, ours against TagLib's in-place save;
//   3. a title that makes the tag grow, against a plain copy of the file that is
//      also flushed to disk;
//   4. peak memory of one process reading and growing a small and a large file.
// Every figure is the median over rounds of a ratio of two runs taken back to back.
//
//   bench_tags [temp-folder] [files=1000] [rounds=7]
#include "FileOps.h"
#include "StreamInfo.h"
#include "TagError.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegproperties.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

long long sink = 0;

double Seconds(const std::function<void()> &f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs a and b back to back `rounds` times, alternating which goes first.
// Returns the median of a/b and the median times.
struct Paired {
    double ratio, a, b;
};
Paired Pair(int rounds, const std::function<void()> &a, const std::function<void()> &b,
            const std::function<void()> &before = [] {}) {
    std::vector<double> ratios, ta, tb;
    for (int r = 0; r < rounds; ++r) {
        double x, y;
        if (r % 2 == 0) {
            before();
            x = Seconds(a);
            before();
            y = Seconds(b);
        } else {
            before();
            y = Seconds(b);
            before();
            x = Seconds(a);
        }
        ratios.push_back(x / y);
        ta.push_back(x);
        tb.push_back(y);
    }
    return {Median(ratios), Median(ta), Median(tb)};
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// Both tags and the stream through one open, as the window reads a file.
void ReadOurs(const std::string &f) {
    tags::fileops::File file("bench");
    file.Open(f, tags::fileops::File::Mode::Read);
    tags::Mp3TagID3v2 v2;
    tags::Mp3TagID3v1 v1;
    v2.ReadFrom(file);
    v1.ReadFrom(file);
    const auto s = mp3info::ReadStreamInfo(file);
    sink += static_cast<long long>(v2.Title().size() + v2.Artist().size() + v2.Album().size() + v2.Year().size() +
                                   v2.Comment().size() + v2.Track().size() + v1.Title().size()) +
            v2.Genre() + s.bitrateKbps + s.WholeSeconds();
}

void ReadTagLib(const std::string &f) {
    TagLib::MPEG::File m(f.c_str(), true, TagLib::AudioProperties::Average);
    if (const auto *t = m.ID3v2Tag())
        sink += static_cast<long long>(t->title().size() + t->artist().size() + t->album().size() +
                                       t->comment().size() + t->genre().size()) +
                t->year() + t->track();
    if (const auto *p = m.audioProperties()) sink += p->bitrate() + p->lengthInSeconds();
}

void WriteTitleOurs(const std::string &f, const std::string &title) {
    tags::Mp3TagID3v2 t;
    t.MP3File(f);
    t.Title(title);
    t.Update();
}

void WriteTitleTagLib(const std::string &f, const std::string &title) {
    TagLib::MPEG::File m(f.c_str(), false);
    m.ID3v2Tag(true)->setTitle(TagLib::String(title, TagLib::String::UTF8));
    m.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3);
}

void FlushedCopy(const std::string &from, const std::string &to) {
    tags::fileops::File in("bench"), out("bench");
    in.Open(from, tags::fileops::File::Mode::Read);
    fs::remove(to);
    out.CreateNew(to);
    std::vector<char> buf(64 * 1024);
    for (size_t n; (n = in.Read(buf.data(), buf.size())) > 0;) out.Write(buf.data(), n);
    out.Sync();
}

// The least a safe growth write does, with no tag work: the file copied into a new file
// beside it in the kernel, flushed, and renamed over it.
void SafeReplace(const std::string &path) {
    const std::string tmp = path + ".floor";
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (in < 0 || out < 0) std::abort();
    while (::copy_file_range(in, nullptr, out, nullptr, 1 << 20, 0) > 0) {
    }
    if (::fsync(out) != 0 || ::close(out) != 0 || ::close(in) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0)
        std::abort();
}

const std::string kLongTitle(6000, 'L'); // more than any padding in the folder holds

// Run as "bench_tags --peak FILE" in a fresh process: read everything, then grow the tag.
int PeakChild(const char *path) {
    try {
        ReadOurs(path);
        WriteTitleOurs(path, kLongTitle);
        return 0;
    } catch (const tags::TagError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

long ChildPeakKiB(const std::string &path) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/proc/self/exe", "bench_tags", "--peak", path.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ru.ru_maxrss : -1;
}

std::string Slurp(const std::string &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--peak") == 0) return PeakChild(argv[2]);
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const int count = argc > 2 ? std::max(30, std::atoi(argv[2])) : 1000;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    const fs::path album = base / ("sortibench-album-" + std::to_string(count));
    const fs::path work = base / ("sortibench-work-" + std::to_string(getpid()));

    std::printf("album folder: %s (made once, then reused)\n", album.c_str());
    const std::string make = std::string("/usr/bin/python3 '") + MAKE_ALBUM_SCRIPT + "' '" + album.string() + "' " +
                             std::to_string(count);
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "making the album folder failed (needs lame, ffmpeg and python3-mutagen)\n");
        return 1;
    }
    std::vector<std::string> files;
    std::uintmax_t bytes = 0;
    for (const auto &e : fs::directory_iterator(album))
        if (e.path().extension() == ".mp3") {
            files.push_back(e.path().string());
            bytes += e.file_size();
        }
    std::sort(files.begin(), files.end());
    std::printf("%zu files, %.0f MB; load average before: %s\n", files.size(), double(bytes) / 1e6,
                LoadAverage().c_str());

    // ---- 1. tags + stream information
    auto readAll = [&](void (*read)(const std::string &)) {
        return [&files, read] {
            for (const auto &f : files) read(f);
        };
    };
    readAll(ReadOurs)();
    readAll(ReadTagLib)(); // warm cache
    const Paired rd = Pair(rounds, readAll(ReadOurs), readAll(ReadTagLib));
    std::printf("\n1. tags + stream information, %zu files, median of %d paired runs\n", files.size(), rounds);
    std::printf("   ours %7.1f ms   TagLib (tags + audio properties) %7.1f ms   ours/TagLib = %.2fx (target <= 0.5)\n",
                rd.a * 1e3, rd.b * 1e3, rd.ratio);

    // The exact walk over VBR files without an information frame, against reading them whole.
    std::vector<std::string> walked;
    for (const auto &f : files)
        if (mp3info::ReadStreamInfo(f).method == mp3info::StreamInfo::Method::FrameWalk) walked.push_back(f);
    const Paired wk = Pair(
        rounds,
        [&] {
            for (const auto &f : walked) sink += mp3info::ReadStreamInfo(f).frames;
        },
        [&] {
            std::vector<char> buf(256 * 1024);
            for (const auto &f : walked) {
                tags::fileops::File in("bench");
                in.Open(f, tags::fileops::File::Mode::Read);
                while (const size_t n = in.Read(buf.data(), buf.size())) sink += buf[n - 1];
            }
        });
    std::printf("   of which %zu files walked frame by frame: walk %6.1f ms, plain read of them %6.1f ms, "
                "walk/read = %.2fx (target <= about 2)\n",
                walked.size(), wk.a * 1e3, wk.b * 1e3, wk.ratio);

    // Writes go to copies of the first 100 files.
    fs::create_directories(work);
    std::vector<std::string> copies;
    for (size_t i = 0; i < std::min<size_t>(100, files.size()); ++i) {
        copies.push_back((work / fs::path(files[i]).filename()).string());
        fs::copy_file(files[i], copies.back(), fs::copy_options::overwrite_existing);
    }

    // ---- 2. in place: the first round of each makes room where a tag lacked it
    int title = 0;
    auto writeAll = [&](void (*write)(const std::string &, const std::string &)) {
        return [&, write] {
            const std::string t = "Titel " + std::to_string(title++ % 10);
            for (const auto &f : copies) write(f, t);
        };
    };
    writeAll(WriteTitleOurs)();
    writeAll(WriteTitleTagLib)();
    ::sync();
    const Paired wr = Pair(rounds, writeAll(WriteTitleOurs), writeAll(WriteTitleTagLib), [] { ::sync(); });
    std::printf("\n2. title written in place, %zu files, median of %d paired runs\n", copies.size(), rounds);
    std::printf("   ours %7.1f ms   TagLib %7.1f ms   ours/TagLib = %.2fx (target <= 0.5)\n", wr.a * 1e3, wr.b * 1e3,
                wr.ratio);

    // ---- 3. growth against a flushed copy, the same files
    const int growFiles = std::min<int>(20, static_cast<int>(copies.size()));
    auto reset = [&] {
        for (int i = 0; i < growFiles; ++i)
            fs::copy_file(files[size_t(i)], copies[size_t(i)], fs::copy_options::overwrite_existing);
        ::sync();
    };
    const std::string copyPath = (work / "copy.mp3").string();
    const Paired gr = Pair(
        rounds,
        [&] {
            for (int i = 0; i < growFiles; ++i) WriteTitleOurs(copies[size_t(i)], kLongTitle);
        },
        [&] {
            for (int i = 0; i < growFiles; ++i) FlushedCopy(files[size_t(i)], copyPath);
        },
        reset);
    const Paired fl = Pair(
        rounds,
        [&] {
            for (int i = 0; i < growFiles; ++i) SafeReplace(copies[size_t(i)]);
        },
        [&] {
            for (int i = 0; i < growFiles; ++i) FlushedCopy(files[size_t(i)], copyPath);
        },
        reset);
    std::printf("\n3. growth write (new tag larger than the old), %d files, median of %d paired runs\n", growFiles,
                rounds);
    std::printf("   ours %7.1f ms   plain copy + fsync %7.1f ms   ours/copy = %.2fx (target <= 1.2)\n", gr.a * 1e3,
                gr.b * 1e3, gr.ratio);
    std::printf("   floor: copy to a new file + fsync + rename over the file, no tags %7.1f ms   floor/copy = %.2fx\n",
                fl.a * 1e3, fl.ratio);

    // ---- 4. peak memory: a walked VBR file and the same stream 100 times as long
    const std::string small = (work / "small.mp3").string(), large = (work / "large.mp3").string();
    {
        const std::string &one = walked.empty() ? files.front() : walked.front();
        const std::string bytesSmall = Slurp(one);
        const auto info = mp3info::ReadStreamInfo(one);
        const std::string audio = bytesSmall.substr(size_t(info.audioStart), size_t(info.audioEnd - info.audioStart));
        std::ofstream(small, std::ios::binary) << bytesSmall;
        std::ofstream out(large, std::ios::binary);
        out << bytesSmall.substr(0, size_t(info.audioEnd));
        while (out.tellp() < std::streamoff(50) << 20) out << audio;
        out << bytesSmall.substr(size_t(info.audioEnd));
    }
    std::printf("\n4. peak memory (max RSS) of one process reading tags + stream, then growing the tag\n");
    for (const auto &p : {small, large})
        std::printf("   %6.1f MB file: %6ld KiB\n", double(fs::file_size(p)) / 1e6, ChildPeakKiB(p));

    std::printf("\nload average after: %s\n", LoadAverage().c_str());
    std::error_code ec;
    fs::remove_all(work, ec);
    return sink == 0 ? 1 : 0; // keeps the reads from being optimised away
}
