// vqpDir.cpp: library directories as the block layer sees them: the
// project's library list walked by alias, the information of one directory
// or of a block file's directory, writable directories, the library loop.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "qInit.h"
#include "vfpFile.h"
#include "vqpInternal.h"

namespace {

// The layer's result buffer: valid until the next call that returns text.
char resultV[vfpPATH_SIZE];

const char *keep(const char *text) {
  std::snprintf(resultV, sizeof resultV, "%s", text == nullptr ? "" : text);
  return resultV;
}

vfpObjId project() {
  return vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
}

bool isDir(LibraryDirId dir) {
  return dir != 0 && vfpObjGetClass(dir) == vfpClassLIBRARY;
}

bool isFile(BlockFileId file) {
  return file != 0 && vfpFileClassInfo(vfpObjGetClass(file)) != nullptr;
}

// An alias names one library exactly: never a pattern, never empty.
bool namesLibrary(const char *alias) {
  return alias != nullptr && *alias != '\0' && std::strpbrk(alias, "*?") == nullptr;
}

// The next directory after previous (0: the first) whose alias matches
// pattern ("" any), passing over refused directory lines. *status (may be
// null): 0, or the list's status (12 when there is none).
LibraryDirId nextDir(LibraryDirId previous, const char *pattern, int *status) {
  const vfpObjId p = project();
  int st = vfpGENERAL_FAILURE;
  LibraryDirId lib = previous;
  while ((lib = vfpFindNextLib(p, lib, pattern, &st)) != 0) {
    vfpLibEntry e;
    if (vfpGetLibEntry(p, lib, &e) == vfpOK && e.status == vfpOK)
      break;
  }
  if (status != nullptr)
    *status = p == 0 ? vfpNO_PROJECT : st;
  return lib;
}

} // namespace

int vqpLibraryExists(const char *alias) {
  return namesLibrary(alias) && nextDir(0, alias, nullptr) != 0 ? 1 : 0;
}

LibraryDirId vqpPathGetDir(const char *path) {
  if (path == nullptr || *path == '\0')
    return 0;
  for (LibraryDirId d = nextDir(0, "", nullptr); d != 0; d = nextDir(d, "", nullptr))
    if (std::strcmp(vfpObjGetPath(d), path) == 0)
      return d;
  return 0;
}

int vqpDirIDGetInfo(LibraryDirId dir, char *path, char *alias, char *type) {
  if (!isDir(dir))
    return 0;
  return vfpGetLibInfo2(project(), dir, path, alias, type, nullptr) == vfpOK ? 1 : 0;
}

const char *vqpDirIDGetPath(LibraryDirId dir) {
  return keep(isDir(dir) ? vfpObjGetPath(dir) : "");
}

const char *vqpFileIDGetSpec(BlockFileId file) {
  return keep(isFile(file) ? vfpObjGetPath(file) : "");
}

const char *vqpFileIDGetPath(BlockFileId file) {
  return vqpDirIDGetPath(isFile(file) ? vfpObjGetDir(file) : 0);
}

LibraryDirId vqpFileIDGetDirID(BlockFileId file) {
  return isFile(file) ? vfpObjGetDir(file) : 0;
}

const char *vqpDirIDGetLibrary(LibraryDirId dir) {
  return keep(isDir(dir) ? vfpObjGetName(dir) : "");
}

const char *vqpFileIDGetLibrary(BlockFileId file) {
  return vqpDirIDGetLibrary(isFile(file) ? vfpObjGetDir(file) : 0);
}

const char *vqpGetPrimaryPath() {
  return vqpDirIDGetPath(vqPrimaryDirV);
}

const char *vqpGetPrimaryLib() {
  if (!isDir(vqPrimaryDirV))
    return keep("");
  const char *alias = vfpObjGetName(vqPrimaryDirV);
  return keep(*alias != '\0' ? alias : vfpObjGetPath(vqPrimaryDirV));
}

int vqpDirWritable(LibraryDirId dir) {
  char type[vfpTYPE_SIZE] = "";
  if (!vqpDirIDGetInfo(dir, nullptr, nullptr, type))
    return 0;
  for (const char *c = type; *c != '\0'; ++c)
    if (std::toupper(static_cast<unsigned char>(*c)) == 'W' ||
        std::toupper(static_cast<unsigned char>(*c)) == 'P')
      return 1;
  return 0;
}

LibraryDirId vqpLibraryFirstWritable(const char *alias) {
  if (!namesLibrary(alias))
    return 0;
  for (LibraryDirId d = nextDir(0, alias, nullptr); d != 0; d = nextDir(d, alias, nullptr))
    if (vqpDirWritable(d))
      return d;
  return 0;
}

LibraryDirId vqpLibraryNextDir(LibraryDirId previous, const char *alias, int *status) {
  if (!namesLibrary(alias)) {
    if (status != nullptr)
      *status = vfpLIB_NAME;
    return 0;
  }
  return nextDir(previous, alias, status);
}

LibraryDirId vqpDirNextLibDir(LibraryDirId dir, int *status) {
  char alias[vfpALIAS_SIZE] = "";
  if (isDir(dir))
    std::snprintf(alias, sizeof alias, "%s", vfpObjGetName(dir));
  if (*alias == '\0') {
    if (status != nullptr)
      *status = vfpLIB_NAME;
    return 0;
  }
  return vqpLibraryNextDir(dir, alias, status);
}

LibraryDirId vqpDirNextDir(LibraryDirId previous, int *status) {
  return nextDir(previous, "", status);
}

int vqpLibraryLoop(vqpLibraryProc proc, void *user) {
  if (proc == nullptr)
    return 0;
  for (LibraryDirId d = nextDir(0, "", nullptr); d != 0; d = nextDir(d, "", nullptr)) {
    char alias[vfpALIAS_SIZE];
    std::snprintf(alias, sizeof alias, "%s", vfpObjGetName(d));
    if (!namesLibrary(alias) || nextDir(0, alias, nullptr) != d)
      continue;
    if (const int r = proc(alias, user); r != 0)
      return r;
  }
  return 0;
}
