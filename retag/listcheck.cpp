// listcheck.cpp: ltfcheck's work, the check of an LTF list against a library
// before retag applies it (see companion.h).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "apply.h"
#include "companion.h"
#include "retag.h"
#include "retagInternal.h"
#include "symlist.h"
#include "ulStr.h"
#include "vqBlock.h"

namespace {

// The bytes of the list file and where its lines begin.
class ListText {
public:
  explicit ListText(const char *fileName) {
    std::ifstream in(fileName, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    starts_.push_back(0);
    for (size_t i = 0; i < bytes_.size(); ++i)
      if (bytes_[i] == '\n')
        starts_.push_back(static_cast<long>(i) + 1);
  }
  // The physical line (from 1) of the byte at offset; a line end belongs to
  // the line it ends.
  int lineOf(long offset) const {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    return static_cast<int>(after - starts_.begin());
  }
  // The text of line n, without its line end (LF or CR LF).
  std::string line(int n) const {
    if (n < 1 || n > static_cast<int>(starts_.size()))
      return "";
    const long from = starts_[n - 1];
    long to =
        n < static_cast<int>(starts_.size()) ? starts_[n] - 1 : static_cast<long>(bytes_.size());
    if (to > from && n < static_cast<int>(starts_.size()) && bytes_[to - 1] == '\r')
      --to;
    return bytes_.substr(from, to - from);
  }

private:
  std::string bytes_;
  std::vector<long> starts_;
};

// A word the reader took, with its line.
struct Seen {
  int id;
  std::string word;
  int line;
};

// What the reader's observer collects.
struct Observed {
  const ListText *text;
  std::vector<Seen> words;
  std::unordered_map<const void *, int> lineOf; // record -> physical line
};

void observeWord(int id, const char *word, long offset, void *record, void *user) {
  auto *observed = static_cast<Observed *>(user);
  const int line = observed->text->lineOf(offset);
  observed->words.push_back({id, word, line});
  if (record != nullptr)
    observed->lineOf[record] = line;
}

// Reads the list as retag does; its progress output is not wanted here.
int readList(FILE *fp, SymbolInfo **list, const char *fileName, Observed *observed) {
  KeywordEntry *keywords = vaAMInitLTFKeywords();
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) {
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  vaAMSetLtfObserver(observeWord, observed);
  const int result = vaAMReadLTFFile(fp, list, keywords, fileName);
  vaAMSetLtfObserver(nullptr, nullptr);
  std::fflush(stdout);
  if (saved >= 0) {
    dup2(saved, STDOUT_FILENO);
    close(saved);
  }
  vaAMFreeAnyKeywords(keywords);
  return result;
}

// The text of the reader's message without retag's "File parse error at
// line N in file F: " head and its line end.
std::string parseMessage(const char *buffer) {
  std::string text = buffer;
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  if (text.rfind("File parse error at line ", 0) == 0) {
    const size_t inFile = text.find(" in file ");
    const size_t colon = inFile == std::string::npos ? inFile : text.find(": ", inFile);
    if (colon != std::string::npos)
      return text.substr(colon + 2);
  }
  return text;
}

std::string symbolKey(const char *name, int sheet) {
  std::string key = name != nullptr ? name : "";
  for (char &c : key)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key + '\n' + std::to_string(sheet);
}

std::string quoted(const std::string &text) {
  return "'" + vaam::shownWord(text.c_str(), text.size()) + "'";
}

// A block file of the library.
struct LibraryBlock {
  std::string path;
  std::string name;
  int number;
};

// The checker of one list against one library.
class Checker {
public:
  Checker(const char *shownName, const char *alias, const ListText &text, vaAMListCheck *check)
      : shownName_(shownName), alias_(alias), text_(text), check_(check) {}

  void listMessage(int line, const char *severity, const std::string &message) {
    listMessages_.push_back({shownName_, line, severity, message});
  }
  void blockMessage(const std::string &path, const char *severity, const std::string &message) {
    blockMessages_.push_back({vaAMShownPath(path), 0, severity, message});
  }

  // Moves the messages into the result, list first in line order, and
  // counts them.
  void finish() {
    std::stable_sort(listMessages_.begin(), listMessages_.end(),
                     [](const vaAMMessage &a, const vaAMMessage &b) { return a.line < b.line; });
    for (auto *messages : {&listMessages_, &blockMessages_})
      for (vaAMMessage &m : *messages) {
        ++(m.severity == "error" ? check_->errors : check_->warnings);
        check_->messages.push_back(std::move(m));
      }
  }

