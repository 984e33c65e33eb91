// BenchSupport.h: what several benchmarks share.
//
//   ScratchDir     a fresh directory under /tmp for generated input, removed
//                  with its contents when the object goes;
//   heldBatch      the loop that takes a whole batch of blocks and then gives
//                  them all back, for an allocator and its baseline alike;
//   TimeReporter   the console report, keeping the time per iteration of each
//                  benchmark for the closing ratios;
//   runBenchmarks, printRatio  a main that reports those ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace benchsupport {

class ScratchDir {
public:
  explicit ScratchDir(const std::string &prefix) {
    std::string templ = "/tmp/" + prefix + "XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    path_ = templ;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  // The directory, without a trailing "/".
  const std::string &path() const { return path_; }

private:
  std::string path_;
};

// Each iteration takes count blocks with take(i), holding them all, then
// gives each back with give(i, block). Holding the whole batch keeps an
// allocator from handing the same block back and forth.
template <class Take, class Give>
void heldBatch(benchmark::State &state, int count, Take take, Give give) {
  std::vector<void *> held(static_cast<size_t>(count));
  for (auto _ : state) {
    for (int i = 0; i < count; ++i)
      held[i] = take(i);
    benchmark::DoNotOptimize(held.data());
    for (int i = 0; i < count; ++i)
      give(i, held[i]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
}

// Keeps the time per iteration of every benchmark run, by its full name:
// CPU time by default (the machine may be shared), or real time.
class TimeReporter : public benchmark::ConsoleReporter {
public:
  enum class Clock { Cpu, Real };
  explicit TimeReporter(Clock clock = Clock::Cpu, OutputOptions options = OO_Defaults)
      : ConsoleReporter(options), clock_(clock) {}
  std::map<std::string, double> time;

  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs)
      if (run.run_type == Run::RT_Iteration)
        time[run.benchmark_name()] =
            clock_ == Clock::Cpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }

private:
  Clock clock_;
};

// Runs the benchmarks chosen on the command line, reporting through reporter.
inline void runBenchmarks(int &argc, char **argv, TimeReporter &reporter) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}

// Prints "label: ratio" (two decimals) and the note when both times were
// measured.
inline void printRatio(const std::string &label, double numerator, double denominator,
                       const char *note = "") {
  if (numerator > 0 && denominator > 0)
    std::printf("%s: %.2f%s\n", label.c_str(), numerator / denominator, note);
}

} // namespace benchsupport
