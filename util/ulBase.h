// ulBase.h: what every module of the base utility library shares.
//
// ulDummyProc is the "no function" marker that several interfaces accept in
// place of a callback: a directory loop given it only counts entries, a table
// dump given it prints nothing, a sort given it keeps loop order. Compare a
// callback with it by address; calling it does nothing and returns 0.
#pragma once

extern "C++" {

// Does nothing and returns 0; stands for "no callback" where an interface
// takes one. Declared with a C-style variadic list so that it converts to any
// callback type through a cast.
int ulDummyProc(...);

// Generic callback type used by tables, lists and exit handlers.
using ulProc = int (*)(...);
}
