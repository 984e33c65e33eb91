// vfpFile.cpp: the project database's file objects: classes, references,
// opening and closing, crash-safe writes through a temporary file, deleting,
// copying, probes and the object loop.
#include "vfpFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ulBase.h"
#include "ulStr.h"
#include "vfpInternal.h"

namespace {

// Index + 5 = class id (the order of the class table).
constexpr vfpFileClass kClasses[] = {
    {"SCH_PAGE", "sch", "", 0},
    {"SCH_PAGE_BAC", "sch", ".bac", 0},
    {"SCH_PAGE_SAV", "sch", ".sav", 0},
    {"SYMBOL", "sym", "", 0},
    {"SYMBOL_BAC", "sym", ".bac", 0},
    {"SYMBOL_SAV", "sym", ".sav", 0},
    {"WIRELIST", "wir", "", 0},
    {"PIN", "sym", "", 0},
    {"OAT", "", "", 0},
    {"DATADES", "", "", 0},
};
constexpr int kFirstFileClass = 5;
constexpr int kClassCount = sizeof kClasses / sizeof kClasses[0];

// The fixed version text of a class whose files carry no number, or null.
const char *fixedVersion(int cls) {
  const char *name = kClasses[cls - kFirstFileClass].name;
  if (std::strcmp(name, "PIN") == 0)
    return "pin";
  if (std::strcmp(name, "OAT") == 0)
    return "oat";
  return nullptr;
}

// One open file object.
struct FileObj {
  int cls = 0;
  vfpObjId dir = 0;    // library directory when opened
  std::string dirPath; // its path
  std::string name;    // block name
  std::string version; // version text
  std::string spec;    // the file: dirPath/subdir/name.version+suffix
  int mode = 0;        // access the file is open in: 0, 1, 2
  FILE *stream = nullptr;
  std::unique_ptr<char[]> buffer; // the stream's buffer (saves stdio's own fstat)
  std::string temp;               // mode 2: the temporary file
  std::string target;             // mode 2: the file the commit replaces (a link's target)
  bool known = false;             // seen, mtime and size are set
  bool readBefore = false;        // the file was opened for reading before
  struct stat readStat = {};      // mode 1: what the open file is
  bool seen = false;              // the file existed when last opened
  timespec mtime = {};            // its modification time then
  off_t size = 0;                 // and its size
};

std::map<vfpObjId, FileObj> &files() {
  static std::map<vfpObjId, FileObj> f;
  return f;
}

FileObj *fileObj(vfpObjId id) {
  auto it = files().find(id);
  return it == files().end() || vfpObjGetClass(id) == 0 ? nullptr : &it->second;
}

void setStatus(int *status, int value) {
  if (status != nullptr)
    *status = value;
}

bool isFileClass(int cls) {
  return cls >= kFirstFileClass && cls < kFirstFileClass + kClassCount;
}

// The file of an object of class cls in library directory dirPath.
std::string specOf(const std::string &dirPath, int cls, const std::string &name,
                   const std::string &version) {
  const vfpFileClass &c = kClasses[cls - kFirstFileClass];
  std::string spec = dirPath;
  if (spec.empty() || spec.back() != '/')
    spec += '/';
  if (*c.subdir != '\0')
    spec.append(c.subdir).append("/");
  return spec + name + "." + version + c.suffix;
}

bool exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Creates the temporary file of a write to target, beside it, with the
// permission bits mode and, where the system allows, the group (-1: the
// process's own): target + ".tmp", created exclusively; when that name is
// taken (another write of the same file right now, a leftover, or a planted
// link, none of which is ever opened), a name of its own, target +
// ".XXXXXX.tmp" with six random characters. Returns the open stream, or null
// (errno set).
FILE *createTemp(const std::string &target, std::string &temp, mode_t mode, gid_t group) {
  std::string name = target + vfpiTempSuffix;
  int fd = vfpiCreateExclusive(name, mode, group, false);
  if (fd < 0 && errno == EEXIST) {
    name = target + "." + std::string(vfpiTempRandom, 'X') + vfpiTempSuffix;
    fd = mkstemps(name.data(), static_cast<int>(std::strlen(vfpiTempSuffix)));
    if (fd >= 0 && fchmod(fd, mode) != 0) {
      close(fd);
      unlink(name.c_str());
      fd = -1;
    }
    if (fd >= 0 && group != static_cast<gid_t>(-1))
      (void)!fchown(fd, static_cast<uid_t>(-1), group);
  }
  if (fd < 0)
    return nullptr;
  FILE *stream = fdopen(fd, "w");
  if (stream == nullptr) {
    const int e = errno;
    unlink(name.c_str());
    close(fd);
    errno = e;
    return nullptr;
  }
  temp = name;
  return stream;
}

// Ends a write into the temporary file temp. With commit the stream is
// flushed (with sync also synced to disk) and temp renamed over target;
// otherwise, or when any of that failed, temp is removed and target keeps
// its old content. Both steps happen before the stream is closed, while the
// temporary file's lock is still held. True if committed and closed; then
// *written (when given) describes the new file.
bool endWrite(FILE *stream, const std::string &temp, const std::string &target, bool commit,
              bool sync, struct stat *written = nullptr) {
  bool ok = commit && std::ferror(stream) == 0 && std::fflush(stream) == 0 &&
            (!sync || fsync(fileno(stream)) == 0) &&
            (written == nullptr || fstat(fileno(stream), written) == 0) &&
            std::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok)
    unlink(temp.c_str());
  return std::fclose(stream) == 0 && ok;
}

