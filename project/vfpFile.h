// vfpFile.h: the project database's file objects (block files, their backup
// and save copies, companion files) and their locks.
//
// A file object is one file of a library directory, named by its class, its
// directory, its name and its version text. The class fixes the
// subdirectory of the library directory and the file name:
//
//   class          subdirectory  file name          lock tests
//   SCH_PAGE       sch           NAME.VERSION        DEFAULT
//   SCH_PAGE_BAC   sch           NAME.VERSION.bac    DEFAULT
//   SCH_PAGE_SAV   sch           NAME.VERSION.sav    DEFAULT
//   SYMBOL         sym           NAME.VERSION        DEFAULT
//   SYMBOL_BAC     sym           NAME.VERSION.bac    DEFAULT
//   SYMBOL_SAV     sym           NAME.VERSION.sav    DEFAULT
//   WIRELIST       wir           NAME.VERSION        DEFAULT
//   PIN            sym           NAME.VERSION        DEFAULT  (version "pin")
//   OAT            (none)        NAME.VERSION        DEFAULT  (version "oat")
//   DATADES        (none)        NAME.VERSION        DEFAULT
//
// So the backup of symbol and2 version 1 of library directory D is
// D/sym/and2.1.bac, beside D/sym/and2.1. Backup and save names end in a
// word, never in a number, so that a visit of a library's block files (whose
// extension is the version number) passes them over; a block name holds no
// "." (block names are checked before they get here), so these names cannot
// be taken for blocks of another name either.
//
// References. An object is named from outside by a text of four pairs, each a
// class name, ":" and a value, joined by "/":
//   DATABASE:Orvik/PROJECT:<project>/LIBRARY:<alias>/<CLASS>:<name>@<version>
// at most 255 characters (vfpREF_SIZE with its terminator). The project is the
// current project's name. Resolving a reference walks the directories of the
// alias (ignoring case; refused directory lines are passed over; an alias
// with "*" or "?" names none) in list order: the first one holding the file
// names the object; when none holds it, the first writable directory of the
// alias (else its first directory) is where the object would be created.
// The empty alias stands for the project's primary directory.
//
// Objects and ids. Opening a file object gives an id of the same id space as
// every other object (vfpObjGetClass, vfpObjGetName: its name, vfpObjGetPath:
// the full spec of its file). One file has at most one open object: opening
// it again hands out the open object's id with status 53 and changes
// nothing. An id stays valid until the object is closed (vfpCloseObject) or
// deleted, or the database exits.
//
// Open modes (the low bits of mode; vfpOPEN_LOCK may be added):
//   0 vfpOPEN_ID     the object only; no file is opened and the file need
//                    not exist.
//   1 vfpOPEN_READ   the file is opened for reading; 13 if it does not exist.
//   2 vfpOPEN_WRITE  the file is opened for writing. The bytes go into a
//                    temporary file beside the file (or beside its target,
//                    when the file is a symbolic link); the file itself is
//                    not touched until the write is committed. The lock is
//                    taken first (as vfpOPEN_LOCK does); 7 in a directory
//                    that is not open for writing (vfpObjReadonly) or when
//                    the temporary file cannot be created. The file need
//                    not exist.
//   vfpOPEN_LOCK     also take the object's lock before anything else (when the
//                    lock mode makes lock files): 18 if another process holds
//                    it; a lock judged orphaned is taken over (status 0).
// The stream of a physically open object is vfpObjStream.
//
// Writes are crash-safe. A write is committed by the physical close that
// ends it (vfpObjReopen to another mode, or vfpCloseObject with
// vfpCLOSE_COMMIT): the stream is flushed and closed, every error checked,
// with vfpCLOSE_SYNC the temporary file is synced to disk, the temporary
// file gets the old file's permission bits and, where the system allows,
// its group, and it is renamed over the file (then, with vfpCLOSE_SYNC, the
// directory is synced). A write that is discarded (vfpCLOSE_DISCARD,
// vfpDeleteObject during a write, a failed commit) removes the temporary
// file only. So after a crash or a kill at any moment the file holds its old
// or its complete new content. The temporary file is the file's name
// followed by ".tmp" (and2.1.tmp), created exclusively: a name already there
// (a leftover, or a link planted by someone else) is never opened; the write
// then takes a name of its own, ".XXXXXX.tmp" with six random characters. A
// copy (vfpCopyObject) goes the same way. Block saves go through vfpObjSave
// (below), which also keeps the backup.
//
// Close flags (vfpCloseObject; the object is always freed):
//   0x01000 vfpCLOSE_COMMIT   commit a write in progress (also when neither
//                             this nor vfpCLOSE_DISCARD is given);
//   0x02000 vfpCLOSE_DISCARD  discard a write in progress;
//   0x80000 vfpCLOSE_SYNC     sync a committed write to disk (file and
//                             directory), so that it survives a power loss.
//
// Locks. A lock file D/lock/F protects the file D/F (the path as the object
// names it, not a link's target); its content and the rules for taking,
// testing, releasing and taking over a lock are fixed (see the lock
// operations below). A lock belongs to this process, not to an object:
// closing an object never releases it; vfpUnlockObject does, and vfpExit
// releases every lock this process still holds (so does the exit handler
// the first lock installs, for a process that ends without vfpExit). A lock
// file is written complete under a temporary name (F.XXXXXX.tmp in the lock
// directory) and linked to its name, which fails when the name exists: the
// exclusive create, and no reader ever meets a lock file half written. It
// is rewritten (tests changed, a takeover) by a rename over it. A lock of a
// dead process of this host is taken over under an advisory lock (flock) of
// the lock file, so that two processes that judge the same orphan never
// both take it.
//
// Lock mode: the open mode of the current project (vfpOpenProject), a set of
// bits:
//   1 vfpLOCKMODE_FILES    lock files are made, read and honoured; the lock
//                          queries (vqpIsFileLocked) apply. Without it every
//                          lock operation succeeds without touching the disk
//                          and no object counts as locked.
//   2 vfpLOCKMODE_ON_OPEN  an open for writing or with vfpOPEN_LOCK takes the
//                          lock; without it only vfpLockObject and vfpLockObj
//                          take locks (an open still fails on a foreign lock).
// The editor opens its projects with vfpLOCKMODE_DEFAULT (3).
//
// Lock tests (LockTest): which fields of a lock the opener must share to
// count as its owner: vfpLOCKTEST_USERID 1, _PID 2, _HOSTNAME 4, _FACID 8,
// _FACVER 16; 0 is "DEFAULT", 31 "ALL". The tests of a lock are its own when
// non-zero, else its class's (all DEFAULT here), else the database's
// default vfpLOCKTEST_DEFAULT_BITS (USERID + PID + HOSTNAME: one process of
// one user on one host).
//
// Errors: every operation returns a project database status (vfpStatusText):
// 0 success, 2 a bad argument, 7 cannot access or create, 12 general failure
// (an unreadable lock, a failed commit), 13 no such object, 14 a copy that
// exists, 15 a file that cannot be read, 17 not locked, 18 locked by
// another, 19 not the lock's owner, 20 not initialised, 22 not a file
// object, 23 a failed delete, 24 a bad mode, 34 a failed copy, 35 a copy
// onto itself, 37 a library the project lacks, 40 no current project, 42 a
// bad reference, 43 a reference or path too long, 44 a null reference, 45
// and 46 an empty name or version, 49 a bad class, 53 already open, 63 not
// a library directory, 74 a bad id, 75 a lock in OPEN state. Nothing is printed
// except the verbose traces of locking (vfpSetVerbose), on standard output.
//
// Single-threaded like the whole database; other processes are kept apart
// by the lock files only.
#pragma once

