// ulMemDbg.cpp: the memory-debugging mode.
//
// Each block is r + 16 bytes of heap, r being the request n rounded up to a
// multiple of 8, filled with the 8-byte guard pattern; the caller gets the
// address 8 bytes in. So a guard stands in front of the data and another one
// right behind the n requested bytes: a write one byte past the request
// changes the trailing guard even when it stays inside the rounded block.
//
// Every block is recorded (by its address, in 10001 chains) with its size, its
// tag's usage record and, for the watched tag, a serial number; usage records
// (by tag, in 101 chains) count the bytes in use per tag. All bookkeeping is
// taken with the ulMem_Fast* calls, so it never recurses into this mode.

#include "ulMem.h"

#include "ulBase.h"
#include "ulErr.h"
#include "ulMemInternal.h"
#include "ulSym.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kGuard[2] = {0xF0A55A0Fu, 0x83523B6Cu};
constexpr size_t kGuardSize = sizeof(kGuard);
constexpr size_t kBlockChains = 10001;
constexpr size_t kUsageChains = 101;
constexpr long kSerialLimit = 0x7FFFFFFF;

// Bytes in use by one tag.
struct Usage {
  Usage *next; // next record of the chain
  char *tag;   // the tag (own copy)
  long bytes;  // bytes in use
};

// One live debug block.
struct Record {
  Record *next; // next record of the chain
  char *data;   // the address handed out
  size_t size;  // the requested size
  Usage *usage; // its tag's usage record
  long serial;  // watch serial number, 0 when not watched
};

struct DbgState {
  Record *blocks[kBlockChains]; // live blocks by data address
  Usage *usage[kUsageChains];   // usage by tag
  long inUse;                   // bytes in use
  long peak;                    // most bytes ever in use
  bool everAllocated;           // anything was allocated in this mode
  long watchSerial;             // last serial handed out
};

DbgState dbgV;

inline size_t chainOf(const void *data) {
  return static_cast<size_t>(reinterpret_cast<uintptr_t>(data) % kBlockChains);
}

Usage *usageOf(const char *tag) {
  if (tag == nullptr)
    tag = "(unknown)";
  Usage **chain = &dbgV.usage[ulSymStHash(tag) % kUsageChains];
  for (Usage *u = *chain; u != nullptr; u = u->next)
    if (strcmp(u->tag, tag) == 0)
      return u;
  auto *u = static_cast<Usage *>(ulMem_FastMalloc(sizeof(Usage)));
  const size_t len = strlen(tag) + 1;
  u->tag = static_cast<char *>(ulMem_FastMalloc(len));
  memcpy(u->tag, tag, len);
  u->bytes = 0;
  u->next = *chain;
  *chain = u;
  return u;
}

inline bool watched(const Usage *u) {
  const char *watch = ulmem::modesV.watchTag;
  return watch != nullptr && strcmp(u->tag, watch) == 0;
}

// The guard words at p (any alignment).
inline void readGuard(const char *p, uint32_t words[2]) {
  memcpy(words, p, kGuardSize);
}

bool guardsIntact(const Record *r) {
  uint32_t front[2], back[2];
  readGuard(r->data - kGuardSize, front);
  readGuard(r->data + r->size, back);
  return memcmp(front, kGuard, kGuardSize) == 0 && memcmp(back, kGuard, kGuardSize) == 0;
}

[[noreturn]] void violation(const Record *r) {
  ulCleanup();
  uint32_t front[2], back[2];
  readGuard(r->data - kGuardSize, front);
  readGuard(r->data + r->size, back);
  fflush(stdout);
  fprintf(stderr, "\nError:  memory violation for type %s, size=%ld:\n", r->usage->tag,
          static_cast<long>(r->size));
  fprintf(stderr, "    First 2 longs: %lx %lx should be %lx %lx\n",
          static_cast<unsigned long>(front[0]), static_cast<unsigned long>(front[1]),
          static_cast<unsigned long>(kGuard[0]), static_cast<unsigned long>(kGuard[1]));
  fprintf(stderr, "     Last 2 longs: %lx %lx should be %lx %lx\n",
          static_cast<unsigned long>(back[0]), static_cast<unsigned long>(back[1]),
          static_cast<unsigned long>(kGuard[0]), static_cast<unsigned long>(kGuard[1]));
  fputs("    Ascii dump of first 75 bytes:\n    ", stderr);
  const size_t n = std::min<size_t>(r->size, 75);
  for (size_t i = 0; i < n; i++) {
    const auto c = static_cast<unsigned char>(r->data[i]);
    fputc(isalnum(c) || ispunct(c) || c == ' ' ? c : '.', stderr);
  }
  fputc('\n', stderr);
  fflush(stderr);
  ulAbort(1);
  abort(); // not reached: ulAbort ends the process
}

