// The start and end of the programming interface: the run flags, the project
// opened from scribant.ini, the settings read, and a start that fails with
// its cause reported. The default file beside the program and the library
// "builtin" attached at the start are end-to-end scenarios
// (tests/e2e/outside_project, builtin_attached).
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

class Gpi : public testsupport::ProjectTest {
protected:
  void writeIni(const std::string &text) { write("scribant.ini", text); }
  int init(std::string &out) { return printed(out, gpi_init); }
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
  // Without any initialisation file the start fails and the error layer
  // says why; a retry after the file appeared starts cleanly.
  std::string out;
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, init(out));
  EXPECT_EQ("scrib: Error: scribant.ini: Ini file not found\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ("", out);
  EXPECT_EQ(0, project());
  fs::create_directory(dir / "lib");
  writeIni("DIR [pw] @/lib (mylib)\nDIR [x] @ (bad)\ngrid 25\ntextorigin 12\n");
  q_rcancelled = q_quiet = q_canc = q_corrupt_display = q_bad_data = 1;
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

  // A block the run left loaded is released at the end: the next start
  // finds no block of this one.
  write("lib/sym/and2.1", "V 50\nD 0 0 100 100\ni 1\nE\n");
  ASSERT_EQ(1, gpi_load("mylib:and2", 1, 1));
  EXPECT_EQ(1, gpi_uninit());
  EXPECT_EQ(0, project());
  EXPECT_EQ(nullptr, q_get_block());
  EXPECT_EQ(nullptr, vqBlockListHead(vqBLOCK_SYMBOL));
  // The interface can be started again after its end.
  ASSERT_EQ(1, init(out));
  EXPECT_EQ(tmp + "/lib", library("mylib"));
  gpi_uninit();
}

} // namespace
