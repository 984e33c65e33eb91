// vfp.h: the project database: status codes, objects, the project library
// list and its directory lines.
//
// A project is a directory. Its libraries are named by the DIR lines of the
// initialisation file of the view through which a tool looks at the project
// (the editor's view "Scribant" reads "scribant.ini" in the project
// directory). Each line names one library directory: a type, a path, an
// optional library alias and an optional qualifier. Every tool that names a
// library by its alias walks this list.
//
// Objects. Everything the database holds is an object with an id (a positive
// int; 0 is "none"), a class, a name and a path:
//   - the database itself, id vfpOvDatabaseID, class vfpClassDATABASE;
//   - projects (vfpClassPROJECT), one per project directory; the current
//     project is vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
//   - views (vfpClassVIEW), at most one open per project, whose opening
//     reads the project's library list;
//   - library directories (vfpClassLIBRARY), one per DIR line, refused lines
//     included; an id of this class is what the block layer calls a
//     LibraryDirId.
// Ids are never reused within a run: an id whose object was closed stays
// invalid. Classes are fixed here (this build carries its definitions
// inside); vfpClassLookup gives the id of any class by name, including the
// block-file classes of the block layer.
//
// Calling sequence:
//   vfpInit(4, "5.41");                       // once per process
//   int st;
//   vfpObjId p = vfpOpenProject(dir, nullptr, "Scribant", 0, &st);
//   vfpObjId lib = vfpFindNextLib(p, 0, "mylib", &st);   // first match
//   vfpGetLibInfo2(p, lib, path, alias, type, nullptr);
//   ...
//   vfpExit();                                // closes everything
//
// Errors: every operation returns (or hands out) a project database status,
// 0 for success; vfpStatusText gives the text of each. Nothing is printed and
// nothing is thrown. A refused DIR line does not stop the reading: it becomes
// an entry whose stored status is the parse status, and the read ends with
// status 58.
//
// Directory lines, one per line, tokens separated by blanks or tabs:
//   DIR [type] path [(alias)] [{qualifier}] [| comment]
// The keyword in any case. The type is letters in square brackets ("p"
// primary, "w" writable, "r" read-only, "m" megafile, which is read-only
// too; one to three letters, any case; r with w, r with p, w with m and m
// with p contradict each other) or a bare number (0 primary, 1 to 5
// writable, 6 to 20 read-only). Without a type the directory has the flags
// vfpDIR_NOTYPE and no type letters; such a directory is not writable. The
// path is at most 256 characters as written; backslashes become "/" and
// trailing "/" are removed (the root stays "/"), leaving at most 255. Alias
// and qualifier hold at most 32 characters each. Statuses of a refused
// line: 29 path missing or starting with "(", "[" or "{", or too long; 30
// no DIR keyword (an empty line included) or a word left over that is not a
// "|" comment; 32 bad type; 37 bad alias (unbalanced parentheses, longer
// than 32); 105 bad qualifier (unbalanced braces, longer than 32).
// Written form (vfpBuildDirLine): "DIR [letters] path (alias) {qualifier}",
// alias and qualifier only when non-empty; a directory without type is
// written "DIR path ...", so that a written line reads back the same (but a
// path that is a bare number needs a type to be told from one).
//
// Alias matching ignores case. A pattern may hold "*" (any run) and "?"
// (one character); the empty pattern matches every entry.
//
// Ownership: results go into caller buffers, sized by the constants below.
// The strings of vfpLibEntry, vfpObjGetName and vfpObjGetPath belong to the
// database and stay valid until the object is closed or its list re-read;
// vfpStatusText and vfpClassName return constants.
//
// Invariants: the library list of a project is in ascending line order of
// its file; an entry's type letters are always the canonical ones (below).
// Single-threaded, like the whole library: all state is process-wide.
#pragma once

#include <cstdio>

// An object of the project database; 0 is none.
using vfpObjId = int;
// A library directory of the project library list.
using LibraryDirId = vfpObjId;

// ---- Sizes of caller buffers --------------------------------------------------

inline constexpr int vfpPATH_SIZE = 256; // a path (255 characters)
inline constexpr int vfpALIAS_SIZE = 33; // an alias or a qualifier (32 characters)
inline constexpr int vfpTYPE_SIZE = 4;   // type letters (at most 2 are written)
inline constexpr int vfpLINE_SIZE = 512; // a directory line (511 characters)

