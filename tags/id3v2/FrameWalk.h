#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// The frame layout of a tag body, shared by the reader and the writer's check of what
// it may overwrite.
namespace tags::id3v2 {

struct FrameSpan {
    size_t pos = 0;  // first byte of the frame header
    size_t size = 0; // body bytes after the header
};

struct FrameWalk {
    std::vector<FrameSpan> frames;
    size_t end = 0; // where the frames stop: padding, the end, or bytes that are no frame
    // A frame at `end` whose size runs past the body: `size` is what the body holds of it.
    std::optional<FrameSpan> cut;
    std::uint64_t cutEnd = 0; // where that frame says it ends
};

size_t FrameHeaderLength(int version);

// Walks the frames of a tag body of a version (2..4) from `from` on (after any
// extended header). A frame whose identifier holds bytes outside A-Z/0-9 still counts
// when its size fits and the end, padding or another frame follows it. 2.4 sizes
// written as plain numbers are recognised by whether the frames chain up to the end.
// A body read in pieces passes `load`, called before bytes [pos, pos + n) are looked at.
using LoadBytes = std::function<void(size_t pos, size_t n)>;
FrameWalk WalkFrames(std::string_view body, int version, size_t from = 0, const LoadBytes &load = {});

// Where the frames of a body start: after the extended header that flag 0x40 of 2.3
// and 2.4 announces, or npos when that does not fit. Some encoders set the flag and
// write none: a frame identifier right at the start means the frames start there.
size_t FramesStart(std::string_view body, int version, int tagFlags);

bool ValidFrameIdChar(unsigned char c);
// Whether every character of an identifier is one that frame identifiers use.
bool PlainFrameId(std::string_view id);

} // namespace tags::id3v2
