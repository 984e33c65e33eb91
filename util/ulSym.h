// ulSym.h: symbol tables, the one hash map of the system.
//
// A table maps keys to values, one machine word each, in chained buckets. The
// creator supplies how keys are hashed, compared, copied when stored and
// released when dropped, so the same table serves string keys and pointer
// keys:
//
//   t = ulSymCreate(31, ulSymStHash, ulStrEqu, ulSymStCpy, ulSymStFree);
//   ulSymStore(t, "name", rec);          // the table keeps its own key copy
//   rec = (Rec *)ulSymFetch(t, "name");  // the not-found value when absent
//   ulSymDestroy(t, nullptr);            // or a function freeing each value
//
//   p = ulSymCreate(67, ulSymPtrHash, ulSymPtrCmp, ulSymReturn, ulSymDummy);
//
// Case-blind string tables use ulSymStIhash with ulStrIequ. A table may be
// given a growth rule (ulSymDynamic): whenever it holds more entries than load
// limit x bucket count, its bucket count grows by the growth factor to the
// next prime, and all entries are rehashed.
//
// Absent keys are not an error: fetching or removing one yields the table's
// not-found value (0 unless set with ulSymNotFoundValue). Values belong to the
// caller; the table only hands them to a value-free function where one is
// given. Keys stored with ulSymStCpy belong to the table.
//
// Loops visit bucket by bucket in ascending order and along each chain, newest
// entry of a chain first. A table must not be changed from inside one of its
// own loops (reading it is fine).
//
// Tables and entries come from the fixed-size free lists; only bucket arrays
// are heap blocks. Nothing here is thread-safe.
#pragma once

#include <cstdint>

struct ulSymTable;
using ulSym = ulSymTable *;

// Hash of a key.
using ulSymHashFunc = unsigned int (*)(const void *key);
// Non-zero when the stored key entryKey and key are the same key.
using ulSymEqualFunc = int (*)(const void *entryKey, const void *key);
// The same for string keys (ulStrEqu, ulStrIequ).
using ulSymStrEqualFunc = int (*)(const char *entryKey, const char *key);
// The key to store for key.
using ulSymKeyCopyFunc = void *(*)(const void *key);
// Releases a stored key.
using ulSymKeyFreeFunc = void (*)(void *key);
// Releases a value (ulMemFree fits).
using ulSymValueFreeFunc = void (*)(void *value);
// Releases a value given its address in the table.
using ulSymValueAddrFreeFunc = void (*)(void **value);
// Loop callbacks: return 0 to stop the loop.
using ulSymLoopFunc = int (*)(void *value, void *key, void *data1, void *data2);
using ulSymLoopAddrFunc = int (*)(void **value, void *key, void *data1, void *data2);
using ulSymLoopAddr2Func = int (*)(void **value, void **key, void *data1, void *data2);
// Orders two stored keys (negative, 0, positive).
using ulSymCompareFunc = int (*)(const void *keyA, const void *keyB);
using ulSymStrCompareFunc = int (*)(const char *keyA, const char *keyB);

// ---- Tables -----------------------------------------------------------------

// A new empty table of buckets chains (at least 1), not-found value 0, no
// growth rule.
ulSym ulSymCreate(unsigned int buckets, ulSymHashFunc hash, ulSymEqualFunc equal,
                  ulSymKeyCopyFunc keyCopy, ulSymKeyFreeFunc keyFree);
// The same with a string comparison as equality (ulStrEqu, ulStrIequ).
ulSym ulSymCreate(unsigned int buckets, ulSymHashFunc hash, ulSymStrEqualFunc equal,
                  ulSymKeyCopyFunc keyCopy, ulSymKeyFreeFunc keyFree);

// Sets the value that lookups of absent keys return.
void ulSymNotFoundValue(ulSym table, void *value);

// Gives the table a growth rule, or changes it, and applies it at once: when
// loadLimit x bucket count < entry count, the bucket count becomes the next
// prime at or above entry count x growthFactor.
void ulSymDynamic(ulSym table, double loadLimit, double growthFactor);

