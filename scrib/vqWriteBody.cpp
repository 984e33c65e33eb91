// vqWriteBody.cpp: the body of a block file: the header records, every
// object with its Q record and its attached texts, the end record; and the
// special attributes refreshed as they are written.
#include "vqWrite.h"

#include <cstdarg>
#include <cstring>
#include <string>
#include <unordered_map>

#include "qInit.h"
#include "ulCvt.h"
#include "ulStr.h"
#include "vqAttr.h"
#include "vqName.h"
#include "vqRead.h"
#include "vs.h"

namespace {

// A text reaching this column is continued on a "+ " line.
constexpr int kLastColumn = 80;
// The column a connection's pin number starts at, whatever its prefix.
constexpr int kConnectionColumn = 50;
// Room for the numeric prefix of any record (at most eight numbers).
constexpr int kPrefixSize = 160;

// The output of one body: formatted writes on the stream. A failed write
// shows in ferror, which the body checks after each record.
class Out {
public:
  explicit Out(FILE *stream) : s_(stream) {}

  void put(const char *text) { std::fputs(text, s_); }
  void putChar(int c) { std::fputc(c, s_); }
  void print(const char *format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    std::vfprintf(s_, format, args);
    va_end(args);
  }
  bool failed() const { return std::ferror(s_) != 0; }
  FILE *stream() const { return s_; }

  // text (null: "") as it stands, except that a line feed or carriage
  // return in it is written as a blank: a text never ends its record early.
  void putText(const char *text) {
    if (text == nullptr)
      return;
    if (std::strpbrk(text, "\r\n") == nullptr) {
      put(text);
      return;
    }
    for (const char *p = text; *p != '\0'; ++p)
      putChar(*p == '\n' || *p == '\r' ? ' ' : static_cast<unsigned char>(*p));
  }

