#include "ulDlist.h"

#include "ulMem.h"
#include "ulStr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Values are small numbers stored as pointers.
void *word(long n) {
  return reinterpret_cast<void *>(n);
}
long num(const void *p) {
  return static_cast<long>(reinterpret_cast<uintptr_t>(p));
}

ulDlist listOf(std::initializer_list<long> values) {
  ulDlist l = ulDlistCreate();
  for (long v : values)
    ulDlistAddTail(l, word(v));
  return l;
}

int push(void *v, void *out) {
  static_cast<std::vector<long> *>(out)->push_back(num(v));
  return 1;
}

// The values front to back, checked against the backward links and the size.
std::vector<long> valuesOf(ulDlist l) {
  std::vector<long> out, back;
  ulDlistLoop(l, push, &out);
  ulDlistReverseLoop(l, push, &back);
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(out, back);
  EXPECT_EQ(static_cast<size_t>(ulDlistSize(l)), out.size());
  return out;
}

using V = std::vector<long>;

// Values are pairs (key, tag) packed as key * 100 + tag; compare by key only.
int byKey(void *a, void *b) {
  return static_cast<int>(num(a) / 100) - static_cast<int>(num(b) / 100);
}

bool poolsOn() {
  return getenv("UL_MEMFLDISABLE") == nullptr;
}

// An intrusive element: next link, previous link, payload.
struct Node {
  Node *next;
  Node *prev;
  int key;
};

int nodeKey(void *a, void *b) {
  return static_cast<Node *>(a)->key - static_cast<Node *>(b)->key;
}

std::vector<int> keysOf(void *head) {
  std::vector<int> out;
  for (auto *n = static_cast<Node *>(head); n != nullptr; n = n->next)
    out.push_back(n->key);
  return out;
}

} // namespace

TEST(ulDlistEnds, AddRemoveAndPeekAtBothEnds) {
  ulDlist l = ulDlistCreate();
  EXPECT_EQ(ulDlistEmpty(l), 1);
  for (void *none : {ulDlistRemHead(l), ulDlistRemTail(l), ulDlistHead(l), ulDlistTail(l),
                     ulDlistCurElement(l), ulDlistNxtElement(l), ulDlistPreElement(l)})
    EXPECT_EQ(none, nullptr);
  EXPECT_EQ(ulDlistCurFirst(l) + ulDlistCurLast(l), 0);

  ulDlistAddTail(l, word(2));
  ulDlistAddHead(l, word(1));
  EXPECT_EQ(ulDlistCurElement(l), word(1)); // the new cell is current
  ulDlistAddTail(l, word(3));
  EXPECT_EQ(valuesOf(l), (V{1, 2, 3}));
  // Each peek moves current to that end.
  EXPECT_EQ((V{ulDlistEmpty(l), num(ulDlistTail(l)), ulDlistCurLast(l), num(ulDlistHead(l)),
               ulDlistCurFirst(l)}),
            (V{0, 3, 1, 1, 1}));
  EXPECT_EQ((V{num(ulDlistRemTail(l)), num(ulDlistRemHead(l)), num(ulDlistRemHead(l))}),
            (V{3, 1, 2}));
  EXPECT_EQ(ulDlistSize(l), 0);
  ulDlistFreeList(l);
}

TEST(ulDlistWalk, StepsStopAtTheEndsAndRemovalsMoveCurrent) {
  ulDlist l = listOf({1, 2, 3});
  EXPECT_EQ((V{num(ulDlistHead(l)), num(ulDlistNxtElement(l)), num(ulDlistNxtElement(l)),
               num(ulDlistNxtElement(l))}),
            (V{1, 2, 3, 0}));
  EXPECT_EQ(ulDlistCurElement(l), word(3)); // current stays on the last cell
  EXPECT_EQ((V{num(ulDlistPreElement(l)), num(ulDlistPreElement(l)), num(ulDlistPreCell(l))}),
            (V{2, 1, 0}));
  EXPECT_EQ(ulDlistCurCell(l)->value, word(1));
  ulDlistSetCurrent(l, nullptr);
  EXPECT_EQ(ulDlistNxtElement(l), word(1)); // no position: start at the front
  ulDlistSetCurrent(l, nullptr);
  EXPECT_EQ(ulDlistPreElement(l), word(3)); // or at the end going back

  // Removing the current end cell moves current by the walk's direction.
  ulDlistHead(l);
  ulDlistPreElement(l); // direction: backward, current stays on 1
  EXPECT_EQ(ulDlistRemHead(l), word(1));
  EXPECT_EQ(ulDlistCurElement(l), word(2)); // moved to the next cell
  ulDlistTail(l);
  ulDlistNxtElement(l); // direction: forward
  EXPECT_EQ(ulDlistRemTail(l), word(3));
  EXPECT_EQ(ulDlistCurElement(l), word(2)); // moved to the previous cell
  ulDlistFreeList(l);
}

