// gpiAttr.cpp: the attribute edits of the programming interface: rewrite,
// add (with the may-add rule and the default stacking position), delete,
// and the reference designator and pin numbers of component instances.
#include <algorithm>
#include <climits>
#include <string>

#include "gpi.h"
#include "qInit.h"
#include "ulStr.h"
#include "vqAttr.h"
#include "vqName.h"
#include "vqTransform.h"

namespace {

// The name of the reference designator attribute and of the pin number
// attribute of an instance connection.
constexpr const char *kRefdes = "REFDES";
constexpr const char *kPinNumber = "#";

// Origins given to texts on horizontal (angle 0) and vertical (angle 1) net
// segments: centred above the segment, and left of centre beside it.
constexpr int kOriginHorizontal = 6;
constexpr int kOriginVertical = 2;

bool isKind(const vqObject *o, int kind) {
  return o != nullptr && o->kind == kind;
}

vqComp *asComp(vqObject *o) {
  return isKind(o, vqKIND_COMPONENT) ? static_cast<vqComp *>(o) : nullptr;
}

vqText *asAttribute(vqObject *o) {
  return isKind(o, vqKIND_ATTRIBUTE) ? static_cast<vqText *>(o) : nullptr;
}

// The connection of the instance whose pin identifier is pinId, or null.
vqCnt *connection(vqComp *c, vqId pinId) {
  for (vqCnt *cnt = c->cnts; cnt != nullptr; cnt = cnt->next)
    if (cnt->pinId == pinId)
      return cnt;
  return nullptr;
}

// The vertical distance between stacked attribute texts (ADISTANCE).
double spacing() {
  return q_values[qV_ADISTANCE].value;
}

// v truncated towards 0 to an int; values beyond the int range (from a
// spacing far outside what drawings use) stop at its ends.
int truncate(double v) {
  return static_cast<int>(
      std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

// The name of an attribute text (trailing blanks of text removed in place),
// as a copy that the next q_attr_name call does not touch.
std::string nameOf(char *text) {
  return q_attr_name(text);
}

// The value of an attribute text, as a copy.
std::string valueOf(const char *text) {
  std::string copy = text != nullptr ? text : "";
  return q_attr_value(copy.data());
}

// ---- The may-add rule -------------------------------------------------------------

bool mayAdd(const vqBlock *block, const std::string &name, vqObject *owner, vqId part) {
  const char *n = name.c_str();
  vqComp *comp = asComp(owner);
  if (q_attr_exists(n, owner, part)) {
    if (block->kind == vqBLOCK_SYMBOL)
      return true;
    if (comp != nullptr && part == 0 && (ulStrEqu(n, "SIGNAL") || ulStrEqu(n, "EQUATE")))
      return true;
    if (ulStrEqu(n, "PARAM"))
      return true;
    return isKind(owner, vqKIND_NET) && ulStrEqu(n, "PROBE");
  }
  if (comp == nullptr)
    return true;
  if (ulStrEqu(n, kRefdes) && part == 0)
    return comp->refdes == nullptr || comp->refdes[0] == '\0';
  if (ulStrEqu(n, kPinNumber) && part != 0) {
    const vqCnt *cnt = connection(comp, part);
    return cnt == nullptr || cnt->pinIndex == 0;
  }
  return true;
}

// ---- Default positions -------------------------------------------------------------

// A column of stacked texts: where the new text goes when nothing stands
// there yet, and which texts count as standing there.
struct Column {
  int x = 0;
  int emptyY = 0;  // y when no text stands in the column
  int origin = -1; // only texts of this origin count (-1: any)
};

// Puts a at the column's x, one spacing above the highest text standing in
// the column (a itself excluded), or at the column's empty y when none does.
// forEach(consider) hands consider every candidate text.
template <typename ForEach> void stack(vqText *a, const Column &col, ForEach forEach) {
  bool any = false;
  int highest = 0;
  forEach([&](const vqText *t) {
    if (t == a || t->x != col.x || (col.origin >= 0 && vqPlaceOrigin(t->place) != col.origin))
      return;
    if (!any || t->y > highest)
      highest = t->y;
    any = true;
  });
  a->x = col.x;
  a->y = any ? truncate(highest + spacing()) : col.emptyY;
}

// The texts of an owner's attached chain.
auto chainOf(const vqText *chain) {
  return [chain](auto consider) {
    for (const vqText *t = chain; t != nullptr; t = t->attNext)
      consider(t);
  };
}

// The block attributes (attributes without owner) of block.
auto blockAttributesOf(const vqBlock *block) {
  return [block](auto consider) {
    for (const vqObject *o = block->objects; o != nullptr; o = o->next)
      if (o->kind == vqKIND_ATTRIBUTE && static_cast<const vqText *>(o)->owner == nullptr)
        consider(static_cast<const vqText *>(o));
  };
}

// y of a first text when the owner's reference y is 0: one spacing up.
int firstY(int y) {
  return y != 0 ? y : truncate(0 + spacing());
}

// The pin of symbol whose identifier is id, or null.
const vqPin *symbolPin(const vqBlock *symbol, vqId id) {
  for (const vqObject *o = symbol != nullptr ? symbol->objects : nullptr; o != nullptr; o = o->next)
    if (o->kind == vqKIND_PIN && static_cast<const vqPin *>(o)->id == id)
      return static_cast<const vqPin *>(o);
  return nullptr;
}

// A point of the instance's symbol carried into the instance's placement.
void placeThrough(const vqComp *c, int *x, int *y) {
  q_push_comp_tr(c);
  t_point(x, y);
  q_pop_comp_tr();
}

bool positionOnNet(vqText *a, vqNet *net, vqId part) {
  const vqSegment *seg = net->segments;
  while (seg != nullptr && seg->id != part)
    seg = seg->next;
  if (seg == nullptr) {
    q_putline("Can not add attribute");
    return false;
  }
  Column col;
  switch (seg->angle) {
  case 0:
    col.x = static_cast<int>((static_cast<long>(seg->j1->x) + seg->j2->x) / 2);
    col.emptyY = seg->j2->y;
    col.origin = kOriginHorizontal;
    vqPlaceSetOrigin(&a->place, kOriginHorizontal);
    break;
  case 1:
    col.x = truncate(seg->j2->x + spacing());
    col.emptyY = static_cast<int>((static_cast<long>(seg->j1->y) + seg->j2->y) / 2);
    col.origin = kOriginVertical;
    vqPlaceSetOrigin(&a->place, kOriginVertical);
    break;
  default:
    col.x = seg->j2->x;
    col.emptyY = seg->j2->y;
    break;
  }
  stack(a, col, chainOf(net->attached));
  return true;
}

// Gives a its default position at owner and part. False when there is none
// (a net segment or symbol pin that does not exist).
bool defaultPosition(vqBlock *block, vqText *a, vqObject *owner, vqId part) {
  Column col;
  if (owner == nullptr) {
    col.x = block->x1;
    col.emptyY = firstY(block->y1);
    stack(a, col, blockAttributesOf(block));
    return true;
  }
  switch (owner->kind) {
  case vqKIND_PIN: {
    vqPin *pin = static_cast<vqPin *>(owner);
    col.x = pin->p1.x;
    col.emptyY = firstY(pin->p1.y);
    stack(a, col, chainOf(pin->attached));
    return true;
  }
  case vqKIND_COMPONENT: {
    vqComp *c = static_cast<vqComp *>(owner);
    if (part == 0) {
      col.x = c->attrX;
      col.emptyY = c->attrY;
    } else {
      const vqPin *pin = symbolPin(c->symbol, part);
      if (pin == nullptr)
        return false;
      col.x = pin->p1.x;
      col.emptyY = pin->p1.y;
      placeThrough(c, &col.x, &col.emptyY);
    }
    stack(a, col, chainOf(c->attached));
    return true;
  }
  case vqKIND_NET:
    return positionOnNet(a, static_cast<vqNet *>(owner), part);
  default:
    return false;
  }
}

// Gives a new attribute of an instance the look and place of the attribute
// of the same name and part on the instance's symbol, when there is one.
void takeFromSymbol(vqText *a, vqComp *c, const std::string &name, vqId part) {
  if (c->symbol == nullptr)
    return;
  vqObject *holder = nullptr;
  if (part != 0) {
    const vqPin *pin = symbolPin(c->symbol, part);
    if (pin == nullptr)
      return;
    holder = const_cast<vqPin *>(pin);
  }
  const vqText *s = q_get_attribute(c->symbol, name.c_str(), holder);
  if (s == nullptr)
    return;
  a->color = s->color;
  a->style = s->style;
  a->lineStyle = s->lineStyle;
  a->size = s->size;
  vqPlaceSetOrigin(&a->place, vqPlaceOrigin(s->place));
  vqPlaceSetOrient(&a->place, vqPlaceOrient(s->place));
  a->x = s->x;
  a->y = s->y;
  placeThrough(c, &a->x, &a->y);
}

// Adds an attribute holding text (pooled, taken over; its trailing blanks
// already removed) to owner at part (0 for a pin), without the may-add rule. The new
// attribute, or null (text freed, Block as before) when no default position
// can be had.
vqText *addAttribute(vqBlock *block, char *text, const std::string &name, vqObject *owner,
                     vqId part) {
  vqText *a = q_alloc_attribute();
  vqPlaceSetVis(&a->place, truncate(q_values[qV_NEW_ATTR_VIS].value));
  vqPlaceSetOrient(&a->place, 0);
  vqPlaceSetDisplayed(&a->place, 1);
  a->text = text;
  vqBlockInsertObject(block, a, nullptr);
  if (owner != nullptr)
    vqAttachText(owner, a, part, 0);
  if (!defaultPosition(block, a, owner, part)) {
    vqBlockDeleteObject(block, a);
    return nullptr;
  }
  if (vqComp *c = asComp(owner))
    takeFromSymbol(a, c, name, part);
  q_set_changed_flag(block);
  return a;
}

// Rewrites attribute a with text (pooled, taken over, its trailing blanks
// already removed) when the names agree; else frees text. Does not mark the
// Block changed.
bool rewrite(vqText *a, char *text, const std::string &name) {
  std::string oldText = a->text != nullptr ? a->text : "";
  std::string oldName = a->text != nullptr ? nameOf(oldText.data()) : "";
  if (oldName != name) {
    ulStrFree(text);
    return false;
  }
  ulStrFree(a->text);
  a->text = text;
  return true;
}

// Rewrites the owner's attribute of that name and part, or adds one (without
// the may-add rule). text is taken over.
bool setInstanceAttribute(vqBlock *block, char *text, const std::string &name, vqComp *c,
                          vqId part) {
  if (vqText *old = q_get_inst_attribute(name.c_str(), c, part)) {
    if (!rewrite(old, text, name))
      return false;
    q_set_changed_flag(block);
    return true;
  }
  return addAttribute(block, text, name, c, part) != nullptr;
}

} // namespace

int gpi_m_attr(char *text, vqObject *attribute) {
  vqText *a = asAttribute(attribute);
  if (a == nullptr || text == nullptr)
    return 0;
  // The name is taken from the caller's text, which loses its trailing
  // blanks in place: the caller then holds the text the attribute holds.
  std::string name = nameOf(text);
  return rewrite(a, ulStrCpy(text), name) ? 1 : 0;
}

int gpi_a_attribute(char *text, vqObject *owner, vqId part) {
  vqBlock *block = q_get_block();
  if (block == nullptr || text == nullptr)
    return 0;
  if (owner != nullptr && !isKind(owner, vqKIND_COMPONENT) && !isKind(owner, vqKIND_NET) &&
      !isKind(owner, vqKIND_PIN))
    return 0;
  if (isKind(owner, vqKIND_PIN))
    part = 0;
  // As in gpi_m_attr, the caller's text is trimmed in place: a caller that
  // looks for the new attribute by its text finds it.
  std::string name = nameOf(text);
  if (!mayAdd(block, name, owner, part))
    return 0;
  return addAttribute(block, ulStrCpy(text), name, owner, part) != nullptr ? 1 : 0;
}

int gpi_d_attr(vqObject *attribute) {
  vqBlock *block = q_get_block();
  if (block == nullptr || asAttribute(attribute) == nullptr)
    return 0;
  // Only an attribute of the current block: freeing one of another Block
  // would leave that Block's list pointing at freed memory.
  const vqObject *o = block->objects;
  while (o != nullptr && o != attribute)
    o = o->next;
  if (o == nullptr)
    return 0;
  vqBlockDeleteObject(block, attribute);
  q_set_changed_flag(block);
  return 1;
}

int gpi_m_refdes(const char *text, vqObject *instance) {
  vqComp *c = asComp(instance);
  if (c == nullptr)
    return 0;
  char *copy = ulStrCpy(text);
  ulStrFree(c->refdes);
  c->refdes = copy;
  q_set_changed_flag(nullptr);
  return 1;
}

int gpi_d_refdes(vqObject *instance) {
  vqComp *c = asComp(instance);
  if (c == nullptr)
    return 0;
  ulStrFree(c->refdes);
  c->refdes = nullptr;
  q_set_changed_flag(nullptr);
  return 1;
}

int gpi_m_pnum(const char *text, vqObject *instance, vqId pinId) {
  vqComp *c = asComp(instance);
  vqCnt *cnt = c != nullptr ? connection(c, pinId) : nullptr;
  if (cnt == nullptr)
    return 0;
  cnt->pinIndex = q_get_pnindex(text);
  q_set_changed_flag(nullptr);
  return 1;
}

int gpi_d_pnum(vqObject *instance, vqId pinId) {
  vqComp *c = asComp(instance);
  vqCnt *cnt = c != nullptr && pinId != 0 ? connection(c, pinId) : nullptr;
  if (cnt == nullptr)
    return 0;
  cnt->pinIndex = 0;
  q_set_changed_flag(nullptr);
  return 1;
}

int gpi_a_refdes(const char *text, vqObject *instance) {
  vqBlock *block = q_get_block();
  vqComp *c = asComp(instance);
  if (block == nullptr || c == nullptr || text == nullptr)
    return 0;
  char *copy = ulStrCpy(text);
  std::string name = nameOf(copy);
  if (name != kRefdes) {
    ulStrFree(copy);
    return 0;
  }
  std::string value = valueOf(copy);
  if (!setInstanceAttribute(block, copy, name, c, 0))
    return 0;
  ulStrFree(c->refdes);
  c->refdes = ulStrCpy(value.c_str());
  return 1;
}

int gpi_a_pinnum(const char *text, vqObject *instance, vqId pinId) {
  vqBlock *block = q_get_block();
  vqComp *c = asComp(instance);
  vqCnt *cnt = c != nullptr && pinId != 0 ? connection(c, pinId) : nullptr;
  if (block == nullptr || cnt == nullptr || text == nullptr)
    return 0;
  char *copy = ulStrCpy(text);
  std::string name = nameOf(copy);
  if (name != kPinNumber) {
    ulStrFree(copy);
    return 0;
  }
  std::string value = valueOf(copy);
  if (!setInstanceAttribute(block, copy, name, c, pinId))
    return 0;
  cnt->pinIndex = q_get_pnindex(value.c_str());
  return 1;
}
