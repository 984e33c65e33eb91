// Walking the project library list: vfpFindNextLib over a list of 10,000
// directory lines against a plain linear scan of the same aliases with
// strcasecmp, the least any alias lookup has to do. Both look for the last
// alias (every entry is examined) and for one in the middle.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "vfp.h"

namespace {

constexpr int entries = 10000;

std::string aliasOf(int i) {
  char alias[16];
  std::snprintf(alias, sizeof alias, "lib%05d", i);
  return alias;
}

// A project whose scribant.ini holds the 10,000 lines, opened once.
struct Fixture {
  Fixture() {
    FILE *fp = std::fopen((dir.path() + "/scribant.ini").c_str(), "w");
    for (int i = 0; i < entries; ++i) {
      std::fprintf(fp, "DIR [%s] /libraries/%s (%s)\n", i == 0 ? "pw" : "r", aliasOf(i).c_str(),
                   aliasOf(i).c_str());
      aliases.push_back(aliasOf(i));
    }
    std::fclose(fp);
    vfpInit(4, "5.41");
    int status = -1;
    project = vfpOpenProject(dir.path().c_str(), nullptr, "Scribant", 0, &status);
    if (status != 0)
      std::abort();
  }
  ~Fixture() { vfpExit(); }
  benchsupport::ScratchDir dir{"vfpBench"};
  vfpObjId project = 0;
  std::vector<std::string> aliases;
};

Fixture &fixture() {
  static Fixture f;
  return f;
}

const char *target(const benchmark::State &state) {
  static const std::string last = "LIB09999", middle = "Lib05000";
  return state.range(0) == 0 ? last.c_str() : middle.c_str();
}

void BM_vfpFindNextLib(benchmark::State &state) {
  Fixture &f = fixture();
  const char *alias = target(state);
  for (auto _ : state) {
    int status = -1;
    LibraryDirId lib = vfpFindNextLib(f.project, 0, alias, &status);
    benchmark::DoNotOptimize(lib);
  }
}

void BM_linearStrcasecmp(benchmark::State &state) {
  Fixture &f = fixture();
  const char *alias = target(state);
  for (auto _ : state) {
    size_t found = f.aliases.size();
    for (size_t i = 0; i < f.aliases.size(); ++i)
      if (strcasecmp(f.aliases[i].c_str(), alias) == 0) {
        found = i;
        break;
      }
    benchmark::DoNotOptimize(found);
  }
}

} // namespace

BENCHMARK(BM_vfpFindNextLib)->Arg(0)->Arg(1);
BENCHMARK(BM_linearStrcasecmp)->Arg(0)->Arg(1);
BENCHMARK_MAIN();
