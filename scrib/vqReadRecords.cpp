// vqReadRecords.cpp: the record parsers of the block reader, one per key.
//
// Each parser reads its numeric fields first (a missing one is 2252 and
// drops an object record), then checks the values in field order (a value
// out of range is reported and, unless a step below says otherwise, kept:
// as read where the field holds it, else as the field's nearest value), then
// reads the text field, and finally makes the object, appends it and makes
// it the current object for A, L and Q.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>

#include "qInit.h"
#include "sbMsg.h"
#include "ulBus.h"
#include "ulStr.h"
#include "vqName.h"
#include "vqReadInternal.h"
#include "vqValidate.h"

namespace vqread {

void append(Reader &r, vqObject *object) {
  vqBlockInsertObject(r.block, object, r.tail);
  r.tail = object;
}

namespace {

// ---- Ownership --------------------------------------------------------------------

// object was created by an object record: it is the Q target, and the
// owner of the A and L records that follow when it can carry them.
void becomeCurrent(Reader &r, vqObject *object) {
  int kind = object->kind;
  r.qTarget = object;
  r.owner = kind == vqKIND_NET || kind == vqKIND_COMPONENT || kind == vqKIND_PIN ? object : nullptr;
  r.part = 0;
  if (kind != vqKIND_NET)
    r.net = nullptr;
  if (kind != vqKIND_COMPONENT)
    r.comp = nullptr;
}

// An object record was dropped: nothing is current any more, so that what
// follows it cannot land on an earlier object.
void dropCurrent(Reader &r) {
  r.owner = nullptr;
  r.qTarget = nullptr;
  r.net = nullptr;
  r.comp = nullptr;
}

// ---- Value checks -------------------------------------------------------------------

// v as a field of type T holds it: the nearest value of T's range. A value
// beyond the field never wraps around to another, possibly valid, one.
template <class T> T fit(long v) {
  return static_cast<T>(
      std::clamp<long>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// The same for a bit field of the placement word or an object that holds
// 0..high.
int fitBits(int v, int high) {
  return std::clamp(v, 0, high);
}

// The last id holds -1 (no identifier declared: a missing or negative i
// record) as its all-ones 32 bits, so its other values are 0..kNoLastId - 1.
constexpr vqId kNoLastId = std::numeric_limits<vqId>::max();

// The block's last id as the identifier checks compare it.
long declaredLastId(const vqBlock *block) {
  return block->lastId == kNoLastId ? -1L : static_cast<long>(block->lastId);
}

void coordinate(Reader &r, int v) {
  if (!vqValidateCoordinate(v))
    note(r.block, kError, sbMsgBuild(2229, v, lineText(r)));
}

void size(Reader &r, int v) {
  if (!vqValidateSize(v))
    note(r.block, kError, sbMsgBuild(2227, v, lineText(r)));
}

void orientation(Reader &r, int v) {
  if (!vqValidateOrientation(v))
    note(r.block, kError, sbMsgBuild(2221, v, lineText(r)));
}

void origin(Reader &r, int v) {
  if (!vqValidateOrigin(v))
    note(r.block, kError, sbMsgBuild(2222, v, lineText(r)));
}

void visibility(Reader &r, int v) {
  if (!vqValidateVisibility(v))
    note(r.block, kError, sbMsgBuild(2223, v, lineText(r)));
}

void sense(Reader &r, int v) {
  if (!vqValidateSense(v))
    note(r.block, kError, sbMsgBuild(2225, v, lineText(r)));
}

// The identifier of an N, I or P record against the block's last id: a last
// id below 1 or below the identifier is raised to it (2235, which tells the
// last id that results); then an identifier below 1 is reported with
// lowMessage. Returns the identifier as its 32 bits hold it.
vqId identifier(Reader &r, long id, int lowMessage) {
  const vqId kept = fit<vqId>(id);
  const vqId highest = std::min(kept, kNoLastId - 1);
  const long last = declaredLastId(r.block);
  if (!vqValidateLastID(last, id)) {
    if (id > last)
      r.block->lastId = highest;
    note(r.block, kError, sbMsgBuild(2235, id, declaredLastId(r.block), lineText(r)));
  }
  if (id >= 0)
    r.highestId = std::max(r.highestId, static_cast<long>(highest));
  if (id < 1) {
    if (lowMessage == 2248)
      note(r.block, kError, sbMsgBuild(2248, id, lineText(r)));
    else if (lowMessage == 2249)
      note(r.block, kError, sbMsgBuild(2249, id, lineText(r)));
    else
      note(r.block, kError, sbMsgBuild(2250, id, lineText(r)));
  }
  return kept;
}

// Reads count integers; false (and 2252) when one is missing.
bool fields(Reader &r, int *values, int count) {
  for (int i = 0; i < count; ++i)
    if (!nextInt(r, &values[i])) {
      missingField(r);
      return false;
    }
  return true;
}

// True when nothing but blanks and the line end is left on the line.
bool atLineEnd(const Reader &r) {
  const char *p = r.pos;
  while (*p == ' ')
    ++p;
  return *p == '\0' || *p == '\n';
}

// ---- Header records -----------------------------------------------------------------

// A header value: a missing one is 2252 and taken as -1.
int headerField(Reader &r, bool *reported) {
  int v;
  if (nextInt(r, &v))
    return v;
  if (!*reported)
    missingField(r);
  *reported = true;
  return -1;
}

void readVersion(Reader &r) {
  bool reported = false;
  int v = headerField(r, &reported);
  r.block->version = v;
  if (!vqValidateVersion(v)) {
    noteAlone(kSevere, sbMsgBuild(2251, kindWord(r.block), fullName(r.block), v, lineText(r)));
    r.badVersion = true;
  }
}

void readType(Reader &r) {
  bool reported = false;
  int v = headerField(r, &reported);
  if (!vqValidateBlockType(v))
    note(r.block, kError, sbMsgBuild(2215, v, lineText(r)));
  r.block->blockType = fit<uint8_t>(v);
}

void readSheetSize(Reader &r) {
  bool reported = false;
  int v = headerField(r, &reported);
  if (!vqValidateSheetSize(v))
    note(r.block, kError, sbMsgBuild(2216, v, lineText(r)));
  r.block->sheetSize = fit<uint8_t>(v);
}

void readExtent(Reader &r) {
  bool reported = false;
  int v[4];
  for (int &value : v)
    value = headerField(r, &reported);
  int width = 0;
  int height = 0;
  vqSheetSizeXY(r.block->sheetSize, &width, &height);
  const int replacement[4] = {0, 0, width, height};
  for (int i = 0; i < 4; ++i)
    if (!vqValidateCoordinate(v[i])) {
      note(r.block, kError, sbMsgBuild(2229, v[i], lineText(r)));
      v[i] = replacement[i];
    }
  r.block->x1 = v[0];
  r.block->y1 = v[1];
  r.block->x2 = v[2];
  r.block->y2 = v[3];
}

void readLastId(Reader &r) {
  long v;
  if (!nextLong(r, &v)) {
    missingField(r);
    v = -1;
  }
  // All ones is how -1 is written back.
  r.block->lastId =
      v < 0 || v == kNoLastId ? kNoLastId : std::min(fit<vqId>(v), vqId{kNoLastId - 1});
  // An i record after identifiers never takes the last id below them: the
  // block would hand out identifiers it holds already.
  if (r.highestId > declaredLastId(r.block)) {
    r.block->lastId = static_cast<vqId>(r.highestId);
    note(r.block, kError, sbMsgBuild(2235, r.highestId, r.highestId, lineText(r)));
  }
}

// ---- Graphics -------------------------------------------------------------------------

void readLine(Reader &r) {
  int count;
  if (!nextInt(r, &count)) {
    missingField(r);
    dropCurrent(r);
    return;
  }
  if (count <= 0) {
    note(r.block, kError, sbMsgBuild(2228, count, lineText(r)));
    dropCurrent(r);
    return;
  }
  // Any count is read: the points are taken as the file holds them, so a
  // count beyond the file costs no more memory than the file's own points.
  std::vector<int> values;
  for (long i = 0; i < 2L * count; ++i) {
    // The points may continue on the following lines.
    while (atLineEnd(r))
      if (!nextLine(r))
        break;
    int value;
    if (!nextInt(r, &value)) {
      missingField(r);
      dropCurrent(r);
      return;
    }
    values.push_back(value);
  }
  for (int value : values)
    coordinate(r, value);
  vqLine *line = q_alloc_line(count);
  for (int i = 0; i < count; ++i)
    line->points[i] = {values[2 * i], values[2 * i + 1]};
  append(r, line);
  becomeCurrent(r, line);
}

void readBox(Reader &r) {
  int v[4];
  if (!fields(r, v, 4)) {
    dropCurrent(r);
    return;
  }
  for (int value : v)
    coordinate(r, value);
  vqBox *box = q_alloc_box();
  box->p1 = {v[0], v[1]};
  box->p2 = {v[2], v[3]};
  append(r, box);
  becomeCurrent(r, box);
}

void readCircle(Reader &r) {
  int v[3];
  if (!fields(r, v, 3)) {
    dropCurrent(r);
    return;
  }
  coordinate(r, v[0]);
  coordinate(r, v[1]);
  if (!vqValidateRadius(v[2]))
    note(r.block, kError, sbMsgBuild(2236, v[2], lineText(r)));
  vqCircle *circle = q_alloc_circle();
  circle->x = v[0];
  circle->y = v[1];
  circle->radius = v[2];
  append(r, circle);
  becomeCurrent(r, circle);
}

int roundToInt(double v) {
  if (!(v > INT32_MIN))
    return INT32_MIN;
  if (!(v < INT32_MAX))
    return INT32_MAX;
  return static_cast<int>(std::lround(v));
}

// The older arc layout: centre, radius, start and end angle in degrees.
bool readOldArc(Reader &r, vqArc *arc) {
  int v[5];
  if (!fields(r, v, 5))
    return false;
  coordinate(r, v[0]);
  coordinate(r, v[1]);
  if (!vqValidateRadius(v[2])) {
    note(r.block, kError, sbMsgBuild(2236, v[2], lineText(r)));
    return false;
  }
  double start = std::fmod(static_cast<double>(v[3]), 360.0);
  double sweep = std::fmod(static_cast<double>(v[4]) - v[3], 360.0);
  if (sweep <= 0.0)
    sweep += 360.0;
  const double angles[3] = {start, start + sweep / 2.0, start + sweep};
  for (int i = 0; i < 3; ++i) {
    double radians = angles[i] * std::numbers::pi / 180.0;
    arc->p[i] = {roundToInt(v[0] + v[2] * std::cos(radians)),
                 roundToInt(v[1] + v[2] * std::sin(radians))};
  }
  return true;
}

void readArc(Reader &r) {
  vqArc *arc = q_alloc_arc();
  bool ok;
  if (r.block->version <= 42) {
    ok = readOldArc(r, arc);
  } else {
    int v[6];
    ok = fields(r, v, 6);
    if (ok) {
      for (int value : v)
        coordinate(r, value);
      for (int i = 0; i < 3; ++i)
        arc->p[i] = {v[2 * i], v[2 * i + 1]};
    }
  }
  if (!ok) {
    q_free_arc(arc);
    dropCurrent(r);
    return;
  }
  append(r, arc);
  becomeCurrent(r, arc);
}

// ---- Texts, attributes, labels ------------------------------------------------------------

// The common fields x y size orientation origin of T, L, U and A, checked.
bool textFields(Reader &r, int (&v)[5], int extra, int *more) {
  if (!fields(r, v, 5) || !fields(r, more, extra))
    return false;
  coordinate(r, v[0]);
  coordinate(r, v[1]);
  size(r, v[2]);
  orientation(r, v[3]);
  origin(r, v[4]);
  return true;
}

void fillText(vqText *t, const int (&v)[5], char *text) {
  t->x = v[0];
  t->y = v[1];
  t->size = v[2];
  vqPlaceSetOrient(&t->place, fitBits(v[3], 7));
  vqPlaceSetOrigin(&t->place, fitBits(v[4], 15));
  t->text = text;
}

void readText(Reader &r) {
  int v[5];
  if (!textFields(r, v, 0, nullptr)) {
    dropCurrent(r);
    return;
  }
  vqText *t = q_alloc_text();
  fillText(t, v, textField(r));
  append(r, t);
  becomeCurrent(r, t);
}

void readBlockAttribute(Reader &r) {
  int v[5];
  int vis;
  if (!textFields(r, v, 1, &vis)) {
    dropCurrent(r);
    return;
  }
  visibility(r, vis);
  vqText *t = q_alloc_attribute();
  fillText(t, v, textField(r));
  vqPlaceSetVis(&t->place, fitBits(vis, 3));
  append(r, t);
  becomeCurrent(r, t);
}

// Attaches an A or L text to the current owner; false when there is none
// (noOwner reported) or the current net has no segment yet (noSegment).
bool attach(Reader &r, vqText *t, int noOwner, int noSegment) {
  if (r.owner == nullptr) {
    if (noOwner == 2230)
      note(r.block, kError, sbMsgBuild(2230, lineText(r)));
    else
      note(r.block, kError, sbMsgBuild(2232, lineText(r)));
    return false;
  }
  vqId part = 0;
  if (r.owner->kind == vqKIND_NET) {
    if (r.segmentTail == nullptr) {
      if (noSegment == 2231)
        note(r.block, kError, sbMsgBuild(2231, lineText(r)));
      else
        note(r.block, kError, sbMsgBuild(2233, lineText(r)));
      return false;
    }
    part = r.segmentTail->id;
  } else if (r.owner->kind == vqKIND_COMPONENT) {
    part = r.part;
  }
  append(r, t);
  vqAttachText(r.owner, t, part, 1);
  return true;
}

void readAttribute(Reader &r) {
  int v[5];
  int vis;
  r.qTarget = nullptr;
  if (!textFields(r, v, 1, &vis))
    return;
  visibility(r, vis);
  vqText *t = q_alloc_attribute();
  fillText(t, v, textField(r));
  vqPlaceSetVis(&t->place, fitBits(vis, 3));
  if (!attach(r, t, 2232, 2233)) {
    q_free_attribute(t);
    return;
  }
  r.qTarget = t;
}

void readLabel(Reader &r) {
  int v[5];
  int more[3]; // scope, visibility, sense
  r.qTarget = nullptr;
  if (!textFields(r, v, 3, more))
    return;
  if (!vqValidateScope(more[0]))
    note(r.block, kError, sbMsgBuild(2224, more[0], lineText(r)));
  visibility(r, more[1]);
  sense(r, more[2]);
  vqText *t = q_alloc_label();
  fillText(t, v, textField(r));
  vqPlaceSetScope(&t->place, fitBits(more[0], 3));
  vqPlaceSetVis(&t->place, fitBits(more[1], 3));
  vqPlaceSetSense(&t->place, fitBits(more[2], 1));
  if (!q_valid_label(t->text)) {
    note(r.block, kError, sbMsgBuild(2246, t->text, lineText(r)));
    q_free_label(t);
    return;
  }
  if (!attach(r, t, 2230, 2231)) {
    q_free_label(t);
    return;
  }
  r.qTarget = t;
}

// ---- Q: colour, style, line style -------------------------------------------------------

bool isTextKind(int kind) {
  return kind == vqKIND_TEXT || kind == vqKIND_ATTRIBUTE || kind == vqKIND_LABEL ||
         kind == vqKIND_OATTRIBUTE || kind == vqKIND_META_ATTRIBUTE;
}

// The font that holds Kanji characters (texts only).
constexpr int kKanjiFont = 11;

bool kanjiTextOk(const vqObject *object) {
  const char *text = static_cast<const vqText *>(object)->text;
  for (const char *p = text ? text : ""; *p != '\0'; ++p)
    if (!vqValidateKanji(static_cast<unsigned char>(*p)))
      return false;
  return true;
}

void readStyle(Reader &r) {
  vqObject *o = r.qTarget;
  r.qTarget = nullptr;
  if (o == nullptr) {
    // No object was created just before: the Q record has nothing to apply to.
    noteAlone(kError, sbMsgBuild(2247, kindWord(r.block), lineText(r), 'Q', fullName(r.block)));
    return;
  }
  int v[3];
  if (!fields(r, v, 3))
    return;
  const qObject defaults = o->kind < qOBJECT_COUNT ? q_objects[o->kind] : qObject{nullptr, 0, 0, 0};
  int color = v[0];
  if (!vqValidateColor(color)) {
    note(r.block, kError, sbMsgBuild(2217, color, lineText(r)));
    color = static_cast<int>(defaults.color);
  }
  int style = v[1];
  if (isTextKind(o->kind) && o->kind != vqKIND_META_ATTRIBUTE) {
    if (!vqValidateFont(o->kind, style)) {
      note(r.block, kError, sbMsgBuild(2220, style, lineText(r)));
      style = static_cast<int>(defaults.style);
    } else if (style == kKanjiFont && !kanjiTextOk(o)) {
      note(r.block, kError, sbMsgBuild(2261, lineText(r)));
      style = static_cast<int>(defaults.style);
    }
  } else if (o->kind == vqKIND_ARC) {
    style = 0;
  } else if (!vqValidateFillStyle(style)) {
    note(r.block, kError, sbMsgBuild(2219, style, lineText(r)));
    style = static_cast<int>(defaults.style);
  }
  int lineStyle = v[2];
  if (!vqValidateLineStyle(lineStyle)) {
    note(r.block, kError, sbMsgBuild(2218, lineStyle, lineText(r)));
    lineStyle = static_cast<int>(defaults.lineStyle);
  }
  o->color = static_cast<uint8_t>(color);
  o->style = static_cast<uint8_t>(style & 31);
  o->lineStyle = static_cast<uint8_t>(lineStyle & 7);
}

// ---- Nets -----------------------------------------------------------------------------------

void readNet(Reader &r) {
  long id;
  if (!nextLong(r, &id)) {
    missingField(r);
    dropCurrent(r);
    return;
  }
  vqNet *net = q_alloc_net();
  net->id = identifier(r, id, 2248);
  append(r, net);
  becomeCurrent(r, net);
  r.net = net;
  r.joints.clear();
  r.jointTail = nullptr;
  r.segmentTail = nullptr;
}

void readJoint(Reader &r) {
  r.qTarget = nullptr;
  if (r.net == nullptr) {
    note(r.block, kError, sbMsgBuild(2241, lineText(r)));
    return;
  }
  int v[3];
  if (!fields(r, v, 3))
    return;
  coordinate(r, v[0]);
  coordinate(r, v[1]);
  if (!vqValidateJointType(v[2]))
    note(r.block, kError, sbMsgBuild(2238, v[2], lineText(r)));
  vqJoint *joint = q_alloc_joint();
  joint->x = v[0];
  joint->y = v[1];
  joint->type = static_cast<uint8_t>(fitBits(v[2], 15));
  joint->id = q_get_next_joint_id(r.block);
  if (r.jointTail == nullptr)
    r.net->joints = joint;
  else
    r.jointTail->next = joint;
  r.jointTail = joint;
  r.joints.push_back(joint);
}

// The joint that a segment's joint number names: its position in the net
// (from 1), or in files of version 38 its identifier. Null when none.
vqJoint *segmentJoint(const Reader &r, long number) {
  if (r.block->version == 38) {
    for (vqJoint *j : r.joints)
      if (static_cast<long>(j->id) == number)
        return j;
    return nullptr;
  }
  if (number < 1 || number > static_cast<long>(r.joints.size()))
    return nullptr;
  return r.joints[static_cast<size_t>(number - 1)];
}

// The angle code of a segment: 0 horizontal, 1 vertical, 2 oblique.
uint8_t segmentAngle(const vqJoint *a, const vqJoint *b) {
  if (a->y == b->y)
    return 0;
  return a->x == b->x ? 1 : 2;
}

void readSegment(Reader &r, bool bus) {
  r.qTarget = nullptr;
  if (r.net == nullptr) {
    note(r.block, kError, sbMsgBuild(2242, lineText(r)));
    return;
  }
  int v[2];
  if (!fields(r, v, 2))
    return;
  vqJoint *ends[2];
  for (int i = 0; i < 2; ++i) {
    ends[i] = segmentJoint(r, v[i]);
    if (ends[i] == nullptr) {
      note(r.block, kError, sbMsgBuild(2243, v[i], lineText(r)));
      q_bad_data = 1;
      return;
    }
  }
  if (ends[0] == ends[1]) {
    note(r.block, kError, sbMsgBuild(2244, v[0], lineText(r)));
    q_bad_data = 1;
    return;
  }
  if (ends[0]->side == 4 || ends[1]->side == 4) {
    note(r.block, kError, sbMsgBuild(2258, lineText(r)));
    return;
  }
  vqSegment *segment = q_alloc_segment();
  segment->j1 = ends[0];
  segment->j2 = ends[1];
  segment->id = q_get_next_segment_id(r.block);
  segment->bus = bus ? 1 : 0;
  segment->angle = segmentAngle(ends[0], ends[1]);
  ends[0]->segments = ulCellAdd(segment, ends[0]->segments);
  ends[1]->segments = ulCellAdd(segment, ends[1]->segments);
  if (r.segmentTail == nullptr)
    r.net->segments = segment;
  else
    r.segmentTail->next = segment;
  r.segmentTail = segment;
}

// ---- Component instances --------------------------------------------------------------------

// Whether a library:component field names a component: the part after its
// first ":", or the whole field, is not empty once q_split_lib_comp has
// skipped the blanks before the field.
bool namesComponent(const char *libcomp) {
  const char *start = ulStrBlk(libcomp);
  const char *colon = std::strchr(start, ':');
  return (colon != nullptr ? colon[1] : start[0]) != '\0';
}

void readComponent(Reader &r) {
  long id;
  char libcomp[vqLIBCOMP_MAX + 1];
  int v[4]; // number x y orientation
  // A name without component (":" or "lib:") names no symbol: the field is
  // missing, and an empty name would not read back.
  if (!nextLong(r, &id) || !nextWord(r, libcomp, sizeof libcomp) || !namesComponent(libcomp)) {
    missingField(r);
    dropCurrent(r);
    return;
  }
  if (!fields(r, v, 4)) {
    dropCurrent(r);
    return;
  }
  double scale;
  bool haveScale = nextDouble(r, &scale);
  vqId cutId = identifier(r, id, 2250);
  if (!vqValidateSheetNumber(v[0]))
    note(r.block, kError, sbMsgBuild(2234, v[0], lineText(r)));
  coordinate(r, v[1]);
  coordinate(r, v[2]);
  orientation(r, v[3]);
  char *trail = nullptr;
  if (!haveScale) {
    note(r.block, kError, sbMsgBuild(2253, lineText(r)));
    scale = 1.0;
  } else {
    if (!vqValidateScale(scale)) {
      note(r.block, kError, sbMsgBuild(2226, scale, lineText(r)));
      scale = 1.0;
    }
    trail = textField(r);
    if (trail[0] == '\'') {
      ulStrFree(trail);
      trail = nullptr;
    }
  }
  vqComp *comp = q_alloc_comp();
  comp->id = cutId;
  comp->symNumber = v[0];
  comp->x = v[1];
  comp->y = v[2];
  comp->orient = v[3];
  comp->scale = static_cast<float>(scale > FLT_MAX ? FLT_MAX : scale);
  comp->trail = trail;
  // The library part is kept in a buffer that the load below may reuse.
  std::string library = q_split_lib_comp(libcomp);
  comp->symLibrary = ulStrCpy(library.c_str());
  int status = 0;
  comp->symbol = vqBlockLoad(vqBLOCK_SYMBOL, library.c_str(), libcomp, comp->symNumber,
                             vqLOAD_EXISTING, &status);
  comp->symName = ulStrCpy(libcomp);
  compBoundingBox(comp);
  append(r, comp);
  becomeCurrent(r, comp);
  r.comp = comp;
  r.cntTail = nullptr;
}

void readConnection(Reader &r, bool connected) {
  r.qTarget = nullptr;
  if (r.comp == nullptr) {
    note(r.block, kError, sbMsgBuild(2245, lineText(r)));
    return;
  }
  long netId = 0;
  int joint = 0;
  long pinId;
  if (connected && (!nextLong(r, &netId) || !nextInt(r, &joint))) {
    missingField(r);
    return;
  }
  if (!nextLong(r, &pinId)) {
    missingField(r);
    return;
  }
  char *number = textField(r);
  vqCnt *cnt = q_alloc_cnt();
  cnt->pinId = fit<vqId>(pinId);
  cnt->pinIndex = q_get_pnindex(number);
  ulStrFree(number);
  if (r.cntTail == nullptr)
    r.comp->cnts = cnt;
  else
    r.cntTail->next = cnt;
  r.cntTail = cnt;
  if (connected)
    r.pending.push_back({cnt, netId, joint});
  // The A and L records that follow are tied to this pin connection.
  r.part = cnt->pinId;
}

// ---- Pins ------------------------------------------------------------------------------------

void readPin(Reader &r) {
  long id;
  int v[7]; // x1 y1 x2 y2 type side sense
  if (!nextLong(r, &id)) {
    missingField(r);
    dropCurrent(r);
    return;
  }
  if (!fields(r, v, 7)) {
    dropCurrent(r);
    return;
  }
  vqPin *pin = q_alloc_pin();
  pin->id = identifier(r, id, 2249);
  for (int i = 0; i < 4; ++i)
    coordinate(r, v[i]);
  if (!vqValidateSide(v[5]))
    note(r.block, kError, sbMsgBuild(2239, v[5], lineText(r)));
  sense(r, v[6]);
  pin->p1 = {v[0], v[1]};
  pin->p2 = {v[2], v[3]};
  pin->type = v[4];
  pin->side = fit<uint8_t>(v[5]);
  pin->sense = fit<uint8_t>(v[6]);
  append(r, pin);
  becomeCurrent(r, pin);
}

// ---- Dispatch -------------------------------------------------------------------------------

// The records of both kinds of block; false for another key.
bool commonRecord(Reader &r, char key) {
  switch (key) {
  case 'V':
    readVersion(r);
    return true;
  case 'Y':
    readType(r);
    return true;
  case 'D':
    readExtent(r);
    return true;
  case 'Z':
    readSheetSize(r);
    return true;
  case 'i':
    readLastId(r);
    return true;
  case 'l':
    readLine(r);
    return true;
  case 'b':
    readBox(r);
    return true;
  case 'c':
    readCircle(r);
    return true;
  case 'a':
    readArc(r);
    return true;
  case 'T':
    readText(r);
    return true;
  case 'L':
    readLabel(r);
    return true;
  case 'U':
    readBlockAttribute(r);
    return true;
  case 'A':
    readAttribute(r);
    return true;
  case 'Q':
    readStyle(r);
    return true;
  case '|':
    return true;
  default:
    return false;
  }
}

bool schematicRecord(Reader &r, char key) {
  switch (key) {
  case 'N':
    readNet(r);
    return true;
  case 'J':
    readJoint(r);
    return true;
  case 'S':
    readSegment(r, false);
    return true;
  case 'B':
    readSegment(r, true);
    return true;
  case 'I':
    readComponent(r);
    return true;
  case 'C':
    readConnection(r, true);
    return true;
  case 'X':
    readConnection(r, false);
    return true;
  default:
    return false;
  }
}

bool symbolRecord(Reader &r, char key) {
  if (key != 'P')
    return false;
  readPin(r);
  return true;
}

} // namespace

void readRecord(Reader &r) {
  char key = r.pos[0];
  ++r.pos;
  if (commonRecord(r, key))
    return;
  if (r.block->kind == vqBLOCK_SCHEMATIC ? schematicRecord(r, key)
      : r.block->kind == vqBLOCK_SYMBOL  ? symbolRecord(r, key)
                                         : false)
    return;
  noteAlone(kError, sbMsgBuild(2247, kindWord(r.block), lineText(r), key, fullName(r.block)));
  // The line may be an object record of the other kind of block: what
  // follows it must not attach to an earlier object.
  dropCurrent(r);
}

} // namespace vqread

int q_valid_label(const char *text) {
  if (text == nullptr || std::strchr(text, ' ') != nullptr || std::strchr(text, '`') != nullptr)
    return 0;
  return ulBusExpandWidth(text) != 0 ? 1 : 0;
}
