#!/usr/bin/env python3
"""Mutation score of the engine's tests.

Applies sampled single changes to tags/ and platform/mp3info/ (a comparison or
logical operator flipped, a small constant moved by one), rebuilds the engine's
test programs and runs the tests that need no window. A mutant is caught when a
test fails. Mutants that do not compile are drawn again.
"""
import os, random, re, shutil, subprocess, sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.environ.get("MUTATION_DIR", "/tmp/sortimentor-mutation")
SRC, BUILD = os.path.join(WORK, "src"), os.path.join(WORK, "build")
DIRS = ("tags", "platform/mp3info")
TARGETS = ["tags_tests", "tagprobe", "platform_gtests",
           "fuzz_id3v1_replay", "fuzz_id3v2_replay", "fuzz_mpeg_replay"]
ENGINE_TESTS = "^(app_|data_|platform_tst_)"  # excluded: window and desktop tests

FLIP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
OPERATOR = re.compile(r"(?<=\s)(<=|>=|==|!=|&&|\|\||<|>)(?=\s)")
CONSTANT = re.compile(r"(?<![\w.'])(0x[0-9A-Fa-f]+|\d+)(?![\w.'])")


def masked(line):
    """The line with string/char literals and // comments blanked, same length."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out += "  "; i += 2; continue
            if c == quote:
                quote = None
            out.append(" " if quote else c); i += 1; continue
        if c in "\"'":
            quote = c; out.append(c); i += 1; continue
        if line.startswith("//", i):
            out.append(" " * (len(line) - i)); break
        out.append(c); i += 1
    return "".join(out)[: len(line)]


WINDOWS_ONLY = re.compile(r"#\s*(ifdef\s+_WIN32|if\s+defined\s*\(?\s*_WIN32)")
NOT_WINDOWS = re.compile(r"#\s*(ifndef\s+_WIN32|if\s+!\s*defined\s*\(?\s*_WIN32)")


def sites(rel, text):
    """Mutation sites of a file; code only Windows compiles is left out of the draw."""
    found, in_block = [], False
    # One entry per open #if: True while its current branch is Windows-only.
    conditions = []
    for n, line in enumerate(text.splitlines(keepends=True)):
        s = line.strip()
        if s.startswith("#"):
            if WINDOWS_ONLY.match(s):
                conditions.append(True)
            elif NOT_WINDOWS.match(s):
                conditions.append(False)
            elif re.match(r"#\s*if", s):
                conditions.append(None)
            elif re.match(r"#\s*else", s) and conditions and conditions[-1] is not None:
                conditions[-1] = not conditions[-1]
            elif re.match(r"#\s*endif", s) and conditions:
                conditions.pop()
            continue
        if any(c is True for c in conditions):
            continue
        if in_block:
            if "*/" in s:
                in_block = False
            continue
        if s.startswith("/*"):
            in_block = "*/" not in s
            continue
        if not s or s.startswith(("#", "//", "template", "static_assert")):
            continue
        m = masked(line)
        for op in OPERATOR.finditer(m):
            found.append((rel, n, op.start(), op.group(1), FLIP[op.group(1)]))
        for c in CONSTANT.finditer(m):
            lit = c.group(1)
            hexa = lit.lower().startswith("0x")
            if len(lit) > 1 and lit[0] == "0" and not hexa:
                continue  # octal modes
            v = int(lit, 0)
            if v > 4096:
                continue
            for w in (v + 1, v - 1):
                if w >= 0:
                    found.append((rel, n, c.start(), c.group(1), hex(w) if hexa else str(w)))
    return found


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw).returncode


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    os.makedirs(WORK, exist_ok=True)
    # The build dir stays incremental across runs of one tree only: copy2 keeps the files'
    # times, and a file from another checkout can be older than its object built here.
    tree = subprocess.run(["git", "-C", ROOT, "rev-parse", "HEAD"], capture_output=True, text=True).stdout
    tree += subprocess.run(["git", "-C", ROOT, "diff", "HEAD"], capture_output=True, text=True).stdout
    stamp = os.path.join(WORK, "tree")
    if not os.path.exists(stamp) or open(stamp, encoding="utf-8").read() != tree:
        shutil.rmtree(BUILD, ignore_errors=True)
    with open(stamp, "w", encoding="utf-8") as fh:
        fh.write(tree)
    # A private copy of the working tree, so that a stopped run never leaves a mutant behind.
    shutil.rmtree(SRC, ignore_errors=True)
    shutil.copytree(ROOT, SRC, ignore=shutil.ignore_patterns(".git", "build*"), copy_function=shutil.copy2)
    if run(["cmake", "-S", SRC, "-B", BUILD, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DSORTIMENTOR_BENCH=OFF"]) != 0:
        sys.exit("mutation: configure failed")
    jobs = str(os.cpu_count() or 2)
    if run(["cmake", "--build", BUILD, "-j", jobs, "--target"] + TARGETS) != 0:
        sys.exit("mutation: the unchanged tree does not build")
    if run(["ctest", "-E", ENGINE_TESTS, "-j", jobs, "--timeout", "120"], cwd=BUILD) != 0:
        sys.exit("mutation: the unchanged tree fails its tests")

    # Only files this build compiles: a change to another system's file proves nothing.
    import json
    with open(os.path.join(BUILD, "compile_commands.json"), encoding="utf-8") as fh:
        compiled = {os.path.realpath(e["file"]) for e in json.load(fh)}
    pool = []
    for d in DIRS:
        for dirpath, dirnames, files in os.walk(os.path.join(SRC, d)):
            dirnames[:] = [x for x in dirnames if x != "tests"]
            for f in sorted(files):
                path = os.path.join(dirpath, f)
                if f.endswith(".cpp") and os.path.realpath(path) in compiled:
                    with open(path, encoding="utf-8") as fh:
                        pool += sites(os.path.relpath(path, SRC), fh.read())
    pool.sort()
    rng = random.Random(seed)
    rng.shuffle(pool)
    print(f"{len(pool)} possible mutants; sampling {n} with seed {seed}")

    caught = tried = 0
    for rel, line_no, col, old, new in pool:
        if tried == n:
            break
        path = os.path.join(SRC, rel)
        with open(path, encoding="utf-8") as fh:
            original = fh.read()
        lines = original.splitlines(keepends=True)
        line = lines[line_no]
        lines[line_no] = line[:col] + new + line[col + len(old):]
        try:
            with open(path, "w", encoding="utf-8") as fh:
                fh.write("".join(lines))
            if run(["cmake", "--build", BUILD, "-j", jobs, "--target"] + TARGETS) != 0:
                continue
            tried += 1
            failed = run(["ctest", "-E", ENGINE_TESTS, "-j", jobs, "--timeout", "120", "--stop-on-failure"], cwd=BUILD) != 0
            caught += failed
            print(f"{'caught  ' if failed else 'SURVIVED'} {rel}:{line_no + 1}: {old} -> {new}   | {line.strip()[:90]}", flush=True)
        finally:
            with open(path, "w", encoding="utf-8") as fh:
                fh.write(original)
    run(["cmake", "--build", BUILD, "-j", jobs, "--target"] + TARGETS)
    print(f"mutation score: {caught} of {tried} caught ({100.0 * caught / max(tried, 1):.0f} %)")


if __name__ == "__main__":
    main()
