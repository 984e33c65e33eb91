// vqp.h: library directories, block file access and block locks.
//
// The editor database never opens a block file by path. It names a block by
// its kind, its library alias, its block name and its version (the sheet
// number of a schematic, the version of a symbol), and this layer maps that
// onto a file object of the project database (vfpFile.h): it builds the
// object's reference, opens, probes, copies, backs up, deletes and locks the
// object, and walks the project's library directories. Kinds and the classes
// that stand for them, in the order a lookup by class scans them:
//
//   kind          class           file in library directory D
//   0             SCH_PAGE        D/sch/NAME.N
//   0, backup     SCH_PAGE_BAC    D/sch/NAME.N.bac
//   0, save       SCH_PAGE_SAV    D/sch/NAME.N.sav
//   1             SYMBOL          D/sym/NAME.N
//   1, backup     SYMBOL_BAC      D/sym/NAME.N.bac
//   1, save       SYMBOL_SAV      D/sym/NAME.N.sav
//   3             WIRELIST        D/wir/NAME.N
//   4             PIN             D/sym/NAME.pin
//   5             OAT             D/NAME.oat
//   -2            DATADES         D/NAME.N
//
// The version text is the number in decimal for kinds 0, 1, 3 (and -2),
// "pin" for kind 4, "oat" for kind 5. A backup lies beside its block file
// and a newer backup replaces an older one.
//
// Calling sequence of a save (the block writer's):
//   vqpFileLock(kind, alias, name, version);          // or confirm our lock
//   vqpFileSave(file, kind, 1, body, length, &written); // backup and new content
//   vqpFileUnlock(kind, alias, name, version);        // after the commit
// The block file holds its old or its complete new content at every moment,
// and its backup is replaced only once the new content is in place (see
// vfpObjSave for equal content, grouped commits and leftovers).
//
// Open modes (the mode argument of the opens, vqpFileReopen, vqpFileSuspend):
//   vqpFILE_ID 0      the object only, no file opened; the file need not exist
//   vqpFILE_READ 1    read the file (status 13 when it does not exist)
//   vqpFILE_WRITE 2   write a new content into a temporary file, committed by
//                     the next physical close; takes the lock first
//   vqpFILE_LOCK      a flag to add to 1: take the block's lock at the open
//                     (an open "for editing"; 18 when another process holds
//                     it; an orphaned lock of this host is taken over)
// Open statuses (the out argument, project database statuses): 0 opened; 53
// the object is already open (its id is returned); 13 no such file (read);
// 18 locked by another process; 7 a write into a directory that is not
// writable, or the temporary file cannot be created; 37 no such library;
// 2 a bad argument; 43/49 a reference that cannot be built (over 255
// characters, a kind outside 0, 1, 3, 4, 5: the project database is not
// called then).
//
// Results: unless said otherwise an operation returns 1 for success and 0
// for failure; the opens return the file id (0 on failure). The operations
// that return a path, spec or alias return a buffer of this layer that stays
// valid until the next call of any of them (paths up to 255 characters,
// aliases up to 32); copy what you keep.
//
// Locks: see vfpFile.h for the lock file, its content and the takeover of
// orphans. vqpFileLock takes a lock with all five ownership tests; a lock of
// this process is released by vqpFileUnlock or at the end of the run
// (vfpExit), never by closing a file.
//
// Nothing is printed; nothing is thrown. Single-threaded, like the database.
#pragma once

#include <cstdio>

#include "vfp.h"

// A block file: a file object of the project database; 0 is none.
using BlockFileId = vfpObjId;

// ---- Kinds, modes, flags ----------------------------------------------------------

inline constexpr int vqpKIND_SCHEMATIC = 0;
inline constexpr int vqpKIND_SYMBOL = 1;
inline constexpr int vqpKIND_WIRELIST = 3;
inline constexpr int vqpKIND_PIN = 4;
inline constexpr int vqpKIND_OAT = 5;
inline constexpr int vqpKIND_DATADES = -2;

inline constexpr int vqpFILE_ID = 0;      // the object only
inline constexpr int vqpFILE_READ = 1;    // read the file
inline constexpr int vqpFILE_WRITE = 2;   // write a new content (temporary file)
inline constexpr int vqpFILE_LOCK = 0x10; // flag: take the lock at the open

// vqpFileBackupOpen / vqpFileBackupExists: which copy.
inline constexpr int vqpBACKUP = 0; // "bac"
inline constexpr int vqpSAVE = 1;   // "sav"

// Bytes of a buffer for a lock owner text (vqpFileReclaimOrphanLock).
inline constexpr int vqpOWNER_SIZE = 512;

// ---- Directory and library information --------------------------------------------

// 1 if the project has a library directory for the alias (ignoring case); 0
// for none, a null or an empty alias.
int vqpLibraryExists(const char *alias);

// The library directory whose path equals path exactly (all directories of
// all libraries in list order); 0 if none, or for a null or empty path.
LibraryDirId vqpPathGetDir(const char *path);

