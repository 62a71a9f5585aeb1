#!/usr/bin/env bash
# Start-up time in a real X window (Xvfb): launches the editor on a tiny
# export and on a generated large one, alternating, and prints the median time
# from launch to the moment the window title names the file, and their ratio.
#   bench/startup.sh              7 launches of each, 100 MB export
#   bench/startup.sh --runs N     launches of each file
#   bench/startup.sh --size-mb N  size of the large export
#   bench/startup.sh --profile F  instead: one launch on the large export
#                                 under `perf record -g`, written to F, and
#                                 the symbols that took most of it
# Needs xvfb-run (xvfb) and xdotool (and perf for --profile).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-bench"
runs=7
size=100
profileOut=

# --- inside xvfb-run: measure(program, runs, file...) ----------------------

# A sleep without a process: read from a pipe that never gets data.
exec {never}<> <(:)
pause() { read -r -t "$1" -u "$never" _ || true; }

# Seconds from launch until a window is named "Quorrel Keyloom - NAME"; the
# editor is ended again before the function returns.
launch() {
  local program=$1 file=$2
  local name pattern start end pid
  name=$(basename "$file")
  pattern="^Quorrel Keyloom - ${name//./\\.}\$"
  start=$EPOCHREALTIME
  "$program" "$file" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --name "$pattern" >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "bench/startup.sh: the editor ended before its title named $name" >&2
      return 1
    fi
    pause 0.002
  done
  end=$EPOCHREALTIME
  # One instance at a time: the next launch must find the lock free.
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

measure() {
  local program=$1 count=$2 tiny=$3 large=$4
  local -a tinyTimes=() largeTimes=()
  # Untimed first launches: page cache, font cache and libraries warm.
  launch "$program" "$tiny" >/dev/null
  launch "$program" "$large" >/dev/null
  for ((i = 0; i < count; ++i)); do
    tinyTimes+=("$(launch "$program" "$tiny")")
    largeTimes+=("$(launch "$program" "$large")")
  done
  local tinyMedian largeMedian
  tinyMedian=$(printf '%s\n' "${tinyTimes[@]}" | median)
  largeMedian=$(printf '%s\n' "${largeTimes[@]}" | median)
  row() {
    local file=$1 med=$2; shift 2
    local sorted
    sorted=$(printf '%s\n' "$@" | sort -g | tr '\n' ' ')
    printf '| %s (%s) | %.3f | %s|\n' "$(basename "$file")" \
      "$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf (b < 1e6 ? "%d bytes" : "%.0f MB"), (b < 1e6 ? b : b / 1e6) }')" \
      "$med" "$sorted"
  }
  echo "| file | median (s) | all runs, sorted (s) |"
  echo "|---|---:|---|"
  row "$tiny" "$tinyMedian" "${tinyTimes[@]}"
  row "$large" "$largeMedian" "${largeTimes[@]}"
  echo
  awk -v t="$tinyMedian" -v l="$largeMedian" -v n="$count" \
    'BEGIN { printf "Ratio of the medians: %.2fx (target ≤ 1.6x); %d launches of each, alternating.\n", l / t, n }'
}

# One launch on `file` under perf record, until the title names it.
profile() {
  local program=$1 file=$2 out=$3
  local name pattern pid child
  name=$(basename "$file")
  pattern="^Quorrel Keyloom - ${name//./\\.}\$"
  perf record -F 4000 -g -o "$out" "$program" "$file" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --name "$pattern" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "bench/startup.sh: perf ended before the title named $name" >&2; return 1; }
    pause 0.002
  done
  child=$(pgrep -P "$pid")
  kill "$child"
  wait "$pid" 2>/dev/null || true
}

if [ "${1:-}" = --profile-inside ]; then
  shift
  launch "$1" "$2" >/dev/null  # page cache and font cache warm
  profile "$@"
  exit
fi
if [ "${1:-}" = --measure ]; then
  shift
  measure "$@"
  exit
fi

# --- outside: build, make the files, run the measurement under xvfb-run -----

while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift ;;
    --size-mb) size=$2; shift ;;
    --profile) profileOut=$(realpath -m "$2"); shift ;;
    *) echo "usage: bench/startup.sh [--runs N] [--size-mb N] [--profile FILE]" >&2; exit 2 ;;
  esac
  shift
done
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "bench/startup.sh: $tool is missing (apt-get install xvfb xdotool)" >&2; exit 1; }
done

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEYLOOM_TESTS=OFF >/dev/null
cmake --build "$build" --target quorrel-keyloom keyloom_gen >/dev/null

data=$(mktemp -d "${TMPDIR:-/tmp}/keyloom-startup.XXXXXX")
trap 'rm -rf "$data"' EXIT
mkdir "$data/tiny" "$data/large" "$data/runtime"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quorrel]\r\n"Name"="Keyloom"\r\n\r\n' >"$data/tiny/tiny.reg"
"$build/bench/keyloom_gen" "$data/gen" "$size"
mv "$data/gen/export.reg" "$data/large/export.reg"
rm -rf "$data/gen"

if [ -n "$profileOut" ]; then
  command -v perf >/dev/null || { echo "bench/startup.sh: perf is missing (apt-get install linux-perf)" >&2; exit 1; }
  XDG_RUNTIME_DIR="$data/runtime" xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    "$0" --profile-inside "$build/quorrel-keyloom" "$data/large/export.reg" "$profileOut"
  perf report -i "$profileOut" --no-children --sort dso,symbol -g none --percent-limit 1 --stdio 2>/dev/null |
    grep -E '^ +[0-9]'
  exit
fi

echo "## Start-up to the title naming the file"
echo
echo "Machine: $(nproc) cores; Xvfb; files in ${TMPDIR:-/tmp}, read from the page cache."
echo
# A runtime folder of its own keeps the single-instance lock apart from any
# editor the user has open.
XDG_RUNTIME_DIR="$data/runtime" xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$0" --measure "$build/quorrel-keyloom" "$runs" "$data/tiny/tiny.reg" "$data/large/export.reg"
