// qInitParam.cpp: one line of the initialisation file: the keyword table,
// keyword matching, and how each keyword's values are read and applied.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qInit.h"
#include "qMsg.h"
#include "qlm.h"
#include "ulBase.h"
#include "ulBus.h"
#include "ulErr.h"
#include "ulMem.h"
#include "ulStr.h"

namespace {

// How a keyword's line is read.
enum class Form {
  Object,      // three integers: colour, style, line style of an object kind
  Value,       // one number into q_values
  TextOrigin,  // one number; above 9 is an error
  SheetSize,   // one number, and for the custom sheet its two dimensions
  Route,       // one integer into ROUTE_MODE
  Undo,        // one integer: the undo depth
  BlockType,   // one integer; 5 or more is an error
  Mode,        // one integer into q_modes
  Setting,     // one integer into vqIniSettingsV
  Flag,        // one integer, kept as 0 or 1
  Layer,       // three integers: layer, style, line style
  Qualifiers,  // one word of at most 20 characters
  Netname,     // one net name
  Dir,         // a library directory line
  AttrReset,   // an attribute name and an optional value
  AttrPromote, // an attribute name
  Ignore,      // accepted, nothing to apply
  Unknown,     // treated as a word that matches no keyword
};

struct Keyword {
  const char *name;
  Form form;
  int slot = 0;                          // table slot of Object, Value, Mode, Layer
  int vqIniSettings::*setting = nullptr; // field of Setting
  char vqIniSettings::*flag = nullptr;   // field of Flag
};

// The order matters only for abbreviations; it is the order the editor has
// always had.
constexpr Keyword kKeywords[qKEYWORD_COUNT] = {
    {"line", Form::Object, qO_LINE},
    {"circle", Form::Object, qO_CIRCLE},
    {"box", Form::Object, qO_BOX},
    {"arc", Form::Object, qO_ARC},
    {"text", Form::Object, qO_TEXT},
    {"label", Form::Object, qO_LABEL},
    {"attribute", Form::Object, qO_ATTRIBUTE},
    {"net", Form::Object, qO_NET},
    {"component", Form::Object, qO_COMPONENT},
    {"pin", Form::Object, qO_PIN},
    {"frame", Form::Unknown},
    {"grid", Form::Value, qV_GRID},
    {"dotsize", Form::Value, qV_DOTSIZE},
    {"textsize", Form::Value, qV_TEXTSIZE},
    {"textorigin", Form::TextOrigin, qV_TEXTORIGIN},
    {"buswidth", Form::Value, qV_BUSWIDTH},
    {"sheetsize", Form::SheetSize, qV_SHEETSIZE},
    {"sdistance", Form::Value, qV_SDISTANCE},
    {"autolog", Form::Value, qV_AUTOLOG},
    {"route", Form::Route, qV_ROUTE_MODE},
    {"adistance", Form::Value, qV_ADISTANCE},
    {"bubblesize", Form::Value, qV_BUBBLESIZE},
    {"scope", Form::Value, qV_SCOPE},
    {"boxsize", Form::Value, qV_BOXSIZE},
    {"text_threshold", Form::Value, qV_TEXT_THRESHOLD},
    {"new_attr_vis", Form::Value, qV_NEW_ATTR_VIS},
    {"bus_dotsize", Form::Value, qV_BUS_DOTSIZE},
    {"borderon", Form::Mode, qM_BORDER},
    {"gridon", Form::Mode, qM_GRID},
    {"headeron", Form::Mode, qM_HEADER},
    {"comptexton", Form::Mode, qM_COMPTEXT},
    {"texton", Form::Setting, 0, &vqIniSettings::textOn},
    {"labelon", Form::Setting, 0, &vqIniSettings::labelOn},
    {"attron", Form::Setting, 0, &vqIniSettings::attrOn},
    {"bell", Form::Mode, qM_BELL},
    {"detail", Form::Mode, qM_DETAIL},
    {"snaptopin", Form::Mode, qM_SNAPTOPIN},
    {"unique_label", Form::Mode, qM_UNIQUE_LABEL},
    {"valueson", Form::Mode, qM_VALUES},
    {"context_window", Form::Mode, qM_CONTEXT_WINDOW},
    {"undo", Form::Undo, qV_UNDO},
    {"nameson", Form::Mode, qM_NAMES},
    {"pnumson", Form::Mode, qM_PNUMS},
    {"sorton", Form::Mode, qM_SORT},
    {"rnumson", Form::Mode, qM_RNUMS},
    {"dboxon", Form::Mode, qM_DBOX},
    {"xtraerrs", Form::Mode, qM_XTRAERRS},
    {"selection_layer", Form::Layer, qL_SELECTION},
    {"border_layer", Form::Layer, qL_BORDER},
    {"value_layer", Form::Layer, qL_VALUE},
    {"anno_layer", Form::Layer, qL_ANNO},
    {"symbol_qualifiers", Form::Qualifiers},
    {"dir", Form::Dir},
    {"netname", Form::Netname},
    {"defsheet", Form::Setting, 0, &vqIniSettings::defSheet},
    {"blocktype", Form::BlockType, qV_BLOCK_TYPE},
    {"attr_reset", Form::AttrReset},
    {"oattribute", Form::Object, qO_OATTRIBUTE},
    {"design_search_mode", Form::Ignore},
    {"attr_promote", Form::AttrPromote},
    {"coarse_grid", Form::Setting, 0, &vqIniSettings::coarseGrid},
    {"dynamic_xy", Form::Setting, 0, &vqIniSettings::dynamicXy},
    {"begin_nets_in_space", Form::Setting, 0, &vqIniSettings::beginNetsInSpace},
    {"oats", Form::Setting, 0, &vqIniSettings::oats},
    {"rippers_on", Form::Flag, 0, nullptr, &vqIniSettings::rippersOn},
    {"thick_nets", Form::Flag, 0, nullptr, &vqIniSettings::thickNets},
    {"db_err_verbose", Form::Mode, qM_DB_ERR_VERBOSE},
    {"selnameon", Form::Mode, qM_SELNAME},
    {"fubpintypeon", Form::Mode, qM_FUBPINTYPE},
    {"full_vhdl_checks", Form::Mode, qM_FULL_VHDL_CHECKS},
    {"auto_text_orien", Form::Mode, qM_AUTO_TEXT_ORIEN},
    {"auto_ripper_bus_segment", Form::Mode, qM_AUTO_RIPPER_BUS_SEGMENT},
    {"auto_ripper_bus_segment_length", Form::Value, qV_AUTO_RIPPER_BUS_SEGMENT_LENGTH},
};

// Longest attribute name the reset list keeps.
constexpr size_t kAttrNameMax = 131;

// Reads a line's values the way the editor always has ("%*s %d %f %s"
// conversions): blanks between values are skipped, a number is read as far
// as it goes, and the first value that cannot be read ends the reading.
class Scanner {
public:
  explicit Scanner(const char *text) : p_(text) {}

