// qlm.h: the library manager: the editor's own list of library directories.
//
// While the editor's initialisation file is read, each of its "dir" lines
// goes through qd_dir_read: the library manager parses the line into a
// directory record, checks it, creates the directory when it is missing, and
// keeps the records in file order. The initialisation reader then asks for
// the primary directory and frees all records again (qd_clear_all_dirs). The
// same line syntax names the project's libraries in the project database
// (vfp.h); this list is the editor's mirror of it, with its own statuses.
//
// A line, after its keyword:
//   type path [(name)] [{qualifier}] [| comment]
// The type is letters in square brackets, in any case: "p" primary, "w"
// writable, "r" read-only, "m" megafile (read-only too), "l" an extra flag
// kept for the editor; r with w, r with p, w with m and m with p contradict
// each other. Or it is a bare number: 0 primary, 1 to 5 writable, 6 to 20
// read-only. A project has one primary directory. The name (library alias)
// is optional; when given it begins with a letter and holds letters, digits
// and single "_" (qlm_chk_library_name), at most 32 characters. The
// qualifier, a second name that the project's list keeps, is read over and
// not kept.
//
// Checks of qlm_read, in this order, and their statuses (text from a "|" on
// is a comment and ignored):
//   the type   -9 no type at all, or no letter in the brackets; -6 a
//              word that is neither bracketed letters nor a number, or no
//              "]"; -4 a letter outside p, w, r, m, l, or a number outside
//              0 to 20; -8 contradictory letters; -12 primary while the
//              list has a primary already;
//   the path   -3 missing (or starting with "("), or longer than 255;
//   the name   -6 no closing ")" or "}", or a word after them; -15 it
//              breaks the name rule;
//   then       -3 the path cannot be made absolute; -13 the list holds
//              that absolute path already; -2 the directory does not exist
//              (qlm_read_and_create creates it); -7 it is not a directory.
// A refused line leaves no record behind.
//
// Records: the absolute path has backslashes turned into "/" and trailing "/"
// removed; the written path is the path as it stood in the line. Records of
// one library are chained in list order (nextLib). Besides the current list
// there is a second list (library placeholders); the vfile search order
// switches to another pair of both lists and back.
//
// Status: every operation that fails sets qlm_errno (negative, below) and
// returns null or -1 (or its status); a successful qlm_read clears it.
// Nothing here prints except qd_dir_read, which shows its messages through
// qlmPutMsgV.
//
// Ownership: records belong to their list; a record is destroyed only when it
// is in no list. Strings returned by queries belong to the record;
// qlm_id_write and qlm_id_build_path return pooled strings that the caller
// frees with ulStrFree; qd_dir_get returns a copy held by this module.
//
// Single-threaded: the lists and qlm_errno are process-wide.
#pragma once

// One library directory.
struct qlmDir {
  char *name;      // library alias (pooled, owned); null when none
  char *path;      // absolute path (pooled, owned; may be the same string as wpath)
  char *wpath;     // path as written in the line (pooled, owned)
  int type;        // qlmTYPE_* bits
  int number;      // numeric type 0 to 20, or -1 when the type was letters
  qlmDir *nextLib; // next directory of the same library
  qlmDir *next;    // next record of the list
};
using qlmDirId = qlmDir *;

// Type bits.
inline constexpr int qlmTYPE_PRIMARY = 1;
inline constexpr int qlmTYPE_READONLY = 2;
inline constexpr int qlmTYPE_MEGAFILE = 4;
inline constexpr int qlmTYPE_EXTRA = 8; // the letter "l"

// Statuses (qlm_errno).
inline constexpr int qlmE_INVALID = -1;    // null record, or a record in the wrong list
inline constexpr int qlmE_NODIR = -2;      // the directory does not exist
inline constexpr int qlmE_BADPATH = -3;    // path missing, too long, not absolute-able
inline constexpr int qlmE_BADLETTER = -4;  // unknown type letter or number
inline constexpr int qlmE_HASNAME = -5;    // the record has a name already
inline constexpr int qlmE_BRACKET = -6;    // type or name not properly bracketed
inline constexpr int qlmE_NOTDIR = -7;     // the path is not a directory
inline constexpr int qlmE_CONTRA = -8;     // contradictory type letters
inline constexpr int qlmE_NOLETTER = -9;   // no type letter
inline constexpr int qlmE_MKDIR = -10;     // a directory could not be created
inline constexpr int qlmE_NOPATH = -11;    // the record has no path
inline constexpr int qlmE_PRIMARY = -12;   // a second primary directory
inline constexpr int qlmE_DUPLICATE = -13; // the directory is listed already
inline constexpr int qlmE_NOLIB = -14;     // no such library
inline constexpr int qlmE_BADNAME = -15;   // the name breaks the name rule
inline constexpr int qlmE_EXISTS = -101;   // the subdirectory exists already

// The status of the last failing operation (or 0 after a successful read).
extern int qlm_errno;

// qlm_errno.
int qlm_get_status();

// ---- Reading lines ------------------------------------------------------------

// Parses the rest of a "dir" line after its keyword into a new record
// appended to the current list (checks above). The record, or null with
// qlm_errno set.
qlmDirId qlm_read(const char *rest);

// As qlm_read, but a missing directory is created first (with its missing
// parents); -10 if that fails.
qlmDirId qlm_read_and_create(const char *rest);

// 1 if name follows the name rule (non-empty, a letter first, then letters,
// digits and "_", never two "_" in a row), else 0.
int qlm_chk_library_name(const char *name);

