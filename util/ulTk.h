// ulTk.h: buffered word and line readers for keyword-driven text files.
//
// Line-oriented input files of the system (attribute lists, small settings
// files) are read with two calls that share one stdio stream:
//
//   id = ulTklex(fp, word, 160, "\n\t ", " \n\t", keywords);   // first word
//   ulDufsFgets(line, 160, fp);                                // rest of line
//
// ulTklex reads one word and tells whether it is one of the caller's
// keywords; it leaves the character that ended the word in the stream, so the
// following ulDufsFgets gets the rest of the same line, line end included.
//
// A reader with its own word loop over ulTkGetc can skip the push back and
// the second read of the character that ended the word: it hands that
// character to ulDufsFgetsAfter, which reads the rest of the line behind it.
//
// Both readers treat a CR LF pair as a single LF, so files written on systems
// with two-character line ends read the same as Unix files.
//
// Limits: a buffer of size n receives at most n - 1 characters and is always
// terminated. A longer word is cut (the rest of it is consumed and dropped);
// a longer line is cut and its tail stays in the stream for the next read.
//
// Neither reader allocates memory or reports errors: end of file is their only
// failure and shows in the result. Input may hold any bytes, NUL included.
// The readers are not thread-safe (they use unlocked stdio).
#pragma once

#include <cstdio>

// Reads one character from fp as the readers below do: a CR LF pair comes
// back as LF; a CR followed by anything else comes back as CR (the character
// after it stays in the stream). EOF at the end of the file.
inline int ulTkGetc(FILE *fp) {
  int c = getc_unlocked(fp);
  if (__builtin_expect(c == '\r', 0)) {
    int d = getc_unlocked(fp);
    if (d == '\n')
      return '\n';
    if (d != EOF)
      ungetc(d, fp);
  }
  return c;
}

// One entry of a keyword list: the lists are singly linked and searched from
// the head. The list owner allocates and frees the entries and their names.
struct ulTkKeyword {
  ulTkKeyword *next; // following entry, or null
  char *name;        // the keyword text, compared exactly (case counts)
  int length;        // strlen(name)
  int id;            // returned by ulTklex when the word equals name
};

// Reads the next word from fp into buffer (size bytes, size >= 1).
// Characters of skip are passed over first; end of file there returns -1 with
// an empty buffer. The word runs up to the next character of brk or the end
// of the file; at most size - 1 characters are kept, the rest of the word is
// read and dropped. The character that ended the word is pushed back into
// the stream. When the first character after the skipped run is itself in
// brk (possible only when brk holds characters that skip does not), the word
// is that one character. Returns the id of the first entry of keywords whose
// name equals the whole word, or 0 when none does (keywords may be null).
int ulTklex(FILE *fp, char *buffer, int size, const char *brk, const char *skip,
            const ulTkKeyword *keywords);

// Reads one line from fp into buffer (size bytes, size >= 2): up to and
// including the line end, at most size - 1 characters, always terminated.
// A CR LF line end is stored as a single LF. Returns buffer, or null when the
// stream is at its end before any character was read.
char *ulDufsFgets(char *buffer, int size, FILE *fp);

// ulDufsFgets for a line whose first character c the caller has already
// taken from fp (the character that ended a word): gives what ungetc(c, fp)
// followed by ulDufsFgets(buffer, size, fp) gives, without the push back.
// With c EOF this is ulDufsFgets.
char *ulDufsFgetsAfter(int c, char *buffer, int size, FILE *fp);