// Deleting the first cell leaves current on the head sentinel; the walk still
// goes on with the next cell.
TEST(ulDlistWalk, DeletingTheCurrentCellWhileWalkingGoesOnAtTheNextValue) {
  for (bool forward : {true, false}) {
    SCOPED_TRACE(forward ? "forward" : "backward");
    ulDlist l = listOf({1, 2, 3, 4});
    V seen;
    for (void *v = forward ? ulDlistHead(l) : ulDlistTail(l); v != nullptr;
         v = forward ? ulDlistNxtElement(l) : ulDlistPreElement(l)) {
      seen.push_back(num(v));
      if (num(v) % 2 == 1) {
        EXPECT_EQ(ulDlistDelCurrent(l), v);
        if (forward) {
          EXPECT_EQ(ulDlistCurElement(l), num(v) == 1 ? nullptr : word(2));
        }
      }
    }
    EXPECT_EQ(seen, forward ? (V{1, 2, 3, 4}) : (V{4, 3, 2, 1}));
    EXPECT_EQ(valuesOf(l), (V{2, 4}));
    if (!forward) {
      EXPECT_EQ(ulDlistCurElement(l), word(2));
    }
    ulDlistFreeList(l);
  }
}

TEST(ulDlistSearch, SearchDeleteInsertMoveToHeadAndLoop) {
  ulDlist l = listOf({10, 20, 30, 20});
  // A failed search leaves current on the first 20.
  EXPECT_EQ((V{ulDlistSearchFor(l, word(20)), ulDlistSearchFor(l, word(99)),
               num(ulDlistCurCell(l)->next->value)}),
            (V{1, 0, 30}));
  EXPECT_EQ(ulDlistSearchForKey(l, word(25),
                                [](void *key, void *v) { return num(v) > num(key) ? 1 : 0; }),
            1);
  EXPECT_EQ(ulDlistCurElement(l), word(30));

  ulDlistInsBefore(l, word(25));
  ulDlistInsAfter(l, word(26));
  EXPECT_EQ(ulDlistCurElement(l), word(26));
  EXPECT_EQ(valuesOf(l), (V{10, 20, 25, 26, 30, 20}));

  ulDlistSearchFor(l, word(30));
  ulDlistMoveCurToHead(l);
  EXPECT_EQ(ulDlistCurFirst(l), 1);
  EXPECT_EQ(valuesOf(l), (V{30, 10, 20, 25, 26, 20}));

  EXPECT_EQ((V{ulDlistDelElement(l, word(20)), ulDlistDelElement(l, word(99))}), (V{1, 0}));
  EXPECT_EQ(valuesOf(l), (V{30, 10, 25, 26, 20}));

  ulDlistSetCurrent(l, nullptr);
  ulDlistInsBefore(l, word(1)); // no current cell: at the end
  ulDlistSetCurrent(l, nullptr);
  ulDlistInsAfter(l, word(2)); // no current cell: at the front
  EXPECT_EQ(valuesOf(l), (V{2, 30, 10, 25, 26, 20, 1}));
  ulDlistFreeList(l);

  // Loops stop when the function returns zero.
  l = listOf({1, 2, 3, 4});
  int sum = 0;
  auto addUntil3 = [](void *v, void *data) {
    *static_cast<int *>(data) += static_cast<int>(num(v));
    return num(v) == 3 ? 0 : 1;
  };
  int back = 0;
  EXPECT_EQ(
      (V{ulDlistLoop(l, addUntil3, &sum), sum, ulDlistReverseLoop(l, addUntil3, &back), back}),
      (V{0, 6, 0, 7}));
  // A loop function may delete the cell it is given.
  EXPECT_EQ(ulDlistLoop(
                l,
                [](void *v, void *list) {
                  if (num(v) % 2 == 0)
                    ulDlistDelElement(static_cast<ulDlist>(list), v);
                  return 1;
                },
                l),
            1);
  EXPECT_EQ(valuesOf(l), (V{1, 3}));
  ulDlistFreeList(l);
}

