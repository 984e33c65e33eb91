// ulBase.h: what every module of the base utility library shares.
//
// ulDummyProc is the "no function" marker that several interfaces accept in
// place of a callback: a directory loop given it only counts entries, a table
// dump given it prints nothing, a sort given it keeps loop order. Compare a
// callback with it by address (cast it to the callback type of the interface);
// calling it does nothing and returns 0.
//
// The character classes below are the word separators of the formats the
// library reads. Each reader uses the class its format names, so that one
// class has one definition; none depends on the locale.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Does nothing and returns 0; stands for "no callback" where an interface
// takes one.
int ulDummyProc(...);

// Generic callback type: any function that takes anything and returns int.
using ulProc = int (*)(...);

// The value of a hexadecimal digit character ('0' to '9', 'a' to 'f', 'A' to
// 'F'), or -1 for any other character. Radix parsers check the value against
// their radix.
inline int ulHexDigitValue(int c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// ---- Character classes ----------------------------------------------------------

// White space of the C locale: space, tab, newline, carriage return, vertical
// tab, form feed. What ulStrBlk and ulStrTrim skip, and what separates the
// values of an initialisation file line (read as scanf reads them).
constexpr bool ulCharIsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The usual token delimiters (ulStrWhitespaceV): space, tab, newline. What
// separates the words of an LTF record line and the tokens of ulTklex.
constexpr bool ulCharIsDelimiter(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

// Space and tab, and the two line-end characters: what separates the fields
// of a directory line, which may be handed over with its line end.
constexpr bool ulCharIsLineSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Space and tab: blanks within a line, such as those around the parts of a
// path spec or between the digits of a byte block.
constexpr bool ulCharIsSpaceOrTab(char c) {
  return c == ' ' || c == '\t';
}

// ---- Files ------------------------------------------------------------------------

// The permission bits a new file gets: 0666 less the process's umask.
mode_t ulNewFileMode();

// Syncs the directory dir to disk, so that its entries (a rename into it)
// survive a power failure. false when it cannot be opened or synced.
[[nodiscard]] bool ulSyncDirectory(const char *dir);

// Replaces the content of the file at path with length bytes of content,
// crash-safely: the bytes go to a temporary file in the same directory
// (".ulXXXXXX"), which gets the old file's permission bits and, where the
// system allows, its group (a new file: ulNewFileMode), is synced to disk
// and renamed over the file; then the directory is synced. A symbolic
// link is followed: its target gets the new content and the link stays.
// After a crash at any moment the file holds its old or its whole new
// content. true on success; false (errno set, the file and its directory
// as they were) on any failure.
[[nodiscard]] bool ulReplaceFile(const char *path, const char *content, size_t length);
