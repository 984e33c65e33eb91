// TestSupport.h: fixtures shared by the unit tests: a temporary directory,
// the working directory and one environment variable set for a scope, whole
// files, the case tables below tests/, argument vectors, captured output,
// lock texts and a project directory for the layers that look for
// scribant.ini, and the process-wide state of the layers that fixtures put
// back, so that a test binary passes whole, filtered or shuffled as well as
// one test per process (gtest_discover_tests). The message files are found
// beside the test executable without any set-up (the path layer asks the
// system where the running program is).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "ulErr.h"
#include "ulEx.h"
#include "ulPref.h"
#include "vfpFile.h"
#include "vs.h"

namespace testsupport {

namespace fs = std::filesystem;

// Writes text to path, replacing the file (and creating missing parents).
inline void writeFile(const std::string &path, const std::string &text) {
  fs::path p(path);
  if (p.has_parent_path())
    fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// The whole content of path, or "" when it cannot be read.
inline std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A file of the source tree's tests/ directory: found through
// RETAG_SOURCE_DIR (set by ctest) or beside this header.
inline fs::path sourcePath(const std::string &relative) {
  const char *source = std::getenv("RETAG_SOURCE_DIR");
  return (source ? fs::path(source) / "tests" : fs::path(__FILE__).parent_path().parent_path()) /
         relative;
}

// The rows of a case table below tests/. Blank lines and lines opening with
// "#" are comments; other lines are cells separated by "|", each trimmed of
// its surrounding spaces. In a cell, \s is a space that is kept, \t a tab,
// \n a newline, \r a carriage return; a backslash before any other
// character (\| \\ \#) stands for that character.
inline std::vector<std::vector<std::string>> tableRows(const std::string &relative) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(readFile(sourcePath(relative)));
  for (std::string l; std::getline(in, l);) {
    if (l.empty() || l[0] == '#')
      continue;
    std::vector<std::string> row;
    std::string cell;
    size_t keep = 0; // the length of cell without its unescaped trailing spaces
    for (size_t i = 0; i <= l.size(); ++i) {
      if (i == l.size() || l[i] == '|') {
        cell.resize(keep);
        row.push_back(cell);
        cell.clear();
        keep = 0;
      } else if (l[i] == ' ') {
        if (!cell.empty())
          cell += ' ';
      } else {
        char c = l[i];
        if (c == '\\' && i + 1 < l.size()) {
          c = l[++i];
          c = c == 's' ? ' ' : c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
        cell += c;
        keep = cell.size();
      }
    }
    rows.push_back(row);
  }
  EXPECT_FALSE(rows.empty()) << relative;
  return rows;
}

// text with every from replaced by to.
inline std::string replaced(std::string text, const std::string &from, const std::string &to) {
  for (size_t i = 0; (i = text.find(from, i)) != std::string::npos; i += to.size())
    text.replace(i, from.size(), to);
  return text;
}

// The names of the entries of a directory, sorted.
inline std::vector<std::string> entries(const std::string &path) {
  std::vector<std::string> names;
  for (auto &e : fs::directory_iterator(path))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// While the object lives, no file of the process grows past bytes: a write
// beyond fails with EFBIG (SIGXFSZ is ignored).
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit small = old_;
    small.rlim_cur = bytes;
    signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
  FileSizeLimit(const FileSizeLimit &) = delete;
  FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
  rlimit old_{};
};

// The name of this host, as lock files record it.
inline std::string hostName() {
  char host[vfpLOCK_HOST_SIZE] = "";
  gethostname(host, sizeof host - 1);
  return host;
}

// The ten lines of a lock file, as another tool would write them (a 5.0
// file ends after its host line).
inline std::string lockText(int state, const std::string &owner, long created, int pid,
                            const std::string &host, const std::string &version = "5.2.0",
                            const std::string &tests = "ALL") {
  const std::string head = "State: " + std::to_string(state) + "\nOwner: " + owner +
                           "\nCreated: (" + std::to_string(created) +
                           ") Jan 1 1970 0:0:0\nFacId: 4\nFacVer: 5.41\nPLVer: " + version +
                           "\nProcId: " + std::to_string(pid) + "\nHostId: " + host + "\n";
  if (version < "5.1dm" && version != "5.2.0")
    return head;
  return head + "ClassName: SYMBOL\nLockTest: " + tests + "\n" + std::string(212, ' ');
}

// Several numeric fields compared as one (any integer type widens to long).
using Ints = std::vector<long>;

// Output captured from standard output or standard error while f runs.
template <class F> std::string stdoutOf(F f) {
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}
template <class F> std::string stderrOf(F f) {
  testing::internal::CaptureStderr();
  f();
  std::fflush(stderr);
  return testing::internal::GetCapturedStderr();
}

// Everything the error layer prints on its report stream while the object
// lives.
struct CapturedReports {
  FILE *saved = ulErrFileV;
  FILE *file = ulErrFileV = std::tmpfile();
  CapturedReports() = default;
  CapturedReports(const CapturedReports &) = delete;
  CapturedReports &operator=(const CapturedReports &) = delete;
  ~CapturedReports() {
    ulErrFileV = saved;
    std::fclose(file);
  }
  std::string text() const {
    std::fflush(file);
    return readFile("/proc/self/fd/" + std::to_string(fileno(file)));
  }
};

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "retagTestXXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr)
      ADD_FAILURE() << "mkdtemp failed";
    path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    // Tests may take away permissions to provoke failures: give them back.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  // The directory, without a trailing "/".
  const std::string &path() const { return path_; }
  // path() + "/" + relative.
  std::string operator/(const std::string &relative) const { return path_ + "/" + relative; }
  // Writes a file below the directory and returns its full path.
  std::string write(const std::string &relative, const std::string &text) const {
    std::string full = *this / relative;
    writeFile(full, text);
    return full;
  }

private:
  std::string path_;
};

// Changes the working directory for the life of the object.
class ScopedCwd {
public:
  explicit ScopedCwd(const std::string &dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~ScopedCwd() {
    std::error_code ec;
    fs::current_path(old_, ec);
  }
  ScopedCwd(const ScopedCwd &) = delete;
  ScopedCwd &operator=(const ScopedCwd &) = delete;

private:
  fs::path old_;
};

// Makes dir the default directory of the path layer (and so the working
// directory) for the life of the object; the old one comes back after.
class ScopedDefaultDir {
public:
  explicit ScopedDefaultDir(const std::string &dir) {
    EXPECT_EQ(vsOK, vsGetdef(old_));
    EXPECT_EQ(vsOK, vsSetdef(dir.c_str()));
  }
  ~ScopedDefaultDir() { vsSetdef(old_); }
  ScopedDefaultDir(const ScopedDefaultDir &) = delete;
  ScopedDefaultDir &operator=(const ScopedDefaultDir &) = delete;

private:
  char old_[vsMAXPATH] = "";
};

// What a program's start-up sets (the error layer with its log, the fault
// handlers, the preference shorthand and file values) as a fresh process
// has it, while the object lives and after it: declare it before members
// that change the error layer, such as CapturedReports.
struct FreshStartUp {
  FreshStartUp() { reset(); }
  ~FreshStartUp() { reset(); }
  FreshStartUp(const FreshStartUp &) = delete;
  FreshStartUp &operator=(const FreshStartUp &) = delete;
  static void reset() {
    ulExExit();
    ulErrExit();
    ulPrefExit();
  }
};

// Sets (or, with no value, unsets) one environment variable for the life of
// the object.
class ScopedEnv {
public:
  ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char *old = std::getenv(name_.c_str()))
      old_ = old;
    if (value)
      setenv(name_.c_str(), value->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
  std::string name_;
  std::optional<std::string> old_;
};

// An argument vector that the function under test may rearrange or shorten.
struct Argv {
  explicit Argv(std::vector<std::string> words) : storage(std::move(words)) {
    for (std::string &w : storage)
      argv.push_back(w.data());
    argv.push_back(nullptr);
    argc = static_cast<int>(storage.size());
  }
  // The arguments left in argv[0 .. argc).
  std::vector<std::string> left() const { return {argv.begin(), argv.begin() + argc}; }

