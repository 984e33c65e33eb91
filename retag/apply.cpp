// apply.cpp: attribute application, the retag command's work on each block
// file of the destination library (see apply.h).
#include "apply.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <unordered_map>

#include "gpi.h"
#include "retag.h"
#include "retagInternal.h"
#include "ulStr.h"
#include "vs.h"

namespace {

// How a pin attribute without pin name is shown in messages.
constexpr const char *kNoPin = "<no pin>";

// Least time between two drawings of the progress line.
constexpr long kProgressIntervalNs = 100'000'000;

// The visit's time before the progress line estimates the time left.
constexpr long kEstimateAfterNs = 1'000'000'000;

// A pooled string owned for one scope.
class Pooled {
public:
  Pooled() = default;
  explicit Pooled(char *s) : s_(s) {}
  ~Pooled() { ulStrFree(s_); }
  Pooled(const Pooled &) = delete;
  Pooled &operator=(const Pooled &) = delete;
  char *get() const { return s_; }
  char **slot() { return &s_; }

private:
  char *s_ = nullptr;
};

// The progress line on standard error (only when it is a terminal).
struct Progress {
  bool decided = false;
  bool enabled = false;
  bool drawn = false;   // the line was drawn since the last erasure
  bool started = false; // start holds the visit's beginning
  int visited = 0;
  int total = 0;          // files the visit passes, 0 when unknown
  timespec start = {};    // when the visit began
  timespec lastDraw = {}; // when it was drawn last
};

// The symbol index: the first SymbolInfo in list order for each name (folded
// to upper case, as ulStrIcmp compares) and sheet.
struct SymbolIndex {
  const SymbolInfo *head = nullptr;
  std::unordered_map<std::string, SymbolInfo *> bySymbol;
};

// The module's state: the index of the list being visited and the progress.
struct State {
  SymbolIndex index;
  Progress progress;
};

State &state() {
  static State s;
  return s;
}

// ---- Output ------------------------------------------------------------------

void debug(const char *format, ...) __attribute__((format(printf, 1, 2)));
void debug(const char *format, ...) {
  if (!vaAMDebugV)
    return;
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
}

void logVa(const char *format, va_list args) __attribute__((format(printf, 1, 0)));
void logVa(const char *format, va_list args) {
  vaam::logWrite(format, args);
}

// A line of the log that is information only.
void logNote(const char *format, ...) __attribute__((format(printf, 1, 2)));
void logNote(const char *format, ...) {
  va_list args;
  va_start(args, format);
  logVa(format, args);
  va_end(args);
}

// A failure: one line in the log and one error counted.
void logError(const char *format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char *format, ...) {
  va_list args;
  va_start(args, format);
  logVa(format, args);
  va_end(args);
  ++vaAMErrorCountV;
}

// The applier's debug trace for its result; returns the result.
int traced(int result, const char *word, const char *applier) {
  debug("Returning %s from %s\n", word, applier);
  return result;
}
int success(const char *applier) {
  return traced(0, "Success", applier);
}
int internalError(const char *applier) {
  return traced(1, "Internal Error", applier);
}

// ---- Texts and lookups ---------------------------------------------------------

std::string indexKey(const char *name, int sheet) {
  std::string key;
  for (const char *c = name != nullptr ? name : ""; *c != '\0'; ++c)
    key += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  key += '\n';
  key += std::to_string(sheet);
  return key;
}

// The first SymbolInfo of list (list order) for this name and sheet.
SymbolInfo *findSymbol(SymbolInfo *list, const char *name, int sheet) {
  SymbolIndex &index = state().index;
  if (index.head != list) {
    index.bySymbol.clear();
    index.head = list;
    for (SymbolInfo *s = list; s != nullptr; s = s->next)
      index.bySymbol.try_emplace(indexKey(s->name, s->sheet), s);
  }
  auto found = index.bySymbol.find(indexKey(name, sheet));
  return found == index.bySymbol.end() ? nullptr : found->second;
}

// The associated pin of an attached text: the first pin object met when
// following the object list from its owner, the owner first.
vqPin *associatedPin(const vqText *attribute) {
  for (vqObject *o = attribute->owner; o != nullptr; o = o->next)
    if (o->kind == vqKIND_PIN)
      return static_cast<vqPin *>(o);
  return nullptr;
}

// The first label in a pin's attached chain; attributes are passed over.
const vqText *firstLabel(const vqPin *pin) {
  for (const vqText *t = pin->attached; t != nullptr; t = t->attNext)
    if (t->kind == vqKIND_LABEL)
      return t;
  return nullptr;
}

const char *shown(const char *pinName) {
  return pinName != nullptr ? pinName : kNoPin;
}

// ---- Progress --------------------------------------------------------------------

long nsSince(const timespec &then, const timespec &now) {
  return (now.tv_sec - then.tv_sec) * 1'000'000'000L + (now.tv_nsec - then.tv_nsec);
}

// "12 s" or "3 min 5 s".
std::string duration(long seconds) {
  if (seconds < 60)
    return std::to_string(seconds) + " s";
  return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

// Counts one visited symbol and redraws the line when it is due:
// "12/53 symbols visited, 1 errors so far, about 4 s left" (the total and
// the estimate when known).
void progressStep() {
  Progress &p = state().progress;
  if (!p.decided) {
    p.decided = true;
    p.enabled = !vaAMDebugV && isatty(STDERR_FILENO) == 1;
  }
  ++p.visited;
  if (!p.enabled)
    return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (!p.started) {
    p.started = true;
    p.start = now;
  }
  if (p.drawn && nsSince(p.lastDraw, now) < kProgressIntervalNs)
    return;
  p.lastDraw = now;
  p.drawn = true;
  const int total = p.total >= p.visited ? p.total : 0;
  std::string line = std::to_string(p.visited);
  if (total > 0)
    line += "/" + std::to_string(total);
  line += " symbols visited, " + std::to_string(vaAMErrorCountV) + " errors so far";
  const long elapsed = nsSince(p.start, now);
  if (total > p.visited && elapsed >= kEstimateAfterNs) {
    const double left = static_cast<double>(elapsed) / p.visited * (total - p.visited) / 1e9;
    line += ", about " + duration(std::lround(left)) + " left";
  }
  vaam::statusShow(line);
}

// Counts the file as visited on every way out of the callback.
struct VisitGuard {
  ~VisitGuard() { progressStep(); }
};

// ---- Per file -------------------------------------------------------------------

// The load name and extension of the file being worked on, for its log lines.
struct FileWork {
  const char *loadName;
  const char *extension;

  void release() const {
    if (gpi_unload() != 1)
      logError("Could not unload SYMBOL %s.%s\n", loadName, extension);
  }
  // Releases the block and ends the file with vsLOOP (an early return).
  int releaseAndLoop() const {
    release();
    return loop();
  }
  static int loop() {
    debug("Returning vsLOOP from vaAMApplyAttributes\n");
    return vsLOOP;
  }
};

} // namespace

char *vaam::attributeText(const char *name, const char *value) {
  if (value == nullptr || ulStrIcmp(value, vaAM_EMPTY_VALUE) == 0)
    return ulSprintfAlloc("%s", name);
  return ulSprintfAlloc("%s=%s", name, value);
}

void vaam::forgetSymbolIndex(const SymbolInfo *list) {
  SymbolIndex &index = state().index;
  if (list != nullptr && index.head == list) {
    index.head = nullptr;
    index.bySymbol.clear();
  }
}

void vaam::progressTotal(int total) {
  Progress &p = state().progress;
  p.total = total;
  p.started = true;
  clock_gettime(CLOCK_MONOTONIC, &p.start);
}

void vaam::progressReset() {
  state().progress = Progress();
}

void vaAMProgressEnd() {
  Progress &p = state().progress;
  if (p.drawn) {
    vaam::statusClear();
    p.drawn = false;
  }
}

int vaAMApplyAttributes(char *path, void *symbols) {
  char device[vsMAXPATH];
  char directory[vsMAXPATH];
  char name[vsMAXPATH];
  char extension[vsMAXPATH];
  if (vsParse(path, device, directory, name, extension) == vsBADSPEC) {
    vaam::setError("Incorrect path specification");
    debug("Returning vsSTOP from vaAMApplyAttributes\n");
    return vsSTOP;
  }
  // Only numbered files are blocks: backups, notes and the like are passed
  // over without a word.
  if (!ulStrIsnum(extension))
    return vsLOOP;
  VisitGuard visit;

  debug("FileSpec:  [%s]\n", path);
  debug("Device:    [%s]\n", device);
  debug("Path:      [%s]\n", directory);
  debug("BlockName: [%s]\n", name);
  debug("Sheet:     [%s]\n", extension);

  Pooled loadName(ulSprintfAlloc("%s:%s", AliasName, name));
  const FileWork file{loadName.get(), extension};
  // A sheet number too large for an int names no block; reading it wrapped
  // would load another sheet of the same name.
  int sheet = 0;
  if (!vaam::numberValue(extension, &sheet) ||
      gpi_load(loadName.get(), vqBLOCK_SYMBOL, sheet) != 1 || q_get_block() == nullptr) {
    logError("Could not get the SYMBOL information from %s.%s\n", loadName.get(), extension);
    // A load that fails can still leave a Block in hand (a read-only one, or
    // an empty one for a missing file); let it go so nothing piles up.
    if (q_get_block() != nullptr)
      (void)gpi_unload();
    return FileWork::loop();
  }
  vqBlock *block = q_get_block();

  SymbolInfo *symbol = findSymbol(static_cast<SymbolInfo *>(symbols), block->name, block->number);
  if (symbol == nullptr) {
    logError("SYMBOL %s.%s was not found in the LTF file. Continuing to next symbol.\n",
             loadName.get(), extension);
    return file.releaseAndLoop();
  }
  debug("Symbol List name  [%s]\n", symbol->name);
  debug("Symbol List sheet [%d]\n", symbol->sheet);
  debug("GPI Block   name  [%s]\n", block->name);
  debug("GPI Block   sheet [%d]\n", block->number);
  if (vaAMPreviewV)
    vaam::previewBegin(block, loadName.get(), extension);

  for (vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_ATTRIBUTE)
      continue;
    auto *attribute = static_cast<vqText *>(o);
    if (attribute->owner == nullptr) {
      if (vaAMApplyExistingSymAtt(attribute, symbol) != 0) {
        logError("Could not apply symbol attribute %s to SYMBOL %s.%s\n", attribute->text,
                 loadName.get(), extension);
        return file.releaseAndLoop();
      }
      continue;
    }
    int sense = 0;
    const char *pinName = vaAMGetAssociatedPin(attribute, &sense);
    debug("Attribute:      [%s]\n", attribute->text);
    debug("Associated pin: [%s]\n", shown(pinName));
    if (vaAMApplyExistingPinAtt(attribute, pinName, sense, symbol) != 0) {
      logError("Could not apply pin attribute %s on pin %s to SYMBOL %s.%s\n", attribute->text,
               shown(pinName), loadName.get(), extension);
      return file.releaseAndLoop();
    }
  }

