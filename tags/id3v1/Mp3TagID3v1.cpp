#include "Mp3TagID3v1.h"

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
    std::string s;
    s.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (bytes[i] != '\0') s += bytes[i];
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    const size_t b = s.find_last_not_of(' ');
    const std::string_view text = std::string_view(s).substr(a, b - a + 1);
    // Some tools write UTF-8 into the record; a cut-off last character is dropped.
    if (codec::LooksLikeUtf8(text)) return std::string(WithoutCutEnd(text));
    return codec::Cp1252ToUtf8(text);
}

std::string Mp3TagID3v1::FitField(const std::string &utf8, size_t width) {
    std::string b = codec::Utf8ToCp1252(utf8);
    b.resize(width, ' ');
    return b;
}

void Mp3TagID3v1::MP3File(const std::string &path) {
    path_ = path;
    hasTag_ = false;
    title_.clear();
    artist_.clear();
    album_.clear();
    year_.clear();
    comment_.clear();
    genre_ = 255;
    track_ = 0;

    File f(Source());
    f.Open(path, File::Mode::Read);
    const std::int64_t len = f.Size();
    if (len <= 128) return;
    char rec[128];
    f.Seek(len - 128);
    if (f.ReadFull(rec, sizeof rec) != sizeof rec || std::memcmp(rec, "TAG", 3) != 0) return;
    hasTag_ = true;
    title_ = CleanField(rec + 3, 30);
    artist_ = CleanField(rec + 33, 30);
    album_ = CleanField(rec + 63, 30);
    year_ = CleanField(rec + 93, 4);
    comment_ = CleanField(rec + 97, 28);
    track_ = static_cast<std::uint8_t>(rec[126]);
    genre_ = static_cast<std::uint8_t>(rec[127]);
}

void Mp3TagID3v1::Update() {
    File f(Source());
    f.Open(path_, File::Mode::ReadWrite);
    const std::int64_t len = f.Size();
    if (len == 0) throw TagError(kErrNotValidMp3, Source(), path_ + " is not a valid MP3 file.");
    if (len <= 128) return;

    char marker[3] = {};
    f.Seek(len - 128);
    const bool present = f.ReadFull(marker, 3) == 3 && std::memcmp(marker, "TAG", 3) == 0;

    // Build the whole record first, so it reaches the disk in one write.
    std::string rec;
    rec.reserve(128);
    if (!present) rec += "TAG";
    rec += FitField(title_, 30);
    rec += FitField(artist_, 30);
    rec += FitField(album_, 30);
    rec += FitField(year_, 4);
    rec += FitField(comment_, 28);
    rec += '\0';
    rec += static_cast<char>(track_);
    rec += static_cast<char>(genre_);

    // Keep the old record so that a write failing halfway can be undone.
    std::string old(125, '\0');
    if (present) old.resize(f.ReadFull(old.data(), old.size()));

    f.Seek(present ? len - 125 : len);
    try {
        f.Write(rec.data(), rec.size());
    } catch (...) {
        try {
            if (present) {
                f.Seek(len - 125);
                f.Write(old.data(), old.size());
            } else {
                f.Truncate(len);
            }
        } catch (...) {
        }
        throw;
    }
}

} // namespace tags
