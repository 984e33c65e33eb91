// Fuzz target: arbitrary bytes as a binary message file. Opening, checking
// and reading it must never crash; every failure must be one of the message
// layer's own (1002 to 1007 opening and checking, 1020 to 1023 reading).
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ulMsg.h"

namespace {

const fuzzsupport::ScratchDir *gDir = nullptr; // holds the input as "input.umb"

// Runs body; a caught exception must carry one of the expected numbers.
template <class F> bool guarded(F body) {
  int number = 0;
  if (fuzzsupport::finishes(ulEX_PRECOND | ulEX_POSTCOND, body, &number))
    return true;
  fuzzsupport::check((number >= 1002 && number <= 1007) || (number >= 1020 && number <= 1023));
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

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  ulErrLogEnable(0);
  static const fuzzsupport::ScratchDir dir;
  gDir = &dir;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string name = gDir->write("input.umb", fuzzsupport::text(data, size));
  name.resize(name.size() - 4); // the opener adds the extension

  // The first byte chooses which checks the open makes.
  uint8_t mode = size > 0 ? data[0] : 0;
  const char *application = (mode & 1) ? "ullib" : nullptr;
  const char *version = (mode & 2) ? "5.0" : nullptr;
  const char *minimum = (mode & 4) ? "5.0.0" : nullptr;
  const char *maximum = (mode & 8) ? "5.9.9" : nullptr;

  ulMsgHandle h = nullptr;
  guarded([&] { h = ulMsgFileOpen(name.c_str(), application, version, minimum, maximum); });
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
