// The message catalogue: the table in messages/README.md, the compiled
// message files and every call in the source tree that names a message
// number must agree. A text whose conversions differ from what its callers
// pass formats garbage or crashes at run time, and no compiler sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "ulMsg.h"

namespace fs = std::filesystem;
using testsupport::readFile;

namespace {

const char *const kFiles[] = {"ullib", "vslib", "scrib"};

fs::path sourceDir() {
  const char *d = std::getenv("RETAG_SOURCE_DIR");
  // Run by hand: this file lies in tests/util/ of the source tree.
  return d ? fs::path(d) : fs::path(__FILE__).parent_path().parent_path().parent_path();
}

std::string trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool isInt(const std::string &a) {
  size_t i = a.size() > 1 && a[0] == '-' ? 1 : 0;
  return !a.empty() && std::all_of(a.begin() + static_cast<long>(i), a.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
}

// The printf conversions of a text, each reduced to its length modifier and
// letter ("%-5ld" gives "%ld"), blank-separated; "-" for none.
std::string conversions(const std::string &text) {
  std::string out;
  for (size_t i = text.find('%'); i != std::string::npos; i = text.find('%', i + 1)) {
    size_t j = text.find_first_not_of("-+ #0'123456789.*", i + 1);
    size_t mod = j;
    j = text.find_first_not_of("hlLqjzt", j);
    if (j == std::string::npos)
      return "<bad>";
    if (text[j] != '%' || j != i + 1)
      out += (out.empty() ? "%" : " %") + text.substr(mod, j - mod) + text[j];
    i = j;
  }
  return out.empty() ? "-" : out;
}

struct Entry {
  std::string form;        // "report" or "text"
  std::string conversions; // "%d %s" or "-"
};
using Catalogue = std::map<std::string, std::map<int, Entry>>; // file -> number -> entry

Catalogue readCatalogue() {
  Catalogue cat;
  std::istringstream in(readFile(sourceDir() / "messages" / "README.md"));
  std::string line, file;
  while (std::getline(in, line)) {
    if (line.rfind("### ", 0) == 0)
      file = trim(line.substr(4));
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '|');)
      cells.push_back(trim(cell));
    if (!file.empty() && cells.size() >= 5 && cells[0].empty() && isInt(cells[1]))
      cat[file][std::stoi(cells[1])] = {cells[2], cells[3]};
  }
  return cat;
}

char *keep(void *data, const char *text) {
  static_cast<std::string *>(data)->assign(text);
  return nullptr;
}

class Catalog : public ::testing::Test {
protected:
  Catalogue cat_ = readCatalogue();
};

TEST_F(Catalog, TableMatchesTheSourcesAndTheCompiledFiles) {
  for (const char *name : kFiles) {
    SCOPED_TRACE(name);
    std::set<int> inSource, inTable;
    std::istringstream src(readFile(sourceDir() / "messages" / (std::string(name) + ".msg")));
    for (std::string line; std::getline(src, line);) {
      std::string first = trim(line).substr(0, trim(line).find(' '));
      if (isInt(first))
        inSource.insert(std::stoi(first));
    }
    for (auto &[number, entry] : cat_[name])
      inTable.insert(number);
    EXPECT_FALSE(inTable.empty());
    EXPECT_EQ(inSource, inTable) << "the table and the source list different numbers";

    ulMsgHandle h = ulMsgFileOpen(name, nullptr, nullptr, nullptr, nullptr);
    for (auto &[number, entry] : cat_[name]) {
      std::string text;
      ulMsgText(h, number, keep, &text);
      EXPECT_EQ(conversions(text), entry.conversions) << number << ": " << text;
      // A report text starts "[X]" and the message follows at once (a blank
      // would begin the record's text); a plain text has no brackets.
      bool bracketed = text.size() > 3 && text[0] == '[' && std::isalpha(text[1]) &&
                       text[2] == ']' && text[3] != ' ';
      EXPECT_EQ(bracketed, entry.form == "report") << number << ": " << text;
      EXPECT_TRUE(entry.form == "report" || entry.form == "text") << number;
    }
    ulMsgFileClose(h);
  }
}

// ---- Calls in the source tree ------------------------------------------------------

