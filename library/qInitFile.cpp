// qInitFile.cpp: finding and reading the initialisation file, its messages,
// attaching the library "builtin", and writing the file back.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "qInit.h"
#include "qlm.h"
#include "sbMsg.h"
#include "ulBase.h"
#include "ulStr.h"
#include "vs.h"

int vqBuiltinAddedKludgeV = 0;

namespace {

// Longest line the reader applies; the rest of a longer line is skipped.
constexpr size_t kLineMax = 512;
// Longest message line shown about the file.
constexpr size_t kMessageMax = 131;
// Longest answer q_ini_scanf keeps.
constexpr size_t kAnswerMax = 79;

struct State {
  bool remembered = false; // a file was read successfully and is remembered
  std::string lastPath;    // its absolute path
  long lastTime = 0;       // its modification time then
  bool reading = false;    // q_read_init is between open and end
  std::string readingPath; // the file being read
  int line = 0;            // the number of its line being applied
  char *answer = nullptr;  // q_ini_scanf's answer (pooled)
};

State &state() {
  static State s;
  return s;
}

// The reading state of q_read_init, left however the read ends. The library
// manager's messages go through q_ini_putmsg meanwhile.
class Reading {
public:
  explicit Reading(const char *path) : saved_(qlmPutMsgV) {
    State &s = state();
    s.reading = true;
    s.readingPath = path;
    s.line = 0;
    qlmPutMsgV = q_ini_putmsg;
  }
  ~Reading() {
    State &s = state();
    s.reading = false;
    s.readingPath.clear();
    s.line = 0;
    qlmPutMsgV = saved_;
  }
  Reading(const Reading &) = delete;
  Reading &operator=(const Reading &) = delete;

private:
  int (*saved_)(const char *, int);
};

// Reads one line (without its line end) of at most max characters, skipping
// the rest of a longer one. False at the end of the file.
bool readLine(FILE *f, std::string &line, size_t max) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n')
      return true;
    if (line.size() < max)
      line += static_cast<char>(c);
  }
  return any;
}

// Shows a line of text on the editor's console, cut to the message width.
void show(const std::string &text) {
  q_put_msg(text.substr(0, kMessageMax).c_str(), 0);
}

// Gives the first directory without alias whose last path component is
// "builtin" the alias "builtin", unless a library of that name exists.
// 1 when named, -1 when naming failed, 0 when nothing was to be done.
int attachBuiltin() {
  if (qlm_library_exists("builtin"))
    return 0;
  for (qlmDirId d = qlm_id_next_dir(nullptr); d != nullptr; d = qlm_id_next_dir(d)) {
    const char *name = qlm_id_get_name(d);
    const char *path = qlm_id_get_path(d);
    if ((name != nullptr && *name != '\0') || path == nullptr)
      continue;
    const char *slash = std::strrchr(path, '/');
    if (ulStrIequ(slash == nullptr ? path : slash + 1, "builtin"))
      return qlm_id_set_name(d, "builtin") == 0 ? 1 : -1;
  }
  return 0;
}

// Writes the file again with each DIR line that made a record in the
// library manager's form ("DIR " and qlm_id_write), keeping its comment, and
// every other line as it stood. The new content goes to a temporary file
// beside it, which then replaces it, so the file is never left half written.
bool rewrite(const std::string &path, const std::vector<std::pair<int, qlmDirId>> &dirLines) {
  std::vector<std::string> lines;
  {
    FILE *in = std::fopen(path.c_str(), "r");
    if (in == nullptr)
      return false;
    std::string line;
    while (readLine(in, line, std::string::npos))
      lines.push_back(line);
    std::fclose(in);
  }
  for (const auto &[number, dir] : dirLines) {
    if (number < 1 || static_cast<size_t>(number) > lines.size())
      continue;
    std::string &line = lines[static_cast<size_t>(number) - 1];
    bool cr = !line.empty() && line.back() == '\r';
    if (cr)
      line.pop_back();
    int start, end;
    q_ini_line_text(line.c_str(), &start, &end);
    std::string comment = line.substr(static_cast<size_t>(end));
    char *written = qlm_id_write(dir);
    line = std::string("DIR ") + (written != nullptr ? written : "");
    ulStrFree(written);
    if (!comment.empty())
      line += " " + comment;
    if (cr)
      line += '\r';
  }

  size_t slash = path.rfind('/');
  std::string tmp =
      (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/.scribant.XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0)
    return false;
  struct stat st;
  if (stat(path.c_str(), &st) == 0)
    (void)fchmod(fd, st.st_mode & 07777);
  FILE *out = fdopen(fd, "w");
  if (out == nullptr) {
    close(fd);
    unlink(tmp.c_str());
    return false;
  }
  bool ok = true;
  for (const std::string &line : lines)
    ok = ok && std::fputs(line.c_str(), out) >= 0 && std::fputc('\n', out) != EOF;
  ok = std::fflush(out) == 0 && ok;
  ok = fsync(fd) == 0 && ok;
  ok = std::fclose(out) == 0 && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

void forget() {
  State &s = state();
  s.remembered = false;
  s.lastPath.clear();
  s.lastTime = 0;
}

} // namespace

