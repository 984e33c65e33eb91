// symlist.h: the retag command's symbol list, its LTF file reader and
// writer, the keyword lists, the configuration file reader and a hash index.
//
// An LTF file lists symbols (block name and sheet number), each with its
// symbol attributes and its pins, each pin with its pin attributes, every
// attribute with its text placement:
//
//   .BL
//   S and2 1
//   A 0 0 1 10 0 1 REFDES=U?
//   P ~CLK
//   A 10 0 1 8 0 1 PINTYPE=IN
//   .EL
//
// Calling sequence of a run:
//
//   KeywordEntry *ini = nullptr, *ltf = nullptr;
//   vaAMInitAllKeywords(&ini, &ltf);
//   SymbolInfo *symbols = nullptr;
//   if (vaAMReadLTFFile(fp, &symbols, ltf, name) != 0) { ...fatal... }
//   IniKeyValue *settings = vaAMReadINIFile(cfg, ini, "retagcfg.ini");
//   ...
//   vaAMFreeSymbolInfo(symbols);
//   vaAMFreeINIKeyValues(settings);
//   vaAMFreeAllKeywords(ini, ltf);
//
// Order: every list is singly linked and grows at its head, so a list holds
// its records in the reverse of the order in which they were read: the last
// symbol of the file is the first of the list, and likewise for pins and
// attributes. Writing a list and reading it back therefore reverses it.
//
// Errors: every operation that can fail copies its message into the
// command's 128-byte error buffer vaAMErrorBufferV (retag.h) and returns 1 or
// null; none of them prints the failure (the caller decides whether the run
// ends). Messages that name a file, a line and a word always fit the buffer:
// an over-long file name or word is shortened (marked with "...") and the
// "File parse error at line N in file" head is kept.
//
// Ownership: every record is owned by the list that holds it, and every
// string field is an owned pooled string (ulStrCpy, freed with ulStrFree).
// SymbolInfo, PinInfo and AttributeInfo records come from the fixed-size
// free lists (ulMemFlAlloc), since a large list holds millions of them; the
// other records are plain heap blocks (ulMemMalloc). Never free a record on
// its own: release whole lists with the functions below. Free a whole symbol list with
// vaAMFreeSymbolInfo, a configuration list with vaAMFreeINIKeyValues and the
// keyword lists with vaAMFreeAllKeywords. Strings that an operation returns
// through an out parameter belong to the caller and are freed with
// ulStrFree.
//
// Printing: the LTF reader prints its progress ("\r%d symbol records
// found...") and a final line end on standard output; the configuration
// reader prints its warnings there too. Nothing here is thread-safe.
#pragma once

#include <cstdio>

#include "ulTk.h"

// The literal value of an attribute that has no value.
inline constexpr const char *vaAM_EMPTY_VALUE = "$EMPTY_VAL$";

// Number of buckets of the symbol hash index.
inline constexpr int vaAM_HASH_SIZE = 101;

// Token ids of the LTF record keywords.
enum {
  vaAM_LTF_BEGIN = 1,     // ".BL", begin of list
  vaAM_LTF_SYMBOL = 2,    // "S"
  vaAM_LTF_PIN = 3,       // "P"
  vaAM_LTF_ATTRIBUTE = 4, // "A"
  vaAM_LTF_END = 5        // ".EL", end of list
};

// Token ids of the configuration keywords.
enum {
  vaAM_INI_NEW_ATTR_VIS = 1, // "NEW_ATTR_VIS": visibility code of new attribute text
  vaAM_INI_TEXTSIZE = 2,     // "TEXTSIZE": text size
  vaAM_INI_ORIENTATION = 3,  // "ORIENTATION": orientation code
  vaAM_INI_TEXTORIGIN = 4    // "TEXTORIGIN": text origin code
};

// One attribute of a symbol or of a pin, with the placement of its text.
struct AttributeInfo {
  AttributeInfo *next; // following attribute of the same owner, or null
  char *name;          // attribute name (upper case once read from a file)
  char *value;         // attribute value; "$EMPTY_VAL$" for none
  int x;               // text position, block file units
  int y;               // (same)
  int visibility;      // visibility code of the text
  int size;            // text size
  int orientation;     // orientation code
  int origin;          // text origin code
  int used;            // 1 once written into a symbol block
};

// One pin of a symbol.
struct PinInfo {
  PinInfo *next;             // following pin of the symbol, or null
  char *name;                // pin name without its "~" inversion mark
  int inverted;              // 1 when the name was written with a leading "~"
  AttributeInfo *attributes; // the pin's attributes
};

// One symbol of the list: a block name and sheet number.
struct SymbolInfo {
  SymbolInfo *next;          // following symbol, or null
  AttributeInfo *attributes; // symbol attributes
  PinInfo *pins;             // pins
  char *name;                // block name as written in the LTF file
  int sheet;                 // sheet number (numeric extension of the block file)
};

// A keyword list entry handed to the token reader (fields: see ulTk.h).
using KeywordEntry = ulTkKeyword;

