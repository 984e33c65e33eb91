// ulStr.h: strings, string buffers and tokenising.
//
// Every string this layer hands out comes from one of three places, and the
// name of the function tells which:
//   - ulStrCpy, ulStrAlloc and every ...Alloc function return a pooled string
//     that the caller owns and frees with ulStrFree;
//   - ulStrOldCopy returns a plain heap copy, freed with ulMemFree;
//   - ulStrCat, ulSprintfStatic, ulSprintfStaticVa and ulStrLex (without a
//     token buffer of the caller) return text in a buffer of this layer, valid
//     until the next call of the same kind. Copy it to keep it.
//
// The pool. Short strings dominate (names, attribute values, path parts), so
// they are served from per-size free lists. A pooled string carries one
// header byte in front of its first character:
//   0      a large string: one heap block ("ulStringLarge") of header and text;
//   1      the shared empty string, a constant of the layer (freeing it does
//          nothing; never write anything but a zero into it);
//   4..63  a slot of that many bytes: header, characters and terminator.
// A string of n characters needs n + 2 bytes; with n + 1 >= 63 (62 characters
// or more) it is large. Slots come from the free list of their size or are
// carved from 4088-byte heap blocks ("StrBlock"). Nothing goes back to the
// heap before ulStrTerminate. Setting UL_STRDISABLE or UL_PURIFY switches the
// pool off for the whole run: every string is then a plain heap block
// ("ulString") without header, so memory checkers see each one.
//
// Calling sequence: nothing to set up; the first call of any function here
// sets the layer up (and gives ulStrFree and ulStrBufDestroy the exit order 90
// among the exit handlers). ulExit calls ulStrTerminate at the very end; after
// it, strings are plain heap blocks.
//
// Errors: none are reported. Null arguments are accepted wherever a function
// says what it does with them; memory exhaustion is handled by the allocator.
// A null delimiter or skip set is the empty set.
//
// Nothing here is thread-safe: the pool, the buffers and the scanner cursor
// are process-wide.
#pragma once

#include <cstdarg>
#include <cstdint>

// ---- Constants --------------------------------------------------------------

// The usual token delimiters: blank, newline and tab.
extern const char ulStrWhitespaceV[];

// The wildcard that matches any run of characters in ulStrMat patterns.
extern const char ulStrWildcardV[];

// Flags of ulStrBufUntokQuote.
inline constexpr int ulStrUNTOK_DOLLAR = 1; // double every dollar sign
inline constexpr int ulStrUNTOK_QUOTE = 2;  // quote and escape for ulStrBufTokQuote

// ---- Allocation -------------------------------------------------------------

// A pooled copy of s, owned by the caller (ulStrFree); null for null. The
// empty string gives the shared empty string.
char *ulStrCpy(const char *s);

// An uninitialised pooled string of size bytes, terminator included, owned by
// the caller (ulStrFree). A size of 0 or 1 gives the shared empty string.
char *ulStrAlloc(int size);

// Releases a string of ulStrCpy, ulStrAlloc or an ...Alloc function as its
// header says: a slot goes back to its free list, a large string to the heap,
// the shared empty string stays. Null does nothing.
void ulStrFree(const char *s);

// A plain heap copy of s (tag "ulStrCpy"), freed with ulMemFree; null for null.
char *ulStrOldCopy(const char *s);

// Copies at most n - 1 characters of src into dst and terminates them; a zero
// is always stored in dst[n - 1]. A null src gives the empty string; n <= 0
// leaves dst alone. Returns dst.
char *ulStrncpyNullTerm(char *dst, const char *src, int n);

// Releases the pool blocks, the free lists and the layer's buffers, and
// switches the pool off: later strings are plain heap blocks. Pooled strings
// still held become invalid.
void ulStrTerminate();

// Ends the layer as ulStrTerminate does, then sets it up as at the start of
// the process: the pool on (unless UL_STRDISABLE or UL_PURIFY is set), no
// blocks, empty free lists. For a program that ends and starts its work more
// than once in one process; every string handed out before becomes invalid.
void ulStrRestart();

// 1 while the pool serves strings, 0 when it is switched off.
int ulStrPoolIsOn();

// Bytes held on the pool's free lists (slots freed or left over from blocks).
long ulStrPoolFreeBytes();

// ---- Concatenation and formatting ------------------------------------------

