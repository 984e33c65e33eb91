// msgc: the message compiler. Turns a message source into a binary message
// file that the message layer (ulMsg.h) reads.
//
//   msgc SOURCE.msg OUTPUT.umb
//
// Source syntax, one item per line:
//   # a comment (a line whose first non-blank character is '#')
//   application "ullib"        the application-name record
//   version "5.0"              the version-string record
//   release 5.0.0              the file's version numbers (default 0.0.0)
//   1021 "[E] Message %d ..."  a message: its number and its text
//        "more text"           a line that holds only a quoted string
//                              continues the text of the entry above it
// Texts are written in double quotes with the escapes \n \t \r \\ \" and
// \'; anything else after a backslash is an error. A message number is a
// signed decimal that fits 32 bits; numbers may come in any order and are
// sorted, but a number may appear only once. Every error in the source is
// reported as "FILE:LINE: error: ..." and no output is written.
//
// Output layout (every word 32-bit big-endian): a 15-word header (marker
// 0x00010203, major, minor, patch, index offset, 0, application-record offset,
// version-record offset, seven zero words), the index (entry count, then per
// message its number, text offset and text length with the zero byte), the
// texts, and the two string records (length word, then the bytes with their
// zero byte). The output is written to a temporary file beside the target and
// renamed into place, so a failed run never leaves a half-written file.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kMarker = 0x00010203;
constexpr size_t kHeaderWords = 15;
constexpr size_t kMaxEntries = 200000;

struct Message {
  int32_t number;
  std::string text;
  int line; // source line of the entry, for duplicate reports
};

struct Source {
  std::optional<std::string> application;
  std::optional<std::string> version;
  uint32_t release[3] = {0, 0, 0};
  bool haveRelease = false;
  std::vector<Message> messages;
};

class Compiler {
public:
  explicit Compiler(std::string file) : file_(std::move(file)) {}

  // Parses the whole source; returns false after reporting every error.
  bool parse(std::istream &in, Source &out) {
    std::string line;
    int lineNo = 0;
    Message *last = nullptr; // entry that a continuation line extends
    bool inEntry = false;    // after a message line, also a refused one
    std::map<int32_t, int> seen;
    while (std::getline(in, line)) {
      ++lineNo;
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      size_t p = line.find_first_not_of(" \t");
      if (p == std::string::npos || line[p] == '#') {
        last = nullptr;
        inEntry = false;
        continue;
      }
      if (line[p] == '"') {
        // The continuation of a refused entry is still checked, but its
        // entry's error has been told already.
        std::string more;
        if (!inEntry) {
          error(lineNo, "a quoted text with no message entry above it");
        } else if (parseQuoted(line, p, lineNo, more) && last) {
          last->text += more;
        }
        continue;
      }
      last = nullptr;
      inEntry = false;
      size_t wordEnd = line.find_first_of(" \t", p);
      std::string word =
          line.substr(p, wordEnd == std::string::npos ? std::string::npos : wordEnd - p);
      size_t rest =
          wordEnd == std::string::npos ? line.size() : line.find_first_not_of(" \t", wordEnd);
      if (rest == std::string::npos)
        rest = line.size();
      if (word == "application" || word == "version") {
        std::optional<std::string> &slot = word == "application" ? out.application : out.version;
        std::string value;
        if (rest >= line.size() || line[rest] != '"') {
          error(lineNo, word + " needs a quoted text");
        } else if (parseQuoted(line, rest, lineNo, value)) {
          if (slot)
            error(lineNo, word + " given twice");
          else
            slot = value;
        }
      } else if (word == "release") {
        if (out.haveRelease)
          error(lineNo, "release given twice");
        else if (!parseRelease(line.substr(rest), out.release))
          error(lineNo, "release needs three dotted numbers, as in 5.0.0");
        else
          out.haveRelease = true;
      } else if (auto number = parseNumber(word)) {
        inEntry = true;
        std::string text;
        if (rest >= line.size() || line[rest] != '"') {
          error(lineNo, "message " + word + " needs a quoted text");
        } else if (parseQuoted(line, rest, lineNo, text)) {
          auto [it, fresh] = seen.emplace(*number, lineNo);
          if (!fresh) {
            error(lineNo, "duplicate message number " + std::to_string(*number) +
                              " (first at line " + std::to_string(it->second) + ")");
          } else {
            out.messages.push_back({*number, text, lineNo});
            last = &out.messages.back();
          }
        }
      } else {
        error(lineNo, "unknown entry `" + word + "'");
      }
    }
    // A read error (a directory, a failing disk) ends the loop like the end
    // of the file would; a cut source must not compile.
    if (in.bad())
      error(lineNo + 1, std::string("cannot read the source: ") + std::strerror(errno));
    if (out.messages.size() > kMaxEntries)
      error(lineNo, "more than 200000 messages");
    return errors_ == 0;
  }

