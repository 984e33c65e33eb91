// ulBus.cpp: counting and expanding bus names.
//
// One parser serves both operations. It works on offsets into the caller's
// text: nextItem finds the next item of a list segment, parseGroup takes a
// repeat group apart, and forEachPiece walks the pieces of a chain, parsing
// each subscript into a Subscript. ulBusExpandWidth multiplies and adds the
// counts without allocating; ulBusExpand turns one item at a time into
// "vecrec" records and produces names from them odometer-fashion, parsing the
// next item of a list only when the current one is used up.
//
// Internal results: 0 is success, a positive value is a status of
// ulBusExpandStatus, and kRefused marks a limit that was passed (the
// operation ends with status 0).
#include "ulBus.h"

#include <climits>
#include <cstring>

#include "ulBase.h"
#include "ulMem.h"
#include "ulStr.h"

namespace {

constexpr int kRefused = -1;
constexpr int kMaxField = 18;          // characters of one subscript field
constexpr long long kMaxNames = 65535; // names a subscript, a repeat or a width may reach
constexpr int kShortName = 32;         // names shorter than this live in the record
constexpr int kMaxSeps = 19;           // separator characters kept

struct BusModule {
  int status = ulBUS_OK;
  char separators[kMaxSeps + 1] = ",";
  bool isSep[256] = {};
  BusModule() { isSep[static_cast<unsigned char>(',')] = true; }
};

BusModule &bus() {
  static BusModule m;
  return m;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// A parsed subscript.
struct Subscript {
  int radix = 10;      // 2, 8, 10 or 16
  int pad = 0;         // width of zero padding, 0 for none
  long long start = 0; // first index
  long long end = 0;   // last index named (the walk may stop short of it by the step)
  long long step = 1;  // absolute step, at least 1
  long long count = 1; // number of indices
};

// One piece of a chain, as offsets into the text.
struct PieceSpec {
  int nameBegin = 0;
  int nameEnd = 0;
  bool hasSub = false;
  bool indexFirst = false; // the index is written before the name
  Subscript sub;
};

// Whether the "[" at i opens a subscript (see the header for the rule).
bool opensSubscript(const char *t, int i, int e) {
  int q = i + 1;
  while (q < e && t[q] != ']')
    q++;
  if (q == i + 1)
    return false;
  if (isDigit(t[i + 1]))
    return true;
  if (t[i + 1] == '-' && i + 2 < q && isDigit(t[i + 2]))
    return true;
  for (int k = i + 1; k < q; k++)
    if (t[k] == ':' || t[k] == '/' || t[k] == '\\')
      return true;
  return false;
}

// The next "[" in [from, e) that opens a subscript, or e. Ordinary square
// brackets on the way are counted in depth; a "]" that closes nothing is
// status 1 (returned in *status).
int findOpener(const char *t, int from, int e, int &depth, int *status) {
  for (int i = from; i < e; i++) {
    if (t[i] == '[') {
      if (opensSubscript(t, i, e))
        return i;
      depth++;
    } else if (t[i] == ']') {
      if (depth == 0) {
        *status = ulBUS_BALANCE;
        return e;
      }
      depth--;
    }
  }
  return e;
}

// Reads field [b, e) in radix. 0, or status 4 (bad digit) or 5 (a
// hexadecimal value too large for 64 bits).
int fieldValue(const char *t, int b, int e, int radix, long long *value) {
  bool negative = false;
  if (radix == 10 && t[b] == '-') {
    negative = true;
    b++;
  }
  if (b == e)
    return ulBUS_DIGIT;
  long long v = 0;
  for (int k = b; k < e; k++) {
    int d = ulHexDigitValue(t[k]);
    if (d < 0 || d >= radix)
      return ulBUS_DIGIT;
    if (v > (LLONG_MAX - d) / radix)
      return ulBUS_LONGFIELD;
    v = v * radix + d;
  }
  *value = negative ? -v : v;
  return 0;
}

// Whether a field is written with a leading zero followed by more digits.
bool zeroPadded(const char *t, int b, int e) {
  if (b < e && t[b] == '-')
    b++;
  return e - b >= 2 && t[b] == '0';
}

int radixOfLetter(char c) {
  switch (c) {
  case 'B':
  case 'b':
    return 2;
  case 'O':
  case 'o':
    return 8;
  case 'D':
  case 'd':
    return 10;
  case 'H':
  case 'h':
    return 16;
  default:
    return 0;
  }
}

// Parses the subscript whose "[" is at i, within [i, e). On success stores
// it and the offset behind its "]" and returns 0; else a status or kRefused.
int parseSubscript(const char *t, int i, int e, Subscript *sub, int *after) {
  int fieldBegin[3];
  int fieldEnd[3];
  int fields = 0;
  int colons = 0;
  int cur = i + 1; // start of the field being read
  bool marker = false;
  char radixLetter = 0;
  int k = i + 1;
  for (;; k++) {
    if (k >= e)
      return ulBUS_BALANCE;
    char c = t[k];
    if (c == '[')
      return ulBUS_BALANCE;
    if (c == ']')
      break;
    if (marker) {
      if (c == ':' || c == '/' || c == '\\' || radixLetter != 0)
        return ulBUS_FORM; // the radix marker comes last, once, with one letter
      if (radixOfLetter(c) == 0)
        return ulBUS_BADCHAR;
      radixLetter = c;
    } else if (c == ':') {
      if (k == cur || ++colons > 2)
        return ulBUS_FORM;
      fieldBegin[fields] = cur;
      fieldEnd[fields++] = k;
      cur = k + 1;
    } else if (c == '/' || c == '\\') {
      if (k == cur)
        return ulBUS_FORM;
      fieldBegin[fields] = cur;
      fieldEnd[fields++] = k;
      marker = true;
    } else if (ulHexDigitValue(c) >= 0 || c == '-') {
      if (k - cur + 1 > kMaxField)
        return ulBUS_LONGFIELD;
    } else {
      return ulBUS_BADCHAR;
    }
  }
  if (marker) {
    if (radixLetter == 0)
      return ulBUS_FORM;
  } else {
    if (k == cur)
      return ulBUS_FORM; // empty last field behind ":"
    fieldBegin[fields] = cur;
    fieldEnd[fields++] = k;
  }

  Subscript s;
  s.radix = radixLetter != 0 ? radixOfLetter(radixLetter) : 10;
  long long values[3] = {0, 0, 1};
  for (int f = 0; f < fields; f++) {
    int r = fieldValue(t, fieldBegin[f], fieldEnd[f], s.radix, &values[f]);
    if (r != 0)
      return r;
  }
  s.start = values[0];
  s.end = fields >= 2 ? values[1] : values[0];
  if (fields == 3) {
    if (values[2] == 0)
      return ulBUS_ZEROSTEP;
    s.step = values[2] < 0 ? -values[2] : values[2];
  }
  int endField = fields >= 2 ? 1 : 0;
  if (zeroPadded(t, fieldBegin[0], fieldEnd[0]) ||
      zeroPadded(t, fieldBegin[endField], fieldEnd[endField])) {
    int a = fieldEnd[0] - fieldBegin[0];
    int b = fieldEnd[endField] - fieldBegin[endField];
    s.pad = a > b ? a : b;
  }
  unsigned long long span = s.start <= s.end ? static_cast<unsigned long long>(s.end) - s.start
                                             : static_cast<unsigned long long>(s.start) - s.end;
  unsigned long long count = span / static_cast<unsigned long long>(s.step) + 1;
  if (count > static_cast<unsigned long long>(kMaxNames))
    return kRefused;
  s.count = static_cast<long long>(count);
  *sub = s;
  *after = k + 1;
  return 0;
}

// Calls visit(const PieceSpec &) for each piece of the chain [b, e); stops
// at the first non-zero result and returns it, or a parse result.
template <class Visit> int forEachPiece(const char *t, int b, int e, Visit &&visit) {
  int depth = 0;
  int status = 0;
  int pos = b;
  while (pos < e) {
    int s = findOpener(t, pos, e, depth, &status);
    if (status != 0)
      return status;
    PieceSpec piece;
    if (s == e) {
      piece.nameBegin = pos;
      piece.nameEnd = e;
      pos = e;
    } else {
      int after = 0;
      int r = parseSubscript(t, s, e, &piece.sub, &after);
      if (r != 0)
        return r;
      piece.hasSub = true;
      if (s == pos) {
        // Subscript first: the name runs up to the next subscript.
        int n = findOpener(t, after, e, depth, &status);
        if (status != 0)
          return status;
        piece.indexFirst = true;
        piece.nameBegin = after;
        piece.nameEnd = n;
        pos = n;
      } else {
        piece.nameBegin = pos;
        piece.nameEnd = s;
        pos = after;
      }
    }
    int r = visit(static_cast<const PieceSpec &>(piece));
    if (r != 0)
      return r;
  }
  return depth != 0 ? ulBUS_BALANCE : 0;
}

// Finds the next item of the segment [pos, end): separators before it are
// skipped. Returns 0 with *found false when none is left, 0 with the item in
// [*itemBegin, *itemEnd), or status 1 for braces out of balance.
int nextItem(const char *t, int pos, int end, bool *found, int *itemBegin, int *itemEnd) {
  const bool *isSep = bus().isSep;
  while (pos < end && isSep[static_cast<unsigned char>(t[pos])])
    pos++;
  *found = pos < end;
  if (!*found)
    return 0;
  int depth = 0;
  int k = pos;
  for (; k < end; k++) {
    unsigned char c = static_cast<unsigned char>(t[k]);
    if (depth == 0 && isSep[c])
      break;
    if (c == '{') {
      depth++;
    } else if (c == '}') {
      if (depth == 0)
        return ulBUS_BALANCE;
      depth--;
    }
  }
  if (depth != 0)
    return ulBUS_BALANCE;
  *itemBegin = pos;
  *itemEnd = k;
  return 0;
}

// Takes the repeat group [b, e) (t[b] is "{", braces balance) apart into its
// inner list and repeat count. 0, status 3 or kRefused.
int parseGroup(const char *t, int b, int e, int *innerBegin, int *innerEnd, long long *repeat) {
  int depth = 0;
  int close = b;
  for (; close < e; close++) {
    if (t[close] == '{')
      depth++;
    else if (t[close] == '}' && --depth == 0)
      break;
  }
  if (close + 1 >= e)
    return ulBUS_FORM;
  long long count = 0;
  bool refused = false;
  for (int k = close + 1; k < e; k++) {
    if (!isDigit(t[k]))
      return ulBUS_FORM;
    count = count * 10 + (t[k] - '0');
    if (count > kMaxNames) {
      refused = true;
      count = kMaxNames + 1; // keep reading digits, no overflow
    }
  }
  if (count == 0)
    return ulBUS_FORM;
  if (refused)
    return kRefused;
  *innerBegin = b + 1;
  *innerEnd = close;
  *repeat = count;
  return 0;
}

// Saturating arithmetic for widths: anything above the limit is kOver.
constexpr long long kOver = kMaxNames + 1;
long long satAdd(long long a, long long b) {
  return a + b > kOver ? kOver : a + b;
}
long long satMul(long long a, long long b) {
  if (a == 0 || b == 0)
    return 0;
  return a > kOver / b ? kOver : (a * b > kOver ? kOver : a * b);
}

// The width of the list segment [b, e), saturated at kOver.
int listWidth(const char *t, int b, int e, long long *width) {
  long long total = 0;
  int pos = b;
  for (;;) {
    bool found = false;
    int ib = 0;
    int ie = 0;
    int r = nextItem(t, pos, e, &found, &ib, &ie);
    if (r != 0)
      return r;
    if (!found)
      break;
    long long item = 1;
    if (t[ib] == '{') {
      int innerBegin = 0;
      int innerEnd = 0;
      long long repeat = 0;
      r = parseGroup(t, ib, ie, &innerBegin, &innerEnd, &repeat);
      if (r != 0)
        return r;
      long long inner = 0;
      r = listWidth(t, innerBegin, innerEnd, &inner);
      if (r != 0)
        return r;
      item = satMul(repeat, inner);
    } else {
      r = forEachPiece(t, ib, ie, [&item](const PieceSpec &p) {
        if (p.hasSub)
          item = satMul(item, p.sub.count);
        return 0;
      });
      if (r != 0)
        return r;
    }
    total = satAdd(total, item);
    pos = ie;
  }
  *width = total;
  return 0;
}

// Writes v in radix with the padding width of the subscript into out (room
// for at least 72 characters); returns the length.
int formatIndex(long long v, int radix, int pad, char *out) {
  char digits[72];
  int n = 0;
  bool negative = v < 0;
  unsigned long long u =
      negative ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  static const char kDigits[] = "0123456789ABCDEF";
  do {
    digits[n++] = kDigits[u % static_cast<unsigned>(radix)];
    u /= static_cast<unsigned>(radix);
  } while (u != 0);
  int len = 0;
  if (negative)
    out[len++] = '-';
  // As printf's "%0Nd": the width counts the sign.
  for (int z = pad - n - (negative ? 1 : 0); z > 0; z--)
    out[len++] = '0';
  while (n > 0)
    out[len++] = digits[--n];
  return len;
}

} // namespace

// One record of the expansion state. A chain item is a list of piece
// records linked by next; a repeat group is one record holding the state of
// its inner list. The first record of an item also holds the text segment
// behind the item, which is parsed when the item is used up.
struct ulBusState {
  ulBusState *next;           // next piece of the chain, null on the last
  ulBusState *inner;          // group: current item of its inner list, or null
  char shortName[kShortName]; // the name when shorter than 32 characters
  char *longName;             // pooled copy of a longer name, else null
  int nameLength;             // characters of the name
  bool hasSub;                // the piece has a subscript
  bool indexFirst;            // the index is written before the name
  bool isGroup;               // the record is a repeat group
  bool done;                  // item: its first name has been produced
  bool passStarted;           // group: a pass over the inner list is running
  bool passEmitted;           // group: that pass produced a name
  int radix;                  // subscript radix: 2, 8, 10, 16
  int pad;                    // zero padding width, 0 for none
  long long step;             // signed step: negative when counting down
  long long start;            // first index
  long long cur;              // current index
  long long left;             // indices left after the current one
  long long count;            // indices in all
  long long repeat;           // group: repeat count
  long long repeatsLeft;      // group: passes left including the running one
  int innerBegin;             // group: the inner list's text segment
  int innerEnd;
  int restBegin; // item head: the list segment behind this item
  int restEnd;
};

namespace {

// Where ulBusExpand writes a name.
struct Output {
  char *buffer;
  int size;
};

ulBusState *newRecord() {
  auto *r = static_cast<ulBusState *>(ulMemMalloc(sizeof(ulBusState), "vecrec"));
  std::memset(static_cast<void *>(r), 0, sizeof(ulBusState));
  return r;
}

void freeItem(ulBusState *r) {
  while (r != nullptr) {
    ulBusState *next = r->next;
    if (r->isGroup)
      freeItem(r->inner);
    if (r->longName != nullptr)
      ulStrFree(r->longName);
    ulMemFree(r);
    r = next;
  }
}

// Stores an internal result as the status (kRefused counts as success).
void setStatus(int r) {
  bus().status = r > 0 ? r : ulBUS_OK;
}

// Builds the records of the next item of the segment [pos, end) into *item
// (null when none is left). 0, a status or kRefused.
int buildItemRecords(const char *t, int pos, int end, ulBusState **item) {
  *item = nullptr;
  bool found = false;
  int ib = 0;
  int ie = 0;
  int r = nextItem(t, pos, end, &found, &ib, &ie);
  if (r != 0 || !found)
    return r;
  ulBusState *head = nullptr;
  if (t[ib] == '{') {
    int innerBegin = 0;
    int innerEnd = 0;
    long long repeat = 0;
    r = parseGroup(t, ib, ie, &innerBegin, &innerEnd, &repeat);
    if (r != 0)
      return r;
    head = newRecord();
    head->isGroup = true;
    head->repeat = repeat;
    head->repeatsLeft = repeat;
    head->innerBegin = innerBegin;
    head->innerEnd = innerEnd;
  } else {
    ulBusState *last = nullptr;
    r = forEachPiece(t, ib, ie, [&](const PieceSpec &p) {
      ulBusState *rec = newRecord();
      int n = p.nameEnd - p.nameBegin;
      rec->nameLength = n;
      if (n < kShortName) {
        std::memcpy(rec->shortName, t + p.nameBegin, static_cast<size_t>(n));
      } else {
        rec->longName = ulStrAlloc(n + 1);
        std::memcpy(rec->longName, t + p.nameBegin, static_cast<size_t>(n));
        rec->longName[n] = '\0';
      }
      rec->hasSub = p.hasSub;
      rec->indexFirst = p.indexFirst;
      rec->radix = p.sub.radix;
      rec->pad = p.sub.pad;
      rec->start = p.sub.start;
      rec->step = p.sub.start <= p.sub.end ? p.sub.step : -p.sub.step;
      rec->count = p.sub.count;
      rec->cur = rec->start;
      rec->left = rec->count - 1;
      if (last == nullptr)
        head = rec;
      else
        last->next = rec;
      last = rec;
      return 0;
    });
    if (r != 0) {
      freeItem(head);
      return r;
    }
  }
  head->restBegin = ie;
  head->restEnd = end;
  *item = head;
  return 0;
}

// buildItemRecords, leaving the status of a failure.
int buildItem(const char *t, int pos, int end, ulBusState **item) {
  int r = buildItemRecords(t, pos, end, item);
  if (r != 0)
    setStatus(r);
  return r;
}

// Appends n characters to the name being written; status 8 when they do not
// fit with the terminator.
bool put(Output &out, int &len, const char *s, int n) {
  if (len + n >= out.size) {
    bus().status = ulBUS_NOROOM;
    return false;
  }
  std::memcpy(out.buffer + len, s, static_cast<size_t>(n));
  len += n;
  return true;
}

// Writes the chain's current name.
bool writeChain(const ulBusState *head, Output &out) {
  int len = 0;
  char index[80];
  for (const ulBusState *p = head; p != nullptr; p = p->next) {
    int n = p->hasSub ? formatIndex(p->cur, p->radix, p->pad, index) : 0;
    const char *name = p->longName != nullptr ? p->longName : p->shortName;
    if (p->indexFirst && !put(out, len, index, n))
      return false;
    if (!put(out, len, name, p->nameLength))
      return false;
    if (p->hasSub && !p->indexFirst && !put(out, len, index, n))
      return false;
  }
  if (out.size <= 0) {
    bus().status = ulBUS_NOROOM;
    return false;
  }
  out.buffer[len] = '\0';
  return true;
}

int listNext(ulBusState **current, const char *t, Output &out);

// The next name of one item: 1 written, 0 the item is used up, -1 failure
// (status set; the caller releases the state).
int itemNext(ulBusState *item, const char *t, Output &out) {
  if (item->isGroup) {
    for (;;) {
      if (!item->passStarted) {
        int r = buildItem(t, item->innerBegin, item->innerEnd, &item->inner);
        if (r != 0)
          return -1;
        item->passStarted = true;
        item->passEmitted = false;
        if (item->inner == nullptr)
          return 0; // an empty inner list yields nothing, however often
      }
      int r = listNext(&item->inner, t, out);
      if (r != 0) {
        if (r == 1)
          item->passEmitted = true;
        return r;
      }
      if (!item->passEmitted || --item->repeatsLeft == 0)
        return 0;
      item->passStarted = false;
    }
  }
  if (!item->done) {
    item->done = true;
  } else {
    // Odometer: the last piece with indices left moves on, every piece
    // behind it starts over.
    ulBusState *mover = nullptr;
    for (ulBusState *p = item; p != nullptr; p = p->next)
      if (p->left > 0)
        mover = p;
    if (mover == nullptr)
      return 0;
    mover->cur += mover->step;
    mover->left--;
    for (ulBusState *p = mover->next; p != nullptr; p = p->next) {
      p->cur = p->start;
      p->left = p->count - 1;
    }
  }
  return writeChain(item, out) ? 1 : -1;
}

// The next name of the list whose current item is *current, moving on to the
// following items as each is used up. 1 written, 0 the list is used up
// (*current is null), -1 failure.
int listNext(ulBusState **current, const char *t, Output &out) {
  while (*current != nullptr) {
    int r = itemNext(*current, t, out);
    if (r != 0)
      return r;
    ulBusState *old = *current;
    int restBegin = old->restBegin;
    int restEnd = old->restEnd;
    freeItem(old);
    *current = nullptr;
    if (buildItem(t, restBegin, restEnd, current) != 0)
      return -1;
  }
  return 0;
}

} // namespace

int ulBusExpandWidth(const char *text) {
  BusModule &m = bus();
  m.status = ulBUS_OK;
  if (text == nullptr) {
    m.status = ulBUS_NULLARG;
    return 0;
  }
  long long width = 0;
  int r = listWidth(text, 0, static_cast<int>(std::strlen(text)), &width);
  if (r != 0) {
    setStatus(r);
    return 0;
  }
  return width > kMaxNames ? 0 : static_cast<int>(width);
}

ulBusState *ulBusExpand(ulBusState *state, const char *text, char *buffer, int size) {
  BusModule &m = bus();
  m.status = ulBUS_OK;
  if (text == nullptr || buffer == nullptr) {
    ulBusExpandFree(state);
    m.status = ulBUS_NULLARG;
    return nullptr;
  }
  if (state == nullptr) {
    if (buildItem(text, 0, static_cast<int>(std::strlen(text)), &state) != 0)
      return nullptr;
  }
  Output out{buffer, size};
  int r = listNext(&state, text, out);
  if (r == 1)
    return state;
  // A failure has set its status already (kRefused leaves 0).
  ulBusExpandFree(state);
  return nullptr;
}

int ulBusExpandStatus() {
  return bus().status;
}

int ulBusExpandRepsep(const char *separators) {
  BusModule &m = bus();
  if (separators == nullptr) {
    m.status = ulBUS_NULLARG;
    return 0;
  }
  m.status = ulBUS_OK;
  ulStrncpyNullTerm(m.separators, separators, kMaxSeps + 1);
  std::memset(m.isSep, 0, sizeof m.isSep);
  for (const char *s = m.separators; *s != '\0'; s++)
    m.isSep[static_cast<unsigned char>(*s)] = true;
  return 1;
}

void ulBusExpandFree(ulBusState *state) {
  freeItem(state);
}