// One entry of the hash index over the symbols.
struct HashEntry {
  HashEntry *next;    // following entry of the bucket
  SymbolInfo *symbol; // the symbol indexed
  int used;           // 0 when created
};

// One accepted line of the configuration file.
struct IniKeyValue {
  IniKeyValue *next; // following (older) record, or null
  char *name;        // the keyword as written
  int value;         // its value, as atoi read it
  int id;            // the keyword's id (vaAM_INI_*)
};

// The hash index: vaAM_HASH_SIZE bucket heads, empty at start.
extern HashEntry *vaAMHashTableV[vaAM_HASH_SIZE];

// ---- Records: allocation, storing, release --------------------------------
//
// The allocators put a new zeroed record at the head of a list and return the
// new head; exhausted memory or a missing owner gives "Unexpected null
// pointer" in the error buffer and null (the list passed in is unchanged).
// The store functions return the record they were given, so calls chain; a
// null record or a null required argument gives "Unexpected null pointer"
// and null.

// New SymbolInfo whose next is list.
SymbolInfo *vaAMAllocateSymbolInfo(SymbolInfo *list);

// Puts a new PinInfo at the head of symbol's pins; returns symbol.
SymbolInfo *vaAMAllocatePin(SymbolInfo *symbol);

// New AttributeInfo whose next is list.
AttributeInfo *vaAMAllocateAnyAttribute(AttributeInfo *list);

// Stores a copy of name (required) and the sheet number.
SymbolInfo *vaAMStoreSymName(SymbolInfo *symbol, const char *name, int sheet);

// Stores a copy of name (required) into the symbol's first pin (the one added
// last), freeing a name stored before. Null when the symbol has no pin.
SymbolInfo *vaAMStorePinName(SymbolInfo *symbol, const char *name);

// Sets the inverted field of the symbol's first pin.
SymbolInfo *vaAMStorePinInversion(SymbolInfo *symbol, int flag);

// Set the text placement fields of an attribute.
AttributeInfo *vaAMStoreAttLocation(AttributeInfo *attribute, int x, int y);
AttributeInfo *vaAMStoreAttVisibility(AttributeInfo *attribute, int visibility);
AttributeInfo *vaAMStoreAttSize(AttributeInfo *attribute, int size);
AttributeInfo *vaAMStoreAttOrientation(AttributeInfo *attribute, int orientation);
AttributeInfo *vaAMStoreAttOrigin(AttributeInfo *attribute, int origin);

// Stores copies of name (required) and value; a null value stores
// "$EMPTY_VAL$". Strings stored before are freed.
AttributeInfo *vaAMStoreAnyAttribute(AttributeInfo *attribute, const char *name, const char *value);

// Frees every symbol of the list with its attributes, its pins and their
// attributes, and all their strings. Null is allowed.
void vaAMFreeSymbolInfo(SymbolInfo *list);

// ---- Keyword lists --------------------------------------------------------

// Builds the configuration keyword list into *ini, then the LTF keyword list
// into *ltf (each in reverse table order). Returns 1 when both exist, else 0
// with "Unexpected null pointer" in the error buffer and the failed list null.
int vaAMInitAllKeywords(KeywordEntry **ini, KeywordEntry **ltf);

// The LTF keyword list (".BL" 1, "S" 2, "P" 3, "A" 4, ".EL" 5), or null with
// "Unexpected null pointer".
KeywordEntry *vaAMInitLTFKeywords();

// The configuration keyword list ("NEW_ATTR_VIS" 1, "TEXTSIZE" 2,
// "ORIENTATION" 3, "TEXTORIGIN" 4), or null with "Unexpected null pointer".
KeywordEntry *vaAMInitINIKeywords();

// Free both keyword lists, or one, with their names. Null is allowed.
void vaAMFreeAllKeywords(KeywordEntry *ini, KeywordEntry *ltf);
void vaAMFreeAnyKeywords(KeywordEntry *list);

// ---- Hash index -----------------------------------------------------------

// Bucket of a text: the sum of every character taken as a signed 8-bit value
// and shifted left by (position mod 8) bits, in unsigned 32-bit arithmetic,
// modulo 101. The empty (or null) text is bucket 0; "AB" is bucket 96.
int vaAMGetHashCode(const char *text);

// New hash entry (symbol null, used 0) whose next is next; null with
// "Unexpected null pointer" when memory is exhausted.
HashEntry *vaAMAllocateHashEntry(HashEntry *next);

// Puts a new entry for symbol at the head of the bucket (0 to 100; others
// are ignored). Returns 0.
int vaAMAddHashEntry(SymbolInfo *symbol, int bucket);

// Indexes every symbol of the list under the key name + sheet in decimal
// ("and2" sheet 1 is "and21"). Returns 0. The entries live for the process.
int vaAMTransList(SymbolInfo *list);

// ---- LTF files ------------------------------------------------------------

