// companion.cpp: what the companion commands of retag share: their start,
// their fatal exit, their arguments and the visit of a library's symbols.
#include "companion.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gpi.h"
#include "retag.h"
#include "retagInternal.h"
#include "ulCvt.h"
#include "ulStr.h"
#include "vs.h"

void vaAMStartCommand(const char *program, const char *title) {
  vsSetexedir(program);
  if (title != nullptr)
    ulBanner(title, "1.8.8");
  if (gpi_init() == 0) {
    vaAMSetError("Unable to initialize GPI");
    vaAMCompanionFatal(program);
  }
  ProjectID = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
}

void vaAMCompanionFatal(const char *program) {
  const char *slash = std::strrchr(program, '/');
  std::string message = vaAMErrorBufferV;
  while (!message.empty() && message.back() == '\n')
    message.pop_back();
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", slash != nullptr ? slash + 1 : program, message.c_str());
  std::exit(3);
}

int vaAMParseCompanionArgs(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    ulStrLoc(argv[i]);
  if (argc <= 1)
    return 1;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "-help", 5) == 0)
      return 1;
  return 0;
}

namespace {

int visitFile(char *path, void *user) {
  char device[vsMAXPATH], directory[vsMAXPATH], name[vsMAXPATH], extension[vsMAXPATH];
  // A sheet number too large for an int names no block: passed over.
  int sheet = 0;
  if (vsParse(path, device, directory, name, extension) != vsOK ||
      !vaam::numberValue(extension, &sheet))
    return vsLOOP;
  (*static_cast<const vaAMSymbolFileProc *>(user))(path, name, sheet);
  return vsLOOP;
}

} // namespace

int vaAMForEachSymbolFile(const char *libraryPath, const char *pattern,
                          const vaAMSymbolFileProc &visit) {
  const std::string files = std::string(libraryPath) + "/sym/" + pattern + ".*";
  return vsLoop2(files.c_str(), vsFILE, visitFile,
                 const_cast<vaAMSymbolFileProc *>(&visit)); // read back as const
}
