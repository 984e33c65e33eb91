// apply.h: the retag command's work on one block file of the destination
// library: attribute application.
//
// The directory loop calls vaAMApplyAttributes once for every file of the
// library's "sym" directory that matches "*.*", with the symbol list as its
// user value:
//
//   vsLoop2(pattern, vsFILE, vaAMApplyAttributes, symbols);
//
// For a file whose extension is a number (the symbol's number), the callback
// loads the symbol through GPI by its load name (the alias, ":", the file's
// name part), finds its SymbolInfo, rewrites each attribute of the block that
// the list names, adds the list's attributes that the block lacks, saves the
// block (the save backs the old file up, rewrites it and unlocks it) and
// releases it. A symbol whose work fails before the save is released unsaved,
// so its block file stays as it was.
//
// Matching. A block matches the first SymbolInfo of the list, in list order
// (the symbol read last first), whose name equals the block's name ignoring
// case and whose sheet equals the block's number. The callback finds it
// through an index built at its first call for a given list, so a visit costs
// O(N) for N symbols, not one list walk per file. The index belongs to the
// list's head record: vaAMFreeSymbolInfo forgets it, and a list whose head
// changes is indexed anew. Do not rename the records of an indexed list.
// A block attribute without owner is a symbol attribute; one with an owner
// is a pin attribute, whose pin name and sense are the text and sense bit of
// the first label in the chain of its associated pin (the first pin object
// met when following the object list from the owner, the owner first).
// Matching the list's pins ignores case when an existing pin attribute is
// rewritten, and is exact when a pin attribute is added.
//
// Text settings. Every attribute written gets x and y from its
// AttributeInfo; orientation, origin, visibility and size from it as well,
// or, with "-override", from the configuration (vaAMGetDefaultValue; a
// missing setting prints "WRONG.............\n" and gives 1). The placement
// word keeps the lowest 3, 4 and 2 bits; the size is stored whole. A value of
// "$EMPTY_VAL$" (any case) writes the attribute as its name alone.
//
// Reporting. Every failure of a symbol is written into the log
// (vaAMLogFileFpV) and counted in vaAMErrorCountV; no failure ends the visit.
// Two lines are information only and not counted: a block attribute that the
// list does not name, and a pin attribute whose list entry was already used.
// A pin attribute without a pin (or whose pin has no label) has no pin name:
// it matches no pin of the list, so its symbol fails, and it is shown as
// "<no pin>" in the debug line and the log lines that carry a pin name.
// vaAMSymbolCountV counts the symbols that reached the save, saved or not.
// Debug mode ("-debug") prints the file's parts, the matching and one trace
// line per applier result on standard output.
//
// Progress. While standard error is a terminal (and debug mode is off), the
// visit keeps one line there (the status line of retagInternal.h), redrawn
// at most ten times a second, with the symbols visited (of the total the
// driver gave, vaam::progressTotal), the errors so far and, after a second,
// an estimate of the time left; main erases it after the loop with
// vaAMProgressEnd. Otherwise nothing extra is printed.
//
// The current GPI block is this module's from a load to its release; between
// files nothing of a block survives, only the used marks of the list's
// AttributeInfo records and the counters. Single-threaded.
#pragma once

#include "symlist.h"
#include "vqBlock.h"

// The directory-loop callback for one file path; symbols is the SymbolInfo
// list. Returns vsLOOP to go on, vsSTOP (with "Incorrect path
// specification" in the error buffer) when the path cannot be split.
int vaAMApplyAttributes(char *path, void *symbols);

// Rewrites the symbol attribute from the first unused AttributeInfo of the
// symbol's attributes with the same name (ignoring case), and marks it used.
// 0 when done or when the list has no such attribute (logged, not counted);
// 1 on failure (the text cannot be split, or gpi_m_attr refuses the new text:
// logged), with the message in the error buffer.
int vaAMApplyExistingSymAtt(vqText *attribute, SymbolInfo *symbol);

// Rewrites the pin attribute from the first AttributeInfo of the same name
// (ignoring case) of the first PinInfo named pinName (ignoring case) whose
// inverted field equals sense. The new text keeps the block's own attribute
// name. 0 when done, when that pin has no such attribute, or when it was used
// already (logged, not counted); 1 when the list lacks the pin (logged and
// counted here), when the text cannot be split, or when gpi_m_attr refuses
// (logged). pinName null stands for a pin attribute without pin name.
int vaAMApplyExistingPinAtt(vqText *attribute, const char *pinName, int sense, SymbolInfo *symbol);

// Adds each unused symbol attribute of the list to block, in list order, and
// marks it used. A refused addition ends the additions with 0 ("Unable to
// add attribute to symbol" in the error buffer); 1 when a new attribute
// cannot be placed.
int vaAMApplyNonexistingSymAtt(vqBlock *block, SymbolInfo *symbol);

// Adds each unused pin attribute of the list to every pin of block whose
// first label's text equals the PinInfo's name exactly and whose sense bit
// equals its inverted field, and marks it used. 0 when done; 1 when an
// addition is refused or a new attribute cannot be placed.
int vaAMApplyNonexistingPinAtt(vqBlock *block, SymbolInfo *symbol);

// Gives the attribute just added (the first attribute object of block's list
// whose text equals text ignoring case) the position and text settings of
// info. mode 0 for a symbol attribute, 1 for a pin attribute: meeting an
// attribute of the other kind first prints "Illegal addition.\n" (mode 1) or
// "Illegal addition 2.\n" (mode 0) and gives 1, as does a pin attribute
// without pin ("Could not find pin.\n"). 0 when placed or when none matched.
int vaAMChangeNewAttPosition(vqBlock *block, const char *text, AttributeInfo *info, int mode);

// Sets the position and the text settings of attribute from info (or the
// configuration with override). Returns 0.
int vaAMSetAttValues(vqText *attribute, AttributeInfo *info);

// Copies x and y of info into attribute. Returns 0.
int vaAMUpdatePosition(vqText *attribute, AttributeInfo *info);

// 1 when attribute stands at the position of info, else 0.
int vaAMCheckCoords(const vqText *attribute, const AttributeInfo *info);

// The pin name of a pin attribute: the text of the first label of its
// associated pin, with the label's sense bit in *sense; null (and *sense 0)
// when there is no such pin or label. The text is the block's own.
const char *vaAMGetAssociatedPin(const vqText *attribute, int *sense);

// Erases the progress line of the visit, when one was drawn.
void vaAMProgressEnd();
