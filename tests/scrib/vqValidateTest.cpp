// The value ranges of the block file format, at their edges.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "vqValidate.h"

namespace {

struct Range {
  const char *name;
  std::function<int(int)> accepts;
  int low;  // lowest accepted value
  int high; // highest accepted value
};

TEST(vqValidate, EachContiguousRangeAcceptsItsEdgesAndRejectsTheirNeighbours) {
  const Range ranges[] = {
      {"version", vqValidateVersion, 38, 51},
      {"coordinate", vqValidateCoordinate, -32767, 32767},
      {"sheet size", vqValidateSheetSize, 0, 10},
      {"color", vqValidateColor, 0, 15},
      {"fill style", vqValidateFillStyle, 0, 31},
      {"line style", vqValidateLineStyle, 0, 7},
      {"radius", vqValidateRadius, 0, 32766},
      {"orientation", vqValidateOrientation, 0, 7},
      {"origin", vqValidateOrigin, 1, 9},
      {"visibility", vqValidateVisibility, 0, 3},
      {"scope", vqValidateScope, 0, 1},
      {"sense", vqValidateSense, 0, 1},
      {"side", vqValidateSide, 0, 4},
      {"joint type", vqValidateJointType, 0, 11},
      {"sheet number", vqValidateSheetNumber, 1, 999},
      {"text font", [](int f) { return vqValidateFont(2, f); }, 0, 11},
      {"attribute font", [](int f) { return vqValidateFont(6, f); }, 0, 10},
      {"label font", [](int f) { return vqValidateFont(8, f); }, 0, 10},
      {"occurrence attribute font", [](int f) { return vqValidateFont(10, f); }, 0, 10},
  };
  for (const Range &r : ranges) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(1, r.accepts(r.low));
    EXPECT_EQ(1, r.accepts(r.high));
    EXPECT_EQ(0, r.accepts(r.low - 1));
    EXPECT_EQ(0, r.accepts(r.high + 1));
  }
}

TEST(vqValidate, BlockTypeHasAGapAtTwo) {
  for (int t : {0, 1, 3, 4})
    EXPECT_EQ(1, vqValidateBlockType(t)) << t;
  for (int t : {-1, 2, 5})
    EXPECT_EQ(0, vqValidateBlockType(t)) << t;
}

TEST(vqValidate, FontsOfKindsWithoutTextAreRefused) {
  for (int kind : {0, 1, 3, 4, 5, 7, 9, 11})
    EXPECT_EQ(0, vqValidateFont(kind, 0)) << kind;
}

TEST(vqValidate, IdentifiersAgainstTheLastId) {
  EXPECT_EQ(0, vqValidateID(5, 6));
  EXPECT_EQ(0, vqValidateID(5, 0));
  EXPECT_EQ(1, vqValidateID(5, 5));
  EXPECT_EQ(1, vqValidateID(5, 1));
  EXPECT_EQ(1, vqValidateLastID(5, 5));
  EXPECT_EQ(0, vqValidateLastID(5, 6));
  EXPECT_EQ(0, vqValidateLastID(0, 0)); // no identifier used yet is no last id
  EXPECT_EQ(1, vqValidateLastID(1, -3));
}

TEST(vqValidate, ScaleMustBeAboveZero) {
  EXPECT_EQ(1, vqValidateScale(0.001));
  EXPECT_EQ(0, vqValidateScale(0.0));
  EXPECT_EQ(0, vqValidateScale(-1.0));
  EXPECT_EQ(0, vqValidateScale(std::nan("")));
}

TEST(vqValidate, SizeHasNoUpperBound) {
  EXPECT_EQ(1, vqValidateSize(0));
  EXPECT_EQ(1, vqValidateSize(std::numeric_limits<int>::max()));
  EXPECT_EQ(0, vqValidateSize(-1));
}

TEST(vqValidate, ANetHoldsOneJointMoreThanSegments) {
  EXPECT_EQ(1, vqValidateNumJointsAndSegments(3, 2));
  EXPECT_EQ(1, vqValidateNumJointsAndSegments(2, 1));
  EXPECT_EQ(0, vqValidateNumJointsAndSegments(2, 2));
  EXPECT_EQ(0, vqValidateNumJointsAndSegments(1, 0));
  EXPECT_EQ(0, vqValidateNumJointsAndSegments(4, 2));
}

TEST(vqValidate, EveryCodeIsKanjiWithoutKanjiFonts) {
  for (int code : {0, 65, 0x8140, 0xffff})
    EXPECT_EQ(1, vqValidateKanji(code));
}

} // namespace
