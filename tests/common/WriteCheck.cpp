#include "WriteCheck.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace writecheck {
namespace {

std::vector<std::string> Lines(const std::string &s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::string FrameId(const std::string &line) {
    // mutagen: ["TPE1", ...]; TagLib: TPE1<tab>...
    if (!line.empty() && line[0] == '[') return line.substr(2, 4);
    return line.substr(0, line.find('\t'));
}

std::vector<std::string> Without(std::vector<std::string> frames, const Expect &e) {
    std::erase_if(frames, [&](const std::string &l) {
        const std::string id = FrameId(l);
        return id == "TIT2" || std::find(e.mayChange.begin(), e.mayChange.end(), id) != e.mayChange.end();
    });
    return frames;
}

size_t Count(const std::string &hay, const std::string &needle) {
    size_t n = 0;
    for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
    return n;
}

std::string Join(const std::vector<std::string> &v) {
    std::string s;
    for (const auto &l : v) s += "  " + l + "\n";
    return s;
}

} // namespace

View Read(const std::string &path) {
    View v;
    const std::string q = ShellQuote(path);
    auto m = Lines(Capture("PYTHONDONTWRITEBYTECODE=1 PYTHONIOENCODING=utf-8 /usr/bin/python3 " +
                           ShellQuote(TAGDUMP_PY) + " " + q + " 2>&1"));
    if (!m.empty() && m[0].rfind("[\"title\"", 0) == 0) {
        v.mutagenTitle = m[0];
        m.erase(m.begin());
    }
    std::sort(m.begin(), m.end());
    v.mutagenFrames = m;
    auto t = Lines(Capture(ShellQuote(TAGLIB_DUMP) + " " + q + " 2>&1"));
    if (!t.empty() && t[0].rfind("title\t", 0) == 0) {
        v.taglibTitle = t[0].substr(6);
        t.erase(t.begin());
    }
    v.taglibFrames = t;
    v.packets = Capture("ffprobe -v error -select_streams a:0 -count_packets -show_entries stream=nb_read_packets "
                        "-of csv=p=0 " + q + " 2>/dev/null");
    return v;
}

::testing::AssertionResult WriteKept(const std::string &before, const std::string &path, const Expect &e) {
    auto readBytes = [&](const std::string &bytes) {
        const std::string copy = path + ".before";
        {
            std::ofstream out(copy, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        View v = Read(copy);
        std::filesystem::remove(copy);
        return v;
    };
    View was = readBytes(before);
    if (!e.reference.empty()) {
        const View ref = readBytes(e.reference);
        was.mutagenFrames = ref.mutagenFrames;
        was.taglibFrames = ref.taglibFrames;
        was.packets = ref.packets;
    }
    const View now = Read(path);
    std::ifstream in(path, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    std::string why;
    // mutagen prints the title as a JSON string; build the expected line the same way
    // only for ASCII titles, which is what the tables use.
    if (now.mutagenTitle != "[\"title\", \"" + e.title + "\"]") why += "mutagen title: " + now.mutagenTitle + "\n";
    if (now.taglibTitle != e.title) why += "TagLib title: " + now.taglibTitle + "\n";
    if (Without(was.mutagenFrames, e) != Without(now.mutagenFrames, e))
        why += "mutagen frames before:\n" + Join(was.mutagenFrames) + "after:\n" + Join(now.mutagenFrames);
    if (Without(was.taglibFrames, e) != Without(now.taglibFrames, e))
        why += "TagLib frames before:\n" + Join(was.taglibFrames) + "after:\n" + Join(now.taglibFrames);
    if (Count(after, e.audio) != 1) why += "audio found " + std::to_string(Count(after, e.audio)) + " times\n";
    const std::string tail = e.audio + e.trailer;
    if (after.size() < tail.size() || after.compare(after.size() - tail.size(), tail.size(), tail) != 0)
        why += "audio and trailer are not the end of the file\n";
    if (after.size() >= 10 && after.compare(0, 3, "ID3") == 0) {
        // Nothing but the tag before the audio: no footer, no old bytes left behind.
        std::int64_t end = 10;
        for (int i = 6; i < 10; ++i) end += static_cast<std::int64_t>(static_cast<unsigned char>(after[i]) & 0x7F) << (7 * (9 - i));
        if (after[3] == 4 && (after[5] & 0x10)) end += 10;
        const size_t at = after.find(e.audio);
        if (at != std::string::npos && static_cast<std::int64_t>(at) != end)
            why += "the tag ends at " + std::to_string(end) + ", the audio starts at " + std::to_string(at) + "\n";
    }
    if (was.packets != now.packets) why += "ffprobe packets " + was.packets + " -> " + now.packets + "\n";
    if (was.packets.empty() || was.packets == "0\n") why += "ffprobe found no packets: " + was.packets + "\n";
    if (why.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << why;
}

} // namespace writecheck
