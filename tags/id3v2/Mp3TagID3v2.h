#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tags {

namespace fileops {
class File;
struct Splice;
}
namespace id3v2 {
struct TagBytes;
struct FrameSpan;
}

// The ID3v2 tag of one MP3 file: read in versions 2.2 to 2.4 into a frame store with
// named fields, edited, and written back as version 2.3. Setting MP3File reads at once;
// Update writes. Text is UTF-8. Errors are TagError with source "<exe>.cMP3ID3v2".
//
// Every frame read keeps its body bytes, so Update writes untouched frames (pictures,
// private data, UTF-16 texts) back unchanged; tag strings given to AddTag and the
// setters are written from their text. Large binary bodies are not read with the tag:
// Update takes them from the old tag it reads anyway, and fails with kErrChanged
// when that no longer holds them where they were.
class Mp3TagID3v2 {
public:
    // Store lookups that fail: an out-of-range position, and use before MP3File was set.
    static constexpr std::int32_t kErrSubscript = 9;
    static constexpr std::int32_t kErrNoStore = 91;
    // Update found the file's tag changed since it was read; nothing was written.
    static constexpr std::int32_t kErrChanged = 75;

    const std::string &MP3File() const { return path_; }
    void MP3File(const std::string &path);
    // Reads the tag of the file open for reading as f, as MP3File(f.Path()) would; for
    // reading it with the ID3v1 tag and the stream through one open.
    void ReadFrom(fileops::File &f);

    bool HasID3v2Tag() const { return tagStart_ >= 1; }
    std::uint8_t ID3v2TagVersion() const { return version_; }
    std::uint8_t TagVersion() const { return version_; }
    // 1-based file position just after the letters "ID3"; 0 without a tag.
    std::int32_t TagStart() const { return tagStart_; }

    // Frame store (positions are 1-based).
    std::int32_t FrameCount() const;
    std::string Frame(std::int32_t index) const;
    std::int32_t TagsInFrame(const std::string &frame) const;
    std::int32_t TagsInFrame(std::int32_t position) const;
    void AddTag(const std::string &sFrame, const std::string &sTag);
    void RemoveTag(const std::string &sFrame, std::int32_t tagIndex);
    void RemoveFrame(const std::string &frame);
    void RemoveFrame(std::int32_t position);

    std::string GenreName(std::uint8_t genre) const;

    void Update();
    // The change Update makes to the file open as f (for a write together with ID3v1).
    fileops::Splice PlanUpdate(fileops::File &f) const;

    // Named fields: the getter returns the field; the setter stores it and replaces
    // the frame's content with one tag string.
    const std::string &Title() const { Fields(); return title_; }
    void Title(const std::string &v);
    const std::string &Artist() const { Fields(); return artist_; }
    void Artist(const std::string &v);
    const std::string &Album() const { Fields(); return album_; }
    void Album(const std::string &v);
    const std::string &Year() const { Fields(); return year_; }
    void Year(const std::string &v);
    const std::string &Comment() const { Fields(); return comment_; }
    void Comment(const std::string &v);
    const std::string &Track() const { Fields(); return track_; }
    void Track(const std::string &v);
    std::uint8_t Genre() const { Fields(); return genre_; }
    void Genre(std::uint8_t v);
    const std::string &OtherGenreName() const { Fields(); return otherGenreName_; }
    void OtherGenreName(const std::string &v);
    const std::string &Lyrics() const { Fields(); return lyrics_; }
    void Lyrics(const std::string &v);
    const std::string &LinkTo() const { Fields(); return linkTo_; }
    void LinkTo(const std::string &v);
    const std::string &EncodedBy() const { Fields(); return encodedBy_; }
    void EncodedBy(const std::string &v);
    const std::string &PlayCounter() const { Fields(); return playCounter_; }
    void PlayCounter(const std::string &v);
    const std::string &OriginalArtist() const { Fields(); return originalArtist_; }
    void OriginalArtist(const std::string &v);
    const std::string &Composer() const { Fields(); return composer_; }
    void Composer(const std::string &v);
    const std::string &Copyright() const { Fields(); return copyright_; }
    void Copyright(const std::string &v);
    const std::string &AudioURL() const { Fields(); return audioURL_; }
    void AudioURL(const std::string &v);
    const std::string &BuyURL() const { Fields(); return buyURL_; }
    void BuyURL(const std::string &v);
    const std::string &ArtistURL() const { Fields(); return artistURL_; }
    void ArtistURL(const std::string &v);

    static std::string Source();

