// The block model's records against plain new/delete: building and freeing a
// Block of 10,000 objects of every kind.
//
// BM_BlockBuildFree builds the Block through the model (records from the
// tagged free lists, strings from the pool) and frees it with q_free_block;
// BM_NewDeleteBuildFree builds the same records, linked the same way, with
// new and strings with new[], and deletes them. After the benchmarks the
// speed-up (new/delete time / model time) is printed; the model is meant to
// be at least 1.5 times as fast.
//
// Before the benchmarks the heap calls (malloc, calloc, realloc, and so every
// operator new) of one Block are counted twice: for the first Block of the
// run and for a second Block of the same size built after the first was
// freed. The second is meant to need none beyond the first's: its records
// come back from the free lists.
#include <cstdio>
#include <cstring>
#include <new>

#include "../tests/scrib/BlockBuilder.h"
#include "BenchSupport.h"

// ---- Counting heap calls ----------------------------------------------------------
//
// The C heap's entry points are interposed for this executable and passed on
// to the C library's own.

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void __libc_free(void *block);
}

namespace {
long heapCalls = 0;
} // namespace

extern "C" {
void *malloc(size_t size) {
  ++heapCalls;
  return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
  ++heapCalls;
  return __libc_calloc(count, size);
}
void *realloc(void *block, size_t size) {
  ++heapCalls;
  return __libc_realloc(block, size);
}
void free(void *block) {
  __libc_free(block);
}
}

namespace {

constexpr int kObjects = 10000;

// Heap calls taken by building one Block and freeing it.
long heapCallsOfOneBlock() {
  long before = heapCalls;
  q_free_block(blockbuilder::build(kObjects));
  return heapCalls - before;
}

void BM_BlockBuildFree(benchmark::State &state) {
  for (auto _ : state) {
    vqBlock *b = blockbuilder::build(kObjects);
    benchmark::DoNotOptimize(b);
    q_free_block(b);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_BlockBuildFree);

// ---- The baseline: the same records with new and delete -----------------------------

char *newString(const char *s) {
  size_t n = std::strlen(s) + 1;
  char *p = new char[n];
  std::memcpy(p, s, n);
  return p;
}

template <class T> T *newObject(int kind) {
  T *o = new T();
  o->kind = static_cast<uint8_t>(kind);
  return o;
}

void deleteObject(vqObject *o) {
  switch (o->kind) {
  case vqKIND_LINE: {
    auto *l = static_cast<vqLine *>(o);
    l->~vqLine();
    ::operator delete(l);
    break;
  }
  case vqKIND_BOX:
    delete static_cast<vqBox *>(o);
    break;
  case vqKIND_CIRCLE:
    delete static_cast<vqCircle *>(o);
    break;
  case vqKIND_ARC:
    delete static_cast<vqArc *>(o);
    break;
  case vqKIND_NET: {
    auto *n = static_cast<vqNet *>(o);
    for (vqJoint *j = n->joints; j != nullptr;) {
      vqJoint *next = j->next;
      for (ulCell *c = j->segments; c != nullptr;) {
        ulCell *nc = c->next;
        delete c;
        c = nc;
      }
      delete j;
      j = next;
    }
    delete n->segments;
    delete n;
    break;
  }
  case vqKIND_COMPONENT: {
    auto *c = static_cast<vqComp *>(o);
    for (vqCnt *k = c->cnts; k != nullptr;) {
      vqCnt *next = k->next;
      delete k;
      k = next;
    }
    delete[] c->symName;
    delete[] c->trail;
    delete c;
    break;
  }
  case vqKIND_PIN:
    delete static_cast<vqPin *>(o);
    break;
  default: {
    auto *t = static_cast<vqText *>(o);
    delete[] t->text;
    delete t;
  }
  }
}

vqBlock *newBlock(int count) {
  auto *b = new vqBlock();
  b->name = newString("bench");
  b->library = newString("lib");
  vqObject **link = &b->objects;
  vqComp *lastComp = nullptr;
  vqNet *lastNet = nullptr;
  for (int i = 0; i < count; ++i) {
    vqObject *o = nullptr;
    switch (i % 10) {
    case 0: {
      // One block for the record and its points, as the model keeps them.
      void *block = ::operator new(sizeof(vqLine) + 3 * sizeof(vqPoint));
      auto *l = new (block) vqLine();
      l->kind = vqKIND_LINE;
      l->count = 3;
      l->points = reinterpret_cast<vqPoint *>(l + 1);
      for (int k = 0; k < 3; ++k)
        l->points[k] = {i, k};
      o = l;
      break;
    }
    case 1:
      o = newObject<vqBox>(vqKIND_BOX);
      break;
    case 2: {
      auto *t = newObject<vqText>(vqKIND_TEXT);
      t->text = newString("a free text");
      o = t;
      break;
    }
    case 3:
      o = newObject<vqCircle>(vqKIND_CIRCLE);
      break;
    case 4:
      o = newObject<vqArc>(vqKIND_ARC);
      break;
    case 5: {
      auto *n = newObject<vqNet>(vqKIND_NET);
      auto *j1 = new vqJoint();
      auto *j2 = new vqJoint();
      auto *s = new vqSegment();
      j1->next = j2;
      s->j1 = j1;
      s->j2 = j2;
      j1->segments = new ulCell{nullptr, s};
      j2->segments = new ulCell{nullptr, s};
      n->joints = j1;
      n->segments = s;
      o = lastNet = n;
      break;
    }
    case 6:
    case 8: {
      auto *t = newObject<vqText>(i % 10 == 6 ? vqKIND_ATTRIBUTE : vqKIND_LABEL);
      t->text = newString(i % 10 == 6 ? "REFDES=U1" : "NET1");
      vqObject *owner = i % 10 == 6 ? static_cast<vqObject *>(lastComp) : lastNet;
      if (owner != nullptr) {
        vqText **chain = vqObjectAttachedChain(owner);
        while (*chain != nullptr)
          chain = &(*chain)->attNext;
        *chain = t;
        t->owner = owner;
      }
      o = t;
      break;
    }
    case 7: {
      auto *c = newObject<vqComp>(vqKIND_COMPONENT);
      c->symName = newString("and2");
      c->trail = newString("'x");
      for (int k = 0; k < 2; ++k) {
        auto *cnt = new vqCnt();
        cnt->next = c->cnts;
        c->cnts = cnt;
      }
      o = lastComp = c;
      break;
    }
    default:
      o = newObject<vqPin>(vqKIND_PIN);
      break;
    }
    *link = o;
    link = &o->next;
  }
  return b;
}

void deleteBlock(vqBlock *b) {
  for (vqObject *o = b->objects; o != nullptr;) {
    vqObject *next = o->next;
    deleteObject(o);
    o = next;
  }
  delete[] b->name;
  delete[] b->library;
  delete b;
}

void BM_NewDeleteBuildFree(benchmark::State &state) {
  for (auto _ : state) {
    vqBlock *b = newBlock(kObjects);
    benchmark::DoNotOptimize(b);
    deleteBlock(b);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_NewDeleteBuildFree);

} // namespace

int main(int argc, char **argv) {
  long first = heapCallsOfOneBlock();
  long second = heapCallsOfOneBlock();
  benchsupport::TimeReporter reporter;
  benchsupport::runBenchmarks(argc, argv, reporter);
  std::printf("heap calls of a Block of %d objects: first %ld, second %ld\n", kObjects, first,
              second);
  benchsupport::printRatio("new/delete time / block model time",
                           reporter.time["BM_NewDeleteBuildFree"],
                           reporter.time["BM_BlockBuildFree"]);
  return 0;
}
