#!/usr/bin/env bash
# Whole-command benchmark: retag over a generated library against plain I/O.
#
#   bench/retag_bench.sh [N ...]        (default: 3000 10000)
#
# For each place (PLACES) and each N it generates a project whose library
# holds N symbols (8 pins, 3 symbol attributes and 2 attributes on every pin)
# and a list that gives every one of those attributes a new value, then times,
# on fresh copies of the same files, one after the other:
#   retag    retag parts benchlib (the release build, built if missing), with
#            its full durability (grouped commits);
#   plain    bench/plain_rewrite.c: read, back up, lock by exclusive create,
#            rewrite through a temporary file and rename, unlock, each file,
#            without any sync;
#   psync    the same with an fsync of each new file and of the directory;
#   rerun    retag again with the same list on the library it produced (it
#            changes nothing);
#   read     plain_rewrite -r: only reads every file of that library.
# It prints the median wall time, processor time (user + system) and peak
# memory of each over REPEAT rounds, and the ratios the command is held to:
# retag / plain and retag / psync, rerun / read, the largest N against the
# smallest, and retag's peak memory against three times the list's size plus
# 30 MiB.
#
# Environment: BUILD (build directory, default build/release), RETAG (the
# retag executable, default $BUILD/bin/retag, message files beside it),
# PLACES (directories to work in, default "/dev/shm /tmp": tmpfs and the
# disk; each gets a fresh directory, removed at the end), REPEAT=K (rounds,
# default 3: on a shared or virtual machine a single run can be off by a
# third), PROFILE=1 (also record a perf profile of the retag run of the first
# N in the first place and print its top entries; needs perf).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build/release}
retag=${RETAG:-$build/bin/retag}
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(3000 10000)

if [ ! -x "$retag" ]; then
  gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
  cmake -S "$root" -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)" --target retag >/dev/null
fi
places=(${PLACES:-/dev/shm /tmp})
repeat=${REPEAT:-3}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"; for p in "${places[@]}"; do rm -rf "$p/retag_bench.$$"; done' EXIT
cc -O2 -o "$tmp/plain_rewrite" "$root/bench/plain_rewrite.c"

# generate DIR N: the project (scribant.ini, retagcfg.ini, parts.ltf, lib/sym).
generate() {
  python3 - "$1" "$2" <<'EOF'
import os, sys
top, n = sys.argv[1], int(sys.argv[2])
sym = os.path.join(top, "lib", "sym")
os.makedirs(sym)
with open(os.path.join(top, "scribant.ini"), "w") as f:
    f.write("DIR [pw] ./lib (benchlib)\n")
with open(os.path.join(top, "retagcfg.ini"), "w") as f:
    f.write("NEW_ATTR_VIS 1\nTEXTSIZE 10\nORIENTATION 0\nTEXTORIGIN 1\n")
symattrs = ("PARTNAME", "FOOTPRINT", "VENDOR")
pinattrs = ("PINNUMBER", "PINTYPE")
with open(os.path.join(top, "parts.ltf"), "w") as ltf:
    ltf.write(".BL\n")
    for i in range(n):
        name = "s%06d" % i
        lines = ["V 50", "Y 1", "D -20 -100 60 100", "Z 10", "i 8", "b 0 -90 40 90"]
        ltf.write("S %s 1\n" % name)
        for k, a in enumerate(symattrs):
            lines.append("U 0 %d 10 0 1 1 %s=?" % (-100 - 10 * k, a))
            ltf.write("A 0 %d 1 10 0 1 %s=%s_%d\n" % (-100 - 10 * k, a, a[:4], i))
        for p in range(8):
            y = 80 - 20 * p
            left = p < 4
            x1, x2 = (-10, 0) if left else (50, 40)
            lines.append("P %d %d %d %d %d 0 %d 0" % (p + 1, x1, y, x2, y, 1 if left else 3))
            lines.append("L %d %d 8 0 1 0 1 0 P%d" % (x2 + (2 if left else -2), y, p + 1))
            ltf.write("P P%d\n" % (p + 1))
            for k, a in enumerate(pinattrs):
                lines.append("A %d %d 8 0 1 0 %s=?" % (x1, y + 5 * k, a))
                ltf.write("A %d %d 0 8 0 1 %s=%d\n" % (x1, y + 5 * k, a, p + 1))
        lines.append("E")
        with open(os.path.join(sym, name + ".1"), "w") as f:
            f.write("\n".join(lines) + "\n")
    ltf.write(".EL\n")
EOF
}

# timed OUT CMD...: runs CMD, leaves "wall_s cpu_s peak_kib" in OUT.
timed() {
  local out=$1 start end
  shift
  start=$(date +%s%N)
  /usr/bin/time -f "%U %S %M" -o "$out" "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) '{ printf "%.3f %.2f %s\n", ns / 1e9, $1 + $2, $3 }' "$out" \
    >"$out.sum" && mv "$out.sum" "$out"
}