[[noreturn]] void unallocated(const void *data) {
  char text[64];
  snprintf(text, sizeof text, "Attempt to free unallocated space - %lX",
           static_cast<unsigned long>(reinterpret_cast<uintptr_t>(data)));
  ulErrReport2("ulMem", 5, text);
  abort(); // not reached: an Internal Error ends the process
}

// Unlinks and returns the record of data, or null.
Record *take(const void *data) {
  for (Record **p = &dbgV.blocks[chainOf(data)]; *p != nullptr; p = &(*p)->next) {
    if ((*p)->data == data) {
      Record *r = *p;
      *p = r->next;
      return r;
    }
  }
  return nullptr;
}

Record *find(const void *data) {
  for (Record *r = dbgV.blocks[chainOf(data)]; r != nullptr; r = r->next)
    if (r->data == data)
      return r;
  return nullptr;
}

// A new guarded, recorded block; serial is set for a watched tag.
Record *allocate(size_t size, const char *tag) {
  if (size == 0)
    size = 1;
  const size_t rounded = (size + 7) & ~static_cast<size_t>(7);
  // A request too large to carry its guards would wrap the sizes below; ask
  // the heap for SIZE_MAX instead, which it refuses, so the request takes the
  // out-of-memory path as it does in a normal run.
  const bool fits = size <= SIZE_MAX - 7 - 2 * kGuardSize;
  char *raw = static_cast<char *>(ulMem_FastMalloc(fits ? rounded + 2 * kGuardSize : SIZE_MAX));
  for (size_t off = 0; off < rounded + 2 * kGuardSize; off += kGuardSize)
    memcpy(raw + off, kGuard, kGuardSize);
  auto *r = static_cast<Record *>(ulMem_FastMalloc(sizeof(Record)));
  r->data = raw + kGuardSize;
  memcpy(r->data + size, kGuard, kGuardSize);
  r->size = size;
  r->usage = usageOf(tag);
  r->serial = 0;
  if (watched(r->usage)) {
    if (++dbgV.watchSerial >= kSerialLimit)
      dbgV.watchSerial = 1;
    r->serial = dbgV.watchSerial;
  }
  Record **chain = &dbgV.blocks[chainOf(r->data)];
  r->next = *chain;
  *chain = r;
  r->usage->bytes += static_cast<long>(size);
  dbgV.inUse += static_cast<long>(size);
  dbgV.peak = std::max(dbgV.peak, dbgV.inUse);
  dbgV.everAllocated = true;
  return r;
}

// Forgets an unlinked record and frees its block.
void release(Record *r) {
  r->usage->bytes -= static_cast<long>(r->size);
  dbgV.inUse -= static_cast<long>(r->size);
  ulMem_FastFree(r->data - kGuardSize);
  ulMem_FastFree(r);
}

void *dbgAllocate(size_t size, const char *tag, const char *how) {
  Record *r = allocate(size, tag);
  if (r->serial != 0)
    ulErrYell("ulMemWATCH: %s, %d [%ld] bytes\n", how, static_cast<int>(r->size), r->serial);
  return r->data;
}

// Every live record, in chain order, in a Fast block of *count entries.
Record **snapshot(size_t *count) {
  size_t n = 0;
  for (Record *chain : dbgV.blocks)
    for (Record *r = chain; r != nullptr; r = r->next)
      n++;
  auto **all = static_cast<Record **>(ulMem_FastMalloc((n + 1) * sizeof(Record *)));
  n = 0;
  for (Record *chain : dbgV.blocks)
    for (Record *r = chain; r != nullptr; r = r->next)
      all[n++] = r;
  *count = n;
  return all;
}

} // namespace

void *ulMem_DbgMalloc(size_t size, const char *tag) {
  return dbgAllocate(size, tag, "malloc");
}

void *ulMem_DbgCalloc(size_t count, size_t size, const char *tag) {
  size_t total = 0;
  if (__builtin_mul_overflow(count, size, &total))
    total = SIZE_MAX / 2; // refused by the heap: the out-of-memory path
  char *data = static_cast<char *>(dbgAllocate(total, tag, "calloc"));
  memset(data, 0, total == 0 ? 1 : total);
  return data;
}

void *ulMem_DbgRealloc(void *block, size_t size, const char *tag) {
  if (block == nullptr)
    return dbgAllocate(size, tag, "malloc");
  Record *old = find(block);
  if (old == nullptr)
    unallocated(block);
  if (!guardsIntact(old))
    violation(old);
  Record *moved = allocate(size, tag != nullptr ? tag : old->usage->tag);
  memcpy(moved->data, old->data, std::min(old->size, moved->size));
  if (old->serial != 0 || moved->serial != 0)
    ulErrYell("ulMemWATCH: %s, %d [%ld] to %d [%ld] bytes\n", "realloc",
              static_cast<int>(old->size), old->serial, static_cast<int>(moved->size),
              moved->serial);
  release(take(block));
  return moved->data;
}