// ---- Status codes ---------------------------------------------------------------

inline constexpr int vfpOK = 0;                // Successful completion
inline constexpr int vfpINVALID_PARAM = 2;     // Invalid parameter
inline constexpr int vfpCANNOT_ACCESS = 7;     // Cannot access
inline constexpr int vfpGENERAL_FAILURE = 12;  // General Failure (no library matched)
inline constexpr int vfpNO_OBJECT = 13;        // Object does not exist
inline constexpr int vfpOBJECT_EXISTS = 14;    // Object already exists
inline constexpr int vfpFILE_OPEN_ERROR = 15;  // File open error
inline constexpr int vfpNOT_LOCKED = 17;       // Object is not locked
inline constexpr int vfpLOCKED = 18;           // Object is locked
inline constexpr int vfpLOCK_ERROR = 19;       // Error locking or unlocking object
inline constexpr int vfpINIT_ERROR = 20;       // database not initialised
inline constexpr int vfpNOT_OPEN = 22;         // Object not open
inline constexpr int vfpDELETE_ERROR = 23;     // Error deleting object
inline constexpr int vfpBAD_MODE = 24;         // Invalid file access mode
inline constexpr int vfpCANNOT_COPY = 34;      // Cannot copy object
inline constexpr int vfpSAME_OBJECT = 35;      // Try to copy/move to the same object
inline constexpr int vfpPATH_FORMAT = 29;      // Directory path format error
inline constexpr int vfpPATH_DEFAULT = 30;     // Directory path default error
inline constexpr int vfpDIR_TYPE = 32;         // Directory type error
inline constexpr int vfpLIB_NAME = 37;         // Error in library name
inline constexpr int vfpNO_PROJECT = 40;       // Invalid current project
inline constexpr int vfpINVALID_PROJECT = 41;  // Invalid project id
inline constexpr int vfpINVALID_OBJREF = 42;   // Invalid object reference
inline constexpr int vfpREF_TOO_LARGE = 43;    // Object reference too large
inline constexpr int vfpNULL_REF = 44;         // NULL object reference
inline constexpr int vfpBAD_NAME = 45;         // Bad object name
inline constexpr int vfpBAD_VERSION = 46;      // Bad object version
inline constexpr int vfpINVALID_CLASS = 49;    // Invalid class
inline constexpr int vfpUNDEFINED_SCHEMA = 50; // Undefined schema
inline constexpr int vfpALREADY_OPEN = 53;     // Object already open
inline constexpr int vfpLIBS_NOT_OPENED = 58;  // some directory lines were refused
inline constexpr int vfpEND_OF_DIRS = 62;      // no further directory line
inline constexpr int vfpINVALID_LIB = 63;      // Invalid library id
inline constexpr int vfpINVALID_VIEW = 66;     // Invalid view
inline constexpr int vfpALREADY_INIT = 70;     // Plenum already initialized
inline constexpr int vfpINI_NOT_FOUND = 71;    // Ini file not found
inline constexpr int vfpINVALID_OBJID = 74;    // Invalid object id
inline constexpr int vfpLOCK_OPEN_STATE = 75;  // Lock file in OPEN state
inline constexpr int vfpQUALIFIER = 105;       // bad qualifier of a directory line

// The fixed text of a status 0 to 85 (empty for 3, 6, 8 to 11, 26, 59 and
// 62); the empty string for any other value. Never null.
const char *vfpStatusText(int status);

// ---- Directory type flags ---------------------------------------------------------

inline constexpr int vfpDIR_PRIMARY = 1;  // the project's primary directory
inline constexpr int vfpDIR_READONLY = 2; // not writable
inline constexpr int vfpDIR_MEGAFILE = 4; // a single file holds the library
inline constexpr int vfpDIR_NOTYPE = 8;   // the line gave no type

// ---- Database, classes, objects ----------------------------------------------------

// The database object, parent of every project.
inline constexpr vfpObjId vfpOvDatabaseID = 1;

// Classes of the objects this database opens itself.
inline constexpr int vfpClassDATABASE = 1;
inline constexpr int vfpClassPROJECT = 2;
inline constexpr int vfpClassVIEW = 3;
inline constexpr int vfpClassLIBRARY = 4;

