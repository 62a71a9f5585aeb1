#!/usr/bin/env bash
# Prints, one a line, the CMake options of the release build (build-release/),
# which run.sh, the package (scripts/package.sh) and the normal test run of
# test.sh share, so that each reuses what another built: Debian's hardening
# flags (stack protector, fortified functions, read-only relocations,
# immediate binding) at -O2 (at -O3 GCC 12 reports false -Wrestrict warnings
# inside std::string), no -g (the packaged program is stripped).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
flags() { (cd "$here" && DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --get "$1"); }
echo "-DCMAKE_BUILD_TYPE=Release"
echo "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
echo "-DKEYLOOM_WERROR=ON"
if command -v dpkg-buildflags >/dev/null; then
  echo "-DCMAKE_CXX_FLAGS=$(flags CPPFLAGS) $(flags CXXFLAGS)"
  echo "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)"
fi
