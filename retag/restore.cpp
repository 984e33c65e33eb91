// restore.cpp: retagrestore's work, the exchange of symbol blocks with their
// backups (see companion.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "companion.h"
#include "retag.h"
#include "ulBase.h"
#include "vqp.h"

namespace {

// Exchanges the files at a and b in one step where the system can
// (renameat2 with RENAME_EXCHANGE). Elsewhere: a is linked to a temporary
// name beside it, b renamed over a, the temporary renamed to b; at every
// moment a holds one of the two contents and the other content has a name,
// and a crash between the last two steps leaves b's old content as a and
// a's old content under the temporary name. The directory is synced after.
// 0, or the errno of the step that failed (both files then as they were).
int exchange(const std::string &a, const std::string &b, const std::string &directory) {
  int error = 0;
#ifdef RENAME_EXCHANGE
  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) != 0)
    error = errno;
#else
  error = EINVAL;
#endif
  if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
    // A name of our own, made new by the link: never one that exists.
    const std::string temporary = a + ".restore." + std::to_string(getpid()) + ".tmp";
    if (link(a.c_str(), temporary.c_str()) != 0)
      return errno;
    if (rename(b.c_str(), a.c_str()) != 0) {
      error = errno;
      (void)unlink(temporary.c_str());
      return error;
    }
    if (rename(temporary.c_str(), b.c_str()) != 0)
      return errno;
    error = 0;
  }
  if (error != 0)
    return error;
  // The exchange itself is done; a failed sync only weakens it against a
  // power failure, which the caller cannot mend.
  (void)ulSyncDirectory(directory.c_str());
  return 0;
}

} // namespace

void vaAMRestoreBlock(const char *path, const char *alias, const char *name, int number,
                      bool dryRun, vaAMRestore *restore) {
  const std::string block = path;
  const std::string backup = block + ".bac";
  vaAMRestored entry{vaAMShownPath(block), vaAMShownPath(backup), "", ""};
  auto finish = [&](const char *result, const std::string &reason) {
    entry.result = result;
    entry.reason = reason;
    if (!reason.empty())
      vaAMEmit(restore->kept, {entry.file, 0, "error", "not restored: " + reason});
    else if (restore->kept == nullptr)
      std::printf("%s %s with %s\n", dryRun ? "would swap" : "swapped", entry.file.c_str(),
                  entry.backup.c_str());
    ++(reason.empty() ? restore->swapped : restore->refused);
    restore->blocks.push_back(entry);
  };
  struct stat st {};
  if (lstat(backup.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    if (restore->named)
      finish("no backup", "it has no backup");
    return; // without names, only the blocks that have a backup count
  }
  if (lstat(block.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    finish("refused", "it is not a regular file");
    return;
  }
  // As a save: a write-protected block file stays as it is.
  if (access(block.c_str(), W_OK) != 0) {
    finish("refused", std::string("it is write-protected (") + std::strerror(errno) + ")");
    return;
  }
  if (dryRun) {
    // What a save would meet, the lock above all.
    const std::string obstacle = vaAMSaveObstacle(path, alias, name, number);
    if (obstacle.empty())
      finish("would swap", "");
    else
      finish(obstacle.rfind("it is locked", 0) == 0 ? "locked" : "refused", obstacle);
    return;
  }
  // As a save: the block's lock is taken first; another's lock refuses.
  if (vqpFileLock(vqpKIND_SYMBOL, alias, name, number) != 1) {
    finish("locked", "it is " + vaAMLockHolder(alias, name, number));
    return;
  }
  const std::string directory = block.substr(0, block.rfind('/'));
  const int error = exchange(block, backup, directory);
  (void)vqpFileUnlock(vqpKIND_SYMBOL, alias, name, number);
  if (error != 0) {
    finish("failed", std::string("the exchange failed: ") + std::strerror(error));
    return;
  }
  finish("swapped", "");
}

int vaAMRestoreStatus(const vaAMRestore *restore) {
  return restore->refused > 0 ? 2 : 0;
}
