// udiff.cpp: the unified diff of two texts, for retagplan --diff (see
// retagInternal.h).
#include <algorithm>
#include <string>
#include <vector>

#include "retagInternal.h"

namespace {

// The lines of a text, each with its line end; the last one may lack it.
std::vector<std::string> linesOf(const std::string &text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    const size_t end = text.find('\n', from);
    const size_t to = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(from, to - from));
    from = to;
  }
  return lines;
}

enum class Op { Keep, Remove, Add };

// The most values the rounds of the edit script may keep (64 MiB): texts
// further apart than that are given as one replacement.
constexpr size_t kTraceBudget = 16U << 20;

// The shortest edit script from a to b (Myers' greedy algorithm): Keep and
// Remove step through a, Keep and Add through b. Beyond the budget, every
// line of a removed and every line of b added.
std::vector<Op> editScript(const std::vector<std::string> &a, const std::vector<std::string> &b) {
  const int n = static_cast<int>(a.size());
  const int m = static_cast<int>(b.size());
  const int offset = n + m + 1;
  std::vector<int> v(2 * offset + 1, 0);
  std::vector<std::vector<int>> trace;
  int x = 0;
  int y = 0;
  for (int d = 0; d <= n + m; ++d) {
    if ((trace.size() + 1) * v.size() > kTraceBudget) {
      std::vector<Op> replace(static_cast<size_t>(n), Op::Remove);
      replace.insert(replace.end(), static_cast<size_t>(m), Op::Add);
      return replace;
    }
    trace.push_back(v);
    bool done = false;
    for (int k = -d; k <= d && !done; k += 2) {
      x = k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]) ? v[offset + k + 1]
                                                                       : v[offset + k - 1] + 1;
      y = x - k;
      while (x < n && y < m && a[x] == b[y]) {
        ++x;
        ++y;
      }
      v[offset + k] = x;
      done = x >= n && y >= m;
    }
    if (done)
      break;
  }
  // Back from the end through the rounds.
  std::vector<Op> ops;
  x = n;
  y = m;
  for (int d = static_cast<int>(trace.size()) - 1; d >= 0; --d) {
    const std::vector<int> &before = trace[d];
    const int k = x - y;
    const int prevK =
        k == -d || (k != d && before[offset + k - 1] < before[offset + k + 1]) ? k + 1 : k - 1;
    const int prevX = before[offset + prevK];
    const int prevY = prevX - prevK;
    while (x > prevX && y > prevY) {
      ops.push_back(Op::Keep);
      --x;
      --y;
    }
    if (d > 0) {
      if (x == prevX) {
        ops.push_back(Op::Add);
        --y;
      } else {
        ops.push_back(Op::Remove);
        --x;
      }
    }
  }
  std::reverse(ops.begin(), ops.end());
  return ops;
}

// One line of a hunk: its mark and text, with the note of a missing line end.
void hunkLine(std::string &out, char mark, const std::string &line) {
  out += mark;
  out += line;
  if (line.empty() || line.back() != '\n')
    out += "\n\\ No newline at end of file\n";
}

// "@@ -start,count" of one side: a range of no line starts at the line
// before it.
std::string range(int first, int count) {
  return std::to_string(count > 0 ? first + 1 : first) + "," + std::to_string(count);
}

} // namespace

std::string vaam::unifiedDiff(const std::string &label, const std::string &before,
                              const std::string &after) {
  constexpr int kContext = 3;
  const std::vector<std::string> a = linesOf(before);
  const std::vector<std::string> b = linesOf(after);
  const std::vector<Op> ops = editScript(a, b);
  const int count = static_cast<int>(ops.size());
  std::string out;
  int i = 0;
  int ai = 0; // line of a at op i
  int bi = 0; // line of b at op i
  while (i < count) {
    if (ops[i] == Op::Keep) {
      ++i;
      ++ai;
      ++bi;
      continue;
    }
    // A hunk: the change at i with its context, joined with the next change
    // while the lines kept between them are at most twice the context.
    int start = i;
    int as = ai;
    int bs = bi;
    for (int c = 0; c < kContext && start > 0 && ops[start - 1] == Op::Keep; ++c) {
      --start;
      --as;
      --bs;
    }
    int end = i;
    for (;;) {
      while (end < count && ops[end] != Op::Keep)
        ++end;
      int kept = 0;
      while (end + kept < count && ops[end + kept] == Op::Keep)
        ++kept;
      if (end + kept < count && kept <= 2 * kContext) {
        end += kept;
        continue;
      }
      end += std::min(kept, kContext);
      break;
    }
    std::string body;
    int ac = 0;
    int bc = 0;
    int x = as;
    int y = bs;
    for (int j = start; j < end; ++j) {
      switch (ops[j]) {
      case Op::Keep:
        hunkLine(body, ' ', a[x++]);
        ++y;
        ++ac;
        ++bc;
        break;
      case Op::Remove:
        hunkLine(body, '-', a[x++]);
        ++ac;
        break;
      case Op::Add:
        hunkLine(body, '+', b[y++]);
        ++bc;
        break;
      }
    }
    if (out.empty())
      out = "--- " + label + "\n+++ " + label + "\n";
    out += "@@ -" + range(as, ac) + " +" + range(bs, bc) + " @@\n" + body;
    i = end;
    ai = x;
    bi = y;
  }
  return out;
}
