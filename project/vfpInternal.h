// vfpInternal.h: what the files of the project database share inside.
#pragma once

#include "vfp.h"

// One directory line as parsed: every field the line gave, empty when it
// gave none or the parse stopped before it.
struct vfpiDirLine {
  char path[vfpPATH_SIZE];       // path, backslashes turned, trailing "/" removed
  char alias[vfpALIAS_SIZE];     // alias without its parentheses
  char qualifier[vfpALIAS_SIZE]; // qualifier without its braces
  char type[vfpTYPE_SIZE];       // canonical type letters
  int flags;                     // vfpDIR_* bits
};

// Parses line into *out (cleared first). 0 or the status of the refusal.
int vfpiParseDirLine(const char *line, vfpiDirLine *out);
