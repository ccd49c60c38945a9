#include "SynchData.h"

#include <algorithm>
#include <zlib.h>

namespace tags::id3v2 {

bool DecodeSynchsafe(const unsigned char *b, std::uint32_t &value) {
    if ((b[0] | b[1] | b[2] | b[3]) & 0x80) return false;
    value = (std::uint32_t(b[0]) << 21) | (std::uint32_t(b[1]) << 14) | (std::uint32_t(b[2]) << 7) | b[3];
    return true;
}

void EncodeSynchsafe(std::uint32_t value, char *out) {
    out[0] = static_cast<char>((value >> 21) & 0x7F);
    out[1] = static_cast<char>((value >> 14) & 0x7F);
    out[2] = static_cast<char>((value >> 7) & 0x7F);
    out[3] = static_cast<char>(value & 0x7F);
}

std::uint32_t DecodeBE32(const unsigned char *b) {
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

void EncodeBE32(std::uint32_t value, char *out) {
    out[0] = static_cast<char>(value >> 24);
    out[1] = static_cast<char>(value >> 16);
    out[2] = static_cast<char>(value >> 8);
    out[3] = static_cast<char>(value);
}

std::uint32_t DecodeBE24(const unsigned char *b) {
    return (std::uint32_t(b[0]) << 16) | (std::uint32_t(b[1]) << 8) | b[2];
}

std::string Resynchronise(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        out += data[i];
        if (static_cast<unsigned char>(data[i]) == 0xFF && i + 1 < data.size() && data[i + 1] == '\0') ++i;
    }
    return out;
}

std::optional<std::string> Inflate(std::string_view data, size_t expected) {
    if (expected > kMaxInflated) return std::nullopt;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    // zlib yields at most about 1032 bytes per input byte; a larger declared size is a lie.
    const size_t most = std::min<size_t>(data.size() * 1032 + 64, kMaxInflated);
    std::string out(std::min(expected ? expected : data.size() * 4 + 64, most), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.total_out == out.size()) {
            if (out.size() >= most) break;
            out.resize(std::min(out.size() * 2, most));
        }
        z.next_out = reinterpret_cast<Bytef *>(out.data() + z.total_out);
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        rc = inflate(&z, Z_NO_FLUSH);
    }
    const size_t n = z.total_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END) return std::nullopt;
    out.resize(n);
    return out;
}

std::optional<ExtrasV24> TakeExtrasV24(std::uint16_t flags, std::string_view &d) {
    ExtrasV24 e;
    for (const std::uint16_t one : {std::uint16_t(0x0040), std::uint16_t(0x0004)}) {
        if (!(flags & one)) continue;
        if (d.empty()) return std::nullopt;
        (one == 0x0040 ? e.group : e.method) = std::string(d.substr(0, 1));
        d.remove_prefix(1);
    }
    if (flags & 0x0001) {
        if (d.size() < 4) return std::nullopt;
        const auto *l = reinterpret_cast<const unsigned char *>(d.data());
        if (!DecodeSynchsafe(l, e.dataLen)) e.dataLen = DecodeBE32(l);
        d.remove_prefix(4);
    }
    return e;
}

} // namespace tags::id3v2
