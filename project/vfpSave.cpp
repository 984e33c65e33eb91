// vfpSave.cpp: saving a file object's new content with a backup of the old
// one, one save at a time or in groups, and clearing what a save that died
// left behind.
//
// A save goes through these steps (docs/blockfiles.5 argues each of them):
//   stage   the new content is compared with the file's; equal content ends
//           the save here, with nothing written. Otherwise the old content
//           is kept under the backup's temporary name (a hard link to the
//           old file, or a copy where no link can be made) and the new one
//           is written into the file's temporary name; both are created
//           exclusively, never opened through a name that was there.
//   sync 1  the temporary files' data and names reach the disk.
//   rename  the new content is renamed over the file, then the backup's
//           temporary name over the backup.
//   sync 2  the renames reach the disk; then the locks are released.
// A save on its own (grouping off) syncs its own files and directories. In
// a group, every save of the group is staged first, and each sync is one
// flush of the file system for the whole group (syncfs).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "ulBase.h"
#include "vfpFile.h"
#include "vfpInternal.h"

namespace {

// One staged save, waiting for its group's commit.
struct Pending {
  long ticket = 0;
  std::string spec;         // the object's file: its lock is this file's
  std::string target;       // the file the rename replaces (a link's target)
  std::string temp;         // the new content
  std::string backup;       // the backup, "" for none
  std::string backupTemp;   // the old content under the backup's temporary name
  bool releaseLock = false; // release spec's lock once the commit ends
  bool synced = false;      // its files' data were synced when staged
};

struct State {
  bool grouping = false;
  long lastTicket = 0; // the ticket of the last save staged, 0 if none is
  long nextTicket = 1;
  std::vector<Pending> pending;
  std::unordered_map<std::string, size_t> bySpec; // pending's index by spec and by target
  std::vector<std::pair<long, int>> results;      // committed, not yet reported
  std::map<std::string, pid_t> swept;             // directories cleared, by process
};

State &state() {
  static State s;
  return s;
}

const std::string kTemp = vfpiTempSuffix;

bool endsWith(const std::string &s, const std::string &tail) {
  return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Writes all of content to fd. false on any failure.
bool writeAll(int fd, const char *content, size_t length) {
  for (size_t done = 0; done < length;) {
    const ssize_t n = write(fd, content + done, length - done);
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// True if the regular file open at fd, of size bytes, holds exactly the
// length bytes at content.
bool sameContentAt(int fd, off_t size, const char *content, size_t length) {
  if (static_cast<size_t>(size) != length)
    return false;
  // One byte more than expected is asked for, so that a file that grew since
  // its size was taken is not taken as equal.
  std::string now(length + 1, '\0');
  size_t got = 0;
  for (ssize_t n; got < now.size() &&
                  (n = pread(fd, now.data() + got, now.size() - got, static_cast<off_t>(got))) > 0;)
    got += static_cast<size_t>(n);
  return got == length && std::memcmp(now.data(), content, length) == 0;
}

// True if the file at path holds exactly the length bytes at content.
bool sameContent(const std::string &path, const char *content, size_t length) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return false;
  struct stat st;
  const bool same =
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && sameContentAt(fd, st.st_size, content, length);
  close(fd);
  return same;
}

bool sameFile(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Keeps the old content of target (described by st) under the name temp:
// a hard link when the system allows one (no data is copied, and the
// backup keeps the old file's owner, permission bits and times), else a
// copy that keeps its permission bits and times. With sync a copy's data
// is synced. false on failure (nothing is left).
bool keepOld(const std::string &target, const struct stat &st, const std::string &temp, bool sync) {
  if (link(target.c_str(), temp.c_str()) == 0)
    return true;
  if (errno == EEXIST)
    return false;
  const int in = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (in < 0)
    return false;
  const int out = vfpiCreateExclusive(temp, st.st_mode & 07777, static_cast<gid_t>(-1), false);
  bool ok = out >= 0 && vfpiCopyInto(in, out, st) && (!sync || fsync(out) == 0);
  if (out >= 0) {
    ok = close(out) == 0 && ok;
    if (!ok)
      unlink(temp.c_str());
  }
  close(in);
  return ok;
}

// What to do with a leftover backup temporary file (a save died between
// keeping the old content and renaming it over the backup): if the file
// it was taken from still holds that content, the save never replaced it
// and the leftover goes; if the file holds something else (the save's new
// content is in place), the leftover is the old content and becomes the
// backup. Anything but a regular file is removed, never followed.
void settleBackupTemp(const std::string &temp, const std::string &backup, const std::string &spec) {
  struct stat left, now;
  if (lstat(temp.c_str(), &left) != 0)
    return;
  bool stale = !S_ISREG(left.st_mode);
  if (!stale && stat(spec.c_str(), &now) == 0) {
    stale = sameFile(left, now);
    if (!stale && now.st_size == left.st_size) {
      // A copy (no hard link could be made): compare the contents.
      std::string content;
      const int fd = open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fd >= 0) {
        content.resize(static_cast<size_t>(left.st_size));
        stale = pread(fd, content.data(), content.size(), 0) == left.st_size &&
                sameContent(spec, content.data(), content.size());
        close(fd);
      }
    }
  }
  if (stale || std::rename(temp.c_str(), backup.c_str()) != 0)
    unlink(temp.c_str());
}

// The flush of every file system that pending's files lie on: for saves
// whose files were synced when staged (a save on its own), their
// directories; otherwise one syncfs of each file system. false on any
// failure.
bool flush(const std::vector<Pending> &pending) {
  std::set<std::string> dirs;
  bool staged = true;
  for (const Pending &p : pending) {
    dirs.insert(vfpiDirectoryOf(p.target));
    if (!p.backup.empty())
      dirs.insert(vfpiDirectoryOf(p.backup));
    staged = staged && p.synced;
  }
  if (staged) {
    for (const std::string &d : dirs)
      if (!ulSyncDirectory(d.c_str()))
        return false;
    return true;
  }
  std::set<dev_t> done;
  bool ok = true;
  for (const std::string &d : dirs) {
    const int fd = open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
      ok = false;
    } else if (done.insert(st.st_dev).second) {
      ok = syncfs(fd) == 0 && ok;
    }
    if (fd >= 0)
      close(fd);
  }
  return ok;
}

// Removes what a staged save wrote; its file and backup stay as they were.
void discard(const Pending &p) {
  unlink(p.temp.c_str());
  if (!p.backupTemp.empty())
    unlink(p.backupTemp.c_str());
}

// Commits the staged saves: sync 1, the renames, sync 2, then the locks
// the saves took or were asked to release go. Each save's result (0, or 12
// when it could not be committed: its file and backup are as they were, or,
// when only sync 2 failed, the file may hold either content) is returned in
// the group's order; those of ticketed saves also join the results to report.
std::vector<int> commit(const std::vector<Pending> &group) {
  State &s = state();
  const bool synced = flush(group);
  std::vector<int> status(group.size(), vfpOK);
  for (size_t i = 0; i < group.size(); ++i) {
    const Pending &p = group[i];
    if (!synced || std::rename(p.temp.c_str(), p.target.c_str()) != 0) {
      discard(p);
      status[i] = vfpGENERAL_FAILURE;
      continue;
    }
    // The old content stays under the temporary name if this rename fails:
    // the next save or run makes it the backup (settleBackupTemp).
    if (!p.backupTemp.empty())
      (void)std::rename(p.backupTemp.c_str(), p.backup.c_str());
  }
  const bool durable = flush(group);
  for (size_t i = 0; i < group.size(); ++i) {
    const Pending &p = group[i];
    if (!durable)
      status[i] = vfpGENERAL_FAILURE;
    if (status[i] == vfpOK)
      vfpiNoteSaved(p.spec);
    if (p.releaseLock)
      vfpiReleaseLock(p.spec.c_str());
    if (p.ticket != 0)
      s.results.emplace_back(p.ticket, status[i]);
  }
  return status;
}

} // namespace

// ---- Temporary files ----------------------------------------------------------------

std::string vfpiDirectoryOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int vfpiCreateExclusive(const std::string &name, mode_t mode, gid_t group, bool removeLeftover) {
  static const uid_t self = geteuid();
  // The umask may take bits away; fchmod then puts them back.
  const mode_t ask = mode;
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, ask);
  if (fd < 0 && errno == EEXIST && removeLeftover && unlink(name.c_str()) == 0)
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, ask);
  if (fd < 0)
    return -1;
  struct stat st;
  // Another group than our own may be refused: the file then keeps ours.
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == self;
  if (ok && group != static_cast<gid_t>(-1) && st.st_gid != group)
    (void)!fchown(fd, static_cast<uid_t>(-1), group);
  ok = ok && ((st.st_mode & 07777) == mode || fchmod(fd, mode) == 0);
  if (!ok) {
    const int e = errno;
    close(fd);
    unlink(name.c_str());
    errno = e;
    return -1;
  }
  return fd;
}

