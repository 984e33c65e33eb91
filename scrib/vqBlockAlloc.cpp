// vqBlockAlloc.cpp: allocation and release of Blocks' drawing objects, the
// object list and attached chains, sheet sizes, identifiers and fub status.

#include "vqBlockInternal.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "qInit.h"
#include "ulMem.h"
#include "ulStr.h"
#include "vqAttr.h"

namespace {

// The sheet sizes 0 to 9 in drawing units (hundredths of an inch): ANSI A
// to E, then ISO A4 to A0, landscape. Code 10 is the custom sheet.
constexpr vqPoint kSheetSizes[10] = {{1100, 850},  {1700, 1100}, {2200, 1700}, {3400, 2200},
                                     {4400, 3400}, {1169, 827},  {1654, 1169}, {2339, 1654},
                                     {3311, 2339}, {4681, 3311}};

// Colour, style and line style of the kind's entry of the object-kind
// defaults. A meta attribute takes the occurrence attribute's entry (slot 11
// holds the bus); kinds without entry keep zeros.
void setKindDefaults(vqObject *o, int kind) {
  o->kind = static_cast<uint8_t>(kind);
  int slot = kind == vqKIND_META_ATTRIBUTE ? qO_OATTRIBUTE : kind;
  if (slot < 0 || slot >= qOBJECT_COUNT)
    return;
  o->color = static_cast<uint8_t>(q_objects[slot].color);
  o->style = q_objects[slot].style & 31;
  o->lineStyle = q_objects[slot].lineStyle & 7;
}

template <class T> T *allocObject(int kind, const char *tag) {
  T *o = vqRecordAlloc<T>(tag);
  setKindDefaults(o, kind);
  return o;
}

vqText *allocText(int kind, const char *tag) {
  vqText *t = allocObject<vqText>(kind, tag);
  t->size = static_cast<int>(q_values[qV_TEXTSIZE].value);
  vqPlaceSetOrigin(&t->place, static_cast<int>(q_values[qV_TEXTORIGIN].value));
  vqPlaceSetScope(&t->place, static_cast<int>(q_values[qV_SCOPE].value));
  vqPlaceSetVis(&t->place, 1);
  return t;
}

// Bytes of a line record with count points (the points follow the record).
size_t lineBytes(int count) {
  return sizeof(vqLine) + static_cast<size_t>(count) * sizeof(vqPoint);
}

bool isTextKind(int kind) {
  return kind == vqKIND_TEXT || kind == vqKIND_ATTRIBUTE || kind == vqKIND_LABEL ||
         kind == vqKIND_OATTRIBUTE || kind == vqKIND_META_ATTRIBUTE;
}

void freeTextRecord(vqText *t) {
  if (t == nullptr)
    return;
  ulStrFree(t->text);
  vqRecordFree(t);
}

// Takes each text of an owner's chain off the owner.
void orphanChain(vqText **chain) {
  for (vqText *t = *chain; t != nullptr;) {
    vqText *next = t->attNext;
    t->owner = nullptr;
    t->attNext = nullptr;
    t->part = 0;
    t = next;
  }
  *chain = nullptr;
}

// Increments a counter up to the largest unsigned 32-bit value, printing
// message at the limit.
vqId nextId(vqId &counter, const char *message) {
  if (counter < std::numeric_limits<vqId>::max())
    ++counter;
  if (counter == std::numeric_limits<vqId>::max())
    std::fputs(message, stderr);
  return counter;
}

} // namespace

// ---- Sheet sizes ------------------------------------------------------------------

int vqSheetSizeXY(int code, int *width, int *height) {
  vqPoint size;
  if (code >= 0 && code < 10)
    size = kSheetSizes[code];
  else if (code == qSHEET_CUSTOM)
    size = {vqIniSettingsV.customSheetX, vqIniSettingsV.customSheetY};
  else
    return 0;
  *width = size.x;
  *height = size.y;
  return 1;
}

// ---- Allocation ------------------------------------------------------------------

