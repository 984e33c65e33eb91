// companion.h: the commands that stand beside retag and share its code.
//
//   ltfextract destination_lib_alias LTF_file_name
//       writes the attributes of every symbol of the library as an LTF list
//       that retag reads (vaAMExtractLibrary);
//   blkcheck destination_lib_alias [block_name ...]
//       reads the library's symbol block files with the block reader and
//       reports every problem with its file and line (vaAMCheckLibrary).
// The third companion, retagplan, is retag's own run (vaAMRun with
// vaAMPreviewV set, retag.h) and needs nothing of this header.
//
// Calling sequence of a command's main:
//   vaAMStartCommand(argv[0], nullptr);     // GPI, current project
//   if (vaAMParseCompanionArgs(argc, argv)) ... usage, exit 0 ...
//   vaAMResolveLibraryToRead(alias, &path)  // retag.h; fatal on 1
//   ... the command's work ...
// A command visits the same files retag does: the files of the library
// directory's "sym" subdirectory whose extension is a number, in name order
// (vaAMForEachSymbolFile).
//
// Errors: fatal problems (no project, an unknown library) end the process
// with status 3 through vaAMCompanionFatal; everything about one block is
// printed and counted, and the work goes on with the next block.
//
// Ownership: strings handed in stay the caller's; nothing returned needs
// freeing. Single-threaded, like the whole system.
#pragma once

#include <functional>

#include "symlist.h"
#include "vqBlock.h"

// ---- Shared by the commands -------------------------------------------------------

// Records the program's directory (for its message files and default
// scribant.ini), prints the banner with title unless title is null, starts
// the GPI layer and takes the current project into ProjectID. A GPI that
// cannot start ends the process: "Unable to initialize GPI", status 3.
void vaAMStartCommand(const char *program, const char *title);

// Prints the message of vaAMErrorBufferV on standard error as "program:
// message" (its own line end dropped) and exits with status 3.
[[noreturn]] void vaAMCompanionFatal(const char *program);

// Lower-cases every argument after the program name in place, as retag does,
// and tells whether the usage is wanted: no argument, or an argument that
// begins with "-help". Returns 1 for the usage, else 0.
int vaAMParseCompanionArgs(int argc, char **argv);

// Calls visit(path, name, number) for every file of libraryPath/sym whose
// name part matches pattern ("*" for all) and whose extension is a number,
// in ascending name order; other files are passed over without a word.
// Returns the directory loop's status (vsNOTFOUND when nothing matched).
using vaAMSymbolFileProc = std::function<void(const char *path, const char *name, int number)>;
int vaAMForEachSymbolFile(const char *libraryPath, const char *pattern,
                          const vaAMSymbolFileProc &visit);

// ---- blkcheck ---------------------------------------------------------------------

// What a check found.
struct vaAMCheckCounts {
  int blocks;   // block files read
  int warnings; // problems the reader counts as warnings
  int errors;   // problems counted as errors, blocks that could not be read
};

// Reads the symbol block file at path (block name and number of library
// alias) with the block reader into a Block of its own, without a lock and
// without writing anything, and frees it again. Each problem is printed on
// standard output as "path:line: warning: text" or "path:line: error: text"
// ("path: error: text" for a problem of the whole block), and counted. A
// file that cannot be opened is one error.
void vaAMCheckBlockFile(const char *path, const char *alias, const char *name, int number,
                        vaAMCheckCounts *counts);

// Checks the symbol block files of the library directory libraryPath of
// library alias: every one, or those named in names (count of them): a name
// with a numeric extension names one file, a name without extension every
// numbered file of that name. A name that matches no file prints
// "libraryPath/sym/name: error: no such block file" and counts one error.
void vaAMCheckLibrary(const char *libraryPath, const char *alias, char *const *names, int count,
                      vaAMCheckCounts *counts);

// The exit status of a check: 0 clean, 1 warnings only, 2 errors.
int vaAMCheckStatus(const vaAMCheckCounts *counts);

// ---- ltfextract -------------------------------------------------------------------

// What an extraction wrote and left out.
struct vaAMExtractCounts {
  int symbols;  // symbols written to the list
  int warnings; // attributes left out, symbols that could not be read
};

// Puts one SymbolInfo for the symbol block at the head of *list: the block's
// name and number, its symbol attributes and, per pin name and sense, the
// attributes of its pins, each with its position and text settings, named
// and valued as the LTF reader gives them back (upper case, blanks out of
// the name). Only what survives a round trip is listed: retag, applying the
// list to the block, rewrites every listed attribute with its own text and
// settings and adds nothing. An attribute that would change or make retag
// refuse the symbol (a value in lower case, a name in lower case or with
// blanks, a tab, a line too long for the list) is left out, with every
// symbol attribute of the same name, since retag matches those in turn; of
// the attributes of one name on the pins of one name and sense retag sets
// only the first, so only that one is listed. Each attribute left out
// prints one line on standard output ("SYMBOL name.number attribute TEXT
// ...") and counts a warning. The order of the list is the one retag needs:
// symbol attributes of one name in the reverse of the block's order, since
// the reader reverses the list. Returns 0, or 1 with "Unexpected null
// pointer" in vaAMErrorBufferV when a record cannot be had.
int vaAMExtractSymbol(const vqBlock *block, SymbolInfo **list, vaAMExtractCounts *counts);

// Extracts every symbol of the library directory libraryPath of alias (the
// files retag visits, loaded as retag loads them, for reading only: nothing
// is locked or written) and writes the list to fileName, which is replaced
// whole or not at all. A symbol that cannot be loaded prints "Could not get
// the SYMBOL information from alias:name.number" and counts a warning.
// Returns 0, or 1 with the message in vaAMErrorBufferV when the list cannot
// be written (the file is then as it was).
int vaAMExtractLibrary(const char *libraryPath, const char *alias, const char *fileName,
                       vaAMExtractCounts *counts);
