// companion.cpp: what the companion commands of retag share: their start,
// their command line, their fatal exit and the visit of a library's symbols.
#include "companion.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>

#include <nlohmann/json.hpp>

#include "gpi.h"
#include "retag.h"
#include "retagInternal.h"
#include "ulStr.h"
#include "vqp.h"
#include "vs.h"

#ifndef RETAG_VERSION
#error "RETAG_VERSION must be defined by the build (the project's version)"
#endif

bool vaAMCompanionArgs::has(const char *flag) const {
  for (const std::string &f : flags)
    if (f == flag)
      return true;
  return false;
}

namespace {

bool beginsWith(const char *text, const char *head) {
  return std::strncmp(text, head, std::strlen(head)) == 0;
}

} // namespace

vaAMCompanionArgs vaAMParseCompanionArgs(int argc, char **argv, const vaAMCompanionSpec &spec) {
  for (int i = 1; i < argc; ++i)
    ulStrLoc(argv[i]);
  bool help = argc <= 1;
  bool version = false;
  const char *unknown = nullptr;
  vaAMCompanionArgs args;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    char *arg = argv[i];
    if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
      args.positional.push_back(arg);
      continue;
    }
    if (std::strcmp(arg, "--") == 0) {
      optionsEnded = true;
    } else if (std::strcmp(arg, "--help") == 0 || beginsWith(arg, "-help")) {
      help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      version = true;
    } else {
      bool known = false;
      for (const char *option : spec.options)
        if (std::strcmp(arg, option) == 0) {
          args.flags.emplace_back(arg);
          known = true;
        }
      for (const char *head : spec.passThrough)
        if (!known && beginsWith(arg, head)) {
          args.positional.push_back(arg);
          known = true;
        }
      if (!known && unknown == nullptr)
        unknown = arg;
    }
  }
  // The usage is asked for in so many ways (retag's "-help" anywhere among
  // them) that it wins over everything else on the line.
  if (help) {
    std::fputs(spec.usage, stdout);
    std::exit(0);
  }
  if (version) {
    std::printf("%s (retag) %s\n", spec.name, RETAG_VERSION);
    std::exit(0);
  }
  if (unknown != nullptr) {
    std::fprintf(stderr, "%s: unknown option '%s'\nTry '%s --help' for more information.\n",
                 spec.name, unknown, spec.name);
    std::exit(3);
  }
  return args;
}

vaAMCompanionArgs vaAMStartCompanion(int argc, char **argv, const vaAMCompanionSpec &spec) {
  vaAMCompanionArgs args = vaAMParseCompanionArgs(argc, argv, spec);
  vsSetexedir(argv[0]);
  if (gpi_init() == 0) {
    vaAMSetError("Unable to initialize GPI");
    vaAMCompanionFatal(argv[0]);
  }
  ProjectID = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
  if (args.positional.size() < spec.required) {
    vaAMSetError("Insufficient command line");
    vaAMCompanionFatal(argv[0]);
  }
  return args;
}

int vaAMCompanionMain(int argc, char **argv, int (*run)(int, char **)) {
  try {
    return run(argc, argv);
  } catch (const std::exception &e) {
    return vaAMCompanionFailed(argv[0], e.what());
  }
}

char *vaAMCompanionLibrary(const char *program, const char *alias, bool forWriting) {
  char *path = nullptr;
  if ((forWriting ? vaAMResolveLibraryAlias(alias, &path)
                  : vaAMResolveLibraryToRead(alias, &path)) != 0)
    vaAMCompanionFatal(program);
  return path;
}

int vaAMCompanionFailed(const char *program, const char *what) {
  const char *slash = std::strrchr(program, '/');
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", slash != nullptr ? slash + 1 : program, what);
  return 3;
}

void vaAMCompanionFatal(const char *program) {
  const char *slash = std::strrchr(program, '/');
  std::string message = vaAMErrorBufferV;
  while (!message.empty() && message.back() == '\n')
    message.pop_back();
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", slash != nullptr ? slash + 1 : program, message.c_str());
  std::exit(3);
}

namespace {

int visitFile(char *path, void *user) {
  char device[vsMAXPATH], directory[vsMAXPATH], name[vsMAXPATH], extension[vsMAXPATH];
  // A sheet number too large for an int names no block: passed over.
  int sheet = 0;
  if (vsParse(path, device, directory, name, extension) != vsOK ||
      !vaam::numberValue(extension, &sheet))
    return vsLOOP;
  (*static_cast<const vaAMSymbolFileProc *>(user))(path, name, sheet);
  return vsLOOP;
}

} // namespace