#include <cstdio>

#include "vfp.h"

// ---- File classes -----------------------------------------------------------------

// What a file class fixes.
struct vfpFileClass {
  const char *name;   // class name ("SYMBOL")
  const char *subdir; // subdirectory of the library directory, "" for none
  const char *suffix; // appended to NAME.VERSION: ".bac", ".sav" or ""
  int lockTests;      // the class's lock tests, 0 (DEFAULT) for all
};

// The class information of a file class id (5 to 14), null for any other id.
const vfpFileClass *vfpFileClassInfo(int cls);

// ---- References -------------------------------------------------------------------

// Bytes of a reference buffer: 255 characters and the terminator.
inline constexpr int vfpREF_SIZE = 256;

// Builds the reference of the object of file class cls named name@version in
// the library alias of the current project into ref (vfpREF_SIZE bytes).
// 0; 44 for a null argument; 49 for a class that is no file class; 40 when
// there is no current project; 43 when it would be longer than 255
// characters (ref is then empty).
[[nodiscard]] int vfpBuildObjRef(char *ref, int cls, const char *alias, const char *name,
                                 const char *version);

// ---- Opening, closing, the file ---------------------------------------------------

inline constexpr int vfpOPEN_ID = 0;       // the object only
inline constexpr int vfpOPEN_READ = 1;     // read the file
inline constexpr int vfpOPEN_WRITE = 2;    // write a new content
inline constexpr int vfpOPEN_ACCESS = 0xf; // the bits of mode that give the access
inline constexpr int vfpOPEN_LOCK = 0x10;  // take the lock as well

