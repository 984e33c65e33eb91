// extract.cpp: ltfextract's work, a library's attributes as an LTF list
// that retag applies without changing them (see companion.h).
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "apply.h"
#include "companion.h"
#include "retag.h"
#include "retagInternal.h"
#include "ulStr.h"
#include "vqAttr.h"
#include "vqRead.h"
#include "vs.h"

namespace {

struct PooledFree {
  void operator()(char *s) const { ulStrFree(s); }
};
using Pooled = std::unique_ptr<char, PooledFree>;

// An attribute of the block as the list carries it.
struct Entry {
  const vqText *attribute;
  std::string name;  // as the LTF reader gives it back: blanks out, upper case
  std::string value; // upper case; "$EMPTY_VAL$" for an attribute without value
};

// One pin name and sense of the block (retag does not tell pins of the same
// name and sense apart): its name as the first pin's label writes it, and
// the first attribute of each name on those pins.
struct PinGroup {
  std::string name;
  int sense = 0;
  std::vector<Entry> entries;
};

std::string upper(const std::string &s) {
  std::string u = s;
  ulStrUpc(u.data());
  return u;
}

// The attribute split as retag splits it and named and valued as the list
// reads back. False when the text cannot be split (retag refuses it too).
bool entryOf(const vqText *attribute, Entry *entry, std::string *ownName) {
  char *name = nullptr;
  char *value = nullptr;
  if (vaAMParseAttribute(attribute->text, &name, &value) != 0)
    return false;
  Pooled n(name);
  Pooled v(value);
  *ownName = name;
  entry->attribute = attribute;
  entry->name = upper(name);
  entry->value = value != nullptr ? upper(value) : vaAM_EMPTY_VALUE;
  return true;
}

// The name that gpi_m_attr compares, of a copy of text.
std::string attrName(const std::string &text) {
  std::string copy = text;
  return q_attr_name(copy.data());
}

// Why the entry cannot stand in the list, or "" when retag, applying it,
// writes back exactly the attribute's text: writtenName is the name retag
// writes (the list's for a symbol attribute, the block's own for a pin
// attribute).
std::string obstacle(const Entry &e, const std::string &writtenName) {
  const std::string old = e.attribute->text;
  if (e.value.find_first_of("\t\n") != std::string::npos)
    return "its value holds a tab";
  // The LTF reader takes the rest of an A line, its line end included, in
  // one piece of at most 159 characters.
  const int orientation = vqPlaceOrient(e.attribute->place);
  const int origin = vqPlaceOrigin(e.attribute->place);
  const int visibility = vqPlaceVis(e.attribute->place);
  char numbers[96];
  const int prefix =
      std::snprintf(numbers, sizeof numbers, " %d %d %d %d %d %d ", e.attribute->x, e.attribute->y,
                    visibility, e.attribute->size, orientation, origin);
  if (prefix + e.name.size() + 1 + e.value.size() + 1 > vaam::kLineSize - 1)
    return "its line in the list would be longer than 159 characters";
  Pooled written(vaam::attributeText(writtenName.c_str(), e.value.c_str()));
  if (const std::string name = attrName(written.get()); name != attrName(old))
    return "retag would write its name as " + name + " and refuse the rewrite";
  if (old != written.get())
    return std::string("retag would write it as ") + written.get();
  return "";
}

// One line about the symbol, counted as a warning.
void warn(vaAMExtractCounts *counts, const vqBlock *block, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void warn(vaAMExtractCounts *counts, const vqBlock *block, const char *format, ...) {
  std::printf("SYMBOL %s.%d ", block->name, block->number);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
  ++counts->warnings;
}

// Fills a new AttributeInfo, put at the head of *list, from the entry.
bool store(AttributeInfo **list, const Entry &e) {
  AttributeInfo *info = vaAMAllocateAnyAttribute(*list);
  if (info == nullptr)
    return false;
  *list = info;
  const vqText *a = e.attribute;
  return vaAMStoreAttLocation(info, a->x, a->y) != nullptr &&
         vaAMStoreAttVisibility(info, vqPlaceVis(a->place)) != nullptr &&
         vaAMStoreAttSize(info, a->size) != nullptr &&
         vaAMStoreAttOrientation(info, vqPlaceOrient(a->place)) != nullptr &&
         vaAMStoreAttOrigin(info, vqPlaceOrigin(a->place)) != nullptr &&
         vaAMStoreAnyAttribute(info, e.name.c_str(), e.value.c_str()) != nullptr;
}

// The symbol attributes that can be listed, in block order. retag matches
// the attributes of one name in turn with the list's, so one that cannot be
// listed takes every attribute of its name out with it.
std::vector<Entry> symbolEntries(const vqBlock *block, vaAMExtractCounts *counts) {
  std::vector<Entry> entries;
  std::set<const vqText *> refused;               // attributes that cannot be listed
  std::map<std::string, std::string> refusedName; // name -> the first such text
  for (const vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_ATTRIBUTE || static_cast<const vqText *>(o)->owner != nullptr)
      continue;
    const auto *a = static_cast<const vqText *>(o);
    Entry e;
    std::string ownName;
    if (!entryOf(a, &e, &ownName)) {
      warn(counts, block, "attribute without text: retag cannot apply a list to this symbol");
      continue;
    }
    const std::string why = obstacle(e, e.name);
    if (!why.empty()) {
      warn(counts, block, "attribute %s is left out: %s", a->text, why.c_str());
      refused.insert(a);
      refusedName.emplace(e.name, a->text);
    }
    entries.push_back(e);
  }
  std::vector<Entry> listed;
  for (const Entry &e : entries) {
    const auto r = refusedName.find(e.name);
    if (r == refusedName.end())
      listed.push_back(e);
    else if (refused.count(e.attribute) == 0)
      warn(counts, block, "attribute %s is left out: retag would match it with %s",
           e.attribute->text, r->second.c_str());
  }
  return listed;
}

// The pin attributes by pin name and sense, in block order.
std::vector<PinGroup> pinGroups(const vqBlock *block, vaAMExtractCounts *counts) {
  std::vector<PinGroup> groups;
  for (const vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_ATTRIBUTE || static_cast<const vqText *>(o)->owner == nullptr)
      continue;
    const auto *a = static_cast<const vqText *>(o);
    int sense = 0;
    const char *pin = vaAMGetAssociatedPin(a, &sense);
    if (pin == nullptr) {
      warn(counts, block, "attribute %s has no pin name: retag cannot apply a list to this symbol",
           a->text);
      continue;
    }
    if (pin[0] == '~') {
      warn(counts, block, "attribute %s is left out: its pin name %s begins with ~", a->text, pin);
      continue;
    }
    PinGroup *group = nullptr;
    for (PinGroup &g : groups)
      if (g.sense == sense && ulStrIcmp(g.name.c_str(), pin) == 0)
        group = &g;
    if (group == nullptr)
      group = &groups.emplace_back(PinGroup{pin, sense, {}});
    Entry e;
    std::string ownName;
    if (!entryOf(a, &e, &ownName)) {
      warn(counts, block,
           "attribute without text on pin %s%s: retag cannot apply a list to "
           "this symbol",
           sense ? "~" : "", pin);
      continue;
    }
    bool first = true;
    for (const Entry &other : group->entries)
      first = first && other.name != e.name;
    if (!first) {
      warn(counts, block,
           "attribute %s on pin %s%s is not listed: retag sets only the first %s "
           "of that pin",
           a->text, sense ? "~" : "", pin, e.name.c_str());
      continue;
    }
    // The rewrite keeps the block's own name for a pin attribute.
    const std::string why = obstacle(e, ownName);
    if (!why.empty()) {
      warn(counts, block, "attribute %s on pin %s%s is left out: %s", a->text, sense ? "~" : "",
           pin, why.c_str());
      continue;
    }
    group->entries.push_back(e);
  }
  return groups;
}

} // namespace

