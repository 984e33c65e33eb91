// ulMemFl.cpp: the fixed-size free lists and the free-list objects.
//
// Records of 8 to 160 bytes (in steps of 8) are carved from large blocks and,
// once freed, kept on one list per size, chained through their first word.
// Allocation pops a list or carves from the current block; freeing pushes.
// When the rest of the current block is too small for a request, the rest
// goes onto the list of its own size and a new block is started, so no carved
// byte is ever lost.
//
// Under AddressSanitizer the free records and the uncarved rest of a block are
// poisoned, so a record used after it was freed is caught even with the lists
// on.

#include "ulMem.h"

#include "ulErr.h"
#include "ulMemInternal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define UL_MEM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UL_MEM_ASAN 1
#endif
#endif

#ifdef UL_MEM_ASAN
#include <sanitizer/asan_interface.h>
#endif

using ulmem::modes;

namespace {

inline void poison(void *p, size_t n) {
#ifdef UL_MEM_ASAN
  ASAN_POISON_MEMORY_REGION(p, n);
#else
  (void)p;
  (void)n;
#endif
}

inline void unpoison(void *p, size_t n) {
#ifdef UL_MEM_ASAN
  ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
  (void)p;
  (void)n;
#endif
}

constexpr size_t kMaxRecord = 160;
constexpr size_t kLists = kMaxRecord / 8 + 1; // index = rounded size / 8; 0 unused

// The link word at the start of a free record.
inline void *&link(void *record) {
  return *static_cast<void **>(record);
}

// One block records are carved from.
struct Block {
  char *base;    // start of the block
  size_t carved; // bytes handed out as records or as rests on the lists
  size_t free;   // bytes of free records counted by the last purge
};

struct FlState {
  bool ready;          // set up (purge routine and exit handler registered)
  void *lists[kLists]; // free records by rounded size / 8
  char *cur;           // next byte to carve in the current block
  char *curBase;       // start of the current block
  size_t curIndex;     // the current block's entry in blocks
  size_t left;         // bytes left in the current block
  Block *blocks;       // every block, for purging
  size_t nBlocks;      // blocks in use
  size_t capBlocks;    // room in blocks
};

FlState flV;

void releaseAll();

void setUp() {
  flV.ready = true;
  if (!modes().freeLists)
    return;
  ulAddPurgeRoutine(ulMemFlPurge);
  // Blocks are handed back last, after every other exit handler that may still
  // give records back.
  ulOnExitAdd2(releaseAll);
  ulOnExitSetOrder(releaseAll, 100);
}

// Pushes a free record of rounded size size onto its list.
inline void push(void *record, size_t size) {
  link(record) = flV.lists[size / 8];
  flV.lists[size / 8] = record;
  poison(record, size);
}

void newBlock() {
  const size_t size = modes().blockSize;
  if (flV.nBlocks == flV.capBlocks) {
    flV.capBlocks = flV.capBlocks != 0 ? flV.capBlocks * 2 : 16;
    flV.blocks = static_cast<Block *>(ulMem_FastRealloc(flV.blocks, flV.capBlocks * sizeof(Block)));
  }
  char *base = static_cast<char *>(ulMemMalloc(size, "ulMemFlBlock"));
  flV.curIndex = flV.nBlocks;
  flV.blocks[flV.nBlocks++] = Block{base, 0, 0};
  flV.cur = flV.curBase = base;
  flV.left = size;
  poison(base, size);
}

// Carves a record of rounded size size, starting a new block when needed.
void *carve(size_t size) {
  if (flV.left < size) {
    if (flV.left >= 8) {
      flV.blocks[flV.curIndex].carved += flV.left;
      unpoison(flV.cur, 8);
      push(flV.cur, flV.left);
    }
    newBlock();
  }
  void *record = flV.cur;
  flV.cur += size;
  flV.left -= size;
  flV.blocks[flV.curIndex].carved += size;
  unpoison(record, size);
  return record;
}

inline size_t rounded(size_t size) {
  return size == 0 ? 8 : (size + 7) & ~static_cast<size_t>(7);
}

// The block holding p among the blocks sorted by address, or null.
Block *blockOf(const void *p) {
  const char *c = static_cast<const char *>(p);
  Block *end = flV.blocks + flV.nBlocks;
  Block *after = std::upper_bound(flV.blocks, end, c,
                                  [](const char *q, const Block &b) { return q < b.base; });
  if (after == flV.blocks)
    return nullptr;
  Block *b = after - 1;
  return c < b->base + modes().blockSize ? b : nullptr;
}

// Exit handler: hands every block back and forgets the lists.
void releaseAll() {
  for (size_t i = 0; i < flV.nBlocks; i++) {
    unpoison(flV.blocks[i].base, modes().blockSize);
    ulMemFree(flV.blocks[i].base);
  }
  ulMem_FastFree(flV.blocks);
  flV.blocks = nullptr;
  flV.nBlocks = flV.capBlocks = 0;
  flV.cur = flV.curBase = nullptr;
  flV.left = 0;
  for (void *&list : flV.lists)
    list = nullptr;
}

} // namespace

void *ulMemFlAlloc(size_t size, const char *tag) {
  if (!flV.ready)
    setUp();
  if (!ulmem::modesV.freeLists)
    return ulMemMalloc(size, tag);
  const size_t r = rounded(size);
  if (r > kMaxRecord)
    return ulMemMalloc(size, "ulMemFlBigBlock");
  void *record = flV.lists[r / 8];
  if (record == nullptr)
    return carve(r);
  unpoison(record, r);
  flV.lists[r / 8] = link(record);
  return record;
}

