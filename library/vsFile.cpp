// vsFile.cpp: creating, deleting, copying and renaming entries.
#include "vs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "ulBase.h"
#include "ulMem.h"
#include "vsInternal.h"

namespace {

// Closes a stream on every path out unless released.
struct File {
  FILE *f;
  ~File() {
    if (f != nullptr)
      std::fclose(f);
  }
  // Closes now; false if the close failed.
  bool close() {
    FILE *g = f;
    f = nullptr;
    return std::fclose(g) == 0;
  }
};

// Copies spec into path without a trailing "/" (the root stays "/").
bool withoutTrailingSlash(const char *spec, char *path) {
  if (spec == nullptr || !vsi::copyTo(path, spec, vsMAXPATH))
    return false;
  size_t n = std::strlen(path);
  if (n > 1 && path[n - 1] == '/')
    path[n - 1] = '\0';
  return true;
}

bool permissionError(int err) {
  return err == EACCES || err == EPERM;
}

// Some file systems cut names to 14 characters; when the entry asked for is
// missing but its cut name exists, that is the entry just made, and it goes.
void removeCutName(const char *path, int kind) {
  constexpr size_t kCut = 14;
  char dir[vsMAXPATH], fileName[vsMAXPATH], cut[vsMAXPATH];
  if (vsParse2(path, nullptr, dir, fileName) != vsOK || std::strlen(fileName) <= kCut)
    return;
  fileName[kCut] = '\0';
  if (vsMerge(cut, nullptr, dir, fileName, nullptr) == vsOK && vsExists(cut, kind) == vsOK)
    (void)vsDelete(cut, kind);
}

} // namespace

int vsCreate(const char *spec, int kind) {
  char path[vsMAXPATH];
  if (!withoutTrailingSlash(spec, path))
    return vsBADSPEC;
  int made = kind == vsDIR ? vsDIR : vsFILE;
  if (made == vsDIR) {
    (void)mkdir(path, 0777);
  } else {
    // Only a directory may be named with a trailing "/": a file spec is used
    // as it stands.
    File f{std::fopen(spec, "w+")};
    if (f.f == nullptr)
      return vsCREATEERR;
  }
  if (vsExists(path, made) != vsOK) {
    removeCutName(path, made);
    return vsDENIED;
  }
  return vsOK;
}

int vsCreateWithPath(const char *spec, int kind) {
  if (spec == nullptr)
    return vsBADSPEC;
  if (vsExists(spec, vsANY) == vsOK)
    return vsCREATEERR;
  char abs[vsMAXPATH], path[vsMAXPATH];
  int st = vsAbsPath2(spec, abs);
  if (st != vsOK)
    return st;
  if (!withoutTrailingSlash(abs, path))
    return vsBADSPEC;
  // Each directory above the entry, from the top down.
  for (char *p = std::strchr(path + 1, '/'); p != nullptr; p = std::strchr(p + 1, '/')) {
    *p = '\0';
    bool ok = vsExists(path, vsDIR) == vsOK || mkdir(path, 0777) == 0;
    *p = '/';
    if (!ok)
      return vsDENIED;
  }
  return vsCreate(path, kind);
}

int vsDelete(const char *spec, int kind) {
  char path[vsMAXPATH];
  if (spec == nullptr || std::strlen(spec) >= vsMAXPATH)
    return vsBADSPEC;
  std::strcpy(path, spec);
  size_t n = std::strlen(path);
  if (kind != vsFILE && n > 1 && path[n - 1] == '/')
    path[n - 1] = '\0';
  struct stat st;
  if (lstat(path, &st) == 0 && (st.st_mode & 0222) == 0)
    return vsDENIED;
  int rc = kind == vsFILE ? unlink(path) : rmdir(path);
  if (rc == 0)
    return vsOK;
  return permissionError(errno) ? vsDENIED : vsNOTFOUND;
}

int vsCopy(const char *from, const char *to) {
  if (from == nullptr || to == nullptr)
    return vsNOTFOUND;
  File in{std::fopen(from, "rb")};
  struct stat st;
  if (in.f == nullptr || fstat(fileno(in.f), &st) != 0)
    return vsNOTFOUND;
  struct stat old;
  if (lstat(to, &old) == 0 && unlink(to) != 0)
    return vsNOTFOUND;
  File out{std::fopen(to, "wb")};
  if (out.f == nullptr)
    return vsNOTFOUND;
  int status = vsXfer(in.f, out.f);
  if (!out.close() && status == vsOK)
    status = vsIOERR;
  if (status != vsOK) {
    unlink(to);
    return vsIOERR;
  }
  timespec times[2] = {st.st_atim, st.st_mtim};
  if (utimensat(AT_FDCWD, to, times, 0) != 0)
    return vsNOTFOUND;
  return vsOK;
}

int vsXfer(FILE *from, FILE *to) {
  if (from == nullptr || to == nullptr)
    return vsBADSPEC;
  constexpr size_t kBlock = 32767;
  auto *buf = static_cast<char *>(ulMemMalloc(kBlock, "vsXfer"));
  if (buf == nullptr)
    return vsIOERR;
  int status = vsOK;
  for (;;) {
    size_t n = std::fread(buf, 1, kBlock, from);
    if (n > 0 && std::fwrite(buf, 1, n, to) != n) {
      status = vsIOERR;
      break;
    }
    if (n < kBlock) {
      if (std::ferror(from))
        status = vsIOERR;
      break;
    }
  }
  ulMemFree(buf);
  return status;
}

int vsRename(const char *oldSpec, const char *newSpec) {
  if (oldSpec == nullptr || newSpec == nullptr)
    return vsBADSPEC;
  if (std::rename(oldSpec, newSpec) == 0)
    return vsOK;
  if (permissionError(errno))
    return vsDENIED;
  struct stat st;
  if (lstat(oldSpec, &st) != 0)
    return vsNOTFOUND;
  return vsBADSPEC;
}

int vsReplaceFile(const char *spec, const char *content, size_t length) {
  if (spec == nullptr || (content == nullptr && length > 0))
    return vsBADSPEC;
  return ulReplaceFile(spec, content, length) ? vsOK : vsIOERR;
}

int vsUnique(char *directory) {
  if (directory == nullptr)
    return vsBADSPEC;
  int st = vsAbsPath(directory);
  if (st != vsOK)
    return st;
  if (vsExists(directory, vsDIR) != vsOK)
    return vsNOTFOUND;
  char name[vsMAXPATH];
  std::strcpy(name, directory);
  if ((name[std::strlen(name) - 1] != '/' && !vsi::appendTo(name, "/", sizeof name)) ||
      !vsi::appendTo(name, "ulXXXXXX", sizeof name))
    return vsBADSPEC;
  int fd = mkstemp(name);
  if (fd < 0)
    return vsNOTFOUND;
  close(fd);
  std::strcpy(directory, name);
  return vsCreate(directory, vsFILE);
}
