#!/usr/bin/python3
"""Makes the benchmark folder: N MP3 files as a real album folder looks.

    make_album.py FOLDER [COUNT=1000]

Per file: a cover picture of 40 to 80 kB (JPEG header, random bytes), texts in
UTF-16 or Latin-1 (every fifth tag version 2.4 in UTF-8), padding as common
taggers leave it, an ID3v1 tag on every other file. The audio is a third CBR
with an Info frame (lame), a third VBR with Xing (lame), a third VBR without
any information frame (ffmpeg -write_xing 0); every hundredth file is three
minutes long, the others 30 or 40 seconds. Only nine streams are encoded; the
files combine them with different tags. A finished folder is reused.
"""
import os
import random
import subprocess
import sys
import tempfile

from mutagen.id3 import (APIC, COMM, ID3, TALB, TCON, TDRC, TENC, TIT2, TPE1, TPE2, TRCK, TYER)

STAMP = ".complete-v1"
PADDINGS = [0, 256, 1024, 1024, 2048, 4096]  # none, small, mutagen, iTunes-like, foobar-like


def encode(work, kind, seconds):
    wav = os.path.join(work, "src%d.wav" % seconds)
    if not os.path.exists(wav):
        # Tone and noise taking turns, so VBR frames differ in size.
        expr = "if(lt(mod(t,2),1),0.6*sin(2*PI*440*t),0.4*(random(0)*2-1))"
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "aevalsrc=exprs='%s':d=%d:s=44100" % (expr, seconds), "-ac", "2", wav], check=True)
    out = os.path.join(work, "%s%d.mp3" % (kind, seconds))
    if kind == "cbr":
        cmd = ["lame", "--quiet", "-b", "160", wav, out]
    elif kind == "xing":
        cmd = ["lame", "--quiet", "-V", "2", wav, out]
    else:
        cmd = ["ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "libmp3lame", "-q:a", "2",
               "-write_xing", "0", "-id3v2_version", "0", "-write_id3v1", "0", out]
    subprocess.run(cmd, check=True)
    with open(out, "rb") as f:
        return f.read()


def tag(i, path):
    rnd = random.Random(i)
    v24 = i % 5 == 4
    enc = 3 if v24 else (1 if i % 2 else 0)
    t = ID3()
    t.add(TIT2(encoding=enc, text="Stück Nummer %d" % i))
    t.add(TPE1(encoding=enc, text="Die Interpreten %d" % (i % 7)))
    t.add(TPE2(encoding=enc, text="Die Interpreten"))
    t.add(TALB(encoding=enc, text="Das Album mit Titel"))
    t.add(TRCK(encoding=enc, text="%d/%d" % (i % 20 + 1, 20)))
    t.add(TCON(encoding=enc, text="Rock"))
    t.add((TDRC if v24 else TYER)(encoding=enc, text="2019"))
    t.add(TENC(encoding=enc, text="LAME 3.100"))
    t.add(COMM(encoding=enc, lang="deu", desc="", text="Ein Kommentar zu Nummer %d" % i))
    size = rnd.randint(40 * 1024, 80 * 1024)
    jpeg = b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00" + rnd.randbytes(size - 20)
    t.add(APIC(encoding=enc, mime="image/jpeg", type=3, desc="Cover", data=jpeg))
    pad = PADDINGS[i % len(PADDINGS)]
    t.save(path, v2_version=4 if v24 else 3, v1=2 if i % 2 == 0 else 0, padding=lambda info: pad)


def main():
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    stamp = os.path.join(folder, STAMP)
    if os.path.exists(stamp) and open(stamp).read().strip() == str(count):
        return
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name.endswith(".mp3") or name.startswith(".complete"):
            os.remove(os.path.join(folder, name))
    kinds = ["cbr", "xing", "plain"]
    with tempfile.TemporaryDirectory(dir=folder) as work:
        streams = {(k, s): encode(work, k, s) for k in kinds for s in (30, 40, 180)}
        for i in range(count):
            seconds = 180 if i % 100 == 0 else (30 if i % 2 else 40)
            path = os.path.join(folder, "%04d.mp3" % i)
            with open(path, "wb") as f:
                f.write(streams[(kinds[i % 3], seconds)])
            tag(i, path)
    with open(stamp, "w") as f:
        f.write(str(count))


if __name__ == "__main__":
    main()
