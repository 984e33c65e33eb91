// vsSpec.cpp: splitting, joining, cleaning and resolving path specs, and the
// file name rules.
//
// Everything here works on text only, except the absolute-path operations,
// which read the default directory, HOME and the user database. Results are
// built in local buffers and copied out only when they fit, so a caller's
// buffer is never written past its 256 bytes.
#include "ulBase.h"
#include "vs.h"

#include <cctype>
#include <cstring>
#include <pwd.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "ulEx.h"
#include "vsInternal.h"

namespace vsi {

bool copyTo(char *dst, const char *src, size_t size) {
  size_t n = std::strlen(src);
  if (n >= size)
    return false;
  std::memmove(dst, src, n + 1);
  return true;
}

bool appendTo(char *dst, const char *src, size_t size) {
  size_t have = std::strlen(dst);
  size_t n = std::strlen(src);
  if (have + n >= size)
    return false;
  std::memmove(dst + have, src, n + 1);
  return true;
}

} // namespace vsi

namespace {

// The parts of a spec as offsets into it. The spec is copied first, so that
// callers may parse a buffer into itself.
struct Split {
  char text[vsMAXPATH];  // copy of the spec
  size_t dirLen = 0;     // directory part: text[0, dirLen)
  size_t nameLen = 0;    // name: text[dirLen, dirLen + nameLen)
  const char *extension; // extension, empty when none
};

bool split(const char *spec, Split &s) {
  if (spec == nullptr || !vsi::copyTo(s.text, spec, sizeof s.text))
    return false;
  const char *slash = std::strrchr(s.text, '/');
  s.dirLen = slash ? static_cast<size_t>(slash - s.text) + 1 : 0;
  const char *last = s.text + s.dirLen;
  size_t lastLen = std::strlen(last);
  s.nameLen = lastLen;
  s.extension = last + lastLen;
  if (std::strcmp(last, ".") == 0 || std::strcmp(last, "..") == 0)
    return true;
  const char *dot = std::strrchr(last, '.');
  if (dot != nullptr && dot != last) {
    s.nameLen = static_cast<size_t>(dot - last);
    s.extension = dot + 1;
  }
  return true;
}

void put(char *out, const char *from, size_t n) {
  if (out == nullptr)
    return;
  std::memcpy(out, from, n);
  out[n] = '\0';
}

// Appends part without surrounding blanks.
void appendTrimmed(std::string &to, const char *part) {
  if (part == nullptr)
    return;
  const char *b = part;
  while (ulCharIsSpaceOrTab(*b))
    ++b;
  const char *e = b + std::strlen(b);
  while (e > b && ulCharIsSpaceOrTab(e[-1]))
    --e;
  to.append(b, e);
}

bool endsWith(const char *s, char c) {
  size_t n = std::strlen(s);
  return n > 0 && s[n - 1] == c;
}

// Puts back the final "." of before that splitting and joining it lost:
// "foo." splits into name foo and an empty extension, which join as foo.
int keepFinalDot(const char *before, char *after) {
  Split s;
  if (!split(before, s) || s.extension[0] != '\0' || s.nameLen == std::strlen(s.text + s.dirLen))
    return vsOK;
  return vsi::appendTo(after, ".", vsMAXPATH) ? vsOK : vsBADSPEC;
}

// Expands a leading "~" or "~user" of spec (in place).
int expandTilde(char *spec) {
  if (spec[0] != '~')
    return vsOK;
  char home[vsMAXENV];
  const char *rest;
  if (spec[1] != '/' && spec[1] != '\0') {
    const char *slash = std::strchr(spec, '/');
    rest = slash ? slash : spec + std::strlen(spec);
    std::string user(spec + 1, static_cast<size_t>(rest - (spec + 1)));
    passwd pw{};
    passwd *found = nullptr;
    char buf[4096];
    if (getpwnam_r(user.c_str(), &pw, buf, sizeof buf, &found) != 0 || found == nullptr)
      return vsBADSPEC;
    if (!vsi::copyTo(home, found->pw_dir, sizeof home))
      return vsBADSPEC;
  } else {
    rest = spec + 1;
    if (vsTrnlog("HOME", home) != vsOK || home[0] == '\0')
      return vsNOTFOUND;
    if (std::strlen(home) >= vsMAXPATH || vsConvPath(home, home) != vsOK || home[0] == '\0')
      return vsNOTFOUND;
    size_t n = std::strlen(home);
    if (rest[0] == '/' && home[n - 1] == '/')
      home[n - 1] = '\0';
  }
  std::string joined = std::string(home) + rest;
  if (joined.size() >= vsMAXPATH)
    return vsBADSPEC;
  std::memcpy(spec, joined.c_str(), joined.size() + 1);
  return vsOK;
}

// Drops "." components and resolves ".." against the components kept so far
// (never above the root). The result starts with "/" and ends in "/" only
// when text did.
std::string normalise(const std::string &text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find('/', i);
    if (j == std::string::npos)
      j = text.size();
    std::string_view comp(text.data() + i, j - i);
    if (comp == "..") {
      size_t cut = out.rfind('/');
      out.erase(cut == std::string::npos ? 0 : cut);
    } else if (!comp.empty() && comp != ".") {
      out += '/';
      out += comp;
    }
    i = j + 1;
  }
  if (out.empty() || text.back() == '/')
    out += '/';
  return out;
}

