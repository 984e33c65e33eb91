// The library manager: reading "dir" line rests into records (every refusal
// with its status, rows of cases/dirlines.txt), the written form, the queries over the current
// list, record maintenance and the list pairs, and qd_dir_read with its messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "qMsg.h"
#include "qlm.h"
#include "support/TestSupport.h"
#include "ulStr.h"
#include "vs.h"

namespace {

using testsupport::Ints;
using testsupport::replaced;
using Dirs = std::vector<qlmDirId>;
using Strings = std::vector<std::string>;

// Every test works in a fresh temporary directory holding the directories
// a, b and c and the plain file f. In line rests and in what the tests
// compare, "@" stands for that directory.
class Qlm : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  const std::string tmp = dir.path();

  void SetUp() override {
    for (const char *d : {"a", "b", "c"})
      std::filesystem::create_directory(dir / d);
    dir.write("f", "x");
  }
  void TearDown() override { qd_clear_all_dirs(); }
  std::string at(const std::string &text) const { return replaced(text, "@", tmp); }
  qlmDirId read(const std::string &text) { return qlm_read(at(text).c_str()); }
  // The status qlm_read gives a line rest (0 when it makes a record).
  int status(const std::string &text) { return read(text) == nullptr ? qlm_errno : 0; }
  std::string written(qlmDirId d) {
    char *text = qlm_id_write(d);
    std::string s = text == nullptr ? "(null)" : text;
    ulStrFree(text);
    return replaced(s, tmp, "@");
  }
  // Name, path, written path, type bits and number of a record.
  std::string fields(qlmDirId d) {
    return replaced(std::string(qlm_id_get_name(d)) + " " + qlm_id_get_path(d) + " " +
                        qlm_id_get_rpath(d) + " type " + std::to_string(qlm_id_get_type(d)) + " #" +
                        std::to_string(qlm_id_get_number(d)),
                    tmp, "@");
  }
  int count() {
    int n = 0;
    for (qlmDirId d = qlm_id_next_dir(nullptr); d != nullptr; d = qlm_id_next_dir(d))
      ++n;
    return n;
  }
};

TEST_F(Qlm, PrimaryWritableLineAndItsWrittenForm) {
  qlmDirId d = read("[pw] @/a (mylib)");
  ASSERT_NE(nullptr, d);
  EXPECT_EQ("mylib @/a @/a type 1 #-1", fields(d));
  EXPECT_EQ((Ints{0, 1, 0}), (Ints{qlm_get_status(), qlm_id_writable(d), qlm_id_readonly(d)}));
  EXPECT_EQ(d, qlm_get_primary_dir());
  EXPECT_EQ("[pw] @/a (mylib)", written(d)); // reads back the same (qlm_read_fuzz)
}

TEST_F(Qlm, WrittenFormsOfTypes) {
  EXPECT_EQ(" 7 @/a", written(read("7 @/a")));
  EXPECT_EQ(" @/a @/a type 2 #7", fields(qlm_id_next_dir(nullptr)));
  EXPECT_EQ("[rml] @/b/ (Mega_1)", written(read("[LM] @/b/ (Mega_1)")));
  EXPECT_EQ(qlmTYPE_READONLY | qlmTYPE_MEGAFILE | qlmTYPE_EXTRA,
            qlm_id_get_type(qlm_id_next_libdir(nullptr, "mega_1")));
  EXPECT_EQ(1, qlm_id_megafile(qlm_id_next_libdir(nullptr, "MEGA_1")));
  EXPECT_EQ(" 0 @/c", written(read(" 0 @/c {q} | note")));
  EXPECT_EQ(qlmTYPE_PRIMARY, qlm_id_get_type(qlm_get_primary_dir()));
  EXPECT_EQ("20 @/c/x", written(qlm_read_and_create(at("20 @/c/x").c_str())));

  // A relative path keeps its written form.
  ASSERT_EQ(vsOK, vsSetdef(tmp.c_str()));
  std::filesystem::create_directory(dir / "d");
  qlmDirId rel = read("[w] d\\ (rel)");
  ASSERT_NE(nullptr, rel);
  EXPECT_EQ("rel @/d d\\ type 0 #-1", fields(rel));
  EXPECT_EQ("[w] d\\ (rel)", written(rel));
}

