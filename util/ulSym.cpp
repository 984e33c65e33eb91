// ulSym.cpp: symbol tables (chained hashing with an optional growth rule) and
// their key functions.

#include "ulSym.h"

#include "ulBase.h"
#include "ulMem.h"
#include "ulStr.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char *kTableTag = "Hash Table";
constexpr const char *kEntryTag = "Hash Entry";
constexpr const char *kGrowthTag = "Hash Dynamic Info";
constexpr const char *kSlotsTag = "Hash Slots";

// One stored key and its value, at the head of its chain when new.
struct Entry {
  Entry *next; // next entry of the chain
  void *key;   // the stored key (keyCopy of the key given)
  void *value; // the value
};

// The growth rule of a dynamic table.
struct Growth {
  double loadLimit;    // grow when loadLimit x buckets < entries
  double growthFactor; // new bucket count = entries x growthFactor, to a prime
};

} // namespace

struct ulSymTable {
  ulSymHashFunc hash;         // key -> 32-bit hash
  ulSymEqualFunc equal;       // stored key vs key (null when strEqual is used)
  ulSymKeyCopyFunc keyCopy;   // the key to store for a key
  ulSymKeyFreeFunc keyFree;   // releases a stored key
  void *notFound;             // returned for absent keys
  unsigned int buckets;       // number of chains
  unsigned int entries;       // number of entries
  Growth *growth;             // null for a fixed-size table
  Entry **slots;              // the chain heads
  ulSymStrEqualFunc strEqual; // string equality, when given instead of equal
};

namespace {

inline bool same(const ulSymTable *t, const void *entryKey, const void *key) {
  if (t->strEqual != nullptr)
    return t->strEqual(static_cast<const char *>(entryKey), static_cast<const char *>(key)) != 0;
  return t->equal(entryKey, key) != 0;
}

inline Entry **chainOf(const ulSymTable *t, const void *key) {
  return &t->slots[t->hash(key) % t->buckets];
}

// The link in chain that points at key's entry (it holds null when absent).
inline Entry **findIn(const ulSymTable *t, Entry **chain, const void *key) {
  Entry **link = chain;
  while (*link != nullptr && !same(t, (*link)->key, key))
    link = &(*link)->next;
  return link;
}

inline Entry **linkOf(const ulSymTable *t, const void *key) {
  return findIn(t, chainOf(t, key), key);
}

// Moves every entry into a new array of buckets chains: bucket by bucket,
// along each chain, each entry put at the head of its new chain.
void rehash(ulSymTable *t, unsigned int buckets) {
  auto **slots = static_cast<Entry **>(ulMemCalloc(buckets, sizeof(Entry *), kSlotsTag));
  for (unsigned int b = 0; b < t->buckets; b++) {
    for (Entry *e = t->slots[b]; e != nullptr;) {
      Entry *next = e->next;
      Entry **head = &slots[t->hash(e->key) % buckets];
      e->next = *head;
      *head = e;
      e = next;
    }
  }
  ulMemFree(t->slots);
  t->slots = slots;
  t->buckets = buckets;
}

// The integer square root of n, found bit by bit from bit 8 down: exact below
// 262144, at most 511 above.
unsigned int smallRoot(unsigned int n) {
  unsigned int root = 0;
  for (unsigned int bit = 1u << 8; bit != 0; bit >>= 1) {
    const unsigned int trial = root | bit;
    if (static_cast<unsigned long long>(trial) * trial <= n)
      root = trial;
  }
  return root;
}

// No divisor from the (capped) square root down to 2.
bool primeEnough(unsigned int n) {
  for (unsigned int d = smallRoot(n); d >= 2; d--)
    if (n % d == 0)
      return false;
  return true;
}

void applyGrowth(ulSymTable *t) {
  const Growth *g = t->growth;
  if (!(g->loadLimit * t->buckets < t->entries))
    return;
  auto count = static_cast<unsigned int>(t->entries * g->growthFactor);
  if (count == 0)
    return;
  if (count % 2 == 0)
    count++;
  while (!primeEnough(count))
    count += 2;
  rehash(t, count);
}

inline void freeEntry(Entry *e) {
  ulMemFlFree(e, sizeof(Entry));
}

inline bool isDummy(const void *function, void (*dummy)()) {
  return function == nullptr || function == reinterpret_cast<const void *>(dummy);
}

} // namespace

// ---- Tables -----------------------------------------------------------------

namespace {

ulSym create(unsigned int buckets, ulSymHashFunc hash, ulSymEqualFunc equal,
             ulSymStrEqualFunc strEqual, ulSymKeyCopyFunc keyCopy, ulSymKeyFreeFunc keyFree) {
  if (buckets == 0)
    buckets = 1;
  auto *t = static_cast<ulSymTable *>(ulMemFlAlloc(sizeof(ulSymTable), kTableTag));
  t->hash = hash;
  t->equal = equal;
  t->keyCopy = keyCopy;
  t->keyFree = keyFree;
  t->notFound = nullptr;
  t->buckets = buckets;
  t->entries = 0;
  t->growth = nullptr;
  t->slots = static_cast<Entry **>(ulMemCalloc(buckets, sizeof(Entry *), kSlotsTag));
  t->strEqual = strEqual;
  return t;
}

} // namespace

