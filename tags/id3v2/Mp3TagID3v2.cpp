#include "Mp3TagID3v2.h"

#include "FileEdit.h"
#include "FileOps.h"
#include "FrameBody.h"
#include "FrameWalk.h"
#include "FrameUpgrade.h"
#include "SynchData.h"
#include "TagError.h"
#include "TagFile.h"
#include "TextCodec.h"
#include "id3v1/Genres.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

namespace tags {

using fileops::File;
using namespace id3v2;

namespace {

// Binary bodies from this size on stay in the file until a write needs them. The tag
// is read in pieces around them: kReadPiece from its start, where the text frames
// usually are, and kReadAfter at least after a body left out (often just padding).
constexpr size_t kLeaveFrom = 2048;
constexpr size_t kReadPiece = File::kBlock - 10; // for a tag at the start: the block the search read
constexpr size_t kReadAfter = 1024;

// A read that came up short: the file got shorter while its tag was read in pieces.
struct ShortRead {};

// A growing tag gets at least this much padding, so that later edits fit in place, and
// then as much more as keeps the audio at its place within a page: the system copies a
// file whose bytes move by whole pages far faster.
constexpr std::int64_t kMinPadding = 1024;
constexpr std::int64_t kPage = 4096;
// The largest size the 28 bits of a synchsafe header field can declare.
constexpr std::int64_t kMaxTagSize = (std::int64_t(1) << 28) - 1;

bool SameId(std::string_view a, std::string_view b) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return up(x) == up(y); });
}

// The frames that fill a named field; no other body is ever decoded as text.
constexpr std::string_view kFieldFrames[] = {"TIT2", "TPE1", "TALB", "TYER", "TRCK", "COMM", "TCON", "TENC", "PCNT",
                                             "WXXX", "TOPE", "TCOM", "TCOP", "WOAF", "WOAR", "WCOM", "USLT"};

bool IsFieldFrame(std::string_view up) {
    if (up.size() != 4) return false;
    for (std::string_view f : kFieldFrames)
        if (std::memcmp(f.data(), up.data(), 4) == 0) return true; // a compare of four bytes
    return false;
}

// 2.4 status flags (tag/file alter preservation, read only) sit one bit lower in 2.3.
std::uint16_t StatusIn23(std::uint16_t flags24) { return static_cast<std::uint16_t>(((flags24 >> 8) & 0x70) << 9); }

bool PlainId(const std::string &id) {
    for (char c : id)
        if (!ValidFrameIdChar(static_cast<unsigned char>(c))) return false;
    return true;
}

// The first value of a date frame's body.
std::optional<std::string> DateValue(std::string_view body) {
    if (body.empty()) return std::nullopt;
    const auto values = DecodeValues(static_cast<unsigned char>(body[0]), body.substr(1));
    if (values.empty()) return std::nullopt;
    return values.front();
}

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
    Reset();
    File f(Source());
    f.Open(path_, File::Mode::Read);
    ReadTag(f);
}

void Mp3TagID3v2::ReadFrom(File &f) {
    path_ = f.Path();
    Reset();
    try {
        ReadTag(f);
    } catch (const TagError &e) {
        throw TagError(e.number(), Source(), e.description()); // the file was opened for another reader
    }
}

void Mp3TagID3v2::Reset() {
    frames_.clear();
    pending_.clear();
    hasStore_ = true;
    tagStart_ = 0;
    version_ = 0;
    tagFlags_ = 0;
    inFile_ = false;
    cut_.reset();
    for (std::string *s : {&title_, &artist_, &album_, &year_, &comment_, &track_, &otherGenreName_, &lyrics_,
                           &linkTo_, &encodedBy_, &playCounter_, &originalArtist_, &composer_, &copyright_,
                           &audioURL_, &buyURL_, &artistURL_})
        s->clear();
    genre_ = 255;
}

void Mp3TagID3v2::ReadTag(File &f) {
    const std::int64_t len = f.Size();
    const std::int64_t start = FindTagStart(f, len);
    if (start > 0 && start <= INT32_MAX) {
        tagStart_ = static_cast<std::int32_t>(start);
        ReadFrames(f, len);
    }
}

