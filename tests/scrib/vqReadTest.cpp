// The block file reader on block files given as text: records into objects
// and owners, every reader message by number and line, and the finishing
// steps that need no other block. Most cases are files in reader/, read by
// one test; the cases here need settings or checks of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ScribFixture.h"
#include "qInit.h"
#include "sbMsg.h"
#include "vqName.h"
#include "vqRead.h"

namespace {

namespace fs = std::filesystem;
using scribtest::Ints;
using scribtest::stdoutOf;

// One block read from text.
struct Read {
  vqBlock *block = nullptr;
  int result = -1;
  std::string out; // standard output of the read
  ~Read() { q_free_block(block); }

  // The objects of the block's list, in order.
  std::vector<vqObject *> objects() const {
    std::vector<vqObject *> v;
    for (vqObject *o = block->objects; o != nullptr; o = o->next)
      v.push_back(o);
    return v;
  }
  template <class T> T *at(size_t i) const { return static_cast<T *>(objects().at(i)); }
};

std::unique_ptr<Read> readBlock(int kind, const std::string &text) {
  auto r = std::make_unique<Read>();
  r->block = q_alloc_block(kind);
  r->block->name = ulStrCpy("blk");
  r->block->library = ulStrCpy("mylib");
  r->block->number = 1;
  FILE *f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  r->out = stdoutOf([&] { r->result = vqBlockReadStream(r->block, f); });
  std::fclose(f);
  return r;
}

std::unique_ptr<Read> symbolOf(const std::string &body) {
  return readBlock(vqBLOCK_SYMBOL, "V 50\n" + body);
}
std::unique_ptr<Read> schematicOf(const std::string &body) {
  return readBlock(vqBLOCK_SCHEMATIC, "V 50\n" + body);
}

std::string line(int n) {
  return "(Line number " + std::to_string(n) + ")";
}

// The output line of a reader message about block mylib:blk.1.
template <class... A> std::string msg(int number, A... args) {
  return std::string("mylib:blk.1: ") + sbMsgBuild(number, args...) + "\n";
}
// A message that names the block itself.
template <class... A> std::string alone(int number, A... args) {
  return std::string(sbMsgBuild(number, args...)) + "\n";
}
std::string summary(int warnings, int errors) {
  return alone(2240, "mylib:blk.1", warnings, errors);
}

class Reader : public scribtest::Project {
protected:
  // The reader's switches as a run starts with them.
  void TearDown() override {
    vqReadPrintLineNumber(1);
    vqReadPrintHiddenMsgs(0);
    Project::TearDown();
  }
};

// ---- Cases in files --------------------------------------------------------------------

// Each file of tests/scrib/reader is one block file read as a Block of
// block "mylib:blk.1":
//   # what the case shows (comment lines first)
//   --- symbol            (or schematic) then the file's lines
//   --- output            what the reader printed
//   --- block             the read's result, read-only flag, version, bad
//                         data flag, error and warning counts, then the
//                         Block as scribtest::describe gives it
// A Block the reader accepts is also written, read back and written again:
// the two bodies must be equal, whatever the file held.
// With RETAG_UPDATE_CASES=1 the files are rewritten with what the reader
// gives, to review with the version control's diff.
TEST_F(Reader, CasesReadAsTheirFilesSay) {
  const fs::path dir = testsupport::sourcePath("scrib/reader");
  std::vector<fs::path> files;
  for (auto &e : fs::directory_iterator(dir))
    files.push_back(e.path());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 20u);
  for (const fs::path &file : files) {
    SCOPED_TRACE(file.filename().string());
    std::istringstream in(testsupport::readFile(file));
    std::string head, kind, input, output, block, *into = &head;
    for (std::string l; std::getline(in, l);) {
      if (l.rfind("--- ", 0) == 0) {
        into = kind.empty() ? &input : l == "--- output" ? &output : &block;
        if (kind.empty())
          kind = l.substr(4);
        continue;
      }
      *into += l + "\n";
    }
    ASSERT_TRUE(kind == "symbol" || kind == "schematic");
    q_bad_data = 0;
    auto r = readBlock(kind == "symbol" ? vqBLOCK_SYMBOL : vqBLOCK_SCHEMATIC, input);
    const std::string got =
        "result " + std::to_string(r->result) + " readOnly " + std::to_string(r->block->readOnly) +
        " version " + std::to_string(r->block->version) + " badData " + std::to_string(q_bad_data) +
        " errors " + std::to_string(vqReadErrorCount()) + " warnings " +
        std::to_string(vqReadWarningCount()) + "\n" + scribtest::describe(r->block);
    EXPECT_EQ(output, r->out);
    EXPECT_EQ(block, got);
    if (r->result == 1) {
      const std::string first = scribtest::bodyOf(r->block);
      EXPECT_EQ(first, scribtest::bodyOf(readBlock(r->block->kind, first)->block));
    }
    if (std::getenv("RETAG_UPDATE_CASES") != nullptr)
      testsupport::writeFile(file, head + "--- " + kind + "\n" + input + "--- output\n" + r->out +
                                       "--- block\n" + got);
  }
}