inline constexpr int vfpCLOSE_COMMIT = 0x01000;  // commit a write in progress
inline constexpr int vfpCLOSE_DISCARD = 0x02000; // discard a write in progress
inline constexpr int vfpCLOSE_SYNC = 0x80000;    // sync a committed write to disk

// Opens the object that reference names in mode (see the essay). *status
// (may be null) receives 0, 53 (the open object's id is returned), or the
// failure (result 0): 20, 44, 42, 43, 49, 40, 37, 45, 46, 24, 13, 15, 18,
// 7, 12 (a lock that could not be written).
vfpObjId vfpOpenObject(const char *reference, int mode, int *status);

// Opens the object of file class cls named name@version in library directory
// dir. As vfpOpenObject; 63 for an id that is no library directory, 45 for
// an empty name, 46 for an empty version, 43 when the path would be longer
// than 255 characters.
vfpObjId vfpOpenObjectIn(LibraryDirId dir, int cls, const char *name, const char *version, int mode,
                         int *status);

// Closes the object (flags above) and frees it: its id becomes invalid. 0;
// 74 for an id that names no file object; 12 when a commit failed (the file
// keeps its old content; the object is freed all the same).
int vfpCloseObject(vfpObjId obj, int flags);

// Closes the object's file (committing a write in progress, synced with
// vfpCLOSE_SYNC in flags, discarded with vfpCLOSE_DISCARD) and opens it again
// in mode (0 leaves the object without an open file). 0; 74; 12 when the
// commit failed (the file keeps its old content and the object stays open
// without a file); else the status of the new open as vfpOpenObject gives it
// (the object stays open without a file then).
int vfpObjReopen(vfpObjId obj, int mode, int flags);

// The stream of the object's open file: the file itself in mode 1, the
// temporary file in mode 2; null when no file is open or for a bad id. The
// stream belongs to the object: never close it.
FILE *vfpObjStream(vfpObjId obj);

// The access mode (0, 1, 2) the object's file is open in; -1 for a bad id.
int vfpObjMode(vfpObjId obj);

// Deletes. During a write: removes the temporary file only (the file keeps
// its old content) and leaves the object open without a file. Otherwise:
// removes the file and frees the object. 0; 74; 23 when the file could not
// be removed (the object is freed all the same); 13 when it did not exist.
int vfpDeleteObject(vfpObjId obj);

inline constexpr int vfpCOPY_REPLACE = 1;    // a copy replaces an existing one
inline constexpr int vfpCOPY_SYNC = 0x80000; // the copy is synced to disk
// Only the copy's content is synced before its rename: its name reaches the
// disk with the next sync of the directory (a save that follows the backup).
inline constexpr int vfpCOPY_SYNC_DATA = 0x100000;

// Copies the object's file into library directory dest as an object of
// class cls (0: the object's own class) with the same name and version,
// through a temporary file and a rename (so a copy is never seen half
// done), with the permission bits and times of the source. option (bits
// above): vfpCOPY_REPLACE replaces an existing copy, without it an existing
// copy gives 14; vfpCOPY_SYNC syncs the copy as vfpCLOSE_SYNC does a write,
// vfpCOPY_SYNC_DATA its content only. An object open for reading is copied
// from the file it has open.
// 0; 74; 63 for a bad destination; 7 for a destination not open for
// writing; 13 when the source file does not exist; 35 when source and copy
// are the same file; 34 when the copy failed (an existing copy is then
// untouched). The object's own state (open file, write in progress) is left
// alone; a write in progress is not part of the copy.
int vfpCopyObject(vfpObjId obj, LibraryDirId dest, int cls, int option);

