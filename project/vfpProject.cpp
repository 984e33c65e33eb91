// vfpProject.cpp: the objects of the project database, projects and their
// views, and the project library list: reading it, walking it, and what it
// tells of one entry.
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "ulErr.h"
#include "ulStr.h"
#include "vfpFile.h"
#include "vfpInternal.h"

namespace {

// One entry of a project's library list.
struct Entry {
  char alias[vfpALIAS_SIZE] = {};
  vfpObjId id = 0; // the entry's object
  int flags = vfpDIR_NOTYPE;
  int status = vfpOK;
  int line = 0;
  char qualifier[vfpALIAS_SIZE] = {};
  std::string path;
  std::vector<std::string> names; // further names, rarely any
};

// What a walk reads of every entry, kept apart from the entries so that a
// walk over a long list touches little memory: the alias folded to lower
// case, its length, and whether the entry has further names.
struct Key {
  unsigned char length = 0;
  bool hasNames = false;
  char folded[vfpALIAS_SIZE] = {};
};

char fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

Key keyOf(const char *alias) {
  Key k;
  k.length = static_cast<unsigned char>(std::strlen(alias));
  for (int i = 0; i < k.length; ++i)
    k.folded[i] = fold(alias[i]);
  return k;
}

// One object. A dead object (cls 0) keeps its id from being reused.
struct Object {
  int cls = 0;
  vfpObjId parent = 0;     // the project of a view or a library directory
  bool open = false;       // a project that is open
  std::string name;        // project or view name
  std::string path;        // project directory or view initialisation file
  int mode = 0;            // a project's open mode
  vfpObjId view = 0;       // a project's open view
  std::vector<Entry> libs; // a project's library list
  std::vector<Key> keys;   // keys[i] is what a walk compares of libs[i]
  size_t index = 0;        // a library directory's position in the list
};

struct State {
  bool initialised = false;
  int facility = 0;
  std::string facilityVersion;
  std::vector<Object> objects; // objects[id - 1]; the database is id 1
  vfpObjId current = 0;        // the current project
};

State &state() {
  static State s;
  return s;
}

Object *live(vfpObjId id) {
  State &s = state();
  if (!s.initialised || id < 1 || static_cast<size_t>(id) > s.objects.size())
    return nullptr;
  Object &o = s.objects[static_cast<size_t>(id) - 1];
  return o.cls != 0 ? &o : nullptr;
}

vfpObjId newObject(int cls, vfpObjId parent) {
  State &s = state();
  s.objects.emplace_back();
  s.objects.back().cls = cls;
  s.objects.back().parent = parent;
  return static_cast<vfpObjId>(s.objects.size());
}

// 0 for an open project; else 74 (no object), 49 (no project), 22 (closed).
int checkProject(vfpObjId id) {
  const Object *o = live(id);
  if (o == nullptr)
    return vfpINVALID_OBJID;
  if (o->cls != vfpClassPROJECT)
    return vfpINVALID_CLASS;
  return o->open ? vfpOK : vfpNOT_OPEN;
}

// The entry of library directory lib in project's list, or null.
Entry *entryOf(vfpObjId project, vfpObjId lib) {
  const Object *o = live(lib);
  if (o == nullptr || o->cls != vfpClassLIBRARY || o->parent != project)
    return nullptr;
  return &live(project)->libs[o->index];
}

void clearList(vfpObjId project) {
  for (const Entry &e : live(project)->libs)
    *live(e.id) = Object();
  live(project)->libs.clear();
  live(project)->keys.clear();
}

void closeView(vfpObjId project) {
  Object *p = live(project);
  if (p->view == 0)
    return;
  clearList(project);
  *live(p->view) = Object();
  p->view = 0;
}

void setStatus(int *status, int value) {
  if (status != nullptr)
    *status = value;
}

void copyOut(char *dst, const char *src, int size) {
  if (dst != nullptr) {
    std::strncpy(dst, src, static_cast<size_t>(size) - 1);
    dst[size - 1] = '\0';
  }
}

// A walk's pattern, examined once: most walks ask for one alias exactly, and
// those compare folded keys without a wildcard match.
class Pattern {
public:
  explicit Pattern(const char *text) : text_(text == nullptr ? "" : text) {
    any_ = text_[std::strspn(text_, "*")] == '\0';
    wild_ = std::strpbrk(text_, "*?") != nullptr;
    plain_ = !wild_ && std::strlen(text_) < vfpALIAS_SIZE;
    if (plain_)
      key_ = keyOf(text_);
  }
  bool matches(const Key &k, const Entry &e) const {
    if (any_)
      return true;
    if (plain_ ? k.length == key_.length && std::memcmp(k.folded, key_.folded, k.length) == 0
               : matches(e.alias))
      return true;
    if (k.hasNames)
      for (const std::string &name : e.names)
        if (matches(name.c_str()))
          return true;
    return false;
  }

private:
  bool matches(const char *name) const {
    return wild_ ? ulStrIMat(text_, name) != 0 : strcasecmp(name, text_) == 0;
  }
  const char *text_;
  Key key_;
  bool any_;
  bool wild_;
  bool plain_;
};

} // namespace

