// vqReadInternal.h: what the files of the block reader share (vqRead.cpp,
// vqReadLine.cpp, vqReadRecords.cpp, vqReadFinish.cpp, vqLoad.cpp).
//
// One Reader lives for each vqBlockReadStream call; it holds the current
// logical line, its read position and line count, and the ownership state of
// the records (the current owner, the Q target, the current net and
// instance). Reads nest, so the Reader is passed around explicitly and never
// kept in module state; the module state (vqReadStateV) holds only the
// nesting depth, the counters of the outermost read and the switches.
#pragma once

#include <cstdio>
#include <vector>

#include "vqBlock.h"
#include "vqRead.h"

namespace vqread {

// Longest numeric token (longer ones are split), longest logical line kept,
// most continuation lines joined into one logical line.
inline constexpr int kTokenMax = 50;
inline constexpr int kLineMax = 64 * 1024;
inline constexpr int kContinuationMax = 1024;

// The reader's severities: 2 counts a warning, 3 an error; 1, 4 and 5 are
// printed without being counted.
inline constexpr int kSummary = 1;
inline constexpr int kWarning = 2;
inline constexpr int kError = 3;
inline constexpr int kSevere = 4;
inline constexpr int kFatal = 5;

// A C record whose net is resolved when the whole block has been read (the
// net may come after the instance in the file).
struct PendingCnt {
  vqCnt *cnt;
  long netId; // the net's identifier as read
  int joint;  // the joint's position in that net (from 1)
};

struct Reader {
  vqBlock *block = nullptr;
  FILE *stream = nullptr;
  ulStrBuf *line = nullptr;  // the current logical line
  const char *pos = nullptr; // read position in it
  int lineNo = 0;            // physical lines read so far
  bool badVersion = false;   // 2251 or 2254 was reported
  bool finishing = false;    // past the records: messages are about the whole block
  long highestId = -1;       // highest N, I or P identifier read, as the last id holds it

  vqObject *tail = nullptr;    // last object of the block's list
  vqObject *owner = nullptr;   // instance, pin or net read last (A, L owner)
  vqId part = 0;               // owner part for A, L on an instance
  vqObject *qTarget = nullptr; // object created just before (Q target)

  vqNet *net = nullptr; // the net being read (its N record was the last owner)
  vqJoint *jointTail = nullptr;
  vqSegment *segmentTail = nullptr;
  std::vector<vqJoint *> joints; // the current net's joints, numbered from 1

  vqComp *comp = nullptr; // the instance being read
  vqCnt *cntTail = nullptr;
  std::vector<PendingCnt> pending;
};

// Module state of the reader (one, process-wide).
struct ReadState {
  int depth = 0;    // nesting of vqBlockReadStream
  int warnings = 0; // counters of the outermost read
  int errors = 0;
  int lineNumbers = 1;             // "(Line number N)" in messages
  int hidden = 0;                  // print hidden messages (2260)
  int loadNotes = 0;               // print 1235 at every load
  vqReadSink sink = nullptr;       // where messages go instead of standard output
  void *sinkUser = nullptr;        // the sink's user value
  const Reader *current = nullptr; // the innermost read in progress
};
ReadState &readState();

// ---- Messages (vqRead.cpp) -------------------------------------------------------------

// The line-number text of r's current line: "(Line number N)" or "".
const char *lineText(const Reader &r);
// The block's full name for messages (library:name.number).
const char *fullName(const vqBlock *block);
// "Symbol" or "Schematic".
const char *kindWord(const vqBlock *block);
// Prints text (a built message) on standard output as "NAME: text" (note)
// or as it stands (noteAlone, for texts that name the block), and counts it
// by severity.
void note(const vqBlock *block, int severity, const char *text);
void noteAlone(int severity, const char *text);

// ---- Fields (vqReadLine.cpp) -----------------------------------------------------------

// The next numeric field of r's line as a long integer (at most kTokenMax
// characters up to a blank or the line end). false when the line holds no
// further token or the token does not begin with a number.
bool nextLong(Reader &r, long *value);
// The same as an int (the field width of most values); a number beyond the
// int range gives the nearest int.
bool nextInt(Reader &r, int *value);
// The next field as a floating-point number.
bool nextDouble(Reader &r, double *value);
// The next blank-delimited token of any length (at most size - 1 characters
// kept) into out; false when there is none.
bool nextWord(Reader &r, char *out, int size);
// The text field: the rest of the line, leading blanks skipped, trailing
// white space removed, cut to vqTEXT_MAX characters and trimmed again after
// the cut; a carriage return in it is a blank. A missing text gives "" and
// warning 2259. A pooled string, the caller's.
char *textField(Reader &r);
// Reads the next logical line into r.line and sets r.pos to its start;
// false at end of file.
bool nextLine(Reader &r);
// 2252 for r's current line.
void missingField(Reader &r);

// ---- Records (vqReadRecords.cpp) ---------------------------------------------------------

// Handles the record on r's current line by its key; the V record included.
void readRecord(Reader &r);

// Appends object to the block's object list (after r.tail).
void append(Reader &r, vqObject *object);

// ---- Finishing (vqReadFinish.cpp) ----------------------------------------------------------

// The ripper version step and the finishing steps of a whole read.
void finishBlock(Reader &r);

// The point p of a symbol placed by an instance at (x, y) with orient and
// scale, in the schematic's drawing units (clamped to the int range).
vqPoint placePoint(const vqComp *comp, vqPoint p);

// The bounding box of an instance from its symbol's extent.
void compBoundingBox(vqComp *comp);

} // namespace vqread

// Finishing operations of the editor database, named as the editor names
// them. q_add_comp_cnts adds an unconnected connection for each pin of the
// instance's symbol that it has no connection for; q_set_jside sets a
// joint's side from the pin side its instance places there; q_set_jtype
// recomputes a joint's type from its segments (pin says whether it lies on
// an instance pin); q_set_passthru_pins marks each pin of a symbol whose
// name (first label) another pin of the symbol carries too.
void q_add_comp_cnts(vqComp *comp);
void q_set_jside(vqJoint *joint, const vqComp *comp, int pinSide);
void q_set_jtype(vqJoint *joint, int pin);
void q_set_passthru_pins(vqBlock *block);
