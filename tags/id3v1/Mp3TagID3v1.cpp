#include "Mp3TagID3v1.h"

#include "FileEdit.h"
#include "FileOps.h"
#include "Genres.h"
#include "TagError.h"
#include "TextCodec.h"

#include <cstring>

namespace tags {

using fileops::File;

std::string Mp3TagID3v1::Source() { return ErrorSource("cMP3ID3v1"); }

std::string Mp3TagID3v1::GenreName(std::uint8_t genre) const { return GenreTableName(genre); }

namespace {

// UTF-8 bytes without a multi-byte sequence that the field's end cut off.
std::string_view WithoutCutEnd(std::string_view utf8) {
    size_t start = utf8.size();
    while (start > 0 && (static_cast<unsigned char>(utf8[start - 1]) & 0xC0) == 0x80) --start;
    if (start == 0) return utf8;
    const auto lead = static_cast<unsigned char>(utf8[start - 1]);
    const size_t len = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 1;
    return utf8.size() - (start - 1) < len ? utf8.substr(0, start - 1) : utf8;
}

} // namespace

std::string Mp3TagID3v1::CleanField(const char *bytes, size_t n) {
    char kept[30]; // the widest field
    size_t len = 0;
    for (size_t i = 0; i < n && i < sizeof kept; ++i)
        if (bytes[i] != '\0') kept[len++] = bytes[i];
    const std::string_view s(kept, len);
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    const size_t b = s.find_last_not_of(' ');
    const std::string_view text = s.substr(a, b - a + 1);
    // Some tools write UTF-8 into the record; a cut-off last character is dropped.
    if (codec::LooksLikeUtf8(text)) return std::string(WithoutCutEnd(text));
    return codec::AnsiToUtf8(text);
}

std::string Mp3TagID3v1::FitField(const std::string &utf8, size_t width) {
    std::string b = codec::Utf8ToAnsi(utf8, width);
    b.resize(width, ' ');
    return b;
}

void Mp3TagID3v1::MP3File(const std::string &path) {
    Reset(path);
    File f(Source());
    f.Open(path, File::Mode::Read);
    ReadRecord(f);
}

void Mp3TagID3v1::ReadFrom(File &f) {
    Reset(f.Path());
    try {
        ReadRecord(f);
    } catch (const TagError &e) {
        throw TagError(e.number(), Source(), e.description()); // the file was opened for another reader
    }
}

void Mp3TagID3v1::Reset(const std::string &path) {
    path_ = path;
    hasTag_ = false;
    title_.clear();
    artist_.clear();
    album_.clear();
    year_.clear();
    comment_.clear();
    genre_ = 255;
    track_ = 0;
    read_ = Fields{};
}

void Mp3TagID3v1::ReadRecord(File &f) {
    const std::int64_t len = f.Size();
    if (len <= 128) return;
    char rec[128];
    if (f.ReadAt(len - 128, rec, sizeof rec) != sizeof rec || std::memcmp(rec, "TAG", 3) != 0) return;
    hasTag_ = true;
    title_ = CleanField(rec + 3, 30);
    artist_ = CleanField(rec + 33, 30);
    album_ = CleanField(rec + 63, 30);
    year_ = CleanField(rec + 93, 4);
    // Always the 1.1 layout, whatever byte 125 holds: a 30-byte comment gives its first
    // 28 bytes, and its last byte is the track.
    comment_ = CleanField(rec + 97, 28);
    track_ = static_cast<std::uint8_t>(rec[126]);
    genre_ = static_cast<std::uint8_t>(rec[127]);
    read_ = Fields{title_, artist_, album_, year_, comment_, track_};
}

void Mp3TagID3v1::Update() {
    File f(Source());
    f.Open(path_, File::Mode::ReadWrite);
    if (const auto splice = PlanUpdate(f)) fileops::ApplySplices(f, path_, {*splice}, Source());
}

std::optional<fileops::Splice> Mp3TagID3v1::PlanUpdate(File &f) const {
    const std::int64_t len = f.Size();
    if (len == 0) throw TagError(kErrNotValidMp3, Source(), path_ + " is not a valid MP3 file.");
    if (len <= 128) return std::nullopt;

    char old[128] = {};
    const bool present = f.ReadAt(len - 128, old, sizeof old) == sizeof old && std::memcmp(old, "TAG", 3) == 0;
    // A field the caller left as it was read keeps its bytes: re-encoding could turn
    // a UTF-8 guess into question marks.
    auto kept = [&](const std::string &now, const std::string &then) { return present && now == then; };
    std::string rec = "TAG";
    auto put = [&](size_t at, size_t width, const std::string &now, const std::string &then) {
        rec += kept(now, then) ? std::string(old + at, width) : FitField(now, width);
    };
    put(3, 30, title_, read_.title);
    put(33, 30, artist_, read_.artist);
    put(63, 30, album_, read_.album);
    put(93, 4, year_, read_.year);
    put(97, 28, comment_, read_.comment);
    rec += '\0';
    rec += static_cast<char>(track_);
    rec += static_cast<char>(genre_);
    if (present) return fileops::Splice{len - 125, 125, rec.substr(3)};
    return fileops::Splice{len, 0, rec};
}

} // namespace tags
