#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace mp3info {

// The MP3 information record shared by the information reader and the ID3v1
// writer. Text is UTF-8; the short slots hold their fixed width of
// Windows-1252 characters, space-padded, as the fixed-width record does.
struct Mp3InfoRecord {
    static constexpr std::size_t kShort = 30;
    static constexpr std::size_t kYear = 4;
    static constexpr std::size_t kLong = 255;
    static constexpr std::size_t kLongComment = 2000;

    // Offsets of the fixed 5048-byte layout the fields stand for, in brackets.
    std::int16_t bitrate = 0;  // [8] kbit/s; the average for VBR
    std::int32_t seconds = 0;  // [32] playing time
    // [58], [60]: both 2 when a track number is given, else 1.
    std::int16_t trackGiven = 0;
    std::int16_t trackGiven2 = 0;

    // Short slots.
    std::string title, artist, album; // [84], [114], [144]: 30 each
    std::string year;                 // [174]: 4
    std::string comment;              // [178]: 30
    std::string genreName;            // [208]: 30
    std::int16_t genre = 0;           // [238]
    std::int16_t track = 0;           // [240]

    // Long slots: [242] track, [497] year, [752] title, [1007] artist, [1262] album,
    // [1517] genre text (255 each), [3047] comment (2000).
    std::string trackText, yearText, titleText, artistText, albumText, genreText;
    std::string commentText;

    // Left-aligned, cut to `width` Windows-1252 characters and space-padded.
    static std::string Slot(const std::string &utf8, std::size_t width);
    // A long slot: cut to `width` characters, no padding.
    static std::string LongSlot(const std::string &utf8, std::size_t width);
};

// Fills the stream fields and the tag fields of the record from the file. Every
// field it fills is refilled, so nothing of an earlier file stays behind. Never
// throws: returns false (bitrate 0, time 0, empty texts) when the file cannot be read.
bool Mp3FileInfo(const std::string &path, Mp3InfoRecord &record) noexcept;
// Refills the tag fields only; bitrate and time stay as they were, as the stream
// is not read. False (empty texts) when the file cannot be read.
bool Mp3TagFields(const std::string &path, Mp3InfoRecord &record) noexcept;

// Writes the record's short slots, genre number and track number into the
// file's ID3v1 tag. Returns false, with the reason in *error, when it cannot.
bool WriteID3V1(const std::string &path, const Mp3InfoRecord &record, std::string *error = nullptr) noexcept;

// Playing time as h:m:s, each part at least two digits ("00:03:07", "-01" stays).
std::string PlayingTimeText(std::int32_t seconds);

// "bitrate=<kbit/s>\tseconds=<s>\ttime=<hh:mm:ss>" for a command-line read line.
std::string StreamProbeFields(const std::string &path);

} // namespace mp3info
