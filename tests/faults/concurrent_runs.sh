#!/usr/bin/env bash
# Concurrent runs over one library:
#
#   concurrent_runs.sh RETAG [ROUNDS]
#
# 1. ROUNDS times (default 10), two runs of retag at once over one library of
#    200 symbols, with two lists that give the attributes different values
#    (lists a and b). Afterwards every block file holds its old content, a's or
#    b's result, never a mix; its backup tells who wrote it: the old content
#    when one run did, the other run's result when both did, one after the
#    other. The saves so counted must equal the symbols the two logs count as
#    processed less the saves refused because the other run held the lock
#    (each logged as "Could not save SYMBOL" and counted), each log accounts
#    for every symbol, no lock or temporary file is left, and a run afterwards
#    completes the work.
# 2. A run while a live process of this host (a sleep) holds the locks of
#    some blocks and a process of another host the lock of one: their saves
#    are refused, logged and counted, their files, backups and lock files stay
#    as they were. Once the sleep has ended, the next run takes its locks over
#    as orphans and completes the work; the other host's lock is still left
#    alone, until it is removed by hand.
# Prints the figures; the status is 1 when a check failed. The projects go
# into /dev/shm where there is one (unless TMPDIR is set), which keeps the
# saves' syncs to disk out of the time.
set -u
here=$(cd "$(dirname "$0")" && pwd)
retag=$(realpath "$1")
rounds=${2:-10}
shm=()
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && shm=(-p /dev/shm)
work=$(mktemp -d "${shm[@]}")
sleeper=
trap '[ -n "$sleeper" ] && kill $sleeper 2>/dev/null; rm -rf "$work"' EXIT
. "$here/sums.sh"
declare -i failed=0 interleaved=0 runs=0 conflicts=0 both=0
fail() {
  echo "$*" >&2
  failed+=1
}

# The project: one library, the lists a.ltf and b.ltf.
"$here/make_library.sh" "$work/orig" 200 a >/dev/null
mv "$work/orig/parts.ltf" "$work/orig/a.ltf"
"$here/make_library.sh" "$work/b" 200 b >/dev/null
mv "$work/b/parts.ltf" "$work/orig/b.ltf"

# retag_in DIR LIST: one run of retag in project DIR with list LIST.
retag_in() {
  (cd "$1" && exec env -i PATH=/usr/bin:/bin HOME="$1" "$retag" "$2" flib) >"$1/.$2.out" 2>&1 \
    </dev/null
}
# count PATTERN LOG: the lines of LOG that match PATTERN.
count() {
  grep -c -- "$1" "$2"
}
# The results of a and b; either applied after the other gives its own.
for l in a b; do
  cp -r "$work/orig" "$work/$l.only"
  retag_in "$work/$l.only" $l || fail "run $l alone failed"
  sums "$work/$l.only" >"$work/$l.sums"
done
for pair in "a b" "b a"; do
  read -r first then <<<"$pair"
  cp -r "$work/$first.only" "$work/$first$then"
  retag_in "$work/$first$then" $then
  cmp -s <(sums "$work/$first$then" | grep -v '\.bac ') <(grep -v '\.bac ' "$work/$then.sums") ||
    fail "$then applied after $first differs from $then alone"
done
sums "$work/orig" >"$work/old.sums"

