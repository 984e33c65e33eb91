// ulEx.h: library exceptions (tagged, caught by mask) and fault signals.
//
// Deep code of the library abandons an operation by throwing: it hands an
// error chain (ulErr.h) and a tag to ulExThrow, which never returns. A caller
// that wants to survive such an exception runs the code inside a catching
// frame that names, as a bit mask, the tags it catches:
//
//   if (ulExTry(ulEX_ALL, [&] { readEverything(file); })) {
//     // Caught. ulExTagV holds the tag, ulExErrV the error chain, which this
//     // block now owns: report it (ulErrReport clears ulExErrV), destroy it
//     // (ulErrDestroy, then set ulExErrV to null), or pass it on with
//     // ulExThrow(ulExTagV, ulExErrV).
//     cleanUp();
//     ulExThrow(ulExTagV, ulExErrV);
//   }
//
// ulExTry returns 0 when the body finished normally and 1 when an exception
// whose tag shares a bit with the mask ended it. Frames nest; an exception
// goes to the innermost frame whose mask matches its tag and passes through
// the others. With no matching frame at all, ulExThrow runs ulCleanup,
// reports the error and ends the process with status 3.
//
// How it works. Each ulExTry pushes an ulExFrame (mask, link to the enclosing
// frame) on the process-wide stack ulEx_StackV and pops it when it is left,
// however that happens. ulExThrow records the tag in ulExTagV, makes the
// chain the pending error ulExErrV (appending an older pending error that is
// not the chain itself), walks the stack outward to the first frame whose
// mask shares a bit with the tag, makes that frame's link the innermost frame
// and throws one C++ exception, ulExException, carrying the tag. Each frame's
// catch clause takes it only when the frame's mask matches, else rethrows, so
// the C++ unwinding stops at the same frame the walk found and every
// destructor in between runs.
//
// Faults. SIGSEGV, SIGBUS and SIGFPE (installed by ulExInit) become
// exceptions with the tags ulEX_SEGV, ulEX_BUS and ulEX_FPE. A signal handler
// cannot throw a C++ exception portably, so a frame whose mask holds one of
// those tags also sets a sigjmp_buf when it is entered, and the handler,
// having found that frame as the innermost catcher, siglongjmps to it. That
// jump does not run the destructors of the C++ frames between the fault and
// the catching frame (nor pop their frames one by one: the handler resets
// the stack to the catcher's link), so code guarded against faults should not
// own resources through destructors it cannot afford to lose. Frames that
// catch no fault tag pay no sigsetjmp.
//
// Do not catch ulExException yourself (catch (...) included) except to clean
// up and rethrow: the frame stack assumes that every exception reaches the
// frame that the walk chose.
//
// Single-threaded: the frame stack, the tag and the pending error are
// process-wide.
#pragma once

#include <csetjmp>
#include <csignal>
#include <cstdarg>

#include "ulMsg.h"

struct ulErr;

// Exception tags. A frame's mask is any combination of them.
inline constexpr long ulEX_PRECOND = 0x1;   // subroutine pre-condition not met
inline constexpr long ulEX_POSTCOND = 0x2;  // subroutine failed to fulfill contract
inline constexpr long ulEX_BUS = 0x40;      // bus error (SIGBUS)
inline constexpr long ulEX_SEGV = 0x80;     // segmentation violation (SIGSEGV)
inline constexpr long ulEX_FPE = 0x100;     // floating point exception (SIGFPE)
inline constexpr long ulEX_USER1 = 0x10000; // user-defined exceptions 1 to 8
inline constexpr long ulEX_USER2 = 0x20000;
inline constexpr long ulEX_USER3 = 0x40000;
inline constexpr long ulEX_USER4 = 0x80000;
inline constexpr long ulEX_USER5 = 0x100000;
inline constexpr long ulEX_USER6 = 0x200000;
inline constexpr long ulEX_USER7 = 0x400000;
inline constexpr long ulEX_USER8 = 0x800000;
// The tags raised by fault signals; a frame catching any of them sets a jump
// buffer.
inline constexpr long ulEX_FAULTS = ulEX_BUS | ulEX_SEGV | ulEX_FPE;
// A mask that catches every tag.
inline constexpr long ulEX_ALL = 0xFFFFFFFF;

// One active catching frame, in the storage of the ulExTry call that owns it.
struct ulExFrame {
  long mask;        // tags this frame catches (32 bits used)
  sigjmp_buf *jump; // where a fault handler jumps to; null unless mask & ulEX_FAULTS
  ulExFrame *link;  // the enclosing frame, or null for the outermost
};

