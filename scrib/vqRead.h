// vqRead.h: the block file reader and the block loader.
//
// A block file is a text file of one record per logical line; the first
// character of a record is its key, numeric fields follow separated by
// blanks, and a text field, where the record has one, is the rest of the
// line. A physical line that begins with "+" continues the logical line
// before it (the "+" and the blank after it are dropped). The reader turns
// such a file into the objects of a Block (vqBlock.h), whatever the file
// holds: every bad value is reported by its message number with the line
// number, the record is dropped or repaired, and reading goes on. Only a
// file whose first record is not "V", or whose version is not accepted,
// gives the result 0.
//
// Calling sequence. Programs load blocks by name through the loader, which
// finds a Block among the loaded ones or opens its block file and reads it:
//   int status;
//   vqBlock *b = vqBlockLoad(1, "mylib", name, 1, vqLOAD_OR_NEW, &status);
//   ... status 0: found or read cleanly; b may be set with another status ...
//   q_free_block(b);                       // drops the reference
// vqBlockReadFile reads an open block file into a Block that the caller has
// allocated and named; q_read_block and q_restore_block read the current
// Block again from its file or from its backup.
//
// Reference counts. A Block read by a load is returned with the count 1 (the
// caller owns the allocation's reference); a Block found among the loaded
// ones gets one reference more. Each load is matched by one q_free_block. A
// component instance holds one reference on its symbol, so a symbol used by
// many instances is read once and shared.
//
// A load that finds no block file creates none: in mode vqLOAD_OR_NEW it
// returns an empty temporary Block with status 1 (its file object exists, the
// file does not), so the file comes into being only at that Block's first
// save; vqLOAD_OR_EMPTY gives an empty read-only Block with status 0;
// vqLOAD_EXISTING gives none.
//
// Record layout decisions of this reader:
//   - Arcs of files of version 42 and below carry five integers
//     "a xc yc r a1 a2": centre, radius, and start and end angle in whole
//     degrees counter-clockwise from the positive x axis. They are turned
//     into the three points of the current layout (start, the point at the
//     middle angle, end), each rounded to the nearest drawing unit. A radius
//     outside 0..32766 is reported as 2236 and the arc dropped.
//   - A value out of range in a line, box, circle, arc, text, U attribute or
//     pin record, and in any other record where the format leaves the
//     outcome open, is reported and kept as read when its field holds it.
//     A value that its field cannot hold keeps the field's nearest value,
//     never a wrapped one: a number beyond 32 bits becomes the nearest int
//     before its range check (so V 4294967346 is version 2147483647, which
//     is not accepted), an origin of 20 the 15 of its 4 bits, a pin side of
//     300 the 255 of its byte, a negative identifier 0. A Q colour or line
//     style out of range becomes the kind's default (q_objects), as an
//     invalid font or fill style does.
//   - A line of any point count is read and kept: the points are taken as
//     the file holds them, so a count beyond the file costs no memory. A
//     logical line is cut after 64 KiB, and more than 1024 continuation
//     lines are not joined (the writer never comes near either).
//   - Ownership (A, L and Q records): an A or L record attaches to the
//     current owner, the component instance, pin or net read last (a net's
//     last segment); records A, L, C, X, J, S, B and Q never become the owner.
//     A Q record applies to the object created just before it. An object
//     record that is dropped leaves no owner and no Q target, so an A, L or Q
//     after it is reported and dropped instead of landing on an earlier pin.
//     A, L after a C or X record are tied to that pin connection (their part
//     is the connection's pin identifier).
//   - An instance's symbol is loaded with vqLOAD_EXISTING: an instance whose
//     symbol cannot be had keeps its names and has no symbol.
//   - A missing identifier, header value or pin number is "missing field"
//     (2252); a token that does not begin with a number counts as missing.
//     A missing last id (i) is -1, as a missing V, Y, Z or D value is; the
//     last id keeps -1 (and any negative value) as its all-ones 32 bits,
//     4294967295, which is also how it is written and read back, and which
//     the identifier checks take as -1: below 1, so the first identifier
//     raises it (2235). Its other values are 0..4294967294: a larger last id
//     or identifier raises it no further. An i record that follows
//     identifiers never takes the last id below the highest of them (2235).
//     An I record without scale (2253) gets the scale 1.0 and no trailing
//     text.
//   - A Q record with no object created just before it is reported as 2247.
//   - A text field is trimmed again after its cut to 132 characters, and a
//     carriage return in it is a blank; an I record whose name has no
//     component part (":" or "lib:") misses a field (2252). The writer could
//     not give any of these back as read: what the reader accepts, written,
//     reads back into the same records.
//
// Finishing, after the last record:
//   - a text, attribute or label that repeats an earlier one exactly is
//     removed (in schematics again once the nets below are removed, for the
//     texts they leave without owner);
//   - schematics: nets whose joints and segments do not hold together are
//     removed (2237; their texts stay, without owner); each C record is tied
//     to the joint at its position in the net it names (a net or joint that
//     is not there leaves the pin unconnected); each instance gets its size
//     (q_upd_comp_size) and, when it lacks connections for pins of its
//     symbol (or the file is of version 38), an unconnected connection for
//     each, whose pin index is that of the pin's "#" attribute; each joint
//     an instance pin reaches moves to the pin's placed end point and takes
//     its side (a symbol point is scaled, mirrored (x negated) for
//     orientations 4 to 7, turned by 90 degrees counter-clockwise
//     (orientation & 3) times and moved to the instance's position; pin
//     sides 0 left, 1 top, 2 right, 3 bottom turn with it, side 4 stays);
//     every joint's type is recomputed: the low two bits count the segments
//     meeting there (3 for three or more), 8 marks a joint on an instance
//     pin;
//   - symbols: a pin whose name (its first label) another pin carries too is
//     a pass-through pin (vqOBJ_PASSTHRU); the fub status is updated.
//
// Messages. Problems found in a block file are printed on standard output
// through the editor message layer, each as the block's name, ": " and the
// message text with its line-number text ("(Line number N)"), whatever
// q_quiet says:
//   mylib:and2.1: Sense 3 is not 0 or 1 (Line number 12)
// The reader's severities are its own scale: 2 counts a warning, 3 an error
// (both printed), 4 and 5 are printed without being counted, 1 is the
// summary (2240) printed at the end of a top-level read that counted errors.
// Message 2260 (a joint type recomputed) is counted and printed only while
// hidden messages are switched on. Message 2209 (a block that cannot be
// read) goes through the error layer as an error record. The progress note
// 1235 of each load is printed only while load notes are switched on (the
// command's debug mode). Nothing here ends the process.
//
// Single-threaded. The reader's state (the current logical line, the line
// counter, the current net, instance, pin and owner) is per read; reads nest
// (an instance loads its symbol while its schematic is being read), and only
// the outermost read clears and reports the counters.
#pragma once

