#include "ulBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

int ulDummyProc(...) {
  return 0;
}

mode_t ulNewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool ulSyncDirectory(const char *dir) {
  const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

bool ulReplaceFile(const char *path, const char *content, size_t length) {
  if (path == nullptr || *path == '\0' || (content == nullptr && length > 0)) {
    errno = EINVAL;
    return false;
  }
  // A symbolic link is followed: its target gets the new content.
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path, nullptr), &std::free);
  const std::string target = resolved != nullptr ? resolved.get() : path;
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : target.substr(0, slash);
  std::string temp = dir + "/.ulXXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0)
    return false;
  struct stat old;
  bool ok;
  if (stat(target.c_str(), &old) == 0) {
    // The group may be refused (a user outside the file's group); the mode
    // never is, for a file of our own.
    (void)!fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    ok = fchmod(fd, old.st_mode & 07777) == 0;
  } else {
    ok = fchmod(fd, ulNewFileMode()) == 0;
  }
  for (size_t done = 0; ok && done < length;) {
    const ssize_t n = write(fd, content + done, length - done);
    ok = n > 0;
    done += ok ? static_cast<size_t>(n) : 0;
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || std::rename(temp.c_str(), target.c_str()) != 0) {
    const int e = errno;
    unlink(temp.c_str());
    errno = e;
    return false;
  }
  // The rename is on disk once the directory is: a failure here leaves the
  // new content in place, so it is no failure of the replace.
  (void)ulSyncDirectory(dir.c_str());
  return true;
}
