// ltfread.cpp: the LTF file reader, the list dump and the symbol hash index.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "retag.h"
#include "retagInternal.h"
#include "symlist.h"
#include "ulBase.h"
#include "ulCvt.h"
#include "ulMem.h"
#include "ulStr.h"

HashEntry *vaAMHashTableV[vaAM_HASH_SIZE];

namespace {

// The reader's observer (vaAMSetLtfObserver): none in retag.
struct Observer {
  vaAMLtfObserver proc = nullptr;
  void *user = nullptr;
};

Observer &observer() {
  static Observer o;
  return o;
}

// Tells the observer, if there is one, about the word just read.
inline void observe(FILE *fp, int id, const char *word, void *record) {
  const Observer &o = observer();
  if (o.proc != nullptr) [[unlikely]]
    o.proc(id, word, std::ftell(fp) - 1, record, o.user);
}

} // namespace

void vaAMSetLtfObserver(vaAMLtfObserver proc, void *user) {
  observer() = Observer{proc, user};
}

using vaam::kLineSize;
using vaam::kNullPointer;
using vaam::setError;

namespace {

// Keeps the first n characters of text, the last three of them "..." when
// text is longer than n.
std::string clipTail(const char *text, size_t n) {
  size_t length = std::strlen(text);
  if (length <= n)
    return text;
  return std::string(text, n - 3) + "...";
}

using vaam::clipHead;
using vaam::shownWord;

// Puts "File parse error at line N in file F: <lead><word><trail>\n" into the
// error buffer. When the whole text would not fit the buffer, the file name
// (its start dropped) and the word (its end dropped) are shortened so that it
// fits; each keeps at least half of the room when it needs it.
// The word is shown through shownWord; rawLength, when given, is its length
// counting the zero bytes inside it.
void parseError(int line, const char *file, const char *lead, const char *word = nullptr,
                const char *trail = "", size_t rawLength = std::string::npos) {
  char head[64];
  std::snprintf(head, sizeof head, "File parse error at line %d in file ", line);
  if (file == nullptr)
    file = "";
  if (word == nullptr)
    word = "";
  const std::string shown =
      shownWord(word, rawLength != std::string::npos ? rawLength : std::strlen(word));
  word = shown.c_str();
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
// delimiters " \n\t", without a set lookup per character, since it runs over
// every byte of a large file. Skips leading delimiters, copies at most
// size - 1 characters of the word (the rest of the word is passed over) and
// returns the position of the delimiter or terminator behind it; null when no
// word is left.
const char *nextWord(const char *s, char *word, int size) {
  word[0] = '\0';
  while (*s != '\0' && ulCharIsDelimiter(*s))
    ++s;
  if (*s == '\0')
    return nullptr;
  int n = 0;
  for (; *s != '\0' && !ulCharIsDelimiter(*s); ++s)
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
[[gnu::always_inline]] inline bool plainInteger(const char *&s, int *value) {
  const char *p = s;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+')
    ++p;
  unsigned int digit = static_cast<unsigned char>(*p) - '0';
  if (digit > 9)
    return false;
  int v = 0;
  int digits = 0;
  do {
    v = v * 10 + static_cast<int>(digit);
    digit = static_cast<unsigned char>(*++p) - '0';
  } while (++digits < 9 && digit <= 9);
  if (!(*p == '\0' || ulCharIsDelimiter(*p)))
    return false;
  *value = negative ? -v : v;
  s = p;
  return true;
}

// A word that ulStrIsnum accepts and whose integer part fits an int, with
// the value atoi gives it.
bool readNumber(const char *word, int *value) {
  const char *p = word;
  if (plainInteger(p, value))
    return true;
  return vaam::numberValue(word, value);
}

// The message of a word that should have been a number: "Illegal character
// in token '<word>'", or "Number out of range in token '<word>'" for a number
// too large for the field.
[[gnu::cold]] void illegalCharacter(int line, const char *file, const char *word) {
  if (ulStrIsnum(word))
    parseError(line, file, "Number out of range in token '", word, "'");
  else
    parseError(line, file, "Illegal character in token '", word, "'");
}

// Upper case of a character in the C locale, the only one this system runs
// in: ulStrUpc's rule without a library call per character.
inline char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A pooled copy of the n characters at text (which need no terminator).
char *copyText(const char *text, size_t n) {
  char *copy = ulStrAlloc(static_cast<int>(n) + 1);
  if (copy != nullptr) {
    if (n != 0)
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
#if defined(__GLIBC__)
  fputs_unlocked(text, stdout);
#else
  std::fputs(text, stdout);
#endif
}

// The keyword lookup of the reader: what ulTklex does with the list (the
// first entry whose name equals the word gives its id, none gives 0), with
// the one-character names, which the record keywords are, in a table.
class KeywordIndex {
public:
  explicit KeywordIndex(const KeywordEntry *list) : list_(list) {
    for (const KeywordEntry *k = list; k != nullptr; k = k->next) {
      if (k->name == nullptr || k->length != 1)
        continue;
      const auto c = static_cast<unsigned char>(k->name[0]);
      if (!known_[c]) {
        known_[c] = true;
        single_[c] = k->id;
      }
    }
  }
  int find(const char *word, int length) const {
    if (length == 1)
      return single_[static_cast<unsigned char>(word[0])];
    for (const KeywordEntry *k = list_; k != nullptr; k = k->next) {
      if (k->name == nullptr || k->length != length)
        continue;
      int i = 0;
      while (i < length && k->name[i] == word[i])
        ++i;
      if (i == length)
        return k->id;
    }
    return 0;
  }

private:
  const KeywordEntry *list_;
  bool known_[UCHAR_MAX + 1] = {};
  int single_[UCHAR_MAX + 1] = {};
};

// Reads the next word of the file as ulTklex(fp, word, kLineSize, "\n\t ",
// " \n\t", ...) does, except that the character that ended the word is stored
// in *end (EOF at the end of the file) instead of going back into the stream.
// Returns the word's length, or -1 when only blanks were left.
inline int readWord(FILE *fp, char *word, int *end) {
  int c = ulTkGetc(fp);
  while (c != EOF && ulCharIsDelimiter(static_cast<char>(c)))
    c = ulTkGetc(fp);
  if (c == EOF)
    return -1;
  int length = 0;
  do {
    if (length < kLineSize - 1)
      word[length++] = static_cast<char>(c);
    c = ulTkGetc(fp);
  } while (c != EOF && !ulCharIsDelimiter(static_cast<char>(c)));
  word[length] = '\0';
  *end = c;
  return length;
}

// The record line parsers: each takes the rest of its line as ulDufsFgets
// gave it (at most 159 characters) and fills the record.

int parseSymbolLine(const char *rest, SymbolInfo *symbol, int line, const char *fileName) {
  char name[kLineSize];
  char sheet[kLineSize];
  const char *p = nextWord(ulStrBlk(rest), name, sizeof name);
  if (p == nullptr) {
    parseError(line, fileName, "Symbol name not found");
    return 1;
  }
  if (nextWord(p, sheet, sizeof sheet) == nullptr) {
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

int parsePinLine(const char *rest, SymbolInfo *symbol, int line, const char *fileName) {
  // The name is the first word, taken from the line in place: the line is
  // shorter than a word buffer, so nothing of it is cut.
  const char *start = rest;
  while (ulCharIsSpace(*start))
    ++start;
  if (*start == '\0') {
    parseError(line, fileName, "Pin name not found");
    return 1;
  }
  const char *end = start;
  while (*end != '\0' && !ulCharIsDelimiter(*end))
    ++end;
  const bool inverted = *start == '~';
  if (inverted)
    ++start;
  // What vaAMStorePinName and vaAMStorePinInversion do, with the name's
  // length already known.
  if (symbol == nullptr || symbol->pins == nullptr) {
    setError(kNullPointer);
    return 1;
  }
  char *name = copyText(start, static_cast<size_t>(end - start));
  if (name == nullptr) {
    setError(kNullPointer);
    return 1;
  }
  ulStrFree(symbol->pins->name);
  symbol->pins->name = name;
  symbol->pins->inverted = inverted ? 1 : 0;
  return 0;
}

int parseAttributeLine(const char *rest, AttributeInfo *attribute, int line, const char *fileName) {
  if (attribute == nullptr) {
    setError(kNullPointer);
    return 1;
  }
  // x, y, visibility, size, orientation, origin: kept in scalars rather than
  // an array, which the compiler would copy to the record with one wide load
  // right after six narrow stores (a store-forwarding stall on every line).
  int x, y, visibility, size, orientation, origin;
  const char *p = rest;
  while (ulCharIsSpace(*p))
    ++p;
  auto number = [&](int i, int *value) __attribute__((always_inline)) {
    while (ulCharIsDelimiter(*p))
      ++p;
    if (plainInteger(p, value))
      return true;
    char word[kLineSize];
    const char *after = nextWord(p, word, sizeof word);
    if (after == nullptr) {
      parseError(line, fileName,
                 i < 2 ? "No more tokens on line" : "No valid attribute string found");
      return false;
    }
    if (!readNumber(word, value)) {
      illegalCharacter(line, fileName, word);
      return false;
    }
    p = after;
    return true;
  };
  if (!number(0, &x) || !number(1, &y) || !number(2, &visibility) || !number(3, &size) ||
      !number(4, &orientation) || !number(5, &origin))
    return 1;
  // The attribute string runs to the first tab or line end (leading ones
  // skipped); the blank after the sixth number is its first character and
  // drops out with the name's blanks.
  while (*p == '\t' || *p == '\n')
    ++p;
  const char *equals = nullptr;
  size_t nameLength = 0; // characters of the name other than blanks
  const char *stop = p;
  for (; *stop != '\0' && *stop != '\t' && *stop != '\n'; ++stop) {
    if (equals != nullptr)
      continue;
    if (*stop == '=')
      equals = stop;
    else if (*stop != ' ')
      ++nameLength;
  }
  if (equals == nullptr) {
    parseError(line, fileName, "No valid attribute string found");
    return 1;
  }
  // Split at the first "=" as vaAMParseAttribute does: the name loses its
  // blanks, the value stays as written. Both are upper-cased as they are
  // copied into their pooled strings.
  const auto valueLength = static_cast<size_t>(stop - (equals + 1));
  char *name = ulStrAlloc(static_cast<int>(nameLength) + 1);
  char *value = ulStrAlloc(static_cast<int>(valueLength) + 1);
  if (name == nullptr || value == nullptr) {
    ulStrFree(name);
    ulStrFree(value);
    setError(kNullPointer);
    return 1;
  }
  char *to = name;
  for (const char *c = p; c < equals; ++c)
    if (*c != ' ')
      *to++ = upper(*c);
  *to = '\0';
  to = value;
  for (const char *c = equals + 1; c < stop; ++c)
    *to++ = upper(*c);
  *to = '\0';
  attribute->x = x;
  attribute->y = y;
  attribute->visibility = visibility;
  attribute->size = size;
  attribute->orientation = orientation;
  attribute->origin = origin;
  // Hand the copies to the record instead of copying them once more. A new
  // record has no strings yet: the calls are skipped for it.
  if (attribute->name != nullptr)
    ulStrFree(attribute->name);
  if (attribute->value != nullptr)
    ulStrFree(attribute->value);
  attribute->name = name;
  attribute->value = value;
  return 0;
}

} // namespace

// ---- Reader -----------------------------------------------------------------

namespace {

// Reads the rest of the current record line and hands it to parse; at the
// end of the file the line is missing: "File read error".
template <class Record, class Parse>
int readRestOfLine(FILE *fp, Record *record, int line, const char *fileName, Parse parse) {
  char rest[kLineSize];
  if (ulDufsFgets(rest, sizeof rest, fp) == nullptr) {
    setError("File read error");
    return 1;
  }
  return parse(rest, record, line, fileName);
}

} // namespace

int vaAMReadSymbolLine(FILE *fp, SymbolInfo *symbol, int line, const char *fileName) {
  return readRestOfLine(fp, symbol, line, fileName, parseSymbolLine);
}

int vaAMReadPinLine(FILE *fp, SymbolInfo *symbol, int line, const char *fileName) {
  return readRestOfLine(fp, symbol, line, fileName, parsePinLine);
}

int vaAMReadAttributeLine(FILE *fp, AttributeInfo *attribute, int line, const char *fileName) {
  return readRestOfLine(fp, attribute, line, fileName, parseAttributeLine);
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
  char rest[kLineSize];
  const KeywordIndex index(keywords);

  for (;;) {
    // The character that ended the word is kept rather than pushed back: a
    // record line hands it to the read of the rest of its line, and every
    // other path puts it back, leaving the stream as ulTklex would.
    int end = EOF;
    const int length = readWord(fp, word, &end);
    const int id = length < 0 ? -1 : index.find(word, length);
    auto putBack = [&] {
      if (end != EOF)
        ungetc(end, fp);
    };
    auto readRest = [&] {
      if (ulDufsFgetsAfter(end, rest, sizeof rest, fp) != nullptr)
        return true;
      setError("File read error");
      return false;
    };
    if (id == -1) {
      std::printf("\n");
      return 0;
    }
    if (line < INT_MAX)
      ++line; // one per word read here: record keywords and preamble words

    if (id == vaAM_LTF_BEGIN) {
      observe(fp, id, word, nullptr);
      putBack();
      if (!header) {
        header = true;
        continue;
      }
      vaam::setParseErrorOrShort(line, fileName, ": Multiple file headers");
      return 1;
    }
    if (!header) {
      observe(fp, id, word, nullptr);
      putBack();
      continue;
    }

    switch (id) {
    case vaAM_LTF_SYMBOL: {
      if (symbolCount < INT_MAX)
        ++symbolCount;
      printProgress(symbolCount);
      SymbolInfo *head = vaAMAllocateSymbolInfo(*list);
      if (head == nullptr) {
        putBack();
        return 1;
      }
      *list = symbol = head;
      pinContext = false;
      observe(fp, id, word, symbol);
      if (!readRest() || parseSymbolLine(rest, symbol, line, fileName) != 0)
        return 1;
      break;
    }
    case vaAM_LTF_PIN:
      if (vaAMAllocatePin(symbol) == nullptr) {
        observe(fp, id, word, nullptr);
        putBack();
        return 1;
      }
      pinContext = true;
      observe(fp, id, word, symbol->pins);
      if (!readRest() || parsePinLine(rest, symbol, line, fileName) != 0)
        return 1;
      break;
    case vaAM_LTF_ATTRIBUTE: {
      if (symbol == nullptr) {
        observe(fp, id, word, nullptr);
        putBack();
        parseError(line, fileName, "Attribute record before any symbol record");
        return 1;
      }
      AttributeInfo *&owner = pinContext ? symbol->pins->attributes : symbol->attributes;
      AttributeInfo *head = vaAMAllocateAnyAttribute(owner);
      if (head == nullptr) {
        putBack();
        return 1;
      }
      owner = head;
      observe(fp, id, word, head);
      if (!readRest() || parseAttributeLine(rest, head, line, fileName) != 0)
        return 1;
      break;
    }
    case vaAM_LTF_END:
      observe(fp, id, word, nullptr);
      putBack();
      std::printf("\n");
      return 0;
    default:
      observe(fp, id, word, nullptr);
      putBack();
      parseError(line, fileName, "Unrecognized token '", word, "'", static_cast<size_t>(length));
      return 1;
    }
  }
}

// ---- Dump -----------------------------------------------------------------------

int vaAMDumpSymbolList(SymbolInfo *list) {
  auto dump = [](AttributeInfo *a) {
    if (vaam::printAttribute(stdout, a, vaam::AttributeForm::Readable))
      return true;
    vaAMHandleError(nullptr);
    return false;
  };
  for (SymbolInfo *symbol = list; symbol != nullptr; symbol = symbol->next) {
    std::printf("Symbol = %s  Sheet = %d\n", symbol->name != nullptr ? symbol->name : "",
                symbol->sheet);
    std::printf("Symbol Attributes:\n");
    for (AttributeInfo *a = symbol->attributes; a != nullptr; a = a->next)
      if (!dump(a))
        return 0;
    std::printf("Pins and Attributes:\n");
    for (PinInfo *pin = symbol->pins; pin != nullptr; pin = pin->next) {
      std::printf("%s%s\n", pin->inverted == 1 ? "~" : "", pin->name != nullptr ? pin->name : "");
      for (AttributeInfo *a = pin->attributes; a != nullptr; a = a->next)
        if (!dump(a))
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
