// Arbitrary bytes as lines of the editor's initialisation file, each applied
// in turn.
//
// Checked on every input: the result of a line is 0 or 1; the lists never
// hold a name twice and only upper-case names; the qualifier word fits its
// buffer. Lines whose keyword is "dir" are not applied: the library manager
// creates a missing directory, and a fuzzer must not create directories
// wherever an input points (its line parser has a target of its own). The
// keyword is found with the same public functions the reader uses.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "qInit.h"
#include "ulBase.h"
#include "ulStr.h"

namespace {

using fuzzsupport::check;

// True when the line's keyword stands for "dir".
bool isDirLine(const char *line) {
  int start, end;
  q_ini_line_text(line, &start, &end);
  const char *p = line + start;
  const char *stop = line + end;
  while (p < stop && ulCharIsSpace(*p))
    ++p;
  const char *q = p;
  while (q < stop && !ulCharIsSpace(*q))
    ++q;
  std::string keyword(p, q);
  int index = q_find_keyword(keyword.c_str());
  return index >= 0 && std::strcmp(q_keyword_name(index), "dir") == 0;
}

void checkNames(ulDlist list, bool resetList) {
  if (list == nullptr)
    return;
  auto nameOf = [resetList](const ulDlistCell *cell) {
    return resetList ? static_cast<const qAttrReset *>(cell->value)->name
                     : static_cast<const char *>(cell->value);
  };
  for (ulDlistCell *a = list->head.next; a != &list->tail; a = a->next) {
    for (const char *c = nameOf(a); *c != '\0'; ++c)
      check(std::toupper(static_cast<unsigned char>(*c)) == static_cast<unsigned char>(*c));
    for (ulDlistCell *b = a->next; b != &list->tail; b = b->next)
      check(!ulStrIequ(nameOf(a), nameOf(b)));
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Messages and reports go nowhere.
  fuzzsupport::discardOutput();
  ulErrLogEnable(0);
  ulErrFileV = std::fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  for (std::string line : fuzzsupport::lines(data, size)) {
    line = line.c_str(); // the reader sees text up to a NUL byte
    if (isDirLine(line.c_str()))
      continue;
    int result = q_read_param(line.c_str());
    check(result == 0 || result == 1);
  }
  checkNames(q_attr_reset_list, true);
  checkNames(vqAttrPromoListV, false);
  checkNames(q_netname_list, false);
  check(std::memchr(vqIniSettingsV.symbolQualifiers, '\0', qQUALIFIERS_MAX + 1) != nullptr);
  q_free_attr_reset_list();
  q_free_attr_promo_list();
  q_free_netname_list();
  q_set_defaults();
  return 0;
}
