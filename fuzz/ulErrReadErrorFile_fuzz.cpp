// Fuzzes the reader of error files on arbitrary text. Every chain it
// delivers must be well formed (each record printable); the first input
// byte decides after how many chains the callback asks to stop.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ulErr.h"

namespace {

struct Budget {
  int left; // deliveries before the callback says stop; negative: never
};

int take(ulErr *chain, void *data) {
  auto *budget = static_cast<Budget *>(data);
  for (ulErr *r = chain; r != nullptr; r = r->next)
    if (r->references != 1)
      std::abort(); // a fresh chain belongs to the callback alone
  (void)ulErr_String(chain, ulErrVERBOSE);
  ulErrDestroy(chain);
  return budget->left < 0 || --budget->left > 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  Budget budget{data[0] < 128 ? -1 : data[0] - 127};
  FILE *f = size > 1 ? fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "r") : std::tmpfile();
  if (f == nullptr)
    return 0;
  ulErrReadErrorFile(f, take, &budget);
  std::fclose(f);
  return 0;
}
