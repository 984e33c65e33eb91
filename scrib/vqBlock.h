// vqBlock.h: the block model, the in-memory form of one symbol or one sheet
// of a schematic.
//
// A Block owns a list of drawing objects (lines, boxes, texts, circles, arcs,
// attributes, labels, nets, component instances, pins) and the bookkeeping
// that the loader, the editing operations and the writer share: identifier
// counters, the changed state with its reference count, the read-only,
// temporary and fub flags.
//
// Records. Every drawing object starts with the common head vqObject (next
// link, kind code, colour, style, line style, flags); each kind's record
// derives from it and is reached from a vqObject by its kind code:
//   0 vqLine   1 vqBox   2 vqText   3 vqCircle   4 vqArc   5 vqNet
//   6 vqText (attribute)   7 vqComp   8 vqText (label)   9 vqPin
//   10 vqText (occurrence attribute)   11 vqText (meta attribute)
// Any other code is a generic object: the head alone. Nets own their joints
// and segments, component instances their connections; those are small
// records of their own (vqJoint, vqSegment, vqCnt) from the free lists.
//
// The object list. block->objects holds EVERY object of the Block, attached
// attributes and labels included, in file order, linked through the first
// word (next), so the intrusive list functions of ulDlist.h work on it.
// An attribute or label attached to a component instance, a pin or a net
// stands there too, and in addition in its owner's attached chain, linked
// through its second link (vqText::attNext) from the owner's `attached`
// head. A block attribute (owner none) stands in the object list only.
// Consequences that the other layers rely on:
//   - a walk over the object list meets every attribute, attached or not;
//   - removing an object (vqBlockRemoveObject) unlinks it from both lists,
//     and removing an owner leaves its attached objects without owner;
//   - freeing the object list frees each attached object once, from the
//     list; freeing an owner never frees its attached chain;
//   - the writer writes an attached object only with its owner (right after
//     the owner's record, in chain order), never at top level.
// The owner part of an attached text says which part of the owner it belongs
// to: for a component instance the pin identifier of the connection it is
// tied to (0 for the instance itself), for a net the identifier of the
// segment it stands on, 0 for a pin.
//
// Calling sequence (the loader's, in outline):
//   vqBlock *b = q_alloc_block(1);          // symbol, reference count 1
//   b->name = ...; b->file = ...;           // pooled strings, file handle
//   vqBlockListAdd(b);                      // loaded-block list of its kind
//   ... reader appends objects ...
//   q_set_changed_flag(b);                  // first edit: lock, +1 reference
//   ... writer saves; q_clear_changed_flag(b) drops that reference ...
//   q_free_block(b);                        // last reference: released
//
// Errors. Allocation never fails (the memory layer ends the process when the
// heap is exhausted). Functions return 1 or 0 as each contract says; the
// identifier counters print their limit messages on standard error.
//
// Ownership. A Block owns its strings (pooled, ulStrFree), its objects and
// its file handle; each object owns its strings and dependants. The linked
// block is held by one reference. Loaded-block lists do not hold references:
// a Block leaves its list when its last reference goes.
//
// Invariants. refCount >= 1 while the Block is alive; changed is set exactly
// while changeCount > 0 through q_set_changed_flag, and then the Block holds
// the one extra reference taken at the first change; a Block is on at most
// one loaded-block list, the one of its kind.
//
// Memory. Every record is a fixed-size record of the memory layer's free
// lists (ulMemFlAlloc), tagged by its type: Block "vqBLOCK"; line, box and
// generic objects "vqOBJECT"; text "vqSIMPLE_TEXT"; circle "vqCIRCLE"; arc
// "vqARC"; net "vqNET"; attribute "vqATTRIBUTE"; instance "vqCOMPONENT";
// label "vqLABEL"; pin "vqPIN"; occurrence and meta attributes
// "vqOATTRIBUTE" and "vqMETA_ATTRIBUTE"; joints "vqJOINT", segments
// "vqSEGMENT", connections "vqCNT"; string records "vqSTRING". So a Block
// built after another of the same size was freed takes no memory from the
// heap. Records too large for the free lists (lines of many points), and
// every record while the free lists are off (UL_MEMFLDISABLE), are tagged
// heap blocks. Joints list their segments in ulCell cells.
//
// Single-threaded: the loaded-block lists, the current Block and the
// read-only setting are process-wide.
#pragma once