  if (vaAMApplyNonexistingSymAtt(block, symbol) != 0) {
    logError("Could not apply symbol attribute to SYMBOL %s.%s\n", loadName.get(), extension);
    return file.releaseAndLoop();
  }
  if (vaAMApplyNonexistingPinAtt(block, symbol) != 0) {
    logError("Could not apply pin attribute to SYMBOL %s.%s\n", loadName.get(), extension);
    return file.releaseAndLoop();
  }
  if ((vaAMPreviewV ? vaam::previewSave(block) : gpi_save()) != 1)
    logError("Could not save SYMBOL %s.%s\n", loadName.get(), extension);
  else if (!vaAMPreviewV)
    vaam::noteStagedSave(loadName.get(), extension);
  file.release();
  ++vaAMSymbolCountV;
  return vsLOOP;
}

// ---- Appliers ---------------------------------------------------------------------

int vaAMApplyExistingSymAtt(vqText *attribute, SymbolInfo *symbol) {
  constexpr const char *self = "vaAMApplyExistingSymAtt";
  Pooled name;
  Pooled value;
  if (vaAMParseAttribute(attribute->text, name.slot(), value.slot()) != 0)
    return internalError(self);

  AttributeInfo *info = symbol->attributes;
  while (info != nullptr && (info->used || ulStrIcmp(info->name, name.get()) != 0))
    info = info->next;
  if (info == nullptr) {
    logNote("SYMBOL %s.%d attribute %s not found in LTF file\n", symbol->name, symbol->sheet,
            attribute->text);
    return traced(0, "FALSE", self);
  }

  Pooled text(vaam::attributeText(info->name, info->value));
  debug("Found a SYMBOL attribute...\n");
  debug("Old attribute [%s]\n", attribute->text);
  debug("New attribute [%s]\n", text.get());
  vaAMSetAttValues(attribute, info);
  if (gpi_m_attr(text.get(), attribute) != 1) {
    logNote("SYMBOL %s.%d attribute %s could not be modified\n", symbol->name, symbol->sheet,
            attribute->text);
    return internalError(self);
  }
  info->used = 1;
  return success(self);
}

