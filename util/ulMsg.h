// ulMsg.h: numbered messages read from binary message files.
//
// Every text the library layers show a user is a numbered message kept in a
// binary message file (extension "umb") outside the program: the base
// library's own file "ullib", the editor's "scrib", the path layer's "vslib".
// A file is found along the search order of the configuration files, which
// ends with the data directory reached from the running executable's
// directory (../share/retag) and that directory itself, so an installed
// program finds the installed files and a built one those the build put
// beside it.
//
// Calling sequence:
//   ulMsgHandle f = ulMsgFileOpen("scrib", nullptr, nullptr, nullptr, nullptr);
//   const char *t = ulMsgStatic(f, 1017, name);   // formatted, module buffer
//   char *own = ulMsgAlloc(f, 1017, name);        // formatted, caller frees
//   ulMsgFileClose(f);
// Opening a name that is already open returns the same handle and counts the
// open; the file is closed after as many closes as opens. The library's own
// file is ulMsgFile(), opened at first use with the checks application
// "ullib", version string "5.0" and minimum version "5.0.0".
//
// File layout (all words 32-bit big-endian): a 15-word header (marker
// 0x00010203, major, minor, patch, index offset, -, application-record
// offset, version-record offset, 7 unused words); the index (entry count,
// then per message: number, text offset, text length with its zero byte) in
// ascending number order; texts; and string records (length word, bytes with
// zero). Only the header and the index are held in memory: texts are read on
// demand and kept in a cache of 80 entries reached through 128 chains (by
// number modulo 128), reused in least-recently-used order.
//
// Errors: every failure to open, check or read a file throws a library
// exception (tag 2 for file problems, tag 1 for a handle that is not open)
// carrying a message of the library file: 1002 (no file name), 1003 (not
// found), 1004 (cannot open), 1005 (bad header or index offset), 1006 (short
// index), 1007 (failed version check), 1020 (unknown handle), 1021 (no such
// message), 1022 (seek to text failed), 1023 (short text). Failures of the
// library's own file carry fixed texts instead, since that file cannot
// describe its own failure. With UL_MSGNOVERSION set in the environment a
// failed version check only warns, and the file is used.
//
// Ownership: ulMsgFileOpen's handle stays valid until its last close.
// ulMsgGetFilename points into the handle. ulMsgStatic's result lives in the
// string layer's formatting buffer until the next formatting call;
// ulMsgAlloc's and ulMsgCopyAlloc's results belong to the caller (ulStrFree).
// The function handed to ulMsgText/ulMsgGenerate sees a text that is valid
// only during the call.
//
// Every file still open at exit is closed by an exit handler of order 85.
// Single-threaded: the open-file list and the cache are process-wide.
#pragma once

#include <cstdarg>

struct ulMsgFileEntry;

// Handle of an open message file; null is never a valid handle.
using ulMsgHandle = ulMsgFileEntry *;

// What ulMsgText and ulMsgGenerate hand a message to: called with the
// caller's data and the (raw or formatted) text; its result is returned.
using ulMsgFunc = char *(*)(void *data, const char *text);

// Destination of ulMsgCopyToBuffer: a caller buffer and its size in bytes.
struct ulMsgBufferDest {
  char *buffer; // where the text goes
  int size;     // bytes available, the terminating zero included
};

// Opens the message file name (extension "umb" added) or, when it is already
// open, counts one more open of it. Each given check runs on every open:
// application and version must equal the file's application-name and
// version-string records; minimum and maximum ("major.minor.patch") bound
// each part of the file's version. Returns the handle; throws on failure
// (see above), so it never returns null.
ulMsgHandle ulMsgFileOpen(const char *name, const char *application, const char *version,
                          const char *minimum, const char *maximum);

// Drops one open count; at 0 the file is closed and the handle freed. A
// handle that is not open (or null) is ignored.
void ulMsgFileClose(ulMsgHandle handle);

// The library's own message file "ullib", opened with its checks at first
// use. Throws a Fatal error when it cannot be opened.
ulMsgHandle ulMsgFile();

// The name the file was opened under ("scrib"), used as the application of
// errors built from its messages. Null for a handle that is not open.
const char *ulMsgGetFilename(ulMsgHandle handle);

// Looks up the raw text of message number and returns function(data, text)
// (the text itself when function is null; it lives in the cache until the
// next lookup).
// Throws 1020 for a handle that is not open, 1021 to 1023 when the message
// cannot be read.
char *ulMsgText(ulMsgHandle handle, int number, ulMsgFunc function, void *data);

// Formats message number with the arguments (the text is the printf format)
// and returns function(data, formatted text). Throws as ulMsgText.
char *ulMsgGenerate(ulMsgHandle handle, int number, ulMsgFunc function, void *data, ...);
char *ulMsgGenerateVa(ulMsgHandle handle, int number, ulMsgFunc function, void *data, va_list args);

// The formatted message in the string layer's formatting buffer, valid until
// the next formatting call there.
char *ulMsgStatic(ulMsgHandle handle, int number, ...);
char *ulMsgStaticVa(ulMsgHandle handle, int number, va_list args);

// The formatted message as a string the caller frees with ulStrFree. When
// the message cannot be generated the result is "*** internal message file
// error; message #" and the number, and nothing is thrown.
char *ulMsgAlloc(ulMsgHandle handle, int number, ...);

// Formats the message into buffer (size bytes, always terminated, shortened
// when longer) and returns buffer.
char *ulMsgBuffer(char *buffer, int size, ulMsgHandle handle, int number, ...);

// Copying functions to pass as ulMsgFunc. ulMsgCopyToBuffer's data is a
// ulMsgBufferDest; it returns the destination buffer. ulMsgCopyAlloc ignores
// data and returns an owned copy (ulStrFree).
char *ulMsgCopyToBuffer(void *data, const char *text);
char *ulMsgCopyAlloc(void *data, const char *text);

// Parses text as three dotted decimal numbers ("5.0.0") into major, minor
// and patch. Returns 1 on success; otherwise returns 0 and leaves all three
// unchanged (null text included).
int ulMsgCompVerValues(const char *text, int *major, int *minor, int *patch);

// Number of message texts read from files since the start of the process
// (lookups served from the cache do not count). A diagnostic for tuning and
// for checking the cache.
long ulMsgFileReads();

// Closes the files of the older fixed-record message format. No such file
// is ever opened by this system, so this only has to be safe to call at
// any time, any number of times.
void ulMsgClose();
