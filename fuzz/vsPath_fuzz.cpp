// Arbitrary bytes as a path spec through splitting, joining and resolving.
//
// Checked on every input: nothing is written past a 256-byte buffer (the
// sanitizers see that), the status follows the length limit, the parts put
// together give the spec back, and an absolute spec is clean (rooted, no
// doubled separator, under 256 characters) and stays the same when made
// absolute again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "ulBase.h"
#include "vs.h"

namespace {

using fuzzsupport::check;

bool blankEdged(const char *s) {
  size_t n = std::strlen(s);
  return n > 0 && (ulCharIsSpaceOrTab(s[0]) || ulCharIsSpaceOrTab(s[n - 1]));
}

void parseAndMerge(const std::string &spec) {
  char dev[vsMAXPATH], dir[vsMAXPATH], name[vsMAXPATH], ext[vsMAXPATH], file[vsMAXPATH];
  int st = vsParse(spec.c_str(), dev, dir, name, ext);
  check(st == (spec.size() >= vsMAXPATH ? vsBADSPEC : vsOK));
  check(vsParse2(spec.c_str(), nullptr, nullptr, file) == st);
  if (st != vsOK)
    return;
  check(dev[0] == '\0');
  check(std::string(dir) + file == spec);
  std::string rejoined = std::string(name) + (ext[0] ? std::string(".") + ext : "");
  bool keptDot = ext[0] == '\0' && rejoined + "." == file;
  check(rejoined == file || keptDot);

  char merged[vsMAXPATH];
  check(vsMerge(merged, dev, dir, name, ext) == vsOK);
  if (!blankEdged(dir) && !blankEdged(name) && !blankEdged(ext) && !keptDot)
    check(spec == merged);
}

void absolute(const std::string &spec) {
  char out[vsMAXPATH];
  if (vsAbsPath2(spec.c_str(), out) != vsOK)
    return;
  size_t n = std::strlen(out);
  check(n < vsMAXPATH && out[0] == '/');
  check(std::strstr(out, "//") == nullptr);
  if (std::strpbrk(out, " \t") != nullptr)
    return;
  char again[vsMAXPATH];
  check(vsAbsPath2(out, again) == vsOK);
  check(std::strcmp(out, again) == 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // A fixed HOME, so that "~" gives the same result on every machine. The
  // default directory stays the working directory: the harness reads its
  // corpus through relative paths.
  setenv("HOME", "/home/fuzz", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string spec = fuzzsupport::cText(data, size);
  parseAndMerge(spec);
  absolute(spec);
  return 0;
}