  // The next blank-separated word; false when none is left.
  bool word(std::string &out) {
    skipBlanks();
    const char *start = p_;
    while (*p_ != '\0' && !ulCharIsSpace(*p_))
      ++p_;
    out.assign(start, p_);
    return p_ != start;
  }

  // A decimal integer, clamped to the range of int.
  bool integer(int &out) {
    if (failed_)
      return false;
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(p_, &end, 10);
    if (end == p_)
      return fail();
    p_ = end;
    out = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
    return true;
  }

  // A single-precision number.
  bool number(float &out) {
    if (failed_)
      return false;
    char *end = nullptr;
    float v = std::strtof(p_, &end);
    if (end == p_)
      return fail();
    p_ = end;
    out = v;
    return true;
  }

  // What follows the current position.
  const char *rest() const { return p_; }

private:
  void skipBlanks() {
    while (ulCharIsSpace(*p_))
      ++p_;
  }
  bool fail() {
    failed_ = true;
    return false;
  }
  const char *p_;
  bool failed_ = false;
};

// A number as an integer, truncated toward zero like a C cast but defined for
// every value (NaN counts as 0, the infinities as the ends of int).
int asInt(float v) {
  if (std::isnan(v))
    return 0;
  if (v >= 2147483647.0f)
    return INT_MAX;
  if (v <= -2147483648.0f)
    return INT_MIN;
  return static_cast<int>(v);
}

// Reads up to count integers into values (pre-set to the current ones).
void integers(Scanner &in, int *values, int count) {
  for (int i = 0; i < count && in.integer(values[i]); ++i) {
  }
}

// Adds the upper-cased name to list unless it holds it already.
void addName(ulDlist &list, const std::string &name) {
  char *copy = ulStrCpy(name.c_str());
  ulStrUpc(copy);
  if (list != nullptr) {
    for (ulDlistCell *c = list->head.next; c != &list->tail; c = c->next) {
      if (ulStrIequ(static_cast<const char *>(c->value), copy)) {
        ulStrFree(copy);
        return;
      }
    }
  } else {
    list = ulDlistCreate();
  }
  ulDlistAddTail(list, copy);
}

// "attr_reset NAME [value ...]": the name and the trimmed rest.
void addReset(const char *rest) {
  Scanner in(rest);
  std::string name;
  if (!in.word(name))
    return;
  if (name.size() > kAttrNameMax)
    name.resize(kAttrNameMax);
  std::string value = in.rest();
  size_t first = 0;
  while (first < value.size() && ulCharIsSpace(value[first]))
    ++first;
  size_t last = value.size();
  while (last > first && ulCharIsSpace(value[last - 1]))
    --last;
  value = value.substr(first, last - first);
  if (!value.empty() && value[0] == '|')
    value.clear();

  if (q_attr_reset_find(name.c_str()) != nullptr)
    return;
  auto *entry = static_cast<qAttrReset *>(ulMemMalloc(sizeof(qAttrReset), "qAttrReset"));
  entry->name = ulStrUpc(ulStrCpy(name.c_str()));
  entry->value = value.empty() ? nullptr : ulStrCpy(value.c_str());
  if (q_attr_reset_list == nullptr)
    q_attr_reset_list = ulDlistCreate();
  ulDlistAddTail(q_attr_reset_list, entry);
}

// "netname NAME": a name whose bus width can be worked out is listed;
// anything else is reported with the file and line it stands on.
int addNetname(const std::string &name) {
  if (ulBusExpandWidth(name.c_str()) > 0) {
    addName(q_netname_list, name);
    return 0;
  }
  // The location is "FILE, line N": the report adds the colon itself.
  if (q_ini_file() != nullptr)
    sbErrReportLoc(1099, ulErrLocationLine(q_ini_file(), q_ini_line()), name.c_str());
  else
    sbErrReport(1099, name.c_str());
  return 1;
}

} // namespace

