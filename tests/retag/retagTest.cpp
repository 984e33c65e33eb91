// The command-line parser's override switch and the fatal-error handler of
// the retag driver. What the parser prints and refuses (usage, lower case,
// "-debug", extra arguments) is covered by end-to-end scenarios
// (tests/e2e/usage_*, cmdline_*, insufficient_command_line).
#include "retag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "ulMem.h"

namespace {

using testsupport::Argv;

constexpr const char *kExtra = "Ignoring extra command line options.\n";

TEST(ParseCmdLine, OverrideSwitchAndExtraArgumentWarning) {
  auto expect = [](std::vector<std::string> extra, int override, const char *printed) {
    SCOPED_TRACE(extra.front() + " " + extra.back());
    extra.insert(extra.begin(), {"retag", "list", "lib"});
    Argv args(extra);
    vaAMResetRunState();
    char *ltfBase = nullptr;
    char *alias = nullptr;
    EXPECT_EQ(testsupport::stdoutOf([&] {
                EXPECT_EQ(vaAMParseCmdLine(args.argc, args.argv.data(), &ltfBase, &alias), 0);
              }),
              printed);
    EXPECT_EQ(vaAMOverrideFlagV, override);
    ulMemFree(ltfBase);
    ulMemFree(alias);
  };
  expect({"-OVERRIDE"}, 1, "");
  expect({"extra"}, 0, kExtra);
  // The third positional argument decides; "-override" last prints nothing.
  expect({"extra", "-override"}, 0, "");
  expect({"-override", "extra"}, 1, kExtra);
  // Two arguments begin with "-override" and neither equals it: the lookup
  // finds no single match, so the warning is printed, and the third argument,
  // not being "-override", turns the switch off.
  expect({"-overridea", "-overrideb"}, 0, kExtra);
}

TEST(HandleError, PrintsBlankLineAndMessageAndLogsItFromABufferNeverOverrun) {
  testsupport::TempDir dir;
  vaAMResetRunState();
  vaAMLogFileFpV = std::fopen((dir / "log").c_str(), "w");
  vaAMSetError("Insufficient command line");
  EXPECT_EQ(testsupport::stdoutOf([] { vaAMHandleError(nullptr); }),
            "\nInsufficient command line\n");
  EXPECT_EQ(vaAMLogFileFpV, nullptr);
  EXPECT_EQ(testsupport::readFile(dir / "log"), "Insufficient command line\n");

  vaAMResetRunState();
  EXPECT_EQ(testsupport::stdoutOf([] { vaAMHandleError(nullptr); }),
            "\nEmpty error message buffer\n");
  // The buffer is never overrun.
  vaAMSetError("%s", std::string(400, 'x').c_str());
  EXPECT_EQ(std::string(vaAMErrorBufferV).size(), 127u);
}

} // namespace
