// Reads an ID3v2 tag from arbitrary bytes, walks the store, writes a changed title
// back and checks that the title reads back.
#include "FuzzFile.h"
#include "TagError.h"
#include "id3v2/Mp3TagID3v2.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzFile file;
    const std::string &path = file.Write(data, size);
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
    const std::string title = tag.Title() + "\xC3\xA4" "x"; // keeps the old text, adds "äx"
    try {
        tag.Title(title);
        tag.Comment("c");
        tag.Update();
    } catch (const tags::TagError &) {
        return 0;
    }
    tags::Mp3TagID3v2 again;
    again.MP3File(path);
    if (again.Title() != title) std::abort();
    if (again.Comment() != "c") std::abort();
    return 0;
}