// Removes comments and empties string and character literals (the quotes
// stay), so that commas and parentheses inside them vanish; newlines stay so
// that line numbers hold.
std::string stripSource(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    size_t end; // last character of the comment or literal
    if (s.compare(i, 2, "//") == 0) {
      end = std::min(s.find('\n', i), s.size()) - 1;
    } else if (s.compare(i, 2, "/*") == 0) {
      end = std::min(s.find("*/", i + 2), s.size() - 2) + 1;
    } else if (s[i] == '"' && i > 0 && s[i - 1] == 'R') { // R"x( ... )x"
      size_t open = std::min(s.find('(', i), s.size());
      std::string close = ")" + s.substr(i + 1, open - i - 1) + "\"";
      end = std::min(s.find(close, open), s.size() - close.size()) + close.size() - 1;
      out += "\"\"";
    } else if (s[i] == '"' || s[i] == '\'') {
      for (end = i + 1; end < s.size() && s[end] != s[i]; ++end)
        end += s[end] == '\\';
      end = std::min(end, s.size() - 1);
      out += std::string(2, s[i]);
    } else {
      out += s[i];
      continue;
    }
    out.append(static_cast<size_t>(std::count(s.begin() + static_cast<long>(i),
                                              s.begin() + static_cast<long>(end) + 1, '\n')),
               '\n');
    i = end;
  }
  return out;
}

// Splits the argument list that starts after a "(" at pos.
std::vector<std::string> splitArgs(const std::string &s, size_t pos) {
  std::vector<std::string> args;
  std::string cur;
  for (int depth = 0; pos < s.size(); ++pos) {
    char c = s[pos];
    depth += (c == '(' || c == '[' || c == '{') - (c == ')' || c == ']' || c == '}');
    if (depth < 0 || (c == ',' && depth == 0)) {
      args.push_back(trim(cur));
      cur.clear();
      if (depth < 0)
        break;
    } else {
      cur += c == '\n' ? ' ' : c;
    }
  }
  if (args.size() == 1 && args[0].empty())
    args.clear();
  return args;
}

// Where a function takes its message file (-1: the editor's file), its
// number and its first format argument (-1: none), and the form it needs:
// 'r' report, 't' plain text, '?' either.
struct Caller {
  const char *name;
  int fileArg, numberArg, firstFormatArg;
  char form;
};
constexpr Caller kCallers[] = {
    {"ulErrBuild", 1, 2, 3, 'r'},         {"ulErrReportBuild", 2, 3, 4, 'r'},
    {"ulErrOutBuild", 2, 3, 4, 'r'},      {"ulExThrowBuild", 2, 3, 4, 'r'},
    {"ulEx_PreCond", 1, 2, 3, 'r'},       {"ulEx_PostCond", 1, 2, 3, 'r'},
    {"ulExPrecond", 2, 3, 4, 'r'},        {"ulMsgStatic", 0, 1, 2, '?'},
    {"ulMsgAlloc", 0, 1, 2, '?'},         {"ulMsgBuffer", 2, 3, 4, '?'},
    {"ulMsgGenerate", 0, 1, 4, '?'},      {"ulPrefAdd2", 3, 4, -1, 't'},
    {"ulPrefReplace2", 3, 4, -1, 't'},    {"sbMsgBuild", -1, 0, 1, 't'},
    {"sbErrReport", -1, 0, 1, 'r'},       {"sbErrReportLoc", -1, 0, 2, 'r'},
    {"sbErrReportStream", -1, 0, 2, 'r'}, {"sbErrReportStreamLoc", -1, 0, 3, 'r'},
    {"q_put_msgid", -1, 0, -1, 't'},      {"qPutMsg", -1, 0, 1, 't'},
    {"qErrReport", -1, 0, 1, 't'},        {"qPutLine", -1, 0, 1, 't'},
    {"q_putmsgid", -1, 0, -1, 't'},       {"q_putlineid", -1, 0, -1, 't'},
    {"q_ini_putmsgid", -1, 0, -1, 't'},
};

struct Use {
  std::string where, file; // file:line; message file or "" when not evident
  int number;
  const Caller *caller;
  std::vector<std::string> args;
};

