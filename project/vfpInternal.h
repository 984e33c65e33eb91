// vfpInternal.h: what the files of the project database share inside.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "vfp.h"
#include "vfpFile.h"

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

// This process's id, asked of the system once per process (and again in a
// forked child).
pid_t vfpiOwnPid();

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

// ---- Saves and temporary files (vfpSave.cpp) ------------------------------------------

// The directory part of path ("." without one, "/" for the root).
std::string vfpiDirectoryOf(const std::string &path);

// The file a write to path replaces: path itself, or the final target of the
// symbolic links it passes through (which need not exist yet). *found tells
// whether it exists; then *st describes it (vfpFile.cpp).
std::string vfpiTargetOf(const std::string &path, struct stat *st, bool *found);

// Creates the file name new and exclusively (never through a name or link
// already there), for writing, with the permission bits mode and, where the
// system allows, the group (-1: the process's own), and checks that it is a
// regular file of this user. With removeLeftover a name already there is
// removed first (its holder's lock makes it a leftover of a writer that
// died). The descriptor, or -1 (errno set; nothing is left).
int vfpiCreateExclusive(const std::string &name, mode_t mode, gid_t group, bool removeLeftover);

// Copies the file open at in (from its start; its offset is left alone),
// described by src, into the new file open at out, and gives the copy the
// source's times. false on any failure.
bool vfpiCopyInto(int in, int out, const struct stat &src);

// A save of the file at spec: content replaces it, and backup ("" for
// none) gets its old content. releaseLock: spec's lock was taken for this
// save and goes when it ends.
struct vfpiSaveRequest {
  std::string spec;
  std::string backup;
  const char *content;
  size_t length;
  bool releaseLock;
  int readFd = -1;      // the object's file open for reading, or -1; then
  struct stat readStat; // what it is (the file compared when it is the target)
};

// Saves (see vfpObjSave). 0 or the failure (7: nothing was written, the
// lock stays).
[[nodiscard]] int vfpiSave(const vfpiSaveRequest &request, vfpSaveResult *result);

// Commits every staged save.
void vfpiCommitAll();

// What vfpExit does for saves: commits every staged save, turns grouping
// off and forgets unreported results and the directories already cleared,
// so that the database starts afresh the next time.
void vfpiExitSaves();

// True if a staged save replaces the file at spec (or a link to it).
bool vfpiSavePending(const std::string &spec);

// When a staged save of the file at spec waits for its commit, its lock is
// released by the commit instead of now: true. false when none does.
bool vfpiReleaseDeferred(const std::string &spec);

// Clears the leftovers of saves that died in directory dir (temporary files
// of new content, backups not yet renamed), once per process, each under its
// file's lock (className names the files' class in a lock it takes).
void vfpiSweepSaves(const std::string &dir, const char *className);

// The open object of the file at spec (if any) takes the file's current
// state as its own, so that its save is no modification (vfpObjIsModified).
void vfpiNoteSaved(const std::string &spec);