// a followed by b (null arguments are skipped) in a buffer of this layer,
// valid until the next call. Either argument may be the previous result.
char *ulStrCat(const char *a, const char *b);

// a followed by b as a pooled string owned by the caller (ulStrFree).
char *ulStrCatAlloc(const char *a, const char *b);

// The formatting engine: formats into buffer of size bytes with the standard
// printf conversions. Returns the number of characters written (terminator
// not counted), or -1 when the output does not fit; then buffer holds as much
// as fits (terminated when size > 0) and *needed, when needed is not null,
// receives the bytes the whole output needs, terminator included (it receives
// that count on success too). A null format formats as the empty string; a
// null buffer is allowed with size 0 to measure.
int ulSprintfVa2(char *buffer, int size, const char *format, va_list arguments, int *needed)
    __attribute__((format(printf, 3, 0)));

// ulSprintfVa2 with variable arguments and no size report.
int ulSprintf(char *buffer, int size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// The formatted text in the layer's result buffer, valid until the next call
// of either function. Arguments may point into the previous result. A null
// format gives null.
char *ulSprintfStatic(const char *format, ...) __attribute__((format(printf, 1, 2)));
char *ulSprintfStaticVa(const char *format, va_list arguments)
    __attribute__((format(printf, 1, 0)));

// The formatted text as a pooled string owned by the caller (ulStrFree); null
// for a null format.
char *ulSprintfAlloc(const char *format, ...) __attribute__((format(printf, 1, 2)));
char *ulSprintfAllocVa(const char *format, va_list arguments) __attribute__((format(printf, 1, 0)));

// A format string split into its conversions: every "%" with its flags,
// argument position ("n$"), width, precision, length modifier and conversion
// character ("%%" is a conversion too, with the character '%').
struct ulSpFmt;

// Flag bits of ulSpFmtFlags.
inline constexpr int ulSpFmtMINUS = 1;  // '-': left-justify
inline constexpr int ulSpFmtPLUS = 2;   // '+': always a sign
inline constexpr int ulSpFmtSPACE = 4;  // ' ': blank for a missing sign
inline constexpr int ulSpFmtHASH = 8;   // '#': alternate form
inline constexpr int ulSpFmtZERO = 16;  // '0': pad with zeros
inline constexpr int ulSpFmtQUOTE = 32; // '\'': group thousands

// Width and precision values that are not numbers.
inline constexpr int ulSpFmtNONE = -1;    // not given
inline constexpr int ulSpFmtFROMARG = -2; // "*": taken from an argument

// Parses format. Returns an owned parse (ulSpFmtFree), or null for a null
// format or one with an incomplete or unknown conversion.
ulSpFmt *ulSpFmtParse(const char *format);

// Frees a parse of ulSpFmtParse; null does nothing.
void ulSpFmtFree(ulSpFmt *parse);

// Number of conversions in the parse.
int ulSpFmtCount(const ulSpFmt *parse);

// Accessors of conversion i (0-based, below ulSpFmtCount; others give -1):
// offset of its "%" in the format and its length in characters, its flag
// bits, its conversion character, its length modifier ('h', 'l', 'L', 'j',
// 'z', 't', 'H' for "hh", 'q' for "ll", 0 for none), its argument position
// (0 when not given), its width and precision (ulSpFmtNONE, ulSpFmtFROMARG or
// the number).
int ulSpFmtOffset(const ulSpFmt *parse, int i);
int ulSpFmtLength(const ulSpFmt *parse, int i);
int ulSpFmtFlags(const ulSpFmt *parse, int i);
int ulSpFmtConversion(const ulSpFmt *parse, int i);
int ulSpFmtModifier(const ulSpFmt *parse, int i);
int ulSpFmtPosition(const ulSpFmt *parse, int i);
int ulSpFmtWidth(const ulSpFmt *parse, int i);
int ulSpFmtPrecision(const ulSpFmt *parse, int i);

// ---- Comparison and search --------------------------------------------------

// Compares with letters folded to upper case: the difference of the first
// differing folded characters, 0 when equal. Equal pointers (two nulls
// included) are equal; null sorts before any string.
int ulStrIcmp(const char *a, const char *b);

// ulStrIcmp on at most n characters; when one string ends first within n
// characters the longer one is greater (1 or -1). n <= 0 gives 0.
int ulStrNicmp(const char *a, const char *b, int n);

// 1 when a and b are the same pointer or both non-null and equal, else 0.
int ulStrEqu(const char *a, const char *b);

// 1 when ulStrIcmp(a, b) is 0, else 0.
int ulStrIequ(const char *a, const char *b);

// The first character c of s (the terminator when c is 0); null for a null s
// or no hit.
char *ulStrChr(const char *s, int c);

// The last character c of s (the terminator when c is 0); null for a null s
// or no hit.
char *ulStrRch(const char *s, int c);

// The first character of s that is in set; null for a null s or set, or no hit.
char *ulStrBrk(const char *s, const char *set);

// The first occurrence of t in s, exactly or ignoring case; null when either
// is null, t is longer than s, or t does not occur. An empty t gives s.
char *ulStrSearch(const char *s, const char *t);
char *ulStrISearch(const char *s, const char *t);

// Abbreviation lookup of key among the first n entries of table (fewer when a
// null entry comes first). An entry equal to the key gives its index at once;
// else the one entry that the key is a prefix of gives its index; several give
// -2, none (or a null key or table) gives -1. ulStrIndex lower-cases the key
// and compares exactly, so its table is written in lower case; ulStrIindex
// ignores case.
int ulStrIndex(const char *key, const char *const *table, int n);
int ulStrIindex(const char *key, const char *const *table, int n);

// Wildcard match of s against pattern: "?" matches one character, "*" any run
// of characters (none included), every other character itself; no escapes.
// A null pattern or string matches only when both are null. 1 or 0.
// ulStrIMat ignores case.
int ulStrMat(const char *pattern, const char *s);
int ulStrIMat(const char *pattern, const char *s);

// ---- Case and blanks --------------------------------------------------------
// Blanks are space, tab, newline, carriage return, vertical tab and form feed.

// Lower-cases (ulStrLoc) or upper-cases (ulStrUpc) s in place; returns s.
char *ulStrLoc(char *s);
char *ulStrUpc(char *s);

// The first non-blank character of s (its terminator when all are blank);
// null for null.
char *ulStrBlk(const char *s);

// Removes trailing blanks of s in place, never its first character, and
// returns its first non-blank character. Empty and null strings are returned
// as they are.
char *ulStrTrim(char *s);

// s without leading and trailing blanks as a pooled string owned by the
// caller (ulStrFree); s is not changed. Null for null.
char *ulStrTrimAlloc(const char *s);

// 1 when s is a number: digits with an optional sign, at most one decimal
// point and an optional exponent ("e" or "E", not first nor last, with an
// optional sign); "-1.5e+3", ".5" and "." are numbers, "1e", "e5", "1-2", "+"
// and "1.2.3" are not. Null and empty strings are not numbers.
int ulStrIsnum(const char *s);

// ---- Tokenising -------------------------------------------------------------

// Plain tokens. Skips delimiters, copies the following characters up to the
// next delimiter into token (at most size - 1 of them; the rest of the token
// is skipped) and returns a pointer to the delimiter that ended it or to the
// end of s. Null when s is null or holds no further token (token is empty).
char *ulStrTok(const char *s, char *token, int size, const char *delimiters);

// Tokens with quotes and escapes. Skips delimiters; a token that begins with a
// double quote runs to the next unescaped double quote (both are dropped) and
// may hold delimiters. A backslash before a backslash or a double quote yields
// that character; before any other character both are kept; outside quotes a
// delimiter ends the token even after a backslash (which is kept). At most
// size - 1 characters are stored; the rest of the token is skipped. Returns a
// pointer to the start of the next token (after the delimiters that follow),
// which may be the end of s; null (and an empty token) when s is null or holds
// no further token.
char *ulStrTokQuote(const char *s, char *token, int size, const char *delimiters);

// A growable text: the record is allocated from the free lists ("ulStrBuf"),
// the text is a pooled string. Fields are read with the functions below.
struct ulStrBuf {
  int32_t capacity; // characters the text holds without growing
  int32_t length;   // characters held
  char *text;       // capacity + 1 bytes, always terminated
};

// ulStrTok and ulStrTokQuote with the token placed in buffer (emptied first),
// so that its length is not limited. Same results.
char *ulStrBufTok(const char *s, ulStrBuf *buffer, const char *delimiters);
char *ulStrBufTokQuote(const char *s, ulStrBuf *buffer, const char *delimiters);

// Appends token to buffer so that ulStrBufTokQuote with the same delimiters
// reads it back, and returns token. When the buffer is not empty and does not
// end in a delimiter, the first delimiter character is appended first as a
// separator. With ulStrUNTOK_QUOTE an empty token or one holding a delimiter is
// enclosed in double quotes, and every double quote and backslash is preceded
// by a backslash; with ulStrUNTOK_DOLLAR every dollar sign is doubled. A null
// token counts as empty.
const char *ulStrBufUntokQuote(const char *token, ulStrBuf *buffer, int flags,
                               const char *delimiters);

// A scanner with a process-wide cursor. A non-null s starts a new scan over a
// copy of s; a null s goes on where the last call stopped. Characters of skip
// are passed over; then, when the current character is a delimiter, it alone
// is the token; otherwise the characters up to the next delimiter are (at most
// size - 1 of them; the rest begins the next token). Returns token, or the
// layer's token buffer (valid until the next call) when token is null; null at
// the end of the text or without a scan.
char *ulStrLex(const char *s, char *token, int size, const char *delimiters, const char *skip);

// Steps the scanner back over the character just behind it when that
// character is c, so that the next ulStrLex returns it again. 1 when it
// stepped back, else 0.
int ulStrUnlexdelim(int c);

// ---- String buffers -----------------------------------------------------------

// A new empty buffer that holds capacity characters without growing
// (negative counts as 0). Destroy it with ulStrBufDestroy.
ulStrBuf *ulStrBufCreate(int capacity);

// Frees the text and the record; null does nothing.
void ulStrBufDestroy(ulStrBuf *buffer);

// Empties the buffer (length 0, empty text); the capacity stays.
void ulStrBufClear(ulStrBuf *buffer);

// Characters held.
int ulStrBufLength(const ulStrBuf *buffer);

// The text, owned by the buffer: valid until the buffer grows or is destroyed.
char *ulStrBufString(const ulStrBuf *buffer);

// Append s (null does nothing), at most n characters of s, one character (a
// zero does nothing), or each string of a null-terminated list. When the text
// would exceed the capacity, the capacity becomes twice the length needed.
// The source may be the buffer's own text.
void ulStrBufAppend(ulStrBuf *buffer, const char *s);
void ulStrBufAppendN(ulStrBuf *buffer, const char *s, int n);
void ulStrBufAppendChar(ulStrBuf *buffer, int c);
void ulStrBufAppendStrings(ulStrBuf *buffer, ...) __attribute__((sentinel));

// Drops the last n characters; n >= length empties the buffer, n <= 0 does
// nothing.
void ulStrBufRemoveN(ulStrBuf *buffer, int n);

// ---- Escapes ----------------------------------------------------------------
// ulStrCvtToAscii writes a text with control and non-ASCII characters escaped;
// ulStrCvtFromLiteral reads such a text back, so that one after the other
// gives back the original.
//
// Escaping: backspace, tab, newline, vertical tab, form feed and carriage
// return become \b \t \n \v \f \r; a double quote or a backslash gets a
// backslash in front; any other character below 32, 127 and every character
// above 127 become a backslash and three octal digits. Character set 2 keeps
// the printable Latin-1 characters (160 to 255) as they are.
//
// Reading back: the escapes above, \a (bell), \ooo with one to three octal
// digits (only the low eight bits count; a zero ends the text) and \xhh with
// one or two hexadecimal digits give their character; a backslash before any
// other character is kept together with that character, and a backslash at
// the end is kept. An unescaped double quote is dropped, so that a quoted
// literal ("a\tb") reads as its contents.

// Escapes src into dst of size bytes and returns dst. An escape that does not
// fit whole (with room for the terminator) ends the text; dst is always
// terminated. Null when src or dst is null or size <= 0.
char *ulStrCvtToAscii(const char *src, char *dst, int size);

// The escaped src as a pooled string owned by the caller (ulStrFree); null
// for null.
char *ulStrCvtToAsciiAlloc(const char *src);

// Reads the escapes of src into dst of size bytes and returns dst; a character
// that does not fit (with room for the terminator) ends the text. Null when
// src or dst is null or size <= 0.
char *ulStrCvtFromLiteral(const char *src, char *dst, int size);

// The read-back text as a pooled string owned by the caller (ulStrFree); null
// for null.
char *ulStrCvtFromLiteralAlloc(const char *src);

// Chooses the character set of ulStrCvtToAscii: 1 (seven-bit, the default)
// or 2 (Latin-1). Returns 1; any other value returns 0 and changes nothing.
int ulStrCvtChrset(int set);
