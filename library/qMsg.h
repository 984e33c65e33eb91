// qMsg.h: the editor's numbered messages: its message file, its quiet flag,
// and the wrappers that build, report and print its messages.
//
// The editor layers (initialisation, library manager, block model, reader,
// writer, file access, GPI) print and report by message number only. Their
// texts live in the message file "scrib", which these wrappers open at first
// use, without version checks, and keep open for the rest of the run:
//   sbMsgBuild(1235, kind, name)      the formatted text, module buffer
//   sbErrReport(2005, lib)            an error record built and reported
//   qErrReport(1017)                  the formatted text on standard output
//   q_put_msg(text, level)            a text on standard output, unless quiet
// Texts used with sbErrReport* begin with a severity in square brackets
// ("[W] ..."), from which the error layer takes the record's severity; texts
// printed with sbMsgBuild, qPutMsg or qErrReport are plain. They stand below
// the editor initialisation and the library manager, which report through
// them; the programming interface's console printer is in sbMsg.h.
//
// Errors: a message file that cannot be opened or a number that it lacks
// throws the message layer's exception (see ulMsg.h); sbOpenMsgFile also
// prints "Unable to open message file NAME" when no handle results.
//
// Ownership: sbMsgBuild returns text in the string layer's formatting buffer,
// valid until the next formatting call; copy it to keep it. Error chains
// handed to sbErrReportErr are consumed.
//
// q_quiet is the editor's quiet flag: while it is set, q_put_msg and
// q_put_msgid print only level-2 texts. Single-threaded, like the whole
// library.
#pragma once

#include "ulErr.h"
#include "ulMsg.h"

// The editor's quiet flag (0 or 1): set, the editor layers print nothing on
// the console except level-2 texts of q_put_msg.
extern char q_quiet;

// Opens name as the editor's message file (no version checks) and makes it
// the file of every wrapper below. When no handle results, prints "Unable to
// open message file NAME" on standard error. Returns the handle or null.
ulMsgHandle sbOpenMsgFile(const char *name);

// The editor's message file, opening "scrib" at first use.
ulMsgHandle get_msg_file();

// Message number of the editor's file, formatted with the arguments, in the
// string layer's formatting buffer (valid until the next formatting call).
char *sbMsgBuild(int number, ...);

// Builds an error record from the editor's message number (its severity
// taken from the bracketed letter) and reports it: printed on the report
// stream, logged, and counted in stream when one is given. A Fatal message
// ends the process. location may be null.
void sbErrReport(int number, ...);
void sbErrReportLoc(int number, const char *location, ...);
void sbErrReportStream(int number, ulErrStream *stream, ...);
void sbErrReportStreamLoc(int number, ulErrStream *stream, const char *location, ...);

// Reports an error chain built elsewhere with no stream; consumes it.
void sbErrReportErr(ulErr *chain);

// Prints text and a newline on standard output unless q_quiet is set and
// level is not 2. Returns 1.
int q_put_msg(const char *text, int level);

// q_put_msg with the text of the editor's message number (no arguments).
int q_put_msgid(int number, int level);

// Print the editor's formatted message and a newline on standard output,
// whatever q_quiet says. Return 1.
int qPutMsg(int number, ...);
int qErrReport(int number, ...);
