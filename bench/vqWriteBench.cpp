// Saving loaded symbols: 10,000 symbols of a library, loaded once, each
// written back through q_write_data (lock, backup, body into a temporary
// file, rename, unlock), against plain C loops over the same files that copy
// each file to its backup, write the same bytes to a temporary file and
// rename it over the file. Wall-clock time, one run each.
//
// A save of the database syncs the backup and the new content to disk
// before each rename (and the directory after it), so that a crash leaves
// the old or the whole new file. The first baseline does exactly those
// syncs and is the fair comparison; the second skips them and shows what the
// durability costs. After the runs the ratios are printed.
//
// RETAG_BENCH_SYMBOLS overrides the number of symbols (a quick try).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "qInit.h"
#include "vqRead.h"
#include "vqWrite.h"
#include "vs.h"

namespace {

int gSymbols = 10000;
std::unique_ptr<benchsupport::ScratchDir> gDir;
std::string gSym; // the library's sym directory
std::vector<vqBlock *> gBlocks;
std::vector<std::string> gNames; // file names of the symbols, "s00042.1"

std::string nameOf(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "s%05d", i);
  return name;
}

// A symbol of an outline, two block attributes and eight pins, each with a
// label and two attributes: about 1 KB, a common library symbol.
void writeSymbol(const std::string &path, int i) {
  FILE *fp = std::fopen(path.c_str(), "w");
  std::fprintf(fp, "V 50\nY 0\nD 0 0 100 100\nZ 10\ni 8\n");
  std::fprintf(fp, "l 5 0 0 60 0 60 90 0 90 0 0\n");
  std::fprintf(fp, "U 10 95 10 0 3 1 PART=74LS%d\nU 10 -10 10 0 3 0 REFDES=U?\n", i % 1000);
  for (int p = 1; p <= 8; ++p) {
    int y = 10 * p;
    std::fprintf(fp, "P %d 0 %d -20 %d 0 0 0\n", p, y, y);
    std::fprintf(fp, "L 2 %d 8 0 1 0 1 0 A%d\n", y, p);
    std::fprintf(fp, "A -18 %d 8 0 3 1 #=%d\nA -18 %d 8 0 3 0 PINTYPE=IN\n", y + 2, p, y - 2);
  }
  std::fprintf(fp, "E\n");
  std::fclose(fp);
}

void setUp() {
  if (const char *n = std::getenv("RETAG_BENCH_SYMBOLS"))
    gSymbols = std::max(1, std::atoi(n));
  gDir = std::make_unique<benchsupport::ScratchDir>("vqWriteBench");
  const std::string lib = gDir->path() + "/lib";
  gSym = lib + "/sym";
  std::filesystem::create_directories(gSym);
  FILE *ini = std::fopen((gDir->path() + "/scribant.ini").c_str(), "w");
  std::fprintf(ini, "DIR [pw] %s (mylib)\n", lib.c_str());
  std::fclose(ini);
  for (int i = 0; i < gSymbols; ++i) {
    gNames.push_back(nameOf(i) + ".1");
    writeSymbol(gSym + "/" + gNames.back(), i);
  }
  if (vsSetdef(gDir->path().c_str()) != vsOK || vqProjInit(q_get_version()) != 1 ||
      q_scrib_init() != vqVERSION) {
    std::fprintf(stderr, "vqWriteBench: the project could not be opened\n");
    std::exit(1);
  }
  for (int i = 0; i < gSymbols; ++i) {
    std::string name = nameOf(i);
    int status = -1;
    vqBlock *b = vqBlockLoad(vqBLOCK_SYMBOL, "mylib", name.data(), 1, vqLOAD_OR_EMPTY, &status);
    if (b == nullptr || status != vqLOAD_OK) {
      std::fprintf(stderr, "vqWriteBench: %s could not be loaded\n", name.c_str());
      std::exit(1);
    }
    gBlocks.push_back(b);
  }
}

void tearDown() {
  for (vqBlock *b : gBlocks)
    q_free_block(b);
  vqProjExit();
  gDir.reset();
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool syncDirectory() {
  int fd = open(gSym.c_str(), O_RDONLY | O_DIRECTORY);
  bool ok = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0)
    close(fd);
  return ok;
}

// Writes bytes to path through path.tmp and a rename; with sync the
// temporary file is synced before the rename and the directory after it.
bool replaceFile(const std::string &path, const std::string &bytes, bool sync) {
  const std::string temp = path + ".tmp";
  FILE *out = std::fopen(temp.c_str(), "w");
  if (out == nullptr)
    return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() &&
            std::fflush(out) == 0 && (!sync || fsync(fileno(out)) == 0);
  ok = std::fclose(out) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  return ok && (!sync || syncDirectory());
}

// The plain loop: read each file, copy it to its backup, write the same
// bytes to a temporary file and rename that over the file.
bool plainLoop(bool sync) {
  std::string bytes;
  char buffer[65536];
  for (const std::string &name : gNames) {
    const std::string path = gSym + "/" + name;
    FILE *in = std::fopen(path.c_str(), "r");
    if (in == nullptr)
      return false;
    bytes.clear();
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
      bytes.append(buffer, n);
    std::fclose(in);
    if (!replaceFile(path + ".bac", bytes, sync) || !replaceFile(path, bytes, sync))
      return false;
  }
  return true;
}

double gSaveSeconds = 0;
double gSyncedSeconds = 0;
double gPlainSeconds = 0;

void BM_QWriteData(benchmark::State &state) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (vqBlock *b : gBlocks)
      if (q_write_data(b) != 1) {
        state.SkipWithError("a save failed");
        return;
      }
    gSaveSeconds = seconds(start);
  }
  state.SetItemsProcessed(state.iterations() * gSymbols);
}
BENCHMARK(BM_QWriteData)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_PlainLoopSynced(benchmark::State &state) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!plainLoop(true))
      state.SkipWithError("the plain loop failed");
    gSyncedSeconds = seconds(start);
  }
  state.SetItemsProcessed(state.iterations() * gSymbols);
}
BENCHMARK(BM_PlainLoopSynced)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_PlainLoopUnsynced(benchmark::State &state) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!plainLoop(false))
      state.SkipWithError("the plain loop failed");
    gPlainSeconds = seconds(start);
  }
  state.SetItemsProcessed(state.iterations() * gSymbols);
}
BENCHMARK(BM_PlainLoopUnsynced)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
  setUp();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  benchsupport::printRatio("q_write_data / plain loop with the same syncs", gSaveSeconds,
                           gSyncedSeconds, " (target: within 1.5)");
  benchsupport::printRatio("q_write_data / plain loop without syncs", gSaveSeconds, gPlainSeconds);
  tearDown();
  return 0;
}
