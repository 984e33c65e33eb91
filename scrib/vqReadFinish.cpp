// vqReadFinish.cpp: the finishing steps after the last record of a block:
// ripper versions, duplicate texts, nets that do not hold together,
// instance sizes and connections, joints moved to their pins, pass-through
// pins and the fub status of symbols.
//
// Placement of a symbol by an instance: a symbol point is scaled, mirrored
// (x negated) when bit 2 of the orientation is set, then turned by 90
// degrees counter-clockwise (orientation & 3) times, and moved to the
// instance's position. Pin sides turn with it: 0 left, 1 top, 2 right,
// 3 bottom; side 4 (a pin without side) stays.
//
// Joint types: the low two bits count the segments that meet at the joint
// (0 none, 1 an end, 2 a bend or a straight run, 3 three or more: a junction
// drawn with a dot); the bit 8 says that the joint lies on an instance pin.
// Types 4 to 7 are accepted in files and kept until a joint's type is
// recomputed.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "qInit.h"
#include "sbMsg.h"
#include "ulBus.h"
#include "vqAttr.h"
#include "vqName.h"
#include "vqReadInternal.h"
#include "vqValidate.h"

namespace {

constexpr int kJointOnPin = 8;

int clampToInt(double v) {
  if (!(v > INT32_MIN))
    return INT32_MIN;
  if (!(v < INT32_MAX))
    return INT32_MAX;
  return static_cast<int>(std::lround(v));
}

int segmentCount(const vqJoint *joint) {
  int n = 0;
  for (const ulCell *c = joint->segments; c != nullptr && n < 3; c = c->next)
    ++n;
  return n;
}

// The text of the first label in a pin's attached chain, or null.
const char *pinName(const vqPin *pin) {
  for (const vqText *t = pin->attached; t != nullptr; t = t->attNext)
    if (t->kind == vqKIND_LABEL)
      return t->text;
  return nullptr;
}

// The pin index of a symbol pin: the value of its attribute "#" (its pin
// number), or its identifier when it has none.
int pinIndexOf(vqPin *pin) {
  vqText *number = q_get_inst_attribute("#", pin, 0);
  if (number == nullptr || number->text == nullptr)
    return static_cast<int>(pin->id);
  return q_get_pnindex(q_attr_value(number->text));
}

} // namespace

namespace vqread {

vqPoint placePoint(const vqComp *comp, vqPoint p) {
  double x = p.x * static_cast<double>(comp->scale);
  double y = p.y * static_cast<double>(comp->scale);
  int orient = comp->orient & 7;
  if (orient & 4)
    x = -x;
  for (int turn = 0; turn < (orient & 3); ++turn) {
    double t = x;
    x = -y;
    y = t;
  }
  return {clampToInt(comp->x + x), clampToInt(comp->y + y)};
}

void compBoundingBox(vqComp *comp) {
  const vqBlock *s = comp->symbol;
  if (s == nullptr) {
    comp->bbox[0] = comp->bbox[1] = {comp->x, comp->y};
    return;
  }
  const vqPoint corners[4] = {{s->x1, s->y1}, {s->x2, s->y1}, {s->x1, s->y2}, {s->x2, s->y2}};
  vqPoint low = placePoint(comp, corners[0]);
  vqPoint high = low;
  for (const vqPoint &c : corners) {
    vqPoint p = placePoint(comp, c);
    low = {std::min(low.x, p.x), std::min(low.y, p.y)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y)};
  }
  comp->bbox[0] = low;
  comp->bbox[1] = high;
}

} // namespace vqread

// ---- Operations of the editor database -------------------------------------------------

int q_upd_comp_size(vqComp *comp) {
  int size = 1;
  vqText *refdes = q_get_inst_attribute("REFDES", comp, 0);
  if (refdes != nullptr && refdes->text != nullptr) {
    int width = ulBusExpandWidth(q_attr_value(refdes->text));
    if (width > 0)
      size = width;
  }
  comp->size = size;
  return size;
}

void q_add_comp_cnts(vqComp *comp) {
  if (comp->symbol == nullptr)
    return;
  std::unordered_set<vqId> have;
  vqCnt *tail = nullptr;
  for (vqCnt *c = comp->cnts; c != nullptr; c = c->next) {
    have.insert(c->pinId);
    tail = c;
  }
  for (vqObject *o = comp->symbol->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_PIN)
      continue;
    auto *pin = static_cast<vqPin *>(o);
    if (!have.insert(pin->id).second)
      continue;
    vqCnt *cnt = q_alloc_cnt();
    cnt->pinId = pin->id;
    cnt->pinIndex = pinIndexOf(pin);
    if (tail == nullptr)
      comp->cnts = cnt;
    else
      tail->next = cnt;
    tail = cnt;
  }
}

