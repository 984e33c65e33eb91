// vqNameFile.cpp: the names and checks of blocks that need the project's
// libraries and files: file names, directory names, block name validity and
// the existence of a block file.

#include "vqNameInternal.h"

#include <cstring>

#include "qInit.h"
#include "sbMsg.h"
#include "ulStr.h"
#include "vqp.h"
#include "vs.h"

using namespace vqname;

namespace {

bool knownLibrary(const std::string &library) {
  return library.empty() || vqpLibraryExists(library.c_str());
}

bool digitsOnly(const std::string &text) {
  return !text.empty() && std::strspn(text.c_str(), "0123456789") == text.size();
}

// Whether extension is one of the words of qualifiers (blanks or commas
// between them), ignoring case.
bool isQualifier(const std::string &extension, const char *qualifiers) {
  if (qualifiers == nullptr)
    return false;
  const char *p = qualifiers;
  while (*p != '\0') {
    p += std::strspn(p, " \t,");
    size_t n = std::strcspn(p, " \t,");
    if (n > 0 && ulStrIequ(std::string(p, n).c_str(), extension.c_str()))
      return true;
    p += n;
  }
  return false;
}

// The silent parse behind q_lib_sym_parse and q_lib_sch_parse.
int parseLibComp(const char *text, bool symbol, const char *qualifiers) {
  if (text == nullptr)
    return 0;
  SplitName n = splitName(text);
  if (!n.parsed || !n.directory.empty() || !knownLibrary(n.library) || !validChars(n.name) ||
      !vsValidFile(n.name.c_str()))
    return 0;
  if (n.extension.empty())
    return 1;
  if (digitsOnly(n.extension) && numberOf(n.extension.c_str()) <= 999)
    return 1;
  return symbol && isQualifier(n.extension, qualifiers);
}

void copyOut(char *out, const std::string &text, int size) {
  if (out != nullptr)
    ulStrncpyNullTerm(out, text.c_str(), size);
}

} // namespace

// ---- Names of a Block that reach the project ------------------------------------------------

const char *q_file_name(const vqBlock *block) {
  if (block->file != 0)
    return keep(kFileName, vqpFileIDGetSpec(block->file));
  char extension[16];
  std::snprintf(extension, sizeof extension, "%d", block->number);
  char spec[vsMAXPATH];
  const char *primary = vqpGetPrimaryPath();
  std::string text;
  if (vsMerge(spec, nullptr, primary, block->name, extension) == vsOK)
    text = spec;
  else
    text = std::string(primary != nullptr ? primary : "") + "/" + block->name + "." + extension;
  return keep(kFileName, text);
}

const char *q_lib_block_name(const vqBlock *block) {
  if (block->library != nullptr && block->library[0] != '\0')
    return q_libcompext_name(block);
  return q_file_name(block);
}

const char *vqBlockFullName(const vqBlock *block, int form) {
  switch (form) {
  case 7:
    return keep(kFullName, q_lib_block_name(block));
  case 5:
    return keep(kFullName, q_file_name(block));
  case 3:
    return keep(kFullName, vqBuildBlockName(block->library, block->name, block->number));
  case 1:
    return keep(kFullName, std::string(block->name != nullptr ? block->name : "") + "." +
                               std::to_string(block->number));
  default:
    return keep(kFullName, q_libcomp_name(block));
  }
}

const char *vqBlockDirName(const vqBlock *block) {
  if (block->library != nullptr && block->library[0] != '\0')
    return keep(kDirName, block->library);
  const char *path = block->file != 0 ? vqpFileIDGetPath(block->file) : vqpGetPrimaryPath();
  return keep(kDirName, path != nullptr ? path : "");
}

// ---- Validity ----------------------------------------------------------------------------------

int vqValidFileName(const char *text, int kind, char *library, char *name, char *extension) {
  char given[vqLIBCOMP_MAX + 1];
  ulStrncpyNullTerm(given, text, sizeof given);
  SplitName n = splitName(given);
  if (!knownLibrary(n.library)) {
    qErrReport(2005, n.library.c_str());
    return 0;
  }
  if (!n.parsed || !n.directory.empty() || !validChars(n.name)) {
    qErrReport(1086, given);
    return 0;
  }
  if (kind == 4) {
    if (!n.extension.empty() && !ulStrIequ(n.extension.c_str(), "pin"))
      return 0;
  } else if (!n.extension.empty()) {
    if (numberOf(n.extension.c_str()) > 999) {
      qErrReport(1194, given);
      return 0;
    }
    if (!vsValidExt(n.extension.c_str()))
      qErrReport(1202, n.extension.c_str());
  }
  if (!vsValidFile(n.name.c_str()))
    qErrReport(1200, n.name.c_str());
  copyOut(library, n.library, vqLIBCOMP_MAX + 1);
  copyOut(name, n.name, vsMAXPATH);
  copyOut(extension, n.extension, vsMAXPATH);
  return 1;
}

int q_valid_block_name(const char *text) {
  if ((text == nullptr || text[0] == '\0') && vqBlockListHead(vqBLOCK_SYMBOL) == nullptr)
    return 1;
  return vqValidFileName(text, 0, nullptr, nullptr, nullptr);
}

int q_lib_sym_parse(const char *text, const char *qualifiers) {
  return parseLibComp(text, true, qualifiers);
}

int q_lib_sch_parse(const char *text) {
  return parseLibComp(text, false, nullptr);
}

int vqBlockNameIsValid(int isSymbol, const char *text) {
  if (!isSymbol)
    return q_lib_sch_parse(text);
  const char *qualifiers = vqIniSettingsV.symbolQualifiers;
  return q_lib_sym_parse(text, qualifiers[0] != '\0' ? qualifiers : "1");
}

int vqSymbolNameIsValid(const char *text) {
  return vqBlockNameIsValid(1, text);
}

int vqFexists(int kind, const char *blockName) {
  char library[vqLIBCOMP_MAX + 1];
  char name[vsMAXPATH];
  char extension[vsMAXPATH];
  if (!vqValidFileName(blockName, kind, library, name, extension))
    return -1;
  int version = kind == 4 || extension[0] == '\0' ? 1 : static_cast<int>(numberOf(extension));
  return vqpFileExists(kind, library, name, version) ? 1 : 0;
}