vqBlock *q_alloc_block(int kind) {
  auto *b = vqRecordAlloc<vqBlock>("vqBLOCK");
  b->kind = static_cast<uint8_t>(kind);
  b->version = vqFORMAT_VERSION;
  b->refCount = 1;
  b->displayDefault = vqIniSettingsV.attrOn != 0;
  if (kind == vqBLOCK_SYMBOL) {
    b->sheetSize = vqSYMBOL_SHEET_SIZE;
    b->blockType = static_cast<uint8_t>(q_values[qV_BLOCK_TYPE].value);
    b->x2 = vqSYMBOL_EXTENT;
    b->y2 = vqSYMBOL_EXTENT;
  } else {
    int code = static_cast<int>(q_values[qV_SHEETSIZE].value);
    b->sheetSize = static_cast<uint8_t>(code);
    vqSheetSizeXY(code, &b->x2, &b->y2);
  }
  return b;
}

vqText *q_alloc_text() {
  return allocText(vqKIND_TEXT, "vqSIMPLE_TEXT");
}
vqText *q_alloc_attribute() {
  return allocText(vqKIND_ATTRIBUTE, "vqATTRIBUTE");
}
vqText *q_alloc_label() {
  return allocText(vqKIND_LABEL, "vqLABEL");
}
vqText *q_alloc_oattribute() {
  return allocText(vqKIND_OATTRIBUTE, "vqOATTRIBUTE");
}
vqText *q_alloc_meta_attribute() {
  return allocText(vqKIND_META_ATTRIBUTE, "vqMETA_ATTRIBUTE");
}
vqNet *q_alloc_net() {
  return allocObject<vqNet>(vqKIND_NET, "vqNET");
}
vqSegment *q_alloc_segment() {
  return vqRecordAlloc<vqSegment>("vqSEGMENT");
}
vqJoint *q_alloc_joint() {
  return vqRecordAlloc<vqJoint>("vqJOINT");
}
vqCnt *q_alloc_cnt() {
  return vqRecordAlloc<vqCnt>("vqCNT");
}
vqPin *q_alloc_pin() {
  return allocObject<vqPin>(vqKIND_PIN, "vqPIN");
}
vqBox *q_alloc_box() {
  return allocObject<vqBox>(vqKIND_BOX, "vqOBJECT");
}
vqCircle *q_alloc_circle() {
  return allocObject<vqCircle>(vqKIND_CIRCLE, "vqCIRCLE");
}
vqArc *q_alloc_arc() {
  return allocObject<vqArc>(vqKIND_ARC, "vqARC");
}
vqObject *q_alloc_generic(int kind) {
  switch (kind) {
  case vqKIND_LINE:
    return q_alloc_line(1);
  case vqKIND_BOX:
    return q_alloc_box();
  case vqKIND_TEXT:
    return q_alloc_text();
  case vqKIND_CIRCLE:
    return q_alloc_circle();
  case vqKIND_ARC:
    return q_alloc_arc();
  case vqKIND_NET:
    return q_alloc_net();
  case vqKIND_ATTRIBUTE:
    return q_alloc_attribute();
  case vqKIND_COMPONENT:
    return q_alloc_comp();
  case vqKIND_LABEL:
    return q_alloc_label();
  case vqKIND_PIN:
    return q_alloc_pin();
  case vqKIND_OATTRIBUTE:
    return q_alloc_oattribute();
  case vqKIND_META_ATTRIBUTE:
    return q_alloc_meta_attribute();
  default:
    return allocObject<vqObject>(kind, "vqOBJECT");
  }
}

vqComp *q_alloc_comp() {
  vqComp *c = allocObject<vqComp>(vqKIND_COMPONENT, "vqCOMPONENT");
  c->scale = 1.0F;
  c->size = 1;
  return c;
}

vqLine *q_alloc_line(int count) {
  if (count < 1)
    count = 1;
  // The points follow the record in the same block.
  auto *l = static_cast<vqLine *>(vqRecordAllocBytes(lineBytes(count), "vqOBJECT"));
  setKindDefaults(l, vqKIND_LINE);
  l->count = count;
  l->points = reinterpret_cast<vqPoint *>(l + 1);
  return l;
}

