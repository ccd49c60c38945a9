#pragma once
#include <cstdint>
#include <string>

namespace tags::fileops {
class File;
}

// File-level steps of the ID3v2 class: finding the tag and rebuilding a file with room.
namespace tags::id3v2 {

// Window length of the scan for "ID3"; consecutive windows overlap by 3 bytes.
constexpr std::int64_t kScanWindow = 4096;
// Piece size of the streamed copy on the growth path: large enough for full disk
// speed, small enough that memory stays bounded whatever the file size.
constexpr size_t kCopyChunk = 64 * 1024;

// The front of a file as the scan finds it: the tag (1-based position just after its
// letters "ID3", or 0) and the offset of the first audio frame (-1 when none was met
// before the tag or the end). Audio starts at a valid MPEG frame header of any version,
// layer and protection whose next header sits where the frame ends (or the file ends
// there); "ID3" counts as the tag only before that point.
struct FrontScan {
    std::int64_t tagStart = 0;
    std::int64_t audioStart = -1;
};
FrontScan ScanFront(fileops::File &f, std::int64_t fileLen, std::int64_t from = 0);

inline std::int64_t FindTagStart(fileops::File &f, std::int64_t fileLen) { return ScanFront(f, fileLen).tagStart; }

// The room of an old tag, in bytes from its letters "ID3": `proven` bytes are provably
// its header, extended header, frames and the zero padding after them (a new tag may
// be written over them); `end` reaches to its declared end and 2.4 footer, or to the
// audio where the declared size runs into it. A declared end exactly where the audio
// starts proves the whole tag. Both 0 when the header itself is not well-formed.
struct TagRoom {
    std::int64_t proven = 0;
    std::int64_t end = 0;
};
TagRoom MeasureTag(fileops::File &f, std::int64_t tagPos, std::int64_t fileLen);

// Replaces the file at path, open as src, with: head, zero bytes up to a length of
// room, then src's content from byte max(0, head.size() - room) to its end; i.e.
// room zero bytes inserted in front of the old content with head written over them.
// The new content goes to a temporary file in the same folder, is flushed to disk and
// renamed over the original, keeping its permission bits. On failure the temporary
// file is removed, the original is left as it was, and the error is raised.
void RewriteWithRoom(fileops::File &src, const std::string &path, const std::string &head, std::int64_t room,
                     const std::string &source);

} // namespace tags::id3v2
