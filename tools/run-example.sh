#!/usr/bin/env bash
# Builds retag and runs it on the bundled example project (examples/project),
# working on a scratch copy so the example itself stays untouched. Shows the
# run, the log, and for each block file of the library what the run did to
# it (with the changes against its backup).
#
# What it is doing while it builds goes to standard error: the configuration,
# then the build of retag with a running count of its steps (the first build
# compiles the whole library; later ones only what changed). The output of
# cmake is kept in build/release/run-example.log and shown when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
log=build/release/run-example.log
mkdir -p build/release
say() { printf 'run-example: %s\n' "$*" >&2; }
failed() {
  cat "$log" >&2
  say "$1 failed (output above, also in $log)"
  exit 1
}

say "configuring build/release"
cmake -S . -B build/release "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1 ||
  failed "configuring"
say "building retag with $(nproc) jobs (the first build compiles the whole library)"
# Ninja and make both start their step lines with the step count or the
# percentage done; on a terminal each one is shown on a line that is
# rewritten.
progress() {
  local done
  while read -r done; do
    if [ -t 2 ]; then printf '\rrun-example: step %s ' "$done" >&2; fi
  done
  if [ -t 2 ]; then printf '\n' >&2; fi
}
cmake --build build/release -j "$(nproc)" --target retag 2>&1 | tee -a "$log" |
  sed -un 's/^\[ *\([0-9/%]*\)\].*/\1/p' | progress || failed "building"
say "running retag on a copy of examples/project"
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
