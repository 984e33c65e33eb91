// retagplan: shows what retag would do with the same list and library,
// writing nothing. See retag.h and docs/retagplan.1.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "companion.h"
#include "retag.h"
#include "retagInternal.h"

int main(int argc, char **argv) {
  // retag's own switches stay where they are, for its parser; the options of
  // the preview are taken out.
  const vaAMCompanionSpec spec{
      "retagplan", vaam::kPreviewUsage, {"--diff", "--json"}, {"-debug", "-override"}};
  const vaAMCompanionArgs args = vaAMParseCompanionArgs(argc, argv, spec);
  if (args.has("--diff") && args.has("--json")) {
    std::fprintf(stderr, "retagplan: --diff and --json cannot be given together\n");
    std::exit(3);
  }
  std::vector<char *> runArgs{argv[0]};
  runArgs.insert(runArgs.end(), args.positional.begin(), args.positional.end());
  runArgs.push_back(nullptr);
  vaAMPreviewV = 1;
  vaam::previewSetFormat(args.has("--diff")   ? vaam::PreviewFormat::Diff
                         : args.has("--json") ? vaam::PreviewFormat::Json
                                              : vaam::PreviewFormat::Text);
  vaAMRun(static_cast<int>(runArgs.size()) - 1, runArgs.data());
}
