// Lists against std::list used as a queue: adding at the end and removing
// from the front.
//
// Each iteration adds 1,000 values at the end and then removes them all from
// the front, once with ulDlistAddTail/ulDlistRemHead on one list and once with
// std::list push_back/pop_front, in the same run. After the benchmarks the
// speed-up (std::list time / ulDlist time) is printed; the list is meant to
// be at least as fast.
#include <cstdint>
#include <list>

#include "BenchSupport.h"
#include "ulDlist.h"

namespace {

constexpr int kValues = 1000;

void *word(intptr_t n) {
  return reinterpret_cast<void *>(n);
}

void BM_DlistAddTailRemHead(benchmark::State &state) {
  ulDlist l = ulDlistCreate();
  for (auto _ : state) {
    for (intptr_t i = 1; i <= kValues; ++i)
      ulDlistAddTail(l, word(i));
    intptr_t sum = 0;
    for (int i = 0; i < kValues; ++i)
      sum += reinterpret_cast<intptr_t>(ulDlistRemHead(l));
    benchmark::DoNotOptimize(sum);
  }
  ulDlistFreeList(l);
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_DlistAddTailRemHead);

void BM_StdListPushPop(benchmark::State &state) {
  std::list<void *> l;
  for (auto _ : state) {
    for (intptr_t i = 1; i <= kValues; ++i)
      l.push_back(word(i));
    intptr_t sum = 0;
    for (int i = 0; i < kValues; ++i) {
      sum += reinterpret_cast<intptr_t>(l.front());
      l.pop_front();
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_StdListPushPop);

} // namespace

int main(int argc, char **argv) {
  benchsupport::TimeReporter reporter;
  benchsupport::runBenchmarks(argc, argv, reporter);
  benchsupport::printRatio("std::list time / ulDlist time", reporter.time["BM_StdListPushPop"],
                           reporter.time["BM_DlistAddTailRemHead"]);
  return 0;
}