TEST(ulDlistMove, MovesTakeAnEndCellToAnEndOfAnotherList) {
  ulDlist from = listOf({1, 2, 3, 4});
  ulDlist to = listOf({10});
  ulDlistMovhh(from, to);
  ulDlistMovht(from, to);
  ulDlistMovth(from, to);
  ulDlistMovtt(from, to);
  EXPECT_EQ(valuesOf(from), V{});
  EXPECT_EQ(valuesOf(to), (V{4, 1, 10, 2, 3}));
  ulDlistMovhh(from, to); // an empty source changes nothing
  EXPECT_EQ(valuesOf(to), (V{4, 1, 10, 2, 3}));

  ulDlist more = listOf({7, 8});
  ulDlistMoveAll(to, more);
  EXPECT_EQ(valuesOf(to), (V{4, 1, 10, 2, 3, 7, 8}));
  EXPECT_TRUE(ulDlistSize(more) == 0 && ulDlistCurCell(more) == nullptr);
  ulDlistMoveAll(more, from); // nothing to move
  ulDlistAddTail(more, word(9));
  EXPECT_EQ(valuesOf(more), V{9});
  ulDlistFreeList(from);
  ulDlistFreeList(to);
  ulDlistFreeList(more);
}

TEST(ulDlistSort, MergeSortPutsEqualValuesOfTheLaterHalfFirstCopiesKeepOrder) {
  // Keys 2,1,2,1,2 tagged by position.
  ulDlist l = listOf({201, 102, 203, 104, 205});
  ulDlistSearchFor(l, word(203));
  ulDlistSort(l, byKey);
  // Halves [201,102,203] and [104,205]; equal keys from the right come first
  // at every merge.
  EXPECT_EQ(valuesOf(l), (V{104, 102, 205, 203, 201}));
  // Current stays on its cell; the tail link is rebuilt.
  EXPECT_EQ((V{num(ulDlistCurElement(l)), num(ulDlistTail(l))}), (V{203, 201}));
  ulDlistAddTail(l, word(300));
  EXPECT_EQ(valuesOf(l), (V{104, 102, 205, 203, 201, 300}));

  ulDlist big = ulDlistCreate();
  V expected;
  for (long i = 0; i < 1000; i++) {
    ulDlistAddTail(big, word((i * 7919) % 1000 * 100));
    expected.push_back(i * 100);
  }
  ulDlistSort(big, byKey);
  EXPECT_EQ(valuesOf(big), expected);
  ulDlistFreeList(l);
  ulDlistFreeList(big);

  // Copies and arrays keep the order.
  l = listOf({1, 2, 3});
  ulDlist same = ulDlistCopy(l, nullptr);
  ulDlist doubled = ulDlistCopy(l, [](void *v) { return word(num(v) * 2); });
  EXPECT_EQ(valuesOf(same), (V{1, 2, 3}));
  EXPECT_EQ(valuesOf(doubled), (V{2, 4, 6}));

  void **array = ulDlistListToArray(l, nullptr);
  EXPECT_EQ((V{num(array[0]), num(array[1]), num(array[2]), num(array[3])}), (V{1, 2, 3, 0}));
  ulDlist back = ulDlistArrayToList(array, nullptr);
  EXPECT_EQ(valuesOf(back), (V{1, 2, 3}));
  ulDlistArrayToList(array, back);
  EXPECT_EQ(valuesOf(back), (V{1, 2, 3, 1, 2, 3}));
  void *fixed[4];
  EXPECT_EQ(ulDlistListToArray(doubled, fixed), fixed);
  EXPECT_EQ((V{num(fixed[1]), num(fixed[3])}), (V{4, 0}));
  ulMemFree(array);
  for (ulDlist x : {l, same, doubled, back})
    ulDlistFreeList(x);
}