// 0 if the file of the object named by the reference (or by directory,
// class, name and version) exists, else the status of the failure (13 when
// it does not exist). Nothing is opened.
int vfpObjExists(const char *reference);
int vfpObjExistsIn(LibraryDirId dir, int cls, const char *name, const char *version);

// The object loop: calls proc with the name and version text of each file
// of class cls in library directory dir whose NAME.VERSION matches pattern
// (a wildcard of "*" and "?", null or empty: all), in ascending name order.
// A file belongs to a class whose suffix it ends with; files of the classes
// without suffix must have a version that is a number of at most three
// digits (or the class's fixed version text: "pin", "oat"). Temporary files
// never belong to any class. A non-zero result of proc ends the loop and is
// returned; else 0 (or 63 for a bad directory, 49 for a bad class).
using vfpObjLoopProc = int (*)(const char *name, const char *version, void *user);
int vfpObjLoop(LibraryDirId dir, int cls, const char *pattern, vfpObjLoopProc proc, void *user);

// The library directory of a file object (0 for a bad id, or when the
// library list was read again and no longer holds the directory).
LibraryDirId vfpObjGetDir(vfpObjId obj);

// The version text of a file object, null for a bad id.
const char *vfpObjGetVersion(vfpObjId obj);

// 1 if the object's file changed (modification time or size) since the
// object last opened it, 0 if not or for a bad id.
int vfpObjIsModified(vfpObjId obj);

// ---- Saving -----------------------------------------------------------------------
//
// vfpObjSave replaces the content of a file object's file and keeps its old
// content as a backup, so that no sequence of saves and failures loses an
// original:
//   - new content equal to the file's, byte for byte, writes nothing (no
//     backup, no temporary file): a successful save;
//   - a save fails (7) wherever opening the file for writing in place would
//     (permission bits, ownership, an immutable file), although it writes
//     through temporary files;
//   - the backup replaces the older one only once the new content is in
//     place: a failed save leaves the file and its previous backup exactly
//     as they were. The backup is a hard link to the old file where the
//     system allows one (else a copy keeping its permission bits and times);
//   - after a kill or a power loss at any moment the file holds its old or
//     its new content, and a file whose new content is in place has its
//     backup (or the old content under the backup's temporary name, which
//     the next open in the directory makes the backup).
// The lock of the file is taken for the save when this process does not
// hold it, and released when the save ends; a lock the process held before
// stays (vfpUnlockObject releases it; while a save of the file waits for its
// group's commit, that release waits for the commit).
//
// Grouping (vfpSetSaveGrouping): a save is staged (its temporary files
// written) and committed later with the other saves of its group, by
// vfpCommitSaves, by a later save or open of the same file, or by vfpExit.
// A group costs two flushes of the file system however many saves it holds;
// without grouping every save costs its own syncs. Each staged save gets a
// ticket, and vfpCommitSaves reports every ticket's result.
//
// Leftovers: the first open of a file in a directory (per process) clears
// what saves that died left there, each under its file's lock: temporary
// files of new content are removed, and a backup's temporary file either
// becomes the backup (the file was replaced) or goes (it was not).

// The result of a save.
struct vfpSaveResult {
  int written; // 1 if new content was written; 0 if the file already held it
  long ticket; // a staged save's ticket (grouping on), else 0
};

// Saves length bytes at content as the content of obj's file, with the old
// content kept as the object of class backupCls beside it (same directory,
// name and version; 0: no backup). 0 on success (committed, or staged with
// a ticket); 7 when nothing could be written (the file, its backup and the
// lock as they were), 18 for a lock held by someone else, 12 for a commit
// that failed, 74 for a bad id.
[[nodiscard]] int vfpObjSave(vfpObjId obj, int backupCls, const char *content, size_t length,
                             vfpSaveResult *result);

// Turns grouping on or off (off commits what is staged).
void vfpSetSaveGrouping(int on);

