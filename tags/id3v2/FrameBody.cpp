#include "FrameBody.h"

#include "TextCodec.h"

#include <charconv>
#include <cstring>
#include <cstdint>

namespace tags::id3v2 {
namespace {

std::string WithoutZeros(std::string_view s) {
    if (s.find('\0') == std::string_view::npos) return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '\0') out += c;
    return out;
}

// Splits at zero characters and encodes each part with its own BOM.
std::string EncodeSegments(int enc, std::string_view utf8) {
    std::string out;
    size_t from = 0;
    for (;;) {
        const size_t z = utf8.find('\0', from);
        out += EncodeText(enc, utf8.substr(from, z == std::string_view::npos ? std::string_view::npos : z - from));
        if (z == std::string_view::npos) break;
        out += Terminator(enc);
        from = z + 1;
    }
    return out;
}

// Splits at the first zero character: (before, after).
std::pair<std::string_view, std::string_view> SplitAtZero(std::string_view s) {
    const size_t z = s.find('\0');
    if (z == std::string_view::npos) return {std::string_view(), s};
    return {s.substr(0, z), s.substr(z + 1)};
}

// Byte length of the first n code points of a UTF-8 text.
size_t Utf8Prefix(std::string_view s, size_t n) {
    size_t i = 0;
    while (n > 0 && i < s.size()) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
        --n;
    }
    return i;
}

std::string CounterBytes(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::uint64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) v = 0;
    std::string out;
    for (int shift = 56; shift >= 0; shift -= 8)
        if (shift < 32 || (v >> shift) != 0) out += static_cast<char>((v >> shift) & 0xFF);
    return out;
}

std::string CounterText(std::string_view body) {
    std::uint64_t v = 0;
    // Counters longer than 8 bytes keep their low 8 bytes.
    if (body.size() > 8) body.remove_prefix(body.size() - 8);
    for (char c : body) v = (v << 8) | static_cast<unsigned char>(c);
    return std::to_string(v);
}

} // namespace

std::string UpperId(std::string_view id) {
    std::string s(id);
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string Terminator(int enc) {
    return (enc == kUtf16 || enc == kUtf16BE) ? std::string(2, '\0') : std::string(1, '\0');
}

std::string_view TakeString(std::string_view data, size_t &pos, int enc) {
    if (pos >= data.size()) {
        pos = data.size();
        return {};
    }
    const size_t from = pos;
    if (enc == kUtf16 || enc == kUtf16BE) {
        for (size_t i = from; i + 1 < data.size(); i += 2) {
            if (data[i] == '\0' && data[i + 1] == '\0') {
                pos = i + 2;
                return data.substr(from, i - from);
            }
        }
    } else {
        const size_t z = data.find('\0', from);
        if (z != std::string_view::npos) {
            pos = z + 1;
            return data.substr(from, z - from);
        }
    }
    pos = data.size();
    return data.substr(from);
}

std::string DecodeText(int enc, std::string_view bytes) {
    switch (enc) {
    case kUtf16: return codec::Utf16ToUtf8(bytes, false);
    case kUtf16BE: return codec::Utf16ToUtf8(bytes, true);
    case kUtf8: return codec::SanitizeUtf8(WithoutZeros(bytes));
    default: {
        // Some taggers put UTF-8 into frames marked as single-byte text.
        const std::string text = WithoutZeros(bytes);
        return codec::LooksLikeUtf8(text) ? codec::SanitizeUtf8(text) : codec::AnsiToUtf8(text);
    }
    }
}

std::string DecodeJoined(int enc, std::string_view data) {
    std::string out;
    size_t pos = 0;
    while (pos < data.size()) {
        std::string part = DecodeText(enc, TakeString(data, pos, enc));
        if (out.empty()) out = std::move(part); // usually the only one
        else out += part;
    }
    return out;
}

std::vector<std::string> DecodeValues(int enc, std::string_view data) {
    std::vector<std::string> values;
    size_t pos = 0;
    while (pos < data.size()) values.push_back(DecodeText(enc, TakeString(data, pos, enc)));
    while (!values.empty() && values.back().empty()) values.pop_back();
    return values;
}

std::string EncodeText(int enc, std::string_view utf8) {
    if (enc == kUtf16) return codec::Utf8ToUtf16Bom(utf8);
    return codec::Utf8ToAnsi(utf8);
}

bool IsFieldFrame(std::string_view up) {
    if (up.size() != 4) return false;
    for (std::string_view f : kFieldFrames)
        if (std::memcmp(f.data(), up.data(), 4) == 0) return true; // a compare of four bytes
    return false;
}

bool IsUrlFrame(std::string_view id) {
    return id.size() >= 1 && (id[0] == 'W' || id[0] == 'w') && UpperId(id.substr(0, 4)) != "WXXX";
}

std::string FieldText(std::string_view id, std::string_view body) {
    const std::string up = UpperId(id);
    if (body.empty()) return {};
    if (up == "PCNT") return CounterText(body);
    if (IsUrlFrame(up)) return codec::Cp1252ToUtf8(WithoutZeros(body));
    const int enc = static_cast<unsigned char>(body[0]);
    if (enc > kUtf8) return codec::Cp1252ToUtf8(WithoutZeros(body));
    std::string_view data = body.substr(1);
    size_t pos = 0;
    if (up == "COMM" || up == "USLT") {
        if (data.size() < 3) return {};
        data.remove_prefix(3);
        TakeString(data, pos, enc); // description
        return DecodeJoined(enc, data.substr(pos));
    }
    if (up == "WXXX") {
        TakeString(data, pos, enc);
        return codec::Cp1252ToUtf8(WithoutZeros(data.substr(pos)));
    }
    if (up[0] != 'T' || up == "TCON") return DecodeJoined(enc, data);
    // Several values, as the common readers show them.
    std::string out;
    for (const std::string &v : DecodeValues(enc, data)) out += (out.empty() ? "" : "/") + v;
    return out;
}

std::string RenderTagString(std::string_view id, std::string_view s) {
    const std::string up = UpperId(id.substr(0, 4));
    if (up == "PCNT") return CounterBytes(s);
    if (IsUrlFrame(up)) return codec::Utf8ToCp1252(s);
    if (codec::FitsSingleByte(s)) return std::string(1, '\0') + codec::Utf8ToCp1252(s);

    std::string b(1, static_cast<char>(kUtf16));
    if (up == "COMM" || up == "USLT") {
        const size_t langLen = Utf8Prefix(s, 3);
        std::string lang = codec::Utf8ToCp1252(s.substr(0, langLen));
        lang.resize(3, ' ');
        const auto [desc, text] = SplitAtZero(s.substr(langLen));
        b += lang + EncodeText(kUtf16, desc) + Terminator(kUtf16) + EncodeSegments(kUtf16, text);
    } else if (up == "WXXX") {
        const auto [desc, url] = SplitAtZero(s);
        b += EncodeText(kUtf16, desc) + Terminator(kUtf16) + codec::Utf8ToCp1252(url);
    } else if (up == "TXXX") {
        const auto [desc, value] = SplitAtZero(s);
        b += EncodeText(kUtf16, desc) + Terminator(kUtf16) + EncodeSegments(kUtf16, value);
    } else {
        b += EncodeSegments(kUtf16, s);
    }
    return b;
}

} // namespace tags::id3v2
