// qMsg.cpp: the editor's message file, its quiet flag, and the wrappers that
// build, report and print its numbered messages.
#include "qMsg.h"

#include <cstdio>

char q_quiet = 0;

namespace {

struct State {
  ulMsgHandle file = nullptr; // the editor's message file once opened
};

State &state() {
  static State s;
  return s;
}

} // namespace

ulMsgHandle sbOpenMsgFile(const char *name) {
  State &s = state();
  ulMsgHandle previous = s.file;
  s.file = ulMsgFileOpen(name, nullptr, nullptr, nullptr, nullptr);
  if (s.file == nullptr)
    std::fprintf(stderr, "Unable to open message file %s\n", name);
  // Opening the same name again only counted one more open; give it back.
  if (previous != nullptr)
    ulMsgFileClose(previous);
  return s.file;
}

ulMsgHandle get_msg_file() {
  State &s = state();
  // The handle is gone when every file was closed at exit or by a caller.
  if (s.file == nullptr || ulMsgGetFilename(s.file) == nullptr) {
    s.file = nullptr;
    sbOpenMsgFile("scrib");
  }
  return s.file;
}

char *sbMsgBuild(int number, ...) {
  va_list args;
  va_start(args, number);
  char *text = ulMsgStaticVa(get_msg_file(), number, args);
  va_end(args);
  return text;
}

namespace {
void reportVa(int number, ulErrStream *stream, const char *location, va_list args) {
  ulErrReport(stream, ulErrBuildVa(location, get_msg_file(), number, args));
}
} // namespace

void sbErrReport(int number, ...) {
  va_list args;
  va_start(args, number);
  reportVa(number, nullptr, nullptr, args);
  va_end(args);
}

void sbErrReportLoc(int number, const char *location, ...) {
  va_list args;
  va_start(args, location);
  reportVa(number, nullptr, location, args);
  va_end(args);
}

void sbErrReportStream(int number, ulErrStream *stream, ...) {
  va_list args;
  va_start(args, stream);
  reportVa(number, stream, nullptr, args);
  va_end(args);
}

void sbErrReportStreamLoc(int number, ulErrStream *stream, const char *location, ...) {
  va_list args;
  va_start(args, location);
  reportVa(number, stream, location, args);
  va_end(args);
}

void sbErrReportErr(ulErr *chain) {
  ulErrReport(nullptr, chain);
}

int q_put_msg(const char *text, int level) {
  if (q_quiet && level != 2)
    return 1;
  std::printf("%s\n", text ? text : "");
  return 1;
}

int q_put_msgid(int number, int level) {
  return q_put_msg(sbMsgBuild(number), level);
}

int qPutMsg(int number, ...) {
  va_list args;
  va_start(args, number);
  std::printf("%s\n", ulMsgStaticVa(get_msg_file(), number, args));
  va_end(args);
  return 1;
}

int qErrReport(int number, ...) {
  va_list args;
  va_start(args, number);
  std::printf("%s\n", ulMsgStaticVa(get_msg_file(), number, args));
  va_end(args);
  return 1;
}