// Remembers what the file looks like, for vfpObjIsModified: st when seen,
// else that there is no file.
void noteFile(FileObj &f, const struct stat *st) {
  f.seen = st != nullptr;
  f.mtime = f.seen ? st->st_mtim : timespec{};
  f.size = f.seen ? st->st_size : 0;
}

// Gives the stream a buffer of its own, so that stdio need not ask the
// system for the file's block size.
void bufferStream(FileObj &f) {
  constexpr size_t kSize = 16384;
  f.buffer = std::make_unique<char[]>(kSize);
  std::setvbuf(f.stream, f.buffer.get(), _IOFBF, kSize);
}

// Closes the object's file. A write is committed (renamed over its target)
// unless discard is set; with sync the temporary file and then the
// directory are synced. 0, or 12 when the commit failed (the temporary file
// is removed and the file keeps its old content).
int closeFile(FileObj &f, bool discard, bool sync) {
  int status = vfpOK;
  if (f.stream != nullptr) {
    if (f.mode == vfpOPEN_WRITE) {
      struct stat written;
      if (!endWrite(f.stream, f.temp, f.target, !discard, sync, &written)) {
        status = discard ? vfpOK : vfpGENERAL_FAILURE;
      } else {
        noteFile(f, &written); // our own change is no modification
        if (sync && !ulSyncDirectory(vfpiDirectoryOf(f.target).c_str()))
          status = vfpGENERAL_FAILURE; // renamed, but perhaps not yet on disk
      }
    } else {
      std::fclose(f.stream);
    }
  }
  f.stream = nullptr;
  f.buffer.reset();
  f.temp.clear();
  f.target.clear();
  f.mode = vfpOPEN_ID;
  return status;
}