#include <cstdint>

#include "ulDlist.h"
#include "vqp.h" // BlockFileId: the block file a Block was read from

// An object identifier (unsigned 32-bit).
using vqId = uint32_t;

// ---- Kinds, versions, limits --------------------------------------------------

// Object kind codes.
inline constexpr int vqKIND_LINE = 0;
inline constexpr int vqKIND_BOX = 1;
inline constexpr int vqKIND_TEXT = 2;
inline constexpr int vqKIND_CIRCLE = 3;
inline constexpr int vqKIND_ARC = 4;
inline constexpr int vqKIND_NET = 5;
inline constexpr int vqKIND_ATTRIBUTE = 6;
inline constexpr int vqKIND_COMPONENT = 7;
inline constexpr int vqKIND_LABEL = 8;
inline constexpr int vqKIND_PIN = 9;
inline constexpr int vqKIND_OATTRIBUTE = 10;
inline constexpr int vqKIND_META_ATTRIBUTE = 11;

// Block kinds (the file kinds of the file access layer that are Blocks).
inline constexpr int vqBLOCK_SCHEMATIC = 0;
inline constexpr int vqBLOCK_SYMBOL = 1;
// Loaded-block lists exist for the kinds 0 to vqBLOCK_KINDS - 1.
inline constexpr int vqBLOCK_KINDS = 6;

// The format version a new Block gets and the writer writes (50), and the
// version that marks a schematic with rippers (51).
inline constexpr int vqFORMAT_VERSION = 50;
inline constexpr int vqRIPPER_VERSION = 51;

// The sheet size code of a symbol, and the extent a new symbol gets.
inline constexpr int vqSYMBOL_SHEET_SIZE = 10;
inline constexpr int vqSYMBOL_EXTENT = 100;

// Longest text of a text, label or attribute record (without terminator).
inline constexpr int vqTEXT_MAX = 132;

// ---- Placement word --------------------------------------------------------------
//
// 16 bits, from the top bit down: orientation (3 bits, 0..7), origin (4
// bits, 1..9), sense (1 bit, labels: inverted pin name), scope (2 bits),
// visibility (2 bits), displayed (1 bit: the text is shown), 3 bits unused.

using vqPlace = uint16_t;

inline int vqPlaceOrient(vqPlace w) {
  return (w >> 13) & 7;
}
inline int vqPlaceOrigin(vqPlace w) {
  return (w >> 9) & 15;
}
inline int vqPlaceSense(vqPlace w) {
  return (w >> 8) & 1;
}
inline int vqPlaceScope(vqPlace w) {
  return (w >> 6) & 3;
}
inline int vqPlaceVis(vqPlace w) {
  return (w >> 4) & 3;
}
inline int vqPlaceDisplayed(vqPlace w) {
  return (w >> 3) & 1;
}

// Each setter keeps the value's lowest bits that fit its field.
inline void vqPlaceSetField(vqPlace *w, int shift, int mask, int v) {
  *w = static_cast<vqPlace>((*w & ~(mask << shift)) | ((v & mask) << shift));
}
inline void vqPlaceSetOrient(vqPlace *w, int v) {
  vqPlaceSetField(w, 13, 7, v);
}
inline void vqPlaceSetOrigin(vqPlace *w, int v) {
  vqPlaceSetField(w, 9, 15, v);
}
inline void vqPlaceSetSense(vqPlace *w, int v) {
  vqPlaceSetField(w, 8, 1, v);
}
inline void vqPlaceSetScope(vqPlace *w, int v) {
  vqPlaceSetField(w, 6, 3, v);
}
inline void vqPlaceSetVis(vqPlace *w, int v) {
  vqPlaceSetField(w, 4, 3, v);
}
inline void vqPlaceSetDisplayed(vqPlace *w, int v) {
  vqPlaceSetField(w, 3, 1, v);
}

// ---- Records --------------------------------------------------------------------

struct vqBlock;
struct vqText;