// The directory's path (vfpPATH_SIZE bytes, cut to 255), alias
// (vfpALIAS_SIZE, cut to 32) and type letters (vfpTYPE_SIZE, cut to 2); each
// out argument may be null. 1, or 0 for a bad directory.
int vqpDirIDGetInfo(LibraryDirId dir, char *path, char *alias, char *type);

// The directory's path; the file's own spec; the path of the file's library
// directory. Layer buffers; "" (never null) when the id is bad.
const char *vqpDirIDGetPath(LibraryDirId dir);
const char *vqpFileIDGetSpec(BlockFileId file);
const char *vqpFileIDGetPath(BlockFileId file);

// The file's library directory, 0 for a bad id.
LibraryDirId vqpFileIDGetDirID(BlockFileId file);

// The alias of the directory, or of the file's directory. Layer buffer; ""
// for none or a bad id.
const char *vqpDirIDGetLibrary(LibraryDirId dir);
const char *vqpFileIDGetLibrary(BlockFileId file);

// The path of the project's primary directory ("" without one); its alias,
// or its path when it has none. Layer buffers.
const char *vqpGetPrimaryPath();
const char *vqpGetPrimaryLib();

// 1 if the directory's type letters, upper-cased, hold "W" or "P".
int vqpDirWritable(LibraryDirId dir);

// The first directory of the library (list order) that is writable; 0 if
// none.
LibraryDirId vqpLibraryFirstWritable(const char *alias);

// The next directory of the library after previous (0: the first). 0 when
// there is none; *status (may be null) receives the project database's
// status (0, 12 when there is none).
LibraryDirId vqpLibraryNextDir(LibraryDirId previous, const char *alias, int *status);

// The next directory of the same library as dir; 0 if dir has no alias.
LibraryDirId vqpDirNextLibDir(LibraryDirId dir, int *status);

// The next directory of any library after previous (0: the first).
LibraryDirId vqpDirNextDir(LibraryDirId previous, int *status);

// Calls proc once per library of the project in directory-list order: a
// directory without alias is skipped, and a directory counts only when it is
// the first of its alias. A non-zero result of proc ends the loop and is
// returned; otherwise 0.
using vqpLibraryProc = int (*)(const char *alias, void *user);
int vqpLibraryLoop(vqpLibraryProc proc, void *user);

// ---- Opening block files ----------------------------------------------------------

// Opens the block of kind named alias:name with version in mode (see the
// essay). Returns the file id, 0 on failure; *status (may be null) receives
// the project database's status.
BlockFileId vqpFileOpen(int kind, const char *alias, const char *name, int version, int mode,
                        int *status);

// The same for the block in library directory dir.
BlockFileId vqpFileOpenD(int kind, LibraryDirId dir, const char *name, int version, int mode,
                         int *status);

// The same with the version given as text.
BlockFileId vqpFileOpenDx(int kind, LibraryDirId dir, const char *name, const char *version,
                          int mode, int *status);

// Opens by a reference the caller built (vfpBuildObjRef).
BlockFileId vqpFileOpenR(const char *reference, int mode, int *status);

// The object id of the block, opened in mode 0 (no file opened; the file
// need not exist). 0 on failure.
BlockFileId vqpFileGetID(int kind, const char *alias, const char *name, int version);

// Opens, in the library directory of file, the backup (which vqpBACKUP) or
// save copy (vqpSAVE) of kind 0 or 1 named name and version. 0 for any other
// which or kind (status 2).
BlockFileId vqpFileBackupOpen(BlockFileId file, int kind, int which, const char *name, int version,
                              int mode, int *status);

// Opens, in the library directory of file, the companion object of kind 0,
// 1, 3, 4 or 5 named name and version. 0 for other kinds (status 2).
BlockFileId vqpFileAuxOpen(BlockFileId file, int kind, const char *name, int version, int mode,
                           int *status);

// ---- Probes -----------------------------------------------------------------------

// 1 if the block's file exists (in any directory of the alias), else 0.
int vqpFileExists(int kind, const char *alias, const char *name, int version);

// The same for a reference.
int vqpFileExistsR(const char *reference);

// Opens the block in directory dir in mode 1 as a probe; 1 if that succeeds.
// The probe is closed again (close flags 4096) unless the object was already
// open (status 53), which stays open.
int vqpFileExistsD(int kind, LibraryDirId dir, const char *name, int version);

// The same probe for the backup/save copy and for the companion object, in
// the directory of file.
int vqpFileBackupExists(BlockFileId file, int kind, int which, const char *name, int version);
int vqpFileAuxExists(BlockFileId file, int kind, const char *name, int version);

// ---- The file of an open block ----------------------------------------------------

// The stdio stream of a physically open file: the block file in mode 1, the
// temporary file in mode 2. Null when the file is not physically open. The
// stream belongs to the file object: never close it.
FILE *vqpFileStream(BlockFileId file);