int vaAMApplyExistingPinAtt(vqText *attribute, const char *pinName, int sense, SymbolInfo *symbol) {
  constexpr const char *self = "vaAMApplyExistingPinAtt";
  PinInfo *pin = symbol->pins;
  while (pin != nullptr &&
         (pinName == nullptr || ulStrIcmp(pin->name, pinName) != 0 || pin->inverted != sense))
    pin = pin->next;
  if (pin == nullptr) {
    logError("SYMBOL %s.%d pin %s not found in LTF file\n", symbol->name, symbol->sheet,
             shown(pinName));
    return internalError(self);
  }

  Pooled name;
  Pooled value;
  if (vaAMParseAttribute(attribute->text, name.slot(), value.slot()) != 0)
    return traced(1, "Interal Error", self);

  AttributeInfo *info = pin->attributes;
  while (info != nullptr && ulStrIcmp(info->name, name.get()) != 0)
    info = info->next;
  if (info == nullptr)
    return success(self);
  if (info->used) {
    logNote("SYMBOL %s.%d attribute %s=%s has already been used. Skipping.\n", symbol->name,
            symbol->sheet, info->name, info->value);
    return success(self);
  }

  // The block's own spelling of the name stays, so the rewrite cannot be
  // refused for a difference of case.
  Pooled text(vaam::attributeText(name.get(), info->value));
  info->used = 1;
  vaAMSetAttValues(attribute, info);
  if (gpi_m_attr(text.get(), attribute) != 1) {
    logNote("SYMBOL %s.%d attribute %s on pin %s could not be modified\n", symbol->name,
            symbol->sheet, attribute->text, pin->name);
    return internalError(self);
  }
  return success(self);
}

