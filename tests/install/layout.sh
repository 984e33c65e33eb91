#!/usr/bin/env bash
# Prints every file an install puts under its prefix, one a line, in C
# sort order:
#
#   layout.sh SOURCE_DIR LIBDIR COMMAND...
#
# the commands in bin/; a message file per messages/*.msg and the default
# scribant.ini in share/retag/; each page of docs/ in the section of
# share/man that its extension names; the public headers in include/retag/;
# the static libraries, the CMake package (its per-configuration file as
# RetagTargets-CONFIG.cmake) and the pkg-config file under LIBDIR.
src=$1 libdir=$2
shift 2
{
  for command in "$@"; do echo "bin/$command"; done
  for msg in "$src"/messages/*.msg; do echo "share/retag/$(basename "$msg" .msg).umb"; done
  echo share/retag/scribant.ini
  for page in "$src"/docs/*.[1-9]; do echo "share/man/man${page##*.}/$(basename "$page")"; done
  for header in gpi.h qMsg.h sbMsg.h ulDlist.h ulErr.h ulEx.h ulMsg.h ulStr.h vfp.h vqAttr.h vqBlock.h \
    vqName.h vqp.h; do
    echo "include/retag/$header"
  done
  for module in gpi library project scrib util; do echo "$libdir/libretag_$module.a"; done
  for file in RetagConfig RetagConfigVersion RetagTargets RetagTargets-CONFIG; do
    echo "$libdir/cmake/Retag/$file.cmake"
  done
  echo "$libdir/pkgconfig/retag.pc"
} | LC_ALL=C sort