// The record written as a line rest, a pooled string the caller frees
// (ulStrFree): the type ("%2d" for a numeric type, else "[" + "p" when
// primary + "r" or "w" + "m" when megafile + "l" for the extra flag + "]"),
// a blank, the written path, and " (name)" when the name is non-empty. Null
// (status -1) for a null record.
char *qlm_id_write(qlmDirId dir);

// ---- Fields of a record -----------------------------------------------------------

// The name ("" when none), absolute path, written path. Null with status -1
// for a null record.
const char *qlm_id_get_name(qlmDirId dir);
const char *qlm_id_get_path(qlmDirId dir);
const char *qlm_id_get_rpath(qlmDirId dir);
// The type bits and the numeric type (-1 for letters); -1 with status -1 for
// a null record.
int qlm_id_get_type(qlmDirId dir);
int qlm_id_get_number(qlmDirId dir);

// Gives a record without name the name; a record in the current list joins
// its library's chain. 0; -5 if it has a name, -15 for a name that breaks
// the rule, -1 for a null record (qlm_errno set likewise).
int qlm_id_set_name(qlmDirId dir, const char *name);

// Hands out the fields: *number (when number is not null); for each string
// argument that is not null, the field is copied into the buffer *arg
// points to (names need 33 bytes, paths 256) or, when *arg is null, *arg is
// set to the record's own string. 0, or -1 for a null record.
int qlm_id_dirinfo(qlmDirId dir, int *number, char **name, char **path, char **wpath);

// From the type bits: writable when not read-only; read-only; megafile. 0
// (status -1) for a null record.
int qlm_id_writable(qlmDirId dir);
int qlm_id_readonly(qlmDirId dir);
int qlm_id_megafile(qlmDirId dir);

// ---- Queries of the current list ----------------------------------------------------

// 1 if a record of the current list has that name (ignoring case), else 0.
int qlm_library_exists(const char *name);

// The first writable directory of the library, along its chain; null when it
// has none, or with status -14 when there is no such library.
qlmDirId qlm_library_first_writable(const char *name);

// The record after dir in the current list; the first for null.
qlmDirId qlm_id_next_dir(qlmDirId dir);

// The next directory of dir's library; for a null dir the first directory of
// the named library (ignoring case). Null at the end or for no such library.
qlmDirId qlm_id_next_libdir(qlmDirId dir, const char *name);

// The name of the next library after the named one, in list order, skipping
// records without name and names met earlier in the list; for a null or
// empty name the first named record's name. Null when there is none, or the
// named library is not in the list. The string belongs to its record.
const char *qlm_next_library(const char *name);

// The first primary directory of the current list, or null.
qlmDirId qlm_get_primary_dir();

// ---- Maintenance ------------------------------------------------------------------

// A new empty record in no list (no name, path or type; number -1).
qlmDirId qlm_create_dir_id();

// Destroys a record that is in no list. 0; -1 if it is null or still in one
// of the lists.
int qlm_destroy_dir_id(qlmDirId dir);

// Takes the record out of the current or the second list (its library chain
// is mended). 0; -1 if it is null or in neither list.
int qlm_id_remove_dir(qlmDirId dir);

// A record with the name alone (no path), appended to the second list, which
// keeps libraries that have no directory yet. The record; null with -15 for
// a name that breaks the rule.
qlmDirId qlm_add_lib_placeholder(const char *name);

// The record's path with each blank-separated word of subdirs appended as a
// subdirectory (each followed by "/"), as a pooled string the caller frees.
// Null with -11 when the record has no path, -3 when the result would not
// fit a path, -1 for a null record.
char *qlm_id_build_path(qlmDirId dir, const char *subdirs);

// Creates the directory qlm_id_build_path names, with its missing parents.
// 0 when created; -101 when it exists already; -10 when it cannot be made;
// -11, -3 or -1 as qlm_id_build_path.
int qlm_id_create_subdir(qlmDirId dir, const char *subdirs);

// Switch to the second pair of lists (enable) or back to the first
// (disable); each pair's lists are kept while the other is in use. 1 if the
// state changed, 0 if it was so already.
int qlm_enable_vfile_search_order();
int qlm_disable_vfile_search_order();

// Frees every record of the current and the second list in use.
void qlm_free_all_dir();

// ---- The initialisation reader's side ---------------------------------------------

// Where qd_dir_read shows its messages: called with the text and 1 when the
// file-and-line header is to come first (the first message about a line),
// 0 for a message that follows it. The initialisation reader points it at
// q_ini_putmsg; null shows nothing.
extern int (*qlmPutMsgV)(const char *text, int header);

// Applies one "dir" line of the initialisation file, given from its keyword
// on (a leading "|5.0" token is skipped too): qlm_read of the rest. A
// refused line shows the message of its status: -15 2007, -13 2028, -12
// 2026, -8 2022, -7 2015, -4 2023, -3 2017, any other 2008. A missing
// directory shows 2009 and is created (qlm_read_and_create), then shows 1161
// with its path, or 2024 if that failed. A writable directory that resulted
// is registered as a writable directory of the editor (qd_writable_dir).
// 1 if a record resulted, else 0.
int qd_dir_read(const char *line);

// The record's absolute path as a copy held by this module, valid until the
// next call for another record. Null for a null record or one without path.
const char *qd_dir_get(qlmDirId dir);

// qlm_free_all_dir.
void qd_clear_all_dirs();

// The index-th writable directory (from 0) registered by qd_dir_read in this
// run, in order of registration, each path once; null past the last. The
// registrations outlive the records.
const char *qd_writable_dir(int index);

// Forgets the writable directories registered so far (vqProjExit calls it:
// a later run registers its own).
void qd_clear_writable_dirs();
