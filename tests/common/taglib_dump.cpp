// Prints what TagLib sees in a file's ID3v2 tag: the title, then one line per frame in
// tag order: identifier, its text as TagLib renders it, and a hash of binary content.
#include <taglib/attachedpictureframe.h>
#include <taglib/generalencapsulatedobjectframe.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/privateframe.h>
#include <taglib/unknownframe.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

std::string Hash(const TagLib::ByteVector &v) {
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (char c : v) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

std::string Escape(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The frame header is TagLib's protected member.
struct HeaderOf : TagLib::ID3v2::Frame {
    static bool Encrypted(TagLib::ID3v2::Frame *f) { return (f->*(&HeaderOf::header))()->encryption(); }
};

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    TagLib::MPEG::File file(argv[1], false);
    if (!file.isOpen()) return 1;
    TagLib::ID3v2::Tag *tag = file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr;
    std::printf("title\t%s\n", tag ? Escape(tag->title().to8Bit(true)).c_str() : "");
    if (!tag) return 0;
    for (TagLib::ID3v2::Frame *f : tag->frameList()) {
        std::string line = std::string(f->frameID().data(), f->frameID().size()) + "\t" + Escape(f->toString().to8Bit(true));
        // TagLib looks for the data length before the encryption method; mutagen checks these bytes.
        auto *u = dynamic_cast<TagLib::ID3v2::UnknownFrame *>(f);
        if (u && !HeaderOf::Encrypted(f)) line += "\t" + Hash(u->data());
        if (auto *p = dynamic_cast<TagLib::ID3v2::PrivateFrame *>(f)) line += "\t" + Hash(p->data());
        if (auto *a = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(f)) line += "\t" + Hash(a->picture());
        if (auto *g = dynamic_cast<TagLib::ID3v2::GeneralEncapsulatedObjectFrame *>(f)) line += "\t" + Hash(g->object());
        std::printf("%s\n", line.c_str());
    }
    return 0;
}