# median "WALL CPU KIB"...: the median of each column.
median() {
  printf '%s\n' "$@" | awk '{ for (i = 1; i <= 3; ++i) v[i, NR] = $i }
    END { m = int((NR + 1) / 2)
          for (i = 1; i <= 3; ++i) {
            for (a = 1; a <= NR; ++a) c[a] = v[i, a]
            for (a = 2; a <= NR; ++a) for (b = a; b > 1 && c[b - 1] + 0 > c[b] + 0; --b) {
              t = c[b]; c[b] = c[b - 1]; c[b - 1] = t }
            printf "%s%s", c[m], i < 3 ? " " : "\n" } }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "inf" }'; }

declare -A wall cpu
columns=(retag plain psync rerun read)
for place in "${places[@]}"; do
  work=$place/retag_bench.$$
  mkdir -p "$work"
  echo "== $place ($(stat -f -c %T "$place"))"
  printf '%-7s %-8s' N list_KiB
  for c in "${columns[@]}"; do printf ' %8s %8s' "${c}_s" "${c}_cpu"; done
  printf ' %9s %11s %11s %10s\n' retag_MiB retag/plain retag/psync rerun/read
  for n in "${sizes[@]}"; do
    src=$work/gen$n
    [ -d "$src" ] || generate "$src" "$n"
    declare -A runs=()
    peaks=()
    for ((r = 0; r < repeat; ++r)); do
      for c in retag plain psync; do
        rm -rf "$work/$c"
        cp -r "$src" "$work/$c"
      done
      (cd "$work/retag" && timed "$tmp/t" "$retag" parts benchlib)
      runs[retag]+="$(cat "$tmp/t")"$'\n'
      grep -q "^$n symbols were processed successfully.$" "$work/retag/parts.log" ||
        { echo "retag did not process all $n symbols:"; tail -3 "$work/retag/parts.log"; exit 1; }
      timed "$tmp/t" "$tmp/plain_rewrite" "$work/plain/lib/sym"
      runs[plain]+="$(cat "$tmp/t")"$'\n'
      timed "$tmp/t" "$tmp/plain_rewrite" -s "$work/psync/lib/sym"
      runs[psync]+="$(cat "$tmp/t")"$'\n'
      (cd "$work/retag" && timed "$tmp/t" "$retag" parts benchlib)
      runs[rerun]+="$(cat "$tmp/t")"$'\n'
      timed "$tmp/t" "$tmp/plain_rewrite" -r "$work/retag/lib/sym"
      runs[read]+="$(cat "$tmp/t")"$'\n'
    done
    declare -A ws=() cs=()
    printf '%-7s %-8s' "$n" "$(($(stat -c %s "$src/parts.ltf") / 1024))"
    for c in "${columns[@]}"; do
      mapfile -t lines < <(printf '%s' "${runs[$c]}")
      read -r w cp k <<<"$(median "${lines[@]}")"
      ws[$c]=$w cs[$c]=$cp
      [ "$c" = retag ] && rk=$k
      printf ' %8s %8s' "$w" "$cp"
    done
    printf ' %9s %11s %11s %10s\n' "$((rk / 1024))" "$(ratio "${ws[retag]}" "${ws[plain]}")" \
      "$(ratio "${ws[retag]}" "${ws[psync]}")" "$(ratio "${ws[rerun]}" "${ws[read]}")"
    wall[$place$n]=${ws[retag]} cpu[$place$n]=${cs[retag]}
    ltf_kib=$(($(stat -c %s "$src/parts.ltf") / 1024))
    limit=$((3 * ltf_kib + 30 * 1024))
    echo "  peak memory: $((rk / 1024)) MiB of a limit of $((limit / 1024)) MiB" \
      "(3 x list + 30 MiB), ratio $(ratio "$rk" "$limit")"
  done
  if [ ${#sizes[@]} -ge 2 ]; then
    first=${sizes[0]} last=${sizes[${#sizes[@]}-1]}
    echo "  retag N=$last / N=$first: wall $(ratio "${wall[$place$last]}" "${wall[$place$first]}")," \
      "processor $(ratio "${cpu[$place$last]}" "${cpu[$place$first]}") (size ratio $(ratio "$last" "$first"))"
  fi
done

if [ "${PROFILE:-0}" = 1 ]; then
  n=${sizes[0]} work=${places[0]}/retag_bench.$$
  rm -rf "$tmp/prof$n" && cp -r "$work/gen$n" "$tmp/prof$n"
  (cd "$tmp/prof$n" && perf record -q -g -o "$tmp/perf.data" "$retag" parts benchlib \
    >/dev/null 2>&1)
  perf report -i "$tmp/perf.data" --no-children --stdio --percent-limit 1.5 2>/dev/null |
    grep -v '^$' | grep '%' | head -40
fi