void q_set_jside(vqJoint *joint, const vqComp *comp, int pinSide) {
  int side = pinSide;
  if (side >= 0 && side <= 3) {
    int orient = comp->orient & 7;
    if ((orient & 4) && (side == 0 || side == 2))
      side = 2 - side;
    for (int turn = 0; turn < (orient & 3); ++turn)
      side = (side + 3) % 4;
  }
  joint->side = static_cast<uint8_t>(side & 7);
}

void q_set_jtype(vqJoint *joint, int pin) {
  joint->type = static_cast<uint8_t>(segmentCount(joint) | (pin ? kJointOnPin : 0));
}

void q_set_passthru_pins(vqBlock *block) {
  std::vector<std::pair<std::string_view, vqPin *>> named;
  for (vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_PIN)
      continue;
    o->flags &= static_cast<uint8_t>(~vqOBJ_PASSTHRU);
    if (const char *name = pinName(static_cast<vqPin *>(o)))
      named.emplace_back(name, static_cast<vqPin *>(o));
  }
  std::sort(named.begin(), named.end(),
            [](const auto &a, const auto &b) { return a.first < b.first; });
  for (size_t i = 0; i + 1 < named.size(); ++i)
    if (named[i].first == named[i + 1].first) {
      named[i].second->flags |= vqOBJ_PASSTHRU;
      named[i + 1].second->flags |= vqOBJ_PASSTHRU;
    }
}

int vqRippersExist(const vqBlock *block) {
  for (const vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_COMPONENT)
      continue;
    vqBlock *symbol = static_cast<const vqComp *>(o)->symbol;
    if (symbol == nullptr)
      continue;
    vqText *type = q_get_attribute(symbol, "SYMTYPE", nullptr);
    if (type != nullptr && type->text != nullptr && ulStrEqu(q_attr_value(type->text), "RIPPER"))
      return 1;
  }
  return 0;
}

// ---- The steps ------------------------------------------------------------------------------

