// Fuzz target: arbitrary bytes as an LTF file. The reader must not crash or
// overrun a buffer; on failure its message is in the error buffer and fits
// it; on success writing and dumping the list work.
//
// The reader is also compared with a plain one written here straight from
// the format's rules on the token layer (ulTklex, ulDufsFgets, ulStrTok,
// vaAMParseAttribute): the fast reader re-implements those rules for speed,
// and any input on which the two differ in status, records (also those of a
// read that failed) or message is a finding. The plain reader stores every
// name and value through the store functions, so equal lists are also well
// formed ones.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "retag.h"
#include "symlist.h"
#include "ulStr.h"

namespace {

using fuzzsupport::check;

constexpr const char *kFile = "fuzz.ltf";
constexpr int kLine = 160;

KeywordEntry *gKeywords = nullptr;
FILE *gSink = nullptr;

// ---- The plain reader ---------------------------------------------------------

// The message the plain reader expects: the whole text, which the fast
// reader may have shortened to fit the error buffer.
std::string gExpected;

int parseError(int line, const std::string &reason) {
  gExpected = "File parse error at line " + std::to_string(line) + " in file " + kFile + ": " +
              reason + "\n";
  return 1;
}

int plainError(const char *text) {
  gExpected = text;
  return 1;
}

// A word as messages show it: as it is, or with every character escaped as
// ulStrCvtToAscii escapes it (a zero byte as \000) when one of them is a
// control character or a zero byte.
std::string shown(const std::string &raw) {
  if (std::none_of(raw.begin(), raw.end(),
                   [](char c) { return static_cast<unsigned char>(c) < ' ' || c == '\177'; }))
    return raw;
  std::string text;
  for (char c : raw) {
    const char one[2] = {c, '\0'};
    char *escaped = ulStrCvtToAsciiAlloc(one);
    text += c == '\0' ? "\\000" : escaped;
    ulStrFree(escaped);
  }
  return text;
}

// A number word: ulStrIsnum's form with an integer part that fits an int,
// read as atoi reads it; else the message of the word.
int plainNumber(const char *word, int *value, int line) {
  const long v = std::strtol(word, nullptr, 10);
  if (!ulStrIsnum(word))
    return parseError(line, "Illegal character in token '" + shown(word) + "'");
  if (v < INT_MIN || v > INT_MAX)
    return parseError(line, "Number out of range in token '" + shown(word) + "'");
  *value = static_cast<int>(v);
  return 0;
}

// The rest of a record's line: the symbol's name and sheet, the pin's name,
// or the attribute's six numbers and then its string.
int plainFields(FILE *fp, int id, SymbolInfo *symbol, AttributeInfo *attribute, int line) {
  char rest[kLine];
  char word[kLine];
  if (ulDufsFgets(rest, kLine, fp) == nullptr)
    return plainError("File read error");
  const char *p = ulStrBlk(rest);
  auto next = [&](const char *delimiters = ulStrWhitespaceV) {
    return (p = ulStrTok(p, word, kLine, delimiters)) != nullptr;
  };
  int numbers[6];
  if (id == vaAM_LTF_PIN) {
    if (!next())
      return parseError(line, "Pin name not found");
    const bool inverted = word[0] == '~';
    vaAMStorePinName(symbol, inverted ? word + 1 : word);
    vaAMStorePinInversion(symbol, inverted ? 1 : 0);
    return 0;
  }
  if (id == vaAM_LTF_SYMBOL) {
    if (!next())
      return parseError(line, "Symbol name not found");
    const std::string name = word;
    if (!next())
      return parseError(line, "Symbol sheet not found");
    if (plainNumber(word, &numbers[0], line) != 0)
      return 1;
    vaAMStoreSymName(symbol, name.c_str(), numbers[0]);
    return 0;
  }
  for (int i = 0; i < 6; ++i) {
    if (!next())
      return parseError(line, i < 2 ? "No more tokens on line" : "No valid attribute string found");
    if (plainNumber(word, &numbers[i], line) != 0)
      return 1;
  }
  if (!next("\t\n") || std::strchr(word, '=') == nullptr)
    return parseError(line, "No valid attribute string found");
  char *name = nullptr;
  char *value = nullptr;
  check(vaAMParseAttribute(word, &name, &value) == 0);
  vaAMStoreAttLocation(attribute, numbers[0], numbers[1]);
  vaAMStoreAttVisibility(attribute, numbers[2]);
  vaAMStoreAttSize(attribute, numbers[3]);
  vaAMStoreAttOrientation(attribute, numbers[4]);
  vaAMStoreAttOrigin(attribute, numbers[5]);
  vaAMStoreAnyAttribute(attribute, ulStrUpc(name), ulStrUpc(value));
  ulStrFree(name);
  ulStrFree(value);
  return 0;
}

int plainRead(FILE *fp, SymbolInfo **list) {
  bool header = false;
  int line = 0;
  SymbolInfo *symbol = nullptr;
  char word[kLine];
  for (;;) {
    // ulTklex keeps zero bytes in the word; the word's terminator is the last
    // zero byte of a buffer filled with ones beforehand.
    std::memset(word, 1, sizeof word);
    const int id = ulTklex(fp, word, kLine, "\n\t ", ulStrWhitespaceV, gKeywords);
    if (id == -1)
      return 0;
    if (line < INT_MAX)
      ++line;
    if (id == vaAM_LTF_BEGIN) {
      if (header) {
        // A message too long for the buffer gives way to the short form.
        if (parseError(line, "Multiple file headers") && gExpected.size() >= vaAM_ERRBUF_SIZE)
          gExpected = "File parse error\n";
        return 1;
      }
      header = true;
      continue;
    }
    if (!header)
      continue;
    AttributeInfo *attribute = nullptr;
    switch (id) {
    case vaAM_LTF_SYMBOL:
      symbol = *list = vaAMAllocateSymbolInfo(*list);
      break;
    case vaAM_LTF_PIN:
      if (vaAMAllocatePin(symbol) == nullptr)
        return plainError("Unexpected null pointer");
      break;
    case vaAM_LTF_ATTRIBUTE: {
      if (symbol == nullptr)
        return parseError(line, "Attribute record before any symbol record");
      // After a pin record, attributes are the newest pin's.
      AttributeInfo *&owner =
          symbol->pins != nullptr ? symbol->pins->attributes : symbol->attributes;
      attribute = owner = vaAMAllocateAnyAttribute(owner);
      break;
    }
    case vaAM_LTF_END:
      return 0;
    default:
      const auto length = static_cast<const char *>(memrchr(word, '\0', sizeof word)) - word;
      return parseError(line, "Unrecognized token '" + shown(std::string(word, length)) + "'");
    }
    if (plainFields(fp, id, symbol, attribute, line) != 0)
      return 1;
  }
}

// ---- Comparison -----------------------------------------------------------------

// A list as text: every record with every field, null strings marked.
std::string describe(const SymbolInfo *s) {
  auto text = [](const char *t) {
    return t == nullptr ? std::string("(null)") : "'" + std::string(t) + "'";
  };
  auto attributes = [&](const AttributeInfo *a) {
    std::string d;
    for (; a != nullptr; a = a->next) {
      for (int v : {a->x, a->y, a->visibility, a->size, a->orientation, a->origin})
        d += std::to_string(v) + " ";
      d += text(a->name) + "=" + text(a->value) + "\n";
    }
    return d;
  };
  std::string d;
  for (; s != nullptr; s = s->next) {
    d += "S " + text(s->name) + " " + std::to_string(s->sheet) + "\n" + attributes(s->attributes);
    for (const PinInfo *p = s->pins; p != nullptr; p = p->next)
      d += "P " + text(p->name) + std::to_string(p->inverted) + "\n" + attributes(p->attributes);
  }
  return d;
}

// The fast reader's message against the whole one: equal when the whole one
// fits the error buffer, else the same head and tail around a shortened
// middle that fills the buffer.
void compareMessages(const std::string &fast, const std::string &whole) {
  if (whole.size() < vaAM_ERRBUF_SIZE) {
    check(fast == whole);
    return;
  }
  const size_t head = whole.find(": ") + 2;
  const size_t quote = whole.find('\'', head);
  const size_t keep = quote == std::string::npos ? head : quote + 1;
  check(fast.size() == vaAM_ERRBUF_SIZE - 1 && fast.compare(0, keep, whole, 0, keep) == 0 &&
        fast.find("...") != std::string::npos && fast.back() == '\n');
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzzsupport::discardOutput(); // the reader's progress and the dump
  fuzzsupport::plainHeap();     // the reader copies into fixed buffers
  gSink = std::fopen("/dev/null", "w");
  gKeywords = vaAMInitLTFKeywords();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  SymbolInfo *list = nullptr;
  vaAMErrorBufferV[0] = '\0';
  int status = vaAMReadLTFFile(fuzzsupport::InputFile(data, size).get(), &list, gKeywords, kFile);
  check(std::memchr(vaAMErrorBufferV, '\0', sizeof vaAMErrorBufferV) != nullptr);
  check(status == 0 || vaAMErrorBufferV[0] != '\0');
  const std::string message = status == 0 ? "" : vaAMErrorBufferV;

  SymbolInfo *plainList = nullptr;
  gExpected.clear();
  check(plainRead(fuzzsupport::InputFile(data, size).get(), &plainList) == status);
  check(describe(list) == describe(plainList));
  compareMessages(message, gExpected);
  vaAMFreeSymbolInfo(plainList);

  if (status == 0) {
    check(vaAMWriteLTFFile(gSink, list) == 0);
    vaAMDumpSymbolList(list);
  }
  vaAMFreeSymbolInfo(list);
  return 0;
}
