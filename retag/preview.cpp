// preview.cpp: retagplan's part of the visit: what each save of retag would
// change, told instead of written (see retagInternal.h).
#include <cstdio>
#include <string>
#include <vector>

#include "apply.h"
#include "retag.h"
#include "retagInternal.h"
#include "vqBlock.h"

namespace {

// An attribute's text and settings.
struct Look {
  std::string text;
  int x, y, size, orientation, origin, visibility;

  explicit Look(const vqText *a)
      : text(a->text != nullptr ? a->text : ""), x(a->x), y(a->y), size(a->size),
        orientation(vqPlaceOrient(a->place)), origin(vqPlaceOrigin(a->place)),
        visibility(vqPlaceVis(a->place)) {}
  // The settings in the order of the block file's attribute record.
  std::string settings() const {
    char s[128];
    std::snprintf(s, sizeof s, "at %d %d size %d orientation %d origin %d visibility %d", x, y,
                  size, orientation, origin, visibility);
    return s;
  }
};

// The attributes of the block being previewed, as loaded.
struct Noted {
  const vqText *attribute;
  Look look;
};

std::vector<Noted> &noted() {
  static std::vector<Noted> attributes;
  return attributes;
}

// " on pin NAME" (with "~" for an inverted pin) for a pin attribute, else "".
std::string onPin(const vqText *a) {
  if (a->owner == nullptr)
    return "";
  int sense = 0;
  const char *pin = vaAMGetAssociatedPin(a, &sense);
  return std::string(" on pin ") + (sense ? "~" : "") + (pin != nullptr ? pin : "<no pin>");
}

} // namespace

const char *const vaam::kPreviewUsage =
    "usage: retagplan [-debug] LTF_file_name destination_lib_alias [-override]\n"
    "       retagplan --help | --version\n\n"
    "Shows what retag would do with the same arguments: each attribute it\n"
    "would rewrite or add, and what its log would hold. Nothing is written.\n"
    "Exit status: 0 shown, 3 could not run (as retag would end).\n\n";

void vaAMPreviewUsage() {
  std::fputs(vaam::kPreviewUsage, stdout);
}

void vaam::previewBegin(const vqBlock *block, const char *loadName, const char *extension) {
  std::printf("SYMBOL %s.%s\n", loadName, extension);
  noted().clear();
  for (const vqObject *o = block->objects; o != nullptr; o = o->next)
    if (o->kind == vqKIND_ATTRIBUTE) {
      const auto *a = static_cast<const vqText *>(o);
      noted().push_back({a, Look(a)});
    }
}

int vaam::previewSave(vqBlock *block) {
  // Rewritten attributes keep their place in the object list; added ones
  // stand at its head, the one added last first.
  std::vector<const vqText *> added;
  int rewritten = 0;
  size_t next = 0;
  for (const vqObject *o = block->objects; o != nullptr; o = o->next) {
    if (o->kind != vqKIND_ATTRIBUTE)
      continue;
    const auto *a = static_cast<const vqText *>(o);
    if (next >= noted().size() || noted()[next].attribute != a) {
      added.push_back(a);
      continue;
    }
    const Look &was = noted()[next++].look;
    const Look now(a);
    const bool textChanged = now.text != was.text;
    const bool settingsChanged = now.settings() != was.settings();
    if (!textChanged && !settingsChanged)
      continue;
    ++rewritten;
    std::string line = "  rewrite " + was.text;
    if (textChanged)
      line += " -> " + now.text;
    line += onPin(a);
    if (settingsChanged)
      line += ", " + now.settings() + " (was " + was.settings() + ")";
    std::printf("%s\n", line.c_str());
  }
  for (auto a = added.rbegin(); a != added.rend(); ++a)
    std::printf("  add %s%s, %s\n", (*a)->text, onPin(*a).c_str(), Look(*a).settings().c_str());
  std::printf("  save: %d rewritten, %d added\n", rewritten, static_cast<int>(added.size()));
  noted().clear();
  // Nothing is saved: the reference the first change took goes, so that the
  // release frees the Block as it does after a save.
  q_clear_changed_flag(block);
  return 1;
}
