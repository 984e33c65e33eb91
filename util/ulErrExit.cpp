// The exit-handler registry, ulExit, ulAbort and ulCleanup.
//
// The registry exists for memory-checking runs: its handlers free what the
// modules hold for the whole run, so that a checker sees only real leaks.
// A normal run leaves that work to the process exit.

#include "ulErr.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "ulDlist.h"
#include "ulMem.h"
#include "ulStr.h"
#include "vs.h"

namespace {

struct ExitKey {
  ulOnExitKey function;
  void *argument;
  bool operator==(const ExitKey &) const = default;
};

// Entries are identified by function and argument; the hash is their sum.
struct ExitKeyHash {
  size_t operator()(const ExitKey &k) const {
    return reinterpret_cast<size_t>(k.function) + reinterpret_cast<size_t>(k.argument);
  }
};

struct ExitEntry {
  ulOnExitThunk thunk;
  bool hasArgument;
  unsigned long serial; // order of registration, for handlers of equal order
};

struct FunctionHash {
  size_t operator()(ulOnExitKey f) const { return reinterpret_cast<size_t>(f); }
};

struct ExitState {
  bool looked = false; // the environment has been read
  bool active = false; // UL_MEMDBG or UL_PURIFY set
  unsigned long serial = 0;
  std::unordered_map<ExitKey, ExitEntry, ExitKeyHash> handlers;
  std::unordered_map<ulOnExitKey, int, FunctionHash> orders;
  bool cleanedUp = false;
  std::vector<void (*)()> fatalHandlers;
};

ExitState &state() {
  static ExitState *s = new ExitState; // never destroyed: used up to the last exit
  return *s;
}

bool active() {
  ExitState &s = state();
  if (!s.looked) {
    s.looked = true;
    s.active = std::getenv("UL_MEMDBG") != nullptr || std::getenv("UL_PURIFY") != nullptr;
  }
  return s.active;
}

void noCleanup() {}

} // namespace

void (*ulCleanupProcV)() = noCleanup;

void ulOnExit_Add(ulOnExitKey function, void *argument, bool hasArgument, ulOnExitThunk thunk) {
  if (!active() || function == nullptr)
    return;
  ExitState &s = state();
  s.handlers.try_emplace(ExitKey{function, argument}, ExitEntry{thunk, hasArgument, s.serial++});
}

void ulOnExit_Remove(ulOnExitKey function, void *argument) {
  if (!active())
    return;
  state().handlers.erase(ExitKey{function, argument});
}

void ulOnExit_SetOrder(ulOnExitKey function, int order) {
  if (!active())
    return;
  state().orders[function] = order;
}

void ulOnExitCall() {
  if (!active())
    return;
  ulOnExitSetOrder(ulMemFree, 90);
  ExitState &s = state();
  struct Call {
    ExitKey key;
    ExitEntry entry;
    int order;
  };
  std::vector<Call> calls;
  calls.reserve(s.handlers.size());
  for (const auto &[key, entry] : s.handlers) {
    auto found = s.orders.find(key.function);
    calls.push_back({key, entry, found == s.orders.end() ? 0 : found->second});
  }
  s.handlers.clear();
  std::sort(calls.begin(), calls.end(), [](const Call &a, const Call &b) {
    return a.order != b.order ? a.order < b.order : a.entry.serial < b.entry.serial;
  });
  for (const Call &c : calls)
    c.entry.thunk(c.key.function, c.key.argument);
}

void ulExit(int status) {
  ulOnExitCall();
  ulStrTerminate();
  ulDlistPurge();
  ulMemPrintUsage(nullptr);
  ulMem_DbgPrintStrings();
  ulMem_DbgTestMemory();
  std::exit(status);
}

void ulGoodbye() {
  ulExit(0);
}

void ulCleanup() {
  ExitState &s = state();
  if (s.cleanedUp)
    return;
  s.cleanedUp = true;
  if (ulCleanupProcV != nullptr)
    ulCleanupProcV();
}

void ulAbortAddHandler(void (*function)()) {
  if (function != nullptr)
    state().fatalHandlers.push_back(function);
}

void ulAbort(int core) {
  ulCleanup();
  ExitState &s = state();
  // A handler may add another; take them off one at a time, newest first.
  while (!s.fatalHandlers.empty()) {
    void (*handler)() = s.fatalHandlers.back();
    s.fatalHandlers.pop_back();
    handler();
  }
  if (core != 0)
    vsCoreDump();
  // After a fatal error the heap and module state may be inconsistent, so
  // static destructors and atexit functions are skipped: flush and leave.
  std::fflush(nullptr);
  std::_Exit(3);
}
