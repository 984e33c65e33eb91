// Escaping and reading back.
//
// Input: one byte choosing the character set, then the text (up to its first
// zero byte). Checks that reading back the escaped text gives the text again,
// that a bounded escape is the start of the whole one and ends on an escape
// boundary, and that reading arbitrary input never lengthens it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ulStr.h"

using fuzzsupport::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  ulStrCvtChrset(1 + data[0] % 2);
  const std::string text = fuzzsupport::cText(data + 1, size - 1);

  char *escaped = ulStrCvtToAsciiAlloc(text.c_str());
  char *back = ulStrCvtFromLiteralAlloc(escaped);
  check(text == back);

  int bound = 1 + data[0] / 2 % 32;
  std::vector<char> small(static_cast<size_t>(bound));
  ulStrCvtToAscii(text.c_str(), small.data(), bound);
  size_t n = std::strlen(small.data());
  check(n < static_cast<size_t>(bound) && std::strncmp(small.data(), escaped, n) == 0);
  // Ending on an escape boundary: the prefix reads back as a prefix of text.
  char *part = ulStrCvtFromLiteralAlloc(small.data());
  check(text.compare(0, std::strlen(part), part) == 0);

  char *raw = ulStrCvtFromLiteralAlloc(text.c_str());
  check(std::strlen(raw) <= text.size());

  ulStrFree(raw);
  ulStrFree(part);
  ulStrFree(back);
  ulStrFree(escaped);
  return 0;
}