#include <cstdio>

#include "ulStr.h"
#include "vqBlock.h"

// ---- Load modes and statuses ----------------------------------------------------------

// Load modes: what a load does when the block file does not exist. Modes 0
// to 2 open the file for reading; the block's lock is taken at its first
// change. Any other mode (vqLOAD_EDIT) opens the file with its lock, and a
// lock held by another process makes the Block read-only (status 3).
inline constexpr int vqLOAD_OR_NEW = 0;   // an empty temporary Block, status 1
inline constexpr int vqLOAD_OR_EMPTY = 1; // an empty read-only Block, status 0
inline constexpr int vqLOAD_EXISTING = 2; // none, status 1
inline constexpr int vqLOAD_EDIT = 3;     // open with its lock; missing: as mode 1

// Load statuses (the out argument of the loads).
inline constexpr int vqLOAD_OK = 0;            // found among the loaded, or read cleanly
inline constexpr int vqLOAD_NOFILE = 1;        // no block file, or it could not be read
inline constexpr int vqLOAD_OPEN_OTHER = 2;    // the file is open for another Block (returned)
inline constexpr int vqLOAD_LOCKED = 3;        // locked by another process: read-only
inline constexpr int vqLOAD_READONLY = 4;      // directory not writable, or opened read-only
inline constexpr int vqLOAD_NOCREATE = 7;      // no file object could be made for a new Block
inline constexpr int vqLOAD_FILE_ERROR = 1000; // plus the file layer's status: open failed

// ---- Loading ----------------------------------------------------------------------------

// The Block of kind (0 schematic, 1 symbol) named name with number in
// library (null or "": the Block whose library came from its file, or the
// file found through the primary directory), found among the loaded Blocks
// or read from its block file. name is lower-cased in place. *status (may be
// null) receives the load status. Returns the Block (the caller's reference,
// see the essay) or null. Prints the progress note 1235 while load notes
// are on; a file whose read fails gives 2209, status 1, and in mode
// vqLOAD_EXISTING no Block.
vqBlock *vqBlockLoad(int kind, const char *library, char *name, int number, int mode, int *status);