  void error(int line, const std::string &what) {
    std::fprintf(stderr, "%s:%d: error: %s\n", file_.c_str(), line, what.c_str());
    ++errors_;
  }

private:
  // Reads a quoted text starting at line[pos] == '"' up to its closing quote;
  // only blanks or a comment may follow it.
  bool parseQuoted(const std::string &line, size_t pos, int lineNo, std::string &out) {
    out.clear();
    size_t i = pos + 1;
    for (; i < line.size() && line[i] != '"'; ++i) {
      char c = line[i];
      if (c == '\\') {
        if (++i >= line.size()) {
          error(lineNo, "backslash at the end of the line");
          return false;
        }
        switch (line[i]) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case '\\':
          out += '\\';
          break;
        case '"':
          out += '"';
          break;
        case '\'':
          out += '\'';
          break;
        default:
          error(lineNo, std::string("unknown escape \\") + line[i]);
          return false;
        }
      } else if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        error(lineNo, "control character in a text");
        return false;
      } else {
        out += c;
      }
    }
    if (i >= line.size()) {
      error(lineNo, "text without its closing quote");
      return false;
    }
    size_t after = line.find_first_not_of(" \t", i + 1);
    if (after != std::string::npos && line[after] != '#') {
      error(lineNo, "unexpected characters after the closing quote");
      return false;
    }
    return true;
  }

  static std::optional<int32_t> parseNumber(const std::string &word) {
    size_t i = (word[0] == '-' || word[0] == '+') ? 1 : 0;
    if (i >= word.size() || word.size() - i > 10)
      return std::nullopt;
    for (size_t k = i; k < word.size(); ++k)
      if (word[k] < '0' || word[k] > '9')
        return std::nullopt;
    long long v = std::strtoll(word.c_str(), nullptr, 10);
    if (v < INT32_MIN || v > INT32_MAX)
      return std::nullopt;
    return static_cast<int32_t>(v);
  }

  static bool parseRelease(const std::string &text, uint32_t out[3]) {
    std::string t = text.substr(0, text.find_first_of(" \t#"));
    unsigned long part[3];
    size_t pos = 0;
    for (int k = 0; k < 3; ++k) {
      size_t end = pos;
      while (end < t.size() && t[end] >= '0' && t[end] <= '9')
        ++end;
      if (end == pos || end - pos > 9)
        return false;
      part[k] = std::strtoul(t.substr(pos, end - pos).c_str(), nullptr, 10);
      if (k < 2) {
        if (end >= t.size() || t[end] != '.')
          return false;
        pos = end + 1;
      } else if (end != t.size()) {
        return false;
      }
    }
    for (int k = 0; k < 3; ++k)
      out[k] = static_cast<uint32_t>(part[k]);
    return true;
  }

  std::string file_;
  int errors_ = 0;
};

void putWord(std::string &out, uint32_t w) {
  out += static_cast<char>(w >> 24);
  out += static_cast<char>(w >> 16);
  out += static_cast<char>(w >> 8);
  out += static_cast<char>(w);
}

void setWord(std::string &out, size_t offset, uint32_t w) {
  for (int k = 0; k < 4; ++k)
    out[offset + k] = static_cast<char>(w >> (24 - 8 * k));
}

// Lays the parsed source out as a binary message file.
std::string layout(Source &src) {
  std::sort(src.messages.begin(), src.messages.end(),
            [](const Message &a, const Message &b) { return a.number < b.number; });
  std::string out(kHeaderWords * 4, '\0');
  setWord(out, 0, kMarker);
  for (int k = 0; k < 3; ++k)
    setWord(out, 4 + 4 * k, src.release[k]);
  const size_t indexOffset = out.size();
  setWord(out, 16, static_cast<uint32_t>(indexOffset));
  putWord(out, static_cast<uint32_t>(src.messages.size()));
  size_t textOffset = indexOffset + 4 + 12 * src.messages.size();
  for (const Message &m : src.messages) {
    putWord(out, static_cast<uint32_t>(m.number));
    putWord(out, static_cast<uint32_t>(textOffset));
    putWord(out, static_cast<uint32_t>(m.text.size() + 1));
    textOffset += m.text.size() + 1;
  }
  for (const Message &m : src.messages) {
    out += m.text;
    out += '\0';
  }
  auto record = [&out](const std::optional<std::string> &s, size_t headerOffset) {
    if (!s)
      return;
    setWord(out, headerOffset, static_cast<uint32_t>(out.size()));
    putWord(out, static_cast<uint32_t>(s->size() + 1));
    out += *s;
    out += '\0';
  };
  record(src.application, 24);
  record(src.version, 28);
  return out;
}

bool writeAtomically(const std::string &path, const std::string &bytes) {
  std::string tmp = path + ".tmp";
  FILE *f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "msgc: cannot create %s: %s\n", tmp.c_str(), std::strerror(errno));
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "msgc: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: msgc SOURCE.msg OUTPUT.umb\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "msgc: cannot open %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  Source src;
  Compiler compiler(argv[1]);
  if (!compiler.parse(in, src))
    return 1;
  return writeAtomically(argv[2], layout(src)) ? 0 : 1;
}
