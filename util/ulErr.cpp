// Error records and chains, severities, locations, formatting and reports.

#include "ulErr.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "ulMem.h"
#include "ulMsg.h"
#include "ulStr.h"

int ulErrStyleV[4] = {ulErrVERBOSE, ulErrTERSE, ulErrTERSE, ulErrVERBOSE};
int ulErrActionV[7] = {ulErrACT_ALERTBOX, ulErrACT_ALERTBOX, ulErrACT_ALERTBOX, ulErrACT_ALERTBOX,
                       ulErrACT_ALERTBOX, ulErrACT_ALERTBOX, ulErrACT_ALERTBOX};
FILE *ulErrFileV = stderr;
ulErrOutFunc ulErrOutFuncV = ulErrReport;

namespace {

constexpr const char *kRecordTag = "errorObject";

struct SeverityInfo {
  const char *name;
  char letter;
};

constexpr SeverityInfo kSeverities[] = {
    {"Error", 'E'}, {"Status", 'S'},         {"Note", 'I'},     {"Warning", 'W'},
    {"Fatal", 'F'}, {"Internal Error", 'Z'}, {"Disabled", 'D'},
};
constexpr int kSeverityCount = sizeof kSeverities / sizeof kSeverities[0];

bool knownSeverity(int severity) {
  return severity >= 0 && severity < kSeverityCount;
}

// The buffer every location builder writes into.
char locationBufferV[512];

bool empty(const char *s) {
  return s == nullptr || *s == '\0';
}

void freeRecord(ulErr *record) {
  ulStrFree(record->app);
  ulStrFree(record->location);
  ulStrFree(record->text);
  ulMemFlFree(record, sizeof(ulErr));
}

void appendRecord(std::string &out, const ulErr *r, int style) {
  const char *app = r->app != nullptr ? r->app : "";
  char head[64];
  if (style == ulErrTERSE) {
    out += app;
    if (r->number != 0)
      std::snprintf(head, sizeof head, "-%c-%d: ", ulErrSeverityToChar(r->severity), r->number);
    else
      std::snprintf(head, sizeof head, "-%c: ", ulErrSeverityToChar(r->severity));
    out += head;
  } else {
    out += app;
    out += ": ";
    out += ulErrSeverityToString(r->severity);
    if (r->number != 0) {
      std::snprintf(head, sizeof head, " %d", r->number);
      out += head;
    }
    out += ": ";
  }
  if (!empty(r->location)) {
    out += r->location;
    out += ": ";
  }
  if (r->text != nullptr)
    out += r->text;
}

std::string chainText(const ulErr *chain, int style) {
  std::string out;
  for (const ulErr *r = chain; r != nullptr; r = r->next) {
    if (r != chain)
      out += "\n+";
    appendRecord(out, r, style);
  }
  return out;
}

int styleOf(int context) {
  if (context < 0 || context > ulErrCNTX_LOGFILE)
    context = ulErrCNTX_STDERR;
  return context == ulErrCNTX_LOGFILE ? ulErrVERBOSE : ulErrStyleV[context];
}

// The library error that precedes a message not in the "[X] text" form.
ulErr *buildFailure(const ulErr *record, int failure) {
  if (ulStrEqu(record->app, "ullib") && record->number >= 1101 && record->number <= 1110) {
    // The library's own messages are broken: building the complaint from
    // them again would recurse.
    return ulErrCreate(ulErrLocationRoutine("ulErrBuildVa"), "ullib", 0, ulErrERROR, 0,
                       "Problem building internal Error Handling message.  Perhaps someone "
                       "should not have alterned the ullib message file.");
  }
  return ulErrBuild(nullptr, ulMsgFile(), failure);
}

[[noreturn]] void fatalEnd(ulErr *chain) {
  bool internal = chain != nullptr && chain->severity == ulErrINTERNAL;
  std::fprintf(ulErrFileV, "\n*** Fatal error encountered ***\n%s\n",
               chainText(chain, styleOf(ulErrCNTX_STDERR)).c_str());
  std::fflush(ulErrFileV);
  ulAbort(internal ? 1 : 0);
}

} // namespace

// ---- Records and chains ----------------------------------------------------------

ulErr *ulErrCreate(const char *location, const char *application, int number, int severity, int,
                   const char *text) {
  auto *r = static_cast<ulErr *>(ulMemFlAlloc(sizeof(ulErr), kRecordTag));
  r->app = ulStrCpy(application);
  r->location = ulStrCpy(location);
  r->text = ulStrCpy(text);
  r->next = nullptr;
  r->number = number;
  r->severity = severity;
  r->references = 1;
  return r;
}

ulErr *ulErrCreate2(const char *application, int severity, const char *text) {
  return ulErrCreate(nullptr, application, 0, severity, 0, text);
}

ulErr *ulErrBuild(const char *location, ulMsgHandle messageFile, int number, ...) {
  va_list args;
  va_start(args, number);
  ulErr *e = ulErrBuildVa(location, messageFile, number, args);
  va_end(args);
  return e;
}