int absolute(const char *spec, char *out, bool fromSystem) {
  if (spec == nullptr || out == nullptr)
    return vsBADSPEC;
  char clean[vsMAXPATH];
  if (vsConvPath(spec, clean) != vsOK)
    return vsBADSPEC;
  int st = expandTilde(clean);
  if (st != vsOK)
    return st;

  // Split and join again: this trims blanks around the parts.
  char dev[vsMAXPATH], dir[vsMAXPATH], name[vsMAXPATH], ext[vsMAXPATH];
  char joined[vsMAXPATH];
  if (vsParse(clean, dev, dir, name, ext) != vsOK ||
      vsMerge(joined, nullptr, dir, name, ext) != vsOK || keepFinalDot(clean, joined) != vsOK)
    return vsBADSPEC;

  std::string full;
  char trimmedDir[vsMAXPATH];
  if (vsParse(joined, nullptr, trimmedDir, nullptr, nullptr) != vsOK)
    return vsBADSPEC;
  if (trimmedDir[0] != '/') {
    char base[vsMAXPATH + 1];
    if (fromSystem) {
      if (getcwd(base, vsMAXPATH) == nullptr)
        return vsNOTFOUND;
    } else if (vsGetdef(base) != vsOK) {
      return vsNOTFOUND;
    }
    if (!endsWith(base, '/') && !vsi::appendTo(base, "/", vsMAXPATH))
      return vsBADSPEC;
    char baseDir[vsMAXPATH];
    if (vsParse(base, nullptr, baseDir, nullptr, nullptr) != vsOK)
      return vsBADSPEC;
    full = baseDir;
  }
  full += joined;
  std::string norm = normalise(full);
  if (norm.size() >= vsMAXPATH)
    return vsBADSPEC;

  // Put the spec's device back in front. The parts were trimmed above;
  // splitting and trimming again could only turn names such as ". ." into
  // new "." or ".." components.
  std::string result = std::string(dev) + norm;
  if (result.size() >= vsMAXPATH)
    return vsBADSPEC;
  std::memcpy(out, result.c_str(), result.size() + 1);
  return vsOK;
}

// ---- file name rules ----

bool shortNameChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c == '-';
}

bool validPart(const char *part, size_t shortLimit) {
  if (part == nullptr || part[0] == '\0')
    return false;
  size_t n = std::strlen(part);
  if (!vcOvFnamesCompatibleV)
    return n < vsMAXPATH && std::strchr(part, '/') == nullptr;
  if (n > shortLimit || part[0] == '-')
    return false;
  for (const char *p = part; *p; ++p)
    if (!shortNameChar(static_cast<unsigned char>(*p)))
      return false;
  return true;
}

int makeValidPart(char *part, size_t shortLimit) {
  if (part == nullptr || part[0] == '\0')
    return vsBADSPEC;
  if (!vcOvFnamesCompatibleV) {
    if (std::strlen(part) >= vsMAXPATH)
      part[vsMAXPATH - 1] = '\0';
    for (char *p = part; *p; ++p)
      if (*p == '/')
        *p = '$';
    return vsOK;
  }
  char *p = part;
  for (; *p == '-'; ++p)
    *p = '$';
  for (; *p; ++p)
    if (!shortNameChar(static_cast<unsigned char>(*p)))
      *p = '$';
  if (std::strlen(part) > shortLimit)
    part[shortLimit] = '\0';
  return vsOK;
}

constexpr size_t kShortName = 8;
constexpr size_t kShortExt = 3;

} // namespace

int vcOvFnamesCompatibleV = 0;

int vsParse(const char *spec, char *device, char *directory, char *name, char *extension) {
  Split s;
  if (!split(spec, s))
    return vsBADSPEC;
  put(device, "", 0);
  put(directory, s.text, s.dirLen);
  put(name, s.text + s.dirLen, s.nameLen);
  put(extension, s.extension, std::strlen(s.extension));
  return vsOK;
}

int vsParse2(const char *spec, char *device, char *directory, char *fileName) {
  Split s;
  if (!split(spec, s))
    return vsBADSPEC;
  put(device, "", 0);
  put(directory, s.text, s.dirLen);
  put(fileName, s.text + s.dirLen, std::strlen(s.text + s.dirLen));
  return vsOK;
}

int vsParseEx(const char *spec, char *device, char *directory, char *name, char *extension) {
  if (vsParse(spec, device, directory, name, extension) != vsOK)
    ulExThrowBuild(ulEX_POSTCOND, nullptr, vsMsgFile(), 1041, spec ? spec : "(null)");
  return vsOK;
}

