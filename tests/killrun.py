#!/usr/bin/python3
"""Kills the real album run (20 files: tags with the track counted up, renaming,
playlist, list order reversed by hand) at random moments with SIGKILL, repairs
the album with `sortimentor --recover` or `--recover --rollback` (chosen at
random), and checks with mutagen that every album is entirely as before or
entirely as the finished run leaves it (names, both tags, audio present once,
playlist), with no temporary names. Every album that ends finished is then
undone with `sortimentor --undo` and compared by whole-file hash.

Usage: tests/killrun.py BUILD_DIR [ROUNDS] [SEED]"""
import hashlib, json, os, random, shutil, signal, subprocess, sys, tempfile, time

from mutagen.id3 import ID3, ID3NoHeaderError, ParseID3v1, TIT2, TPE1, TALB, TRCK

build = sys.argv[1]
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 30
random.seed(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
driver = os.path.join(build, 'app/tests/run_album')
program = os.path.join(build, 'app/sortimentor')
work = tempfile.mkdtemp(prefix='killrun-')
os.makedirs(work + '/home')  # a home that exists, as every user's does
env = dict(os.environ, QT_QPA_PLATFORM='offscreen', XDG_DATA_HOME=work + '/data', HOME=work + '/home',
           XDG_CONFIG_HOME=work + '/config')
PLAYLIST = 'Das Album.m3u'


def frames(n, count=1200):
    frame = bytearray(b'\xff\xfb\x90\x64' + b'\x55' * 413)
    body = bytes(frame) * count
    return body[:8] + bytes([n]) + body[9:]


def make_source(folder):
    os.makedirs(folder)
    for i in range(20):
        path = os.path.join(folder, 'Track %02d.mp3' % (i + 1))
        with open(path, 'wb') as f:
            f.write(frames(i))
        if i % 2 == 0:  # half of them tagged before, both tags
            t = ID3()
            t.add(TIT2(encoding=1, text='Alt %d' % i))
            t.add(TPE1(encoding=1, text='Vorher'))
            t.save(path, v2_version=3, v1=2)
    with open(os.path.join(folder, PLAYLIST), 'wb') as f:
        f.write(b'alt.mp3\r\n')


def audio(data):
    if data[:3] == b'ID3':
        size = 0
        for b in data[6:10]:
            size = size << 7 | b & 0x7f
        data = data[10 + size:]
        while data[:1] == b'\0':
            data = data[1:]
    if len(data) >= 128 and data[-128:-125] == b'TAG':
        data = data[:-128]
    return hashlib.sha256(data).hexdigest()


def snapshot(folder):
    """name -> (whole hash, audio hash, ID3v2 text frames, ID3v1) as mutagen reads them; folder entries."""
    files = {}
    entries = sorted(os.listdir(folder))
    for name in entries:
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            continue
        data = open(path, 'rb').read()
        if name.endswith('.m3u'):
            files[name] = (hashlib.sha256(data).hexdigest(), None, None, None)
            continue
        try:
            v2 = {k: str(v) for k, v in ID3(path).items() if k[:1] == 'T'}
        except ID3NoHeaderError:
            v2 = {}
        v1 = None
        if len(data) >= 128 and data[-128:-125] == b'TAG':
            v1 = {k: str(v) for k, v in (ParseID3v1(data[-128:]) or {}).items()}
        files[name] = (hashlib.sha256(data).hexdigest(), audio(data), v2, v1)
    return files, entries


def same_tags(a, b):
    return a.keys() == b.keys() and all(a[n] == b[n] if n.endswith('.m3u') else a[n][1:] == b[n][1:] for n in a)


def run_driver(folder, kill_after=None, from_record=False):
    """Runs the album run; without kill_after returns the seconds from the click to the
    end and from the record's appearance to the end. With it, kills the run that many
    seconds after the click, or after the record appears."""
    p = subprocess.Popen([driver, folder], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    assert p.stdout.readline().strip() == b'GO'
    start = time.monotonic()
    record = os.path.join(folder, '.sortimentor-lauf', 'lauf.journal')
    if kill_after is None or from_record:
        while not os.path.exists(record) and p.poll() is None:
            time.sleep(0.001)
    planned = time.monotonic()
    if kill_after is None:
        p.wait()
        return time.monotonic() - start, time.monotonic() - planned
    time.sleep(kill_after)
    p.send_signal(signal.SIGKILL)
    p.wait()
    return None


def kill_soon(cmd, **kw):
    """Starts cmd and kills it at a random moment of its first 0.3 s."""
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, **kw)
    time.sleep(random.uniform(0, 0.3))
    p.send_signal(signal.SIGKILL)
    p.wait()


def sortimentor(*args):
    p = subprocess.run([program, *args], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, timeout=120)
    if p.returncode not in (0, 2):
        print(' '.join(args[:-1]), '->', p.returncode, p.stdout.decode()[-600:], file=sys.stderr)
    return p.returncode


source = os.path.join(work, 'source')
make_source(source)
old, old_entries = snapshot(source)

# The finished run, uninterrupted: what "entirely new" means, and how long a run takes.
ref = os.path.join(work, 'ref')
shutil.copytree(source, ref)
duration, after_plan = run_driver(ref)
new, _ = snapshot(ref)
assert sorted(a[1] for a in new.values() if a[1]) == sorted(a[1] for a in old.values() if a[1]), 'audio changed'

assert sortimentor('--recover', '--undo', source) == 2 and sortimentor('--undo') == 2, 'wrong usage must say 2'
outcome = {'old': 0, 'new': 0, 'mixed': 0}
repairs_killed = undos_killed = 0
phases = {}
undone = undo_bad = temps = strays = failures = interrupted = 0
choices = {'forward': 0, 'rollback': 0}
for r in range(rounds):
    album = os.path.join(work, 'album%d' % r)
    shutil.copytree(source, album)
    # Most kills fall between the record's appearance and the end, some anywhere from the click on.
    if r % 5 == 4:
        run_driver(album, random.uniform(0, duration * 1.05))
    else:
        run_driver(album, random.uniform(0, after_plan * 1.05), from_record=True)
    choice = random.choice(['forward', 'rollback'])
    choices[choice] += 1
    phase = 'before the plan'
    record = os.path.join(album, '.sortimentor-lauf', 'lauf.journal')
    if os.path.exists(record):
        kinds = [json.loads(line).get('m') for line in open(record, 'rb').read().splitlines()[1:] if line.strip()]
        phase = ('finished' if 'complete' in kinds else 'playlist' if 'renamed' in kinds
                 else 'renaming' if 'renamePlan' in kinds else 'tags')
    phases[phase] = phases.get(phase, 0) + 1
    unfinished = phase not in ('before the plan', 'finished')
    if unfinished:  # an unfinished run refuses the undo and changes nothing
        assert subprocess.run([program, '--undo', album], capture_output=True, env=env).returncode == 1
    interrupted += unfinished
    repair = ['--recover', album, *(['--rollback'] if choice == 'rollback' else [])]
    if unfinished and r % 2 == 0:  # the repair itself killed once, then started again
        kill_soon([program, *repair])
        repairs_killed += 1
    rc = sortimentor(*repair)
    failures += rc != 0
    now, entries = snapshot(album)
    temps += sum(n.startswith('~') for n in entries)
    strays += sum(1 for n in entries if n not in old and n not in new and n != '.sortimentor-lauf')
    if now.keys() == old.keys() and all(now[n][0] == old[n][0] for n in old):
        outcome['old'] += 1
    elif same_tags(now, new):
        outcome['new'] += 1
        if r % 2 == 0:  # the undo itself killed once, then started again
            kill_soon([program, '--undo', album])
            undos_killed += 1
        # A killed undo that got as far as removing the record had finished.
        rc = sortimentor('--undo', album) if os.path.exists(os.path.join(album, '.sortimentor-lauf', 'lauf.journal')) else 0
        back, back_entries = snapshot(album)
        undone += 1
        bad = rc != 0 or back_entries != old_entries or any(back[n][0] != old[n][0] for n in old)
        undo_bad += bad
        if bad:
            print('undo round %d: rc %d, extra %s, missing %s, changed %s' % (
                r, rc, sorted(set(back_entries) - set(old_entries)), sorted(set(old_entries) - set(back_entries)),
                [n for n in old if n in back and back[n][0] != old[n][0]]), file=sys.stderr)
    else:
        outcome['mixed'] += 1
        print('round %d (%s): mixed' % (r, choice), sorted(now), file=sys.stderr)
        for n in sorted(now):
            print('  ', n, now[n][1:], new.get(n, old.get(n, (None,)))[1:], file=sys.stderr)
    shutil.rmtree(album)

print('run of 20 files: %.0f ms; kills: %d (%d left an unfinished run), repairs: forward %d, rollback %d, failed exits %d'
      % (duration * 1000, rounds, interrupted, choices['forward'], choices['rollback'], failures))
print('killed in: ' + ', '.join('%s %d' % kv for kv in sorted(phases.items())))
print('after repair: entirely old %(old)d, entirely new %(new)d, mixed %(mixed)d' % outcome,
      '; temporary names %d, stray files %d; repairs killed %d' % (temps, strays, repairs_killed))
print('undo of the finished ones: %d (%d killed once), not byte for byte %d' % (undone, undos_killed, undo_bad))
shutil.rmtree(work)
sys.exit(1 if outcome['mixed'] or temps or strays or failures or undo_bad else 0)
