// The write checker itself: a clean write passes, each kind of damage is caught.
#include "TestUtil.h"
#include "WriteCheck.h"

using namespace testutil;

namespace {

struct Damage {
    const char *name;
    std::function<void(std::string &)> apply; // applied to the file after a good write
};

class WriteCheck : public ::testing::TestWithParam<Damage> {};

TEST_P(WriteCheck, CatchesDamage) {
    const std::string audio = streambytes::Stream({}, 20);
    const std::string trailer = id3bytes::V1("old");
    const std::string before =
        id3bytes::Tag(3, id3bytes::Frame("TIT2", id3bytes::Text("a")) + id3bytes::Frame("TPE1", id3bytes::Text("b")), 64) +
        audio + trailer;
    TempDir dir;
    const std::string path = dir.file("x.mp3");
    WriteAll(path, before);
    testutil::WriteTitle<tags::Mp3TagID3v2>(path, "new");
    std::string bytes = ReadAll(path);
    GetParam().apply(bytes);
    WriteAll(path, bytes);
    const auto r = writecheck::WriteKept(before, path, {"new", audio, trailer, {}});
    EXPECT_EQ(static_cast<bool>(r), std::string(GetParam().name) == "none") << r.message();
}

const Damage kDamage[] = {
    {"none", [](std::string &) {}},
    {"audio_byte", [](std::string &b) { b[b.size() - 500] ^= 1; }},
    {"frame_lost", [](std::string &b) { b[b.find("TPE1")] = 0; }},
    {"trailer", [](std::string &b) { b.back() = 1; }},
    {"extra_packet", [](std::string &b) { b.insert(b.size() - 128, streambytes::Frame({})); }},
};
INSTANTIATE_TEST_SUITE_P(Kit, WriteCheck, ::testing::ValuesIn(kDamage), testutil::RowName);

} // namespace
