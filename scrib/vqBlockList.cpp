// vqBlockList.cpp: the loaded-block lists, the current Block, the read-only
// setting and the name of the Block released last.

#include "vqBlockInternal.h"

#include "ulErr.h"
#include "ulStr.h"

namespace {

struct ListState {
  vqBlock *heads[vqBLOCK_KINDS]; // loaded Blocks per kind, newest first
  vqBlock *current;              // the current Block
  int readOnly;                  // Blocks loaded from now on are read-only
  char *lastReleased;            // library:component of the last release (pooled)
  bool freeAtExit;
};

ListState &state() {
  static ListState s;
  return s;
}

void releaseLastName() {
  ListState &s = state();
  ulStrFree(s.lastReleased);
  s.lastReleased = nullptr;
}

bool hasList(int kind) {
  return kind >= 0 && kind < vqBLOCK_KINDS;
}

} // namespace

vqBlock *vqBlockListHead(int kind) {
  return hasList(kind) ? state().heads[kind] : nullptr;
}

void vqBlockListAdd(vqBlock *block) {
  if (block == nullptr || !hasList(block->kind))
    return;
  vqBlock *&head = state().heads[block->kind];
  for (vqBlock *b = head; b != nullptr; b = b->next)
    if (b == block)
      return;
  block->next = head;
  head = block;
}

int vqBlockListRemove(vqBlock *block) {
  if (block == nullptr || !hasList(block->kind))
    return 0;
  for (vqBlock **link = &state().heads[block->kind]; *link != nullptr; link = &(*link)->next)
    if (*link == block) {
      *link = block->next;
      block->next = nullptr;
      return 1;
    }
  return 0;
}

vqBlock *vqBlockListFind(int kind, const char *library, const char *name, int number) {
  bool anyLibrary = library == nullptr || library[0] == '\0';
  for (vqBlock *b = vqBlockListHead(kind); b != nullptr; b = b->next) {
    if (b->number != number || !ulStrEqu(b->name, name))
      continue;
    if (anyLibrary ? b->libFromFile != 0 : ulStrIcmp(b->library, library) == 0)
      return b;
  }
  return nullptr;
}

const char *vqBlockLastReleasedName() {
  const char *name = state().lastReleased;
  return name != nullptr ? name : "";
}

void vqBlockNoteReleased(const vqBlock *block) {
  ListState &s = state();
  if (!s.freeAtExit) {
    s.freeAtExit = true;
    ulOnExitAdd2(releaseLastName);
  }
  char *name = q_merge_lib_comp(block->library, block->name);
  ulStrFree(s.lastReleased);
  s.lastReleased = name;
  if (s.current == block)
    s.current = nullptr;
}

void vqBlockReleaseAll() {
  ListState &s = state();
  for (int kind = 0; kind < vqBLOCK_KINDS; ++kind)
    while (vqBlock *b = s.heads[kind])
      q_free_block(b);
  s.current = nullptr;
  s.readOnly = 0;
  releaseLastName();
}

vqBlock *q_get_block() {
  return state().current;
}

void q_set_block(vqBlock *block) {
  state().current = block;
}

void vqSetBlockReadOnly(int on) {
  state().readOnly = on != 0;
}

int vqGetBlockReadOnly() {
  return state().readOnly;
}

vqBlock *q_copy_block(vqBlock *block) {
  if (block != nullptr)
    ++block->refCount;
  return block;
}
