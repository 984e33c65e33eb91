// vqAttr.cpp: attribute strings: splitting, lookup, the multiples rules,
// building and the attribute reset list.

#include "vqAttr.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "qInit.h"
#include "sbMsg.h"
#include "ulErr.h"
#include "ulStr.h"

namespace {

// Bytes of a name buffer: at most vqATTR_NAME_MAX characters take part.
constexpr int kNameBytes = vqATTR_NAME_MAX + 1;

struct AttrState {
  char name[kNameBytes]; // q_attr_name's result
  char *value;           // q_attr_value's result (pooled)
  bool freeAtExit;
};

AttrState &state() {
  static AttrState s;
  return s;
}

void releaseValue() {
  AttrState &s = state();
  ulStrFree(s.value);
  s.value = nullptr;
}

// Where the separator of a trimmed attribute text stands: the first "=",
// else the first blank; null when it has neither.
const char *separator(const char *text) {
  const char *sep = std::strchr(text, '=');
  return sep != nullptr ? sep : ulStrBrk(text, ulStrWhitespaceV);
}

// [from, to) without surrounding blanks.
std::string trimmed(const char *from, const char *to) {
  std::string part(from, to);
  return ulStrTrim(part.data());
}

// The wanted name as the lookups compare it: its first 131 characters.
struct WantedName {
  explicit WantedName(const char *name) {
    ulStrncpyNullTerm(text, name != nullptr ? name : "", kNameBytes);
  }
  char text[kNameBytes];
};

// Whether an attribute text names the wanted attribute (the text is trimmed
// in place, as q_attr_name does).
bool named(char *text, const WantedName &wanted) {
  return text != nullptr && ulStrEqu(q_attr_name(text), wanted.text);
}

bool isAttribute(const vqObject *o) {
  return o->kind == vqKIND_ATTRIBUTE;
}

// The pin of symbol whose identifier is id, or null.
vqObject *symbolPin(vqBlock *symbol, vqId id) {
  for (vqObject *o = symbol->objects; o != nullptr; o = o->next)
    if (o->kind == vqKIND_PIN && static_cast<vqPin *>(o)->id == id)
      return o;
  return nullptr;
}

// The attribute of owner's symbol that mode 3 copies: for part 0 a block
// attribute of the symbol, for part p an attribute of the symbol's pin p.
vqText *symbolAttribute(vqObject *owner, vqId part, const char *name) {
  if (owner == nullptr || owner->kind != vqKIND_COMPONENT)
    return nullptr;
  vqBlock *symbol = static_cast<vqComp *>(owner)->symbol;
  if (symbol == nullptr)
    return nullptr;
  vqObject *holder = nullptr;
  if (part != 0 && (holder = symbolPin(symbol, part)) == nullptr)
    return nullptr;
  return q_get_attribute(symbol, name, holder);
}

bool isOneOf(const char *name, std::initializer_list<const char *> names) {
  for (const char *n : names)
    if (ulStrEqu(name, n))
      return true;
  return false;
}

} // namespace

// ---- Splitting --------------------------------------------------------------------

char *q_attr_name(char *text) {
  AttrState &s = state();
  if (text == nullptr) {
    qErrReport(1181);
    s.name[0] = '\0';
    return s.name;
  }
  const char *start = ulStrTrim(text);
  const char *sep = separator(start);
  std::string name = trimmed(start, sep != nullptr ? sep : start + std::strlen(start));
  ulStrncpyNullTerm(s.name, name.c_str(), kNameBytes);
  return s.name;
}

char *q_attr_value(char *text) {
  AttrState &s = state();
  if (!s.freeAtExit) {
    s.freeAtExit = true;
    ulOnExitAdd2(releaseValue);
  }
  std::string value;
  if (text != nullptr) {
    const char *start = ulStrTrim(text);
    if (const char *sep = separator(start))
      value = trimmed(sep + 1, start + std::strlen(start));
  }
  ulStrFree(s.value);
  s.value = ulStrCpy(value.c_str());
  return s.value;
}

// ---- Lookup -------------------------------------------------------------------------

vqText *q_get_attribute(vqBlock *block, const char *name, vqObject *owner) {
  if (block == nullptr)
    return nullptr;
  WantedName wanted(name);
  for (vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (!isAttribute(o))
      continue;
    auto *a = static_cast<vqText *>(o);
    if (a->owner == owner && named(a->text, wanted))
      return a;
  }
  return nullptr;
}

vqText *q_get_inst_attribute(const char *name, vqObject *object, vqId part) {
  vqText **chain = vqObjectAttachedChain(object);
  if (chain == nullptr)
    return nullptr;
  WantedName wanted(name);
  for (vqText *a = *chain; a != nullptr; a = a->attNext)
    if (isAttribute(a) && a->part == part && named(a->text, wanted))
      return a;
  return nullptr;
}

