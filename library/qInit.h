// qInit.h: editor initialisation: the settings tables, the initialisation
// file scribant.ini, and the project the editor works in.
//
// Before the editor database reads a block it needs its settings (grid, text
// sizes, object colours, switches, the attribute reset and promotion lists,
// the known net names) and its libraries. This module keeps the settings in
// process-wide tables, fills them with defaults, reads scribant.ini into them,
// and opens the project of the project database (vfp.h) whose library list
// names the libraries.
//
// Calling sequence (the GPI layer's start does exactly this):
//   int v = q_get_version();          // 541
//   vqProjInit(v);                    // project database, current project
//   q_scrib_init();                   // defaults, then scribant.ini
//   vqProjBuiltinCheck();             // re-read the project's libraries if
//                                     // the file was rewritten meanwhile
//   ...
//   vqProjExit();
//
// Where the file is found. vsGetini searches, in order: "60/scribant.ini" in
// the current directory, "scribant.ini" in the current directory, the origin,
// every WDIR directory, then ../share/retag from the directory of the
// running program, where an installation keeps its default file, and that
// directory itself, where a build puts it (vsSrchExeDir). The directory the file was found in is
// the project directory: its library list comes from the DIR lines of that
// same file (the project's view "Scribant").
//
// The file, one setting per line. A keyword, then its values separated by
// blanks. Text from the first "|" on is a comment; a line whose first token
// is "|5.0" carries its setting after that token, up to the next "|" (older
// readers skip such lines as comments). Keywords are matched ignoring case,
// exactly or by an abbreviation that fits one keyword only ("text_t" is
// "text_threshold"; "gri" fits "grid" and "gridon" and is refused). Values
// that a line omits leave the settings as they were.
//
// Errors. Nothing here throws except vqProjInit. A line in error never stops
// the reading. Messages about the file go to standard output through
// q_ini_putmsg (nothing while q_quiet is set): the first message about a line
// is preceded by "FILE, line N:". Unknown keywords are shown and ignored;
// ambiguous keywords, out-of-range values, over-long qualifiers and bad net
// names count as errors; a refused DIR line counts as a directory error. A
// read with errors other than directory errors fails (q_read_init 0,
// q_scrib_init -1) but keeps every setting it applied.
//
// Ownership. The tables and lists belong to this module; their strings are
// pooled strings (ulStrCpy) owned by the lists. q_ini_scanf's answer belongs
// to this module until the next call.
//
// Invariants: no list holds a name twice (names compared ignoring case); list
// names are upper case; object and layer fields never exceed their widths
// (values are masked to 8, 5 and 3 bits).
//
// Defaults (set by q_set_defaults, and so at every call of q_scrib_init):
//   values   GRID 10, DOTSIZE 5, AUTOLOG 0, TEXTSIZE 10, TEXTORIGIN 3,
//            BUSWIDTH 3, SHEETSIZE 0, SDISTANCE 10, BUBBLESIZE 5,
//            ROUTE_MODE 0, ADISTANCE 10, SCOPE 0, BOXSIZE 5,
//            TEXT_THRESHOLD 3, NEW_ATTR_VIS 1, BLOCK_TYPE 0, ANNO_SIZE 15,
//            BUS_DOTSIZE 12, UNDO 4, AUTO_RIPPER_BUS_SEGMENT_LENGTH 2;
//            custom sheet 100 by 100;
//   modes    on: BUS, BORDER, GRID, HEADER, COMPTEXT, BELL, SNAPTOPIN,
//            VALUES, NAMES, PNUMS, ORTHO, AUTOPAN, RUBBERBAND; all others off;
//   objects  colour / style / line style: line, box, circle, arc 3/0/0;
//            text 2/0/0; net 4/0/0; bus 4/0/0; attribute 5/0/0;
//            oattribute 5/0/0; component 1/0/0; label 6/0/0; pin 7/0/0;
//   layers   selection 1, border 2, value 3, annotation 4, fields 0;
//   settings texton, labelon, attron 1; defsheet, coarse_grid, dynamic_xy,
//            begin_nets_in_space, oats 0; rippers_on, thick_nets off; undo
//            on; no symbol qualifiers.
//
// Single-threaded: every table, list and remembered file is process-wide.
#pragma once

#include "ulDlist.h"
#include "vfp.h"

// ---- Versions -----------------------------------------------------------------

// The database version this editor writes and reads.
inline constexpr int vqVERSION = 541;

// The database's version number: 0 until q_get_version sets it.
extern int vqVersionV;

// Sets vqVersionV to 541 and returns it.
int q_get_version();

// "5.4.1", the editor's version as text.
const char *vqGetVersionString();

