// vqBlockInternal.h: what the files of the block model share behind
// vqBlock.h.
#pragma once

#include <cstring>

#include "ulMem.h"
#include "vqBlock.h"
#include "vqName.h"

// Every record of the model comes from the fixed-size free lists of the
// memory layer (records above their largest size, such as long lines, and
// every record while the free lists are off, are tagged heap blocks), zeroed.
// A record goes back with the size it was taken with.
inline void *vqRecordAllocBytes(size_t bytes, const char *tag) {
  void *p = ulMemFlAlloc(bytes, tag);
  std::memset(p, 0, bytes);
  return p;
}
template <class T> T *vqRecordAlloc(const char *tag) {
  return static_cast<T *>(vqRecordAllocBytes(sizeof(T), tag));
}
inline void vqRecordFreeBytes(void *record, size_t bytes) {
  ulMemFlFree(record, bytes);
}
template <class T> void vqRecordFree(T *record) {
  vqRecordFreeBytes(record, sizeof(T));
}

// At the release of block: remembers its library:component name as the name
// of the Block released last, and stops it being the current Block.
void vqBlockNoteReleased(const vqBlock *block);
