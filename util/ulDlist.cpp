// ulDlist.cpp: doubly linked lists with a current position, their pools of
// recycled cells and headers, and the merge sort shared with the intrusive
// lists.

#include "ulDlist.h"

#include "ulErr.h"
#include "ulMem.h"
#include "ulMemInternal.h"

namespace {

constexpr const char *kListTag = "ulDlistList";
constexpr const char *kCellTag = "ulDlistCell";
constexpr uint8_t kForward = 0x80;
constexpr int kMaxCount = 32767;

// Recycled cells and headers. A pooled header is chained through its head
// sentinel's next link.
struct Pools {
  ulDlistCell *cells;     // free cells, chained through next
  ulDlistHeader *headers; // free headers, chained through head.next
  bool registered;        // ulDlistPurge is a purge routine
};

Pools poolsV;

inline bool pooling() {
  return ulmem::modes().freeLists;
}

void registerPurge() {
  if (!poolsV.registered) {
    poolsV.registered = true;
    ulAddPurgeRoutine(ulDlistPurge);
  }
}

ulDlistCell *newCell(void *value) {
  ulDlistCell *cell = poolsV.cells;
  if (cell != nullptr)
    poolsV.cells = cell->next;
  else
    cell = static_cast<ulDlistCell *>(ulMemFlAlloc(sizeof(ulDlistCell), kCellTag));
  cell->value = value;
  return cell;
}

void recycleCell(ulDlistCell *cell) {
  if (!pooling()) {
    ulMemFlFree(cell, sizeof(ulDlistCell));
    return;
  }
  registerPurge();
  cell->value = nullptr;
  cell->prev = nullptr;
  cell->next = poolsV.cells;
  poolsV.cells = cell;
}

inline bool isSentinel(const ulDlistHeader *list, const ulDlistCell *cell) {
  return cell == &list->head || cell == &list->tail;
}

inline bool isCell(const ulDlistHeader *list, const ulDlistCell *cell) {
  return cell != nullptr && !isSentinel(list, cell);
}

// Links cell in behind after (a cell or the head sentinel) and counts it.
void linkAfter(ulDlist list, ulDlistCell *after, ulDlistCell *cell) {
  if (list->count >= kMaxCount)
    ulErrReport2("ulDlist", 5, "List overflow: a list holds at most 32767 elements");
  cell->prev = after;
  cell->next = after->next;
  after->next->prev = cell;
  after->next = cell;
  list->count++;
}

// Unlinks a cell; a current cell hands current on against the last step.
void unlink(ulDlist list, ulDlistCell *cell) {
  if (list->current == cell)
    list->current = (list->flags & kForward) != 0 ? cell->prev : cell->next;
  cell->prev->next = cell->next;
  cell->next->prev = cell->prev;
  list->count--;
}

void *removeCell(ulDlist list, ulDlistCell *cell) {
  unlink(list, cell);
  void *value = cell->value;
  recycleCell(cell);
  return value;
}

inline ulDlistCell *first(ulDlist list) {
  return list->head.next;
}
inline ulDlistCell *last(ulDlist list) {
  return list->tail.prev;
}

void initHeader(ulDlist list) {
  list->head = ulDlistCell{nullptr, &list->tail, nullptr};
  list->tail = ulDlistCell{nullptr, nullptr, &list->head};
  list->current = nullptr;
  list->count = 0;
  list->flags = kForward;
}

} // namespace

// ---- Creation and ends ------------------------------------------------------

ulDlist ulDlistCreate() {
  ulDlist list = poolsV.headers;
  if (list != nullptr)
    poolsV.headers = reinterpret_cast<ulDlistHeader *>(list->head.next);
  else
    list = static_cast<ulDlist>(ulMemFlAlloc(sizeof(ulDlistHeader), kListTag));
  initHeader(list);
  return list;
}

void ulDlistAddHead(ulDlist list, void *value) {
  ulDlistCell *cell = newCell(value);
  linkAfter(list, &list->head, cell);
  list->current = cell;
}

void ulDlistAddTail(ulDlist list, void *value) {
  ulDlistCell *cell = newCell(value);
  linkAfter(list, last(list), cell);
  list->current = cell;
}

void *ulDlistRemHead(ulDlist list) {
  return list->count == 0 ? nullptr : removeCell(list, first(list));
}

void *ulDlistRemTail(ulDlist list) {
  return list->count == 0 ? nullptr : removeCell(list, last(list));
}

void *ulDlistHead(ulDlist list) {
  if (list->count == 0)
    return nullptr;
  list->current = first(list);
  return list->current->value;
}