int q_ini_putmsg(const char *text, int header) {
  State &s = state();
  if (!s.reading || q_quiet)
    return 0;
  // The text may live in the formatting buffer the header is built in.
  std::string copy = text == nullptr ? "" : text;
  if (header)
    show(sbMsgBuild(1213, s.readingPath.c_str(), s.line));
  show(copy);
  return 1;
}

int q_ini_putmsgid(int number, int header) {
  if (!state().reading || q_quiet)
    return 0;
  return q_ini_putmsg(sbMsgBuild(number), header);
}

const char *q_ini_scanf(const char *prompt) {
  State &s = state();
  q_ini_putmsg(prompt, 0);
  std::fflush(stdout);
  std::string answer;
  readLine(stdin, answer, kAnswerMax);
  answer.erase(std::find_if(answer.begin(), answer.end(), ulCharIsLineSpace), answer.end());
  ulStrFree(s.answer);
  s.answer = ulStrCpy(answer.c_str());
  return s.answer;
}

const char *q_ini_file() {
  State &s = state();
  return s.reading ? s.readingPath.c_str() : nullptr;
}

int q_ini_line() {
  State &s = state();
  return s.reading ? s.line : 0;
}

int q_read_init(const char *path) {
  if (path == nullptr)
    return 0;
  FILE *f = std::fopen(path, "r");
  if (f == nullptr) {
    show(sbMsgBuild(1019, path));
    return 0;
  }
  q_free_attr_reset_list();
  State &s = state();
  int errors = 0;
  int dirErrors = 0;
  bool ok;
  {
    Reading reading(path);
    // Records of the library manager that each DIR line made, by line
    // number, for the rewrite.
    std::vector<std::pair<int, qlmDirId>> dirLines;
    qlmDirId last = nullptr;
    for (qlmDirId d = qlm_id_next_dir(nullptr); d != nullptr; d = qlm_id_next_dir(d))
      last = d;

    std::string line;
    while (readLine(f, line, kLineMax)) {
      ++s.line;
      int result = q_read_param(line.c_str());
      errors += result != 0;
      dirErrors += result == -1;
      for (qlmDirId d = qlm_id_next_dir(last); d != nullptr; d = qlm_id_next_dir(d)) {
        dirLines.emplace_back(s.line, d);
        last = d;
      }
    }
    std::fclose(f);

    if (qlm_get_primary_dir() != nullptr) {
      if (attachBuiltin() == 1) {
        if (rewrite(path, dirLines)) {
          q_ini_putmsgid(2031, 1);
          vqBuiltinAddedKludgeV = 1;
        } else {
          q_ini_putmsg(sbMsgBuild(1019, path), 1);
        }
      }
    } else {
      q_ini_putmsg(sbMsgBuild(1214, s.line), 1);
      q_ini_putmsgid(2006, 0);
      ++errors;
    }
    if (errors > 0)
      q_ini_putmsg(sbMsgBuild(1159, errors, errors == 1 ? "" : "s"), 0);
    ok = errors == dirErrors;
  }
  qd_clear_all_dirs();
  return ok ? 1 : 0;
}

int q_scrib_init() {
  State &s = state();
  // Every call starts from the defaults, also when the file is not read
  // again because it has not changed.
  q_set_defaults();
  char found[vsMAXPATH];
  if (vsGetini(vqInitFileNameV, found) != vsOK) {
    forget();
    show(sbMsgBuild(1240, vqInitFileNameV));
    return -1;
  }
  long time = 0;
  if (vsInfo(found, &time, nullptr, nullptr) != vsOK) {
    forget();
    show(sbMsgBuild(1019, found));
    return -1;
  }
  if (s.remembered && s.lastPath == found && s.lastTime == time)
    return q_get_version();
  s.remembered = true;
  s.lastPath = found;
  s.lastTime = time;
  if (!q_read_init(found)) {
    forget();
    return -1;
  }
  return q_get_version();
}
