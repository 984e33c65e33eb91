// sbMsgLine.cpp: qPutLine, kept apart from the other wrappers because it
// prints through the programming interface's console printer.
#include "sbMsg.h"

// The console line printer of the programming interface: prints text and a
// line end unless the editor is quiet.
int q_putline(const char *text);

int qPutLine(int number, ...) {
  va_list args;
  va_start(args, number);
  int result = q_putline(ulMsgStaticVa(get_msg_file(), number, args));
  va_end(args);
  return result;
}
