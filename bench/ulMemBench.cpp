// The fixed-size free lists against the C heap: taking and giving back small
// records of 8 to 160 bytes.
//
// Each iteration takes 1,000 records whose sizes cycle through 8, 16, ..., 160
// bytes, writes one word into each, and then gives them all back, once with
// ulMemFlAlloc/ulMemFlFree and once with malloc/free, in the same run. Holding
// the whole batch before giving it back keeps both allocators honest. After
// the benchmarks the speed-up (heap time / free-list time) is printed; the
// free lists are meant to be at least 1.5 times as fast.
#include <cstdlib>

#include "BenchSupport.h"
#include "ulMem.h"

namespace {

constexpr int kBatch = 1000;

size_t sizeOf(int i) {
  return static_cast<size_t>(8 * (1 + i % 20));
}

// One word written into each block, so that taking it is not all there is.
void *marked(void *block, int i) {
  *static_cast<int *>(block) = i;
  return block;
}

void BM_FreeListAllocFree(benchmark::State &state) {
  benchsupport::heldBatch(
      state, kBatch, [](int i) { return marked(ulMemFlAlloc(sizeOf(i), "bench"), i); },
      [](int i, void *block) { ulMemFlFree(block, sizeOf(i)); });
}
BENCHMARK(BM_FreeListAllocFree);

void BM_HeapAllocFree(benchmark::State &state) {
  benchsupport::heldBatch(
      state, kBatch, [](int i) { return marked(std::malloc(sizeOf(i)), i); },
      [](int, void *block) { std::free(block); });
}
BENCHMARK(BM_HeapAllocFree);

} // namespace

int main(int argc, char **argv) {
  benchsupport::TimeReporter reporter;
  benchsupport::runBenchmarks(argc, argv, reporter);
  benchsupport::printRatio("malloc/free time / ulMemFlAlloc/ulMemFlFree time",
                           reporter.time["BM_HeapAllocFree"],
                           reporter.time["BM_FreeListAllocFree"]);
  return 0;
}
