// ulBus.h: bus names, counted and expanded into their single signal names.
//
// A net or pin label may stand for many signals at once. D[7:0] is the eight
// signals D7 down to D0; A[0:1]B[0:1] is A0B0, A0B1, A1B0, A1B1; {CLK,EN}2 is
// CLK, EN, CLK, EN. This module reads that syntax and either counts the
// single names (ulBusExpandWidth) or walks them one by one (ulBusExpand).
// A plain name such as an ordinary pin name counts as one name, itself.
//
// Syntax:
//   name     := item { sep item }          sep: any character of the separator
//                                           set ("," unless ulBusExpandRepsep
//                                           changed it); separators before an
//                                           item, and so empty items, are skipped
//   item     := "{" name "}" count          a repeat group: the inner list,
//                                           count times in a row (count is
//                                           decimal, 1 or more, and runs to the
//                                           end of the item)
//             | piece { piece }             a chain, expanded in odometer order:
//                                           the last piece's index runs fastest
//   piece    := text subscript              index written after the text
//             | subscript text              index written before the text
//                                           (the text runs to the next subscript)
//             | text                        no subscript
//   subscript:= "[" start [ ":" end [ ":" step ] ] [ ("/" | "\") radix ] "]"
//   radix    := B | O | D | H, either case (binary, octal, decimal, hex);
//               decimal when absent
// A separator inside braces does not end an item. Every field holds at most
// 18 characters. Decimal fields may start with "-". The step's absolute value
// is used, 1 by default; when start is above end the indices count down. When
// start or end is written with a leading "0" followed by more digits (a sign
// not counted), every index is padded with zeros to the length of the longer
// of the two fields (the sign counts toward that length, as in printf's "%0Nd").
// Hexadecimal indices are written with upper-case digits; binary indices with
// as many digits as the value has significant bits (at least one) unless
// padded. Indices are 64-bit: a hexadecimal field too large for a signed
// 64-bit value is refused like an over-long field (status 5).
//
// Which "[" opens a subscript: square brackets that are not a subscript are
// ordinary characters of a name (MEM[ADDR] is one name, itself). Let the
// content of a "[" be the text between it and the next "]" of the item (or
// the end of the item when no "]" follows). The "[" opens a subscript when
// its content
//   - begins with a decimal digit, or with "-" and a decimal digit, or
//   - holds a ":", a "/" or a "\" anywhere;
// otherwise it is an ordinary character. Once a "[" opens a subscript, the
// subscript grammar is applied strictly and every fault is an error with its
// status (so D[0:3 and D[0:1/X] are errors, not names). Ordinary square
// brackets must balance within each item: a "]" that closes nothing, or an
// ordinary "[" left open at the end of the item, is status 1. Braces inside
// a chain (an item that does not begin with "{") are ordinary characters
// when they balance.
//
// Limits: a subscript of 65536 or more indices, and a repeat count above
// 65535, are refused: ulBusExpandWidth returns 0 and ulBusExpand yields no
// further name, both leaving status 0 (no syntax fault). ulBusExpandWidth
// also returns 0 (status 0) when the total passes 65535 names; ulBusExpand
// has no total limit and walks such a name to its end.
//
// Calling sequence of the iterator:
//   char name[64];
//   ulBusState *s = nullptr;
//   while ((s = ulBusExpand(s, text, name, sizeof name)) != nullptr)
//     use(name);
//   if (ulBusExpandStatus() != ulBUS_OK) ... the text was faulty ...
// Every call must pass the same text (the state keeps offsets into it, and
// the text behind the current item is parsed only when that item is used up).
// When the names are exhausted, or on any error, the iterator releases the
// state itself and returns null; a caller that stops early releases it with
// ulBusExpandFree. State records are allocated with the tag "vecrec".
//
// Errors: every operation clears the status when it starts (ulBusExpandStatus
// and ulBusExpandFree excepted) and leaves the status of its first fault for
// ulBusExpandStatus. Nothing is printed and nothing is thrown.
//
// Single-threaded: the separator set and the status are process-wide.
#pragma once

// Status codes of ulBusExpandStatus.
enum {
  ulBUS_OK = 0,        // success
  ulBUS_BALANCE = 1,   // brackets or braces out of balance, "[" inside a
                       // subscript, text ending inside a subscript
  ulBUS_BADCHAR = 2,   // a character that cannot stand in a subscript, or a
                       // radix letter other than B, O, D, H
  ulBUS_FORM = 3,      // empty field before ":" or "/", more than two ":",
                       // a second radix marker or letter, empty last field,
                       // repeat group without a repeat count of 1 or more
  ulBUS_DIGIT = 4,     // a digit not valid in the subscript's radix
  ulBUS_LONGFIELD = 5, // a field of more than 18 characters
  ulBUS_ZEROSTEP = 6,  // a step of 0
  ulBUS_NULLARG = 7,   // a null argument
  ulBUS_NOROOM = 8,    // a single name longer than the caller's buffer
};

// Expansion state: the lazily built list of item records. Opaque.
struct ulBusState;

// The number of single names text stands for: the sum over its items of the
// product of their subscripts' index counts, a repeat group counting its
// repeat count times its inner width. 1 for a name without bus syntax.
// Returns 0 with the status set on a syntax error, 0 with status 7 for a
// null text, and 0 (status 0) when a limit above is passed or the text holds
// no item (empty, or separators only).
int ulBusExpandWidth(const char *text);

// The iterator. Pass null as state on the first call and the returned state
// on every following call, always with the same text. Writes the next single
// name, zero-terminated, into buffer (size bytes) and returns the state to
// pass next. Returns null when the names are exhausted (status 0) or on an
// error (status set: a syntax fault, 7 for a null text or buffer, 8 when a
// name needs more than size bytes); the state is released in both cases.
// The buffer's content is unspecified after a null return.
ulBusState *ulBusExpand(ulBusState *state, const char *text, char *buffer, int size);

// The status of the last ulBusExpand, ulBusExpandWidth or ulBusExpandRepsep.
int ulBusExpandStatus();

// Replaces the separator set by the characters of separators (at most the
// first 19 are kept; an empty set means no separators) and clears the
// status; returns 1. A null argument sets status 7, keeps the set and
// returns 0.
int ulBusExpandRepsep(const char *separators);

// Releases a state that ulBusExpand returned before the names ran out.
// Null is accepted. The status is left as it is.
void ulBusExpandFree(ulBusState *state);
