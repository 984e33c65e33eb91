// vqCheck.cpp: the structural design checks and their latest counts.
#include "vqCheck.h"

#include <set>
#include <string>
#include <tuple>

#include "vqAttr.h"

namespace {

struct State {
  unsigned errors = 0;   // of the latest run
  unsigned warnings = 0; // of the latest run
};

State &state() {
  static State s;
  return s;
}

struct Counts {
  unsigned errors = 0;
  unsigned warnings = 0;
};

void checkComp(const vqComp *c, Counts &n) {
  if (c->symbol == nullptr)
    ++n.errors;
  for (const vqCnt *cnt = c->cnts; cnt != nullptr; cnt = cnt->next) {
    if (cnt->net == nullptr)
      ++n.warnings;
    else if (cnt->joint == nullptr)
      ++n.errors;
  }
}

} // namespace

unsigned q_check_schematic(vqBlock *block) {
  Counts n;
  // Attribute names already met, by owner and part.
  std::set<std::tuple<const vqObject *, vqId, std::string>> seen;
  for (vqObject *o = block != nullptr ? block->objects : nullptr; o != nullptr; o = o->next) {
    switch (o->kind) {
    case vqKIND_ATTRIBUTE: {
      vqText *a = static_cast<vqText *>(o);
      if (a->text == nullptr || !q_valid_attr(a->text, 0)) {
        ++n.errors;
        break;
      }
      std::string name = q_attr_name(a->text);
      if (!seen.emplace(a->owner, a->part, name).second &&
          !q_attr_multi_ok(a->owner, name.c_str(), 0))
        ++n.warnings;
      break;
    }
    case vqKIND_COMPONENT:
      checkComp(static_cast<const vqComp *>(o), n);
      break;
    case vqKIND_NET:
      if (static_cast<const vqNet *>(o)->segments == nullptr)
        ++n.warnings;
      break;
    default:
      break;
    }
  }
  state().errors = n.errors;
  state().warnings = n.warnings;
  return n.errors;
}

void vqCheckLastCounts(unsigned *errors, unsigned *warnings) {
  if (errors != nullptr)
    *errors = state().errors;
  if (warnings != nullptr)
    *warnings = state().warnings;
}
