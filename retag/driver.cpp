// driver.cpp: a run of retag, and of its preview retagplan (see retag.h for
// the shape of a run, docs/retag.1 and docs/retagplan.1 for the user's view).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <sys/stat.h>
#include <unistd.h>

#include "apply.h"
#include "companion.h"
#include "gpi.h"
#include "retag.h"
#include "retagInternal.h"
#include "symlist.h"
#include "ulCvt.h"
#include "ulMem.h"
#include "ulStr.h"
#include "vfpFile.h"
#include "vqRead.h"
#include "vs.h"

namespace {

constexpr const char *kConfigName = "retagcfg.ini";

// Everything a run holds that the fatal path must release or close.
struct Run {
  SymbolInfo *symbols = nullptr;
  KeywordEntry *iniKeywords = nullptr;
  KeywordEntry *ltfKeywords = nullptr;
  FILE *ltf = nullptr;
  FILE *config = nullptr;
};

[[noreturn]] void fatal(Run &run) {
  vaAMHandleError(run.symbols);
  std::exit(3);
}

// "File <name> could not be opened." and a line end, as the fatal message.
// A name too long for the error buffer loses its start, so that the end of
// the message, which says what went wrong, is always there.
[[noreturn]] void cannotOpen(Run &run, const char *name) {
  static constexpr const char *kHead = "File ";
  static constexpr const char *kTail = " could not be opened.";
  const size_t room = sizeof vaAMErrorBufferV - 1 - std::strlen(kHead) - std::strlen(kTail) - 1;
  vaAMSetError("%s%s%s\n", kHead, vaam::clipHead(name, room).c_str(), kTail);
  fatal(run);
}

// Opens a file of the run for reading; null when it cannot be opened or is a
// directory (which fopen opens, but which reads as an empty file).
FILE *openForReading(const char *name) {
  FILE *fp = std::fopen(name, "r");
  struct stat st {};
  if (fp != nullptr && (fstat(fileno(fp), &st) != 0 || S_ISDIR(st.st_mode))) {
    std::fclose(fp);
    return nullptr;
  }
  return fp;
}

// The configuration file: the current directory first, then the WDIR list.
FILE *openConfig(Run &run, const char *name) {
  if (FILE *fp = openForReading(name))
    return fp;
  char found[vsMAXPATH] = {};
  switch (vsSrchwdirs(name, vsFILE, found)) {
  case vsOK:
    break;
  case vsDENIED:
    vaAMSetError("WDIR variable is not defined");
    fatal(run);
  default:
    cannotOpen(run, name);
  }
  FILE *fp = openForReading(found);
  if (fp == nullptr)
    cannotOpen(run, name);
  return fp;
}

// The visit's callback: once an interrupt was caught, the visit ends before
// the next file, so that the symbol in hand was finished (saved or released)
// and no other is begun.
int visitFile(char *path, void *symbols) {
  if (vaam::interruptSignal() != 0)
    return vsSTOP;
  if (vaAMPreviewV)
    vaam::previewVisit(path);
  const int next = vaAMApplyAttributes(path, symbols);
  vaam::commitSavesIfDue();
  return next;
}

// Tells on standard output and in the log that the visit was cut short.
void reportInterrupt(int sig) {
  constexpr const char *kFormat =
      "Interrupted by %s: the symbols not yet visited were left as they were.\n";
  std::printf("\n");
  std::printf(kFormat, vaam::signalName(sig));
  if (vaAMLogFileFpV != stdout)
    std::fprintf(vaAMLogFileFpV, kFormat, vaam::signalName(sig));
}

} // namespace

