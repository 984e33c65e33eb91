// Fuzzes the parser of one verbose error line. Whatever it accepts must
// print, and its verbose print must parse again.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ulErr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  ulErr *e = ulErrCreateFromString(fuzzsupport::text(data, size).c_str());
  if (e == nullptr)
    return 0;
  std::string verbose = ulErr_String(e, ulErrVERBOSE);
  (void)ulErr_String(e, ulErrTERSE);
  ulErr *again = ulErrCreateFromString(verbose.c_str());
  fuzzsupport::check(again != nullptr); // a printed record must read back
  ulErrDestroy(again);
  ulErrDestroy(e);
  return 0;
}
