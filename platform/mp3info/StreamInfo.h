#pragma once
#include "MpegFrame.h"

#include <cstdint>
#include <string>

namespace tags::fileops {
class File;
}

namespace mp3info {

struct StreamInfo {
    // How the playing time was found.
    enum class Method { None, XingCount, VbriCount, ConstantBitrate, FrameWalk };

    bool readable = false;   // the file could be opened and read
    bool hasAudio = false;   // a valid frame chain was found
    Method method = Method::None;
    FrameHeader first;       // the first audio frame (the information frame if there is one)
    bool vbr = false;
    std::int64_t frames = 0;       // audio frames (a count from Xing/VBRI, a walk, or the estimate)
    double seconds = 0;            // exact playing time
    int bitrateKbps = 0;           // the frames' bitrate for CBR, the average for VBR
    std::int64_t audioStart = 0;   // offset of the first frame
    std::int64_t audioEnd = 0;     // end of the audio, before ID3v1/APE/Lyrics3 trailers
    std::string error;             // why the file could not be read

    // Whole seconds, rounded to the nearest.
    std::int32_t WholeSeconds() const;
};

// Reads the stream information of an MPEG audio file with bounded buffered
// reads. Never throws: an unreadable file has readable == false, a file
// without valid frames has hasAudio == false, both with bitrate 0 and time 0.
StreamInfo ReadStreamInfo(const std::string &path) noexcept;
// The same for a file already open for reading (with its tags, through one open).
StreamInfo ReadStreamInfo(tags::fileops::File &file) noexcept;

namespace detail {
// How many pieces of a long frame walk are counted side by side; 1 walks one frame after
// the other. The result must not depend on it: the fuzz target compares the two.
extern int walkPieces;
} // namespace detail

} // namespace mp3info