// Closes the file object (its id becomes invalid): with flag set the close
// flags are 0x82000 (a write in progress is discarded), otherwise 0x81000
// (a write in progress is committed and synced). A lock is not released. 1,
// or 0 for a bad id or a failed commit.
int vqpFileClose(BlockFileId file, int flag);

// Closes the physical file (a write in progress is committed and synced to
// disk) and opens it again in mode (1 read, 2 write; a write takes or
// confirms the lock first). 1 if the second step succeeds; 0 for a null
// file, a failed commit (the block file keeps its old content) or a failed
// open.
int vqpFileReopen(BlockFileId file, int mode);

// Closes the physical file, committing and syncing a write in progress, and
// opens it again in mode (vqpFILE_ID: the object stays open without a
// file). 1 if the reopen succeeded; 0 for a null file, a failed commit (the
// block file keeps its old content) or a failed reopen.
int vqpFileSuspend(BlockFileId file, int mode);

// Deletes: during a write only the temporary file is removed (the block
// file keeps its old content, the object stays open without a file);
// otherwise the block file is removed and the object closed. 1 on success.
int vqpFileDelete(BlockFileId file);

// Saves length bytes at content as the new content of the block file, with
// a backup of the old content (backup non-zero, kinds 0 and 1 only) that
// replaces the older backup once the new content is in place (vfpObjSave).
// Content equal to the file's writes nothing. 1 on success (committed, or
// staged in a group: vfpCommitSaves reports its end); 0 when nothing was
// written (the block file and its backup as they were). *written (may be
// null) tells whether new content was written.
int vqpFileSave(BlockFileId file, int kind, int backup, const char *content, size_t length,
                int *written);

// Makes the backup before a block file is written again: only kinds 0 and
// 1 (else 0). The file is closed physically and reopened for reading; when
// there is no file, or it cannot be read, there is nothing to back up (1).
// Otherwise the file is copied beside itself as the backup (class
// SCH_PAGE_BAC or SYMBOL_BAC, same name and version), replacing an older
// backup; 1 if the copy succeeded, else 0 (the block file untouched, the
// old backup too). The file stays open for reading.
int vqpFileCreateBackup(BlockFileId file, int kind);

// Copies the file into library directory dest under its own class (looked up
// in the kind table; a class the table lacks copies with class 0, its own).
// option1 1 replaces an existing copy; option2 is ignored. 1 on success.
int vqpFileCopy(BlockFileId file, LibraryDirId dest, int option1, int option2);

// The object loop over the files of kind's class in directory dir whose
// NAME.VERSION matches pattern: proc gets each name and version text. A
// non-zero result of proc ends the loop and is returned; otherwise 0.
using vqpFileLoopProc = int (*)(const char *name, const char *version, void *user);
int vqpFileLoopD(int kind, LibraryDirId dir, const char *pattern, vqpFileLoopProc proc, void *user);

// 1 if the physical file changed since it was opened, else 0.
int vqpIsFileModified(BlockFileId file);

// ---- Locks ------------------------------------------------------------------------

// Takes the block's lock with all five ownership tests ("ALL"). 1 when this
// process holds it afterwards (also when it already did); 0 when another
// process holds it or it cannot be made.
int vqpFileLock(int kind, const char *alias, const char *name, int version);

// Releases the block's lock: 1 when its lock file was removed; 0 when there
// was none (nothing to remove), when it cannot be removed, or when it
// belongs to another process, also a live one of the same user (two runs of
// one user stay apart).
int vqpFileUnlock(int kind, const char *alias, const char *name, int version);

// Looks at the block's lock. When it is orphaned (its process on this host
// is gone, or it could not be read after every retry) or belongs to this
// process and user (state OPEN), it is released and the block opened in
// mode; the file id is returned. Otherwise 0, and the lock's owner text goes
// into owner (vqpOWNER_SIZE bytes, may be null). A live lock of another
// process, and any lock of another host, is never released. ignored is not
// used.
BlockFileId vqpFileReclaimOrphanLock(int kind, const char *alias, const char *name, int version,
                                     int mode, int ignored, char *owner);

// The same for the block in library directory dir (its alias is used).
BlockFileId vqpFileReclaimOrphanLockD(int kind, LibraryDirId dir, const char *name, int version,
                                      int mode, int ignored, char *owner);

// 1 when the lock mode makes lock files (modes 1 and 3) and the file has a
// lock file; else 0.
int vqpIsFileLocked(BlockFileId file);

// 1 when this process holds the file's lock, or the lock passes the
// ownership tests for this process; else 0.
int vqpIsMyLock(BlockFileId file);

// The lock owner's login name, as "login (full name)" when the user database
// gives a full name; "Unknown" when there is no lock or no such user. Layer
// buffer.
const char *vqpGetLockOwner(BlockFileId file);

// The lock's host name, or "Unknown". Layer buffer.
const char *vqpGetLockHost(BlockFileId file);

// The lock's process id, or -1.
int vqpGetLockPID(BlockFileId file);

// The lock's creation time as text ("Mon D YYYY H:M:S"), or "". Layer
// buffer.
const char *vqpGetLockDate(BlockFileId file);
