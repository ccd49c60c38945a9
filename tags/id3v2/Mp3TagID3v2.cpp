#include "Mp3TagID3v2.h"

#include "FileEdit.h"
#include "FileOps.h"
#include "FrameBody.h"
#include "FrameUpgrade.h"
#include "SynchData.h"
#include "TagError.h"
#include "TagFile.h"
#include "TextCodec.h"
#include "id3v1/Genres.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace tags {

using fileops::File;
using namespace id3v2;

namespace {

// A growing tag's declared size is a multiple of this, so later edits fit in place.
constexpr std::int64_t kSizeStep = 2048;
// The largest size the 28 bits of a synchsafe header field can declare.
constexpr std::int64_t kMaxTagSize = (std::int64_t(1) << 28) - 1;

bool SameId(const std::string &a, const std::string &b) { return UpperId(a) == UpperId(b); }

// The frames that fill a named field; no other body is ever decoded as text.
constexpr std::string_view kFieldFrames[] = {"TIT2", "TPE1", "TALB", "TYER", "TRCK", "COMM", "TCON", "TENC", "PCNT",
                                             "WXXX", "TOPE", "TCOM", "TCOP", "WOAF", "WOAR", "WCOM", "USLT"};

bool ValidFrameIdChar(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

size_t CodePoints(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

} // namespace

std::string Mp3TagID3v2::Source() { return ErrorSource("cMP3ID3v2"); }

std::string Mp3TagID3v2::GenreName(std::uint8_t genre) const { return GenreTableName(genre); }

void Mp3TagID3v2::Fail(std::int32_t number, const char *description) const {
    throw TagError(number, Source(), description);
}

void Mp3TagID3v2::RequireStore() const {
    if (!hasStore_) Fail(kErrNoStore, "Object variable or With block variable not set");
}

// ---------------------------------------------------------------- reading

void Mp3TagID3v2::MP3File(const std::string &path) {
    path_ = path;
    ReadTag();
}

void Mp3TagID3v2::ReadTag() {
    frames_.clear();
    pending_.clear();
    hasStore_ = true;
    tagStart_ = 0;
    version_ = 0;
    for (std::string *s : {&title_, &artist_, &album_, &year_, &comment_, &track_, &otherGenreName_, &lyrics_,
                           &linkTo_, &encodedBy_, &playCounter_, &originalArtist_, &composer_, &copyright_,
                           &audioURL_, &buyURL_, &artistURL_})
        s->clear();
    genre_ = 255;

    File f(Source());
    f.Open(path_, File::Mode::Read);
    const std::int64_t len = f.Size();
    const std::int64_t start = FindTagStart(f, len);
    if (start > 0 && start <= INT32_MAX) {
        tagStart_ = static_cast<std::int32_t>(start);
        ReadFrames(f, len);
    }
}

void Mp3TagID3v2::ReadFrames(File &f, std::int64_t fileLen) {
    f.Seek(tagStart_ - 1);
    unsigned char h[7];
    const size_t n = f.ReadFull(h, sizeof h);
    if (n < 1) return;
    version_ = h[0];
    if (version_ < 2 || version_ > 4 || n < sizeof h) return;
    std::uint32_t tagSize = 0;
    if (!DecodeSynchsafe(h + 3, tagSize)) return;
    const int flags = h[2];
    // 2.2 defines a compression flag but no compression scheme.
    if (version_ == 2 && (flags & 0x40)) return;

    const std::int64_t avail = fileLen - (tagStart_ - 1 + 7);
    if (avail <= 0) return;
    // Not zero-filled: the read overwrites it, and frames keep slices of it.
    const size_t want = static_cast<size_t>(std::min<std::int64_t>(tagSize, avail));
    std::shared_ptr<char[]> tag(new char[want]);
    const size_t got = f.ReadFull(tag.get(), want);
    if (version_ <= 3 && (flags & 0x80)) {
        auto plain = std::make_shared<const std::string>(Resynchronise(std::string_view(tag.get(), got)));
        ParseFrames(plain, *plain, flags);
        return;
    }
    ParseFrames(tag, std::string_view(tag.get(), got), flags);
}

void Mp3TagID3v2::ParseFrames(const std::shared_ptr<const void> &owner, std::string_view tag, int tagFlags) {
    const auto *b = reinterpret_cast<const unsigned char *>(tag.data());
    const size_t limit = tag.size();
    size_t pos = 0;
    if (version_ >= 3 && (tagFlags & 0x40)) {
        if (limit < 4) return;
        std::uint32_t ext = 0;
        if (version_ == 3) {
            ext = DecodeBE32(b) + 4;
        } else if (!DecodeSynchsafe(b, ext)) {
            return;
        }
        if (ext < 6 || ext > limit) return;
        pos = ext;
    }

    const size_t hdr = version_ == 2 ? 6 : 10;
    const size_t idLen = version_ == 2 ? 3 : 4;
    std::vector<std::pair<std::string, std::string>> dates; // 2.4 TDRC/TDOR, resolved at the end
    while (limit - pos >= hdr) {
        const unsigned char *fh = b + pos;
        bool zero = true, valid = true;
        for (size_t i = 0; i < idLen; ++i) {
            zero = zero && fh[i] == 0;
            valid = valid && ValidFrameIdChar(fh[i]);
        }
        if (zero || !valid) break; // padding, or bytes that are no frame
        std::uint32_t size = 0;
        if (version_ == 2) {
            size = DecodeBE24(fh + 3);
        } else if (version_ == 3) {
            size = DecodeBE32(fh + 4);
        } else {
            // Some writers put plain sizes into 2.4 frames; take the reading after
            // which the next frame (or the end) follows.
            const std::uint32_t plain = DecodeBE32(fh + 4);
            const bool safe = DecodeSynchsafe(fh + 4, size);
            auto next = [&](std::uint64_t s) {
                const std::uint64_t at = pos + hdr + s;
                if (at == limit) return true;
                if (at + 4 > limit) return false;
                bool zero = true, ok = true;
                for (size_t i = 0; i < 4; ++i) {
                    zero = zero && b[at + i] == 0;
                    ok = ok && ValidFrameIdChar(b[at + i]);
                }
                return zero || ok;
            };
            if (!safe || (plain != size && !next(size) && next(plain))) {
                if (!next(plain)) break;
                size = plain;
            }
        }
        if (size > limit - pos - hdr) break;

        const std::string rawId(reinterpret_cast<const char *>(fh), idLen);
        const std::uint16_t fflags = version_ == 2 ? 0 : static_cast<std::uint16_t>(fh[8] << 8 | fh[9]);
        FrameBytes body(owner, tag.substr(pos + hdr, size));
        pos += hdr + size;

        TagString t;
        if (version_ == 2) {
            const std::string id = MapFrameIdV22(rawId);
            if (id.empty()) continue;
            if (id == "APIC") {
                auto pic = ConvertPicV22(body);
                if (!pic) continue;
                body = std::move(*pic);
            }
            t.body = std::move(body);
            StoreFrame(id, std::move(t), true);
        } else if (version_ == 3) {
            // Compressed or encrypted frames are kept as they are, flags and all,
            // but their bytes are no text.
            const bool opaque = (fflags & 0x00C0) != 0;
            const bool grouped = (fflags & 0x0020) != 0;
            t.flags = fflags;
            if (!opaque && grouped) FillField(rawId, std::string_view(body).substr(body.empty() ? 0 : 1));
            t.body = std::move(body);
            StoreFrame(rawId, std::move(t), !opaque && !grouped);
        } else {
            // 2.4: compressed and encrypted frames have no faithful 2.3 form here.
            if (fflags & 0x000C) continue;
            std::string group;
            std::string_view d(body);
            if (fflags & 0x0040) {
                if (d.empty()) continue;
                group = std::string(d.substr(0, 1));
                d.remove_prefix(1);
            }
            if (fflags & 0x0001) {
                if (d.size() < 4) continue;
                d.remove_prefix(4);
            }
            const bool unsync = (fflags & 0x0002) || (tagFlags & 0x80);
            const std::string resynced = unsync ? Resynchronise(d) : std::string();
            const std::string_view data = unsync ? std::string_view(resynced) : d;
            if (rawId == "TDRC" || rawId == "TDOR") {
                const auto values = data.empty() ? std::vector<std::string>{}
                                                 : DecodeValues(static_cast<unsigned char>(data[0]),
                                                                data.substr(1));
                if (!values.empty()) dates.emplace_back(rawId, values.front());
                continue;
            }
            auto conv = DowngradeV24(rawId, data);
            if (!conv) continue;
            // 2.4 status flags (tag/file alter preservation, read only) sit one bit lower.
            t.flags = static_cast<std::uint16_t>(((fflags >> 8) & 0x70) << 9);
            FillField(conv->first, conv->second);
            if (!group.empty()) {
                t.flags |= 0x0020;
                t.body = group + conv->second;
            } else {
                t.body = std::move(conv->second);
            }
            StoreFrame(conv->first, std::move(t), false);
        }
    }

    for (const auto &[id, ts] : dates) {
        for (const auto &[frame, text] : DateFramesV24(id, ts)) {
            if (Find(frame)) continue;
            TagString t;
            t.body = std::string(1, '\0') + text;
            StoreFrame(frame, std::move(t), true);
        }
    }
}

void Mp3TagID3v2::StoreFrame(const std::string &id, TagString tag, bool fillField) {
    FrameEntry *e = Find(id);
    if (!e) {
        frames_.push_back(FrameEntry{id, {}});
        e = &frames_.back();
    }
    if (fillField) FillField(id, tag.body ? std::string_view(*tag.body) : std::string_view());
    e->tags.push_back(std::move(tag));
}

void Mp3TagID3v2::FillField(const std::string &id, std::string_view body) {
    const std::string up = UpperId(id);
    if (std::find(std::begin(kFieldFrames), std::end(kFieldFrames), up) != std::end(kFieldFrames))
        pending_.push_back(PendingField{id, std::string(body)});
}

void Mp3TagID3v2::DecodeFields() const {
    for (const PendingField &p : pending_) ApplyField(p.id, FieldText(p.id, p.body));
    pending_.clear();
}

void Mp3TagID3v2::ApplyField(const std::string &id, const std::string &text) const {
    const std::string up = UpperId(id);
    if (up == "TIT2") title_ = text;
    else if (up == "TPE1") artist_ = text;
    else if (up == "TALB") album_ = text;
    else if (up == "TYER") year_ = text;
    else if (up == "TRCK") track_ = text;
    else if (up == "COMM") comment_ = comment_.empty() ? text : comment_ + std::string("\0\r\n", 3) + text;
    else if (up == "TCON") ApplyGenre(text);
    else if (up == "TENC") encodedBy_ = text;
    else if (up == "PCNT") playCounter_ = text;
    else if (up == "WXXX") linkTo_ = text;
    else if (up == "TOPE") originalArtist_ = text;
    else if (up == "TCOM") composer_ = text;
    else if (up == "TCOP") copyright_ = text;
    else if (up == "WOAF") audioURL_ = text;
    else if (up == "WOAR") artistURL_ = text;
    else if (up == "WCOM") buyURL_ = text;
    else if (up == "USLT") lyrics_ = text;
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

// ---------------------------------------------------------------- frame store

const Mp3TagID3v2::FrameEntry *Mp3TagID3v2::Find(const std::string &id) const {
    for (const FrameEntry &e : frames_)
        if (SameId(e.id, id)) return &e;
    return nullptr;
}

Mp3TagID3v2::FrameEntry *Mp3TagID3v2::Find(const std::string &id) {
    return const_cast<FrameEntry *>(static_cast<const Mp3TagID3v2 *>(this)->Find(id));
}

std::int32_t Mp3TagID3v2::FrameCount() const {
    RequireStore();
    return static_cast<std::int32_t>(frames_.size());
}

std::string Mp3TagID3v2::Frame(std::int32_t index) const {
    RequireStore();
    if (index < 1 || index > static_cast<std::int32_t>(frames_.size())) Fail(kErrSubscript, "Subscript out of range");
    return frames_[static_cast<size_t>(index - 1)].id;
}

std::int32_t Mp3TagID3v2::TagsInFrame(const std::string &frame) const {
    const FrameEntry *e = hasStore_ ? Find(frame) : nullptr;
    return e ? static_cast<std::int32_t>(e->tags.size()) : 0;
}

std::int32_t Mp3TagID3v2::TagsInFrame(std::int32_t position) const {
    if (!hasStore_ || position < 1 || position > static_cast<std::int32_t>(frames_.size())) return 0;
    return static_cast<std::int32_t>(frames_[static_cast<size_t>(position - 1)].tags.size());
}

void Mp3TagID3v2::AddTag(const std::string &sFrame, const std::string &sTag) {
    RequireStore();
    FrameEntry *e = Find(sFrame);
    if (!e) {
        frames_.push_back(FrameEntry{sFrame, {}});
        e = &frames_.back();
    }
    e->tags.push_back(TagString{sTag, std::nullopt, 0});
}

void Mp3TagID3v2::RemoveTag(const std::string &sFrame, std::int32_t tagIndex) {
    RequireStore();
    FrameEntry *e = Find(sFrame);
    if (!e || tagIndex < 1 || tagIndex > static_cast<std::int32_t>(e->tags.size()))
        Fail(kErrInvalidArgument, "Invalid procedure call or argument");
    e->tags.erase(e->tags.begin() + (tagIndex - 1));
    if (e->tags.empty()) frames_.erase(frames_.begin() + (e - frames_.data()));
}

void Mp3TagID3v2::RemoveFrame(const std::string &frame) {
    RequireStore();
    const FrameEntry *e = Find(frame);
    if (!e) Fail(kErrInvalidArgument, "Invalid procedure call or argument");
    frames_.erase(frames_.begin() + (e - frames_.data()));
}

void Mp3TagID3v2::RemoveFrame(std::int32_t position) {
    RequireStore();
    if (position < 1 || position > static_cast<std::int32_t>(frames_.size()))
        Fail(kErrInvalidArgument, "Invalid procedure call or argument");
    frames_.erase(frames_.begin() + (position - 1));
}

// ---------------------------------------------------------------- named fields

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
void Mp3TagID3v2::Year(const std::string &v) { SetField(year_, v, "TYER", v); }
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

// ---------------------------------------------------------------- writing

std::string Mp3TagID3v2::RenderTag(std::uint32_t sizeField) const {
    RequireStore();
    // Sized up front: kept bodies (pictures) are copied once, straight into place.
    size_t total = 14;
    for (const FrameEntry &e : frames_)
        for (const TagString &t : e.tags) total += 10 + (t.body ? t.body->size() : t.text.size() * 2 + 16);
    std::string out;
    out.reserve(total);
    out.assign("ID3\x03\x00\x00", 6);
    out.resize(10);
    EncodeSynchsafe(sizeField, out.data() + 6);
    for (const FrameEntry &e : frames_) {
        if (e.id.find("ID3") != std::string::npos) continue;
        if (e.id.size() < 4) Fail(kErrInvalidArgument, "Invalid procedure call or argument");
        // Identifiers are upper case in every ID3 version; readers stop at anything else.
        const std::string id = UpperId(e.id.substr(0, 4));
        for (const TagString &t : e.tags) {
            std::string made;
            const std::string_view body = t.body ? t.body->view() : std::string_view(made = RenderTagString(id, t.text));
            char head[10];
            std::copy(id.begin(), id.end(), head);
            EncodeBE32(static_cast<std::uint32_t>(body.size()), head + 4);
            head[8] = static_cast<char>(t.flags >> 8);
            head[9] = static_cast<char>(t.flags & 0xFF);
            out.append(head, sizeof head);
            out += body;
        }
    }
    out.append(4, '\0');
    return out;
}

void Mp3TagID3v2::Update() { WriteTag(); }

void Mp3TagID3v2::WriteTag() {
    std::string buf = RenderTag(0); // a bad store fails before the file is opened
    File f(Source());
    f.Open(path_, File::Mode::ReadWrite);
    fileops::ApplySplices(f, path_, {PlanTag(f, std::move(buf))}, Source());
}

fileops::Splice Mp3TagID3v2::PlanUpdate(File &f) const { return PlanTag(f, RenderTag(0)); }

fileops::Splice Mp3TagID3v2::PlanTag(File &f, std::string buf) const {
    const std::int64_t total = static_cast<std::int64_t>(buf.size());
    const std::int64_t newSize = (total / kSizeStep + 1) * kSizeStep;
    if (newSize > kMaxTagSize) Fail(kErrInvalidArgument, "Invalid procedure call or argument");

    const std::int64_t len = f.Size();
    const std::int64_t start = FindTagStart(f, len);

    // Only a well-formed header counts as a tag to write over; "ID3" inside audio
    // data or a broken header gets a new tag in front instead.
    bool present = false;
    std::uint32_t oldSize = 0;
    if (start > 0) {
        unsigned char h[7];
        f.Seek(start - 1);
        present = f.ReadFull(h, sizeof h) == sizeof h && h[0] >= 2 && h[0] <= 4 && DecodeSynchsafe(h + 3, oldSize) &&
                  (start - 4) + 10 + static_cast<std::int64_t>(oldSize) <= len;
    }
    const bool fits = present && total < static_cast<std::int64_t>(oldSize);
    // A size field is trusted only where writing cannot reach into the audio.
    if (present && !TagRegionTrusted(f, start - 4, oldSize, len, fits ? total : 10 + std::int64_t(oldSize)))
        present = false;

    if (present && fits) {
        EncodeSynchsafe(oldSize, buf.data() + 6);
        return {start - 4, total, std::move(buf)};
    }
    EncodeSynchsafe(static_cast<std::uint32_t>(newSize), buf.data() + 6);
    const std::int64_t room = present ? newSize - oldSize : newSize + 10;
    // room zero bytes in front of the old content, the new tag written over them.
    const std::int64_t skip = std::max<std::int64_t>(0, total - room);
    buf.resize(static_cast<size_t>(std::max(room, total)), '\0');
    return {0, skip, std::move(buf)};
}

} // namespace tags