int vsMerge(char *spec, const char *device, const char *directory, const char *name,
            const char *extension) {
  std::string out;
  appendTrimmed(out, device);
  std::string dir;
  appendTrimmed(dir, directory);
  out += dir;
  if (!dir.empty() && dir.back() != '/')
    out += '/';
  appendTrimmed(out, name);
  std::string ext;
  appendTrimmed(ext, extension);
  if (!ext.empty()) {
    out += '.';
    out += ext;
  }
  if (out.size() >= vsMAXPATH || spec == nullptr)
    return vsBADSPEC;
  std::memcpy(spec, out.c_str(), out.size() + 1);
  return vsOK;
}

int vsDnpath(char *directory, const char *subdirectory) {
  if (directory == nullptr)
    return vsBADSPEC;
  if (subdirectory == nullptr || subdirectory[0] == '\0')
    return vsOK;
  std::string out = directory;
  if (!out.empty() && out.back() != '/')
    out += '/';
  out += subdirectory;
  if (out.back() != '/')
    out += '/';
  if (out.size() >= vsMAXPATH)
    return vsBADSPEC;
  std::memcpy(directory, out.c_str(), out.size() + 1);
  return vsOK;
}

int vsUppath(char *directory, char *last) {
  if (directory == nullptr || directory[0] == '\0')
    return vsNOTFOUND;
  size_t n = std::strlen(directory);
  if (directory[n - 1] == '/')
    directory[--n] = '\0';
  char *slash = std::strrchr(directory, '/');
  char *comp = slash ? slash + 1 : directory;
  if (last != nullptr)
    std::memmove(last, comp, std::strlen(comp) + 1);
  *comp = '\0';
  return vsOK;
}

int vsConvPath(const char *in, char *out) {
  if (in == nullptr || out == nullptr)
    return vsBADSPEC;
  // Built aside first: in and out may be the same buffer, and out must not
  // be touched when the result does not fit.
  std::string res;
  for (const char *p = in; *p; ++p) {
    char c = *p == '\\' ? '/' : *p;
    if (c == '/' && (p[1] == '/' || p[1] == '\\'))
      continue;
    res += c;
  }
  if (res.size() >= vsMAXPATH)
    return vsBADSPEC;
  std::memcpy(out, res.c_str(), res.size() + 1);
  return vsOK;
}

int vsAbsPath2(const char *spec, char *out) {
  return absolute(spec, out, false);
}

int vsAbsSysPath2(const char *spec, char *out) {
  return absolute(spec, out, true);
}

int vsAbsPath(char *spec) {
  char out[vsMAXPATH];
  int st = vsAbsPath2(spec, out);
  if (st != vsOK)
    return st;
  size_t n = std::strlen(out);
  if (n > 1 && out[n - 1] == '/' && !endsWith(spec, '/'))
    out[n - 1] = '\0';
  std::strcpy(spec, out);
  return vsOK;
}

int vsRelPath2(const char *spec, char *out) {
  char abs[vsMAXPATH];
  int st = vsAbsPath2(spec, abs);
  if (st != vsOK)
    return st;
  char def[vsMAXPATH];
  if (vsGetdef(def) == vsOK) {
    size_t n = std::strlen(def);
    if (std::strncmp(abs, def, n) == 0) {
      std::memmove(abs, abs + n, std::strlen(abs + n) + 1);
    } else if (n > 1 && std::strncmp(abs, def, n - 1) == 0 && abs[n - 1] == '\0') {
      abs[0] = '\0'; // the default directory itself, written without its "/"
    }
  }
  std::strcpy(out, abs);
  return vsOK;
}

int vsRelPath(char *spec) {
  char out[vsMAXPATH];
  int st = vsRelPath2(spec, out);
  if (st == vsOK)
    std::strcpy(spec, out);
  return st;
}

int vsValidFile(const char *name) {
  return validPart(name, kShortName);
}

int vsValidExt(const char *extension) {
  return validPart(extension, kShortExt);
}

int vsValidSpec(const char *spec) {
  char name[vsMAXPATH], ext[vsMAXPATH];
  if (vsParse(spec, nullptr, nullptr, name, ext) != vsOK)
    return 0;
  return vsValidFile(name) && vsValidExt(ext);
}

int vsMakeValidFile(char *name) {
  return makeValidPart(name, kShortName);
}

int vsMakeValidExt(char *extension) {
  return makeValidPart(extension, kShortExt);
}

int vsMakeValidSpec(char *spec) {
  char dev[vsMAXPATH], dir[vsMAXPATH], name[vsMAXPATH], ext[vsMAXPATH];
  if (vsParse(spec, dev, dir, name, ext) != vsOK || vsMakeValidFile(name) != vsOK ||
      vsMakeValidExt(ext) != vsOK)
    return vsBADSPEC;
  return vsMerge(spec, dev, dir, name, ext);
}
