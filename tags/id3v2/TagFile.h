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

// 1-based position just after the letters "ID3" found before the first FF FB frame
// sync, or 0. The file's very last byte is never examined.
std::int64_t FindTagStart(fileops::File &f, std::int64_t fileLen);

// Whether the first `need` bytes from the letters "ID3" of a tag with a well-formed
// header belong to that tag: true when its declared end is followed by an MPEG frame
// sync, a zero byte, another tag or the end of the file, or else when the tag's frames
// and the zero padding after them reach that far.
bool TagRegionTrusted(fileops::File &f, std::int64_t tagPos, std::uint32_t tagSize, std::int64_t fileLen,
                      std::int64_t need);

// Replaces the file at path, open as src, with: head, zero bytes up to a length of
// room, then src's content from byte max(0, head.size() - room) to its end; i.e.
// room zero bytes inserted in front of the old content with head written over them.
// The new content goes to a temporary file in the same folder, is flushed to disk and
// renamed over the original, keeping its permission bits. On failure the temporary
// file is removed, the original is left as it was, and the error is raised.
void RewriteWithRoom(fileops::File &src, const std::string &path, const std::string &head, std::int64_t room,
                     const std::string &source);

} // namespace tags::id3v2
