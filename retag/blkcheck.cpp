// blkcheck: reads the symbol block files of a library with the block reader
// and reports every problem with its file and line. See companion.h and
// docs/blkcheck.1.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <nlohmann/json.hpp>

#include "companion.h"
#include "retag.h"
#include "ulMem.h"

namespace {

const vaAMCompanionSpec kSpec{
    "blkcheck",
    "usage: blkcheck [--json] destination_lib_alias [block_name ...]\n"
    "       blkcheck --help | --version\n\n"
    "Reads every symbol block file of the library, or the ones named\n"
    "(name.number for one file, name for each number of it), and reports\n"
    "each problem; --json writes one JSON document instead. Exit status:\n"
    "0 clean, 1 warnings, 2 errors, 3 could not run, 4 a block file could\n"
    "not be read.\n",
    {"--json"},
    {},
    1};

int run(int argc, char **argv) {
  // No banner: the output is meant for scripts and editors, one line a
  // problem and the summary.
  const vaAMCompanionArgs args = vaAMStartCompanion(argc, argv, kSpec);
  const char *alias = args.positional[0];
  char *libraryPath = vaAMCompanionLibrary(argv[0], alias, false);
  const bool json = args.has("--json");
  vaAMMessages messages;
  std::vector<vaAMCheckedFile> files;
  vaAMCheckCounts counts{};
  if (json) {
    counts.kept = &messages;
    counts.files = &files;
  }
  vaAMCheckLibrary(libraryPath, alias, args.positional.data() + 1,
                   static_cast<int>(args.positional.size()) - 1, &counts);
  const int status = vaAMCheckStatus(&counts);
  if (json) {
    nlohmann::json blocks = nlohmann::json::array();
    for (const vaAMCheckedFile &f : files)
      blocks.push_back(
          {{"file", f.file}, {"read", f.read}, {"warnings", f.warnings}, {"errors", f.errors}});
    vaAMPrintJson(stdout, {{"command", "blkcheck"},
                           {"library", alias},
                           {"blocks", blocks},
                           {"messages", vaAMMessagesJson(messages)},
                           {"counts",
                            {{"read", counts.blocks},
                             {"unreadable", counts.unreadable},
                             {"warnings", counts.warnings},
                             {"errors", counts.errors}}},
                           {"status", status}});
  } else {
    std::printf("blkcheck: blocks read %d, unreadable %d, warnings %d, errors %d\n", counts.blocks,
                counts.unreadable, counts.warnings, counts.errors);
  }
  ulMemFree(libraryPath);
  std::exit(status);
}

} // namespace

int main(int argc, char **argv) {
  return vaAMCompanionMain(argc, argv, run);
}
