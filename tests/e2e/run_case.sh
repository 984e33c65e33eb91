#!/usr/bin/env bash
# Runs one end-to-end scenario of the built commands and compares its results.
#
#   run_case.sh RETAG CASE_DIR
#
# The other commands (the companions) are taken from the directory of RETAG.
# A scenario directory holds:
#   cmd        the arguments, as shell words (required); a first word that
#              names a command (retag or a companion) runs that command,
#              anything else is retag's first argument. Each
#              line is one run, in order, in the same scratch directory (an
#              empty file is one run of retag without arguments)
#   project/   files copied into a fresh scratch directory, the working directory of the run
#   project_from  optional: a directory of the source tree (relative to its root)
#              whose files are copied there first (the example project)
#   env        optional VAR=value lines added to the environment (@TMP@ is the scratch directory)
#   status     expected exit status of each run, in order (default 0 each)
#   stdout     expected standard output of all runs, byte for byte (@TMP@ as
#              above, @VERSION@ the project's version)
#   json       optional: the JSON documents of standard output, flattened by
#              jsonflat (one "pointer value" line each, $JSONFLAT or
#              bin/jsonflat beside RETAG), line for line (@TMP@ as above)
#   stderr     optional: expected standard error of all runs, byte for byte (@TMP@ as above)
#   expected/  files that must exist in the scratch directory afterwards, byte for byte
#   absent     optional list of paths (one a line) that must not exist afterwards
#   unchanged  optional list of paths (one a line) of project/ files that must
#              still hold exactly their original bytes afterwards
#   files      optional: every file (not directory) of the scratch directory
#              afterwards, one relative path a line in byte order; no other
#              file (a backup, a lock, a temporary) may be left behind
#   bare       optional, empty: run copies of the commands that have their
#              message files beside them but not the default scribant.ini
#   setup      optional bash script run in the scratch directory before the
#              runs, with RETAG_BIN naming the directory of the commands
#              and CASE_DIR the scenario directory
#              (to generate large inputs, take permissions away, or run a
#              command first);
#              exit status 77 skips the scenario, and what the script printed
#              says why (the test then reports as skipped, not passed)
#   unprivileged  optional, empty: permission bits must hold during the runs.
#              Run as root, the harness hands the scratch directory to the
#              user nobody after the setup and runs the commands as that user
#              (with setpriv); the scenario is skipped when that is impossible
#   fsize      optional: a size in KiB; the runs get that file size limit
#              (ulimit -f) with SIGXFSZ ignored, so a write that would grow a
#              file past it fails with EFBIG, as on a full library disk
#   check      optional bash script run in the scratch directory after the
#              runs; a non-zero status fails the scenario
# The run sees no WDIR, UL_* or HOME of the caller unless env sets them.
set -u
retag=$(realpath "$1")
case=$(realpath "$2")
work=$(mktemp -d)
# A setup may mount a small file system inside the scratch directory.
cleanup() {
  while read -r _ mnt _; do
    case $mnt in "$work"/*) umount "$mnt" 2>/dev/null ;; esac
  done < <(tac /proc/mounts 2>/dev/null)
  rm -rf "$work"
}
trap cleanup EXIT
root=$(realpath "$(dirname "$0")/../..")
version=$(sed -n 's/^project(retag VERSION \([^ ]*\).*/\1/p' "$root/CMakeLists.txt")
if [ -f "$case/project_from" ]; then
  cp -r "$root/$(tr -d '\n' <"$case/project_from")/." "$work/"
fi
[ -d "$case/project" ] && cp -r "$case/project/." "$work/"
bin=$(dirname "$retag")
companions="retag ltfextract blkcheck retagplan ltfcheck retagrestore"
if [ -f "$case/bare" ]; then
  mkdir "$work/.bin"
  for c in $companions; do
    [ -x "$bin/$c" ] && cp "$bin/$c" "$work/.bin/"
  done
  cp "$bin"/*.umb "$work/.bin/"
  bin=$work/.bin
fi
if [ -f "$case/setup" ]; then
  (cd "$work" && RETAG_BIN="$bin" CASE_DIR="$case" bash "$case/setup")
  rc=$?
  if [ $rc -eq 77 ]; then
    echo "skipped (see the setup's reason above)"
    exit 77
  elif [ $rc -ne 0 ]; then
    echo "setup failed"
    exit 1
  fi
fi
runner=()
if [ -f "$case/unprivileged" ] && [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$work"
  runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  if ! "${runner[@]}" test -x "$bin/retag" 2>/dev/null; then
    echo "skipped: run as root, and the commands cannot be run as the user nobody"
    exit 77
  fi
fi
limits=:
if [ -f "$case/fsize" ]; then
  limits="ulimit -f $(tr -d '[:space:]' <"$case/fsize"); trap '' XFSZ"
fi

envs=(PATH=/usr/bin:/bin HOME="$work")
if [ -f "$case/env" ]; then
  while IFS= read -r line || [ -n "$line" ]; do
    [ -n "$line" ] && envs+=("${line//@TMP@/$work}")
  done <"$case/env"
fi
mapfile -t runs < <(grep -v '^[[:space:]]*$' "$case/cmd")
[ ${#runs[@]} -eq 0 ] && runs=("")
statuses=()
: >"$work/.stdout"
: >"$work/.stderr"
for run in "${runs[@]}"; do
  eval "args=($run)"
  command=$bin/retag
  if [[ " $companions " == *" ${args[0]-} "* ]]; then
    command=$bin/${args[0]}
    args=("${args[@]:1}")
  fi
  (cd "$work" && eval "$limits" && env -i "${envs[@]}" "${runner[@]}" "$command" \
    "${args[@]}") >>"$work/.stdout" 2>>"$work/.stderr" </dev/null
  statuses+=($?)
done
status=${statuses[*]}

fail=0
want=$(for _ in "${runs[@]}"; do echo 0; done)
[ -f "$case/status" ] && want=$(cat "$case/status")
want=$(echo $want)
if [ "$status" != "$want" ]; then
  echo "exit status: got $status, want $want"
  fail=1
fi
if [ -f "$case/stdout" ]; then
  if ! diff -u <(sed -e "s|@TMP@|$work|g" -e "s|@VERSION@|$version|g" "$case/stdout") \
    "$work/.stdout"; then
    echo "standard output differs (above)"
    fail=1
  fi
fi
if [ -f "$case/json" ]; then
  flat=${JSONFLAT:-$(dirname "$retag")/jsonflat}
  if ! diff -u <(sed "s|@TMP@|$work|g" "$case/json") <("$flat" <"$work/.stdout"); then
    echo "the JSON documents differ (above)"
    fail=1
  fi
fi
if [ -f "$case/stderr" ]; then
  if ! diff -u <(sed "s|@TMP@|$work|g" "$case/stderr") "$work/.stderr"; then
    echo "standard error differs (above)"
    fail=1
  fi
fi
if [ -d "$case/expected" ]; then
  while IFS= read -r -d '' f; do
    rel=${f#"$case/expected/"}
    if [ ! -f "$work/$rel" ]; then
      echo "missing file: $rel"
      fail=1
    elif ! diff -u <(sed "s|@TMP@|$work|g" "$f") "$work/$rel"; then
      echo "file differs: $rel (above)"
      fail=1
    fi
  done < <(find "$case/expected" -type f -print0)
fi
if [ -f "$case/absent" ]; then
  while IFS= read -r rel; do
    [ -n "$rel" ] && [ -e "$work/$rel" ] && { echo "should not exist: $rel"; fail=1; }
  done <"$case/absent"
fi
if [ -f "$case/unchanged" ]; then
  source=$case/project
  [ -f "$case/project_from" ] && source=$root/$(tr -d '\n' <"$case/project_from")
  while IFS= read -r rel; do
    [ -z "$rel" ] && continue
    if [ ! -f "$work/$rel" ]; then
      echo "missing file: $rel"
      fail=1
    elif ! cmp -s "$source/$rel" "$work/$rel"; then
      echo "file changed: $rel"
      diff -u "$source/$rel" "$work/$rel"
      fail=1
    fi
  done <"$case/unchanged"
fi
if [ -f "$case/files" ]; then
  if ! diff -u "$case/files" <(cd "$work" && find . -path ./.bin -prune -o -type f -print |
    sed -e 's|^\./||' -e '/^\.stdout$/d' -e '/^\.stderr$/d' -e '/^\.bin$/d' | LC_ALL=C sort); then
    echo "the files left differ (above)"
    fail=1
  fi
fi
if [ -f "$case/check" ] && ! (cd "$work" && bash "$case/check"); then
  echo "check failed (above)"
  fail=1
fi
if [ $fail -ne 0 ]; then
  echo "--- stderr"
  cat "$work/.stderr"
fi
exit $fail
