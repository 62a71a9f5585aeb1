#!/usr/bin/env bash
# Builds the benchmarks, generates the test files in a temporary folder,
# prints the timing table and deletes the files again.
#   bench/run.sh              100 MB files
#   bench/run.sh --large      100 MB and 1 GB files (about 5 GB of disk)
#   bench/run.sh --memory     also the peak memory of each operation, one
#                             process per operation under /usr/bin/time -v
#   bench/run.sh --runs N     runs per operation (default 5)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-bench"
sizes=(100)
memory=0
runs=5
while [ $# -gt 0 ]; do
  case "$1" in
    --large) sizes=(100 1000) ;;
    --memory) memory=1 ;;
    --runs) runs=$2; shift ;;
    *) echo "usage: bench/run.sh [--large] [--memory] [--runs N]" >&2; exit 2 ;;
  esac
  shift
done

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEYLOOM_TESTS=OFF >/dev/null
cmake --build "$build" --target keyloom_bench keyloom_gen >/dev/null

echo "## Timing"
echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
     "$(free -g | awk '/^Mem:/ {print $2}') GB RAM; files in ${TMPDIR:-/tmp}, read from the page cache."
size_args=()
for size in "${sizes[@]}"; do size_args+=(--size-mb "$size"); done
"$build/bench/keyloom_bench" "${size_args[@]}" --runs "$runs"

[ "$memory" = 1 ] || exit 0
[ -x /usr/bin/time ] || { echo "bench/run.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

data=$(mktemp -d "${TMPDIR:-/tmp}/keyloom-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT
operations=(scan-reg load-reg list-keys lookup rewrite-reg apply scan-utf16 load-utf16 scan-wide load-utf16-wide
            scan-ini profile-read rewrite-ini space profile-write click-reg click-utf16 find-reg find-utf16
            diff-reg diff-utf16)
declare -A peak
for size in "${sizes[@]}"; do
  "$build/bench/keyloom_gen" "$data/$size" "$size"
  for op in "${operations[@]}"; do
    if ! /usr/bin/time -v "$build/bench/keyloom_bench" --data "$data/$size" --one "$op" >/dev/null 2>"$data/time.txt"; then
      cat "$data/time.txt" >&2
      exit 1
    fi
    peak[$op,$size]=$(awk -F: '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$data/time.txt")
  done
  rm -rf "${data:?}/$size"
done

echo
echo "## Peak memory (maximum resident set size, MB)"
echo
header="| operation |"
rule="|---|"
for size in "${sizes[@]}"; do header+=" $size MB files |"; rule+="---:|"; done
echo "$header"
echo "$rule"
for op in "${operations[@]}"; do
  row="| $op |"
  for size in "${sizes[@]}"; do row+=" ${peak[$op,$size]} |"; done
  echo "$row"
done
