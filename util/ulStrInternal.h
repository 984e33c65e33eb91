// ulStrInternal.h: state shared by the files of the string layer (not for
// other modules).
//
// The pool and the concatenation buffers (ulStr.cpp), the formatting buffers
// (ulStrFmt.cpp), the scanner (ulStrTok.cpp) and the escape character set
// (ulStrCvt.cpp) live in one process-wide record, so that ulStrTerminate can
// release everything the layer holds and the hot paths test a plain flag.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ulStr.h"

namespace ulstr {

// Pool geometry: a block holds a 4-byte used count, the slot area and a 4-byte
// link to the previous block.
inline constexpr int kBlockSize = 4088;
inline constexpr int kSlotArea = 4080;
inline constexpr int kUsedOffset = 0;
inline constexpr int kSlotsOffset = 4;
inline constexpr int kLinkOffset = kSlotsOffset + kSlotArea;
inline constexpr int kLists = 64;   // free lists, indexed by slot size
inline constexpr int kMinSlot = 4;  // room for a free-list link
inline constexpr int kLargeAt = 63; // n + 1 >= 63: a large string

// Header bytes.
inline constexpr unsigned char kHeaderLarge = 0;
inline constexpr unsigned char kHeaderEmpty = 1;

struct State {
  bool setUp;      // the environment was read and the exit orders recorded
  bool poolOn;     // slots are handed out; off: plain heap strings
  bool windowFull; // a block fell outside the 32-bit link range: carve no more

  // Links stored in slots and blocks are 32 bits, so they hold the signed
  // byte offset of their target from the first block ever taken (base).
  uintptr_t base;            // address of the first pool block, 0 before it
  char *block;               // the block slots are carved from, null before the first
  uint32_t used;             // bytes of its slot area handed out (also stored in it)
  uint32_t freeHead[kLists]; // encoded first free slot of each size, 0 when empty
  // Every block as a plain pointer too: the 32-bit links are invisible to a
  // leak checker, which would otherwise report every block but the current
  // one as lost. Grown with the fast heap calls, released by ulStrTerminate.
  char **blocks;
  int blockCount;
  int blockCapacity;
  long freeBytes; // bytes of all slots on the free lists

  ulStrBuf *cat[2]; // ulStrCat's build and result buffers

  char *fmtWork;     // ulSprintfStatic formats here ...
  int fmtWorkSize;   // ... (bytes)
  char *fmtResult;   // ... and returns a copy from here
  int fmtResultSize; // (bytes)

  char *lexText;      // ulStrLex's copy of the text being scanned
  size_t lexTextSize; // bytes allocated for it
  size_t lexCursor;   // index of the next character to scan
  ulStrBuf *lexToken; // token buffer for callers that pass none

  int chrset; // ulStrCvtChrset: 1 seven-bit, 2 Latin-1
};

extern State stateV;

// Reads the environment and records the exit orders (first call only).
[[gnu::cold]] void setUp();

inline State &state() {
  if (__builtin_expect(!stateV.setUp, 0))
    setUp();
  return stateV;
}

// Releases the formatting buffers (ulStrFmt.cpp) and the scanner's buffers
// (ulStrTok.cpp); called by ulStrTerminate.
void releaseFormatBuffers();
void releaseLexBuffers();

// Membership in a delimiter set; a null set is empty and the terminator is
// never a member.
inline bool inSet(const char *set, char c) {
  if (set == nullptr || c == '\0')
    return false;
  for (; *set != '\0'; ++set)
    if (*set == c)
      return true;
  return false;
}

} // namespace ulstr
