#include "Mp3TagID3v2.h"

#include "FileEdit.h"
#include "FileOps.h"
#include "FrameBody.h"
#include "FrameWalk.h"
#include "SynchData.h"
#include "TagError.h"
#include "TagFile.h"

#include <algorithm>

// Writing: the store as a 2.3 tag, and where in the file it goes.
namespace tags {

using fileops::File;
using namespace id3v2;

namespace {

// A growing tag gets at least this much padding, so that later edits fit in place, and
// then as much more as keeps the audio at its place within a page: the system copies a
// file whose bytes move by whole pages far faster.
constexpr std::int64_t kMinPadding = 1024;
constexpr std::int64_t kPage = 4096;
// The largest size the 28 bits of a synchsafe header field can declare.
constexpr std::int64_t kMaxTagSize = (std::int64_t(1) << 28) - 1;


} // namespace

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
            const bool asRead = t.body && !PlainFrameId(e.id);
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
    if (cut_ && PlainFrameId(cut_->first)) {
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
