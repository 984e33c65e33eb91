// vqWrite.cpp: the save of a Block into its block file: lock, the bad-data
// question, the body written into memory, the save with its backup, unlock.
#include "vqWrite.h"

#include <cstdio>
#include <cstdlib>
#include <string>
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

// Writes the block's body into body. false when a write failed.
bool writeBody(vqBlock *block, std::string &body) {
  char *data = nullptr;
  size_t size = 0;
  FILE *memory = open_memstream(&data, &size);
  if (memory == nullptr)
    return false;
  const bool ok = vqBlockWriteBody(block, memory) == 0;
  const bool closed = std::fclose(memory) == 0;
  if (ok && closed)
    body.assign(data, size);
  std::free(data);
  return ok && closed;
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
  std::string body;
  if (!writeBody(block, body))
    return 0;
  if (vqpFileSave(block->file, block->kind, block->temporary ? 0 : 1, body.data(), body.size(),
                  nullptr) != 1)
    return 0;
  if (vqpFileUnlock(block->kind, block->library, block->name, block->number) != 0)
    block->locked = 0;
  return 1;
}
