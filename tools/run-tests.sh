#!/usr/bin/env bash
# Builds and runs every test: the unit tests, end-to-end scenarios and
# install, example-program and package tests in a normal build, the style
# check (tools/check-style.sh: clang-format, clang-tidy, the message
# catalogue and the manual pages), the same tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer (once with the string pool
# and free lists on, once with them off so the sanitizer sees every block),
# and each fuzz target briefly on its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)

step() { printf '\n=== %s\n' "$*"; }

step "normal build"
cmake -S . -B build/release "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$jobs"
if command -v clang-format >/dev/null && command -v clang-tidy >/dev/null; then
  step "style (clang-format, clang-tidy)"
  tools/check-style.sh build/release
else
  step "style check skipped: clang-format and clang-tidy are not installed"
  step "message catalogue, manual pages"
  python3 tools/check-messages.py build/release
  tools/check-man.sh
fi
step "tests (normal build)"
ctest --test-dir build/release -j "$jobs" --output-on-failure

step "sanitizer build"
cmake -S . -B build/asan "${gen[@]}" -DCMAKE_BUILD_TYPE=Debug -DRETAG_SANITIZE=ON -DRETAG_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1
step "tests (sanitizers, pools on)"
ctest --test-dir build/asan -j "$jobs" --output-on-failure
step "tests (sanitizers, pools off)"
UL_STRDISABLE=1 UL_MEMFLDISABLE=1 ctest --test-dir build/asan -j "$jobs" --output-on-failure

if command -v clang++ >/dev/null && [ -n "$(ls fuzz/*_fuzz.cpp 2>/dev/null)" ]; then
  step "fuzz targets (short runs on their corpora)"
  cmake -S . -B build/fuzz "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRETAG_FUZZ=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build/fuzz -j "$jobs"
  ctest --test-dir build/fuzz -j "$jobs" --output-on-failure
fi
step "all tests passed"
