// Bus names: counting, walking, radixes, separators, limits and faults, most
// of them rows of cases/bus.txt. That the count equals the number of names
// walked, on any text, is checked by the fuzz target ulBus_fuzz.
#include "ulBus.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

struct Walk {
  std::vector<std::string> names;
  int status = -1;
};

// Walks every name of text with a buffer of size bytes.
Walk expand(const char *text, int size = 256) {
  Walk w;
  std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 1));
  ulBusState *s = nullptr;
  while ((s = ulBusExpand(s, text, buffer.data(), size)) != nullptr)
    w.names.emplace_back(buffer.data());
  w.status = ulBusExpandStatus();
  return w;
}

using Names = std::vector<std::string>;
using testsupport::Ints;

} // namespace

// The cases of cases/bus.txt: the count, the names walked and the status.
TEST(ulBusExpand, CasesAsTheTableGivesThem) {
  const std::map<std::string, int> statuses = {{"OK", ulBUS_OK},
                                               {"BALANCE", ulBUS_BALANCE},
                                               {"BADCHAR", ulBUS_BADCHAR},
                                               {"FORM", ulBUS_FORM},
                                               {"DIGIT", ulBUS_DIGIT},
                                               {"LONGFIELD", ulBUS_LONGFIELD},
                                               {"ZEROSTEP", ulBUS_ZEROSTEP}};
  for (const auto &row : testsupport::tableRows("util/cases/bus.txt")) {
    ASSERT_EQ(4u, row.size());
    const char *text = row[0].c_str();
    const int status = statuses.at(row[2]);
    EXPECT_EQ(std::stoi(row[1]), ulBusExpandWidth(text)) << text;
    EXPECT_EQ(status, ulBusExpandStatus()) << text;
    Names names;
    std::istringstream in(row[3]);
    for (std::string n; in >> n;)
      names.push_back(n);
    const Walk w = expand(text);
    if (names.empty() && std::stoi(row[1]) > 0)
      EXPECT_EQ(static_cast<size_t>(std::stoi(row[1])), w.names.size()) << text;
    else
      EXPECT_EQ(names, w.names) << text;
    EXPECT_EQ(status, w.status) << text;
  }
  // Each call sets the status afresh.
  EXPECT_EQ((Ints{ulBusExpandWidth(nullptr), ulBusExpandStatus(), ulBusExpandWidth("D[0:1]"),
                  ulBusExpandStatus()}),
            (Ints{0, ulBUS_NULLARG, 2, ulBUS_OK}));
}

TEST(ulBusExpand, SeparatorsAndRepsep) {
  EXPECT_EQ((Ints{ulBusExpandRepsep("; "), ulBusExpandStatus()}), (Ints{1, ulBUS_OK}));
  EXPECT_EQ(expand("A;B C").names, (Names{"A", "B", "C"}));
  EXPECT_EQ(expand("A,B").names, (Names{"A,B"}));
  EXPECT_EQ(expand("{X;Y}2").names, (Names{"X", "Y", "X", "Y"}));

  EXPECT_EQ((Ints{ulBusExpandRepsep(nullptr), ulBusExpandStatus()}), (Ints{0, ulBUS_NULLARG}));
  EXPECT_EQ(expand("A;B").names, (Names{"A", "B"})); // set unchanged

  // Only the first 19 characters are kept: the 20th is no separator.
  EXPECT_EQ(ulBusExpandRepsep("abcdefghijklmnopqrsT"), 1);
  EXPECT_EQ(expand("1s2T3").names, (Names{"1", "2T3"}));
  EXPECT_EQ(ulBusExpandRepsep(""), 1);
  EXPECT_EQ(expand("A,B").names, (Names{"A,B"}));
  ulBusExpandRepsep(",");
}

TEST(ulBusExpand, NamesOfAnyLengthAndPastTheWidthLimit) {
  std::string longName(40, 'L'), longTail(100, 't');
  EXPECT_EQ(expand((longName + "[0:1]").c_str()).names, (Names{longName + "0", longName + "1"}));
  EXPECT_EQ(expand(("[0:1]" + longTail).c_str()).names, (Names{"0" + longTail, "1" + longTail}));

  Walk w = expand("A[0:255]B[0:255]");
  ASSERT_EQ(w.names.size(), 65536u);
  EXPECT_EQ((Names{w.names.front(), w.names[256], w.names.back()}),
            (Names{"A0B0", "A1B0", "A255B255"}));
  EXPECT_EQ(w.status, ulBUS_OK);
}

// A walk that cannot go on ends with its status; a caller that stops early
// releases the state.
TEST(ulBusExpand, NoRoomNullArgumentsAndEarlyRelease) {
  // Each name needs its characters and the terminator.
  Walk w = expand("D[0:10]", 3);
  EXPECT_EQ(w.names.size(), 10u); // D0..D9 fit, D10 does not
  EXPECT_EQ(w.status, ulBUS_NOROOM);
  EXPECT_EQ(expand("CLK", 4).names, (Names{"CLK"})); // exactly enough room
  EXPECT_EQ((Ints{ulBUS_OK, 0, ulBUS_NOROOM, ulBUS_NOROOM, ulBUS_NULLARG}),
            (Ints{expand("CLK", 4).status, static_cast<long>(expand("CLK", 3).names.size()),
                  expand("CLK", 3).status, expand("CLK", 0).status, expand(nullptr).status}));

  char buffer[16];
  EXPECT_EQ(ulBusExpand(nullptr, "A", nullptr, 16), nullptr);
  EXPECT_EQ(ulBusExpandStatus(), ulBUS_NULLARG);

  // A null buffer in mid-walk releases the state (the leak checker sees it).
  ulBusState *s = ulBusExpand(nullptr, "A[0:3]", buffer, 16);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ulBusExpand(s, "A[0:3]", nullptr, 16), nullptr);
  EXPECT_EQ(ulBusExpandStatus(), ulBUS_NULLARG);

  // A caller that stops early releases the state itself.
  s = ulBusExpand(nullptr, "{A[0:3],B}4,C", buffer, 16);
  ASSERT_NE(s, nullptr);
  s = ulBusExpand(s, "{A[0:3],B}4,C", buffer, 16);
  EXPECT_STREQ(buffer, "A1");
  ulBusExpandFree(s);
  ulBusExpandFree(nullptr);
}
