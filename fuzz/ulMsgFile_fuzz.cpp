// Fuzz target: arbitrary bytes as a binary message file. Opening, checking
// and reading it must never crash; every failure must be one of the message
// layer's own (1002 to 1007 opening and checking, 1020 to 1023 reading).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "ulErr.h"
#include "ulMsg.h"
#include "vs.h"

namespace {

std::string gDir;  // scratch directory of this run
std::string gName; // the file to open, without its extension

void removeScratch() {
  std::remove((gName + ".umb").c_str());
  rmdir(gDir.c_str());
}

bool expectedFailure(int number) {
  return (number >= 1002 && number <= 1007) || (number >= 1020 && number <= 1023);
}

// Runs body; a caught exception must carry one of the expected numbers.
template <class F> bool guarded(F body) {
  if (!ulExTry(ulEX_PRECOND | ulEX_POSTCOND, body))
    return true;
  ulErr *e = ulExErrV;
  ulExErrV = nullptr;
  if (e == nullptr || !expectedFailure(ulErrNum(e)))
    std::abort();
  ulErrDestroy(e);
  return false;
}

char *ignore(void *data, const char *text) {
  *static_cast<std::string *>(data) = text;
  return nullptr;
}

int32_t wordAt(const uint8_t *data, size_t size, size_t offset) {
  if (offset + 4 > size)
    return static_cast<int32_t>(offset);
  return static_cast<int32_t>(uint32_t{data[offset]} << 24 | uint32_t{data[offset + 1]} << 16 |
                              uint32_t{data[offset + 2]} << 8 | data[offset + 3]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  // The library's own message file lies beside this executable.
  if (*argc < 1 || vsSetexedir((*argv)[0]) != 1)
    std::abort();
  ulErrLogEnable(0);
  char dir[] = "/tmp/ulMsgFile_fuzzXXXXXX";
  if (mkdtemp(dir) == nullptr)
    std::abort();
  gDir = dir;
  gName = gDir + "/input";
  std::atexit(removeScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *f = std::fopen((gName + ".umb").c_str(), "wb");
  if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
    std::abort();

  // The first byte chooses which checks the open makes.
  uint8_t mode = size > 0 ? data[0] : 0;
  const char *application = (mode & 1) ? "ullib" : nullptr;
  const char *version = (mode & 2) ? "5.0" : nullptr;
  const char *minimum = (mode & 4) ? "5.0.0" : nullptr;
  const char *maximum = (mode & 8) ? "5.9.9" : nullptr;

  ulMsgHandle h = nullptr;
  guarded([&] { h = ulMsgFileOpen(gName.c_str(), application, version, minimum, maximum); });
  if (h == nullptr)
    return 0;
  // Look up the numbers where an index would hold them, then some others,
  // each twice so the second comes from the cache.
  int32_t indexOffset = wordAt(data, size, 16);
  for (int i = 0; i < 24; ++i) {
    int32_t number =
        i < 16 ? wordAt(data, size, static_cast<size_t>(indexOffset) + 4 + 12 * i) : i - 20;
    for (int twice = 0; twice < 2; ++twice) {
      std::string text;
      if (guarded([&] { ulMsgText(h, number, ignore, &text); }) &&
          text.find('%') == std::string::npos)
        guarded([&] { ulMsgStatic(h, number); });
    }
  }
  ulMsgFileClose(h);
  return 0;
}
