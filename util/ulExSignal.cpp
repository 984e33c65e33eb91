// Start-up of the exception layer: fault signals turned into exceptions.

#include "ulEx.h"

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "ulErr.h"
#include "ulMsg.h"
#include "ulPref.h"

namespace {

struct SignalState {
  bool initialised = false;        // ulExInit ran its first call
  char program[256] = "unknown";   // base name of argv[0], for signal messages
  bool installed = false;          // the handlers replaced the actions below
  struct sigaction before[3] = {}; // of kFaults, as ulExInit found them
};

const int kFaults[] = {SIGFPE, SIGBUS, SIGSEGV};

SignalState &signalState() {
  static SignalState s;
  return s;
}

long tagOfSignal(int sig) {
  switch (sig) {
  case SIGFPE:
    return ulEX_FPE;
  case SIGBUS:
    return ulEX_BUS;
  default:
    return ulEX_SEGV;
  }
}

// The fault handler. The fault arose in the running code itself, so building
// an error record here is what that code would have done had it noticed the
// fault; the process state is the one the faulting instruction left.
void faultHandler(int sig) {
  long tag = tagOfSignal(sig);
  char text[1024];
  std::snprintf(text, sizeof text,
                "%s - %s.\nReceipt of this message indicates an unspecified\n"
                "system-level error.\n\n1.  Save your data under a new name.\n\n"
                "2.  Exit the tool.",
                signalState().program, ulExTagString(tag));
  ulErr *e = ulErrCreate(nullptr, "ullib", 2001, ulErrERROR, 0, text);
  ulExFrame *frame = ulEx_Unwind(tag, e);
  if (frame == nullptr || frame->jump == nullptr)
    ulEx_Uncaught();
  // Destructors of the C++ frames between the fault and the catcher do not
  // run: there is no way to unwind out of a signal handler.
  siglongjmp(*frame->jump, 1);
}

bool installHandlers(SignalState &s) {
  for (int i = 0; i < 3; ++i)
    sigaction(kFaults[i], nullptr, &s.before[i]);
  s.installed = true;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = faultHandler;
  sigemptyset(&action.sa_mask);
  // The handler stays installed for the next fault. SA_NODEFER leaves the
  // signal unblocked while it runs: the handler leaves by a jump (whose
  // sigsetjmp restores the mask anyway) or ends the process.
  action.sa_flags = SA_NODEFER;
  bool ok = true;
  for (int sig : kFaults)
    ok = sigaction(sig, &action, nullptr) == 0 && ok;
  return ok;
}

const char *baseName(const char *path) {
  const char *slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

} // namespace

void ulExInit(int *argc, char **argv) {
  SignalState &s = signalState();
  if (s.initialised)
    return;
  s.initialised = true;
  if (argv != nullptr && argv[0] != nullptr)
    std::snprintf(s.program, sizeof s.program, "%s", baseName(argv[0]));
  ulPrefDB *set = ulPrefCreate("ex");
  ulPrefAdd2(set, "catch_signals", &ulYesNoVT, ulMsgFile(), 1154, ulPrefWord(1));
  ulPrefParse(nullptr, argc, argv);
  bool catchSignals = ulPrefIntVal(set, "catch_signals") != 0;
  ulPrefDestroy(set);
  if (catchSignals && !installHandlers(s))
    ulErrYell("vrSignal failed\n");
}

void ulExExit() {
  SignalState &s = signalState();
  if (s.installed)
    for (int i = 0; i < 3; ++i)
      sigaction(kFaults[i], &s.before[i], nullptr);
  s = SignalState();
}
