#!/usr/bin/env bash
# Builds seed corpora from real encodings: lame and ffmpeg audio, tags written by mutagen.
# Usage: fuzz/make_seeds.sh OUTDIR   (creates OUTDIR/id3v1, OUTDIR/id3v2, OUTDIR/mpeg)
set -euo pipefail
out=${1:?output folder}
mkdir -p "$out"/{id3v1,id3v2,mpeg}
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=1" -ac 1 "$work/tone.wav"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=1" -ar 44100 -ac 2 "$work/tone2.wav"
i=0
enc() { i=$((i+1)); lame --quiet "$@" "$work/seed$i.mp3"; cp "$work/seed$i.mp3" "$out/mpeg/"; }
enc -b 32 "$work/tone.wav"
enc -b 128 "$work/tone2.wav"
enc -b 320 "$work/tone2.wav"
enc -V 4 "$work/tone2.wav"
enc -V 4 -t "$work/tone2.wav"
enc --abr 96 "$work/tone2.wav"
enc -p -b 64 "$work/tone.wav"
enc --resample 22.05 -b 32 "$work/tone.wav"
enc --resample 8 -b 8 "$work/tone.wav"
enc --resample 11.025 -b 16 "$work/tone.wav"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=0.3" -c:a mp2 "$out/mpeg/layer2.mp2"

# Small audio for the tag corpora: a few frames keep the fuzzer fast. Besides MPEG-1
# Layer III: CRC-protected, MPEG-2, MPEG-2.5 and Layer II audio, whose frames never
# start with FF FB.
head -c 2000 "$work/seed2.mp3" > "$work/small.mp3"
head -c 2000 "$work/seed7.mp3" > "$work/small_crc.mp3"
head -c 1500 "$work/seed8.mp3" > "$work/small_v2.mp3"
head -c 1000 "$work/seed9.mp3" > "$work/small_v25.mp3"
head -c 2000 "$out/mpeg/layer2.mp2" > "$work/small_l2.mp3"

/usr/bin/python3 - "$work/small.mp3" "$out" <<'PY'
import shutil, sys
from mutagen.id3 import (ID3, TIT2, TPE1, TALB, TYER, TDRC, TRCK, COMM, APIC, TXXX, USLT,
                         TCON, PRIV, UFID, WXXX, Encoding)
src, out = sys.argv[1], sys.argv[2]
def make(name, frames, v2=3, v1=0, audio=src):
    dst = f"{out}/id3v2/{name}.mp3"
    shutil.copy(audio, dst)
    t = ID3()
    for f in frames: t.add(f)
    t.save(dst, v2_version=v2, v1=v1)
    return dst
basic = [TIT2(encoding=0, text="Titel"), TPE1(encoding=1, text="Künstler"), TALB(encoding=3, text="アルバム"),
         TRCK(encoding=0, text="3/12"), COMM(encoding=1, lang="deu", desc="", text="Kommentar"),
         TCON(encoding=0, text="(17)Hard Beat")]
make("v23", basic + [TYER(encoding=0, text="1999")])
make("v24", basic + [TDRC(encoding=3, text="2001")], v2=4)
def v22():
    # mutagen writes only 2.3/2.4, so a 2.2 tag is put together by hand.
    def fr(fid, body): return fid + len(body).to_bytes(3, "big") + body
    frames = (fr(b"TT2", b"\0Titel") + fr(b"TP1", b"\0Band") + fr(b"TAL", b"\1\xff\xfeA\0l\0") +
              fr(b"COM", b"\0eng\0Kommentar") + fr(b"PIC", b"\0PNG\3\0" + bytes(64)) + fr(b"TCM", b"\0Komponist"))
    body = frames + bytes(32)
    n = len(body); size = bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
    with open(src, "rb") as f: audio = f.read()
    with open(f"{out}/id3v2/v22.mp3", "wb") as f: f.write(b"ID3\2\0\0" + size + body + audio)
v22()
def synchsafe(n): return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
def tag(version, frames, padding=0, size=None):
    body = frames + bytes(padding)
    return b"ID3" + bytes([version, 0, 0]) + synchsafe(len(body) if size is None else size) + body
def fr23(fid, body): return fid + len(body).to_bytes(4, "big") + b"\0\0" + body
def fr24(fid, body): return fid + synchsafe(len(body)) + b"\0\0" + body
def fr22(fid, body): return fid + len(body).to_bytes(3, "big") + body
def raw(name, t):
    with open(src, "rb") as f: audio = f.read()
    with open(f"{out}/id3v2/{name}.mp3", "wb") as f: f.write(t + audio)
