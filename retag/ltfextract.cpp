// ltfextract: writes the attributes of every symbol of a library as an LTF
// list that retag reads and applies without changing them. See companion.h
// and docs/ltfextract.1.
#include <cstdio>
#include <cstdlib>

#include "companion.h"
#include "retag.h"
#include "ulMem.h"
#include "ulStr.h"

namespace {

const vaAMCompanionSpec kSpec{
    "ltfextract",
    "usage: ltfextract destination_lib_alias LTF_file_name\n"
    "       ltfextract --help | --version\n\n"
    "Writes the symbol and pin attributes of every symbol of the library\n"
    "into LTF_file_name.ltf (give the name without its extension), in the\n"
    "form retag reads. Exit status: 0 written, 1 written with attributes or\n"
    "symbols left out, 3 nothing written.\n",
    {},
    {},
    2};

} // namespace

int main(int argc, char **argv) {
  const vaAMCompanionArgs args = vaAMStartCompanion(argc, argv, kSpec);
  if (args.positional.size() > 2)
    std::printf("Ignoring extra command line options.\n");
  const char *alias = args.positional[0];
  char *libraryPath = vaAMCompanionLibrary(argv[0], alias, false);
  char *fileName = ulStrCatAlloc(args.positional[1], ".ltf");
  vaAMExtractCounts counts{};
  if (vaAMExtractLibrary(libraryPath, alias, fileName, &counts) != 0)
    vaAMCompanionFatal(argv[0]);
  std::printf("ltfextract: %s written: symbols %d, warnings %d\n", fileName, counts.symbols,
              counts.warnings);
  ulStrFree(fileName);
  ulMemFree(libraryPath);
  std::exit(counts.warnings > 0 ? 1 : 0);
}