TEST(ulDlistMemory, CellsAndHeadersAreRecycledAndPurged) {
  if (!poolsOn())
    GTEST_SKIP() << "pools are off with the free lists";
  ulDlistPurge(); // start with empty pools
  ulDlist l = ulDlistCreate();
  ulDlistAddTail(l, word(1));
  ulDlistCell *cell = ulDlistCurCell(l);
  ulDlistRemHead(l);
  ulDlistAddTail(l, word(2));
  EXPECT_EQ(ulDlistCurCell(l), cell); // taken back from the pool
  ulDlistFreeList(l);
  EXPECT_EQ(ulDlistCreate(), l); // a recycled header
  ulDlistFreeList(l);

  // After the purge the pooled cell and header are back on the free lists.
  ulDlistPurge();
  EXPECT_EQ(ulMemFlAlloc(sizeof(ulDlistHeader), "check"), static_cast<void *>(l));
  EXPECT_EQ(ulMemFlAlloc(sizeof(ulDlistCell), "check"), static_cast<void *>(cell));
  ulMemFlFree(l, sizeof(ulDlistHeader));
  ulMemFlFree(cell, sizeof(ulDlistCell));

  // The pools register their purge with the memory layer. A live cell next
  // to the pooled one keeps their block from being purged itself.
  ulDlist keep = listOf({5});
  ulDlist m = listOf({1});
  ulDlistCell *c2 = ulDlistCurCell(m);
  ulDlistClearList(m);
  ulMemPurge();
  EXPECT_EQ(ulMemFlAlloc(sizeof(ulDlistCell), "check"), static_cast<void *>(c2));
  ulMemFlFree(c2, sizeof(ulDlistCell));
  ulDlistFreeList(m);
  ulDlistFreeList(keep);
}

TEST(ulDlistMemory, DestroyHandsEveryValueOverAndSizeIsCapped) {
  ulDlist l = ulDlistCreate();
  for (int i = 0; i < 5; i++)
    ulDlistAddTail(l, ulMemMalloc(8, "value"));
  int count = 0;
  ulDlistDestroyList(
      l,
      [](void *v, void *data) {
        ulMemFree(v);
        return ++*static_cast<int *>(data);
      },
      &count);
  EXPECT_EQ(count, 5);
  ulDlistDestroyList(nullptr, nullptr, nullptr);
  ulDlistFreeList(nullptr);

  // A list holds at most 32767 elements.
  l = ulDlistCreate();
  for (int i = 0; i < 32767; i++)
    ulDlistAddTail(l, word(1));
  EXPECT_EQ(ulDlistSize(l), 32767);
  EXPECT_DEATH(ulDlistAddHead(l, word(2)), "List overflow");
  ulDlistFreeList(l);
}

