#include "Mp3TagID3v2.h"

#include "FileOps.h"
#include "FrameBody.h"
#include "FrameUpgrade.h"
#include "FrameWalk.h"
#include "SynchData.h"
#include "TagError.h"
#include "TagFile.h"

#include <algorithm>
#include <climits>

// Reading: the tag's frames into the store, each in its 2.3 form.
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


// 2.4 status flags (tag/file alter preservation, read only) sit one bit lower in 2.3.
std::uint16_t StatusIn23(std::uint16_t flags24) { return static_cast<std::uint16_t>(((flags24 >> 8) & 0x70) << 9); }


// The first value of a date frame's body.
std::optional<std::string> DateValue(std::string_view body) {
    if (body.empty()) return std::nullopt;
    const auto values = DecodeValues(static_cast<unsigned char>(body[0]), body.substr(1));
    if (values.empty()) return std::nullopt;
    return values.front();
}


} // namespace

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
    if (load) (*load)(0, kReadPiece);
    const size_t from = FramesStart(tag, version_, tagFlags);
    if (from == std::string_view::npos) return;
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
            ReadFrameV22(rawId, std::move(body));
        } else if (version_ == 3) {
            ReadFrameV23(rawId, fflags, std::move(body), dates);
        } else {
            ReadFrameV24(rawId, fflags, std::move(body), tagFlags, dates);
        }
    }
    ResolveDates(dates);
}

// A 2.2 frame under its 2.3 identifier; one that has none, or a picture that cannot be
// converted, is left out.
void Mp3TagID3v2::ReadFrameV22(const std::string &rawId, FrameBytes body) {
    std::string id = MapFrameIdV22(rawId);
    if (id.empty()) {
        auto conv = ConvertUnknownV22(rawId, body);
        if (!conv) return;
        id = std::move(conv->first);
        body = std::move(conv->second);
    }
    if (id == "APIC") {
        auto pic = ConvertPicV22(body);
        if (!pic) return;
        body = std::move(*pic);
    }
    TagString t;
    t.body = std::move(body);
    StoreFrame(id, std::move(t), true);
}

// The 2.4 date frames read in the walk, as the 2.3 fields they stand for.
void Mp3TagID3v2::ResolveDates(const std::vector<DateFrame> &dates) {
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
    if (size < kLeaveFrom || !PlainFrameId(id) || id == "TDRC" || id == "TDOR") return false;
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
    const size_t from = FramesStart(body, version_, tagFlags_);
    if (from == std::string_view::npos) changed();
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
    if (readable && PlainFrameId(id)) {
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
    if (!PlainFrameId(id)) return keep();

    std::string_view d(body);
    const std::optional<ExtrasV24> extras = TakeExtrasV24(flags, d);
    if (!extras) return keep();
    const std::string &group = extras->group, &method = extras->method;
    const std::uint32_t dataLen = extras->dataLen;
    const bool grouped = flags & 0x0040, compressed = flags & 0x0008, encrypted = flags & 0x0004;
    const bool hasLen = flags & 0x0001;
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

} // namespace tags