int q_attr_exists(const char *name, vqObject *owner, vqId part) {
  if (owner != nullptr)
    return q_get_inst_attribute(name, owner, part) != nullptr;
  return q_get_attribute(q_get_block(), name, nullptr) != nullptr;
}

vqText *vqFindSymbolAtt(vqObject *list, const char *name) {
  size_t n = name != nullptr ? std::strlen(name) : 0;
  for (vqObject *o = list; o != nullptr; o = o->next) {
    if (!isAttribute(o))
      continue;
    auto *a = static_cast<vqText *>(o);
    if (a->text != nullptr && std::strncmp(a->text, name != nullptr ? name : "", n) == 0)
      return a;
  }
  return nullptr;
}

int vqIsPinOffOnOwnerOfText(const vqText *text) {
  if (text == nullptr || text->owner == nullptr || text->owner->kind != vqKIND_COMPONENT)
    return 0;
  const vqBlock *symbol = static_cast<const vqComp *>(text->owner)->symbol;
  return symbol != nullptr && vqFindSymbolAtt(symbol->objects, "PINOFF") != nullptr;
}

// ---- Rules -------------------------------------------------------------------------------

int q_valid_attr(const char *text, int report) {
  if (text == nullptr || ulStrBrk(text, "'`") == nullptr)
    return 1;
  if (report)
    qErrReport(1180, text);
  return 0;
}

int qAttrMultiplesOK(const char *name, int ownerKind) {
  return ownerKind == vqKIND_COMPONENT && isOneOf(name, {"SIGNAL", "EQUATE", "PINSWAP", "PARAM"});
}

int q_attr_multi_ok(vqObject *owner, const char *name, int severalAllowed) {
  if (severalAllowed == 1)
    return 1;
  if (owner == nullptr)
    return 0;
  if (owner->kind == vqKIND_COMPONENT) {
    const char *child = static_cast<vqComp *>(owner)->child;
    if (child != nullptr && child[0] != '\0')
      return ulStrEqu(name, "PARAM");
    return isOneOf(name, {"SIGNAL", "EQUATE", "PINSWAP", "PARAM"});
  }
  if (owner->kind == vqKIND_NET)
    return isOneOf(name, {"PROBE", "PARAM"});
  return 0;
}

// ---- Building ----------------------------------------------------------------------------

char *q_build_attr_string(const char *name, const char *value) {
  char text[kNameBytes];
  ulStrncpyNullTerm(text, name != nullptr ? name : "", kNameBytes);
  if (value != nullptr && value[0] != '\0') {
    size_t n = std::strlen(text);
    std::snprintf(text + n, sizeof text - n, "=%s", value);
  }
  return ulStrCpy(text);
}

char *q_attr_str_copy(vqText *attribute, int mode) {
  const char *text = attribute->text != nullptr ? attribute->text : "";
  if (mode == 0)
    return ulStrCpy(text);
  if (mode != 2 && mode != 3) {
    std::fputs("Internal attribute copy usage error.\n", stderr);
    return ulStrCpy(text);
  }
  std::string copy = text;
  WantedName name(q_attr_name(copy.data()));
  if (mode == 2) {
    const qAttrReset *entry = q_attr_reset_find(name.text);
    if (entry == nullptr) {
      std::fputs("Internal attribute copy error.\n", stderr);
      return ulStrCpy(text);
    }
    return q_build_attr_string(name.text, entry->value);
  }
  const vqText *source = symbolAttribute(attribute->owner, attribute->part, name.text);
  return ulStrCpy(source != nullptr && source->text != nullptr ? source->text : "");
}

int q_attr_copy_string(vqText *target, vqText *attribute, int mode) {
  char *text = q_attr_str_copy(attribute, mode);
  ulStrFree(target->text);
  target->text = text;
  return 1;
}

int q_reset_attribute_string(vqText *attribute, int mode) {
  char *text = q_attr_str_copy(attribute, mode);
  if (text == nullptr || text[0] == '\0') {
    ulStrFree(text);
    return 1;
  }
  ulStrFree(attribute->text);
  attribute->text = text;
  return 1;
}

int q_attr_reset_check(const char *text, vqObject *owner, vqId part) {
  if (owner == nullptr)
    return 0;
  std::string copy = text != nullptr ? text : "";
  WantedName name(q_attr_name(copy.data()));
  const qAttrReset *entry = q_attr_reset_find(name.text);
  if (entry == nullptr)
    return 0;
  if (entry->value == nullptr)
    return 1;
  if (ulStrIcmp(entry->value, "symbol_value") != 0)
    return 2;
  return symbolAttribute(owner, part, name.text) != nullptr ? 3 : 1;
}
