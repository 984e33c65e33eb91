// saves.cpp: the visit's saves committed in groups, and the log lines that
// wait for them (see retagInternal.h).
#include <ctime>

#include <cstdarg>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "retag.h"
#include "retagInternal.h"
#include "vfpFile.h"

namespace {

// A group is committed once it is this old or this large: a second bounds how
// long its blocks stay locked and what an interrupt waits for, while a
// group of a second's saves makes the two flushes of a commit cheap against
// the saves themselves.
constexpr long kGroupNs = 1'000'000'000;
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
  const timespec t = now();
  const long age = (t.tv_sec - s.started.tv_sec) * 1'000'000'000L + (t.tv_nsec - s.started.tv_nsec);
  if (age >= kGroupNs || s.holes.size() >= kGroupSaves)
    commitSaves();
}

void vaam::commitSaves() {
  State &s = state();
  std::set<long> failed;
  (void)vfpCommitSaves(collectFailure, &failed);
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
