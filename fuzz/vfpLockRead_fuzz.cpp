// Lock files of arbitrary bytes: the reader must stay inside its buffers,
// and every lock it decodes whose lines fit the reader's line length must
// write back into a file that decodes to the same lock.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "vfpFile.h"

namespace {

bool same(const LockInfo &a, const LockInfo &b) {
  return a.state == b.state && !std::strcmp(a.owner, b.owner) && a.created == b.created &&
         a.facId == b.facId && !std::strcmp(a.facVer, b.facVer) && !std::strcmp(a.plVer, b.plVer) &&
         a.pid == b.pid && !std::strcmp(a.host, b.host) && !std::strcmp(a.className, b.className) &&
         a.tests == b.tests;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  LockInfo info;
  vfpGetOwnLockInfo(&info);
  {
    const fuzzsupport::InputFile in(data, size);
    if (vfpiDecodeLock(in.get(), &info) != 0)
      return 0;
  }
  fuzzsupport::check(info.tests >= 0 && info.tests <= vfpLOCKTEST_ALL);
  char text[4096];
  const int n = vfpiFormatLock(&info, text, sizeof text);
  fuzzsupport::check(n > 212 && std::strspn(text + n - 212, " ") == 212);
  // The owner line is the only one that can pass the 511 characters a
  // line may have.
  if (std::strlen(info.owner) > 400)
    return 0;
  LockInfo again;
  vfpGetOwnLockInfo(&again);
  const fuzzsupport::InputFile written(reinterpret_cast<const uint8_t *>(text),
                                       static_cast<size_t>(n));
  fuzzsupport::check(vfpiDecodeLock(written.get(), &again) == 0 && same(info, again));
  return 0;
}
