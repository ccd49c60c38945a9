#include "Mp3TagID3v2.h"

#include "FrameBody.h"
#include "TagError.h"

#include <charconv>

// Named fields: decoded from their frames when first asked for, and set through the store.
namespace tags {

using fileops::File;
using namespace id3v2;

namespace {

size_t CodePoints(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}


} // namespace

void Mp3TagID3v2::FillField(const std::string &id, std::string_view body) {
    if (IsFieldFrame(UpperId(id)))
        pending_.push_back(PendingField{id, std::string(body)});
}

void Mp3TagID3v2::DecodeFields() const {
    for (const PendingField &p : pending_) ApplyField(p.id, FieldText(p.id, p.body));
    pending_.clear();
}

void Mp3TagID3v2::ApplyField(const std::string &id, std::string text) const {
    const std::string up = UpperId(id);
    if (up == "TCON") return ApplyGenre(text);
    if (up == "COMM") {
        comment_ = comment_.empty() ? std::move(text) : comment_ + std::string("\0\r\n", 3) + text;
        return;
    }
    const std::pair<std::string_view, std::string *> fields[] = {
        {"TIT2", &title_},     {"TPE1", &artist_},    {"TALB", &album_},       {"TYER", &year_},
        {"TRCK", &track_},     {"TENC", &encodedBy_}, {"PCNT", &playCounter_}, {"WXXX", &linkTo_},
        {"TOPE", &originalArtist_}, {"TCOM", &composer_}, {"TCOP", &copyright_},
        {"WOAF", &audioURL_},  {"WOAR", &artistURL_}, {"WCOM", &buyURL_},      {"USLT", &lyrics_}};
    for (const auto &[frame, field] : fields)
        if (up == frame) {
            *field = std::move(text);
            return;
        }
}

void Mp3TagID3v2::ApplyGenre(const std::string &text) const {
    const size_t a = text.find('(');
    const size_t b = text.find(')');
    if (a == std::string::npos || b == std::string::npos || b < a) {
        otherGenreName_ = text;
        return;
    }
    std::string_view inner = std::string_view(text).substr(a + 1, b - a - 1);
    while (!inner.empty() && inner.front() == ' ') inner.remove_prefix(1);
    while (!inner.empty() && inner.back() == ' ') inner.remove_suffix(1);
    int n = -1;
    const auto r = std::from_chars(inner.data(), inner.data() + inner.size(), n);
    if (inner.empty() || r.ec != std::errc() || r.ptr != inner.data() + inner.size() || n < 0 || n > 255) {
        otherGenreName_ = text;
        return;
    }
    genre_ = static_cast<std::uint8_t>(n);
    const std::string after = text.substr(b + 1);
    otherGenreName_ = CodePoints(after) <= 1 ? GenreName(genre_) : after;
}

void Mp3TagID3v2::SetField(std::string &field, const std::string &value, const char *frame,
                           const std::string &tagString) {
    Fields(); // the other fields keep what the file held
    field = value;
    ReplaceFrame(frame, tagString);
}

void Mp3TagID3v2::ReplaceFrame(const char *frame, const std::string &tagString) {
    try {
        RemoveFrame(std::string(frame));
    } catch (const TagError &e) {
        if (e.number() != kErrInvalidArgument) throw;
    }
    AddTag(frame, tagString);
}

void Mp3TagID3v2::Title(const std::string &v) { SetField(title_, v, "TIT2", v); }
void Mp3TagID3v2::Artist(const std::string &v) { SetField(artist_, v, "TPE1", v); }
void Mp3TagID3v2::Album(const std::string &v) { SetField(album_, v, "TALB", v); }
void Mp3TagID3v2::Year(const std::string &v) {
    SetField(year_, v, "TYER", v);
    // A date frame kept from the file would stand against the new year.
    if (Find("TDRC")) RemoveFrame(std::string("TDRC"));
}
void Mp3TagID3v2::Track(const std::string &v) { SetField(track_, v, "TRCK", v); }
void Mp3TagID3v2::Comment(const std::string &v) { SetField(comment_, v, "COMM", std::string("\0nt\0", 4) + v); }
// USLT: language "XXX" (unknown), empty description, then the lyrics.
void Mp3TagID3v2::Lyrics(const std::string &v) { SetField(lyrics_, v, "USLT", std::string("XXX\0", 4) + v); }
void Mp3TagID3v2::LinkTo(const std::string &v) { SetField(linkTo_, v, "WXXX", std::string(1, '\0') + v); }
void Mp3TagID3v2::EncodedBy(const std::string &v) { SetField(encodedBy_, v, "TENC", v); }
void Mp3TagID3v2::PlayCounter(const std::string &v) { SetField(playCounter_, v, "PCNT", v); }
void Mp3TagID3v2::OriginalArtist(const std::string &v) { SetField(originalArtist_, v, "TOPE", v); }
void Mp3TagID3v2::Composer(const std::string &v) { SetField(composer_, v, "TCOM", v); }
void Mp3TagID3v2::Copyright(const std::string &v) { SetField(copyright_, v, "TCOP", v); }
void Mp3TagID3v2::AudioURL(const std::string &v) { SetField(audioURL_, v, "WOAF", v); }
void Mp3TagID3v2::BuyURL(const std::string &v) { SetField(buyURL_, v, "WCOM", v); }
void Mp3TagID3v2::ArtistURL(const std::string &v) { SetField(artistURL_, v, "WOAR", v); }

void Mp3TagID3v2::Genre(std::uint8_t v) {
    Fields();
    genre_ = v;
    ReplaceFrame("TCON", "(" + std::to_string(v) + ")" + otherGenreName_);
}

void Mp3TagID3v2::OtherGenreName(const std::string &v) {
    Fields();
    SetField(otherGenreName_, v, "TCON", "(" + std::to_string(genre_) + ")" + v);
}

} // namespace tags