// ---- Cases with settings of their own -------------------------------------------------

TEST_F(Reader, LineNumbersCanBeSwitchedOff) {
  EXPECT_EQ(1, vqReadPrintLineNumber(0));
  q_quiet = 1; // problems are printed even when the editor is quiet
  auto quiet = symbolOf("Z 12\n");
  EXPECT_EQ(msg(2216, 12, ""), quiet->out.substr(0, quiet->out.find('\n') + 1));
}

// What a sink receives: "severity line block|text" per message.
void collect(const vqBlock *block, int severity, int line, const char *text, void *user) {
  *static_cast<std::string *>(user) +=
      std::to_string(severity) + " " + std::to_string(line) + " " + block->name + "|" + text + "\n";
}

TEST_F(Reader, ASinkTakesEveryMessageWithItsLineInsteadOfStandardOutput) {
  std::string got;
  EXPECT_EQ(nullptr, vqReadSetSink(collect, &got));
  // A record's line is its last physical line; the finishing steps and the
  // summary are about the whole block (line 0).
  auto r = schematicOf("i 1\nT 0 0 10 0 1\nN 1\nJ 0 0 0\nZ 12\n+ x\n");
  EXPECT_EQ("", r->out);
  EXPECT_EQ("2 3 blk|" + alone(2259, line(3).c_str()) + "3 7 blk|" +
                alone(2216, 12, line(7).c_str()) + "3 0 blk|" + alone(2237, "mylib:blk.1", 1L) +
                "1 0 blk|" + alone(2240, "mylib:blk.1", 1, 2),
            got);
  EXPECT_EQ((Ints{1, 2}), (Ints{vqReadWarningCount(), vqReadErrorCount()}));
  got.clear();
  auto unread = readBlock(vqBLOCK_SYMBOL, "\nY 1\n");
  EXPECT_EQ("4 2 blk|" + alone(2254, "mylib:blk.1"), got);
  // Without a sink the reader prints again.
  EXPECT_EQ(collect, vqReadSetSink(nullptr, nullptr));
  EXPECT_EQ(msg(2216, 12, line(2).c_str()) + summary(0, 1), symbolOf("Z 12\n")->out);
}

TEST_F(Reader, PinsOfTheSameNameArePassThroughAndSymtypeFubMakesAFub) {
  auto r = symbolOf("i 3\nU 0 0 10 0 1 1 SYMTYPE=FUB\nP 1 0 0 10 0 0 0 0\nL 0 0 10 0 1 0 1 0 A\n"
                    "P 2 0 0 10 0 0 0 0\nL 0 0 10 0 1 0 1 0 B\nP 3 0 0 10 0 0 0 0\n"
                    "A 0 0 10 0 1 1 #=1\nL 0 0 10 0 1 0 1 0 A\n");
  EXPECT_EQ(1, vqBlockIsFub(r->block));
  std::vector<int> passthru;
  for (vqObject *o : r->objects())
    if (o->kind == vqKIND_PIN)
      passthru.push_back((o->flags & vqOBJ_PASSTHRU) != 0);
  EXPECT_EQ((std::vector<int>{1, 0, 1}), passthru);
}

