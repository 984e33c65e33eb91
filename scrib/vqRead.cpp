// vqRead.cpp: reading one block file: the nesting, the counters, the
// messages and the loop over the records.
#include <cstdio>
#include <string>

#include "qInit.h"
#include "sbMsg.h"
#include "vqName.h"
#include "vqReadInternal.h"
#include "vqp.h"

// The bad-data mark of the editor database (declared in vqRead.h and gpi.h):
// the block reader sets it, the writer and the programming interface read it.
char q_bad_data = 0;

namespace vqread {

ReadState &readState() {
  static ReadState s;
  return s;
}

const char *lineText(const Reader &r) {
  static char text[48];
  if (!readState().lineNumbers)
    return "";
  std::snprintf(text, sizeof text, "(Line number %d)", r.lineNo);
  return text;
}

const char *fullName(const vqBlock *block) {
  return vqBlockFullName(block, 3);
}

const char *kindWord(const vqBlock *block) {
  return block->kind == vqBLOCK_SYMBOL ? "Symbol" : "Schematic";
}

namespace {

void count(int severity) {
  ReadState &s = readState();
  if (severity == kWarning)
    ++s.warnings;
  else if (severity == kError)
    ++s.errors;
}

} // namespace

namespace {

// Hands a message to the sink, when one is installed: the block of the
// innermost read and the line of the record being read (0 past the records).
bool toSink(const vqBlock *block, int severity, const char *text) {
  const ReadState &s = readState();
  if (s.sink == nullptr)
    return false;
  const Reader *r = s.current;
  const int line = r != nullptr && !r->finishing ? r->lineNo : 0;
  if (block == nullptr && r != nullptr)
    block = r->block;
  s.sink(block, severity, line, text, s.sinkUser);
  return true;
}

} // namespace

void note(const vqBlock *block, int severity, const char *text) {
  // The text lies in the formatting buffer that building the name may reuse.
  std::string message = text;
  if (!toSink(block, severity, message.c_str())) {
    std::string line = std::string(fullName(block)) + ": " + message;
    q_put_msg(line.c_str(), 2);
  }
  count(severity);
}

void noteAlone(int severity, const char *text) {
  if (!toSink(nullptr, severity, text))
    q_put_msg(text, 2);
  count(severity);
}

namespace {

// Keeps the nesting depth and the line buffer right also when a message
// file problem throws out of the read.
class ReadScope {
public:
  explicit ReadScope(Reader &r) : r_(r), outer_(readState().current) {
    ReadState &s = readState();
    s.current = &r;
    if (++s.depth == 1) {
      s.warnings = 0;
      s.errors = 0;
    }
    r_.line = ulStrBufCreate(256);
  }
  ~ReadScope() {
    ulStrBufDestroy(r_.line);
    --readState().depth;
    readState().current = outer_;
  }
  ReadScope(const ReadScope &) = delete;
  ReadScope &operator=(const ReadScope &) = delete;

private:
  Reader &r_;
  const Reader *outer_; // the read this one nests in, or null
};

} // namespace
} // namespace vqread

using namespace vqread;

int vqBlockReadStream(vqBlock *block, FILE *stream) {
  Reader r;
  r.block = block;
  r.stream = stream;
  ReadScope scope(r);
  r.tail = vqBlockLastObject(block);
  int result = 1;
  if (stream != nullptr && nextLine(r)) {
    if (r.pos[0] != 'V') {
      noteAlone(kSevere, sbMsgBuild(2254, fullName(block)));
      r.badVersion = true;
    } else {
      do {
        if (r.pos[0] == 'E')
          break;
        readRecord(r);
      } while (nextLine(r));
      r.finishing = true;
      finishBlock(r);
    }
    // A block that could not be read as such is never written back.
    if (r.badVersion) {
      block->readOnly = 1;
      result = 0;
    }
  }
  r.finishing = true;
  ReadState &s = readState();
  if (s.depth == 1 && s.errors > 0)
    noteAlone(kSummary, sbMsgBuild(2240, fullName(block), s.warnings, s.errors));
  return result;
}

int vqBlockReadFile(vqBlock *block, BlockFileId file) {
  return vqBlockReadStream(block, vqpFileStream(file));
}

int vqReadWarningCount() {
  return readState().warnings;
}

int vqReadErrorCount() {
  return readState().errors;
}

namespace {

int swap(int &setting, int on) {
  int previous = setting;
  setting = on != 0 ? 1 : 0;
  return previous;
}

} // namespace

int vqReadPrintLineNumber(int on) {
  return swap(readState().lineNumbers, on);
}

int vqReadPrintHiddenMsgs(int on) {
  return swap(readState().hidden, on);
}

int vqReadPrintLoadNotes(int on) {
  return swap(readState().loadNotes, on);
}

vqReadSink vqReadSetSink(vqReadSink sink, void *user) {
  ReadState &s = readState();
  const vqReadSink previous = s.sink;
  s.sink = sink;
  s.sinkUser = user;
  return previous;
}

int vqIsThickNetsOn() {
  return vqIniSettingsV.thickNets != 0 ? 1 : 0;
}
