// tagprobe: reads and writes the tags of MP3 files through the engine's own classes.
#include "FieldWrite.h"
#include "FileOps.h"
#include "Mp3Info.h"
#include "StreamInfo.h"
#include "TagError.h"
#include "TextCodec.h"
#include "UndoRecord.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <charconv>
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

// Appends s to out as a JSON string.
void AppendQuoted(std::string &out, const std::string &s) {
    out += '"';
    const auto plain = [](unsigned char c) { return c >= 0x20 && c < 0x80 && c != '"' && c != '\\'; };
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (plain(c)) { // the common case: a run of bytes that stand as they are
            size_t j = i + 1;
            while (j < s.size() && plain(static_cast<unsigned char>(s[j]))) ++j;
            out.append(s, i, j - i);
            i = j;
            continue;
        }
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
        } else {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        }
        i += n ? n : 1;
    }
    out += '"';
}

// A JSON object built member by member, into the string given (a line reused for
// every file) or into one of its own.
class Json {
public:
    Json() : out_(own_) { Open(); }
    explicit Json(std::string &out) : out_(out) { Open(); }
    Json(const Json &) = delete;
    Json &operator=(const Json &) = delete;

    Json &Add(const char *key, const std::string &v) {
        Key(key);
        AppendQuoted(out_, v);
        return *this;
    }
    Json &Add(const char *key, long long v) {
        Key(key);
        char digits[24];
        const auto r = std::to_chars(digits, digits + sizeof digits, v);
        out_.append(digits, r.ptr);
        return *this;
    }
    Json &Add(const char *key, bool v) {
        Key(key);
        out_ += v ? "true" : "false";
        return *this;
    }
    Json &Raw(const char *key, const std::string &json) {
        Key(key);
        out_ += json;
        return *this;
    }
    // A member whose value follows in the same string; End() closes the object.
    std::string &Member(const char *key) {
        Key(key);
        return out_;
    }
    std::string &End() {
        out_ += '}';
        return out_;
    }
    std::string Str() { return End(); }

private:
    void Open() {
        start_ = out_.size();
        out_ += '{';
    }
    void Key(const char *key) {
        // Keys are plain ASCII; a line is built for every file, so in few appends.
        const bool first = out_.size() == start_ + 1;
        out_.append(first ? "\"" : ",\"", first ? 1 : 2);
        out_.append(key);
        out_.append("\":", 2);
    }
    std::string own_;
    std::string &out_;
    size_t start_ = 0;
};

std::string ErrorJson(const tags::TagError &e) {
    return Json().Add("number", static_cast<long long>(e.number())).Add("source", e.source())
        .Add("description", e.description()).Str();
}

void AppendV2(std::string &out, const tags::Mp3TagID3v2 &t) {
    Json j(out);
    j.Add("present", t.HasID3v2Tag()).Add("version", static_cast<long long>(t.ID3v2TagVersion()))
        .Add("tagStart", static_cast<long long>(t.TagStart()))
        .Add("title", t.Title()).Add("artist", t.Artist()).Add("album", t.Album()).Add("year", t.Year())
        .Add("comment", t.Comment()).Add("track", t.Track())
        .Add("genre", static_cast<long long>(t.Genre())).Add("genreName", t.GenreName(t.Genre()))
        .Add("otherGenreName", t.OtherGenreName()).Add("lyrics", t.Lyrics()).Add("linkTo", t.LinkTo())
        .Add("encodedBy", t.EncodedBy()).Add("playCounter", t.PlayCounter())
        .Add("originalArtist", t.OriginalArtist()).Add("composer", t.Composer()).Add("copyright", t.Copyright())
        .Add("audioURL", t.AudioURL()).Add("buyURL", t.BuyURL()).Add("artistURL", t.ArtistURL());
    j.Member("frames") += '[';
    for (std::int32_t i = 1; i <= t.FrameCount(); ++i) {
        if (i > 1) out += ',';
        // Identifiers are bytes as read; an odd one must not break the JSON.
        Json(out).Add("id", tags::codec::Cp1252ToUtf8(t.Frame(i))).Add("tags", static_cast<long long>(t.TagsInFrame(i))).End();
    }
    out += ']';
    j.End();
}

void AppendV1(std::string &out, const tags::Mp3TagID3v1 &t) {
    Json(out)
        .Add("present", t.HasID3v1Tag()).Add("title", t.Title()).Add("artist", t.Artist()).Add("album", t.Album())
        .Add("year", t.Year()).Add("comment", t.Comment()).Add("track", static_cast<long long>(t.Track()))
        .Add("genre", static_cast<long long>(t.Genre())).Add("genreName", t.GenreName(t.Genre()))
        .End();
}

// The one line `read` puts into `line` for a file: both tags, or the first error. One
// open serves both tags and the stream; the objects are reused from file to file.
bool ReadLine(const std::string &path, tags::Mp3TagID3v2 &v2, tags::Mp3TagID3v1 &v1, std::string &line) {
    line.clear();
    Json j(line);
    j.Add("file", path);
    try {
        tags::fileops::File file(tags::Mp3TagID3v2::Source()); // an open that fails is the ID3v2 reader's error
        file.Open(path, tags::fileops::File::Mode::Read);
        v2.ReadFrom(file);
        v1.ReadFrom(file);
        const mp3info::StreamInfo info = mp3info::ReadStreamInfo(file);
        AppendV2(j.Member("id3v2"), v2);
        AppendV1(j.Member("id3v1"), v1);
        j.Add("bitrate", static_cast<long long>(info.bitrateKbps));
        j.Add("seconds", static_cast<long long>(info.WholeSeconds()));
        j.Add("time", mp3info::PlayingTimeText(info.WholeSeconds()));
    } catch (const tags::TagError &e) {
        line.clear();
        Json(line).Add("file", path).Raw("error", ErrorJson(e)).End();
        return false;
    }
    j.End();
    return true;
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
        tags::Mp3TagID3v2 v2;
        tags::Mp3TagID3v1 v1;
        std::string line;
        for (size_t i = 1; i < args.size(); ++i) {
            if (!ReadLine(args[i], v2, v1, line)) status = 1;
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
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