void Mp3TagID3v2::ReadFrames(File &f, std::int64_t fileLen) {
    unsigned char h[7];
    const size_t n = f.ReadAt(tagStart_ - 1, h, sizeof h);
    if (n < 1) return;
    version_ = h[0];
    if (version_ < 2 || version_ > 4 || n < sizeof h) return;
    std::uint32_t tagSize = 0;
    if (!DecodeSynchsafe(h + 3, tagSize)) return;
    const int flags = h[2];
    tagFlags_ = flags;
    // 2.2 defines a compression flag but no compression scheme.
    if (version_ == 2 && (flags & 0x40)) return;

    const std::int64_t bodyPos = tagStart_ - 1 + 7;
    const std::int64_t avail = fileLen - bodyPos;
    if (avail <= 0) return;
    // Not zero-filled: the reads overwrite what is looked at, and frames keep slices of it.
    const size_t want = static_cast<size_t>(std::min<std::int64_t>(tagSize, avail));
    std::shared_ptr<char[]> tag(new char[want]);
    const bool wholeUnsync = version_ <= 3 && (flags & 0x80);
    if (version_ >= 3 && !wholeUnsync && want > 2 * kReadPiece) {
        // In pieces: large binary bodies are skipped, not copied.
        std::vector<std::pair<size_t, size_t>> loaded; // [from, to) read so far
        const std::function<void(size_t, size_t)> load = [&](size_t pos, size_t n) {
            const size_t end = std::min(want, pos + n);
            for (const auto &[a, b] : loaded)
                if (a <= pos && end <= b) return;
            if (pos >= end) return;
            const size_t to = std::min(want, std::max(end, pos + kReadAfter));
            if (f.ReadAt(bodyPos + static_cast<std::int64_t>(pos), tag.get() + pos, to - pos) != to - pos)
                throw ShortRead{};
            loaded.emplace_back(pos, to);
        };
        try {
            ParseFrames(tag, std::string_view(tag.get(), want), flags, &load);
            return;
        } catch (const ShortRead &) {
            frames_.clear(); // read it whole instead, as far as it goes now
            pending_.clear();
            inFile_ = false;
            cut_.reset();
        }
    }
    const size_t got = f.ReadAt(bodyPos, tag.get(), want);
    if (wholeUnsync) {
        auto plain = std::make_shared<const std::string>(Resynchronise(std::string_view(tag.get(), got)));
        ParseFrames(plain, *plain, flags);
        return;
    }
    ParseFrames(tag, std::string_view(tag.get(), got), flags);
}

