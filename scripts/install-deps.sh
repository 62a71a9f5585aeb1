#!/usr/bin/env bash
# Installs the Debian 12 packages the editor needs to build, run and test,
# leaving out what is already there. Runs apt-get as root (or through sudo).
#   scripts/install-deps.sh [--windows]   with --windows: also MinGW-w64 and
#                                         Wine, for the Windows build
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-translations-l10n libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev time
  xvfb xauth xdotool imagemagick desktop-file-utils fonts-dejavu-core
  dpkg-dev file lintian appstream shared-mime-info librsvg2-bin
  pmccabe acl attr ccache
)

# The Windows cross build and the Wine that runs its tests, without Wine's
# recommendations (no fonts or sound systems beyond what it needs).
windows_packages=()
[ "${1:-}" = "--windows" ] && windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 zip xz-utils)

missingOf() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t missing < <(missingOf "${packages[@]}")
mapfile -t missing_windows < <(missingOf "${windows_packages[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_windows[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]} ${missing_windows[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "Missing packages (${missing[*]} ${missing_windows[*]}); run this script as root to install them." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
[ ${#missing[@]} -eq 0 ] || "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
[ ${#missing_windows[@]} -eq 0 ] || "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing_windows[@]}"
