// retag.h: the retag command's driver and its run-wide state.
//
// A run is strictly sequential: banner, GPI start, command line, library
// alias, keyword lists, the three files (LTF list, log, configuration), the
// LTF list, the configuration, the visit of the library's "sym" directory,
// the two counts in the log, exit. Any failure before the visit is fatal: its
// text is put into vaAMErrorBufferV, vaAMHandleError prints it (and writes it
// into the log once the log is open) and the process exits with status 3.
// Failures during the visit are per symbol, logged and counted only.
//
// Every operation of the command returns 0 or 1 (or a pointer, null on
// failure) and leaves its message in vaAMErrorBufferV; it never prints the
// failure itself, so that the caller decides whether the run ends.
//
// The state below is process-wide and zero-initialised; main sets it up in
// its documented order. Nothing here is thread-safe.
#pragma once

#include <cstdio>

#include "symlist.h"
#include "vfp.h"

// Size of the command's error buffer: a message holds at most 127 characters.
inline constexpr int vaAM_ERRBUF_SIZE = 128;

// Value of vaAMOverrideFlagV while the command-line parser has not decided.
inline constexpr int vaAM_OVERRIDE_UNDECIDED = -32767;

extern char vaAMErrorBufferV[vaAM_ERRBUF_SIZE]; // text of the most recent error
extern int vaAMErrorCountV;           // errors generated during the visit (written to the log)
extern int vaAMSymbolCountV;          // symbols processed successfully (written to the log)
extern int vaAMDebugV;                // 1 when "-debug" was the first argument
extern int vaAMOverrideFlagV;         // -32767 undecided, then 0 off or 1 on ("-override")
extern FILE *vaAMLogFileFpV;          // the log file, open from the log-opening step to the end
extern IniKeyValue *vaAMINIKeywordsV; // configuration values read from retagcfg.ini
extern char *AliasName;               // destination library alias as given (lower-cased)
extern vfpObjId ProjectID;            // the current project, whose library list names the libraries
extern int vaAMPreviewV; // 1 in retagplan: blocks change in memory only, nothing is written

// Runs the command on its arguments: retag, or its preview retagplan when
// vaAMPreviewV is 1 (the same run, but blocks are loaded read-only, never
// saved, locked or backed up, no log file is opened, and what the log would
// hold goes to standard output with what each save would change). Ends the
// process: status 0 after a run or the usage, 3 after a fatal error; when
// SIGINT, SIGTERM, SIGHUP or SIGPIPE came during the visit, the visit ends after the
// symbol in hand, the log gets a line naming the signal and the counts, and
// the process ends by that signal once it has released what it holds.
[[noreturn]] void vaAMRun(int argc, char **argv);

// Parses the command line. Lower-cases every argument after the program name
// in place. Returns -1 when the usage is to be printed (no argument, or
// "-help" anywhere), 0 when the LTF base name and the alias were both found,
// 1 on error with the message in vaAMErrorBufferV. *ltfBase and *alias must be
// null on entry; on return they hold copies that the caller frees with
// ulMemFree (they are ulStrOldCopy copies). Sets vaAMDebugV and
// vaAMOverrideFlagV; may print "Ignoring extra command line options.\n".
int vaAMParseCmdLine(int argc, char **argv, char **ltfBase, char **alias);

// Turns a library alias into the library's directory through the current
// project's library list. Returns 0 and, in *path, a copy of the directory
// that the caller frees with ulMemFree; or 1 with the message in
// vaAMErrorBufferV when the alias is unknown, the list returns another alias,
// or the library is a megafile or read-only.
int vaAMResolveLibraryAlias(const char *alias, char **path);

// vaAMResolveLibraryAlias for a program that only reads the library: a
// read-only library is accepted too (a megafile is still refused).
int vaAMResolveLibraryToRead(const char *alias, char **path);

// Prints the usage text on standard output; vaAMPreviewUsage that of
// retagplan.
void vaAMUsageSummary();
void vaAMPreviewUsage();

// Reports the fatal error held in vaAMErrorBufferV: prints "\n%s\n" on
// standard output, writes "%s\n" into the log when it is open and closes it
// (a failed close exits with status 3 at once), frees the symbol list when one
// is given. The caller exits with status 3 right after.
void vaAMHandleError(SymbolInfo *symbols);

// Sets the default state of a run: counts 0, empty error buffer, debug off,
// override undecided, no progress of an earlier visit.
void vaAMResetRunState();

// Formats into vaAMErrorBufferV, never past its end (a longer text is cut).
void vaAMSetError(const char *format, ...) __attribute__((format(printf, 1, 2)));
