// The command-line parser and the fatal-error handler of the retag driver.
#include "retag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "ulMem.h"

namespace {

using testsupport::Argv;

// Runs the parser on the given arguments (it lower-cases them in place) and
// keeps what it produced.
struct Parse {
  int result = 0;
  std::string ltf, alias, printed;
  Argv args;

  explicit Parse(std::vector<std::string> words) : args(std::move(words)) {
    vaAMResetRunState();
    char *ltfBase = nullptr;
    char *aliasName = nullptr;
    testing::internal::CaptureStdout();
    result = vaAMParseCmdLine(args.argc, args.argv.data(), &ltfBase, &aliasName);
    printed = testing::internal::GetCapturedStdout();
    ltf = ltfBase != nullptr ? ltfBase : "";
    alias = aliasName != nullptr ? aliasName : "";
    ulMemFree(ltfBase);
    ulMemFree(aliasName);
  }
};

constexpr const char *kExtra = "Ignoring extra command line options.\n";

TEST(ParseCmdLine, UsageForNoArgumentAndForHelpAnywhere) {
  for (const auto &words : std::vector<std::vector<std::string>>{{"retag"},
                                                                 {"retag", "-help"},
                                                                 {"retag", "list", "lib", "-HELP"},
                                                                 {"retag", "list", "-help", "lib"}})
    EXPECT_EQ(Parse(words).result, -1) << words.size() << " words";
}

TEST(ParseCmdLine, TwoNamesAreLowerCasedCopies) {
  Parse p({"retag", "Dir/Parts", "MyLib"});
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ(p.ltf + " " + p.alias, "dir/parts mylib");
  EXPECT_EQ(p.args.left(), (std::vector<std::string>{"retag", "dir/parts", "mylib"}));
  EXPECT_EQ(vaAMOverrideFlagV, 0);
  EXPECT_EQ(vaAMDebugV, 0);
  EXPECT_EQ(p.printed, "");

  EXPECT_EQ(Parse({"retag", "list"}).result, 1);
  EXPECT_STREQ(vaAMErrorBufferV, "Insufficient command line");
  EXPECT_EQ(Parse({"retag", "-debug", "list"}).result, 1);
}

TEST(ParseCmdLine, DebugCountsOnlyAsTheFirstArgument) {
  Parse first({"retag", "-debug", "list", "lib"});
  EXPECT_EQ(first.result, 0);
  EXPECT_EQ(vaAMDebugV, 1);
  EXPECT_EQ(first.ltf + " " + first.alias, "list lib");

  Parse second({"retag", "list", "-debug"});
  EXPECT_EQ(second.result, 0);
  EXPECT_EQ(vaAMDebugV, 0);
  EXPECT_EQ(second.alias, "-debug");
}

TEST(ParseCmdLine, OverrideSwitchAndExtraArgumentWarning) {
  auto expect = [](std::vector<std::string> extra, int override, const char *printed) {
    SCOPED_TRACE(extra.front() + " " + extra.back());
    extra.insert(extra.begin(), {"retag", "list", "lib"});
    Parse p(extra);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(vaAMOverrideFlagV, override);
    EXPECT_EQ(p.printed, printed);
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

TEST(HandleError, PrintsBlankLineAndMessageAndLogsIt) {
  testsupport::TempDir dir;
  vaAMResetRunState();
  vaAMLogFileFpV = std::fopen((dir / "log").c_str(), "w");
  vaAMSetError("Insufficient command line");
  testing::internal::CaptureStdout();
  vaAMHandleError(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nInsufficient command line\n");
  EXPECT_EQ(vaAMLogFileFpV, nullptr);
  EXPECT_EQ(testsupport::readFile(dir / "log"), "Insufficient command line\n");

  vaAMResetRunState();
  testing::internal::CaptureStdout();
  vaAMHandleError(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nEmpty error message buffer\n");
}

TEST(SetError, NeverOverrunsTheBuffer) {
  vaAMSetError("%s", std::string(400, 'x').c_str());
  EXPECT_EQ(std::string(vaAMErrorBufferV).size(), 127u);
}

} // namespace
