// retagrestore: puts the backups of a library's symbol blocks back, so that
// a wrong run of retag can be undone. See companion.h and
// docs/retagrestore.1.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <nlohmann/json.hpp>

#include "companion.h"
#include "retag.h"
#include "ulMem.h"

namespace {

const vaAMCompanionSpec kSpec{
    "retagrestore",
    "usage: retagrestore [-n] [--json] destination_lib_alias [block_name ...]\n"
    "       retagrestore --help | --version\n\n"
    "Swaps each named symbol block (every block with a backup when none is\n"
    "named) with its backup, under the block's lock, so that a second\n"
    "restore returns to where the first began; -n only shows what it would\n"
    "do, --json writes one JSON document. Exit status: 0 done, 2 a block\n"
    "was refused or failed, 3 could not run.\n",
    {"-n", "--json"},
    {},
    1};

int run(int argc, char **argv) {
  const vaAMCompanionArgs args = vaAMStartCompanion(argc, argv, kSpec);
  const char *alias = args.positional[0];
  char *libraryPath = vaAMCompanionLibrary(argv[0], alias, true);
  const bool dryRun = args.has("-n");
  const bool json = args.has("--json");
  vaAMMessages messages;
  vaAMRestore restore;
  restore.named = args.positional.size() > 1;
  if (json)
    restore.kept = &messages;
  vaAMForEachNamedSymbolFile(
      libraryPath, args.positional.data() + 1, static_cast<int>(args.positional.size()) - 1,
      [&](const char *path, const char *name, int number) {
        vaAMRestoreBlock(path, alias, name, number, dryRun, &restore);
      },
      [&](const char *missing) {
        vaAMEmit(restore.kept, {vaAMShownPath(missing), 0, "error", "no such block file"});
        ++restore.refused;
      });
  const int status = vaAMRestoreStatus(&restore);
  if (json) {
    nlohmann::json blocks = nlohmann::json::array();
    for (const vaAMRestored &b : restore.blocks)
      blocks.push_back(
          {{"file", b.file},
           {"backup", b.backup},
           {"result", b.result},
           {"reason", b.reason.empty() ? nlohmann::json(nullptr) : nlohmann::json(b.reason)}});
    vaAMPrintJson(stdout, {{"command", "retagrestore"},
                           {"library", alias},
                           {"dry_run", dryRun},
                           {"blocks", blocks},
                           {"messages", vaAMMessagesJson(messages)},
                           {"counts", {{"swapped", restore.swapped}, {"refused", restore.refused}}},
                           {"status", status}});
  } else {
    std::printf("retagrestore: blocks %s %d, refused %d\n", dryRun ? "to swap" : "swapped",
                restore.swapped, restore.refused);
  }
  ulMemFree(libraryPath);
  std::exit(status);
}

} // namespace

int main(int argc, char **argv) {
  return vaAMCompanionMain(argc, argv, run);
}