  // text (as putText) and the line feed that ends its record, continued at
  // column 80. prefixLength decides whether it fits on the line; column is
  // where the count starts when it does not.
  void longText(const char *text, int prefixLength, int column) {
    if (text == nullptr)
      text = "";
    if (prefixLength + static_cast<long>(std::strlen(text)) + 1 < kLastColumn) {
      putText(text);
      putChar('\n');
      return;
    }
    for (const char *p = text; *p != '\0'; ++p) {
      putChar(*p == '\n' || *p == '\r' ? ' ' : static_cast<unsigned char>(*p));
      if (++column >= kLastColumn) {
        put("\n+ ");
        column = 1;
      }
    }
    putChar('\n');
  }

private:
  FILE *s_;
};

// "Q color style linestyle" when the object differs from its kind's defaults.
void writeQ(Out &out, const vqObject *o) {
  if (o->kind >= qOBJECT_COUNT)
    return;
  const qObject &d = q_objects[o->kind];
  if (o->color != d.color || o->style != d.style || o->lineStyle != d.lineStyle)
    out.print("Q %d %d %d\n", o->color, o->style, o->lineStyle);
}

// The prefix of a record into buffer; its length.
int prefix(char (&buffer)[kPrefixSize], const char *format, ...)
    __attribute__((format(printf, 2, 3)));
int prefix(char (&buffer)[kPrefixSize], const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return n < 0 ? 0 : (n >= kPrefixSize ? kPrefixSize - 1 : n);
}

// An attribute record, "A" with an owner and "U" without: the key letter is
// written apart from the six numbers, so the column starts one further.
void writeAttribute(Out &out, vqText *a) {
  q_upd_attr(a);
  char p[kPrefixSize];
  int n = prefix(p, " %d %d %d %d %d %d ", a->x, a->y, a->size, vqPlaceOrient(a->place),
                 vqPlaceOrigin(a->place), vqPlaceVis(a->place));
  out.putChar(a->owner != nullptr ? 'A' : 'U');
  out.put(p);
  out.longText(a->text, n, n + 1);
}

void writeLabel(Out &out, const vqText *l) {
  char p[kPrefixSize];
  int n = prefix(p, "L %d %d %d %d %d %d %d %d ", l->x, l->y, l->size, vqPlaceOrient(l->place),
                 vqPlaceOrigin(l->place), vqPlaceScope(l->place), vqPlaceVis(l->place),
                 vqPlaceSense(l->place));
  out.put(p);
  out.longText(l->text, n, n);
}

// One attached text (attribute or label) and its Q record; other kinds that
// a chain may hold are not written.
void writeAttached(Out &out, vqText *t) {
  if (t->kind == vqKIND_ATTRIBUTE)
    writeAttribute(out, t);
  else if (t->kind == vqKIND_LABEL)
    writeLabel(out, t);
  else
    return;
  writeQ(out, t);
}

// The texts of a chain whose part is part, in chain order.
void writeChainPart(Out &out, vqText *chain, vqId part) {
  for (vqText *t = chain; t != nullptr; t = t->attNext)
    if (t->part == part)
      writeAttached(out, t);
}

void writeLine(Out &out, const vqLine *line) {
  out.print("l %d", line->count);
  for (int i = 0; i < line->count; ++i) {
    out.print(" %d %d", line->points[i].x, line->points[i].y);
    if ((i + 1) % 6 == 0)
      out.putChar('\n');
  }
  if (line->count <= 0 || line->count % 6 != 0)
    out.putChar('\n');
}

void writeText(Out &out, const vqText *t) {
  char p[kPrefixSize];
  int n = prefix(p, "T %d %d %d %d %d ", t->x, t->y, t->size, vqPlaceOrient(t->place),
                 vqPlaceOrigin(t->place));
  out.put(p);
  out.longText(t->text, n, n);
}

// Position (from 1) of joint in the joints of net, 0 when it is not there.
int jointPosition(const vqNet *net, const vqJoint *joint) {
  int i = 1;
  for (const vqJoint *j = net->joints; j != nullptr; j = j->next, ++i)
    if (j == joint)
      return i;
  return 0;
}

// N, its Q, the joints, then each segment followed by its texts. Texts on a
// segment the net does not have follow the last segment, where a reader
// attaches them.
void writeNet(Out &out, vqNet *net) {
  out.print("N %lu\n", static_cast<unsigned long>(net->id));
  writeQ(out, net);
  std::unordered_map<const vqJoint *, int> position;
  int i = 1;
  for (const vqJoint *j = net->joints; j != nullptr; j = j->next, ++i) {
    out.print("J %d %d %d\n", j->x, j->y, static_cast<int>(j->type));
    position.emplace(j, i);
  }
  auto at = [&](const vqJoint *j) {
    auto it = position.find(j);
    return it == position.end() ? 0 : it->second;
  };
  for (const vqSegment *s = net->segments; s != nullptr; s = s->next) {
    if (out.failed())
      return;
    out.print("%c %d %d\n", s->bus ? 'B' : 'S', at(s->j1), at(s->j2));
    writeChainPart(out, net->attached, s->id);
  }
  for (vqText *t = net->attached; t != nullptr; t = t->attNext) {
    bool onSegment = false;
    for (const vqSegment *s = net->segments; s != nullptr && !onSegment; s = s->next)
      onSegment = s->id == t->part;
    if (!onSegment)
      writeAttached(out, t);
  }
}

// Whether an earlier connection than cnt has cnt's pin.
bool pinSeenBefore(const vqComp *comp, const vqCnt *cnt) {
  for (const vqCnt *c = comp->cnts; c != cnt; c = c->next)
    if (c->pinId == cnt->pinId)
      return true;
  return false;
}

bool isConnectionPart(const vqComp *comp, vqId part) {
  for (const vqCnt *c = comp->cnts; c != nullptr; c = c->next)
    if (c->pinId == part)
      return true;
  return false;
}

void writeConnection(Out &out, const vqCnt *c) {
  char p[kPrefixSize];
  int n = c->net != nullptr
              ? prefix(p, "C %lu %d %lu ", static_cast<unsigned long>(c->net->id),
                       jointPosition(c->net, c->joint), static_cast<unsigned long>(c->pinId))
              : prefix(p, "X %lu ", static_cast<unsigned long>(c->pinId));
  out.put(p);
  out.longText(vqPnindexText(c->pinIndex), n, kConnectionColumn);
}

// I, its Q, the texts of the instance itself (part 0, and any part that no
// connection has, which a reader gives back to the instance), then each
// connection followed by the texts tied to its pin (once per pin).
void writeComp(Out &out, vqComp *comp) {
  const char *library = comp->symLibrary;
  const char *name = comp->symName;
  if (name == nullptr && comp->symbol != nullptr) {
    library = comp->symbol->library;
    name = comp->symbol->name;
  }
  std::string upper = name != nullptr ? name : "";
  ulStrUpc(upper.data());
  out.print("I %lu %s %d %d %d %d ", static_cast<unsigned long>(comp->id),
            q_combine_lib_comp(library, upper.c_str()), comp->symNumber, comp->x, comp->y,
            comp->orient);
  out.put(ulCvtFloatStr(comp->scale));
  out.putChar(' ');
  out.putText(comp->trail != nullptr && comp->trail[0] != '\0' ? comp->trail : "'");
  out.putChar('\n');
  writeQ(out, comp);
  for (vqText *t = comp->attached; t != nullptr; t = t->attNext)
    if (t->part == 0 || !isConnectionPart(comp, t->part))
      writeAttached(out, t);
  for (const vqCnt *c = comp->cnts; c != nullptr; c = c->next) {
    if (out.failed())
      return;
    writeConnection(out, c);
    if (c->pinId != 0 && !pinSeenBefore(comp, c))
      writeChainPart(out, comp->attached, c->pinId);
  }
}

void writePin(Out &out, vqPin *pin) {
  out.print("P %lu %d %d %d %d %d %d %d\n", static_cast<unsigned long>(pin->id), pin->p1.x,
            pin->p1.y, pin->p2.x, pin->p2.y, pin->type, pin->side, pin->sense);
  writeQ(out, pin);
  for (vqText *t = pin->attached; t != nullptr; t = t->attNext)
    writeAttached(out, t);
}

bool isText(int kind) {
  return kind == vqKIND_TEXT || kind == vqKIND_ATTRIBUTE || kind == vqKIND_LABEL ||
         kind == vqKIND_OATTRIBUTE || kind == vqKIND_META_ATTRIBUTE;
}

// One object of the top-level walk (a failed write of the graphics shows in
// the stream, which the caller checks) with what it writes after itself.
// Attached texts are their owners' to write.
void writeObject(Out &out, vqObject *o) {
  if (isText(o->kind) && static_cast<vqText *>(o)->owner != nullptr)
    return;
  switch (o->kind) {
  case vqKIND_LINE:
    writeLine(out, static_cast<vqLine *>(o));
    break;
  case vqKIND_BOX:
    (void)q_box_write(out.stream(), static_cast<vqBox *>(o));
    break;
  case vqKIND_TEXT:
    writeText(out, static_cast<vqText *>(o));
    break;
  case vqKIND_CIRCLE:
    (void)q_circle_write(out.stream(), static_cast<vqCircle *>(o));
    break;
  case vqKIND_ARC:
    (void)q_arc_write(out.stream(), static_cast<vqArc *>(o));
    break;
  case vqKIND_NET:
    writeNet(out, static_cast<vqNet *>(o));
    return; // its Q follows the N record
  case vqKIND_ATTRIBUTE:
    writeAttribute(out, static_cast<vqText *>(o));
    break;
  case vqKIND_COMPONENT:
    writeComp(out, static_cast<vqComp *>(o));
    return;
  case vqKIND_PIN:
    writePin(out, static_cast<vqPin *>(o));
    return;
  default: // labels without owner, occurrence and meta attributes, others
    return;
  }
  writeQ(out, o);
}

// Occurrence attribute tables of hierarchical schematics would be brought in
// line with the saved sheet here. This system keeps no such tables (a
// schematic's occurrence attributes are neither read nor written), so there
// is nothing to update.
void updateOccurrenceAttributes(vqBlock *) {}

// Makes a Block current for the life of the object.
class CurrentBlock {
public:
  explicit CurrentBlock(vqBlock *block) : previous_(q_get_block()) { q_set_block(block); }
  ~CurrentBlock() { q_set_block(previous_); }
  CurrentBlock(const CurrentBlock &) = delete;
  CurrentBlock &operator=(const CurrentBlock &) = delete;

private:
  vqBlock *previous_;
};

} // namespace

