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
//   vaAMCompanionArgs args = vaAMStartCompanion(argc, argv, spec); // options, GPI
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

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "symlist.h"
#include "vqBlock.h"

// ---- Shared by the commands -------------------------------------------------------

// A companion's command line, as its start-up parsed it.
struct vaAMCompanionArgs {
  std::vector<char *> positional; // the arguments that are not options, in order
  std::vector<std::string> flags; // the options given (lower case), in order

  bool has(const char *flag) const;
};

// What a companion accepts on its command line.
struct vaAMCompanionSpec {
  const char *name;  // the program's name, for --version and messages
  const char *usage; // the text --help prints on standard output
  // The options the command takes besides --help and --version, in lower
  // case ("--json", "-n"); an argument equal to one of them is an option.
  std::vector<const char *> options;
  // Arguments that begin with one of these are retag's own switches
  // ("-debug", "-override"): kept among the positional arguments, in place.
  std::vector<const char *> passThrough;
  // The fewest positional arguments the command needs; with fewer it ends
  // with "Insufficient command line" (status 3) once the GPI has started.
  size_t required = 0;
};

// The start of every companion. Lower-cases every argument after the
// program name in place, as retag does, and parses them before anything is
// touched: "--help", an argument beginning with "-help" or no argument at
// all prints the usage and exits with status 0; "--version" prints
// "NAME (retag) VERSION" and exits with status 0; an argument beginning
// with "-" that is no option of the command prints "NAME: unknown option
// 'ARG'" and a pointer to --help on standard error and exits with status 3.
// "--" ends the options; a lone "-" is positional. Then records the
// program's directory (for its message files and default scribant.ini),
// starts the GPI layer and takes the current project into ProjectID; a GPI
// that cannot start ends the process: "Unable to initialize GPI", status 3.
vaAMCompanionArgs vaAMStartCompanion(int argc, char **argv, const vaAMCompanionSpec &spec);

// Only the parsing of vaAMStartCompanion, for retagplan, whose run starts
// the GPI layer itself.
vaAMCompanionArgs vaAMParseCompanionArgs(int argc, char **argv, const vaAMCompanionSpec &spec);

// The end of a companion whose work threw (memory exhausted while its
// JSON document was built): prints "program: what" on standard error and
// returns 3, for main to return.
int vaAMCompanionFailed(const char *program, const char *what);

// Prints the message of vaAMErrorBufferV on standard error as "program:
// message" (its own line end dropped) and exits with status 3.
[[noreturn]] void vaAMCompanionFatal(const char *program);

// The main of a companion: returns run(argc, argv), or, when run throws,
// what vaAMCompanionFailed returns for the exception.
int vaAMCompanionMain(int argc, char **argv, int (*run)(int, char **));

// The directory of the library alias names (resolved as retag resolves its
// destination when forWriting, else as a library to read), an ulMemMalloc'd
// string for the caller to free with ulMemFree; a library that cannot be
// resolved ends the command through vaAMCompanionFatal.
char *vaAMCompanionLibrary(const char *program, const char *alias, bool forWriting);

// Calls visit(path, name, number) for every file of libraryPath/sym whose
// name part matches pattern ("*" for all) and whose extension is a number,
// in ascending name order; other files are passed over without a word.
// Returns the directory loop's status (vsNOTFOUND when nothing matched).
using vaAMSymbolFileProc = std::function<void(const char *path, const char *name, int number)>;
int vaAMForEachSymbolFile(const char *libraryPath, const char *pattern,
                          const vaAMSymbolFileProc &visit);

// Calls visit for the symbol block files named by names (count of them), in
// the order of the names, or for every one (vaAMForEachSymbolFile) when
// count is 0: a name with a numeric extension names one file, a name without
// extension every numbered file of that name. A name that matches no file
// calls missing with the path it would have (libraryPath/sym/name).
void vaAMForEachNamedSymbolFile(const char *libraryPath, char *const *names, int count,
                                const vaAMSymbolFileProc &visit,
                                const std::function<void(const char *path)> &missing);

// "locked by OWNER on HOST (process PID)" for the lock of the symbol block
// name.number of library alias, or "locked (its lock file cannot be read)".
std::string vaAMLockHolder(const char *alias, const char *name, int number);

// Why a save of the symbol block file at path (block name and number of
// library alias) would be refused now, as far as can be seen without
// writing or locking; "" when nothing stands in its way. A lock another
// live process holds ("it is locked by ..."; an orphan of this host, which a
// save takes over, does not count), a block file that cannot be written
// ("the block file cannot be written (Permission denied)"), a directory
// that cannot be written (for the backup and the new file).
std::string vaAMSaveObstacle(const char *path, const char *alias, const char *name, int number);

// ---- blkcheck ---------------------------------------------------------------------

// One message of a companion: "file:line: severity: text", or "file:
// severity: text" for a message about a whole file (line 0).
struct vaAMMessage {
  std::string file;
  int line;
  std::string severity; // "error", "warning" or "note"
  std::string text;
};
using vaAMMessages = std::vector<vaAMMessage>;

// How a file is named in messages: relative to the current directory when
// it lies below it, else as given.
std::string vaAMShownPath(const std::string &path);

// Prints the message on standard output, or, when kept is not null (the
// command writes JSON), appends it to kept instead.
void vaAMEmit(vaAMMessages *kept, vaAMMessage message);

// The messages as a JSON array of objects {"file", "line", "severity",
// "text"}; line is null for a message about a whole file.
nlohmann::json vaAMMessagesJson(const vaAMMessages &messages);

