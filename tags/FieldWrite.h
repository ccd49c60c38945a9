#pragma once
#include <optional>
#include <string>

namespace tags {

class Mp3TagID3v1;
class Mp3TagID3v2;

// The fields one write changes; an empty optional leaves the file's value.
struct FieldValues {
    std::optional<std::string> artist, title, album, year, comment, track;
};

// Binds both tag objects to the file and writes the given fields into ID3v1 (artist,
// title, album, year, comment) and ID3v2 (the same and the track), both or neither:
// a failure leaves the file as it was. Throws the tag classes' error.
void WriteFields(const std::string &path, const FieldValues &values, Mp3TagID3v1 &v1, Mp3TagID3v2 &v2);

} // namespace tags
