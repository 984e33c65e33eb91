// gpi.h: the programming interface through which a batch program edits
// blocks of the schematic database without the editor's user interface.
// gpi(3) (docs/gpi.3) walks through a whole program: how to build it, the
// calling sequence, and what a program must not do.
//
// A program starts the interface and ends it (and may start it again after):
//   if (!gpi_init()) ... cannot work: no project, no settings ...
//   ... loads, edits, saves, releases ...
//   gpi_uninit();
// gpi_init opens the editor's message file, sets the database version, opens
// the project of the editor's initialisation file scribant.ini (its library
// list comes from that file's DIR lines), reads the editor settings from the
// same file, and re-reads the library list if reading the settings rewrote
// the file. Messages about the settings file appear on standard output, as
// the editor shows them; why a project cannot be opened goes to standard
// error (see Errors); nothing else is printed.
//
// Errors: every operation returns 1 (non-zero) for success and 0 for
// failure; the caller reports the failure. gpi_init alone also reports why
// the project could not be opened, through the error layer (ulErr.h). The
// editor's message file that cannot be opened raises the message layer's
// exception (see ulMsg.h).
//
// The run flags below are shared with the editor layers. Each is 0 or 1;
// q_quiet (sbMsg.h) silences the console output of the editor layers.
// Blocks. The interface works on one current block (q_get_block, vqBlock.h):
// every load makes the Block it returns current (also a Block read with
// problems, for which the load returns 0), and the edit, save, check, report
// and release operations act on the current block. A load does not release
// the block that was current before; a program releases each block it
// loaded before it loads the next:
//   if (gpi_load("mylib:and2", 1, 1)) {        // symbol and2.1 of mylib
//     vqBlock *b = q_get_block();
//     ... gpi_m_attr / gpi_a_attribute / gpi_d_attr ...
//     if (!gpi_save()) ... not written: report ...
//   }
//   gpi_unload();                               // also after a failed load
// Reference counts: a Block read from its file comes with one reference,
// the caller's; one found among the loaded Blocks gets one more. The first
// change of a Block takes a further reference and the block file's lock;
// gpi_save drops that reference, so gpi_save then gpi_unload frees the
// Block. A Block changed and never saved stays loaded, with its lock, until
// the end of the run (gpi_uninit closes the project, which releases every
// lock this process still holds).
//
// Edits. gpi_m_attr rewrites an attribute's text and leaves the Block's
// changed state alone; every other edit of this interface marks the Block
// changed (q_set_changed_flag). A refused edit leaves the Block as it was.
//
// Console output goes to standard output through q_putmsg, q_putline,
// ov_text, q_putmsgid and q_putlineid (sbMsg.h), all silent while q_quiet is
// set; gpi_report prints through the same printer.
//
// Single-threaded: the flags, the current block, the check counters and the
// project are process-wide.
#pragma once

#include "sbMsg.h"
#include "vqBlock.h"

// The current operation was cancelled by the user.
extern char q_rcancelled;
// A cancel request is pending.
extern char q_canc;
// What is shown no longer matches the block in memory.
extern char q_corrupt_display;
// The block read last held bad data.
extern char q_bad_data;

// Clears the run flags (q_quiet included), opens the editor's message file,
// takes the database version (q_get_version), opens the project (vqProjInit),
// reads the editor settings (q_scrib_init; a settings file read with errors
// still lets the interface start, with what could be applied) and completes
// the project's library list (vqProjBuiltinCheck). 1 on success; 0 when the
// version cannot be had or the project cannot be opened. The reason a
// project cannot be opened is reported through the error layer (standard
// error and the error log) before the 0 is returned.
int gpi_init();

// Closes the project database, releases every Block still loaded
// (vqBlockReleaseAll: no current Block, none found by a later load) and
// closes the message files. Returns 1. A later gpi_init starts afresh.
int gpi_uninit();

// ---- Loading --------------------------------------------------------------------
//
// kind is 1 for a symbol, 0 for a schematic sheet; number is the symbol's or
// sheet's number (the block file's extension). Each load clears q_rcancelled,
// q_canc, q_corrupt_display and q_bad_data first, loads with the block
// loader (vqBlockLoad), makes the Block it gives (or none) current, and
// returns 1 when the loader reported no problem and gave a Block, else 0.
// Names are lower-cased on the interface's own copy: the caller's text is
// never changed.

