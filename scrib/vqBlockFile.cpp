// vqBlockFile.cpp: the parts of the block model that reach the block file:
// release at the last reference, the changed state with its lock, reopen and
// suspend.

#include "vqBlockInternal.h"

#include "ulMem.h"
#include "ulStr.h"
#include "vqp.h"

void q_free_block(vqBlock *block) {
  if (block == nullptr || --block->refCount > 0)
    return;
  vqBlockListRemove(block);
  vqBlockNoteReleased(block);
  q_free_data(block);
  if (block->file != 0) {
    if (block->temporary)
      vqpFileDelete(block->file);
    else
      vqpFileClose(block->file, 0);
  }
  vqBlock *linked = block->linked;
  ulStrFree(block->name);
  ulStrFree(block->library);
  vqRecordFree(block);
  q_free_block(linked);
}

int q_set_changed_flag(vqBlock *block) {
  vqBlock *b = block != nullptr ? block : q_get_block();
  if (b == nullptr)
    return 1;
  b->changed = 1;
  if (++b->changeCount == 1) {
    q_copy_block(b);
    if (!b->readOnly && vqpFileLock(b->kind, b->library, b->name, b->number))
      b->locked = 1;
  }
  return 1;
}

int q_data_has_changed(vqBlock *block) {
  const vqBlock *b = block != nullptr ? block : q_get_block();
  return b != nullptr && (b->changed || b->changeCount != 0);
}

int q_clear_changed_flag(vqBlock *block) {
  vqBlock *b = block != nullptr ? block : q_get_block();
  if (b == nullptr || !b->changed)
    return 1;
  b->changed = 0;
  b->changeCount = 0;
  q_free_block(b);
  return 1;
}

int vqBlockReopen(vqBlock *block, int mode) {
  int fileMode = 1;
  if (mode == 2) {
    if (block->readOnly)
      return -1;
    fileMode = 2;
  } else if (mode == 3) {
    fileMode = block->readOnly ? 1 : 2;
  }
  return vqpFileReopen(block->file, fileMode);
}

int vqBlockSuspend(vqBlock *block) {
  return vqpFileSuspend(block->file, block->readOnly ? 0 : 1);
}
