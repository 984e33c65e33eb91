// ulStr.cpp: the string pool, owned copies, ulStrTerminate and ulStrCat.
//
// A pooled slot is header byte, characters and terminator. Free slots of one
// size are chained through their first four bytes; slots have no alignment,
// so links are read and written with memcpy. A 64-bit address does not fit in
// four bytes, so every link is the signed 32-bit distance of its target from
// the first pool block: blocks are long-lived heap blocks of one size and lie
// close together in practice. A block that the heap places more than 2 GiB
// away cannot be linked; it is given back and from then on strings that find
// no free slot are large strings, which behave the same.
#include <cstdlib>
#include <cstring>

#include "ulErr.h"
#include "ulMem.h"
#include "ulStr.h"
#include "ulStrInternal.h"

const char ulStrWhitespaceV[] = " \n\t";
const char ulStrWildcardV[] = "*";

namespace ulstr {

State stateV = {};

namespace {

// The shared empty string: its header and its terminator. Writable, so that a
// caller of ulStrAlloc(1) may store the terminator it was promised room for.
char emptyV[2] = {static_cast<char>(kHeaderEmpty), '\0'};

uint32_t encode(const State &s, const char *p) {
  auto distance = static_cast<intptr_t>(reinterpret_cast<uintptr_t>(p) - s.base);
  return static_cast<uint32_t>(static_cast<int32_t>(distance));
}

char *decode(const State &s, uint32_t link) {
  auto distance = static_cast<intptr_t>(static_cast<int32_t>(link));
  return reinterpret_cast<char *>(s.base + static_cast<uintptr_t>(distance));
}

uint32_t load32(const char *p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void store32(char *p, uint32_t v) {
  std::memcpy(p, &v, sizeof v);
}

// Puts a slot of size bytes at p on the free list of its size.
void pushFree(State &s, char *p, int size) {
  store32(p, s.freeHead[size]);
  s.freeHead[size] = encode(s, p);
  s.freeBytes += size;
}

// Whether a block at b lies within reach of 32-bit links.
bool reachable(const State &s, const char *b) {
  auto distance = static_cast<intptr_t>(reinterpret_cast<uintptr_t>(b) - s.base);
  return distance >= INT32_MIN && distance <= static_cast<intptr_t>(INT32_MAX) - kBlockSize;
}

// Starts a new block after putting the rest of the current one on its free
// list. False when no reachable block could be had.
[[gnu::noinline]] bool newBlock(State &s) {
  if (s.windowFull)
    return false;
  if (s.block != nullptr) {
    int rest = kSlotArea - static_cast<int>(s.used);
    if (rest >= kMinSlot) {
      pushFree(s, s.block + kSlotsOffset + s.used, rest);
      s.used = kSlotArea;
      store32(s.block + kUsedOffset, s.used);
    }
  }
  auto *b = static_cast<char *>(ulMemMalloc(kBlockSize, "StrBlock"));
  if (s.base == 0)
    s.base = reinterpret_cast<uintptr_t>(b);
  if (!reachable(s, b)) {
    ulMemFree(b);
    s.windowFull = true;
    return false;
  }
  if (s.blockCount == s.blockCapacity) {
    s.blockCapacity = s.blockCapacity == 0 ? 16 : 2 * s.blockCapacity;
    s.blocks = static_cast<char **>(
        ulMem_FastRealloc(s.blocks, static_cast<size_t>(s.blockCapacity) * sizeof(char *)));
  }
  s.blocks[s.blockCount++] = b;
  // The link names the previous block by its slot area, which is never at
  // distance 0, so 0 can end the chain.
  store32(b + kLinkOffset, s.block != nullptr ? encode(s, s.block + kSlotsOffset) : 0);
  s.block = b;
  s.used = 0;
  store32(b + kUsedOffset, 0);
  return true;
}

// A slot of size bytes (4 to 62) with its header set, or null when the pool
// cannot grow.
char *takeSlot(State &s, int size) {
  char *p;
  if (s.freeHead[size] != 0) {
    p = decode(s, s.freeHead[size]);
    s.freeHead[size] = load32(p);
    s.freeBytes -= size;
  } else {
    if (s.block == nullptr || s.used + static_cast<uint32_t>(size) > kSlotArea) {
      if (!newBlock(s))
        return nullptr;
    }
    p = s.block + kSlotsOffset + s.used;
    s.used += static_cast<uint32_t>(size);
    store32(s.block + kUsedOffset, s.used);
  }
  p[0] = static_cast<char>(size);
  return p;
}

// Room for a string of n characters, header set, terminator not yet stored.
char *allocChars(size_t n) {
  State &s = state();
  if (!s.poolOn)
    return static_cast<char *>(ulMemMalloc(n + 1, "ulString"));
  if (n == 0)
    return emptyV + 1;
  if (n + 1 < static_cast<size_t>(kLargeAt)) {
    int size = static_cast<int>(n) + 2;
    if (size < kMinSlot)
      size = kMinSlot;
    if (char *p = takeSlot(s, size))
      return p + 1;
  }
  auto *p = static_cast<char *>(ulMemMalloc(n + 2, "ulStringLarge"));
  p[0] = static_cast<char>(kHeaderLarge);
  return p + 1;
}

// Releases one ulStrCat buffer at exit (or at ulStrTerminate) and forgets it,
// so that a second release does nothing.
void releaseCatBuffer(ulStrBuf **slot) {
  ulStrBufDestroy(*slot);
  *slot = nullptr;
}

ulStrBuf *catBuffer(State &s, int i) {
  if (s.cat[i] == nullptr) {
    s.cat[i] = ulStrBufCreate(256);
    ulOnExitAdd(releaseCatBuffer, &s.cat[i]);
  }
  return s.cat[i];
}

} // namespace

void setUp() {
  State &s = stateV;
  s.setUp = true;
  s.poolOn = std::getenv("UL_STRDISABLE") == nullptr && std::getenv("UL_PURIFY") == nullptr;
  s.chrset = 1;
  // Strings and buffers that other modules release at exit go after the
  // handlers that still use them, and before ulMemFree's own.
  ulOnExitSetOrder(ulStrFree, 90);
  ulOnExitSetOrder(ulStrBufDestroy, 90);
  ulOnExitSetOrder(releaseCatBuffer, 90);
}

} // namespace ulstr

using namespace ulstr;

// ---- Allocation -------------------------------------------------------------

char *ulStrCpy(const char *s) {
  if (s == nullptr)
    return nullptr;
  size_t n = std::strlen(s);
  char *p = allocChars(n);
  std::memcpy(p, s, n + 1); // for the shared empty string: its own terminator
  return p;
}

char *ulStrAlloc(int size) {
  if (size <= 1) {
    char *p = allocChars(0);
    p[0] = '\0';
    return p;
  }
  return allocChars(static_cast<size_t>(size) - 1);
}

void ulStrFree(const char *s) {
  if (s == nullptr)
    return;
  State &st = state();
  char *p = const_cast<char *>(s);
  // The shared empty string may still be held after ulStrTerminate switched
  // the pool off; it is a constant of the layer, never a heap block.
  if (p == emptyV + 1)
    return;
  if (!st.poolOn) {
    ulMemFree(p);
    return;
  }
  auto header = static_cast<unsigned char>(p[-1]);
  if (header == kHeaderEmpty)
    return;
  if (header == kHeaderLarge) {
    ulMemFree(p - 1);
    return;
  }
  if (header >= kMinSlot && header < kLists)
    pushFree(st, p - 1, header);
}

char *ulStrOldCopy(const char *s) {
  if (s == nullptr)
    return nullptr;
  size_t n = std::strlen(s) + 1;
  auto *p = static_cast<char *>(ulMemMalloc(n, "ulStrCpy"));
  std::memcpy(p, s, n);
  return p;
}

char *ulStrncpyNullTerm(char *dst, const char *src, int n) {
  if (dst == nullptr || n <= 0)
    return dst;
  size_t max = static_cast<size_t>(n) - 1;
  size_t len = src != nullptr ? strnlen(src, max) : 0;
  if (len != 0)
    std::memcpy(dst, src, len);
  dst[len] = '\0';
  dst[max] = '\0';
  return dst;
}

void ulStrTerminate() {
  State &s = state();
  // Buffers first: their texts are slots of the blocks released below.
  releaseCatBuffer(&s.cat[0]);
  releaseCatBuffer(&s.cat[1]);
  releaseLexBuffers();
  releaseFormatBuffers();
  if (s.block != nullptr) {
    char *b = s.block;
    for (;;) {
      uint32_t link = load32(b + kLinkOffset);
      ulMemFree(b);
      if (link == 0)
        break;
      b = decode(s, link) - kSlotsOffset;
    }
  }
  ulMem_FastFree(s.blocks);
  s.blocks = nullptr;
  s.blockCount = s.blockCapacity = 0;
  s.block = nullptr;
  s.used = 0;
  std::memset(s.freeHead, 0, sizeof s.freeHead);
  s.freeBytes = 0;
  s.poolOn = false;
}

void ulStrRestart() {
  ulStrTerminate();
  stateV.base = 0;
  stateV.windowFull = false;
  setUp();
}

int ulStrPoolIsOn() {
  return state().poolOn ? 1 : 0;
}

long ulStrPoolFreeBytes() {
  return state().freeBytes;
}

// ---- Concatenation ----------------------------------------------------------

char *ulStrCat(const char *a, const char *b) {
  State &s = state();
  ulStrBuf *build = catBuffer(s, 0);
  ulStrBuf *result = catBuffer(s, 1);
  // a or b may be the previous result, which lives in the result buffer: it
  // is read completely before that buffer is overwritten.
  ulStrBufClear(build);
  ulStrBufAppend(build, a);
  ulStrBufAppend(build, b);
  ulStrBufClear(result);
  ulStrBufAppendN(result, build->text, build->length);
  return result->text;
}

char *ulStrCatAlloc(const char *a, const char *b) {
  size_t na = a != nullptr ? std::strlen(a) : 0;
  size_t nb = b != nullptr ? std::strlen(b) : 0;
  char *p = allocChars(na + nb);
  if (na != 0)
    std::memcpy(p, a, na);
  if (nb != 0)
    std::memcpy(p + na, b, nb);
  p[na + nb] = '\0';
  return p;
}
