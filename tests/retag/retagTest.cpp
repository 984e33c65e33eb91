// The command-line parser and the fatal-error handler of the retag driver.
#include "retag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ulMem.h"

namespace {

// Runs the parser on a copy of the given arguments (the parser lower-cases
// them in place) and keeps what it produced.
struct Parse {
  int result = 0;
  std::string ltf, alias, printed;
  std::vector<std::string> argsAfter;

  explicit Parse(std::vector<std::string> args) {
    vaAMResetRunState();
    std::vector<char *> argv;
    for (auto &a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    char *ltfBase = nullptr;
    char *aliasName = nullptr;
    testing::internal::CaptureStdout();
    result = vaAMParseCmdLine(static_cast<int>(args.size()), argv.data(), &ltfBase, &aliasName);
    printed = testing::internal::GetCapturedStdout();
    if (ltfBase != nullptr)
      ltf = ltfBase;
    if (aliasName != nullptr)
      alias = aliasName;
    ulMemFree(ltfBase);
    ulMemFree(aliasName);
    argsAfter = args;
  }
};

constexpr const char *kExtra = "Ignoring extra command line options.\n";

TEST(ParseCmdLine, UsageForNoArgumentAndForHelpAnywhere) {
  EXPECT_EQ(Parse({"retag"}).result, -1);
  EXPECT_EQ(Parse({"retag", "-help"}).result, -1);
  EXPECT_EQ(Parse({"retag", "list", "lib", "-HELP"}).result, -1);
  EXPECT_EQ(Parse({"retag", "list", "-help", "lib"}).result, -1);
}

TEST(ParseCmdLine, TwoNamesAreLowerCasedCopies) {
  Parse p({"retag", "Dir/Parts", "MyLib"});
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ(p.ltf, "dir/parts");
  EXPECT_EQ(p.alias, "mylib");
  EXPECT_EQ(p.argsAfter[1], "dir/parts"); // lower-cased in place
  EXPECT_EQ(p.argsAfter[0], "retag");
  EXPECT_EQ(vaAMOverrideFlagV, 0);
  EXPECT_EQ(vaAMDebugV, 0);
  EXPECT_EQ(p.printed, "");
}

TEST(ParseCmdLine, OnePositionalArgumentIsInsufficient) {
  Parse p({"retag", "list"});
  EXPECT_EQ(p.result, 1);
  EXPECT_STREQ(vaAMErrorBufferV, "Insufficient command line");
  Parse d({"retag", "-debug", "list"});
  EXPECT_EQ(d.result, 1);
}

TEST(ParseCmdLine, DebugCountsOnlyAsTheFirstArgument) {
  Parse first({"retag", "-debug", "list", "lib"});
  EXPECT_EQ(first.result, 0);
  EXPECT_EQ(vaAMDebugV, 1);
  EXPECT_EQ(first.ltf, "list");
  EXPECT_EQ(first.alias, "lib");

  Parse second({"retag", "list", "-debug"});
  EXPECT_EQ(second.result, 0);
  EXPECT_EQ(vaAMDebugV, 0);
  EXPECT_EQ(second.alias, "-debug");
}

TEST(ParseCmdLine, OverrideSwitchAndExtraArgumentWarning) {
  Parse on({"retag", "list", "lib", "-OVERRIDE"});
  EXPECT_EQ(on.result, 0);
  EXPECT_EQ(vaAMOverrideFlagV, 1);
  EXPECT_EQ(on.printed, "");

  Parse extra({"retag", "list", "lib", "extra"});
  EXPECT_EQ(vaAMOverrideFlagV, 0);
  EXPECT_EQ(extra.printed, kExtra);

  // The third positional argument decides; "-override" last prints nothing.
  Parse late({"retag", "list", "lib", "extra", "-override"});
  EXPECT_EQ(vaAMOverrideFlagV, 0);
  EXPECT_EQ(late.printed, "");

  Parse early({"retag", "list", "lib", "-override", "extra"});
  EXPECT_EQ(vaAMOverrideFlagV, 1);
  EXPECT_EQ(early.printed, kExtra);
}

TEST(ParseCmdLine, AmbiguousOverrideLookupWarns) {
  // Two arguments begin with "-override" and neither equals it: the lookup
  // gives -2, which is not the last index, so the warning is printed, and the
  // third positional argument, not being "-override", turns the switch off.
  Parse p({"retag", "list", "lib", "-overridea", "-overrideb"});
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(vaAMOverrideFlagV, 0);
  EXPECT_EQ(p.printed, kExtra);
}

TEST(HandleError, PrintsBlankLineAndMessageAndLogsIt) {
  vaAMResetRunState();
  char path[] = "/tmp/retagTestLogXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  vaAMLogFileFpV = fdopen(fd, "w");
  vaAMSetError("Insufficient command line");
  testing::internal::CaptureStdout();
  vaAMHandleError(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nInsufficient command line\n");
  EXPECT_EQ(vaAMLogFileFpV, nullptr);
  FILE *fp = std::fopen(path, "r");
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof line, fp), nullptr);
  EXPECT_STREQ(line, "Insufficient command line\n");
  std::fclose(fp);
  std::remove(path);
}

TEST(HandleError, EmptyBufferGetsAMessage) {
  vaAMResetRunState();
  testing::internal::CaptureStdout();
  vaAMHandleError(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nEmpty error message buffer\n");
}

TEST(SetError, NeverOverrunsTheBuffer) {
  std::string longText(400, 'x');
  vaAMSetError("%s", longText.c_str());
  EXPECT_EQ(std::string(vaAMErrorBufferV).size(), 127u);
}

} // namespace
