// vfpStatus.cpp: the texts of the project database's status codes and its
// table of classes.
#include <strings.h>

#include "vfp.h"

namespace {

// Index = status. Codes without a meaning of their own have empty texts.
constexpr const char *statusTexts[] = {
    "Successful completion",                                // 0
    "Internal error",                                       // 1
    "Invalid parameter",                                    // 2
    "",                                                     // 3
    "Object does not exist",                                // 4
    "Object exists",                                        // 5
    "",                                                     // 6
    "Cannot access",                                        // 7
    "",                                                     // 8
    "",                                                     // 9
    "",                                                     // 10
    "",                                                     // 11
    "General Failure",                                      // 12
    "Object does not exist",                                // 13
    "Object already exists",                                // 14
    "File open error",                                      // 15
    "Object is not a primitive",                            // 16
    "Object is not locked",                                 // 17
    "Object is locked",                                     // 18
    "Error locking or unlocking object",                    // 19
    "Initialization error",                                 // 20
    "Object table full",                                    // 21
    "Object not open",                                      // 22
    "Error deleting object",                                // 23
    "Invalid file access mode",                             // 24
    "Directory search path error",                          // 25
    "",                                                     // 26
    "Duplicate directory path",                             // 27
    "Seek error in mega file",                              // 28
    "Directory path format error",                          // 29
    "Directory path default error",                         // 30
    "Duplicate primary directory",                          // 31
    "Directory type error",                                 // 32
    "Object is not a composite",                            // 33
    "Cannot copy object",                                   // 34
    "Try to copy/move to the same object",                  // 35
    "Error in destination path",                            // 36
    "Error in library name",                                // 37
    "Create error",                                         // 38
    "Invalid source object",                                // 39
    "Invalid current project",                              // 40
    "Invalid project id",                                   // 41
    "Invalid object reference",                             // 42
    "Object reference too large",                           // 43
    "NULL object reference",                                // 44
    "Bad object name",                                      // 45
    "Bad object version",                                   // 46
    "Bad object modifier",                                  // 47
    "Unmatched parentheses",                                // 48
    "Invalid class",                                        // 49
    "Undefined schema",                                     // 50
    "Memory allocation error",                              // 51
    "Destination is open",                                  // 52
    "Object already open",                                  // 53
    "Attempt to modify system object",                      // 54
    "User data pointer in use",                             // 55
    "Parent object not open.",                              // 56
    "No primary library open.",                             // 57
    "One or more libraries were not opened due to errors.", // 58
    "",                                                     // 59
    "Test area preparation error",                          // 60
    "Test area check error",                                // 61
    "",                                                     // 62
    "Invalid library id",                                   // 63
    "Empty project list",                                   // 64
    "Insufficient disk space",                              // 65
    "Invalid view",                                         // 66
    "Error in meta data",                                   // 67
    "Non-unique object name",                               // 68
    "Non-unique object path",                               // 69
    "Plenum already initialized",                           // 70
    "Ini file not found",                                   // 71
    "Invalid storage manager",                              // 72
    "Invalid version number",                               // 73
    "Invalid object id",                                    // 74
    "Lock file in OPEN state",                              // 75
    "Invalid database",                                     // 76
    ".cfg file not found",                                  // 77
    "Save not required",                                    // 78
    "Invalid search path id",                               // 79
    "Object name too long",                                 // 80
    "Object extension too long",                            // 81
    "List name error.",                                     // 82
    "List version error.",                                  // 83
    "Storage manager error.",                               // 84
    "Object is already locked by this object.",             // 85
};
constexpr int statusCount = sizeof statusTexts / sizeof statusTexts[0];
static_assert(statusCount == 86);

// Index + 1 = class id.
constexpr const char *classNames[] = {
    "DATABASE", "PROJECT",    "VIEW",       "LIBRARY",  "SCH_PAGE", "SCH_PAGE_BAC", "SCH_PAGE_SAV",
    "SYMBOL",   "SYMBOL_BAC", "SYMBOL_SAV", "WIRELIST", "PIN",      "OAT",          "DATADES",
};
constexpr int classCount = sizeof classNames / sizeof classNames[0];
static_assert(vfpClassDATABASE == 1 && vfpClassPROJECT == 2 && vfpClassVIEW == 3 &&
              vfpClassLIBRARY == 4);

} // namespace

const char *vfpStatusText(int status) {
  return status >= 0 && status < statusCount ? statusTexts[status] : "";
}

int vfpClassLookup(const char *name) {
  if (name == nullptr)
    return 0;
  for (int i = 0; i < classCount; ++i)
    if (strcasecmp(name, classNames[i]) == 0)
      return i + 1;
  return 0;
}

const char *vfpClassName(int cls) {
  return cls >= 1 && cls <= classCount ? classNames[cls - 1] : nullptr;
}
