#include "TagFile.h"

#include "FileOps.h"
#include "SynchData.h"

#include <string_view>

namespace tags::id3v2 {

using fileops::File;

std::int64_t FindTagStart(File &f, std::int64_t fileLen) {
    char buf[kScanWindow];
    std::int64_t p = 1;
    for (;;) {
        std::int64_t len = kScanWindow;
        bool last = false;
        if (p + kScanWindow >= fileLen) {
            len = fileLen - p;
            last = true;
        }
        if (len > 0) {
            f.Seek(p - 1);
            const size_t got = f.ReadFull(buf, static_cast<size_t>(len));
            const std::string_view w(buf, got);
            const size_t i = w.find("ID3");
            if (i != std::string_view::npos) return p + static_cast<std::int64_t>(i) + 3;
            if (w.find("\xFF\xFB") != std::string_view::npos) return 0;
            if (got < static_cast<size_t>(len)) return 0;
        }
        if (last) return 0;
        p += kScanWindow - 3;
    }
}

bool TagRegionTrusted(File &f, std::int64_t tagPos, std::uint32_t tagSize, std::int64_t fileLen, std::int64_t need) {
    const std::int64_t end = tagPos + 10 + tagSize;
    if (end >= fileLen) return end == fileLen;
    unsigned char n[4] = {};
    f.Seek(end);
    const size_t got = f.ReadFull(n, sizeof n);
    const std::string_view next(reinterpret_cast<const char *>(n), got);
    if (n[0] == 0 || (got >= 2 && n[0] == 0xFF && (n[1] & 0xE0) == 0xE0) || next.substr(0, 3) == "ID3" ||
        next.substr(0, 3) == "TAG" || next == "APET" || next == "LYRI")
        return true;

    // Walk the frame headers of the old tag, then its zero padding.
    unsigned char h[10];
    f.Seek(tagPos);
    if (f.ReadFull(h, sizeof h) != sizeof h || (h[5] & 0xC0) != 0) return false; // unsynchronised or extended
    const int version = h[3];
    std::string body(tagSize, '\0');
    f.Seek(tagPos + 10);
    if (f.ReadFull(body.data(), body.size()) != body.size()) return false;
    const auto *b = reinterpret_cast<const unsigned char *>(body.data());
    const size_t hdr = version == 2 ? 6 : 10, idLen = version == 2 ? 3 : 4;
    size_t pos = 0;
    while (pos + hdr <= body.size()) {
        bool ok = true, zero = true;
        for (size_t i = 0; i < idLen; ++i) {
            ok = ok && ((b[pos + i] >= 'A' && b[pos + i] <= 'Z') || (b[pos + i] >= '0' && b[pos + i] <= '9'));
            zero = zero && b[pos + i] == 0;
        }
        if (!ok || zero) break;
        std::uint32_t size = version == 2 ? DecodeBE24(b + pos + 3) : DecodeBE32(b + pos + 4);
        if (version == 4 && !DecodeSynchsafe(b + pos + 4, size)) size = DecodeBE32(b + pos + 4);
        if (size > body.size() - pos - hdr) break;
        pos += hdr + size;
    }
    while (pos < body.size() && b[pos] == 0) ++pos;
    return static_cast<std::int64_t>(pos) + 10 >= need;
}

} // namespace tags::id3v2
