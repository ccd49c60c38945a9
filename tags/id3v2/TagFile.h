#pragma once
#include <cstdint>
#include <string>

namespace tags::fileops {
class File;
}

// File-level steps of the ID3v2 class: finding the tag and the region it may be written to.
namespace tags::id3v2 {

// Window length of the scan for "ID3"; consecutive windows overlap by 3 bytes.
constexpr std::int64_t kScanWindow = 4096;

// 1-based position just after the letters "ID3" found before the first FF FB frame
// sync, or 0. The file's very last byte is never examined.
std::int64_t FindTagStart(fileops::File &f, std::int64_t fileLen);

// Whether the first `need` bytes from the letters "ID3" of a tag with a well-formed
// header belong to that tag: true when its declared end is followed by an MPEG frame
// sync, a zero byte, another tag or the end of the file, or else when the tag's frames
// and the zero padding after them reach that far.
bool TagRegionTrusted(fileops::File &f, std::int64_t tagPos, std::uint32_t tagSize, std::int64_t fileLen,
                      std::int64_t need);

} // namespace tags::id3v2
