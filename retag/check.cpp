// check.cpp: blkcheck's work, the reading of block files for their problems
// (see companion.h).
#include <cstdio>
#include <string>

#include "companion.h"
#include "ulStr.h"
#include "vqRead.h"
#include "vs.h"

namespace {

// The file being checked, for the reader's sink.
struct Checked {
  const char *path;
  vaAMCheckCounts *counts;
};

// The reader's severities: 1 is its summary, 2 a warning; everything above
// (3, and 4 and 5 for a block that cannot be read as such) is an error.
constexpr int kSummary = 1;
constexpr int kWarning = 2;

void report(const vqBlock *, int severity, int line, const char *text, void *user) {
  if (severity <= kSummary)
    return; // the command prints its own summary
  const auto *checked = static_cast<Checked *>(user);
  // The line stands in front of the message, so its own line-number text
  // goes, with the blank that joined it to the text.
  std::string message = text;
  const std::string lineText = "(Line number " + std::to_string(line) + ")";
  if (const size_t at = message.find(lineText); at != std::string::npos) {
    const size_t from = at > 0 && message[at - 1] == ' ' ? at - 1 : at;
    message.erase(from, at + lineText.size() - from);
  }
  while (!message.empty() && message.back() == ' ')
    message.pop_back();
  const bool warning = severity == kWarning;
  vaAMEmit(checked->counts->kept,
           {checked->path, line > 0 ? line : 0, warning ? "warning" : "error", message});
  ++(warning ? checked->counts->warnings : checked->counts->errors);
}

// Restores the sink and the line-number setting the reader had.
class SinkScope {
public:
  SinkScope(vqReadSink sink, void *user)
      : sink_(vqReadSetSink(sink, user)), lines_(vqReadPrintLineNumber(1)) {}
  ~SinkScope() {
    vqReadSetSink(sink_, nullptr);
    vqReadPrintLineNumber(lines_);
  }
  SinkScope(const SinkScope &) = delete;
  SinkScope &operator=(const SinkScope &) = delete;

private:
  vqReadSink sink_;
  int lines_;
};

} // namespace

namespace {

// Reads the block file at path into a Block of its own, on no loaded-block
// list: nothing else of the process sees it, it is never changed, so never
// locked or written. The reader's messages go to sink. Null when the file
// cannot be opened; *read is what the reader returned.
vqBlock *readOwnBlock(const char *path, const char *alias, const char *name, int number,
                      vqReadSink sink, void *user, int *read) {
  FILE *file = std::fopen(path, "r");
  if (file == nullptr)
    return nullptr;
  vqBlock *block = q_alloc_block(vqBLOCK_SYMBOL);
  block->name = ulStrCpy(name);
  block->library = ulStrCpy(alias);
  block->number = number;
  {
    SinkScope scope(sink, user);
    *read = vqBlockReadStream(block, file);
  }
  std::fclose(file);
  return block;
}

void ignore(const vqBlock *, int, int, const char *, void *) {}

} // namespace

vqBlock *vaAMReadBlockQuietly(const char *path, const char *alias, const char *name, int number) {
  int read = 0;
  vqBlock *block = readOwnBlock(path, alias, name, number, ignore, nullptr, &read);
  if (block != nullptr && read != 1) {
    q_free_block(block);
    return nullptr;
  }
  return block;
}

void vaAMCheckBlockFile(const char *path, const char *alias, const char *name, int number,
                        vaAMCheckCounts *counts) {
  const std::string shownPath = vaAMShownPath(path);
  Checked checked{shownPath.c_str(), counts};
  const int warnings = counts->warnings;
  const int errors = counts->errors;
  int read = 0;
  vqBlock *block = readOwnBlock(path, alias, name, number, report, &checked, &read);
  if (block == nullptr) {
    vaAMEmit(counts->kept, {shownPath, 0, "error", "cannot be opened"});
    ++counts->errors;
  } else {
    q_free_block(block);
  }
  // The reader has said why a file it refused is no block.
  const bool wasRead = block != nullptr && read == 1;
  ++(wasRead ? counts->blocks : counts->unreadable);
  if (counts->files != nullptr)
    counts->files->push_back(
        {shownPath, wasRead, counts->warnings - warnings, counts->errors - errors});
}

void vaAMCheckLibrary(const char *libraryPath, const char *alias, char *const *names, int count,
                      vaAMCheckCounts *counts) {
  vaAMForEachNamedSymbolFile(
      libraryPath, names, count,
      [&](const char *path, const char *name, int number) {
        vaAMCheckBlockFile(path, alias, name, number, counts);
      },
      [&](const char *missing) {
        vaAMEmit(counts->kept, {vaAMShownPath(missing), 0, "error", "no such block file"});
        ++counts->errors;
      });
}

int vaAMCheckStatus(const vaAMCheckCounts *counts) {
  if (counts->unreadable > 0)
    return 4;
  return counts->errors > 0 ? 2 : counts->warnings > 0 ? 1 : 0;
}