    // The 2.3 tag Update would write now: header with the given size field, frames,
    // four closing zero bytes. Fails with 5 on an identifier shorter than 4 characters.
    std::string RenderTag(std::uint32_t sizeField) const;

private:
    // A frame body: bytes of its own, or a slice of the tag as read, which it shares
    // rather than copies (a cover picture is read once and written once).
    // A body can also still be in the file, known by the frame header in front of it,
    // until the write fills it in from the old tag's bytes.
    class FrameBytes {
    public:
        FrameBytes(std::string bytes) {
            auto own = std::make_shared<const std::string>(std::move(bytes));
            view_ = *own;
            buf_ = std::move(own);
        }
        FrameBytes(std::shared_ptr<const void> tag, std::string_view bytes) : buf_(std::move(tag)), view_(bytes) {}
        // `size` body bytes behind the frame header `head` at `at` in the tag body; with
        // `front`, the body's first `skip` bytes are to be written as that instead.
        FrameBytes(size_t at, std::string_view head, size_t size, std::string front = {}, size_t skip = 0)
            : head_(head), front_(std::move(front)), at_(at), size_(size), skip_(skip) {}
        operator std::string_view() const { return view(); }
        std::string_view view() const {
            Join();
            return view_;
        }
        size_t size() const { return InFile() ? size_ : front_.size() + view_.size(); }
        bool empty() const { return size() == 0; }
        bool InFile() const { return !head_.empty(); }
        size_t at() const { return at_; }
        const std::string &head() const { return head_; }
        // The body from the old tag's bytes; a new front stays apart until asked for.
        void Fill(std::shared_ptr<const void> tag, std::string_view bytes) const {
            head_.clear();
            buf_ = std::move(tag);
            view_ = bytes.substr(skip_);
        }
        // Appends the body to a tag being written: a picture behind a new front is
        // copied once, straight into place.
        void AppendTo(std::string &out) const { out.append(front_).append(view_); }

    private:
        void Join() const {
            if (front_.empty() || InFile()) return;
            auto own = std::make_shared<std::string>(std::move(front_));
            front_.clear();
            own->append(view_);
            view_ = *own;
            buf_ = std::move(own);
        }
        mutable std::shared_ptr<const void> buf_; // keeps the bytes of view_ alive
        mutable std::string_view view_;
        mutable std::string head_; // the frame header while the body is in the file
        mutable std::string front_;
        size_t at_ = 0, size_ = 0, skip_ = 0;
    };
    struct TagString {
        std::string text;                // as given to AddTag
        std::optional<FrameBytes> body;  // 2.3 body kept from the file
        std::uint16_t flags = 0;         // 2.3 frame flags kept from the file
    };
    struct FrameEntry {
        std::string id;
        std::vector<TagString> tags;
    };
    // A date frame seen on reading: its 2.3 frames go where it stood.
    struct DateFrame {
        std::string id, value;
        size_t at = 0; // position in the frame list
        bool kept = false; // the frame stays as it is and only gives the year
    };

    void Reset();
    void ReadTag(fileops::File &f);
    void ReadFrames(fileops::File &f, std::int64_t fileLen);
    // `load`, when given, reads bytes of the tag body before they are looked at.
    void ParseFrames(const std::shared_ptr<const void> &owner, std::string_view tag, int flags,
                     const std::function<void(size_t, size_t)> *load = nullptr);
    // Holds what the tag has of a frame that runs past its end, for writing it back.
    void KeepCutFrame(std::string_view tag, const id3v2::FrameSpan &span, const std::function<void(size_t, size_t)> *load);
    // With `recoded`, whether the body could stay there once its front is re-encoded.
    bool LeftInFile(const std::string &id, const unsigned char *header, size_t size, int tagFlags,
                    bool recoded = false) const;
    // Fills the bodies left in the file from the old tag's bytes (header first); fails
    // with kErrChanged where they are not there as they were.
    void FillBodies(const id3v2::TagBytes &old) const;
    void FillBodies() const;
    void CheckIds() const;
    void ReadFrameV22(const std::string &rawId, FrameBytes body);
    void ReadFrameV23(const std::string &id, std::uint16_t flags, FrameBytes body, std::vector<DateFrame> &dates);
    void ResolveDates(const std::vector<DateFrame> &dates);
    void ReadFrameV24(const std::string &id, std::uint16_t flags, FrameBytes body, int tagFlags,
                      std::vector<DateFrame> &dates);
    void StoreFrame(const std::string &id, TagString tag, bool fillField);
    // Queues a 2.3 body for its named field; bodies of frames without one are skipped.
    void FillField(const std::string &id, std::string_view body);
    // Fields are decoded from their queued bodies when one is first asked for.
    void Fields() const {
        if (!pending_.empty()) DecodeFields();
    }
    void DecodeFields() const;
    void ApplyField(const std::string &id, std::string text) const;
    void ApplyGenre(const std::string &text) const;
    void ReplaceFrame(const char *frame, const std::string &tagString);
    void SetField(std::string &field, const std::string &value, const char *frame, const std::string &tagString);
    void RequireStore() const;
    [[noreturn]] void Fail(std::int32_t number, const char *description) const;
    const FrameEntry *Find(const std::string &id) const;
    FrameEntry *Find(const std::string &id);
    void WriteTag();

    std::string path_;
    bool hasStore_ = false;
    std::int32_t tagStart_ = 0;
    std::uint8_t version_ = 0;
    std::vector<FrameEntry> frames_;
    int tagFlags_ = 0;
    mutable bool inFile_ = false; // some bodies are still in the file
    std::optional<std::pair<std::string, std::string>> cut_; // 2.3 identifier and body

    struct PendingField {
        std::string id;
        std::string body;
    };
    mutable std::vector<PendingField> pending_; // in file order
    mutable std::string title_, artist_, album_, year_, comment_, track_;
    mutable std::uint8_t genre_ = 255;
    mutable std::string otherGenreName_, lyrics_, linkTo_, encodedBy_, playCounter_, originalArtist_;
    mutable std::string composer_, copyright_, audioURL_, buyURL_, artistURL_;
};

} // namespace tags
