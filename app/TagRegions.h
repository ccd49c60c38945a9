#pragma once
// A file's two tag regions, split from its audio, so that the file as it was
// before a tag write can be rebuilt from the file as it is afterwards and a
// few kilobytes kept aside: the audio between the regions never changes.

#include <QByteArray>

#include <optional>

namespace album {

struct TagRegions {
    QByteArray head;        // everything before the audio: ID3v2 tags, their padding
    QByteArray tail;        // the ID3v1 record, or nothing
    QByteArray middleHash;  // SHA-256 of what lies between
};

// Where the regions of these bytes are.
TagRegions SplitRegions(const QByteArray &file);

// The bytes `old` was split from, rebuilt around the audio of `current`; nothing
// when the audio of `current` is not the one `old` had.
std::optional<QByteArray> Rebuild(const TagRegions &old, const QByteArray &current);

QByteArray Sha256(const QByteArray &bytes);

} // namespace album