void Mp3TagID3v2::ParseFrames(const std::shared_ptr<const void> &owner, std::string_view tag, int tagFlags,
                              const std::function<void(size_t, size_t)> *load) {
    size_t from = 0;
    if (load) (*load)(0, kReadPiece);
    if (version_ >= 3 && (tagFlags & 0x40)) {
        from = ExtendedHeaderLength(tag, version_);
        if (from == std::string_view::npos) return;
    }
    const size_t hdr = FrameHeaderLength(version_);
    const size_t idLen = version_ == 2 ? 3 : 4;
    std::vector<DateFrame> dates; // TDRC/TDOR, resolved at the end
    const FrameWalk walk = WalkFrames(tag, version_, from, load ? *load : LoadBytes());
    const std::vector<FrameSpan> &spans = walk.frames;
    if (walk.cut) KeepCutFrame(tag, *walk.cut, load);
    frames_.reserve(std::min<size_t>(spans.size(), 64)); // frames of one identifier share an entry
    pending_.reserve(std::min<size_t>(spans.size(), std::size(kFieldFrames)));
    for (const FrameSpan &span : spans) {
        const auto *fh = reinterpret_cast<const unsigned char *>(tag.data() + span.pos);
        const std::string rawId(reinterpret_cast<const char *>(fh), idLen);
        if (span.size == 0) continue; // 2.3 has no empty frames, and other readers stop at one
        const auto fflags = static_cast<std::uint16_t>(version_ == 2 ? 0 : fh[8] << 8 | fh[9]);
        if (load) {
            (*load)(span.pos + hdr, 1);
            // The body stays in the file; with `front`, its first `skip` bytes are written as that.
            auto leave = [&](std::string front, size_t skip) {
                TagString t;
                t.flags = version_ == 3 ? fflags : StatusIn23(fflags); // nothing else is set here
                t.body = FrameBytes(span.pos, std::string_view(tag.data() + span.pos, hdr), span.size,
                                    std::move(front), skip);
                inFile_ = true;
                StoreFrame(rawId, std::move(t), false);
            };
            if (LeftInFile(rawId, fh, span.size, tagFlags)) {
                leave({}, 0);
                continue;
            }
            if (version_ == 4 && LeftInFile(rawId, fh, span.size, tagFlags, true)) {
                // A 2.4 picture or object whose description 2.3 encodes otherwise: only
                // the front is read and re-encoded, the picture stays in the file.
                const size_t n = std::min(span.size, kReadAfter);
                (*load)(span.pos + hdr, n);
                if (auto front = DowngradeFrontV24(rawId, tag.substr(span.pos + hdr, n))) {
                    leave(std::move(front->first), front->second);
                    continue;
                }
            }
            (*load)(span.pos + hdr, span.size);
        }
        FrameBytes body(owner, tag.substr(span.pos + hdr, span.size));
        if (version_ == 2) {
            std::string id = MapFrameIdV22(rawId);
            if (id.empty()) {
                auto conv = ConvertUnknownV22(rawId, body);
                if (!conv) continue;
                id = std::move(conv->first);
                body = std::move(conv->second);
            }
            if (id == "APIC") {
                auto pic = ConvertPicV22(body);
                if (!pic) continue;
                body = std::move(*pic);
            }
            TagString t;
            t.body = std::move(body);
            StoreFrame(id, std::move(t), true);
        } else if (version_ == 3) {
            ReadFrameV23(rawId, fflags, std::move(body), dates);
        } else {
            ReadFrameV24(rawId, fflags, std::move(body), tagFlags, dates);
        }
    }

    size_t inserted = 0;
    for (const DateFrame &d : dates) {
        const auto parts = DateFramesV24(d.id, d.value);
        if (version_ == 3 || d.kept) {
            // Some taggers put the 2.4 date frame into 2.3 tags; it stays as it is and
            // gives the year when no TYER does.
            if (!parts.empty() && UpperId(d.id) == "TDRC" && !Find("TYER"))
                FillField("TYER", std::string(1, '\0') + parts.front().second);
            continue;
        }
        for (const auto &[frame, text] : parts) {
            if (Find(frame)) continue;
            TagString t;
            t.body = std::string(1, '\0') + text;
            FillField(frame, *t.body);
            frames_.insert(frames_.begin() + static_cast<std::ptrdiff_t>(d.at + inserted++), FrameEntry{frame, {std::move(t)}});
        }
    }
}

void Mp3TagID3v2::KeepCutFrame(std::string_view tag, const FrameSpan &span, const std::function<void(size_t, size_t)> *load) {
    const size_t hdr = FrameHeaderLength(version_);
    if (load) (*load)(span.pos, hdr + span.size);
    const auto *fh = reinterpret_cast<const unsigned char *>(tag.data() + span.pos);
    const std::string rawId(reinterpret_cast<const char *>(fh), version_ == 2 ? 3 : 4);
    const std::string_view body = tag.substr(span.pos + hdr, span.size);
    if (body.empty() || (version_ > 2 && (fh[8] | fh[9]) != 0)) return; // a cut compressed body is no body
    std::optional<std::pair<std::string, std::string>> kept;
    if (version_ == 2) {
        const std::string id = MapFrameIdV22(rawId);
        if (id.empty()) kept = ConvertUnknownV22(rawId, body);
        else if (id != "APIC") kept.emplace(id, std::string(body));
        else if (auto pic = ConvertPicV22(body)) kept.emplace(id, std::move(*pic));
    } else if (version_ == 4 && rawId != "TDRC" && rawId != "TDOR") {
        kept = DowngradeV24(rawId, body);
    }
    if (!kept && version_ > 2) kept.emplace(rawId, std::string(body));
    cut_ = std::move(kept);
}

// Whether a frame read in pieces keeps its body in the file: large, stored as it is,
// and never decoded.
bool Mp3TagID3v2::LeftInFile(const std::string &id, const unsigned char *header, size_t size, int tagFlags,
                             bool recoded) const {
    if (size < kLeaveFrom || !PlainId(id) || id == "TDRC" || id == "TDOR") return false;
    if (IsFieldFrame(id)) return false;
    if (version_ == 3) return !recoded;
    // 2.4: no group, compression, encryption, unsynchronisation or length in front.
    const int flags = header[8] << 8 | header[9];
    return (flags & 0x004F) == 0 && !(tagFlags & 0x80) && (recoded || SameBodyIn23(id, header[10]));
}

