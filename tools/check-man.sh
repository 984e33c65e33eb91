#!/usr/bin/env bash
# Checks every manual page of docs/ and fails on any finding
# (tools/check-style.sh runs it; it also runs alone):
#   - a macro line with an odd number of double quotes: its last argument
#     runs to the end of the line and the quote meant to close it is lost
#     (`.IR name ",` prints name, without the closing quote);
#   - any warning of groff with all warnings on (skipped, and said so,
#     without groff).
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
if ! awk '/^\./ { line = $0; gsub(/\\"/, "", line)
                        if (gsub(/"/, "", line) % 2) { print FILENAME ":" FNR ": unbalanced quotes: " $0; bad = 1 } }
          END { exit bad }' docs/*.[1-9]; then
  status=1
fi
if ! command -v groff >/dev/null; then
  echo "manual pages not checked: groff is not installed"
  exit $status
fi
for page in docs/*.[1-9]; do
  warnings=$(groff -ww -man -z "$page" 2>&1) || true
  if [ -n "$warnings" ]; then
    echo "$warnings"
    status=1
  fi
done
exit $status
