#!/usr/bin/env bash
# Prints every file an install puts under its prefix, one a line, in C
# sort order:
#
#   layout.sh SOURCE_DIR COMMAND...
#
# the commands in bin/; a message file per messages/*.msg and the default
# scribant.ini in share/retag/; each page of docs/ in the section of
# share/man that its extension names.
src=$1
shift
{
  for command in "$@"; do echo "bin/$command"; done
  for msg in "$src"/messages/*.msg; do echo "share/retag/$(basename "$msg" .msg).umb"; done
  echo share/retag/scribant.ini
  for page in "$src"/docs/*.[1-9]; do echo "share/man/man${page##*.}/$(basename "$page")"; done
} | LC_ALL=C sort
