// Fuzz target: arbitrary bytes as a configuration file. The reader must not
// crash or overrun a buffer; a null result leaves a message that fits the
// error buffer, and an accepted list holds each keyword id at most once.
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "retag.h"
#include "symlist.h"

namespace {
KeywordEntry *gKeywords = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzzsupport::discardOutput();
  fuzzsupport::plainHeap(); // the reader copies into fixed buffers
  gKeywords = vaAMInitINIKeywords();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  // The first byte, when odd, switches debug mode on to reach its prints.
  vaAMDebugV = data[0] & 1;
  vaAMErrorBufferV[0] = '\0';
  IniKeyValue *list =
      vaAMReadINIFile(fuzzsupport::InputFile(data, size).get(), gKeywords, "retagcfg.ini");
  fuzzsupport::check(std::memchr(vaAMErrorBufferV, '\0', sizeof vaAMErrorBufferV) != nullptr);
  fuzzsupport::check(list != nullptr || vaAMErrorBufferV[0] != '\0');
  unsigned seen = 0;
  for (IniKeyValue *r = list; r != nullptr; r = r->next) {
    fuzzsupport::check(r->id >= 1 && r->id <= 4 && (seen & (1u << r->id)) == 0 &&
                       r->name != nullptr);
    seen |= 1u << r->id;
  }
  vaAMINIKeywordsV = list;
  for (int id = 0; id <= 5; ++id)
    vaAMGetDefaultValue(vaAMINIOrd(id));
  vaAMINIKeywordsV = nullptr;
  vaAMFreeINIKeyValues(list);
  return 0;
}
