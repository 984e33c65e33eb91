#!/usr/bin/env bash
# Whole-command benchmark: retag over a generated library against plain I/O.
#
#   bench/retag_bench.sh [N ...]        (default: 10000 100000)
#
# For each N it generates a project whose library holds N symbols (8 pins,
# 3 symbol attributes and 2 attributes on every pin) and a list that gives
# every one of those attributes a new value, then times, on fresh copies of
# the same files:
#   retag    retag parts benchlib (the release build, built if missing);
#   plain    bench/plain_rewrite.c: read, back up, lock by exclusive create,
#            rewrite through a temporary file and rename, unlock, each file.
# It prints wall time, processor time (user + system) and peak memory of
# both, and the ratios the command is held to: retag against plain for each
# N, the largest N against the smallest, and peak memory against three times
# the list's size plus 30 MiB. On a machine shared with other work the wall
# times wander with the load; the processor times much less.
#
# Environment: BUILD (build directory, default build/release), RETAG (the
# retag executable, default $BUILD/bin/retag, message files beside it), BENCH_TMP
# (where the projects go, default a fresh directory under /dev/shm, else
# /tmp, removed at the end), SYNC=1 (the plain program flushes each new file
# and the directory as retag's crash-safe save does: use it when BENCH_TMP is
# on a disk, where those flushes dominate both), REPEAT=K (run both K times
# on fresh copies, one after the other, and report the median of each
# figure: on a shared or virtual machine a single pair of runs can be off by
# a third), PROFILE=1 (also record a
# perf profile of the retag run of the first N and print its top entries;
# needs perf).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build/release}
retag=${RETAG:-$build/bin/retag}
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(10000 100000)

if [ ! -x "$retag" ]; then
  gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
  cmake -S "$root" -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)" --target retag >/dev/null
fi
shm=(); [ -d /dev/shm ] && shm=(-p /dev/shm)
tmp=${BENCH_TMP:-$(mktemp -d "${shm[@]}")}
sync=(); [ "${SYNC:-0}" = 1 ] && sync=(-s)
repeat=${REPEAT:-1}
[ -z "${BENCH_TMP:-}" ] && trap 'rm -rf "$tmp"' EXIT
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
  local out=$1; shift
  /usr/bin/time -f "%e %U %S %M" -o "$out" "$@" >/dev/null
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$out" >"$out.sum" && mv "$out.sum" "$out"
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
printf '%-7s %-8s %8s %8s %9s %8s %8s %9s %10s %9s\n' N list_KiB retag_s retag_cpu retag_MiB \
  plain_s plain_cpu plain_MiB wall_ratio cpu_ratio
for n in "${sizes[@]}"; do
  src=$tmp/gen$n
  [ -d "$src" ] || generate "$src" "$n"
  runs=() plains=()
  for ((r = 0; r < repeat; ++r)); do
    rm -rf "$tmp/retag$n" "$tmp/plain$n"
    cp -r "$src" "$tmp/retag$n"
    cp -r "$src" "$tmp/plain$n"
    (cd "$tmp/retag$n" && timed "$tmp/retag$n.time" "$retag" parts benchlib)
    timed "$tmp/plain$n.time" "$tmp/plain_rewrite" "${sync[@]}" "$tmp/plain$n/lib/sym"
    grep -q "^$n symbols were processed successfully.$" "$tmp/retag$n/parts.log" ||
      { echo "retag did not process all $n symbols:"; tail -3 "$tmp/retag$n/parts.log"; exit 1; }
    runs+=("$(cat "$tmp/retag$n.time")")
    plains+=("$(cat "$tmp/plain$n.time")")
  done
  read -r rs rc rk <<<"$(median "${runs[@]}")"
  read -r ps pc pk <<<"$(median "${plains[@]}")"
  ltf_kib=$(( $(stat -c %s "$src/parts.ltf") / 1024 ))
  wall[$n]=$rs
  cpu[$n]=$rc
  printf '%-7s %-8s %8s %8s %9s %8s %8s %9s %10s %9s\n' "$n" "$ltf_kib" "$rs" "$rc" \
    "$((rk / 1024))" "$ps" "$pc" "$((pk / 1024))" "$(ratio "$rs" "$ps")" "$(ratio "$rc" "$pc")"
  limit=$((3 * ltf_kib + 30 * 1024))
  echo "  peak memory: $((rk / 1024)) MiB of a limit of $((limit / 1024)) MiB" \
    "(3 x list + 30 MiB), ratio $(ratio "$rk" "$limit")"
done
if [ ${#sizes[@]} -ge 2 ]; then
  first=${sizes[0]}; last=${sizes[${#sizes[@]}-1]}
  echo "retag N=$last / N=$first: wall $(ratio "${wall[$last]}" "${wall[$first]}")," \
    "processor $(ratio "${cpu[$last]}" "${cpu[$first]}") (size ratio $(ratio "$last" "$first"))"
fi

if [ "${PROFILE:-0}" = 1 ]; then
  n=${sizes[0]}
  rm -rf "$tmp/prof$n" && cp -r "$tmp/gen$n" "$tmp/prof$n"
  (cd "$tmp/prof$n" && perf record -q -g -o "$tmp/perf.data" "$retag" parts benchlib \
    >/dev/null 2>&1)
  perf report -i "$tmp/perf.data" --no-children --stdio --percent-limit 1.5 2>/dev/null |
    grep -v '^$' | grep '%' | head -40
fi
