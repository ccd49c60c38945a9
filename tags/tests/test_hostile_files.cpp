// Files as other programs leave them, and as the system holds them (owner, group, mode,
// every hard link's view): after a title write, both independent readers see the new
// title and every other frame as before, and the audio and trailers are untouched.
#include "TestUtil.h"
#include "WriteCheck.h"

#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace id3bytes;
using streambytes::Mpeg;
using namespace tags;
using namespace testutil;
namespace fs = std::filesystem;

namespace {

struct Hostile {
    const char *name;
    std::string front; // what precedes the audio: the tag, junk
    std::string audio; // first MPEG frame to the end of the last
    std::string trailer = {};
    std::string reference = {}; // a clean twin for frames a reader cannot see in `front`
    std::string kept = {};      // bytes that must still be in the file
};

std::string Sized(std::string tag, std::uint32_t size) { return tag.replace(6, 4, Synchsafe(size)); }

class HostileWrite : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileWrite, KeepsAudioAndFrames) {
    const Hostile &h = GetParam();
    TempDir dir;
    const std::string path = dir.file("f.mp3");
    const std::string before = h.front + h.audio + h.trailer;
    WriteAll(path, before);
    WriteTitle<Mp3TagID3v2>(path, "Neu");
    const std::string ref = h.reference.empty() ? std::string() : h.reference + h.audio + h.trailer;
    EXPECT_TRUE(writecheck::WriteKept(before, path, {"Neu", h.audio, h.trailer, {}, ref}));
    EXPECT_NE(testutil::ReadAll(path).find(h.kept), std::string::npos);
}

const Mpeg kV1{};
const Mpeg kV2{2, 3, 64, 22050};
const Mpeg kLayer2{1, 2, 192, 48000};
const Mpeg kV2Layer1Crc{2, 1, 64, 24000, true};

const std::string kFrames = Frame("TIT2", Text("Alt")) + Frame("TPE1", Text("Band")) + Frame("TALB", Text("Platte"));
const std::string kFrames24 =
    Frame24("TIT2", Text("Anhang")) + Frame24("TPE1", Utf8Text("K\xC3\xBCnstler")) + Frame24("TDRC", Text("2004")) +
    Frame24("TRCK", Text("7"));
const std::string kTag = Tag(3, kFrames, 256);

// "ID3" with a plausible header and zero bytes inside an audio frame.
std::string LettersInAudio(const Mpeg &m) {
    return streambytes::Stream(m, 3) + streambytes::Frame(m, std::string("ID3\x03\x00\x00", 6) + Synchsafe(60) + std::string(80, '\0')) +
           streambytes::Stream(m, 20, 30);
}
// Appended tags and concatenated parts: the scan must stop at the audio, whatever its kind.
INSTANTIATE_TEST_SUITE_P(Location, HostileWrite, ::testing::Values(
    Hostile{"mpeg2_appended_footer", "", streambytes::Stream(kV2, 30), Tag24WithFooter(kFrames24) + V1("v1")},
    Hostile{"layer2_lyrics3", "", streambytes::Stream(kLayer2, 30), Tag(3, kFrames) + streambytes::Lyrics3v2("la") + V1("v1")},
    Hostile{"mpeg2_layer1_crc", "", streambytes::Stream(kV2Layer1Crc, 30), Tag(4, kFrames24, 10)},
    Hostile{"concatenated", kTag, streambytes::Stream(kV2, 20) + Tag(3, kFrames, 100) + streambytes::Stream(kV2, 20, 50)},
    Hostile{"letters_in_audio", "", LettersInAudio(kV1)}), testutil::RowName);

const std::string kAfter = Frame("APIC", std::string("\0image/png\0\3\0", 13) + "\x89PNG" + std::string(300, 'p')) +
                           Frame("PRIV", std::string("owner\0\1\2\3", 9)) + Frame("TXXX", Text(std::string("k\0v", 3)));
// Frames after an identifier other readers reject: all of them survive, and the odd one
// too (other readers skip or stop at it, as before).
Hostile Odd(const char *name, const std::string &frame, const Mpeg &m) {
    return {name, Tag(3, kFrames + frame + kAfter, 64), streambytes::Stream(m, 20), "", Tag(3, kFrames + kAfter, 64), frame};
}
INSTANTIATE_TEST_SUITE_P(OddFrameId, HostileWrite, ::testing::Values(
    Odd("high_byte", Frame("T\xC4LB", Text("x")), kV1), Odd("space", Frame("TX X", Text("x")), kV2)), testutil::RowName);