int q_find_keyword(const char *word) {
  if (word == nullptr || *word == '\0')
    return -1;
  int found = -1;
  int matches = 0;
  size_t n = std::strlen(word);
  for (int i = 0; i < qKEYWORD_COUNT; ++i) {
    if (ulStrIequ(kKeywords[i].name, word))
      return i;
    if (std::strlen(kKeywords[i].name) > n &&
        ulStrNicmp(kKeywords[i].name, word, static_cast<int>(n)) == 0) {
      found = i;
      ++matches;
    }
  }
  return matches == 1 ? found : matches > 1 ? -2 : -1;
}

void q_ini_line_text(const char *line, int *start, int *end) {
  size_t n = std::strlen(line);
  size_t i = 0;
  while (i < n && ulCharIsSpace(line[i]))
    ++i;
  size_t tokenEnd = i;
  while (tokenEnd < n && !ulCharIsSpace(line[tokenEnd]))
    ++tokenEnd;
  size_t from = 0;
  size_t searchFrom = 0;
  if (tokenEnd - i == 4 && std::strncmp(line + i, "|5.0", 4) == 0) {
    from = searchFrom = tokenEnd;
    while (searchFrom < n && ulCharIsSpace(line[searchFrom]))
      ++searchFrom;
    while (searchFrom < n && !ulCharIsSpace(line[searchFrom]))
      ++searchFrom;
  }
  const char *bar = std::strchr(line + searchFrom, '|');
  *start = static_cast<int>(from);
  *end = static_cast<int>(bar == nullptr ? n : static_cast<size_t>(bar - line));
}

const char *q_keyword_name(int index) {
  return index >= 0 && index < qKEYWORD_COUNT ? kKeywords[index].name : nullptr;
}

