// Symbol tables against std::unordered_map: storing and fetching 100,000
// string keys in a table that grows as it fills.
//
// Each iteration creates a table of 401 buckets with the growth rule 2.0/2.0,
// stores 100,000 keys (the table keeps its own copies), fetches every key
// once, and destroys the table; the comparison does the same with
// std::unordered_map<std::string, void *>, in the same run. After the
// benchmarks the ratio (table time / map time) is printed for each of two key
// sets; the table is meant to stay within 1.5 of the map.
//
// Two key sets, because the string hash is a fixed formula with a known weak
// spot: "names" are distinct identifiers of 4 to 12 letters, digits and
// underscores (nearly every key hashes apart); "numbered" are sym0, sym1, ...
// whose hashes coincide in groups of about eleven (9,076 distinct values for
// 100,000 keys), so their chains are long whatever the bucket count.
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "BenchSupport.h"
#include "ulStr.h"
#include "ulSym.h"

namespace {

constexpr int kKeys = 100000;

const std::vector<std::string> &numberedKeys() {
  static const std::vector<std::string> k = [] {
    std::vector<std::string> v;
    for (int i = 0; i < kKeys; ++i)
      v.push_back("sym" + std::to_string(i));
    return v;
  }();
  return k;
}

const std::vector<std::string> &nameKeys() {
  static const std::vector<std::string> k = [] {
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    std::mt19937 random(1);
    std::unordered_set<std::string> seen;
    std::vector<std::string> v;
    while (v.size() < kKeys) {
      std::string name;
      for (unsigned n = 4 + random() % 9; n > 0; --n)
        name += alphabet[random() % (sizeof alphabet - 1)];
      if (seen.insert(name).second)
        v.push_back(name);
    }
    return v;
  }();
  return k;
}

const std::vector<std::string> &keys(const benchmark::State &state) {
  return state.range(0) == 0 ? nameKeys() : numberedKeys();
}

void BM_SymStoreFetch(benchmark::State &state) {
  const auto &k = keys(state);
  for (auto _ : state) {
    ulSym t = ulSymCreate(401, ulSymStHash, ulStrEqu, ulSymStCpy, ulSymStFree);
    ulSymDynamic(t, 2.0, 2.0);
    for (int i = 0; i < kKeys; ++i)
      ulSymStore(t, k[i].c_str(), const_cast<char *>(k[i].c_str()));
    size_t found = 0;
    for (int i = 0; i < kKeys; ++i)
      found += ulSymFetch(t, k[i].c_str()) != nullptr;
    benchmark::DoNotOptimize(found);
    ulSymDestroy(t, nullptr);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_SymStoreFetch)->Unit(benchmark::kMillisecond)->ArgName("numbered")->Arg(0)->Arg(1);

void BM_UnorderedMapStoreFetch(benchmark::State &state) {
  const auto &k = keys(state);
  for (auto _ : state) {
    std::unordered_map<std::string, void *> m;
    for (int i = 0; i < kKeys; ++i)
      m[k[i]] = const_cast<char *>(k[i].c_str());
    size_t found = 0;
    for (int i = 0; i < kKeys; ++i)
      found += m.find(k[i]) != m.end();
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_UnorderedMapStoreFetch)
    ->Unit(benchmark::kMillisecond)
    ->ArgName("numbered")
    ->Arg(0)
    ->Arg(1);

} // namespace

int main(int argc, char **argv) {
  benchsupport::TimeReporter reporter;
  benchsupport::runBenchmarks(argc, argv, reporter);
  for (const char *set : {"0", "1"}) {
    const std::string arg = std::string("/numbered:") + set;
    benchsupport::printRatio(std::string("ulSymStore/ulSymFetch time / unordered_map time, ") +
                                 (set[0] == '0' ? "names" : "numbered") + " keys",
                             reporter.time["BM_SymStoreFetch" + arg],
                             reporter.time["BM_UnorderedMapStoreFetch" + arg]);
  }
  return 0;
}