// Writes document on stream as the one JSON document of a command's output
// (indented, a line end after it). Text that is not valid UTF-8 is written
// with U+FFFD in place of each bad byte.
void vaAMPrintJson(FILE *stream, const nlohmann::json &document);

// One block file a check looked at.
struct vaAMCheckedFile {
  std::string file; // as messages name it
  bool read;        // false: it could not be opened or was refused as a block
  int warnings;
  int errors;
};

// What a check found.
struct vaAMCheckCounts {
  int blocks;                   // block files read
  int warnings;                 // problems the reader counts as warnings
  int errors;                   // problems counted as errors, files that could not be read
  int unreadable = 0;           // files that could not be opened or read as a block
  vaAMMessages *kept = nullptr; // where the messages go instead of standard output
  std::vector<vaAMCheckedFile> *files = nullptr; // when set, each file checked is added
};

// Reads the symbol block file at path (block name and number of library
// alias) with the block reader into a Block of its own, without a lock and
// without writing anything, and frees it again. Each problem is printed on
// standard output as "path:line: warning: text" or "path:line: error: text"
// ("path: error: text" for a problem of the whole block), and counted. A
// file that cannot be opened, or that the reader refuses as a block (no
// version line, a version not accepted), counts as unreadable, not as read,
// besides its error.
void vaAMCheckBlockFile(const char *path, const char *alias, const char *name, int number,
                        vaAMCheckCounts *counts);

// Reads the symbol block file at path as vaAMCheckBlockFile does, without a
// word; the Block, which the caller frees with q_free_block, or null when the
// file cannot be opened or the reader refuses it as a block.
vqBlock *vaAMReadBlockQuietly(const char *path, const char *alias, const char *name, int number);

// Checks the symbol block files of the library directory libraryPath of
// library alias: every one, or those named in names (count of them): a name
// with a numeric extension names one file, a name without extension every
// numbered file of that name. A name that matches no file prints
// "libraryPath/sym/name: error: no such block file" and counts one error.
void vaAMCheckLibrary(const char *libraryPath, const char *alias, char *const *names, int count,
                      vaAMCheckCounts *counts);

// The exit status of a check: 0 clean, 1 warnings only, 2 errors, 4 when a
// block file could not be read (whatever else was found).
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

// ---- ltfcheck ---------------------------------------------------------------------

// One S record of a checked list and what retag would do with it.
struct vaAMListSymbol {
  std::string name; // as the list writes it
  int sheet;
  int line;          // its physical line in the list file
  std::string block; // the block file it is applied to, "" when none
  // "apply": retag applies it; "fail": retag would fail the symbol and leave
  // it unsaved; "repeated": a later S record of the same symbol wins;
  // "no block": the library has no such block.
  std::string result;
};

// What a check of a list found: its messages (list problems first, in line
// order, then those of library blocks, in name order) and the list's
// symbols, in file order.
struct vaAMListCheck {
  vaAMMessages messages;
  std::vector<vaAMListSymbol> symbols;
  int blocks = 0; // symbol block files of the library
  int warnings = 0;
  int errors = 0;
};

// Checks the LTF list fileName (named shownName in messages) against the
// symbol blocks of the library directory libraryPath of alias, as retag
// would apply it, reading the list exactly as retag does; nothing is locked
// or written. Errors are what would make retag log an error, skip or fail a
// symbol, or stop: a parse error of the list (the check ends there), a
// header in the wrong case, a library block the list lacks, a pin attribute
// of a block on a pin the list's symbol lacks, a block symbol attribute whose
// name differs from the list's only in case. Warnings: a repeated S record,
// a list symbol the library lacks, a value that will be upper-cased or
// trimmed. Returns 0, or 1 with "File NAME could not be opened." in
// vaAMErrorBufferV.
int vaAMCheckList(const char *fileName, const char *shownName, const char *libraryPath,
                  const char *alias, vaAMListCheck *check);

// The exit status of a list check: 0 clean, 1 warnings only, 2 errors.
int vaAMListStatus(const vaAMListCheck *check);

// ---- retagrestore -----------------------------------------------------------------

// One block retagrestore looked at.
struct vaAMRestored {
  std::string file;   // the block file, as messages name it
  std::string backup; // its backup
  // "swapped", "would swap" (-n), "locked", "refused" (write-protected, not
  // a regular file), "no backup" (a named block only), "failed".
  std::string result;
  std::string reason; // "" when swapped or to be swapped, else why not
};

// What a restore did.
struct vaAMRestore {
  bool named = false;           // blocks were named: one without backup is refused
  vaAMMessages *kept = nullptr; // where the messages go instead of standard output
  std::vector<vaAMRestored> blocks;
  int swapped = 0; // swapped, or to be swapped with -n
  int refused = 0;
};

// Exchanges the symbol block file at path (block name and number of library
// alias) with its backup (path.bac), so that the block holds what the last
// save replaced and the backup what the block held; a second exchange
// undoes the first. Done as a save is done: under the block's lock, taken
// first (a lock of another process refuses the block, naming its holder),
// refused for a block file that is write-protected or not a regular file.
// The exchange is one atomic step where the system has one, else a
// sequence in which the block always holds one of the two contents. A
// block without backup is passed over (refused when restore->named). With
// dryRun nothing is locked or changed: the block is only looked at. Prints
// "swapped FILE with BACKUP" ("would swap" with dryRun) on standard output,
// or "FILE: error: not restored: REASON" (vaAMEmit), and counts.
void vaAMRestoreBlock(const char *path, const char *alias, const char *name, int number,
                      bool dryRun, vaAMRestore *restore);

// The exit status of a restore: 0 every block swapped (or to be swapped),
// 2 when one was refused or failed.
int vaAMRestoreStatus(const vaAMRestore *restore);
