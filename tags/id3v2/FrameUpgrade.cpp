#include "FrameUpgrade.h"

#include "FrameBody.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tags::id3v2 {
namespace {

struct IdPair {
    const char *v22;
    const char *v23;
};

// The standard 2.2 frames with a 2.3 counterpart of the same body layout (PIC is
// converted separately), plus the additions of iTunes (compilation, sort order, grouping,
// movement, podcast) as the common readers map them.
constexpr std::array<IdPair, 75> kV22 = {{
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"ETC", "ETCO"},
    {"EQU", "EQUA"}, {"GEO", "GEOB"}, {"IPL", "IPLS"}, {"MCI", "MCDI"}, {"MLL", "MLLT"},
    {"PIC", "APIC"}, {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"},
    {"STC", "SYTC"}, {"TAL", "TALB"}, {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"},
    {"TCR", "TCOP"}, {"TDA", "TDAT"}, {"TDY", "TDLY"}, {"TEN", "TENC"}, {"TFT", "TFLT"},
    {"TIM", "TIME"}, {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"}, {"TMT", "TMED"},
    {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"},
    {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"},
    {"TPB", "TPUB"}, {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"}, {"TSI", "TSIZ"},
    {"TSS", "TSSE"}, {"TT1", "TIT1"}, {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TXT", "TEXT"},
    {"TXX", "TXXX"}, {"TYE", "TYER"}, {"UFI", "UFID"}, {"ULT", "USLT"}, {"WAF", "WOAF"},
    {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"}, {"WPB", "WPUB"},
    {"WXX", "WXXX"}, {"TCP", "TCMP"}, {"TS2", "TSO2"}, {"TSC", "TSOC"}, {"TST", "TSOT"},
    {"TSA", "TSOA"}, {"TSP", "TSOP"}, {"GP1", "GRP1"}, {"MVN", "MVNM"}, {"MVI", "MVIN"},
    {"PCS", "PCST"}, {"TCT", "TCAT"}, {"TDS", "TDES"}, {"TID", "TGID"}, {"WFD", "WFED"},
}};

// Frames whose body starts with a text encoding byte; every other frame is binary.
bool HasEncodingByte(std::string_view up) {
    static constexpr std::array<const char *, 11> kIds = {"TXXX", "WXXX", "COMM", "USLT", "SYLT", "APIC",
                                                          "GEOB", "USER", "OWNE", "COMR", "IPLS"};
    if (up.size() == 4 && up[0] == 'T') return true;
    for (const char *id : kIds)
        if (up == id) return true;
    return false;
}

bool NeedsRecode(int enc) { return enc == kUtf16BE || enc == kUtf8; }

// Re-encodes one string for 2.3: encoding 1 keeps its bytes, 0 too; 2 and 3 become 1.
std::string Recode(int enc, std::string_view bytes) {
    return NeedsRecode(enc) ? EncodeText(kUtf16, DecodeText(enc, bytes)) : std::string(bytes);
}

int OutEncoding(int enc) { return NeedsRecode(enc) ? kUtf16 : enc; }

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The values of a 2.4 genre frame as one 2.3 genre text.
std::string JoinGenresV24(const std::vector<std::string> &values) {
    std::string out;
    for (const std::string &v : values) {
        if (AllDigits(v) || v == "RX" || v == "CR") {
            out += "(" + v + ")";
            continue;
        }
        if (!out.empty() && out.back() != ')') out += '/';
        out += v;
    }
    return out;
}

// Re-encodes every terminated string after the encoding byte, for frames made of strings only.
std::string RecodeStrings(int enc, std::string_view data) {
    std::string out(1, static_cast<char>(OutEncoding(enc)));
    size_t pos = 0;
    while (pos < data.size()) {
        const size_t before = pos;
        const std::string_view part = TakeString(data, pos, enc);
        out += Recode(enc, part);
        if (pos - before > part.size()) out += Terminator(OutEncoding(enc));
    }
    return out;
}

} // namespace

std::string MapFrameIdV22(std::string_view id3) {
    for (const IdPair &p : kV22)
        if (id3 == p.v22) return p.v23;
    return {};
}

std::optional<std::pair<std::string, std::string>> ConvertUnknownV22(std::string_view id3, std::string_view body) {
    if (id3.size() != 3 || body.empty()) return std::nullopt;
    const std::string id(id3);
    if (id[0] == 'T') {
        const int enc = static_cast<unsigned char>(body[0]);
        if (enc != kLatin1 && enc != kUtf16) return std::nullopt;
        return std::make_pair(std::string("TXXX"), std::string(body.substr(0, 1)) + EncodeText(enc, id) + Terminator(enc) + std::string(body.substr(1)));
    }
    if (id[0] == 'W') return std::make_pair(std::string("WXXX"), std::string(1, '\0') + id + '\0' + std::string(body));
    return std::make_pair(std::string("PRIV"), id + '\0' + std::string(body));
}

std::optional<std::string> ConvertPicV22(std::string_view body) {
    if (body.size() < 5) return std::nullopt;
    std::string fmt = UpperId(body.substr(1, 3));
    std::string mime;
    if (fmt == "JPG" || fmt == "JPE") mime = "image/jpeg";
    else if (fmt == "PNG") mime = "image/png";
    else if (fmt == "GIF") mime = "image/gif";
    else if (fmt == "BMP") mime = "image/bmp";
    else if (fmt == "-->") mime = "-->";
    else {
        for (char &c : fmt)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        fmt.erase(std::remove(fmt.begin(), fmt.end(), '\0'), fmt.end());
        mime = "image/" + fmt;
    }
    std::string out(1, body[0]);
    out += mime;
    out += '\0';
    out.append(body.substr(4));
    return out;
}

bool SameBodyIn23(std::string_view id, unsigned char first) {
    const std::string up = UpperId(id);
    // Text frames are joined and re-encoded; IPLS is a string list.
    if (up.empty() || up[0] == 'T' || up == "IPLS") return false;
    return !HasEncodingByte(up) || !NeedsRecode(first);
}

std::optional<std::pair<std::string, std::string>> DowngradeV24(std::string_view id, std::string_view body) {
    std::string up = UpperId(id);
    if (up == "TIPL") up = "IPLS";
    if (body.empty() || !HasEncodingByte(up)) return std::nullopt;

    const int enc = static_cast<unsigned char>(body[0]);
    const std::string_view data = body.substr(1);
    auto keep = [&] { return std::make_pair(up, std::string(body)); };
    if (enc > kUtf8) return keep();

    // String pairs: the involved people of 2.3, and the musicians' credits only 2.4 has.
    if (up == "IPLS" || up == "TMCL") return std::make_pair(up, RecodeStrings(enc, data));
    // Genres become the 2.3 "(n)" form. Other texts keep their values apart as they
    // came, as readers of both versions split them at zero characters.
    if (up == "TCON") {
        const std::vector<std::string> values = DecodeValues(enc, data);
        const std::string joined = JoinGenresV24(values);
        const bool same = !NeedsRecode(enc) && values.size() <= 1 && (values.empty() || joined == values[0]);
        if (same) return keep();
        return std::make_pair(up, std::string(1, static_cast<char>(OutEncoding(enc))) + EncodeText(OutEncoding(enc), joined));
    }
    if (!NeedsRecode(enc)) return keep();
    if (up[0] == 'T') {
        std::string out(1, static_cast<char>(kUtf16));
        for (const std::string &v : DecodeValues(enc, data))
            out += (out.size() > 1 ? Terminator(kUtf16) : std::string()) + EncodeText(kUtf16, v);
        return std::make_pair(up, std::move(out));
    }

    std::string out(1, static_cast<char>(kUtf16));
    out.reserve(body.size() + 64); // a picture is copied once, not grown into place
    size_t pos = 0;
    if (up == "COMM" || up == "USLT") {
        if (data.size() < 3) return std::nullopt;
        out.append(data.substr(0, 3));
        const std::string_view rest = data.substr(3);
        out += Recode(enc, TakeString(rest, pos, enc)) + Terminator(kUtf16);
        out += EncodeText(kUtf16, DecodeJoined(enc, rest.substr(pos)));
    } else if (up == "WXXX") {
        out += Recode(enc, TakeString(data, pos, enc)) + Terminator(kUtf16);
        out.append(data.substr(pos));
    } else if (up == "APIC") {
        const std::string_view mime = TakeString(data, pos, kLatin1);
        out.append(mime);
        out += '\0';
        if (pos >= data.size()) return std::nullopt;
        out += data[pos++];
        const std::string_view rest = data.substr(pos);
        pos = 0;
        out += Recode(enc, TakeString(rest, pos, enc)) + Terminator(kUtf16);
        out.append(rest.substr(pos));
    } else if (up == "GEOB") {
        const std::string_view mime = TakeString(data, pos, kLatin1);
        out.append(mime);
        out += '\0';
        const std::string_view rest = data.substr(pos);
        pos = 0;
        out += Recode(enc, TakeString(rest, pos, enc)) + Terminator(kUtf16); // file name
        out += Recode(enc, TakeString(rest, pos, enc)) + Terminator(kUtf16); // description
        out.append(rest.substr(pos));
    } else {
        // SYLT, USER, OWNE, COMR... in UTF-8 or UTF-16BE: 2.3 cannot carry them as they are.
        return std::nullopt;
    }
    return std::make_pair(up, std::move(out));
}

std::optional<std::pair<std::string, size_t>> DowngradeFrontV24(std::string_view id, std::string_view front) {
    const std::string up = UpperId(id);
    if ((up != "APIC" && up != "GEOB") || front.empty()) return std::nullopt;
    const int enc = static_cast<unsigned char>(front[0]);
    if (!NeedsRecode(enc)) return std::nullopt;
    size_t pos = 1;
    auto take = [&](int e) { // one string, its terminator inside front
        const size_t before = pos;
        return TakeString(front, pos, e).size() < pos - before;
    };
    if (!take(kLatin1)) return std::nullopt; // MIME type
    if (up == "APIC") {
        if (pos >= front.size()) return std::nullopt;
        ++pos; // picture type
    } else if (!take(enc)) {
        return std::nullopt; // file name
    }
    if (!take(enc)) return std::nullopt; // description
    auto conv = DowngradeV24(id, front.substr(0, pos));
    if (!conv) return std::nullopt;
    return std::make_pair(std::move(conv->second), pos);
}

std::vector<std::pair<std::string, std::string>> DateFramesV24(std::string_view id, std::string_view ts) {
    std::vector<std::pair<std::string, std::string>> out;
    while (!ts.empty() && ts.front() == ' ') ts.remove_prefix(1);
    if (ts.size() < 4 || !AllDigits(ts.substr(0, 4))) return out;
    const bool original = UpperId(id) == "TDOR";
    out.emplace_back(original ? "TORY" : "TYER", std::string(ts.substr(0, 4)));
    if (original) return out;
    // yyyy-MM-dd -> TDAT "ddMM"
    if (ts.size() >= 10 && ts[4] == '-' && ts[7] == '-' && AllDigits(ts.substr(5, 2)) && AllDigits(ts.substr(8, 2)))
        out.emplace_back("TDAT", std::string(ts.substr(8, 2)) + std::string(ts.substr(5, 2)));
    return out;
}

} // namespace tags::id3v2