void Mp3TagID3v2::FillBodies(const TagBytes &old) const {
    if (!inFile_) return;
    auto changed = [this] { Fail(kErrChanged, "Path/File access error: the file changed since its tag was read"); };
    if (old.size < 10) changed();
    const auto *h = reinterpret_cast<const unsigned char *>(old.data.get());
    std::uint32_t size = 0;
    if (h[3] != version_ || h[5] != tagFlags_ || !DecodeSynchsafe(h + 6, size)) changed();
    const std::string_view body(old.data.get() + 10, std::min<size_t>(size, old.size - 10));
    size_t from = 0;
    if (tagFlags_ & 0x40) {
        from = ExtendedHeaderLength(body, version_);
        if (from == std::string_view::npos) changed();
    }
    const std::vector<FrameSpan> spans = WalkFrames(body, version_, from).frames;
    const size_t hdr = FrameHeaderLength(version_);
    std::vector<const FrameBytes *> filled;
    for (const FrameEntry &e : frames_)
        for (const TagString &t : e.tags) {
            if (!t.body || !t.body->InFile()) continue;
            const FrameBytes &b = *t.body;
            const auto it = std::lower_bound(spans.begin(), spans.end(), b.at(),
                                             [](const FrameSpan &s, size_t at) { return s.pos < at; });
            if (it == spans.end() || it->pos != b.at() || it->size != b.size() || body.substr(b.at(), hdr) != b.head())
                changed();
            filled.push_back(&b);
        }
    // Only once every body is found, so a failure leaves the store as it was.
    for (const FrameBytes *b : filled) b->Fill(old.data, body.substr(b->at() + hdr, b->size()));
    inFile_ = false;
}

void Mp3TagID3v2::FillBodies() const {
    if (!inFile_) return;
    File f(Source());
    f.Open(path_, File::Mode::Read);
    const std::int64_t len = f.Size();
    const std::int64_t start = FindTagStart(f, len);
    TagBytes old;
    if (start > 0) MeasureTag(f, start - 4, len, &old);
    FillBodies(old);
}

void Mp3TagID3v2::ReadFrameV23(const std::string &id, std::uint16_t flags, FrameBytes body,
                               std::vector<DateFrame> &dates) {
    // Compressed, encrypted and grouped frames are kept as they are, flags and all;
    // what is readable fills the fields. Order after the header: decompressed size,
    // encryption method, group identifier.
    std::string_view d(body);
    const bool compressed = flags & 0x0080;
    std::uint32_t size = 0;
    if (compressed && d.size() >= 4) {
        size = DecodeBE32(reinterpret_cast<const unsigned char *>(d.data()));
        d.remove_prefix(4);
    }
    std::optional<std::string> inflated;
    bool readable = !(flags & 0x0040) && (!compressed || body.size() >= 4) && (!(flags & 0x0020) || !d.empty());
    if (readable) {
        if (flags & 0x0020) d.remove_prefix(1);
        if (compressed) {
            inflated = Inflate(d, size);
            readable = inflated.has_value();
            if (inflated) d = *inflated;
        }
    }
    if (readable && PlainId(id)) {
        FillField(id, d);
        if (UpperId(id) == "TDRC")
            if (auto v = DateValue(d)) dates.push_back({id, *v, frames_.size(), true});
    }
    TagString t;
    t.flags = flags;
    t.body = std::move(body);
    StoreFrame(id, std::move(t), false);
}

