// ltfread.cpp: the LTF file reader, the list dump and the symbol hash index.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "retag.h"
#include "symlist.h"
#include "ulCvt.h"
#include "ulMem.h"
#include "ulStr.h"

HashEntry *vaAMHashTableV[vaAM_HASH_SIZE];

namespace {

// A word or a line of a record: at most 159 characters and the terminator.
constexpr int kLineSize = 160;
constexpr const char *kNullPointer = "Unexpected null pointer";
constexpr const char *kParseError = "File parse error";

void setError(const char *text) {
  std::snprintf(vaAMErrorBufferV, sizeof vaAMErrorBufferV, "%s", text);
}

// Keeps the first n characters of text, the last three of them "..." when
// text is longer than n.
std::string clipTail(const char *text, size_t n) {
  size_t length = std::strlen(text);
  if (length <= n)
    return text;
  return std::string(text, n - 3) + "...";
}

// Keeps the last n characters of text, the first three of them "..." when
// text is longer than n (the end of a path names the file).
std::string clipHead(const char *text, size_t n) {
  size_t length = std::strlen(text);
  if (length <= n)
    return text;
  return "..." + std::string(text + length - (n - 3));
}

// Puts "File parse error at line N in file F: <lead><word><trail>\n" into the
// error buffer. When the whole text would not fit the buffer, the file name
// (its start dropped) and the word (its end dropped) are shortened so that it
// fits; each keeps at least half of the room when it needs it.
void parseError(int line, const char *file, const char *lead, const char *word = nullptr,
                const char *trail = "") {
  char head[64];
  std::snprintf(head, sizeof head, "%s at line %d in file ", kParseError, line);
  if (file == nullptr)
    file = "";
  if (word == nullptr)
    word = "";
  const size_t limit = sizeof vaAMErrorBufferV - 1;
  const size_t fixed = std::strlen(head) + 2 + std::strlen(lead) + std::strlen(trail) + 1;
  const size_t room = limit > fixed ? limit - fixed : 0;
  const size_t fileLength = std::strlen(file);
  const size_t wordLength = std::strlen(word);
  size_t fileRoom = fileLength;
  size_t wordRoom = wordLength;
  if (fileLength + wordLength > room) {
    const size_t half = room / 2;
    if (wordLength <= half)
      fileRoom = room - wordLength;
    else if (fileLength <= room - half)
      wordRoom = room - fileLength;
    else {
      wordRoom = half;
      fileRoom = room - half;
    }
  }
  std::snprintf(vaAMErrorBufferV, sizeof vaAMErrorBufferV, "%s%s: %s%s%s\n", head,
                clipHead(file, std::max<size_t>(fileRoom, 3)).c_str(), lead,
                clipTail(word, std::max<size_t>(wordRoom, 3)).c_str(), trail);
}

// The word scanner of the record lines: what ulStrTok gives with the
// delimiters " \n\t" (or "\t\n" when blanks belong to the word), without
// a set lookup per character, since it runs over every byte of a large file.
// Skips leading delimiters, copies at most size - 1 characters of the word
// (the rest of the word is passed over) and returns the position of the
// delimiter or terminator behind it; null when no word is left.
template <bool BlankIsDelimiter> const char *nextWord(const char *s, char *word, int size) {
  auto delimiter = [](char c) { return c == '\n' || c == '\t' || (BlankIsDelimiter && c == ' '); };
  word[0] = '\0';
  while (*s != '\0' && delimiter(*s))
    ++s;
  if (*s == '\0')
    return nullptr;
  int n = 0;
  for (; *s != '\0' && !delimiter(*s); ++s)
    if (n < size - 1)
      word[n++] = *s;
  word[n] = '\0';
  return s;
}

// Nearly every number of a real file is a plain integer: an optional sign
// and one to nine digits (too few to overflow), standing as a whole word at
// s. Such a word is read here, straight from the line; on success its value
// is stored, s moves behind the word and the result is true. Otherwise s is
// left alone for the general path (ulStrIsnum and atoi).
bool plainInteger(const char *&s, int *value) {
  const char *p = s;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+')
    ++p;
  int v = 0;
  int digits = 0;
  while (digits < 9 && *p >= '0' && *p <= '9') {
    v = v * 10 + (*p++ - '0');
    ++digits;
  }
  if (digits == 0 || !(*p == '\0' || *p == ' ' || *p == '\n' || *p == '\t'))
    return false;
  *value = negative ? -v : v;
  s = p;
  return true;
}

// A word that ulStrIsnum accepts, with the value atoi gives it.
bool readNumber(const char *word, int *value) {
  const char *p = word;
  if (plainInteger(p, value))
    return true;
  if (!ulStrIsnum(word))
    return false;
  *value = std::atoi(word);
  return true;
}

// "Illegal character in token '<word>'", the message of a word that should
// have been a number.
void illegalCharacter(int line, const char *file, const char *word) {
  parseError(line, file, "Illegal character in token '", word, "'");
}

// Upper case of a character in the C locale, the only one this system runs
// in: ulStrUpc's rule without a library call per character.
inline char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A pooled copy of the n characters at text (which need no terminator).
char *copyText(const char *text, size_t n) {
  if (n == 0)
    return ulStrCpy("");
  char *copy = ulStrAlloc(static_cast<int>(n) + 1);
  if (copy != nullptr) {
    std::memcpy(copy, text, n);
    copy[n] = '\0';
  }
  return copy;
}

// Prints "\r%d symbol records found..." with the count. A large file prints
// this once per symbol, so the text is put together here instead of going
// through printf's format interpreter each time.
void printProgress(int count) {
  char digits[12];
  int n = 0;
  for (unsigned int u = static_cast<unsigned int>(count); n == 0 || u != 0; u /= 10)
    digits[n++] = static_cast<char>('0' + u % 10);
  char text[48] = "\r";
  int length = 1;
  while (n > 0)
    text[length++] = digits[--n];
  std::memcpy(text + length, " symbol records found...", 25);
  std::fputs(text, stdout);
}

// Prints one attribute for the dump; false when it has no name.
bool dumpAttribute(AttributeInfo *attribute) {
  if (attribute->name == nullptr) {
    setError("Empty attribute name field");
    vaAMHandleError(nullptr);
    return false;
  }
  if (attribute->value == nullptr)
    attribute->value = ulStrCpy(vaAM_EMPTY_VALUE);
  std::printf("X = %d  Y = %d  VIS = %d  SIZE = %d  ORIEN = %d  ORIGIN = %d  ", attribute->x,
              attribute->y, attribute->visibility, attribute->size, attribute->orientation,
              attribute->origin);
  std::printf("%s=", attribute->name);
  std::printf("%s\n", attribute->value);
  return true;
}

} // namespace

