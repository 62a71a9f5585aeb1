#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and quiet: the emulator CTest
# runs the Windows tests through. One fixed Wine prefix in the cache folder,
# made on first use (slow) and kept; Qt's DLLs and MinGW's runtime found
# through WINEPATH, so that programs run from the build folder as they are.
#   scripts/windows/wine-run.sh PROGRAM.exe [ARGUMENT...]
set -euo pipefail
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quorrel-keyloom
qt=${KEYLOOM_QT_MINGW:-$cache/qt6-mingw}
export WINEPREFIX=${KEYLOOM_WINEPREFIX:-$cache/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
# No Mono or Gecko installers: nothing here needs .NET or a browser engine.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ ! -f "$WINEPREFIX/.made" ]; then
  mkdir -p "$WINEPREFIX"
  # One process makes the prefix while others wait for it.
  exec 8>"$WINEPREFIX.lock"
  flock 8
  if [ ! -f "$WINEPREFIX/.made" ]; then
    wine wineboot --init >/dev/null 2>&1 || true
    wineserver --wait
    touch "$WINEPREFIX/.made"
  fi
  exec 8>&-
fi

gcc_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
paths=("$qt/bin" "$gcc_runtime" /usr/x86_64-w64-mingw32/lib)
WINEPATH=$(for p in "${paths[@]}"; do printf 'Z:%s;' "${p//\//\\}"; done)
export WINEPATH
exec wine "$@"