// A point in drawing units.
struct vqPoint {
  int x;
  int y;
};

// Object flag bits (vqObject::flags).
inline constexpr int vqOBJ_PASSTHRU = 0x80; // pin: a pass-through pin

// The common head of every drawing object.
struct vqObject {
  vqObject *next;        // next object of the list that holds it
  uint8_t kind;          // kind code
  uint8_t color;         // colour (0..15 in files)
  uint8_t style : 5;     // fill style, or font for objects that carry text
  uint8_t lineStyle : 3; // line style
  uint8_t flags;         // object flags (vqOBJ_...)
};

// Kind 0: a polyline. points holds count points, in the same allocation.
struct vqLine : vqObject {
  int count;       // number of points (1 or more)
  vqPoint *points; // the points, in order
};

// Kind 1: a box given by two opposite corners.
struct vqBox : vqObject {
  vqPoint p1; // first corner as read
  vqPoint p2; // second corner as read
};

// Kinds 2, 6, 8, 10, 11: a text, attribute, label, occurrence or meta
// attribute. Free texts leave owner, attNext and part empty.
struct vqText : vqObject {
  int x; // anchor point
  int y;
  vqObject *owner; // instance, pin or net it is attached to; null for none
  vqText *attNext; // next text of the owner's attached chain
  vqId part;       // owner part: instance pin id, net segment id, else 0
  char *text;      // the text (pooled; NAME=value for attributes); may be null
  int size;        // text height (0 or more)
  vqPlace place;   // placement word
};

using vqAttribute = vqText;
using vqLabel = vqText;

// Kind 3: a circle.
struct vqCircle : vqObject {
  int x; // centre
  int y;
  int radius;
};

// Kind 4: an arc through three points.
struct vqArc : vqObject {
  vqPoint p[3]; // start, a point on the arc, end
};

// A joint of a net (free list "vqJOINT").
struct vqJoint {
  vqJoint *next; // next joint of the net, in file order
  int x;         // position
  int y;
  vqId id;          // from the Block's joint counter
  uint8_t type : 4; // joint type (0..11 in files)
  uint8_t side : 3; // side of the instance pin it meets (set from the instance)
  ulCell *segments; // the segments that meet here (cells, values vqSegment *)
};

// A segment of a net (free list "vqSEGMENT").
struct vqSegment {
  vqSegment *next; // next segment of the net, in file order
  vqJoint *j1;     // its two joints, joints of the same net
  vqJoint *j2;
  vqId id;       // from the Block's segment counter
  uint8_t bus;   // 1 for a bus segment (record B), 0 for a net segment (S)
  uint8_t angle; // angle code: 0 horizontal, 1 vertical, others oblique
};

// Kind 5: a net.
struct vqNet : vqObject {
  vqId id;             // identifier (record N)
  vqText *attached;    // labels and attributes of its segments (part = segment id)
  vqJoint *joints;     // joints in file order
  vqSegment *segments; // segments in file order
};

// A connection of a component instance pin (free list "vqCNT").
struct vqCnt {
  vqCnt *next;    // next connection of the instance, in file order
  vqNet *net;     // the net reached, null for an unconnected pin (record X)
  vqJoint *joint; // the joint of that net, null when unconnected
  vqId pinId;     // the pin's identifier in the symbol
  int pinIndex;   // the pin index of its pin number text (q_get_pnindex)
};

// Kind 7: a component instance (record I).
struct vqComp : vqObject {
  vqId id; // identifier
  int x;   // position
  int y;
  int orient;       // orientation (0..7 in files)
  float scale;      // scale (above 0 in files)
  char *trail;      // trailing text (pooled), null for none
  vqBlock *symbol;  // the referenced symbol Block (one reference), or null
  char *symLibrary; // library of the symbol as read (pooled; "" for none)
  char *symName;    // block name of the symbol as read (pooled)
  int symNumber;    // number of the symbol block (1..999 in files)
  vqCnt *cnts;      // pin connections, in file order
  vqText *attached; // attached attributes and labels (part = pin id or 0)
  int size;         // number of identifiers an arrayed instance takes (1 or more)
  char *refdes;     // reference designator (pooled), null for none
  // Hierarchy: the name of the schematic this instance opens into when it
  // stands for a hierarchical block, null or "" for a plain part. On such an
  // instance only PARAM may repeat (q_attr_multi_ok): signals, equates and
  // pin swaps belong to the sheets below it.
  char *child;
  int attrX; // attribute column: where attributes without part stack
  int attrY;
  vqPoint bbox[2]; // bounding box (computed from the symbol)
};