// ---- Reader -----------------------------------------------------------------

int vaAMReadSymbolLine(FILE *fp, SymbolInfo *symbol, int line, const char *fileName) {
  char rest[kLineSize];
  if (ulDufsFgets(rest, sizeof rest, fp) == nullptr) {
    setError("File read error");
    return 1;
  }
  char name[kLineSize];
  char sheet[kLineSize];
  const char *p = nextWord<true>(ulStrBlk(rest), name, sizeof name);
  if (p == nullptr) {
    parseError(line, fileName, "Symbol name not found");
    return 1;
  }
  if (nextWord<true>(p, sheet, sizeof sheet) == nullptr) {
    parseError(line, fileName, "Symbol sheet not found");
    return 1;
  }
  int number = 0;
  if (!readNumber(sheet, &number)) {
    illegalCharacter(line, fileName, sheet);
    return 1;
  }
  return vaAMStoreSymName(symbol, name, number) != nullptr ? 0 : 1;
}

int vaAMReadPinLine(FILE *fp, SymbolInfo *symbol, int line, const char *fileName) {
  char rest[kLineSize];
  if (ulDufsFgets(rest, sizeof rest, fp) == nullptr) {
    setError("File read error");
    return 1;
  }
  char name[kLineSize];
  if (nextWord<true>(ulStrBlk(rest), name, sizeof name) == nullptr) {
    parseError(line, fileName, "Pin name not found");
    return 1;
  }
  const bool inverted = name[0] == '~';
  if (vaAMStorePinName(symbol, inverted ? name + 1 : name) == nullptr ||
      vaAMStorePinInversion(symbol, inverted ? 1 : 0) == nullptr)
    return 1;
  return 0;
}

