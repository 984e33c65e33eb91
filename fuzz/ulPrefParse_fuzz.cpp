// Preference arguments of arbitrary argument vectors.
//
// The input is split at newlines into arguments behind the program name
// "fuzz". Two sets are declared once: "f", with one preference of each kind
// of type, and "fuzz", the shorthand set. ulPrefParse must only ever remove
// arguments, keeping the others in order with a null behind the last; a
// value its type cannot read throws (tag 2), which the target catches. The
// table-driven scanner and ulCmdFlag then run over what is left.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ulPref.h"

namespace {

using fuzzsupport::check;

ulPrefDB *gSets[2];

void declare() {
  double half = 0.5;
  ulPrefDB *f = ulPrefCreate("f");
  ulPrefAdd(f, "on", &ulOnOffVT, "switch", ulPrefWord(0));
  ulPrefAdd(f, "yes", &ulYesNoVT, "switch", ulPrefWord(1));
  ulPrefAdd(f, "n", &ulIntVT, "int", ulPrefWord(0));
  ulPrefAdd(f, "u", &ulUnsignedIntVT, "unsigned", ulPrefWord(0));
  ulPrefAdd(f, "big", &ulInt64VT, "int64", ulPrefWord(0));
  ulPrefAdd(f, "c", &ulCharVT, "char", ulPrefWord('x'));
  ulPrefAdd(f, "x", &ulFloatVT, "float", &half);
  ulPrefAdd(f, "s", &ulStringVT, "string", const_cast<char *>("s"));
  ulPrefAdd(f, "up", &ulStringUpperVT, "upper", nullptr);
  ulPrefAdd(f, "ne", &ulStringNotEmptyVT, "not empty", const_cast<char *>("x"));
  ulPrefAdd(f, "sev", &ulErrSevVT, "severity", ulPrefWord(0));
  ulPrefAdd(f, "v", &ulVoidVT, "void", nullptr);
  ulPrefAdd(f, "arr", &ulStrArrayVT, "words", nullptr);
  ulPrefAdd(f, "bytes", &ulByteBlockVT, "bytes", nullptr);
  ulPrefAdd(f, "err", &ulErrVT, "error", nullptr);
  ulPrefAdd(f, "ts", &ulTypespecVT, "type", const_cast<ulTypespec *>(&ulIntVT));
  ulPrefAdd(f, "any", &ulAnyVT, "any", nullptr);
  ulPrefDB *shorthand = ulPrefCreate("fuzz");
  ulPrefAdd(shorthand, "level", &ulPositiveIntVT, "level", ulPrefWord(1));
  ulPrefAdd(shorthand, "t", &ulTrueFalseVT, "switch", ulPrefWord(0));
  gSets[0] = f;
  gSets[1] = shorthand;
}

int revert(ulPrefDB *set, ulPrefOption *o, void *) {
  ulPrefRevert(set, o->name);
  return 1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  ulErrLogEnable(0);
  declare();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::string> words{"fuzz"};
  for (std::string word : fuzzsupport::lines(data, size)) {
    std::erase(word, '\0');
    words.push_back(word);
  }
  std::vector<char *> argv;
  for (std::string &w : words)
    argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<char *> before = argv;
  int argc = static_cast<int>(words.size());

  fuzzsupport::finishes(ulEX_ALL, [&] { ulPrefParse(nullptr, &argc, argv.data()); });
  // What is left is the original vector with some arguments taken out.
  check(argc >= 1 && argc <= static_cast<int>(words.size()) && argv[argc] == nullptr &&
        argv[0] == before[0]);
  size_t j = 0;
  for (int i = 0; i < argc; i++) {
    while (j < words.size() && before[j] != argv[i])
      j++;
    check(j < words.size());
    j++;
  }

  const char *valueNames[] = {"file", "format", "output"};
  const char *flagNames[] = {"verbose", "force"};
  char *values[3] = {};
  int flags[2] = {};
  int used = ulCmdParse(&argc, argv.data(), valueNames, 3, values, flagNames, 2, flags);
  check(used >= 0 && argc >= 1);
  ulCmdFlag(&argc, argv.data(), "-lib", 1);
  ulCmdFlag(&argc, argv.data(), "-override", 0);

  for (ulPrefDB *set : gSets)
    ulPrefForEachOption(set, revert, nullptr);
  return 0;
}
