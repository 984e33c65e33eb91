// Saving a Block into its block file: what is on disk afterwards, after a
// good save and after each way a save can be refused or fail: the new
// content or the old one, the backup, the lock file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "ScribFixture.h"
#include "vqRead.h"
#include "vqWrite.h"
#include "vqp.h"

using namespace scribtest;
using testsupport::readFile;

namespace {

class Save : public Project {
protected:
  const std::string sym = lib + "/sym";
  const std::string file = sym + "/and2.1";
  const std::string backup = sym + "/and2.1.bac";
  const std::string lockFile = sym + "/lock/and2.1";
  vqBlock *b = nullptr;

  void TearDown() override {
    q_free_block(b);
    Project::TearDown();
  }

  // The symbol and2 of mylib, loaded from a file of content; PART added.
  void load(const std::string &content) {
    testsupport::writeFile(file, content);
    char name[] = "and2";
    int status = -1;
    b = vqBlockLoad(vqBLOCK_SYMBOL, "mylib", name, 1, vqLOAD_OR_EMPTY, &status);
    ASSERT_EQ(vqLOAD_OK, status);
    addAttr(b, "PART=7400");
  }
  std::vector<std::string> entries() const { return testsupport::entries(sym); }
};

TEST_F(Save, ASaveReplacesTheFileKeepsTheOldOneAsBackupAndReleasesTheLock) {
  load("V 50\nE\n");
  q_set_changed_flag(b); // the first change takes the lock
  ASSERT_TRUE(std::filesystem::exists(lockFile));
  ASSERT_EQ(1, q_write_data(b));
  q_clear_changed_flag(b); // as the programming interface's save does
  const std::string first = bodyOf(b);
  EXPECT_EQ(first, readFile(file));
  EXPECT_EQ("V 50\nE\n", readFile(backup));
  EXPECT_FALSE(std::filesystem::exists(lockFile));
  EXPECT_EQ(0U, b->locked);

  // A save without an earlier change takes the lock itself and releases it;
  // the backup is replaced by the content just before.
  addAttr(b, "VALUE=1");
  ASSERT_EQ(1, q_write_data(b));
  EXPECT_EQ(bodyOf(b), readFile(file));
  EXPECT_EQ(first, readFile(backup));
  EXPECT_EQ((std::vector<std::string>{"and2.1", "and2.1.bac", "lock"}), entries());
  EXPECT_FALSE(std::filesystem::exists(lockFile));
}

// A read-only Block, and a Block whose lock another process holds, are
// refused before anything is touched.
TEST_F(Save, ReadOnlyBlocksAndForeignLocksRefuseTheSave) {
  load("V 50\nE\n");
  b->readOnly = 1;
  EXPECT_EQ(0, q_write_data(b));
  EXPECT_EQ((std::vector<std::string>{"and2.1"}), entries());
  b->readOnly = 0;
  testsupport::writeFile(backup, "older\n");
  writeForeignLock(lockFile);
  const std::string lock = readFile(lockFile);
  EXPECT_EQ(0, q_write_data(b));
  EXPECT_EQ("V 50\nE\n", readFile(file));
  EXPECT_EQ("older\n", readFile(backup));
  EXPECT_EQ(lock, readFile(lockFile));
}

TEST_F(Save, AFailedBackupEndsTheSaveBeforeTheFileIsTouched) {
  load("V 50\nE\n");
  std::filesystem::create_directory(backup); // a backup cannot replace it
  EXPECT_EQ(0, q_write_data(b));
  EXPECT_EQ("V 50\nE\n", readFile(file));
  EXPECT_TRUE(std::filesystem::is_directory(backup));
  // The changed Block left unsaved keeps its lock.
  EXPECT_TRUE(std::filesystem::exists(lockFile));
  EXPECT_EQ(1U, b->locked);
}

// A file size limit makes the write of the new content fail, whether the
// body is larger than a stdio buffer or not: the file and the previous
// backup stay exactly as they were, no temporary file is left, and the
// changed Block keeps its lock.
TEST_F(Save, AFailedWriteLeavesTheOldContentAndThePreviousBackup) {
  for (const int attributes : {20, 400}) {
    SCOPED_TRACE(attributes);
    load("V 50\nE\n");
    testsupport::writeFile(backup, "older\n");
    const std::string text(100, 'x');
    for (int i = 0; i < attributes; ++i)
      addAttr(b, ("N" + std::to_string(i) + "=" + text).c_str());
    {
      testsupport::FileSizeLimit limit(1024);
      EXPECT_EQ(0, q_write_data(b));
    }
    EXPECT_EQ("V 50\nE\n", readFile(file));
    EXPECT_EQ("older\n", readFile(backup));
    EXPECT_EQ((std::vector<std::string>{"and2.1", "and2.1.bac", "lock"}), entries());
    EXPECT_TRUE(std::filesystem::exists(lockFile));
    q_free_block(b);
    b = nullptr;
  }
}

// A load that finds no file gives a temporary Block: its first save makes
// the file, without a backup.
TEST_F(Save, ATemporaryBlockIsSavedWithoutBackupIntoANewFile) {
  char name[] = "new1";
  int status = -1;
  b = vqBlockLoad(vqBLOCK_SYMBOL, "mylib", name, 1, vqLOAD_OR_NEW, &status);
  ASSERT_EQ(1U, b->temporary);
  ASSERT_EQ(1, q_write_data(b));
  EXPECT_EQ(bodyOf(b), readFile(sym + "/new1.1"));
  EXPECT_EQ((std::vector<std::string>{"lock", "new1.1"}), entries());
}

// Without a terminal nobody can answer the bad-data question: the answer is
// no (message 1176) and nothing is touched. On a terminal the answer is
// read: a line beginning with "y" saves, any other does not.
TEST_F(Save, BadDataIsSavedOnlyWhenTheUserAnswersYes) {
  load("V 50\nE\n");
  q_bad_data = 1;
  const int devnull = ::open("/dev/null", O_RDONLY);
  ASSERT_EQ(0, dup2(devnull, STDIN_FILENO));
  close(devnull);
  int saved = -1;
  EXPECT_EQ("The block holds data marked bad. Save it anyway?\n"
            "No terminal to answer: the block is not saved.\n",
            stdoutOf([&] { saved = q_write_data(b); }));
  EXPECT_EQ(0, saved);
  EXPECT_EQ("V 50\nE\n", readFile(file));
  EXPECT_EQ((std::vector<std::string>{"and2.1", "lock"}), entries());

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_EQ(0, grantpt(master) | unlockpt(master));
  const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_EQ(0, dup2(slave, STDIN_FILENO));
  close(slave);
  ASSERT_EQ(14, ::write(master, "no thanks\nYes\n", 14));
  int first = -1, second = -1;
  stdoutOf([&] {
    first = q_write_data(b);
    second = q_write_data(b);
  });
  close(master);
  EXPECT_EQ(0, first);
  EXPECT_EQ(1, second);
  EXPECT_EQ(bodyOf(b), readFile(file));
}

} // namespace
