// vqTransform.h: the placement transform of component instances, at its
// least.
//
// A point of a symbol is carried into the schematic through the placement of
// the instance that shows it: turned by the instance's orientation, scaled
// by its scale, and moved to its position. The orientation codes 0 to 3
// turn the symbol by 0, 90, 180 and 270 degrees counter-clockwise; 4 to 7
// first mirror it about its vertical axis (x becomes -x) and then turn it as
// 0 to 3 do. Scaled coordinates are rounded to the nearest integer.
//
// The transforms form a stack: q_push_comp_tr pushes an instance's
// placement on top of the current transform (a placement inside a placement
// composes), t_point carries a point through the whole stack, and
// q_pop_comp_tr takes the top placement off. The empty stack is the
// identity. Pushes and pops pair up; a pop of the empty stack does nothing.
//
// Single-threaded: the stack is process-wide.
#pragma once

#include "vqBlock.h"

// Pushes the placement of instance (position, orientation, scale). Returns 1;
// a null instance pushes nothing and returns 0.
int q_push_comp_tr(const vqComp *instance);

// Takes the top placement off the stack.
void q_pop_comp_tr();

// Carries the point (*x, *y) through the stack, innermost placement first.
void t_point(int *x, int *y);