  std::vector<std::string> storage;
  std::vector<char *> argv;
  int argc;
};

// While the object lives a test may change the path layer's default
// directory, executable directory and WDIR list; when it goes, the default
// directory it found comes back, the executable directory is the running
// program's again and the WDIR list is read anew. Declare it before members
// that change the directory or WDIR (TempDir, ScopedEnv).
class ScopedPathLayer {
public:
  ScopedPathLayer() { EXPECT_EQ(vsOK, vsGetdef(def_)); }
  ~ScopedPathLayer() {
    vsSetexedir(fs::read_symlink("/proc/self/exe").c_str());
    vsSetdef(def_);
    vsResetWdirCache();
  }
  ScopedPathLayer(const ScopedPathLayer &) = delete;
  ScopedPathLayer &operator=(const ScopedPathLayer &) = delete;

private:
  char def_[vsMAXPATH] = "";
};

// Makes dir the default directory of the path layer, with the message files
// found through WDIR in dir/msg (links to the built ones) and the program
// directory taken away, so that no scribant.ini is found anywhere but where
// a test writes one. Set WDIR to dir/msg first.
inline void useProjectDir(const TempDir &dir) {
  fs::create_directories(dir / "msg");
  for (auto &e : fs::directory_iterator(fs::read_symlink("/proc/self/exe").parent_path()))
    if (e.path().extension() == ".umb" &&
        !fs::exists(dir / ("msg/" + e.path().filename().string())))
      fs::create_symlink(e.path(), dir / ("msg/" + e.path().filename().string()));
  vsResetWdirCache();
  vsSetexedir("/nonexistent/program");
  ASSERT_EQ(vsOK, vsSetdef(dir.path().c_str()));
}

// Each test runs in a fresh temporary directory set up by useProjectDir;
// the path layer is put back after it.
class ProjectTest : public ::testing::Test {
protected:
  ScopedPathLayer pathLayer;
  TempDir dir;
  const std::string tmp = dir.path();
  ScopedEnv wdir{"WDIR", tmp + "/msg"};

  void SetUp() override { useProjectDir(dir); }
  // Writes a file below the directory, "@" standing for the directory;
  // returns its path.
  std::string write(const std::string &name, const std::string &text) {
    return dir.write(name, replaced(text, "@", tmp));
  }
  // Runs body and keeps what it printed on standard output in out.
  template <class Body> static auto printed(std::string &out, Body body) {
    decltype(body()) result{};
    out = stdoutOf([&] { result = body(); });
    return result;
  }
};

} // namespace testsupport
