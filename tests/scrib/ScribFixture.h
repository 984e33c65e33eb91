// ScribFixture.h: what the tests of the editor database share: a project in a
// fresh directory (scribant.ini with one primary library "mylib"), the
// settings read from it, and small builders of Blocks and objects.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "qInit.h"
#include "support/TestSupport.h"
#include "ulStr.h"
#include "vqAttr.h"
#include "vqBlock.h"
#include "vqWrite.h"
#include "vs.h"

namespace scribtest {

namespace fs = std::filesystem;

// A project in a temporary directory with the library "mylib" at lib/ (its
// symbols in lib/sym). extraIni is appended to scribant.ini.
class Project : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  const std::string tmp = dir.path();
  const std::string lib = tmp + "/lib";
  testsupport::ScopedEnv wdir{"WDIR", tmp + "/msg"};

  void SetUp() override { open(""); }
  void TearDown() override { vqProjExit(); }

  void open(const std::string &extraIni) {
    fs::create_directories(dir / "msg");
    fs::create_directories(lib + "/sym");
    fs::create_directories(lib + "/sch");
    fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    for (auto &e : fs::directory_iterator(bin))
      if (e.path().extension() == ".umb" &&
          !fs::exists(dir / ("msg/" + e.path().filename().string())))
        fs::create_symlink(e.path(), dir / ("msg/" + e.path().filename().string()));
    vsResetWdirCache();
    vsSetexedir("/nonexistent/program");
    ASSERT_EQ(vsOK, vsSetdef(tmp.c_str()));
    dir.write("scribant.ini", "DIR [pw] " + lib + " (mylib)\n" + extraIni);
    ASSERT_EQ(1, vqProjInit(q_get_version()));
    ASSERT_EQ(541, q_scrib_init());
  }
};

using testsupport::Ints;
using testsupport::stderrOf;
using testsupport::stdoutOf;

// The body of block as the writer writes it (vqBlockWriteBody must succeed).
inline std::string bodyOf(vqBlock *block) {
  char *data = nullptr;
  size_t size = 0;
  FILE *f = open_memstream(&data, &size);
  EXPECT_EQ(0, vqBlockWriteBody(block, f));
  std::fclose(f);
  std::string s(data, size);
  std::free(data);
  return s;
}

// A symbol Block named name (number 1, library lib), owned by the test.
inline vqBlock *symbol(const char *name, const char *library = "") {
  vqBlock *b = q_alloc_block(vqBLOCK_SYMBOL);
  b->name = ulStrCpy(name);
  b->library = ulStrCpy(library);
  b->number = 1;
  return b;
}

// Appends an attribute with text to block's object list, attached to owner
// (with part) when one is given.
inline vqText *addAttr(vqBlock *block, const char *text, vqObject *owner = nullptr, vqId part = 0,
                       int kind = vqKIND_ATTRIBUTE) {
  vqText *a = kind == vqKIND_LABEL ? q_alloc_label() : q_alloc_attribute();
  a->text = ulStrCpy(text);
  vqBlockInsertObject(block, a, vqBlockLastObject(block));
  if (owner != nullptr)
    vqAttachText(owner, a, part, 1);
  return a;
}

// Appends a pin with identifier id.
inline vqPin *addPin(vqBlock *block, vqId id) {
  vqPin *p = q_alloc_pin();
  p->id = id;
  vqBlockInsertObject(block, p, vqBlockLastObject(block));
  return p;
}

} // namespace scribtest
