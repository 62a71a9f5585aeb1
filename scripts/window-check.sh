#!/usr/bin/env bash
# Drives the real window under Xvfb with xdotool on a copy of examples/ and
# leaves screenshots and the changed files in a temporary folder:
#   xvfb-run -a -s "-screen 0 1024x768x24" scripts/window-check.sh [BUILD-DIR]
# It clicks through each sample file, edits one value of kasse.ini and of
# kasse.reg, converts lager.reg (UTF-16LE) and spaces out etikett.inf, then
# prints the byte differences against the originals.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$here/build}/quorrel-keyloom
work=$(mktemp -d)
cp "$here"/examples/* "$work"/
cd "$work"

"$program" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  wid=$(xdotool search --name "Quorrel Keyloom" 2>/dev/null | head -1) && [ -n "$wid" ] && break
  sleep 0.1
done
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$wid")"

at() { xdotool mousemove $((X + $1)) $((Y + $2)); }
click() { at "$1" "$2"; xdotool click "${3:-1}"; sleep 0.4; }
shot() { import -window root "$work/$1.png"; }
file_row() { click 30 $((219 + 14 * $1)); }      # File1 entries, in name order
section_row() { click 200 $((36 + 17 * $1)); }   # List1
key_row() { click 360 $((36 + 17 * $1)); }       # List2
edit_value() { click 200 270; xdotool key ctrl+a; xdotool type --delay 20 "$1"; sleep 0.2; click 200 310; }

# etikett.inf, kasse.ini, kasse.reg, lager.reg
file_row 1; section_row 1; key_row 1; edit_value "COM4"; shot ini
echo "title: $(xdotool getwindowname "$wid")"
file_row 2; section_row 0; key_row 2; edit_value 'C:\\Kasse'; shot reg
file_row 3; shot utf16
echo "title: $(xdotool getwindowname "$wid")"
click 30 $((219 + 14 * 3)) 3; sleep 0.3; shot menu-reg
xdotool key Down Return; sleep 0.5; xdotool key Return; sleep 0.5; shot converted
echo "title: $(xdotool getwindowname "$wid")"
file_row 0; click 30 219 3; sleep 0.3; shot menu-inf
xdotool key Down Return; sleep 0.5; shot spaced

for f in kasse.ini kasse.reg etikett.inf; do
  echo "== $f (lines that differ, line ends shown as ^M\$)"
  diff <(cat -A "$here/examples/$f") <(cat -A "$f") || true
done
echo "== lager.reg now starts with:"
head -c 64 lager.reg | xxd
echo "screenshots and files in $work"
