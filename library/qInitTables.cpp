// qInitTables.cpp: the editor's settings tables with their defaults, the
// version numbers, and the attribute reset, promotion and net name lists.
#include <array>

#include "qInit.h"
#include "ulMem.h"
#include "ulStr.h"

int vqVersionV = 0;
const char *vqInitFileNameV = "scribant.ini";

int q_get_version() {
  vqVersionV = vqVERSION;
  return vqVersionV;
}

const char *vqGetVersionString() {
  return "5.4.1";
}

const char *vqGetOviqueVersionString() {
  return "1.0";
}

const qDtype q_dtypes[qDTYPE_COUNT] = {
    {"SCHEMATIC", "sch"}, {"SYMBOL", "sym"}, {"DOCUMENTATION", "doc"},
    {"WIRELIST", "wir"},  {"pin", "sym"},    {"OCCURRENCE ATTRIBUTE", ""},
};

// The tables start out holding their defaults; the copies below keep those
// for q_set_defaults, so each default is written once.
qValue q_values[qVALUE_COUNT] = {
    {"GRID", 10},        {"DOTSIZE", 5},
    {"AUTOLOG", 0},      {"TEXTSIZE", 10},
    {"TEXTORIGIN", 3},   {"BUSWIDTH", 3},
    {"SHEETSIZE", 0},    {"SDISTANCE", 10},
    {"BUBBLESIZE", 5},   {"ROUTE_MODE", 0},
    {"ADISTANCE", 10},   {"SCOPE", 0},
    {"BOXSIZE", 5},      {"TEXT_THRESHOLD", 3},
    {"NEW_ATTR_VIS", 1}, {"BLOCK_TYPE", 0},
    {"ANNO_SIZE", 15},   {"BUS_DOTSIZE", 12},
    {"UNDO", 4},         {"AUTO_RIPPER_BUS_SEGMENT_LENGTH", 2},
};

qMode q_modes[qMODE_COUNT] = {
    {"BUS", 1},
    {"BORDER", 1},
    {"GRID", 1},
    {"HEADER", 1},
    {"COMPTEXT", 1},
    {"BELL", 1},
    {"DETAIL", 0},
    {"SNAPTOPIN", 1},
    {"UNIQUE_LABEL", 0},
    {"VALUES", 1},
    {"CONTEXT_WINDOW", 0},
    {"NAMES", 1},
    {"PNUMS", 1},
    {"SORT", 0},
    {"RNUMS", 0},
    {"DBOX", 0},
    {"XTRAERRS", 0},
    {"DB_ERR_VERBOSE", 0},
    {"SELNAME", 0},
    {"FUBPINTYPE", 0},
    {"FULL_VHDL_CHECKS", 0},
    {"AUTO_TEXT_ORIEN", 0},
    {"AUTO_RIPPER_BUS_SEGMENT", 0},
    {"ORTHO", 1},
    {"AUTOPAN", 1},
    {"RUBBERBAND", 1},
    {"CROSSHAIR", 0},
    {"AUTOSAVE", 0},
    {"VERBOSE", 0},
};

qObject q_objects[qOBJECT_COUNT] = {
    {"line", 3, 0, 0},  {"box", 3, 0, 0}, {"text", 2, 0, 0},       {"circle", 3, 0, 0},
    {"arc", 3, 0, 0},   {"net", 4, 0, 0}, {"attribute", 5, 0, 0},  {"component", 1, 0, 0},
    {"label", 6, 0, 0}, {"pin", 7, 0, 0}, {"oattribute", 5, 0, 0}, {"bus", 4, 0, 0},
};

qLayer q_layers[qLAYER_COUNT] = {
    {"SELECTION", 1, 0, 0},
    {"BORDER", 2, 0, 0},
    {"VALUE", 3, 0, 0},
    {"ANNO", 4, 0, 0},
};

vqIniSettings vqIniSettingsV = {
    1,   1,   1, // texton, labelon, attron
    0,   0,   0, // defsheet, coarse_grid, dynamic_xy
    0,   0,      // begin_nets_in_space, oats
    0,   0,   1, // rippers_on, thick_nets, undo on (depth 4)
    100, 100,    // custom sheet
    "",          // symbol qualifiers
};

namespace {

const auto kValueDefaults = std::to_array(q_values);
const auto kModeDefaults = std::to_array(q_modes);
const auto kObjectDefaults = std::to_array(q_objects);
const auto kLayerDefaults = std::to_array(q_layers);
const vqIniSettings kSettingsDefaults = vqIniSettingsV;

template <class T, size_t N> void restore(T (&table)[N], const std::array<T, N> &defaults) {
  for (size_t i = 0; i < N; ++i)
    table[i] = defaults[i];
}

} // namespace

void q_set_defaults() {
  restore(q_values, kValueDefaults);
  restore(q_modes, kModeDefaults);
  restore(q_objects, kObjectDefaults);
  restore(q_layers, kLayerDefaults);
  vqIniSettingsV = kSettingsDefaults;
}

// ---- Lists ------------------------------------------------------------------------

ulDlist q_attr_reset_list = nullptr;
ulDlist vqAttrPromoListV = nullptr;
ulDlist q_netname_list = nullptr;

namespace {

int freeReset(void *value, void *) {
  auto *entry = static_cast<qAttrReset *>(value);
  ulStrFree(entry->name);
  ulStrFree(entry->value);
  ulMemFree(entry);
  return 1;
}

int freeName(void *value, void *) {
  ulStrFree(static_cast<char *>(value));
  return 1;
}

void destroy(ulDlist &list, ulDlistLoopFunc function) {
  ulDlistDestroyList(list, function, nullptr);
  list = nullptr;
}

// The cell of a name list holding name (ignoring case), or null.
const char *findName(ulDlist list, const char *name) {
  if (list == nullptr || name == nullptr)
    return nullptr;
  for (ulDlistCell *c = list->head.next; c != &list->tail; c = c->next)
    if (ulStrIequ(static_cast<const char *>(c->value), name))
      return static_cast<const char *>(c->value);
  return nullptr;
}

} // namespace

void q_free_attr_reset_list() {
  destroy(q_attr_reset_list, freeReset);
}

void q_free_attr_promo_list() {
  destroy(vqAttrPromoListV, freeName);
}

void q_free_netname_list() {
  destroy(q_netname_list, freeName);
}

const qAttrReset *q_attr_reset_find(const char *name) {
  if (q_attr_reset_list == nullptr || name == nullptr)
    return nullptr;
  for (ulDlistCell *c = q_attr_reset_list->head.next; c != &q_attr_reset_list->tail; c = c->next) {
    auto *entry = static_cast<const qAttrReset *>(c->value);
    if (ulStrIequ(entry->name, name))
      return entry;
  }
  return nullptr;
}

int q_attr_promoted(const char *name) {
  return findName(vqAttrPromoListV, name) != nullptr;
}

int q_netname_listed(const char *name) {
  return findName(q_netname_list, name) != nullptr;
}
