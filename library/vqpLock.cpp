// vqpLock.cpp: the block layer's locks: taking and releasing the lock of a
// block named by kind, alias, name and version, reclaiming an orphaned
// lock, and the queries about the lock of an open block file.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vfpFile.h"
#include "vqpInternal.h"

namespace {

// The layer's result buffer for lock texts.
char lockTextV[vqpOWNER_SIZE + 128];

// The lock of an open block file: 0 when a lock file was read (info holds
// it), else the status (17 no lock, 12 orphaned or unreadable, 18 unreadable
// and no longer waited for).
int lockOf(BlockFileId file, LockInfo *info) {
  return vfpGetObjLockInfo(file, info);
}

// True if a lock read by the database may be released by this process and
// user for a reclaim: orphaned, or in state OPEN and this very process's.
bool reclaimable(int status, const LockInfo &lock) {
  LockInfo own;
  vfpGetOwnLockInfo(&own);
  if (status == vfpGENERAL_FAILURE)
    return true; // orphaned: a dead process of this host, or unreadable
  return status == vfpOK && lock.state == vfpLOCK_OPEN && std::strcmp(lock.owner, own.owner) == 0 &&
         lock.pid == own.pid && std::strcmp(lock.host, own.host) == 0;
}

BlockFileId reclaim(const char *reference, int mode, char *owner) {
  if (owner != nullptr)
    *owner = '\0';
  LockInfo lock;
  const int st = vfpGetObjectLockInfo(reference, &lock);
  if (st == vfpNOT_LOCKED || reclaimable(st, lock)) {
    // Taking the lock takes an orphan over safely against other processes
    // doing the same; releasing it then leaves the block unlocked.
    if (st != vfpNOT_LOCKED &&
        (vfpLockObject(reference, vfpLOCKTEST_ALL) != vfpOK || vfpUnlockObject(reference) != vfpOK))
      return 0;
    int status = 0;
    return vfpOpenObject(reference, mode, &status);
  }
  if (owner != nullptr)
    std::snprintf(owner, vqpOWNER_SIZE, "%s", lock.owner);
  return 0;
}

} // namespace

int vqpFileLock(int kind, const char *alias, const char *name, int version) {
  char ref[vfpREF_SIZE];
  return vqpiBuildRef(ref, kind, alias, name, version) == vfpOK &&
                 vfpLockObject(ref, vfpLOCKTEST_ALL) == vfpOK
             ? 1
             : 0;
}

int vqpFileUnlock(int kind, const char *alias, const char *name, int version) {
  char ref[vfpREF_SIZE];
  if (vqpiBuildRef(ref, kind, alias, name, version) != vfpOK)
    return 0;
  return vfpUnlockObject(ref) == vfpOK ? 1 : 0;
}

BlockFileId vqpFileReclaimOrphanLock(int kind, const char *alias, const char *name, int version,
                                     int mode, int ignored, char *owner) {
  (void)ignored;
  char ref[vfpREF_SIZE];
  if (vqpiBuildRef(ref, kind, alias, name, version) != vfpOK) {
    if (owner != nullptr)
      *owner = '\0';
    return 0;
  }
  return reclaim(ref, mode, owner);
}

BlockFileId vqpFileReclaimOrphanLockD(int kind, LibraryDirId dir, const char *name, int version,
                                      int mode, int ignored, char *owner) {
  char alias[vfpALIAS_SIZE] = "";
  vqpDirIDGetInfo(dir, nullptr, alias, nullptr);
  return vqpFileReclaimOrphanLock(kind, alias, name, version, mode, ignored, owner);
}

int vqpIsFileLocked(BlockFileId file) {
  const int mode = vfpGetLockMode();
  if (mode != 1 && mode != 3)
    return 0;
  char path[vfpPATH_SIZE];
  struct stat st;
  return vfpObjLockPath(file, path) == vfpOK && lstat(path, &st) == 0 ? 1 : 0;
}

int vqpIsMyLock(BlockFileId file) {
  return vfpObjHoldsLock(file) != 0 || vfpObjIsMyLock(file) == vfpOK ? 1 : 0;
}

const char *vqpGetLockOwner(BlockFileId file) {
  LockInfo lock;
  const int st = lockOf(file, &lock);
  char *end = nullptr;
  const long uid = std::strtol(lock.owner, &end, 10);
  const passwd *pw = nullptr;
  if ((st == vfpOK || st == vfpGENERAL_FAILURE) && end != lock.owner && *end == '\0')
    pw = getpwuid(static_cast<uid_t>(uid));
  if (pw == nullptr) {
    std::snprintf(lockTextV, sizeof lockTextV, "Unknown");
    return lockTextV;
  }
  // The full name is the first field of the comment (the rest: office,
  // telephones).
  const char *gecos = pw->pw_gecos == nullptr ? "" : pw->pw_gecos;
  const int full = static_cast<int>(std::strcspn(gecos, ","));
  if (full > 0)
    std::snprintf(lockTextV, sizeof lockTextV, "%s (%.*s)", pw->pw_name, full, gecos);
  else
    std::snprintf(lockTextV, sizeof lockTextV, "%s", pw->pw_name);
  return lockTextV;
}

const char *vqpGetLockHost(BlockFileId file) {
  LockInfo lock;
  const int st = lockOf(file, &lock);
  const bool known = (st == vfpOK || st == vfpGENERAL_FAILURE) && lock.host[0] != '\0';
  std::snprintf(lockTextV, sizeof lockTextV, "%s", known ? lock.host : "Unknown");
  return lockTextV;
}

int vqpGetLockPID(BlockFileId file) {
  LockInfo lock;
  const int st = lockOf(file, &lock);
  return st == vfpOK || st == vfpGENERAL_FAILURE ? lock.pid : -1;
}

const char *vqpGetLockDate(BlockFileId file) {
  LockInfo lock;
  const int st = lockOf(file, &lock);
  lockTextV[0] = '\0';
  if ((st == vfpOK || st == vfpGENERAL_FAILURE) && lock.pid != -1)
    vfpLockDateText(lock.created, lockTextV);
  return lockTextV;
}
