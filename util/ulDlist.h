// ulDlist.h: lists. Three kinds:
//
//   - ulDlist: a doubly linked list of one-word values with a current
//     position, for walking, inserting and deleting while walking;
//   - ulList: intrusive lists of records that carry their own link words
//     (singly linked: the first word is the next link; doubly linked: the
//     first word next, the second previous); a list is its first element,
//     null is the empty list;
//   - ulCell: a singly linked list of two-word cells (next, value).
//
// A walk over an ulDlist:
//
//   for (v = ulDlistHead(l); v != nullptr; v = ulDlistNxtElement(l))
//     if (unwanted(v))
//       ulDlistDelCurrent(l);   // the next ulDlistNxtElement goes on right
//
// Each step records its direction; deleting the current cell moves the
// current position one cell against that direction (to the previous cell
// after steps forward), so the next step in the same direction lands on the
// cell after the deleted one. The header doubles as the two end sentinels, so
// the current position may rest on a sentinel (before the first or after the
// last cell); ulDlistCurElement and ulDlistCurCell then yield 0.
//
// Values belong to the caller; the lists never free them except through the
// functions given to ulDlistDestroyList, ulListFree*, ulCellFree*. An ulDlist
// holds at most 32767 elements; adding one more is an internal error.
// Functions returning a value return 0 for "none", so a walk cannot tell a
// stored 0 from the end.
//
// Memory: removed ulDlist cells and freed headers are kept in process-wide
// pools and reused; ulDlistPurge (also run when memory runs out) hands them
// back to the free lists. ulCell cells have their own free chain. With the
// free lists off (UL_MEMFLDISABLE and the debugging modes) cells and headers
// go straight back to the heap, so memory checkers see each one.
//
// Nothing here is thread-safe.
#pragma once

#include <cstdint>

// One cell of an ulDlist.
struct ulDlistCell {
  void *value;       // the element
  ulDlistCell *next; // following cell, or the tail sentinel
  ulDlistCell *prev; // preceding cell, or the head sentinel
};

// List header. The head sentinel's next is the first cell and its prev is
// null; the tail sentinel's prev is the last cell and its next is null; both
// sentinels hold the value 0.
struct ulDlistHeader {
  ulDlistCell head;     // head sentinel: value 0, next = first, prev = null
  ulDlistCell tail;     // tail sentinel: value 0, next = null, prev = last
  ulDlistCell *current; // current cell, a sentinel, or null
  int16_t count;        // number of elements
  uint8_t flags;        // bit 7: the last step went forward
};

using ulDlist = ulDlistHeader *;

// Callbacks. Loop functions return 0 to stop the loop.
using ulDlistLoopFunc = int (*)(void *value, void *data);
using ulDlistLoop2Func = int (*)(void *value, void *data1, void *data2);
using ulDlistLoop3Func = int (*)(void *value, void *data1, void *data2, void *data3);
// Non-zero when value matches key.
using ulDlistMatchFunc = int (*)(void *key, void *value);
// Orders two values (negative: a before b).
using ulDlistCompareFunc = int (*)(void *a, void *b);
// Returns the copy of a value.
using ulDlistCopyFunc = void *(*)(void *value);

// ---- Doubly linked lists ----------------------------------------------------

// A new empty list, current null, direction forward.
ulDlist ulDlistCreate();

// Add value at the front or end; the new cell becomes current.
void ulDlistAddHead(ulDlist list, void *value);
void ulDlistAddTail(ulDlist list, void *value);

// Remove and return the first or last value (0 when empty). When the removed
// cell was current, current moves to the previous cell after a step forward,
// else to the next one (possibly a sentinel).
void *ulDlistRemHead(ulDlist list);
void *ulDlistRemTail(ulDlist list);

// Make the first or last cell current and return its value; 0 when empty.
void *ulDlistHead(ulDlist list);
void *ulDlistTail(ulDlist list);

// 1 when the list has no element. / The number of elements.
int ulDlistEmpty(ulDlist list);
int ulDlistSize(ulDlist list);

// Make the first cell holding value current and return 1; 0 when absent
// (current unchanged).
int ulDlistSearchFor(ulDlist list, void *value);
// The same for the first cell for which match(key, value) is non-zero.
int ulDlistSearchForKey(ulDlist list, void *key, ulDlistMatchFunc match);

// The current value / cell; 0 / null when current is null or a sentinel.
void *ulDlistCurElement(ulDlist list);
ulDlistCell *ulDlistCurCell(ulDlist list);
// Makes cell (a cell of list, a sentinel or null) current.
void ulDlistSetCurrent(ulDlist list, ulDlistCell *cell);

// Step forward: records the direction; when a cell follows the current one
// (the first cell when current is null or the head sentinel), it becomes
// current and its value / the cell is returned; otherwise 0 / null and current
// stays.
void *ulDlistNxtElement(ulDlist list);
ulDlistCell *ulDlistNxtCell(ulDlist list);
// Step back in the same way (from null or the tail sentinel to the last cell).
void *ulDlistPreElement(ulDlist list);
ulDlistCell *ulDlistPreCell(ulDlist list);

// 1 when current is the first / the last cell; 0 on an empty list.
int ulDlistCurFirst(ulDlist list);
int ulDlistCurLast(ulDlist list);

// Moves the current cell to the front; it stays current.
void ulDlistMoveCurToHead(ulDlist list);

