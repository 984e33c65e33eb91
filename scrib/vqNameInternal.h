// vqNameInternal.h: what the files of the block name module share behind
// vqName.h.
#pragma once

#include <string>

#include "vqName.h"

namespace vqname {

// The result buffers of the name builders, one per function. Each keeps a
// pooled string that the function's next call replaces.
enum Buffer {
  kLibcompName,
  kBuildBlockName,
  kLibcompextName,
  kFileName,
  kFullName,
  kDirName,
  kBufferCount
};

// Stores text in the function's buffer (freeing what it held) and returns it.
const char *keep(Buffer which, const std::string &text);

// A name split the way the validity functions see it.
struct SplitName {
  std::string library;   // "" when none
  std::string directory; // a directory part (names have none)
  std::string name;
  std::string extension;
  bool parsed; // the component was a spec vsParse accepts
};

// Splits text (at most vqLIBCOMP_MAX characters of it) into library,
// directory, name and extension.
SplitName splitName(const char *text);

// The number a text begins with, as atoi reads it but without overflow
// (out-of-range values saturate).
long numberOf(const char *text);

// Whether name is non-empty and holds only valid name characters.
bool validChars(const std::string &name);

} // namespace vqname
