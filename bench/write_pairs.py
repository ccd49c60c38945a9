#!/usr/bin/python3
"""Whole-process timing of `tagprobe write --title` against TagLib's save of the same title.

    write_pairs.py TAGPROBE TAGLIB_WRITE ALBUM [PAIRS=15]

Each program gets a copy of the album (made by make_album.py), first written once by
tagprobe so that every later write fits in place (it gives each tag room and every
file an ID3v1 tag). The pairs then write two titles of the same length in turn, so that
every run changes every file; the two programs run in turn, A B A B, after one warm-up
pair. Prints the median of the pair-by-pair ratios.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

TITLES = ["Ein neuer Titel", "Ein alter Titel"]


def copy(album, work):
    shutil.rmtree(work, ignore_errors=True)
    shutil.copytree(album, work)
    return sorted(os.path.join(work, n) for n in os.listdir(work) if n.endswith(".mp3"))


def timed(cmd):
    """Wall and processor (user + system) seconds of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit("%s failed" % cmd[0])
    return wall, usage.ru_utime + usage.ru_stime


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    ours, peer, album = sys.argv[1:4]
    pairs = int(sys.argv[4]) if len(sys.argv) > 4 else 15
    work = album.rstrip("/") + ".write-%d" % os.getpid()
    a, b, ratios, cpu = [], [], [], []
    try:
        fa = copy(album, work + "-a")
        fb = copy(album, work + "-b")
        for files in (fa, fb):
            subprocess.run([ours, "write", "--title", TITLES[1]] + files, check=True, stdout=subprocess.DEVNULL)
        os.sync()
        for i in range(pairs + 1):
            title = TITLES[i % 2]
            ta = timed([ours, "write", "--title", title] + fa)
            tb = timed([peer, "--title", title] + fb)
            if i == 0:
                continue  # warm-up
            a.append(ta[0])
            b.append(tb[0])
            ratios.append(ta[0] / tb[0])
            cpu.append(ta[1] / tb[1])
    finally:
        shutil.rmtree(work + "-a", ignore_errors=True)
        shutil.rmtree(work + "-b", ignore_errors=True)
    print("in-place title write, %d pairs: tagprobe %.3f s, TagLib %.3f s (medians of wall time), "
          "tagprobe/TagLib = %.2fx (min %.2f, max %.2f); processor time %.2fx" % (
              pairs, statistics.median(a), statistics.median(b), statistics.median(ratios), min(ratios), max(ratios),
              statistics.median(cpu)))


if __name__ == "__main__":
    main()
