// Reading verbose error text back into records and chains.

#include "ulBase.h"
#include "ulErr.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex.h>
#include <string>
#include <sys/types.h>

#include "ulStr.h"

namespace {

constexpr const char *kSeparator = ": ";
constexpr size_t kAppLimit = 511; // characters kept of the application field

// The two patterns of an error file, compiled at first use.
struct Patterns {
  regex_t errorLine;
  regex_t continuation;
  bool compiled = false;
};

Patterns patternsV;

void freePatterns() {
  if (patternsV.compiled) {
    regfree(&patternsV.errorLine);
    regfree(&patternsV.continuation);
    patternsV.compiled = false;
  }
}

Patterns &patterns() {
  if (!patternsV.compiled) {
    regcomp(&patternsV.errorLine, "^\\+?([^:]+): +([A-Za-z ]+) *([0-9]+)?: +(.+)$",
            REG_EXTENDED | REG_NOSUB);
    regcomp(&patternsV.continuation, "^[ \t]*:", REG_EXTENDED | REG_NOSUB);
    patternsV.compiled = true;
    ulOnExitAdd2(freePatterns);
  }
  return patternsV;
}

// Reads one line of any length into line, without its newline. False at the
// end of the file.
bool readLine(FILE *file, std::string &line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::getc(file)) != EOF) {
    any = true;
    if (c == '\n')
      return true;
    line.push_back(static_cast<char>(c));
  }
  return any;
}

} // namespace

ulErr *ulErrCreateFromString(const char *line) {
  if (line == nullptr)
    return nullptr;
  const char *p = line;
  while (ulCharIsSpace(*p))
    ++p;

  const char *end1 = std::strstr(p, kSeparator);
  if (end1 == nullptr)
    return nullptr;
  const char *end2 = std::strstr(end1 + 2, kSeparator);
  if (end2 == nullptr)
    return nullptr;

  std::string app(p, std::min(static_cast<size_t>(end1 - p), kAppLimit));
  if (!app.empty() && app[0] == '+')
    app.erase(0, 1);
  std::string severityPart(end1 + 2, end2);
  const char *third = end2 + 2;
  const char *end3 = std::strstr(third, kSeparator);
  std::string location;
  std::string text;
  bool hasLocation = end3 != nullptr;
  if (hasLocation) {
    location.assign(third, end3);
    text.assign(end3 + 2);
  } else {
    text.assign(third);
  }

  // The severity part: a severity word and, when present, a number.
  char word[128];
  const char *rest = ulStrTok(severityPart.c_str(), word, sizeof word, " \t");
  if (rest == nullptr || word[0] == '\0')
    return nullptr;
  int severity = ulErrStringToSeverity(word);
  int number = 0;
  char numberWord[128];
  if (ulStrTok(rest, numberWord, sizeof numberWord, " \t") != nullptr)
    number = static_cast<int>(std::strtol(numberWord, nullptr, 10));

  return ulErrCreate(hasLocation ? location.c_str() : nullptr, app.c_str(), number, severity, 0,
                     text.c_str());
}

int ulErrReadErrorFile(FILE *file, ulErrReadFunc function, void *data) {
  if (file == nullptr || function == nullptr)
    return 1;
  Patterns &pat = patterns();
  ulErr *current = nullptr;
  std::string line;
  // Hands the current chain on; false when the function asks to stop.
  auto deliver = [&]() {
    ulErr *chain = current;
    current = nullptr;
    return chain == nullptr || function(chain, data) != 0;
  };

  while (readLine(file, line)) {
    const char *text = line.c_str();
    if (current != nullptr && regexec(&pat.continuation, text, 0, nullptr, 0) == 0) {
      ulErr *last = current;
      while (last->next != nullptr)
        last = last->next;
      ulErrAppendText(last, text);
      continue;
    }
    ulErr *record = nullptr;
    if (regexec(&pat.errorLine, text, 0, nullptr, 0) == 0)
      record = ulErrCreateFromString(text);
    if (record != nullptr && text[0] == '+' && current != nullptr) {
      ulErrAppend(current, record);
      continue;
    }
    if (!deliver()) {
      ulErrDestroy(record);
      return 0;
    }
    current = record;
  }
  if (current == nullptr)
    return 1;
  return deliver() ? 1 : 0;
}
