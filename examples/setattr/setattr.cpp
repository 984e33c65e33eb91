// setattr: gives every symbol of a library one attribute of its own.
//
//   setattr LIBRARY NAME=VALUE
//
// Run in a project directory: its scribant.ini names LIBRARY (a DIR line's
// alias). For each symbol block file LIBRARY/sym/NAME.N, in name order, the
// symbol's own attribute NAME (not a pin's) is rewritten to NAME=VALUE, or
// added when the symbol has none. Each changed symbol is saved the way every
// save of the library goes: under the block file's lock, its old content
// first copied to NAME.N.bac, the new content written to a temporary file
// and renamed over the old one, so that the file always holds its old or its
// new content. One line per symbol tells what was done. Exit status 0 when
// every symbol has the attribute, 1 when some could not be changed, 2 when
// the program could not run.
//
// The program follows the calling sequence of the programming interface:
// gpi_init once; per symbol load, edit, save, unload; gpi_uninit once.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <retag/gpi.h>
#include <retag/vfp.h>
#include <retag/vqAttr.h>

namespace {

struct Symbol {
  std::string name;
  int number;
  bool operator<(const Symbol &other) const {
    return name != other.name ? name < other.name : number < other.number;
  }
};

// The symbol block files of a library directory: sym/NAME.N with a number N.
std::vector<Symbol> symbolsOf(const std::string &directory) {
  std::vector<Symbol> symbols;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(directory + "/sym", error)) {
    const std::string file = entry.path().filename();
    const size_t dot = file.rfind('.');
    if (!entry.is_regular_file() || dot == 0 || dot == std::string::npos ||
        dot + 1 == file.size() || dot + 6 < file.size() ||
        file.find_first_not_of("0123456789", dot + 1) != std::string::npos)
      continue;
    symbols.push_back({file.substr(0, dot), std::stoi(file.substr(dot + 1))});
  }
  std::sort(symbols.begin(), symbols.end());
  return symbols;
}

// Gives the current block the attribute text; says what it did. The
// interface trims trailing blanks of the text it is given in place, so text
// is the program's own buffer.
const char *setAttribute(char *text, const char *name) {
  vqBlock *block = q_get_block();
  vqText *attribute = q_get_attribute(block, name, nullptr);
  if (attribute != nullptr) {
    if (attribute->text != nullptr && std::strcmp(attribute->text, text) == 0)
      return "unchanged";
    // A rewrite leaves the changed state alone: mark the block changed first
    // (which also takes the block file's lock).
    q_set_changed_flag(block);
    if (gpi_m_attr(text, attribute) == 0)
      return nullptr;
  } else if (gpi_a_attribute(text, nullptr, 0) == 0) {
    return nullptr;
  }
  return gpi_save() != 0 ? (attribute != nullptr ? "rewritten" : "added") : nullptr;
}

} // namespace

int main(int argc, char **argv) {
  const char *equals = argc == 3 ? std::strchr(argv[2], '=') : nullptr;
  if (equals == nullptr || equals == argv[2]) {
    std::fprintf(stderr, "usage: setattr LIBRARY NAME=VALUE\n");
    return 2;
  }
  const std::string alias = argv[1];
  const std::string text = argv[2];
  const std::string name(text, 0, static_cast<size_t>(equals - argv[2]));

  if (gpi_init() == 0) {
    std::fprintf(stderr, "setattr: no project here (scribant.ini)\n");
    return 2;
  }
  const vfpObjId project = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
  const LibraryDirId library = vfpFindNextLib(project, 0, alias.c_str(), nullptr);
  char directory[vfpPATH_SIZE] = {};
  if (library == 0 || vfpObjReadonly(library) != 0 || vfpObjMegafile(library) != 0 ||
      vfpGetLibInfo2(project, library, directory, nullptr, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "setattr: %s is no writable library of this project\n", alias.c_str());
    gpi_uninit();
    return 2;
  }

  int failed = 0;
  for (const Symbol &symbol : symbolsOf(directory)) {
    const std::string block = alias + ":" + symbol.name;
    const char *done = nullptr;
    std::string mine = text; // setAttribute may trim it
    if (gpi_load(block.c_str(), vqBLOCK_SYMBOL, symbol.number) != 0)
      done = setAttribute(mine.data(), name.c_str());
    // Also after a failed load or save: a block changed and not saved stays
    // loaded, with its lock, until gpi_uninit.
    gpi_unload();
    std::printf("%s.%d: %s\n", symbol.name.c_str(), symbol.number, done ? done : "FAILED");
    failed += done == nullptr ? 1 : 0;
  }
  gpi_uninit();
  return failed == 0 ? 0 : 1;
}
