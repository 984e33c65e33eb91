// Bus names of arbitrary text: counting and walking must agree.
//
// For every input, ulBusExpandWidth counts the names and ulBusExpand walks
// them. When the count succeeds, the walk yields exactly that many names and
// ends with status 0; when the count finds a syntax fault, the walk ends with
// the same status (or with status 8, should a name before the fault not fit
// the buffer). Walks stop after 70000 names (a name past the width limit may
// stand for billions) and release their state with ulBusExpandFree, so the
// leak checker also covers early release. A second walk with a tiny buffer,
// its size taken from the first byte, must end with status 8 whenever some
// name does not fit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ulBus.h"

namespace {

using fuzzsupport::check;

constexpr long kCap = 70000;

struct Walk {
  long names = 0;
  size_t longest = 0;
  int status = 0;
  bool capped = false;
};

Walk walk(const char *text, int size) {
  Walk w;
  char buffer[256];
  ulBusState *s = nullptr;
  while ((s = ulBusExpand(s, text, buffer, size)) != nullptr) {
    size_t n = std::char_traits<char>::length(buffer);
    check(static_cast<int>(n) < size); // else a name was written past the buffer given
    w.longest = n > w.longest ? n : w.longest;
    if (++w.names == kCap) {
      ulBusExpandFree(s);
      w.capped = true;
      return w;
    }
  }
  w.status = ulBusExpandStatus();
  return w;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text = fuzzsupport::cText(data, size);

  int width = ulBusExpandWidth(text.c_str());
  int widthStatus = ulBusExpandStatus();
  check(widthStatus >= 0 && widthStatus <= 6 && (widthStatus == 0 || width == 0) && width >= 0 &&
        width <= 65535);

  Walk full = walk(text.c_str(), 256);
  if (!full.capped && full.status != 8) {
    check(width == 0 || (full.names == width && full.status == 0));
    check(full.status == widthStatus);
  }

  int small = size > 0 ? data[0] % 8 : 0;
  Walk tight = walk(text.c_str(), small);
  check(full.capped || full.status != 0 || full.names == 0 ||
        full.longest + 1 <= static_cast<size_t>(small) || tight.status == 8);
  return 0;
}