vqStringRec *q_alloc_string(const char *text) {
  auto *r = vqRecordAlloc<vqStringRec>("vqSTRING");
  r->text = ulStrCpy(text);
  return r;
}

void q_free_string(vqStringRec *record) {
  if (record == nullptr)
    return;
  ulStrFree(record->text);
  vqRecordFree(record);
}

// ---- Release -------------------------------------------------------------------------

void q_free_text(vqText *text) {
  freeTextRecord(text);
}
void q_free_label(vqText *label) {
  freeTextRecord(label);
}
void q_free_attribute(vqText *attribute) {
  freeTextRecord(attribute);
}
void q_free_oattribute(vqText *attribute) {
  freeTextRecord(attribute);
}
void q_free_meta_attribute(vqText *attribute) {
  freeTextRecord(attribute);
}

void q_free_clls(ulCell *cells) {
  while (cells != nullptr) {
    ulCell *next = cells->next;
    ulCellFLSave(cells);
    cells = next;
  }
}

void q_free_segments(vqSegment *segments) {
  while (segments != nullptr) {
    vqSegment *next = segments->next;
    vqRecordFree(segments);
    segments = next;
  }
}

void q_free_joints(vqJoint *joints) {
  while (joints != nullptr) {
    vqJoint *next = joints->next;
    q_free_clls(joints->segments);
    vqRecordFree(joints);
    joints = next;
  }
}

void q_free_cnts(vqCnt *cnts) {
  while (cnts != nullptr) {
    vqCnt *next = cnts->next;
    vqRecordFree(cnts);
    cnts = next;
  }
}

void q_free_net_data(vqNet *net) {
  if (net == nullptr)
    return;
  q_free_joints(net->joints);
  q_free_segments(net->segments);
  net->joints = nullptr;
  net->segments = nullptr;
}

void q_free_net(vqNet *net) {
  if (net == nullptr)
    return;
  q_free_net_data(net);
  vqRecordFree(net);
}

void q_free_comp(vqComp *comp) {
  if (comp == nullptr)
    return;
  q_free_cnts(comp->cnts);
  ulStrFree(comp->trail);
  ulStrFree(comp->symLibrary);
  ulStrFree(comp->symName);
  ulStrFree(comp->refdes);
  ulStrFree(comp->child);
  vqBlock *symbol = comp->symbol;
  vqRecordFree(comp);
  q_free_block(symbol);
}

void q_free_pin(vqPin *pin) {
  vqRecordFree(pin);
}
void q_free_circle(vqCircle *circle) {
  vqRecordFree(circle);
}
void q_free_arc(vqArc *arc) {
  vqRecordFree(arc);
}

void q_free_generic(vqObject *object) {
  if (object == nullptr)
    return;
  if (isTextKind(object->kind)) {
    freeTextRecord(static_cast<vqText *>(object));
    return;
  }
  switch (object->kind) {
  case vqKIND_LINE: {
    auto *l = static_cast<vqLine *>(object);
    vqRecordFreeBytes(l, lineBytes(l->count));
    break;
  }
  case vqKIND_BOX:
    vqRecordFree(static_cast<vqBox *>(object));
    break;
  case vqKIND_CIRCLE:
    q_free_circle(static_cast<vqCircle *>(object));
    break;
  case vqKIND_ARC:
    q_free_arc(static_cast<vqArc *>(object));
    break;
  case vqKIND_NET:
    q_free_net(static_cast<vqNet *>(object));
    break;
  case vqKIND_COMPONENT:
    q_free_comp(static_cast<vqComp *>(object));
    break;
  case vqKIND_PIN:
    q_free_pin(static_cast<vqPin *>(object));
    break;
  default:
    vqRecordFree(object);
  }
}

void q_free_olist(vqObject *objects) {
  while (objects != nullptr) {
    vqObject *next = objects->next;
    q_free_generic(objects);
    objects = next;
  }
}

void q_free_data(vqBlock *block) {
  if (block == nullptr)
    return;
  vqObject *objects = block->objects;
  block->objects = nullptr;
  q_free_olist(objects);
}

