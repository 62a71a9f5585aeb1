#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first under
# AddressSanitizer and UndefinedBehaviorSanitizer (with the fuzz targets run
# over their seed corpus); then the release build without the tests (the
# Windows build runs them optimised), where the benchmarks' small run checks
# them and from which it makes and checks the Debian package; last the
# Windows build with its tests under Wine, where Qt for Windows is cached or
# its ready copy is there. The summaries of each step end the output.
#   ./test.sh            everything
#   ./test.sh --quick    the normal build (build/, with debug information) only,
#                        every test and the benchmarks' small run
#   ./test.sh --windows  the Windows build and its tests only (makes the Qt
#                        for Windows when missing, about 35 minutes)
# Each build compiles its sources a few files at a time (CMake's unity build,
# KEYLOOM_UNITY), which halves a clean build; KEYLOOM_UNITY=OFF ./test.sh ...
# compiles file by file, for error locations in the file itself.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
jobs=$(nproc)
unity=${KEYLOOM_UNITY:-ON}
export KEYLOOM_UNITY=$unity

"$here/scripts/install-deps.sh"
"$here/scripts/check-format.sh"
"$here/scripts/check-complexity.sh"

summary=()
ctest_args=()  # set for a run_suite call that runs only some of the tests
run_suite() {  # build-dir, extra cmake options...
  local dir=$1; shift
  cmake -S "$here" -B "$here/$dir" -G Ninja -DKEYLOOM_WERROR=ON -DKEYLOOM_UNITY="$unity" "$@" >/dev/null
  cmake --build "$here/$dir" -j "$jobs"
  local log="$here/$dir/ctest.log" status=0
  (cd "$here/$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" "${ctest_args[@]}") 2>&1 |
    tee "$log" || status=$?
  local result
  result="$dir: $(grep -E 'tests passed|tests failed' "$log" | tail -1)"
  if grep -q '^KEYLOOM_TESTS:BOOL=ON' "$here/$dir/CMakeCache.txt"; then
    # The core tests run as a few shards: say how many cases they hold.
    result+=" (core_tests: $("$here/$dir/tests/core_tests" --gtest_list_tests 2>/dev/null | grep -c '^  ' || true) cases)"
  else
    result+=" (the benchmarks' small run; the tests run in the other builds)"
  fi
  summary+=("$result")
  return "$status"
}

# The Windows build (scripts/windows/build.sh --tests): the core, command-line
# and widget tests as Windows programs under Wine, and the zip.
run_windows() {
  local log start=$SECONDS status=0
  mkdir -p "$here/build-windows"
  log="$here/build-windows/test.log"
  "$here/scripts/windows/build.sh" --tests 2>&1 | tee "$log" || status=$?
  local result
  result=$(grep -E '^windows: ' "$log" | tail -1 | cut -c10- || true)
  summary+=("build-windows: ${result:-the build failed, see above} ($((SECONDS - start)) s)")
  return "$status"
}

if [ "${1:-}" = "--windows" ]; then
  status=0
  run_windows || status=$?
  echo
  printf '%s\n' "${summary[@]}"
  exit "$status"
fi

if [ "${1:-}" != "--quick" ]; then
  export ASAN_OPTIONS=detect_leaks=0
  # With the fuzz targets, each run over its seed corpus (scripts/fuzz.sh
  # fuzzes with libFuzzer).
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DKEYLOOM_SANITIZE=ON -DKEYLOOM_BENCH=OFF
fi
if [ "${1:-}" = "--quick" ]; then
  run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEYLOOM_BENCH=ON -DKEYLOOM_TESTS=ON
else
  # The release build, which the package below reuses, without the tests:
  # the sanitizer build above and the Windows build below run them all, the
  # latter optimised. Only the benchmarks are built and run here (their small
  # run, CTest label bench), as they are nowhere else.
  mapfile -t release < <("$here/scripts/release-options.sh")
  ctest_args=(-L bench)
  run_suite build-release "${release[@]}" -DKEYLOOM_BENCH=ON -DKEYLOOM_TESTS=OFF
  ctest_args=()
  # The Debian package from that build, checked by lintian and the
  # desktop-entry, AppStream and MIME validators; its last line is the result.
  log=$(mktemp)
  "$here/scripts/package.sh" 2>&1 | tee "$log"
  summary+=("$(tail -1 "$log")")
  rm -f "$log"
  # On a machine without Qt for Windows, building it would take longer than
  # the rest together: the step then only says that it was left out.
  if "$here/scripts/windows/build-qt.sh" --check; then
    run_windows
  else
    summary+=("build-windows: skipped, no Qt for Windows cached and no ready copy (./test.sh --windows makes it)")
  fi
fi
# Repeat the summaries so that they end the output.
echo
printf '%s\n' "${summary[@]}"
