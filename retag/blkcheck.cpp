// blkcheck: reads the symbol block files of a library with the block reader
// and reports every problem with its file and line. See companion.h and
// docs/blkcheck.1.
#include <cstdio>
#include <cstdlib>

#include "companion.h"
#include "retag.h"
#include "ulMem.h"

int main(int argc, char **argv) {
  // No banner: the output is meant for scripts and editors, one line a
  // problem and the summary.
  vaAMStartCommand(argv[0], nullptr);
  if (vaAMParseCompanionArgs(argc, argv) != 0) {
    std::printf("usage: blkcheck destination_lib_alias [block_name ...]\n"
                "       blkcheck -help\n\n"
                "Reads every symbol block file of the library, or the ones named\n"
                "(name.number for one file, name for each number of it), and reports\n"
                "each problem. Exit status: 0 clean, 1 warnings, 2 errors, 3 could not run.\n");
    std::exit(0);
  }
  char *libraryPath = nullptr;
  if (vaAMResolveLibraryToRead(argv[1], &libraryPath) != 0)
    vaAMCompanionFatal(argv[0]);
  vaAMCheckCounts counts{};
  vaAMCheckLibrary(libraryPath, argv[1], argv + 2, argc - 2, &counts);
  std::printf("blkcheck: blocks read %d, warnings %d, errors %d\n", counts.blocks, counts.warnings,
              counts.errors);
  ulMemFree(libraryPath);
  std::exit(vaAMCheckStatus(&counts));
}