int vaAMForEachSymbolFile(const char *libraryPath, const char *pattern,
                          const vaAMSymbolFileProc &visit) {
  const std::string files = std::string(libraryPath) + "/sym/" + pattern + ".*";
  return vsLoop2(files.c_str(), vsFILE, visitFile,
                 const_cast<vaAMSymbolFileProc *>(&visit)); // read back as const
}

void vaAMEmit(vaAMMessages *kept, vaAMMessage message) {
  if (kept != nullptr) {
    kept->push_back(std::move(message));
    return;
  }
  if (message.line > 0)
    std::printf("%s:%d: %s: %s\n", message.file.c_str(), message.line, message.severity.c_str(),
                message.text.c_str());
  else
    std::printf("%s: %s: %s\n", message.file.c_str(), message.severity.c_str(),
                message.text.c_str());
}

std::string vaAMShownPath(const std::string &path) {
  char relative[vsMAXPATH];
  return vsRelPath2(path.c_str(), relative) == vsOK ? relative : path;
}

nlohmann::json vaAMMessagesJson(const vaAMMessages &messages) {
  nlohmann::json array = nlohmann::json::array();
  for (const vaAMMessage &m : messages)
    array.push_back({{"file", m.file},
                     {"line", m.line > 0 ? nlohmann::json(m.line) : nlohmann::json(nullptr)},
                     {"severity", m.severity},
                     {"text", m.text}});
  return array;
}

void vaAMPrintJson(FILE *stream, const nlohmann::json &document) {
  const std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fprintf(stream, "%s\n", text.c_str());
  std::fflush(stream);
}

void vaAMForEachNamedSymbolFile(const char *libraryPath, char *const *names, int count,
                                const vaAMSymbolFileProc &visit,
                                const std::function<void(const char *path)> &missing) {
  if (count == 0) {
    (void)vaAMForEachSymbolFile(libraryPath, "*", visit);
    return;
  }
  for (int i = 0; i < count; ++i) {
    // "and2.1" names one file, "and2" every numbered file of and2.
    char device[vsMAXPATH], directory[vsMAXPATH], name[vsMAXPATH], extension[vsMAXPATH];
    bool found = false;
    if (vsParse(names[i], device, directory, name, extension) == vsOK && directory[0] == '\0') {
      const bool oneFile = extension[0] != '\0' && ulStrIsnum(extension);
      const std::string tail = std::string("/") + names[i];
      (void)vaAMForEachSymbolFile(libraryPath, oneFile ? name : names[i],
                                  [&](const char *path, const char *fileName, int number) {
                                    const std::string p = path;
                                    if (oneFile &&
                                        (p.size() < tail.size() ||
                                         p.compare(p.size() - tail.size(), tail.size(), tail) != 0))
                                      return;
                                    found = true;
                                    visit(path, fileName, number);
                                  });
    }
    if (!found)
      missing((std::string(libraryPath) + "/sym/" + names[i]).c_str());
  }
}

std::string vaAMLockHolder(const char *alias, const char *name, int number) {
  const BlockFileId file = vqpFileGetID(vqpKIND_SYMBOL, alias, name, number);
  if (file == 0)
    return "locked";
  const int pid = vqpGetLockPID(file);
  if (pid <= 0)
    return "locked (its lock file cannot be read)";
  // The owner and host share one buffer of the lock layer: each is copied
  // before the next call.
  const std::string owner = vqpGetLockOwner(file);
  const std::string host = vqpGetLockHost(file);
  return "locked by " + owner + " on " + host + " (process " + std::to_string(pid) + ")";
}

std::string vaAMSaveObstacle(const char *path, const char *alias, const char *name, int number) {
  const BlockFileId file = vqpFileGetID(vqpKIND_SYMBOL, alias, name, number);
  if (file != 0 && vqpIsFileLocked(file) == 1 && vqpIsMyLock(file) == 0) {
    // A lock whose process of this host is gone is an orphan, which a save
    // takes over.
    const int pid = vqpGetLockPID(file);
    const std::string host = vqpGetLockHost(file);
    utsname self{};
    const bool orphan = pid > 0 && uname(&self) == 0 && host == self.nodename &&
                        kill(pid, 0) != 0 && errno == ESRCH;
    if (!orphan)
      return "it is " + vaAMLockHolder(alias, name, number);
  }
  if (access(path, W_OK) != 0 && errno != ENOENT)
    return std::string("the block file cannot be written (") + std::strerror(errno) + ")";
  const std::string directory = std::string(path).substr(0, std::string(path).rfind('/'));
  if (access(directory.c_str(), W_OK) != 0)
    return "its directory cannot be written (" + std::string(std::strerror(errno)) + ")";
  return "";
}