// "1.0", the version of the interface to the project database.
const char *vqGetOviqueVersionString();

// The name of the initialisation file: "scribant.ini".
extern const char *vqInitFileNameV;

// ---- Block types ----------------------------------------------------------------

// One kind of block file: its name and the library subdirectory holding it.
struct qDtype {
  const char *name;   // "SCHEMATIC", "SYMBOL", ...
  const char *subdir; // library subdirectory ("sch", "sym", ...); "" for none
};

inline constexpr int qDTYPE_COUNT = 6;

// Indexed by the block file kind: 0 SCHEMATIC (sch), 1 SYMBOL (sym),
// 2 DOCUMENTATION (doc), 3 WIRELIST (wir), 4 pin (sym: pin files live beside
// the symbols), 5 OCCURRENCE ATTRIBUTE (no subdirectory of its own).
extern const qDtype q_dtypes[qDTYPE_COUNT];

// ---- Values ---------------------------------------------------------------------

// A named numeric setting.
struct qValue {
  const char *name; // upper-case name ("GRID")
  float value;      // single precision, as the file gives it
};

inline constexpr int qVALUE_COUNT = 20;

// Slots of q_values.
inline constexpr int qV_GRID = 0;
inline constexpr int qV_DOTSIZE = 1;
inline constexpr int qV_AUTOLOG = 2;
inline constexpr int qV_TEXTSIZE = 3;
inline constexpr int qV_TEXTORIGIN = 4;
inline constexpr int qV_BUSWIDTH = 5;
inline constexpr int qV_SHEETSIZE = 6;
inline constexpr int qV_SDISTANCE = 7;
inline constexpr int qV_BUBBLESIZE = 8;
inline constexpr int qV_ROUTE_MODE = 9;
inline constexpr int qV_ADISTANCE = 10;
inline constexpr int qV_SCOPE = 11;
inline constexpr int qV_BOXSIZE = 12;
inline constexpr int qV_TEXT_THRESHOLD = 13;
inline constexpr int qV_NEW_ATTR_VIS = 14;
inline constexpr int qV_BLOCK_TYPE = 15;
inline constexpr int qV_ANNO_SIZE = 16;
inline constexpr int qV_BUS_DOTSIZE = 17;
inline constexpr int qV_UNDO = 18; // the undo depth
inline constexpr int qV_AUTO_RIPPER_BUS_SEGMENT_LENGTH = 19;

// SHEETSIZE value that selects the custom sheet of vqIniSettingsV.
inline constexpr int qSHEET_CUSTOM = 10;

extern qValue q_values[qVALUE_COUNT];

// ---- Modes ----------------------------------------------------------------------

// A named switch (0 off, anything else on).
struct qMode {
  const char *name; // upper-case name ("BORDER")
  int value;        // the switch
};

inline constexpr int qMODE_COUNT = 29;

// Slots of q_modes. Slots 0 to 22 are set by the file's switch keywords
// ("borderon" sets qM_BORDER, "xtraerrs" qM_XTRAERRS, ...); 23 to 28 are the
// editor's interactive modes, which the file does not set.
inline constexpr int qM_BUS = 0;
inline constexpr int qM_BORDER = 1;
inline constexpr int qM_GRID = 2;
inline constexpr int qM_HEADER = 3;
inline constexpr int qM_COMPTEXT = 4;
inline constexpr int qM_BELL = 5;
inline constexpr int qM_DETAIL = 6;
inline constexpr int qM_SNAPTOPIN = 7;
inline constexpr int qM_UNIQUE_LABEL = 8;
inline constexpr int qM_VALUES = 9;
inline constexpr int qM_CONTEXT_WINDOW = 10;
inline constexpr int qM_NAMES = 11;
inline constexpr int qM_PNUMS = 12;
inline constexpr int qM_SORT = 13;
inline constexpr int qM_RNUMS = 14;
inline constexpr int qM_DBOX = 15;
inline constexpr int qM_XTRAERRS = 16;
inline constexpr int qM_DB_ERR_VERBOSE = 17;
inline constexpr int qM_SELNAME = 18;
inline constexpr int qM_FUBPINTYPE = 19;
inline constexpr int qM_FULL_VHDL_CHECKS = 20;
inline constexpr int qM_AUTO_TEXT_ORIEN = 21;
inline constexpr int qM_AUTO_RIPPER_BUS_SEGMENT = 22;
inline constexpr int qM_ORTHO = 23;
inline constexpr int qM_AUTOPAN = 24;
inline constexpr int qM_RUBBERBAND = 25;
inline constexpr int qM_CROSSHAIR = 26;
inline constexpr int qM_AUTOSAVE = 27;
inline constexpr int qM_VERBOSE = 28;

