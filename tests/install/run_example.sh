#!/usr/bin/env bash
# Builds the example batch program (examples/setattr) the way a user of the
# library does, against an install of the build in a scratch prefix and
# with nothing but find_package(Retag), and runs it on a copy of the example
# project:
#
#   run_example.sh BUILD_DIR SOURCE_DIR
#
# The public headers must compile under -Wall -Wextra -Werror in the user's
# program. The program runs twice: what it prints each time (setattr/out),
# the symbol files after the runs (setattr/sym/) and the backups (the
# files as they were) must be as expected; the second run changes nothing.
# The same program built with the flags of pkg-config into the prefix's
# bin/ finds its data in ../share/retag and runs the same way (skipped
# without pkg-config).
set -u
build=$(realpath "$1")
src=$(realpath "$2")
expected=$src/tests/install/setattr
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
complain() { echo "$*"; fail=1; }
# step LOG COMMAND...: runs a set-up step, showing its output only on failure.
step() {
  local log=$work/$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log"; echo "failed: $*"; exit 1; }
}

gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
step install.out cmake --install "$build" --prefix "$work/prefix"
step configure.out cmake -S "$src/examples/setattr" -B "$work/build" "${gen[@]}" \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror"
step build.out cmake --build "$work/build"

# check PROGRAM: runs it twice on a fresh copy of the example project and
# compares what it printed and left.
check() {
  local program=$1 project=$work/project
  rm -rf "$project"
  cp -r "$src/examples/project/." "$project/"
  sym=$project/demolib/sym
  (
    cd "$project" || exit 1
    for run in 1 2; do
      "$program" demolib DESCRIPTION=checked
      echo "[exit status $?]"
    done
  ) >"$work/out" 2>&1 </dev/null
  diff "$expected/out" "$work/out" || complain "$program printed other lines (above: - expected, + printed)"
    for want in "$expected"/sym/*; do
    name=$(basename "$want")
    cmp -s "$want" "$sym/$name" || { diff "$want" "$sym/$name"; complain "$name differs from $want"; }
    if [ -f "$sym/$name.bac" ]; then
      cmp -s "$sym/$name.bac" "$src/examples/project/demolib/sym/$name" ||
        complain "$name.bac does not hold the symbol as it was"
    else
      complain "$name was saved without a backup"
    fi
  done
  left=$(cd "$sym" && find . -type f ! -name '*.bac' | sed 's|^\./||' | LC_ALL=C sort)
  listed=$(cd "$expected/sym" && ls | LC_ALL=C sort)
  [ "$left" = "$listed" ] || complain "files left in sym/: $(echo $left)"
}
check "$work/build/setattr"

if command -v pkg-config >/dev/null; then
  read -ra flags < <(PKG_CONFIG_PATH=$(dirname "$(find "$work/prefix" -name retag.pc)") \
    pkg-config --cflags --libs retag)
  step pkg-config.out c++ -std=c++20 -Wall -Wextra -Werror -o "$work/prefix/bin/setattr" \
    "$src/examples/setattr/setattr.cpp" "${flags[@]}"
  check "$work/prefix/bin/setattr"
fi
exit $fail