namespace vqread {
namespace {

void ripperVersion(vqBlock *block) {
  int v = block->version;
  bool rippers = vqRippersExist(block) != 0;
  if (!vqIniSettingsV.rippersOn) {
    if (rippers && (v == vqFORMAT_VERSION || v == vqRIPPER_VERSION))
      noteAlone(kFatal, sbMsgBuild(2257, fullName(block)));
    else if (v == vqRIPPER_VERSION && !rippers)
      block->version = vqFORMAT_VERSION;
  } else if (v == vqFORMAT_VERSION && rippers) {
    block->version = vqRIPPER_VERSION;
  }
}

// What makes two texts duplicates: kind, position, size, orientation,
// origin, scope, visibility, owner and text.
bool sameText(const vqText *a, const vqText *b) {
  return a->kind == b->kind && a->x == b->x && a->y == b->y && a->size == b->size &&
         vqPlaceOrient(a->place) == vqPlaceOrient(b->place) &&
         vqPlaceOrigin(a->place) == vqPlaceOrigin(b->place) &&
         vqPlaceScope(a->place) == vqPlaceScope(b->place) &&
         vqPlaceVis(a->place) == vqPlaceVis(b->place) && a->owner == b->owner &&
         ulStrEqu(a->text, b->text);
}

size_t textHash(const vqText *t) {
  size_t h = std::hash<std::string_view>()(t->text != nullptr ? t->text : "");
  for (size_t v :
       {static_cast<size_t>(t->kind), static_cast<size_t>(static_cast<unsigned>(t->x)),
        static_cast<size_t>(static_cast<unsigned>(t->y)), reinterpret_cast<uintptr_t>(t->owner)})
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  return h;
}

// Removes each text that repeats an earlier one of the list: the texts are
// sorted by hash and list position, so an earlier text comes first within
// its group of equal hashes.
void removeDuplicateTexts(vqBlock *block) {
  struct Entry {
    size_t hash;
    size_t position;
    vqText *text;
  };
  std::vector<Entry> texts;
  size_t position = 0;
  for (vqObject *o = block->objects; o != nullptr; o = o->next, ++position)
    if (o->kind == vqKIND_TEXT || o->kind == vqKIND_ATTRIBUTE || o->kind == vqKIND_LABEL)
      texts.push_back({textHash(static_cast<vqText *>(o)), position, static_cast<vqText *>(o)});
  std::sort(texts.begin(), texts.end(), [](const Entry &a, const Entry &b) {
    return a.hash != b.hash ? a.hash < b.hash : a.position < b.position;
  });
  std::vector<vqText *> doomed;
  for (size_t group = 0; group < texts.size();) {
    size_t end = group;
    while (end < texts.size() && texts[end].hash == texts[group].hash)
      ++end;
    for (size_t i = group + 1; i < end; ++i)
      for (size_t k = group; k < i; ++k)
        if (texts[k].text != nullptr && sameText(texts[k].text, texts[i].text)) {
          doomed.push_back(texts[i].text);
          texts[i].text = nullptr;
          break;
        }
    group = end;
  }
  for (vqText *t : doomed)
    vqBlockDeleteObject(block, t);
}

// Removes the nets that do not hold together; whether there was one.
bool removeBadNets(vqBlock *block) {
  bool removed = false;
  for (vqObject *o = block->objects, *next; o != nullptr; o = next) {
    next = o->next;
    if (o->kind != vqKIND_NET)
      continue;
    auto *net = static_cast<vqNet *>(o);
    int joints = 0;
    int segments = 0;
    for (vqJoint *j = net->joints; j != nullptr; j = j->next)
      ++joints;
    for (vqSegment *s = net->segments; s != nullptr; s = s->next)
      ++segments;
    if (vqValidateNumJointsAndSegments(joints, segments))
      continue;
    noteAlone(kError, sbMsgBuild(2237, fullName(block), static_cast<long>(net->id)));
    // Its labels and attributes stay in the list without owner.
    vqBlockDeleteObject(block, net);
    removed = true;
  }
  return removed;
}

// Ties the C records to their nets and joints; a net or joint that is not
// there leaves the connection unconnected.
void resolveConnections(Reader &r) {
  std::unordered_map<vqId, vqNet *> nets;
  for (vqObject *o = r.block->objects; o != nullptr; o = o->next)
    if (o->kind == vqKIND_NET)
      nets.emplace(static_cast<vqNet *>(o)->id, static_cast<vqNet *>(o));
  for (const PendingCnt &p : r.pending) {
    if (p.netId < 0 || p.netId > 0xffffffffL)
      continue;
    auto it = nets.find(static_cast<vqId>(p.netId));
    if (it == nets.end())
      continue;
    int position = 1;
    for (vqJoint *j = it->second->joints; j != nullptr; j = j->next, ++position)
      if (position == p.joint) {
        p.cnt->net = it->second;
        p.cnt->joint = j;
        break;
      }
  }
}

int pinCount(const vqBlock *symbol) {
  int n = 0;
  for (const vqObject *o = symbol->objects; o != nullptr; o = o->next)
    n += o->kind == vqKIND_PIN;
  return n;
}

void finishInstances(Reader &r, std::unordered_set<vqJoint *> &reached) {
  std::unordered_map<const vqBlock *, std::unordered_map<vqId, const vqPin *>> pins;
  for (vqObject *o = r.block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_COMPONENT)
      continue;
    auto *comp = static_cast<vqComp *>(o);
    q_upd_comp_size(comp);
    if (comp->symbol == nullptr)
      continue;
    int cnts = 0;
    for (vqCnt *c = comp->cnts; c != nullptr; c = c->next)
      ++cnts;
    if (r.block->version == 38 || cnts != pinCount(comp->symbol))
      q_add_comp_cnts(comp);
    auto [entry, fresh] = pins.try_emplace(comp->symbol);
    if (fresh)
      for (vqObject *p = comp->symbol->objects; p != nullptr; p = p->next)
        if (p->kind == vqKIND_PIN)
          entry->second.emplace(static_cast<vqPin *>(p)->id, static_cast<vqPin *>(p));
    for (vqCnt *c = comp->cnts; c != nullptr; c = c->next) {
      if (c->joint == nullptr)
        continue;
      auto pin = entry->second.find(c->pinId);
      if (pin == entry->second.end())
        continue;
      vqPoint at = placePoint(comp, pin->second->p1);
      c->joint->x = at.x;
      c->joint->y = at.y;
      q_set_jside(c->joint, comp, pin->second->side);
      reached.insert(c->joint);
    }
  }
}

// Joint types from the finished nets, and segment angles after the moves.
void finishJoints(const Reader &r, const std::unordered_set<vqJoint *> &reached) {
  for (vqObject *o = r.block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_NET)
      continue;
    auto *net = static_cast<vqNet *>(o);
    for (vqSegment *s = net->segments; s != nullptr; s = s->next)
      s->angle = s->j1->y == s->j2->y ? 0 : s->j1->x == s->j2->x ? 1 : 2;
    for (vqJoint *j = net->joints; j != nullptr; j = j->next) {
      if (reached.count(j) != 0) {
        q_set_jtype(j, 1);
        continue;
      }
      int before = j->type;
      q_set_jtype(j, 0);
      if (j->type != before && readState().hidden)
        noteAlone(kError, sbMsgBuild(2260, fullName(r.block), static_cast<long>(j->id)));
    }
  }
}

} // namespace

void finishBlock(Reader &r) {
  vqBlock *block = r.block;
  if (block->kind == vqBLOCK_SCHEMATIC)
    ripperVersion(block);
  removeDuplicateTexts(block);
  if (block->kind == vqBLOCK_SCHEMATIC) {
    // Texts that lost their net may now repeat each other: as they are
    // written, a second read would find them duplicates.
    if (removeBadNets(block))
      removeDuplicateTexts(block);
    resolveConnections(r);
    std::unordered_set<vqJoint *> reached;
    finishInstances(r, reached);
    finishJoints(r, reached);
  } else if (block->kind == vqBLOCK_SYMBOL) {
    q_set_passthru_pins(block);
    vqBlockUpdateFubStatus(block);
  }
}

} // namespace vqread
