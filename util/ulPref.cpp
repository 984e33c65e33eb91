// ulPref.cpp: preference sets, their preferences and values, the command-line
// preference arguments and the usage listing.
//
// Sets live in one process-wide symbol table keyed by lower-case name; each
// set keeps its preferences in a symbol table keyed by lower-case name and,
// for the loops and the usage listing, in an array in declaration order.
// Values read from preference files wait in the pending table (keyed
// "set.name", lower case) until their set and preference exist.
#include "ulPref.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ulBase.h"
#include "ulErr.h"
#include "ulMem.h"
#include "ulMsg.h"
#include "ulStr.h"
#include "ulSym.h"

struct ulPrefDB {
  char *name;           // pooled: the name as created
  ulSym options;        // lower-case name -> ulPrefOption *
  ulPrefOption **order; // the preferences in the set's order
  int count;            // preferences in order
  int capacity;         // room in order
};

namespace {

constexpr int kMaxName = 80; // characters of a set, preference or shorthand name

// A value read from a preference file, waiting for its preference.
struct PendingValue {
  std::string text; // the value text
  std::string file; // where it was read, for the error location
  int line = 0;
};

struct PrefModule {
  ulSym sets = nullptr;                        // lower-case name -> ulPrefDB *
  std::map<std::string, PendingValue> pending; // "set.name" in lower case -> value
  char shorthand[kMaxName + 1] = {};
  bool shorthandSet = false; // set from argv[0] or by ulPrefSetShorthand
  bool shorthandOn = false;  // false: switched off (or never set)
};

PrefModule &prefs() {
  static PrefModule m;
  return m;
}

void releaseModule() {
  PrefModule &m = prefs();
  if (m.sets != nullptr)
    ulSymDestroy(m.sets, nullptr);
  m.sets = nullptr;
  m.pending.clear();
}

ulSym setTable() {
  PrefModule &m = prefs();
  if (m.sets == nullptr) {
    m.sets = ulSymCreate(29, ulSymStHash, ulStrEqu, ulSymStCpy, ulSymStFree);
    // After the layers that destroy their own sets, before the pools go.
    ulOnExitAdd2(releaseModule);
    ulOnExitSetOrder(releaseModule, 89);
  }
  return m.sets;
}

std::string lower(const char *s) {
  std::string l(s == nullptr ? "" : s);
  for (char &c : l)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return l;
}

ulPrefOption *findOption(ulPrefDB *set, const char *name) {
  if (set == nullptr || name == nullptr)
    return nullptr;
  return static_cast<ulPrefOption *>(ulSymFetch(set->options, lower(name).c_str()));
}

bool isSwitch(const ulTypespec *ts) {
  return ts == &ulOnOffVT || ts == &ulYesNoVT || ts == &ulTrueFalseVT;
}

void releaseValue(ulPrefOption *o) {
  if ((o->flags & ulPrefVALUESET) != 0)
    o->type->release(o->type, o->value);
  o->value = nullptr;
  o->flags = 0;
}

// Stores a value that the option now owns, releasing the old one.
void storeOwned(ulPrefOption *o, void *value, int flags) {
  releaseValue(o);
  o->value = value;
  o->flags = ulPrefVALUESET | flags;
}

void freeOption(ulPrefOption *o) {
  releaseValue(o);
  o->type->release(o->type, o->defaultValue);
  ulStrFree(o->name);
  ulStrFree(o->description);
  ulMemFree(o);
}

// Applies the value a preference file gave for set.name, if any.
void applyPending(ulPrefDB *set, ulPrefOption *o) {
  std::string key = lower(set->name) + "." + lower(o->name);
  PrefModule &m = prefs();
  auto it = m.pending.find(key);
  if (it == m.pending.end())
    return;
  PendingValue pending = std::move(it->second);
  m.pending.erase(it);
  if ((o->flags & ulPrefCMDLINE) != 0)
    return; // the command line wins over files
  void *value = nullptr;
  if (o->type->read(o->type, pending.text.c_str(), &value) == 0) {
    std::string full = std::string(set->name) + "." + o->name;
    ulExThrowBuild(ulEX_POSTCOND, ulErrLocationLine(pending.file.c_str(), pending.line),
                   ulMsgFile(), 1501, pending.text.c_str(), full.c_str());
  }
  storeOwned(o, value, 0);
}

int declare(ulPrefDB *set, const char *name, const ulTypespec *ts, const char *description,
            ulMsgHandle messageFile, int number, void *defaultValue, bool replace) {
  if (set == nullptr || name == nullptr || *name == '\0' || ts == nullptr)
    return 0;
  ulPrefOption *o = findOption(set, name);
  if (o != nullptr) {
    if (!replace)
      return 0;
    void *newDefault = ts->copy(ts, defaultValue);
    o->type->release(o->type, o->defaultValue);
    o->defaultValue = newDefault;
    if ((o->flags & ulPrefVALUESET) != 0 && ulPrefCompatible(o->type, ts) == 0)
      releaseValue(o);
    o->type = ts;
    ulStrFree(o->description);
    o->description = ulStrCpy(description);
    o->messageFile = messageFile;
    o->messageNumber = number;
    return 1;
  }
  o = static_cast<ulPrefOption *>(ulMemCalloc(1, sizeof(ulPrefOption), "ulPrefOption"));
  o->name = ulStrCpy(name);
  o->type = ts;
  o->description = ulStrCpy(description);
  o->messageFile = messageFile;
  o->messageNumber = number;
  o->defaultValue = ts->copy(ts, defaultValue);
  ulSymStore(set->options, lower(name).c_str(), o);
  if (set->count == set->capacity) {
    set->capacity = set->capacity == 0 ? 8 : set->capacity * 2;
    set->order = static_cast<ulPrefOption **>(ulMemRealloc(
        set->order, sizeof(ulPrefOption *) * static_cast<size_t>(set->capacity), "ulPrefOrder"));
  }
  set->order[set->count++] = o;
  applyPending(set, o);
  return 1;
}

// The sets of the table in ascending order of their names.
std::vector<ulPrefDB *> sortedSets() {
  std::vector<ulPrefDB *> sets;
  if (prefs().sets == nullptr)
    return sets;
  ulSymLoop(
      prefs().sets,
      [](void *value, void *, void *data, void *) {
        static_cast<std::vector<ulPrefDB *> *>(data)->push_back(static_cast<ulPrefDB *>(value));
        return 1;
      },
      &sets, nullptr);
  std::sort(sets.begin(), sets.end(),
            [](ulPrefDB *a, ulPrefDB *b) { return ulStrIcmp(a->name, b->name) < 0; });
  return sets;
}

// ---- Preference arguments ------------------------------------------------------

// The function ulPrefParse hands to ulCmdParse1.
int preferenceArgument(const char *argument, const char *next, void *) {
  PrefModule &m = prefs();
  char sign = argument[0];
  const char *body = argument + 1;
  const char *point = std::strchr(body, '.');
  std::string setName;
  const char *prefName = nullptr;
  if (point == nullptr || point == body) {
    if (!m.shorthandOn)
      return 3;
    setName = m.shorthand;
    prefName = point == nullptr ? body : point + 1;
  } else {
    if (point - body > kMaxName)
      return 3;
    setName.assign(body, static_cast<size_t>(point - body));
    prefName = point + 1;
  }
  size_t prefLength = std::strlen(prefName);
  if (prefLength == 0 || prefLength > static_cast<size_t>(kMaxName))
    return 3;
  ulPrefDB *set = ulPrefFind(setName.c_str());
  ulPrefOption *o = findOption(set, prefName);
  if (o == nullptr)
    return 3;
  if (isSwitch(o->type)) {
    storeOwned(o, ulPrefWord(sign == '+' ? 1 : 0), ulPrefCMDLINE);
    return 1;
  }
  if (o->type == &ulVoidVT) {
    storeOwned(o, nullptr, ulPrefCMDLINE);
    return 1;
  }
  if (next == nullptr)
    return 3;
  void *value = nullptr;
  if (o->type->read(o->type, next, &value) == 0) {
    std::string full = std::string(set->name) + "." + o->name;
    ulExThrowBuild(ulEX_POSTCOND, nullptr, ulMsgFile(), 1501, next, full.c_str());
  }
  storeOwned(o, value, ulPrefCMDLINE);
  return 2;
}

// Removes n arguments at index i; the freed slots at the end become null.
void removeArguments(int *argc, char **argv, int i, int n) {
  for (int k = i; k + n < *argc; k++)
    argv[k] = argv[k + n];
  for (int k = *argc - n; k < *argc; k++)
    argv[k] = nullptr;
  *argc -= n;
}

// The hint of the values a preference takes, for the usage listing.
std::string valueHint(const ulTypespec *ts) {
  if (ts->valueNames != nullptr) {
    std::string s;
    for (int i = 0; i < ts->valueCount; i++) {
      if (i > 0)
        s += '|';
      s += ts->valueNames[i];
    }
    return s;
  }
  std::string n = ts->name;
  if (n.rfind("ul", 0) == 0)
    n.erase(0, 2);
  if (n.size() > 2 && n.compare(n.size() - 2, 2, "VT") == 0)
    n.erase(n.size() - 2);
  return n;
}

} // namespace

