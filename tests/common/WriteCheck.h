#pragma once
// Checks a write with readers that share no code with ours: mutagen (Debian's
// /usr/bin/python3), TagLib (a small program), ffprobe, and the audio bytes themselves.
#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

namespace writecheck {

struct Expect {
    std::string title = {};             // both readers must find it in the ID3v2 tag
    std::string audio = {};             // first MPEG frame to the end of the last: once, unchanged
    std::string trailer = {};           // what follows the audio (appended tags, ID3v1): unchanged, at the end
    std::vector<std::string> mayChange = {}; // frame identifiers besides TIT2 the write may change
    std::string reference = {};         // if set, frames and packets must read as in these bytes rather than
                                        // in `before` (for files whose fault hides them from a reader)
};

// What one file looks like to the independent readers.
struct View {
    std::string mutagenTitle, taglibTitle;
    std::vector<std::string> mutagenFrames; // sorted: mutagen's own upgrade reorders
    std::vector<std::string> taglibFrames;  // in tag order
    std::string packets;                    // ffprobe's count of audio packets
};

View Read(const std::string &path);

// `before` is the whole file as it was before the write, `path` the file after it:
// the title reads back in both readers, every other frame reads as before, the audio
// is there exactly once and byte for byte, right where the tag at the start ends, the
// trailer is unchanged and ffprobe counts the same packets (so the file needs audio it
// can count).
::testing::AssertionResult WriteKept(const std::string &before, const std::string &path, const Expect &e);

// Output of a shell command.
inline std::string Capture(const std::string &cmd) {
    std::string out;
    if (FILE *p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// Single-quoted for the shell.
inline std::string ShellQuote(const std::string &s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace writecheck