void q_free_garbage() {
  ulCellFLFree();
}

// ---- Object list and attached chains ----------------------------------------------------

void vqBlockInsertObject(vqBlock *block, vqObject *object, vqObject *after) {
  block->objects = static_cast<vqObject *>(ulListSins(object, after, block->objects));
}

vqObject *vqBlockLastObject(const vqBlock *block) {
  return static_cast<vqObject *>(ulListLast(block->objects));
}

vqText **vqObjectAttachedChain(vqObject *owner) {
  if (owner == nullptr)
    return nullptr;
  switch (owner->kind) {
  case vqKIND_NET:
    return &static_cast<vqNet *>(owner)->attached;
  case vqKIND_COMPONENT:
    return &static_cast<vqComp *>(owner)->attached;
  case vqKIND_PIN:
    return &static_cast<vqPin *>(owner)->attached;
  default:
    return nullptr;
  }
}

int vqAttachText(vqObject *owner, vqText *text, vqId part, int atTail) {
  vqText **link = vqObjectAttachedChain(owner);
  if (link == nullptr)
    return 0;
  if (atTail)
    while (*link != nullptr)
      link = &(*link)->attNext;
  text->attNext = *link;
  *link = text;
  text->owner = owner;
  text->part = part;
  return 1;
}

int vqDetachText(vqText *text) {
  if (text == nullptr || text->owner == nullptr)
    return 0;
  vqText **link = vqObjectAttachedChain(text->owner);
  int found = 0;
  for (; link != nullptr && *link != nullptr; link = &(*link)->attNext)
    if (*link == text) {
      *link = text->attNext;
      found = 1;
      break;
    }
  text->owner = nullptr;
  text->attNext = nullptr;
  text->part = 0;
  return found;
}

int vqBlockRemoveObject(vqBlock *block, vqObject *object) {
  if (object == nullptr)
    return 0;
  int found = 0;
  for (vqObject **link = &block->objects; *link != nullptr; link = &(*link)->next)
    if (*link == object) {
      *link = object->next;
      object->next = nullptr;
      found = 1;
      break;
    }
  if (isTextKind(object->kind))
    vqDetachText(static_cast<vqText *>(object));
  else if (vqText **chain = vqObjectAttachedChain(object))
    orphanChain(chain);
  return found;
}

void vqBlockDeleteObject(vqBlock *block, vqObject *object) {
  vqBlockRemoveObject(block, object);
  q_free_generic(object);
}

// ---- Identifiers ----------------------------------------------------------------------------

vqId q_get_next_id() {
  vqBlock *b = q_get_block();
  if (b == nullptr)
    return 0;
  return nextId(b->lastId, "ERROR:  Out of ID Numbers.\n");
}

vqId q_get_next_joint_id(vqBlock *block) {
  vqBlock *b = block != nullptr ? block : q_get_block();
  return b == nullptr ? 0 : nextId(b->lastJointId, "Out of joint ids\n");
}

vqId q_get_next_segment_id(vqBlock *block) {
  vqBlock *b = block != nullptr ? block : q_get_block();
  return b == nullptr ? 0 : nextId(b->lastSegmentId, "Out of segment ids\n");
}

// ---- Fub status -------------------------------------------------------------------------------

int vqBlockMakeFub(vqBlock *block) {
  if (block == nullptr)
    return 0;
  block->fub = 1;
  return 1;
}

int vqBlockMakeNonFub(vqBlock *block) {
  if (block == nullptr)
    return 0;
  block->fub = 0;
  return 1;
}

int vqBlockIsFub(const vqBlock *block) {
  return block != nullptr && block->kind == vqBLOCK_SYMBOL && block->fub;
}

void vqBlockUpdateFubStatus(vqBlock *block) {
  if (block == nullptr || block->kind != vqBLOCK_SYMBOL)
    return;
  block->fub = 0;
  vqText *a = q_get_attribute(block, "SYMTYPE", nullptr);
  if (a != nullptr && ulStrEqu(q_attr_value(a->text), "FUB"))
    block->fub = 1;
}