void Mp3TagID3v2::ReadFrameV24(const std::string &id, std::uint16_t flags, FrameBytes body, int tagFlags,
                               std::vector<DateFrame> &dates) {
    const std::uint16_t status = StatusIn23(flags);
    // A frame with no faithful 2.3 form is written back as it came.
    auto keep = [&] {
        TagString t;
        t.flags = status;
        t.body = body;
        StoreFrame(id, std::move(t), false);
    };
    if (!PlainId(id)) return keep();

    // After the header, in this order: group identifier, encryption method, data length.
    std::string_view d(body);
    std::string group, method;
    std::uint32_t dataLen = 0;
    const bool grouped = flags & 0x0040, compressed = flags & 0x0008, encrypted = flags & 0x0004;
    const bool hasLen = flags & 0x0001;
    if (grouped) {
        if (d.empty()) return keep();
        group = std::string(d.substr(0, 1));
        d.remove_prefix(1);
    }
    if (encrypted) {
        if (d.empty()) return keep();
        method = std::string(d.substr(0, 1));
        d.remove_prefix(1);
    }
    if (hasLen) {
        if (d.size() < 4) return keep();
        const auto *l = reinterpret_cast<const unsigned char *>(d.data());
        if (!DecodeSynchsafe(l, dataLen)) dataLen = DecodeBE32(l);
        d.remove_prefix(4);
    }
    const bool unsync = (flags & 0x0002) || (tagFlags & 0x80);
    const std::string resynced = unsync ? Resynchronise(d) : std::string();
    const std::string_view data = unsync ? std::string_view(resynced) : d;
    if (data.empty()) return;

    TagString t;
    t.flags = static_cast<std::uint16_t>(status | (grouped ? 0x0020 : 0));
    if (encrypted) {
        // Nothing here can be read; 2.3 carries it the same way if its size is known.
        if (compressed && !hasLen) return keep();
        t.flags |= 0x0040 | (compressed ? 0x0080 : 0);
        std::string head;
        if (compressed) {
            head.resize(4);
            EncodeBE32(dataLen, head.data());
        }
        t.body = head + method + group + std::string(data);
        StoreFrame(id, std::move(t), false);
        return;
    }
    if (compressed) {
        // Read through zlib, kept compressed as it came.
        const auto plain = Inflate(data, hasLen ? dataLen : 0);
        if (!plain || plain->empty()) return keep();
        std::string head(4, '\0');
        EncodeBE32(static_cast<std::uint32_t>(plain->size()), head.data());
        t.flags |= 0x0080;
        t.body = head + group + std::string(data);
        StoreFrame(id, std::move(t), false);
        const auto conv = DowngradeV24(id, *plain);
        FillField(conv ? conv->first : id, conv ? std::string_view(conv->second) : std::string_view(*plain));
        return;
    }
    if (id == "TDRC" || id == "TDOR") {
        const auto v = DateValue(data);
        if (!v) return keep();
        // Converted only where 2.3's frames give readers the same date back; a time of
        // day or a second value stays in the frame as it came.
        const size_t parts = DateFramesV24(id, *v).size();
        const bool same = DecodeValues(static_cast<unsigned char>(data[0]), data.substr(1)).size() == 1 &&
                          ((v->size() == 4 && parts == 1) || (id == "TDRC" && v->size() == 10 && parts == 2));
        dates.push_back({id, *v, frames_.size(), !same});
        if (same) return;
    }
    auto conv = DowngradeV24(id, data);
    if (!conv) {
        // Kept as it is: a slice of the tag when nothing was taken off it.
        FillField(id, data);
        if (group.empty() && !unsync && !hasLen) t.body = std::move(body);
        else t.body = group + std::string(data);
        StoreFrame(id, std::move(t), false);
        return;
    }
    FillField(conv->first, conv->second);
    t.body = group.empty() ? std::move(conv->second) : group + conv->second;
    StoreFrame(conv->first, std::move(t), false);
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

// ---------------------------------------------------------------- writing

void Mp3TagID3v2::CheckIds() const {
    RequireStore();
    for (const FrameEntry &e : frames_)
        if (e.id.find("ID3") == std::string::npos && e.id.size() < 4) Fail(kErrInvalidArgument, "Invalid procedure call or argument");
}

std::string Mp3TagID3v2::RenderTag(std::uint32_t sizeField) const {
    RequireStore();
    FillBodies();
    // Sized up front, with room for the padding the old tag's place usually leaves: kept
    // bodies (pictures) are copied once, straight into place, and never moved again.
    size_t total = 14 + kMinPadding + kPage + 4096;
    for (const FrameEntry &e : frames_)
        for (const TagString &t : e.tags) total += 10 + (t.body ? t.body->size() : t.text.size() * 2 + 16);
    std::string out;
    out.reserve(total);
    out.assign("ID3\x03\x00\x00", 6);
    out.resize(10);
    EncodeSynchsafe(sizeField, out.data() + 6);
    // Identifiers are upper case in every ID3 version. A frame read with another
    // identifier goes back as it came, but last: other readers stop at it.
    std::string odd;
    for (const FrameEntry &e : frames_) {
        if (e.id.find("ID3") != std::string::npos) continue;
        if (e.id.size() < 4) Fail(kErrInvalidArgument, "Invalid procedure call or argument");
        const std::string id = UpperId(e.id.substr(0, 4));
        for (const TagString &t : e.tags) {
            const std::string made = t.body ? std::string() : RenderTagString(id, t.text);
            const size_t size = t.body ? t.body->size() : made.size();
            if (size == 0) continue; // 2.3 has no empty frames
            const bool asRead = t.body && !PlainId(e.id);
            char head[10];
            std::copy_n((asRead ? e.id : id).begin(), 4, head);
            EncodeBE32(static_cast<std::uint32_t>(size), head + 4);
            head[8] = static_cast<char>(t.flags >> 8);
            head[9] = static_cast<char>(t.flags & 0xFF);
            std::string &to = asRead ? odd : out;
            to.append(head, sizeof head);
            if (t.body) t.body->AppendTo(to);
            else to.append(made);
        }
    }
    // The frame that ran past the old tag's end, as far as readers found it; a value
    // set for its frame replaces it.
    if (cut_ && PlainId(cut_->first)) {
        const FrameEntry *e = Find(cut_->first);
        if (!e || std::all_of(e->tags.begin(), e->tags.end(), [](const TagString &t) { return t.body.has_value(); })) {
            char head[10] = {};
            std::copy_n(cut_->first.begin(), 4, head);
            EncodeBE32(static_cast<std::uint32_t>(cut_->second.size()), head + 4);
            out.append(head, sizeof head).append(cut_->second);
        }
    }
    out += odd;
    out.append(4, '\0');
    return out;
}

void Mp3TagID3v2::Update() { WriteTag(); }

void Mp3TagID3v2::WriteTag() {
    CheckIds(); // a bad store fails before the file is opened
    File f(Source());
    f.Open(path_, File::Mode::ReadWrite);
    std::vector<fileops::Splice> plan;
    plan.push_back(PlanUpdate(f));
    fileops::ApplySplices(f, path_, plan, Source());
}

fileops::Splice Mp3TagID3v2::PlanUpdate(File &f) const {
    CheckIds();
    const std::int64_t len = f.Size();
    const std::int64_t start = FindTagStart(f, len);

    // Only the bytes proven to be the old tag and its padding may be written over; a
    // 2.4 footer among them becomes padding, so nothing stands between tag and audio.
    // A tag after other bytes is rewritten to the start: bytes in front of a tag can
    // pass for audio once the tag changes.
    const std::int64_t tagPos = start > 0 ? start - 4 : 0;
    TagBytes old;
    const TagRoom room = start > 0 ? MeasureTag(f, tagPos, len, &old) : TagRoom{};
    FillBodies(old);
    std::string buf = RenderTag(0);
    const std::int64_t total = static_cast<std::int64_t>(buf.size());
    if (total > kMaxTagSize) Fail(kErrInvalidArgument, "Invalid procedure call or argument");
    if (tagPos == 0 && room.proven > 0 && total <= room.proven) {
        buf.resize(static_cast<size_t>(room.proven), '\0');
        EncodeSynchsafe(static_cast<std::uint32_t>(room.end - 10), buf.data() + 6);
        fileops::Splice in{0, room.proven, std::move(buf)};
        if (static_cast<size_t>(room.proven) <= old.size) {
            in.old = std::string_view(old.data.get(), static_cast<size_t>(room.proven));
            in.keep = old.data;
        }
        return in;
    }
    // The new tag goes first and ends where the old one ended. The proven part of an
    // old tag at the start is replaced; anything else before the audio stays inside
    // the new tag, behind its padding.
    const std::int64_t oldEnd = room.end > 0 ? tagPos + room.end : 0;
    const std::int64_t cut = tagPos == 0 ? room.proven : 0;
    const std::int64_t kept = oldEnd - cut;
    std::int64_t newSize = total - 10 + kept + kMinPadding;
    newSize += ((cut + kept - 10 - newSize) % kPage + kPage) % kPage; // byte `cut` moves by whole pages
    if (newSize > kMaxTagSize) Fail(kErrInvalidArgument, "Invalid procedure call or argument");
    buf.resize(static_cast<size_t>(newSize + 10 - kept), '\0');
    EncodeSynchsafe(static_cast<std::uint32_t>(newSize), buf.data() + 6);
    return {0, cut, std::move(buf)};
}

} // namespace tags
