// Quoted tokens: bounded against unbounded reading, and writing tokens back.
//
// Input: one byte choosing the token size (1 to 64) and the delimiter set,
// then the text. Checks that
//   - ulStrTokQuote and ulStrBufTokQuote stop at the same places, and the
//     bounded token is the start of the unbounded one;
//   - every call moves forward, so a caller's loop ends;
//   - the tokens read, written back with ulStrBufUntokQuote (quoting on), read
//     back as the same tokens.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ulStr.h"

namespace {

using fuzzsupport::check;

const char *const kDelimiterSets[] = {" ", " \t\n", ",;", "\"\\ "};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  int tokenSize = 1 + data[0] % 64;
  const char *delimiters = kDelimiterSets[(data[0] >> 6) % 4];
  const std::string text = fuzzsupport::cText(data + 1, size - 1);

  std::vector<char> token(static_cast<size_t>(tokenSize));
  ulStrBuf *whole = ulStrBufCreate(16);
  std::vector<std::string> tokens;
  const char *fixed = text.c_str();
  const char *grown = text.c_str();
  for (;;) {
    const char *before = fixed;
    fixed = ulStrTokQuote(fixed, token.data(), tokenSize, delimiters);
    grown = ulStrBufTokQuote(grown, whole, delimiters);
    check(fixed == grown);
    if (fixed == nullptr)
      break;
    check(fixed > before && fixed <= text.c_str() + text.size());
    std::string w = ulStrBufString(whole);
    check(std::strlen(token.data()) == std::min(w.size(), static_cast<size_t>(tokenSize - 1)));
    check(w.compare(0, std::strlen(token.data()), token.data()) == 0);
    tokens.push_back(w);
  }

  ulStrBuf *written = ulStrBufCreate(16);
  for (const std::string &t : tokens)
    check(ulStrBufUntokQuote(t.c_str(), written, ulStrUNTOK_QUOTE, delimiters) == t.c_str());
  size_t n = 0;
  for (const char *p = ulStrBufString(written);
       (p = ulStrBufTokQuote(p, whole, delimiters)) != nullptr; ++n)
    check(n < tokens.size() && tokens[n] == ulStrBufString(whole));
  check(n == tokens.size());

  ulStrBufDestroy(written);
  ulStrBufDestroy(whole);
  return 0;
}
