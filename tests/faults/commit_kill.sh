#!/usr/bin/env bash
# Kills placed inside the commit of a group of saves:
#
#   commit_kill.sh RETAG
#
# A library of 200 symbols (make_library.sh; 192 of them are rewritten) is
# saved in one or two groups. Each trial runs retag under strace, which
# kills it (SIGKILL) on entering a chosen system call: the first or second
# syncfs (before the group's first flush, or between its renames and its
# second flush), or rename number K (before the first rename, between a
# block's rename and its backup's, in the middle, before the last). Then:
#   - every block file holds its old or its new content; one that holds the
#     new content has its old content as its backup, or under the backup's
#     temporary name; no backup holds anything but the old content;
#   - a second run ends with status 0 and leaves every block file, backup
#     and the log as an uninterrupted run does (every original in a backup),
#     and no temporary or lock file.
# Skipped (status 77) without strace or where strace cannot inject signals.
set -u
here=$(cd "$(dirname "$0")" && pwd)
retag=$(realpath "$1")
command -v strace >/dev/null || { echo "skipped: strace is not installed"; exit 77; }
strace -o /dev/null -e trace=none -e inject=getpid:retval=1 true 2>/dev/null ||
  { echo "skipped: strace cannot inject faults here"; exit 77; }
shm=()
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && shm=(-p /dev/shm)
work=$(mktemp -d "${shm[@]}")
trap 'rm -rf "$work"' EXIT
. "$here/sums.sh"
declare -i failed=0
fail() {
  echo "$*" >&2
  failed+=1
}
run() { (cd "$1" && env -i PATH=/usr/bin:/bin HOME="$1" "${@:2}" "$retag" parts flib) \
  >/dev/null 2>&1 </dev/null; }

"$here/make_library.sh" "$work/orig" 200 >/dev/null
cp -r "$work/orig" "$work/ref"
run "$work/ref" || fail "reference run ended with status $?"
sums "$work/orig" >"$work/old.sums"
sums "$work/ref" >"$work/new.sums"

# state DIR: the faults of a library killed in a commit, one per line.
state() {
  sums "$1" | awk '
    FILENAME == ARGV[1] { old[$1] = $2; next }
    FILENAME == ARGV[2] { new[$1] = $2; next }
    { now[$1] = $2 }
    END {
      for (f in old) {
        b = f ".bac"
        if (!(b in now) && ((b ".tmp") in now)) b = b ".tmp"
        if (now[f] != old[f] && now[f] != new[f]) print f " holds neither its old nor its new content"
        if (now[f] == new[f] && now[f] != old[f] && !(b in now)) print f " rewritten without backup"
        if ((b in now) && now[b] != old[f]) print b " does not hold the old content"
      }
    }' "$work/old.sums" "$work/new.sums" -
}

for point in syncfs:1 syncfs:2 rename:1 rename:2 rename:3 rename:191 rename:384; do
  call=${point%:*} nth=${point#*:}
  t=$work/$call$nth
  cp -r "$work/orig" "$t"
  run "$t" strace -f -o /dev/null -e trace="$call" \
    -e inject="$call":signal=KILL:when="$nth"
  status=$?
  [ $status -ne 0 ] || { fail "$point: the run was not killed"; continue; }
  faults=$(state "$t")
  [ -z "$faults" ] || fail "$point, killed: $faults"
  run "$t" || fail "$point: the second run ended with status $?"
  diff <(sums "$t") "$work/new.sums" >/dev/null ||
    fail "$point: the second run left other files than an uninterrupted run" \
      "$(diff <(sums "$t") "$work/new.sums")"
  cmp -s "$t/parts.log" "$work/ref/parts.log" || fail "$point: the second run's log differs"
  [ -z "$(find "$t/lib/sym/lock" -type f 2>/dev/null)" ] || fail "$point: lock files left"
done
[ $failed -eq 0 ]