void vaAMRun(int argc, char **argv) {
  Run run;
  vsSetexedir(argv[0]);

  ulBanner(vaAMPreviewV ? "Retag preview" : "Retagger", "1.8.8");
  if (gpi_init() == 0) {
    vaAMSetError("Unable to initialize GPI");
    fatal(run);
  }
  ProjectID = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);

  char *configName = ulStrOldCopy(kConfigName);
  if (configName == nullptr) {
    vaam::setError(vaam::kNullPointer);
    fatal(run);
  }
  vaAMResetRunState();

  char *ltfBase = nullptr;
  char *alias = nullptr;
  switch (vaAMParseCmdLine(argc, argv, &ltfBase, &alias)) {
  case -1:
    if (vaAMPreviewV)
      vaAMPreviewUsage();
    else
      vaAMUsageSummary();
    std::exit(0);
  case 1:
    fatal(run);
  default:
    break;
  }
  char *libraryPath = nullptr;
  if (vaAMResolveLibraryAlias(alias, &libraryPath) != 0)
    fatal(run);
  AliasName = alias;

  vaAMInitAllKeywords(&run.iniKeywords, &run.ltfKeywords);
  char *ltfName = ulStrCatAlloc(ltfBase, ".ltf");
  char *logName = ulStrCatAlloc(ltfBase, ".log");
  char *symbolPattern = ulStrCatAlloc(libraryPath, "/sym/*.*");
  if (vaAMDebugV) {
    std::printf("Destination Library Path: [%s]\n", libraryPath);
    std::printf("LTF File Name:            [%s]\n", ltfName);
    std::printf("Log File Name:            [%s]\n", logName);
    std::printf("Symbol Library Path:      [%s]\n", symbolPattern);
  }

  run.ltf = openForReading(ulStrLoc(ltfName));
  if (run.ltf == nullptr)
    cannotOpen(run, ltfName);
  // A preview writes no log: what the log would hold goes to standard
  // output once the visit begins.
  vaAMLogFileFpV = vaAMPreviewV ? nullptr : std::fopen(logName, "w");
  if (vaAMLogFileFpV == nullptr && !vaAMPreviewV)
    cannotOpen(run, logName);
  run.config = openConfig(run, configName);

  std::printf("Reading symbol information from file %s\n", ltfName);
  if (vaAMReadLTFFile(run.ltf, &run.symbols, run.ltfKeywords, ltfName) != 0)
    fatal(run);

  std::printf("Reading initialization information from file %s\n", configName);
  vaAMINIKeywordsV = vaAMReadINIFile(run.config, run.iniKeywords, configName);
  if (vaAMINIKeywordsV == nullptr) {
    vaAMSetError("Could not parse INI file successfully");
    fatal(run);
  }

  // The loader's note for each block it reads is wanted only when debugging.
  if (vaAMDebugV)
    vqReadPrintLoadNotes(1);
  if (vaAMPreviewV) {
    // Blocks loaded read-only are never locked, whatever is done to them.
    vqSetBlockReadOnly(1);
    vaAMLogFileFpV = vaam::previewLog();
  }
  // From here on an interrupt ends the visit after the current symbol; a
  // signal that comes after the visit is absorbed and the run ends normally.
  vaam::catchInterrupts();
  // A terminal gets the progress with the total and the time left, and a
  // word for each wait for a lock; a log or a pipe gets nothing extra.
  if (!vaAMDebugV && isatty(STDERR_FILENO) == 1) {
    int total = 0;
    (void)vaAMForEachSymbolFile(libraryPath, "*",
                                [&](const char *, const char *, int) { ++total; });
    vaam::progressTotal(total);
    vaam::watchLockWaits();
  }
  // Saves are committed in groups; the last group, also of an interrupted
  // visit, is committed before anything else is written.
  vfpSetSaveGrouping(1);
  const int visit = vsLoop2(symbolPattern, vsFILE, visitFile, run.symbols);
  vaam::commitSaves();
  vfpSetSaveGrouping(0);
  const int interrupted = vaam::interruptSignal();
  vaAMProgressEnd();
  if (visit == vsBADSPEC || visit == vsNOTFOUND) {
    if (vaAMPreviewV)
      vaAMLogFileFpV = nullptr; // the fatal message is printed once
    ++vaAMErrorCountV;
    vaAMSetError("Incorrect path specification");
    fatal(run);
  }

  if (vaAMPreviewV)
    vaam::previewEnd(ltfName, alias);
  if (interrupted != 0)
    reportInterrupt(interrupted);
  std::fprintf(vaAMLogFileFpV, "%d symbols were processed successfully.\n", vaAMSymbolCountV);
  std::fprintf(vaAMLogFileFpV, "%d errors were generated.\n", vaAMErrorCountV);

  vaAMFreeAllKeywords(run.iniKeywords, run.ltfKeywords);
  std::fclose(run.config);
  if (vaAMLogFileFpV != stdout)
    std::fclose(vaAMLogFileFpV);
  vaAMLogFileFpV = nullptr;
  std::fclose(run.ltf);

  // The process ends here; releasing what the run holds keeps leak checkers
  // quiet about the normal path.
  vaAMFreeSymbolInfo(run.symbols);
  vaAMFreeINIKeyValues(vaAMINIKeywordsV);
  vaAMINIKeywordsV = nullptr;
  for (char *s : {ltfName, logName, symbolPattern})
    ulStrFree(s);
  for (char *s : {libraryPath, ltfBase, alias, configName})
    ulMemFree(s);
  AliasName = nullptr;
  // Closing the project releases every lock this run still holds (a symbol
  // changed and left unsaved keeps its lock until here), and the message
  // files close with it.
  gpi_uninit();
  if (interrupted != 0)
    vaam::endByInterrupt(interrupted);
  std::exit(0);
}