// ---- Sets ----------------------------------------------------------------------

ulPrefDB *ulPrefCreate(const char *name) {
  if (name == nullptr || *name == '\0')
    return nullptr;
  auto *set = static_cast<ulPrefDB *>(ulMemCalloc(1, sizeof(ulPrefDB), "ulPrefDB"));
  set->name = ulStrCpy(name);
  set->options = ulSymCreate(31, ulSymStHash, ulStrEqu, ulSymStCpy, ulSymStFree);
  ulSymStore(setTable(), lower(name).c_str(), set);
  return set;
}

void ulPrefDestroy(ulPrefDB *set) {
  if (set == nullptr)
    return;
  std::string key = lower(set->name);
  if (prefs().sets != nullptr && ulSymFetch(prefs().sets, key.c_str()) == set)
    ulSymRemove(prefs().sets, key.c_str());
  for (int i = 0; i < set->count; i++)
    freeOption(set->order[i]);
  ulSymDestroy(set->options, nullptr);
  ulMemFree(set->order);
  ulStrFree(set->name);
  ulMemFree(set);
}

ulPrefDB *ulPrefFind(const char *name) {
  if (name == nullptr || prefs().sets == nullptr)
    return nullptr;
  return static_cast<ulPrefDB *>(ulSymFetch(prefs().sets, lower(name).c_str()));
}

