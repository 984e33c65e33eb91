#!/usr/bin/env bash
# Builds and runs every test: the unit tests (under ctest, then each unit
# test executable whole, in order and shuffled), end-to-end scenarios and
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
step "unit test executables run whole, in order and shuffled (normal build)"
# ctest gives every test case its own process; a developer runs a whole
# binary or a filter of it, and fixtures must put back what they change.
whole_failed=0
for t in build/release/bin/*Test; do
  for order in "" "--gtest_shuffle --gtest_random_seed=1"; do
    # shellcheck disable=SC2086 # order is zero or two words
    if ! out=$(cd build/release && RETAG_SOURCE_DIR="$PWD/../.." "../../$t" $order 2>&1); then
      printf '%s\n' "$out" | tail -n 40
      echo "FAILED: $t $order"
      whole_failed=1
    fi
  done
done
[ "$whole_failed" = 0 ]

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
