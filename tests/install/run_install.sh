#!/usr/bin/env bash
# Installs a build into a scratch prefix and runs the installed commands the
# way a user does: found through PATH, in a project directory that has
# nothing to do with the prefix.
#
#   run_install.sh BUILD_DIR SOURCE_DIR LIBDIR COMMAND...
#
# Checks: exactly the files of the layout (layout.sh) are installed; each
# command runs on a copy of the example project and finds its message files
# and (outside a project) the default scribant.ini in ../share/retag from
# its own directory, also after the whole tree has moved; a project found
# along WDIR works from another directory. (tools/check-man.sh checks the
# manual pages.)
set -u
build=$(realpath "$1")
src=$(realpath "$2")
libdir=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail=0
complain() { echo "$*"; fail=1; }

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.out" 2>&1; then
  cat "$work/install.out"
  echo "cmake --install failed"
  exit 1
fi

want=$("$src/tests/install/layout.sh" "$src" "$libdir" "$@")
got=$(cd "$prefix" && find . -type f | sed 's|^\./||; s|RetagTargets-.*\.cmake$|RetagTargets-CONFIG.cmake|' |
  LC_ALL=C sort)
if [ "$want" != "$got" ]; then
  diff <(echo "$want") <(echo "$got")
  complain "the installed files differ (above: - expected, + installed)"
fi

# run DIR EXPECTED_STATUS COMMAND ARGS...: one installed command, by name.
run() {
  local dir=$1 want=$2
  shift 2
  (cd "$dir" && env -i PATH="$prefix/bin:/usr/bin:/bin" HOME="$work" ${WDIR:+WDIR="$WDIR"} "$@") \
    >"$work/out" 2>&1 </dev/null
  local status=$?
  if [ "$status" != "$want" ]; then
    cat "$work/out"
    complain "$* in $dir: exit status $status, want $want"
  fi
}

project=$work/project
cp -r "$src/examples/project/." "$project/"
run "$project" 1 ltfextract demolib extracted # a description in lower case is left out
[ -s "$project/extracted.ltf" ] || complain "ltfextract wrote no extracted.ltf"
run "$project" 0 retagplan parts demolib
run "$project" 0 retag parts demolib
grep -q 'symbols were processed successfully' "$project/parts.log" ||
  complain "retag left no counts in parts.log"
run "$project" 0 blkcheck demolib
grep -q '^blkcheck: ' "$work/out" || complain "blkcheck printed no summary"

# Outside any project the default scribant.ini beside the commands is used:
# the commands start, and no alias is known.
mkdir "$work/elsewhere"
run "$work/elsewhere" 3 blkcheck demolib
grep -q "Nonexistent library: 'demolib'" "$work/out" || complain "no default scribant.ini found"

# A project whose scribant.ini names its library by an absolute path, found
# along WDIR from another directory.
mkdir -p "$work/far/lib/sym" "$work/cwd"
cp "$project/demolib/sym/"*.1 "$work/far/lib/sym/"
printf 'DIR [pw] %s\nDIR [w] %s/lib (far)\n' "$work/far" "$work/far" >"$work/far/scribant.ini"
WDIR=$work/far run "$work/cwd" 0 blkcheck far

# The installed tree moved as a whole: the commands still find their data.
mv "$prefix" "$work/moved"
prefix=$work/moved
run "$work/elsewhere" 3 blkcheck demolib
grep -q "Nonexistent library: 'demolib'" "$work/out" || complain "moved: no default scribant.ini found"
run "$project" 0 blkcheck demolib

exit $fail
