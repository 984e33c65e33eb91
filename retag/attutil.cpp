// attutil.cpp: the symbol list records and their allocation, the keyword
// lists, the configuration file reader, the LTF writer and the splitting of
// attribute texts.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "retag.h"
#include "retagInternal.h"
#include "symlist.h"
#include "ulBase.h"
#include "ulMem.h"
#include "ulStr.h"

using vaam::kLineSize;
using vaam::kNullPointer;
using vaam::setError;

namespace {

// Keyword tables; the lists are built from them in table order, so each list
// holds its entries in reverse table order.
struct KeywordDef {
  const char *name;
  int id;
};
constexpr KeywordDef kLtfKeywords[] = {{".BL", vaAM_LTF_BEGIN},
                                       {"S", vaAM_LTF_SYMBOL},
                                       {"P", vaAM_LTF_PIN},
                                       {"A", vaAM_LTF_ATTRIBUTE},
                                       {".EL", vaAM_LTF_END}};
constexpr KeywordDef kIniKeywords[] = {{"NEW_ATTR_VIS", vaAM_INI_NEW_ATTR_VIS},
                                       {"TEXTSIZE", vaAM_INI_TEXTSIZE},
                                       {"ORIENTATION", vaAM_INI_ORIENTATION},
                                       {"TEXTORIGIN", vaAM_INI_TEXTORIGIN}};

template <size_t N> KeywordEntry *buildKeywords(const KeywordDef (&table)[N]) {
  KeywordEntry *list = nullptr;
  for (const KeywordDef &def : table) {
    auto *entry =
        static_cast<KeywordEntry *>(ulMemCalloc(1, sizeof(KeywordEntry), "vaAMKeywordEntry"));
    char *name = entry != nullptr ? ulStrCpy(def.name) : nullptr;
    if (name == nullptr) {
      ulMemFree(entry);
      vaAMFreeAnyKeywords(list);
      setError(kNullPointer);
      return nullptr;
    }
    entry->name = name;
    entry->length = static_cast<int>(std::strlen(name));
    entry->id = def.id;
    entry->next = list;
    list = entry;
  }
  return list;
}

// The records of a symbol list are many and small (a large list has
// millions), so they come from the fixed-size free lists, zeroed.
template <class Record> Record *newRecord(const char *tag) {
  void *block = ulMemFlAlloc(sizeof(Record), tag);
  return block != nullptr ? new (block) Record{} : nullptr;
}

template <class Record> void freeRecord(Record *record) {
  ulMemFlFree(record, sizeof(Record));
}

void freeAttributes(AttributeInfo *attribute) {
  while (attribute != nullptr) {
    AttributeInfo *next = attribute->next;
    ulStrFree(attribute->name);
    ulStrFree(attribute->value);
    freeRecord(attribute);
    attribute = next;
  }
}

// Replaces an owned string field with a copy of text.
bool replaceString(char *&field, const char *text) {
  char *copy = ulStrCpy(text);
  if (copy == nullptr)
    return false;
  ulStrFree(field);
  field = copy;
  return true;
}

// Reads and drops the rest of the current configuration line.
void dropLine(FILE *fp) {
  char line[kLineSize];
  ulDufsFgets(line, sizeof line, fp);
}

} // namespace

// ---- Records ----------------------------------------------------------------

