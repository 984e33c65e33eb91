// ulMemInternal.h: state shared by the files of the memory layer (not for
// other modules).
//
// The allocator (ulMem.cpp), the debugging machinery (ulMemDbg.cpp) and the
// free lists (ulMemFl.cpp) read the modes decided at the first allocation from
// one process-wide record, so that the hot paths test a plain flag.
#pragma once

#include <cstddef>

namespace ulmem {

// Modes read from the environment once.
struct Modes {
  bool ready;           // the environment has been read
  bool debug;           // UL_MEMDBG set and UL_PURIFY not set
  bool freeLists;       // the fixed-size free lists are on
  size_t blockSize;     // bytes per carved free-list block
  const char *watchTag; // UL_MEMWATCH in debugging mode, else null
};

extern Modes modesV;

// Reads the environment into modesV (first call only).
void readModes();

inline const Modes &modes() {
  if (!modesV.ready)
    readModes();
  return modesV;
}

// Prints a usage-report text and a newline on standard output.
void printStdout(const char *text);

} // namespace ulmem
