// qInitFile.cpp: finding and reading the initialisation file, its messages,
// attaching the library "builtin", and writing the file back.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "qInit.h"
#include "qMsg.h"
#include "qlm.h"
#include "qlmInternal.h"
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

// Whether the setting of a line (up to a zero byte in it) is a DIR line.
bool isDirLine(const std::string &line) {
  int start, end;
  q_ini_line_text(line.c_str(), &start, &end);
  const char *word = line.c_str() + start;
  const char *stop = line.c_str() + end;
  while (word < stop && ulCharIsSpace(*word))
    ++word;
  const char *after = word;
  while (after < stop && !ulCharIsSpace(*after))
    ++after;
  return after > word && q_find_keyword(std::string(word, after).c_str()) == q_find_keyword("dir");
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

// A directory line in the current format: the keyword, the record as the
// library manager writes it and the qualifier field of the line as written
// (body is the line from its keyword, without comment), which the record
// does not keep.
std::string currentForm(qlmDirId dir, const std::string &body) {
  char *written = qlm_id_write(dir);
  std::string line = std::string("DIR ") + (written != nullptr ? written : "");
  ulStrFree(written);
  const char *rest = body.c_str();
  while (*rest != '\0' && !ulCharIsLineSpace(*rest))
    ++rest;
  const std::string qualifier = qlmiQualifierField(rest);
  if (!qualifier.empty())
    line += " " + qualifier;
  return line;
}

// Writes the file again with each DIR line that made a record (dirLines:
// line number from 1 and record, in file order) in the current format. Only
// the line's keyword and fields change, and only when their current form
// differs from what stands there: a "|5.0" mark, the blanks around the
// fields, the comment and the line end stay, and so does every byte of the
// other lines.
bool rewrite(const std::string &path, const std::vector<std::pair<int, qlmDirId>> &dirLines) {
  std::string content;
  {
    FILE *in = std::fopen(path.c_str(), "rb");
    if (in == nullptr)
      return false;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
      content.append(buffer, n);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed)
      return false;
  }
  std::vector<size_t> starts{0}; // where each line begins
  for (size_t i = content.find('\n'); i != std::string::npos; i = content.find('\n', i + 1))
    starts.push_back(i + 1);
  // From the last line up, so that the offsets of earlier lines stay valid.
  for (auto it = dirLines.rbegin(); it != dirLines.rend(); ++it) {
    const auto number = static_cast<size_t>(it->first);
    if (number < 1 || number > starts.size())
      continue;
    const size_t from = starts[number - 1];
    const size_t to = number < starts.size() ? starts[number] - 1 : content.size();
    // The part of the line that the reader applied.
    const std::string line = content.substr(from, std::min(to - from, kLineMax));
    int start, end;
    q_ini_line_text(line.c_str(), &start, &end);
    auto b = static_cast<size_t>(start);
    auto e = static_cast<size_t>(end);
    while (b < e && ulCharIsSpace(line[b]))
      ++b;
    while (e > b && ulCharIsSpace(line[e - 1]))
      --e;
    const std::string body = line.substr(b, e - b);
    const std::string current = currentForm(it->second, body);
    if (current != body)
      content.replace(from + b, e - b, current);
  }
  return vsReplaceFile(path.c_str(), content.data(), content.size()) == vsOK;
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
      // A zero byte would cut a directory line short and make a library of
      // what stands before it: such a line is refused whole.
      int result = -1;
      if (line.find('\0') != std::string::npos && isDirLine(line))
        q_ini_putmsgid(2040, 1);
      else
        result = q_read_param(line.c_str());
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
