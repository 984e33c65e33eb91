// vqWrite.cpp: the save of a Block into its block file: lock, the bad-data
// question, backup, the write into a temporary file, commit and unlock.
#include "vqWrite.h"

#include <cstdio>
#include <unistd.h>

#include "sbMsg.h"
#include "vqRead.h"
#include "vqp.h"

namespace {

// Asks message 1175 and reads the answer from standard input when that is a
// terminal: a line that begins with "y" or "Y" is yes. Without a terminal
// nobody can answer; the answer is no and message 1176 says so.
bool saveBadDataAnyway() {
  qPutMsg(1175);
  if (isatty(STDIN_FILENO) == 0) {
    qPutMsg(1176);
    return false;
  }
  std::fflush(stdout);
  int first = std::getchar();
  for (int c = first; c != '\n' && c != EOF;)
    c = std::getchar();
  return first == 'y' || first == 'Y';
}

} // namespace

int q_write_data(vqBlock *block) {
  if (block == nullptr || block->readOnly)
    return 0;
  if (vqpFileLock(block->kind, block->library, block->name, block->number) == 0)
    return 0;
  block->locked = 1;
  if (q_bad_data != 0 && !saveBadDataAnyway())
    return 0;
  if (!block->temporary && vqpFileCreateBackup(block->file, block->kind) == 0)
    return 0;
  if (vqBlockReopen(block, 3) != 1)
    return 0;
  FILE *stream = vqpFileStream(block->file);
  if (stream == nullptr || vqBlockWriteBody(block, stream) != 0) {
    (void)vqpFileDelete(block->file);
    return 0;
  }
  int committed = vqpFileSuspend(block->file, 0);
  // The body was written: the lock goes whether or not the commit held.
  if (vqpFileUnlock(block->kind, block->library, block->name, block->number) != 0)
    block->locked = 0;
  return committed == 1 ? 1 : 0;
}