TEST_F(Qlm, RefusalsInTheOrderOfTheChecks) {
  ASSERT_NE(nullptr, read("[p] @/a (lib) | comment"));
  for (const auto &row : testsupport::tableRows("library/cases/dirlines.txt"))
    EXPECT_EQ(std::stoi(row.at(1)), status(row[0])) << row[0];
  EXPECT_FALSE(std::filesystem::exists(tmp + "/missing"));
  EXPECT_EQ(1, count());

  // qlm_read_and_create makes the missing directory, when it can.
  ASSERT_NE(nullptr, qlm_read_and_create(at("[w] @/new/deep (fresh)").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(tmp + "/new/deep"));
  auto created = [&](const char *line) {
    return qlm_read_and_create(at(line).c_str()) == nullptr ? qlm_errno : 0;
  };
  EXPECT_EQ((Ints{-10, -7}), (Ints{created("[w] @/f/sub (x)"), created("[w] @/f (x)")}));
  EXPECT_EQ(0, status("[r] @/b (" + std::string(32, 'n') + ")"));

  for (const char *good : {"a", "builtin", "My_Lib2", "a_b_c", "Z9_"})
    EXPECT_EQ(1, qlm_chk_library_name(good)) << good;
  for (const char *bad : {"", "_a", "9a", "a__b", "a b", "a-b", "a.b"})
    EXPECT_EQ(0, qlm_chk_library_name(bad)) << bad;
  EXPECT_EQ(0, qlm_chk_library_name(nullptr));
}

TEST_F(Qlm, LibrariesInListOrder) {
  for (const char *line : {"[r] @/a (A)", "[w] @/b", "[w] @/c (a)", "[pw] @/c/../f/.. (B)"})
    ASSERT_NE(nullptr, read(line)) << line;
  auto next = [](const char *name) {
    const char *lib = qlm_next_library(name);
    return std::string(lib ? lib : "(none)");
  };
  EXPECT_EQ((Strings{"A", "A", "B", "B", "(none)", "(none)"}),
            (Strings{next(""), next(nullptr), next("A"), next("a"), next("B"), next("nosuch")}));

  EXPECT_EQ((Ints{1, 0, 0}),
            (Ints{qlm_library_exists("a"), qlm_library_exists(""), qlm_library_exists("C")}));
  qlmDirId first = qlm_id_next_libdir(nullptr, "a");
  qlmDirId second = qlm_id_next_libdir(first, nullptr);
  EXPECT_EQ((Strings{tmp + "/a", tmp + "/c", tmp}),
            (Strings{qlm_id_get_path(first), qlm_id_get_path(second),
                     qlm_id_get_path(qlm_get_primary_dir())}));
  EXPECT_EQ((Dirs{nullptr, second, nullptr}),
            (Dirs{qlm_id_next_libdir(second, "a"), qlm_library_first_writable("A"),
                  qlm_library_first_writable("none")}));
  EXPECT_EQ(-14, qlm_errno);

  // The record without a name joins library a when it is given that name.
  qlmDirId unnamed = qlm_id_next_dir(first);
  EXPECT_STREQ("", qlm_id_get_name(unnamed));
  EXPECT_EQ((Ints{-15, 0, -5, -5}),
            (Ints{qlm_id_set_name(unnamed, "a b"), qlm_id_set_name(unnamed, "a"),
                  qlm_id_set_name(unnamed, "other"), qlm_errno}));
  EXPECT_EQ((Dirs{unnamed, second, unnamed}),
            (Dirs{qlm_id_next_libdir(first, nullptr), qlm_id_next_libdir(unnamed, nullptr),
                  qlm_library_first_writable("a")}));

  // Taking a record out mends the chain; only then can it be destroyed.
  EXPECT_EQ((Ints{-1, 0, -1}), (Ints{qlm_destroy_dir_id(unnamed), qlm_id_remove_dir(unnamed),
                                     qlm_id_remove_dir(unnamed)}));
  EXPECT_EQ(second, qlm_id_next_libdir(first, nullptr));
  EXPECT_EQ((Ints{0, 3}), (Ints{qlm_destroy_dir_id(unnamed), count()}));
  qlm_free_all_dir();
  EXPECT_EQ(0, count());
  EXPECT_EQ("(none)", next(""));
}

TEST_F(Qlm, DirinfoFillsBuffersOrHandsOutFields) {
  qlmDirId d = read("12 @/a/ (lib)");
  ASSERT_NE(nullptr, d);
  int number = 0;
  char nameBuffer[33] = "old";
  char *name = nameBuffer, *path = nullptr, *wpath = nullptr;
  ASSERT_EQ(0, qlm_id_dirinfo(d, &number, &name, &path, &wpath));
  EXPECT_EQ(12, number);
  EXPECT_EQ((std::vector<char *>{nameBuffer, d->path}), (std::vector<char *>{name, path}));
  EXPECT_EQ((Strings{"lib", tmp + "/a/"}), (Strings{nameBuffer, wpath}));

  qlmDirId unnamed = read("[w] @/b");
  char *none = nullptr;
  ASSERT_EQ(0, qlm_id_dirinfo(unnamed, nullptr, &none, nullptr, nullptr));
  EXPECT_STREQ("", none);
}

TEST_F(Qlm, MaintenanceAndListPairs) {
  qlm_errno = 0; // a missing record gives -1
  EXPECT_EQ(nullptr, qlm_id_get_name(nullptr));
  EXPECT_EQ(-1, qlm_errno);
  qlm_errno = 0;
  EXPECT_EQ((Ints{-1, -1, -1}),
            (Ints{qlm_id_get_type(nullptr), qlm_errno, qlm_id_create_subdir(nullptr, "sym")}));

  ASSERT_NE(nullptr, read("[pw] @/a (one)"));
  qlmDirId loose = qlm_create_dir_id();
  EXPECT_EQ(-1, qlm_id_get_number(loose));
  EXPECT_EQ(nullptr, qlm_id_build_path(loose, "sym"));
  EXPECT_EQ((Ints{-11, -11, 0}),
            (Ints{qlm_errno, qlm_id_create_subdir(loose, "sym"), qlm_destroy_dir_id(loose)}));

  // A placeholder lives in the second list: no directory, not in the walk.
  qlmDirId holder = qlm_add_lib_placeholder("later");
  ASSERT_NE(nullptr, holder);
  EXPECT_EQ(nullptr, qlm_add_lib_placeholder("no good"));
  EXPECT_EQ((Ints{-15, 0, -1}),
            (Ints{qlm_errno, qlm_library_exists("later"), qlm_destroy_dir_id(holder)}));

  // The vfile search order has lists of its own; the first pair is kept.
  EXPECT_EQ((Ints{0, 1, 0, 0, -1}),
            (Ints{qlm_disable_vfile_search_order(), qlm_enable_vfile_search_order(),
                  qlm_enable_vfile_search_order(), count(), qlm_destroy_dir_id(holder)}));
  ASSERT_NE(nullptr, read("[pw] @/b (two)"));
  EXPECT_EQ(0, qlm_library_exists("one"));
  qd_clear_all_dirs();
  EXPECT_EQ((Ints{1, 1, 0, 0, 0}), (Ints{qlm_disable_vfile_search_order(),
                                         qlm_library_exists("one"), qlm_library_exists("two"),
                                         qlm_id_remove_dir(holder), qlm_destroy_dir_id(holder)}));
}

TEST_F(Qlm, SubdirectoriesOfARecord) {
  qlmDirId d = read("[w] @/a/ (lib)");
  auto built = [&](const std::string &subdirs) {
    char *path = qlm_id_build_path(d, subdirs.c_str());
    std::string s = path ? path : "status " + std::to_string(qlm_errno);
    ulStrFree(path);
    return s;
  };
  EXPECT_EQ((Strings{tmp + "/a/sym/lock/", tmp + "/a", "status -3"}),
            (Strings{built(" sym  lock "), built(""), built(std::string(300, 's'))}));

  EXPECT_EQ(0, qlm_id_create_subdir(d, "sym lock"));
  EXPECT_TRUE(std::filesystem::is_directory(tmp + "/a/sym/lock"));
  EXPECT_EQ(-101, qlm_id_create_subdir(d, "sym"));
  dir.write("a/file", "x");
  EXPECT_EQ((Ints{-10, -10}),
            (Ints{qlm_id_create_subdir(d, "file"), qlm_id_create_subdir(d, "file/below")}));
}

// Messages qd_dir_read showed, each as "+text" (with the header) or " text".
// Like the initialisation reader, the receiver formats its header first.
std::string shown;
int capture(const char *text, int header) {
  if (header)
    sbMsgBuild(1213, "scribant.ini", 7);
  shown += (header ? "+" : " ") + std::string(text) + "\n";
  return 1;
}

class QdDirRead : public Qlm {
protected:
  void SetUp() override {
    Qlm::SetUp();
    shown.clear();
    qlmPutMsgV = capture;
    qd_clear_writable_dirs();
  }
  void TearDown() override {
    qlmPutMsgV = nullptr;
    qd_clear_writable_dirs();
    Qlm::TearDown();
  }
  int dirRead(const std::string &line) { return qd_dir_read(at(line).c_str()); }
};

TEST_F(QdDirRead, AcceptedLinesShowNothingAndRegisterWritableDirectories) {
  EXPECT_EQ((Ints{1, 1, 1, 0, 3}),
            (Ints{dirRead("dir [pw] @/a (mylib)"), dirRead("DIR [r] @/b (ro)"),
                  dirRead("|5.0 dir 3 @/c"), dirRead("dir 3 @/c/"), count()}));
  EXPECT_EQ(tmp + "/a", qd_writable_dir(0));
  EXPECT_EQ(tmp + "/c", qd_writable_dir(1));
  EXPECT_EQ(nullptr, qd_writable_dir(2));
  EXPECT_EQ(nullptr, qd_writable_dir(-1));
  EXPECT_EQ("+Directory line refused: the directory is listed twice.\n", shown);

  // Registrations outlive the records and are not repeated.
  qd_clear_all_dirs();
  EXPECT_EQ((Ints{0, 1}), (Ints{count(), dirRead("dir [pw] @/a (mylib)")}));
  EXPECT_EQ(nullptr, qd_writable_dir(2));
}

TEST_F(QdDirRead, RefusalsShowTheMessageOfTheirStatus) {
  ASSERT_EQ(1, dirRead("dir [p] @/a"));
  for (const auto &row : testsupport::tableRows("library/cases/dirmessages.txt")) {
    shown.clear();
    EXPECT_EQ(0, dirRead(row.at(0))) << row[0];
    EXPECT_EQ("+Directory line refused: " + row.at(1) + "\n", shown) << row[0];
  }
  EXPECT_EQ(1, count());
}

// A directory that is created shows its messages in the end-to-end scenario
// tests/e2e/settings_messages.
TEST_F(QdDirRead, MissingDirectoryThatCannotBeCreated) {
  EXPECT_EQ(0, dirRead("dir [w] @/f/under (x)"));
  EXPECT_EQ("+Library directory does not exist; creating it.\n"
            " Cannot create the library directory.\n",
            shown);
  EXPECT_EQ(0, count());

  // Without a receiver nothing is shown.
  qlmPutMsgV = nullptr;
  shown.clear();
  EXPECT_EQ((Ints{0, 1}), (Ints{dirRead("dir [x] @/a"), dirRead("dir [w] @/new")}));
  EXPECT_EQ("", shown);
}

TEST_F(QdDirRead, PathCopyStaysUntilAnotherRecord) {
  ASSERT_EQ(1, dirRead("dir [w] @/a"));
  ASSERT_EQ(1, dirRead("dir [w] @/b"));
  qlmDirId a = qlm_id_next_dir(nullptr);
  qlmDirId b = qlm_id_next_dir(a);
  const char *copy = qd_dir_get(a);
  EXPECT_EQ(tmp + "/a", copy);
  EXPECT_NE(a->path, copy);
  EXPECT_EQ(copy, qd_dir_get(a)); // the same copy again
  EXPECT_EQ(tmp + "/b", qd_dir_get(b));
}

} // namespace
