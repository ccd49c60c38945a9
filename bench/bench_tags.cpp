// Tag engine benchmark: reads the tags of a generated album folder with our classes and
// with TagLib, writes titles in place and through the growth path, compares the growth
// path with a plain copy of the same bytes, and shows that peak memory does not follow
// the file size. Usage: bench_tags [folder-for-temporary-files]
#include "FileOps.h"
#include "TagError.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string Synchsafe(std::uint32_t v) {
    return {char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F), char(v & 0x7F)};
}
std::string BE32(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Frame(const std::string &id, const std::string &body) { return id + BE32(std::uint32_t(body.size())) + std::string(2, '\0') + body; }
std::string Text(const std::string &s) { return std::string(1, '\0') + s; }

// MPEG-1 Layer III frames at 128 kbit/s, 44.1 kHz: 417 bytes each.
std::string Audio(size_t bytes) {
    std::string frame("\xFF\xFB\x90\x64", 4);
    frame.resize(417, '\x55');
    std::string a;
    a.reserve(bytes + 417);
    while (a.size() < bytes) a += frame;
    return a;
}

std::string Tagged(int i, size_t padding, const std::string &audio) {
    const std::string n = std::to_string(i);
    std::string frames = Frame("TIT2", Text("Title of track " + n)) + Frame("TPE1", Text("Artist")) +
                         Frame("TALB", Text("Album")) + Frame("TYER", Text("1999")) + Frame("TRCK", Text(n)) +
                         Frame("COMM", Text(std::string("eng\0comment ", 12) + n)) + Frame("TCON", Text("(17)")) +
                         Frame("APIC", std::string("\0image/jpeg\0\x03\0", 14) + std::string(2000, '\x77'));
    std::string v1 = "TAG";
    v1 += std::string("Title of track " + n).append(30, '\0').substr(0, 30);
    v1 += std::string("Artist").append(30, '\0').substr(0, 30) + std::string("Album").append(30, '\0').substr(0, 30);
    v1 += "1999" + std::string(28, '\0') + '\0' + char(i % 100) + char(17);
    return "ID3\x03" + std::string(2, '\0') + Synchsafe(std::uint32_t(frames.size() + padding)) + frames +
           std::string(padding, '\0') + audio + v1;
}

void WriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

double Seconds(const std::function<void()> &f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Best of n runs.
double Best(int n, const std::function<void()> &f) {
    double best = 1e30;
    for (int i = 0; i < n; ++i) best = std::min(best, Seconds(f));
    return best;
}

void PlainCopy(const std::string &from, const std::string &to, bool sync) {
    tags::fileops::File in("bench"), out("bench");
    in.Open(from, tags::fileops::File::Mode::Read);
    fs::remove(to);
    out.CreateNew(to);
    std::vector<char> buf(64 * 1024);
    for (size_t n; (n = in.Read(buf.data(), buf.size())) > 0;) out.Write(buf.data(), n);
    if (sync) out.Sync();
}

const std::string kLongTitle(3000, 'L'); // more than any padding here holds

// One growth Update, run in a fresh process by ChildPeakKiB.
int GrowOnce(const char *path) {
    try {
        tags::Mp3TagID3v2 t;
        t.MP3File(path);
        t.Title(kLongTitle);
        t.Update();
        return 0;
    } catch (const tags::TagError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

// Peak resident memory (KiB) of this program run as "bench_tags --grow path".
long ChildPeakKiB(const std::string &path) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/proc/self/exe", "bench_tags", "--grow", path.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ru.ru_maxrss : -1;
}

size_t sink = 0;

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--grow") == 0) return GrowOnce(argv[2]);
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path dir = base / ("sortibench-" + std::to_string(getpid()));
    fs::create_directories(dir / "album");
    const int kFiles = 1000, kWrites = 100;
    std::printf("folder: %s\n", dir.c_str());

    // 1000 files of ~40 KB: a 2.3 tag with seven text frames and a small picture, audio, ID3v1.
    const std::string audio = Audio(40000);
    std::vector<std::string> files;
    for (int i = 0; i < kFiles; ++i) {
        files.push_back((dir / "album" / ("track" + std::to_string(i) + ".mp3")).string());
        WriteFile(files.back(), Tagged(i, 1024, audio));
    }

    // ---- reading
    auto readOurs = [&] {
        tags::Mp3TagID3v2 v2;
        tags::Mp3TagID3v1 v1;
        for (const auto &f : files) {
            v2.MP3File(f);
            v1.MP3File(f);
            sink += v2.Title().size() + v2.Artist().size() + v2.Album().size() + v2.Comment().size() + v1.Title().size();
        }
    };
    auto readTagLib = [&](bool properties) {
        return [&files, properties] {
            for (const auto &f : files) {
                TagLib::MPEG::File m(f.c_str(), properties);
                sink += m.ID3v2Tag()->title().size() + m.ID3v2Tag()->artist().size() + m.ID3v2Tag()->album().size() +
                        m.ID3v2Tag()->comment().size() + (m.ID3v1Tag() ? m.ID3v1Tag()->title().size() : 0);
            }
        };
    };
    readOurs(); // warm the page cache
    const double tOurs = Best(5, readOurs);
    const double tTagLib = Best(5, readTagLib(false));
    const double tTagLibProps = Best(5, readTagLib(true));
    std::printf("\nread %d files (ID3v2 + ID3v1), best of 5\n", kFiles);
    std::printf("  ours                      %8.0f files/s\n", kFiles / tOurs);
    std::printf("  TagLib (no audio props)   %8.0f files/s   ours/TagLib = %.2fx\n", kFiles / tTagLib, tTagLib / tOurs);
    std::printf("  TagLib (audio props)      %8.0f files/s   ours/TagLib = %.2fx\n", kFiles / tTagLibProps, tTagLibProps / tOurs);

    // ---- writing a changed title into 100 files: in place (room in the padding)
    auto reset = [&](size_t padding) {
        for (int i = 0; i < kWrites; ++i) WriteFile(files[size_t(i)], Tagged(i, padding, audio));
    };
    auto writeOurs = [&](const std::string &title) {
        return [&, title] {
            tags::Mp3TagID3v2 t;
            for (int i = 0; i < kWrites; ++i) {
                t.MP3File(files[size_t(i)]);
                t.Title(title);
                t.Update();
            }
        };
    };
    auto writeTagLib = [&](const std::string &title) {
        return [&, title] {
            for (int i = 0; i < kWrites; ++i) {
                TagLib::MPEG::File m(files[size_t(i)].c_str(), false);
                m.ID3v2Tag(true)->setTitle(TagLib::String(title, TagLib::String::UTF8));
                m.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3);
            }
        };
    };
    const std::string shortTitle = "A changed title";
    const std::string &longTitle = kLongTitle;
    double wo = 1e30, wt = 1e30, go = 1e30, gt = 1e30;
    for (int round = 0; round < 3; ++round) {
        // Each timed run starts with nothing dirty in the page cache, so that no run pays
        // for flushing the files that the set-up wrote.
        reset(1024);
        ::sync();
        wo = std::min(wo, Seconds(writeOurs(shortTitle)));
        reset(1024);
        ::sync();
        wt = std::min(wt, Seconds(writeTagLib(shortTitle)));
        reset(0);
        ::sync();
        go = std::min(go, Seconds(writeOurs(longTitle)));
        reset(0);
        ::sync();
        gt = std::min(gt, Seconds(writeTagLib(longTitle)));
    }
    std::printf("\nwrite a title into %d files, best of 3\n", kWrites);
    std::printf("  in place: ours %8.0f files/s, TagLib %8.0f files/s, ours/TagLib = %.2fx\n", kWrites / wo, kWrites / wt, wt / wo);
    std::printf("  growth:   ours %8.0f files/s, TagLib %8.0f files/s, ours/TagLib = %.2fx\n", kWrites / go, kWrites / gt, gt / go);
    std::printf("  (our growth path flushes every file to disk before the rename; TagLib shifts in place, unflushed)\n");

    // ---- growth path against a plain copy of the same bytes, 5 MB files
    const std::string big = (dir / "big.mp3").string(), work = (dir / "work.mp3").string(),
                      copy = (dir / "copy.mp3").string();
    WriteFile(big, Tagged(1, 0, Audio(5u << 20)));
    const auto bigSize = fs::file_size(big);
    double tg = 1e30, tc = 1e30, tcs = 1e30;
    for (int round = 0; round < 7; ++round) {
        fs::copy_file(big, work, fs::copy_options::overwrite_existing);
        tags::Mp3TagID3v2 t;
        t.MP3File(work);
        t.Title(longTitle);
        ::sync();
        tg = std::min(tg, Seconds([&] { t.Update(); }));
        ::sync();
        tc = std::min(tc, Seconds([&] { PlainCopy(big, copy, false); }));
        ::sync();
        tcs = std::min(tcs, Seconds([&] { PlainCopy(big, copy, true); }));
    }
    std::printf("\ngrowth path on a %.1f MB file, best of 7\n", double(bigSize) / (1 << 20));
    std::printf("  growth (Update)            %7.2f ms\n", tg * 1e3);
    std::printf("  plain copy                 %7.2f ms   growth/copy = %.2fx\n", tc * 1e3, tg / tc);
    std::printf("  plain copy + fsync         %7.2f ms   growth/copy = %.2fx\n", tcs * 1e3, tg / tcs);

    // ---- peak memory of one growth Update in a fresh process, by file size
    std::printf("\npeak memory (max RSS) of a process doing one growth Update\n");
    for (size_t mb : {1u, 5u, 50u}) {
        const std::string p = (dir / ("mem" + std::to_string(mb) + ".mp3")).string();
        WriteFile(p, Tagged(1, 0, Audio(mb << 20)));
        const long kib = ChildPeakKiB(p);
        std::printf("  %3zu MB file: %6ld KiB\n", mb, kib);
        fs::remove(p);
    }

    fs::remove_all(dir);
    return sink == 0 ? 1 : 0; // keeps the reads from being optimised away

}