// Removes the current cell and returns its value (0 when current is no cell);
// current moves as for ulDlistRemHead.
void *ulDlistDelCurrent(ulDlist list);
// Removes the first cell holding value (current moves likewise when it was
// that cell); returns 1, or 0 when no cell holds it.
int ulDlistDelElement(ulDlist list, void *value);

// Insert value before / after the current cell; the new cell becomes current.
// With no current cell, ulDlistInsBefore adds at the end and ulDlistInsAfter
// at the front; at a sentinel the value goes next to it on the inside.
void ulDlistInsBefore(ulDlist list, void *value);
void ulDlistInsAfter(ulDlist list, void *value);

// Call function(value, data...) first to last (ulDlistReverseLoop: last to
// first); return 0 as soon as it returns 0, else 1. The function may delete
// the cell it is given, but no other.
int ulDlistLoop(ulDlist list, ulDlistLoopFunc function, void *data);
int ulDlistReverseLoop(ulDlist list, ulDlistLoopFunc function, void *data);
int ulDlistLoop2(ulDlist list, ulDlistLoop2Func function, void *data1, void *data2);
int ulDlistLoop3(ulDlist list, ulDlistLoop3Func function, void *data1, void *data2, void *data3);

// Move the first (h) or last (t) cell of from to the front (h) or end (t) of
// to. from must not be empty (an empty from changes nothing). A moved current
// cell of from moves current as removal does; to's current is unchanged.
void ulDlistMovhh(ulDlist from, ulDlist to);
void ulDlistMovht(ulDlist from, ulDlist to);
void ulDlistMovth(ulDlist from, ulDlist to);
void ulDlistMovtt(ulDlist from, ulDlist to);

// Appends all cells of from to the end of to; from is left empty with current
// null.
void ulDlistMoveAll(ulDlist to, ulDlist from);

// Removes all cells (values untouched); current becomes null.
void ulDlistClearList(ulDlist list);
// Releases cells and header. A null list does nothing.
void ulDlistFreeList(ulDlist list);
// Calls function(value, data) for every value (unless function is null), then
// releases cells and header.
void ulDlistDestroyList(ulDlist list, ulDlistLoopFunc function, void *data);

// Sorts by compare with a merge sort that puts, among equal values, those of
// the later half first. Current stays on its cell.
void ulDlistSort(ulDlist list, ulDlistCompareFunc compare);

// A new list holding copy(value) for every value in order (the values
// themselves when copy is null).
ulDlist ulDlistCopy(ulDlist list, ulDlistCopyFunc copy);

// Fills array (or, when null, a new array of count + 1 words tagged
// "ulDlistArray", freed with ulMemFree) with the values in order and a
// terminating 0; returns it.
void **ulDlistListToArray(ulDlist list, void **array);
// Appends the values of a 0-terminated array to list (a new list when null)
// and returns the list.
ulDlist ulDlistArrayToList(void **array, ulDlist list);

// Hands the pooled cells and headers back to the free lists.
void ulDlistPurge();

// ---- Intrusive lists --------------------------------------------------------
//
// Elements are records whose first word is the next link (and, for the
// doubly linked functions ulListD*, whose second word is the previous link).

// Inserts element behind after, or in front when after is null; returns the
// head (element itself when put in front).
void *ulListSins(void *element, void *after, void *head);
// Unlinks element (its link becomes null) and returns the new head; an element
// not in the list leaves it unchanged.
void *ulListSdel(void *element, void *head);
// The same for doubly linked elements (a removed element gets null links).
void *ulListDins(void *element, void *after, void *head);
void *ulListDdel(void *element, void *head);
// The element before element, or null.
void *ulListPrev(void *element, void *head);
// The last element; null for the empty list.
void *ulListLast(void *head);
// The number of elements.
int ulListSize(void *head);
// Frees every element with ulMemFree.
void ulListFree(void *head);
// Calls function(element) for every element (the link is read first, so the
// function may free it).
void ulListFreeGeneral(void *head, void (*function)(void *element));
// Sorts with compare(elementA, elementB), the merge sort of ulDlistSort, and
// returns the new head. ulListDsort also rebuilds the previous links.
void *ulListSsort(void *head, int (*compare)(void *a, void *b));
void *ulListDsort(void *head, int (*compare)(void *a, void *b));

// ---- Cell lists -------------------------------------------------------------

// One cell of a cell list.
struct ulCell {
  ulCell *next; // following cell, or null
  void *value;  // the element
};

// A cell with null link and value (from the free chain when possible).
ulCell *ulCellNew();
// Puts a cell on the free chain.
void ulCellFLSave(ulCell *cell);
// Frees the whole free chain.
void ulCellFLFree();
// A new cell holding value in front of head; returns the new head.
ulCell *ulCellAdd(void *value, ulCell *head);
// The first cell holding value, or null. / 1 when there is one.
ulCell *ulCellFind(void *value, ulCell *head);
int ulCellFound(void *value, ulCell *head);
// Unlinks and frees every cell holding value; returns the new head.
ulCell *ulCellRemove(void *value, ulCell *head);
// Free the non-null values (with ulMemFree / ulStrFree / function), then the
// cells.
void ulCellFree(ulCell *head);
void ulCellStrFree(ulCell *head);
void ulCellFreeGeneral(ulCell *head, void (*function)(void *value));
