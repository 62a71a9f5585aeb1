#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS
# seconds, one after the other, starting from the seed corpus in
# fuzz/corpus/<target>/; new inputs go to build-fuzz/corpus/<target>/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 60 seconds, every target
# SECONDS 0 only builds the targets and runs each over its seed corpus once.
# Stops at the first target that breaks a property or crashes; the input that
# did it is left in build-fuzz/ (crash-*, leak-*, timeout-*).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build="$here/build-fuzz"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DKEYLOOM_FUZZ=ON -DKEYLOOM_TESTS=OFF -DKEYLOOM_BENCH=OFF >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$here"/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$src" .cpp)")
  done
fi
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  seeds="$here/fuzz/corpus/$target"
  mkdir -p "$corpus" "$seeds"
  if [ "$seconds" = 0 ]; then
    run=(-runs=0 "$seeds")
  else
    run=(-max_total_time="$seconds" "$corpus" "$seeds")
  fi
  echo "== $target: $seconds s (log: build-fuzz/$target.log)"
  if ! (cd "$build" && "./fuzz/$target" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
          "${run[@]}" >"$build/$target.log" 2>&1); then
    tail -n 60 "$build/$target.log"
    echo "$target failed" >&2
    exit 1
  fi
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec' "$build/$target.log" || true
done