int vaAMApplyNonexistingSymAtt(vqBlock *block, SymbolInfo *symbol) {
  constexpr const char *self = "vaAMApplyNonexistingSymAtt";
  for (AttributeInfo *info = symbol->attributes; info != nullptr; info = info->next) {
    if (info->used)
      continue;
    Pooled text(vaam::attributeText(info->name, info->value));
    if (gpi_a_attribute(text.get(), nullptr, 0) != 1) {
      vaam::setError("Unable to add attribute to symbol");
      debug("Could not add attribute [%s]\n", text.get());
      return traced(0, "FALSE", self);
    }
    if (vaAMChangeNewAttPosition(block, text.get(), info, 0) != 0) {
      vaam::setError("Could not change attribute values");
      return internalError(self);
    }
    info->used = 1;
  }
  return success(self);
}

int vaAMApplyNonexistingPinAtt(vqBlock *block, SymbolInfo *symbol) {
  constexpr const char *self = "vaAMApplyNonexistingPinAtt";
  for (PinInfo *pin = symbol->pins; pin != nullptr; pin = pin->next) {
    for (AttributeInfo *info = pin->attributes; info != nullptr; info = info->next) {
      if (info->used)
        continue;
      // Every pin of the block with this name and sense gets the attribute.
      // Additions go to the head of the object list, behind the walk.
      for (vqObject *o = block->objects; o != nullptr; o = o->next) {
        if (o->kind != vqKIND_PIN)
          continue;
        const vqText *label = firstLabel(static_cast<vqPin *>(o));
        if (label == nullptr || !ulStrEqu(label->text, pin->name) ||
            vqPlaceSense(label->place) != pin->inverted)
          continue;
        Pooled text(vaam::attributeText(info->name, info->value));
        if (gpi_a_attribute(text.get(), o, 0) != 1) {
          vaam::setError("Unable to add attribute to symbol");
          debug("Could not add attribute [%s]\n", text.get());
          return internalError(self);
        }
        if (vaAMChangeNewAttPosition(block, text.get(), info, 1) != 0) {
          vaam::setError("Could not change attribute values");
          return internalError(self);
        }
        info->used = 1;
      }
    }
  }
  return success(self);
}

