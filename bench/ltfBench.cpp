// Reading an LTF attribute list against reading the same bytes line by line
// with fgets, in one run. The file (100,000 symbols with 2 attributes and 8
// pins of 2 attributes each, about 50 MB) is generated once into a temporary
// directory and removed at the end. After the benchmarks the ratio of the
// mean times (reader / fgets) is printed.
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

#include "BenchSupport.h"
#include "symlist.h"

namespace {

constexpr int kSymbols = 100000;

std::unique_ptr<benchsupport::ScratchDir> gDir;
std::string gFile;
double gFgetsSeconds = 0;
long gFgetsRuns = 0;
double gReaderSeconds = 0;
long gReaderRuns = 0;

void generate() {
  gDir = std::make_unique<benchsupport::ScratchDir>("ltfBench");
  gFile = gDir->path() + "/big.ltf";
  FILE *fp = std::fopen(gFile.c_str(), "w");
  std::fprintf(fp, ".BL\n");
  for (int s = 0; s < kSymbols; ++s) {
    std::fprintf(fp, "S sym%d %d\n", s, s % 7);
    std::fprintf(fp, "A 0 -40 1 10 0 1 REFDES=U%d\n", s);
    std::fprintf(fp, "A 0 40 0 10 0 1 PART=74ls%d\n", s % 1000);
    for (int p = 0; p < 8; ++p) {
      std::fprintf(fp, "P %sP%d\n", p % 3 == 0 ? "~" : "", p);
      std::fprintf(fp, "A %d 0 1 8 0 1 PT=IN\n", p * 20);
      std::fprintf(fp, "A %d 9 0 8 2 1 N=%d\n", p * 20, p + 1);
    }
  }
  std::fprintf(fp, ".EL\n");
  std::fclose(fp);
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_FgetsLines(benchmark::State &state) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    FILE *fp = std::fopen(gFile.c_str(), "r");
    char line[160];
    long lines = 0;
    while (std::fgets(line, sizeof line, fp) != nullptr)
      ++lines;
    std::fclose(fp);
    benchmark::DoNotOptimize(lines);
    gFgetsSeconds += seconds(start);
    ++gFgetsRuns;
  }
}
BENCHMARK(BM_FgetsLines)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ReadLTFFile(benchmark::State &state) {
  KeywordEntry *keywords = vaAMInitLTFKeywords();
  // The reader prints its progress: send it to /dev/null, not into the report.
  std::fflush(stdout);
  int saved = dup(1);
  int devnull = open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    dup2(devnull, 1);
    auto start = std::chrono::steady_clock::now();
    FILE *fp = std::fopen(gFile.c_str(), "r");
    SymbolInfo *list = nullptr;
    int status = vaAMReadLTFFile(fp, &list, keywords, gFile.c_str());
    std::fclose(fp);
    gReaderSeconds += seconds(start);
    ++gReaderRuns;
    std::fflush(stdout);
    dup2(saved, 1);
    if (status != 0)
      state.SkipWithError("the LTF reader failed");
    state.PauseTiming();
    vaAMFreeSymbolInfo(list);
    state.ResumeTiming();
  }
  close(devnull);
  close(saved);
  vaAMFreeAnyKeywords(keywords);
}
BENCHMARK(BM_ReadLTFFile)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv) {
  generate();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gFgetsRuns > 0 && gReaderRuns > 0)
    benchsupport::printRatio("LTF reader / fgets",
                             gReaderSeconds / static_cast<double>(gReaderRuns),
                             gFgetsSeconds / static_cast<double>(gFgetsRuns));
  gDir.reset();
  return 0;
}
