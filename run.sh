#!/usr/bin/env bash
# Installs what is missing, builds, and opens the editor on FILE, or on the
# bundled examples/ folder when no file is named.
#   ./run.sh [FILE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

"$here/scripts/install-deps.sh"
mapfile -t options < <("$here/scripts/release-options.sh")
cmake -S "$here" -B "$here/build-release" -G Ninja "${options[@]}" -DKEYLOOM_TESTS=OFF -DKEYLOOM_BENCH=OFF >/dev/null
cmake --build "$here/build-release" --target quorrel-keyloom

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: run it in a desktop session, or without one as 'xvfb-run ./run.sh [FILE]'." >&2
  exit 1
fi

program="$here/build-release/quorrel-keyloom"
if [ $# -gt 0 ]; then
  file=$*
  [ -e "$file" ] && file=$(realpath -s -- "$file")
  exec "$program" "$file"
fi
cd "$here/examples"
exec "$program"
