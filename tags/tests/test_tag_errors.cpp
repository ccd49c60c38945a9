// Every error the tag classes raise themselves or pass on from opening a file: number,
// source and text, and the file as it was (write faults: test_write_faults.cpp).
#include "FieldWrite.h"
#include "TestUtil.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

using namespace tags;
using namespace id3bytes;
namespace fs = std::filesystem;

namespace {

struct ErrorRow {
    const char *name;
    std::function<void(const std::string &path)> act; // on a file holding `before`
    int number;
    const char *source;
    std::string description = {}; // empty: any non-empty text
    std::string before = Tag(3, Frame("TIT2", Text("T")) + Frame("TPE1", Text("A")) + Frame("TALB", Text("L")), 100) +
                         testutil::Filler(500);
};

class TagErrors : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(TagErrors, NumberSourceTextAndTheFileKept) {
    const ErrorRow &r = GetParam();
    testutil::TempDir dir;
    const std::string path = dir.file("a.mp3");
    testutil::WriteAll(path, r.before);
    testutil::ExpectTagError([&] { r.act(path); }, r.number, r.source, r.description);
    // Nothing beside the file, and the file unchanged unless the row removed it.
    for (const auto &e : fs::directory_iterator(dir.path())) EXPECT_EQ(e.path().filename(), "a.mp3");
    if (fs::exists(path)) {
        EXPECT_TRUE(testutil::SameBytes(testutil::ReadAll(path), r.before));
    }
}

// Acts on a tag object bound to the file.
template <class T>
std::function<void(const std::string &)> Bound(std::function<void(T &, const std::string &)> fn) {
    return [fn](const std::string &path) {
        T t;
        t.MP3File(path);
        fn(t, path);
    };
}
using V2 = Mp3TagID3v2;
using V1 = Mp3TagID3v1;
constexpr const char *kV2 = "tags_tests.cMP3ID3v2";
constexpr const char *kV1 = "tags_tests.cMP3ID3v1";
const std::string kBadArgument = "Invalid procedure call or argument";
const std::string kNotFound = SystemErrorText(fileops::kErrNotFound);
const std::string kNoStore = "Object variable or With block variable not set";
#ifdef _WIN32
constexpr int kNoFolder = 3; // ERROR_PATH_NOT_FOUND
#else
constexpr int kNoFolder = fileops::kErrNotFound;
#endif

INSTANTIATE_TEST_SUITE_P(Open, TagErrors, ::testing::Values(
    ErrorRow{"v2_missing_file", [](const std::string &p) { V2().MP3File(p + "x"); }, fileops::kErrNotFound, kV2, kNotFound},
    ErrorRow{"v1_missing_folder", [](const std::string &p) { V1().MP3File(p.substr(0, p.size() - 5) + "x/a.mp3"); }, kNoFolder, kV1,
             SystemErrorText(kNoFolder)},
    // A file gone between reading and writing is not made anew.
    ErrorRow{"v2_file_gone", Bound<V2>([](V2 &t, const std::string &p) { t.Title("x"), fs::remove(p), t.Update(); }),
             fileops::kErrNotFound, kV2, kNotFound},
    ErrorRow{"v1_file_gone", Bound<V1>([](V1 &t, const std::string &p) { t.Title("x"), fs::remove(p), t.Update(); }),
             fileops::kErrNotFound, kV1, kNotFound},
    // A bad identifier fails before the file is opened.
    ErrorRow{"v2_short_identifier", Bound<V2>([](V2 &t, const std::string &p) { t.AddTag("TT", "x"), fs::remove(p), t.Update(); }),
             5, kV2, kBadArgument}), testutil::RowName);

// The frame store's own errors: arguments out of range, no store before MP3File.
INSTANTIATE_TEST_SUITE_P(Store, TagErrors, ::testing::Values(
    ErrorRow{"remove_frame_missing", Bound<V2>([](V2 &t, const std::string &) { t.RemoveFrame("COMM"); }), 5, kV2, kBadArgument},
    ErrorRow{"remove_frame_0", Bound<V2>([](V2 &t, const std::string &) { t.RemoveFrame(0); }), 5, kV2, kBadArgument},
    ErrorRow{"remove_frame_past_the_end", Bound<V2>([](V2 &t, const std::string &) { t.RemoveFrame(4); }), 5, kV2, kBadArgument},
    ErrorRow{"remove_tag_0", Bound<V2>([](V2 &t, const std::string &) { t.RemoveTag("TIT2", 0); }), 5, kV2, kBadArgument},
    ErrorRow{"remove_tag_past_the_end", Bound<V2>([](V2 &t, const std::string &) { t.RemoveTag("TIT2", 2); }), 5, kV2, kBadArgument},
    ErrorRow{"remove_tag_missing_frame", Bound<V2>([](V2 &t, const std::string &) { t.RemoveTag("COMM", 1); }), 5, kV2, kBadArgument},
    ErrorRow{"frame_0", Bound<V2>([](V2 &t, const std::string &) { t.Frame(0); }), V2::kErrSubscript, kV2, "Subscript out of range"},
    ErrorRow{"frame_past_the_end", Bound<V2>([](V2 &t, const std::string &) { t.Frame(4); }), V2::kErrSubscript, kV2},
    ErrorRow{"no_store_count", [](const std::string &) { V2().FrameCount(); }, V2::kErrNoStore, kV2, kNoStore},
    ErrorRow{"no_store_update", [](const std::string &) { V2().Update(); }, V2::kErrNoStore, kV2, kNoStore}),
    testutil::RowName);

// Another program changes the tag between reading and writing, where the large body the
// write takes from the file stood: the write fails and leaves the other program's file.
// `before` is that file; the tag read first had the picture behind one title frame.
const std::string kPicture = testutil::Filler(9000, 3);
const std::string kPic = Frame("APIC", std::string("\0image/png\0\3\0", 13) + kPicture);
const std::string kAudio = testutil::Filler(500);
const std::string kLongTitle = Frame("TIT2", Text(std::string(9000, 't')));
// A 2.4 picture whose description 2.3 re-encodes; the picture itself stays in the file.
const std::string kPic24 = Frame24("APIC", std::string("\3image/png\0\3\xC3\x84\0", 15) + kPicture);
std::function<void(const std::string &)> ChangedUnderneath(
    const std::string &first = Tag(3, Frame("TIT2", Text("T")) + kPic, 100) + kAudio) {
    return [first](const std::string &p) {
        const std::string now = testutil::ReadAll(p);
        testutil::WriteAll(p, first);
        V2 t;
        t.MP3File(p);
        testutil::WriteAll(p, now);
        t.Title("new");
        t.Update();
    };
}
INSTANTIATE_TEST_SUITE_P(Changed, TagErrors, ::testing::Values(
    ErrorRow{"frame_put_in_front", ChangedUnderneath(), V2::kErrChanged, kV2, {},
             Tag(3, Frame("TIT2", Text("T")) + Frame("TPE1", Text("A")) + kPic, 100) + kAudio},
    ErrorRow{"picture_shorter", ChangedUnderneath(), V2::kErrChanged, kV2, {},
             Tag(3, Frame("TIT2", Text("T")) + kPic.substr(0, 8000).replace(4, 4, BE32(7990)), 100) + kAudio},
    ErrorRow{"tag_gone", ChangedUnderneath(), V2::kErrChanged, kV2, {}, kAudio},
    // A body of 2048 bytes past the first piece read is the smallest that stays in the file.
    ErrorRow{"smallest_body_left", ChangedUnderneath(Tag(3, kLongTitle + Frame("APIC", kPic.substr(10, 2048))) + kAudio),
             V2::kErrChanged, kV2, {}, Tag(3, kLongTitle + Frame("APIC", kPic.substr(10, 2047))) + kAudio},
    ErrorRow{"recoded_picture_shorter", ChangedUnderneath(Tag(4, kPic24, 100) + kAudio), V2::kErrChanged, kV2, {},
             Tag(4, kPic24.substr(0, 8000).replace(4, 4, Synchsafe(7990)), 100) + kAudio},
    ErrorRow{"now_unsynchronised", ChangedUnderneath(), V2::kErrChanged, kV2, {},
             Tag(3, Frame("TIT2", Text("T")) + kPic, 100, 0x80) + kAudio},
    ErrorRow{"now_2_4", ChangedUnderneath(), V2::kErrChanged, kV2, {}, Tag(4, Frame("TIT2", Text("T")) + kPic, 100) + kAudio},
    ErrorRow{"picture_flags", ChangedUnderneath(), V2::kErrChanged, kV2, {},
             Tag(3, Frame("TIT2", Text("T")) + Frame("APIC", kPic.substr(10), 0x0020), 100) + kAudio}), testutil::RowName);

// Anything that is not a regular file is refused at once, by every entry.
struct Odd {
    const char *name;
    std::function<std::string(const testutil::TempDir &)> make;
    int err;
    const char *kind = nullptr; // what the error calls it
};
const Odd kOdd[] = {
    {"folder", [](const testutil::TempDir &d) { return fs::create_directory(d.file("d.mp3")), d.file("d.mp3"); }, fileops::kErrIsFolder},
#ifdef _WIN32
    {"device", [](const testutil::TempDir &) { return std::string("\\\\.\\NUL"); }, fileops::kErrInvalid},
#else
    {"fifo", [](const testutil::TempDir &d) { return ::mkfifo(d.file("f.mp3").c_str(), 0644), d.file("f.mp3"); }, EINVAL,
     "a FIFO (named pipe)"},
    // A null device of its own: a write that went through would replace the node, not the system's.
    {"device_through_link", [](const testutil::TempDir &d) {
         if (::mknod(d.file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) return std::string();
         return fs::create_symlink(d.file("null"), d.file("n.mp3")), d.file("n.mp3");
     }, EINVAL, "a device"},
#endif
};

class NotRegular : public ::testing::TestWithParam<Odd> {};

TEST_P(NotRegular, IsRefusedAtOnceByEveryEntry) {
    testutil::TempDir dir;
    const std::string path = GetParam().make(dir);
    if (path.empty()) GTEST_SKIP() << "no device node without root";
    // Update on an object whose read failed: the path is bound all the same.
    auto update = [&](auto t) {
        try {
            t.MP3File(path);
        } catch (const TagError &) {
        }
        t.Update();
    };
    const std::pair<const char *, std::function<void()>> entries[] = {
        {kV1, [&] { V1().MP3File(path); }}, {kV2, [&] { V2().MP3File(path); }}, {kV1, [&] { update(V1()); }},
        {kV2, [&] { update(V2()); }}, {kV1, [&] {
             V1 v1;
             V2 v2;
             FieldValues v;
             v.title = "x";
             WriteFields(path, v, v1, v2);
         }}};
#ifndef _WIN32
    ::alarm(20); // a blocking open ends the test here
#endif
    const std::string says = GetParam().kind ? path + " is " + GetParam().kind + ", not an MP3 file." : "";
    for (const auto &[source, run] : entries) testutil::ExpectTagError(run, GetParam().err, source, says);
#ifndef _WIN32
    ::alarm(0);
#endif
}

INSTANTIATE_TEST_SUITE_P(Kinds, NotRegular, ::testing::ValuesIn(kOdd), testutil::RowName);

TEST(TagErrors, EmptyFileIsNoValidMp3) {
    testutil::TempDir dir;
    const std::string path = dir.file("e.mp3");
    testutil::WriteAll(path, "");
    V1 t;
    t.MP3File(path);
    testutil::ExpectTagError([&] { t.Update(); }, static_cast<int>(0x80041001u), kV1, path + " is not a valid MP3 file.");
    EXPECT_EQ(testutil::ReadAll(path), "");
}

} // namespace