// Loads library:name (the library alias and ":" may be missing; the text is
// cut to its first 288 characters) in mode 0 (the file is opened for
// reading; the save takes care of writing). gpi_load("MyLib:AND2", 1, 1)
// loads symbol and2.1 of the library mylib.
int gpi_load(const char *libname, int kind, int number);

// gpi_load with a given load mode of the block loader.
int vgpiLoad(int kind, const char *libname, int number, int mode);

// The same with library and name given apart (library null or "": the
// default library).
int vgpiLoadBlock(int kind, const char *library, const char *name, int number, int mode);

// vgpiLoadBlock in mode 0.
int gpi_lib_load(const char *library, const char *name, int kind, int number);

// Loads name from the library directory given by its path
// (vqBlockLoadFromDir), mode 0. 1 exactly when the loader reported no
// problem.
int gpi_load_from_dir(const char *directory, const char *name, int kind, int number);

// ---- The current block ----------------------------------------------------------
//
// q_get_block() is declared in vqBlock.h.

// Stores the current block in *block (null when there is none). Without a
// current block reports editor message 1017 and returns 0; else 1.
int q_get_block_ptr(vqBlock **block);

// Makes block (may be null) the current block. No reference is taken.
// Returns 1.
int gpi_set_block(vqBlock *block);

// The object list of the current block; null when there is none.
vqObject *q_get_object_list();

// ---- Saving, restoring, releasing -----------------------------------------------

// Writes the current block to its block file (q_write_data: backup, new
// content, lock released). On success clears its changed state
// (q_clear_changed_flag, which drops the reference of the first change) and
// its temporary flag, and returns 1. 0 without a current block or when the
// write failed; the Block is then left as it was (still changed, locked and
// current).
int gpi_save();

// Reverts the current block to the content of its backup (q_restore_block).
// 1, or 0 without a current block.
int gpi_restore();

// Releases the current block: a schematic holding two references is
// released twice, any other Block once (q_free_block); the current block
// becomes none. 1, or 0 without a current block. A Block changed and not
// saved keeps the reference of its first change: it stays loaded, with its
// changes and its lock, and its file is not written.
int gpi_unload();

// Releases every loaded symbol that holds exactly one reference; the current
// block becomes none when it is one of the symbols visited. Returns 1.
int gpi_free_syms();

// Returns 1; there is no undo history to clear in a batch program.
int q_clr_undone_original();

// ---- Design check counters ------------------------------------------------------
//
// The counters add up the error and warning counts of the design checker
// (q_check_schematic, vqCheck.h) over several checks.

// Zeroes both counters. Returns 1.
int gpi_check_init_count();

// Runs the checker on the current block and adds the counts of that run to
// the counters. 1, or 0 without a current block.
int gpi_check();

// Adds the checker's latest counts to the counters again. Returns 1.
int gpi_check_inc_count();

// Stores both counters (each pointer may be null). Returns 1.
int gpi_check_get_count(unsigned *errors, unsigned *warnings);

// ---- Report ---------------------------------------------------------------------

// Prints the current block through q_putline: the header
//   "<block name> (<block type word of q_dtypes>) MBB = <x1> <y1> <x2> <y2>"
// then, per object of the object list, "<kind name of q_objects> C=<colour>
// F=<style> L=<line style>" (two blanks before F), the kind's own lines and
// an empty line. Kinds without a slot of their own are named "object".
//   text, attribute, label   "String: %s", "Origin: %d", "Orientation: %d",
//                            "Size: %d", "Invert: %d" (the sense bit),
//                            "Visibility: %d", "Displayed: %d",
//                            "Position: %d %d"
//   circle                   "Radius: %d"
//   arc                      "Point 1: %d %d" .. "Point 3: %d %d"
//   net                      "Id: %u", "Number of joints: %d", per joint
//                            "%d %d type=%d id=%d" (x, y, type, its 3-bit
//                            side field), "Number of segments: %d", per
//                            segment "%d %d %d %d" (its joints' points)
//   component instance       "Block: %s" (the symbol's name, else the name
//                            as read), "Orientation: %d", "Scale: %f",
//                            "Position: %d %d"
//   pin                      "Side = %d  Type = %d  %d" (the last: the top
//                            flag bit), "Id: %u", "Position: %d %d %d %d"
//   line, box                "Point: %d %d" per point
//   occurrence and meta      "Point: %d %d" (the anchor)
//   attributes
// 0 without a current block; else 1, also while q_quiet silences it.
int gpi_report();

