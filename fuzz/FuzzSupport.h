// FuzzSupport.h: the set-up that several fuzz targets share.
//
//   check           ends the run (a finding) when a property does not hold;
//   text, cText     the input as a string, whole or up to its first NUL byte
//                   (what a C string reader sees);
//   lines           the input cut at its newlines;
//   InputFile       the input as a read-only stream, closed when it goes;
//   ScratchDir      a private directory for readers that take paths,
//                   removed when the process ends;
//   finishes        runs a body, catching the library's own exceptions;
//   discardOutput, plainHeap  process-wide settings for LLVMFuzzerInitialize.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

// The input cut at every newline: n newlines give n + 1 pieces.
inline std::vector<std::string> lines(const uint8_t *data, size_t size) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n')
      pieces.emplace_back();
    else
      pieces.back() += static_cast<char>(data[i]);
  }
  return pieces;
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

// A private directory for readers that only take a path, removed with its
// contents when it goes. Create it once, in LLVMFuzzerInitialize, and keep it
// for the whole run.
class ScratchDir {
public:
  ScratchDir() {
    std::string dir = "/tmp/fuzzXXXXXX";
    check(mkdtemp(dir.data()) != nullptr);
    path_ = dir;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const std::string &path() const { return path_; }
  // Writes bytes as the file name below the directory (creating missing
  // parents); returns its path.
  std::string write(const std::string &name, const std::string &bytes) const {
    const std::string file = path_ + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    FILE *f = std::fopen(file.c_str(), "wb");
    check(f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    check(std::fclose(f) == 0);
    return file;
  }

private:
  std::string path_;
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
