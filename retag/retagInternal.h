// retagInternal.h: what the files of the command share inside (not for other
// modules): the size of its line buffers, its fixed message texts and the
// writers of those messages into the error buffer, the one printer of an
// attribute line that the LTF writer and the list dump both use, and the
// release of the symbol index that attribute application builds, and the
// interrupts of a visit.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

#include "retag.h"
#include "symlist.h"
#include "vqBlock.h"

namespace vaam {

// A word or a line of an LTF record or a configuration line: at most 159
// characters and the terminator.
inline constexpr int kLineSize = 160;

// The message of a missing record, a missing argument or exhausted memory.
inline constexpr const char *kNullPointer = "Unexpected null pointer";

// Puts text into the error buffer as it is (cut at the buffer's end).
inline void setError(const char *text) {
  vaAMSetError("%s", text);
}

// Puts "File parse error at line N in file F<tail>\n" into the error buffer;
// when that does not fit, "File parse error\n" alone. tail is "" or starts
// with ": ".
void setParseErrorOrShort(int line, const char *file, const char *tail);

// The value of a number word of an LTF or configuration file: true when
// ulStrIsnum accepts the word and its integer part fits an int, with the
// value atoi gives it in *value. A larger number is refused rather than
// wrapped, so that it cannot turn into a different, valid-looking value.
bool numberValue(const char *word, int *value);

// A word of an input file as a message shows it: as it is, or, when it holds
// control characters or zero bytes (which would garble a terminal or the log,
// or cut the word short), with every control and non-ASCII character escaped
// (ulStrCvtToAscii; a zero byte as \000). The first form takes the length of
// a word that may hold zero bytes.
std::string shownWord(const char *word, size_t length);
std::string shownWord(const char *word);

// Keeps the last n characters of text (n at least 3), the first three of
// them "..." when text is longer than n: the end of a path names the file.
std::string clipHead(const char *text, size_t n);

// The two forms of an attribute line.
enum class AttributeForm {
  Ltf,     // "A x y vis size orien origin NAME=VALUE", as an LTF file holds it
  Readable // "X = x  Y = y  VIS = ...  NAME=VALUE", the list dump
};

// Prints one attribute line to fp. A missing value is first replaced in the
// record by "$EMPTY_VAL$". False, with "Empty attribute name field" in the
// error buffer and nothing printed, when the attribute has no name.
bool printAttribute(FILE *fp, AttributeInfo *attribute, AttributeForm form);

// The text an attribute is written with: NAME=VALUE, or NAME alone when the
// value is null or "$EMPTY_VAL$" (any case). A pooled string, the caller's.
char *attributeText(const char *name, const char *value);

// Drops the symbol index that attribute application keeps for the list whose
// head is list, if it has one; the list is about to be freed.
void forgetSymbolIndex(const SymbolInfo *list);

// The preview's part of the visit (retagplan, vaAMPreviewV set). previewBegin
// takes note of the attributes of the block just matched with the list and
// prints "SYMBOL load_name.extension"; previewSave stands in for the save: it
// prints each attribute that differs from the note (rewritten, with its old
// and new text and its settings when they changed, or added) and a summary
// line, drops the Block's changed state (so that the release frees it) and
// returns 1, as a good save does.
// retagplan's usage text.
extern const char *const kPreviewUsage;

// What retagplan prints on standard output: the text above (the default), a
// unified diff of every block file a save would change (--diff), or one
// JSON document (--json). The last two are set before the run: standard
// output then carries the diff or the document alone, and everything else
// the run prints goes to standard error. previewLog is the stream the run
// writes its log lines to (standard output, or for JSON a stand-in that
// keeps them as the document's messages); the driver calls previewVisit
// with each file before its visit and previewEnd after the visit, which
// writes the JSON document (list and alias name the run).
enum class PreviewFormat { Text, Diff, Json };
void previewSetFormat(PreviewFormat format);
FILE *previewLog();
void previewVisit(const char *path);
void previewEnd(const char *ltfName, const char *alias);

// The unified diff of before and after, both files named label ("---" and
// "+++" lines, then "@@" hunks with three lines of context); "" when they are
// equal. A last line without line end is marked as diff marks it.
std::string unifiedDiff(const std::string &label, const std::string &before,
                        const std::string &after);

void previewBegin(const vqBlock *block, const char *loadName, const char *extension);
int previewSave(vqBlock *block);

// The status line of a run on standard error, for a terminal only (the
// caller decides): statusShow draws text on it (cut to the terminal's width,
// blanks over what a longer text left), statusClear erases it. The progress
// of the visit and the lock waits share it.
void statusShow(const std::string &text);
void statusClear();

// Shows each wait for a lock file that cannot be read yet on the status
// line ("waiting for the lock of ALIAS:NAME held by PID@HOST"), erased when
// the wait ends (vfpLockWaitNoteV). Only while standard error is a terminal.
void watchLockWaits();

// The number of block files the visit will pass, for the progress line
// (visited/total and the time left); 0, the default, shows no total. Starts
// the clock of the estimate.
void progressTotal(int total);
// Forgets the progress of an earlier visit: the next visit decides again
// whether standard error is a terminal and starts counting from 0.
void progressReset();

// Interrupts. The driver calls catchInterrupts right before the visit of the
// library: from then on SIGINT, SIGTERM, SIGHUP and SIGPIPE (those not ignored
// when the run began) only set a flag, which interruptSignal reads. The driver checks
// it before each file of the visit and ends the visit there; the run then
// writes its counts, releases what it holds and calls endByInterrupt, which
// ends the process by that very signal (default action), so that its parent
// sees how it ended. Before the visit the four signals keep their default
// action: nothing is written or locked in the library yet.
void catchInterrupts();
// The first of the four signals caught since catchInterrupts, 0 while none.
int interruptSignal();
// "SIGINT", "SIGTERM", "SIGHUP" or "SIGPIPE" (a static text).
const char *signalName(int sig);
// Flushes every output stream and ends the process by signal sig.
[[noreturn]] void endByInterrupt(int sig);

// Grouped saves. A visit stages its saves (vfpSetSaveGrouping) and commits
// them in groups: after 1,024 saves or a second of work (longer while
// commits are slow, at most five seconds; commitSavesIfDue, after each
// file), and at the end of the visit, interrupted or not (commitSaves). While saves wait, the lines
// of the log are held in memory (logWrite), each staged save with the place where its failure line
// would stand (noteStagedSave); a commit writes them out in order, with "Could not save SYMBOL ..."
// and one error for each save that failed to commit, so that the log reads as if each save had been
// committed on its own.
void logWrite(const char *format, va_list args) __attribute__((format(printf, 1, 0)));
// After a gpi_save that returned 1: notes the save if it was staged.
void noteStagedSave(const char *loadName, const char *extension);
void commitSavesIfDue();
void commitSaves();

} // namespace vaam
