// Fuzz target: arbitrary bytes as an LTF file. The reader must not crash or
// overrun a buffer; on failure its message is in the error buffer and fits
// it; on success the list is well formed, and writing and dumping it work.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "FuzzSupport.h"
#include "retag.h"
#include "symlist.h"

namespace {

using fuzzsupport::check;

KeywordEntry *gKeywords = nullptr;
FILE *gSink = nullptr;

void checkAttributes(const AttributeInfo *a) {
  for (; a != nullptr; a = a->next)
    check(a->name != nullptr && a->value != nullptr && std::strlen(a->value) <= 159);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzzsupport::discardOutput(); // the reader's progress and the dump
  fuzzsupport::plainHeap();     // the reader copies into fixed buffers
  gSink = std::fopen("/dev/null", "w");
  gKeywords = vaAMInitLTFKeywords();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  SymbolInfo *list = nullptr;
  vaAMErrorBufferV[0] = '\0';
  int status =
      vaAMReadLTFFile(fuzzsupport::InputFile(data, size).get(), &list, gKeywords, "fuzz.ltf");
  check(std::memchr(vaAMErrorBufferV, '\0', sizeof vaAMErrorBufferV) != nullptr);
  check(status == 0 || vaAMErrorBufferV[0] != '\0');
  if (status == 0) {
    for (SymbolInfo *s = list; s != nullptr; s = s->next) {
      check(s->name != nullptr);
      checkAttributes(s->attributes);
      for (PinInfo *p = s->pins; p != nullptr; p = p->next) {
        check(p->name != nullptr && (p->inverted == 0 || p->inverted == 1));
        checkAttributes(p->attributes);
      }
    }
    check(vaAMWriteLTFFile(gSink, list) == 0);
    vaAMDumpSymbolList(list);
  }
  vaAMFreeSymbolInfo(list);
  return 0;
}
