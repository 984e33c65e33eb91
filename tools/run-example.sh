#!/usr/bin/env bash
# Builds retag and runs it on the bundled example project (examples/project),
# working on a scratch copy so the example itself stays untouched. Shows the
# run, the log, and for each block file of the library what the run did to
# it (with the changes against its backup).
set -euo pipefail
cd "$(dirname "$0")/.."
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B build/release "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target retag >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r examples/project/. "$work/"
cd "$work"
echo "\$ retag parts demolib    (in a copy of examples/project)"
status=0
"$OLDPWD/build/release/bin/retag" parts demolib || status=$?
echo "[exit status $status]"
if [ -f parts.log ]; then echo "--- parts.log"; cat parts.log; fi
echo "--- demolib/sym after the run"
for f in demolib/sym/*; do
  [ -f "$f" ] || continue
  case $f in
  *.bac) continue ;;
  esac
  if [ -f "$f.bac" ]; then
    echo "$f: rewritten, the old content kept in $f.bac:"
    diff "$f.bac" "$f" | sed -n 's/^[<>] /  &/p' || true
  elif cmp -s "$f" "$OLDPWD/examples/project/$f"; then
    echo "$f: unchanged"
  else
    echo "$f: CHANGED without a backup"
  fi
done
