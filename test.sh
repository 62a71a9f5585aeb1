#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first under
# AddressSanitizer and UndefinedBehaviorSanitizer (with the fuzz targets run
# over their seed corpus), then in the normal build, whose test summary ends
# the output.
#   ./test.sh            everything
#   ./test.sh --quick    the normal build only
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
jobs=$(nproc)

"$here/scripts/install-deps.sh"

run_suite() {  # build-dir, extra cmake options...
  local dir=$1; shift
  cmake -S "$here" -B "$here/$dir" -G Ninja -DKEYLOOM_WERROR=ON "$@" >/dev/null
  cmake --build "$here/$dir" -j "$jobs"
  (cd "$here/$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
}

if [ "${1:-}" != "--quick" ]; then
  export ASAN_OPTIONS=detect_leaks=0
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DKEYLOOM_SANITIZE=ON -DKEYLOOM_BENCH=OFF
  # The fuzz targets build, and each keeps its properties on its seed corpus.
  "$here/scripts/fuzz.sh" 0
fi
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