ulSym ulSymCreate(unsigned int buckets, ulSymHashFunc hash, ulSymEqualFunc equal,
                  ulSymKeyCopyFunc keyCopy, ulSymKeyFreeFunc keyFree) {
  return create(buckets, hash, equal, nullptr, keyCopy, keyFree);
}

ulSym ulSymCreate(unsigned int buckets, ulSymHashFunc hash, ulSymStrEqualFunc equal,
                  ulSymKeyCopyFunc keyCopy, ulSymKeyFreeFunc keyFree) {
  return create(buckets, hash, nullptr, equal, keyCopy, keyFree);
}

void ulSymNotFoundValue(ulSym table, void *value) {
  table->notFound = value;
}

void ulSymDynamic(ulSym table, double loadLimit, double growthFactor) {
  if (table->growth == nullptr)
    table->growth = static_cast<Growth *>(ulMemFlAlloc(sizeof(Growth), kGrowthTag));
  table->growth->loadLimit = loadLimit;
  table->growth->growthFactor = growthFactor;
  applyGrowth(table);
}

void ulSymResize(ulSym table, unsigned int buckets) {
  rehash(table, buckets != 0 ? buckets : table->buckets);
}

void *ulSymStore(ulSym table, const void *key, void *value) {
  Entry **head = chainOf(table, key);
  Entry **link = findIn(table, head, key);
  if (Entry *e = *link) {
    void *previous = e->value;
    void *oldKey = e->key;
    e->key = table->keyCopy(key); // copied first: key may be the stored key itself
    table->keyFree(oldKey);
    e->value = value;
    return previous;
  }
  auto *e = static_cast<Entry *>(ulMemFlAlloc(sizeof(Entry), kEntryTag));
  e->next = *head;
  e->key = table->keyCopy(key);
  e->value = value;
  *head = e;
  table->entries++;
  if (table->growth != nullptr)
    applyGrowth(table);
  return table->notFound;
}

void *ulSymFetch(ulSym table, const void *key) {
  const Entry *e = *linkOf(table, key);
  return e != nullptr ? e->value : table->notFound;
}

void **ulSymFetchAddr(ulSym table, const void *key) {
  Entry *e = *linkOf(table, key);
  return e != nullptr ? &e->value : nullptr;
}

void *ulSymRemove(ulSym table, const void *key) {
  Entry **link = linkOf(table, key);
  Entry *e = *link;
  if (e == nullptr)
    return table->notFound;
  *link = e->next;
  void *value = e->value;
  table->keyFree(e->key);
  freeEntry(e);
  table->entries--;
  return value;
}

unsigned int ulSymSize(ulSym table) {
  return table->entries;
}

unsigned int ulSymBuckets(ulSym table) {
  return table->buckets;
}

namespace {

template <class Release> void clear(ulSym table, Release release) {
  for (unsigned int b = 0; b < table->buckets; b++) {
    Entry *e = table->slots[b];
    table->slots[b] = nullptr;
    while (e != nullptr) {
      Entry *next = e->next;
      table->keyFree(e->key);
      release(e);
      freeEntry(e);
      e = next;
    }
  }
  table->entries = 0;
}

} // namespace

void ulSymClear(ulSym table, ulSymValueFreeFunc valueFree) {
  if (isDummy(reinterpret_cast<const void *>(valueFree), reinterpret_cast<void (*)()>(ulDummyProc)))
    valueFree = nullptr;
  clear(table, [valueFree](Entry *e) {
    if (valueFree != nullptr)
      valueFree(e->value);
  });
}

void ulSymClearAddr(ulSym table, ulSymValueAddrFreeFunc valueFree) {
  if (isDummy(reinterpret_cast<const void *>(valueFree), reinterpret_cast<void (*)()>(ulDummyProc)))
    valueFree = nullptr;
  clear(table, [valueFree](Entry *e) {
    if (valueFree != nullptr)
      valueFree(&e->value);
  });
}

void ulSymDestroy(ulSym table, ulSymValueFreeFunc valueFree) {
  if (table == nullptr)
    return;
  ulSymClear(table, valueFree);
  ulMemFree(table->slots);
  if (table->growth != nullptr)
    ulMemFlFree(table->growth, sizeof(Growth));
  ulMemFlFree(table, sizeof(ulSymTable));
}

// ---- Loops ------------------------------------------------------------------

namespace {

// Calls visit(entry) for every entry in loop order until it returns false.
template <class Visit> int forEach(ulSym table, Visit visit) {
  for (unsigned int b = 0; b < table->buckets; b++)
    for (Entry *e = table->slots[b]; e != nullptr;) {
      Entry *next = e->next;
      if (!visit(e))
        return 0;
      e = next;
    }
  return 1;
}

} // namespace

int ulSymLoop(ulSym table, ulSymLoopFunc function, void *data1, void *data2) {
  return forEach(table, [&](Entry *e) { return function(e->value, e->key, data1, data2) != 0; });
}

