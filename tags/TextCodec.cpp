#include "TextCodec.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tags::codec {
namespace {

// Code points of 0x80..0x9F in Windows-1252; 0 where the byte is undefined.
constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Writes c as UTF-8 at o; returns the end. Callers size their buffer for the worst case
// and cut it once, instead of growing a string by the byte.
char *PutUtf8(char *o, char32_t c) {
    if (c < 0x80) {
        *o++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *o++ = static_cast<char>(0xC0 | (c >> 6));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *o++ = static_cast<char>(0xE0 | (c >> 12));
        *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *o++ = static_cast<char>(0xF0 | (c >> 18));
        *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return o;
}

// Runs fill(first) over a buffer of `most` bytes and keeps what it wrote.
template <class Fill> std::string Written(size_t most, Fill fill) {
    std::string out(most, '\0');
    out.resize(static_cast<size_t>(fill(out.data()) - out.data()));
    return out;
}

// Decodes one code point; advances i. Returns U+FFFD for an invalid sequence.
char32_t NextUtf8(std::string_view s, size_t &i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) { ++i; return b0; }
    int len = 0;
    char32_t c = 0;
    if ((b0 & 0xE0) == 0xC0) { len = 2; c = b0 & 0x1F; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; c = b0 & 0x0F; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; c = b0 & 0x07; }
    else { ++i; return 0xFFFD; }
    if (i + len > s.size()) { ++i; return 0xFFFD; }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) { ++i; return 0xFFFD; }
        c = (c << 6) | (b & 0x3F);
    }
    const bool overlong = (len == 2 && c < 0x80) || (len == 3 && c < 0x800) || (len == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) { ++i; return 0xFFFD; }
    i += len;
    return c;
}

// ASCII reads the same in UTF-8 and Windows-1252: the common case passes unconverted.
bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

int Cp1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] == c && c != 0) return 0x80 + k;
    // Undefined bytes round-trip through their C1 code points.
    if (c >= 0x80 && c <= 0x9F && kHigh[c - 0x80] == 0) return static_cast<int>(c);
    return -1;
}

} // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
    if (IsAscii(bytes)) return std::string(bytes);
    return Written(bytes.size() * 3, [&](char *o) {
        for (char ch : bytes) {
            const auto b = static_cast<unsigned char>(ch);
            o = PutUtf8(o, b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0 ? kHigh[b - 0x80] : b);
        }
        return o;
    });
}

std::string Utf8ToCp1252(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const int b = Cp1252Byte(NextUtf8(utf8, i));
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

bool FitsCp1252(std::string_view utf8) {
    if (IsAscii(utf8)) return true;
    for (size_t i = 0; i < utf8.size();) {
        const size_t at = i;
        const char32_t c = NextUtf8(utf8, i);
        if (c == 0xFFFD && !(utf8.substr(at, 3) == "\xEF\xBF\xBD")) return false;
        if (Cp1252Byte(c) < 0) return false;
    }
    return true;
}

bool FitsSingleByte(std::string_view utf8) { return AnsiIsCp1252() ? FitsCp1252(utf8) : IsAscii(utf8); }

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    size_t i = 0;
    if (bytes.size() >= 2) {
        const auto b0 = static_cast<unsigned char>(bytes[0]);
        const auto b1 = static_cast<unsigned char>(bytes[1]);
        if (b0 == 0xFF && b1 == 0xFE) { bigEndian = false; i = 2; }
        else if (b0 == 0xFE && b1 == 0xFF) { bigEndian = true; i = 2; }
    }
    auto unit = [&](size_t at) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[at]);
        const auto b = static_cast<unsigned char>(bytes[at + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    // A unit gives at most three bytes, a surrogate pair four.
    return Written(bytes.size() / 2 * 3, [&](char *o) {
        for (; i + 1 < bytes.size(); i += 2) {
            char32_t c = unit(i);
            if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
                const char32_t lo = unit(i + 2);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                } else {
                    c = 0xFFFD;
                }
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = 0xFFFD;
            }
            o = PutUtf8(o, c);
        }
        return o;
    });
}

std::string Utf8ToUtf16Bom(std::string_view utf8) {
    // Every UTF-8 byte gives at most one unit: a four-byte sequence two.
    return Written(2 + utf8.size() * 2, [&](char *o) {
        auto put = [&o](char32_t u) {
            *o++ = static_cast<char>(u & 0xFF);
            *o++ = static_cast<char>((u >> 8) & 0xFF);
        };
        put(0xFEFF);
        for (size_t i = 0; i < utf8.size();) {
            const char32_t c = NextUtf8(utf8, i);
            if (c >= 0x10000) {
                const char32_t v = c - 0x10000;
                put(0xD800 + (v >> 10));
                put(0xDC00 + (v & 0x3FF));
            } else {
                put(c);
            }
        }
        return o;
    });
}

bool LooksLikeUtf8(std::string_view bytes) {
    bool multi = false;
    for (size_t i = 0; i < bytes.size();) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        const size_t len = (b0 & 0xE0) == 0xC0 ? 2 : (b0 & 0xF0) == 0xE0 ? 3 : (b0 & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0) return false;
        if (i + len > bytes.size()) {
            // Cut off by the field's end: fine if what is there continues correctly.
            for (size_t k = i + 1; k < bytes.size(); ++k)
                if ((static_cast<unsigned char>(bytes[k]) & 0xC0) != 0x80) return false;
            return multi;
        }
        size_t at = i;
        if (NextUtf8(bytes, at) == 0xFFFD && bytes.substr(i, 3) != "\xEF\xBF\xBD") return false;
        multi = true;
        i = at;
    }
    return multi;
}

std::string SanitizeUtf8(std::string_view bytes) {
    if (IsAscii(bytes)) return std::string(bytes);
    // A stray byte becomes U+FFFD, three bytes.
    return Written(bytes.size() * 3, [&](char *o) {
        for (size_t i = 0; i < bytes.size();) o = PutUtf8(o, NextUtf8(bytes, i));
        return o;
    });
}

} // namespace tags::codec