int q_box_write(FILE *stream, const vqBox *box) {
  Out out(stream);
  out.print("b %d %d %d %d\n", box->p1.x, box->p1.y, box->p2.x, box->p2.y);
  return out.failed() ? -1 : 0;
}

int q_circle_write(FILE *stream, const vqCircle *circle) {
  Out out(stream);
  out.print("c %d %d %d\n", circle->x, circle->y, circle->radius);
  return out.failed() ? -1 : 0;
}

int q_arc_write(FILE *stream, const vqArc *arc) {
  Out out(stream);
  out.print("a %d %d %d %d %d %d\n", arc->p[0].x, arc->p[0].y, arc->p[1].x, arc->p[1].y,
            arc->p[2].x, arc->p[2].y);
  return out.failed() ? -1 : 0;
}

int q_upd_attr(vqObject *object) {
  if (object == nullptr || object->kind != vqKIND_ATTRIBUTE)
    return 0;
  auto *a = static_cast<vqText *>(object);
  if (a->text == nullptr || a->text[0] != '@')
    return 0;
  const char *name = q_attr_name(a->text);
  const vqBlock *block = q_get_block();
  const char *special = nullptr;
  std::string value;
  if (ulStrEqu(name, "@DATETIME")) {
    int month = 0, day = 0, year = 0, hour = 0, minute = 0;
    ulCvtTime(vsTimer(0), &month, &day, &year, &hour, &minute, nullptr);
    value = ulSprintfStatic("%d-%d-%d_%d:%02d", month, day, year, hour, minute);
    special = "@DATETIME";
  } else if (ulStrEqu(name, "@XYCOORD")) {
    value = ulSprintfStatic("%d,%d", a->x, a->y);
    special = "@XYCOORD";
  } else if (ulStrEqu(name, "@NAME") && block != nullptr) {
    value = block->name != nullptr ? block->name : "";
    special = "@NAME";
  } else if (ulStrEqu(name, "@SHEET") && block != nullptr) {
    value = ulCvtIntStr(block->number);
    special = "@SHEET";
  }
  if (special != nullptr) {
    char *text = q_build_attr_string(special, value.c_str());
    ulStrFree(a->text);
    a->text = text;
  }
  return 1;
}