  // The header: without one retag reads the whole list as its preamble.
  void header(const Observed &observed) {
    for (const Seen &seen : observed.words)
      if (seen.id == vaAM_LTF_BEGIN)
        return;
    for (const Seen &seen : observed.words)
      if (ulStrIcmp(seen.word.c_str(), ".BL") == 0) {
        listMessage(seen.line, "error",
                    "header " + quoted(seen.word) +
                        " is not '.BL': retag reads the whole list as a preamble and applies "
                        "no symbol");
        return;
      }
    listMessage(0, "error", "no '.BL' header: retag reads no symbol from the list");
  }

  // The attribute texts of the list as written: what retag changes of them.
  void values(const SymbolInfo *list, const Observed &observed) {
    auto check = [&](const AttributeInfo *a) {
      const auto found = observed.lineOf.find(a);
      if (found == observed.lineOf.end())
        return;
      const std::string line = text_.line(found->second);
      const size_t equals = line.find('=');
      if (equals == std::string::npos)
        return;
      const std::string value = line.substr(equals + 1, line.find('\t', equals) - equals - 1);
      if (std::any_of(value.begin(), value.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
        listMessage(found->second, "warning",
                    "value " + quoted(value) + " is applied in upper case: " +
                        quoted(a->value != nullptr ? a->value : ""));
      if (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        listMessage(found->second, "warning",
                    "value " + quoted(value) + " ends in blanks, which the block drops");
    };
    for (const SymbolInfo *s = list; s != nullptr; s = s->next) {
      for (const AttributeInfo *a = s->attributes; a != nullptr; a = a->next)
        check(a);
      for (const PinInfo *p = s->pins; p != nullptr; p = p->next)
        for (const AttributeInfo *a = p->attributes; a != nullptr; a = a->next)
          check(a);
    }
  }

  // The symbols against the library's blocks.
  void symbols(SymbolInfo *list, const Observed &observed,
               const std::vector<LibraryBlock> &blocks) {
    // The list holds the symbol read last first, and retag takes the first
    // of a name and sheet: the one that stands last in the file.
    std::unordered_map<std::string, SymbolInfo *> winner;
    std::vector<SymbolInfo *> inFileOrder;
    for (SymbolInfo *s = list; s != nullptr; s = s->next) {
      winner.try_emplace(symbolKey(s->name, s->sheet), s);
      inFileOrder.push_back(s);
    }
    std::reverse(inFileOrder.begin(), inFileOrder.end());
    std::map<std::string, const LibraryBlock *> byKey;
    for (const LibraryBlock &b : blocks)
      byKey.try_emplace(symbolKey(b.name.c_str(), b.number), &b);

    std::unordered_map<const SymbolInfo *, size_t> index;
    for (SymbolInfo *s : inFileOrder) {
      const int line = lineOf(observed, s);
      const std::string key = symbolKey(s->name, s->sheet);
      vaAMListSymbol result{s->name != nullptr ? s->name : "", s->sheet, line, "", "apply"};
      SymbolInfo *first = winner[key];
      const auto block = byKey.find(key);
      if (block != byKey.end())
        result.block = vaAMShownPath(block->second->path);
      if (first != s) {
        listMessage(line, "warning",
                    "symbol " + result.name + " sheet " + std::to_string(s->sheet) +
                        " is listed again at line " + std::to_string(lineOf(observed, first)) +
                        ", which wins: this record is not used");
        result.result = "repeated";
      } else if (block == byKey.end()) {
        listMessage(line, "warning",
                    "symbol " + result.name + " sheet " + std::to_string(s->sheet) +
                        " is not in library " + alias_ + ": retag does not use it");
        result.result = "no block";
      } else if (!applies(s, *block->second, observed)) {
        result.result = "fail";
      }
      index[s] = check_->symbols.size();
      check_->symbols.push_back(result);
    }
    for (const LibraryBlock &b : blocks)
      if (winner.find(symbolKey(b.name.c_str(), b.number)) == winner.end())
        blockMessage(b.path, "error",
                     "not in the list: retag logs \"SYMBOL " + alias_ + ":" + b.name + "." +
                         std::to_string(b.number) + " was not found in the LTF file\"");
  }

private:
  static int lineOf(const Observed &observed, const void *record) {
    const auto found = observed.lineOf.find(record);
    return found != observed.lineOf.end() ? found->second : 0;
  }

  // Whether retag, applying symbol to the block, would get to its save;
  // each reason it would not is an error.
  bool applies(SymbolInfo *symbol, const LibraryBlock &file, const Observed &observed) {
    const int line = lineOf(observed, symbol);
    vqBlock *block =
        vaAMReadBlockQuietly(file.path.c_str(), alias_.c_str(), file.name.c_str(), file.number);
    if (block == nullptr) {
      blockMessage(file.path, "error",
                   "cannot be read as a block: retag logs \"Could not get the SYMBOL "
                   "information\" for it");
      return false;
    }
    bool ok = true;
    std::set<std::string> pinsReported;
    std::set<const AttributeInfo *> used;
    for (const vqObject *o = block->objects; o != nullptr; o = o->next) {
      if (o->kind != vqKIND_ATTRIBUTE)
        continue;
      const auto *attribute = static_cast<const vqText *>(o);
      const std::string text = attribute->text != nullptr ? attribute->text : "";
      if (attribute->owner != nullptr) {
        int sense = 0;
        const char *pin = vaAMGetAssociatedPin(attribute, &sense);
        const PinInfo *listed = symbol->pins;
        while (listed != nullptr &&
               (pin == nullptr || ulStrIcmp(listed->name, pin) != 0 || listed->inverted != sense))
          listed = listed->next;
        const std::string shownPin =
            pin != nullptr ? std::string(sense ? "~" : "") + pin : std::string("<no pin>");
        if (listed == nullptr && pinsReported.insert(shownPin).second) {
          listMessage(line, "error",
                      "symbol " + std::string(symbol->name) + " lacks pin " + shownPin + " of " +
                          vaAMShownPath(file.path) + " (attribute " + text +
                          "): retag leaves the symbol unsaved");
          ok = false;
        }
        continue;
      }
      char *name = nullptr;
      char *value = nullptr;
      if (vaAMParseAttribute(text.c_str(), &name, &value) != 0)
        continue;
      AttributeInfo *info = symbol->attributes;
      while (info != nullptr && (used.count(info) != 0 || ulStrIcmp(info->name, name) != 0))
        info = info->next;
      if (info != nullptr) {
        used.insert(info);
        if (std::strcmp(info->name, name) != 0) {
          listMessage(lineOf(observed, info), "error",
                      "attribute " + std::string(info->name) + " differs only in case from " +
                          text + " of " + vaAMShownPath(file.path) +
                          ": retag refuses the rewrite and leaves the symbol unsaved");
          ok = false;
        }
      }
      ulStrFree(name);
      ulStrFree(value);
    }
    q_free_block(block);
    return ok;
  }

  std::string shownName_;
  std::string alias_;
  const ListText &text_;
  vaAMListCheck *check_;
  vaAMMessages listMessages_;
  vaAMMessages blockMessages_;
};

} // namespace

int vaAMCheckList(const char *fileName, const char *shownName, const char *libraryPath,
                  const char *alias, vaAMListCheck *check) {
  FILE *fp = std::fopen(fileName, "r");
  if (fp == nullptr) {
    vaAMSetError("File %s could not be opened.", vaam::clipHead(fileName, 90).c_str());
    return 1;
  }
  const ListText text(fileName);
  Observed observed{&text, {}, {}};
  SymbolInfo *list = nullptr;
  const int read = readList(fp, &list, fileName, &observed);
  std::fclose(fp);

  Checker checker(shownName, alias, text, check);
  if (read != 0) {
    // retag stops at the first error of its list: so does the check.
    const int line = observed.words.empty() ? 0 : observed.words.back().line;
    checker.listMessage(line, "error", parseMessage(vaAMErrorBufferV));
  } else {
    std::vector<LibraryBlock> blocks;
    (void)vaAMForEachSymbolFile(libraryPath, "*",
                                [&](const char *path, const char *name, int number) {
                                  blocks.push_back({path, name, number});
                                });
    check->blocks = static_cast<int>(blocks.size());
    checker.header(observed);
    checker.values(list, observed);
    checker.symbols(list, observed, blocks);
  }
  checker.finish();
  vaAMFreeSymbolInfo(list);
  return 0;
}

int vaAMListStatus(const vaAMListCheck *check) {
  return check->errors > 0 ? 2 : check->warnings > 0 ? 1 : 0;
}
