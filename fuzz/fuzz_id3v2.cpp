// Reads an ID3v2 tag from arbitrary bytes, walks the store, writes a changed title
// back and checks that the title reads back and that the audio after the tag survived.
// The write never finds the file changed: nothing else touches it.
#include "FuzzFile.h"
#include "MpegFrame.h"
#include "TagError.h"
#include "id3v2/Mp3TagID3v2.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

// The first MPEG frame at or after `from` whose next header (of the same stream) sits
// where it ends, or that ends the input: from there on the bytes are audio and trailers.
size_t AudioStart(std::string_view in, size_t from) {
    const auto *b = reinterpret_cast<const unsigned char *>(in.data());
    for (size_t i = from; i + 4 <= in.size(); ++i) {
        const auto h = mp3info::ParseFrameHeader(b + i);
        if (!h) continue;
        const size_t next = i + static_cast<size_t>(h->frameLength());
        if (next == in.size()) return i;
        if (next + 4 > in.size()) continue;
        const auto n = mp3info::ParseFrameHeader(b + next);
        if (n && mp3info::SameStream(*h, *n)) return i;
    }
    return std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzFile file;
    const std::string &path = file.Write(data, size);
    const std::string_view before(reinterpret_cast<const char *>(data), size);
    tags::Mp3TagID3v2 tag;
    try {
        tag.MP3File(path);
    } catch (const tags::TagError &) {
        return 0;
    }
    (void)tag.GenreName(tag.Genre());
    for (int i = 1; i <= tag.FrameCount(); ++i) {
        const std::string id = tag.Frame(i);
        (void)tag.TagsInFrame(id);
        (void)tag.TagsInFrame(i);
    }
    // Audio after the end the tag found declares (its frames may hold bytes that look
    // like audio), or anywhere in a file without one.
    size_t from = 0;
    if (tag.HasID3v2Tag()) {
        const size_t at = static_cast<size_t>(tag.TagStart()) - 4;
        const std::int64_t size = at < before.size() ? mp3info::ID3v2TagSize(data + at, before.size() - at) : 0;
        from = std::min(before.size(), at + (size > 0 ? static_cast<size_t>(size) : 10));
    }
    const size_t audio = AudioStart(before, from);
    const std::string title = tag.Title() + "\xC3\xA4" "x"; // keeps the old text, adds "äx"
    try {
        tag.Title(title);
        tag.Comment("c");
        tag.Update();
    } catch (const tags::TagError &e) {
        // Nothing changed the file since it was read.
        if (e.number() == tags::Mp3TagID3v2::kErrChanged) std::abort();
        return 0;
    }
    if (audio != std::string_view::npos) {
        std::ifstream in(path, std::ios::binary);
        const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string_view tail = before.substr(audio);
        if (after.size() < tail.size() || std::string_view(after).substr(after.size() - tail.size()) != tail) std::abort();
    }
    tags::Mp3TagID3v2 again;
    again.MP3File(path);
    if (again.Title() != title) std::abort();
    if (again.Comment() != "c") std::abort();
    return 0;
}
