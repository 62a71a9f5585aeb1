#!/usr/bin/env bash
# Cross-builds quorrel-keyloom.exe and keyloom.exe for 64-bit Windows in
# build-windows/ (Debian's MinGW-w64, Qt from scripts/windows/build-qt.sh)
# and puts them with the Qt DLLs, the windows platform plugin, the style
# plugin, Qt's German texts and the MinGW runtime DLLs into
# build-windows/quorrel-keyloom-VERSION-win64.zip, runnable by unpacking.
# With --tests it also builds the tests and runs them under Wine with CTest
# (widget tests on the offscreen platform). The zip's path is the last line.
#   scripts/windows/build.sh [--tests]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build="$here/build-windows"
tests=OFF
[ "${1:-}" = "--tests" ] && tests=ON

"$here/scripts/install-deps.sh" --windows
qt=$("$here/scripts/windows/build-qt.sh" | tail -1)
triple=x86_64-w64-mingw32

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O2: at -O3 GCC 12 reports false -Wrestrict warnings inside std::string.
# A unity build (KEYLOOM_UNITY, see CMakeLists.txt) unless KEYLOOM_UNITY=OFF.
cmake -S "$here" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DKEYLOOM_QT_MINGW="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DKEYLOOM_WERROR=ON -DKEYLOOM_TESTS="$tests" -DKEYLOOM_BENCH=OFF -DKEYLOOM_UNITY="${KEYLOOM_UNITY:-ON}" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/windows/wine-run.sh" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "${KEYLOOM_JOBS:-$(nproc)}"

status=0
if [ "$tests" = ON ]; then
  # One Wine server for the whole run, ended afterwards. Its helper
  # processes start here, away from CTest's pipes: started by a test, they
  # would keep its output open and CTest waiting for it.
  export WINEPREFIX=${KEYLOOM_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/quorrel-keyloom/wine}
  "$here/scripts/windows/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1
  "$here/scripts/windows/wine-run.sh" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
  # The core tests (one long program) run beside the widget tests. Wine's
  # desktop process, started by whichever test first needs it, keeps that
  # test's output open until it ends itself, which costs that one test time
  # but no other.
  # On a busy machine Wine now and then loses a child program's output
  # (seen once: keyloom.exe's diff text); a failed test runs once more, and
  # the log keeps both runs.
  (cd "$build" && ctest --output-on-failure --timeout 600 --repeat until-pass:2 -j "${KEYLOOM_JOBS:-$(nproc)}") 2>&1 |
    tee "$build/ctest.log" || status=$?
  # The widget tests' own logs (Qt Test output reaches no pipe under Wine).
  [ "$status" = 0 ] || grep -h -A3 '^FAIL' "$build"/tests/*_test.log 2>/dev/null || true
  wineserver -k || true
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=quorrel-keyloom-$version-win64
stage="$build/$name"
rm -rf "$stage" "$build/$name.zip"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
cp "$build/quorrel-keyloom.exe" "$build/keyloom.exe" "$stage/"
$triple-strip "$stage"/*.exe
cp "$qt"/bin/Qt6Core.dll "$qt"/bin/Qt6Gui.dll "$qt"/bin/Qt6Widgets.dll "$stage/"
cp "$qt"/plugins/platforms/qwindows.dll "$stage/platforms/"
cp "$qt"/plugins/styles/*.dll "$stage/styles/"
gcc_runtime=$(dirname "$($triple-g++-posix -print-libgcc-file-name)")
cp "$gcc_runtime/libstdc++-6.dll" "$gcc_runtime/libgcc_s_seh-1.dll" "/usr/$triple/lib/libwinpthread-1.dll" "$stage/"
# Qt's own texts (the Yes and No buttons) in German; qt.conf makes the
# program's folder Qt's prefix, so that they are found in translations/.
translations=/usr/share/qt6/translations
[ -f "$translations/qtbase_de.qm" ] && cp "$translations/qtbase_de.qm" "$stage/translations/"
printf '[Paths]\r\nPrefix = .\r\n' >"$stage/qt.conf"
cp -r "$here/examples" "$stage/"
(cd "$build" && zip -qr "$name.zip" "$name")
[ "$tests" = ON ] && echo "windows: $(grep -E 'tests passed|tests failed' "$build/ctest.log" | tail -1)"
echo "$build/$name.zip"
exit "$status"
