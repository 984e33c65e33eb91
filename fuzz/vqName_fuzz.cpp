// Attribute texts and block names as a block file or an attribute list gives
// them: split, rebuilt and checked.
//
// The input, up to its first NUL byte, is one text. Checked on every input:
//   - q_attr_name and q_attr_value give trimmed parts (a name cut to 131
//     characters may end in a blank), the name without "=" when the text has
//     one; building the text again from a name and value that fit
//     (q_build_attr_string) splits back into the same two;
//   - q_split_lib_comp leaves exactly the text after the first ":" (after
//     leading blanks) and returns what stood before it, cut to 544;
//   - vqValidFileName accepts only names of valid characters, and the symbol
//     name and library component checks finish (no project is open, so a
//     library is never known).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "ulStr.h"
#include "vqAttr.h"
#include "vqName.h"
#include "vs.h"

namespace {

using fuzzsupport::check;

bool isBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

bool trimmed(const std::string &s) {
  return s.empty() || (!isBlank(s.front()) && !isBlank(s.back()));
}

void checkAttribute(const std::string &text) {
  std::string a = text, b = text;
  std::string name = q_attr_name(a.data());
  std::string value = q_attr_value(b.data());
  check(a == b); // both trimmed the text the same way
  check(name.size() <= vqATTR_NAME_MAX && trimmed(value));
  // A name cut to 131 characters may end where a blank stood.
  check(name.size() == vqATTR_NAME_MAX ? name.empty() || !isBlank(name.front()) : trimmed(name));
  if (text.find('=') != std::string::npos)
    check(name.find('=') == std::string::npos);
  if (!name.empty() && name.find('=') == std::string::npos && !value.empty() &&
      name.size() + 1 + value.size() <= vqATTR_NAME_MAX) {
    char *built = q_build_attr_string(name.c_str(), value.c_str());
    check(q_attr_name(built) == name && q_attr_value(built) == value);
    ulStrFree(built);
  }
}

void checkLibComp(const std::string &text) {
  std::string t = text;
  std::string library = q_split_lib_comp(t.data());
  t = t.c_str(); // split in place: the text ends at its new terminator
  const char *start = ulStrBlk(text.c_str());
  const char *colon = std::strchr(start, ':');
  if (colon == nullptr) {
    check(library.empty() && t == start);
    return;
  }
  std::string before(start, colon);
  check(library == before.substr(0, vqLIBCOMP_MAX) && t == colon + 1);
}

void checkValidity(const std::string &text) {
  char library[vqLIBCOMP_MAX + 1], name[vsMAXPATH], extension[vsMAXPATH];
  for (int kind : {0, 1, 4})
    if (vqValidFileName(text.c_str(), kind, library, name, extension) == 1)
      check(name[0] != '\0' && std::strspn(name, vqValidNameCharsV) == std::strlen(name));
  int symbol = q_valid_symbol_name(text.c_str());
  check(symbol == 0 || symbol == 1);
  check(q_lib_sch_parse(text.c_str()) <= 1 && q_lib_sym_parse(text.c_str(), "1, alt") <= 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzzsupport::plainHeap();
  fuzzsupport::discardOutput(); // the validity messages
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 4096)
    return 0;
  const std::string text = fuzzsupport::cText(data, size);
  checkAttribute(text);
  checkLibComp(text);
  checkValidity(text);
  return 0;
}
