#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace tags {

namespace fileops {
class File;
struct Splice;
} // namespace fileops

// The 128-byte ID3v1 record at the end of an MP3 file. Setting MP3File reads the
// record at once; Update writes it back: fields still holding the value that was read
// keep their bytes. Reading and writing always use the 1.1 layout (28-byte comment,
// zero byte, track byte), also for a 1.0 record's 30-byte comment. Text is UTF-8 here and
// Windows-1252 on disk. Errors are TagError with source "<exe>.cMP3ID3v1".
class Mp3TagID3v1 {
public:
    const std::string &MP3File() const { return path_; }
    void MP3File(const std::string &path);
    // Reads the record of the file open for reading as f, as MP3File(f.Path()) would.
    void ReadFrom(fileops::File &f);

    void Update();
    // The change Update makes to the file open as f; none for files of 1 to 128 bytes.
    std::optional<fileops::Splice> PlanUpdate(fileops::File &f) const;

    bool HasID3v1Tag() const { return hasTag_; }

    const std::string &Title() const { return title_; }
    void Title(const std::string &v) { title_ = v; }
    const std::string &Artist() const { return artist_; }
    void Artist(const std::string &v) { artist_ = v; }
    const std::string &Album() const { return album_; }
    void Album(const std::string &v) { album_ = v; }
    const std::string &Year() const { return year_; }
    void Year(const std::string &v) { year_ = v; }
    const std::string &Comment() const { return comment_; }
    void Comment(const std::string &v) { comment_ = v; }
    std::uint8_t Track() const { return track_; }
    void Track(std::uint8_t v) { track_ = v; }
    std::uint8_t Genre() const { return genre_; }
    void Genre(std::uint8_t v) { genre_ = v; }

    std::string GenreName(std::uint8_t genre) const;

    static std::string Source();

    // Record layout helpers, shared with the stream-information writer.
    static std::string CleanField(const char *bytes, size_t n);
    static std::string FitField(const std::string &utf8, size_t width);

private:
    struct Fields {
        std::string title, artist, album, year, comment;
        std::uint8_t track = 0;
    };

    void Reset(const std::string &path);
    void ReadRecord(fileops::File &f);

    std::string path_;
    bool hasTag_ = false;
    std::string title_, artist_, album_, year_, comment_;
    std::uint8_t track_ = 0;
    std::uint8_t genre_ = 0;
    Fields read_; // as the last read found them
};

} // namespace tags
