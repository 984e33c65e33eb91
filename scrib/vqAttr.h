// vqAttr.h: attributes and attribute strings.
//
// An attribute is a text object (vqText, kind 6) whose text has the form
// NAME=VALUE, or NAME alone. This module splits such texts, finds attributes
// by name on a Block, on an object or in an object list, says which names
// may occur more than once, checks texts, builds attribute strings from name
// and value, and applies the attribute reset list of the editor settings
// (q_attr_reset_list, library/qInit.h).
//
// Splitting. Trailing blanks are first removed from the text IN PLACE
// (ulStrTrim). The separator is the first "="; a text without "=" uses its
// first blank; a text with neither is all name. Name and value each lose
// their leading and trailing blanks; inner blanks stay ("PIN TYPE=IN" has
// the name "PIN TYPE"). A missing value is "".
//
// Names are compared exactly (ulStrEqu) in every lookup; only the reset list
// is searched ignoring case. A wanted name is taken into a 132-byte buffer,
// so at most its first 131 characters take part.
//
// Result buffers: q_attr_name and q_attr_value each return a buffer of their
// own that the next call of the same function replaces; the lookups share
// the name buffer with q_attr_name. Copy a name you need beside another.
// Strings returned by q_build_attr_string and q_attr_str_copy are pooled and
// belong to the caller (ulStrFree).
//
// Errors: q_attr_name of a null text reports editor message 1181;
// q_valid_attr reports 1180 on request; q_attr_str_copy prints its usage
// complaints on standard error. Nothing throws.
//
// Single-threaded: the result buffers are process-wide.
#pragma once

#include "vqBlock.h"

// Longest attribute name that takes part in comparisons and builds.
inline constexpr int vqATTR_NAME_MAX = 131;

// ---- Splitting ------------------------------------------------------------------

// The name of an attribute text (text trimmed in place first). A null text
// reports message 1181 and gives "". Result valid until the next call.
char *q_attr_name(char *text);

// The value of an attribute text ("" when none; text trimmed in place
// first; null gives ""). Result valid until the next call.
char *q_attr_value(char *text);

// ---- Lookup ---------------------------------------------------------------------------
// Each returns the first match in list order, or null.

// The attribute of block's object list whose owner is owner (null: a block
// attribute) and whose name equals name.
vqText *q_get_attribute(vqBlock *block, const char *name, vqObject *owner);

// The attribute in object's attached chain whose part equals part and whose
// name equals name; null for a null object or one without chain.
vqText *q_get_inst_attribute(const char *name, vqObject *object, vqId part);

// With an owner: whether q_get_inst_attribute finds one. Without: whether
// the current Block has a block attribute of that name. 1 or 0.
int q_attr_exists(const char *name, vqObject *owner, vqId part);

// The first attribute object (kind 6) of the list (linked through next)
// whose text begins with name (compared over the name's length).
vqText *vqFindSymbolAtt(vqObject *list, const char *name);

// 1 when text's owner is a component instance whose symbol Block holds an
// attribute whose text begins with "PINOFF"; else 0.
int vqIsPinOffOnOwnerOfText(const vqText *text);

// ---- Rules ----------------------------------------------------------------------------

// 1 when text holds neither "'" nor "`"; else 0, and with report set, message
// 1180 with the text. A null text is valid.
int q_valid_attr(const char *text, int report);

// 1 when ownerKind is 7 (instance) and name is SIGNAL, EQUATE, PINSWAP or
// PARAM; else 0.
int qAttrMultiplesOK(const char *name, int ownerKind);

// Whether several attributes of this name may stand on owner: 1 when
// severalAllowed is 1; otherwise 0 without owner; on an instance 1 for
// SIGNAL, EQUATE, PINSWAP and PARAM while its `child` is empty, and only for
// PARAM when it names a schematic; on a net 1 for PROBE and PARAM; else 0.
int q_attr_multi_ok(vqObject *owner, const char *name, int severalAllowed);

// ---- Building ------------------------------------------------------------------------

// name (at most 131 characters), then "=" and value unless value is null or
// empty; the whole cut to 131 characters. Pooled, the caller's.
char *q_build_attr_string(const char *name, const char *value);

// A new text for attribute, by mode (pooled, the caller's):
//   0  a copy of its text;
//   2  its name, "=" and the value of the reset list entry of that name
//      (ignoring case); an entry without value gives the name alone; no entry
//      prints "Internal attribute copy error.\n" on standard error and copies;
//   3  the text of the attribute of the same name on the owner's symbol Block
//      (part 0: a block attribute of the symbol; part p: an attribute of the
//      symbol's pin p), or "" when there is none or the owner is no instance;
//   other modes print "Internal attribute copy usage error.\n" on standard
//   error and copy.
char *q_attr_str_copy(vqText *attribute, int mode);

// Replaces target's text by q_attr_str_copy(attribute, mode). Returns 1.
int q_attr_copy_string(vqText *target, vqText *attribute, int mode);

// Replaces attribute's text by q_attr_str_copy(attribute, mode) unless that
// is empty. Returns 1.
int q_reset_attribute_string(vqText *attribute, int mode);

// What the reset list says about an attribute text on owner: 0 without owner
// or when the name is not listed; 1 when the entry has no value; 2 when its
// value is anything but "symbol_value" (ignoring case); for "symbol_value" 3
// when owner is an instance whose symbol holds the attribute (as mode 3
// finds it), else 1. text is not changed.
int q_attr_reset_check(const char *text, vqObject *owner, vqId part);
