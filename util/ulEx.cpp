// The exception stack and throwing.

#include "ulEx.h"

#include <cstdarg>
#include <cstdio>

#include "ulErr.h"
#include "ulMsg.h"
#include "ulStr.h"

ulExFrame *ulEx_StackV = nullptr;
long ulExTagV = 0;
ulErr *ulExErrV = nullptr;

namespace {

struct TagInfo {
  long tag;
  const char *text;
};

constexpr TagInfo kTags[] = {
    {ulEX_PRECOND, "subroutine pre-condition not met"},
    {ulEX_POSTCOND, "subroutine failed to fulfill contract"},
    {ulEX_BUS, "bus error"},
    {ulEX_SEGV, "segmentation violation"},
    {ulEX_FPE, "floating point exception"},
    {ulEX_USER1, "user-defined exception 1"},
    {ulEX_USER2, "user-defined exception 2"},
    {ulEX_USER3, "user-defined exception 3"},
    {ulEX_USER4, "user-defined exception 4"},
    {ulEX_USER5, "user-defined exception 5"},
    {ulEX_USER6, "user-defined exception 6"},
    {ulEX_USER7, "user-defined exception 7"},
    {ulEX_USER8, "user-defined exception 8"},
};

char unknownTagV[64];

} // namespace

ulExFrame *ulEx_Unwind(long tag, ulErr *chain) {
  ulExTagV = tag;
  if (!ulErr_Contains(chain, ulExErrV))
    chain = ulErrAppend(chain, ulExErrV);
  ulExErrV = chain;
  for (ulExFrame *f = ulEx_StackV; f != nullptr; f = f->link) {
    ulEx_StackV = f;
    if ((f->mask & tag) != 0) {
      ulEx_StackV = f->link;
      return f;
    }
  }
  ulEx_StackV = nullptr;
  return nullptr;
}

void ulEx_Uncaught() {
  ulCleanup();
  ulErr *pending = ulExErrV;
  ulErrReport(nullptr, pending);
  ulAbort(0);
}

void ulEx_Push(ulExFrame *frame) {
  frame->link = ulEx_StackV;
  ulEx_StackV = frame;
}

void ulEx_Pop(ulExFrame *frame) {
  // After a throw the stack already points outside this frame; only a frame
  // that is still the innermost restores its link.
  if (ulEx_StackV == frame)
    ulEx_StackV = frame->link;
}

void ulExThrow(long tag, ulErr *chain) {
  ulExFrame *frame = ulEx_Unwind(tag, chain);
  if (frame == nullptr)
    ulEx_Uncaught();
  throw ulExException{tag};
}

void ulExThrow2(long tag, const char *application, int severity, const char *text) {
  ulExThrow(tag, ulErrCreate2(application, severity, text));
}

void ulExThrowBuild(long tag, const char *location, ulMsgHandle messageFile, int number, ...) {
  va_list args;
  va_start(args, number);
  ulErr *e = ulErrBuildVa(location, messageFile, number, args);
  va_end(args);
  ulExThrow(tag, e);
}

void ulExThrowBuildVa(long tag, const char *location, ulMsgHandle messageFile, int number,
                      va_list args) {
  ulExThrow(tag, ulErrBuildVa(location, messageFile, number, args));
}

void ulEx_PreCond(const char *routine, ulMsgHandle messageFile, int number, ...) {
  va_list args;
  va_start(args, number);
  ulErr *e = ulErrBuildVa(ulErrLocationRoutine(routine), messageFile, number, args);
  va_end(args);
  ulExThrow(ulEX_PRECOND, e);
}

void ulEx_PostCond(const char *location, ulMsgHandle messageFile, int number, ...) {
  va_list args;
  va_start(args, number);
  ulErr *e = ulErrBuildVa(location, messageFile, number, args);
  va_end(args);
  ulExThrow(ulEX_POSTCOND, e);
}

void ulExPrecond(int condition, const char *location, ulMsgHandle messageFile, int number, ...) {
  if (condition == 0)
    return;
  if (messageFile == nullptr)
    ulExThrow(ulEX_PRECOND, ulErrBuild(location, ulMsgFile(), 1155));
  va_list args;
  va_start(args, number);
  ulErr *e = ulErrBuildVa(location, messageFile, number, args);
  va_end(args);
  ulExThrow(ulEX_PRECOND, e);
}

const char *ulExTagString(long tag) {
  for (const TagInfo &t : kTags)
    if (t.tag == tag)
      return t.text;
  std::snprintf(unknownTagV, sizeof unknownTagV, "unknown exception type %ld", tag);
  return unknownTagV;
}
