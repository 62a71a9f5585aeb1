#!/usr/bin/env bash
# Checks that the C++ files a change touches are formatted as .clang-format
# says: those the working tree changes against HEAD (untracked ones included)
# and those of the last commit. Prints one line; exits 1 naming the files that
# are not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "format check skipped: clang-format is not installed"
  exit 0
fi
base=HEAD~1
git rev-parse -q --verify "$base" >/dev/null || base=HEAD
mapfile -t files < <({ git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h'
                       git ls-files --others --exclude-standard -- '*.cpp' '*.h'; } | sort -u)
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "format check: not formatted (run 'clang-format -i' on them): ${bad[*]}"
  exit 1
fi
echo "format check: ${#files[@]} changed files formatted"
