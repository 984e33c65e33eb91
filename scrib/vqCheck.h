// vqCheck.h: the design checker, at its least.
//
// A full design-rule checker walks a schematic for electrical and drafting
// faults. This one makes only the structural checks that need nothing but
// the block model, counts what it finds, and prints nothing; a program asks
// for the counts of the latest run and reports as it likes. Counted per run:
//   errors    an attribute whose text is missing or holds a quote character
//             (q_valid_attr); a component instance without its symbol
//             Block; an instance connection that names a net but no joint;
//   warnings  a component instance connection reaching no net (an
//             unconnected pin); a net without any segment; an attribute
//             name repeated on the same owner and part where the name may
//             not repeat (q_attr_multi_ok), counted once per repetition.
// Symbols are checked the same way (they hold no instances or nets).
//
// Single-threaded: the latest counts are process-wide.
#pragma once

#include "vqBlock.h"

// Checks block (null: nothing to check, both counts 0) and keeps the counts
// of this run as the latest. Returns the error count.
unsigned q_check_schematic(vqBlock *block);

// The error and warning counts of the latest q_check_schematic run (0 before
// any); each pointer may be null.
void vqCheckLastCounts(unsigned *errors, unsigned *warnings);