std::vector<Use> scanCalls() {
  std::vector<Use> uses;
  for (const char *dir : {"util", "library", "scrib", "gpi", "project", "retag"}) {
    if (!fs::exists(sourceDir() / dir))
      continue;
    for (auto &ent : fs::recursive_directory_iterator(sourceDir() / dir)) {
      if (ent.path().extension() != ".cpp" && ent.path().extension() != ".h")
        continue;
      std::string s = stripSource(readFile(ent.path()));
      for (const Caller &c : kCallers) {
        std::string call = std::string(c.name) + "(";
        for (size_t at = s.find(call); at != std::string::npos; at = s.find(call, at + 1)) {
          if (at > 0 && (std::isalnum(static_cast<unsigned char>(s[at - 1])) || s[at - 1] == '_'))
            continue;
          std::vector<std::string> args = splitArgs(s, at + call.size());
          if (static_cast<int>(args.size()) <= c.numberArg || !isInt(args[c.numberArg]))
            continue; // a declaration, or a number held in a variable
          std::string f = c.fileArg < 0 ? "get_msg_file()" : args[c.fileArg];
          uses.push_back(
              {ent.path().lexically_relative(sourceDir()).string() + ":" +
                   std::to_string(1 +
                                  std::count(s.begin(), s.begin() + static_cast<long>(at), '\n')),
               f.find("ulMsgFile()") != std::string::npos      ? "ullib"
               : f.find("vsMsgFile()") != std::string::npos    ? "vslib"
               : f.find("get_msg_file()") != std::string::npos ? "scrib"
                                                               : "",
               std::stoi(args[c.numberArg]), &c, args});
        }
      }
    }
  }
  return uses;
}

TEST_F(Catalog, EveryNumberedMessageInTheCodeMatchesItsText) {
  std::vector<Use> uses = scanCalls();
  // The message layer itself names several numbers; finding few means the
  // scanner is broken, not that the code is clean.
  ASSERT_GE(uses.size(), 10u);
  for (const Use &u : uses) {
    SCOPED_TRACE(u.where + ": " + u.caller->name + " of message " + std::to_string(u.number));
    std::string file = u.file;
    for (const char *name : kFiles) // a handle in a variable: the number must tell
      if (u.file.empty() && cat_[name].count(u.number))
        file = file.empty() ? name : "more than one file";
    auto it = cat_[file].find(u.number);
    if (it == cat_[file].end()) {
      ADD_FAILURE() << "not in message file " << (file.empty() ? "(none)" : file);
      continue;
    }
    const Entry &e = it->second;
    if (u.caller->form != '?') {
      EXPECT_EQ(e.form, u.caller->form == 'r' ? "report" : "text")
          << "a report needs a severity; a printed text must not carry one";
    }
    std::vector<std::string> conv, passed;
    std::istringstream cs(e.conversions == "-" ? "" : e.conversions);
    for (std::string c; cs >> c;)
      conv.push_back(c);
    if (u.caller->firstFormatArg >= 0)
      passed.assign(u.args.begin() + u.caller->firstFormatArg, u.args.end());
    if (passed.size() != conv.size()) {
      ADD_FAILURE() << passed.size() << " arguments passed to conversions " << e.conversions;
      continue;
    }
    for (size_t i = 0; i < conv.size(); ++i) {
      if (passed[i].front() == '"' || isInt(passed[i])) {
        EXPECT_EQ(conv[i] == "%s", passed[i].front() == '"') << passed[i] << " goes to " << conv[i];
      }
    }
  }
}

TEST(CatalogScanner, SeesCallsAsTheCompilerDoes) {
  std::string s = stripSource("// sbErrReport(1, 2)\n"
                              "f(); sbErrReportLoc(2209,\n  \"a, (b\", g(x, ')'));\n"
                              "/* qErrReport(5) */ x = R\"(q(1))\";\n");
  EXPECT_EQ(s.find("sbErrReport("), std::string::npos);
  EXPECT_EQ(s.find("qErrReport"), std::string::npos);
  EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 4);
  std::vector<std::string> args = splitArgs(s, s.find("Loc(") + 4);
  EXPECT_EQ(args, (std::vector<std::string>{"2209", "\"\"", "g(x, '')"}));
  EXPECT_EQ(conversions("%-5ld of %s, 100%% %c %.2f"), "%ld %s %c %f");
}

} // namespace
