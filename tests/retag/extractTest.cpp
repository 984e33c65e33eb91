// ltfextract's list of one symbol: what is listed, in which order, and what
// is left out with which warning. Whole libraries, retag applying the lists
// and the second extraction are the e2e scenarios ltfextract_*.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "companion.h"
#include "retag.h"
#include "support/TestSupport.h"
#include "ulStr.h"
#include "vqRead.h"

namespace {

namespace fs = std::filesystem;

// Each file of tests/retag/extract is one symbol gate.2 of library lib:
//   # what the case shows (comment lines first)
//   --- symbol     the block file
//   --- list       the list ltfextract makes of it, as the LTF writer writes it
//   --- warnings   what it printed
//   --- counts     "symbols S warnings W" as it counted them
TEST(Extract, CasesListAndLeaveOutAsTheirFilesSay) {
  std::vector<fs::path> files;
  for (auto &e : fs::directory_iterator(testsupport::sourcePath("retag/extract")))
    files.push_back(e.path());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 2u);
  for (const fs::path &file : files) {
    SCOPED_TRACE(file.filename().string());
    std::map<std::string, std::string> part;
    std::istringstream in(testsupport::readFile(file));
    std::string *into = &part[""];
    for (std::string l; std::getline(in, l);)
      if (l.rfind("--- ", 0) == 0)
        into = &part[l.substr(4)];
      else
        *into += l + "\n";

    vqBlock *block = q_alloc_block(vqBLOCK_SYMBOL);
    block->name = ulStrCpy("gate");
    block->library = ulStrCpy("lib");
    block->number = 2;
    const std::string &text = part["symbol"];
    FILE *fp = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    EXPECT_EQ(1, vqBlockReadStream(block, fp));
    std::fclose(fp);
    SymbolInfo *list = nullptr;
    vaAMExtractCounts counts{};
    EXPECT_EQ(part["warnings"], testsupport::stdoutOf([&] {
                EXPECT_EQ(0, vaAMExtractSymbol(block, &list, &counts));
              }));
    EXPECT_EQ(part["counts"], "symbols " + std::to_string(counts.symbols) + " warnings " +
                                  std::to_string(counts.warnings) + "\n");
    char *buffer = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buffer, &size);
    EXPECT_EQ(0, vaAMWriteLTFFile(out, list));
    std::fclose(out);
    EXPECT_EQ(part["list"], std::string(buffer, size));
    std::free(buffer);
    vaAMFreeSymbolInfo(list);
    q_free_block(block);
  }
}

} // namespace
