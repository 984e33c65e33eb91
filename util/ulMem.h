// ulMem.h: tagged allocation, out-of-memory policy and fixed-size free lists.
//
// Every heap block of the system is taken here. Each allocation names its use
// with a tag, a short constant text such as "vqBLOCK" or "Hash Entry":
//
//   p = ulMemMalloc(sizeof(Rec), "Rec");     // or ulMemCalloc, ulMemRealloc
//   ...
//   ulMemFree(p);                            // null is allowed
//
// Small records of one fixed size (list cells, table entries, error records)
// come from the free lists instead, and go back to them with the size they
// were asked for:
//
//   r = ulMemFlAlloc(sizeof(Rec), "Rec");
//   ulMemFlFree(r, sizeof(Rec));
//
// Modes. The environment is read once, at the first allocation:
//   - normal: each call is one C heap call behind the retry loop below;
//   - debugging (UL_MEMDBG set, UL_PURIFY not set): every block is wrapped in
//     8-byte guards, recorded with its tag and checked when freed, reallocated
//     and at exit; usage is accounted per tag; UL_MEMWATCH names one tag whose
//     allocations and frees are traced with serial numbers;
//   - the free lists are off when UL_MEMDBG, UL_MEMFLDISABLE or UL_PURIFY is
//     set (every record is then a plain tagged heap block, so memory checkers
//     see each one); UL_BLOCKSIZE sets the size of the blocks that records are
//     carved from (32000 bytes by default).
//
// Errors. Running out of memory is handled here and nowhere else: while the C
// heap refuses a request, the hook ulMemOutV is called with the attempt number
// and the request is retried. The default hook, ulMemExit, runs the purge
// routines (pools of other modules give their memory back) for the first two
// attempts and then prints "Out of memory." and ends the process with status 3.
// So no allocation function ever returns null. In debugging mode, freeing a
// block that is not allocated ends the process through an Internal Error
// report, and a damaged guard ends it with a memory violation report.
//
// Ownership: the caller owns every block it gets and frees it with the
// matching call (ulMemFree for ulMemMalloc/Calloc/Realloc, ulMemFlFree with the
// same size for ulMemFlAlloc, ulMemFlFree2 on the same list for ulMemFlAlloc2).
//
// Nothing here is thread-safe: tables, counters and free lists are
// process-wide.
#pragma once

#include <cstddef>

// ---- Allocation -------------------------------------------------------------

// A block of size bytes (a size of 0 is served as 1 byte), never null.
void *ulMemMalloc(size_t size, const char *tag);

// A zero-filled block of count * size bytes, never null.
void *ulMemCalloc(size_t count, size_t size, const char *tag);

// Resizes block to size bytes, keeping its contents up to the smaller size,
// and returns the (possibly moved) block; a null block is allocated.
void *ulMemRealloc(void *block, size_t size, const char *tag);

// Frees a block of ulMemMalloc/ulMemCalloc/ulMemRealloc; null does nothing.
void ulMemFree(void *block);

// The plain C heap calls behind the retry loop, without tags or debugging
// records (the debugging machinery allocates its own bookkeeping with them).
void *ulMem_FastMalloc(size_t size);
void *ulMem_FastCalloc(size_t count, size_t size);
void *ulMem_FastRealloc(void *block, size_t size);
void ulMem_FastFree(void *block);

// The debugging variants: guarded, recorded, accounted to their tag. Only
// valid for blocks of the debugging mode; ulMemMalloc and its companions call
// them when that mode is on.
void *ulMem_DbgMalloc(size_t size, const char *tag);
void *ulMem_DbgCalloc(size_t count, size_t size, const char *tag);
void *ulMem_DbgRealloc(void *block, size_t size, const char *tag);
void ulMem_DbgFree(void *block);

// ---- Debugging reports ------------------------------------------------------

// Checks the guards of every recorded block; a damaged one ends the process
// with the memory violation report. Does nothing outside debugging mode.
void ulMem_DbgTestMemory();

// Prints "\n\nUnfreed strings:\n" and the text of every unfreed block tagged
// "ulString", separated by blanks and wrapped before column 80, on standard
// output. Does nothing outside debugging mode.
void ulMem_DbgPrintStrings();

// Calls function(data, block) for every recorded block of tag (in debugging
// mode; nothing otherwise). The function may free the block it is given.
void ulMem_DbgCallFuncForStr(const char *tag, void (*function)(void *data, void *block),
                             void *data);

// Receives one text of a usage report (without a newline).
using ulMemPrintFunc = void (*)(const char *text);

// In debugging mode, once anything was allocated: hands print the line
// "Maximum memory usage=%ld, current memory usage=%ld", then the tags that hold
// memory ("%20s:%7ld (%2d%%) " each, two to a text, largest first), and for a
// watched tag "ulMemWATCH: unfreed" and the "[%ld]" serial numbers of its
// unfreed blocks. A null print, or ulDummyProc cast to ulMemPrintFunc, prints
// each text and a newline on standard output.
void ulMemPrintUsage(ulMemPrintFunc print);

// ulMemPrintUsage on standard output.
void ulMemPrintUsageStdout();

// ---- Out of memory ----------------------------------------------------------

// Called with the attempt number (0, 1, 2, ...) each time the C heap refuses a
// request, before the request is retried. Holds ulMemExit; null means
// ulMemExit too. A hook may throw to abandon the request.
extern void (*ulMemOutV)(int attempt);

// The default hook: attempts 0 and 1 run the purge routines (unless a purge is
// already running) and return; later attempts, or any attempt during a purge,
// print the usage, run ulCleanup, print "Out of memory.\n" on standard error
// and end the process with status 3 (ulAbort(0)).
void ulMemExit(int attempt);

// Registers a routine that gives memory back; routines run newest first.
void ulAddPurgeRoutine(void (*function)());

// Runs every purge routine once.
void ulMemPurge();

// ---- Byte helpers -----------------------------------------------------------

// Copies count bytes from from to to; the areas may overlap. Returns to.
void *ulMemMove(void *to, const void *from, size_t count);

// The last byte equal to c among the count bytes at block, or null.
void *ulMemRchr(const void *block, int c, size_t count);

// ---- Fixed-size free lists --------------------------------------------------

// A record of size bytes from the free list of its size rounded up to a
// multiple of 8 (0 counts as 8); sizes above 160 come from the heap. With the
// free lists off this is ulMemMalloc(size, tag). Never null.
void *ulMemFlAlloc(size_t size, const char *tag);

// Gives a record of ulMemFlAlloc back; size is the size it was allocated with.
// A null record does nothing.
void ulMemFlFree(void *record, size_t size);

// Gives the carved blocks whose records are all free back to the heap. Runs as
// a purge routine; may also be called directly.
void ulMemFlPurge();

// A free-list object: a private free list for records of one size, for
// modules that want their records kept apart from the shared lists.
struct ulMemFlList;
using ulMemFl = ulMemFlList *;

// A new free-list object for records of recordSize bytes, carving blocks of
// about blockSize bytes (0 takes the free lists' block size) tagged tag.
ulMemFl ulMemFlCreate(size_t recordSize, size_t blockSize, const char *tag);

// A record of the object's size, never null.
void *ulMemFlAlloc2(ulMemFl list);

// Gives a record of ulMemFlAlloc2 back to its object; null does nothing.
void ulMemFlFree2(ulMemFl list, void *record);

// Frees the object and all its blocks: every record of it becomes invalid.
void ulMemFlDestroy(ulMemFl list);