// ---- Attribute operations -------------------------------------------------------
//
// Attribute texts are NAME=value or NAME alone (vqAttr.h). owner is a
// component instance, a pin or a net, or null for an attribute of the block
// itself; part is the owner part: the pin identifier of an instance's
// connection (0 for the instance itself), the segment identifier of a net,
// 0 for a pin. Every operation returns 1 when done and 0 when refused, and
// prints nothing (except gpi_a_attribute on a net without a segment).

// Replaces the text of an attribute (kind 6) by a pooled copy of text. The
// name is split from text itself (q_attr_name), which removes text's
// trailing blanks IN PLACE, so that the caller holds exactly the text the
// attribute holds. Refused when the object is no attribute, text is null,
// or the name of text differs from the attribute's name (exact comparison,
// at most 131 characters). Position, text settings and the Block's changed
// state are not touched.
int gpi_m_attr(char *text, vqObject *attribute);

// Adds an attribute with text to owner (null: to the current block itself)
// at the owner part. text loses its trailing blanks in place, as in
// gpi_m_attr, and the new attribute holds a pooled copy of what is left, so
// that the caller finds it by comparing with text. Refused (0, Block
// unchanged) when owner is given and is no instance, net or pin, when the
// name may not be added there (an existing
// name is allowed again in a symbol, and elsewhere only SIGNAL and EQUATE on
// an instance with part 0, PARAM anywhere, PROBE on a net; a new REFDES on an
// instance that has a reference designator and a new "#" on a connection
// that has a pin index are refused), when text is null or there is no
// current block, or when no default position can be found (an instance part
// that the symbol has no pin for; a net part that names no segment of the
// net, for which "Can not add attribute" is printed unless q_quiet is set).
// A pin's texts have part 0, whatever part says, also when the rule looks
// for the name. The new attribute takes the text defaults of the settings
// (size, font, colour, origin; visibility NEW_ATTR_VIS), stands at the head
// of the object list and of the owner's attached chain, and is placed one
// text spacing (ADISTANCE) above the texts standing in its owner's column;
// on an instance whose symbol has an attribute of the same name and part,
// it takes that attribute's look and position carried through the
// instance's placement (vqTransform.h). Marks the Block changed.
int gpi_a_attribute(char *text, vqObject *owner, vqId part);

// Deletes an attribute (kind 6) from the current block's object list and
// its owner's attached chain, and frees it. Refused for any other object or
// without a current block. Marks the Block changed.
int gpi_d_attr(vqObject *attribute);

// Sets (a pooled copy of text) or clears the reference designator of a
// component instance. Refused for any other object. Mark the Block changed.
int gpi_m_refdes(const char *text, vqObject *instance);
int gpi_d_refdes(vqObject *instance);

// Sets the pin index of the instance's connection whose pin identifier is
// pinId to that of text (q_get_pnindex). Refused for an object that is no
// instance or when no connection has that pin identifier. Marks the Block
// changed.
int gpi_m_pnum(const char *text, vqObject *instance, vqId pinId);

// Clears (0) the pin index of that connection. Refused as gpi_m_pnum, and
// for pinId 0. Marks the Block changed.
int gpi_d_pnum(vqObject *instance, vqId pinId);

// Gives an instance the reference designator attribute text (whose name
// must be REFDES): rewrites the instance's REFDES attribute when it has one,
// else adds one as gpi_a_attribute does, without its may-add rule; the
// instance's reference designator becomes the text's value. Marks the Block
// changed.
int gpi_a_refdes(const char *text, vqObject *instance);

// Gives the instance's connection pinId the pin number attribute text
// (whose name must be "#"): rewrites the "#" attribute of that part when
// there is one, else adds one as gpi_a_attribute does, without its may-add
// rule; the connection's pin index becomes that of the text's value. Refused
// when no connection has that pin identifier. Marks the Block changed.
int gpi_a_pinnum(const char *text, vqObject *instance, vqId pinId);
