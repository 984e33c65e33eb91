// preview.cpp: retagplan's part of the visit: what each save of retag would
// change, told instead of written, as text, as a diff or as JSON (see
// retagInternal.h).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include <nlohmann/json.hpp>

#include "apply.h"
#include "companion.h"
#include "retag.h"
#include "retagInternal.h"
#include "vqBlock.h"
#include "vqWrite.h"

namespace {

// An attribute's text and settings.
struct Look {
  std::string text;
  int x, y, size, orientation, origin, visibility;

  explicit Look(const vqText *a)
      : text(a->text != nullptr ? a->text : ""), x(a->x), y(a->y), size(a->size),
        orientation(vqPlaceOrient(a->place)), origin(vqPlaceOrigin(a->place)),
        visibility(vqPlaceVis(a->place)) {}
  nlohmann::json json() const {
    return {{"x", x},           {"y", y},
            {"size", size},     {"orientation", orientation},
            {"origin", origin}, {"visibility", visibility}};
  }
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

// A line of the log, with the file visited when it was written and the
// errors counted by then.
struct Logged {
  std::string text;
  std::string file;
  int errorsBefore;
};

// What the diff and JSON forms collect.
struct Output {
  vaam::PreviewFormat format = vaam::PreviewFormat::Text;
  FILE *document = nullptr; // the standard output the command started with
  std::string path;         // the file being visited
  std::string original;     // its content, once matched (diff)
  nlohmann::json symbols = nlohmann::json::array();
  bool symbolOpen = false; // the last of symbols is the file being visited
  FILE *log = nullptr;     // the log's stand-in (JSON)
  std::string partial;     // a log line not yet ended
  std::vector<Logged> logged;
};

Output &output() {
  static Output o;
  return o;
}

// The JSON entry of the file being visited, made when first needed.
nlohmann::json &currentSymbol(const char *loadName = nullptr, const char *extension = nullptr) {
  Output &o = output();
  if (!o.symbolOpen) {
    o.symbols.push_back({{"file", vaAMShownPath(o.path)},
                         {"symbol", nullptr},
                         {"result", "skip"},
                         {"rewrites", nlohmann::json::array()},
                         {"additions", nlohmann::json::array()}});
    o.symbolOpen = true;
  }
  nlohmann::json &symbol = o.symbols.back();
  if (loadName != nullptr)
    symbol["symbol"] = std::string(loadName) + "." + extension;
  return symbol;
}

ssize_t logSink(void *, const char *buffer, size_t size) {
  Output &o = output();
  o.partial.append(buffer, size);
  // A symbol the visit skips has its entry too, with the reason.
  if (!o.path.empty())
    (void)currentSymbol();
  for (size_t end = o.partial.find('\n'); end != std::string::npos; end = o.partial.find('\n')) {
    o.logged.push_back({o.partial.substr(0, end), o.path, vaAMErrorCountV});
    o.partial.erase(0, end + 1);
  }
  return static_cast<ssize_t>(size);
}

std::string fileContent(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the writer would put into the block file.
std::string written(vqBlock *block) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  if (stream == nullptr)
    return {};
  const bool ok = vqBlockWriteBody(block, stream) == 0;
  std::fclose(stream);
  std::string text = ok ? std::string(buffer, size) : std::string();
  std::free(buffer);
  return text;
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
    "usage: retagplan [--diff | --json] [-debug] LTF_file_name destination_lib_alias\n"
    "                 [-override]\n"
    "       retagplan --help | --version\n\n"
    "Shows what retag would do with the same arguments: each attribute it\n"
    "would rewrite or add, and what its log would hold; --diff prints the\n"
    "changes of the block files as a unified diff, --json as one JSON\n"
    "document. Nothing is written.\n"
    "Exit status: 0 shown, 3 could not run (as retag would end).\n\n";

void vaAMPreviewUsage() {
  std::fputs(vaam::kPreviewUsage, stdout);
}

void vaam::previewSetFormat(PreviewFormat format) {
  Output &o = output();
  o.format = format;
  if (format == PreviewFormat::Text)
    return;
  // The document alone goes to standard output; everything else the run
  // prints goes to standard error.
  std::fflush(stdout);
  const int document = dup(STDOUT_FILENO);
  o.document = document >= 0 ? fdopen(document, "w") : nullptr;
  if (o.document == nullptr)
    o.document = stderr;
  dup2(STDERR_FILENO, STDOUT_FILENO);
  if (format == PreviewFormat::Json) {
    o.log = fopencookie(nullptr, "w", {nullptr, logSink, nullptr, nullptr});
    // Unbuffered: each line is taken while its error is still uncounted.
    if (o.log != nullptr)
      std::setvbuf(o.log, nullptr, _IONBF, 0);
  }
}

FILE *vaam::previewLog() {
  const Output &o = output();
  return o.log != nullptr ? o.log : stdout;
}

void vaam::previewVisit(const char *path) {
  Output &o = output();
  o.path = path;
  o.symbolOpen = false;
}

void vaam::previewEnd(const char *ltfName, const char *alias) {
  Output &o = output();
  if (o.format != PreviewFormat::Json || o.document == nullptr)
    return;
  nlohmann::json messages = nlohmann::json::array();
  for (size_t i = 0; i < o.logged.size(); ++i) {
    const int errorsAfter =
        i + 1 < o.logged.size() ? o.logged[i + 1].errorsBefore : vaAMErrorCountV;
    messages.push_back({{"file", vaAMShownPath(o.logged[i].file)},
                        {"line", nullptr},
                        {"severity", errorsAfter > o.logged[i].errorsBefore ? "error" : "note"},
                        {"text", o.logged[i].text}});
  }
  int saves = 0;
  size_t rewritten = 0;
  size_t added = 0;
  for (const nlohmann::json &symbol : o.symbols) {
    saves += symbol["result"] == "save" ? 1 : 0;
    rewritten += symbol["rewrites"].size();
    added += symbol["additions"].size();
  }
  vaAMPrintJson(o.document, {{"command", "retagplan"},
                             {"list", ltfName},
                             {"library", alias},
                             {"override", vaAMOverrideFlagV == 1},
                             {"symbols", o.symbols},
                             {"messages", messages},
                             {"counts",
                              {{"processed", vaAMSymbolCountV},
                               {"errors", vaAMErrorCountV},
                               {"saves", saves},
                               {"rewritten", rewritten},
                               {"added", added}}}});
}

void vaam::previewBegin(const vqBlock *block, const char *loadName, const char *extension) {
  std::printf("SYMBOL %s.%s\n", loadName, extension);
  Output &out = output();
  if (out.format == PreviewFormat::Json)
    currentSymbol(loadName, extension)["result"] = "fail";
  if (out.format == PreviewFormat::Diff)
    out.original = fileContent(out.path);
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
    if (output().format == PreviewFormat::Json)
      currentSymbol()["rewrites"].push_back(
          {{"old", was.text},
           {"new", now.text},
           {"pin", a->owner != nullptr ? nlohmann::json(onPin(a).substr(8)) : nullptr},
           {"settings", now.json()},
           {"was", was.json()}});
    std::string line = "  rewrite " + was.text;
    if (textChanged)
      line += " -> " + now.text;
    line += onPin(a);
    if (settingsChanged)
      line += ", " + now.settings() + " (was " + was.settings() + ")";
    std::printf("%s\n", line.c_str());
  }
  for (auto a = added.rbegin(); a != added.rend(); ++a) {
    std::printf("  add %s%s, %s\n", (*a)->text, onPin(*a).c_str(), Look(*a).settings().c_str());
    if (output().format == PreviewFormat::Json)
      currentSymbol()["additions"].push_back(
          {{"text", (*a)->text != nullptr ? (*a)->text : ""},
           {"pin", (*a)->owner != nullptr ? nlohmann::json(onPin(*a).substr(8)) : nullptr},
           {"settings", Look(*a).json()}});
  }
  Output &o = output();
  // What would refuse the save is told here; the run then logs its failed
  // save, as retag would.
  const std::string obstacle = vaAMSaveObstacle(
      o.path.c_str(), AliasName != nullptr ? AliasName : "", block->name, block->number);
  if (!obstacle.empty()) {
    std::printf("  save would fail: %s\n", obstacle.c_str());
    if (o.format == PreviewFormat::Json) {
      currentSymbol()["result"] = "save fails";
      currentSymbol()["reason"] = obstacle;
    }
    noted().clear();
    q_clear_changed_flag(block);
    return 0;
  }
  std::printf("  save: %d rewritten, %d added\n", rewritten, static_cast<int>(added.size()));
  if (o.format == PreviewFormat::Json)
    currentSymbol()["result"] = "save";
  if (o.format == PreviewFormat::Diff && o.document != nullptr) {
    std::fputs(unifiedDiff(vaAMShownPath(o.path), o.original, written(block)).c_str(), o.document);
    std::fflush(o.document);
  }
  noted().clear();
  // Nothing is saved: the reference the first change took goes, so that the
  // release frees the Block as it does after a save.
  q_clear_changed_flag(block);
  return 1;
}
