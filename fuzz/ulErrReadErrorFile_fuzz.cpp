// Fuzzes the reader of error files on arbitrary text. Every chain it
// delivers must be well formed (each record printable); the first input
// byte decides after how many chains the callback asks to stop.
#include <cstdint>

#include "FuzzSupport.h"
#include "ulErr.h"

namespace {

struct Budget {
  int left; // deliveries before the callback says stop; negative: never
};

int take(ulErr *chain, void *data) {
  auto *budget = static_cast<Budget *>(data);
  for (ulErr *r = chain; r != nullptr; r = r->next)
    fuzzsupport::check(r->references == 1); // a fresh chain belongs to the callback alone
  (void)ulErr_String(chain, ulErrVERBOSE);
  ulErrDestroy(chain);
  return budget->left < 0 || --budget->left > 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  Budget budget{data[0] < 128 ? -1 : data[0] - 127};
  ulErrReadErrorFile(fuzzsupport::InputFile(data + 1, size - 1).get(), take, &budget);
  return 0;
}
