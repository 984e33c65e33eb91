// qlmDir.cpp: the initialisation reader's side of the library manager: one
// "dir" line with its messages, the path copy, freeing all records, and the
// editor's writable directories.
#include <string>
#include <vector>

#include "qMsg.h"
#include "qlm.h"
#include "ulBase.h"
#include "ulStr.h"

int (*qlmPutMsgV)(const char *text, int header) = nullptr;

namespace {

struct State {
  const qlmDir *copied = nullptr; // the record qd_dir_get copied last
  char *copy = nullptr;           // its path (pooled)
  std::vector<std::string> writable;
};

State &state() {
  static State s;
  return s;
}

// Shows message number (with one string argument when it takes one). The
// text is copied out of the formatting buffer first, since the receiver
// formats its header there.
void show(int number, int header, const char *argument = nullptr) {
  if (qlmPutMsgV != nullptr) {
    const std::string text = sbMsgBuild(number, argument);
    qlmPutMsgV(text.c_str(), header);
  }
}

// The message about a line that qlm_read refused with status.
int refusalMessage(int status) {
  switch (status) {
  case qlmE_BADNAME:
    return 2007;
  case qlmE_DUPLICATE:
    return 2028;
  case qlmE_PRIMARY:
    return 2026;
  case qlmE_CONTRA:
    return 2022;
  case qlmE_NOTDIR:
    return 2015;
  case qlmE_BADLETTER:
    return 2023;
  case qlmE_BADPATH:
    return 2017;
  default:
    return 2008;
  }
}

const char *afterToken(const char *s) {
  while (ulCharIsSpaceOrTab(*s))
    ++s;
  while (*s != '\0' && !ulCharIsLineSpace(*s))
    ++s;
  return s;
}

} // namespace

int qd_dir_read(const char *line) {
  const char *rest = line == nullptr ? "" : line;
  const char *first = rest;
  while (ulCharIsSpaceOrTab(*first))
    ++first;
  if (std::string(first, afterToken(first)) == "|5.0")
    rest = afterToken(first);
  rest = afterToken(rest);

  qlmDirId dir = qlm_read(rest);
  if (dir == nullptr && qlm_errno == qlmE_NODIR) {
    show(2009, 1);
    dir = qlm_read_and_create(rest);
    if (dir != nullptr)
      show(1161, 0, dir->path);
    else
      show(2024, 0);
  } else if (dir == nullptr) {
    show(refusalMessage(qlm_errno), 1);
  }
  if (dir == nullptr)
    return 0;
  if (qlm_id_writable(dir)) {
    std::vector<std::string> &w = state().writable;
    bool known = false;
    for (const std::string &path : w)
      known = known || path == dir->path;
    if (!known)
      w.emplace_back(dir->path);
  }
  return 1;
}

const char *qd_dir_get(qlmDirId dir) {
  if (dir == nullptr || dir->path == nullptr)
    return nullptr;
  State &s = state();
  if (s.copied != dir || s.copy == nullptr || ulStrEqu(s.copy, dir->path) == 0) {
    ulStrFree(s.copy);
    s.copy = ulStrCpy(dir->path);
    s.copied = dir;
  }
  return s.copy;
}

void qd_clear_all_dirs() {
  qlm_free_all_dir();
}

void qd_clear_writable_dirs() {
  state().writable.clear();
}

const char *qd_writable_dir(int index) {
  const std::vector<std::string> &w = state().writable;
  return index >= 0 && static_cast<size_t>(index) < w.size() ? w[static_cast<size_t>(index)].c_str()
                                                             : nullptr;
}
