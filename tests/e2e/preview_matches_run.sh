#!/usr/bin/env bash
# The check of a scenario that runs retagplan and then retag on the same list
# and library: what the preview announced is exactly what the run did.
#
#   preview_matches_run.sh ORIGINAL LIBRARY LOG     (in the scratch directory)
#
# ORIGINAL is a copy of LIBRARY made before the runs (by the scenario's
# setup), LOG the log retag wrote; .stdout holds the preview's output first.
#   - The log equals what the preview printed of it: every line of the
#     preview that is not its own (banner, reading notes, the SYMBOL headers
#     and the rewrite, add and save lines) nor a note of the override
#     ("WRONG...") nor a save it says would fail, in the same order.
#   - A block file the preview did not announce a save for is unchanged.
#   - For a block file it did, the attribute records the run removed and
#     added (each as pin, text and the six numbers, the pin being the first
#     label of the pin it belongs to, "~" marking an inverted one) are those
#     of the announced rewrites (old and new) and additions.
set -u
orig=$1 lib=$2 log=$3
fail=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The preview's own output ends with the two counts; retag's output follows.
awk '/ errors were generated\.$/ { print; exit } { print }' .stdout >"$work/preview"
grep -v -e '^Retag preview - ' -e '^Copyright ' -e '^Reading ' -e 'symbol records found\.\.\.' \
  -e '^SYMBOL [^ ]*$' -e '^  rewrite ' -e '^  add ' -e '^  save: ' \
  -e '^  save would fail: ' -e '^WRONG\.' "$work/preview" |
  sed '/^$/d' >"$work/logged"
if ! diff -u "$log" "$work/logged"; then
  echo "the log differs from what the preview printed of it (above)"
  fail=1
fi

# records FILE: one line per U and A record: pin|text|x y size orientation
# origin visibility.
records() {
  awk '
    function flush(   k) {
      for (k = 1; k <= n; k++) print label "|" pending[k]
      n = 0; label = ""; inPin = 0
    }
    function text(line) {
      sub(/^[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ ?/, "", line)
      return line
    }
    { lines[++count] = $0 }
    END {
      for (i = 1; i <= count; i++) {
        line = lines[i]
        while (i < count && substr(lines[i + 1], 1, 1) == "+")
          line = line substr(lines[++i], 3)
        split(line, f, " ")
        key = f[1]
        if (key == "P" || key == "E") { flush(); inPin = key == "P"; continue }
        if (key == "L" && inPin && label == "")
          label = (f[9] == 1 ? "~" : "") text2(line)
        if (key == "U") print "|" text(line) "|" f[2] " " f[3] " " f[4] " " f[5] " " f[6] " " f[7]
        if (key == "A") pending[++n] = text(line) "|" f[2] " " f[3] " " f[4] " " f[5] " " f[6] " " f[7]
      }
      flush()
    }
    function text2(line) {
      sub(/^[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ ?/, "", line)
      return line
    }' "$1"
}

# The announcements: for each file, the records removed and added.
mkdir "$work/want"
awk -v dir="$work/want" '
  function settings(s,   f) {
    split(s, f, " ")
    return f[2] " " f[3] " " f[5] " " f[7] " " f[9] " " f[11]
  }
  /^SYMBOL [^ ]*$/ { file = $2; sub(/^[^:]*:/, "", file); next }
  /^  save: / { print "" >>(dir "/" file ".saved"); next }
  /^  rewrite / || /^  add / {
    line = $0
    kind = line ~ /^  add / ? "add" : "rewrite"
    sub(/^  (add|rewrite) /, "", line)
    now = ""; was = ""
    if (match(line, /, at [^(]*\(was at [^)]*\)$/)) {
      part = substr(line, RSTART + 2)
      line = substr(line, 1, RSTART - 1)
      split(part, halves, " \\(was ")
      now = settings(halves[1]); was = settings(substr(halves[2], 1, length(halves[2]) - 1))
    } else if (match(line, /, at [^,]*$/)) {
      now = settings(substr(line, RSTART + 2))
      line = substr(line, 1, RSTART - 1)
    }
    pin = ""
    if (match(line, / on pin [^ ]+$/)) {
      pin = substr(line, RSTART + 8)
      line = substr(line, 1, RSTART - 1)
    }
    if (kind == "add") { print pin "|" line "|" now >>(dir "/" file ".added"); next }
    old = line; new = line
    if (index(line, " -> ")) {
      old = substr(line, 1, index(line, " -> ") - 1)
      new = substr(line, index(line, " -> ") + 4)
    }
    # Settings that did not change are those of the old record: "@" and its
    # text stand for them until the old file is at hand.
    if (now == "") { now = "@" old; was = "@" old }
    print pin "|" old "|" was >>(dir "/" file ".removed")
    print pin "|" new "|" now >>(dir "/" file ".added")
  }' "$work/preview"

for old in "$orig"/sym/*; do
  name=$(basename "$old")
  case "$name" in *.bac | lock) continue ;; esac
  new=$lib/sym/$name
  if [ ! -f "$work/want/$name.saved" ]; then
    cmp -s "$old" "$new" || { echo "$name changed, but no save was announced"; fail=1; }
    continue
  fi
  records "$old" | LC_ALL=C sort >"$work/old"
  records "$new" | LC_ALL=C sort >"$work/new"
  LC_ALL=C comm -23 "$work/old" "$work/new" >"$work/removed"
  LC_ALL=C comm -13 "$work/old" "$work/new" >"$work/added"
  for list in removed added; do
    touch "$work/want/$name.$list"
    while IFS='|' read -r pin text s; do
      if [ "${s:0:1}" = @ ]; then
        s=$(awk -F'|' -v p="$pin" -v t="${s:1}" '$1 == p && $2 == t { print $3; exit }' \
          "$work/old")
      fi
      echo "$pin|$text|$s"
    done <"$work/want/$name.$list" | LC_ALL=C sort >"$work/want.$list"
    if ! diff -u "$work/want.$list" "$work/$list"; then
      echo "$name: the records $list differ from the announcement (above: - announced, + done)"
      fail=1
    fi
  done
done
exit $fail
