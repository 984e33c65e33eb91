// ulList.cpp: intrusive lists, cell lists, and the merge sort that they share
// with ulDlistSort.

#include "ulDlist.h"

#include "ulMem.h"
#include "ulMemInternal.h"
#include "ulStr.h"

#include <cstring>

namespace {

// The link words of an intrusive element. Records declare their links with
// their own pointer types, so they are read and written as bytes.
inline void *linkAt(const void *element, int word) {
  void *link;
  memcpy(&link, static_cast<const char *>(element) + word * sizeof(void *), sizeof link);
  return link;
}

inline void setLink(void *element, int word, void *link) {
  memcpy(static_cast<char *>(element) + word * sizeof(void *), &link, sizeof link);
}

inline void *nextOf(const void *e) {
  return linkAt(e, 0);
}
inline void setNext(void *e, void *next) {
  setLink(e, 0, next);
}
inline void setPrev(void *e, void *prev) {
  setLink(e, 1, prev);
}

// Top-down merge sort of a null-terminated singly linked chain: next and
// setNextOf read and write a node's next link, compare orders two nodes.
// Equal elements of the later half come first: the left element is taken
// only when it compares below the right one.
template <class Node, class Next, class SetNext, class Compare>
Node *mergeSort(Node *head, Next next, SetNext setNextOf, Compare compare) {
  if (head == nullptr || next(head) == nullptr)
    return head;
  // Split in the middle; the first half takes the middle element.
  Node *slow = head;
  Node *fast = next(head);
  while (fast != nullptr && next(fast) != nullptr) {
    slow = next(slow);
    fast = next(next(fast));
  }
  Node *right = next(slow);
  setNextOf(slow, nullptr);
  Node *left = mergeSort(head, next, setNextOf, compare);
  right = mergeSort(right, next, setNextOf, compare);

  Node *result = nullptr;
  Node *tail = nullptr;
  while (left != nullptr && right != nullptr) {
    Node *taken;
    if (compare(left, right) < 0) {
      taken = left;
      left = next(left);
    } else {
      taken = right;
      right = next(right);
    }
    if (tail != nullptr)
      setNextOf(tail, taken);
    else
      result = taken;
    tail = taken;
  }
  setNextOf(tail, left != nullptr ? left : right);
  return result;
}

void *sortElements(void *head, int (*compare)(void *a, void *b)) {
  return mergeSort(
      head, [](void *e) { return nextOf(e); }, [](void *e, void *n) { setNext(e, n); }, compare);
}

} // namespace

// ---- ulDlistSort ------------------------------------------------------------

void ulDlistSort(ulDlist list, ulDlistCompareFunc compare) {
  if (list->count < 2)
    return;
  list->tail.prev->next = nullptr;
  ulDlistCell *sorted = mergeSort(
      list->head.next, [](ulDlistCell *c) { return c->next; },
      [](ulDlistCell *c, ulDlistCell *n) { c->next = n; },
      [compare](ulDlistCell *a, ulDlistCell *b) { return compare(a->value, b->value); });
  // Rebuild the previous links and both ends.
  list->head.next = sorted;
  ulDlistCell *prev = &list->head;
  ulDlistCell *c = sorted;
  for (; c != nullptr; prev = c, c = c->next)
    c->prev = prev;
  prev->next = &list->tail;
  list->tail.prev = prev;
}

// ---- Intrusive lists --------------------------------------------------------

void *ulListSins(void *element, void *after, void *head) {
  if (after == nullptr) {
    setNext(element, head);
    return element;
  }
  setNext(element, nextOf(after));
  setNext(after, element);
  return head;
}

void *ulListSdel(void *element, void *head) {
  if (head == element) {
    head = nextOf(element);
  } else {
    void *prev = ulListPrev(element, head);
    if (prev == nullptr)
      return head;
    setNext(prev, nextOf(element));
  }
  setNext(element, nullptr);
  return head;
}