TEST_F(Reader, RipperVersionOfASchematicWithoutRippers) {
  auto version = [](int kind, int rippersOn) {
    vqIniSettingsV.rippersOn = rippersOn;
    return readBlock(kind, "V 51\n")->block->version;
  };
  EXPECT_EQ((Ints{50, 51, 51}), (Ints{version(vqBLOCK_SCHEMATIC, 0), version(vqBLOCK_SCHEMATIC, 1),
                                      version(vqBLOCK_SYMBOL, 1)}));
}

TEST_F(Reader, ALineKeepsAnyPointCountTheFileHolds) {
  std::string points;
  for (int i = 0; i < 5000; ++i)
    points += " " + std::to_string(i) + " " + std::to_string(-i) + (i % 6 == 5 ? "\n" : "");
  const std::string body = "V 50\nY 0\nD 0 0 100 100\nZ 10\ni 0\nl 5000" + points + "\nE\n";
  auto r = readBlock(vqBLOCK_SYMBOL, body);
  const auto *line = r->at<vqLine>(0);
  EXPECT_EQ("", r->out);
  EXPECT_EQ((Ints{5000, 4999, -4999}),
            (Ints{line->count, line->points[4999].x, line->points[4999].y}));
  EXPECT_EQ(body, scribtest::bodyOf(r->block));
}

TEST_F(Reader, HiddenMessagesReportJointTypesRecomputed) {
  const std::string net = "i 1\nN 1\nJ 0 0 9\nJ 10 0 1\nS 1 2\n";
  // Hidden, the message is neither printed nor counted.
  auto quiet = schematicOf(net);
  EXPECT_EQ("", quiet->out);
  EXPECT_EQ((Ints{1, 0, 0}), (Ints{quiet->at<vqNet>(0)->joints->type, vqReadErrorCount(),
                                   vqReadPrintHiddenMsgs(1)}));
  auto loud = schematicOf(net);
  vqJoint *j = loud->at<vqNet>(0)->joints;
  EXPECT_EQ(alone(2260, "mylib:blk.1", static_cast<long>(j->id)) + summary(0, 1), loud->out);
  EXPECT_EQ(1, vqReadErrorCount());
}

// ---- Logical lines -----------------------------------------------------------------------------

TEST(vqReadLines, LogicalLinesJoinContinuationsAndLoseTheirLineEnds) {
  FILE *f = std::tmpfile();
  std::fputs("first\r\n\n\n+ not joined: a blank line came before\nsecond\n+ part\n+\n"
             "+ more\nlast without end",
             f);
  std::rewind(f);
  ulStrBuf *b = ulStrBufCreate(4);
  int lines = 0;
  std::vector<std::pair<std::string, int>> got;
  while (vqReadContLine(b, f, 0, &lines))
    got.emplace_back(ulStrBufString(b), lines);
  EXPECT_EQ(lines, 9);
  std::vector<std::pair<std::string, int>> want = {
      {"first\n", 1},
      {"+ not joined: a blank line came before\n", 4},
      {"secondpartmore\n", 8},
      {"last without end", 9},
  };
  EXPECT_EQ(want, got);
  ulStrBufDestroy(b);
  std::fclose(f);

  // One physical line: its carriage return and its trailing blanks go.
  const std::pair<std::string, const char *> cr[] = {
      {"text\r\n", "text"}, {"text\r", "text"}, {"te\rxt\n", "te\rxt"}};
  for (auto [in, out] : cr)
    EXPECT_STREQ(out, vqRemoveCR(in.data()));
  std::string d = "a b  ", e = " ";
  EXPECT_STREQ("a b", vqTrimTrail(d.data()));
  EXPECT_STREQ(" ", vqTrimTrail(e.data())); // never the first character
}

} // namespace
