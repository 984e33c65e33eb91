// vs.h: paths, the WDIR search list and directory loops.
//
// This layer is the system's only view of file names. It splits and joins
// path specs, makes them absolute or relative, tells whether an entry exists
// and of which kind, keeps the WDIR list of working directories, finds
// configuration files along the search order, and walks the entries of one
// directory that match a wildcard, calling back for each.
//
// Path specs. A spec is at most 255 characters and every path buffer a
// caller passes in or out holds vsMAXPATH (256) bytes. A spec has five
// parts as vsParse splits it:
//   device     always empty on this system (kept so merges round-trip);
//   directory  everything up to and including the last "/";
//   name       the last component up to its last "."; a component that is
//              "." or "..", has no ".", or whose only "." is its first
//              character (.cshrc) is all name;
//   extension  what follows that last ".";
//   file name  name "." extension as they stand (so "foo." keeps its dot).
// Name and extension are each cut to 255 characters.
//
// Status codes. Every operation that returns a status returns one of vsOK,
// vsFAIL, vsBADSPEC, vsIOERR, vsNOTFOUND, vsCREATEERR, vsDENIED (below). A
// spec or an intermediate path of 256 characters or more is vsBADSPEC, and
// then the caller's result buffer holds nothing useful; nothing is cut
// silently except name and extension parts (255) and environment values
// (2047). Only vsParseEx throws; a directory loop lets an exception thrown by
// its callback pass through after releasing what it holds.
//
// Search order of configuration files (vsSrchdirs, vsGetini): the
// compatible-version subdirectory of the current directory ("60/name"), the
// name itself, the origin, every WDIR element, the data directory of the
// executable directory, the executable directory (vsSrchExeDir).
// WDIR is split at blanks, tabs and ":"; each directory D gives D/60/ and
// then D (search mode 0). The list is built on first use and kept until
// vsResetWdirCache; whether each element exists is learnt once per list.
//
// Directory loops (vsLoop2 and friends) visit entries in ascending strcmp
// order of their names. Listings are cached per directory: a loop over a
// directory whose modification time has not changed examines (stat) only
// the names it has not seen before. A callback may start other loops, also
// over the same directory; the path it receives is valid only during the
// call.
//
// Ownership: results go into caller buffers, except vsGetorigin and
// vsExeDir (module storage, valid until set again), vsStepWdirs (module
// buffer, valid until its next call) and vsStepWdirsAlloc /
// vsStepWdirsForNameAlloc (the caller frees them with ulStrFree).
//
// Nothing here is thread-safe: the WDIR list, default directory, origin,
// executable directory and directory cache are process-wide.
#pragma once

#include <cstdio>
#include <regex.h>

#include "ulMsg.h"

// Bytes of every path buffer; a spec holds at most vsMAXPATH - 1 characters.
inline constexpr int vsMAXPATH = 256;
// Bytes of the buffer vsTrnlog fills (a value holds at most 2047 characters).
inline constexpr int vsMAXENV = 2048;

// Status codes.
inline constexpr int vsOK = 0;        // success
inline constexpr int vsFAIL = 1;      // no current directory / candidate not formed
inline constexpr int vsBADSPEC = 2;   // spec too long (256+) or unparsable
inline constexpr int vsIOERR = 3;     // a read or write failed while copying
inline constexpr int vsNOTFOUND = 4;  // no such entry, wrong kind, nothing matched
inline constexpr int vsCREATEERR = 5; // a file could not be created
inline constexpr int vsDENIED = 7;    // no permission, unset variable, empty argument

// Entry kinds, passed as "kind" to existence checks, searches and loops. An
// entry whose mode has the directory bit is vsDIR, any other entry vsFILE.
inline constexpr int vsDIR = 2;  // a directory
inline constexpr int vsFILE = 3; // anything that is not a directory
inline constexpr int vsANY = 4;  // either

// What a loop callback returns.
inline constexpr int vsSTOP = 0; // end the visit
inline constexpr int vsLOOP = 1; // go on

// Match registers handed to a vsLoopRegexp callback.
inline constexpr int vsREGMAX = 10;

// Directory-loop callback: the full path of the entry (the loop's own
// buffer, valid during the call) and the caller's user value. Returns vsLOOP
// or vsSTOP.
using vsLoopProc = int (*)(char *path, void *user);
// vsLoopRegexp callback: as vsLoopProc, plus vsREGMAX match registers of the
// entry's name (unused ones have rm_so == -1).
using vsRegexpProc = int (*)(char *path, void *user, const regmatch_t *regs);
// vsLoopwdirs callback: one WDIR directory. Returns 0 to stop.
using vsWdirProc = int (*)(char *directory);
// vsLoopWdirs2 / vsWdirLoopSrchdirs2 callback. Returns 0 to stop.
using vsWdirProc2 = int (*)(void *user, char *directory);
// vsDirForEachFile callback: the directory (ending in "/", or the spec
// itself for a single file), the entry name, its local modification time,
// size and kind. Returns 0 to stop.
using vsDirEntryProc = int (*)(void *user, const char *directory, const char *name, long time,
                               long size, int kind);

