#!/usr/bin/env bash
# Checks the tree's C++ files against .clang-format and .clang-tidy, and the
# message catalogue against the code, and fails on any finding:
#   - clang-format: every .cpp and .h file of the tree;
#   - clang-tidy: the code of the modules and tools, through the compile
#     database of a build, and the fuzz targets. Test and benchmark files are
#     left to the compiler warnings: parsing their framework headers would
#     make this check about five times slower;
#   - tools/check-messages.py: the message table, the compiled message files
#     of the build and every call that names a message number agree;
#   - tools/check-man.sh: every manual page of docs/ has balanced quotes on
#     its macro lines and formats without a groff warning.
#
#   tools/check-style.sh [BUILD_DIR]
#
# BUILD_DIR (default build/release) is a configured and built tree; cmake
# writes its compile_commands.json. Needs clang-format, clang-tidy and python3.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
jobs=$(nproc)
python3 tools/check-messages.py "$build"
tools/check-man.sh

modules=(util project library scrib gpi retag tools)

mapfile -t files < <(find "${modules[@]}" bench fuzz tests examples \( -name '*.cpp' -o -name '*.h' \) |
  sort)
clang-format --dry-run -Werror "${files[@]}"

# clang-tidy parses with clang, which does not know some of g++'s warning
# options in the compile database; its count of what it suppressed in system
# headers is noise.
quiet() { grep -v '^[0-9]* warnings\? generated\.$' >&2 || true; }
find "${modules[@]}" -name '*.cpp' | sort |
  xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-Wno-unknown-warning-option \
    2> >(quiet)
includes=()
for dir in "${modules[@]}" fuzz; do
  includes+=("-I$dir")
done
clang-tidy --quiet fuzz/*_fuzz.cpp -- -std=c++20 -DRETAG_FUZZING=1 "${includes[@]}" 2> >(quiet)