int ulSymLoopAddr(ulSym table, ulSymLoopAddrFunc function, void *data1, void *data2) {
  return forEach(table, [&](Entry *e) { return function(&e->value, e->key, data1, data2) != 0; });
}

int ulSymLoopAddr2(ulSym table, ulSymLoopAddr2Func function, void *data1, void *data2) {
  return forEach(table, [&](Entry *e) { return function(&e->value, &e->key, data1, data2) != 0; });
}

int ulSymLoopResume(ulSym table, ulSymLoopFunc function, const void *startKey, void *data1,
                    void *data2) {
  bool started = false;
  return forEach(table, [&](Entry *e) {
    if (!started) {
      started = same(table, e->key, startKey);
      return true;
    }
    return function(e->value, e->key, data1, data2) != 0;
  });
}

// ---- Whole tables -----------------------------------------------------------

namespace {

void storeFrom(ulSym destination, const Entry *e, ulSymValueFreeFunc valueFree) {
  const bool present = ulSymFetchAddr(destination, e->key) != nullptr;
  void *previous = ulSymStore(destination, e->key, e->value);
  if (present && valueFree != nullptr)
    valueFree(previous);
}

} // namespace

void ulSymMoveAll(ulSym destination, ulSym source, ulSymValueFreeFunc valueFree) {
  ulSymCopyAll(destination, source, valueFree);
  ulSymClear(source, nullptr);
}

void ulSymCopyAll(ulSym destination, ulSym source, ulSymValueFreeFunc valueFree) {
  if (isDummy(reinterpret_cast<const void *>(valueFree), reinterpret_cast<void (*)()>(ulDummyProc)))
    valueFree = nullptr;
  forEach(source, [&](Entry *e) {
    storeFrom(destination, e, valueFree);
    return true;
  });
}

namespace {

template <class Less> void **toArray(ulSym table, void **array, bool sorted, Less less) {
  const unsigned int n = table->entries;
  if (array == nullptr)
    array = static_cast<void **>(ulMemMalloc((n + 1) * sizeof(void *), "ulSymArray"));
  if (!sorted) {
    unsigned int i = 0;
    forEach(table, [&](Entry *e) {
      array[i++] = e->value;
      return true;
    });
  } else {
    auto **entries = static_cast<Entry **>(ulMemMalloc((n + 1) * sizeof(Entry *), "ulSymSort"));
    unsigned int i = 0;
    forEach(table, [&](Entry *e) {
      entries[i++] = e;
      return true;
    });
    std::sort(entries, entries + n, less);
    for (i = 0; i < n; i++)
      array[i] = entries[i]->value;
    ulMemFree(entries);
  }
  array[n] = nullptr;
  return array;
}

} // namespace

void **ulSymTableToArray(ulSym table, void **array, ulSymCompareFunc compare) {
  const bool sorted =
      !isDummy(reinterpret_cast<const void *>(compare), reinterpret_cast<void (*)()>(ulDummyProc));
  return toArray(table, array, sorted,
                 [compare](const Entry *a, const Entry *b) { return compare(a->key, b->key) < 0; });
}

void **ulSymTableToArray(ulSym table, void **array, ulSymStrCompareFunc compare) {
  const bool sorted =
      !isDummy(reinterpret_cast<const void *>(compare), reinterpret_cast<void (*)()>(ulDummyProc));
  return toArray(table, array, sorted, [compare](const Entry *a, const Entry *b) {
    return compare(static_cast<const char *>(a->key), static_cast<const char *>(b->key)) < 0;
  });
}

void ulSymDump(ulSym table) {
  for (unsigned int b = 0; b < table->buckets; b++) {
    if (table->slots[b] == nullptr)
      continue;
    printf("\n%d:\t", static_cast<int>(b));
    for (const Entry *e = table->slots[b]; e != nullptr; e = e->next)
      putchar('*');
  }
  putchar('\n');
}

// ---- Key functions ----------------------------------------------------------

unsigned int ulSymStHash(const void *s) {
  if (s == nullptr)
    return 0;
  const auto *p = static_cast<const unsigned char *>(s);
  unsigned int hash = 0;
  for (unsigned int i = 0; p[i] != 0; i++)
    hash += static_cast<unsigned int>(p[i]) << ((7 * i) % 16);
  return hash;
}

unsigned int ulSymStIhash(const void *s) {
  if (s == nullptr)
    return 0;
  const auto *p = static_cast<const signed char *>(s);
  unsigned int hash = 0;
  for (unsigned int i = 0; p[i] != 0; i++) {
    int c = p[i];
    if (c >= 'A' && c <= 'Z')
      c += 32;
    hash += static_cast<unsigned int>(c) << (i % 8);
  }
  return hash;
}

unsigned int ulSymPtrHash(const void *p) {
  return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(p));
}

int ulSymPtrCmp(const void *a, const void *b) {
  return a == b;
}

void *ulSymStCpy(const void *s) {
  return ulStrCpy(static_cast<const char *>(s));
}

void ulSymStFree(void *s) {
  if (s != nullptr)
    ulStrFree(static_cast<const char *>(s));
}

void *ulSymReturn(const void *key) {
  return const_cast<void *>(key);
}

void ulSymDummy(void *) {}
