// Interoperability with independent readers and writers: python3-mutagen (Debian's
// /usr/bin/python3) and MP3 audio made by lame. Skipped when either is missing.
#include "Id3Bytes.h"
#include "TestUtil.h"
#include "WriteCheck.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tags;
using testutil::ReadAll;
using testutil::TempDir;
using testutil::WriteAll;
namespace fs = std::filesystem;

namespace {

const char *kDump = R"PY(
import sys, hashlib
from mutagen.id3 import ID3
t = ID3(sys.argv[1], translate=False)
print("version=%d.%d" % t.version[:2])
for f in t.values():
    k = f.FrameID
    for a in ("text", "url", "lang", "desc", "mime", "owner", "count", "type", "encoding"):
        if hasattr(f, a):
            v = getattr(f, a)
            if a in ("encoding", "type"): v = int(v)
            elif isinstance(v, list): v = "/".join(str(x) for x in v)
            print("%s.%s=%s" % (k, a, v))
    if hasattr(f, "data"): print("%s.md5=%s" % (k, hashlib.md5(f.data).hexdigest()))
)PY";

const auto &Quote = writecheck::ShellQuote;
const auto &Shell = writecheck::Capture;

class Interop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::system("command -v lame >/dev/null 2>&1") != 0) return;
        if (std::system("PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c 'import mutagen' >/dev/null 2>&1") != 0) return;
        dir_ = new TempDir();
        // One second of noise, so that the encoder writes real frames.
        std::string pcm(176400, '\0');
        unsigned x = 12345;
        for (char &c : pcm) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        WriteAll(dir_->file("noise.pcm"), pcm);
        WriteAll(dir_->file("dump.py"), kDump);
        const std::string cmd = "lame --silent -r -s 44.1 --bitwidth 16 -m s " + Quote(dir_->file("noise.pcm")) + " " +
                                Quote(dir_->file("audio.mp3")) + " 2>/dev/null";
        if (std::system(cmd.c_str()) != 0 || !fs::exists(dir_->file("audio.mp3"))) {
            delete dir_;
            dir_ = nullptr;
            return;
        }
        audio_ = ReadAll(dir_->file("audio.mp3"));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        // scripts/deps.sh installs both: a missing one is a broken set-up, not a pass.
        if (!dir_) FAIL() << "lame or /usr/bin/python3 with mutagen missing";
    }

    // A fresh copy of the encoded audio.
    std::string Copy(const std::string &name) {
        const std::string p = tmp_.file(name);
        WriteAll(p, audio_);
        return p;
    }
    static std::string Python(const std::string &code, const std::string &path, const std::string &arg = "") {
        const std::string script = dir_->file("w.py");
        WriteAll(script, "import sys\nfrom mutagen.id3 import ID3, TIT2, TPE1, TALB, TCON, TDRC, TSOP, COMM, USLT, APIC, PRIV, TXXX, UFID, GEOB\np = sys.argv[1]\n" + code + "\n");
        return Shell("PYTHONIOENCODING=utf-8 /usr/bin/python3 " + Quote(script) + " " + Quote(path) +
                     (arg.empty() ? "" : " " + Quote(arg)) + " 2>&1");
    }
    static std::map<std::string, std::string> Dump(const std::string &path) {
        std::map<std::string, std::string> m;
        const std::string out =
            Shell("PYTHONIOENCODING=utf-8 /usr/bin/python3 " + Quote(dir_->file("dump.py")) + " " + Quote(path) + " 2>&1");
        size_t from = 0;
        while (from < out.size()) {
            size_t nl = out.find('\n', from);
            if (nl == std::string::npos) nl = out.size();
            const std::string line = out.substr(from, nl - from);
            const size_t eq = line.find('=');
            if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
            else m["?"] += line;
            from = nl + 1;
        }
        return m;
    }
    // The audio must be the last bytes of the file, unchanged.
    void ExpectAudioKept(const std::string &path) {
        const std::string out = ReadAll(path);
        ASSERT_GE(out.size(), audio_.size());
        EXPECT_EQ(out.substr(out.size() - audio_.size()), audio_);
    }

    static TempDir *dir_;
    static std::string audio_;
    TempDir tmp_;
};

TempDir *Interop::dir_ = nullptr;
std::string Interop::audio_;

} // namespace