void ulMemFlFree(void *record, size_t size) {
  if (record == nullptr)
    return;
  const size_t r = rounded(size);
  if (!ulmem::modesV.freeLists || r > kMaxRecord) {
    ulMemFree(record);
    return;
  }
  push(record, r);
}

void ulMemFlPurge() {
  if (!modes().freeLists || flV.nBlocks == 0)
    return;
  std::sort(flV.blocks, flV.blocks + flV.nBlocks,
            [](const Block &a, const Block &b) { return a.base < b.base; });
  for (size_t i = 0; i < flV.nBlocks; i++)
    flV.blocks[i].free = 0;

  // Count the free bytes of every block.
  for (size_t idx = 1; idx < kLists; idx++) {
    for (void *r = flV.lists[idx]; r != nullptr;) {
      unpoison(r, sizeof(void *));
      void *next = link(r);
      poison(r, sizeof(void *));
      if (Block *b = blockOf(r))
        b->free += idx * 8;
      r = next;
    }
  }

  // A block whose carved bytes are all free holds no live record: drop its
  // records from the lists, then hand it back.
  auto unused = [](const Block *b) { return b != nullptr && b->free == b->carved; };
  for (size_t idx = 1; idx < kLists; idx++) {
    void *head = nullptr;
    void *last = nullptr; // the last record kept, left unpoisoned until linked
    for (void *r = flV.lists[idx]; r != nullptr;) {
      unpoison(r, sizeof(void *));
      void *next = link(r);
      if (!unused(blockOf(r))) {
        if (last != nullptr) {
          link(last) = r;
          poison(last, sizeof(void *));
        } else {
          head = r;
        }
        last = r;
      }
      r = next;
    }
    if (last != nullptr) {
      link(last) = nullptr;
      poison(last, sizeof(void *));
    }
    flV.lists[idx] = head;
  }
  size_t kept = 0;
  for (size_t i = 0; i < flV.nBlocks; i++) {
    Block &b = flV.blocks[i];
    if (unused(&b)) {
      if (b.base == flV.curBase) {
        flV.cur = flV.curBase = nullptr;
        flV.left = 0;
      }
      unpoison(b.base, modes().blockSize);
      ulMemFree(b.base);
    } else {
      flV.blocks[kept++] = b;
    }
  }
  flV.nBlocks = kept;
  for (size_t i = 0; i < flV.nBlocks; i++)
    if (flV.blocks[i].base == flV.curBase)
      flV.curIndex = i;
}

// ---- Free-list objects ------------------------------------------------------

// With the free lists off, each record is a heap block behind this header,
// so that ulMemFlDestroy can still free the records still in use.
struct LiveHeader {
  LiveHeader *next; // the next record in use
  LiveHeader *prev; // the previous record in use, null for the first
};

struct ulMemFlList {
  size_t size;      // record size, a multiple of 8
  size_t blockSize; // bytes per block, link word included
  const char *tag;  // tag of the blocks (or records, with the lists off)
  void *free;       // free records, chained through their first word
  char *cur;        // next byte to carve
  size_t left;      // bytes left in the current block
  void *blocks;     // every block, chained through its first word
  LiveHeader *live; // records in use, with the lists off
};

ulMemFl ulMemFlCreate(size_t recordSize, size_t blockSize, const char *tag) {
  auto *list = static_cast<ulMemFl>(ulMemCalloc(1, sizeof(ulMemFlList), "ulMemFlList"));
  list->size = rounded(recordSize);
  if (blockSize == 0)
    blockSize = modes().blockSize;
  list->blockSize = std::max((blockSize + 7) & ~static_cast<size_t>(7), 8 + list->size);
  list->tag = tag;
  return list;
}

void *ulMemFlAlloc2(ulMemFl list) {
  if (!modes().freeLists) {
    auto *h = static_cast<LiveHeader *>(ulMemMalloc(sizeof(LiveHeader) + list->size, list->tag));
    h->prev = nullptr;
    h->next = list->live;
    if (list->live != nullptr)
      list->live->prev = h;
    list->live = h;
    return h + 1;
  }
  if (void *record = list->free) {
    unpoison(record, list->size);
    list->free = link(record);
    return record;
  }
  if (list->left < list->size) {
    char *block = static_cast<char *>(ulMemMalloc(list->blockSize, list->tag));
    link(block) = list->blocks;
    list->blocks = block;
    list->cur = block + 8;
    list->left = list->blockSize - 8;
    poison(list->cur, list->left);
  }
  void *record = list->cur;
  list->cur += list->size;
  list->left -= list->size;
  unpoison(record, list->size);
  return record;
}

void ulMemFlFree2(ulMemFl list, void *record) {
  if (record == nullptr)
    return;
  if (!modes().freeLists) {
    LiveHeader *h = static_cast<LiveHeader *>(record) - 1;
    if (h->prev != nullptr)
      h->prev->next = h->next;
    else
      list->live = h->next;
    if (h->next != nullptr)
      h->next->prev = h->prev;
    ulMemFree(h);
    return;
  }
  link(record) = list->free;
  list->free = record;
  poison(record, list->size);
}

void ulMemFlDestroy(ulMemFl list) {
  if (list == nullptr)
    return;
  while (LiveHeader *h = list->live) {
    list->live = h->next;
    ulMemFree(h);
  }
  while (void *block = list->blocks) {
    list->blocks = link(block);
    unpoison(block, list->blockSize);
    ulMemFree(block);
  }
  ulMemFree(list);
}
