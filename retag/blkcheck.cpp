// blkcheck: reads the symbol block files of a library with the block reader
// and reports every problem with its file and line. See companion.h and
// docs/blkcheck.1.
#include <cstdio>
#include <cstdlib>

#include "companion.h"
#include "retag.h"
#include "ulMem.h"

namespace {

const vaAMCompanionSpec kSpec{
    "blkcheck",
    "usage: blkcheck destination_lib_alias [block_name ...]\n"
    "       blkcheck --help | --version\n\n"
    "Reads every symbol block file of the library, or the ones named\n"
    "(name.number for one file, name for each number of it), and reports\n"
    "each problem. Exit status: 0 clean, 1 warnings, 2 errors, 3 could not\n"
    "run, 4 a block file could not be read.\n",
    {},
    {}};

} // namespace

int main(int argc, char **argv) {
  // No banner: the output is meant for scripts and editors, one line a
  // problem and the summary.
  const vaAMCompanionArgs args = vaAMStartCompanion(argc, argv, kSpec);
  if (args.positional.empty()) {
    vaAMSetError("Insufficient command line");
    vaAMCompanionFatal(argv[0]);
  }
  const char *alias = args.positional[0];
  char *libraryPath = nullptr;
  if (vaAMResolveLibraryToRead(alias, &libraryPath) != 0)
    vaAMCompanionFatal(argv[0]);
  vaAMCheckCounts counts{};
  vaAMCheckLibrary(libraryPath, alias, args.positional.data() + 1,
                   static_cast<int>(args.positional.size()) - 1, &counts);
  std::printf("blkcheck: blocks read %d, unreadable %d, warnings %d, errors %d\n", counts.blocks,
              counts.unreadable, counts.warnings, counts.errors);
  ulMemFree(libraryPath);
  std::exit(vaAMCheckStatus(&counts));
}
