// sbMsgLine.cpp: the console printer of the programming interface (one line
// per call on standard output, silent while q_quiet is set), its one-line
// prompt, and qPutLine, the numbered message printed through it.
#include <cstdio>
#include <cstring>

#include "sbMsg.h"

namespace {

// Longest answer q_get_string keeps.
constexpr int kAnswerMax = 79;

struct State {
  char answer[kAnswerMax + 1] = ""; // q_get_string's answer
};

State &state() {
  static State s;
  return s;
}

void printLine(const char *text) {
  if (!q_quiet)
    std::printf("%s\n", text != nullptr ? text : "");
}

} // namespace

int q_putmsg(const char *text) {
  printLine(text);
  return 1;
}

int q_putline(const char *text) {
  printLine(text);
  return 1;
}

void ov_text(const char *text) {
  printLine(text);
}

int q_putmsgid(int number) {
  if (!q_quiet)
    printLine(sbMsgBuild(number));
  return 1;
}

int q_putlineid(int number) {
  return q_putmsgid(number);
}

char *q_get_string(const char *prompt) {
  if (!q_quiet) {
    std::printf("%s ? ", prompt != nullptr ? prompt : "");
    std::fflush(stdout);
  }
  // The whole line is consumed; its first kAnswerMax characters are kept.
  char *answer = state().answer;
  int length = 0;
  for (int c; (c = std::getchar()) != EOF && c != '\n';)
    if (length < kAnswerMax)
      answer[length++] = static_cast<char>(c);
  answer[length] = '\0';
  answer[std::strcspn(answer, " \t\r\n")] = '\0';
  return answer;
}

int qPutLine(int number, ...) {
  va_list args;
  va_start(args, number);
  int result = q_putline(ulMsgStaticVa(get_msg_file(), number, args));
  va_end(args);
  return result;
}