// The number of staged saves.
int vfpSavesPending();

// The ticket of the last save if it was staged, else 0.
long vfpLastSaveTicket();

// Called with each committed save's ticket and status (0, or 12: the file
// and its backup as they were before the save, or, when only the last sync
// failed, the file with either content).
using vfpCommitProc = void (*)(long ticket, int status, void *user);

// Commits every staged save, then reports each result not yet reported
// (including those of commits a later save or open made) to proc (may be
// null). The number of failed saves.
int vfpCommitSaves(vfpCommitProc proc, void *user);

// ---- Locks ------------------------------------------------------------------------

// Lock states.
inline constexpr int vfpLOCK_OPEN = 0;     // the holder has the object open
inline constexpr int vfpLOCK_NOTOPEN = 1;  // held, object not open
inline constexpr int vfpLOCK_BYPID = 2;    // held by a process checked by its id
inline constexpr int vfpLOCK_ORPHANED = 4; // judged orphaned (never written)

// Lock tests.
inline constexpr int vfpLOCKTEST_DEFAULT = 0;
inline constexpr int vfpLOCKTEST_USERID = 1;
inline constexpr int vfpLOCKTEST_PID = 2;
inline constexpr int vfpLOCKTEST_HOSTNAME = 4;
inline constexpr int vfpLOCKTEST_FACID = 8;
inline constexpr int vfpLOCKTEST_FACVER = 16;
inline constexpr int vfpLOCKTEST_ALL = 31;
// The tests of a lock whose own and class tests are DEFAULT.
inline constexpr int vfpLOCKTEST_DEFAULT_BITS =
    vfpLOCKTEST_USERID | vfpLOCKTEST_PID | vfpLOCKTEST_HOSTNAME;

// Lock modes (bits of the current project's open mode).
inline constexpr int vfpLOCKMODE_FILES = 1;
inline constexpr int vfpLOCKMODE_ON_OPEN = 2;
inline constexpr int vfpLOCKMODE_DEFAULT = vfpLOCKMODE_FILES | vfpLOCKMODE_ON_OPEN;

// The version of lock files this database writes.
inline constexpr const char *vfpLOCK_VERSION = "5.2.0";

// Sizes of the text fields of a LockInfo (with the terminator).
inline constexpr int vfpLOCK_OWNER_SIZE = 512; // also the longest line read
inline constexpr int vfpLOCK_HOST_SIZE = 65;
inline constexpr int vfpLOCK_FACVER_SIZE = 13;
inline constexpr int vfpLOCK_NAME_SIZE = 64; // project-database version, class name

// The decoded content of a lock file.
struct LockInfo {
  int found;                         // 1 once the lock file was opened
  int state;                         // vfpLOCK_*
  char owner[vfpLOCK_OWNER_SIZE];    // the owner's user id in decimal
  long created;                      // creation time, vsInfo seconds
  int facId;                         // facility id of the holder
  char facVer[vfpLOCK_FACVER_SIZE];  // facility version of the holder
  char plVer[vfpLOCK_NAME_SIZE];     // project-database version of the file
  int pid;                           // process id; -1 when nothing could be had
  char host[vfpLOCK_HOST_SIZE];      // host name of the holder
  char className[vfpLOCK_NAME_SIZE]; // class of the locked object
  int tests;                         // LockTest bits
};

// The seconds the lock reader sleeps after each series of 100 failed
// attempts to read a lock file (25 series). 1 unless a program changes it.
extern int vfpLockRetryDelayV;

// Asked before each wait of those retries, when set (null by default): a
// non-zero answer ends the retries at once and the lock counts as held by
// someone else (a command that was interrupted sets it, so that a lock file
// that cannot be read does not hold it for 25 seconds).
extern int (*vfpLockWaitCancelV)();

// Verbose tracing of locking on standard output: on when non-zero. Returns
// the previous setting.
int vfpSetVerbose(int on);

// The lock mode (bits above) of the current project, 0 without one.
int vfpGetLockMode();

// Fills *info with the running process's identity: not found, state 1, own
// user id, created 0, own facility id and version, vfpLOCK_VERSION, own
// process id, own host name (the loopback name when the system gives none),
// empty class name, tests 0.
void vfpGetOwnLockInfo(LockInfo *info);

