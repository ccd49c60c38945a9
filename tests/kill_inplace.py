#!/usr/bin/python3
"""Kills `tagprobe write --title X --artist Y` at random moments of an in-place write and
counts files whose two tags disagree afterwards.

    kill_inplace.py TAGPROBE MP3 [KILLS=300] [--slow]

MP3 is copied and written once, so that both tags exist and every later write fits in
place. Each round writes the old copy back, starts the writer, kills it (SIGKILL) after
a random time up to about one and a half writes, then reads the file through tagprobe
(whose open finishes what the writer left) and through mutagen: ID3v2 and ID3v1 must
both hold the old title and artist or both the new ones, the audio bytes must be
unchanged, and nothing may be left beside the file. --slow runs the writer under
`strace -e inject=write:delay_enter=20000`, which makes every write() 20 ms late and so
widens the moments between the writes. Exit status 1 when any file was mixed or damaged.
"""
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from mutagen.id3 import ID3, ParseID3v1

OLD = ("Alter Titel", "Alte Band")
NEW = ("Neuer Titel", "Neue Band")


def tags_of(path, probe):
    """(v2 title, v2 artist, v1 title, v1 artist) by tagprobe and by mutagen."""
    line = json.loads(subprocess.run([probe, "read", path], check=True, capture_output=True, text=True).stdout)
    ours = (line["id3v2"]["title"], line["id3v2"]["artist"], line["id3v1"]["title"], line["id3v1"]["artist"])
    v2 = ID3(path)
    with open(path, "rb") as f:
        f.seek(-128, 2)
        v1 = ParseID3v1(f.read(128))
    theirs = (str(v2["TIT2"]), str(v2["TPE1"]), str(v1["TIT2"]) if v1 else "", str(v1["TPE1"]) if v1 else "")
    return ours, theirs


def audio(path):
    """The bytes between the ID3v2 tag and the ID3v1 record."""
    size = ID3(path).size
    with open(path, "rb") as f:
        data = f.read()
    return data[size:-128]


def restore(path, old):
    with open(path, "r+b") as f:
        f.write(old)
        f.truncate()


def main():
    args = [a for a in sys.argv[1:] if a != "--slow"]
    slow = "--slow" in sys.argv
    if len(args) < 2:
        sys.exit(__doc__)
    probe, source = os.path.abspath(args[0]), args[1]
    kills = int(args[2]) if len(args) > 2 else 300
    if slow and not shutil.which("strace"):
        sys.exit("--slow needs strace")
    work = tempfile.mkdtemp(prefix="kill-inplace-")
    path = os.path.join(work, "song.mp3")
    shutil.copy(source, path)
    write = lambda t: [probe, "write", "--title", t[0], "--artist", t[1], path]
    subprocess.run(write(OLD), check=True)
    with open(path, "rb") as f:
        old = f.read()
    sound = audio(path)
    if slow:
        write = (lambda w: lambda t: ["strace", "-f", "-o", os.devnull, "-e", "inject=write:delay_enter=20000"] + w(t))(write)

    # How long a whole write takes, to spread the kills over it.
    times = []
    for _ in range(5):
        restore(path, old)
        start = time.perf_counter()
        subprocess.run(write(NEW), check=True)
        times.append(time.perf_counter() - start)
    full = sorted(times)[2]

    rng = random.Random(25)
    counts = {"old": 0, "new": 0, "mixed": 0, "damaged": 0}
    for i in range(kills):
        restore(path, old)
        proc = subprocess.Popen(write(NEW), start_new_session=True, stdout=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, full * 1.5))
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()
        # Under strace the writer is strace's child: wait until it has ended too.
        for _ in range(200):
            try:
                os.killpg(proc.pid, 0)
            except ProcessLookupError:
                break
            time.sleep(0.01)
        ours, theirs = tags_of(path, probe)
        left = sorted(n for n in os.listdir(work) if n != "song.mp3")
        if ours != theirs or audio(path) != sound or left:
            counts["damaged"] += 1
            print("round %d: tagprobe %s, mutagen %s, beside: %s" % (i, ours, theirs, left))
        elif ours == OLD + OLD:
            counts["old"] += 1
        elif ours == NEW + NEW:
            counts["new"] += 1
        else:
            counts["mixed"] += 1
            print("round %d: mixed %s" % (i, ours))
    shutil.rmtree(work)
    print("%d kills%s (a whole write takes %.1f ms): %d old, %d new, %d mixed, %d damaged" % (
        kills, " with every write() 20 ms late" if slow else "", full * 1e3,
        counts["old"], counts["new"], counts["mixed"], counts["damaged"]))
    return 1 if counts["mixed"] or counts["damaged"] else 0


if __name__ == "__main__":
    sys.exit(main())
