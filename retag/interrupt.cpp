// interrupt.cpp: SIGINT, SIGTERM, SIGHUP and SIGPIPE during the visit of a
// library
// (see retagInternal.h for the calling sequence).
#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "retagInternal.h"
#include "vfpFile.h"

namespace {

// SIGPIPE too: a reader of the output that goes away (retag -debug | head)
// must not end the run in the middle of a save, with the block still locked.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The module's state. Constant-initialised, so the handler never meets it
// half built; the handler touches nothing else.
struct State {
  volatile sig_atomic_t caught; // the first signal caught, 0 while none
};
State state = {0};

// Only notes the signal: everything that must not be cut off (a save, the
// release of a lock) finishes, and the visit stops before the next symbol.
// Later signals, of any of the four kinds, are absorbed: ending the process
// from here would leave the current block's lock file behind.
void noteSignal(int sig) {
  if (state.caught == 0)
    state.caught = sig;
}

} // namespace

void vaam::catchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = noteSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : kSignals)
    sigaddset(&action.sa_mask, sig);
  // No SA_RESTART: a read that can block for good (the save's question at a
  // terminal, a block file that is a pipe or on a hung network file system)
  // fails with EINTR instead, so that the symbol ends and the visit with it.
  // Writes into regular files are not interrupted, and a failed write only
  // fails its save, which leaves the block file as it was.
  action.sa_flags = 0;
  for (int sig : kSignals) {
    struct sigaction old = {};
    // A signal ignored from the start (nohup, a background job of a shell
    // without job control) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
      continue;
    (void)sigaction(sig, &action, nullptr);
  }
  // A lock file that cannot be read is retried for about 25 seconds; once
  // interrupted, the run no longer waits for it (that symbol is refused).
  vfpLockWaitCancelV = [] { return state.caught != 0 ? 1 : 0; };
}

int vaam::interruptSignal() {
  return state.caught;
}

const char *vaam::signalName(int sig) {
  switch (sig) {
  case SIGINT:
    return "SIGINT";
  case SIGTERM:
    return "SIGTERM";
  case SIGHUP:
    return "SIGHUP";
  case SIGPIPE:
    return "SIGPIPE";
  default:
    return "a signal";
  }
}

void vaam::endByInterrupt(int sig) {
  std::fflush(nullptr);
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  (void)sigaction(sig, &action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  (void)sigprocmask(SIG_UNBLOCK, &only, nullptr);
  (void)raise(sig);
  // Not reached for the four signals caught; the shell's status for them.
  std::_Exit(128 + sig);
}
