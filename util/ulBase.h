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