const char *ulPrefName(ulPrefDB *set) {
  return set == nullptr ? nullptr : set->name;
}

int ulPrefAdd(ulPrefDB *set, const char *name, const ulTypespec *ts, const char *description,
              void *defaultValue) {
  return declare(set, name, ts, description, nullptr, 0, defaultValue, false);
}

int ulPrefAdd2(ulPrefDB *set, const char *name, const ulTypespec *ts, ulMsgHandle messageFile,
               int number, void *defaultValue) {
  return declare(set, name, ts, nullptr, messageFile, number, defaultValue, false);
}

int ulPrefReplace(ulPrefDB *set, const char *name, const ulTypespec *ts, const char *description,
                  void *defaultValue) {
  return declare(set, name, ts, description, nullptr, 0, defaultValue, true);
}

int ulPrefReplace2(ulPrefDB *set, const char *name, const ulTypespec *ts, ulMsgHandle messageFile,
                   int number, void *defaultValue) {
  return declare(set, name, ts, nullptr, messageFile, number, defaultValue, true);
}

// ---- Values --------------------------------------------------------------------

void *ulPrefVal(ulPrefDB *set, const char *name) {
  ulPrefOption *o = findOption(set, name);
  if (o == nullptr)
    return nullptr;
  return (o->flags & ulPrefVALUESET) != 0 ? o->value : o->defaultValue;
}