extern qMode q_modes[qMODE_COUNT];

// ---- Object kinds and layers ------------------------------------------------------

// The drawing defaults of one object kind; new objects of the kind take them.
struct qObject {
  const char *name;       // lower-case kind name ("line"), as reports show it
  unsigned color : 8;     // colour
  unsigned style : 5;     // fill style or font
  unsigned lineStyle : 3; // line style
};

inline constexpr int qOBJECT_COUNT = 12;

// Slots of q_objects: the object kind codes of the block model, then the
// occurrence attribute and the bus.
inline constexpr int qO_LINE = 0;
inline constexpr int qO_BOX = 1;
inline constexpr int qO_TEXT = 2;
inline constexpr int qO_CIRCLE = 3;
inline constexpr int qO_ARC = 4;
inline constexpr int qO_NET = 5;
inline constexpr int qO_ATTRIBUTE = 6;
inline constexpr int qO_COMPONENT = 7;
inline constexpr int qO_LABEL = 8;
inline constexpr int qO_PIN = 9;
inline constexpr int qO_OATTRIBUTE = 10;
inline constexpr int qO_BUS = 11;

extern qObject q_objects[qOBJECT_COUNT];

// The drawing layer of one kind of overlay.
struct qLayer {
  const char *name;       // "SELECTION", "BORDER", "VALUE", "ANNO"
  int layer;              // layer number
  unsigned style : 5;     // fill style or font
  unsigned lineStyle : 3; // line style
};

inline constexpr int qLAYER_COUNT = 4;

// Slots of q_layers.
inline constexpr int qL_SELECTION = 0;
inline constexpr int qL_BORDER = 1;
inline constexpr int qL_VALUE = 2;
inline constexpr int qL_ANNO = 3;

extern qLayer q_layers[qLAYER_COUNT];

// ---- Other settings -----------------------------------------------------------------

// Longest symbol qualifier word the file may give.
inline constexpr int qQUALIFIERS_MAX = 20;

// The settings that are neither values nor switches.
struct vqIniSettings {
  int textOn;                                 // "texton"
  int labelOn;                                // "labelon"
  int attrOn;                                 // "attron"
  int defSheet;                               // "defsheet"
  int coarseGrid;                             // "coarse_grid"
  int dynamicXy;                              // "dynamic_xy"
  int beginNetsInSpace;                       // "begin_nets_in_space"
  int oats;                                   // "oats"
  char rippersOn;                             // "rippers_on": 1 for any non-zero value
  char thickNets;                             // "thick_nets": 1 for any non-zero value
  char undoOn;                                // 1 while the undo depth is 1 or more
  int customSheetX;                           // width of the custom sheet (SHEETSIZE 10)
  int customSheetY;                           // height of the custom sheet
  char symbolQualifiers[qQUALIFIERS_MAX + 1]; // "symbol_qualifiers" word, "" for none
};

extern vqIniSettings vqIniSettingsV;

// Puts the defaults (see above) into q_values, q_modes, q_objects, q_layers
// and vqIniSettingsV. The lists are not touched.
void q_set_defaults();

// ---- Attribute and net name lists ---------------------------------------------------

// One entry of the attribute reset list.
struct qAttrReset {
  char *name;  // attribute name, upper case, at most 131 characters (pooled)
  char *value; // the value, or null when the line gave none (pooled)
};

// The attribute reset list (values qAttrReset *), emptied at the start of
// every read of the file. Null while it was never filled.
extern ulDlist q_attr_reset_list;
// The attribute promotion list (values: upper-case pooled names). Null while
// never filled.
extern ulDlist vqAttrPromoListV;
// The net name list (values: upper-case pooled names). Null while never
// filled.
extern ulDlist q_netname_list;

// Empty the lists, freeing their entries and strings.
void q_free_attr_reset_list();
void q_free_attr_promo_list();
void q_free_netname_list();

// The reset entry for an attribute name (ignoring case), or null.
const qAttrReset *q_attr_reset_find(const char *name);
// 1 if the name (ignoring case) is on the promotion list / net name list.
int q_attr_promoted(const char *name);
int q_netname_listed(const char *name);

// ---- The initialisation file ----------------------------------------------------------

// Set when reading the file attached the library "builtin" and rewrote the
// file; vqProjBuiltinCheck then re-reads the project's library list.
extern int vqBuiltinAddedKludgeV;

// Fills the defaults (q_set_defaults), then finds scribant.ini (vsGetini) and
// reads it unless it is the file read last with the same modification time:
// an unchanged file is not applied again, so the settings are then the
// defaults. Returns the version number (541), or -1: file
// not found (message 1240), not examinable (1019), or read with errors
// (q_read_init 0; the file will be read again by the next call).
int q_scrib_init();

