// The peer of `tagprobe write --title` for whole-process timing: TagLib sets the title
// of each file (ID3v2, and ID3v1 where the file has one) and saves it.
//   taglib_write --title TITLE FILE...
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc < 4 || std::strcmp(argv[1], "--title") != 0) {
        std::fprintf(stderr, "usage: taglib_write --title TITLE FILE...\n");
        return 2;
    }
    const TagLib::String title(argv[2], TagLib::String::UTF8);
    int status = 0;
    for (int i = 3; i < argc; ++i) {
        TagLib::MPEG::File f(argv[i], false);
        if (!f.isValid()) {
            std::fprintf(stderr, "%s: not readable\n", argv[i]);
            status = 1;
            continue;
        }
        f.tag()->setTitle(title);
        if (!f.save()) {
            std::fprintf(stderr, "%s: not saved\n", argv[i]);
            status = 1;
        }
    }
    return status;
}