void ulMem_DbgFree(void *block) {
  if (block == nullptr)
    return;
  Record *r = find(block);
  if (r == nullptr)
    unallocated(block);
  if (!guardsIntact(r))
    violation(r);
  if (r->serial != 0)
    ulErrYell("ulMemWATCH: %s, %d [%ld] bytes\n", "free", static_cast<int>(r->size), r->serial);
  release(take(block));
}

void ulMem_DbgTestMemory() {
  if (!ulmem::modes().debug)
    return;
  for (Record *chain : dbgV.blocks)
    for (Record *r = chain; r != nullptr; r = r->next)
      if (!guardsIntact(r))
        violation(r);
}

void ulMem_DbgCallFuncForStr(const char *tag, void (*function)(void *data, void *block),
                             void *data) {
  if (!ulmem::modes().debug)
    return;
  if (tag == nullptr)
    tag = "(unknown)";
  // The function may free the block it gets, so walk a snapshot.
  size_t n = 0;
  Record **all = snapshot(&n);
  size_t kept = 0;
  for (size_t i = 0; i < n; i++)
    if (strcmp(all[i]->usage->tag, tag) == 0)
      all[kept++] = all[i];
  for (size_t i = 0; i < kept; i++)
    function(data, all[i]->data);
  ulMem_FastFree(all);
}

namespace {

struct Column {
  int column; // characters printed on the current line
};

void printString(void *data, void *block) {
  auto *col = static_cast<Column *>(data);
  const Record *r = find(block);
  const auto *text = static_cast<const char *>(block);
  const int len = static_cast<int>(strnlen(text, r->size));
  if (col->column > 0 && col->column + len > 80) {
    fputc('\n', stdout);
    col->column = 0;
  }
  fwrite(text, 1, static_cast<size_t>(len), stdout);
  fputc(' ', stdout);
  col->column += len + 1;
}

} // namespace

void ulMem_DbgPrintStrings() {
  if (!ulmem::modes().debug)
    return;
  fputs("\n\nUnfreed strings:\n", stdout);
  Column col{0};
  ulMem_DbgCallFuncForStr("ulString", printString, &col);
  fputc('\n', stdout);
  fflush(stdout);
}

void ulMemPrintUsage(ulMemPrintFunc print) {
  if (!ulmem::modes().debug || !dbgV.everAllocated)
    return;
  if (print == nullptr ||
      reinterpret_cast<void (*)()>(print) == reinterpret_cast<void (*)()>(&ulDummyProc))
    print = ulmem::printStdout;

  char line[128];
  snprintf(line, sizeof line, "Maximum memory usage=%ld, current memory usage=%ld", dbgV.peak,
           dbgV.inUse);
  print(line);

  // Tags holding memory, largest first, two to a line.
  size_t n = 0;
  for (Usage *chain : dbgV.usage)
    for (Usage *u = chain; u != nullptr; u = u->next)
      n += u->bytes != 0;
  auto **tags = static_cast<Usage **>(ulMem_FastMalloc((n + 1) * sizeof(Usage *)));
  n = 0;
  for (Usage *chain : dbgV.usage)
    for (Usage *u = chain; u != nullptr; u = u->next)
      if (u->bytes != 0)
        tags[n++] = u;
  std::sort(tags, tags + n, [](const Usage *a, const Usage *b) {
    return a->bytes != b->bytes ? a->bytes > b->bytes : strcmp(a->tag, b->tag) < 0;
  });
  char text[160];
  size_t used = 0;
  for (size_t i = 0; i < n; i++) {
    const int percent = dbgV.inUse > 0 ? static_cast<int>(tags[i]->bytes * 100 / dbgV.inUse) : 0;
    const int w = snprintf(text + used, sizeof text - used, "%20s:%7ld (%2d%%) ", tags[i]->tag,
                           tags[i]->bytes, percent);
    used = std::min(used + static_cast<size_t>(std::max(w, 0)), sizeof text - 1);
    if (i % 2 == 1 || i + 1 == n) {
      print(text);
      used = 0;
    }
  }
  ulMem_FastFree(tags);

  const char *watch = ulmem::modesV.watchTag;
  if (watch == nullptr)
    return;
  print("ulMemWATCH: unfreed");
  size_t count = 0;
  Record **all = snapshot(&count);
  size_t kept = 0;
  for (size_t i = 0; i < count; i++)
    if (all[i]->serial != 0)
      all[kept++] = all[i];
  std::sort(all, all + kept,
            [](const Record *a, const Record *b) { return a->serial < b->serial; });
  used = 0;
  for (size_t i = 0; i < kept; i++) {
    const int w = snprintf(text + used, sizeof text - used, "[%ld] ", all[i]->serial);
    used = std::min(used + static_cast<size_t>(std::max(w, 0)), sizeof text - 1);
    if (i % 8 == 7 || i + 1 == kept) {
      print(text);
      used = 0;
    }
  }
  ulMem_FastFree(all);
}

void ulMemPrintUsageStdout() {
  ulMemPrintUsage(nullptr);
}
