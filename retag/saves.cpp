// saves.cpp: the visit's saves committed in groups, and the log lines that
// wait for them (see retagInternal.h).
#include <ctime>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "retag.h"
#include "retagInternal.h"
#include "vfpFile.h"

namespace {

// A group is committed once it holds kGroupSaves saves, or once it is a
// second old and at least four times as old as the last commit took (at
// most five seconds): its blocks stay locked and an interrupt waits for a
// short while only, and the two flushes of a commit, slow on a busy disk,
// cost little against the saves themselves.
constexpr long kSecondNs = 1'000'000'000;
constexpr long kGroupMinNs = kSecondNs;
constexpr long kGroupMaxNs = 5 * kSecondNs;
constexpr size_t kGroupSaves = 1024;

// Where a staged save's failure line would stand in the held log.
struct Hole {
  size_t at;        // offset in held
  long ticket;      // the save's ticket
  std::string line; // its failure line
};

struct State {
  std::string held;        // log lines written since the group's first save
  std::vector<Hole> holes; // one per staged save, in order
  timespec started{};      // when the group's first save was staged
  long lastCommitNs = 0;   // how long the last commit took
};

State &state() {
  static State s;
  return s;
}

timespec now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t;
}

long nsBetween(const timespec &from, const timespec &to) {
  return (to.tv_sec - from.tv_sec) * kSecondNs + (to.tv_nsec - from.tv_nsec);
}

void collectFailure(long ticket, int status, void *user) {
  if (status != 0)
    static_cast<std::set<long> *>(user)->insert(ticket);
}

} // namespace

void vaam::logWrite(const char *format, va_list args) {
  State &s = state();
  if (vaAMLogFileFpV == nullptr)
    return;
  if (s.holes.empty()) {
    std::vfprintf(vaAMLogFileFpV, format, args);
    return;
  }
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  if (n > 0) {
    const size_t at = s.held.size();
    s.held.resize(at + static_cast<size_t>(n) + 1);
    std::vsnprintf(s.held.data() + at, static_cast<size_t>(n) + 1, format, again);
    s.held.resize(at + static_cast<size_t>(n));
  }
  va_end(again);
}

void vaam::noteStagedSave(const char *loadName, const char *extension) {
  const long ticket = vfpLastSaveTicket();
  if (ticket == 0)
    return;
  State &s = state();
  if (s.holes.empty())
    s.started = now();
  std::string line = "Could not save SYMBOL ";
  line.append(loadName).append(".").append(extension).append("\n");
  s.holes.push_back(Hole{s.held.size(), ticket, std::move(line)});
}

void vaam::commitSavesIfDue() {
  const State &s = state();
  if (s.holes.empty())
    return;
  const long due = std::clamp(4 * s.lastCommitNs, kGroupMinNs, kGroupMaxNs);
  if (s.holes.size() >= kGroupSaves || nsBetween(s.started, now()) >= due)
    commitSaves();
}

void vaam::commitSaves() {
  State &s = state();
  std::set<long> failed;
  const timespec start = now();
  (void)vfpCommitSaves(collectFailure, &failed);
  s.lastCommitNs = nsBetween(start, now());
  if (s.holes.empty())
    return;
  size_t from = 0;
  for (const Hole &h : s.holes) {
    std::fwrite(s.held.data() + from, 1, h.at - from, vaAMLogFileFpV);
    from = h.at;
    if (failed.count(h.ticket) != 0) {
      std::fputs(h.line.c_str(), vaAMLogFileFpV);
      ++vaAMErrorCountV;
    }
  }
  std::fwrite(s.held.data() + from, 1, s.held.size() - from, vaAMLogFileFpV);
  s.held.clear();
  s.holes.clear();
}