int vaAMExtractSymbol(const vqBlock *block, SymbolInfo **list, vaAMExtractCounts *counts) {
  std::vector<Entry> symbol = symbolEntries(block, counts);
  const std::vector<PinGroup> pins = pinGroups(block, counts);

  // The list is written in its own order and read back reversed; retag
  // matches symbol attributes of one name in the order the reader gives
  // them, so those go into the file in the reverse of the block's order,
  // each in the place one of them has.
  std::map<std::string, std::vector<size_t>> places;
  for (size_t i = 0; i < symbol.size(); ++i)
    places[symbol[i].name].push_back(i);
  std::vector<Entry> fileOrder = symbol;
  for (const auto &[name, at] : places)
    for (size_t k = 0; k < at.size(); ++k)
      fileOrder[at[k]] = symbol[at[at.size() - 1 - k]];

  // Records go to the head of their lists: build each list backwards.
  SymbolInfo *s = vaAMAllocateSymbolInfo(*list);
  if (s == nullptr)
    return 1;
  *list = s;
  if (vaAMStoreSymName(s, block->name, block->number) == nullptr)
    return 1;
  for (auto e = fileOrder.rbegin(); e != fileOrder.rend(); ++e)
    if (!store(&s->attributes, *e))
      return 1;
  for (auto g = pins.rbegin(); g != pins.rend(); ++g) {
    if (vaAMAllocatePin(s) == nullptr || vaAMStorePinName(s, g->name.c_str()) == nullptr ||
        vaAMStorePinInversion(s, g->sense) == nullptr)
      return 1;
    for (auto e = g->entries.rbegin(); e != g->entries.rend(); ++e)
      if (!store(&s->pins->attributes, *e))
        return 1;
  }
  ++counts->symbols;
  return 0;
}