void *ulDlistTail(ulDlist list) {
  if (list->count == 0)
    return nullptr;
  list->current = last(list);
  return list->current->value;
}

int ulDlistEmpty(ulDlist list) {
  return list->count == 0;
}

int ulDlistSize(ulDlist list) {
  return list->count;
}

// ---- Searching and the current cell -----------------------------------------

int ulDlistSearchFor(ulDlist list, void *value) {
  for (ulDlistCell *c = first(list); c != &list->tail; c = c->next)
    if (c->value == value) {
      list->current = c;
      return 1;
    }
  return 0;
}

int ulDlistSearchForKey(ulDlist list, void *key, ulDlistMatchFunc match) {
  for (ulDlistCell *c = first(list); c != &list->tail; c = c->next)
    if (match(key, c->value) != 0) {
      list->current = c;
      return 1;
    }
  return 0;
}

void *ulDlistCurElement(ulDlist list) {
  return isCell(list, list->current) ? list->current->value : nullptr;
}

ulDlistCell *ulDlistCurCell(ulDlist list) {
  return isCell(list, list->current) ? list->current : nullptr;
}

void ulDlistSetCurrent(ulDlist list, ulDlistCell *cell) {
  list->current = cell;
}

ulDlistCell *ulDlistNxtCell(ulDlist list) {
  list->flags |= kForward;
  if (list->count == 0)
    return nullptr;
  ulDlistCell *from = list->current != nullptr ? list->current : &list->head;
  ulDlistCell *next = from->next;
  if (!isCell(list, next))
    return nullptr;
  list->current = next;
  return next;
}

void *ulDlistNxtElement(ulDlist list) {
  ulDlistCell *c = ulDlistNxtCell(list);
  return c != nullptr ? c->value : nullptr;
}

ulDlistCell *ulDlistPreCell(ulDlist list) {
  list->flags &= static_cast<uint8_t>(~kForward);
  if (list->count == 0)
    return nullptr;
  ulDlistCell *from = list->current != nullptr ? list->current : &list->tail;
  ulDlistCell *prev = from->prev;
  if (!isCell(list, prev))
    return nullptr;
  list->current = prev;
  return prev;
}

void *ulDlistPreElement(ulDlist list) {
  ulDlistCell *c = ulDlistPreCell(list);
  return c != nullptr ? c->value : nullptr;
}

int ulDlistCurFirst(ulDlist list) {
  return list->count != 0 && list->current == first(list);
}

int ulDlistCurLast(ulDlist list) {
  return list->count != 0 && list->current == last(list);
}

void ulDlistMoveCurToHead(ulDlist list) {
  ulDlistCell *cell = list->current;
  if (!isCell(list, cell) || cell == first(list))
    return;
  cell->prev->next = cell->next;
  cell->next->prev = cell->prev;
  list->count--;
  linkAfter(list, &list->head, cell);
}

void *ulDlistDelCurrent(ulDlist list) {
  return isCell(list, list->current) ? removeCell(list, list->current) : nullptr;
}

int ulDlistDelElement(ulDlist list, void *value) {
  for (ulDlistCell *c = first(list); c != &list->tail; c = c->next)
    if (c->value == value) {
      removeCell(list, c);
      return 1;
    }
  return 0;
}

void ulDlistInsBefore(ulDlist list, void *value) {
  ulDlistCell *at = list->current;
  ulDlistCell *after;
  if (at == nullptr || at == &list->tail)
    after = last(list);
  else if (at == &list->head)
    after = &list->head;
  else
    after = at->prev;
  ulDlistCell *cell = newCell(value);
  linkAfter(list, after, cell);
  list->current = cell;
}

void ulDlistInsAfter(ulDlist list, void *value) {
  ulDlistCell *at = list->current;
  ulDlistCell *after;
  if (at == nullptr || at == &list->head)
    after = &list->head;
  else if (at == &list->tail)
    after = last(list);
  else
    after = at;
  ulDlistCell *cell = newCell(value);
  linkAfter(list, after, cell);
  list->current = cell;
}

// ---- Loops ------------------------------------------------------------------

namespace {

template <class Call> int walk(ulDlist list, Call call) {
  for (ulDlistCell *c = first(list); c != &list->tail;) {
    ulDlistCell *next = c->next;
    if (call(c->value) == 0)
      return 0;
    c = next;
  }
  return 1;
}

} // namespace

int ulDlistLoop(ulDlist list, ulDlistLoopFunc function, void *data) {
  return walk(list, [&](void *v) { return function(v, data); });
}