// ---- Placement ----------------------------------------------------------------------

int vaAMChangeNewAttPosition(vqBlock *block, const char *text, AttributeInfo *info, int mode) {
  for (vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_ATTRIBUTE)
      continue;
    auto *attribute = static_cast<vqText *>(o);
    if (attribute->owner == nullptr) {
      if (mode == 1) {
        std::printf("Illegal addition.\n");
        return 1;
      }
    } else {
      if (mode == 0) {
        std::printf("Illegal addition 2.\n");
        return 1;
      }
      if (associatedPin(attribute) == nullptr) {
        std::printf("Could not find pin.\n");
        return 1;
      }
    }
    if (ulStrIcmp(attribute->text, text) == 0) {
      vaAMSetAttValues(attribute, info);
      return 0;
    }
  }
  return 0;
}

int vaAMSetAttValues(vqText *attribute, AttributeInfo *info) {
  vaAMUpdatePosition(attribute, info);
  int orientation = info->orientation;
  int origin = info->origin;
  int visibility = info->visibility;
  int size = info->size;
  if (vaAMOverrideFlagV == 1) {
    orientation = vaAMGetDefaultValue(vaAM_INI_ORIENTATION);
    origin = vaAMGetDefaultValue(vaAM_INI_TEXTORIGIN);
    visibility = vaAMGetDefaultValue(vaAM_INI_NEW_ATTR_VIS);
    size = vaAMGetDefaultValue(vaAM_INI_TEXTSIZE);
  }
  vqPlaceSetOrient(&attribute->place, orientation);
  vqPlaceSetOrigin(&attribute->place, origin);
  vqPlaceSetVis(&attribute->place, visibility);
  attribute->size = size;
  return 0;
}

int vaAMUpdatePosition(vqText *attribute, AttributeInfo *info) {
  attribute->x = info->x;
  attribute->y = info->y;
  return 0;
}

int vaAMCheckCoords(const vqText *attribute, const AttributeInfo *info) {
  return attribute->x == info->x && attribute->y == info->y ? 1 : 0;
}

const char *vaAMGetAssociatedPin(const vqText *attribute, int *sense) {
  *sense = 0;
  const vqPin *pin = associatedPin(attribute);
  const vqText *label = pin != nullptr ? firstLabel(pin) : nullptr;
  if (label == nullptr)
    return nullptr;
  *sense = vqPlaceSense(label->place);
  return label->text;
}
