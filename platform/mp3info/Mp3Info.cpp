#include "Mp3Info.h"

#include "FileOps.h"
#include "StreamInfo.h"
#include "TextCodec.h"
#include "id3v1/Mp3TagID3v1.h"

#include <algorithm>

namespace mp3info {

std::string Mp3InfoRecord::Slot(const std::string &utf8, std::size_t width) {
    std::string bytes = tags::codec::Utf8ToCp1252(utf8);
    bytes.resize(width, ' ');
    return tags::codec::Cp1252ToUtf8(bytes);
}

std::string Mp3InfoRecord::LongSlot(const std::string &utf8, std::size_t width) {
    std::string bytes = tags::codec::Utf8ToCp1252(utf8);
    if (bytes.size() > width) bytes.resize(width);
    return tags::codec::Cp1252ToUtf8(bytes);
}

namespace {

std::string TrimRight(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

} // namespace

namespace {

// The record's tag fields from a record that was read (ok) or could not be (!ok).
bool FillTagFields(const tags::Mp3TagID3v1 &v1, bool ok, Mp3InfoRecord &record) noexcept {
    using R = Mp3InfoRecord;
    // Everything is refilled, so a file without a tag leaves no trace of the file
    // read before it.
    const bool tagged = ok && v1.HasID3v1Tag();
    const std::string none;
    try {
        record.title = R::Slot(tagged ? v1.Title() : none, R::kShort);
        record.artist = R::Slot(tagged ? v1.Artist() : none, R::kShort);
        record.album = R::Slot(tagged ? v1.Album() : none, R::kShort);
        record.year = R::Slot(tagged ? v1.Year() : none, R::kYear);
        record.comment = R::Slot(tagged ? v1.Comment() : none, R::kShort);
        record.genre = tagged ? v1.Genre() : 255;
        record.genreName = R::Slot(tagged ? v1.GenreName(v1.Genre()) : none, R::kShort);
        record.track = tagged ? v1.Track() : 0;
        record.trackGiven = record.trackGiven2 = record.track > 0 ? 2 : 1;

        record.titleText = R::LongSlot(tagged ? v1.Title() : none, R::kLong);
        record.artistText = R::LongSlot(tagged ? v1.Artist() : none, R::kLong);
        record.albumText = R::LongSlot(tagged ? v1.Album() : none, R::kLong);
        record.yearText = R::LongSlot(tagged ? v1.Year() : none, R::kLong);
        record.commentText = R::LongSlot(tagged ? v1.Comment() : none, R::kLongComment);
        record.genreText = R::LongSlot(tagged ? v1.GenreName(v1.Genre()) : none, R::kLong);
        record.trackText = record.track > 0 ? std::to_string(record.track) : std::string();
    } catch (...) {
        return false; // out of memory only
    }
    return ok;
}

} // namespace

bool Mp3FileInfo(const std::string &path, Mp3InfoRecord &record) noexcept {
    // The stream and the ID3v1 record through one open of the file.
    tags::Mp3TagID3v1 v1;
    StreamInfo stream;
    bool ok = true;
    try {
        tags::fileops::File file(tags::Mp3TagID3v1::Source());
        file.Open(path, tags::fileops::File::Mode::Read);
        stream = ReadStreamInfo(file);
        v1.ReadFrom(file);
    } catch (...) {
        ok = false;
    }
    record.bitrate = static_cast<std::int16_t>(std::clamp(stream.bitrateKbps, 0, 32767));
    record.seconds = stream.WholeSeconds();
    return FillTagFields(v1, ok, record) && stream.readable;
}

bool Mp3TagFields(const std::string &path, Mp3InfoRecord &record) noexcept {
    tags::Mp3TagID3v1 v1;
    bool ok = true;
    try {
        v1.MP3File(path);
    } catch (...) {
        ok = false;
    }
    return FillTagFields(v1, ok, record);
}

bool WriteID3V1(const std::string &path, const Mp3InfoRecord &record, std::string *error) noexcept {
    try {
        tags::Mp3TagID3v1 v1;
        v1.MP3File(path);
        v1.Title(TrimRight(record.title));
        v1.Artist(TrimRight(record.artist));
        v1.Album(TrimRight(record.album));
        v1.Year(TrimRight(record.year));
        v1.Comment(TrimRight(record.comment));
        v1.Genre(record.genre >= 0 && record.genre <= 255 ? static_cast<std::uint8_t>(record.genre) : 255);
        const bool given = record.trackGiven == 2 && record.track > 0 && record.track <= 255;
        v1.Track(given ? static_cast<std::uint8_t>(record.track) : 0);
        v1.Update();
        return true;
    } catch (const std::exception &e) {
        if (error) *error = e.what();
    } catch (...) {
        if (error) *error = "unknown error";
    }
    return false;
}

std::string PlayingTimeText(std::int32_t t) {
    const std::int32_t h = t / 3600;
    const std::int32_t m = (t - 3600 * h) / 60;
    const std::int32_t s = t - 3600 * h - 60 * m;
    // At least two digits, the sign in front of them: -1 -> "-01".
    auto part = [](std::int32_t v) {
        std::string digits = std::to_string(v < 0 ? -static_cast<std::int64_t>(v) : v);
        if (digits.size() < 2) digits.insert(0, 1, '0');
        return v < 0 ? "-" + digits : digits;
    };
    return part(h) + ":" + part(m) + ":" + part(s);
}

std::string StreamProbeFields(const std::string &path) {
    const StreamInfo info = ReadStreamInfo(path);
    const std::int32_t secs = info.WholeSeconds();
    return "bitrate=" + std::to_string(info.bitrateKbps) + "\tseconds=" + std::to_string(secs) +
           "\ttime=" + PlayingTimeText(secs);
}

} // namespace mp3info