void *ulListDins(void *element, void *after, void *head) {
  void *next = after != nullptr ? nextOf(after) : head;
  setNext(element, next);
  setPrev(element, after);
  if (next != nullptr)
    setPrev(next, element);
  if (after == nullptr)
    return element;
  setNext(after, element);
  return head;
}

void *ulListDdel(void *element, void *head) {
  void *prev = linkAt(element, 1);
  void *next = nextOf(element);
  if (prev != nullptr)
    setNext(prev, next);
  else if (head == element)
    head = next;
  else
    return head; // not in this list
  if (next != nullptr)
    setPrev(next, prev);
  setNext(element, nullptr);
  setPrev(element, nullptr);
  return head;
}

void *ulListPrev(void *element, void *head) {
  for (void *e = head; e != nullptr; e = nextOf(e))
    if (nextOf(e) == element)
      return e;
  return nullptr;
}

void *ulListLast(void *head) {
  if (head == nullptr)
    return nullptr;
  while (void *next = nextOf(head))
    head = next;
  return head;
}

int ulListSize(void *head) {
  int n = 0;
  for (void *e = head; e != nullptr; e = nextOf(e))
    n++;
  return n;
}

void ulListFree(void *head) {
  while (head != nullptr) {
    void *next = nextOf(head);
    ulMemFree(head);
    head = next;
  }
}

void ulListFreeGeneral(void *head, void (*function)(void *element)) {
  while (head != nullptr) {
    void *next = nextOf(head);
    function(head);
    head = next;
  }
}

void *ulListSsort(void *head, int (*compare)(void *a, void *b)) {
  return sortElements(head, compare);
}

void *ulListDsort(void *head, int (*compare)(void *a, void *b)) {
  head = sortElements(head, compare);
  void *prev = nullptr;
  for (void *e = head; e != nullptr; prev = e, e = nextOf(e))
    setPrev(e, prev);
  return head;
}

// ---- Cell lists -------------------------------------------------------------

namespace {

struct CellState {
  ulCell *free; // the free chain
};

CellState cellsV;

} // namespace

ulCell *ulCellNew() {
  ulCell *cell = cellsV.free;
  if (cell != nullptr)
    cellsV.free = cell->next;
  else
    cell = static_cast<ulCell *>(ulMemMalloc(sizeof(ulCell), "ulCell"));
  cell->next = nullptr;
  cell->value = nullptr;
  return cell;
}

void ulCellFLSave(ulCell *cell) {
  if (cell == nullptr)
    return;
  // With the free lists off, memory checkers should see every cell.
  if (!ulmem::modes().freeLists) {
    ulMemFree(cell);
    return;
  }
  cell->value = nullptr;
  cell->next = cellsV.free;
  cellsV.free = cell;
}

void ulCellFLFree() {
  while (ulCell *cell = cellsV.free) {
    cellsV.free = cell->next;
    ulMemFree(cell);
  }
}

ulCell *ulCellAdd(void *value, ulCell *head) {
  ulCell *cell = ulCellNew();
  cell->value = value;
  cell->next = head;
  return cell;
}

ulCell *ulCellFind(void *value, ulCell *head) {
  for (ulCell *c = head; c != nullptr; c = c->next)
    if (c->value == value)
      return c;
  return nullptr;
}

int ulCellFound(void *value, ulCell *head) {
  return ulCellFind(value, head) != nullptr;
}

ulCell *ulCellRemove(void *value, ulCell *head) {
  ulCell **link = &head;
  while (ulCell *c = *link) {
    if (c->value == value) {
      *link = c->next;
      ulCellFLSave(c);
    } else {
      link = &c->next;
    }
  }
  return head;
}

void ulCellFreeGeneral(ulCell *head, void (*function)(void *value)) {
  while (head != nullptr) {
    ulCell *next = head->next;
    if (head->value != nullptr && function != nullptr)
      function(head->value);
    ulCellFLSave(head);
    head = next;
  }
}

void ulCellFree(ulCell *head) {
  ulCellFreeGeneral(head, ulMemFree);
}

void ulCellStrFree(ulCell *head) {
  ulCellFreeGeneral(head, [](void *s) { ulStrFree(static_cast<const char *>(s)); });
}