// The only schema of views: the editor's.
inline constexpr int vfpSchemaORVIK = 1;

// Initialises the database for a facility (the calling tool) with its version
// text. 0, or 70 if it is already initialised.
int vfpInit(int facility, const char *facilityVersion);

// Closes every file object (a write in progress is discarded: its file
// keeps its old content), releases every lock this process holds (vfpFile.h),
// closes every project and view and frees all objects; the database is then
// uninitialised (vfpInit may be called again). 0, or 20 if it was not
// initialised.
int vfpExit();

// The id of the class of that name, ignoring case: "DATABASE", "PROJECT",
// "VIEW", "LIBRARY", and the block-file classes "SCH_PAGE", "SCH_PAGE_BAC",
// "SCH_PAGE_SAV", "SYMBOL", "SYMBOL_BAC", "SYMBOL_SAV", "WIRELIST", "PIN",
// "OAT", "DATADES" (ids 5 to 14 in that order). 0 for any other name.
int vfpClassLookup(const char *name);

// The name of a class id (as listed above), or null for an unknown id.
const char *vfpClassName(int cls);

// The current object of class cls under parent: the current project under
// vfpOvDatabaseID, the open view under a project. 0 when there is none or
// the database is not initialised.
vfpObjId vfpObjGetCurObj(vfpObjId parent, int cls);

// The class of a live object, 0 for an id that names none.
int vfpObjGetClass(vfpObjId obj);

// Name and path of a live object (a project: its name and directory; a view:
// its name and initialisation file; a library directory: its alias and
// path). Null for an id that names no live object.
const char *vfpObjGetName(vfpObjId obj);
const char *vfpObjGetPath(vfpObjId obj);

// ---- Projects and views -------------------------------------------------------------

// Opens the project of directory dir (one trailing "/" removed; the root
// stays "/"), named name or, when name is null or empty, after the last
// component of the directory; an open project of the same directory is
// reused. When view is non-null and non-empty, opens that view of schema
// vfpSchemaORVIK (vfpOpenView) unless the project has it open already. The
// project becomes current. mode is the lock mode (vfpFile.h) while it is current. *status
// (may be null) receives 0, the view's status (58 or 71 with the project
// and view still open), 20 when the database is not initialised or 42 for a
// null or empty directory; the result is the project, or 0 for 20 and 42.
vfpObjId vfpOpenProject(const char *dir, const char *name, const char *view, int mode, int *status);

// Closes a project: its view and library list first. It stops being
// current. 0, or the status of the project check (74, 49, 22).
int vfpCloseProject(vfpObjId project);

// Opens view (a name, any case) of schema on the project and reads its
// library list from the view's initialisation file: the view's name in lower
// case with ".ini", in the project directory (vfpiReadOrvikIni). An open
// view is closed first. *status (may be null) receives 0, 58 or 71 (the view
// is open then, with what could be read), or 41 for an invalid project, 66
// for a null or empty name, 50 for an unknown schema (no view then). Returns
// the view or 0.
vfpObjId vfpOpenView(vfpObjId project, const char *view, int schema, int *status);

// Closes the project's view and frees its library list; every library id of
// the list becomes invalid. 0, 41 for an invalid project, 66 if no view is
// open.
int vfpCloseView(vfpObjId project);

// ---- Directory lines ------------------------------------------------------------------

// Parses one directory line (see the essay). path (vfpPATH_SIZE), alias and
// qualifier (vfpALIAS_SIZE each) may be null; type (vfpTYPE_SIZE) receives
// the canonical type letters and must be given (32 at once otherwise). On a
// refused line the outputs hold what was read before the error, the rest
// empty. Returns 0 or the status of the refusal.
int vfpParseDirLine(const char *line, char *path, char *alias, char *type, char *qualifier);

// Reads a type field alone: letters in square brackets or a bare number,
// without surrounding blanks. *flags receives the directory flags (unchanged
// on a refusal). 0 or 32 (null arguments included).
int vfpParseDirType(const char *text, int *flags);

// The canonical type letters of flags into type (vfpTYPE_SIZE): nothing for
// vfpDIR_NOTYPE, else "p" when primary, then "r" when read-only or "w", then
// "m" when megafile. Returns type.
char *vfpDirTypeLetters(int flags, char *type);

