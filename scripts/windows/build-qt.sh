#!/usr/bin/env bash
# Makes Qt for Windows (x86_64-w64-mingw32: Core, Gui, Widgets, Test, shared,
# release) in the cache folder outside the repository and prints that folder
# on its last line. A folder whose stamp names this Qt version and this
# script's hash is used as it is. Otherwise the ready copy beside the project
# (../shared/cache/, or KEYLOOM_QT_READY) is unpacked when its checksum is the
# one recorded here; without it Qt is built from Debian's source package with
# Debian's MinGW-w64 against the host's Qt tools (about 35 minutes on 2 cores).
#   scripts/windows/build-qt.sh [--from-source]
#   scripts/windows/build-qt.sh --check   exit status 0 when Qt is there or
#                                          can be unpacked, without a build
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
script="$here/scripts/windows/build-qt.sh"

qt_version=6.4.2
ready_name=qt6.4.2-mingw-x86_64
ready_sha256=ab2f3da5332d6f92e6ea6a8e984fe1e3357bedf6fec9d047134f0d8b927fc455
ready=${KEYLOOM_QT_READY:-$here/../shared/cache/$ready_name.tar.xz}

cache=${XDG_CACHE_HOME:-$HOME/.cache}/quorrel-keyloom
prefix=$cache/qt6-mingw
stamp_text="Qt $qt_version $(sha256sum "$script" | cut -d' ' -f1)"
from_source=0
[ "${1:-}" = "--from-source" ] && from_source=1

ready_matches() { [ -f "$ready" ] && [ "$(sha256sum "$ready" | cut -d' ' -f1)" = "$ready_sha256" ]; }
if [ "${1:-}" = "--check" ]; then
  [ "$(cat "$prefix/.stamp" 2>/dev/null)" = "$stamp_text" ] || ready_matches
  exit
fi

say() { echo "build-qt: $*" >&2; }

mkdir -p "$cache"
# Two test runs at once wait for each other rather than both building.
exec 9>"$cache/qt6-mingw.lock"
flock 9

if [ "$from_source" = 0 ] && [ "$(cat "$prefix/.stamp" 2>/dev/null)" = "$stamp_text" ]; then
  echo "$prefix"
  exit 0
fi
rm -rf "$prefix" "$prefix.new"

unpack_ready() {
  say "unpacking the ready copy $ready"
  local tmp
  tmp=$(mktemp -d "$cache/unpack.XXXXXX")
  tar -xJf "$ready" -C "$tmp"
  mv "$tmp/$ready_name" "$prefix.new"
  rm -rf "$tmp"
}

# A deb-src line (or deb822 stanza) for each deb entry of the machine's own
# archive, in a private apt state folder: the machine's package lists stay as
# they are.
fetch_source() {  # work-folder
  local work=$1 apt=$1/apt f
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f"
  done >"$apt/sources.list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/sources.list.d/$(basename "$f")"
  done
  local opts=(-o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
    -o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
    -o "APT::Sandbox::User=$(id -un)")
  say "fetching the source package qt6-base"
  # Entries of other archives may have no sources; apt-get source says
  # whether the one needed was found.
  apt-get "${opts[@]}" update -qq || say "some source lists could not be fetched (see above)"
  (cd "$work" && apt-get "${opts[@]}" source -qq qt6-base >/dev/null)
}

build_source() {
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || {
    say "MinGW-w64 is missing: scripts/install-deps.sh --windows installs it"
    exit 1
  }
  local work=$cache/qt6-mingw-build
  rm -rf "$work"
  mkdir -p "$work"
  fetch_source "$work"
  local src
  src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)
  local version
  version=$(cd "$src" && dpkg-parsechangelog -S Version)
  case "$version" in
  "$qt_version"+*) ;;
  *)
    say "the archive's qt6-base is $version, this script makes Qt $qt_version"
    exit 1
    ;;
  esac
  say "configuring Qt $version for x86_64-w64-mingw32"
  # tabletevent: the source package leaves out wintab.h. dynamicgl: with
  # OpenGL off, the windows platform plugin does not compile otherwise.
  cmake -G Ninja -S "$src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix.new" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF >"$work/configure.log" ||
    {
      say "configure failed, see $work/configure.log"
      exit 1
    }
  say "building (log: $work/build.log)"
  cmake --build "$work/build" --parallel "${KEYLOOM_JOBS:-$(nproc)}" >"$work/build.log" ||
    {
      say "the build failed, see $work/build.log"
      exit 1
    }
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
}

if [ "$from_source" = 0 ] && ready_matches; then
  unpack_ready
else
  [ -f "$ready" ] && [ "$from_source" = 0 ] && say "$ready does not have the recorded checksum; building from source"
  build_source
fi
# Qt's German texts come from the host's qt6-translations-l10n: the same
# files on every system, and found by the tests through this prefix.
if [ -d /usr/share/qt6/translations ]; then
  mkdir -p "$prefix.new/translations"
  cp /usr/share/qt6/translations/qtbase_de.qm "$prefix.new/translations/" 2>/dev/null || true
fi
echo "$stamp_text" >"$prefix.new/.stamp"
mv "$prefix.new" "$prefix"
say "Qt $qt_version for Windows in $prefix"
echo "$prefix"