int vfpInit(int facility, const char *facilityVersion) {
  State &s = state();
  if (s.initialised)
    return vfpALREADY_INIT;
  s.initialised = true;
  // The error and exception layers start with the database: they learn the
  // program's name (for error records and the log file name), read their
  // "err" and "ex" preferences and install the fault handlers. Both act on
  // their first call only. The command line stays the program's own: only
  // the name is handed over, so no argument is taken away from it.
  static char programName[256];
  std::strncpy(programName, program_invocation_short_name, sizeof programName - 1);
  char *args[] = {programName, nullptr};
  int count = 1;
  ulErrInit(&count, args);
  ulExInit(&count, args);
  s.facility = facility;
  s.facilityVersion = facilityVersion == nullptr ? "" : facilityVersion;
  if (s.objects.empty())
    s.objects.emplace_back();
  s.objects[0].cls = vfpClassDATABASE;
  s.objects[0].open = true;
  s.objects[0].name = "Orvik";
  return vfpOK;
}

int vfpExit() {
  State &s = state();
  if (!s.initialised)
    return vfpINIT_ERROR;
  vfpiExitFiles();
  for (Object &o : s.objects)
    o = Object();
  s.current = 0;
  s.initialised = false;
  return vfpOK;
}

bool vfpiInitialised() {
  return state().initialised;
}

int vfpiFacility() {
  return state().facility;
}

const char *vfpiFacilityVersion() {
  return state().facilityVersion.c_str();
}

vfpObjId vfpiNewObject(int cls, vfpObjId parent, const char *name, const char *path) {
  const vfpObjId id = newObject(cls, parent);
  live(id)->name = name;
  live(id)->path = path;
  return id;
}

void vfpiFreeObject(vfpObjId obj) {
  if (Object *o = live(obj))
    *o = Object();
}

vfpObjId vfpObjGetCurObj(vfpObjId parent, int cls) {
  if (parent == vfpOvDatabaseID && cls == vfpClassPROJECT && live(vfpOvDatabaseID) != nullptr)
    return checkProject(state().current) == vfpOK ? state().current : 0;
  if (cls == vfpClassVIEW && checkProject(parent) == vfpOK)
    return live(parent)->view;
  return 0;
}

int vfpGetLockMode() {
  const vfpObjId project = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
  return project == 0 ? 0 : live(project)->mode;
}

int vfpObjGetClass(vfpObjId obj) {
  const Object *o = live(obj);
  return o == nullptr ? 0 : o->cls;
}

const char *vfpObjGetName(vfpObjId obj) {
  const Object *o = live(obj);
  if (o == nullptr)
    return nullptr;
  return o->cls == vfpClassLIBRARY ? live(o->parent)->libs[o->index].alias : o->name.c_str();
}

