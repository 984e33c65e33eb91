// The fixed-size free lists against the C heap: taking and giving back small
// records of 8 to 160 bytes.
//
// Each iteration takes 1,000 records whose sizes cycle through 8, 16, ..., 160
// bytes, writes one word into each, and then gives them all back, once with
// ulMemFlAlloc/ulMemFlFree and once with malloc/free, in the same run. Holding
// the whole batch before giving it back keeps both allocators honest. After
// the benchmarks the speed-up (heap time / free-list time) is printed; the
// free lists are meant to be at least 1.5 times as fast.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "ulMem.h"

namespace {

constexpr int kBatch = 1000;

size_t sizeOf(int i) {
  return static_cast<size_t>(8 * (1 + i % 20));
}

void BM_FreeListAllocFree(benchmark::State &state) {
  std::vector<void *> held(kBatch);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      held[i] = ulMemFlAlloc(sizeOf(i), "bench");
      *static_cast<int *>(held[i]) = i;
    }
    benchmark::DoNotOptimize(held.data());
    for (int i = 0; i < kBatch; ++i)
      ulMemFlFree(held[i], sizeOf(i));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_FreeListAllocFree);

void BM_HeapAllocFree(benchmark::State &state) {
  std::vector<void *> held(kBatch);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      held[i] = std::malloc(sizeOf(i));
      *static_cast<int *>(held[i]) = i;
    }
    benchmark::DoNotOptimize(held.data());
    for (int i = 0; i < kBatch; ++i)
      std::free(held[i]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_HeapAllocFree);

// Keeps the CPU time per iteration of every benchmark for the closing ratio
// (CPU time, as the machine may be shared).
class RatioReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> time;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs)
      time[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double lists = reporter.time["BM_FreeListAllocFree"];
  const double heap = reporter.time["BM_HeapAllocFree"];
  if (lists > 0 && heap > 0)
    std::printf("malloc/free time / ulMemFlAlloc/ulMemFlFree time: %.2f\n", heap / lists);
  return 0;
}