int ulDlistReverseLoop(ulDlist list, ulDlistLoopFunc function, void *data) {
  for (ulDlistCell *c = last(list); c != &list->head;) {
    ulDlistCell *prev = c->prev;
    if (function(c->value, data) == 0)
      return 0;
    c = prev;
  }
  return 1;
}

int ulDlistLoop2(ulDlist list, ulDlistLoop2Func function, void *data1, void *data2) {
  return walk(list, [&](void *v) { return function(v, data1, data2); });
}

int ulDlistLoop3(ulDlist list, ulDlistLoop3Func function, void *data1, void *data2, void *data3) {
  return walk(list, [&](void *v) { return function(v, data1, data2, data3); });
}

// ---- Moving between lists ---------------------------------------------------

namespace {

void moveCell(ulDlist from, ulDlistCell *cell, ulDlist to, bool toHead) {
  unlink(from, cell);
  linkAfter(to, toHead ? &to->head : last(to), cell);
}

} // namespace

void ulDlistMovhh(ulDlist from, ulDlist to) {
  if (from->count != 0)
    moveCell(from, first(from), to, true);
}

void ulDlistMovht(ulDlist from, ulDlist to) {
  if (from->count != 0)
    moveCell(from, first(from), to, false);
}

void ulDlistMovth(ulDlist from, ulDlist to) {
  if (from->count != 0)
    moveCell(from, last(from), to, true);
}

void ulDlistMovtt(ulDlist from, ulDlist to) {
  if (from->count != 0)
    moveCell(from, last(from), to, false);
}

void ulDlistMoveAll(ulDlist to, ulDlist from) {
  if (from->count == 0)
    return;
  if (to->count + from->count > kMaxCount)
    ulErrReport2("ulDlist", 5, "List overflow: a list holds at most 32767 elements");
  ulDlistCell *a = first(from);
  ulDlistCell *z = last(from);
  ulDlistCell *end = last(to);
  end->next = a;
  a->prev = end;
  z->next = &to->tail;
  to->tail.prev = z;
  to->count = static_cast<int16_t>(to->count + from->count);
  from->head.next = &from->tail;
  from->tail.prev = &from->head;
  from->count = 0;
  from->current = nullptr;
}

// ---- Clearing and freeing ---------------------------------------------------

void ulDlistClearList(ulDlist list) {
  for (ulDlistCell *c = first(list); c != &list->tail;) {
    ulDlistCell *next = c->next;
    recycleCell(c);
    c = next;
  }
  list->head.next = &list->tail;
  list->tail.prev = &list->head;
  list->count = 0;
  list->current = nullptr;
}

void ulDlistFreeList(ulDlist list) {
  if (list == nullptr)
    return;
  ulDlistClearList(list);
  if (!pooling()) {
    ulMemFlFree(list, sizeof(ulDlistHeader));
    return;
  }
  registerPurge();
  list->head.next = reinterpret_cast<ulDlistCell *>(poolsV.headers);
  poolsV.headers = list;
}

void ulDlistDestroyList(ulDlist list, ulDlistLoopFunc function, void *data) {
  if (list == nullptr)
    return;
  if (function != nullptr)
    walk(list, [&](void *v) {
      function(v, data);
      return 1;
    });
  ulDlistFreeList(list);
}

void ulDlistPurge() {
  while (ulDlistCell *c = poolsV.cells) {
    poolsV.cells = c->next;
    ulMemFlFree(c, sizeof(ulDlistCell));
  }
  while (ulDlistHeader *h = poolsV.headers) {
    poolsV.headers = reinterpret_cast<ulDlistHeader *>(h->head.next);
    ulMemFlFree(h, sizeof(ulDlistHeader));
  }
}

// ---- Copying and arrays -----------------------------------------------------

ulDlist ulDlistCopy(ulDlist list, ulDlistCopyFunc copy) {
  ulDlist result = ulDlistCreate();
  for (ulDlistCell *c = first(list); c != &list->tail; c = c->next)
    ulDlistAddTail(result, copy != nullptr ? copy(c->value) : c->value);
  return result;
}

void **ulDlistListToArray(ulDlist list, void **array) {
  if (array == nullptr)
    array = static_cast<void **>(
        ulMemMalloc((static_cast<size_t>(list->count) + 1) * sizeof(void *), "ulDlistArray"));
  size_t i = 0;
  for (ulDlistCell *c = first(list); c != &list->tail; c = c->next)
    array[i++] = c->value;
  array[i] = nullptr;
  return array;
}

ulDlist ulDlistArrayToList(void **array, ulDlist list) {
  if (list == nullptr)
    list = ulDlistCreate();
  for (; array != nullptr && *array != nullptr; array++)
    ulDlistAddTail(list, *array);
  return list;
}
