#!/usr/bin/env bash
# Fault injection: retag killed at a random moment, over and over.
#
#   tools/fault-inject.sh [-n TRIALS] [-s SIGNAL] [-r SEED] [RETAG]
#
# Builds a project whose library holds 200 symbols (tests/faults/make_library.sh),
# runs retag on a copy once to the end (the reference: its block files, backups
# and log), then for each trial runs retag on a fresh copy, sends SIGNAL
# (default KILL; INT, TERM and HUP test the interrupt instead) at a moment drawn
# uniformly from the duration of a complete run, and checks:
#   - every block file is byte-identical to its old or its new (reference)
#     content; one that holds the new content has a backup;
#   - every backup that exists holds the old content of its block;
#   - a second run, started right away, ends with status 0, leaves every block
#     file as the reference run did, every backup holding the old content
#     (the original), no lock file (those of the dead run are taken over as orphans)
#     and a log equal to the reference log (so no lock stopped it);
#   - after an interrupt (INT, TERM, HUP) also: the run ended by that signal,
#     left no lock or temporary file, and the count of symbols processed in
#     its log equals the number of block files it rewrote (the symbol in hand
#     was finished, none was begun after it).
# A temporary file left by a killed save must be removed or passed over by the
# second run: it may remain, and is counted, but it is never a block file.
# Prints one line of figures; the status is 1 when any check failed.
#
# TRIALS defaults to 200, RETAG to build/release/bin/retag (message files beside
# it). SEED makes the moments repeatable. The projects go under TMPDIR when it
# is set, else into /dev/shm where there is one: a kill tests the same there
# (the saves' syncs to disk guard against power loss, not against a kill) and
# a run takes a tenth of the time.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
trials=200
signal=KILL
seed=$((RANDOM * 32768 + RANDOM))
while getopts n:s:r: opt; do
  case $opt in
  n) trials=$OPTARG ;;
  s) signal=${OPTARG#SIG} ;;
  r) seed=$OPTARG ;;
  *) sed -n '2,4p' "$0" >&2 && exit 2 ;;
  esac
done
shift $((OPTIND - 1))
RANDOM=$seed
retag=$(realpath "${1:-$root/build/release/bin/retag}")
signo=$(kill -l "$signal") || exit 2
shm=()
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && shm=(-p /dev/shm)
work=$(mktemp -d "${shm[@]}")
trap 'rm -rf "$work"' EXIT
# A non-interactive shell starts background commands with SIGINT ignored;
# with job control they keep its default action, as from a terminal.
set -m

"$root/tests/faults/make_library.sh" "$work/orig" 200 >/dev/null || exit 2
. "$root/tests/faults/sums.sh"

# run DIR: retag in project DIR, in the background (its pid in $!).
run() {
  (cd "$1" && exec env -i PATH=/usr/bin:/bin HOME="$1" "$retag" parts flib) \
    >"$1/.out" 2>&1 </dev/null &
}

# The moments are drawn from the shortest duration of a complete run seen so
# far (the reference, then each trial's second run), so that a busy moment of
# the machine does not push the kills past the end of the runs.
cp -r "$work/orig" "$work/ref"
start=$(date +%s%N)
run "$work/ref"
wait $! || { echo "reference run failed" >&2 && exit 1; }
span=$((($(date +%s%N) - start) / 1000)) # microseconds

sums "$work/orig" >"$work/old.sums"
sums "$work/ref" >"$work/new.sums"
# The blocks an uninterrupted run rewrites.
rewrites=$(awk 'NR == FNR { old[$1] = $2; next } $1 !~ /\.bac$/ && old[$1] != $2' \
  "$work/old.sums" "$work/new.sums" | wc -l)
