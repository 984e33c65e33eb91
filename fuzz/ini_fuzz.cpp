// Fuzz target: arbitrary bytes as a configuration file. The reader must not
// crash or overrun a buffer; a null result leaves a message that fits the
// error buffer, and an accepted list holds each keyword id at most once.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "retag.h"
#include "symlist.h"

namespace {
KeywordEntry *gKeywords = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // The reader's warnings go to standard output: discard them.
  if (std::freopen("/dev/null", "w", stdout) == nullptr)
    std::abort();
  // Plain heap blocks instead of the string pool and the free lists: the
  // sanitizer then checks every string and record on its own, and pool
  // blocks (linked by 32-bit offsets) are not taken for leaks by the
  // per-input leak check.
  setenv("UL_STRDISABLE", "1", 1);
  setenv("UL_MEMFLDISABLE", "1", 1);
  gKeywords = vaAMInitINIKeywords();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  FILE *fp = fmemopen(const_cast<uint8_t *>(data), size, "r");
  if (fp == nullptr)
    return 0;
  // The first byte, when odd, switches debug mode on to reach its prints.
  vaAMDebugV = data[0] & 1;
  vaAMErrorBufferV[0] = '\0';
  IniKeyValue *list = vaAMReadINIFile(fp, gKeywords, "retagcfg.ini");
  std::fclose(fp);
  if (std::memchr(vaAMErrorBufferV, '\0', sizeof vaAMErrorBufferV) == nullptr)
    std::abort();
  if (list == nullptr && vaAMErrorBufferV[0] == '\0')
    std::abort();
  unsigned seen = 0;
  for (IniKeyValue *r = list; r != nullptr; r = r->next) {
    if (r->id < 1 || r->id > 4 || (seen & (1u << r->id)) != 0 || r->name == nullptr)
      std::abort();
    seen |= 1u << r->id;
  }
  vaAMINIKeywordsV = list;
  for (int id = 0; id <= 5; ++id)
    vaAMGetDefaultValue(vaAMINIOrd(id));
  vaAMINIKeywordsV = nullptr;
  vaAMFreeINIKeyValues(list);
  return 0;
}
