#include "Mp3TagID3v2.h"

#include "FileOps.h"
#include "TagError.h"
#include "id3v1/Genres.h"

#include <algorithm>

namespace tags {

using fileops::File;
using namespace id3v2;

namespace {

bool SameId(std::string_view a, std::string_view b) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return up(x) == up(y); });
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

void Mp3TagID3v2::StoreFrame(const std::string &id, TagString tag, bool fillField) {
    FrameEntry *e = Find(id);
    if (!e) {
        frames_.push_back(FrameEntry{id, {}});
        e = &frames_.back();
    }
    if (fillField) FillField(id, tag.body ? std::string_view(*tag.body) : std::string_view());
    e->tags.push_back(std::move(tag));
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

} // namespace tags
