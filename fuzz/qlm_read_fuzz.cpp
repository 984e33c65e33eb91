// Line rests of "dir" lines, arbitrary text: qlm_read must refuse or accept
// without overrunning anything, and a record it accepts, written back and
// read again on its own, must give the same written form. Records are freed
// now and then so that duplicates and second primaries are met too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "qlm.h"
#include "ulStr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static int calls = 0;
  if (++calls % 16 == 0)
    qd_clear_all_dirs();
  const std::string rest = fuzzsupport::text(data, size);
  qlmDirId dir = qlm_read(rest.c_str());
  if (dir == nullptr)
    return 0;

  char *written = qlm_id_write(dir);
  const std::string first = written;
  ulStrFree(written);
  fuzzsupport::check(qlm_id_remove_dir(dir) == 0 && qlm_destroy_dir_id(dir) == 0);
  qlm_disable_vfile_search_order();
  qlm_enable_vfile_search_order(); // an empty pair of lists of its own
  qlmDirId again = qlm_read(first.c_str());
  fuzzsupport::check(again != nullptr);
  written = qlm_id_write(again);
  const bool same = first == written;
  ulStrFree(written);
  qd_clear_all_dirs();
  qlm_disable_vfile_search_order();
  fuzzsupport::check(same);
  return 0;
}
