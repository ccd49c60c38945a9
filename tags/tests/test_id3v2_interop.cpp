// Interoperability with independent readers and writers: tags made by python3-mutagen
// (Debian's /usr/bin/python3) over MP3 audio made by lame, read back by mutagen and TagLib.
#include "TestUtil.h"
#include "WriteCheck.h"

#include <algorithm>
#include <sys/stat.h>

using namespace tags;
using namespace testutil;

namespace {

const auto &Quote = writecheck::ShellQuote;
const auto &Shell = writecheck::Capture;

class Interop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // One second of noise, so that the encoder writes real frames.
        TempDir dir;
        std::string pcm(176400, '\0');
        unsigned x = 12345;
        for (char &c : pcm) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        WriteAll(dir.file("noise.pcm"), pcm);
        Shell("lame --silent -r -s 44.1 --bitwidth 16 -m s " + Quote(dir.file("noise.pcm")) + " " + Quote(dir.file("a.mp3")) + " 2>&1");
        audio_ = ReadAll(dir.file("a.mp3"));
    }
    void SetUp() override {
        // scripts/deps.sh installs both: a missing one is a broken set-up, not a pass.
        if (audio_.empty() || Python("", "") != "") FAIL() << "lame or /usr/bin/python3 with mutagen missing";
    }

    // A fresh copy of the encoded audio.
    std::string Copy(const std::string &name) {
        const std::string p = tmp_.file(name);
        WriteAll(p, audio_);
        return p;
    }
    std::string Python(const std::string &code, const std::string &path, const std::string &arg = "") {
        const std::string script = tmp_.file("w.py");
        WriteAll(script, "import sys\nfrom mutagen.id3 import ID3, TIT2, TPE1, TALB, TCON, TDRC, TSOP, COMM, USLT, APIC, PRIV, TXXX, UFID, GEOB\np = sys.argv[1]\n" + code + "\n");
        return Shell("PYTHONDONTWRITEBYTECODE=1 PYTHONIOENCODING=utf-8 /usr/bin/python3 " + Quote(script) + " " +
                     Quote(path) + (arg.empty() ? "" : " " + Quote(arg)) + " 2>&1");
    }

    static std::string audio_;
    TempDir tmp_;
};

std::string Interop::audio_;

void ExpectLines(const std::vector<std::string> &got, const std::vector<std::string> &want) {
    for (const std::string &line : want) EXPECT_NE(std::find(got.begin(), got.end(), line), got.end()) << line;
}

