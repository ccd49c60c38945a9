// Parses MPEG frame headers and information frames from arbitrary bytes, reads
// the stream information of the same bytes as a file, and writes an ID3v1 record.
#include "FuzzFile.h"
#include "Mp3Info.h"
#include "MpegFrame.h"
#include "StreamInfo.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzFile file;
    for (size_t i = 0; i + 4 <= size && i < 64; ++i) {
        if (auto h = mp3info::ParseFrameHeader(data + i)) {
            (void)mp3info::ParseVbrHeader(data + i, size - i, *h);
        }
    }
    (void)mp3info::ID3v2TagSize(data, size);

    const std::string &path = file.Write(data, size);
    const mp3info::StreamInfo info = mp3info::ReadStreamInfo(path);
    if (info.method == mp3info::StreamInfo::Method::FrameWalk) {
        // Counting pieces of the walk side by side must give what one walk gives.
        const int pieces = mp3info::detail::walkPieces;
        mp3info::detail::walkPieces = 1;
        const mp3info::StreamInfo one = mp3info::ReadStreamInfo(path);
        mp3info::detail::walkPieces = pieces;
        if (one.frames != info.frames || one.bitrateKbps != info.bitrateKbps || one.seconds != info.seconds) std::abort();
    }
    mp3info::Mp3InfoRecord rec;
    if (mp3info::Mp3FileInfo(path, rec)) {
        if (rec.seconds < 0 || rec.bitrate < 0) std::abort();
        rec.title = "Titel";
        (void)mp3info::WriteID3V1(path, rec);
    }
    (void)mp3info::StreamProbeFields(path);
    return 0;
}