bool vfpiCopyInto(int in, int out, const struct stat &src) {
  char buffer[32768];
  off_t at = 0;
  for (ssize_t n; (n = pread(in, buffer, sizeof buffer, at)) != 0; at += n)
    if (n < 0 || !writeAll(out, buffer, static_cast<size_t>(n)))
      return false;
  // The copy keeps the source's times, so a backup tells when its content
  // was written.
  const timespec times[2] = {src.st_atim, src.st_mtim};
  return futimens(out, times) == 0;
}

// ---- Saves ------------------------------------------------------------------------

int vfpiSave(const vfpiSaveRequest &request, vfpSaveResult *result) {
  State &s = state();
  // Every way out before the commit gives back a lock taken for the save.
  const auto refuse = [&request](int status) {
    if (request.releaseLock)
      vfpiReleaseLock(request.spec.c_str());
    return status;
  };
  *result = vfpSaveResult{};
  s.lastTicket = 0;
  // A file saved twice in one group: the first save is committed first.
  if (s.bySpec.count(request.spec) != 0)
    vfpiCommitAll();
  struct stat st;
  bool found = false;
  const std::string target = vfpiTargetOf(request.spec, &st, &found);
  if (found && !S_ISREG(st.st_mode))
    return refuse(vfpCANNOT_ACCESS);
  // The object's own descriptor serves when it is open on the very file.
  const bool own = found && request.readFd >= 0 && sameFile(st, request.readStat);
  if (found && (own ? sameContentAt(request.readFd, st.st_size, request.content, request.length)
                    : sameContent(target, request.content, request.length)))
    return refuse(vfpOK);
  // The save fails wherever writing the file in place would: permission
  // bits, ownership, a read-only or immutable file (the rename below would
  // not ask).
  if (found && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
    return refuse(vfpCANNOT_ACCESS);
  struct stat bst;
  if (!request.backup.empty() && lstat(request.backup.c_str(), &bst) == 0 && S_ISDIR(bst.st_mode))
    return refuse(vfpCANNOT_ACCESS);

  Pending p;
  p.spec = request.spec;
  p.target = target;
  p.temp = target + kTemp;
  p.releaseLock = request.releaseLock;
  const bool alone = !s.grouping;
  p.synced = alone;
  if (found && !request.backup.empty()) {
    p.backup = request.backup;
    p.backupTemp = request.backup + kTemp;
    // This process holds the file's lock: a backup temporary file already
    // there was left by a save that died, and is settled first.
    if (!keepOld(target, st, p.backupTemp, alone)) {
      if (errno != EEXIST)
        return refuse(vfpCANNOT_ACCESS);
      settleBackupTemp(p.backupTemp, p.backup, request.spec);
      if (!keepOld(target, st, p.backupTemp, alone))
        return refuse(vfpCANNOT_ACCESS);
    }
  }
  // The new file keeps the permission bits and group of the one it replaces.
  const int fd = found ? vfpiCreateExclusive(p.temp, st.st_mode & 07777, st.st_gid, true)
                       : vfpiCreateExclusive(p.temp, ulNewFileMode(), static_cast<gid_t>(-1), true);
  bool ok = fd >= 0 && writeAll(fd, request.content, request.length) && (!alone || fsync(fd) == 0);
  if (fd >= 0)
    ok = close(fd) == 0 && ok;
  if (!ok) {
    if (fd >= 0)
      unlink(p.temp.c_str());
    if (!p.backupTemp.empty())
      unlink(p.backupTemp.c_str());
    return refuse(vfpCANNOT_ACCESS);
  }
  result->written = 1;
  if (alone)
    return commit({p}).front();
  p.ticket = s.nextTicket++;
  s.lastTicket = p.ticket;
  result->ticket = p.ticket;
  s.bySpec.emplace(p.spec, s.pending.size());
  s.bySpec.emplace(p.target, s.pending.size());
  s.pending.push_back(std::move(p));
  return vfpOK;
}

bool vfpiReleaseDeferred(const std::string &spec) {
  State &s = state();
  const auto it = s.bySpec.find(spec);
  if (it == s.bySpec.end() || s.pending[it->second].spec != spec)
    return false;
  s.pending[it->second].releaseLock = true;
  return true;
}

bool vfpiSavePending(const std::string &spec) {
  return state().bySpec.count(spec) != 0;
}

void vfpiCommitAll() {
  State &s = state();
  if (!s.pending.empty()) {
    std::vector<Pending> group;
    group.swap(s.pending);
    s.bySpec.clear();
    (void)commit(group);
  }
}

void vfpiExitSaves() {
  vfpiCommitAll();
  State &s = state();
  s.grouping = false;
  s.lastTicket = 0;
  s.results.clear();
  s.swept.clear();
}

void vfpiSweepSaves(const std::string &dir, const char *className) {
  State &s = state();
  pid_t &sweptBy = s.swept[dir];
  if (sweptBy == vfpiOwnPid())
    return;
  sweptBy = vfpiOwnPid();
  std::vector<std::string> left;
  if (DIR *d = opendir(dir.c_str())) {
    while (const dirent *e = readdir(d))
      if (endsWith(e->d_name, kTemp))
        left.emplace_back(e->d_name);
    closedir(d);
  }
  for (const std::string &name : left) {
    const std::string path = dir + "/" + name;
    const std::string copy = path.substr(0, path.size() - kTemp.size());
    // NAME.tmp is a new content of NAME; NAME.bac.tmp the old content of
    // NAME kept for its backup; NAME.sav.tmp a copy in progress.
    const bool backup = endsWith(copy, ".bac");
    const bool other = endsWith(copy, ".sav");
    const std::string spec = backup || other ? copy.substr(0, copy.size() - 4) : copy;
    // A block's file is NAME.VERSION, its name without a dot: anything else
    // (a write under a name of its own, NAME.N.XXXXXX.tmp) is not settled
    // here.
    const std::string base = spec.substr(dir.size() + 1);
    if (std::count(base.begin(), base.end(), '.') != 1)
      continue;
    // Only under the file's lock, which no live save of it lacks: a lock
    // held by this process means the leftover may be one of its own saves.
    if (vfpiHoldsLock(spec.c_str()) ||
        vfpiAcquireLock(spec.c_str(), className, vfpLOCKTEST_ALL) != vfpOK)
      continue;
    if (backup)
      settleBackupTemp(path, copy, spec);
    else
      unlink(path.c_str());
    vfpiReleaseLock(spec.c_str());
  }
}

// ---- The public face ----------------------------------------------------------------

void vfpSetSaveGrouping(int on) {
  State &s = state();
  if (!on)
    vfpiCommitAll();
  s.grouping = on != 0;
}

int vfpSavesPending() {
  return static_cast<int>(state().pending.size());
}

long vfpLastSaveTicket() {
  return state().lastTicket;
}

int vfpCommitSaves(vfpCommitProc proc, void *user) {
  State &s = state();
  vfpiCommitAll();
  int failed = 0;
  std::vector<std::pair<long, int>> results;
  results.swap(s.results);
  for (const auto &[ticket, status] : results) {
    failed += status != vfpOK;
    if (proc != nullptr)
      proc(ticket, status, user);
  }
  return failed;
}