// Rehashes every entry into buckets chains (0 keeps the present count).
void ulSymResize(ulSym table, unsigned int buckets);

// Stores value under key (a new entry, or the existing one whose key is
// released and replaced by a fresh copy). Returns the value the key had, or
// the not-found value for a new key.
void *ulSymStore(ulSym table, const void *key, void *value);

// The value of key, or the not-found value.
void *ulSymFetch(ulSym table, const void *key);

// The address of the stored value of key (valid until the table changes), or
// null when absent.
void **ulSymFetchAddr(ulSym table, const void *key);

// Removes key's entry, releases its stored key and returns its value; the
// not-found value when absent.
void *ulSymRemove(ulSym table, const void *key);

// Number of entries.
unsigned int ulSymSize(ulSym table);

// Number of bucket chains.
unsigned int ulSymBuckets(ulSym table);

// Releases every key, hands every value to valueFree (null: values are left
// alone) and removes all entries; the table stays, empty.
void ulSymClear(ulSym table, ulSymValueFreeFunc valueFree);
// The same, handing valueFree the address of each value.
void ulSymClearAddr(ulSym table, ulSymValueAddrFreeFunc valueFree);

// ulSymClear, then frees the table itself. A null table does nothing.
void ulSymDestroy(ulSym table, ulSymValueFreeFunc valueFree);

// ---- Loops ------------------------------------------------------------------

// Calls function(value, key, data1, data2) for every entry; returns 0 as soon
// as the function returns 0, else 1.
int ulSymLoop(ulSym table, ulSymLoopFunc function, void *data1, void *data2);
// The same, passing the address of the value.
int ulSymLoopAddr(ulSym table, ulSymLoopAddrFunc function, void *data1, void *data2);
// The same, passing the addresses of value and stored key.
int ulSymLoopAddr2(ulSym table, ulSymLoopAddr2Func function, void *data1, void *data2);
// As ulSymLoop, but only for the entries after the first entry whose key
// equals startKey; with startKey absent nothing is called and 1 returned.
int ulSymLoopResume(ulSym table, ulSymLoopFunc function, const void *startKey, void *data1,
                    void *data2);

// ---- Whole tables -----------------------------------------------------------

// Stores every entry of source into destination as ulSymStore does (a value
// that a stored entry replaces goes to valueFree, unless null), then empties
// source.
void ulSymMoveAll(ulSym destination, ulSym source, ulSymValueFreeFunc valueFree);
// The same, leaving source as it was.
void ulSymCopyAll(ulSym destination, ulSym source, ulSymValueFreeFunc valueFree);

// Fills array (or, when null, a new array of entry count + 1 words tagged
// "ulSymArray", freed with ulMemFree) with all values and a terminating null,
// and returns it. With compare null (or ulDummyProc cast to the function
// type) the values come in loop order, else ordered by compare on their keys.
void **ulSymTableToArray(ulSym table, void **array, ulSymCompareFunc compare);
void **ulSymTableToArray(ulSym table, void **array, ulSymStrCompareFunc compare);

// Prints the chain lengths on standard output: "\n%d:\t" and one "*" per
// entry for each non-empty bucket, then a newline.
void ulSymDump(ulSym table);

// ---- Key functions ----------------------------------------------------------

// String hash: 0 for null, else the wrapping 32-bit sum of each byte (as
// unsigned) shifted left by (7 x position) mod 16.
unsigned int ulSymStHash(const void *s);
// Case-blind string hash: 0 for null, else the sum of each byte (as signed,
// upper-case letters lowered) shifted left by position mod 8.
unsigned int ulSymStIhash(const void *s);
// Pointer hash: the key itself (its low 32 bits).
unsigned int ulSymPtrHash(const void *p);
// Pointer equality: 1 when a equals b.
int ulSymPtrCmp(const void *a, const void *b);
// Key copy for string keys: an owned pooled copy (null for null).
void *ulSymStCpy(const void *s);
// Key release for string keys made by ulSymStCpy; null allowed.
void ulSymStFree(void *s);
// Key copy that stores the key itself.
void *ulSymReturn(const void *key);
// Key (or value) release that does nothing.
void ulSymDummy(void *key);