# As other taggers leave them: 2.4 frames with plain sizes; 2.2 sort-order and unnamed
# frames; several values in one frame; a date with a time; sizes past the file and past
# the tag's end.
raw("v24_plain_sizes", tag(4, fr23(b"PRIV", b"owner" + bytes(295)) + fr23(b"TIT2", b"\0" + b"t" * 200) +
                           fr23(b"TALB", b"\0Album") + fr23(b"TRCK", b"\03"), 64))
raw("v22_sort_ids", tag(2, fr22(b"TT2", b"\0Titel") + fr22(b"TST", b"\0st") + fr22(b"TSA", b"\0sa") +
                        fr22(b"TSP", b"\0sp") + fr22(b"TKW", b"\0kw") + fr22(b"WZZ", b"http://z"), 32))
raw("v24_values", tag(4, fr24(b"TPE1", b"\0piman\0jzig") + fr24(b"TALB", b"\3a\0\xc3\xbc"), 32))
raw("v24_date_time", tag(4, fr24(b"TIT2", b"\0Titel") + fr24(b"TDRC", b"\02001-05-06T07:08"), 32))
raw("size_past_file", tag(3, fr23(b"TIT2", b"\0Titel") + fr23(b"TPE1", b"\0Band"), 256, size=100000))
cut = fr23(b"TIT2", b"\0Titel") + fr23(b"TCOM", b"\0Komponist")
raw("frame_past_tag", tag(3, cut, size=len(cut) - 4) )
make("pics", basic + [APIC(encoding=0, mime="image/png", type=3, desc="", data=b"\x89PNG" + bytes(range(256))),
                      PRIV(owner="x", data=b"\0\1\2"), UFID(owner="o", data=b"id"), TXXX(encoding=1, desc="d", text="v"),
                      USLT(encoding=1, lang="eng", desc="", text="la la"), WXXX(encoding=0, desc="", url="http://x")])
# Tags large enough to be read in pieces, their large bodies left in the file until the write.
big = [APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=bytes(range(256)) * 36),
       PRIV(owner="big", data=bytes(3000)), TIT2(encoding=1, text="Titel")]
make("big23", big)
make("big24", big + [APIC(encoding=3, mime="image/png", type=4, desc="ü", data=bytes(2500))], v2=4)
for kind in ("crc", "v2", "v25", "l2"):
    make("v23_" + kind, basic + [TYER(encoding=0, text="1999")], audio=src.replace("small", "small_" + kind))
def read(p):
    with open(p, "rb") as f: return f.read()
def tag_of(p):
    b = read(p); n = (b[6] << 21) | (b[7] << 14) | (b[8] << 7) | b[9]
    return b[:10 + n]
# A 2.4 tag with footer appended to untagged audio, as some taggers write it.
t24 = tag_of(f"{out}/id3v2/v24.mp3")
flags = bytes([t24[5] | 0x10])
t24f = t24[:5] + flags + t24[6:] + b"3DI" + t24[3:5] + flags + t24[6:10]
for kind in ("", "_v2", "_crc"):
    with open(f"{out}/id3v2/appended{kind}.mp3", "wb") as f: f.write(read(src.replace("small", "small" + kind)) + t24f)
# Two tagged parts one after the other, as joined audiobook files are.
with open(f"{out}/id3v2/concatenated.mp3", "wb") as f:
    f.write(read(f"{out}/id3v2/v23_v2.mp3") + read(f"{out}/id3v2/v24.mp3"))
dst = make("v1v2", basic, v1=2)
shutil.copy(dst, f"{out}/id3v1/v1v2.mp3")
PY
printf 'TAG%-30s%-30s%-30s%-4s%-28s\0\7\21' "Titel" "Artist" "Album" "1999" "Kommentar" > "$work/rec"
cat "$work/small.mp3" "$work/rec" > "$out/id3v1/v11.mp3"
cp "$work/small.mp3" "$out/id3v1/notag.mp3"
echo "seeds in $out: $(ls "$out"/id3v1 | wc -l) id3v1, $(ls "$out"/id3v2 | wc -l) id3v2, $(ls "$out"/mpeg | wc -l) mpeg"