// Kind 9: a pin of a symbol (record P).
struct vqPin : vqObject {
  vqId id;    // identifier
  vqPoint p1; // its two end points (p1 is the connecting end)
  vqPoint p2;
  int type;         // the pin type, stored without a range check
  uint8_t side;     // side (0..4 in files)
  uint8_t sense;    // sense (0 or 1 in files)
  vqText *attached; // attached attributes and labels (part 0)
};

// A string record: one pooled string in a singly linked list.
struct vqStringRec {
  vqStringRec *next;
  char *text; // pooled, owned
};

// A Block: one symbol or one sheet of a schematic.
struct vqBlock {
  vqBlock *next;     // next loaded Block of the same kind
  char *name;        // block name (pooled, owned)
  char *library;     // library alias (pooled, owned; "" for the default)
  BlockFileId file;  // block file handle, 0 for none
  int number;        // sheet number of a schematic, number of a symbol
  uint8_t sheetSize; // sheet size code (record Z)
  uint8_t blockType; // block type code (record Y)
  uint8_t kind;      // 1 symbol, 0 schematic (vqBLOCK_...)
  int x1;            // extent (record D)
  int y1;
  int x2;
  int y2;
  vqId lastId;       // highest object identifier used (record i)
  int version;       // format version (record V)
  vqObject *objects; // the object list, every object, in file order
  int changeCount;   // changes since last saved or cleared
  int refCount;      // references; released at 0
  vqId lastJointId;  // joint and segment identifier counters
  vqId lastSegmentId;
  vqBlock *linked;             // a further Block released together with this one
  unsigned changed : 1;        // set by every change
  unsigned readOnly : 1;       // never locked, never written
  unsigned temporary : 1;      // no backup on save; file deleted at release
  unsigned libFromFile : 1;    // library taken from the file's directory
  unsigned displayDefault : 1; // attributes shown by default (settings "attron")
  unsigned locked : 1;         // the first change took the block file's lock
  unsigned fub : 1;            // flags 2: the symbol stands for a functional block
};

// ---- Sheet sizes ------------------------------------------------------------------

// Width and height of sheet size code 0..10 in drawing units: 0 to 4 the
// ANSI sizes A to E, 5 to 9 the ISO sizes A4 to A0, 10 the custom sheet of
// the editor settings. 1 with *width and *height set, 0 for another code
// (outputs untouched).
int vqSheetSizeXY(int code, int *width, int *height);

// ---- Allocation and release ----------------------------------------------------------
//
// Each q_alloc_* returns a zeroed record of its kind with the defaults of
// the settings (library/qInit.h): colour, style and line style from the
// kind's entry of q_objects (a meta attribute takes the occurrence
// attribute's entry, as slot 11 is the bus); texts additionally size
// TEXTSIZE, origin TEXTORIGIN, scope SCOPE, orientation 0, visibility 1, not
// displayed. Never null.

// A new Block of kind 1 (symbol) or 0 (schematic; any other kind gets the
// schematic defaults): version 50, reference count 1, display default from
// "attron". A schematic: block type 0, sheet size SHEETSIZE, extent 0, 0 to
// that sheet's width and height. A symbol: sheet size 10, block type
// BLOCK_TYPE, extent 0, 0, 100, 100. Not on any loaded-block list.
vqBlock *q_alloc_block(int kind);

// Drops one reference. At zero: takes the Block off its loaded-block list,
// remembers its library:component name (vqBlockLastReleasedName), stops it
// being the current Block, frees its strings and objects, drops the reference
// on its linked block, and closes its file (deletes it when temporary).
// A null Block does nothing.
void q_free_block(vqBlock *block);