// Reads one initialisation file: empties the attribute reset list, applies
// every line (q_read_param, at most 512 characters of each), then checks the
// library directories the DIR lines gave: with no primary directory it shows
// messages 1214 and 2006 and counts an error; with one, and a directory
// without alias whose last path component is "builtin" while no library has
// that name, the directory becomes the library "builtin", the DIR lines are
// written back in the library manager's form (the file replaced atomically),
// message 2031 is shown and vqBuiltinAddedKludgeV is set. With errors shows
// 1159. Frees the library manager's records at the end. 1 if every error
// was a refused DIR line (or there was none), else 0; 0 also when the file
// cannot be opened (message 1019).
int q_read_init(const char *path);

// Applies one line of the file (a line end may follow). 0 for a line that
// was applied or ignored (comments, empty lines, unknown keywords), 1 for a
// line in error, -1 for a DIR line that the library manager refused.
int q_read_param(const char *line);

// Where the setting of a line stands: from *start to *end (a "|" at *end,
// when the line is that long, begins its comment). A "|5.0" line's setting
// starts behind that token and ends at the first "|" behind its keyword; any
// other line's starts at 0 and ends at its first "|".
void q_ini_line_text(const char *line, int *start, int *end);

// The keyword table: the index (0 to 72) of word, matched ignoring case,
// exactly or as a unique abbreviation; -1 when nothing matches, -2 when the
// abbreviation fits several keywords.
int q_find_keyword(const char *word);
// The keyword of an index (lower case), or null outside 0 to 72.
const char *q_keyword_name(int index);
inline constexpr int qKEYWORD_COUNT = 73;

// Shows text (cut to 131 characters) about the file being read: with header
// set, "FILE, line N:" (message 1213) first. Does nothing when no file is
// being read or q_quiet is set. Returns 1 if it showed something, else 0.
int q_ini_putmsg(const char *text, int header);

// q_ini_putmsg with the editor's message number (a message without
// arguments).
int q_ini_putmsgid(int number, int header);

// Shows prompt as q_ini_putmsg does, then reads one line from standard input
// and keeps its first 79 characters up to the first blank, tab, carriage
// return or line end (the previous answer is freed). Returns the answer,
// valid until the next call ("" at end of input).
const char *q_ini_scanf(const char *prompt);

// The path of the file being read, or null; the number of its line being
// applied (0 when none).
const char *q_ini_file();
int q_ini_line();

// ---- The project ------------------------------------------------------------------------

// Class ids of the block-file classes, looked up by vqProjInit (0 before).
extern int vfpClassSCH_PAGE;
extern int vfpClassSCH_PAGE_BAC;
extern int vfpClassSCH_PAGE_SAV;
extern int vfpClassSYMBOL;
extern int vfpClassSYMBOL_BAC;
extern int vfpClassSYMBOL_SAV;
extern int vfpClassWIRELIST;
extern int vfpClassPIN;
extern int vfpClassOAT;
extern int vfpClassDATADES;

// The project's primary library directory: the first entry of its library
// list (refused lines skipped) whose type letters are "p" or "pw", ignoring
// case; 0 when there is none.
extern LibraryDirId vqPrimaryDirV;

// Initialises the project database for facility 4 with the version text of
// version / 100 ("5.41"; an already initialised database is used as it is),
// opens the project of the directory that holds scribant.ini with the view
// "Scribant" (which reads the file's DIR lines; refused lines are left to
// q_read_init to report) and the lock mode vfpLOCKMODE_DEFAULT (lock files,
// taken by opens for writing: vfpFile.h), looks up the block-file classes and finds the
// primary directory. Returns 1. Throws (ulEX_POSTCOND, a record of
// application "scrib" with the project database's status text) when the
// file is nowhere to be found, the project cannot be opened or a class is
// unknown.
int vqProjInit(int version);

// Closes and re-opens the view "Scribant" of the current project, so that its
// library list is read again, and finds the primary directory again. Returns
// the status of the re-opening (0; 58 or 71 leave the view open with what
// could be read; 40 when there is no current project).
int vqProjReinit();

// When vqBuiltinAddedKludgeV is set: vqProjReinit and clear the flag.
// Returns 1 if it re-read the list, else 0.
int vqProjBuiltinCheck();

// Closes the project database (every project, view and library id) and
// forgets the primary directory, the class ids and the writable directories
// registered by qd_dir_read. Returns the project
// database's status (0, or 20 when it was not open).
int vqProjExit();