ulErr *ulErrBuildVa(const char *location, ulMsgHandle messageFile, int number, va_list args) {
  const char *message = ulMsgStaticVa(messageFile, number, args);
  ulErr *record =
      ulErrCreate(location, ulMsgGetFilename(messageFile), number, ulErrERROR, 0, nullptr);
  // Own the text before anything else formats into the shared buffer.
  char *text = ulStrCpy(message != nullptr ? message : "");

  int failure = 0;
  char token[128];
  char *close = nullptr;
  if (text[0] != '[') {
    failure = 1101;
  } else {
    close = ulStrTok(text + 1, token, sizeof token, "]");
    const char *letter = ulStrBlk(token);
    if (close == nullptr || *letter == '\0')
      failure = 1106;
    else if (*close != ']')
      failure = 1104;
    else if (close[1] == '\0')
      failure = 1107;
    else
      record->severity = ulErrCharToSeverity(static_cast<unsigned char>(*letter));
  }

  if (failure == 0) {
    record->text = ulStrCpy(close + 1);
    ulStrFree(text);
    return record;
  }
  record->text = text;
  ulErr *library = nullptr;
  try {
    library = buildFailure(record, failure);
  } catch (...) { // the library's message file failed: release, pass it on
    ulErrDestroy(record);
    throw;
  }
  return ulErrAppend(library, record);
}

ulErr *ulErrAppend(ulErr *first, ulErr *second) {
  if (first == nullptr)
    return second;
  if (second == nullptr)
    return first;
  ulErr *last = first;
  while (last->next != nullptr)
    last = last->next;
  int gain = last->references - second->references;
  if (gain > 0)
    for (ulErr *r = second; r != nullptr; r = r->next)
      r->references += gain;
  last->next = second;
  return first;
}

ulErr *ulErrAppendText(ulErr *record, const char *text) {
  if (record == nullptr)
    return nullptr;
  char *joined;
  if (record->text == nullptr) {
    joined = ulStrCpy(text);
  } else {
    // Built without ulStrCat: text may be that buffer's current result.
    std::string both = std::string(record->text) + "\n" + (text != nullptr ? text : "");
    joined = ulStrCpy(both.c_str());
  }
  ulStrFree(record->text);
  record->text = joined;
  return record;
}

ulErr *ulErrCopy(ulErr *chain) {
  for (ulErr *r = chain; r != nullptr; r = r->next)
    ++r->references;
  return chain;
}

void ulErrDestroy(ulErr *chain) {
  for (ulErr *r = chain; r != nullptr;) {
    ulErr *next = r->next;
    if (--r->references <= 0)
      freeRecord(r);
    r = next;
  }
}

void ulErrDestroyTop(ulErr **chain, ulErr *stop) {
  if (chain == nullptr)
    return;
  ulErr *head = *chain;
  ulErr *before = nullptr;
  ulErr *r = head;
  while (r != nullptr && r != stop) {
    before = r;
    r = r->next;
  }
  if (r == nullptr) { // stop is not in the chain: everything goes
    ulErrDestroy(head);
    *chain = nullptr;
    return;
  }
  if (before != nullptr) {
    before->next = nullptr;
    ulErrDestroy(head);
  }
  *chain = stop;
}

const char *ulErrApp(const ulErr *record) {
  return record ? record->app : nullptr;
}
const char *ulErrLocation(const ulErr *record) {
  return record ? record->location : nullptr;
}
const char *ulErrText(const ulErr *record) {
  return record ? record->text : nullptr;
}
int ulErrNum(const ulErr *record) {
  return record ? record->number : 0;
}
int ulErrSeverity(const ulErr *record) {
  return record ? record->severity : 0;
}

bool ulErr_Contains(const ulErr *chain, const ulErr *record) {
  for (const ulErr *r = chain; r != nullptr; r = r->next)
    if (r == record)
      return true;
  return false;
}

int ulErrLoop(ulErr *chain, ulErrLoopFunc function, void *data) {
  for (ulErr *r = chain; r != nullptr; r = r->next)
    if (function(r, data) == 0)
      return 0;
  return 1;
}

int ulErrLoop2(ulErr *chain, ulErrLoop2Func function, void *data1, void *data2) {
  for (ulErr *r = chain; r != nullptr; r = r->next)
    if (function(r, data1, data2) == 0)
      return 0;
  return 1;
}

// ---- Severities ------------------------------------------------------------------

const char *ulErrSeverityToString(int severity) {
  return kSeverities[knownSeverity(severity) ? severity : ulErrERROR].name;
}

int ulErrStringToSeverity(const char *name) {
  if (name == nullptr)
    return ulErrERROR;
  for (int i = 0; i < kSeverityCount; ++i)
    if (ulStrIcmp(name, kSeverities[i].name) == 0)
      return i;
  return ulErrERROR;
}

char ulErrSeverityToChar(int severity) {
  return kSeverities[knownSeverity(severity) ? severity : ulErrERROR].letter;
}

