// Reads an ID3v1 record from arbitrary bytes and writes it back.
#include "FuzzFile.h"
#include "TagError.h"
#include "id3v1/Mp3TagID3v1.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzFile file;
    const std::string &path = file.Write(data, size);
    try {
        tags::Mp3TagID3v1 tag;
        tag.MP3File(path);
        (void)tag.GenreName(tag.Genre());
        tag.Title(tag.Title() + "x");
        tag.Update();
        tags::Mp3TagID3v1 again;
        again.MP3File(path);
        if (size > 128 && !again.HasID3v1Tag()) std::abort(); // a record must be there now
    } catch (const tags::TagError &) {
    }
    return 0;
}
