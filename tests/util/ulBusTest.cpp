// Bus names: counting, walking, radixes, separators, limits and faults. That
// the count equals the number of names walked, on any text, is checked by
// the fuzz target ulBus_fuzz.
#include "ulBus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
using Ints = std::vector<long>;

} // namespace

TEST(ulBusWidth, CountsNamesOfEachFormAndGivesZeroPastTheLimits) {
  // "D[0:6:4]" is 0 and 4: 6 is not reached.
  EXPECT_EQ((Ints{1, 8, 4, 8, 3, 6, 10, 1, 2}),
            (Ints{ulBusExpandWidth("CLK"), ulBusExpandWidth("D[7:0]"), ulBusExpandWidth("D[0:7:2]"),
                  ulBusExpandWidth("A[0:1]B[0:3]"), ulBusExpandWidth("A,B[0:1]"),
                  ulBusExpandWidth("{A,B}3"), ulBusExpandWidth("{{A,B}2,C}2"),
                  ulBusExpandWidth("D[5]"), ulBusExpandWidth("D[0:6:4]")}));
  // At most 65535 names, also in total ("A[0:255]B[0:255]" is 65536); empty
  // texts and separators alone hold no item. None of these is a fault.
  for (auto [text, width] : {std::pair<const char *, int>{"D[0:65534]", 65535},
                             {"D[0:65535]", 0},
                             {"D[0:70000]", 0},
                             {"A[0:255]B[0:255]", 0},
                             {"{A}65535", 65535},
                             {"{A}65536", 0},
                             {"{A}99999999999999999999999", 0},
                             {"", 0},
                             {",,", 0}}) {
    EXPECT_EQ(ulBusExpandWidth(text), width) << text;
    EXPECT_EQ(ulBusExpandStatus(), ulBUS_OK) << text;
  }
}

TEST(ulBusWidth, SyntaxFaultsSetTheirStatus) {
  struct Case {
    const char *text;
    int status;
  };
  const Case cases[] = {
      {"D[0:3", ulBUS_BALANCE},
      {"D[0[1]:3]", ulBUS_BALANCE},
      {"A]", ulBUS_BALANCE},
      {"A[", ulBUS_BALANCE},
      {"{A,B", ulBUS_BALANCE},
      {"A}", ulBUS_BALANCE},
      {"D[0:1/X]", ulBUS_BADCHAR},
      {"D[0:x]", ulBUS_BADCHAR},
      {"D[0 :1]", ulBUS_BADCHAR},
      {"D[0::3]", ulBUS_FORM},
      {"D[:3]", ulBUS_FORM},
      {"D[0:1:2:3]", ulBUS_FORM},
      {"D[0:1/H/D]", ulBUS_FORM},
      {"D[0:1/HD]", ulBUS_FORM},
      {"D[0:]", ulBUS_FORM},
      {"D[0/]", ulBUS_FORM},
      {"D[0/H:1]", ulBUS_FORM},
      {"{A,B}", ulBUS_FORM},
      {"{A,B}0", ulBUS_FORM},
      {"{A,B}2x", ulBUS_FORM},
      {"D[0:9/O]", ulBUS_DIGIT},
      {"D[0:2/B]", ulBUS_DIGIT},
      {"D[0:A]", ulBUS_DIGIT},
      {"D[-1:1/H]", ulBUS_DIGIT},
      {"D[1-2:3]", ulBUS_DIGIT},
      {"D[0:1234567890123456789]", ulBUS_LONGFIELD},
      {"D[FFFFFFFFFFFFFFFF/H]", ulBUS_LONGFIELD},
      {"D[0:3:0]", ulBUS_ZEROSTEP},
      {"D[0:3:-0]", ulBUS_ZEROSTEP},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(ulBusExpandWidth(c.text), 0) << c.text;
    EXPECT_EQ(ulBusExpandStatus(), c.status) << c.text;
    // The iterator meets the same fault (the faulty item is the first).
    Walk w = expand(c.text);
    EXPECT_TRUE(w.names.empty()) << c.text;
    EXPECT_EQ(w.status, c.status) << c.text;
  }
  EXPECT_EQ(ulBusExpandWidth("D[0:123456789012345678]"), 0); // 18 characters: allowed
  EXPECT_EQ(ulBusExpandStatus(), ulBUS_OK);                  // (too many names)
  EXPECT_EQ(ulBusExpandWidth(nullptr), 0);
  EXPECT_EQ(ulBusExpandStatus(), ulBUS_NULLARG);
  EXPECT_EQ(ulBusExpandWidth("D[0:1]"), 2); // each call clears the status
  EXPECT_EQ(ulBusExpandStatus(), ulBUS_OK);
}

