// qInitProj.cpp: the project the editor works in: opening the project
// database with the editor's view, the block-file class ids, and the primary
// library directory.
#include <cstdio>
#include <string>

#include "qInit.h"
#include "qlm.h"
#include "ulErr.h"
#include "ulEx.h"
#include "ulStr.h"
#include "vfpFile.h"
#include "vs.h"

int vfpClassSCH_PAGE = 0;
int vfpClassSCH_PAGE_BAC = 0;
int vfpClassSCH_PAGE_SAV = 0;
int vfpClassSYMBOL = 0;
int vfpClassSYMBOL_BAC = 0;
int vfpClassSYMBOL_SAV = 0;
int vfpClassWIRELIST = 0;
int vfpClassPIN = 0;
int vfpClassOAT = 0;
int vfpClassDATADES = 0;

LibraryDirId vqPrimaryDirV = 0;

namespace {

// The facility number of the editor in the project database.
constexpr int kFacility = 4;
// The editor's view of a project; its library list comes from "scribant.ini".
constexpr const char *kView = "Scribant";

struct ClassSlot {
  const char *name;
  int *id;
};

// The block-file classes, in the order the file access layer keeps them.
const ClassSlot kClasses[] = {
    {"SCH_PAGE", &vfpClassSCH_PAGE},
    {"SCH_PAGE_BAC", &vfpClassSCH_PAGE_BAC},
    {"SCH_PAGE_SAV", &vfpClassSCH_PAGE_SAV},
    {"SYMBOL", &vfpClassSYMBOL},
    {"SYMBOL_BAC", &vfpClassSYMBOL_BAC},
    {"SYMBOL_SAV", &vfpClassSYMBOL_SAV},
    {"WIRELIST", &vfpClassWIRELIST},
    {"PIN", &vfpClassPIN},
    {"OAT", &vfpClassOAT},
    {"DATADES", &vfpClassDATADES},
};

[[noreturn]] void fail(const std::string &what, int status) {
  std::string text = what + ": " + vfpStatusText(status);
  ulExThrow2(ulEX_POSTCOND, "scrib", ulErrERROR, text.c_str());
}

// The first usable directory of the list whose type letters are "p" or "pw".
void findPrimary(vfpObjId project) {
  vqPrimaryDirV = 0;
  int status = 0;
  for (LibraryDirId lib = vfpFindNextLib(project, 0, "", &status); lib != 0;
       lib = vfpFindNextLib(project, lib, "", &status)) {
    char type[vfpTYPE_SIZE] = "";
    int stored = 0;
    if (vfpGetLibInfo2(project, lib, nullptr, nullptr, type, &stored) != vfpOK)
      return;
    if (stored == vfpOK && (ulStrIequ(type, "p") || ulStrIequ(type, "pw"))) {
      vqPrimaryDirV = lib;
      return;
    }
  }
}

} // namespace

int vqProjInit(int version) {
  char versionText[32];
  std::snprintf(versionText, sizeof versionText, "%.2f", version / 100.0);
  int status = vfpInit(kFacility, versionText);
  if (status != vfpOK && status != vfpALREADY_INIT)
    fail("Project database", status);

  char found[vsMAXPATH];
  // The first entry of that name along the search order is the project's
  // file: a directory there is reported, not passed over for a file found
  // later (the default one of the installation, which names no library).
  if (vsSrchdirs(vqInitFileNameV, vsANY, found) == vsOK && vsExists(found, vsDIR) == vsOK)
    ulExThrow2(ulEX_POSTCOND, "scrib", ulErrERROR,
               (std::string(found) + ": Is a directory").c_str());
  if (vsGetini(vqInitFileNameV, found) != vsOK)
    fail(vqInitFileNameV, vfpINI_NOT_FOUND);
  char directory[vsMAXPATH] = "";
  vsParse(found, nullptr, directory, nullptr, nullptr);

  vfpObjId project = vfpOpenProject(directory, nullptr, kView, vfpLOCKMODE_DEFAULT, &status);
  if (project == 0)
    fail(std::string("Project ") + directory, status);

  for (const ClassSlot &c : kClasses) {
    *c.id = vfpClassLookup(c.name);
    if (*c.id == 0)
      fail(std::string("Class ") + c.name, vfpINVALID_CLASS);
  }
  findPrimary(project);
  return 1;
}

int vqProjReinit() {
  vfpObjId project = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
  if (project == 0) {
    vqPrimaryDirV = 0;
    return 40; // Invalid current project
  }
  vfpCloseView(project);
  int status = 0;
  vfpOpenView(project, kView, vfpSchemaORVIK, &status);
  findPrimary(project);
  return status;
}

int vqProjBuiltinCheck() {
  if (!vqBuiltinAddedKludgeV)
    return 0;
  vqProjReinit();
  vqBuiltinAddedKludgeV = 0;
  return 1;
}

int vqProjExit() {
  int status = vfpExit();
  vqPrimaryDirV = 0;
  qd_clear_writable_dirs();
  for (const ClassSlot &c : kClasses)
    *c.id = 0;
  return status;
}