// 2.4 frames that 2.3 carries only as they are, or in another text encoding.
std::string V24(const std::string &frame) { return Tag(4, kFrames24 + frame + Frame24("TALB", Text("Platte")), 32); }
const std::string kPic = std::string("\0image/png\0\3\0", 13) + "\x89PNG" + std::string(500, 'p');
INSTANTIATE_TEST_SUITE_P(V24Frames, HostileWrite, ::testing::Values(
    Hostile{"compressed_picture", V24(Frame24("APIC", Synchsafe(static_cast<std::uint32_t>(kPic.size())) + Deflate(kPic), 0x0009)),
            streambytes::Stream(kV1, 20)},
    Hostile{"encrypted", V24(Frame24("ENCR", std::string("me@x\0\x80", 6)) + Frame24("PRIV", std::string("\x80\0\0\0\x08secret!!", 13), 0x0005)),
            streambytes::Stream(kV1, 20)},
    Hostile{"encrypted_without_length", V24(Frame24("ENCR", std::string("me@x\0\x80", 6)) + Frame24("PRIV", "\x80secret!!", 0x0004)),
            streambytes::Stream(kV1, 20)},
    Hostile{"txxx_geob_utf8", V24(Frame24("TXXX", Utf8Text(std::string("Sch\xC3\xBCssel\0Wert", 14))) +
                                  Frame24("GEOB", std::string("\3text/plain\0a.txt\0d\0DATA", 25))), streambytes::Stream(kV1, 20)}),
    testutil::RowName);

// Empty frames: 2.3 forbids them and other readers stop at one.
INSTANTIATE_TEST_SUITE_P(ZeroSize, HostileWrite, ::testing::Values(
    Hostile{"first", Tag(3, Frame("TCOM", "") + kFrames + kAfter, 64), streambytes::Stream(kV1, 20), "",
            Tag(3, kFrames + kAfter, 64)},
    Hostile{"middle_v24", Tag(4, kFrames24 + Frame24("TCOM", "") + Frame24("TALB", Text("x")), 64), streambytes::Stream(kV1, 20), "",
            Tag(4, kFrames24 + Frame24("TALB", Text("x")), 64)}), testutil::RowName);

// A 2.4 footer must not stay between the new tag and the audio.
INSTANTIATE_TEST_SUITE_P(Footer, HostileWrite, ::testing::Values(
    Hostile{"in_place", Tag24WithFooter(kFrames24, 200), streambytes::InfoFrame(kV1, 20) + streambytes::Stream(kV1, 20)},
    // TagLib misses the last frame before a footer when there is no padding.
    Hostile{"growing", Tag24WithFooter(kFrames24), streambytes::InfoFrame(kV1, 20) + streambytes::Stream(kV1, 20), "",
            Tag(4, kFrames24)}),
    testutil::RowName);

// As taggers in the wild leave them. 2.4 sizes written as plain numbers: 300 read as
// synchsafe lands on the zero bytes of the private frame.
const std::string kPriv = Frame("PRIV", "owner" + std::string(295, '\0'));
const std::string kCut = Tag(3, kFrames + Frame("TCOM", Text("Komponist")));
const std::string kInfoAudio = streambytes::InfoFrame(kV1, 20) + streambytes::Stream(kV1, 20);
INSTANTIATE_TEST_SUITE_P(Wild, HostileWrite, ::testing::Values(
    Hostile{"v24_plain_sizes", Tag(4, kFrames + kPriv + Frame("TCOM", Text(std::string(200, 'a'))) + Frame("TRCK", Text("3")), 64),
            streambytes::Stream(kV1, 20)},
    Hostile{"v22_sort_ids", Tag(2, Frame22("TT2", Text("Alt")) + Frame22("TST", Text("st")) + Frame22("TSA", Text("sa")) +
                                            Frame22("TSP", Text("sp")) + Frame22("TS2", Text("s2")) + Frame22("TSC", Text("sc")) +
                                            Frame22("TAL", Text("Platte")), 32), streambytes::Stream(kV1, 20)},
    // Frames 2.2 has no 2.3 name for: found as user-defined or private frames afterwards.
    Hostile{"v22_odd_ids", Tag(2, Frame22("TT2", Text("Alt")) + Frame22("TKW", Text("k")) + Frame22("WZZ", "http://z") +
                                   Frame22("XYZ", "\1\2"), 32),
            streambytes::Stream(kV1, 20), "",
            Tag(3, Frame("TIT2", Text("Alt")) + Frame("TXXX", Text(std::string("TKW\0k", 5))) +
                       Frame("WXXX", Text(std::string("WZZ\0http://z", 12))) + Frame("PRIV", std::string("XYZ\0\1\2", 6)))},
    Hostile{"v24_values", Tag(4, kFrames24 + Frame24("TPE2", Text(std::string("piman\0jzig", 10))) +
                                     Frame24("TCOM", Utf8Text(std::string("a\0\xC3\xBC", 4))), 32), streambytes::Stream(kV1, 20)},
    Hostile{"v24_footer_flag_without_footer", Tag24WithFooter(kFrames24, 64).substr(0, Tag24WithFooter(kFrames24, 64).size() - 10),
            Filler(40) + streambytes::Stream(kV1, 20)},
    Hostile{"v24_date_with_time", Tag(4, Frame24("TIT2", Text("Alt")) + Frame24("TDRC", Text("2001-05-06T07:08")), 32),
            streambytes::Stream(kV1, 20)},
    // A cover over 2 MiB: the size fields' top bytes count.
    Hostile{"cover_over_2_mib", Tag(3, kFrames + Frame("APIC", std::string("\0image/png\0\3\0", 13) + Filler(2200000)), 64),
            streambytes::Stream(kV1, 20)},
    // Tags that claim the audio: readers skip the whole file; a clean twin says what they should find.
    Hostile{"size_past_the_file", Sized(kTag, 100000), streambytes::Stream(kV1, 20), "", kTag},
    // No padding: the audio's information frame starts right after the frames.
    Hostile{"size_past_the_file_no_padding", Sized(Tag(3, kFrames), 100000), kInfoAudio, "", Tag(3, kFrames)},
    Hostile{"size_into_the_audio_no_padding", Sized(Tag(3, kFrames), static_cast<std::uint32_t>(kFrames.size()) + 500), kInfoAudio, "",
            Tag(3, kFrames)},
    Hostile{"size_to_the_file_end", Sized(kTag, 256 + kFrames.size() + static_cast<std::uint32_t>(streambytes::Stream(kV1, 20).size())),
            streambytes::Stream(kV1, 20), "", kTag},
    Hostile{"frame_past_the_tag", Sized(kCut, static_cast<std::uint32_t>(kCut.size() - 14)), streambytes::Stream(kV1, 20)}),
    testutil::RowName);