TEST(ulBusExpand, ExpansionOrders) {
  EXPECT_EQ(expand("D[0:3]").names, (Names{"D0", "D1", "D2", "D3"}));
  EXPECT_EQ(expand("D[3:0]").names, (Names{"D3", "D2", "D1", "D0"}));
  EXPECT_EQ(expand("A[0:1]B[0:1]").names, (Names{"A0B0", "A0B1", "A1B0", "A1B1"}));
  EXPECT_EQ(expand("D[00:10:5]").names, (Names{"D00", "D05", "D10"}));
  EXPECT_EQ(expand("X[0:F:5/H]").names, (Names{"X0", "X5", "XA", "XF"}));
  EXPECT_EQ(expand("{CLK,EN}2").names, (Names{"CLK", "EN", "CLK", "EN"}));
  EXPECT_EQ(expand("[0:1]Q").names, (Names{"0Q", "1Q"}));
  EXPECT_EQ(expand("D[-1:1]").names, (Names{"D-1", "D0", "D1"}));
  EXPECT_EQ(expand("D[7:0:3]").names, (Names{"D7", "D4", "D1"}));
  EXPECT_EQ(expand("D[0:2:-2]").names, (Names{"D0", "D2"}));
  EXPECT_EQ(expand("A[0:1]B").names, (Names{"A0B", "A1B"}));
  EXPECT_EQ(expand("[0:1]A[0:1]").names, (Names{"0A0", "0A1", "1A0", "1A1"}));
  EXPECT_EQ(expand("A[0:1]B[0:1]C[0:1]").names, (Names{"A0B0C0", "A0B0C1", "A0B1C0", "A0B1C1",
                                                       "A1B0C0", "A1B0C1", "A1B1C0", "A1B1C1"}));
  EXPECT_EQ(expand("{{A,B}2,C}2").names, (Names{"A", "B", "A", "B", "C", "A", "B", "A", "B", "C"}));
  EXPECT_EQ(expand("X,{P[0:1]}2,Y").names, (Names{"X", "P0", "P1", "P0", "P1", "Y"}));
  EXPECT_EQ(expand("CLK").names, (Names{"CLK"}));
  Walk empty = expand("{}3,{,}2");
  EXPECT_TRUE(empty.names.empty());
  EXPECT_EQ(empty.status, ulBUS_OK);
}

TEST(ulBusExpand, RadixesAndPadding) {
  EXPECT_EQ(expand("B[0:11/B]").names, (Names{"B0", "B1", "B10", "B11"}));
  EXPECT_EQ(expand("B[000:10\\b]").names, (Names{"B000", "B001", "B010"}));
  EXPECT_EQ(expand("O[6:10/o]").names, (Names{"O6", "O7", "O10"}));
  EXPECT_EQ(expand("H[00:1f:10/h]").names, (Names{"H00", "H10"}));
  EXPECT_EQ(expand("D[8:10/D]").names, (Names{"D8", "D9", "D10"}));
  EXPECT_EQ(expand("D[08:10]").names, (Names{"D08", "D09", "D10"}));
  EXPECT_EQ(expand("D[8:010]").names, (Names{"D008", "D009", "D010"}));
  EXPECT_EQ(expand("D[0]").names, (Names{"D0"})); // "0" alone is not padded
  EXPECT_EQ(expand("D[-01:01]").names, (Names{"D-01", "D000", "D001"}));
  EXPECT_EQ(expand("H[7FFFFFFFFFFFFFFF/H]").names, (Names{"H7FFFFFFFFFFFFFFF"}));
  EXPECT_EQ(expand("N[123456789012345678:123456789012345677]").names,
            (Names{"N123456789012345678", "N123456789012345677"}));
}

