// vqTransform.cpp: the stack of instance placements.
#include "vqTransform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

struct Placement {
  int x;
  int y;
  int orient;
  float scale;
};

struct State {
  std::vector<Placement> stack; // innermost placement last
};

State &state() {
  static State s;
  return s;
}

// v scaled, rounded and moved by offset; results beyond the int range (a
// scale far outside what drawings use) stop at its ends.
int place(long v, float scale, int offset) {
  double r = std::round(static_cast<double>(v) * scale) + offset;
  if (std::isnan(r))
    return offset;
  return static_cast<int>(
      std::clamp(r, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

// Carries (x, y) through one placement: mirror, turn, scale, move.
void apply(const Placement &p, int &x, int &y) {
  long px = x;
  long py = y;
  if (p.orient & 4)
    px = -px;
  for (int turn = 0; turn < (p.orient & 3); ++turn) {
    long t = px;
    px = -py;
    py = t;
  }
  x = place(px, p.scale, p.x);
  y = place(py, p.scale, p.y);
}

} // namespace

int q_push_comp_tr(const vqComp *instance) {
  if (instance == nullptr)
    return 0;
  state().stack.push_back({instance->x, instance->y, instance->orient, instance->scale});
  return 1;
}

void q_pop_comp_tr() {
  std::vector<Placement> &stack = state().stack;
  if (!stack.empty())
    stack.pop_back();
}

void t_point(int *x, int *y) {
  const std::vector<Placement> &stack = state().stack;
  for (auto p = stack.rbegin(); p != stack.rend(); ++p)
    apply(*p, *x, *y);
}
