// ulMem.cpp: the tagged allocator in normal mode, the retry loop, the
// out-of-memory policy and the purge routines.

#include "ulMem.h"

#include "ulErr.h"
#include "ulMemInternal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ulmem {

Modes modesV;

void readModes() {
  if (modesV.ready)
    return;
  modesV.ready = true;
  const bool purify = getenv("UL_PURIFY") != nullptr;
  const bool dbg = getenv("UL_MEMDBG") != nullptr;
  modesV.debug = dbg && !purify;
  modesV.freeLists = !dbg && !purify && getenv("UL_MEMFLDISABLE") == nullptr;
  const char *watch = getenv("UL_MEMWATCH");
  modesV.watchTag = modesV.debug && watch != nullptr ? watch : nullptr;

  // Records up to 160 bytes are carved from the blocks, so a block holds at
  // least one of the largest; a multiple of 8 keeps every carved record and
  // every leftover rest aligned.
  size_t size = 32000;
  if (const char *text = getenv("UL_BLOCKSIZE")) {
    char *end = nullptr;
    const long value = strtol(text, &end, 10);
    if (end != text && value > 0)
      size = static_cast<size_t>(value);
  }
  if (size < 160)
    size = 160;
  modesV.blockSize = size & ~static_cast<size_t>(7);
}

void printStdout(const char *text) {
  fputs(text, stdout);
  fputc('\n', stdout);
}

} // namespace ulmem

using ulmem::modes;

void (*ulMemOutV)(int attempt) = ulMemExit;

namespace {

// A registered purge routine, newest first.
struct PurgeRoutine {
  PurgeRoutine *next; // the routine registered before this one
  void (*function)(); // gives memory back
};

struct PurgeState {
  PurgeRoutine *routines; // newest first
  bool running;           // inside ulMemPurge
  bool registered;        // freeRoutines is an exit handler
};

PurgeState purgeV;

// Exit handler: forgets the purge routines.
void freeRoutines() {
  while (PurgeRoutine *routine = purgeV.routines) {
    purgeV.routines = routine->next;
    ulMemFree(routine);
  }
}

// Tells the hook that the heap refused a request, the attempt-th time.
inline void outOfMemory(int attempt) {
  void (*hook)(int) = ulMemOutV != nullptr ? ulMemOutV : ulMemExit;
  hook(attempt);
}

} // namespace

// ---- Plain heap calls with retry --------------------------------------------

void *ulMem_FastMalloc(size_t size) {
  for (int attempt = 0;; attempt++) {
    if (void *block = malloc(size))
      return block;
    outOfMemory(attempt);
  }
}

void *ulMem_FastCalloc(size_t count, size_t size) {
  for (int attempt = 0;; attempt++) {
    if (void *block = calloc(count, size))
      return block;
    outOfMemory(attempt);
  }
}

void *ulMem_FastRealloc(void *block, size_t size) {
  for (int attempt = 0;; attempt++) {
    if (void *moved = realloc(block, size))
      return moved;
    outOfMemory(attempt);
  }
}

void ulMem_FastFree(void *block) {
  free(block);
}

// ---- The allocator ----------------------------------------------------------

void *ulMemMalloc(size_t size, const char *tag) {
  if (size == 0)
    size = 1;
  if (modes().debug)
    return ulMem_DbgMalloc(size, tag);
  return ulMem_FastMalloc(size);
}

void *ulMemCalloc(size_t count, size_t size, const char *tag) {
  if (count == 0 || size == 0)
    count = size = 1;
  if (modes().debug)
    return ulMem_DbgCalloc(count, size, tag);
  return ulMem_FastCalloc(count, size);
}

void *ulMemRealloc(void *block, size_t size, const char *tag) {
  if (size == 0)
    size = 1;
  if (modes().debug)
    return ulMem_DbgRealloc(block, size, tag);
  return ulMem_FastRealloc(block, size);
}

void ulMemFree(void *block) {
  if (block == nullptr)
    return;
  if (modes().debug)
    ulMem_DbgFree(block);
  else
    free(block);
}

// ---- Out of memory and purging ----------------------------------------------

void ulAddPurgeRoutine(void (*function)()) {
  auto *routine = static_cast<PurgeRoutine *>(ulMemMalloc(sizeof(PurgeRoutine), "Purge Routine"));
  routine->function = function;
  routine->next = purgeV.routines;
  purgeV.routines = routine;
  if (!purgeV.registered) {
    purgeV.registered = true;
    ulOnExitAdd2(freeRoutines);
  }
}

void ulMemPurge() {
  if (purgeV.running)
    return;
  purgeV.running = true;
  for (PurgeRoutine *routine = purgeV.routines; routine != nullptr; routine = routine->next)
    routine->function();
  purgeV.running = false;
}

void ulMemExit(int attempt) {
  if (attempt < 2 && !purgeV.running) {
    ulMemPurge();
    return;
  }
  ulMemPrintUsageStdout();
  fflush(stdout);
  ulCleanup();
  fputs("Out of memory.\n", stderr);
  ulAbort(0);
}

// ---- Byte helpers -----------------------------------------------------------

void *ulMemMove(void *to, const void *from, size_t count) {
  if (count != 0)
    memmove(to, from, count);
  return to;
}

void *ulMemRchr(const void *block, int c, size_t count) {
  const auto *bytes = static_cast<const unsigned char *>(block);
  const auto wanted = static_cast<unsigned char>(c);
  while (count > 0) {
    count--;
    if (bytes[count] == wanted)
      return const_cast<unsigned char *>(bytes + count);
  }
  return nullptr;
}
