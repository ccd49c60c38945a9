// tagprobe: reads and writes the tags of MP3 files through the engine's own classes.
#include "FieldWrite.h"
#include "Mp3Info.h"
#include "StreamInfo.h"
#include "TagError.h"
#include "TextCodec.h"
#include "UndoRecord.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

// Paths and field values as UTF-8; on Windows argv would be in the ANSI code page.
std::vector<std::string> Arguments(int argc, char **argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int n = 0;
    wchar_t **w = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> args;
    for (int i = 1; w && i < n; ++i) {
        const int len = WideCharToMultiByte(CP_UTF8, 0, w[i], -1, nullptr, 0, nullptr, nullptr);
        std::string a(static_cast<size_t>(len > 0 ? len - 1 : 0), '\0');
        if (len > 1) WideCharToMultiByte(CP_UTF8, 0, w[i], -1, a.data(), len, nullptr, nullptr);
        args.push_back(std::move(a));
    }
    LocalFree(w);
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

const char *kHelp = R"(Usage:
  tagprobe read FILE...
  tagprobe write [--artist X] [--title X] [--album X] [--year X] [--comment X] [--track X] FILE...

read prints one JSON object per line and file:
  {"file":PATH,
   "id3v2":{"present":BOOL,"version":N,"tagStart":N,"title":S,"artist":S,"album":S,"year":S,
            "comment":S,"track":S,"genre":N,"genreName":S,"otherGenreName":S,"lyrics":S,
            "linkTo":S,"encodedBy":S,"playCounter":S,"originalArtist":S,"composer":S,
            "copyright":S,"audioURL":S,"buyURL":S,"artistURL":S,
            "frames":[{"id":S,"tags":N},...]},
   "id3v1":{"present":BOOL,"title":S,"artist":S,"album":S,"year":S,"comment":S,
            "track":N,"genre":N,"genreName":S},
   "bitrate":N,"seconds":N,"time":"hh:mm:ss"}
  genreName is GenreName(genre) of that class. Texts are UTF-8. A byte that is not part
  of valid UTF-8 (file names may hold any) is written as the escape \udc80 to \udcff
  (the byte plus 0xDC00, Python's "surrogateescape"): os.fsencode(json.loads(line)["file"])
  gives the name's bytes back. bitrate is in kbit/s
  (the average for VBR), seconds the playing time rounded to whole seconds; both are 0
  for a file without MPEG audio.

write sets, for each FILE, the given fields in the ID3v1 tag (artist, title, album, year,
comment) and in the ID3v2 tag (artist, title, album, year, comment, track) and writes
both tags together: either both change or the file stays as it was. Nothing is printed
on success. Anything that is not a regular file (folder, FIFO, device) is refused.

A file that fails prints {"file":PATH,"error":{"number":N,"source":S,"description":S}}
instead, and the next file follows.
Exit status: 0, or 1 when any file failed, 2 on wrong usage.
)";

// Length of the well-formed UTF-8 sequence at s[i] (no overlong forms, no surrogates,
// nothing above U+10FFFF), or 0.
size_t Utf8Length(const std::string &s, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    if (n >= 3) {
        const unsigned char d = at(i + 1);
        if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F))
            return 0;
    }
    return n;
}

std::string Quote(const std::string &s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = Utf8Length(s, i);
        char buf[8];
        if (n == 0) {
            // A byte that is not UTF-8 (a file name can hold any): a lone surrogate,
            // as Python's surrogateescape spells it.
            std::snprintf(buf, sizeof buf, "\\udc%02x", c);
            out += buf;
        } else if (n > 1) {
            out.append(s, i, n);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
        i += n ? n : 1;
    }
    return out + "\"";
}