// Name of the compatible-version subdirectory of WDIR directories, "60".
// The WDIR list copies it when it is built, unless
// vsWdirSetCompatibleVersion has set a name of its own.
extern const char *ulCompatibleVersionV;
// Short-name mode of the file name rules (8.3 names of letters, digits, "_",
// "$", "-"). 0 at start; nothing in the system sets it.
extern int vcOvFnamesCompatibleV;

// ---- Spec handling ---------------------------------------------------------

// Splits spec into its parts; each out buffer (vsMAXPATH bytes) may be null.
// vsBADSPEC if spec is null or has 256 characters or more, else vsOK.
int vsParse(const char *spec, char *device, char *directory, char *name, char *extension);

// As vsParse, giving the file name (name "." extension as in the spec).
int vsParse2(const char *spec, char *device, char *directory, char *fileName);

// As vsParse, but a bad spec throws (tag 2, message 1041 of vsMsgFile() with
// the spec as argument) instead of returning. Returns vsOK.
int vsParseEx(const char *spec, char *device, char *directory, char *name, char *extension);

// Trims each part of surrounding blanks and joins device + directory ("/"
// added when missing) + name + "." + extension (the "." only for a non-empty
// extension). Parts may be null. vsBADSPEC if the result would have 256
// characters or more, else vsOK.
int vsMerge(char *spec, const char *device, const char *directory, const char *name,
            const char *extension);

// Appends subdirectory to directory (in/out), with "/" between and after as
// needed. An empty subdirectory changes nothing. vsBADSPEC if too long.
int vsDnpath(char *directory, const char *subdirectory);

// Removes one trailing "/" and then the last component of directory
// (in/out; the "/" before it stays), handing the component to last (may be
// null). vsNOTFOUND if directory was empty, else vsOK.
int vsUppath(char *directory, char *last);

// Copies in to out, turning "\" into "/" and dropping every separator that
// another one follows. vsBADSPEC if either is null or the result reaches
// 256 characters. in and out may be the same buffer.
int vsConvPath(const char *in, char *out);

// The absolute form of spec relative to the default directory (vsGetdef):
// "~" and "~user" expanded, "." and ".." resolved, a trailing "/" and a
// final "." kept. vsBADSPEC for a null or too long spec or an unknown user,
// vsNOTFOUND if HOME or the base directory cannot be had.
int vsAbsPath2(const char *spec, char *out);

// As vsAbsPath2, relative to the process's working directory read afresh.
int vsAbsSysPath2(const char *spec, char *out);

// vsAbsPath2 in place; the result ends in "/" only if the spec did.
int vsAbsPath(char *spec);

// Makes the spec absolute and strips the default directory from its front
// when it is a prefix (the default directory itself becomes empty).
int vsRelPath(char *spec);
int vsRelPath2(const char *spec, char *out);

// File name rules. Normal mode: non-empty, at most 255 characters, no "/".
// Short-name mode (vcOvFnamesCompatibleV): at most 8 (name) or 3
// (extension) characters from letters, digits, "_", "$", "-", not starting
// with "-". Return 1 for valid, 0 otherwise.
int vsValidFile(const char *name);
int vsValidExt(const char *extension);
// 1 if spec parses and both its name and extension are valid (an empty
// extension is not).
int vsValidSpec(const char *spec);

// Rewrite name / extension (in/out) into valid ones: normal mode keeps 255
// characters and turns "/" into "$"; short-name mode turns leading "-" and
// every invalid character into "$" and cuts to 8 / 3. vsBADSPEC for null or
// empty, else vsOK.
int vsMakeValidFile(char *name);
int vsMakeValidExt(char *extension);
// Parses spec (in/out), makes name and extension valid and merges back.
// vsBADSPEC on any failure.
int vsMakeValidSpec(char *spec);

// ---- Existence and information ---------------------------------------------

// Examines the entry: time is its modification time as local wall-clock
// seconds since 1970 (the local calendar date and clock read as if UTC),
// size in bytes, kind vsDIR or vsFILE. Each out may be null. vsNOTFOUND if
// the entry cannot be examined.
int vsInfo(const char *spec, long *time, long *size, int *kind);

// vsOK if the entry exists and is of kind (vsANY: any kind), else vsNOTFOUND.
int vsExists(const char *spec, int kind);