TEST_F(Interop, OurFramesAsTheOtherReadersSeeThem) {
    const std::string path = Copy("ours.mp3");
    Mp3TagID3v2 t;
    t.MP3File(path);
    t.Title("Titel"), t.Artist("Die Ärzte"), t.Album("Привет мир"), t.Year("1999"), t.Comment("Schön");
    t.Track("3/12"), t.Genre(17), t.Lyrics("Zeile 日本"), t.LinkTo("http://example.org/");
    t.AudioURL("http://example.org/a"), t.PlayCounter("300"), t.AddTag("TXXX", std::string("key\0wert", 8));
    t.EncodedBy("E"), t.OriginalArtist("O"), t.Composer("C"), t.Copyright("(c)"), t.BuyURL("http://b"), t.ArtistURL("http://r");
    t.Update();
    EXPECT_TRUE(writecheck::WriteKept(audio_, path, {"Titel", audio_, "", {"TPE1", "TALB", "TYER", "TDRC", "COMM", "TRCK", "TCON",
                                                                           "USLT", "WXXX", "WOAF", "PCNT", "TXXX", "TENC", "TOPE",
                                                                           "TCOM", "TCOP", "WCOM", "WOAR"}}));
    EXPECT_EQ(ReadAll(path)[3], '\3');
    const writecheck::View v = writecheck::Read(path);
    ExpectLines(v.mutagenFrames, {R"(["COMM", "lang", "\u0000nt", "desc", "", "text", ["Schön"]])",
                                  R"(["PCNT", "count", "300"])", R"(["TALB", "text", ["Привет мир"]])",
                                  R"(["TCON", "text", ["Rock"]])", R"(["TDRC", "text", ["1999"]])",
                                  R"(["TPE1", "text", ["Die Ärzte"]])", R"(["TRCK", "text", ["3/12"]])",
                                  R"(["TXXX", "desc", "key", "text", ["wert"]])",
                                  R"(["USLT", "lang", "XXX", "desc", "", "text", "Zeile 日本"])",
                                  R"(["WOAF", "url", "http://example.org/a"])", R"(["TENC", "text", ["E"]])",
                                  R"(["TOPE", "text", ["O"]])", R"(["TCOM", "text", ["C"]])", R"x(["TCOP", "text", ["(c)"]])x",
                                  R"(["WCOM", "url", "http://b"])", R"(["WOAR", "url", "http://r"])",
                                  R"(["WXXX", "desc", "", "url", "http://example.org/"])"});
    ExpectLines(v.taglibFrames, {"TALB\tПривет мир", "TCON\t17", "USLT\tZeile 日本", "TXXX\t[key] wert"});
}

// Tags other programs wrote: our reader gets the fields, and after a title write both
// other readers find every other frame as it was (2.2 and 2.4 become 2.3).
struct Made {
    const char *name;
    std::string python; // makes the tag with mutagen, or
    std::string bytes;  // the tag in front of the audio
    testutil::Want want;
    bool inPlace = false;                     // mutagen leaves padding
    std::vector<std::string> mayChange = {}; // frames that read differently in 2.3
};

class InteropMade : public Interop, public ::testing::WithParamInterface<Made> {};

TEST_P(InteropMade, ReadAndRewritten) {
    const Made &m = GetParam();
    const std::string path = tmp_.file("made.mp3");
    WriteAll(path, m.bytes + audio_);
    if (!m.python.empty()) {
        ASSERT_EQ(Python(m.python, path), "");
    }
    const std::string before = ReadAll(path);
    Mp3TagID3v2 t;
    t.MP3File(path);
    testutil::ExpectFields(testutil::Fields(t), m.want);
    t.Title("Neu");
    t.Update();
    EXPECT_TRUE(writecheck::WriteKept(before, path, {"Neu", audio_, "", m.mayChange}));
    const std::string after = ReadAll(path);
    EXPECT_EQ(after[3], '\3');
    if (m.inPlace) {
        EXPECT_EQ(after.size(), before.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, InteropMade, ::testing::Values(
    Made{"mutagen_v24", R"PY(
t = ID3()
t.add(TIT2(encoding=3, text="日本語"))
t.add(TPE1(encoding=1, text="Ärzte"))
t.add(TALB(encoding=3, text=["A", "B"]))
t.add(TCON(encoding=3, text="Rock"))
t.add(TDRC(encoding=3, text="2004-05-06"))
t.add(TSOP(encoding=3, text="sort"))
t.add(COMM(encoding=3, lang="deu", desc="d", text="Kommentar ü"))
t.add(USLT(encoding=3, lang="eng", desc="", text="lyrics"))
t.add(APIC(encoding=3, mime="image/png", type=3, desc="Cover ü", data=bytes(range(256)) * 40))
t.add(PRIV(owner="me", data=b"\x00\x01\xff"))
t.add(TXXX(encoding=3, desc="Schlüssel", text="Wert ü"))
t.add(GEOB(encoding=3, mime="text/plain", filename="ä.txt", desc="d", data=b"hello"))
t.add(UFID(owner="http://id", data=b"1234"))
t.save(p, v2_version=4)
)PY", "",
         {{"TagVersion", "4"}, {"Title", "日本語"}, {"Artist", "Ärzte"}, {"Album", "A/B"}, {"OtherGenreName", "Rock"},
          {"Year", "2004"}, {"Comment", "Kommentar ü"}, {"Lyrics", "lyrics"}},
         // TagLib shows the 2.3 TDAT beside the date it makes of it.
         false, {"TDAT"}},
    Made{"mutagen_v23", R"PY(
t = ID3()
t.add(TIT2(encoding=1, text="Ти́тул"))
t.add(TPE1(encoding=0, text="Artist"))
t.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=b"\xff\xd8\xff" + bytes(range(256)) * 100))
t.add(GEOB(encoding=1, mime="text/plain", filename="f.txt", desc="d", data=b"hello"))
t.add(TCON(encoding=0, text="(13)"))
t.save(p, v2_version=3)
)PY", "", {{"TagVersion", "3"}, {"Title", "Ти́тул"}, {"Genre", "13"}, {"OtherGenreName", "Pop"}}, true},
    Made{"hand_built_v22", "",
         id3bytes::Tag(2, id3bytes::Frame22("TT2", id3bytes::Text("Titel")) + id3bytes::Frame22("TP1", std::string("\1\xFF\xFE" "A\0", 5)) +
                              id3bytes::Frame22("TAL", id3bytes::Text("Album")) + id3bytes::Frame22("TYE", id3bytes::Text("1987")) +
                              id3bytes::Frame22("PIC", std::string("\0JPG\3c\0\xFF\xD8\xFF\xE0", 11) + Filler(2000)) +
                              id3bytes::Frame22("ULT", id3bytes::Text(std::string("eng\0text", 8))) +
                              id3bytes::Frame22("TCM", id3bytes::Text("Komponist")), 64),
         {{"TagVersion", "2"}, {"Title", "Titel"}, {"Artist", "A"}, {"Lyrics", "text"}, {"Composer", "Komponist"}}},
    // As a widespread encoder wrote 2.4: the extended-header flag without one, plain sizes.
    Made{"v24_extended_flag_without_header", "",
         id3bytes::Tag(4, id3bytes::Frame("TIT2", id3bytes::Text("Titel")) + id3bytes::Frame("TPE1", id3bytes::Text("Band")) +
                              id3bytes::Frame("TALB", id3bytes::Text("Platte")) + id3bytes::Frame("TRCK", id3bytes::Text("7")) +
                              id3bytes::Frame("PRIV", std::string("me\0", 3) + Filler(200)), 64, 0x40),
         {{"Title", "Titel"}, {"Artist", "Band"}, {"Album", "Platte"}, {"Track", "7"}, {"Ids", "TIT2:1,TPE1:1,TALB:1,TRCK:1,PRIV:1"}}, true}),
    testutil::RowName);

#if defined(TAGPROBE_PATH)
TEST_F(Interop, TagprobeWritesBothTagsAndReportsErrors) {
    const std::string path = Copy("probe.mp3");
    const std::string probe = TAGPROBE_PATH;
    EXPECT_EQ(Shell(probe + " write --artist 'Ä B' --title T --track 5 " + Quote(path)), "");
    WriteAll(tmp_.file("lines.json"), Shell(probe + " read " + Quote(path) + " " + Quote(tmp_.file("missing.mp3"))));
    EXPECT_EQ(Python(R"PY(
import json
a, b = [json.loads(l) for l in open(p, encoding="utf-8")]
print(a["id3v2"]["artist"], a["id3v2"]["title"], a["id3v2"]["track"], a["id3v2"]["version"], a["id3v1"]["artist"],
      a["id3v1"]["title"], [f["id"] for f in a["id3v2"]["frames"]], b["error"]["number"], b["error"]["source"])
)PY", tmp_.file("lines.json")), "Ä B T 5 3 Ä B T ['TPE1', 'TIT2', 'TRCK'] 2 tagprobe.cMP3ID3v2\n");
    // The v2 tag as mutagen and TagLib read it, the v1 record at the end, the audio between.
    auto field = [](std::string s) { return s.resize(30, ' '), s; };
    const std::string v1 = "TAG" + field("T") + field("\xC4 B") + std::string(62, ' ') + std::string("\0\0\xFF", 3); // the track goes to ID3v2 only
    EXPECT_TRUE(writecheck::WriteKept(audio_, path, {"T", audio_, v1, {"TPE1", "TRCK"}}));
    ExpectLines(writecheck::Read(path).mutagenFrames, {R"(["TPE1", "text", ["Ä B"]])"});
    // Two files in place in one process share one undo record, and none stays behind.
    const std::string second = Copy("second.mp3");
    EXPECT_EQ(Shell(probe + " write --title T " + Quote(second)), "");
    EXPECT_EQ(Shell(probe + " write --title U " + Quote(path) + " " + Quote(second)), "");
    EXPECT_TRUE(writecheck::WriteKept(audio_, path, {"U", audio_, "TAG" + field("U") + v1.substr(33), {"TPE1", "TRCK"}}));
    EXPECT_TRUE(writecheck::WriteKept(audio_, second, {"U", audio_, "TAG" + field("U") + std::string(92, ' ') + std::string("\0\0\xFF", 3)}));
    for (const std::string &name : Names(tmp_.path()))
        EXPECT_EQ(name.find(".undo"), std::string::npos) << name;

    // Every line is valid JSON: a name that is not UTF-8 (an overlong form too) comes back
    // byte for byte through surrogate escapes, a title with quotes and control characters
    // as it is, and a FIFO is refused at once instead of blocking.
    const std::string odd = Copy("\xFF\xFEname\x80\xE0\x80\x80.mp3"), fifo = tmp_.file("pipe.mp3");
    EXPECT_EQ(Shell(probe + " write --title " + Quote("q\"b\\\n\t\x01") + " -- " + Quote(odd)), "");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    WriteAll(tmp_.file("odd.json"), Shell("timeout 20 " + probe + " read " + Quote(odd) + " " + Quote(fifo)));
    EXPECT_EQ(Python(R"PY(
import json, os
c, d = [json.loads(l) for l in open(p, encoding="utf-8")]
print(os.fsencode(c["file"]) == os.fsencode(sys.argv[2]), c["id3v2"]["title"] == 'q"b\\\n\t\x01', c["seconds"], d["error"]["number"])
)PY", tmp_.file("odd.json"), odd), "True True 1 22\n");
    // Wrong use ends with 2, help with 0; a file it cannot write gets a line of its own.
    EXPECT_EQ(Shell("for a in '' read write 'write --title' 'write --x 1' sing --help; do " + probe + " $a >/dev/null 2>&1; printf $?; done"),
              "2222220");
    EXPECT_NE(Shell(probe + " write --title T " + Quote(tmp_.file("none.mp3"))).find("\"error\""), std::string::npos);
}
#endif

} // namespace