int ulPrefIntVal(ulPrefDB *set, const char *name) {
  const ulTypespec *ts = ulPrefTypespec(set, name);
  void *v = ulPrefVal(set, name);
  if (ts != nullptr && ts->family == ulPrefFAM_FLOAT)
    return v == nullptr ? 0 : static_cast<int>(*static_cast<double *>(v));
  return static_cast<int>(reinterpret_cast<intptr_t>(v));
}

long long ulPrefInt64Val(ulPrefDB *set, const char *name) {
  const ulTypespec *ts = ulPrefTypespec(set, name);
  void *v = ulPrefVal(set, name);
  if (ts != nullptr && ts->family == ulPrefFAM_FLOAT)
    return v == nullptr ? 0 : static_cast<long long>(*static_cast<double *>(v));
  return static_cast<long long>(reinterpret_cast<intptr_t>(v));
}

double ulPrefFloatVal(ulPrefDB *set, const char *name) {
  const ulTypespec *ts = ulPrefTypespec(set, name);
  void *v = ulPrefVal(set, name);
  if (ts == nullptr)
    return 0.0;
  if (ts->family == ulPrefFAM_FLOAT)
    return v == nullptr ? 0.0 : *static_cast<double *>(v);
  if (ts->family == ulPrefFAM_INT || ts->family == ulPrefFAM_INT64 || ts->family == ulPrefFAM_ENUM)
    return static_cast<double>(reinterpret_cast<intptr_t>(v));
  return 0.0;
}

const char *ulPrefStrVal(ulPrefDB *set, const char *name) {
  const ulTypespec *ts = ulPrefTypespec(set, name);
  if (ts == nullptr || (ts->family != ulPrefFAM_STRING && ts->family != ulPrefFAM_CONST))
    return nullptr;
  return static_cast<const char *>(ulPrefVal(set, name));
}

const ulTypespec *ulPrefTypespec(ulPrefDB *set, const char *name) {
  ulPrefOption *o = findOption(set, name);
  return o == nullptr ? nullptr : o->type;
}

void *ulPrefDefault(ulPrefDB *set, const char *name) {
  ulPrefOption *o = findOption(set, name);
  return o == nullptr ? nullptr : o->defaultValue;
}

int ulPrefChanged(ulPrefDB *set, const char *name) {
  ulPrefOption *o = findOption(set, name);
  return o != nullptr && (o->flags & ulPrefVALUESET) != 0 ? 1 : 0;
}

int ulPrefFlags(ulPrefDB *set, const char *name) {
  ulPrefOption *o = findOption(set, name);
  return o == nullptr ? -1 : o->flags;
}

char *ulPrefDescriptionAlloc(ulPrefDB *set, const char *name) {
  ulPrefOption *o = findOption(set, name);
  if (o == nullptr)
    return nullptr;
  if (o->description != nullptr)
    return ulStrCpy(o->description);
  if (o->messageFile != nullptr)
    return ulMsgAlloc(o->messageFile, o->messageNumber);
  return ulStrCpy("");
}

int ulPrefSetval(ulPrefDB *set, const char *name, void *value) {
  ulPrefOption *o = findOption(set, name);
  if (o == nullptr)
    return 0;
  storeOwned(o, o->type->copy(o->type, value), 0);
  return 1;
}

int ulPrefSetText(ulPrefDB *set, const char *name, const char *text) {
  ulPrefOption *o = findOption(set, name);
  void *value = nullptr;
  if (o == nullptr || text == nullptr || o->type->read(o->type, text, &value) == 0)
    return 0;
  storeOwned(o, value, 0);
  return 1;
}