int vaAMReadAttributeLine(FILE *fp, AttributeInfo *attribute, int line, const char *fileName) {
  char rest[kLineSize];
  if (ulDufsFgets(rest, sizeof rest, fp) == nullptr) {
    setError("File read error");
    return 1;
  }
  if (attribute == nullptr) {
    setError(kNullPointer);
    return 1;
  }
  // x, y, visibility, size, orientation, origin
  int numbers[6];
  char word[kLineSize];
  const char *p = ulStrBlk(rest);
  for (int i = 0; i < 6; ++i) {
    while (*p == ' ' || *p == '\n' || *p == '\t')
      ++p;
    if (plainInteger(p, &numbers[i]))
      continue;
    const char *after = nextWord<true>(p, word, sizeof word);
    if (after == nullptr) {
      parseError(line, fileName,
                 i < 2 ? "No more tokens on line" : "No valid attribute string found");
      return 1;
    }
    if (!readNumber(word, &numbers[i])) {
      illegalCharacter(line, fileName, word);
      return 1;
    }
    p = after;
  }
  // The attribute string runs to the first tab or line end (leading ones
  // skipped); the blank after the sixth number is its first character and
  // drops out with the name's blanks.
  while (*p == '\t' || *p == '\n')
    ++p;
  size_t length = 0;
  while (p[length] != '\0' && p[length] != '\t' && p[length] != '\n')
    ++length;
  const char *equals = static_cast<const char *>(std::memchr(p, '=', length));
  if (equals == nullptr) {
    parseError(line, fileName, "No valid attribute string found");
    return 1;
  }
  // Split at the first "=" as vaAMParseAttribute does: the name loses its
  // blanks, the value stays as written. Both are upper-cased on the way, in
  // one pass over the line's text.
  char nameText[kLineSize];
  size_t nameLength = 0;
  for (const char *c = p; c < equals; ++c)
    if (*c != ' ')
      nameText[nameLength++] = upper(*c);
  char valueText[kLineSize];
  size_t valueLength = 0;
  for (const char *c = equals + 1; c < p + length; ++c)
    valueText[valueLength++] = upper(*c);
  char *name = copyText(nameText, nameLength);
  char *value = copyText(valueText, valueLength);
  if (name == nullptr || value == nullptr) {
    ulStrFree(name);
    ulStrFree(value);
    setError(kNullPointer);
    return 1;
  }
  vaAMStoreAttLocation(attribute, numbers[0], numbers[1]);
  vaAMStoreAttVisibility(attribute, numbers[2]);
  vaAMStoreAttSize(attribute, numbers[3]);
  vaAMStoreAttOrientation(attribute, numbers[4]);
  vaAMStoreAttOrigin(attribute, numbers[5]);
  // Hand the copies to the record instead of copying them once more.
  ulStrFree(attribute->name);
  ulStrFree(attribute->value);
  attribute->name = name;
  attribute->value = value;
  return 0;
}