# check STAGE: compares the trial's files with the old and new contents and
# prints "rewritten lost extra" (extra: other files, such as temporary ones)
# followed by one line per fault. Stage "killed": each
# block holds its old or new content, a block with new content has a backup,
# a backup holds the old content. Stage "rerun": each block holds its new
# content, a backup the old (a rerun never replaces an original).
check() {
  sums "$t" | awk -v stage="$1" '
    FILENAME == ARGV[1] { old[$1] = $2; next }
    FILENAME == ARGV[2] { new[$1] = $2; next }
    { now[$1] = $2 }
    END {
      for (f in old) {
        if (f ~ /\.bac$/) continue
        b = f ".bac"
        # Killed between its two renames, a save leaves the old content under
        # the backup temporary name, for the next run to make it the backup.
        if (stage == "killed" && !(b in now) && ((b ".tmp") in now)) b = b ".tmp"
        if (now[f] == new[f] && now[f] != old[f]) {
          rewritten++
          if (stage == "killed" && !(b in now)) fault[++n] = f " rewritten without backup"
        } else if (now[f] != old[f] || stage == "rerun" && now[f] != new[f]) {
          lost++; fault[++n] = f " holds " (stage == "rerun" ? "not its new content" : "neither its old nor its new content")
        }
        if ((b in now) && now[b] != old[f]) {
          lost++; fault[++n] = b " does not hold the old content"
        }
      }
      # Anything else is a temporary file (whatever its name).
      for (f in now) {
        base = f; sub(/\.bac$/, "", base)
        if (!(base in old)) extra++
      }
      print rewritten + 0, lost + 0, extra + 0
      for (i = 1; i <= n; i++) print fault[i]
    }' "$work/old.sums" "$work/new.sums" -
}

declare -i lost=0 failed=0 inVisit=0 midSave=0 orphans=0 tempsLeft=0 signalled=0
t=$work/trial
fail() {
  echo "trial $trial: $*" >&2
  failed+=1
}
# account STAGE: runs check and takes its figures; sets $changed and $temps.
account() {
  local faults n
  faults=$(check "$1")
  read -r changed n temps <<<"${faults%%$'\n'*}"
  lost+=$n
  [ "$faults" = "${faults#*$'\n'}" ] || fail "${faults#*$'\n'}"
}
for ((trial = 1; trial <= trials; trial++)); do
  rm -rf "$t"
  cp -r "$work/orig" "$t"
  delay=$(((RANDOM * 32768 + RANDOM) % span))
  run "$t"
  pid=$!
  sleep "$((delay / 1000000)).$(printf %06d $((delay % 1000000)))"
  kill -s "$signal" $pid 2>/dev/null
  wait $pid 2>/dev/null
  status=$?
  [ $status -eq $((128 + signo)) ] && signalled+=1

  # The files as the signal left them.
  account killed
  [ "$changed" -gt 0 ] && [ "$changed" -lt "$rewrites" ] && inVisit+=1
  locks=$(find "$t/lib/sym/lock" -type f 2>/dev/null | wc -l)
  [ "$temps" -gt 0 ] && midSave+=1
  orphans+=$locks
  if [ "$signal" != KILL ] && [ $status -ne 0 ]; then
    [ $status -eq $((128 + signo)) ] || fail "interrupted run ended with status $status"
    [ "$temps" -eq 0 ] && [ "$locks" -eq 0 ] || fail "interrupted run left $locks locks, $temps temporary files"
    done=$(sed -n 's/^\([0-9]*\) symbols were processed successfully\.$/\1/p' "$t/parts.log" 2>/dev/null)
    [ -z "$done" ] && [ "$changed" -ne 0 ] && fail "no counts in the log of a run that rewrote files"
    [ -n "$done" ] && [ "$done" -ne "$changed" ] && fail "log counts $done symbols, $changed rewritten"
  fi

  # A second run completes the work as an uninterrupted run does.
  start=$(date +%s%N)
  run "$t"
  wait $! || fail "second run ended with status $?"
  took=$((($(date +%s%N) - start) / 1000))
  [ $took -lt $span ] && span=$took
  cmp -s "$work/ref/parts.log" "$t/parts.log" || fail "second run's log differs from the reference"
  account rerun
  [ -z "$(find "$t/lib/sym/lock" -type f 2>/dev/null)" ] || fail "lock files left after the second run"
  tempsLeft+=$temps
done

echo "fault injection (SIG$signal, 200 symbols): $trials trials, $inVisit in the middle of the visit," \
  "$midSave inside a save, $orphans orphaned locks taken over, $signalled runs ended by the signal;" \
  "files lost: $lost; temporary files left after the second run: $tempsLeft; failed checks: $failed" \
  "(seed $seed)"
[ $failed -eq 0 ]
