#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace tags::fileops {
class File;
}

// File-level steps of the ID3v2 class: finding the tag and the region it may be written to.
namespace tags::id3v2 {

// Window length of the scan for "ID3"; consecutive windows overlap by 3 bytes.
constexpr std::int64_t kScanWindow = 4096;

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
// The old tag as MeasureTag read it: its 10 header bytes, its body and up to 10 bytes
// after it, as far as the file holds them (size bytes in all). Given whenever the
// header is well-formed, even where the room is nothing.
struct TagBytes {
    std::shared_ptr<const char[]> data;
    size_t size = 0;
};
TagRoom MeasureTag(fileops::File &f, std::int64_t tagPos, std::int64_t fileLen, TagBytes *bytes = nullptr);

} // namespace tags::id3v2