// The name text of lock tests into text (at least 40 bytes): "DEFAULT" for
// 0, "ALL" for 31, else the names of the bits joined with "+". Returns text.
char *vfpLockTestText(int tests, char *text);

// The tests a LockTest line names: "DEFAULT" anywhere gives 0, else "ALL"
// anywhere 31, else the bits whose names appear.
int vfpLockTestDecode(const char *line);

// The text of a lock's creation time (vsInfo seconds) into text (at least
// 48 bytes): month abbreviation, day, year, hours:minutes:seconds, numbers
// without leading zeros ("Mar 7 2024 9:5:0"). Returns text.
char *vfpLockDateText(long seconds, char *text);

// Writes the lock file content of info (ten lines and 212 blanks) into out
// (size bytes). The length written, or -1 when it does not fit.
int vfpiFormatLock(const LockInfo *info, char *out, int size);

// Decodes one lock file from stream (one attempt, no retries, no orphan
// judgement) into *info, which keeps what was decoded. 0, or 12 when the
// content is not a readable lock file.
int vfpiDecodeLock(FILE *stream, LockInfo *info);

// Reads the lock file at path with the retries and orphan detection of every
// look at a lock: 0 read (info holds it), 17 no lock file (info holds the
// defaults), 12 orphaned (info->state is vfpLOCK_ORPHANED: a dead process of
// this host, or no readable content after every retry), 18 when
// vfpLockWaitCancelV ended the retries (info is then unreadable, state
// vfpLOCK_OPEN: held by someone unknown).
int vfpiReadLock(const char *path, LockInfo *info);

// 0 if lock passes the ownership tests for the running process, else 19.
int vfpiTestLock(const LockInfo *lock);

// Deletes the lock file at path, whose content is info, if that is permitted:
// an orphaned lock, a lock in state 2 of this process, a lock in state 1 that
// passes the ownership tests. 0; 7 when not permitted; 12 when the removal
// failed.
int vfpiDeleteLockFile(const char *path, const LockInfo *info);

// The lock file path of a file object into path (vfpPATH_SIZE). 0, 74, 43.
int vfpObjLockPath(vfpObjId obj, char *path);

// Takes the lock of the object a reference names (vfpLockObj). 13 for a
// reference to no file object; else as vfpLockObj.
int vfpLockObject(const char *reference, int tests);

// Takes the object's lock with the given tests. 0 when this process holds it
// afterwards (already held: the tests are rewritten if they differ); 18 when
// another process holds it; 22 for no file object; 12 when the lock file
// could not be written; 7 when the lock directory cannot be made.
int vfpLockObj(vfpObjId obj, int tests);

// Releases the lock of the object a reference names: deletes its lock file
// when this process may (the owner is the running user and the lock passes
// its ownership tests for this process, or it is orphaned). 0; 12 no lock
// file (nothing to delete) or the removal failed; 17 only without lock files
// (lock mode), when this process holds no lock; 19 not permitted (the lock
// file stays). While a save of the file waits for its group's commit, the
// release is left to the commit (0).
int vfpUnlockObject(const char *reference);
int vfpUnlockObj(vfpObjId obj);

// Breaks a lock: 17 no lock file; a lock in state 1 (NOTOPEN) is deleted
// (0, or 12); otherwise 75.
int vfpBreakLock(const char *reference);

// The LockInfo of the object's lock file (the defaults of vfpGetOwnLockInfo
// when there is none). The status of vfpiReadLock (0, 17, 12) or of the
// reference (13, 42, ...).
int vfpGetObjectLockInfo(const char *reference, LockInfo *info);
int vfpGetObjLockInfo(vfpObjId obj, LockInfo *info);

// 0 if the object's lock passes the ownership tests for the running
// process; 1 otherwise (also when there is no lock file).
int vfpObjIsMyLock(vfpObjId obj);

// 1 if this process holds the object's lock (it took it and has not
// released it), else 0.
int vfpObjHoldsLock(vfpObjId obj);

// Releases every lock this process holds (deletes their lock files while
// they are still ours) and removes each lock directory this process made,
// when it is empty. Returns how many were released. vfpExit calls it.
int vfpReleaseAllLocks();