void update_size_comps(vqBlock *block) {
  CurrentBlock current(block);
  for (vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_COMPONENT)
      continue;
    auto *comp = static_cast<vqComp *>(o);
    int old = comp->size;
    comp->size = q_upd_comp_size(comp);
    if (comp->size > old) {
      comp->id = q_get_next_id();
      block->lastId += static_cast<vqId>(comp->size - 2);
      q_get_next_id();
    }
  }
}

int vqBlockWriteBody(vqBlock *block, FILE *stream) {
  CurrentBlock current(block);
  vqBlockUpdateFubStatus(block);
  update_size_comps(block);
  Out out(stream);
  int version = block->kind == vqBLOCK_SCHEMATIC && vqIniSettingsV.rippersOn ? vqRIPPER_VERSION
                                                                             : vqFORMAT_VERSION;
  out.print("V %d\n", version);
  out.print("Y %d\n", block->blockType);
  out.print("D %d %d %d %d\n", block->x1, block->y1, block->x2, block->y2);
  out.print("Z %d\n", block->sheetSize);
  out.print("i %lu\n", static_cast<unsigned long>(block->lastId));
  if (out.failed())
    return -1;
  for (vqObject *o = block->objects; o != nullptr; o = o->next) {
    writeObject(out, o);
    if (out.failed())
      return -1;
  }
  out.put("E\n");
  if (out.failed())
    return -1;
  if (block->kind == vqBLOCK_SCHEMATIC)
    updateOccurrenceAttributes(block);
  return 0;
}