int vaAMExtractLibrary(const char *libraryPath, const char *alias, const char *fileName,
                       vaAMExtractCounts *counts) {
  SymbolInfo *list = nullptr;
  bool failed = false;
  (void)vaAMForEachSymbolFile(libraryPath, "*", [&](const char *, const char *name, int number) {
    if (failed)
      return;
    // Loaded by name as retag loads it, for reading: a file whose name is
    // not in lower case cannot be loaded so, by retag either.
    std::string copy = name;
    int status = 0;
    vqBlock *block =
        vqBlockLoad(vqBLOCK_SYMBOL, alias, copy.data(), number, vqLOAD_EXISTING, &status);
    if (block == nullptr) {
      std::printf("Could not get the SYMBOL information from %s:%s.%d\n", alias, name, number);
      ++counts->warnings;
      return;
    }
    failed = vaAMExtractSymbol(block, &list, counts) != 0;
    q_free_block(block);
  });
  // The writer writes the list in its order: the symbols in the order of
  // their files, as the visit found them.
  SymbolInfo *reversed = nullptr;
  while (list != nullptr) {
    SymbolInfo *next = list->next;
    list->next = reversed;
    reversed = list;
    list = next;
  }
  list = reversed;

  char *buffer = nullptr;
  size_t size = 0;
  int result = 0;
  if (!failed) {
    FILE *memory = open_memstream(&buffer, &size);
    if (memory == nullptr) {
      vaam::setError(vaam::kNullPointer);
      result = 1;
    } else {
      // A writer that fails leaves its own message.
      result = vaAMWriteLTFFile(memory, list) != 0 ? 1 : 0;
      if (std::fclose(memory) != 0 && result == 0) {
        vaam::setError(vaam::kNullPointer);
        result = 1;
      }
    }
    if (result == 0 && vsReplaceFile(fileName, buffer, size) != vsOK) {
      vaAMSetError("%s%s%s\n", "File ", fileName, " could not be written.");
      result = 1;
    }
  }
  vaAMFreeSymbolInfo(list);
  std::free(buffer);
  return failed ? 1 : result;
}
