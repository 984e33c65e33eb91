// The string pool against the C heap: copying and freeing short strings.
//
// Each iteration copies 61 strings of 1 to 61 characters (the pool's whole
// range of slot sizes) and then frees them, once with ulStrCpy/ulStrFree and
// once with malloc/memcpy/free, in the same run. Compare the two times: the
// pool is meant to be at least 1.5 times as fast. Holding the whole batch
// before freeing keeps both allocators honest: neither can hand the same
// block back and forth.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ulStr.h"

namespace {

constexpr int kLongest = 61;

// The strings to copy, one of each length from 1 to kLongest.
const std::vector<const char *> &sources() {
  static const std::vector<std::string> strings = [] {
    std::vector<std::string> v;
    for (int n = 1; n <= kLongest; ++n)
      v.emplace_back(static_cast<size_t>(n), static_cast<char>('a' + n % 26));
    return v;
  }();
  static const std::vector<const char *> pointers = [] {
    std::vector<const char *> v;
    for (const std::string &s : strings)
      v.push_back(s.c_str());
    return v;
  }();
  return pointers;
}

void BM_PoolCopyFree(benchmark::State &state) {
  const auto &in = sources();
  benchsupport::heldBatch(
      state, kLongest, [&in](int i) -> void * { return ulStrCpy(in[i]); },
      [](int, void *p) { ulStrFree(static_cast<char *>(p)); });
}
BENCHMARK(BM_PoolCopyFree);

void BM_HeapCopyFree(benchmark::State &state) {
  const auto &in = sources();
  benchsupport::heldBatch(
      state, kLongest,
      [&in](int i) {
        size_t n = std::strlen(in[i]) + 1;
        return std::memcpy(std::malloc(n), in[i], n);
      },
      [](int, void *p) { std::free(p); });
}
BENCHMARK(BM_HeapCopyFree);

} // namespace

BENCHMARK_MAIN();
