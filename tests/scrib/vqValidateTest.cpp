// The value ranges of the block file format, at their edges.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

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

// The checks that are no single contiguous range.
TEST(vqValidate, GapsLimitsAndRelations) {
  using Ints = std::vector<long>;
  // Block types have a gap at two; kinds without text take no font.
  EXPECT_EQ((Ints{1, 1, 1, 1, 0, 0, 0}),
            (Ints{vqValidateBlockType(0), vqValidateBlockType(1), vqValidateBlockType(3),
                  vqValidateBlockType(4), vqValidateBlockType(-1), vqValidateBlockType(2),
                  vqValidateBlockType(5)}));
  for (int kind : {0, 1, 3, 4, 5, 7, 9, 11})
    EXPECT_EQ(0, vqValidateFont(kind, 0)) << kind;
  // An identifier must not pass the last id; no identifier used yet is no
  // last id.
  EXPECT_EQ((Ints{0, 0, 1, 1, 1, 0, 0, 1}),
            (Ints{vqValidateID(5, 6), vqValidateID(5, 0), vqValidateID(5, 5), vqValidateID(5, 1),
                  vqValidateLastID(5, 5), vqValidateLastID(5, 6), vqValidateLastID(0, 0),
                  vqValidateLastID(1, -3)}));
  // A scale must be above zero; a size has no upper bound.
  EXPECT_EQ((Ints{1, 0, 0, 0, 1, 1, 0}),
            (Ints{vqValidateScale(0.001), vqValidateScale(0.0), vqValidateScale(-1.0),
                  vqValidateScale(std::nan("")), vqValidateSize(0),
                  vqValidateSize(std::numeric_limits<int>::max()), vqValidateSize(-1)}));
  // A net holds one joint more than segments.
  EXPECT_EQ((Ints{1, 1, 0, 0, 0}),
            (Ints{vqValidateNumJointsAndSegments(3, 2), vqValidateNumJointsAndSegments(2, 1),
                  vqValidateNumJointsAndSegments(2, 2), vqValidateNumJointsAndSegments(1, 0),
                  vqValidateNumJointsAndSegments(4, 2)}));
}

} // namespace