constexpr uid_t kNobody = 65534;

struct IdentityRow {
    const char *name;
    bool asNobody; // write as an ordinary user instead of root
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool secondName; // a hard link beside the file
    bool symlink = false; // written through a symbolic link to it
};

class FileIdentity : public ::testing::TestWithParam<IdentityRow> {};

TEST_P(FileIdentity, GrowingWriteKeepsOwnerModeAndLinks) {
    const IdentityRow &r = GetParam();
    if (::geteuid() != 0 && (r.asNobody || r.owner || r.group)) GTEST_SKIP() << "needs root to hand the file to another owner";
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const std::string path = dir.file("a.mp3"), other = dir.file("b.mp3");
    const std::string audio = streambytes::Stream({}, 40), trailer = V1("alt", "Band");
    const std::string before = Tag(3, Frame("TIT2", Text("alt")) + Frame("TPE1", Text("B")), 20) + audio + trailer;
    WriteAll(path, before);
    ASSERT_EQ(::chown(path.c_str(), r.owner, r.group), 0);
    ASSERT_EQ(::chmod(path.c_str(), r.mode), 0);
    if (r.secondName) fs::create_hard_link(path, other);
    if (r.symlink) fs::create_symlink(path, other);
    struct stat was {};
    ASSERT_EQ(::stat(path.c_str(), &was), 0);

    const std::string title(3000, 'n'); // far beyond the old tag: the growth path
    auto write = [&] {
        try {
            return testutil::WriteTitle<Mp3TagID3v2>(r.symlink ? other : path, title), 0;
        } catch (const TagError &e) {
            return e.number();
        }
    };
    ASSERT_EQ(r.asNobody ? testutil::AsOrdinaryUser(write) : write(), 0);

    struct stat now {};
    ASSERT_EQ(::stat(path.c_str(), &now), 0);
    EXPECT_EQ(std::tuple(now.st_uid, now.st_gid, now.st_mode, now.st_nlink),
              std::tuple(was.st_uid, was.st_gid, was.st_mode, was.st_nlink));
    struct stat o {};
    if (r.secondName) {
        EXPECT_TRUE(::stat(other.c_str(), &o) == 0 && o.st_ino == now.st_ino) << "the names were split";
    }
    EXPECT_EQ(fs::is_symlink(other), r.symlink);
    EXPECT_EQ(Names(dir.path()).size(), r.secondName || r.symlink ? 2u : 1u);
    EXPECT_TRUE(writecheck::WriteKept(before, path, {title, audio, trailer, {}}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileIdentity,
    ::testing::Values(IdentityRow{"root_keeps_another_owner", false, kNobody, kNobody, 0640, false},
                      IdentityRow{"user_keeps_root_as_owner", true, 0, 0, 0666, false},
                      IdentityRow{"both_hard_links_see_the_write", false, 0, 0, 0644, true},
                      IdentityRow{"user_writes_a_linked_file_of_root", true, 0, kNobody, 0666, true},
                      IdentityRow{"through_a_symbolic_link", false, 0, 0, 0640, false, true},
                      IdentityRow{"no_mode_bits", false, 0, 0, 0, false}), testutil::RowName);

} // namespace