int ulErrCharToSeverity(int letter) {
  int upper = (letter >= 'a' && letter <= 'z') ? letter - 'a' + 'A' : letter;
  for (int i = 0; i < kSeverityCount; ++i)
    if (kSeverities[i].letter == upper)
      return i;
  return ulErrERROR;
}

// ---- Locations -------------------------------------------------------------------

char *ulErrLocationLine(const char *file, int line) {
  if (empty(file))
    return nullptr;
  if (line > 0)
    std::snprintf(locationBufferV, sizeof locationBufferV, "%s, line %d", file, line);
  else
    std::snprintf(locationBufferV, sizeof locationBufferV, "%s", file);
  return locationBufferV;
}

char *ulErrLocationFile(const char *file) {
  if (empty(file))
    return nullptr;
  std::snprintf(locationBufferV, sizeof locationBufferV, "%s", file);
  return locationBufferV;
}

char *ulErrLocationMessage(const char *file, int line, int message) {
  if (!empty(file)) {
    if (line >= 1)
      std::snprintf(locationBufferV, sizeof locationBufferV, "%s, line %d, message %d", file, line,
                    message);
    else
      std::snprintf(locationBufferV, sizeof locationBufferV, "%s, message %d", file, message);
  } else if (line >= 1) {
    std::snprintf(locationBufferV, sizeof locationBufferV, "line %d, message %d", line, message);
  } else {
    std::snprintf(locationBufferV, sizeof locationBufferV, "message %d", message);
  }
  return locationBufferV;
}

char *ulErrLocationRoutine(const char *name) {
  if (empty(name))
    return nullptr;
  std::snprintf(locationBufferV, sizeof locationBufferV, "in call to routine %s()", name);
  return locationBufferV;
}

// ---- Formatting ------------------------------------------------------------------

char *ulErr_String(ulErr *chain, int style) {
  std::string text = chainText(chain, style == ulErrTERSE ? ulErrTERSE : ulErrVERBOSE);
  return ulStrCat(text.c_str(), nullptr);
}

char *ulErrString(ulErr *chain, int context) {
  return ulErr_String(chain, styleOf(context));
}

char *ulErrStringAlloc(ulErr *chain, int context) {
  return ulStrCpy(chainText(chain, styleOf(context)).c_str());
}

// ---- Reporting -------------------------------------------------------------------

void ulErrReport(ulErrStream *stream, ulErr *chain) {
  ulErr *pending = ulExErrV;
  ulExErrV = nullptr;
  if (!ulErr_Contains(chain, pending))
    chain = ulErrAppend(chain, pending);
  if (chain == nullptr)
    return;

  ulErrLog(chain);
  switch (chain->severity) {
  case ulErrFATAL:
  case ulErrINTERNAL:
    fatalEnd(chain);
  case ulErrDISABLED:
    break;
  default:
    if (stream != nullptr) {
      ulErrStreamAdd(stream, chain);
      ulErrStreamSetAlert(stream, 0);
    }
    std::fprintf(ulErrFileV, "%s\n", chainText(chain, styleOf(ulErrCNTX_STDERR)).c_str());
    std::fflush(ulErrFileV);
    break;
  }
  ulErrDestroy(chain);
}

void ulErrReportBuild(ulErrStream *stream, const char *location, ulMsgHandle messageFile,
                      int number, ...) {
  va_list args;
  va_start(args, number);
  ulErrReportBuildVa(stream, location, messageFile, number, args);
  va_end(args);
}

void ulErrReportBuildVa(ulErrStream *stream, const char *location, ulMsgHandle messageFile,
                        int number, va_list args) {
  ulErrReport(stream, ulErrBuildVa(location, messageFile, number, args));
}

void ulErrReport2(const char *application, int severity, const char *text) {
  ulErrReport(nullptr, ulErrCreate2(application, severity, text));
}

void ulErrOut(ulErrStream *stream, ulErr *chain) {
  (ulErrOutFuncV != nullptr ? ulErrOutFuncV : ulErrReport)(stream, chain);
}

void ulErrOutBuild(ulErrStream *stream, const char *location, ulMsgHandle messageFile, int number,
                   ...) {
  va_list args;
  va_start(args, number);
  ulErrOutBuildVa(stream, location, messageFile, number, args);
  va_end(args);
}

void ulErrOutBuildVa(ulErrStream *stream, const char *location, ulMsgHandle messageFile, int number,
                     va_list args) {
  ulErrOut(stream, ulErrBuildVa(location, messageFile, number, args));
}

void ulErrOut2(const char *application, int severity, const char *text) {
  ulErrOut(nullptr, ulErrCreate2(application, severity, text));
}

void ulErrOut3(const char *location, const char *application, int severity, const char *text) {
  ulErrOut(nullptr, ulErrCreate(location, application, 0, severity, 0, text));
}

void ulErrFatal(ulErr *chain) {
  fatalEnd(chain);
}

void ulErrYell(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(ulErrFileV, format, args);
  va_end(args);
  std::fflush(ulErrFileV);
}