const char *vfpObjGetPath(vfpObjId obj) {
  const Object *o = live(obj);
  if (o == nullptr)
    return nullptr;
  return o->cls == vfpClassLIBRARY ? live(o->parent)->libs[o->index].path.c_str() : o->path.c_str();
}

vfpObjId vfpOpenProject(const char *dir, const char *name, const char *view, int mode,
                        int *status) {
  State &s = state();
  if (!s.initialised) {
    setStatus(status, vfpINIT_ERROR);
    return 0;
  }
  if (dir == nullptr || *dir == '\0') {
    setStatus(status, vfpINVALID_OBJREF);
    return 0;
  }
  std::string directory = dir;
  if (directory.size() > 1 && directory.back() == '/')
    directory.pop_back();

  vfpObjId project = 0;
  for (size_t i = 0; i < s.objects.size() && project == 0; ++i)
    if (s.objects[i].cls == vfpClassPROJECT && s.objects[i].path == directory)
      project = static_cast<vfpObjId>(i + 1);
  if (project == 0) {
    project = newObject(vfpClassPROJECT, vfpOvDatabaseID);
    live(project)->path = directory;
  }
  Object *p = live(project);
  if (name != nullptr && *name != '\0')
    p->name = name;
  else if (p->name.empty())
    p->name = directory.substr(directory.rfind('/') + 1);
  p->open = true;
  p->mode = mode;
  s.current = project;

  int st = vfpOK;
  if (view != nullptr && *view != '\0' &&
      (p->view == 0 || strcasecmp(live(p->view)->name.c_str(), view) != 0))
    vfpOpenView(project, view, vfpSchemaORVIK, &st);
  setStatus(status, st);
  return project;
}

int vfpCloseProject(vfpObjId project) {
  if (const int st = checkProject(project); st != vfpOK)
    return st;
  closeView(project);
  live(project)->open = false;
  if (state().current == project)
    state().current = 0;
  return vfpOK;
}

vfpObjId vfpOpenView(vfpObjId project, const char *view, int schema, int *status) {
  if (checkProject(project) != vfpOK) {
    setStatus(status, vfpINVALID_PROJECT);
    return 0;
  }
  if (view == nullptr || *view == '\0') {
    setStatus(status, vfpINVALID_VIEW);
    return 0;
  }
  if (schema != vfpSchemaORVIK) {
    setStatus(status, vfpUNDEFINED_SCHEMA);
    return 0;
  }
  closeView(project);
  const vfpObjId id = newObject(vfpClassVIEW, project);
  Object *v = live(id);
  v->name = view;
  std::string file = view;
  for (char &c : file)
    c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
  const std::string &dir = live(project)->path;
  v->path = dir + (dir.back() == '/' ? "" : "/") + file + ".ini";
  live(project)->view = id;
  setStatus(status, vfpiReadOrvikIni(project, id));
  return id;
}

int vfpCloseView(vfpObjId project) {
  if (checkProject(project) != vfpOK)
    return vfpINVALID_PROJECT;
  if (live(project)->view == 0)
    return vfpINVALID_VIEW;
  closeView(project);
  return vfpOK;
}

int vfpiReadOrvikIni(vfpObjId project, vfpObjId view) {
  if (checkProject(project) != vfpOK)
    return vfpINVALID_PROJECT;
  if (view == 0 || live(project)->view != view)
    return vfpINVALID_VIEW;
  clearList(project);
  FILE *file = std::fopen(live(view)->path.c_str(), "r");
  if (file == nullptr)
    return vfpINI_NOT_FOUND;

  bool refused = false;
  int line = 0;
  for (;;) {
    Entry e;
    char path[vfpPATH_SIZE];
    const int st = vfpiReadDirLine(file, path, e.alias, &e.flags, e.qualifier, &line);
    if (st == vfpEND_OF_DIRS)
      break;
    e.path = path;
    refused = refused || st != vfpOK;
    e.status = st;
    e.line = line;
    e.id = newObject(vfpClassLIBRARY, project);
    live(project)->libs.push_back(std::move(e));
  }
  std::fclose(file);

  std::vector<Entry> &libs = live(project)->libs;
  std::stable_sort(libs.begin(), libs.end(),
                   [](const Entry &a, const Entry &b) { return a.line < b.line; });
  std::vector<Key> &keys = live(project)->keys;
  for (size_t i = 0; i < libs.size(); ++i) {
    live(libs[i].id)->index = i;
    keys.push_back(keyOf(libs[i].alias));
  }
  return refused ? vfpLIBS_NOT_OPENED : vfpOK;
}

