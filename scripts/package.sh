#!/usr/bin/env bash
# Builds the Debian package in the release build (build-release/, shared with
# run.sh and test.sh) and checks it: lintian, desktop-file-validate on the desktop entry,
# appstreamcli on the AppStream metadata and update-mime-database on the MIME
# definitions, each on the copy inside the package. Prints the package's path.
#   scripts/package.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-release"

if ! command -v dpkg-deb >/dev/null; then
  echo "package: skipped, dpkg-deb is missing (not a Debian system)"
  exit 0
fi
"$here/scripts/install-deps.sh"

# The release build's options (shared with run.sh and test.sh's normal run,
# which leaves its build here for the package to reuse).
mapfile -t options < <("$here/scripts/release-options.sh")
cmake -S "$here" -B "$build" -G Ninja "${options[@]}" -DKEYLOOM_TESTS=OFF -DKEYLOOM_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
logged=$(dpkg-parsechangelog -l "$here/packaging/changelog" -S Version)
if [ "$version" != "$logged" ]; then
  echo "package: packaging/changelog starts at $logged, the project is at $version; add an entry" >&2
  exit 1
fi

rm -f "$build"/quorrel-keyloom_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quorrel-keyloom_*.deb)
dpkg-deb --field "$deb"
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print "  " substr($6, 2)}'

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"

echo "== lintian"
# Errors fail the step; warnings are printed and counted.
lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$tree/lintian.log"
warnings=$(grep -c '^W: ' "$tree/lintian.log" || true)
echo "== desktop-file-validate"
desktop-file-validate "$tree"/usr/share/applications/*.desktop
echo "== appstreamcli validate"
appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml
echo "== update-mime-database"
mkdir -p "$tree/mime-check/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$tree"/usr/share/mime/packages/*.xml "$tree/mime-check/packages/"
# It reports a broken file but still succeeds, so look for the patterns.
XDG_DATA_DIRS="$tree" update-mime-database "$tree/mime-check"
for type in text/x-ms-regedit text/x-ini text/x-ms-inf; do
  grep -q ":$type:" "$tree/mime-check/globs2" || { echo "package: no file name pattern for $type" >&2; exit 1; }
done
echo "package: $deb (lintian: no errors, $warnings warnings; desktop entry, AppStream metadata and MIME types valid)"