// As vsExists; on success also the absolute spec in out (vsAbsPath2's
// status is returned then).
int vsExists2(const char *spec, int kind, char *out);

// 1 if a non-directory entry exists, else 0.
int vsFexists(const char *spec);

// The vsInfo time of the entry, 0 if it cannot be examined.
long vsFtime(const char *spec);

// The raw modification time (seconds since 1970, UTC), 0 if none.
long vsFGMtime(const char *spec);

// The value of the environment variable into value (vsMAXENV bytes, cut to
// 2047 characters). vsNOTFOUND if unset.
int vsTrnlog(const char *variable, char *value);

// ---- Default directory, origin, executable directory -----------------------

// The default directory (the working directory, ending in "/") into
// directory; read once, then cached until vsSetdef. vsFAIL if unreadable.
int vsGetdef(char *directory);

// Changes the process's working directory to directory (made absolute) and
// caches it with a trailing "/". vsDENIED for null/empty or a failed change;
// a spec without directory and name parts changes nothing (vsOK).
int vsSetdef(const char *directory);

// Sets (or with null clears) the origin directory searched by vsSrchdirs.
// vsDENIED if longer than 255 characters.
int vsSetorigin(const char *spec);
// The origin spec, or null when none is set.
const char *vsGetorigin();

// Records the directory of the running program from its argv[0]: a spec
// with a directory is checked where it stands, a bare name is searched along
// PATH. Returns 1 if a directory was recorded, 0 otherwise (the previous
// value is dropped in any case).
int vsSetexedir(const char *programSpec);
// The recorded executable directory (absolute, ending in "/"), or null. When
// vsSetexedir was never called, the directory of the running program as the
// system reports it (asked once).
const char *vsExeDir();

// Searches PATH (split at blanks, tabs, ":") for a non-directory entry name;
// the absolute spec goes to out. vsDENIED if PATH is unset, vsFAIL if a
// candidate cannot be formed, vsNOTFOUND if none is found.
int vsFindExeInPath(const char *name, char *out);

// The path layer's message file "vslib", opened on first use and kept.
ulMsgHandle vsMsgFile();

// ---- Search lists ------------------------------------------------------------

// Finds spec along the WDIR list (versioned and plain elements in order);
// the absolute spec of the first candidate of that kind goes to out. vsOK,
// vsNOTFOUND, or vsDENIED if the spec cannot be parsed.
int vsSrchwdirs(const char *spec, int kind, char *out);

// Finds spec along the full search order (see above). out receives the spec
// itself when the search fails. vsOK or vsNOTFOUND (vsDENIED: bad spec).
int vsSrchdirs(const char *spec, int kind, char *out);

// Looks for directory/name.extension under the data directory of the
// executable directory (that of an installed tree, "../share/retag" from it
// in the default layout), then under the executable directory itself (a
// build tree). vsNOTFOUND if none is recorded or the entry is in neither.
int vsSrchExeDir(const char *directory, const char *name, const char *extension, int kind,
                 char *out);

// vsSrchdirs for a file (vsFILE).
int vsGetini(const char *fileName, char *out);

// Calls back for each plain WDIR directory in order until one returns 0.
void vsLoopwdirs(vsWdirProc callback);
// The same with a user value; 0 if a callback stopped it, else 1.
int vsLoopWdirs2(vsWdirProc2 callback, void *user);

// Calls back for the compatible-version subdirectory of the current
// directory, then ".", then every WDIR element (versioned ones too).
// 0 if a callback returned 0, else 1.
int vsWdirLoopSrchdirs2(vsWdirProc2 callback, void *user);

// Discards the WDIR list; the next use rebuilds it from the environment.
void vsResetWdirCache();
// Discards the list and sets the compatible-version name (cut to 80
// characters; empty means no versioned elements).
void vsWdirSetCompatibleVersion(const char *name);

// Steps through every entry of kind in the plain WDIR directories. start -1
// adds the entries of all those directories (each in name order) to the
// queue, 0 empties the queue and then adds them, anything else only takes.
// Returns the next full path from the queue, or null when it is empty. vsStepWdirs' result is valid
// until its next call; the Alloc forms' results are freed by the caller with ulStrFree.
char *vsStepWdirs(int start, int kind);
char *vsStepWdirsAlloc(int start, int kind);
// As above, skipping paths whose file name does not match the wildcard.
char *vsStepWdirsForName(const char *pattern, int start, int kind);
char *vsStepWdirsForNameAlloc(const char *pattern, int start, int kind);

// ---- Directory loops -----------------------------------------------------------