LibraryDirId vfpFindNextLib(vfpObjId project, LibraryDirId previous, const char *pattern,
                            int *status) {
  if (const int st = checkProject(project); st != vfpOK) {
    setStatus(status, st == vfpNOT_OPEN ? vfpINVALID_PROJECT : st);
    return 0;
  }
  const Object *p = live(project);
  if (p->view == 0) {
    setStatus(status, vfpINVALID_VIEW);
    return 0;
  }
  size_t i = 0;
  if (previous != 0) {
    const Object *o = live(previous);
    if (o == nullptr || o->cls != vfpClassLIBRARY || o->parent != project) {
      setStatus(status, vfpINVALID_LIB);
      return 0;
    }
    i = o->index + 1;
  }
  const Pattern match(pattern);
  for (; i < p->libs.size(); ++i)
    if (match.matches(p->keys[i], p->libs[i])) {
      setStatus(status, vfpOK);
      return p->libs[i].id;
    }
  setStatus(status, vfpGENERAL_FAILURE);
  return 0;
}

int vfpGetLibInfo2(vfpObjId project, LibraryDirId lib, char *path, char *alias, char *type,
                   int *status) {
  if (checkProject(project) != vfpOK)
    return vfpINVALID_PROJECT;
  const Entry *e = entryOf(project, lib);
  if (e == nullptr)
    return vfpINVALID_LIB;
  copyOut(path, e->path.c_str(), vfpPATH_SIZE);
  copyOut(alias, e->alias, vfpALIAS_SIZE);
  if (type != nullptr)
    vfpDirTypeLetters(e->flags, type);
  setStatus(status, e->status);
  return vfpOK;
}

int vfpGetLibEntry(vfpObjId project, LibraryDirId lib, vfpLibEntry *entry) {
  if (checkProject(project) != vfpOK)
    return vfpINVALID_PROJECT;
  const Entry *e = entryOf(project, lib);
  if (e == nullptr)
    return vfpINVALID_LIB;
  *entry = {e->path.c_str(), e->alias, e->qualifier, e->flags, e->status, e->line};
  return vfpOK;
}

int vfpLibAddName(vfpObjId project, LibraryDirId lib, const char *name) {
  if (checkProject(project) != vfpOK)
    return vfpINVALID_PROJECT;
  Entry *e = entryOf(project, lib);
  if (e == nullptr)
    return vfpINVALID_LIB;
  if (name == nullptr || *name == '\0' || std::strlen(name) >= vfpALIAS_SIZE)
    return vfpLIB_NAME;
  e->names.emplace_back(name);
  live(project)->keys[live(lib)->index].hasNames = true;
  return vfpOK;
}

int vfpObjMegafile(LibraryDirId lib) {
  const Object *o = live(lib);
  if (o == nullptr || o->cls != vfpClassLIBRARY)
    return 0;
  return (entryOf(o->parent, lib)->flags & vfpDIR_MEGAFILE) != 0;
}

int vfpObjReadonly(LibraryDirId lib) {
  const Object *o = live(lib);
  if (o == nullptr || o->cls != vfpClassLIBRARY)
    return 1;
  const Entry *e = entryOf(o->parent, lib);
  return e->status != vfpOK || (e->flags & (vfpDIR_READONLY | vfpDIR_NOTYPE)) != 0;
}
