#!/usr/bin/env bash
# Interrupts at a known point of the visit:
#
#   interrupt.sh RETAG
#
# The library of 200 symbols (make_library.sh) has a named pipe in the place of
# s100.1, so the visit waits there, in the middle of the library, until the
# pipe gets a writer. For each of SIGINT, SIGTERM and SIGHUP, sent twice while
# the run waits: the run ends by that signal; the log holds the failed load of
# s100.1, the interrupt line and the counts of the 99 symbols before it; those
# are rewritten with their backups, the rest of the library is untouched; no
# lock or temporary file is left. A signal ignored when the run starts stays
# ignored: a run started with SIGHUP ignored goes on to the end. And an
# interrupt ends the wait for a lock file that cannot be read.
set -u
here=$(cd "$(dirname "$0")" && pwd)
retag=$(realpath "$1")
shm=()
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && shm=(-p /dev/shm)
work=$(mktemp -d "${shm[@]}")
trap 'rm -rf "$work"' EXIT
# Without job control a background command would start with SIGINT ignored.
set -m
. "$here/sums.sh"
declare -i failed=0
fail() {
  echo "$*" >&2
  failed+=1
}
"$here/make_library.sh" "$work/orig" 200 >/dev/null
rm "$work/orig/lib/sym/s100.1"
mkfifo "$work/orig/lib/sym/s100.1"
cp -r "$work/orig" "$work/ref"
(cd "$work/ref" && env -i PATH=/usr/bin:/bin "$retag" parts flib >/dev/null 2>&1 </dev/null) &
sleep 0.2
: >"$work/ref/lib/sym/s100.1" # the reference run reads the pipe empty and goes on
wait $! || fail "reference run ended with status $?"

# start DIR [IGNORED]: retag in DIR in the background, with signal IGNORED
# ignored; returns once the visit waits at the pipe.
start() {
  (cd "$1" && { [ -z "${2:-}" ] || trap '' "$2"; } && exec env -i PATH=/usr/bin:/bin "$retag" parts flib) \
    >"$1/.out" 2>&1 </dev/null &
  pid=$!
  for ((i = 0; i < 500; i++)); do
    # A staged save holds its lock until its group is committed.
    [ -e "$1/lib/sym/s099.1.bac" ] || [ -e "$1/lib/sym/lock/s099.1" ] && break
    sleep 0.01
  done
  sleep 0.2
}

for sig in INT TERM HUP; do
  d=$work/$sig
  cp -r "$work/orig" "$d"
  start "$d"
  kill -s $sig $pid
  sleep 0.05
  kill -s $sig $pid 2>/dev/null
  wait $pid 2>/dev/null
  status=$?
  [ $status -eq $((128 + $(kill -l $sig))) ] || fail "SIG$sig: status $status"
  expected=$(printf '%s\n' "Could not get the SYMBOL information from flib:s100.1" \
    "Interrupted by SIG$sig: the symbols not yet visited were left as they were." \
    "96 symbols were processed successfully." "4 errors were generated.")
  [ "$(grep -v 'was not found in the LTF file' "$d/parts.log")" = "$expected" ] ||
    fail "SIG$sig: log" "$(cat "$d/parts.log")"
  grep -q "^Interrupted by SIG$sig: " "$d/.out" || fail "SIG$sig: nothing said on standard output"
  # Before the pipe as the reference run left them, after it untouched.
  diff <(sums "$d") <({ sums "$work/ref" | awk '$1 < "s100.1"'
    sums "$work/orig" | awk '$1 > "s100.1"'; } | sort) >/dev/null ||
    fail "SIG$sig: a symbol before the pipe unfinished, one after it begun, or a file left"
  [ -z "$(find "$d/lib/sym/lock" -type f 2>/dev/null)" ] || fail "SIG$sig: lock files left"
done

d=$work/ignored
cp -r "$work/orig" "$d"
start "$d" HUP
kill -s HUP $pid
sleep 0.05
: >"$d/lib/sym/s100.1"
wait $pid || fail "run with SIGHUP ignored ended with status $?"
cmp -s "$d/parts.log" "$work/ref/parts.log" || fail "run with SIGHUP ignored did not finish"
# An interrupt during the wait for a lock file that cannot be read (empty:
# it is retried for about 25 seconds) ends that wait: the symbol is refused
# and counted, the run ends by the signal at once, the lock file stays.
d=$work/unreadable
cp -r "$work/orig" "$d"
rm "$d/lib/sym/s100.1" # a symbol the list leaves out, in place of the pipe
: >"$d/lib/sym/s100.1"
mkdir -p "$d/lib/sym/lock"
: >"$d/lib/sym/lock/s101.1"
start "$d"
kill -s INT $pid
SECONDS=0
wait $pid 2>/dev/null
status=$?
[ $status -eq 130 ] || fail "unreadable lock: status $status"
[ $SECONDS -lt 10 ] || fail "unreadable lock: the run waited $SECONDS s after SIGINT"
expected=$(printf '%s\n' "Could not save SYMBOL flib:s101.1" \
  "Interrupted by SIGINT: the symbols not yet visited were left as they were." \
  "97 symbols were processed successfully." "5 errors were generated.")
[ "$(grep -v 'was not found in the LTF file' "$d/parts.log")" = "$expected" ] ||
  fail "unreadable lock: log" "$(cat "$d/parts.log")"
[ "$(find "$d/lib/sym/lock" -type f)" = "$d/lib/sym/lock/s101.1" ] &&
  [ ! -s "$d/lib/sym/lock/s101.1" ] || fail "unreadable lock: the lock files changed"
[ $failed -eq 0 ]