# judge DIR: checks the files of DIR after two runs at once (see 1. above).
judge() {
  local d=$1 writes
  writes=$(sums "$d" | awk '
    FILENAME == ARGV[1] { old[$1] = $2; next }
    FILENAME == ARGV[2] { a[$1] = $2; next }
    FILENAME == ARGV[3] { b[$1] = $2; next }
    { now[$1] = $2 }
    END {
      for (f in old) {
        if (f ~ /\.bac$/) continue
        has = (f ".bac") in now; k = now[f]; bac = now[f ".bac"]
        if (k == old[f]) {
          if (has) print "interleaved", f, "unchanged but backed up"
        } else if (k == a[f] || k == b[f]) {
          other = k == a[f] ? b[f] : a[f]
          if (bac == old[f]) writes++
          else if (bac == other) { writes += 2; both++ }
          else print "interleaved", f, "backup holds neither the old content nor the other run'"'"'s"
        } else {
          print "interleaved", f, "holds a mix"
        }
      }
      for (f in now) {
        base = f; sub(/\.bac$/, "", base)
        if (!(base in old)) print "left", f, "left behind"
      }
      print "writes", writes + 0, both + 0
    }' "$work/old.sums" "$work/a.sums" "$work/b.sums" -)
  while read -r what rest; do
    if [ "$what" = interleaved ] || [ "$what" = left ]; then
      [ "$what" = interleaved ] && interleaved+=1
      fail "round $round: $rest"
    else
      read -r saves twice <<<"$rest"
      both+=$twice
    fi
  done <<<"$writes"
  local processed=0 l
  for l in a b; do
    local log=$d/$l.log done locked missing errors
    done=$(sed -n 's/^\([0-9]*\) symbols were processed successfully\.$/\1/p' "$log")
    errors=$(sed -n 's/^\([0-9]*\) errors were generated\.$/\1/p' "$log")
    locked=$(count '^Could not save SYMBOL flib:s[0-9]*\.1$' "$log")
    missing=$(count 'was not found in the LTF file' "$log")
    conflicts+=$locked
    # A save refused (the other run held the lock) counts as processed too.
    processed=$((processed + done - locked))
    [ $((done + missing)) -eq 200 ] || fail "round $round, run $l: $done processed," \
      "$missing not listed: symbols lost"
    [ "$errors" -eq $((locked + missing)) ] || fail "round $round, run $l: $errors errors counted"
  done
  [ "$saves" -eq "$processed" ] || fail "round $round: $processed saves done, $saves seen"
  [ -z "$(find "$d/lib/sym/lock" -type f 2>/dev/null)" ] || fail "round $round: lock files left"
}

# 1. Two runs at once.
for ((round = 1; round <= rounds; round++)); do
  d=$work/round
  rm -rf "$d"
  cp -r "$work/orig" "$d"
  retag_in "$d" a &
  pa=$!
  retag_in "$d" b &
  pb=$!
  wait $pa || fail "round $round: run a ended with status $?"
  wait $pb || fail "round $round: run b ended with status $?"
  runs+=2
  judge "$d"
  retag_in "$d" a || fail "round $round: the run afterwards failed"
  diff -q <(sums "$d" | grep -v '\.bac ') <(grep -v '\.bac ' "$work/a.sums") >/dev/null ||
    fail "round $round: the run afterwards did not complete the work"
done

# 2. Locks held by a live process of this host and by another host.
d=$work/held
cp -r "$work/orig" "$d"
mkdir "$d/lib/sym/lock"
sleep 300 &
sleeper=$!
# lock NAME PID HOST: a lock file of block NAME as the lock layer writes it.
lock() {
  printf 'State: 0\nOwner: %s\nCreated: (0) Jan 1 1970 0:0:0\nFacId: 4\nFacVer: 5.41\n' "$(id -u)"
  printf 'PLVer: 5.2.0\nProcId: %d\nHostId: %s\nClassName: SYMBOL\nLockTest: ALL\n%212s' "$2" "$3" ''
}
heldBy=(s010.1 s011.1 s120.1 s199.1)
for b in "${heldBy[@]}"; do
  lock "$b" $sleeper "$(uname -n)" >"$d/lib/sym/lock/$b"
done
lock s099.1 $sleeper elsewhere.invalid >"$d/lib/sym/lock/s099.1"
cp -r "$d/lib/sym/lock" "$work/locks.before"
retag_in "$d" a || fail "run beside held locks ended with status $?"
runs+=1
for b in "${heldBy[@]}" s099.1; do
  cmp -s "$d/lib/sym/$b" "$work/orig/lib/sym/$b" && [ ! -e "$d/lib/sym/$b.bac" ] ||
    fail "$b was written while another process held its lock"
  cmp -s "$d/lib/sym/lock/$b" "$work/locks.before/$b" || fail "the lock of $b was taken or broken"
  grep -qx "Could not save SYMBOL flib:$b" "$d/a.log" ||
    fail "$b held by another process is not logged"
done
# A refused save is an error and still counts the symbol as processed: the
# 192 symbols of the list; 5 refused saves and 8 symbols not in the list.
grep -qx "192 symbols were processed successfully." "$d/a.log" &&
  grep -qx "13 errors were generated." "$d/a.log" || fail "counts beside held locks: $(tail -2 "$d/a.log")"
kill $sleeper
wait $sleeper 2>/dev/null
sleeper=
retag_in "$d" a || fail "run after the holder ended: status $?"
runs+=1
cmp -s "$d/lib/sym/lock/s099.1" "$work/locks.before/s099.1" || fail "another host's lock was taken over"
[ "$(ls "$d/lib/sym/lock")" = s099.1 ] || fail "orphaned locks left: $(ls "$d/lib/sym/lock")"
rm "$d/lib/sym/lock/s099.1"
retag_in "$d" a || fail "run after the other host's lock was removed: status $?"
runs+=1
diff -q <(sums "$d" | grep -v '\.bac ') <(grep -v '\.bac ' "$work/a.sums") >/dev/null ||
  fail "the runs after the locks went did not complete the work"

echo "concurrent runs: $runs runs ($((2 * rounds)) two at once over 200 symbols), $conflicts" \
  "saves refused because the other run held the lock, $both written by both one after the other;" \
  "interleaved writes: $interleaved; failed checks: $failed"
[ $failed -eq 0 ]
