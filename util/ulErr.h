// ulErr.h: error records, reports, the error log, error streams and exit.
//
// Every layer of the library reports through this module. An error is a
// record (ulErr) with an application name, a location, a text, a message
// number and a severity; records are joined into chains, the first record
// being the error and the following ones its causes or follow-ups. A chain
// prints as one line per record, the lines after the first beginning with
// "+":
//
//   ulErr *e = ulErrCreate(ulErrLocationLine("a.sym", 12), "ullib", 1120,
//                          ulErrWARNING, 0, "bad record");
//   ulErrReport(nullptr, e);   // prints, logs, and releases e
//
// prints "ullib: Warning 1120: a.sym, line 12: bad record" on ulErrFileV
// (standard error). The same chain in terse style reads
// "ullib-W-1120: a.sym, line 12: bad record". Records built from a message
// file (ulErrBuild) take their severity from the message text, which begins
// with a bracketed severity letter ("[W] ...").
//
// Reporting (ulErrReport and its variants) appends a pending exception error
// (ulExErrV) to the chain, copies it into the error log file, and then by
// severity: Fatal and Internal Error print "*** Fatal error encountered ***"
// and the chain and end the process (status 3; Internal Error with a core
// image); Disabled prints nothing; every other severity is counted in the
// stream given (if any) and printed. The report consumes one reference.
//
// The error log. The first logged error of a run creates "PROGRAM.err" (or,
// when log files are kept, "PROGRAM-PID.err", pruning older ones beyond the
// keep count) in $UL_LOGDIR or the current directory; a log of an earlier run
// under the same name is removed first. Status records and records numbered
// 1120 (the log's own warnings) are never logged.
//
// Ownership. A record starts with one reference; ulErrCopy adds one to every
// record of a chain and ulErrDestroy drops one, freeing records that reach 0.
// Records are shared between chains, never duplicated. ulErrReport,
// ulErrStreamAdd's caller and the function given to ulErrReadErrorFile each
// own what the contracts below say. The strings of a record belong to it.
// ulErr_String and ulErrString return text in the string layer's
// concatenation buffer (valid until the next ulStrCat); ulErrStringAlloc's
// result is the caller's (ulStrFree). The location builders share one
// 512-byte buffer, overwritten by the next call of any of them.
//
// Exit. Process exit goes through ulExit, which first calls the handlers
// registered with ulOnExitAdd (memory release, file closing; active only when
// UL_MEMDBG or UL_PURIFY is set, so a normal run does not pay for freeing
// memory the exit gives back anyway), in ascending order number. ulAbort ends
// a process on a fatal path with status 3 without them.
//
// Exceptions and fault signals are declared in ulEx.h, included here.
//
// Single-threaded: styles, log state, the pending error, the location buffer
// and the exit registry are process-wide.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <type_traits>

#include "ulEx.h"
#include "ulMsg.h"

// ---- Records ---------------------------------------------------------------------

// One error record. Chains are linked through next.
struct ulErr {
  char *app;      // owned: message file name or caller's name ("ullib"), or null
  char *location; // owned: where the error arose, or null
  char *text;     // owned: the message text, or null
  ulErr *next;    // following record of the chain, or null
  int number;     // message number; 0 means none
  int severity;   // ulErrERROR ... ulErrDISABLED
  int references; // reference count, 1 when created
};

// Severity codes (ulErrSevVT for preferences: "Error", "Status", "Note",
// "Warning", "Fatal", "Internal", "Disabled").
enum : int {
  ulErrERROR = 0,    // "Error", E
  ulErrSTATUS = 1,   // "Status", S
  ulErrNOTE = 2,     // "Note", I
  ulErrWARNING = 3,  // "Warning", W
  ulErrFATAL = 4,    // "Fatal", F
  ulErrINTERNAL = 5, // "Internal Error", Z
  ulErrDISABLED = 6, // "Disabled", D
};

