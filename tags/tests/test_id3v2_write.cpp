// Where an ID3v2 write puts the new tag, what it writes over and what it keeps.
#include "TestUtil.h"

using namespace tags;
using namespace id3bytes;
using namespace testutil;

namespace {

struct LayoutRow {
    const char *name;
    std::string before;
    std::function<void(Mp3TagID3v2 &)> change;
    std::string frames;     // the new tag's frames, in order
    // Its size field. A tag that grows gets 1024 bytes of padding and then as many as
    // make the bytes after it move by whole 4096-byte pages.
    std::uint32_t declared;
    // before[keptFrom, tailFrom) stays at the end of the new tag's room, before[tailFrom, end) follows it.
    size_t keptFrom = 0, tailFrom = 0;
};

// A 2.3 tag with these frames and this size field, whose room ends with `kept`.
std::string Laid(const std::string &frames, std::uint32_t declared, const std::string &kept) {
    std::string t = Tag(3, frames, declared - frames.size());
    return t.replace(t.size() - kept.size(), kept.size(), kept);
}

class ID3v2Layout : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(ID3v2Layout, FileAfterUpdate) {
    const LayoutRow &r = GetParam();
    TempDir dir;
    const std::string path = dir.file("a.mp3");
    WriteAll(path, r.before);
    Mp3TagID3v2 t;
    t.MP3File(path);
    r.change(t);
    t.Update();
    const std::string want = Laid(r.frames, r.declared, r.before.substr(r.keptFrom, r.tailFrom - r.keptFrom)) +
                             r.before.substr(r.tailFrom);
    EXPECT_TRUE(testutil::SameBytes(ReadAll(path), want));
}

auto Title(const std::string &s) {
    return [s](Mp3TagID3v2 &t) { t.Title(s); };
}
const auto kNothing = [](Mp3TagID3v2 &) {};
std::string Tit2(const std::string &s) { return Frame("TIT2", Text(s)); }

const std::string kAudio = Filler(3000);
const std::string kX2058 = Tag(3, Tit2("x"), 2036); // 2058 bytes: room for 2033 title characters
const std::string kJunk = Filler(300, 7), kOld = Tag(3, Tit2("x"), 500);
const std::string kJunkKept = Laid(Tit2("new"), 2048, kJunk + kOld);
const std::string kPicture = [] {
    std::string p;
    for (int i = 0; i < 3000; ++i) p += static_cast<char>(i * 7);
    return p;
}();
// Frames the write must copy byte for byte, a compressed one with its flags.
const std::string kKeptFrames =
    Frame("APIC", std::string("\0image/jpeg\0\3cover\0", 19) + kPicture) + Frame("PRIV", std::string("owner\0\1\2\0\xFF", 10)) +
    Frame("UFID", std::string("http://id\0\x12\x34", 12)) + Frame("GEOB", std::string("\0text/plain\0f.txt\0d\0DATA", 25)) +
    Frame("TXXX", std::string("\1\xFF\xFEk\0\0\0\xFF\xFEv\0", 11)) + Frame("TPE1", std::string("\1\xFF\xFE" "A\0\xC4\0", 7)) +
    Frame("TCOM", Text("packed"), 0x0080);
const std::string kKeptTag = Tag(3, kKeptFrames + Tit2("old"), 10);
std::string Sized(std::string tag, std::uint32_t size) { return tag.replace(6, 4, Synchsafe(size)); }
// Large enough that the read leaves it in the file until the write.
const std::string kBig = Filler(9000, 5);
const std::string kBigApic = Frame("APIC", std::string("\0image/png\0\3\0", 13) + kBig);
const std::string kLongTitle(3000, 'T');
// MPEG 1 Layer III, 128 kbit/s, 44.1 kHz: 417 bytes to the next header.
const std::string kLookAlike =
    Frame("PRIV", std::string("owner\0\xFF\xFB\x90\x00", 10) + std::string(413, 'a') + std::string("\xFF\xFB\x90\x00", 4));

INSTANTIATE_TEST_SUITE_P(Rows, ID3v2Layout, ::testing::Values(
    LayoutRow{"new_tag_in_front", kAudio, Title("Ab"), Tit2("Ab"), 4086},
    LayoutRow{"rewrite_in_place", Laid(Tit2("Ab"), 2048, "") + kAudio, kNothing, Tit2("Ab"), 2048, 2058, 2058},
    LayoutRow{"old_frames_become_padding", Tag(3, Tit2(std::string(2037, 'o'))) + kAudio,
              [](Mp3TagID3v2 &t) { t.Title(std::string(565, 't')); t.AddTag("TPE1", "aaaaaaaaa"); },
              Tit2(std::string(565, 't')) + Frame("TPE1", Text("aaaaaaaaa")), 2048, 2058, 2058},
    LayoutRow{"fills_the_room", kX2058 + kAudio, Title(std::string(2033, 'n')), Tit2(std::string(2033, 'n')), 2048, 2058, 2058},
    LayoutRow{"one_byte_more_grows", kX2058 + kAudio, Title(std::string(2034, 'n')), Tit2(std::string(2034, 'n')), 6144,
              2058, 2058},
    // A tag after other bytes: the new one goes to the start, junk and old tag stay behind its padding.
    LayoutRow{"tag_after_junk", kJunk + kOld + kAudio, Title("new"), Tit2("new"), 4908, 0, 300 + 522},
    LayoutRow{"in_place_up_to_kept_junk", kJunkKept + kAudio, Title(std::string(1000, 'g')), Tit2(std::string(1000, 'g')),
              2048, 2058 - 822, 2058},
    LayoutRow{"untouched_frames_keep_their_bytes", kKeptTag + kAudio, Title("new"), kKeptFrames + Tit2("new"),
              static_cast<std::uint32_t>(kKeptTag.size() - 10), kKeptTag.size(), kKeptTag.size()},
    // Headers that prove nothing are never written over.
    LayoutRow{"version_5", std::string(kX2058).replace(3, 1, "\5") + kAudio, Title("t"), Tit2("t"), 4086},
    LayoutRow{"size_past_the_end", kX2058.substr(0, 2000), Title("t"), Tit2("t"), 4086},
    LayoutRow{"header_cut_short", "ID3\3\0\0", Title("t"), Tit2("t"), 4086},
    // The copy behind a growing tag ends with a single byte.
    LayoutRow{"grows_before_one_byte", kX2058 + "z", Title(std::string(2034, 'n')), Tit2(std::string(2034, 'n')), 6144, 2058, 2058},
    // Large 2.4 bodies whose strings 2.3 writes differently: the strings are re-encoded.
    LayoutRow{"v24_utf8_picture_description", Tag(4, Frame24("APIC", std::string("\3image/png\0\3\xC3\x84\0", 15) + kBig)) + kAudio,
              Title("t"), Frame("APIC", std::string("\1image/png\0\3\xFF\xFE\xC4\0\0\0", 18) + kBig) + Tit2("t"), 13121, 9035, 9035},
    LayoutRow{"v24_unsynchronised_picture",
              Tag(4, Frame24("APIC", std::string("\0image/png\0\3\0\xFF\0\xE0", 16) + kBig, 0x0002)) + kAudio, Title("t"),
              Frame("APIC", std::string("\0image/png\0\3\0\xFF\xE0", 15) + kBig) + Tit2("t"), 13122, 9036, 9036},
    // The same with the whole tag marked: the picture is read and resynchronised, not left in the file.
    LayoutRow{"v24_tag_unsynchronised_picture",
              Tag(4, Frame24("APIC", std::string("\0image/png\0\3\0\xFF\0\xE0", 16) + kBig), 0, 0x80) + kAudio, Title("t"),
              Frame("APIC", std::string("\0image/png\0\3\0\xFF\xE0", 15) + kBig) + Tit2("t"), 13122, 9036, 9036},
    // 2.4's "discard when the tag changes" is 2.3's 0x8000.
    LayoutRow{"v24_status_flag_of_a_left_body", Tag(4, Frame24("APIC", kBigApic.substr(10), 0x4000)) + kAudio, Title("t"),
              Frame("APIC", kBigApic.substr(10), 0x8000) + Tit2("t"), 13119, 9033, 9033},
    // A size past the end proves no room; the picture is still taken from the file.
    LayoutRow{"left_body_in_a_tag_past_the_end", Sized(Tag(3, Tit2("a") + kBigApic), 9500), Title("t"), kBigApic + Tit2("t"),
              12278},
    // The first write moves the picture; the second still has it.
    LayoutRow{"second_update_after_the_tag_moved", Tag(3, Tit2("a") + kBigApic) + kAudio,
              [](Mp3TagID3v2 &t) {
                  EXPECT_NE(t.RenderTag(0).find(kBig), std::string::npos);
                  t.Title(kLongTitle);
                  t.Update();
                  t.Artist("b");
              },
              kBigApic + Tit2(kLongTitle) + Frame("TPE1", Text("b")), 13131, 9045, 9045},
    // 2.2's 0x40 is compression, not an extended header: the room is the frames and padding.
    LayoutRow{"v22_flag_0x40", Tag(2, Frame22("TT2", Text("x")), 2000, 0x40) + kAudio, Title("t"), Tit2("t"), 2008, 2018, 2018},
    // Nor is a flag 2.3 leaves undefined.
    LayoutRow{"v23_undefined_flag", Tag(3, Tit2("x"), 2036, 0x01) + kAudio, Title("t"), Tit2("t"), 2048, 2058, 2058},
    // Two chained MPEG headers inside a frame are tag bytes, not audio: the whole old tag goes.
    LayoutRow{"audio_look_alike_inside_a_frame", Tag(3, kLookAlike + Tit2("x"), 100) + kAudio, Title(std::string(200, 't')),
              kLookAlike + Tit2(std::string(200, 't')), 4645, 559, 559},
    // Declares 300 bytes where the tag has 12 and audio follows: only header and frame go.
    LayoutRow{"size_into_audio", Sized(Tag(3, Tit2("x")), 300) + kAudio, Title("t"), Tit2("t"), 4396, 22, 310}),
    testutil::RowName);

} // namespace
