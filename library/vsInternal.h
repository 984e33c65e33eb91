// vsInternal.h: what the files of the path layer share and nobody else uses.
//
// The layer is split along its seams: spec handling (vsSpec.cpp), the
// environment of the process (vsEnv.cpp: entry information, default,
// origin and executable directories, timer), the WDIR list and searches
// (vsWdir.cpp), the directory cache and loops (vsLoop.cpp) and file
// operations (vsFile.cpp). Each keeps its own process-wide state; the few
// helpers they share are declared here.
#pragma once

#include <cstddef>
#include <ctime>
#include <sys/stat.h>

namespace vsi {

// Copies src into dst when it fits (strlen(src) < size); returns false and
// leaves dst untouched otherwise.
bool copyTo(char *dst, const char *src, size_t size);

// Appends src to the text in dst when the whole fits in size bytes; returns
// false and leaves dst untouched otherwise.
bool appendTo(char *dst, const char *src, size_t size);

// The local wall-clock reading of t as seconds since 1970: the local date
// counted in days (Gregorian leap years) and the local time of day.
long localSeconds(time_t t);

// The entry kind of a mode: 2 for a directory, 3 for anything else.
inline int kindOf(mode_t mode) {
  return (mode & 040000) ? 2 : 3;
}

// True when an entry of kind entryKind satisfies a requested kind (4: any).
inline bool kindMatches(int wanted, int entryKind) {
  return wanted == 4 || wanted == entryKind;
}

} // namespace vsi
