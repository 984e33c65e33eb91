#!/usr/bin/env bash
# What retag shows only on a terminal, read from a real one (a tmux pane):
#
#   terminal.sh RETAG
#
# The library of 1,000 symbols (make_library.sh; enough that the visit after
# the wait outlasts a redraw of the progress line even on a fast machine)
# has a lock file of s101.1 that cannot be read yet (its holder, process
# 4242 of another host, is written, the rest is missing), so the run waits
# there. Seen on the pane, in this
# order: the progress line with the total ("N/1000 symbols visited, E errors
# so far"); the wait, naming the lock and its holder; once the lock file is
# removed, the progress again, now with the time left; at the end neither
# line is left on the screen, and the log is the usual one. Skipped without
# tmux.
set -u
here=$(cd "$(dirname "$0")" && pwd)
retag=$(realpath "$1")
command -v tmux >/dev/null || { echo "skipped: no tmux"; exit 77; }
work=$(mktemp -d)
socket=retag-terminal-$$
trap 'tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$work"' EXIT
declare -i failed=0
fail() {
  echo "$*" >&2
  failed+=1
}
"$here/make_library.sh" "$work" 1000 >/dev/null
mkdir "$work/lib/sym/lock"
printf 'State: 0\nOwner: 0\nCreated: (0) Jan 1 1970 0:0:0\nFacId: 4\nFacVer: 5.41\n' \
  >"$work/lib/sym/lock/s101.1"
printf 'PLVer: 5.2.0\nProcId: 4242\nHostId: elsewhere.invalid\n' >>"$work/lib/sym/lock/s101.1"

tmux -L "$socket" new-session -d -s run -x 120 -y 20 \
  "cd '$work' && env -i PATH=/usr/bin:/bin TERM=xterm '$retag' parts flib; echo \"EXIT \$?\"; sleep 60"

screen() { tmux -L "$socket" capture-pane -p -t run; }
# until_seen PATTERN SECONDS: polls the pane until a line matches, which is
# then in $seen (called directly: run in a command substitution, its end
# took the tmux server down with it through the EXIT trap).
seen=
until_seen() {
  local deadline=$((SECONDS + $2)) pane
  while [ $SECONDS -le $deadline ]; do
    pane=$(tmux -L "$socket" capture-pane -p -t run) || return 1
    seen=$(grep -E -m1 "$1" <<<"$pane") && return 0
    sleep 0.05
  done
  return 1
}

until_seen '^[0-9]+/1000 symbols visited, [0-9]+ errors so far' 30 >/dev/null ||
  fail "no progress line with the total"
until_seen 'waiting for the lock' 60 || fail "no line for the lock wait"
[ "$(sed 's/ *$//' <<<"$seen")" = "waiting for the lock of flib:s101.1 held by 4242@elsewhere.invalid" ] ||
  fail "the wait line reads: $seen"
rm "$work/lib/sym/lock/s101.1"
until_seen '^[0-9]+/1000 symbols visited, [0-9]+ errors so far, about [0-9]+( min [0-9]+)? s left' 60 \
  >/dev/null || fail "no estimate of the time left after the wait"
until_seen '^EXIT ' 120 >/dev/null || fail "the run did not end"
final=$(screen)
grep -q '^EXIT 0$' <<<"$final" || fail "exit status: $(grep '^EXIT' <<<"$final")"
grep -q -e 'symbols visited' -e 'waiting for the lock' <<<"$final" &&
  fail "a status line is left on the screen:"$'\n'"$final"
grep -qx '960 symbols were processed successfully.' "$work/parts.log" ||
  fail "log: $(tail -2 "$work/parts.log")"
exit $((failed > 0))
