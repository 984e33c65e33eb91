// The start and end of the programming interface: the run flags, the project
// opened from scribant.ini (a project's own or the installation's default
// beside the program), the settings read, the library "builtin" completed,
// and a start that fails with its cause reported.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "gpi.h"
#include "qInit.h"
#include "support/TestSupport.h"
#include "vs.h"

namespace fs = std::filesystem;

namespace {

// Each test runs in a fresh temporary directory, the current directory, with
// the program directory taken away and WDIR pointing at a directory that
// holds only the message files.
class Gpi : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  const std::string tmp = dir.path();
  testsupport::ScopedEnv wdir{"WDIR", tmp + "/msg"};

  void SetUp() override {
    fs::create_directory(dir / "msg");
    for (auto &e : fs::directory_iterator(bin()))
      if (e.path().extension() == ".umb")
        fs::create_symlink(e.path(), dir / ("msg/" + e.path().filename().string()));
    vsResetWdirCache();
    vsSetexedir("/nonexistent/program");
    ASSERT_EQ(vsOK, vsSetdef(tmp.c_str()));
  }
  static fs::path bin() { return fs::read_symlink("/proc/self/exe").parent_path(); }
  // Writes scribant.ini, "@" standing for tmp.
  void writeIni(std::string text) {
    for (size_t i; (i = text.find('@')) != std::string::npos;)
      text.replace(i, 1, tmp);
    dir.write("scribant.ini", text);
  }
  // gpi_init with what it printed on standard output.
  int init(std::string &out) {
    testing::internal::CaptureStdout();
    int r = gpi_init();
    std::fflush(stdout);
    out = testing::internal::GetCapturedStdout();
    return r;
  }
  static vfpObjId project() { return vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT); }
  // The directory of the library with that alias, or "" when there is none.
  static std::string library(const char *alias) {
    int status = 0;
    LibraryDirId lib = vfpFindNextLib(project(), 0, alias, &status);
    char path[vfpPATH_SIZE] = "";
    if (lib != 0)
      vfpGetLibInfo2(project(), lib, path, nullptr, nullptr, nullptr);
    return path;
  }
};

TEST_F(Gpi, StartsOnTheProjectOfTheCurrentDirectoryWhateverTheSettingsErrors) {
  fs::create_directory(dir / "lib");
  writeIni("DIR [pw] @/lib (mylib)\nDIR [x] @ (bad)\ngrid 25\ntextorigin 12\n");
  q_rcancelled = q_quiet = q_canc = q_corrupt_display = q_bad_data = 1;
  std::string out;
  ASSERT_EQ(1, init(out));
  const std::string file = tmp + "/scribant.ini";
  EXPECT_EQ(file + ", line 2:\nDirectory line refused: unknown type letter.\n" + file +
                ", line 4:\nTEXTORIGIN value is above 9.\n2 errors in the initialisation file.\n",
            out);
  EXPECT_EQ(0, q_rcancelled | q_quiet | q_canc | q_corrupt_display | q_bad_data);
  EXPECT_EQ(541, vqVersionV);
  EXPECT_EQ(tmp, vfpObjGetPath(project()));
  EXPECT_EQ(tmp + "/lib", library("MyLib"));
  EXPECT_NE(0, vqPrimaryDirV);
  EXPECT_EQ(25.0f, q_values[qV_GRID].value);

  EXPECT_EQ(1, gpi_uninit());
  EXPECT_EQ(0, project());
  // The interface can be started again after its end.
  ASSERT_EQ(1, init(out));
  EXPECT_EQ(tmp + "/lib", library("mylib"));
  gpi_uninit();
}

TEST_F(Gpi, OutsideAnyProjectTheDefaultFileBesideTheProgramIsUsedSilently) {
  ASSERT_TRUE(fs::exists(bin() / "scribant.ini"));
  vsSetexedir((bin() / "gpiTest").c_str());
  std::string out;
  ASSERT_EQ(1, init(out));
  EXPECT_EQ("", out);
  EXPECT_EQ(bin().string(), vfpObjGetPath(project()));
  int status = 0;
  EXPECT_EQ(0, vfpFindNextLib(project(), 0, "nolib", &status));
  EXPECT_EQ(12, status);
  gpi_uninit();
}

TEST_F(Gpi, TheLibraryBuiltinIsAttachedAndVisibleInTheProject) {
  fs::create_directory(dir / "builtin");
  writeIni("DIR [pw] @ (work)\nDIR [r] @/builtin\n");
  std::string out;
  ASSERT_EQ(1, init(out));
  EXPECT_EQ("Initialisation file rewritten in the current format: library builtin attached.\n",
            out.substr(out.find('\n') + 1));
  EXPECT_EQ(0, vqBuiltinAddedKludgeV);
  EXPECT_EQ(tmp + "/builtin", library("builtin"));
  gpi_uninit();
}

TEST_F(Gpi, WithoutAnyInitialisationFileTheStartFailsAndTheErrorLayerSaysWhy) {
  std::string out;
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, init(out));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ("", out);
  EXPECT_EQ(0, project());
  // The cause goes where an uncaught exception would put it: standard error
  // and the error log.
  EXPECT_NE(std::string::npos, err.find("scribant.ini: Ini file not found")) << err;
  std::string log;
  for (auto &e : fs::directory_iterator(dir.path()))
    if (e.path().extension() == ".err")
      log += testsupport::readFile(e.path());
  EXPECT_NE(std::string::npos, log.find("scribant.ini: Ini file not found")) << log;
  // A retry after the file appeared starts cleanly.
  writeIni("DIR [pw] @\n");
  EXPECT_EQ(1, init(out));
  EXPECT_EQ(tmp, vfpObjGetPath(project()));
  gpi_uninit();
}

} // namespace