SymbolInfo *vaAMAllocateSymbolInfo(SymbolInfo *list) {
  auto *symbol = newRecord<SymbolInfo>("vaAMSymbolInfo");
  if (symbol == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  symbol->next = list;
  return symbol;
}

SymbolInfo *vaAMAllocatePin(SymbolInfo *symbol) {
  if (symbol == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  auto *pin = newRecord<PinInfo>("vaAMPinInfo");
  if (pin == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  pin->next = symbol->pins;
  symbol->pins = pin;
  return symbol;
}

AttributeInfo *vaAMAllocateAnyAttribute(AttributeInfo *list) {
  auto *attribute = newRecord<AttributeInfo>("vaAMAttributeInfo");
  if (attribute == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  attribute->next = list;
  return attribute;
}

SymbolInfo *vaAMStoreSymName(SymbolInfo *symbol, const char *name, int sheet) {
  if (symbol == nullptr || name == nullptr || !replaceString(symbol->name, name)) {
    setError(kNullPointer);
    return nullptr;
  }
  symbol->sheet = sheet;
  return symbol;
}

SymbolInfo *vaAMStorePinName(SymbolInfo *symbol, const char *name) {
  if (symbol == nullptr || symbol->pins == nullptr || name == nullptr ||
      !replaceString(symbol->pins->name, name)) {
    setError(kNullPointer);
    return nullptr;
  }
  return symbol;
}

SymbolInfo *vaAMStorePinInversion(SymbolInfo *symbol, int flag) {
  if (symbol == nullptr || symbol->pins == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  symbol->pins->inverted = flag;
  return symbol;
}

AttributeInfo *vaAMStoreAttLocation(AttributeInfo *attribute, int x, int y) {
  if (attribute == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  attribute->x = x;
  attribute->y = y;
  return attribute;
}

namespace {
// The single-field setters differ only in the field they set.
AttributeInfo *storeField(AttributeInfo *attribute, int AttributeInfo::*field, int v) {
  if (attribute == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  attribute->*field = v;
  return attribute;
}
} // namespace

AttributeInfo *vaAMStoreAttVisibility(AttributeInfo *attribute, int visibility) {
  return storeField(attribute, &AttributeInfo::visibility, visibility);
}

AttributeInfo *vaAMStoreAttSize(AttributeInfo *attribute, int size) {
  return storeField(attribute, &AttributeInfo::size, size);
}

AttributeInfo *vaAMStoreAttOrientation(AttributeInfo *attribute, int orientation) {
  return storeField(attribute, &AttributeInfo::orientation, orientation);
}

AttributeInfo *vaAMStoreAttOrigin(AttributeInfo *attribute, int origin) {
  return storeField(attribute, &AttributeInfo::origin, origin);
}

AttributeInfo *vaAMStoreAnyAttribute(AttributeInfo *attribute, const char *name,
                                     const char *value) {
  if (attribute == nullptr || name == nullptr || !replaceString(attribute->name, name) ||
      !replaceString(attribute->value, value != nullptr ? value : vaAM_EMPTY_VALUE)) {
    setError(kNullPointer);
    return nullptr;
  }
  return attribute;
}

void vaAMFreeSymbolInfo(SymbolInfo *list) {
  vaam::forgetSymbolIndex(list);
  while (list != nullptr) {
    SymbolInfo *next = list->next;
    freeAttributes(list->attributes);
    for (PinInfo *pin = list->pins; pin != nullptr;) {
      PinInfo *nextPin = pin->next;
      ulStrFree(pin->name);
      freeAttributes(pin->attributes);
      freeRecord(pin);
      pin = nextPin;
    }
    ulStrFree(list->name);
    freeRecord(list);
    list = next;
  }
}

// ---- Keyword lists ----------------------------------------------------------

KeywordEntry *vaAMInitLTFKeywords() {
  return buildKeywords(kLtfKeywords);
}

KeywordEntry *vaAMInitINIKeywords() {
  return buildKeywords(kIniKeywords);
}

int vaAMInitAllKeywords(KeywordEntry **ini, KeywordEntry **ltf) {
  KeywordEntry *iniList = vaAMInitINIKeywords();
  KeywordEntry *ltfList = vaAMInitLTFKeywords();
  if (ini != nullptr)
    *ini = iniList;
  else
    vaAMFreeAnyKeywords(iniList);
  if (ltf != nullptr)
    *ltf = ltfList;
  else
    vaAMFreeAnyKeywords(ltfList);
  return iniList != nullptr && ltfList != nullptr && ini != nullptr && ltf != nullptr ? 1 : 0;
}

void vaAMFreeAnyKeywords(KeywordEntry *list) {
  while (list != nullptr) {
    KeywordEntry *next = list->next;
    ulStrFree(list->name);
    ulMemFree(list);
    list = next;
  }
}

void vaAMFreeAllKeywords(KeywordEntry *ini, KeywordEntry *ltf) {
  vaAMFreeAnyKeywords(ini);
  vaAMFreeAnyKeywords(ltf);
}

// ---- LTF writer ---------------------------------------------------------------

void vaam::setParseErrorOrShort(int line, const char *file, const char *tail) {
  if (std::snprintf(vaAMErrorBufferV, sizeof vaAMErrorBufferV,
                    "File parse error at line %d in file %s%s\n", line, file,
                    tail) >= static_cast<int>(sizeof vaAMErrorBufferV))
    setError("File parse error\n");
}

bool vaam::printAttribute(FILE *fp, AttributeInfo *attribute, AttributeForm form) {
  if (attribute->name == nullptr) {
    setError("Empty attribute name field");
    return false;
  }
  if (attribute->value == nullptr)
    attribute->value = ulStrCpy(vaAM_EMPTY_VALUE);
  const AttributeInfo &a = *attribute;
  if (form == AttributeForm::Ltf)
    std::fprintf(fp, "A %d %d %d %d %d %d ", a.x, a.y, a.visibility, a.size, a.orientation,
                 a.origin);
  else
    std::fprintf(fp, "X = %d  Y = %d  VIS = %d  SIZE = %d  ORIEN = %d  ORIGIN = %d  ", a.x, a.y,
                 a.visibility, a.size, a.orientation, a.origin);
  std::fprintf(fp, "%s=%s\n", a.name, a.value != nullptr ? a.value : vaAM_EMPTY_VALUE);
  return true;
}

int vaAMWriteLTFFile(FILE *fp, SymbolInfo *list) {
  std::fprintf(fp, "%s\n", ".BL");
  for (SymbolInfo *symbol = list; symbol != nullptr; symbol = symbol->next) {
    std::fprintf(fp, "%s %s %d\n", "S", symbol->name != nullptr ? symbol->name : "", symbol->sheet);
    for (AttributeInfo *a = symbol->attributes; a != nullptr; a = a->next)
      if (!vaam::printAttribute(fp, a, vaam::AttributeForm::Ltf))
        return 1;
    for (PinInfo *pin = symbol->pins; pin != nullptr; pin = pin->next) {
      std::fprintf(fp, "%s ", "P");
      std::fprintf(fp, "%s%s\n", pin->inverted == 1 ? "~" : "",
                   pin->name != nullptr ? pin->name : "");
      for (AttributeInfo *a = pin->attributes; a != nullptr; a = a->next)
        if (!vaam::printAttribute(fp, a, vaam::AttributeForm::Ltf))
          return 1;
    }
  }
  std::fprintf(fp, "%s\n", ".EL");
  return 0;
}

// ---- Attribute texts ----------------------------------------------------------

int vaAMParseAttribute(const char *text, char **name, char **value) {
  if (name != nullptr)
    *name = nullptr;
  if (value != nullptr)
    *value = nullptr;
  if (text == nullptr || *text == '\0') {
    setError("Empty attribute string");
    return 1;
  }
  if (name == nullptr || value == nullptr) {
    setError(kNullPointer);
    return 1;
  }
  char work[kLineSize];
  ulStrncpyNullTerm(work, text, sizeof work);
  char *equals = std::strchr(work, '=');
  if (equals != nullptr) {
    *equals = '\0';
    *value = ulStrCpy(equals + 1);
    if (*value == nullptr) {
      setError(kNullPointer);
      return 1;
    }
  }
  *name = ulStrCpy(vaAMRemoveBlanks(work));
  if (*name == nullptr) {
    ulStrFree(*value);
    *value = nullptr;
    setError(kNullPointer);
    return 1;
  }
  return 0;
}

char *vaAMRemoveBlanks(char *text) {
  if (text == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  char *to = text;
  for (const char *from = text; *from != '\0'; ++from)
    if (!ulCharIsSpaceOrTab(*from))
      *to++ = *from;
  *to = '\0';
  return text;
}

char *vaAMStripLeadingSpaces(char *text) {
  if (text == nullptr)
    return nullptr;
  char *copy = ulStrCpy(ulStrBlk(text));
  ulStrFree(text);
  return copy;
}

// ---- Configuration file -------------------------------------------------------

IniKeyValue *vaAMAllocateINIKeyword(IniKeyValue *list) {
  auto *record = static_cast<IniKeyValue *>(ulMemCalloc(1, sizeof(IniKeyValue), "vaAMIniKeyValue"));
  if (record == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  record->next = list;
  return record;
}

IniKeyValue *vaAMStoreINIKeyword(IniKeyValue *record, char *keyword, KeywordEntry *keywords) {
  if (record == nullptr || keyword == nullptr || !replaceString(record->name, keyword)) {
    ulStrFree(keyword);
    setError(kNullPointer);
    return nullptr;
  }
  record->id = 0;
  for (KeywordEntry *k = keywords; k != nullptr; k = k->next) {
    if (ulStrIcmp(k->name, keyword) == 0) {
      record->id = k->id;
      break;
    }
  }
  ulStrFree(keyword);
  return record;
}

IniKeyValue *vaAMStoreINIKeyValue(IniKeyValue *record, int value) {
  if (record == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  record->value = value;
  return record;
}

void vaAMFreeINIKeyValues(IniKeyValue *list) {
  while (list != nullptr) {
    IniKeyValue *next = list->next;
    ulStrFree(list->name);
    ulMemFree(list);
    list = next;
  }
}

int vaAMGetDefaultValue(int id) {
  for (IniKeyValue *record = vaAMINIKeywordsV; record != nullptr; record = record->next)
    if (record->id == id)
      return record->value;
  setError("Unexpected value");
  std::printf("WRONG.............\n");
  return 1;
}

int vaAMINIOrd(int id) {
  if (id >= vaAM_INI_NEW_ATTR_VIS && id <= vaAM_INI_TEXTORIGIN)
    return id;
  std::printf("Illegal enum evaluation.\n");
  std::printf("Illegal branch.\n");
  return 1;
}

IniKeyValue *vaAMReadINIFile(FILE *fp, KeywordEntry *keywords, const char *fileName) {
  IniKeyValue *list = nullptr;
  int line = 0;
  char word[kLineSize];
  char rest[kLineSize];
  char valueWord[kLineSize];
  if (fileName == nullptr)
    fileName = "";

  for (;;) {
    int id = ulTklex(fp, word, sizeof word, "\n\t ", " \n\t", keywords);
    if (id == -1)
      break;
    ++line; // every branch below consumes the rest of its line

    if (id == 0) {
      std::printf("Illegal keyword [%s]..  Skipping line %d\n", vaam::shownWord(word).c_str(),
                  line);
      dropLine(fp);
      continue;
    }
    bool repeated = false;
    for (IniKeyValue *r = list; r != nullptr && !repeated; r = r->next)
      repeated = ulStrIcmp(r->name, word) == 0;
    if (repeated) {
      std::printf("Keyword [%s] has already been found.. Ignoring keyword on line %d.\n", word,
                  line);
      dropLine(fp);
      continue;
    }

    char *keyword = ulStrCpy(word);
    if (keyword == nullptr) {
      setError(kNullPointer);
      vaAMFreeINIKeyValues(list);
      return nullptr;
    }
    if (vaAMDebugV)
      std::printf("Found keyword [%s] in RETAGCFG.INI\n", keyword);

    if (ulDufsFgets(rest, sizeof rest, fp) == nullptr) {
      std::printf("Missing value for token [%s] on line %d.\n", keyword, line);
      ulStrFree(keyword);
      continue;
    }
    char *after = ulStrTok(ulStrBlk(rest), valueWord, sizeof valueWord, ulStrWhitespaceV);
    if (after == nullptr) {
      vaam::setParseErrorOrShort(line, fileName, "");
      std::printf("%s\n", vaAMErrorBufferV);
      ulStrFree(keyword);
      vaAMFreeINIKeyValues(list);
      return nullptr;
    }
    int value = 0;
    if (!vaam::numberValue(valueWord, &value)) {
      std::printf("Illegal or missing value for token [%s]\n", keyword);
      std::snprintf(vaAMErrorBufferV, sizeof vaAMErrorBufferV,
                    "Illegal or missing value for token [%s]", keyword);
      ulStrFree(keyword);
      vaAMFreeINIKeyValues(list);
      return nullptr;
    }
    if (vaAMDebugV)
      std::printf("Found value [%d] in RETAGCFG.INI\n", value);

    IniKeyValue *record = vaAMAllocateINIKeyword(list);
    if (record == nullptr) {
      ulStrFree(keyword);
      vaAMFreeINIKeyValues(list);
      return nullptr;
    }
    list = record;
    vaAMStoreINIKeyValue(vaAMStoreINIKeyword(record, keyword, keywords), value);

    const char *tail = ulStrBlk(after);
    if (*tail != '\0' && *tail != '|')
      std::printf("Remainder of line %d was ignored in RETAGCFG.INI.\n", line);
  }
  if (list == nullptr)
    setError("Could not parse INI file successfully");
  return list;
}
