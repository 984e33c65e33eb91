// vqName.h: block names and library component names.
//
// A block is named three ways: by its library component name (an optional
// library alias, ":", the block name), by its block name with its sheet or
// symbol number as extension ("and2.1"), and by the path of its block file.
// This module splits and joins library component names, maps pin number
// texts to pin indexes, builds the names of a Block for messages and file
// access, and checks block, sheet and symbol names.
//
// Library component names: the first ":" separates library and component;
// without ":" the whole text is the component and the library is empty.
// Leading blanks before the library (or, without ":", before the name) are
// skipped. Valid name characters: letters, digits and "$&#@!%'`()-{}_^~".
// Sheet and symbol numbers are 0 to 999.
//
// Result buffers: every name builder returns a string of its own that its
// next call replaces (one buffer per function); q_split_lib_comp returns the
// library part in a static buffer of 545 bytes. Copy what you keep.
// q_merge_lib_comp returns a pooled string the caller frees (ulStrFree).
//
// Errors: the validity functions report editor messages through qErrReport
// (printed on standard output): 1086 bad name, 1194 number above 999, 1200
// not a valid file name, 1202 not a valid extension, 2005 unknown library.
//
// The pin index list of q_get_pnindex lives for the whole run.
// Single-threaded: buffers and the list are process-wide.
#pragma once

#include "vqBlock.h"

// Longest library alias and longest library component name.
inline constexpr int vqLIBRARY_MAX = 32;
inline constexpr int vqLIBCOMP_MAX = 544;

// The characters a block name may hold.
extern const char vqValidNameCharsV[];

// ---- Splitting and joining -------------------------------------------------------

// Splits text in place: the component name is moved to the start of text,
// and the library part (cut to 544 characters) is returned in a static
// buffer ("" when text has no ":"). A null text gives "".
char *q_split_lib_comp(char *text);

// library:component as a new pooled string, or the component alone when the
// library is null or empty. The caller frees it.
char *q_merge_lib_comp(const char *library, const char *component);

// The same text in the module's 545-byte buffer: the library cut to 32
// characters, the whole to 544. Valid until the next call.
const char *q_combine_lib_comp(const char *library, const char *component);

// ---- Pin numbers ---------------------------------------------------------------------

// The pin index of a pin number text: a number (ulStrIsnum) of value 0 or
// more gives that value (its integer part); any other text is looked up in the
// run's list of non-numeric pin number texts: entry k (from 1) gives -k, a
// new text is appended and gives minus the new length. Null counts as "".
int q_get_pnindex(const char *text);

// The pin number text of a pin index: the decimal number for 0 or more, the
// list entry for -k; "" for an index the list does not hold. The decimal
// form is in a buffer valid until the next call.
const char *vqPnindexText(int index);

// ---- Names of a Block -----------------------------------------------------------------

// library:name, or name when the library is empty; null for a null Block.
const char *q_libcomp_name(const vqBlock *block);

// name.number (vsMerge), with "library:" in front when library is not empty.
const char *vqBuildBlockName(const char *library, const char *name, int number);

// vqBuildBlockName of the Block's library, name and number.
const char *q_libcompext_name(const vqBlock *block);

// The full spec of the Block's file (vqpFileIDGetSpec) when it has one, else
// the primary library directory's path with name.number.
const char *q_file_name(const vqBlock *block);

// q_libcompext_name when the Block has a library, else q_file_name.
const char *q_lib_block_name(const vqBlock *block);

// By form: 7 q_lib_block_name, 5 q_file_name, 3 vqBuildBlockName,
// 1 "name.number", 2 and every other form q_libcomp_name.
const char *vqBlockFullName(const vqBlock *block, int form);

// The Block's library when not empty; else the directory of its file
// (vqpFileIDGetPath), or the primary library directory without a file.
const char *vqBlockDirName(const vqBlock *block);

// The extension of the Block's file name: for kind 4 the kind's name of the
// block-type table ("pin"), else the number in decimal. Static buffer.
const char *q_file_extension(const vqBlock *block);

// ---- Validity ------------------------------------------------------------------------------

// Checks a block name of at most 544 characters (longer texts are cut) of
// kind. An unknown non-empty library: 2005 and 0. An empty name or one with
// an invalid character: 1086 and 0. For kind 4 a non-empty extension other
// than "pin" (ignoring case): 0. Other kinds: an extension whose number is
// above 999: 1194 and 0; one that is not a valid extension: 1202, and the
// check goes on. A name that is not a valid file name: 1200, and the check
// goes on. Copies the parts into the given buffers (each may be null;
// library 545 bytes, name and extension vsMAXPATH) and returns 1.
int vqValidFileName(const char *text, int kind, char *library, char *name, char *extension);

// An empty text is valid (1) while no symbol block is loaded; otherwise
// vqValidFileName(text, 0, ...).
int q_valid_block_name(const char *text);

// 1 when atoi(text) is below 1000 (an invalid extension still gives 1202);
// above 999: 1194 and 0.
int q_valid_sheet_num(const char *text);

// 1 when text parses into a non-empty name of valid characters that is a
// valid file name and an extension that is a valid extension and a number
// (ulStrIsnum) below 1000; else 0. No message.
int q_valid_symbol_name(const char *text);

// Library component parsers, without messages: text is [library:]name[.ext]
// with a library that is empty or known to the project, a non-empty name of
// valid characters that is a valid file name, and an extension that is empty
// or a number 0..999; for symbols the extension may also be one of the
// qualifier words of qualifiers (separated by blanks or commas). 1 or 0.
int q_lib_sym_parse(const char *text, const char *qualifiers);
int q_lib_sch_parse(const char *text);

// isSymbol 1: q_lib_sym_parse with the configured symbol qualifiers, or "1"
// when none are configured; 0: q_lib_sch_parse. vqSymbolNameIsValid(text)
// is vqBlockNameIsValid(1, text).
int vqBlockNameIsValid(int isSymbol, const char *text);
int vqSymbolNameIsValid(const char *text);

// Whether the block file of kind named by blockName exists: -1 when the name
// is not valid (vqValidFileName, with its messages); otherwise splits it into
// library, name and number (1 for kind 4 or when none is given) and asks
// vqpFileExists. 1 or 0.
int vqFexists(int kind, const char *blockName);
