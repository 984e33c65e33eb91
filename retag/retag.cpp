// The retag command's driver: run-wide state, the command-line parser, the
// usage text and the fatal-error handler.
#include "retag.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "retagInternal.h"
#include "ulMem.h"
#include "ulStr.h"

char vaAMErrorBufferV[vaAM_ERRBUF_SIZE];
int vaAMErrorCountV;
int vaAMSymbolCountV;
int vaAMDebugV;
int vaAMOverrideFlagV;
FILE *vaAMLogFileFpV;
IniKeyValue *vaAMINIKeywordsV;
char *AliasName;
vfpObjId ProjectID;
int vaAMPreviewV;

void vaAMSetError(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(vaAMErrorBufferV, sizeof vaAMErrorBufferV, format, args);
  va_end(args);
}

namespace vaam {

bool numberValue(const char *word, int *value) {
  if (!ulStrIsnum(word))
    return false;
  errno = 0;
  const long v = std::strtol(word, nullptr, 10);
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX)
    return false;
  *value = static_cast<int>(v);
  return true;
}

} // namespace vaam

std::string vaam::shownWord(const char *word, size_t length) {
  if (std::none_of(word, word + length,
                   [](char c) { return static_cast<unsigned char>(c) < ' ' || c == '\177'; }))
    return std::string(word, length);
  // ulStrCvtToAscii sees C strings: a zero byte is escaped here.
  std::string shown;
  for (size_t start = 0;;) {
    const size_t end = std::find(word + start, word + length, '\0') - word;
    const std::string part(word + start, end - start);
    char *escaped = ulStrCvtToAsciiAlloc(part.c_str());
    shown += escaped != nullptr ? escaped : part;
    ulStrFree(escaped);
    if (end == length)
      return shown;
    shown += "\\000";
    start = end + 1;
  }
}

std::string vaam::shownWord(const char *word) {
  return shownWord(word, std::strlen(word));
}

std::string vaam::clipHead(const char *text, size_t n) {
  size_t length = std::strlen(text);
  if (length <= n)
    return text;
  return "..." + std::string(text + length - (n - 3));
}

void vaAMResetRunState() {
  vaAMSymbolCountV = 0;
  vaAMErrorBufferV[0] = '\0';
  vaAMDebugV = 0;
  vaAMOverrideFlagV = vaAM_OVERRIDE_UNDECIDED;
  vaAMErrorCountV = 0;
  vaam::progressReset();
}

void vaAMUsageSummary() {
  std::printf("usage: retag LTF_file_name destination_lib_alias [-override]\n");
  std::printf("       retag -help\n\n");
  std::printf("LTF_file_name is an input file name (with no LTF extension)\n");
  std::printf("Destination_lib_alias is an alias to a library directory\n\n");
  std::printf("-override:  If specified, the values in RETAGCFG.INI will\n");
  std::printf("            supersede the values in the LTF file.\n\n");
}

int vaAMParseCmdLine(int argc, char **argv, char **ltfBase, char **alias) {
  if (argc <= 1)
    return -1;

  // Everything after the program name is compared and used in lower case,
  // file names included.
  for (int i = 1; i < argc; ++i)
    ulStrLoc(argv[i]);

  // The switches are looked up over the whole vector, program name included,
  // with abbreviation lookup: an index of -2 means several arguments begin
  // with the key, which counts as "not given".
  const int debugIndex = ulStrIndex("-debug", argv, argc);
  vaAMDebugV = debugIndex == 1 ? 1 : 0;
  if (ulStrIndex("-help", argv, argc) > 0)
    return -1;
  const int overrideIndex = ulStrIndex("-override", argv, argc);

  for (int i = vaAMDebugV ? 2 : 1; i < argc; ++i) {
    if (*ltfBase == nullptr || *alias == nullptr) {
      char *copy = ulStrOldCopy(argv[i]);
      if (copy == nullptr) {
        vaam::setError(vaam::kNullPointer);
        return 1;
      }
      (*ltfBase == nullptr ? *ltfBase : *alias) = copy;
    } else if (vaAMOverrideFlagV == vaAM_OVERRIDE_UNDECIDED) {
      // Only the first argument after the two names decides the switch.
      vaAMOverrideFlagV = ulStrIcmp(argv[i], "-override") == 0 ? 1 : 0;
    } else {
      break;
    }
  }

  const bool bothNames = *ltfBase != nullptr && *alias != nullptr;
  if (bothNames) {
    if (overrideIndex == -1) {
      if (vaAMOverrideFlagV == 0)
        std::printf("Ignoring extra command line options.\n");
    } else if (overrideIndex != argc - 1) {
      std::printf("Ignoring extra command line options.\n");
    }
  }
  if (vaAMOverrideFlagV == vaAM_OVERRIDE_UNDECIDED)
    vaAMOverrideFlagV = 0;
  if (!bothNames) {
    vaAMSetError("Insufficient command line");
    return 1;
  }
  return 0;
}

namespace {

// The alias resolution of every command; toWrite refuses read-only libraries.
int resolveLibrary(const char *alias, char **path, bool toWrite) {
  int status = 0;
  const LibraryDirId library = vfpFindNextLib(ProjectID, 0, alias, &status);
  if (library == 0) {
    vaAMSetError("%s: '%s'\n", "Nonexistent library", alias);
    return 1;
  }
  char directory[vfpPATH_SIZE] = {};
  char foundAlias[vfpALIAS_SIZE] = {};
  char access[vfpTYPE_SIZE] = {};
  vfpGetLibInfo2(ProjectID, library, directory, foundAlias, access, nullptr);
  if (ulStrIcmp(foundAlias, alias) != 0) {
    vaAMSetError("Library name mismatch");
    return 1;
  }
  if (vfpObjMegafile(library) == 1) {
    vaAMSetError("Library '%s' is in megafile format. Please extract it and try again.\n", alias);
    return 1;
  }
  if (toWrite && vfpObjReadonly(library) == 1) {
    vaAMSetError("Library '%s' is read only.\n", alias);
    return 1;
  }
  *path = ulStrOldCopy(directory);
  if (*path == nullptr) {
    vaam::setError(vaam::kNullPointer);
    return 1;
  }
  return 0;
}

} // namespace

int vaAMResolveLibraryAlias(const char *alias, char **path) {
  return resolveLibrary(alias, path, true);
}

int vaAMResolveLibraryToRead(const char *alias, char **path) {
  return resolveLibrary(alias, path, false);
}

void vaAMHandleError(SymbolInfo *symbols) {
  if (vaAMErrorBufferV[0] == '\0')
    vaAMSetError("Empty error message buffer");
  std::printf("\n%s\n", vaAMErrorBufferV);
  if (vaAMLogFileFpV != nullptr) {
    std::fprintf(vaAMLogFileFpV, "%s\n", vaAMErrorBufferV);
    const int closed = std::fclose(vaAMLogFileFpV);
    vaAMLogFileFpV = nullptr;
    if (closed != 0) {
      std::fflush(stdout);
      std::exit(3);
    }
  }
  if (symbols != nullptr)
    vaAMFreeSymbolInfo(symbols);
}
