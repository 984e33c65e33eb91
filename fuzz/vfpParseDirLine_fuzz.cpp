// Directory lines of arbitrary text: the parser must never overrun its
// buffers, and every line it accepts must build back into a line that parses
// to the same fields.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "vfp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string line = fuzzsupport::text(data, size);
  char path[vfpPATH_SIZE], alias[vfpALIAS_SIZE], type[vfpTYPE_SIZE], qualifier[vfpALIAS_SIZE];
  const int status = vfpParseDirLine(line.c_str(), path, alias, type, qualifier);
  int flags = 0;
  vfpParseDirType(line.c_str(), &flags);
  if (status != 0)
    return 0;

  flags = vfpDIR_NOTYPE;
  fuzzsupport::check(type[0] == '\0' ||
                     vfpParseDirType((std::string("[") + type + "]").c_str(), &flags) == 0);
  char built[vfpLINE_SIZE];
  if (vfpBuildDirLine(built, path, alias, flags, 0, qualifier) != 0) {
    // Only a bare number as the path of a line without type is refused.
    fuzzsupport::check(flags == vfpDIR_NOTYPE && path[std::strspn(path, "-0123456789")] == '\0');
    return 0;
  }
  char path2[vfpPATH_SIZE], alias2[vfpALIAS_SIZE], type2[vfpTYPE_SIZE], qualifier2[vfpALIAS_SIZE];
  fuzzsupport::check(vfpParseDirLine(built, path2, alias2, type2, qualifier2) == 0 &&
                     !std::strcmp(path, path2) && !std::strcmp(alias, alias2) &&
                     !std::strcmp(type, type2) && !std::strcmp(qualifier, qualifier2));
  return 0;
}