char *ulPrefValStrAlloc(ulPrefDB *set, const char *name) {
  ulPrefOption *o = findOption(set, name);
  if (o == nullptr)
    return nullptr;
  return o->type->print(o->type, ulPrefVal(set, name));
}

int ulPrefRevert(ulPrefDB *set, const char *name) {
  ulPrefOption *o = findOption(set, name);
  if (o == nullptr)
    return 0;
  releaseValue(o);
  return 1;
}

// ---- Loops ---------------------------------------------------------------------

void ulPrefAlphabetize(ulPrefDB *set) {
  if (set == nullptr)
    return;
  std::stable_sort(set->order, set->order + set->count, [](ulPrefOption *a, ulPrefOption *b) {
    return ulStrIcmp(a->name, b->name) < 0;
  });
}

int ulPrefForEachOption(ulPrefDB *set, ulPrefOptionFunc function, void *data) {
  if (set == nullptr || function == nullptr)
    return 1;
  for (int i = 0; i < set->count; i++)
    if (function(set, set->order[i], data) == 0)
      return 0;
  return 1;
}

int ulPrefForEachUserOption(ulPrefDB *set, ulPrefOptionFunc function, void *data) {
  if (set == nullptr || function == nullptr)
    return 1;
  for (int i = 0; i < set->count; i++)
    if ((set->order[i]->flags & ulPrefVALUESET) != 0 && function(set, set->order[i], data) == 0)
      return 0;
  return 1;
}

int ulPrefForEachSet(int (*function)(ulPrefDB *set, void *data), void *data) {
  if (function == nullptr)
    return 1;
  for (ulPrefDB *set : sortedSets())
    if (function(set, data) == 0)
      return 0;
  return 1;
}

// ---- Command line --------------------------------------------------------------

void ulPrefSetShorthand(const char *name) {
  PrefModule &m = prefs();
  m.shorthandSet = true;
  m.shorthandOn = name != nullptr;
  ulStrncpyNullTerm(m.shorthand, name, kMaxName + 1);
}

void ulPrefExit() {
  PrefModule &m = prefs();
  m.pending.clear();
  m.shorthand[0] = '\0';
  m.shorthandSet = false;
  m.shorthandOn = false;
}

const char *ulPrefGetShorthand() {
  PrefModule &m = prefs();
  return m.shorthandOn ? m.shorthand : nullptr;
}

int ulPrefParse(const char *productName, int *argc, char **argv) {
  PrefModule &m = prefs();
  if (!m.shorthandSet && argc != nullptr && argv != nullptr && *argc > 0 && argv[0] != nullptr) {
    const char *base = std::strrchr(argv[0], '/');
    ulPrefSetShorthand(base != nullptr ? base + 1 : argv[0]);
  }
  int removed = 0;
  if (argc != nullptr && argv != nullptr && *argc > 1 && m.sets != nullptr && ulSymSize(m.sets) > 0)
    removed = ulCmdParse1(argc, argv, preferenceArgument, nullptr);
  if (productName != nullptr && *productName != '\0') {
    std::string file(1, '.');
    file += productName;
    file += ".prefs";
    const char *home = std::getenv("HOME");
    if (home != nullptr && *home != '\0')
      ulPrefReadIniFile((std::string(home) + "/" + file).c_str());
    ulPrefReadIniFile(file.c_str());
  }
  for (ulPrefDB *set : sortedSets())
    for (int i = 0; i < set->count; i++)
      applyPending(set, set->order[i]);
  return removed;
}

