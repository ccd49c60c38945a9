#pragma once
// A file's two tag regions, split from its audio, so that the file as it was
// before a tag write can be rebuilt from the file as it is afterwards and a
// few kilobytes kept aside: the audio between the regions never changes.

#include <QByteArray>

#include <functional>
#include <optional>

namespace album {

struct TagRegions {
    QByteArray head;        // everything before the audio: ID3v2 tags, their padding
    QByteArray tail;        // the ID3v1 record, or nothing
    QByteArray middleHash;  // AudioDigest of what lies between
};

// The hash that identifies contents. XXH3-128 keeps up with the disk; the records of
// earlier builds hold BLAKE2b-256 digests, and whatever is checked against one of
// them is hashed the same way. The two are told apart by their length.
enum class HashKind { Xxh3, Blake2b };
HashKind KindOf(const QByteArray &digest);

// Reads n bytes at pos (fewer at the end).
using ReadFn = std::function<QByteArray(qint64 pos, qint64 n)>;
// The audio's digest: of all of it up to 128 KiB, beyond that of its length, its
// first and last 32 KiB and 8 blocks of 8 KiB spread between (BLAKE2b: 1 MiB, 256
// KiB, 32 of 4 KiB), so that telling a file from another never reads the whole album. The tag
// writer never touches the audio; what changes it changes its length or its time as
// well, or (a gain tool) every frame.
QByteArray AudioDigest(qint64 from, qint64 length, const ReadFn &read, HashKind kind = HashKind::Xxh3);
// The regions of a file of `size` bytes read through `read`; nothing when it
// could not be read.
std::optional<TagRegions> ReadRegions(qint64 size, const ReadFn &read, HashKind kind = HashKind::Xxh3);
// The same without reading the audio, which is known to be the one of `known`: a tag
// write replaces the regions and leaves the audio alone. Nothing when the file's size
// says otherwise, or it could not be read.
std::optional<TagRegions> ReadRegionsAround(qint64 size, const ReadFn &read, qint64 audioLength,
                                            const QByteArray &audioDigest);

// Where the regions of these bytes are.
TagRegions SplitRegions(const QByteArray &file, HashKind kind = HashKind::Xxh3);

// The bytes `old` was split from, rebuilt around the audio of `current`; nothing
// when the audio of `current` is not the one `old` had (by the kind of old's digest).
std::optional<QByteArray> Rebuild(const TagRegions &old, const QByteArray &current);

QByteArray Digest(const QByteArray &bytes, HashKind kind = HashKind::Xxh3);

// The hash of a file's whole content, made of its regions: the digest of head,
// audio digest and tail. After a tag write, which leaves the audio alone, it
// follows from the new regions and the old audio digest without reading the audio.
// Of the kind of the audio digest.
QByteArray ContentDigest(const TagRegions &r);
// Whether these bytes are the content `hash` was made of, hashed the way it was.
bool IsContent(const QByteArray &bytes, const QByteArray &hash);

// How many bytes at the start of these bytes belong to the head; the whole size
// when the head may go on beyond them, and then in `wanted` how many to read.
qsizetype HeadLength(const QByteArray &start, qint64 *wanted = nullptr);
// Whether the last 128 bytes of a file of `size` bytes with a head of `head` are its tail.
bool HasTail(const QByteArray &last128, qsizetype head, qint64 size);

} // namespace album
