// Reading symbol block files: 10,000 symbols (8 pins, 3 symbol attributes
// and 2 attributes and a label per pin) loaded through vqBlockLoad and
// released, against reading the same files' bytes with fread, the least
// any load has to do; and blkcheck's check of the same library, which is to
// take about as long as the loads. One pass over all files per run; the
// ratios are printed at the end.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "companion.h"
#include "qInit.h"
#include "vqRead.h"
#include "vs.h"

namespace {

constexpr int kSymbols = 10000;

std::string nameOf(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "sym%05d", i);
  return name;
}

std::string symbolText(int i) {
  std::string t = "V 50\nY 1\nD -40 -50 40 50\nZ 10\ni 8\n";
  t += "U 0 60 10 0 1 1 PART=PART" + std::to_string(i) + "\nU 0 70 10 0 1 0 PKG=SO14\n";
  t += "U 0 80 10 0 1 0 DESCRIPTION=quad two-input nand gate\nb -30 -50 30 50\n";
  for (int p = 1; p <= 8; ++p) {
    int x = p <= 4 ? -40 : 40;
    int y = ((p - 1) % 4) * 20 - 30;
    t += "P " + std::to_string(p) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
         std::to_string(x < 0 ? -30 : 30) + " " + std::to_string(y) + " 0 " + (x < 0 ? "0" : "2") +
         " 0\n";
    t += "A " + std::to_string(x) + " " + std::to_string(y + 2) +
         " 8 0 1 0 #=" + std::to_string(p) + "\n";
    t += "A " + std::to_string(x) + " " + std::to_string(y - 2) +
         " 8 0 1 0 PINTYPE=" + (x < 0 ? "IN" : "OUT") + "\n";
    t += "L " + std::to_string(x) + " " + std::to_string(y) + " 8 0 1 0 1 0 P" + std::to_string(p) +
         "\n";
  }
  return t + "E\n";
}

// A project whose library mylib holds the symbols, opened once.
struct Fixture {
  benchsupport::ScratchDir dir{"vqReadBench"};
  std::vector<std::string> names;
  std::vector<std::string> paths;
  std::string lib = dir.path() + "/lib";
  Fixture() {
    std::filesystem::create_directories(lib + "/sym");
    FILE *ini = std::fopen((dir.path() + "/scribant.ini").c_str(), "w");
    std::fprintf(ini, "DIR [pw] %s (mylib)\n", lib.c_str());
    std::fclose(ini);
    for (int i = 0; i < kSymbols; ++i) {
      names.push_back(nameOf(i));
      paths.push_back(lib + "/sym/" + names.back() + ".1");
      FILE *f = std::fopen(paths.back().c_str(), "w");
      std::string text = symbolText(i);
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    if (vsSetdef(dir.path().c_str()) != vsOK || vqProjInit(q_get_version()) != 1 ||
        q_scrib_init() != 541)
      std::abort();
  }
  ~Fixture() { vqProjExit(); }
};

Fixture &fixture() {
  static Fixture f;
  return f;
}

void BM_vqBlockLoad(benchmark::State &state) {
  Fixture &f = fixture();
  for (auto _ : state) {
    for (const std::string &n : f.names) {
      std::string name = n;
      int status = -1;
      vqBlock *b = vqBlockLoad(1, "mylib", name.data(), 1, vqLOAD_OR_NEW, &status);
      if (b == nullptr || status != vqLOAD_OK || b->objects == nullptr)
        std::abort();
      q_free_block(b);
    }
  }
  state.SetItemsProcessed(state.iterations() * kSymbols);
}

void BM_fread(benchmark::State &state) {
  Fixture &f = fixture();
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    size_t total = 0;
    for (const std::string &p : f.paths) {
      FILE *fp = std::fopen(p.c_str(), "r");
      if (fp == nullptr)
        std::abort();
      size_t n;
      while ((n = std::fread(buffer.data(), 1, buffer.size(), fp)) > 0)
        total += n;
      std::fclose(fp);
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * kSymbols);
}

void BM_blkcheck(benchmark::State &state) {
  Fixture &f = fixture();
  for (auto _ : state) {
    vaAMCheckCounts counts{};
    vaAMCheckLibrary(f.lib.c_str(), "mylib", nullptr, 0, &counts);
    if (counts.blocks != kSymbols || counts.errors != 0 || counts.warnings != 0)
      std::abort();
  }
  state.SetItemsProcessed(state.iterations() * kSymbols);
}

} // namespace

BENCHMARK(BM_blkcheck)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_vqBlockLoad)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fread)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
  fixture();                           // the files are made before the first measurement
  benchsupport::TimeReporter reporter; // CPU time: the machine may be shared
  benchsupport::runBenchmarks(argc, argv, reporter);
  benchsupport::printRatio("vqBlockLoad / fread", reporter.time["BM_vqBlockLoad/iterations:1"],
                           reporter.time["BM_fread/iterations:1"], " (target: within 3)");
  benchsupport::printRatio("blkcheck / vqBlockLoad", reporter.time["BM_blkcheck/iterations:1"],
                           reporter.time["BM_vqBlockLoad/iterations:1"], " (target: about 1)");
  return 0;
}
