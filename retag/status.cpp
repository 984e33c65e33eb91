// status.cpp: the status line a run keeps on a terminal, and the lock waits
// shown there (see retagInternal.h).
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include "retag.h"
#include "retagInternal.h"
#include "vfp.h"

namespace {

// Characters of the status line now on the screen, 0 when none.
size_t &shown() {
  static size_t length = 0;
  return length;
}

// The width a status line may take without wrapping: the terminal's
// columns less one, 79 when they cannot be had.
size_t room() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
    return size.ws_col - 1U;
  return 79;
}

void noteLockWait(int waiting, const char *path, int pid, const char *host) {
  if (waiting == 0) {
    vaam::statusClear();
    return;
  }
  // The lock file lies in the "lock" directory beside the block and bears
  // the block file's name.
  const char *slash = std::strrchr(path, '/');
  const std::string file = slash != nullptr ? slash + 1 : path;
  const std::string block = AliasName != nullptr ? std::string(AliasName) + ":" + file : file;
  std::string text = "waiting for the lock of " + block;
  if (pid > 0 && host != nullptr && host[0] != '\0')
    text += " held by " + std::to_string(pid) + "@" + host;
  else
    text += " (its lock file cannot be read yet)";
  vaam::statusShow(text);
}

} // namespace

void vaam::statusShow(const std::string &text) {
  std::string line = text.substr(0, room());
  const size_t length = line.size();
  // Blanks over the rest of a longer line drawn before.
  if (length < shown())
    line.append(shown() - length, ' ');
  std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  shown() = length > shown() ? length : shown();
}

void vaam::statusClear() {
  if (shown() == 0)
    return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown()), "");
  std::fflush(stderr);
  shown() = 0;
}

void vaam::watchLockWaits() {
  vfpLockWaitNoteV = noteLockWait;
}
