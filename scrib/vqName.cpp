// vqName.cpp: library component names, pin indexes, the names of a Block
// that need no file access, and the checks of sheet and symbol names.

#include "vqNameInternal.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qInit.h"
#include "sbMsg.h"
#include "ulErr.h"
#include "ulMem.h"
#include "ulStr.h"
#include "vs.h"

const char vqValidNameCharsV[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789$&#@!%'`()-{}_^~abcdefghijklmnopqrstuvwxyz";

namespace {

struct NameState {
  char library[vqLIBCOMP_MAX + 1];     // q_split_lib_comp's result
  char combined[vqLIBCOMP_MAX + 1];    // q_combine_lib_comp's result
  char number[16];                     // vqPnindexText's decimal form
  char extension[16];                  // q_file_extension's result
  char *buffers[vqname::kBufferCount]; // the name builders' results (pooled)
  char **pinTexts;                     // non-numeric pin number texts (pooled)
  int pinCount;
  int pinCapacity;
  bool freeAtExit;
};

NameState &state() {
  static NameState s;
  return s;
}

void releaseAll() {
  NameState &s = state();
  for (char *&b : s.buffers) {
    ulStrFree(b);
    b = nullptr;
  }
  for (int i = 0; i < s.pinCount; ++i)
    ulStrFree(s.pinTexts[i]);
  ulMemFree(s.pinTexts);
  s.pinTexts = nullptr;
  s.pinCount = 0;
  s.pinCapacity = 0;
}

NameState &heldState() {
  NameState &s = state();
  if (!s.freeAtExit) {
    s.freeAtExit = true;
    ulOnExitAdd2(releaseAll);
  }
  return s;
}

// The value of a pin number text that is a number of 0 or more that an int
// holds; -1 otherwise.
int numericPin(const char *text) {
  if (!ulStrIsnum(text))
    return -1;
  double value = std::strtod(text, nullptr);
  if (!(value >= 0.0 && value <= INT_MAX))
    return -1;
  return static_cast<int>(value);
}

} // namespace

namespace vqname {

long numberOf(const char *text) {
  return std::strtol(text, nullptr, 10);
}

const char *keep(Buffer which, const std::string &text) {
  NameState &s = heldState();
  ulStrFree(s.buffers[which]);
  s.buffers[which] = ulStrCpy(text.c_str());
  return s.buffers[which];
}

SplitName splitName(const char *text) {
  SplitName out;
  char buf[vqLIBCOMP_MAX + 1];
  ulStrncpyNullTerm(buf, text, sizeof buf);
  out.library = q_split_lib_comp(buf);
  char directory[vsMAXPATH];
  char name[vsMAXPATH];
  char extension[vsMAXPATH];
  out.parsed = vsParse(buf, nullptr, directory, name, extension) == vsOK;
  if (out.parsed) {
    out.directory = directory;
    out.name = name;
    out.extension = extension;
  }
  return out;
}

bool validChars(const std::string &name) {
  return !name.empty() && std::strspn(name.c_str(), vqValidNameCharsV) == name.size();
}

} // namespace vqname

using namespace vqname;

// ---- Splitting and joining ------------------------------------------------------------

char *q_split_lib_comp(char *text) {
  char *library = state().library;
  library[0] = '\0';
  if (text == nullptr)
    return library;
  char *start = ulStrBlk(text);
  char *colon = std::strchr(start, ':');
  char *component = start;
  if (colon != nullptr) {
    size_t n = static_cast<size_t>(colon - start);
    if (n > vqLIBCOMP_MAX)
      n = vqLIBCOMP_MAX;
    std::memcpy(library, start, n);
    library[n] = '\0';
    component = colon + 1;
  }
  std::memmove(text, component, std::strlen(component) + 1);
  return library;
}

char *q_merge_lib_comp(const char *library, const char *component) {
  if (component == nullptr)
    component = "";
  if (library == nullptr || library[0] == '\0')
    return ulStrCpy(component);
  return ulSprintfAlloc("%s:%s", library, component);
}

const char *q_combine_lib_comp(const char *library, const char *component) {
  char *out = state().combined;
  if (component == nullptr)
    component = "";
  if (library == nullptr || library[0] == '\0')
    std::snprintf(out, vqLIBCOMP_MAX + 1, "%s", component);
  else
    std::snprintf(out, vqLIBCOMP_MAX + 1, "%.*s:%s", vqLIBRARY_MAX, library, component);
  return out;
}

// ---- Pin numbers ---------------------------------------------------------------------------

int q_get_pnindex(const char *text) {
  if (text == nullptr)
    text = "";
  int value = numericPin(text);
  if (value >= 0)
    return value;
  NameState &s = heldState();
  for (int i = 0; i < s.pinCount; ++i)
    if (ulStrEqu(s.pinTexts[i], text))
      return -(i + 1);
  if (s.pinCount == s.pinCapacity) {
    s.pinCapacity = s.pinCapacity == 0 ? 16 : s.pinCapacity * 2;
    s.pinTexts = static_cast<char **>(
        ulMemRealloc(s.pinTexts, static_cast<size_t>(s.pinCapacity) * sizeof(char *), "vqPNINDEX"));
  }
  s.pinTexts[s.pinCount++] = ulStrCpy(text);
  return -s.pinCount;
}

const char *vqPnindexText(int index) {
  NameState &s = state();
  if (index >= 0) {
    std::snprintf(s.number, sizeof s.number, "%d", index);
    return s.number;
  }
  if (index < -s.pinCount)
    return "";
  return s.pinTexts[-index - 1];
}

// ---- Names of a Block -------------------------------------------------------------------

const char *q_libcomp_name(const vqBlock *block) {
  if (block == nullptr)
    return nullptr;
  char *name = q_merge_lib_comp(block->library, block->name);
  const char *kept = keep(kLibcompName, name);
  ulStrFree(name);
  return kept;
}

const char *vqBuildBlockName(const char *library, const char *name, int number) {
  char extension[16];
  std::snprintf(extension, sizeof extension, "%d", number);
  char spec[vsMAXPATH];
  std::string text;
  if (vsMerge(spec, nullptr, nullptr, name, extension) == vsOK)
    text = spec;
  else
    text = std::string(name != nullptr ? name : "") + "." + extension;
  if (library != nullptr && library[0] != '\0')
    text = std::string(library) + ":" + text;
  return keep(kBuildBlockName, text);
}

const char *q_libcompext_name(const vqBlock *block) {
  std::string text = vqBuildBlockName(block->library, block->name, block->number);
  return keep(kLibcompextName, text);
}

const char *q_file_extension(const vqBlock *block) {
  char *out = state().extension;
  if (block->kind == 4)
    std::snprintf(out, sizeof state().extension, "%s", q_dtypes[4].name);
  else
    std::snprintf(out, sizeof state().extension, "%-d", block->number);
  return out;
}

// ---- Validity without the project ----------------------------------------------------------

int q_valid_sheet_num(const char *text) {
  if (text == nullptr)
    text = "";
  if (numberOf(text) > 999) {
    qErrReport(1194, text);
    return 0;
  }
  if (!vsValidExt(text))
    qErrReport(1202, text);
  return 1;
}

int q_valid_symbol_name(const char *text) {
  char directory[vsMAXPATH];
  char name[vsMAXPATH];
  char extension[vsMAXPATH];
  if (text == nullptr || vsParse(text, nullptr, directory, name, extension) != vsOK)
    return 0;
  return directory[0] == '\0' && validChars(name) && vsValidFile(name) && vsValidExt(extension) &&
         ulStrIsnum(extension) && numberOf(extension) < 1000;
}
