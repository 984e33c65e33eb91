// ulBase.h: what every module of the base utility library shares.
//
// ulDummyProc is the "no function" marker that several interfaces accept in
// place of a callback: a directory loop given it only counts entries, a table
// dump given it prints nothing, a sort given it keeps loop order. Compare a
// callback with it by address (cast it to the callback type of the interface);
// calling it does nothing and returns 0.
#pragma once

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
