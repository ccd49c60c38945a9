#!/usr/bin/python3
"""The recorded album run as a user starts it, against the least such a run must do.

    albumrun_floor.py [--runs N] [--vs OLD_SORTIMENTOR] [--floor RUN_FLOOR_PY] [--strace]
                      [--floor-process FLOOR_PROCESS] SORTIMENTOR ALBUM...

For every album folder (e.g. from make_album.py), round after round on fresh copies in a
folder beside it (each copy flushed before it is timed): `SORTIMENTOR --run` with tags only
(artist, album, title from the name, track), the same with renaming, a flushed copy of the
album (each file copied and flushed, then the folder), and the floor script (per-file and
batched; it prints its own milliseconds). With --vs the older binary runs the same two runs
in the same rounds, A B A B. Whole processes, wall time (and the runs' processor time,
user + sys, which a busy disk does not blur); the medians of each figure and of the ratios
round by round:

    tags only / floor per-file        (target 1.5x)
    tags and renaming / (flushed copy + floor per-file)   (target 1.2x)
    A / B                             (with --vs)

`start-up` is `SORTIMENTOR --run` on an empty folder: what every run costs before the album.
With --floor-process (build/bench/floor_process) the floor's per-file work is also timed
as a whole process that starts with Qt's core as ours does, on its own fresh copy: the
least any run from the terminal can take here, start-up included, and the ratios to it:

    tags only / floor process
    tags and renaming / (flushed copy + floor process)
With --strace one more tags-only run of each binary under `strace -f -c` gives the system
calls per file (opens, reads, flushes). The run's kept records go to a temporary data folder.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FIELDS = ["--artist", "Die Künstlerin", "--album", "Das Album", "--title-from-name", "--track-start", "1"]
FLUSHES = ("fsync", "fdatasync", "sync_file_range", "syncfs")


def fresh_copy(album, dest):
    shutil.rmtree(dest, ignore_errors=True)
    shutil.copytree(album, dest)
    os.sync()


def timed(argv, env):
    """Wall and processor (user + sys) milliseconds of one whole process; it must exit with 0, 1 or 2."""
    start = time.perf_counter()
    p = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, use = os.wait4(p.pid, 0)
    ms = (time.perf_counter() - start) * 1000
    code = os.waitstatus_to_exitcode(status)
    if code not in (0, 1, 2):
        sys.exit("%s ended with %d" % (argv[0], code))
    return ms, (use.ru_utime + use.ru_stime) * 1000


def flushed_copy(album, dest):
    shutil.rmtree(dest, ignore_errors=True)
    os.mkdir(dest)
    names = sorted(os.listdir(album))
    start = time.perf_counter()
    for n in names:
        with open(os.path.join(album, n), "rb") as i, open(os.path.join(dest, n), "wb") as o:
            shutil.copyfileobj(i, o, 1 << 20)
            o.flush()
            os.fsync(o.fileno())
    d = os.open(dest, os.O_RDONLY)
    os.fsync(d)
    os.close(d)
    return (time.perf_counter() - start) * 1000


def floor(script, album, dest, mode):
    fresh_copy(album, dest)
    out = subprocess.run(["/usr/bin/python3", script, dest, mode], capture_output=True, text=True, check=True).stdout
    return float(re.search(r"([0-9.]+) ms", out).group(1))


def syscalls(argv, env, out):
    subprocess.run(["strace", "-f", "-c", "-o", out] + argv, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=env)
    calls = {}
    with open(out) as f:
        for line in f:
            cols = line.split()
            if len(cols) >= 5 and cols[3].isdigit():
                calls[cols[-1]] = int(cols[3])
    os.remove(out)
    return {"opens": calls.get("openat", 0) + calls.get("open", 0),
            "reads": calls.get("read", 0) + calls.get("pread64", 0),
            "writes": calls.get("write", 0) + calls.get("pwrite64", 0),
            "flushes": sum(calls.get(c, 0) for c in FLUSHES)}


def strace_counts(binary, album, dest, empty, env, files):
    """System calls per file of a tags-only run, less those of the start-up on an empty folder."""
    base = syscalls([binary, "--run", empty], env, dest + ".strace")
    fresh_copy(album, dest)
    run = syscalls([binary, "--run"] + FIELDS + [dest], env, dest + ".strace")
    return ", ".join("%s %.2f" % (k, (run[k] - base[k]) / files) for k in run) + \
        " per file (flushes in all: %d)" % (run["flushes"] - base["flushes"])


def median(v):
    return statistics.median(v) if v else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--vs", help="an older sortimentor, run in the same rounds")
    ap.add_argument("--floor", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                     "../../shared/bench/run_floor.py"))
    ap.add_argument("--strace", action="store_true")
    ap.add_argument("--floor-process", help="build/bench/floor_process")
    ap.add_argument("sortimentor")
    ap.add_argument("albums", nargs="+")
    a = ap.parse_args()
    sides = [("A", os.path.abspath(a.sortimentor))] + ([("B", os.path.abspath(a.vs))] if a.vs else [])
    data = tempfile.mkdtemp(prefix="albumrun-data-")
    env = dict(os.environ, XDG_DATA_HOME=data, QT_QPA_PLATFORM="offscreen")
    for album in a.albums:
        album = os.path.abspath(album)
        files = len([n for n in os.listdir(album) if n.lower().endswith(".mp3")])
        work = tempfile.mkdtemp(prefix="albumrun-", dir=os.path.dirname(album))
        copy, empty = os.path.join(work, "album"), os.path.join(work, "empty")
        os.mkdir(empty)
        t = {}
        for rnd in range(a.runs + 1):  # the first round warms up
            row = {"floor per-file": floor(a.floor, album, copy, "per-file"),
                   "floor batched": floor(a.floor, album, copy, "batched"),
                   "flushed copy": flushed_copy(album, copy)}
            if a.floor_process:
                fresh_copy(album, copy)
                row["floor process"] = timed([os.path.abspath(a.floor_process), copy], env)[0]
            for side, binary in sides:
                row[side + " start-up"] = timed([binary, "--run", empty], env)[0]
                for what, extra in (("tags", []), ("rename", ["--rename", "--name", "Titel"])):
                    # An empty trash, as a user's holds no earlier copies of these names:
                    # each one there makes the trash look further for a free name.
                    shutil.rmtree(os.path.join(data, "Trash"), ignore_errors=True)
                    fresh_copy(album, copy)
                    row["%s %s" % (side, what)], row["%s %s cpu" % (side, what)] = timed(
                        [binary, "--run"] + FIELDS + extra + [copy], env)
            if rnd:
                for k, v in row.items():
                    t.setdefault(k, []).append(v)
                for side, _ in sides:
                    t.setdefault(side + " tags / floor", []).append(row[side + " tags"] / row["floor per-file"])
                    t.setdefault(side + " rename / (copy + floor)", []).append(
                        row[side + " rename"] / (row["flushed copy"] + row["floor per-file"]))
                    if a.floor_process:
                        t.setdefault(side + " tags / floor process", []).append(row[side + " tags"] / row["floor process"])
                        t.setdefault(side + " rename / (copy + fl. process)", []).append(
                            row[side + " rename"] / (row["flushed copy"] + row["floor process"]))
                if a.vs:
                    for what in ("tags", "rename", "tags cpu", "rename cpu"):
                        t.setdefault("A/B " + what, []).append(row["A " + what] / row["B " + what])
        print("%s: %d files, %.0f MB, %d rounds" % (album, files, sum(
            os.path.getsize(os.path.join(album, n)) for n in os.listdir(album)) / 1e6, a.runs))
        for k, v in t.items():
            unit = "x" if "/" in k else " ms"
            print("  %-30s median %8.2f%s  (%.2f to %.2f)" % (k, median(v), unit, min(v), max(v)))
        if a.strace:
            for side, binary in sides:
                print("  %s strace, tags only: %s" % (side, strace_counts(binary, album, copy, empty, env, files)))
        shutil.rmtree(work)
    shutil.rmtree(data)


main()
