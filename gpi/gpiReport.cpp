// gpiReport.cpp: gpi_report, the text dump of the current block.
#include <cstdarg>

#include "gpi.h"
#include "qInit.h"
#include "ulStr.h"

namespace {

// Prints one formatted line through the console printer.
void line(const char *format, ...) __attribute__((format(printf, 1, 2)));
void line(const char *format, ...) {
  va_list args;
  va_start(args, format);
  q_putline(ulSprintfStaticVa(format, args));
  va_end(args);
}

// The kind's name in the object-kind table of the settings. Slot 11 of that
// table is the bus, not the meta attribute; kinds without a slot of their
// own are reported as "object".
const char *kindName(int kind) {
  if (kind >= 0 && kind <= qO_OATTRIBUTE)
    return q_objects[kind].name;
  return "object";
}

void reportText(const vqText *t) {
  line("String: %s", t->text != nullptr ? t->text : "");
  line("Origin: %d", vqPlaceOrigin(t->place));
  line("Orientation: %d", vqPlaceOrient(t->place));
  line("Size: %d", t->size);
  line("Invert: %d", vqPlaceSense(t->place));
  line("Visibility: %d", vqPlaceVis(t->place));
  line("Displayed: %d", vqPlaceDisplayed(t->place));
  line("Position: %d %d", t->x, t->y);
}

void reportNet(const vqNet *net) {
  line("Id: %u", net->id);
  int joints = 0;
  for (const vqJoint *j = net->joints; j != nullptr; j = j->next)
    ++joints;
  line("Number of joints: %d", joints);
  for (const vqJoint *j = net->joints; j != nullptr; j = j->next)
    line("%d %d type=%d id=%d", j->x, j->y, j->type, j->side);
  int segments = 0;
  for (const vqSegment *s = net->segments; s != nullptr; s = s->next)
    ++segments;
  line("Number of segments: %d", segments);
  for (const vqSegment *s = net->segments; s != nullptr; s = s->next)
    line("%d %d %d %d", s->j1->x, s->j1->y, s->j2->x, s->j2->y);
}

void reportComp(const vqComp *c) {
  const char *name = c->symbol != nullptr ? c->symbol->name : c->symName;
  line("Block: %s", name != nullptr ? name : "");
  line("Orientation: %d", c->orient);
  line("Scale: %f", static_cast<double>(c->scale));
  line("Position: %d %d", c->x, c->y);
}

void reportObject(const vqObject *o) {
  line("%s C=%d  F=%d L=%d", kindName(o->kind), o->color, o->style, o->lineStyle);
  switch (o->kind) {
  case vqKIND_TEXT:
  case vqKIND_ATTRIBUTE:
  case vqKIND_LABEL:
    reportText(static_cast<const vqText *>(o));
    break;
  case vqKIND_CIRCLE:
    line("Radius: %d", static_cast<const vqCircle *>(o)->radius);
    break;
  case vqKIND_ARC: {
    const vqArc *a = static_cast<const vqArc *>(o);
    for (int i = 0; i < 3; ++i)
      line("Point %d: %d %d", i + 1, a->p[i].x, a->p[i].y);
    break;
  }
  case vqKIND_NET:
    reportNet(static_cast<const vqNet *>(o));
    break;
  case vqKIND_COMPONENT:
    reportComp(static_cast<const vqComp *>(o));
    break;
  case vqKIND_PIN: {
    const vqPin *p = static_cast<const vqPin *>(o);
    line("Side = %d  Type = %d  %d", p->side, p->type, (p->flags >> 7) & 1);
    line("Id: %u", p->id);
    line("Position: %d %d %d %d", p->p1.x, p->p1.y, p->p2.x, p->p2.y);
    break;
  }
  case vqKIND_LINE: {
    const vqLine *l = static_cast<const vqLine *>(o);
    for (int i = 0; i < l->count; ++i)
      line("Point: %d %d", l->points[i].x, l->points[i].y);
    break;
  }
  case vqKIND_BOX: {
    const vqBox *b = static_cast<const vqBox *>(o);
    line("Point: %d %d", b->p1.x, b->p1.y);
    line("Point: %d %d", b->p2.x, b->p2.y);
    break;
  }
  case vqKIND_OATTRIBUTE:
  case vqKIND_META_ATTRIBUTE: {
    // Texts of the occurrence layer: their anchor is their one point.
    const vqText *t = static_cast<const vqText *>(o);
    line("Point: %d %d", t->x, t->y);
    break;
  }
  default: // a generic object is its head alone: no points
    break;
  }
  q_putline("");
}

} // namespace

int gpi_report() {
  const vqBlock *b = q_get_block();
  if (b == nullptr)
    return 0;
  if (q_quiet)
    return 1;
  const char *type = b->kind < qDTYPE_COUNT ? q_dtypes[b->kind].name : "";
  line("%s (%s) MBB = %d %d %d %d", b->name != nullptr ? b->name : "", type, b->x1, b->y1, b->x2,
       b->y2);
  for (const vqObject *o = b->objects; o != nullptr; o = o->next)
    reportObject(o);
  return 1;
}