TEST(ulList, SingleAndDoubleInsertDeleteAndWalk) {
  Node a{nullptr, nullptr, 1}, b{nullptr, nullptr, 2}, c{nullptr, nullptr, 3};
  void *head = ulListSins(&a, nullptr, nullptr);
  EXPECT_TRUE(head == &a && a.next == nullptr);
  head = ulListSins(&c, &a, head);
  head = ulListSins(&b, &a, head);
  EXPECT_EQ(keysOf(head), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ulListSize(head), 3);
  EXPECT_EQ((std::vector<void *>{ulListLast(head), ulListLast(nullptr), ulListPrev(&c, head),
                                 ulListPrev(&a, head)}),
            (std::vector<void *>{&c, nullptr, &b, nullptr}));

  head = ulListSdel(&b, head);
  EXPECT_EQ(b.next, nullptr);
  EXPECT_EQ(keysOf(head), (std::vector<int>{1, 3}));
  head = ulListSdel(&a, head);
  // b is not in the list any more.
  EXPECT_EQ((std::vector<void *>{head, ulListSdel(&b, head), ulListSdel(&c, head)}),
            (std::vector<void *>{&c, &c, nullptr}));
  EXPECT_EQ(ulListSize(nullptr), 0);

  // Doubly linked: insert and delete keep both links.
  a = {nullptr, nullptr, 1}, b = {nullptr, nullptr, 2}, c = {nullptr, nullptr, 3};
  head = ulListDins(&c, nullptr, nullptr);
  head = ulListDins(&a, nullptr, head);
  head = ulListDins(&b, &a, head);
  EXPECT_EQ(keysOf(head), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ((std::vector<Node *>{a.prev, b.prev, c.prev}), (std::vector<Node *>{nullptr, &a, &b}));
  head = ulListDdel(&b, head);
  EXPECT_EQ((std::vector<Node *>{b.next, b.prev, c.prev}),
            (std::vector<Node *>{nullptr, nullptr, &a}));
  head = ulListDdel(&a, head);
  EXPECT_TRUE(head == &c && c.prev == nullptr);
}

TEST(ulList, SortReversesEqualElementsRebuildsLinksAndFreeIsSafe) {
  Node x{nullptr, nullptr, 5}, y{nullptr, nullptr, 5};
  void *head = ulListSins(&y, &x, &x);
  head = ulListSsort(head, nodeKey);
  EXPECT_EQ((std::vector<void *>{head, y.next, x.next, ulListSsort(nullptr, nodeKey)}),
            (std::vector<void *>{&y, &x, nullptr, nullptr}));

  std::vector<Node> nodes(9);
  void *dhead = nullptr;
  for (int i = 0; i < 9; i++) {
    nodes[i].key = (i * 4) % 9;
    dhead = ulListDins(&nodes[i], i == 0 ? nullptr : &nodes[i - 1], dhead);
  }
  dhead = ulListDsort(dhead, nodeKey);
  EXPECT_EQ(keysOf(dhead), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  Node *prev = nullptr;
  for (auto *n = static_cast<Node *>(dhead); n != nullptr; prev = n, n = n->next)
    EXPECT_EQ(n->prev, prev);

  void *owned = nullptr;
  for (int i = 0; i < 4; i++)
    owned = ulListSins(ulMemCalloc(1, sizeof(Node), "node"), nullptr, owned);
  ulListFree(owned); // a sanitizer build catches a link read after the free
}

TEST(ulCellList, AddFindRemoveAndFree) {
  ulCell *head = nullptr;
  for (long v : {1, 2, 1, 3})
    head = ulCellAdd(word(v), head);
  EXPECT_EQ(head->value, word(3));
  EXPECT_EQ(ulCellFind(word(2), head), head->next->next);
  EXPECT_EQ(ulCellFound(word(4), head), 0);
  head = ulCellRemove(word(1), head); // every cell holding 1
  EXPECT_EQ(ulCellFound(word(1), head), 0);
  EXPECT_EQ((V{num(head->value), num(head->next->value), num(head->next->next)}), (V{3, 2, 0}));
  head = ulCellRemove(word(3), head);
  head = ulCellRemove(word(2), head);
  EXPECT_EQ(head, nullptr);

  ulCell *owned = ulCellAdd(ulMemMalloc(4, "v"), ulCellAdd(nullptr, nullptr));
  ulCellFree(owned);
  ulCell *strings = ulCellAdd(ulStrCpy("a"), ulCellAdd(ulStrCpy("bb"), nullptr));
  ulCellStrFree(strings);
  static int calls = 0;
  ulCellFreeGeneral(ulCellAdd(word(7), ulCellAdd(nullptr, nullptr)), [](void *) { calls++; });
  EXPECT_EQ(calls, 1); // null values are skipped

  ulCell *fresh = ulCellNew();
  EXPECT_EQ(fresh->next, nullptr);
  ulCellFLSave(fresh);
  if (poolsOn()) {
    EXPECT_EQ(ulCellNew(), fresh); // reused from the free chain
    ulCellFLSave(fresh);
  }
  ulCellFLFree();
}
