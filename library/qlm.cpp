// qlm.cpp: the library manager's records, lists, line reader and queries.
#include <cstring>
#include <string>

#include "qlm.h"
#include "qlmInternal.h"
#include "ulBase.h"
#include "ulMem.h"
#include "ulStr.h"
#include "vs.h"

int qlm_errno = 0;

namespace {

// The current list and the second list; the vfile search order has a pair of
// its own.
struct Lists {
  qlmDir *current = nullptr;
  qlmDir *second = nullptr;
};

struct State {
  Lists pairs[2];
  int active = 0; // 1 while the vfile search order is enabled
};

State &state() {
  static State s;
  return s;
}

Lists &lists() {
  return state().pairs[state().active];
}

constexpr int maxName = 32;
constexpr int maxPath = vsMAXPATH - 1;

const char *skipBlanks(const char *s) {
  while (ulCharIsLineSpace(*s))
    ++s;
  return s;
}

const char *tokenEnd(const char *s) {
  while (*s != '\0' && !ulCharIsLineSpace(*s))
    ++s;
  return s;
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Records read as "" when they have no name.
const char *nameOf(const qlmDir *d) {
  return d->name == nullptr ? "" : d->name;
}

bool sameName(const qlmDir *d, const char *name) {
  return *nameOf(d) != '\0' && name != nullptr && ulStrIcmp(nameOf(d), name) == 0;
}

int fail(int status) {
  qlm_errno = status;
  return status;
}

template <class T> T *fail(int status, T *) {
  qlm_errno = status;
  return nullptr;
}

// Sets every nextLib of the list: each record points at the next record of
// the same name.
void relink(qlmDir *head) {
  for (qlmDir *d = head; d != nullptr; d = d->next) {
    d->nextLib = nullptr;
    if (*nameOf(d) == '\0')
      continue;
    for (qlmDir *e = d->next; e != nullptr; e = e->next)
      if (sameName(e, d->name)) {
        d->nextLib = e;
        break;
      }
  }
}

void append(qlmDir **head, qlmDir *d) {
  qlmDir **at = head;
  while (*at != nullptr)
    at = &(*at)->next;
  *at = d;
  d->next = nullptr;
  d->nextLib = nullptr;
  if (*nameOf(d) != '\0')
    for (qlmDir *e = *head; e != d; e = e->next)
      if (sameName(e, d->name) && e->nextLib == nullptr)
        e->nextLib = d;
}

bool contains(const qlmDir *head, const qlmDir *d) {
  for (; head != nullptr; head = head->next)
    if (head == d)
      return true;
  return false;
}

bool inAnyList(const qlmDir *d) {
  for (const Lists &l : state().pairs)
    if (contains(l.current, d) || contains(l.second, d))
      return true;
  return false;
}

void freeRecord(qlmDir *d) {
  if (d->path != d->wpath)
    ulStrFree(d->path);
  ulStrFree(d->wpath);
  ulStrFree(d->name);
  ulMemFree(d);
}

void freeList(qlmDir **head) {
  while (*head != nullptr) {
    qlmDir *d = *head;
    *head = d->next;
    freeRecord(d);
  }
}

// A line rest, as far as the text alone tells.
struct Line {
  int type = 0;
  int number = -1;
  std::string wpath; // as written
  std::string name;
  std::string qualifier; // the braced field as written, braces included; "" when none
};

int parseType(const char *b, const char *e, Line &out) {
  if (*b == '[') {
    if (e - b < 2 || e[-1] != ']')
      return qlmE_BRACKET;
    if (e - b == 2)
      return qlmE_NOLETTER;
    bool p = false, w = false, r = false, m = false, l = false;
    for (const char *c = b + 1; c != e - 1; ++c) {
      switch (lower(*c)) {
      case 'p':
        p = true;
        break;
      case 'w':
        w = true;
        break;
      case 'r':
        r = true;
        break;
      case 'm':
        m = true;
        break;
      case 'l':
        l = true;
        break;
      default:
        return qlmE_BADLETTER;
      }
    }
    if ((r && w) || (r && p) || (w && m) || (m && p))
      return qlmE_CONTRA;
    out.type = (p ? qlmTYPE_PRIMARY : 0) | (r || m ? qlmTYPE_READONLY : 0) |
               (m ? qlmTYPE_MEGAFILE : 0) | (l ? qlmTYPE_EXTRA : 0);
    return 0;
  }
  const char *d = (*b == '-') ? b + 1 : b;
  if (d == e)
    return qlmE_BRACKET;
  for (const char *c = d; c != e; ++c)
    if (*c < '0' || *c > '9')
      return qlmE_BRACKET;
  while (d + 1 < e && *d == '0')
    ++d;
  if (*b == '-' || e - d > 2)
    return qlmE_BADLETTER;
  int value = 0;
  for (; d != e; ++d)
    value = value * 10 + (*d - '0');
  if (value > 20)
    return qlmE_BADLETTER;
  out.number = value;
  out.type = value == 0 ? qlmTYPE_PRIMARY : value <= 5 ? 0 : qlmTYPE_READONLY;
  return 0;
}

// Parses a line rest; checkPrimary refuses a primary directory when the list
// has one already.
int parseLine(const char *rest, Line &out, bool checkPrimary) {
  std::string text = rest == nullptr ? "" : rest;
  text = text.substr(0, text.find('|'));
  const char *s = skipBlanks(text.c_str());
  if (*s == '\0')
    return qlmE_NOLETTER;
  const char *e = tokenEnd(s);
  if (const int st = parseType(s, e, out); st != 0)
    return st;
  if (checkPrimary && (out.type & qlmTYPE_PRIMARY) && qlm_get_primary_dir() != nullptr)
    return qlmE_PRIMARY;

  s = skipBlanks(e);
  e = tokenEnd(s);
  if (s == e || *s == '(' || e - s > maxPath)
    return qlmE_BADPATH;
  out.wpath.assign(s, e);

  s = skipBlanks(e);
  if (*s == '(') {
    const char *close = std::strchr(s, ')');
    if (close == nullptr)
      return qlmE_BRACKET;
    const char *b = skipBlanks(s + 1);
    const char *end = close;
    while (end > b && ulCharIsLineSpace(end[-1]))
      --end;
    out.name.assign(b, end);
    s = skipBlanks(close + 1);
  }
  // The project's list reads a qualifier in braces from the same lines; the
  // editor has no use for it but must not refuse the line for it.
  if (*s == '{') {
    const char *close = std::strchr(s, '}');
    if (close == nullptr)
      return qlmE_BRACKET;
    out.qualifier.assign(s, close + 1);
    s = skipBlanks(close + 1);
  }
  if (*s != '\0')
    return qlmE_BRACKET;
  if (!out.name.empty() &&
      (static_cast<int>(out.name.size()) > maxName || !qlm_chk_library_name(out.name.c_str())))
    return qlmE_BADNAME;
  return 0;
}

// The absolute form of a written path, trailing "/" removed; false if it
// cannot be had.
bool absolute(const std::string &written, char *abs) {
  char converted[vsMAXPATH];
  if (vsConvPath(written.c_str(), converted) != vsOK || vsAbsPath2(converted, abs) != vsOK)
    return false;
  size_t n = std::strlen(abs);
  while (n > 1 && abs[n - 1] == '/')
    abs[--n] = '\0';
  return true;
}

qlmDirId readLine(const char *rest, bool create) {
  Line line;
  if (const int st = parseLine(rest, line, true); st != 0)
    return fail(st, static_cast<qlmDir *>(nullptr));
  char abs[vsMAXPATH];
  if (!absolute(line.wpath, abs))
    return fail(qlmE_BADPATH, static_cast<qlmDir *>(nullptr));
  for (const qlmDir *d = lists().current; d != nullptr; d = d->next)
    if (d->path != nullptr && std::strcmp(d->path, abs) == 0)
      return fail(qlmE_DUPLICATE, static_cast<qlmDir *>(nullptr));
  int kind = 0;
  if (vsInfo(abs, nullptr, nullptr, &kind) != vsOK) {
    if (!create)
      return fail(qlmE_NODIR, static_cast<qlmDir *>(nullptr));
    if (vsCreateWithPath(abs, vsDIR) != vsOK)
      return fail(qlmE_MKDIR, static_cast<qlmDir *>(nullptr));
  } else if (kind != vsDIR) {
    return fail(qlmE_NOTDIR, static_cast<qlmDir *>(nullptr));
  }

  qlmDir *d = qlm_create_dir_id();
  d->type = line.type;
  d->number = line.number;
  d->wpath = ulStrCpy(line.wpath.c_str());
  d->path = line.wpath == abs ? d->wpath : ulStrCpy(abs);
  d->name = line.name.empty() ? nullptr : ulStrCpy(line.name.c_str());
  append(&lists().current, d);
  qlm_errno = 0;
  return d;
}

} // namespace

int qlm_get_status() {
  return qlm_errno;
}

qlmDirId qlm_read(const char *rest) {
  return readLine(rest, false);
}

qlmDirId qlm_read_and_create(const char *rest) {
  return readLine(rest, true);
}

std::string qlmiQualifierField(const char *rest) {
  Line line;
  return parseLine(rest, line, false) == 0 ? line.qualifier : std::string();
}

int qlm_chk_library_name(const char *name) {
  if (name == nullptr || !((*name >= 'a' && *name <= 'z') || (*name >= 'A' && *name <= 'Z')))
    return 0;
  for (const char *c = name; *c != '\0'; ++c) {
    const bool letterOrDigit =
        (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
    if (!letterOrDigit && !(*c == '_' && c[-1] != '_'))
      return 0;
  }
  return 1;
}

char *qlm_id_write(qlmDirId dir) {
  if (dir == nullptr)
    return fail(qlmE_INVALID, static_cast<char *>(nullptr));
  std::string text;
  if (dir->number >= 0) {
    char number[16];
    std::snprintf(number, sizeof number, "%2d", dir->number);
    text = number;
  } else {
    text = "[";
    if (dir->type & qlmTYPE_PRIMARY)
      text += 'p';
    text += (dir->type & qlmTYPE_READONLY) ? 'r' : 'w';
    if (dir->type & qlmTYPE_MEGAFILE)
      text += 'm';
    if (dir->type & qlmTYPE_EXTRA)
      text += 'l';
    text += ']';
  }
  text += ' ';
  text += dir->wpath == nullptr ? "" : dir->wpath;
  if (*nameOf(dir) != '\0')
    text += std::string(" (") + dir->name + ")";
  return ulStrCpy(text.c_str());
}

const char *qlm_id_get_name(qlmDirId dir) {
  return dir == nullptr ? fail(qlmE_INVALID, static_cast<const char *>(nullptr)) : nameOf(dir);
}

const char *qlm_id_get_path(qlmDirId dir) {
  return dir == nullptr ? fail(qlmE_INVALID, static_cast<const char *>(nullptr)) : dir->path;
}

const char *qlm_id_get_rpath(qlmDirId dir) {
  return dir == nullptr ? fail(qlmE_INVALID, static_cast<const char *>(nullptr)) : dir->wpath;
}

int qlm_id_get_type(qlmDirId dir) {
  return dir == nullptr ? fail(qlmE_INVALID) : dir->type;
}

int qlm_id_get_number(qlmDirId dir) {
  return dir == nullptr ? fail(qlmE_INVALID) : dir->number;
}

int qlm_id_set_name(qlmDirId dir, const char *name) {
  if (dir == nullptr)
    return fail(qlmE_INVALID);
  if (*nameOf(dir) != '\0')
    return fail(qlmE_HASNAME);
  if (name == nullptr || std::strlen(name) > maxName || !qlm_chk_library_name(name))
    return fail(qlmE_BADNAME);
  ulStrFree(dir->name);
  dir->name = ulStrCpy(name);
  if (contains(lists().current, dir))
    relink(lists().current);
  return 0;
}

int qlm_id_dirinfo(qlmDirId dir, int *number, char **name, char **path, char **wpath) {
  if (dir == nullptr)
    return fail(qlmE_INVALID);
  if (number != nullptr)
    *number = dir->number;
  const auto give = [](char **arg, char *field, int size) {
    if (arg == nullptr)
      return;
    if (*arg == nullptr)
      *arg = field;
    else
      ulStrncpyNullTerm(*arg, field == nullptr ? "" : field, size);
  };
  static char noName[1] = "";
  give(name, dir->name == nullptr ? noName : dir->name, maxName + 1);
  give(path, dir->path, vsMAXPATH);
  give(wpath, dir->wpath, vsMAXPATH);
  return 0;
}

int qlm_id_writable(qlmDirId dir) {
  return dir == nullptr ? (fail(qlmE_INVALID), 0) : (dir->type & qlmTYPE_READONLY) == 0;
}

int qlm_id_readonly(qlmDirId dir) {
  return dir == nullptr ? (fail(qlmE_INVALID), 0) : (dir->type & qlmTYPE_READONLY) != 0;
}

int qlm_id_megafile(qlmDirId dir) {
  return dir == nullptr ? (fail(qlmE_INVALID), 0) : (dir->type & qlmTYPE_MEGAFILE) != 0;
}

int qlm_library_exists(const char *name) {
  return qlm_id_next_libdir(nullptr, name) != nullptr;
}

qlmDirId qlm_library_first_writable(const char *name) {
  qlmDir *d = qlm_id_next_libdir(nullptr, name);
  if (d == nullptr)
    return fail(qlmE_NOLIB, d);
  for (; d != nullptr; d = d->nextLib)
    if ((d->type & qlmTYPE_READONLY) == 0)
      return d;
  return nullptr;
}

qlmDirId qlm_id_next_dir(qlmDirId dir) {
  return dir == nullptr ? lists().current : dir->next;
}

qlmDirId qlm_id_next_libdir(qlmDirId dir, const char *name) {
  if (dir != nullptr)
    return dir->nextLib;
  for (qlmDir *d = lists().current; d != nullptr; d = d->next)
    if (sameName(d, name))
      return d;
  return nullptr;
}

const char *qlm_next_library(const char *name) {
  qlmDir *d = lists().current;
  if (name != nullptr && *name != '\0') {
    d = qlm_id_next_libdir(nullptr, name);
    if (d == nullptr)
      return nullptr;
    d = d->next;
  }
  for (; d != nullptr; d = d->next) {
    if (*nameOf(d) == '\0')
      continue;
    const qlmDir *earlier = lists().current;
    while (earlier != d && !sameName(earlier, d->name))
      earlier = earlier->next;
    if (earlier == d)
      return d->name;
  }
  return nullptr;
}

qlmDirId qlm_get_primary_dir() {
  for (qlmDir *d = lists().current; d != nullptr; d = d->next)
    if (d->type & qlmTYPE_PRIMARY)
      return d;
  return nullptr;
}

qlmDirId qlm_create_dir_id() {
  auto *d = static_cast<qlmDir *>(ulMemCalloc(1, sizeof(qlmDir), "vqLibDirectory"));
  d->number = -1;
  return d;
}

int qlm_destroy_dir_id(qlmDirId dir) {
  if (dir == nullptr || inAnyList(dir))
    return fail(qlmE_INVALID);
  freeRecord(dir);
  return 0;
}

int qlm_id_remove_dir(qlmDirId dir) {
  for (qlmDir **head : {&lists().current, &lists().second})
    for (qlmDir **at = head; dir != nullptr && *at != nullptr; at = &(*at)->next)
      if (*at == dir) {
        *at = dir->next;
        dir->next = nullptr;
        dir->nextLib = nullptr;
        relink(*head);
        return 0;
      }
  return fail(qlmE_INVALID);
}

qlmDirId qlm_add_lib_placeholder(const char *name) {
  if (name == nullptr || std::strlen(name) > maxName || !qlm_chk_library_name(name))
    return fail(qlmE_BADNAME, static_cast<qlmDir *>(nullptr));
  qlmDir *d = qlm_create_dir_id();
  d->name = ulStrCpy(name);
  append(&lists().second, d);
  return d;
}

char *qlm_id_build_path(qlmDirId dir, const char *subdirs) {
  if (dir == nullptr)
    return fail(qlmE_INVALID, static_cast<char *>(nullptr));
  if (dir->path == nullptr || *dir->path == '\0')
    return fail(qlmE_NOPATH, static_cast<char *>(nullptr));
  char path[vsMAXPATH];
  ulStrncpyNullTerm(path, dir->path, sizeof path);
  const char *s = subdirs == nullptr ? "" : subdirs;
  for (s = skipBlanks(s); *s != '\0'; s = skipBlanks(s)) {
    const char *e = tokenEnd(s);
    const std::string word(s, e);
    if (vsDnpath(path, word.c_str()) != vsOK)
      return fail(qlmE_BADPATH, static_cast<char *>(nullptr));
    s = e;
  }
  return ulStrCpy(path);
}

int qlm_id_create_subdir(qlmDirId dir, const char *subdirs) {
  char *path = qlm_id_build_path(dir, subdirs);
  if (path == nullptr)
    return qlm_errno;
  int kind = 0;
  int status = 0;
  if (vsInfo(path, nullptr, nullptr, &kind) == vsOK)
    status = kind == vsDIR ? qlmE_EXISTS : qlmE_MKDIR;
  else if (vsCreateWithPath(path, vsDIR) != vsOK)
    status = qlmE_MKDIR;
  ulStrFree(path);
  return status == 0 ? 0 : fail(status);
}

int qlm_enable_vfile_search_order() {
  if (state().active == 1)
    return 0;
  state().active = 1;
  return 1;
}

int qlm_disable_vfile_search_order() {
  if (state().active == 0)
    return 0;
  state().active = 0;
  return 1;
}

void qlm_free_all_dir() {
  freeList(&lists().current);
  freeList(&lists().second);
}
