#!/bin/bash
# Whole processes as a user runs them: `tagprobe read` of every file of an album folder
# against a TagLib program doing the same work, timed from outside.
#
#     bench/whole_process.sh [BUILD=build] [FOLDER=$TMPDIR/sortibench-album-1000] [RUNS=15]
#
# Builds tagprobe in BUILD and the TagLib peers (bench/taglib_*.cpp, with c++ and
# pkg-config), makes the album (bench/make_album.py, reused once made), then for each
# pair runs one warm-up of each and RUNS of each in turn, A B A B ..., each a whole
# process with its output thrown away. Prints the medians of each side's cpu (user +
# sys) and wall time and of the pair-by-pair ratios A/B, and each side's peak memory.
#
# Pairs: read (tagprobe read vs bench/taglib_read.cpp) and write (tagprobe write --title
# vs bench/taglib_write.cpp, which sets the title through MPEG::File::save()). For the
# write pair each side works on its own copy of the album, given room once so that every
# write fits in place, and two titles of the same length take turns.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
album=${2:-${TMPDIR:-/tmp}/sortibench-album-1000}
runs=${3:-15}
peers="$build/bench-peers"

cmake --build "$build" --target tagprobe >/dev/null
tagprobe="$build/tools/tagprobe"
mkdir -p "$peers"
for src in "$here"/taglib_*.cpp; do
    out="$peers/$(basename "$src" .cpp)"
    if [ ! -x "$out" ] || [ "$src" -nt "$out" ]; then
        # shellcheck disable=SC2046 # pkg-config prints several words
        ${CXX:-c++} -O2 -std=c++17 "$src" -o "$out" $(pkg-config --cflags --libs taglib)
    fi
done
/usr/bin/python3 "$here/make_album.py" "$album" 1000

exec /usr/bin/python3 - "$tagprobe" "$peers" "$album" "$runs" <<'PY'
import glob, os, shutil, statistics, subprocess, sys, time

tagprobe, peers, album, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

def run(argv):
    """cpu seconds (user + sys) and wall seconds of one whole process."""
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 1)
        os.dup2(null, 2)
        try:
            os.execv(argv[0], argv)
        finally:
            os._exit(127)
    _, status, use = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code not in (0, 1):
        sys.exit("%s ended with %d" % (argv[0], code))
    return use.ru_utime + use.ru_stime, wall

def peak(argv):
    """Peak memory (KiB) of one run, by /usr/bin/time: a child forked from this program
    would count this program's own pages in."""
    if not os.path.exists("/usr/bin/time"):
        return "?"
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return r.stderr.strip().splitlines()[-1]

def pair(name, a, b):
    """a and b: the command lines, or functions that make each run's command line."""
    argv = lambda x: x() if callable(x) else x
    run(argv(a)), run(argv(b))  # warm-up: caches filled, pages of both programs loaded
    rows = [(run(argv(a)), run(argv(b))) for _ in range(runs)]
    med = lambda xs: statistics.median(xs)
    print("%s, %d pairs, A = %s, B = %s" % (name, runs, os.path.basename(argv(a)[0]), os.path.basename(argv(b)[0])))
    for i, what in ((0, "cpu"), (1, "wall")):
        print("  %-4s A %.4f s  B %.4f s  A/B %.3f (%.3f to %.3f)" % (
            what, med([x[i] for x, _ in rows]), med([y[i] for _, y in rows]),
            med([x[i] / y[i] for x, y in rows]), min(x[i] / y[i] for x, y in rows),
            max(x[i] / y[i] for x, y in rows)))
    print("  peak memory A %s KiB  B %s KiB" % (peak(argv(a)), peak(argv(b))))

files = sorted(glob.glob(os.path.join(album, "*.mp3")))
print("%d files in %s, load average %s" % (len(files), album, " ".join("%.2f" % l for l in os.getloadavg())))
pair("read", [tagprobe, "read"] + files, [os.path.join(peers, "taglib_read")] + files)

writer = os.path.join(peers, "taglib_write")
if os.path.exists(writer):
    # Each side writes into its own copy, given room once by tagprobe so that every
    # later write fits in place. Two titles of the same length take turns, so that
    # every run changes every file (a write of the title a file already has changes
    # nothing and would measure nothing).
    titles = ["Ein neuer Titel", "Ein alter Titel"]
    copies = []
    for side in ("a", "b"):
        folder = album.rstrip("/") + "-write-" + side
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(album, folder)
        files = sorted(glob.glob(os.path.join(folder, "*.mp3")))
        subprocess.run([tagprobe, "write", "--title", titles[1]] + files, check=True, stdout=subprocess.DEVNULL)
        copies.append(files)
    os.sync()
    turn = [0]
    def a_side():  # each A run takes the next title; the B run after it the same
        turn[0] += 1
        return [tagprobe, "write", "--title", titles[turn[0] % 2]] + copies[0]
    pair("write", a_side, lambda: [writer, "--title", titles[turn[0] % 2]] + copies[1])
    for folder in copies:
        shutil.rmtree(os.path.dirname(folder[0]), ignore_errors=True)
PY
