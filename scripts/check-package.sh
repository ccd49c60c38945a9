#!/usr/bin/env bash
# Installs the Debian package into a minimal Debian 12 root made by mmdebstrap, with
# apt-get so that apt resolves what it needs, and checks it there as a user would meet
# it: nothing missing at the start (libraries, the platform plugin, Qt's German texts),
# the window under Xvfb and its folder dialog, --undo on an empty folder, and a purge
# that leaves none of the package's files. Takes a few minutes and needs root.
#   bash scripts/check-package.sh [PACKAGE.deb]
# Without a package it makes one (scripts/package.sh). The screenshots, the program's
# output and its file opens land in build-deb/check-package/.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "check-package: $*" >&2; exit 1; }

if [ "${1:-}" = "--inside" ]; then
  # mmdebstrap's customize hook: $2 is the root (with /proc, /sys, /dev mounted),
  # $3 the package, $4 the folder for what the check leaves to look at.
  root=$2 deb=$3 out=$4
  in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
  (cd "$root" && find . -xdev | sort) >"$out/before.txt"

  echo "== apt-get install ./$(basename "$deb")"
  cp "$deb" "$root/tmp/"
  in_root DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")" \
    >"$out/apt-install.txt" 2>&1 || { cat "$out/apt-install.txt"; fail "apt-get install failed"; }
  grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$out/apt-install.txt"
  in_root dpkg -L sortimentor >"$out/files.txt"
  # The window's library too, which the program loads only for the window.
  window=$(grep '/sortimentor/sortimentor-fenster\.so$' "$out/files.txt") || fail "the window's library is not installed"
  missing=$(in_root ldd /usr/bin/sortimentor /usr/bin/sortimentor-tagprobe "$window" | grep 'not found' || true)
  [ -z "$missing" ] || fail "libraries missing: $missing"
  in_root sortimentor --version
  in_root sortimentor-tagprobe --help >/dev/null || fail "sortimentor-tagprobe --help failed"

  echo "== sortimentor --undo on an empty folder"
  mkdir "$root/tmp/leer"
  status=0
  said=$(in_root sortimentor --undo /tmp/leer 2>&1) || status=$?
  echo "$said (exit $status)"
  [ "$status" = 1 ] || fail "--undo on an empty folder: exit $status, not 1"
  [ "$said" = "In /tmp/leer/ gibt es keinen Durchlauf, der sich rückgängig machen ließe." ] ||
    fail "--undo on an empty folder said something else"

  echo "== the window under Xvfb"
  display=91
  while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp >"$out/xvfb.txt" 2>&1 &
  xvfb=$!
  program=""
  cleanup() {
    [ -n "$program" ] && kill -KILL "$program" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    return 0
  }
  trap cleanup EXIT
  export DISPLAY=":$display"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done
  mkdir -m 700 "$root/tmp/xdg"
  # The program reaches the host's Xvfb through its abstract socket; strace on the host
  # tells which files it opened (paths as the root sees them).
  strace -f -e trace=openat -o "$out/opened.txt" \
    chroot "$root" env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 DISPLAY="$DISPLAY" XDG_RUNTIME_DIR=/tmp/xdg \
    /usr/bin/sortimentor >"$out/program.txt" 2>&1 &
  tracer=$!
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --name '^Sortimentor Converter$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || { cat "$out/program.txt"; fail "no window appeared"; }
  program=$(xdotool getwindowpid "$window")
  sleep 2
  import -window root "$out/window.png"
  # With the list empty the folder button has the focus: Space opens Qt's folder dialog.
  xdotool windowfocus --sync "$window" key space
  dialog=""
  for _ in $(seq 50); do
    dialog=$(xdotool search --name 'Bitte wählen Sie den gewünschten Zielordner' 2>/dev/null | head -1 || true)
    [ -n "$dialog" ] && break
    sleep 0.2
  done
  [ -n "$dialog" ] || fail "the folder dialog did not open"
  sleep 2
  import -window root "$out/dialog.png"
  xdotool windowfocus --sync "$dialog" key Escape
  sleep 1
  # The end of the session closes the window as its close button would.
  kill -TERM "$program"
  status=0
  wait "$tracer" || status=$?
  program=""
  [ "$status" = 0 ] || fail "the window ended with $status after SIGTERM"
  cat "$out/program.txt"
  ! grep -Eiq 'cannot|could not|failed|not found|error' "$out/program.txt" ||
    fail "the program complained at the start (above)"
  grep -m1 -E 'openat\(.*"[^"]*qtbase_de\.qm", [^)]*\) = [0-9]' "$out/opened.txt" ||
    fail "Qt's German texts (qtbase_de.qm) were not opened"
  grep -Eq 'openat\(.*/platforms/libqxcb\.so", [^)]*\) = [0-9]' "$out/opened.txt" || fail "the xcb plugin was not loaded"
  grep -Eq 'openat\(.*/iconengines/libqsvgicon\.so", [^)]*\) = [0-9]' "$out/opened.txt" || fail "the SVG icon plugin was not loaded"

  echo "== apt-get remove --purge sortimentor"
  in_root DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y sortimentor >"$out/apt-purge.txt" 2>&1 ||
    { cat "$out/apt-purge.txt"; fail "apt-get remove --purge failed"; }
  ! in_root dpkg -s sortimentor >/dev/null 2>&1 || fail "dpkg still knows the package"
  (cd "$root" && find . -xdev | sort) >"$out/after.txt"
  # Left behind: a path of the package, or anything new named after it, that was not
  # there before (the settings the window wrote in the home folder are the user's).
  sed 's|^|.|' "$out/files.txt" | sort >"$out/files-sorted.txt"
  comm -13 "$out/before.txt" "$out/after.txt" >"$out/new.txt"
  left=$( (grep -Fx -f "$out/files-sorted.txt" "$out/new.txt"; grep -i sortimentor "$out/new.txt" | grep -v '^\./root/\|^\./tmp/') | sort -u || true)
  [ -z "$left" ] || fail "left after the purge: $left"
  echo "nothing of the package is left"
  exit 0
fi

bash scripts/deps.sh --check-package
deb=${1:-}
if [ -z "$deb" ]; then
  bash scripts/package.sh >/dev/null
  deb=$(ls build-deb/sortimentor_*.deb)
fi
[ -f "$deb" ] || fail "no package: $deb"
out=build-deb/check-package
rm -rf "$out" && mkdir -p "$out"
# Debian 12 as a user's apt sees it: the release, its updates and its security fixes.
mmdebstrap --mode=root --variant=apt --quiet bookworm /dev/null \
  "deb http://deb.debian.org/debian bookworm main" \
  "deb http://deb.debian.org/debian bookworm-updates main" \
  "deb http://deb.debian.org/debian-security bookworm-security main" \
  --customize-hook="bash '$PWD/scripts/check-package.sh' --inside \"\$1\" '$(realpath "$deb")' '$(realpath "$out")'"
echo "check-package: passed; screenshots in $out/"
