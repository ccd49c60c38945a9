#!/usr/bin/env bash
# Takes a screenshot of the main window with a small sample album loaded, under Xvfb.
# Usage: bash scripts/screenshot.sh [out.png] [scale]   (needs xvfb, xauth, imagemagick)
# The program runs with its own temporary settings folder; the user's settings stay untouched.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-shot.png}")"
scale="${2:-1}"
exe="$PWD/build/app/sortimentor"
[ -x "$exe" ] || { echo "build first: cmake --build build" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/album" "$work/config/Varnolt"
for n in "01 - Intro" "02 - Morgenlicht" "03 - Über den Wolken" "04 - Regen" "05 - Nachtzug" "06 - Finale" "Bonus Track"; do
  head -c 2000 /dev/zero > "$work/album/$n.mp3"
done
printf '[General]\nLastDir=%s/album/\nVersion=1.1\n' "$work" > "$work/config/Varnolt/Sortimentor.conf"
cat > "$work/run.sh" <<RUN
#!/usr/bin/env bash
XDG_CONFIG_HOME="$work/config" QT_SCALE_FACTOR="$scale" "$exe" & pid=\$!
sleep 3
import -window root "$out"
kill \$pid
RUN
chmod +x "$work/run.sh"
w=$((1280 * scale)); h=$((900 * scale))
xvfb-run -a -s "-screen 0 ${w}x${h}x24" "$work/run.sh"
echo "$out"
