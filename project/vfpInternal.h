// vfpInternal.h: what the files of the project database share inside.
#pragma once

#include <string>

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

// Temporary files of a write or a lock end in vfpiTempSuffix; one of a name
// of its own has "." and vfpiTempRandom random characters before it.
inline constexpr const char *vfpiTempSuffix = ".tmp";
inline constexpr size_t vfpiTempRandom = 6;

// ---- Objects, for the file objects of vfpFile.cpp ---------------------------------

// 1 while the database is initialised.
bool vfpiInitialised();

// The facility id and version vfpInit was given.
int vfpiFacility();
const char *vfpiFacilityVersion();

// A new live object of class cls under parent with the given name and path
// (what vfpObjGetName and vfpObjGetPath give). Its id is never reused.
vfpObjId vfpiNewObject(int cls, vfpObjId parent, const char *name, const char *path);

// Frees a live object: its id becomes invalid.
void vfpiFreeObject(vfpObjId obj);

// What vfpExit does first (vfpFile.cpp): closes every file object,
// discarding writes in progress, and releases every lock of this process.
void vfpiExitFiles();

// ---- Locks, for the opens of vfpFile.cpp (vfpLock.cpp) ------------------------------

// The lock file path of the file at spec: its directory, "/lock/", its name.
std::string vfpiLockPathOf(const std::string &spec);

// Takes the lock of the file at spec for an object of class className, or
// confirms it when this process holds it already (its tests unchanged).
// Without lock files (lock mode) the lock is only remembered. 0, 18, 12, 7.
int vfpiAcquireLock(const char *spec, const char *className, int tests);

// 18 when the lock mode makes lock files and the file at spec has a lock that
// this process does not pass and that is not orphaned; else 0.
int vfpiForeignLock(const char *spec);

// Releases the lock of the file at spec if this process holds it.
void vfpiReleaseLock(const char *spec);

// 1 if this process holds the lock of the file at spec.
bool vfpiHoldsLock(const char *spec);
