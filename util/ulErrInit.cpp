// Start-up of the error layer: the preference set "err" and its values.

#include "ulErr.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "ulMsg.h"
#include "ulPref.h"

namespace {

struct InitState {
  bool done = false;       // ulErrInit ran its first call
  ulPrefDB *set = nullptr; // the set "err", destroyed at exit
};

InitState &initState() {
  static InitState s;
  return s;
}

// One preference of the set: name, type, description message, default, and
// which state it sets (handled in ulErrGetPrefs).
struct ErrPref {
  const char *name;
  const ulTypespec *type;
  int message;
  int defaultValue;
};

const ErrPref kPrefs[] = {
    {"action_status", &ulErrActionVT, 1144, ulErrACT_STATUSLINE},
    {"action_note", &ulErrActionVT, 1145, ulErrACT_ALERTBOX},
    {"action_warning", &ulErrActionVT, 1146, ulErrACT_ALERTBOX},
    {"action_error", &ulErrActionVT, 1147, ulErrACT_ALERTBOX},
    {"style_stderr", &ulErrStyleVT, 1148, ulErrVERBOSE},
    {"style_statusLine", &ulErrStyleVT, 1149, ulErrTERSE},
    {"style_alertBox", &ulErrStyleVT, 1150, ulErrTERSE},
    {"stdout", &ulOnOffVT, 1151, 0},
    {"logging", &ulOnOffVT, 1152, 1},
    {"keep_logfiles", &ulUnsignedIntVT, 1153, 0},
};

// The value of a preference of "err", or its default before ulErrInit.
int prefValue(int index) {
  ulPrefDB *set = initState().set;
  if (set == nullptr)
    return kPrefs[index].defaultValue;
  return ulPrefIntVal(set, kPrefs[index].name);
}

} // namespace

void ulErrInit(int *argc, char **argv) {
  ulErrFileV = stderr;
  InitState &s = initState();
  if (s.done)
    return;
  s.done = true;
  if (argv != nullptr && argv[0] != nullptr)
    ulErrLogSetArgv0(argv[0]);
  s.set = ulPrefCreate("err");
  ulOnExitAdd(ulPrefDestroy, s.set);
  for (const ErrPref &p : kPrefs)
    ulPrefAdd2(s.set, p.name, p.type, ulMsgFile(), p.message, ulPrefWord(p.defaultValue));
  ulPrefParse(nullptr, argc, argv);
  ulErrGetPrefs();
}

void ulErrExit() {
  InitState &s = initState();
  if (s.set != nullptr) {
    ulOnExitRemove(ulPrefDestroy, s.set);
    ulPrefDestroy(s.set);
    s.set = nullptr;
  }
  s.done = false;
  std::fill(std::begin(ulErrActionV), std::end(ulErrActionV), ulErrACT_ALERTBOX);
  ulErrStyleV[ulErrCNTX_STDERR] = ulErrVERBOSE;
  ulErrStyleV[ulErrCNTX_STATUSLINE] = ulErrTERSE;
  ulErrStyleV[ulErrCNTX_ALERTBOX] = ulErrTERSE;
  ulErrStyleV[ulErrCNTX_LOGFILE] = ulErrVERBOSE;
  ulErrFileV = stderr;
  ulErr_LogReset();
}

void ulErrGetPrefs() {
  ulErrActionV[ulErrSTATUS] = prefValue(0);
  ulErrActionV[ulErrNOTE] = prefValue(1);
  ulErrActionV[ulErrWARNING] = prefValue(2);
  ulErrActionV[ulErrERROR] = prefValue(3);
  ulErrStyleV[ulErrCNTX_STDERR] = prefValue(4);
  ulErrStyleV[ulErrCNTX_STATUSLINE] = prefValue(5);
  ulErrStyleV[ulErrCNTX_ALERTBOX] = prefValue(6);
  ulErrFileV = prefValue(7) != 0 ? stdout : stderr;
  ulErrLogKeepFiles(prefValue(9));
  ulErrLogEnable(prefValue(8));
}
