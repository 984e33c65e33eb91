// The placement transform: the eight orientations, scale with rounding,
// nested placements, and the identity of the empty stack.
#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "scrib/ScribFixture.h"
#include "vqTransform.h"

namespace {

class Transform : public scribtest::Project {};

std::pair<int, int> through(const vqComp *c, int x, int y) {
  q_push_comp_tr(c);
  t_point(&x, &y);
  q_pop_comp_tr();
  return {x, y};
}

TEST_F(Transform, TurnsMirrorsScalesAndMoves) {
  vqComp *c = q_alloc_comp();
  c->x = 100;
  c->y = 200;
  const std::pair<int, int> expected[8] = {{110, 205}, {95, 210}, {90, 195}, {105, 190},
                                           {90, 205},  {95, 190}, {110, 195}, {105, 210}};
  for (int o = 0; o < 8; ++o) {
    c->orient = o;
    EXPECT_EQ(expected[o], through(c, 10, 5)) << o;
  }
  c->orient = 0;
  c->scale = 1.25f;
  EXPECT_EQ(std::make_pair(113, 206), through(c, 10, 5)); // 12.5 rounds up, 6.25 down
  // Absurd scales stop at the ends of the int range instead of overflowing.
  c->scale = 1e30f;
  EXPECT_EQ(INT_MAX, through(c, 10, 5).first);

  int x = 3, y = 4;
  t_point(&x, &y); // empty stack: identity
  EXPECT_EQ(std::make_pair(3, 4), std::make_pair(x, y));
  q_pop_comp_tr(); // a pop too many does nothing
  EXPECT_EQ(0, q_push_comp_tr(nullptr));
  q_free_comp(c);
}

TEST_F(Transform, NestedPlacementsApplyTheInnerOneFirst) {
  vqComp *outer = q_alloc_comp();
  outer->x = 1000;
  outer->orient = 1; // turn by 90 degrees
  vqComp *inner = q_alloc_comp();
  inner->x = 10; // moved only
  q_push_comp_tr(outer);
  q_push_comp_tr(inner);
  int x = 5, y = 0;
  t_point(&x, &y); // (15, 0) inside, turned to (0, 15), moved to (1000, 15)
  EXPECT_EQ(std::make_pair(1000, 15), std::make_pair(x, y));
  q_pop_comp_tr();
  x = 5, y = 0;
  t_point(&x, &y);
  EXPECT_EQ(std::make_pair(1000, 5), std::make_pair(x, y));
  q_pop_comp_tr();
  q_free_comp(outer);
  q_free_comp(inner);
}

} // namespace
