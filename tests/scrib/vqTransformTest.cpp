// The placement transform: the eight orientations, scale with rounding and
// its limits, nested placements applied inner first, the empty stack.
#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "scrib/ScribFixture.h"
#include "vqTransform.h"

namespace {

class Transform : public scribtest::Project {};

std::pair<int, int> through(std::initializer_list<const vqComp *> placements, int x, int y) {
  for (const vqComp *c : placements)
    q_push_comp_tr(c);
  t_point(&x, &y);
  for (size_t i = 0; i < placements.size(); ++i)
    q_pop_comp_tr();
  return {x, y};
}

TEST_F(Transform, TurnsMirrorsScalesMovesAndNests) {
  vqComp *c = q_alloc_comp();
  c->x = 100, c->y = 200;
  const std::pair<int, int> expected[8] = {{110, 205}, {95, 210}, {90, 195},  {105, 190},
                                           {90, 205},  {95, 190}, {110, 195}, {105, 210}};
  for (int o = 0; o < 8; ++o) {
    c->orient = o;
    EXPECT_EQ(expected[o], through({c}, 10, 5)) << o;
  }
  c->orient = 0, c->scale = 1.25f;
  EXPECT_EQ(std::make_pair(113, 206), through({c}, 10, 5)); // 12.5 up, 6.25 down
  c->scale = 1e30f;                                         // stops at the end of the int range
  EXPECT_EQ(INT_MAX, through({c}, 10, 5).first);

  vqComp *inner = q_alloc_comp();
  inner->x = 10;
  c->x = 1000, c->y = 0, c->orient = 1, c->scale = 1;
  // (5, 0) moved inside to (15, 0), turned outside to (0, 15), moved.
  EXPECT_EQ(std::make_pair(1000, 15), through({c, inner}, 5, 0));
  EXPECT_EQ(std::make_pair(3, 4), through({}, 3, 4));
  q_pop_comp_tr(); // a pop too many does nothing
  EXPECT_EQ(0, q_push_comp_tr(nullptr));
  q_free_comp(c);
  q_free_comp(inner);
}

} // namespace