vqText *q_alloc_text();
vqText *q_alloc_attribute();
vqText *q_alloc_label();
vqText *q_alloc_oattribute();
vqText *q_alloc_meta_attribute();
vqNet *q_alloc_net();
vqSegment *q_alloc_segment();
vqJoint *q_alloc_joint();
vqComp *q_alloc_comp(); // scale 1.0, size 1
vqPin *q_alloc_pin();
vqCnt *q_alloc_cnt();
// A line with count points (count below 1 is taken as 1), all at 0, 0.
vqLine *q_alloc_line(int count);
vqBox *q_alloc_box();
vqCircle *q_alloc_circle();
vqArc *q_alloc_arc();
// An object of any kind code: the record of that kind for the codes 0 to 11
// (a line of one point for 0), a head-only object (with the defaults of
// q_objects when the code has an entry there) for any other code.
vqObject *q_alloc_generic(int kind);
// A string record holding a pooled copy of text (null stays null).
vqStringRec *q_alloc_string(const char *text);
// Frees a string record and its string.
void q_free_string(vqStringRec *record);

// Frees every object of the Block's object list and empties it.
void q_free_data(vqBlock *block);

// Free one object with its strings and dependants. None of them unlinks the
// object from any list (vqBlockRemoveObject does); an owner's attached chain
// is not freed with it. Null does nothing.
void q_free_text(vqText *text);
void q_free_label(vqText *label);
void q_free_attribute(vqText *attribute);
void q_free_oattribute(vqText *attribute);
void q_free_meta_attribute(vqText *attribute);
void q_free_net(vqNet *net);      // with its joints and segments
void q_free_net_data(vqNet *net); // only its joints and segments (lists emptied)
void q_free_comp(vqComp *comp);   // with its connections; drops its symbol reference
void q_free_pin(vqPin *pin);
void q_free_circle(vqCircle *circle);
void q_free_arc(vqArc *arc);
void q_free_generic(vqObject *object); // any object, by its kind code

// Free whole chains (linked through their first word).
void q_free_segments(vqSegment *segments);
void q_free_joints(vqJoint *joints); // with their cell lists
void q_free_cnts(vqCnt *cnts);
void q_free_olist(vqObject *objects); // each object as q_free_generic
// Gives the cells of a cell list back to the cell free chain; the values are
// not freed.
void q_free_clls(ulCell *cells);

// Gives the free cells back to the memory layer (ulCellFLFree).
void q_free_garbage();

// ---- Object list and attached chains -------------------------------------------------

// Links object into the Block's object list after `after`, or at the head
// when after is null. The object must not be on a list.
void vqBlockInsertObject(vqBlock *block, vqObject *object, vqObject *after);

// The last object of the list (null for an empty list); with the previous
// call, appending in file order: vqBlockInsertObject(b, o, vqBlockLastObject(b)).
vqObject *vqBlockLastObject(const vqBlock *block);

// Takes object out of the Block's object list and, for an attached text, out
// of its owner's attached chain (owner, attNext, part cleared). Removing an
// instance, pin or net leaves each text of its chain without owner (the texts
// stay in the object list). The object is not freed. 1 when it was on the
// list, else 0 (the chains are still fixed).
int vqBlockRemoveObject(vqBlock *block, vqObject *object);

// vqBlockRemoveObject, then the object's q_free_* function.
void vqBlockDeleteObject(vqBlock *block, vqObject *object);

// The attached chain head of an instance, pin or net; null for other kinds.
vqText **vqObjectAttachedChain(vqObject *owner);

// Attaches text to owner (instance, pin or net) with the given part: at the
// head of the owner's chain, or at its tail when atTail is 1 (file order).
// The text must not be attached already. 0 when owner has no chain, else 1.
int vqAttachText(vqObject *owner, vqText *text, vqId part, int atTail);

// Takes text out of its owner's chain (owner, attNext, part cleared). 1 when
// it was attached, else 0.
int vqDetachText(vqText *text);

// ---- Identifiers -------------------------------------------------------------------

// Increments the current Block's last id and returns it; at the largest
// unsigned 32-bit value prints "ERROR:  Out of ID Numbers.\n" on standard
// error and still returns the value. 0 without a current Block.
vqId q_get_next_id();

