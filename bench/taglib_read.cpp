// The peer of `tagprobe read` in bench/whole_process.sh: for each file given, TagLib
// reads the ID3v2 tag, the ID3v1 tag and the audio properties, and one line is printed.
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cstdio>
#include <string>

namespace {

std::string Fields(const TagLib::Tag *t) {
    if (!t) return "-";
    return t->title().to8Bit(true) + "\t" + t->artist().to8Bit(true) + "\t" + t->album().to8Bit(true) + "\t" +
           std::to_string(t->year()) + "\t" + t->comment().to8Bit(true) + "\t" + std::to_string(t->track()) + "\t" +
           t->genre().to8Bit(true);
}

} // namespace

int main(int argc, char **argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        TagLib::MPEG::File f(argv[i], true, TagLib::AudioProperties::Average);
        if (!f.isValid()) {
            std::printf("%s\terror\n", argv[i]);
            status = 1;
            continue;
        }
        const auto *p = f.audioProperties();
        std::printf("%s\t%s\t%s\t%d\t%d\n", argv[i], Fields(f.ID3v2Tag()).c_str(), Fields(f.ID3v1Tag()).c_str(),
                    p ? p->bitrate() : 0, p ? p->lengthInSeconds() : 0);
    }
    return status;
}