// Output contexts (ulErrCntxVT: "Stderr", "StatusLine", "AlertBox", "LogFile").
enum : int {
  ulErrCNTX_STDERR = 0,
  ulErrCNTX_STATUSLINE = 1,
  ulErrCNTX_ALERTBOX = 2,
  ulErrCNTX_LOGFILE = 3,
};

// Styles (ulErrStyleVT: "terse", "verbose").
enum : int {
  ulErrTERSE = 0,
  ulErrVERBOSE = 1,
};

// Actions per severity for an interactive front end (ulErrActionVT:
// "statusLine", "alertBox", "disabled").
enum : int {
  ulErrACT_STATUSLINE = 0,
  ulErrACT_ALERTBOX = 1,
  ulErrACT_DISABLED = 2,
};

// A new record with owned copies of the non-null strings, next null,
// references 1. reserved is ignored (pass 0).
ulErr *ulErrCreate(const char *location, const char *application, int number, int severity,
                   int reserved, const char *text);

// ulErrCreate with no location and number 0.
ulErr *ulErrCreate2(const char *application, int severity, const char *text);

// A record built from message number of messageFile, formatted with the
// arguments: application is the file's name, the severity comes from the
// "[X]" prefix of the text and the text is what follows it. A message not in
// that form yields the chain [library error 1101/1104/1106/1107, record with
// the raw text]. Throws (ulEx.h) when the message cannot be read.
ulErr *ulErrBuild(const char *location, ulMsgHandle messageFile, int number, ...);
ulErr *ulErrBuildVa(const char *location, ulMsgHandle messageFile, int number, va_list args);

// Parses one verbose error line ("app: Severity [number]: [location: ]text",
// an optional leading "+" on app) back into a new record, or returns null
// when the line has fewer than three ": "-separated fields or no severity.
ulErr *ulErrCreateFromString(const char *line);

// Attaches chain second behind the last record of first and returns first
// (second null: first unchanged; first null: second). When that last record
// holds more references than second's first record, every record of second
// gains the difference.
ulErr *ulErrAppend(ulErr *first, ulErr *second);

// Appends "\n" and text to the record's text (text alone when it had none).
// Returns record.
ulErr *ulErrAppendText(ulErr *record, const char *text);

// Adds one reference to every record of chain and returns chain.
ulErr *ulErrCopy(ulErr *chain);

// Drops one reference from every record of chain; records reaching 0 are
// freed with their strings. Null does nothing.
void ulErrDestroy(ulErr *chain);

// Cuts *chain before the record stop, makes stop the first record (null when
// stop is not in the chain) and releases the cut records as ulErrDestroy.
void ulErrDestroyTop(ulErr **chain, ulErr *stop);

// The fields of one record (null record: null or 0).
const char *ulErrApp(const ulErr *record);
const char *ulErrLocation(const ulErr *record);
const char *ulErrText(const ulErr *record);
int ulErrNum(const ulErr *record);
int ulErrSeverity(const ulErr *record);

// True when record is one of the records of chain. A pending error that a
// catcher already put into the chain it reports or throws is not appended a
// second time (which would close the chain into a loop).
bool ulErr_Contains(const ulErr *chain, const ulErr *record);

// Called for each record of a chain; returning 0 stops the loop.
using ulErrLoopFunc = int (*)(ulErr *record, void *data);
using ulErrLoop2Func = int (*)(ulErr *record, void *data1, void *data2);

// Calls function for each record in chain order; returns 0 as soon as it
// returns 0, else 1.
int ulErrLoop(ulErr *chain, ulErrLoopFunc function, void *data);
int ulErrLoop2(ulErr *chain, ulErrLoop2Func function, void *data1, void *data2);

// ---- Severities ------------------------------------------------------------------

// "Error", "Status", ...; any unknown code gives "Error".
const char *ulErrSeverityToString(int severity);
// The code of a severity name (whole string, case ignored); 0 when none.
int ulErrStringToSeverity(const char *name);
// 'E', 'S', 'I', 'W', 'F', 'Z', 'D'; any unknown code gives 'E'.
char ulErrSeverityToChar(int severity);
// The code of a severity letter (either case); 0 for any other letter.
int ulErrCharToSeverity(int letter);

