// What a crash-safe save costs. One 4 KB block file rewritten over and over:
//   PlainRewrite      fopen "w", fwrite, fclose: the file itself, no safety;
//   TempRename        a file object's write: a temporary file renamed over
//                     the file with its bits and group, not synced;
//   TempRenameSync    the same, synced (the file, then its directory);
//   PlainBackup       a copy of the old file beside it, then PlainRewrite:
//                     the least a save with a backup does;
//   BlockSave         the block writer's save through vqp.h: lock, backup,
//                     temporary file, synced commit, unlock.
// Ratios are of real time (the work is I/O); they depend on the file system
// and its disk more than on this code.
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "qInit.h"
#include "vfpFile.h"
#include "vqp.h"
#include "vs.h"

namespace {

const std::string kContent = [] {
  std::string s;
  while (s.size() < 4096)
    s += "A 10 20 0 0 3 1 PART_NUMBER=XYZ-1234\n";
  return s;
}();

struct Fixture {
  // With lockMode 0 the project database alone, without locks; otherwise
  // the project as the editor opens it.
  explicit Fixture(int lockMode) {
    const std::string lib = dir.path() + "/lib";
    std::filesystem::create_directories(lib + "/sym");
    FILE *ini = std::fopen((dir.path() + "/scribant.ini").c_str(), "w");
    std::fprintf(ini, "DIR [pw] %s (lib)\n", lib.c_str());
    std::fclose(ini);
    file = lib + "/sym/and2.1";
    write(file);
    int status = -1;
    if (lockMode != 0) {
      // As the editor opens it: class ids and lock mode from vqProjInit,
      // which finds scribant.ini in the current directory.
      std::filesystem::current_path(dir.path());
      vsSetdef(dir.path().c_str());
      vqProjInit(q_get_version());
      status = 0;
    } else {
      vfpInit(4, "5.41");
      vfpOpenProject(dir.path().c_str(), nullptr, "Scribant", 0, &status);
    }
    char ref[vfpREF_SIZE];
    if (status != 0 || vfpBuildObjRef(ref, vfpClassLookup("SYMBOL"), "lib", "and2", "1") != 0)
      std::abort();
    obj = vfpOpenObject(ref, vfpOPEN_ID, &status);
  }
  ~Fixture() { vfpExit(); }
  static void write(const std::string &path) {
    FILE *f = std::fopen(path.c_str(), "w");
    std::fwrite(kContent.data(), 1, kContent.size(), f);
    std::fclose(f);
  }
  void save(int flags) {
    if (vfpObjReopen(obj, vfpOPEN_WRITE, 0) != 0)
      std::abort();
    std::fwrite(kContent.data(), 1, kContent.size(), vfpObjStream(obj));
    if (vfpObjReopen(obj, vfpOPEN_ID, flags) != 0)
      std::abort();
  }
  benchsupport::ScratchDir dir{"vfpSaveBench"};
  std::string file;
  vfpObjId obj = 0;
};

void BM_PlainRewrite(benchmark::State &state) {
  Fixture f(0);
  for (auto _ : state)
    Fixture::write(f.file);
}

void BM_TempRename(benchmark::State &state) {
  Fixture f(0);
  for (auto _ : state)
    f.save(vfpCLOSE_COMMIT);
}

void BM_TempRenameSync(benchmark::State &state) {
  Fixture f(0);
  for (auto _ : state)
    f.save(vfpCLOSE_COMMIT | vfpCLOSE_SYNC);
}

void BM_PlainBackup(benchmark::State &state) {
  Fixture f(0);
  std::string buffer(kContent.size() * 2, '\0');
  for (auto _ : state) {
    FILE *in = std::fopen(f.file.c_str(), "r");
    const size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
    std::fclose(in);
    FILE *out = std::fopen((f.file + ".bac").c_str(), "w");
    std::fwrite(buffer.data(), 1, n, out);
    std::fclose(out);
    Fixture::write(f.file);
  }
}

void BM_BlockSave(benchmark::State &state) {
  Fixture f(vfpLOCKMODE_DEFAULT);
  for (auto _ : state) {
    if (!vqpFileLock(vqpKIND_SYMBOL, "lib", "and2", 1) ||
        !vqpFileCreateBackup(f.obj, vqpKIND_SYMBOL) || !vqpFileReopen(f.obj, vqpFILE_WRITE))
      std::abort();
    std::fwrite(kContent.data(), 1, kContent.size(), vqpFileStream(f.obj));
    if (!vqpFileSuspend(f.obj, 0) || !vqpFileUnlock(vqpKIND_SYMBOL, "lib", "and2", 1))
      std::abort();
  }
}

} // namespace

BENCHMARK(BM_PlainRewrite)->UseRealTime();
BENCHMARK(BM_TempRename)->UseRealTime();
BENCHMARK(BM_TempRenameSync)->UseRealTime();
BENCHMARK(BM_PlainBackup)->UseRealTime();
BENCHMARK(BM_BlockSave)->UseRealTime();

int main(int argc, char **argv) {
  benchsupport::TimeReporter reporter(benchsupport::TimeReporter::Clock::Real);
  benchsupport::runBenchmarks(argc, argv, reporter);
  auto &t = reporter.time;
  benchsupport::printRatio("temporary file and rename / plain rewrite",
                           t["BM_TempRename/real_time"], t["BM_PlainRewrite/real_time"]);
  benchsupport::printRatio("synced / not synced", t["BM_TempRenameSync/real_time"],
                           t["BM_TempRename/real_time"]);
  benchsupport::printRatio("block save / plain backup and rewrite", t["BM_BlockSave/real_time"],
                           t["BM_PlainBackup/real_time"]);
  return 0;
}
