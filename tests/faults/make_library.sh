#!/usr/bin/env bash
# Writes a project for the reliability scripts into DIR:
#
#   make_library.sh DIR [N] [TAG]
#
# DIR/scribant.ini names the library DIR/lib as "flib"; DIR/lib/sym holds N
# symbols (default 200) s001.1 ... written as the block writer writes them;
# DIR/parts.ltf rewrites their attributes with values that carry TAG
# (default "new"), adds one attribute to each and leaves every 25th symbol
# out (so a run also logs and counts failures). Runs differ only in TAG.
set -eu
dir=$1
n=${2:-200}
tag=${3:-new}
mkdir -p "$dir/lib/sym"
printf 'DIR [pw] .\nDIR [w] lib (flib)\n' >"$dir/scribant.ini"
printf 'NEW_ATTR_VIS 1\nTEXTSIZE 10\nORIENTATION 0\nTEXTORIGIN 1\n' >"$dir/retagcfg.ini"
awk -v n="$n" -v tag="$tag" -v dir="$dir" 'BEGIN {
  ltf = dir "/parts.ltf"
  print ".BL" >ltf
  for (i = 1; i <= n; i++) {
    name = sprintf("s%03d", i)
    file = dir "/lib/sym/" name ".1"
    printf "V 50\nY 1\nD -20 -70 40 20\nZ 10\ni 3\nb 0 -10 20 10\n" >file
    printf "U 0 -40 10 0 1 1 PARTNAME=OLD%d\nU 0 -60 10 0 1 0 FOOTPRINT=?\n", i >file
    printf "P 1 -10 5 0 5 0 1 0\nL -8 6 8 0 1 0 1 0 A\nA -10 5 8 0 1 0 PINNUMBER=?\n" >file
    printf "P 2 -10 -5 0 -5 0 1 0\nL -8 -4 8 0 1 0 1 0 B\nA -10 -5 8 0 1 0 PINNUMBER=?\n" >file
    printf "P 3 36 0 26 0 0 3 0\nL 28 1 8 0 1 0 1 1 Y\nA 30 0 8 0 1 0 PINNUMBER=?\nE\n" >file
    close(file)
    if (i % 25 == 0)
      continue
    printf "S %s 1\n", name >ltf
    printf "A 0 -40 1 10 0 1 PARTNAME=%s%d\n", toupper(tag), i >ltf
    printf "A 0 -60 1 10 0 1 FOOTPRINT=DIP%d\n", 14 + i % 3 * 2 >ltf
    printf "A 0 -80 0 10 0 1 VENDOR=%s\n", toupper(tag) >ltf
    printf "P A\nA -10 5 0 8 0 1 PINNUMBER=%d\n", i % 7 + 1 >ltf
    printf "P B\nA -10 -5 0 8 0 1 PINNUMBER=%d\n", i % 5 + 1 >ltf
    printf "P ~Y\nA 30 0 0 8 0 1 PINNUMBER=%d\n", i % 3 + 1 >ltf
  }
  print ".EL" >ltf
}'