TEST(ulBusExpand, SquareBracketsThatOpenNoSubscriptAreText) {
  EXPECT_EQ(ulBusExpandWidth("MEM[ADDR]"), 1);
  EXPECT_EQ(expand("MEM[ADDR]").names, (Names{"MEM[ADDR]"}));
  EXPECT_EQ(expand("MEM[ADDR][0:1]").names, (Names{"MEM[ADDR]0", "MEM[ADDR]1"}));
  EXPECT_EQ(expand("A[]").names, (Names{"A[]"}));
  EXPECT_EQ(expand("A[-]").names, (Names{"A[-]"}));
  // A range or radix mark makes it a subscript even without a leading digit.
  EXPECT_EQ(expand("X[A:C/H]").names, (Names{"XA", "XB", "XC"}));
  EXPECT_EQ(expand("X[y:z]").status, ulBUS_BADCHAR);
  // Balanced braces inside a chain are text as well.
  EXPECT_EQ(expand("A{B}").names, (Names{"A{B}"}));
}

TEST(ulBusExpand, SeparatorsAndRepsep) {
  EXPECT_EQ(expand(",,A,,B,").names, (Names{"A", "B"}));
  EXPECT_EQ(ulBusExpandRepsep("; "), 1);
  EXPECT_EQ(ulBusExpandStatus(), ulBUS_OK);
  EXPECT_EQ(expand("A;B C").names, (Names{"A", "B", "C"}));
  EXPECT_EQ(expand("A,B").names, (Names{"A,B"}));
  EXPECT_EQ(expand("{X;Y}2").names, (Names{"X", "Y", "X", "Y"}));

  EXPECT_EQ(ulBusExpandRepsep(nullptr), 0);
  EXPECT_EQ(ulBusExpandStatus(), ulBUS_NULLARG);
  EXPECT_EQ(expand("A;B").names, (Names{"A", "B"})); // set unchanged

  // Only the first 19 characters are kept: the 20th is no separator.
  EXPECT_EQ(ulBusExpandRepsep("abcdefghijklmnopqrsT"), 1);
  EXPECT_EQ(expand("1s2T3").names, (Names{"1", "2T3"}));
  EXPECT_EQ(ulBusExpandRepsep(""), 1);
  EXPECT_EQ(expand("A,B").names, (Names{"A,B"}));
  ulBusExpandRepsep(",");
}

TEST(ulBusExpand, NamesOfAnyLength) {
  std::string longName(40, 'L');
  Walk w = expand((longName + "[0:1]").c_str());
  EXPECT_EQ(w.names, (Names{longName + "0", longName + "1"}));
  std::string longTail(100, 't');
  w = expand(("[0:1]" + longTail).c_str());
  EXPECT_EQ(w.names, (Names{"0" + longTail, "1" + longTail}));
}

TEST(ulBusExpand, BufferTooSmallEndsWithStatus8) {
  // Each name needs its characters and the terminator.
  Walk w = expand("D[0:10]", 3);
  EXPECT_EQ(w.names.size(), 10u); // D0..D9 fit, D10 does not
  EXPECT_EQ(w.status, ulBUS_NOROOM);
  EXPECT_EQ(expand("CLK", 4).names, (Names{"CLK"})); // exactly enough room
  EXPECT_EQ((Ints{ulBUS_OK, 0, ulBUS_NOROOM, ulBUS_NOROOM}),
            (Ints{expand("CLK", 4).status, static_cast<long>(expand("CLK", 3).names.size()),
                  expand("CLK", 3).status, expand("CLK", 0).status}));
}

TEST(ulBusExpand, NullArgumentsAndEarlyRelease) {
  char buffer[16];
  EXPECT_EQ(expand(nullptr).status, ulBUS_NULLARG);
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

TEST(ulBusExpand, LaterItemsAreParsedWhenReached) {
  // The fault in the third item shows after the first two items' names.
  Walk w = expand("A,B[0:1],D[0:3");
  EXPECT_EQ(w.names, (Names{"A", "B0", "B1"}));
  EXPECT_EQ(w.status, ulBUS_BALANCE);
  w = expand("{A,D[0:9/O]}2");
  EXPECT_EQ(w.names, (Names{"A"}));
  EXPECT_EQ(w.status, ulBUS_DIGIT);
  // A refused subscript ends the walk without a status.
  w = expand("A,D[0:70000],C");
  EXPECT_EQ(w.names, (Names{"A"}));
  EXPECT_EQ(w.status, ulBUS_OK);
}

TEST(ulBusExpand, WalksPastTheWidthLimit) {
  Walk w = expand("A[0:255]B[0:255]");
  ASSERT_EQ(w.names.size(), 65536u);
  EXPECT_EQ(w.names.front(), "A0B0");
  EXPECT_EQ(w.names[256], "A1B0");
  EXPECT_EQ(w.names.back(), "A255B255");
  EXPECT_EQ(w.status, ulBUS_OK);
}