int ulPrefUsage(int *argc, char **argv) {
  if (argc == nullptr || argv == nullptr)
    return 0;
  bool asked = false;
  for (int i = 1; i < *argc && !asked; i++)
    asked = argv[i] != nullptr &&
            (std::strcmp(argv[i], "-usage") == 0 || std::strcmp(argv[i], "-?") == 0 ||
             std::strcmp(argv[i], "-help") == 0);
  if (!asked)
    return 0;
  std::printf("Options for %s\n", *argc > 0 && argv[0] != nullptr ? argv[0] : "");
  for (ulPrefDB *set : sortedSets()) {
    for (int i = 0; i < set->count; i++) {
      ulPrefOption *o = set->order[i];
      std::string form = std::string(isSwitch(o->type) ? "+/-" : "-") + set->name + "." + o->name;
      char *description = ulPrefDescriptionAlloc(set, o->name);
      std::string rest = std::string("  ") + description;
      ulStrFree(description);
      if (o->type == &ulVoidVT) {
        rest += " [no value]";
      } else {
        char *def = o->type->print(o->type, o->defaultValue);
        rest += " [" + valueHint(o->type) + ", default " + def + "]";
        ulStrFree(def);
      }
      std::printf("%20s%s\n", form.c_str(), rest.c_str());
    }
  }
  std::fflush(stdout);
  return 1;
}

// ---- Option scanners -----------------------------------------------------------

int ulCmdParse1(int *argc, char **argv, ulCmdFunc function, void *data) {
  if (argc == nullptr || argv == nullptr || function == nullptr)
    return 0;
  int removed = 0;
  int i = 1;
  while (i < *argc) {
    const char *a = argv[i];
    if (a == nullptr || (a[0] != '-' && a[0] != '+')) {
      i++;
      continue;
    }
    const char *next = i + 1 < *argc ? argv[i + 1] : nullptr;
    int r = function(a, next, data);
    if (r == 1 || r == 2) {
      int n = r == 2 && next != nullptr ? 2 : 1;
      removeArguments(argc, argv, i, n);
      removed += n;
    } else if (r == 3) {
      i++;
    } else {
      break;
    }
  }
  return removed;
}

int ulCmdParse(int *argc, char **argv, const char *const *valueNames, int valueCount, char **values,
               const char *const *flagNames, int flagCount, int *flags) {
  if (argc == nullptr || argv == nullptr)
    return 0;
  int used = 0;
  int i = 1;
  while (i < *argc) {
    const char *a = argv[i];
    if (a == nullptr || a[0] != '-') {
      i++;
      continue;
    }
    int k = valueCount > 0 ? ulStrIndex(a + 1, valueNames, valueCount) : -1;
    if (k >= 0) {
      if (i + 1 >= *argc)
        break;
      values[k] = argv[i + 1];
      used += 2;
      i += 2;
      continue;
    }
    k = flagCount > 0 ? ulStrIndex(a + 1, flagNames, flagCount) : -1;
    if (k < 0)
      break;
    flags[k] = 1;
    used++;
    i++;
  }
  if (used > 0)
    removeArguments(argc, argv, 1, used);
  return used;
}

char *ulCmdFlag(int *argc, char **argv, const char *name, int hasValue) {
  if (argc == nullptr || argv == nullptr || name == nullptr || *argc <= 1)
    return nullptr;
  for (int i = 1; i < *argc; i++) {
    if (hasValue && i + 1 >= *argc)
      break;
    if (argv[i] != nullptr && ulStrIequ(argv[i], name)) {
      char *result = hasValue ? argv[i + 1] : argv[i];
      removeArguments(argc, argv, i, hasValue ? 2 : 1);
      return result;
    }
  }
  return nullptr;
}

// ---- Preference files ----------------------------------------------------------

