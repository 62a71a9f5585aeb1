#!/usr/bin/env bash
# Fails when a function in src/ is longer than 80 lines or has a cyclomatic
# complexity above 30, as pmccabe (Debian package pmccabe) counts them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
max_lines=80
max_complexity=30
command -v pmccabe >/dev/null || { echo "check-complexity: pmccabe is missing (scripts/install-deps.sh)" >&2; exit 1; }
# Columns: modified and traditional complexity, statements, first line,
# lines, then "file(line): function".
report=$(cd "$here" && find src -name '*.cpp' -print0 | sort -z | xargs -0 pmccabe |
  awk -v L="$max_lines" -v C="$max_complexity" '$2 > C || $5 > L')
if [ -n "$report" ]; then
  echo "check-complexity: functions over $max_lines lines or complexity $max_complexity:" >&2
  echo "$report" >&2
  exit 1
fi
echo "check-complexity: every function in src/ within $max_lines lines and complexity $max_complexity"