// A JSON object built member by member.
class Json {
public:
    Json &Add(const char *key, const std::string &v) { return Raw(key, Quote(v)); }
    Json &Add(const char *key, long long v) { return Raw(key, std::to_string(v)); }
    Json &Add(const char *key, bool v) { return Raw(key, v ? "true" : "false"); }
    Json &Raw(const char *key, const std::string &json) {
        body_ += (body_.empty() ? "" : ",") + Quote(key) + ":" + json;
        return *this;
    }
    std::string Str() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

std::string ErrorJson(const tags::TagError &e) {
    return Json().Add("number", static_cast<long long>(e.number())).Add("source", e.source())
        .Add("description", e.description()).Str();
}

std::string ReadV2(const std::string &path) {
    tags::Mp3TagID3v2 t;
    t.MP3File(path);
    std::string frames = "[";
    for (std::int32_t i = 1; i <= t.FrameCount(); ++i)
        // Identifiers are bytes as read; an odd one must not break the JSON.
        frames += (i > 1 ? "," : "") + Json().Add("id", tags::codec::Cp1252ToUtf8(t.Frame(i))).Add("tags", static_cast<long long>(t.TagsInFrame(i))).Str();
    frames += "]";
    return Json()
        .Add("present", t.HasID3v2Tag()).Add("version", static_cast<long long>(t.ID3v2TagVersion()))
        .Add("tagStart", static_cast<long long>(t.TagStart()))
        .Add("title", t.Title()).Add("artist", t.Artist()).Add("album", t.Album()).Add("year", t.Year())
        .Add("comment", t.Comment()).Add("track", t.Track())
        .Add("genre", static_cast<long long>(t.Genre())).Add("genreName", t.GenreName(t.Genre()))
        .Add("otherGenreName", t.OtherGenreName()).Add("lyrics", t.Lyrics()).Add("linkTo", t.LinkTo())
        .Add("encodedBy", t.EncodedBy()).Add("playCounter", t.PlayCounter())
        .Add("originalArtist", t.OriginalArtist()).Add("composer", t.Composer()).Add("copyright", t.Copyright())
        .Add("audioURL", t.AudioURL()).Add("buyURL", t.BuyURL()).Add("artistURL", t.ArtistURL())
        .Raw("frames", frames)
        .Str();
}

std::string ReadV1(const std::string &path) {
    tags::Mp3TagID3v1 t;
    t.MP3File(path);
    return Json()
        .Add("present", t.HasID3v1Tag()).Add("title", t.Title()).Add("artist", t.Artist()).Add("album", t.Album())
        .Add("year", t.Year()).Add("comment", t.Comment()).Add("track", static_cast<long long>(t.Track()))
        .Add("genre", static_cast<long long>(t.Genre())).Add("genreName", t.GenreName(t.Genre()))
        .Str();
}

// The one line `read` prints for a file: both tags, or the first error.
std::string ReadLine(const std::string &path, bool &ok) {
    Json line;
    line.Add("file", path);
    try {
        line.Raw("id3v2", ReadV2(path));
        line.Raw("id3v1", ReadV1(path));
        const mp3info::StreamInfo info = mp3info::ReadStreamInfo(path);
        line.Add("bitrate", static_cast<long long>(info.bitrateKbps));
        line.Add("seconds", static_cast<long long>(info.WholeSeconds()));
        line.Add("time", mp3info::PlayingTimeText(info.WholeSeconds()));
    } catch (const tags::TagError &e) {
        ok = false;
        return Json().Add("file", path).Raw("error", ErrorJson(e)).Str();
    }
    return line.Str();
}

void WriteFile(const std::string &path, const tags::FieldValues &f) {
    tags::Mp3TagID3v1 v1;
    tags::Mp3TagID3v2 v2;
    tags::WriteFields(path, f, v1, v2);
}

int Usage() {
    std::cerr << kHelp;
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args = Arguments(argc, argv);
    if (args.empty()) return Usage();
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kHelp;
        return 0;
    }
    int status = 0;
    if (args[0] == "read") {
        if (args.size() < 2) return Usage();
        for (size_t i = 1; i < args.size(); ++i) {
            bool ok = true;
            std::cout << ReadLine(args[i], ok) << '\n';
            if (!ok) status = 1;
        }
        return status;
    }
    if (args[0] != "write") return Usage();

    tags::FieldValues f;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        std::optional<std::string> *slot = a == "--artist" ? &f.artist : a == "--title" ? &f.title
                                         : a == "--album" ? &f.album : a == "--year" ? &f.year
                                         : a == "--comment" ? &f.comment : a == "--track" ? &f.track : nullptr;
        if (slot) {
            if (i + 1 >= args.size()) return Usage();
            *slot = args[++i];
        } else if (a == "--") {
            files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a.rfind("--", 0) == 0) {
            return Usage();
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) return Usage();
#ifdef __GLIBC__
    // Each file's tag is read, built and dropped in turn; glibc would give the freed heap
    // back to the system after every file and fault it in afresh for the next one.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
    const tags::fileops::UndoRecordReuse oneRecord;
    for (const std::string &path : files) {
        try {
            WriteFile(path, f);
        } catch (const tags::TagError &e) {
            status = 1;
            std::cout << Json().Add("file", path).Raw("error", ErrorJson(e)).Str() << '\n';
        }
    }
    return status;
}
