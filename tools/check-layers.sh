#!/usr/bin/env bash
# Checks that the layers point down: a file of a module directory includes
# only headers of its own directory or of the directories below it, in the
# order util, project, library, scrib, gpi, retag. The one circle left is
# listed below with its reason. Prints each include that points up and
# fails on any.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(util project library scrib gpi retag)
# DIR:HEADER pairs allowed to point up: the error layer of util writes its
# log and finds message files through the path layer (vs.h).
allowed=" util:vs.h "

declare -A rank
for i in "${!layers[@]}"; do
  for header in "${layers[$i]}"/*.h; do rank[$(basename "$header")]=$i; done
done
status=0
for i in "${!layers[@]}"; do
  dir=${layers[$i]}
  while IFS=: read -r file line header; do
    header=${header#*\"}
    header=${header%\"*}
    [ -n "${rank[$header]+set}" ] || continue
    if [ "${rank[$header]}" -gt "$i" ] && [[ $allowed != *" $dir:$header "* ]]; then
      echo "$file:$line: $header is of ${layers[${rank[$header]}]}/, above $dir/"
      status=1
    fi
  done < <(grep -Hn '^#include "' "$dir"/*.cpp "$dir"/*.h)
done
exit $status
