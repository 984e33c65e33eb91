// Fuzz target: arbitrary bytes as an LTF file. The reader must not crash or
// overrun a buffer; on failure its message is in the error buffer and fits
// it; on success the list is well formed, and writing and dumping it work.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "retag.h"
#include "symlist.h"

namespace {

KeywordEntry *gKeywords = nullptr;
FILE *gSink = nullptr;

void checkAttributes(const AttributeInfo *a) {
  for (; a != nullptr; a = a->next)
    if (a->name == nullptr || a->value == nullptr || std::strlen(a->value) > 159)
      std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // The reader's progress and the dump go to standard output: discard them.
  if (std::freopen("/dev/null", "w", stdout) == nullptr)
    std::abort();
  // Plain heap blocks instead of the string pool and the free lists: the
  // sanitizer then checks every string and record on its own, and pool
  // blocks (linked by 32-bit offsets) are not taken for leaks by the
  // per-input leak check.
  setenv("UL_STRDISABLE", "1", 1);
  setenv("UL_MEMFLDISABLE", "1", 1);
  gSink = std::fopen("/dev/null", "w");
  gKeywords = vaAMInitLTFKeywords();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  FILE *fp = fmemopen(const_cast<uint8_t *>(data), size, "r");
  if (fp == nullptr)
    return 0;
  SymbolInfo *list = nullptr;
  vaAMErrorBufferV[0] = '\0';
  int status = vaAMReadLTFFile(fp, &list, gKeywords, "fuzz.ltf");
  std::fclose(fp);
  if (std::memchr(vaAMErrorBufferV, '\0', sizeof vaAMErrorBufferV) == nullptr)
    std::abort();
  if (status == 1 && vaAMErrorBufferV[0] == '\0')
    std::abort();
  if (status == 0) {
    for (SymbolInfo *s = list; s != nullptr; s = s->next) {
      if (s->name == nullptr)
        std::abort();
      checkAttributes(s->attributes);
      for (PinInfo *p = s->pins; p != nullptr; p = p->next) {
        if (p->name == nullptr || (p->inverted != 0 && p->inverted != 1))
          std::abort();
        checkAttributes(p->attributes);
      }
    }
    if (vaAMWriteLTFFile(gSink, list) != 0)
      std::abort();
    vaAMDumpSymbolList(list);
  }
  vaAMFreeSymbolInfo(list);
  return 0;
}
