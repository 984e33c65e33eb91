// The directory loop over a large directory, against the plain loop that
// any program would write: opendir, readdir, stat each entry, sort by name,
// call back with each full path.
//
//   PlainLoop     the baseline
//   Loop2First    vsLoop2 on a cold cache (every entry examined)
//   Loop2Second   vsLoop2 on a warm cache over the unchanged directory
//
// The directory of 100,000 files is made once per run in a temporary
// directory and removed at the end. After the run the ratios of the two
// vsLoop2 cases to the baseline are printed; the targets are a first visit
// within 1.3 times the baseline and a second visit at least twice as fast.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "BenchSupport.h"
#include "ulMem.h"
#include "vs.h"

namespace {

constexpr int kFiles = 100000;

std::unique_ptr<benchsupport::ScratchDir> gScratch;

// The directory of the files, ending in "/".
std::string &directory() {
  static std::string dir;
  return dir;
}

void makeDirectory() {
  gScratch = std::make_unique<benchsupport::ScratchDir>("vsLoopBench");
  directory() = gScratch->path() + "/";
  char name[64];
  for (int i = 0; i < kFiles; ++i) {
    std::snprintf(name, sizeof name, "sym%06d.%d", (i * 7919) % kFiles, i % 3 + 1);
    FILE *f = std::fopen((directory() + name).c_str(), "w");
    if (f == nullptr) {
      std::perror("fopen");
      std::exit(1);
    }
    std::fclose(f);
  }
}

long visited;

int count(char *path, void *) {
  visited += path[0] == '/';
  return vsLOOP;
}

// The baseline: what a loop over a directory costs without any cache.
struct Plain {
  std::string name;
  time_t time;
  off_t size;
  bool isDir;
};

void plainLoop(const std::string &dir) {
  std::vector<Plain> entries;
  entries.reserve(100);
  DIR *d = opendir(dir.c_str());
  std::string path = dir;
  while (dirent *e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
      continue;
    path.resize(dir.size());
    path += e->d_name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
      continue;
    entries.push_back({e->d_name, st.st_mtime, st.st_size, S_ISDIR(st.st_mode)});
  }
  closedir(d);
  std::sort(entries.begin(), entries.end(), [](const Plain &a, const Plain &b) {
    return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
  });
  char buf[vsMAXPATH];
  for (const Plain &e : entries) {
    if (e.isDir)
      continue;
    std::snprintf(buf, sizeof buf, "%s%s", dir.c_str(), e.name.c_str());
    count(buf, nullptr);
  }
}

void PlainLoop(benchmark::State &state) {
  for (auto _ : state)
    plainLoop(directory());
  benchmark::DoNotOptimize(visited);
}

void Loop2First(benchmark::State &state) {
  std::string pattern = directory() + "*.*";
  for (auto _ : state) {
    state.PauseTiming();
    ulMemPurge(); // drops the directory cache
    state.ResumeTiming();
    vsLoop2(pattern.c_str(), vsFILE, count, nullptr);
  }
  benchmark::DoNotOptimize(visited);
}

void Loop2Second(benchmark::State &state) {
  std::string pattern = directory() + "*.*";
  vsLoop2(pattern.c_str(), vsFILE, count, nullptr); // warm the cache
  for (auto _ : state)
    vsLoop2(pattern.c_str(), vsFILE, count, nullptr);
  benchmark::DoNotOptimize(visited);
}

BENCHMARK(PlainLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(Loop2First)->Unit(benchmark::kMillisecond);
BENCHMARK(Loop2Second)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  makeDirectory();
  // Real time: the loops wait on the file system as much as they compute.
  benchsupport::TimeReporter reporter(benchsupport::TimeReporter::Clock::Real,
                                      benchmark::ConsoleReporter::OO_None);
  benchsupport::runBenchmarks(argc, argv, reporter);
  auto &s = reporter.time;
  benchsupport::printRatio("\nfirst visit / plain loop", s["Loop2First"], s["PlainLoop"],
                           " (target <= 1.3)");
  benchsupport::printRatio("plain loop / second visit", s["PlainLoop"], s["Loop2Second"],
                           " (target >= 2)");
  gScratch.reset();
  return 0;
}