int q_read_param(const char *line) {
  if (line == nullptr)
    return 0;
  int start, end;
  q_ini_line_text(line, &start, &end);
  std::string text(line + start, line + end);
  while (!text.empty() && ulCharIsSpace(text.back())) // the line end, a carriage return
    text.pop_back();
  Scanner in(text.c_str());
  std::string keyword;
  if (!in.word(keyword) || keyword[0] == '|')
    return 0;

  int index = q_find_keyword(keyword.c_str());
  if (index == -2) {
    q_ini_putmsgid(2011, 1);
    return 1;
  }
  if (index < 0 || kKeywords[index].form == Form::Unknown) {
    q_ini_putmsgid(2036, 1);
    return 0;
  }

  const Keyword &k = kKeywords[index];
  switch (k.form) {
  case Form::Object: {
    qObject &o = q_objects[k.slot];
    int v[3] = {static_cast<int>(o.color), static_cast<int>(o.style),
                static_cast<int>(o.lineStyle)};
    integers(in, v, 3);
    o.color = static_cast<unsigned>(v[0]) & 0xffu;
    o.style = static_cast<unsigned>(v[1]) & 0x1fu;
    o.lineStyle = static_cast<unsigned>(v[2]) & 0x7u;
    return 0;
  }
  case Form::Layer: {
    qLayer &l = q_layers[k.slot];
    int v[3] = {l.layer, static_cast<int>(l.style), static_cast<int>(l.lineStyle)};
    integers(in, v, 3);
    l.layer = v[0];
    l.style = static_cast<unsigned>(v[1]) & 0x1fu;
    l.lineStyle = static_cast<unsigned>(v[2]) & 0x7u;
    return 0;
  }
  case Form::Value: {
    float f;
    if (in.number(f))
      q_values[k.slot].value = f;
    return 0;
  }
  case Form::TextOrigin: {
    float f;
    if (!in.number(f))
      return 0;
    q_values[k.slot].value = f;
    if (asInt(f) > 9) {
      q_ini_putmsgid(2012, 1);
      return 1;
    }
    return 0;
  }
  case Form::SheetSize: {
    float f;
    if (!in.number(f))
      return 0;
    q_values[k.slot].value = f;
    if (asInt(f) == qSHEET_CUSTOM) {
      int v[2] = {vqIniSettingsV.customSheetX, vqIniSettingsV.customSheetY};
      integers(in, v, 2);
      vqIniSettingsV.customSheetX = v[0];
      vqIniSettingsV.customSheetY = v[1];
    }
    return 0;
  }
  case Form::Route: {
    int v;
    if (in.integer(v))
      q_values[k.slot].value = static_cast<float>(v);
    return 0;
  }
  case Form::Undo: {
    int v;
    if (in.integer(v)) {
      q_values[k.slot].value = static_cast<float>(v);
      vqIniSettingsV.undoOn = static_cast<char>(v >= 1);
    }
    return 0;
  }
  case Form::BlockType: {
    int v;
    if (!in.integer(v))
      return 0;
    q_values[k.slot].value = static_cast<float>(v);
    if (v >= 5) {
      q_ini_putmsgid(2014, 1);
      return 1;
    }
    return 0;
  }
  case Form::Mode: {
    int v;
    if (in.integer(v))
      q_modes[k.slot].value = v;
    return 0;
  }
  case Form::Setting: {
    int v;
    if (in.integer(v))
      vqIniSettingsV.*k.setting = v;
    return 0;
  }
  case Form::Flag: {
    int v;
    if (in.integer(v))
      vqIniSettingsV.*k.flag = static_cast<char>(v != 0);
    return 0;
  }
  case Form::Qualifiers: {
    std::string w;
    if (!in.word(w))
      return 0;
    if (w.size() > static_cast<size_t>(qQUALIFIERS_MAX)) {
      q_ini_putmsgid(2013, 1);
      return 1;
    }
    std::strcpy(vqIniSettingsV.symbolQualifiers, w.c_str());
    return 0;
  }
  case Form::Netname: {
    std::string w;
    return in.word(w) ? addNetname(w) : 0;
  }
  case Form::Dir:
    return qd_dir_read(text.c_str()) ? 0 : -1;
  case Form::AttrReset:
    addReset(in.rest());
    return 0;
  case Form::AttrPromote: {
    std::string w;
    if (in.word(w))
      addName(vqAttrPromoListV, w);
    return 0;
  }
  case Form::Ignore:
  case Form::Unknown:
    break;
  }
  return 0;
}