namespace {

constexpr const char *kBlanks = " \t\r\n\v\f";

std::string trimBlanks(const std::string &s) {
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string::npos)
    return std::string();
  return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

// Takes one line of a preference file apart. False for lines without an entry.
bool parseEntry(const std::string &line, std::string *key, std::string *value) {
  std::string s = line;
  if (s.compare(0, 4, "|5.0") == 0 && (s.size() == 4 || std::strchr(kBlanks, s[4]) != nullptr))
    s.erase(0, 4);
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string::npos || s[b] == '#')
    return false;
  size_t eq = s.find('=', b);
  if (eq == std::string::npos)
    return false;
  *key = trimBlanks(s.substr(b, eq - b));
  size_t point = key->find('.');
  if (point == std::string::npos || point == 0 || point + 1 == key->size())
    return false;
  std::string rest = s.substr(eq + 1);
  size_t v = rest.find_first_not_of(kBlanks);
  if (v != std::string::npos && rest[v] == '"') {
    ulStrBuf *token = ulStrBufCreate(static_cast<int>(rest.size()));
    ulStrBufTokQuote(rest.c_str() + v, token, "");
    *value = ulStrBufString(token);
    ulStrBufDestroy(token);
  } else {
    *value = trimBlanks(rest);
  }
  return true;
}

// The value as it is written into a preference file: quoted when reading it
// back plainly would change it. False when it cannot be written on one line.
bool quoteValue(const std::string &value, std::string *out) {
  if (value.find_first_of("\r\n") != std::string::npos)
    return false;
  bool quote = value.empty() || std::strchr(kBlanks, value.front()) != nullptr ||
               std::strchr(kBlanks, value.back()) != nullptr || value.front() == '"';
  if (!quote) {
    *out = value;
    return true;
  }
  out->assign(1, '"');
  for (char c : value) {
    if (c == '"' || c == '\\')
      *out += '\\';
    *out += c;
  }
  *out += '"';
  return true;
}

struct WriteState {
  FILE *file;
  bool ok;
};

int writeOption(ulPrefDB *set, ulPrefOption *o, void *data) {
  auto *w = static_cast<WriteState *>(data);
  char *printed = o->type->print(o->type, o->value);
  std::string value;
  if (!quoteValue(printed, &value))
    w->ok = false;
  ulStrFree(printed);
  std::string line = std::string(set->name) + "." + o->name + " = " + value + "\n";
  if (std::fputs(line.c_str(), w->file) < 0)
    w->ok = false;
  return w->ok ? 1 : 0;
}

} // namespace

int ulPrefReadIniFile(const char *fileName) {
  if (fileName == nullptr)
    return 0;
  FILE *f = std::fopen(fileName, "r");
  if (f == nullptr)
    return 0;
  PrefModule &m = prefs();
  char *buffer = nullptr;
  size_t capacity = 0;
  int lineNumber = 0;
  while (getline(&buffer, &capacity, f) >= 0) {
    lineNumber++;
    std::string key;
    std::string value;
    if (parseEntry(buffer, &key, &value))
      m.pending[lower(key.c_str())] = PendingValue{value, fileName, lineNumber};
  }
  std::free(buffer);
  std::fclose(f);
  for (ulPrefDB *set : sortedSets())
    for (int i = 0; i < set->count; i++)
      applyPending(set, set->order[i]);
  return 1;
}

int ulPrefWriteIniFile(const char *fileName, ulPrefDB *set) {
  if (fileName == nullptr || *fileName == '\0')
    return 0;
  // The text is built in memory and replaces the file in one crash-safe step.
  char *text = nullptr;
  size_t size = 0;
  FILE *f = open_memstream(&text, &size);
  if (f == nullptr)
    return 0;
  WriteState w{f, std::fputs("|5.0\n", f) >= 0};
  std::vector<ulPrefDB *> sets = set != nullptr ? std::vector<ulPrefDB *>{set} : sortedSets();
  for (ulPrefDB *s : sets)
    if (w.ok)
      ulPrefForEachUserOption(s, writeOption, &w);
  if (std::fclose(f) != 0)
    w.ok = false;
  w.ok = w.ok && ulReplaceFile(fileName, text, size);
  std::free(text);
  return w.ok ? 1 : 0;
}