int vaAMReadLTFFile(FILE *fp, SymbolInfo **list, KeywordEntry *keywords, const char *fileName) {
  if (fp == nullptr || list == nullptr) {
    setError(kNullPointer);
    return 1;
  }
  if (fileName == nullptr)
    fileName = "";
  bool header = false;
  int line = 0;
  int symbolCount = 0;
  SymbolInfo *symbol = nullptr; // the symbol of the last S line of this file
  bool pinContext = false;      // a P line came after that S line
  char word[kLineSize];

  for (;;) {
    const int id = ulTklex(fp, word, sizeof word, "\n\t ", " \n\t", keywords);
    if (id == -1) {
      std::printf("\n");
      return 0;
    }
    if (line < INT_MAX)
      ++line; // one per word read here: record keywords and preamble words

    if (id == vaAM_LTF_BEGIN) {
      if (!header) {
        header = true;
        continue;
      }
      if (std::snprintf(vaAMErrorBufferV, sizeof vaAMErrorBufferV,
                        "%s at line %d in file %s: Multiple file headers\n", kParseError, line,
                        fileName) >= static_cast<int>(sizeof vaAMErrorBufferV))
        std::snprintf(vaAMErrorBufferV, sizeof vaAMErrorBufferV, "%s\n", kParseError);
      return 1;
    }
    if (!header)
      continue;

    switch (id) {
    case vaAM_LTF_SYMBOL: {
      if (symbolCount < INT_MAX)
        ++symbolCount;
      printProgress(symbolCount);
      SymbolInfo *head = vaAMAllocateSymbolInfo(*list);
      if (head == nullptr)
        return 1;
      *list = symbol = head;
      pinContext = false;
      if (vaAMReadSymbolLine(fp, symbol, line, fileName) != 0)
        return 1;
      break;
    }
    case vaAM_LTF_PIN:
      if (vaAMAllocatePin(symbol) == nullptr)
        return 1;
      pinContext = true;
      if (vaAMReadPinLine(fp, symbol, line, fileName) != 0)
        return 1;
      break;
    case vaAM_LTF_ATTRIBUTE: {
      if (symbol == nullptr) {
        parseError(line, fileName, "Attribute record before any symbol record");
        return 1;
      }
      AttributeInfo *&owner = pinContext ? symbol->pins->attributes : symbol->attributes;
      AttributeInfo *head = vaAMAllocateAnyAttribute(owner);
      if (head == nullptr)
        return 1;
      owner = head;
      if (vaAMReadAttributeLine(fp, head, line, fileName) != 0)
        return 1;
      break;
    }
    case vaAM_LTF_END:
      std::printf("\n");
      return 0;
    default:
      parseError(line, fileName, "Unrecognized token '", word, "'");
      return 1;
    }
  }
}

// ---- Dump -----------------------------------------------------------------------

int vaAMDumpSymbolList(SymbolInfo *list) {
  for (SymbolInfo *symbol = list; symbol != nullptr; symbol = symbol->next) {
    std::printf("Symbol = %s  Sheet = %d\n", symbol->name != nullptr ? symbol->name : "",
                symbol->sheet);
    std::printf("Symbol Attributes:\n");
    for (AttributeInfo *a = symbol->attributes; a != nullptr; a = a->next)
      if (!dumpAttribute(a))
        return 0;
    std::printf("Pins and Attributes:\n");
    for (PinInfo *pin = symbol->pins; pin != nullptr; pin = pin->next) {
      std::printf("%s%s\n", pin->inverted == 1 ? "~" : "", pin->name != nullptr ? pin->name : "");
      for (AttributeInfo *a = pin->attributes; a != nullptr; a = a->next)
        if (!dumpAttribute(a))
          return 0;
    }
  }
  return 0;
}

// ---- Hash index -----------------------------------------------------------------

int vaAMGetHashCode(const char *text) {
  unsigned int sum = 0;
  if (text != nullptr) {
    for (unsigned int i = 0; text[i] != '\0'; ++i) {
      // Characters count as signed 8-bit values, so those with the high bit
      // set subtract from the sum.
      const auto c = static_cast<signed char>(text[i]);
      sum += static_cast<unsigned int>(static_cast<int>(c)) << (i % 8);
    }
  }
  return static_cast<int>(sum % vaAM_HASH_SIZE);
}

HashEntry *vaAMAllocateHashEntry(HashEntry *next) {
  auto *entry = static_cast<HashEntry *>(ulMemCalloc(1, sizeof(HashEntry), "vaAMHashEntry"));
  if (entry == nullptr) {
    setError(kNullPointer);
    return nullptr;
  }
  entry->next = next;
  return entry;
}

int vaAMAddHashEntry(SymbolInfo *symbol, int bucket) {
  if (bucket < 0 || bucket >= vaAM_HASH_SIZE)
    return 0;
  HashEntry *entry = vaAMAllocateHashEntry(vaAMHashTableV[bucket]);
  if (entry != nullptr) {
    entry->symbol = symbol;
    vaAMHashTableV[bucket] = entry;
  }
  return 0;
}

int vaAMTransList(SymbolInfo *list) {
  for (SymbolInfo *symbol = list; symbol != nullptr; symbol = symbol->next) {
    const char *key = ulStrCat(symbol->name, ulCvtIntStr(symbol->sheet));
    vaAMAddHashEntry(symbol, vaAMGetHashCode(key));
  }
  return 0;
}
