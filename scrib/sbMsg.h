// sbMsg.h: the editor's messages and the console printer of the
// programming interface.
//
// The numbered messages of the editor layers, their message file and the
// quiet flag q_quiet are declared in qMsg.h (the library layer, which
// reports through them too), included here. This header adds what the
// programming interface prints with: one line per call on standard output,
// silent while q_quiet is set, a one-line prompt, and qPutLine, a numbered
// message printed through that printer. Single-threaded, like the whole
// library.
#pragma once

#include "qMsg.h"

// Hands the editor's formatted message to the console line printer
// q_putline (which honours q_quiet). Returns its result.
int qPutLine(int number, ...);

// ---- Console output of the programming interface ------------------------------
//
// Standard output, one line per call; nothing at all while q_quiet is set.

// Print text and a line end. Return 1.
int q_putmsg(const char *text);
int q_putline(const char *text);

// Prints text and a line end.
void ov_text(const char *text);

// Print the text of the editor's message number (sbMsgBuild, no arguments)
// and a line end. Return 1.
int q_putmsgid(int number);
int q_putlineid(int number);

// Prints prompt and " ? " (unless quiet), reads one line of at most 79
// characters from standard input and cuts it at the first blank, tab,
// carriage return or line end. The answer ("" at the end of the input) is
// in a buffer of this module that the next call overwrites.
char *q_get_string(const char *prompt);
