// ltfcheck: checks an LTF list against a library before retag applies it,
// with the list's own line numbers. See companion.h and docs/ltfcheck.1.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <nlohmann/json.hpp>

#include "companion.h"
#include "retag.h"
#include "ulMem.h"

namespace {

const vaAMCompanionSpec kSpec{
    "ltfcheck",
    "usage: ltfcheck [--json] LTF_file_name destination_lib_alias\n"
    "       ltfcheck --help | --version\n\n"
    "Reads LTF_file_name.ltf as retag does and reports, with its line numbers,\n"
    "what retag would refuse, fail, skip or change of it in the library;\n"
    "--json writes one JSON document instead.\n"
    "Exit status: 0 clean, 1 warnings only, 2 retag would log errors or skip\n"
    "symbols, 3 could not run.\n",
    {"--json"},
    {},
    2};

int run(int argc, char **argv) {
  const vaAMCompanionArgs args = vaAMStartCompanion(argc, argv, kSpec);
  const std::string fileName = std::string(args.positional[0]) + ".ltf";
  const char *alias = args.positional[1];
  char *libraryPath = vaAMCompanionLibrary(argv[0], alias, false);
  vaAMListCheck check;
  if (vaAMCheckList(fileName.c_str(), vaAMShownPath(fileName).c_str(), libraryPath, alias,
                    &check) != 0)
    vaAMCompanionFatal(argv[0]);
  const int status = vaAMListStatus(&check);
  if (args.has("--json")) {
    nlohmann::json symbols = nlohmann::json::array();
    for (const vaAMListSymbol &s : check.symbols)
      symbols.push_back(
          {{"name", s.name},
           {"sheet", s.sheet},
           {"line", s.line},
           {"block", s.block.empty() ? nlohmann::json(nullptr) : nlohmann::json(s.block)},
           {"result", s.result}});
    vaAMPrintJson(stdout, {{"command", "ltfcheck"},
                           {"list", vaAMShownPath(fileName)},
                           {"library", alias},
                           {"symbols", symbols},
                           {"messages", vaAMMessagesJson(check.messages)},
                           {"counts",
                            {{"symbols", check.symbols.size()},
                             {"blocks", check.blocks},
                             {"warnings", check.warnings},
                             {"errors", check.errors}}},
                           {"status", status}});
  } else {
    for (vaAMMessage &m : check.messages)
      vaAMEmit(nullptr, m);
    std::printf("ltfcheck: symbols %d, blocks %d, warnings %d, errors %d\n",
                static_cast<int>(check.symbols.size()), check.blocks, check.warnings, check.errors);
  }
  ulMemFree(libraryPath);
  std::exit(status);
}

} // namespace

int main(int argc, char **argv) {
  return vaAMCompanionMain(argc, argv, run);
}
