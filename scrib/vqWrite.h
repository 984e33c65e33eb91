// vqWrite.h: the block file writer, which saves a Block into its block file.
//
// q_write_data is the save: it makes sure the block is ours to write, writes
// the new content, keeps a backup of the old file and releases the block's
// lock, through the file access layer (vqpFileSave, vqp.h). At every moment
// the block file holds its old or its complete new content, never a mix, and
// a failed save leaves the file and its previous backup as they were.
//
// Calling sequence of a save (the GPI save does exactly this):
//   if (q_write_data(block) == 1)    // 1: saved; 0: file and backup as before
//     q_clear_changed_flag(block);
//
// Steps of q_write_data, each ending the save with 0 when it fails:
//   1. A read-only Block is refused: nothing is locked or touched.
//   2. The block's lock is taken, or confirmed when this process holds it
//      (vqpFileLock). A lock held by another process refuses the save: the
//      file and its backup stay as they are.
//   3. When the database holds data marked bad (q_bad_data, vqRead.h),
//      message 1175 asks whether to save anyway. The answer is read from
//      standard input when that is a terminal (a line beginning with "y" or
//      "Y" is yes); without a terminal (a batch run) nobody can answer, the
//      answer is no and message 1176 says so: data the reader had to drop
//      never overwrites a file unattended.
//   4. The body is written into memory (vqBlockWriteBody).
//   5. vqpFileSave replaces the file's content with it: content equal to the
//      file's writes nothing; otherwise the old content becomes the backup
//      (unless the Block is temporary), ".bac" beside the file, replacing
//      the older backup once the new content is in place. With grouped
//      saves (vfpSetSaveGrouping) the save is staged and committed with its
//      group; its lock is then held until the commit.
//   6. The lock is released (for a staged save: by its commit).
// A changed Block that is not saved keeps its lock until the end of the run.
//
// The body, in this order:
//   V 50, or 51 for a schematic while rippers are on (a symbol never carries
//     a ripper attribute, so symbols are always written with V 50);
//   Y, D, Z and i header records;
//   every object of the object list that has no owner, in list order; each
//     owner (net, component instance, pin) writes its attached texts right
//     after its own record, in chain order: a pin its whole chain; a net
//     each segment followed by the texts on that segment; an instance the
//     texts of part 0 (and of a part no connection has), then each
//     connection followed by the texts tied to its pin. Labels without an
//     owner, and occurrence and meta attributes, are not written;
//   after each object whose colour, style and line style differ from its
//     kind's defaults (q_objects, qInit.h), a Q record: right after the
//     object's own record, before its attached texts; each attached text
//     has its own Q after it;
//   E.
// Fields are written as held, without range checks.
//
// Long texts. The text of a T, L, A or U record and the pin number of a C or
// X record are written in one piece when the record's prefix length plus the
// text length plus 1 is below 80. Otherwise they are written character by
// character with a column count that starts at the prefix length (T and L:
// the whole prefix; A and U: the prefix without the key letter, plus 1; C and
// X: 50) and grows by one after each character; on reaching 80, "\n+ " is
// written and the column becomes 1. A text that ends exactly there leaves a
// "+ " line, which the reader passes over. The reader joins the lines back.
// A line feed or carriage return inside a text is written as a blank, so
// that no text can end its record early or start a record of its own.
//
// Errors: q_write_data returns 1 or 0, the record writers 0 or -1 (a failed
// write on the stream); nothing throws. Messages: only 1175 and 1176.
//
// Ownership: nothing here takes or drops a reference of a Block; the body
// writer replaces the texts of special attributes (q_upd_attr) in place.
//
// Single-threaded: the bad-data mark and the current Block are process-wide.
#pragma once

#include <cstdio>

#include "vqBlock.h"

// ---- Saving ------------------------------------------------------------------------

// Saves block into its block file (steps above). 1 when the new content is
// in place, 0 otherwise (the file keeps its old content).
[[nodiscard]] int q_write_data(vqBlock *block);

// ---- The body and its records ----------------------------------------------------------

// Writes every record of block (the body above) to stream. Before the first
// record it updates the Block: its fub status, the sizes and identifiers of
// its component instances (update_size_comps) and, as each is written, the
// special attributes (q_upd_attr). block is the current Block while it runs
// (the previous current Block is restored). 0, or -1 at the first record
// that could not be written (stream errors, as ferror sees them).
[[nodiscard]] int vqBlockWriteBody(vqBlock *block, FILE *stream);

// One record each: "b x1 y1 x2 y2\n", "c x y r\n", "a x1 y1 x2 y2 x3 y3\n"
// (no Q record). 0, or -1 when the write failed.
[[nodiscard]] int q_box_write(FILE *stream, const vqBox *box);
[[nodiscard]] int q_circle_write(FILE *stream, const vqCircle *circle);
[[nodiscard]] int q_arc_write(FILE *stream, const vqArc *arc);

// Refreshes a special attribute just before it is written, when object is an
// attribute (kind 6) whose text begins with "@". By its name (ulStrEqu):
//   "@DATETIME"  "@DATETIME=" and the time of vsTimer(0) split by ulCvtTime,
//                as "%d-%d-%d_%d:%02d": month, day, year, hour, minute;
//   "@NAME"      "@NAME=" and the current Block's name;
//   "@XYCOORD"   "@XYCOORD=" and the attribute's x, "," and y;
//   "@SHEET"     "@SHEET=" and the current Block's number.
// Other names, and "@NAME" and "@SHEET" without a current Block, are left
// alone. The new text (pooled, cut to 131 characters) replaces the old one.
// 1 for an attribute whose text begins with "@", 0 for any other object.
int q_upd_attr(vqObject *object);

// Recomputes the size of every component instance of block; each instance
// whose size grew takes a new identifier (q_get_next_id), the block's last
// id grows by the new size minus 2, and one more identifier is drawn, so the
// instance's identifiers lie in a range no other object uses. block is the
// current Block while it runs (the previous current Block is restored).
void update_size_comps(vqBlock *block);
