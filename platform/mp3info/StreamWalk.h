#pragma once
// Finding frames in the stream and the walk over every frame header. Inside the library only.
#include "StreamBytes.h"
#include "StreamInfo.h"

#include <cstdint>
#include <optional>

namespace mp3info::detail {

// A valid header at pos whose successor starts where the frame ends (or the
// frame ends exactly at the end of the audio). `like` narrows to one stream.
std::optional<FrameHeader> ChainedHeader(ByteSource &src, std::int64_t pos, std::int64_t end, const FrameHeader *like);

struct Found {
    std::int64_t pos = -1;
    FrameHeader h;
};
// The first chained header in [from, min(end, limit)); pos -1 when there is none.
Found FindFrame(ByteSource &src, std::int64_t from, std::int64_t end, std::int64_t limit, const FrameHeader *like);

// Counts every frame of the stream `like` from `from` to `end`, resyncing over damaged
// stretches, into info's frames, seconds and bitrate.
void WalkFrames(ByteSource &src, std::int64_t from, std::int64_t end, const FrameHeader &like, StreamInfo &info);

} // namespace mp3info::detail
