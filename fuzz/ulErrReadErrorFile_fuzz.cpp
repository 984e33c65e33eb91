// Fuzzes the readers of error text on arbitrary bytes. A line that
// ulErrCreateFromString accepts must print, and its verbose print must read
// again. The reader of error files must deliver well-formed chains (each
// record printable and the callback's alone); the first input byte decides
// after how many chains the callback asks to stop.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ulErr.h"

namespace {

using fuzzsupport::check;

// data: the deliveries left before the callback says stop; negative: never.
int take(ulErr *chain, void *data) {
  int &left = *static_cast<int *>(data);
  for (ulErr *r = chain; r != nullptr; r = r->next)
    check(r->references == 1);
  (void)ulErr_String(chain, ulErrVERBOSE);
  ulErrDestroy(chain);
  return left < 0 || --left > 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (ulErr *e = ulErrCreateFromString(fuzzsupport::text(data, size).c_str())) {
    const std::string verbose = ulErr_String(e, ulErrVERBOSE);
    (void)ulErr_String(e, ulErrTERSE);
    ulErr *again = ulErrCreateFromString(verbose.c_str());
    check(again != nullptr);
    ulErrDestroy(again);
    ulErrDestroy(e);
  }
  if (size == 0)
    return 0;
  int left = data[0] < 128 ? -1 : data[0] - 127;
  ulErrReadErrorFile(fuzzsupport::InputFile(data + 1, size - 1).get(), take, &left);
  return 0;
}
