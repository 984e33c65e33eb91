#!/usr/bin/env bash
# Makes the packages of a build with cpack and lists what they hold:
#
#   run_package.sh BUILD_DIR SOURCE_DIR LIBDIR COMMAND...
#
# The .tar.gz must hold the layout (layout.sh) under its one top directory,
# the .deb the same layout under /usr (listed with dpkg-deb -c, which also
# proves it a well-formed package), with the project's name and version in
# its control fields. Skipped (77) without dpkg-deb.
set -u
build=$(realpath "$1")
src=$(realpath "$2")
libdir=$3
shift 3
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
complain() { echo "$*"; fail=1; }

if ! cpack --config "$build/CPackConfig.cmake" -G "TGZ;DEB" -B "$work" >"$work/cpack.out" 2>&1; then
  cat "$work/cpack.out"
  echo "cpack failed"
  exit 1
fi
want=$("$src/tests/install/layout.sh" "$src" "$libdir" "$@")
# files PREFIX_PATTERN: the listed paths below the pattern, directories left out.
files() {
  grep -v '/$' | sed "s|$1||; s|RetagTargets-.*\\.cmake\$|RetagTargets-CONFIG.cmake|" | LC_ALL=C sort
}

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
tgz=$work/retag-$version-Linux.tar.gz
deb=$(ls "$work"/retag_"$version"_*.deb 2>/dev/null)
[ -f "$tgz" ] || complain "no $(basename "$tgz")"
[ -n "$deb" ] || complain "no retag_${version}_*.deb"
[ $fail = 0 ] || { ls "$work"; exit 1; }

got=$(tar tzf "$tgz" | files "^retag-$version-Linux/")
[ "$want" = "$got" ] || { diff <(echo "$want") <(echo "$got"); complain "the .tar.gz differs (above: - expected, + packed)"; }

got=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | files '^\./usr/')
[ "$want" = "$got" ] || { diff <(echo "$want") <(echo "$got"); complain "the .deb differs (above: - expected, + packed)"; }
fields=$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')
[ "$fields" = "Package: retag Version: $version " ] || complain "control fields: $fields"
exit $fail