// The same for the joint and segment counters of block (the current Block
// when null; 0 when there is none); the limit messages are
// "Out of joint ids\n" and "Out of segment ids\n".
vqId q_get_next_joint_id(vqBlock *block);
vqId q_get_next_segment_id(vqBlock *block);

// ---- Changed state -----------------------------------------------------------------
//
// The first change of a Block pins it with one more reference and takes the
// lock of its block file; saving and then clearing drops that reference. The
// lock itself is released by the writer after a good save, not here.

// Sets the changed flag and counts the change (block null: the current Block;
// neither: nothing). On the first change (count 1) takes a reference
// (q_copy_block) and, unless the Block is read-only, locks the block file
// with vqpFileLock(kind, library, name, number); `locked` records success.
// Returns 1.
int q_set_changed_flag(vqBlock *block);

// 1 when the changed flag is set or the change count is not 0 (block null:
// the current Block; neither: 0).
int q_data_has_changed(vqBlock *block);

// When the changed flag is set: clears it and the count and drops the
// reference taken at the first change, releasing the Block when it was the
// last (as q_free_block). An unchanged Block is left alone. Returns 1.
int q_clear_changed_flag(vqBlock *block);

// Takes one more reference. Returns block.
vqBlock *q_copy_block(vqBlock *block);

// ---- Fub status ----------------------------------------------------------------------

// Set or clear the fub flag; 0 for a null Block, else 1.
int vqBlockMakeFub(vqBlock *block);
int vqBlockMakeNonFub(vqBlock *block);

// 1 only for a symbol whose fub flag is set.
int vqBlockIsFub(const vqBlock *block);

// For a symbol: clears the fub flag and sets it again when its block
// attribute "SYMTYPE" has the value "FUB" (ulStrEqu). Schematics (and null)
// are left alone.
void vqBlockUpdateFubStatus(vqBlock *block);

// ---- Read-only setting, file reopen and suspend -------------------------------------------

// Sets the process-wide setting that makes Blocks loaded from now on
// read-only (on 0 or 1); vqGetBlockReadOnly reads it.
void vqSetBlockReadOnly(int on);
int vqGetBlockReadOnly();

// Reopens the block file (vqpFileReopen) with file mode 2 (write) or 1
// (read): mode 2 gives 2 and fails with -1 for a read-only Block; mode 3
// gives 2 for a writable Block and 1 for a read-only one; any other mode
// gives 1. Returns the file layer's result (1 or 0), or -1.
int vqBlockReopen(vqBlock *block, int mode);

// Suspends the block file (vqpFileSuspend), with mode 1 for a writable
// Block and 0 for a read-only one. Returns the file layer's result.
int vqBlockSuspend(vqBlock *block);

// ---- Loaded-block lists ---------------------------------------------------------------
//
// One list per Block kind (0 to vqBLOCK_KINDS - 1), newest first, linked
// through vqBlock::next. The lists hold no references.

// The first loaded Block of kind (walk on with ->next); null when none or
// for a kind without list.
vqBlock *vqBlockListHead(int kind);

// Puts block at the head of the list of its kind (not when already listed or
// its kind has no list).
void vqBlockListAdd(vqBlock *block);

// Takes block off its list. 1 when it was there, else 0.
int vqBlockListRemove(vqBlock *block);

// The loaded Block of kind with this name (ulStrEqu) and number whose library
// matches: an empty (or null) library matches a Block whose library came from
// its file (libFromFile); any other is compared ignoring case (ulStrIcmp).
// No reference is taken. Null when none.
vqBlock *vqBlockListFind(int kind, const char *library, const char *name, int number);

// The library:component name of the Block released last ("" before any).
const char *vqBlockLastReleasedName();

// Releases every loaded Block whatever references it still holds (the
// schematics first, whose instances hold symbols) and puts the lists back as
// a process starts: no current Block, Blocks loaded writable, no name
// released. For the end of a run that may be followed by another.
void vqBlockReleaseAll();

// ---- The current Block ---------------------------------------------------------------------

// The Block the editing operations act on, or null. q_set_block does not
// take a reference; a Block released by q_free_block stops being current.
vqBlock *q_get_block();
void q_set_block(vqBlock *block);