// Visits the entries of the directory of pattern whose names match its file
// name part ("*" any run, "?" one character, case counting) and whose kind
// is kind, in name order, calling callback(path, user) for each until it
// returns vsSTOP. A callback equal to ulDummyProc only counts. Returns vsOK
// if at least one entry was taken (even if the callback stopped at once),
// vsNOTFOUND if none was or the directory cannot be examined, vsBADSPEC for a
// bad pattern or an empty file name part with kind vsFILE. An empty file
// name part with any other kind visits every subdirectory. Entries that
// cannot be examined (a dangling link) are never taken.
int vsLoop2(const char *pattern, int kind, vsLoopProc callback, void *user);
// vsLoop2 with a null user value.
int vsLoop(const char *pattern, int kind, vsLoopProc callback);

// As vsLoop2, but an entry is taken when re matches its name (the file name
// part of pattern is ignored); the callback gets the match registers.
int vsLoopRegexp(const char *pattern, int kind, const regex_t *re, vsRegexpProc callback,
                 void *user);

// For a spec naming a non-directory entry: one call with the spec's
// directory and name, result 1. For a directory: each entry whose name
// matches wildcard (null: all) and whose kind is kind, in name order, until
// a callback returns 0; the result is the number of entries taken.
// vsNOTFOUND if the spec cannot be made absolute or examined.
int vsDirForEachFile(const char *spec, const char *wildcard, int kind, vsDirEntryProc callback,
                     void *user);

// Tells whether the entry exists with that kind by looking its name up in
// the cached listing of its directory (refreshed as a loop would). On
// success the absolute spec goes to out (may be null). vsOK or vsNOTFOUND
// (vsBADSPEC for a bad spec).
int vs_WDIRExists2(const char *spec, int kind, char *out);

// Number of entries the directory cache has examined (stat) since the
// start of the process: a diagnostic of how much work listings cost.
long vsDirCacheExamined();

// ---- File operations -------------------------------------------------------------

// Kind vsDIR: makes the directory (mode 0777; a trailing "/" is ignored).
// Otherwise creates or empties the file. vsCREATEERR if the file cannot be
// opened; vsDENIED if the entry is not there afterwards (a name the file
// system cut short: the cut entry is removed again); else vsOK.
int vsCreate(const char *spec, int kind);

// Creates every missing directory of spec from the top down and then the
// entry. vsCREATEERR if the entry already exists, vsDENIED at the first
// directory that cannot be made.
int vsCreateWithPath(const char *spec, int kind);

// Removes a file (kind vsFILE) or a directory (any other kind).
// vsBADSPEC for 256+ characters; vsDENIED for an entry without any write
// bit or a permission error; vsNOTFOUND for any other failure.
int vsDelete(const char *spec, int kind);

// Copies the file from to to (replacing it) and gives the copy the source's
// access and modification times. vsNOTFOUND if a file cannot be opened or
// replaced or the times set; vsIOERR if the copy failed (the partial target
// is removed).
int vsCopy(const char *from, const char *to);

// Copies the rest of stream from to to in blocks of 32767 bytes.
// vsBADSPEC for a null stream, vsIOERR for no buffer or a short write.
int vsXfer(FILE *from, FILE *to);

// Renames oldSpec to newSpec. vsDENIED for a permission error, vsNOTFOUND
// if the source is missing, vsBADSPEC for any other failure.
int vsRename(const char *oldSpec, const char *newSpec);

// Replaces the file spec with the length bytes of content so that, whatever
// happens, it holds its old or its complete new content (ulReplaceFile:
// temporary file in the same directory, synced, renamed, directory synced).
// An existing file keeps its permission bits and, where the system allows,
// its group; a symbolic link stays in place and its target is replaced. A
// missing file is created with the usual permission bits. vsOK; vsBADSPEC
// for a null spec; vsIOERR when the temporary file cannot be made, written
// or renamed (it is removed, the file untouched).
int vsReplaceFile(const char *spec, const char *content, size_t length);

// Makes directory (in/out, vsMAXPATH bytes) absolute, appends a unique name
// "ulXXXXXX" and creates that file empty; the spec of the file is left in
// directory. vsNOTFOUND if it is not a directory or no name could be had,
// vsBADSPEC if too long; else vsCreate's status.
int vsUnique(char *directory);

// ---- Time and process end ----------------------------------------------------------

// which 0: the current time as local wall-clock seconds since 1970 (the
// count vsInfo gives for modification times), or vsTimerFixedV when that is
// not 0. which 1: hundredths of a second elapsed since the first call with 1.
long vsTimer(int which);

// 0, or a fixed count that vsTimer(0) returns instead of reading the clock:
// what a program sets when its time stamps must not depend on when it runs
// (tests of the texts that carry the date). The elapsed-time counter of
// vsTimer(1) does not look at it.
extern long vsTimerFixedV;

// Ends the process with a core image: flushes every open output stream and
// aborts. Does not return.
[[noreturn]] void vsCoreDump();