// The same for the block file in the library directory whose path is
// directory (a loaded Block counts only when its file lies there). An
// unknown directory gives null and status vqLOAD_FILE_ERROR + 63.
vqBlock *vqBlockLoadFromDir(int kind, const char *directory, char *name, int number, int mode,
                            int *status);

// Reads the current Block again from its block file, dropping unsaved
// changes: the changed state is cleared (q_clear_changed_flag), the objects
// freed and the file read. For a symbol the instances of loaded schematics
// that use it are detached first and attached again after. 1, or 0 when there
// is no current Block or its file cannot be opened.
int q_read_block();

// The same from the backup of the block file; afterwards the Block is
// marked changed so that the restored contents are saved next time. 0 for
// no current Block, a temporary Block or a missing backup; else 1.
int q_restore_block();

// ---- Reading ------------------------------------------------------------------------------

// Reads the open block file (its stream, vqpFileStream) into block, whose
// name, library, number and kind are set and whose object list is empty.
// 1 when the block was read (also with record errors, also for an empty
// file); 0 when the first record is not V (2254) or the version is not
// accepted (2251; the Block is then read-only).
int vqBlockReadFile(vqBlock *block, BlockFileId file);

// The same from a stdio stream (the fuzz target and tests use it).
int vqBlockReadStream(vqBlock *block, FILE *stream);

// Warnings and errors counted by the last outermost read.
int vqReadWarningCount();
int vqReadErrorCount();

// ---- Logical lines --------------------------------------------------------------------------

// Reads the next logical line into buffer (emptied first) from stream, or
// from the stream of file when stream is null: a physical line, a carriage
// return before its line feed removed, with the continuation lines after it
// joined (see the essay). Empty lines are skipped. The line keeps its final
// line feed when the file has one. lines (may be null) is increased by the
// number of physical lines read. 1 when a line was read, 0 at end of file.
int vqReadContLine(ulStrBuf *buffer, FILE *stream, BlockFileId file, int *lines);

// Removes a trailing line feed and then a trailing carriage return, in
// place. Returns line.
char *vqRemoveCR(char *line);

// Removes trailing blanks in place, never the first character. Returns text.
char *vqTrimTrail(char *text);

// ---- Switches -----------------------------------------------------------------------------

// Line-number text in messages ("(Line number N)"), on by default; hidden
// messages (2260), off by default; load notes (1235), off by default. Each
// takes 0 or 1 and returns the previous setting.
int vqReadPrintLineNumber(int on);
int vqReadPrintHiddenMsgs(int on);
int vqReadPrintLoadNotes(int on);

// Where the reader's messages go. By default each is printed as the essay
// says. A program that shows them its own way (a checker that names the
// file) installs a sink: every message the reader would print (not the
// loader's 1235 and 2209) then goes to the sink instead, with the Block
// being read, the reader's severity, the physical line of the record it is
// about (the line number of its text; 0 for a message about the whole block,
// from the finishing steps and the summary 2240) and the text as it would
// follow the block's name. Counting is unchanged. sink null prints again.
// Returns the previous sink.
using vqReadSink = void (*)(const vqBlock *block, int severity, int line, const char *text,
                            void *user);
vqReadSink vqReadSetSink(vqReadSink sink, void *user);

// The thick-nets setting of the editor settings ("thick_nets"), 0 or 1.
int vqIsThickNetsOn();

// ---- Finishing steps (also used by the writer) -----------------------------------------------

// Recomputes the size of an instance: the number of single names that its
// REFDES attribute's value stands for as a bus name (ulBusExpandWidth), 1
// when it has none or that width is 0. Returns the new size.
int q_upd_comp_size(vqComp *comp);

// 1 when the schematic holds an instance of a ripper symbol (a symbol whose
// block attribute SYMTYPE has the value RIPPER), else 0.
int vqRippersExist(const vqBlock *block);

// 1 when text is a valid label: no blank, no "`", and a bus width
// (ulBusExpandWidth) other than 0. A null text is not valid.
int q_valid_label(const char *text);

// The database's bad-data mark: set when the reader drops a segment for its
// joints; the writer asks before it saves such data. Cleared by the loads of
// the programming interface.
extern char q_bad_data;