// Writes the line of a directory into line (vfpLINE_SIZE): "DIR [letters]
// path", then " (alias)" and " {qualifier}" when they are non-empty; no
// bracketed type for vfpDIR_NOTYPE. unused is ignored. alias and qualifier
// may be null. 0, or 2 for a null line or path (line then empty), a result
// that would not fit (line then holds as much as fits), or a path that is a
// bare number without type (the line is written but would read back with the
// number as its type).
int vfpBuildDirLine(char *line, const char *path, const char *alias, int flags, int unused,
                    const char *qualifier);

// Reads lines from file (at most 511 characters each; the rest of a longer
// line is skipped) until one whose first token is "DIR" in any case, and
// parses it. *lineNumber (in/out, may be null) is advanced by every line
// read. path (vfpPATH_SIZE), alias and qualifier (vfpALIAS_SIZE) may be null;
// *flags (may be null) receives the directory flags. Returns the line's parse
// status, or 62 at the end of the file.
int vfpiReadDirLine(FILE *file, char *path, char *alias, int *flags, char *qualifier,
                    int *lineNumber);

// Reads the initialisation file of the project's view into the project's
// library list, replacing what it held: every directory line becomes an
// entry in file order, a refused one with its status and what was read of
// it. 0; 58 if any line was refused; 71 if the file cannot be opened (the
// list is then empty); 41 for an invalid project; 66 if view is not the
// project's open view.
int vfpiReadOrvikIni(vfpObjId project, vfpObjId view);

// ---- The library list ----------------------------------------------------------------

// The next entry after previous (0: from the first entry) whose alias or one
// of its further names matches pattern (null or empty: any entry). 0 when
// none matches. *status (may be null) receives 0, 12 when nothing matched,
// 41 for a project that is not open, 74 or 49 for an id that is not a
// project, 66 when the project has no open view, 63 when previous is not an
// entry of its list.
LibraryDirId vfpFindNextLib(vfpObjId project, LibraryDirId previous, const char *pattern,
                            int *status);

// The entry's path (vfpPATH_SIZE), alias (vfpALIAS_SIZE), type letters
// (vfpTYPE_SIZE) and stored status; each out argument may be null. 0, 41 if
// the project is not a valid open project, 63 if lib is not an entry of its
// list.
int vfpGetLibInfo2(vfpObjId project, LibraryDirId lib, char *path, char *alias, char *type,
                   int *status);

// Everything the list keeps of one entry. The strings belong to the list
// (see Ownership above).
struct vfpLibEntry {
  const char *path;      // directory path, trailing "/" removed
  const char *alias;     // library alias, "" when none
  const char *qualifier; // the braced second name, "" when none
  int flags;             // vfpDIR_* bits
  int status;            // 0, or the parse status of a refused line
  int line;              // line number in the initialisation file (from 1)
};

// Fills *entry (not null) for an entry of the project's list. 0, 41, or 63
// as vfpGetLibInfo2.
int vfpGetLibEntry(vfpObjId project, LibraryDirId lib, vfpLibEntry *entry);

// Gives the entry a further name (at most 32 characters) under which
// vfpFindNextLib also finds it. 0, 41 or 63 as vfpGetLibInfo2, 37 for a null,
// empty or too long name.
int vfpLibAddName(vfpObjId project, LibraryDirId lib, const char *name);

// 1 if the library directory is a megafile (a single file holds the
// library), else 0 (also for an id that is no library directory).
int vfpObjMegafile(LibraryDirId lib);

// 1 if the library directory is not open for writing: its line made it
// read-only, gave no type or was refused, or the id is no library directory.
// Else 0.
int vfpObjReadonly(LibraryDirId lib);

// ---- Lock waits ---------------------------------------------------------------------

// Told about a wait for a lock file that cannot be read yet (the retries of
// the lock reader, about 25 seconds at most), when set (null by default):
// with waiting 1 before each pause, with the lock file's path and what of
// its holder the last attempt could read (pid -1 and host "" when nothing),
// and once with waiting 0 when the wait is over, however it ended. The
// project layer prints nothing itself; a command that keeps a status line
// on a terminal shows the wait there.
extern void (*vfpLockWaitNoteV)(int waiting, const char *path, int pid, const char *host);