// Opens the object's file in access mode. 0, 13 (read: no file), 15 (read:
// cannot be opened), 7 (write: no temporary file).
int openFile(FileObj &f, int access) {
  struct stat st;
  if (access == vfpOPEN_READ) {
    // A file the object has read before is opened again without waiting:
    // a named pipe in a block's place has no second writer to wait for.
    if (f.readBefore && !S_ISREG(f.readStat.st_mode)) {
      const int fd = open(f.spec.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      f.stream = fd < 0 ? nullptr : fdopen(fd, "r");
      if (f.stream == nullptr && fd >= 0)
        close(fd);
    } else {
      f.stream = std::fopen(f.spec.c_str(), "re");
    }
    if (f.stream == nullptr)
      return errno == ENOENT || errno == ENOTDIR ? vfpNO_OBJECT : vfpFILE_OPEN_ERROR;
    if (fstat(fileno(f.stream), &st) != 0 || S_ISDIR(st.st_mode)) {
      std::fclose(f.stream);
      f.stream = nullptr;
      return vfpFILE_OPEN_ERROR;
    }
    noteFile(f, &st);
    bufferStream(f);
    f.readBefore = true;
    f.readStat = st;
  } else if (access == vfpOPEN_WRITE) {
    // The new file keeps the permission bits and group of the one it replaces.
    bool existed = false;
    f.target = vfpiTargetOf(f.spec, &st, &existed);
    f.stream = existed ? createTemp(f.target, f.temp, st.st_mode & 07777, st.st_gid)
                       : createTemp(f.target, f.temp, ulNewFileMode(), static_cast<gid_t>(-1));
    if (f.stream == nullptr) {
      f.target.clear();
      return vfpCANNOT_ACCESS;
    }
    noteFile(f, existed ? &st : nullptr);
    bufferStream(f);
  } else if (!f.known) {
    noteFile(f, stat(f.spec.c_str(), &st) == 0 ? &st : nullptr);
  }
  f.known = true;
  f.mode = access;
  return vfpOK;
}

// Takes or checks the lock an open asks for. 0 or the failure; *took tells
// whether this call took a lock that the caller must give back on failure.
int lockForOpen(const FileObj &f, int mode, bool *took) {
  *took = false;
  const int access = mode & vfpOPEN_ACCESS;
  if (access != vfpOPEN_WRITE && (mode & vfpOPEN_LOCK) == 0)
    return vfpOK;
  if ((vfpGetLockMode() & vfpLOCKMODE_ON_OPEN) == 0)
    return vfpiForeignLock(f.spec.c_str());
  const bool held = vfpiHoldsLock(f.spec.c_str());
  const int st =
      vfpiAcquireLock(f.spec.c_str(), kClasses[f.cls - kFirstFileClass].name, vfpLOCKTEST_ALL);
  *took = st == vfpOK && !held;
  return st;
}

bool validMode(int mode) {
  const int access = mode & vfpOPEN_ACCESS;
  return (mode & ~(vfpOPEN_ACCESS | vfpOPEN_LOCK)) == 0 && access <= vfpOPEN_WRITE;
}

// The open file object of spec, or 0.
vfpObjId openObjectOf(const std::string &spec) {
  for (auto &[id, f] : files())
    if (f.spec == spec && vfpObjGetClass(id) != 0)
      return id;
  return 0;
}

// Opens (or finds open) the object of class cls in directory dir.
vfpObjId openAt(int cls, vfpObjId dir, const std::string &dirPath, const std::string &name,
                const std::string &version, int mode, int *status) {
  if (!validMode(mode)) {
    setStatus(status, vfpBAD_MODE);
    return 0;
  }
  FileObj f;
  f.cls = cls;
  f.dir = dir;
  f.dirPath = dirPath;
  f.name = name;
  f.version = version;
  f.spec = specOf(dirPath, cls, name, version);
  if (f.spec.size() >= static_cast<size_t>(vfpPATH_SIZE)) {
    setStatus(status, vfpREF_TOO_LARGE);
    return 0;
  }
  if (const vfpObjId open = openObjectOf(f.spec)) {
    setStatus(status, vfpALREADY_OPEN);
    return open;
  }
  vfpiSweepSaves(vfpiDirectoryOf(f.spec), kClasses[cls - kFirstFileClass].name);
  // A file whose save waits for its group's commit is read or written
  // again only once the save is in place.
  if ((mode & vfpOPEN_ACCESS) != vfpOPEN_ID && vfpiSavePending(f.spec))
    vfpiCommitAll();
  if ((mode & vfpOPEN_ACCESS) == vfpOPEN_WRITE && vfpObjReadonly(dir)) {
    setStatus(status, vfpCANNOT_ACCESS);
    return 0;
  }
  bool took = false;
  int st = lockForOpen(f, mode, &took);
  if (st == vfpOK)
    st = openFile(f, mode & vfpOPEN_ACCESS);
  if (st != vfpOK) {
    if (took)
      vfpiReleaseLock(f.spec.c_str());
    setStatus(status, st);
    return 0;
  }
  const vfpObjId id = vfpiNewObject(cls, dir, name.c_str(), f.spec.c_str());
  files()[id] = std::move(f);
  setStatus(status, vfpOK);
  return id;
}

// True if alias holds a wildcard character (the library list would match it
// as a pattern; an alias names one library exactly).
bool wild(const char *alias) {
  return std::strpbrk(alias, "*?") != nullptr;
}

// The usable directories (lines not refused) of alias in list order; the
// primary directory alone for the empty alias.
std::vector<vfpObjId> directoriesOf(vfpObjId project, const char *alias) {
  std::vector<vfpObjId> dirs;
  if (wild(alias))
    return dirs;
  int st = 0;
  for (vfpObjId lib = vfpFindNextLib(project, 0, alias, &st); lib != 0;
       lib = vfpFindNextLib(project, lib, alias, &st)) {
    vfpLibEntry e;
    if (vfpGetLibEntry(project, lib, &e) != vfpOK || e.status != vfpOK)
      continue;
    if (*alias == '\0' && (e.flags & vfpDIR_PRIMARY) == 0)
      continue;
    dirs.push_back(lib);
    if (*alias == '\0')
      break;
  }
  return dirs;
}

// A reference taken apart.
struct Ref {
  int cls = 0;
  std::string alias, name, version;
};

// Splits "CLASS:value" at its first ":"; false without one.
bool splitPair(const std::string &pair, std::string &cls, std::string &value) {
  const size_t colon = pair.find(':');
  if (colon == std::string::npos)
    return false;
  cls = pair.substr(0, colon);
  value = pair.substr(colon + 1);
  return true;
}

// Parses a reference to an object of the current project. 0, 44, 43, 42,
// 49, 40.
int parseRef(const char *reference, vfpObjId *project, Ref *ref) {
  if (reference == nullptr)
    return vfpNULL_REF;
  if (std::strlen(reference) >= static_cast<size_t>(vfpREF_SIZE))
    return vfpREF_TOO_LARGE;
  std::vector<std::string> pairs;
  const std::string text = reference;
  for (size_t start = 0;;) {
    const size_t slash = text.find('/', start);
    pairs.push_back(text.substr(start, slash - start));
    if (slash == std::string::npos)
      break;
    start = slash + 1;
  }
  if (pairs.size() != 4)
    return vfpINVALID_OBJREF;
  std::string cls[4], value[4];
  for (int i = 0; i < 4; ++i)
    if (!splitPair(pairs[static_cast<size_t>(i)], cls[i], value[i]))
      return vfpINVALID_OBJREF;
  if (vfpClassLookup(cls[0].c_str()) != vfpClassDATABASE ||
      vfpClassLookup(cls[1].c_str()) != vfpClassPROJECT ||
      vfpClassLookup(cls[2].c_str()) != vfpClassLIBRARY ||
      strcasecmp(value[0].c_str(), vfpObjGetName(vfpOvDatabaseID)) != 0)
    return vfpINVALID_OBJREF;
  ref->cls = vfpClassLookup(cls[3].c_str());
  if (!isFileClass(ref->cls))
    return vfpINVALID_CLASS;
  *project = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
  if (*project == 0 || value[1] != vfpObjGetName(*project))
    return vfpNO_PROJECT;
  const size_t at = value[3].rfind('@');
  if (at == std::string::npos)
    return vfpINVALID_OBJREF;
  ref->alias = value[2];
  ref->name = value[3].substr(0, at);
  ref->version = value[3].substr(at + 1);
  if (ref->name.empty())
    return vfpBAD_NAME;
  if (ref->version.empty())
    return vfpBAD_VERSION;
  return vfpOK;
}

// Where the object a reference names lies: the first directory of its
// library that holds the file, else the first writable one, else the first.
// 0, or the status of the failure (37 for a library the project lacks).
int resolve(const char *reference, Ref *ref, vfpObjId *dir, std::string *dirPath) {
  if (!vfpiInitialised())
    return vfpINIT_ERROR;
  vfpObjId project = 0;
  if (const int st = parseRef(reference, &project, ref); st != vfpOK)
    return st;
  const std::vector<vfpObjId> dirs = directoriesOf(project, ref->alias.c_str());
  if (dirs.empty())
    return vfpLIB_NAME;
  vfpObjId chosen = dirs.size() == 1 ? dirs.front() : 0;
  for (size_t i = 0; chosen == 0 && i < dirs.size(); ++i)
    if (exists(specOf(vfpObjGetPath(dirs[i]), ref->cls, ref->name, ref->version)))
      chosen = dirs[i];
  if (chosen == 0) {
    auto writable =
        std::find_if(dirs.begin(), dirs.end(), [](vfpObjId d) { return vfpObjReadonly(d) == 0; });
    chosen = writable != dirs.end() ? *writable : dirs.front();
  }
  *dir = chosen;
  *dirPath = vfpObjGetPath(chosen);
  return vfpOK;
}

// Checks the arguments of an open in a directory. 0 or the failure.
int checkIn(LibraryDirId dir, int cls, const char *name, const char *version) {
  if (!vfpiInitialised())
    return vfpINIT_ERROR;
  if (vfpObjGetClass(dir) != vfpClassLIBRARY)
    return vfpINVALID_LIB;
  if (!isFileClass(cls))
    return vfpINVALID_CLASS;
  if (name == nullptr || *name == '\0' || std::strchr(name, '/') != nullptr)
    return vfpBAD_NAME;
  if (version == nullptr || *version == '\0' || std::strchr(version, '/') != nullptr)
    return vfpBAD_VERSION;
  return vfpOK;
}

// True if text is a version number of at most three digits.
bool numericVersion(const std::string &text) {
  return !text.empty() && text.size() <= 3 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Splits a directory entry into name and version if it is a file of class
// cls; false if it is not.
bool entryOfClass(int cls, const std::string &entry, std::string &name, std::string &version) {
  const vfpFileClass &c = kClasses[cls - kFirstFileClass];
  std::string base = entry;
  const size_t suffix = std::strlen(c.suffix);
  if (suffix > 0) {
    if (base.size() <= suffix || base.compare(base.size() - suffix, suffix, c.suffix) != 0)
      return false;
    base.resize(base.size() - suffix);
  }
  const size_t dot = base.rfind('.');
  if (dot == std::string::npos || dot == 0)
    return false;
  name = base.substr(0, dot);
  version = base.substr(dot + 1);
  if (name.find('.') != std::string::npos)
    return false;
  if (suffix > 0)
    return numericVersion(version) || version == "pin" || version == "oat";
  const char *fixed = fixedVersion(cls);
  return fixed != nullptr ? version == fixed : numericVersion(version);
}

// Copies the file open at in (from its start; the descriptor's offset is
// left as it is), described by src, into a temporary file beside target and
// renames it over target. With sync the copy's content reaches the disk
// before the rename, and with syncDir the directory after it. false on any
// failure (target is then untouched).
bool copyFile(int in, const struct stat &src, const std::string &target, bool sync, bool syncDir) {
  std::string temp;
  FILE *out = createTemp(target, temp, src.st_mode & 07777, static_cast<gid_t>(-1));
  if (out == nullptr)
    return false;
  // Written through the descriptor: the stream is only flushed (empty) and
  // closed by endWrite.
  const bool ok = vfpiCopyInto(in, fileno(out), src);
  return endWrite(out, temp, target, ok, sync) &&
         (!syncDir || ulSyncDirectory(vfpiDirectoryOf(target).c_str()));
}

} // namespace

// The file a write to path replaces: path itself, or the final target of the
// symbolic links it passes through (which need not exist yet). *found tells
// whether it exists; then *st describes it.
std::string vfpiTargetOf(const std::string &path, struct stat *st, bool *found) {
  std::string p = path;
  *found = false;
  for (int hops = 0; hops < 40; ++hops) {
    if (lstat(p.c_str(), st) != 0)
      return p;
    if (!S_ISLNK(st->st_mode)) {
      *found = true;
      return p;
    }
    std::vector<char> link(static_cast<size_t>(st->st_size > 0 ? st->st_size : 255) + 1);
    const ssize_t n = readlink(p.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size())
      return p;
    std::string next(link.data(), static_cast<size_t>(n));
    p = next.front() == '/' ? next : vfpiDirectoryOf(p) + "/" + next;
  }
  return p;
}

const vfpFileClass *vfpFileClassInfo(int cls) {
  return isFileClass(cls) ? &kClasses[cls - kFirstFileClass] : nullptr;
}

int vfpBuildObjRef(char *ref, int cls, const char *alias, const char *name, const char *version) {
  if (ref == nullptr || alias == nullptr || name == nullptr || version == nullptr)
    return vfpNULL_REF;
  *ref = '\0';
  if (!isFileClass(cls))
    return vfpINVALID_CLASS;
  const vfpObjId project = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
  if (project == 0)
    return vfpNO_PROJECT;
  const int n = std::snprintf(
      ref, vfpREF_SIZE, "%s:%s/%s:%s/%s:%s/%s:%s@%s", vfpClassName(vfpClassDATABASE),
      vfpObjGetName(vfpOvDatabaseID), vfpClassName(vfpClassPROJECT), vfpObjGetName(project),
      vfpClassName(vfpClassLIBRARY), alias, vfpClassName(cls), name, version);
  if (n < 0 || n >= vfpREF_SIZE) {
    *ref = '\0';
    return vfpREF_TOO_LARGE;
  }
  return vfpOK;
}

vfpObjId vfpOpenObject(const char *reference, int mode, int *status) {
  Ref ref;
  vfpObjId dir = 0;
  std::string dirPath;
  if (const int st = resolve(reference, &ref, &dir, &dirPath); st != vfpOK) {
    setStatus(status, st);
    return 0;
  }
  return openAt(ref.cls, dir, dirPath, ref.name, ref.version, mode, status);
}

vfpObjId vfpOpenObjectIn(LibraryDirId dir, int cls, const char *name, const char *version, int mode,
                         int *status) {
  if (const int st = checkIn(dir, cls, name, version); st != vfpOK) {
    setStatus(status, st);
    return 0;
  }
  return openAt(cls, dir, vfpObjGetPath(dir), name, version, mode, status);
}

int vfpCloseObject(vfpObjId obj, int flags) {
  FileObj *f = fileObj(obj);
  if (f == nullptr)
    return vfpINVALID_OBJID;
  const int st = closeFile(*f, (flags & vfpCLOSE_DISCARD) != 0, (flags & vfpCLOSE_SYNC) != 0);
  files().erase(obj);
  vfpiFreeObject(obj);
  return st;
}

int vfpObjReopen(vfpObjId obj, int mode, int flags) {
  FileObj *f = fileObj(obj);
  if (f == nullptr)
    return vfpINVALID_OBJID;
  if (!validMode(mode))
    return vfpBAD_MODE;
  if ((mode & vfpOPEN_ACCESS) == vfpOPEN_WRITE && vfpObjReadonly(vfpObjGetDir(obj)))
    return vfpCANNOT_ACCESS;
  if (const int st = closeFile(*f, (flags & vfpCLOSE_DISCARD) != 0, (flags & vfpCLOSE_SYNC) != 0);
      st != vfpOK)
    return st;
  if ((mode & vfpOPEN_ACCESS) != vfpOPEN_ID && vfpiSavePending(f->spec))
    vfpiCommitAll();
  bool took = false;
  int st = lockForOpen(*f, mode, &took);
  if (st == vfpOK)
    st = openFile(*f, mode & vfpOPEN_ACCESS);
  if (st != vfpOK && took)
    vfpiReleaseLock(f->spec.c_str());
  return st;
}

FILE *vfpObjStream(vfpObjId obj) {
  const FileObj *f = fileObj(obj);
  return f == nullptr ? nullptr : f->stream;
}

int vfpObjMode(vfpObjId obj) {
  const FileObj *f = fileObj(obj);
  return f == nullptr ? -1 : f->mode;
}

int vfpDeleteObject(vfpObjId obj) {
  FileObj *f = fileObj(obj);
  if (f == nullptr)
    return vfpINVALID_OBJID;
  if (f->mode == vfpOPEN_WRITE)
    return closeFile(*f, true, false);
  closeFile(*f, false, false);
  const std::string spec = f->spec;
  files().erase(obj);
  vfpiFreeObject(obj);
  if (unlink(spec.c_str()) == 0)
    return vfpOK;
  return errno == ENOENT ? vfpNO_OBJECT : vfpDELETE_ERROR;
}

int vfpCopyObject(vfpObjId obj, LibraryDirId dest, int cls, int option) {
  const FileObj *f = fileObj(obj);
  if (f == nullptr)
    return vfpINVALID_OBJID;
  if (vfpObjGetClass(dest) != vfpClassLIBRARY)
    return vfpINVALID_LIB;
  if (vfpObjReadonly(dest))
    return vfpCANNOT_ACCESS;
  if (cls == 0)
    cls = f->cls;
  if (!isFileClass(cls))
    return vfpINVALID_CLASS;
  const std::string to = specOf(vfpObjGetPath(dest), cls, f->name, f->version);
  if (to.size() >= static_cast<size_t>(vfpPATH_SIZE))
    return vfpREF_TOO_LARGE;
  // The source: the object's own descriptor when it is open for reading
  // (the file as it was opened), else the file opened now.
  const bool own = f->stream != nullptr && f->mode == vfpOPEN_READ;
  const int in = own ? fileno(f->stream) : open(f->spec.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0)
    return errno == ENOENT || errno == ENOTDIR ? vfpNO_OBJECT : vfpCANNOT_COPY;
  struct stat src, dst;
  bool found = false;
  const std::string target = vfpiTargetOf(to, &dst, &found);
  int st = vfpOK;
  if (fstat(in, &src) != 0)
    st = vfpCANNOT_COPY;
  else if (found && src.st_dev == dst.st_dev && src.st_ino == dst.st_ino)
    st = vfpSAME_OBJECT;
  else if (found && (option & vfpCOPY_REPLACE) == 0)
    st = vfpOBJECT_EXISTS;
  else if (!copyFile(in, src, target, (option & (vfpCOPY_SYNC | vfpCOPY_SYNC_DATA)) != 0,
                     (option & vfpCOPY_SYNC) != 0))
    st = vfpCANNOT_COPY;
  if (!own)
    close(in);
  return st;
}

int vfpObjExists(const char *reference) {
  Ref ref;
  vfpObjId dir = 0;
  std::string dirPath;
  if (const int st = resolve(reference, &ref, &dir, &dirPath); st != vfpOK)
    return st;
  return exists(specOf(dirPath, ref.cls, ref.name, ref.version)) ? vfpOK : vfpNO_OBJECT;
}

int vfpObjExistsIn(LibraryDirId dir, int cls, const char *name, const char *version) {
  if (const int st = checkIn(dir, cls, name, version); st != vfpOK)
    return st;
  return exists(specOf(vfpObjGetPath(dir), cls, name, version)) ? vfpOK : vfpNO_OBJECT;
}

int vfpObjLoop(LibraryDirId dir, int cls, const char *pattern, vfpObjLoopProc proc, void *user) {
  if (vfpObjGetClass(dir) != vfpClassLIBRARY)
    return vfpINVALID_LIB;
  if (!isFileClass(cls) || proc == nullptr)
    return vfpINVALID_CLASS;
  std::string where = vfpObjGetPath(dir);
  if (*kClasses[cls - kFirstFileClass].subdir != '\0')
    where = where + (where.back() == '/' ? "" : "/") + kClasses[cls - kFirstFileClass].subdir;
  std::vector<std::string> names;
  if (DIR *d = opendir(where.c_str())) {
    while (const dirent *e = readdir(d))
      names.emplace_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const std::string &entry : names) {
    std::string name, version;
    if (!entryOfClass(cls, entry, name, version) || !exists(where + "/" + entry))
      continue;
    const std::string both = name + "." + version;
    if (pattern != nullptr && *pattern != '\0' && ulStrMat(pattern, both.c_str()) == 0)
      continue;
    if (const int r = proc(name.c_str(), version.c_str(), user); r != 0)
      return r;
  }
  return vfpOK;
}

LibraryDirId vfpObjGetDir(vfpObjId obj) {
  FileObj *f = fileObj(obj);
  if (f == nullptr)
    return 0;
  if (vfpObjGetClass(f->dir) != vfpClassLIBRARY) {
    // The library list was read again: find the directory by its path.
    const vfpObjId project = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
    int st = 0;
    f->dir = 0;
    for (vfpObjId lib = vfpFindNextLib(project, 0, "", &st); lib != 0;
         lib = vfpFindNextLib(project, lib, "", &st))
      if (f->dirPath == vfpObjGetPath(lib)) {
        f->dir = lib;
        break;
      }
  }
  return f->dir;
}

const char *vfpObjGetVersion(vfpObjId obj) {
  const FileObj *f = fileObj(obj);
  return f == nullptr ? nullptr : f->version.c_str();
}

int vfpObjIsModified(vfpObjId obj) {
  const FileObj *f = fileObj(obj);
  if (f == nullptr)
    return 0;
  struct stat st;
  const bool now = stat(f->spec.c_str(), &st) == 0;
  if (now != f->seen)
    return 1;
  return now && (st.st_size != f->size || st.st_mtim.tv_sec != f->mtime.tv_sec ||
                 st.st_mtim.tv_nsec != f->mtime.tv_nsec);
}

int vfpObjLockPath(vfpObjId obj, char *path) {
  const FileObj *f = fileObj(obj);
  if (f == nullptr)
    return vfpINVALID_OBJID;
  const std::string lock = vfpiLockPathOf(f->spec);
  if (lock.size() >= static_cast<size_t>(vfpPATH_SIZE))
    return vfpREF_TOO_LARGE;
  std::memcpy(path, lock.c_str(), lock.size() + 1);
  return vfpOK;
}

int vfpObjSave(vfpObjId obj, int backupCls, const char *content, size_t length,
               vfpSaveResult *result) {
  vfpSaveResult none{};
  if (result == nullptr)
    result = &none;
  *result = vfpSaveResult{};
  FileObj *f = fileObj(obj);
  if (f == nullptr)
    return vfpINVALID_OBJID;
  if (backupCls != 0 && !isFileClass(backupCls))
    return vfpINVALID_CLASS;
  if (f->mode == vfpOPEN_WRITE || vfpObjReadonly(vfpObjGetDir(obj)) ||
      (content == nullptr && length > 0))
    return vfpCANNOT_ACCESS;
  bool took = false;
  if (const int st = lockForOpen(*f, vfpOPEN_WRITE, &took); st != vfpOK)
    return st;
  vfpiSaveRequest request{f->spec, "", content, length, took, -1, {}};
  if (f->mode == vfpOPEN_READ && f->stream != nullptr) {
    request.readFd = fileno(f->stream);
    request.readStat = f->readStat;
  }
  if (backupCls != 0)
    request.backup = specOf(f->dirPath, backupCls, f->name, f->version);
  return vfpiSave(request, result);
}

void vfpiNoteSaved(const std::string &spec) {
  for (auto &[id, f] : files())
    if (f.spec == spec) {
      struct stat st;
      noteFile(f, stat(spec.c_str(), &st) == 0 ? &st : nullptr);
    }
}

void vfpiExitFiles() {
  vfpiExitSaves();
  for (auto &[id, f] : files()) {
    closeFile(f, true, false);
    vfpiFreeObject(id);
  }
  files().clear();
  vfpReleaseAllLocks();
}
