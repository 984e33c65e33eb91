// FuzzSupport.h: the set-up that several fuzz targets share.
//
//   check           ends the run (a finding) when a property does not hold;
//   text, cText     the input as a string, whole or up to its first NUL byte
//                   (what a C string reader sees);
//   InputFile       the input as a read-only stream, closed when it goes;
//   ScratchFile     one file in a private directory, rewritten with each
//                   input and removed when the process ends;
//   finishes        runs a body, catching the library's own exceptions;
//   discardOutput, plainHeap  process-wide settings for LLVMFuzzerInitialize.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "ulErr.h"
#include "ulEx.h"

namespace fuzzsupport {

inline void check(bool ok) {
  if (!ok)
    std::abort();
}

inline std::string text(const uint8_t *data, size_t size) {
  return std::string(reinterpret_cast<const char *>(data), size);
}

inline std::string cText(const uint8_t *data, size_t size) {
  return text(data, size).c_str();
}

// The bytes as a stream; an empty input is an empty temporary file, as a
// memory stream needs at least one byte.
class InputFile {
public:
  InputFile(const uint8_t *data, size_t size)
      : fp_(size > 0 ? fmemopen(const_cast<uint8_t *>(data), size, "r") : std::tmpfile()) {
    check(fp_ != nullptr);
  }
  ~InputFile() { std::fclose(fp_); }
  InputFile(const InputFile &) = delete;
  InputFile &operator=(const InputFile &) = delete;
  FILE *get() const { return fp_; }

private:
  FILE *fp_;
};

// A file for readers that only take a path. Create it once, in
// LLVMFuzzerInitialize, and keep it for the whole run.
class ScratchFile {
public:
  explicit ScratchFile(const std::string &name) {
    std::string dir = "/tmp/fuzzXXXXXX";
    check(mkdtemp(dir.data()) != nullptr);
    dir_ = dir;
    path_ = dir + "/" + name;
  }
  ~ScratchFile() {
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }
  ScratchFile(const ScratchFile &) = delete;
  ScratchFile &operator=(const ScratchFile &) = delete;

  const std::string &path() const { return path_; }
  void write(const uint8_t *data, size_t size) const {
    FILE *f = std::fopen(path_.c_str(), "wb");
    check(f != nullptr && std::fwrite(data, 1, size, f) == size);
    check(std::fclose(f) == 0);
  }

private:
  std::string dir_, path_;
};

// Runs body and returns true when it finishes. When it throws one of the
// library's exceptions within mask, the error it carried is destroyed, its
// number (-1 when none came) stored in *number, and false returned.
template <class Body> bool finishes(long mask, Body &&body, int *number = nullptr) {
  if (ulExTry(mask, body) == 0)
    return true;
  ulErr *e = ulExErrV;
  ulExErrV = nullptr;
  if (number != nullptr)
    *number = e != nullptr ? ulErrNum(e) : -1;
  ulErrDestroy(e);
  return false;
}

// Sends standard output to /dev/null: readers print progress and warnings.
inline void discardOutput() {
  check(std::freopen("/dev/null", "w", stdout) != nullptr);
}

// Plain heap blocks instead of the string pool and the free lists, so that
// the sanitizer checks every string and record on its own and sees an
// overrun of one as soon as it happens. Call before the first allocation.
inline void plainHeap() {
  setenv("UL_STRDISABLE", "1", 1);
  setenv("UL_MEMFLDISABLE", "1", 1);
}

} // namespace fuzzsupport
