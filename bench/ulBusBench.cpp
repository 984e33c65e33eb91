// Bus name expansion against a plain formatting loop.
//
// Each pair walks the same names once through ulBusExpand and once with a
// loop that formats them with snprintf into the same kind of buffer:
//   D[0:65534]        65535 names D0 .. D65534
//   A[0:255]B[0:255]  65536 names A0B0 .. A255B255 (two pieces, odometer order)
// Compare the times of each pair from the same run: the iterator is meant to
// stay within 2 times of the loop. The width count of the same texts is
// measured too, since the block reader counts every label it reads.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "ulBus.h"

namespace {

void walk(benchmark::State &state, const char *text) {
  char name[64];
  int64_t names = 0;
  for (auto _ : state) {
    ulBusState *s = nullptr;
    while ((s = ulBusExpand(s, text, name, sizeof name)) != nullptr) {
      benchmark::DoNotOptimize(name);
      names++;
    }
  }
  state.SetItemsProcessed(names);
}

void BM_BusExpandD(benchmark::State &state) {
  walk(state, "D[0:65534]");
}
BENCHMARK(BM_BusExpandD);

void BM_SnprintfD(benchmark::State &state) {
  char name[64];
  int64_t names = 0;
  for (auto _ : state) {
    for (int i = 0; i <= 65534; i++) {
      std::snprintf(name, sizeof name, "D%d", i);
      benchmark::DoNotOptimize(name);
      names++;
    }
  }
  state.SetItemsProcessed(names);
}
BENCHMARK(BM_SnprintfD);

void BM_BusExpandAB(benchmark::State &state) {
  walk(state, "A[0:255]B[0:255]");
}
BENCHMARK(BM_BusExpandAB);

void BM_SnprintfAB(benchmark::State &state) {
  char name[64];
  int64_t names = 0;
  for (auto _ : state) {
    for (int a = 0; a <= 255; a++) {
      for (int b = 0; b <= 255; b++) {
        std::snprintf(name, sizeof name, "A%dB%d", a, b);
        benchmark::DoNotOptimize(name);
        names++;
      }
    }
  }
  state.SetItemsProcessed(names);
}
BENCHMARK(BM_SnprintfAB);

void BM_BusWidth(benchmark::State &state) {
  const char *texts[] = {"D[0:65534]", "A[0:255]B[0:255]", "CLK", "{A,B}3", "X[0:F:5/H]"};
  for (auto _ : state)
    for (const char *t : texts)
      benchmark::DoNotOptimize(ulBusExpandWidth(t));
  state.SetItemsProcessed(state.iterations() * 5);
}
BENCHMARK(BM_BusWidth);

} // namespace

BENCHMARK_MAIN();