// Reads the open LTF file fp into *list: new records go to the head of the
// list passed in (normally empty). keywords is the LTF keyword list;
// fileName is used in messages only. Prints the count of symbol lines as it
// goes and a final line end on standard output. Returns 0 at ".EL" or at the
// end of the file, 1 on error with the message in the error buffer; the
// records read so far stay in *list for the caller to free.
int vaAMReadLTFFile(FILE *fp, SymbolInfo **list, KeywordEntry *keywords, const char *fileName);

// An observer of the reader, for a checker that needs to know where each
// record stands in the file (retag has none). Called once for every word the
// reader takes as a record keyword or passes over in the preamble, in file
// order, before the rest of a record's line is read: id is the word's keyword
// id (0 for none), word the word, offset the file offset of a byte of the
// word's line (its last character or the line end behind it), and record
// the record the line fills: the new SymbolInfo of an S line, the new
// PinInfo of a P line, the new AttributeInfo of an A line, null for any
// other word. When the read fails, the failing line is the one last
// observed. proc null removes the observer.
using vaAMLtfObserver = void (*)(int id, const char *word, long offset, void *record, void *user);
void vaAMSetLtfObserver(vaAMLtfObserver proc, void *user);

// Line readers for the three record kinds: each reads the rest of the current
// line from fp and fills the record that the caller has just put at the head
// of its list (symbol: the symbol itself; pin: the symbol's first pin;
// attribute: the attribute record). line and fileName go into the messages.
// Return 0, or 1 with the message in the error buffer.
int vaAMReadSymbolLine(FILE *fp, SymbolInfo *symbol, int line, const char *fileName);
int vaAMReadPinLine(FILE *fp, SymbolInfo *symbol, int line, const char *fileName);
int vaAMReadAttributeLine(FILE *fp, AttributeInfo *attribute, int line, const char *fileName);

// Writes the list to fp as an LTF file, symbols, attributes and pins in list
// order. A null value is first replaced in the record by "$EMPTY_VAL$".
// Returns 0, or 1 with "Empty attribute name field" when an attribute has no
// name (what was written so far stays written).
int vaAMWriteLTFFile(FILE *fp, SymbolInfo *list);

// Prints the list on standard output in a readable form. An attribute
// without a name is a fatal error: "Empty attribute name field" is reported
// through vaAMHandleError and the dump ends there (the list is not freed).
// Returns 0.
int vaAMDumpSymbolList(SymbolInfo *list);

// ---- Attribute texts ------------------------------------------------------

// Splits NAME=VALUE at the first "=": *name receives what precedes it with
// every space and tab removed, *value what follows, unchanged (null when the
// text holds no "="). Only the first 159 characters of text are looked at.
// Both results are owned pooled strings (free with ulStrFree); the slots are
// set to null first. Returns 0, or 1 with "Empty attribute string" for a
// null or empty text.
int vaAMParseAttribute(const char *text, char **name, char **value);

// Removes every space and tab from text in place and returns it; null text
// gives null and "Unexpected null pointer".
char *vaAMRemoveBlanks(char *text);

// Returns a new pooled copy of text without its leading white space and
// frees text (which must be a pooled string); null stays null.
char *vaAMStripLeadingSpaces(char *text);

// ---- Configuration file ---------------------------------------------------

// Reads the open configuration file fp with the configuration keyword list
// and returns its accepted lines, newest first, or null: null means a fatal
// error (a keyword alone on its line, a value that is not a number) and also
// a file without any accepted line. fileName is used in messages only.
// Warnings (unknown or repeated keywords, a missing value at the end of the
// file, text after a value) are printed on standard output and reading goes
// on. The caller frees the result with vaAMFreeINIKeyValues.
IniKeyValue *vaAMReadINIFile(FILE *fp, KeywordEntry *keywords, const char *fileName);

// New record (name null, value 0) at the head of list; null with
// "Unexpected null pointer" when memory is exhausted.
IniKeyValue *vaAMAllocateINIKeyword(IniKeyValue *list);

// Stores a copy of keyword and its id from the keyword list (compared
// ignoring case; 0 when not listed). keyword must be a pooled string: it is
// freed in every case. Returns record, or null for a null record or keyword.
IniKeyValue *vaAMStoreINIKeyword(IniKeyValue *record, char *keyword, KeywordEntry *keywords);

// Stores the value; returns record (null for a null record).
IniKeyValue *vaAMStoreINIKeyValue(IniKeyValue *record, int value);

// The value of the first record of vaAMINIKeywordsV with this id. When there
// is none, copies "Unexpected value" into the error buffer, prints
// "WRONG.............\n" and returns 1.
int vaAMGetDefaultValue(int id);

// Returns id for the ids 1 to 4; for any other value prints
// "Illegal enum evaluation.\n" and "Illegal branch.\n" and returns 1.
int vaAMINIOrd(int id);

// Frees the records of a configuration list and their names. Null is allowed.
void vaAMFreeINIKeyValues(IniKeyValue *list);