// The innermost active frame, null when none.
extern ulExFrame *ulEx_StackV;
// The tag of the exception thrown last.
extern long ulExTagV;
// The pending exception error chain, null when none. A catching block owns
// it after the catch.
extern ulErr *ulExErrV;

// The one C++ exception type of the library. Thrown only by ulExThrow (and
// its forms) and taken only by ulExTry.
struct ulExException {
  long tag; // the tag given to ulExThrow
};

// ---- Throwing ----------------------------------------------------------------
// None of these returns.

// Throws chain with tag (see above). A null chain throws whatever error is
// pending (possibly none).
[[noreturn]] void ulExThrow(long tag, ulErr *chain);

// Creates a record (no location, number 0) and throws it.
[[noreturn]] void ulExThrow2(long tag, const char *application, int severity, const char *text);

// Builds the record from message number of messageFile with the arguments
// (ulErrBuildVa) and throws it.
[[noreturn]] void ulExThrowBuild(long tag, const char *location, ulMsgHandle messageFile,
                                 int number, ...);
[[noreturn]] void ulExThrowBuildVa(long tag, const char *location, ulMsgHandle messageFile,
                                   int number, va_list args);

// A failed pre-condition: builds the message with the location "in call to
// routine NAME()" and throws it with ulEX_PRECOND.
[[noreturn]] void ulEx_PreCond(const char *routine, ulMsgHandle messageFile, int number, ...);

// A failed post-condition: builds the message with location and throws it
// with ulEX_POSTCOND.
[[noreturn]] void ulEx_PostCond(const char *location, ulMsgHandle messageFile, int number, ...);

// Does nothing when condition is 0. Otherwise throws with ulEX_PRECOND the
// message number of messageFile, or the library's message 1155 when
// messageFile is null.
void ulExPrecond(int condition, const char *location, ulMsgHandle messageFile, int number, ...);

// The description of tag ("segmentation violation", ...), or "unknown
// exception type N" (in a buffer of this module, valid until the next such
// call).
const char *ulExTagString(long tag);

// ---- Start-up ----------------------------------------------------------------

// First call only: keeps the base name of argv[0] for signal messages, reads
// the preference "ex.catch_signals" (default Yes, removed from argv when
// given) and, when it is Yes, installs the fault handler for SIGFPE, SIGBUS
// and SIGSEGV. argc and argv may be null.
void ulExInit(int *argc, char **argv);
// Undoes ulExInit: the signal actions it replaced are restored and the next
// ulExInit acts again. Does nothing before ulExInit.
void ulExExit();

// ---- Catching frames ------------------------------------------------------------
// ulExTry is all a caller needs; the functions below are its parts, and the
// fault handler's.

// Records tag, makes chain the pending error (an older pending error that is
// not chain goes behind it) and walks the stack to the innermost frame that
// catches tag, which it unlinks and returns. Null when no frame catches it;
// the stack is then empty.
ulExFrame *ulEx_Unwind(long tag, ulErr *chain);
// The end of an exception no frame catches: ulCleanup, report the pending
// error, ulAbort(0).
[[noreturn]] void ulEx_Uncaught();

// Pushes frame (its mask and jump already set) as the innermost frame.
void ulEx_Push(ulExFrame *frame);
// Makes frame's link the innermost frame again (frame must be the innermost
// or already unlinked by a throw).
void ulEx_Pop(ulExFrame *frame);

namespace ulEx_detail {
// Pops its frame when ulExTry is left by any path a destructor sees.
struct FrameGuard {
  ulExFrame *frame;
  ~FrameGuard() { ulEx_Pop(frame); }
};
} // namespace ulEx_detail

// Runs body() inside a catching frame for mask. Returns 0 when body returned,
// 1 when an exception whose tag shares a bit with mask ended it (ulExTagV and
// ulExErrV describe it; see the example above). Other exceptions pass on.
template <class Body> int ulExTry(long mask, Body &&body) {
  sigjmp_buf jump;
  ulExFrame frame{mask, (mask & ulEX_FAULTS) ? &jump : nullptr, nullptr};
  ulEx_Push(&frame);
  ulEx_detail::FrameGuard guard{&frame};
  if (frame.jump != nullptr) {
    if (sigsetjmp(jump, 1) != 0)
      return 1; // a fault handler jumped here and already unlinked the frame
  }
  try {
    body();
  } catch (const ulExException &e) {
    if ((e.tag & mask) == 0)
      throw;
    return 1;
  }
  return 0;
}