TEST_F(Interop, OurTagsReadByMutagen) {
    const std::string path = Copy("ours.mp3");
    Mp3TagID3v2 t;
    t.MP3File(path);
    t.Title("Привет мир");
    t.Artist("Die Ärzte");
    t.Album("Album");
    t.Year("1999");
    t.Comment("Schön");
    t.Track("3/12");
    t.Genre(17);
    t.Lyrics("Zeile 日本");
    t.LinkTo("http://example.org/");
    t.AudioURL("http://example.org/a");
    t.PlayCounter("300");
    t.AddTag("TXXX", std::string("key\0wert", 8));
    t.Update();
    ExpectAudioKept(path);

    auto m = Dump(path);
    EXPECT_EQ(m["version"], "2.3") << m["?"];
    EXPECT_EQ(m["TIT2.text"], "Привет мир");
    EXPECT_EQ(m["TIT2.encoding"], "1");
    EXPECT_EQ(m["TPE1.text"], "Die Ärzte");
    EXPECT_EQ(m["TPE1.encoding"], "0");
    EXPECT_EQ(m["TALB.text"], "Album");
    EXPECT_EQ(m["TYER.text"], "1999");
    EXPECT_EQ(m["COMM.text"], "Schön");
    EXPECT_EQ(m["COMM.desc"], "");
    EXPECT_EQ(m["TRCK.text"], "3/12");
    EXPECT_EQ(m["TCON.text"], "(17)"); // OtherGenreName was empty
    EXPECT_EQ(m["USLT.text"], "Zeile 日本");
    EXPECT_EQ(m["USLT.lang"], "XXX");
    EXPECT_EQ(m["WXXX.url"], "http://example.org/");
    EXPECT_EQ(m["WOAF.url"], "http://example.org/a");
    EXPECT_EQ(m["PCNT.count"], "300");
    EXPECT_EQ(m["TXXX.desc"], "key");
    EXPECT_EQ(m["TXXX.text"], "wert");

    // Audio length as mutagen sees it is the same before and after.
    const std::string len = "from mutagen.mp3 import MP3\nprint(round(MP3(p).info.length, 3))";
    EXPECT_EQ(Python(len, path), Python(len, dir_->file("audio.mp3")));
}

TEST_F(Interop, MutagenVersion4ReadAndWrittenBackAsVersion3) {
    const std::string path = Copy("v24.mp3");
    const std::string made = Python(R"PY(
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
t.add(TXXX(encoding=1, desc="k", text="v"))
t.add(UFID(owner="http://id", data=b"1234"))
t.save(p, v2_version=4)
)PY", path);
    ASSERT_EQ(made, "");
    const auto before = Dump(path);
    ASSERT_EQ(before.at("version"), "2.4");

    Mp3TagID3v2 t;
    t.MP3File(path);
    EXPECT_EQ(t.TagVersion(), 4);
    EXPECT_EQ(t.Title(), "日本語");
    EXPECT_EQ(t.Artist(), "Ärzte");
    EXPECT_EQ(t.Album(), "A/B");
    EXPECT_EQ(t.OtherGenreName(), "Rock");
    EXPECT_EQ(t.Year(), "2004");
    EXPECT_EQ(t.Comment(), "Kommentar ü");
    EXPECT_EQ(t.Lyrics(), "lyrics");
    EXPECT_EQ(t.TagsInFrame("TSOP"), 1);
    t.Artist("Neu");
    t.Update();
    ExpectAudioKept(path);

    auto m = Dump(path);
    EXPECT_EQ(m["version"], "2.3") << m["?"];
    EXPECT_EQ(m["TIT2.text"], "日本語");
    EXPECT_EQ(m["TIT2.encoding"], "1");
    EXPECT_EQ(m["TPE1.text"], "Neu");
    EXPECT_EQ(m["TALB.text"], "A/B");
    EXPECT_EQ(m["TYER.text"], "2004");
    EXPECT_EQ(m["TDAT.text"], "0605");
    EXPECT_EQ(m.count("TDRC.text"), 0u);
    EXPECT_EQ(m["TSOP.text"], before.at("TSOP.text"));
    EXPECT_EQ(m["COMM.text"], "Kommentar ü");
    EXPECT_EQ(m["COMM.lang"], "deu");
    EXPECT_EQ(m["COMM.desc"], "d");
    EXPECT_EQ(m["APIC.md5"], before.at("APIC.md5"));
    EXPECT_EQ(m["APIC.desc"], "Cover ü");
    EXPECT_EQ(m["APIC.mime"], "image/png");
    EXPECT_EQ(m["PRIV.md5"], before.at("PRIV.md5"));
    EXPECT_EQ(m["UFID.md5"], before.at("UFID.md5"));
    EXPECT_EQ(m["TXXX.text"], "v");
}

TEST_F(Interop, MutagenVersion3FramesStayByteIdentical) {
    const std::string path = Copy("v23.mp3");
    ASSERT_EQ(Python(R"PY(
t = ID3()
t.add(TIT2(encoding=1, text="Ти́тул"))
t.add(TPE1(encoding=0, text="Artist"))
t.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=b"\xff\xd8\xff" + bytes(range(256)) * 100))
t.add(GEOB(encoding=1, mime="text/plain", filename="f.txt", desc="d", data=b"hello"))
t.add(TCON(encoding=0, text="(13)"))
t.save(p, v2_version=3)
)PY", path), "");
    const std::string original = ReadAll(path);
    const auto before = Dump(path);

    Mp3TagID3v2 t;
    t.MP3File(path);
    EXPECT_EQ(t.Title(), "Ти́тул");
    EXPECT_EQ(t.Genre(), 13);
    EXPECT_EQ(t.GenreName(t.Genre()), "Pop");
    t.Year("2020");
    t.Update(); // mutagen leaves padding: in place
    const std::string out = ReadAll(path);
    EXPECT_EQ(out.size(), original.size());
    ExpectAudioKept(path);
    const auto m = Dump(path);
    for (const char *k : {"TIT2.text", "TIT2.encoding", "TPE1.text", "APIC.md5", "GEOB.md5", "GEOB.filename", "TCON.text"})
        if (before.count(k)) {
            EXPECT_EQ(m.at(k), before.at(k)) << k;
        }
    EXPECT_EQ(m.at("TYER.text"), "2020");
    EXPECT_EQ(m.at("APIC.md5"), before.at("APIC.md5"));
}