// ---- Locations -------------------------------------------------------------------
// Each returns the shared 512-byte buffer (overwritten by the next call of
// any of the four) or null. Texts too long for the buffer are cut.

// "FILE, line N" (line > 0) or "FILE"; null for a null or empty file.
char *ulErrLocationLine(const char *file, int line);
// "FILE"; null for a null or empty file.
char *ulErrLocationFile(const char *file);
// "FILE, line N, message M", "FILE, message M", "line N, message M" or
// "message M" (line shown when >= 1, file when non-empty).
char *ulErrLocationMessage(const char *file, int line, int message);
// "in call to routine NAME()"; null for a null or empty name.
char *ulErrLocationRoutine(const char *name);

// ---- Formatting ------------------------------------------------------------------

// The whole chain as text in style (ulErrTERSE or ulErrVERBOSE), records
// separated by "\n+". The text lives in the string layer's concatenation
// buffer until the next concatenation.
char *ulErr_String(ulErr *chain, int style);
// ulErr_String in the style of output context (ulErrStyleV[context]).
char *ulErrString(ulErr *chain, int context);
// The same text as an owned string (ulStrFree).
char *ulErrStringAlloc(ulErr *chain, int context);

// ---- Reporting -------------------------------------------------------------------

struct ulErrStream;

// Reports chain (see the essay) and consumes one reference. stream may be
// null. Does not return for Fatal and Internal Error.
void ulErrReport(ulErrStream *stream, ulErr *chain);
// Builds the record with ulErrBuildVa and reports it.
void ulErrReportBuild(ulErrStream *stream, const char *location, ulMsgHandle messageFile,
                      int number, ...);
void ulErrReportBuildVa(ulErrStream *stream, const char *location, ulMsgHandle messageFile,
                        int number, va_list args);
// Creates a record (no location, number 0) and reports it with no stream.
void ulErrReport2(const char *application, int severity, const char *text);

// The output hook: a report routine. Holds ulErrReport.
using ulErrOutFunc = void (*)(ulErrStream *stream, ulErr *chain);
extern ulErrOutFunc ulErrOutFuncV;

// Hands chain to the output hook.
void ulErrOut(ulErrStream *stream, ulErr *chain);
// Builds (ulErrBuildVa) and hands on.
void ulErrOutBuild(ulErrStream *stream, const char *location, ulMsgHandle messageFile, int number,
                   ...);
void ulErrOutBuildVa(ulErrStream *stream, const char *location, ulMsgHandle messageFile, int number,
                     va_list args);
// Creates (number 0) and hands on with no stream.
void ulErrOut2(const char *application, int severity, const char *text);
void ulErrOut3(const char *location, const char *application, int severity, const char *text);

// Prints chain in the fatal form ("*** Fatal error encountered ***") on
// ulErrFileV and ends the process: status 3, or a core image when the first
// record is an Internal Error.
[[noreturn]] void ulErrFatal(ulErr *chain);

