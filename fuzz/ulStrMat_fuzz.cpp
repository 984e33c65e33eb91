// Wildcard matching against a table-driven reference matcher.
//
// Input: the pattern, a zero byte, the string. The reference fills the usual
// table of "pattern prefix matches string prefix"; ulStrMat must agree with it
// on every input, and ulStrIMat must agree with ulStrMat on upper-cased
// copies.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ulStr.h"

namespace {

bool reference(const std::string &p, const std::string &s) {
  // row[j]: the pattern read so far matches the first j characters of s.
  std::vector<unsigned char> row(s.size() + 1, 0), next(s.size() + 1);
  row[0] = 1;
  for (char c : p) {
    next.assign(s.size() + 1, 0);
    for (size_t j = 0; j <= s.size(); ++j) {
      if (c == '*')
        next[j] = row[j] != 0 || (j > 0 && next[j - 1] != 0) ? 1 : 0;
      else if (j > 0)
        next[j] = row[j - 1] != 0 && (c == '?' || c == s[j - 1]) ? 1 : 0;
    }
    row.swap(next);
  }
  return row[s.size()] != 0;
}

std::string upper(std::string s) {
  for (char &c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 2048)
    return 0; // keeps the reference table small; longer inputs find nothing new
  const std::string in = fuzzsupport::text(data, size);
  size_t zero = in.find('\0');
  std::string pattern = in.substr(0, zero);
  std::string s = zero == std::string::npos ? "" : in.substr(zero + 1);
  s = s.c_str();
  fuzzsupport::check(ulStrMat(pattern.c_str(), s.c_str()) == (reference(pattern, s) ? 1 : 0));
  fuzzsupport::check(ulStrIMat(pattern.c_str(), s.c_str()) ==
                     ulStrMat(upper(pattern).c_str(), upper(s).c_str()));
  return 0;
}