TEST_F(Interop, HandBuiltVersion2ReadAndConverted) {
    using namespace id3bytes;
    const std::string path = tmp_.file("v22.mp3");
    std::string jpeg = "\xFF\xD8\xFF\xE0";
    for (int i = 0; i < 2000; ++i) jpeg += static_cast<char>(i % 251);
    const std::string frames = Frame22("TT2", Text("Titel")) + Frame22("TP1", std::string("\x01\xFF\xFE" "A\0", 5)) +
                               Frame22("TAL", Text("Album")) + Frame22("TYE", Text("1987")) +
                               Frame22("PIC", std::string("\x00JPG\x03", 5) + "c" + std::string(1, '\0') + jpeg) +
                               Frame22("ULT", Text(std::string("eng\0text", 8))) + Frame22("LNK", "xyz") +
                               Frame22("TCM", Text("Komponist"));
    WriteAll(path, Tag(2, frames, 64) + audio_);
    const auto before = Dump(path);
    ASSERT_EQ(before.at("version"), "2.2");

    Mp3TagID3v2 t;
    t.MP3File(path);
    EXPECT_EQ(t.Title(), "Titel");
    EXPECT_EQ(t.Artist(), "A");
    EXPECT_EQ(t.Lyrics(), "text");
    EXPECT_EQ(t.Composer(), "Komponist");
    t.Album("Neues Album");
    t.Update();
    ExpectAudioKept(path);
    auto m = Dump(path);
    EXPECT_EQ(m["version"], "2.3") << m["?"];
    EXPECT_EQ(m["TIT2.text"], "Titel");
    EXPECT_EQ(m["TPE1.text"], "A");
    EXPECT_EQ(m["TALB.text"], "Neues Album");
    EXPECT_EQ(m["TYER.text"], "1987");
    EXPECT_EQ(m["TCOM.text"], "Komponist");
    EXPECT_EQ(m["USLT.text"], "text");
    EXPECT_EQ(m["APIC.mime"], "image/jpeg");
    EXPECT_EQ(m["APIC.md5"], before.count("PIC.md5") ? before.at("PIC.md5") : before.at("APIC.md5"));
}

#if defined(TAGPROBE_PATH)
TEST_F(Interop, TagprobeWritesBothTagsAndReportsErrors) {
    const std::string path = Copy("probe.mp3");
    const std::string probe = TAGPROBE_PATH;
    EXPECT_EQ(Shell(probe + " write --artist 'Ä B' --title T --track 5 " + Quote(path)), "");
    const std::string line = Shell(probe + " read " + Quote(path) + " " + Quote(tmp_.file("missing.mp3")));
    const std::string check = Python(R"PY(
import json
lines = [json.loads(l) for l in open(p, encoding="utf-8")]
a, b = lines
print(a["id3v2"]["artist"], a["id3v2"]["title"], a["id3v2"]["track"], a["id3v2"]["version"], a["id3v1"]["artist"],
      a["id3v1"]["title"], [f["id"] for f in a["id3v2"]["frames"]], b["error"]["number"], b["error"]["source"])
)PY", [&] { WriteAll(tmp_.file("lines.json"), line); return tmp_.file("lines.json"); }());
    EXPECT_EQ(check, "Ä B T 5 3 Ä B T ['TPE1', 'TIT2', 'TRCK'] 2 tagprobe.cMP3ID3v2\n");
    const auto m = Dump(path);
    EXPECT_EQ(m.at("TPE1.text"), "Ä B");
    // Written v1 record at the end, v2 tag at the start, audio between.
    Mp3TagID3v1 v1;
    v1.MP3File(path);
    EXPECT_EQ(v1.Artist(), "Ä B");

    // Every line is valid JSON: a name that is not UTF-8 comes back byte for byte
    // through surrogate escapes, and a FIFO is refused at once instead of blocking.
    const std::string odd = Copy("\xFF\xFEname\x80.mp3"), fifo = tmp_.file("pipe.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    WriteAll(tmp_.file("odd.json"), Shell("timeout 20 " + probe + " read " + Quote(odd) + " " + Quote(fifo)));
    EXPECT_EQ(Python(R"PY(
import json, os
c, d = [json.loads(l) for l in open(p, encoding="utf-8")]
print(os.fsencode(c["file"]) == os.fsencode(sys.argv[2]), c["seconds"], d["error"]["number"])
)PY", tmp_.file("odd.json"), odd), "True 1 22\n");
}
#endif