// Prints the formatted text on ulErrFileV, nothing else.
void ulErrYell(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Style of each output context; initially verbose, terse, terse, verbose.
// Entry ulErrCNTX_LOGFILE always stays verbose.
extern int ulErrStyleV[4];
// Action of each severity; all ulErrACT_ALERTBOX at start. Not used by the
// batch report path.
extern int ulErrActionV[7];
// The stream reports are printed on: standard error unless "err.stdout".
extern FILE *ulErrFileV;

// ---- Start-up --------------------------------------------------------------------

// Sets the report stream to standard error (every call). The first call also
// sets the program name from argv[0], declares the preference set "err",
// takes its arguments out of argv and reads them into the state (styles,
// actions, report stream, keep count, logging). argc and argv may be null.
void ulErrInit(int *argc, char **argv);
// Leaves the layer as the process started with it, so that the next
// ulErrInit acts again: the set "err" is destroyed; styles, actions and the
// report stream are back at their initial values; the log is closed and
// forgotten with its name, program name and keep count, and logging is on.
void ulErrExit();
// Reads the preference values of "err" into the state again.
void ulErrGetPrefs();

// ---- The error log ---------------------------------------------------------------

// Sets the program name the log file is named after (initially "unknown").
void ulErrLogSetArgv0(const char *name);
// Sets the number of log files kept (0: one log, "PROGRAM.err", per name).
void ulErrLogKeepFiles(int count);
// Switches logging on or off. On makes the log name (below); off closes an
// open log and forgets the name. A call that changes nothing does nothing,
// except the first one.
void ulErrLogEnable(int on);
// 1 when logging is enabled.
int ulErrLogIsEnabled();
// Makes the log file name (once per enabling; again after a failed open),
// prunes old logs when files are kept, and removes a log an earlier run left
// under that name. A name that cannot be made or a file that cannot be
// opened gives a Warning 1120 on the terminal; a failed open disables
// logging for the run.
void ulErrLogOpenFile();
// Closes the log stream if one is open.
void ulErrLogCloseFile();
// Writes chain in LogFile style to the log (see the essay for what is never
// logged), opening the log first when needed.
void ulErrLog(ulErr *chain);
// The absolute name of the log file once it is made, else null.
const char *ulErrLogFileName();
// Part of ulErrExit: closes the log and puts its state back as at the start.
void ulErr_LogReset();
// Keeps the keep newest files matching pattern (a path with wildcards,
// see vsLoop2) and deletes the others. Returns the number of files found.
int ulErrSaveOnlyNewestFiles(const char *pattern, int keep);

// ---- Error streams ---------------------------------------------------------------
// A stream counts the reports made into it (Status, Note, Warning, Error and
// Internal Error; Fatal and Disabled are not counted) and, while a front end
// shows them (alert set), keeps the chains. In batch use the report clears
// the alert right away, so a stream keeps its counters and no chains.

// A new stream, references 1.
ulErrStream *ulErrStreamCreate();
// Adds a reference and returns stream.
ulErrStream *ulErrStreamCopy(ulErrStream *stream);
// Drops a reference; at 0 frees the stream and its chains, unless the alert
// is set, in which case freeing waits until the alert is cleared.
void ulErrStreamDestroy(ulErrStream *stream);
// Takes a reference of chain, keeps it at the tail and counts its first
// record's severity.
void ulErrStreamAdd(ulErrStream *stream, ulErr *chain);
// Number of chains kept (0 without any).
int ulErrStreamCount(ulErrStream *stream);
// The chain at 0-based index (the stream keeps it), null when out of range.
ulErr *ulErrStreamError(ulErrStream *stream, int index);
int ulErrStreamGetAlert(ulErrStream *stream);
// Stores flag; clearing it releases the kept chains (and the stream itself
// when its destruction was pending).
void ulErrStreamSetAlert(ulErrStream *stream, int flag);
// The worst severity counted: ulErrINTERNAL, ulErrERROR, ulErrWARNING,
// ulErrNOTE, ulErrSTATUS in that order, ulErrDISABLED when nothing was.
int ulErrStreamBaddest(ulErrStream *stream);
// Stores the note, warning, error and internal counts (each out may be
// null); returns the internal count.
int ulErrStreamSummary(ulErrStream *stream, int *notes, int *warnings, int *errors, int *internals);
// 3 when internal errors were counted, else 2 for errors, 1 for warnings, 0.
int ulErrStreamExitCode(ulErrStream *stream);

// ---- Reading error files ---------------------------------------------------------

// Receives one chain read back; owns it. Returns 0 to stop reading.
using ulErrReadFunc = int (*)(ulErr *chain, void *data);

// Reads verbose error text from file: each error line starts a chain, a line
// beginning with "+" adds a record to it, a line beginning with blanks and
// ":" continues the text of the last record; any other line ends the chain.
// Every chain goes to function. Returns 0 when function stopped the reading,
// else 1 (at the end, whether the last delivery returned non-zero).
int ulErrReadErrorFile(FILE *file, ulErrReadFunc function, void *data);

// ---- Exit --------------------------------------------------------------------------
// Exit handlers run at ulExit in ascending order of their functions' order
// numbers (default 0), handlers of the same order in the order they were
// added. An entry is identified by its function and argument together;
// adding it again keeps one entry. The registry is active only when
// UL_MEMDBG or UL_PURIFY is set in the environment (read once); otherwise
// these calls do nothing.
//
// Handlers take one pointer (any pointer type) or nothing, and may return
// anything (the result is ignored):
//   ulOnExitAdd(ulStrFree, buffer);     // calls ulStrFree(buffer)
//   ulOnExitAdd2(closeAllFiles);        // calls closeAllFiles()
//   ulOnExitSetOrder(ulStrFree, 90);

// The type-erased form behind the templates: key is the handler's address,
// thunk calls it with the stored argument.
using ulOnExitKey = void (*)();
using ulOnExitThunk = void (*)(ulOnExitKey function, void *argument);
void ulOnExit_Add(ulOnExitKey function, void *argument, bool hasArgument, ulOnExitThunk thunk);
void ulOnExit_Remove(ulOnExitKey function, void *argument);
void ulOnExit_SetOrder(ulOnExitKey function, int order);

namespace ulOnExit_detail {
template <class R, class T> void callWith(ulOnExitKey function, void *argument) {
  reinterpret_cast<R (*)(T *)>(function)(static_cast<T *>(argument));
}
template <class R> void callWithout(ulOnExitKey function, void *) {
  reinterpret_cast<R (*)()>(function)();
}
template <class T> void *erase(T *p) {
  return const_cast<void *>(static_cast<const void *>(p));
}
} // namespace ulOnExit_detail

// Registers function(argument) to be called at exit.
template <class R, class T, class A> void ulOnExitAdd(R (*function)(T *), A *argument) {
  T *converted = argument;
  ulOnExit_Add(reinterpret_cast<ulOnExitKey>(function), ulOnExit_detail::erase(converted), true,
               &ulOnExit_detail::callWith<R, T>);
}
// Registers function() to be called at exit.
template <class R> void ulOnExitAdd2(R (*function)()) {
  ulOnExit_Add(reinterpret_cast<ulOnExitKey>(function), nullptr, false,
               &ulOnExit_detail::callWithout<R>);
}
// Removes the entry (function, argument).
template <class R, class T, class A> void ulOnExitRemove(R (*function)(T *), A *argument) {
  T *converted = argument;
  ulOnExit_Remove(reinterpret_cast<ulOnExitKey>(function), ulOnExit_detail::erase(converted));
}
// Removes the entry of function without argument.
template <class R> void ulOnExitRemove2(R (*function)()) {
  ulOnExit_Remove(reinterpret_cast<ulOnExitKey>(function), nullptr);
}
// Records the order number of function (for all its entries).
template <class F> void ulOnExitSetOrder(F *function, int order) {
  static_assert(std::is_function_v<F>, "ulOnExitSetOrder takes a function");
  ulOnExit_SetOrder(reinterpret_cast<ulOnExitKey>(function), order);
}

// Gives ulMemFree the order 90, calls every handler in order and empties the
// registry.
void ulOnExitCall();

// Calls the exit handlers, releases the string and list pools, prints the
// memory reports of a memory-debugging run and ends the process with status.
[[noreturn]] void ulExit(int status);
// ulExit(0).
[[noreturn]] void ulGoodbye();

// The cleanup procedure ulCleanup calls; does nothing unless set.
extern void (*ulCleanupProcV)();
// Calls ulCleanupProcV, the first time only.
void ulCleanup();

// Pushes a fatal handler; ulAbort calls them, the most recent first.
void ulAbortAddHandler(void (*function)());
// Runs ulCleanup and the fatal handlers and ends the process with status 3
// (core 0), or with a core image (core non-zero). Exit handlers do not run.
[[noreturn]] void ulAbort(int core);
