#!/usr/bin/env python3
"""Checks that the message catalogue, the compiled message files and the code agree.

    tools/check-messages.py [BUILD_DIR]

Three things describe every message: the table in messages/README.md (its
number, its form and the printf conversions its callers pass), the compiled
file BUILD_DIR/bin/<name>.umb that the program reads, and the calls in the
source tree that name the message by number. A text whose conversions differ
from what its callers pass formats garbage or crashes at run time, and no
compiler sees it. This script finds such disagreements:

  - the table and the message source list the same numbers;
  - each compiled text has the conversions and the form the table gives;
  - each call naming a literal message number finds it in its file, passes
    as many arguments as the text has conversions, passes string literals
    only to %s and integer literals never to %s, and uses the form its
    function needs.

BUILD_DIR (default build/release) is a built tree. Exits 1 after printing
every finding, 0 when there is none. Standard library only.
"""

import os
import re
import struct
import sys

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
FILES = ("ullib", "vslib", "scrib")
SCANNED_DIRS = ("util", "library", "scrib", "gpi", "project", "retag")
MARKER = 0x00010203
HEADER_WORDS = 15

# Where a function takes its message file (-1: the editor's file), its number
# and its first format argument (-1: none), and the form it needs: 'r' report,
# 't' plain text, '?' either.
CALLERS = (
    ("ulErrBuild", 1, 2, 3, "r"),
    ("ulErrReportBuild", 2, 3, 4, "r"),
    ("ulErrOutBuild", 2, 3, 4, "r"),
    ("ulExThrowBuild", 2, 3, 4, "r"),
    ("ulEx_PreCond", 1, 2, 3, "r"),
    ("ulEx_PostCond", 1, 2, 3, "r"),
    ("ulExPrecond", 2, 3, 4, "r"),
    ("ulMsgStatic", 0, 1, 2, "?"),
    ("ulMsgAlloc", 0, 1, 2, "?"),
    ("ulMsgBuffer", 2, 3, 4, "?"),
    ("ulMsgGenerate", 0, 1, 4, "?"),
    ("ulPrefAdd2", 3, 4, -1, "t"),
    ("ulPrefReplace2", 3, 4, -1, "t"),
    ("sbMsgBuild", -1, 0, 1, "t"),
    ("sbErrReport", -1, 0, 1, "r"),
    ("sbErrReportLoc", -1, 0, 2, "r"),
    ("sbErrReportStream", -1, 0, 2, "r"),
    ("sbErrReportStreamLoc", -1, 0, 3, "r"),
    ("q_put_msgid", -1, 0, -1, "t"),
    ("qPutMsg", -1, 0, 1, "t"),
    ("qErrReport", -1, 0, 1, "t"),
    ("qPutLine", -1, 0, 1, "t"),
    ("q_putmsgid", -1, 0, -1, "t"),
    ("q_putlineid", -1, 0, -1, "t"),
    ("q_ini_putmsgid", -1, 0, -1, "t"),
)

findings = []


def fail(what):
    findings.append(what)


def is_int(s):
    return re.fullmatch(r"-?[0-9]+", s) is not None


def conversions(text):
    """The printf conversions of a text, each reduced to its length modifier
    and letter ("%-5ld" gives "%ld"), blank-separated; "-" for none."""
    out = []
    i = text.find("%")
    while i >= 0:
        j = i + 1
        while j < len(text) and text[j] in "-+ #0'123456789.*":
            j += 1
        mod = j
        while j < len(text) and text[j] in "hlLqjzt":
            j += 1
        if j >= len(text):
            return "<bad>"
        if text[j] != "%" or j != i + 1:
            out.append("%" + text[mod:j] + text[j])
        i = text.find("%", j + 1)
    return " ".join(out) if out else "-"


def read_catalogue():
    """file -> number -> (form, conversions), from the tables of messages/README.md."""
    cat = {}
    current = None
    with open(os.path.join(SOURCE, "messages", "README.md"), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("### "):
                current = line[4:].strip(" \t")
            cells = [c.strip(" \t") for c in line.split("|")]
            if current and len(cells) >= 5 and cells[0] == "" and is_int(cells[1]):
                cat.setdefault(current, {})[int(cells[1])] = (cells[2], cells[3])
    return cat


def source_numbers(name):
    numbers = set()
    with open(os.path.join(SOURCE, "messages", name + ".msg"), encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if words and is_int(words[0]):
                numbers.add(int(words[0]))
    return numbers


def compiled_texts(path):
    """number -> text of a compiled message file (32-bit big-endian words: a
    header whose fifth word is the index offset, then the entry count and one
    number, offset and length with the zero byte per message)."""
    with open(path, "rb") as f:
        data = f.read()
    header = struct.unpack_from(">%dI" % HEADER_WORDS, data, 0)
    if header[0] != MARKER:
        raise ValueError("no message file marker")
    (count,) = struct.unpack_from(">i", data, header[4])
    texts = {}
    for k in range(count):
        number, offset, length = struct.unpack_from(">iii", data, header[4] + 4 + 12 * k)
        raw = data[offset : offset + max(length - 1, 0)]
        texts[number] = raw.split(b"\0", 1)[0].decode("latin-1")
    return texts


def check_files(cat, build):
    for name in FILES:
        table = cat.get(name, {})
        if not table:
            fail("messages/README.md: no table for %s" % name)
        src = source_numbers(name)
        for n in sorted(src - set(table)):
            fail("%s: message %d is in the source but not in the table" % (name, n))
        for n in sorted(set(table) - src):
            fail("%s: message %d is in the table but not in the source" % (name, n))
        path = os.path.join(build, "bin", name + ".umb")
        try:
            texts = compiled_texts(path)
        except (OSError, ValueError, struct.error) as e:
            fail("%s: cannot read the compiled file: %s" % (path, e))
            continue
        for number, (form, conv) in sorted(table.items()):
            where = "%s %d" % (name, number)
            if number not in texts:
                fail("%s: not in the compiled file %s" % (where, path))
                continue
            text = texts[number]
            if conversions(text) != conv:
                fail("%s: text %r has conversions %s, the table says %s"
                     % (where, text, conversions(text), conv))
            # A report text starts "[X]" and the message follows at once (a
            # blank would begin the record's text); a plain text has none.
            bracketed = (len(text) > 3 and text[0] == "[" and text[1].isalpha()
                         and text[2] == "]" and text[3] != " ")
            if form not in ("report", "text"):
                fail("%s: unknown form %r" % (where, form))
            elif bracketed != (form == "report"):
                fail("%s: text %r does not suit the form %s" % (where, text, form))


def strip_source(s):
    """Removes comments and empties string and character literals (the quotes
    stay), so that commas and parentheses inside them vanish; newlines stay so
    that line numbers hold."""
    out = []
    i, n = 0, len(s)
    while i < n:
        if s.startswith("//", i):
            end = (s.find("\n", i) if s.find("\n", i) >= 0 else n) - 1
        elif s.startswith("/*", i):
            close = s.find("*/", i + 2)
            end = (close if close >= 0 else n - 2) + 1
        elif s[i] == '"' and i > 0 and s[i - 1] == "R":  # R"x( ... )x"
            open_ = s.find("(", i)
            open_ = open_ if open_ >= 0 else n
            close = ")" + s[i + 1 : open_] + '"'
            at = s.find(close, open_)
            end = (at if at >= 0 else n - len(close)) + len(close) - 1
            out.append('""')
        elif s[i] in "\"'":
            end = i + 1
            while end < n and s[end] != s[i]:
                end += 2 if s[end] == "\\" else 1
            end = min(end, n - 1)
            out.append(s[i] * 2)
        else:
            out.append(s[i])
            i += 1
            continue
        out.append("\n" * s.count("\n", i, end + 1))
        i = end + 1
    return "".join(out)


def split_args(s, pos):
    """Splits the argument list that starts after a "(" at pos."""
    args, cur, depth = [], [], 0
    while pos < len(s):
        c = s[pos]
        depth += (c in "([{") - (c in ")]}")
        if depth < 0 or (c == "," and depth == 0):
            args.append("".join(cur).strip(" \t"))
            cur = []
            if depth < 0:
                break
        else:
            cur.append(" " if c == "\n" else c)
        pos += 1
    return [] if args == [""] else args


def scan_calls():
    """Every call of a message function with a literal number: (where, file,
    number, caller, args); file is "" when the handle does not tell."""
    uses = []
    for top in SCANNED_DIRS:
        for root, _, names in sorted(os.walk(os.path.join(SOURCE, top))):
            for fname in sorted(names):
                if not fname.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(root, fname)
                with open(path, encoding="utf-8", errors="replace") as f:
                    s = strip_source(f.read())
                for caller in CALLERS:
                    name, file_arg, number_arg = caller[0], caller[1], caller[2]
                    for m in re.finditer(r"(?<![A-Za-z0-9_])" + re.escape(name) + r"\(", s):
                        args = split_args(s, m.end())
                        if len(args) <= number_arg or not is_int(args[number_arg]):
                            continue  # a declaration, or a number held in a variable
                        handle = "get_msg_file()" if file_arg < 0 else args[file_arg]
                        file = ("ullib" if "ulMsgFile()" in handle
                                else "vslib" if "vsMsgFile()" in handle
                                else "scrib" if "get_msg_file()" in handle else "")
                        where = "%s:%d" % (os.path.relpath(path, SOURCE),
                                           1 + s.count("\n", 0, m.start()))
                        uses.append((where, file, int(args[number_arg]), caller, args))
    return uses


def check_calls(cat):
    uses = scan_calls()
    # The message layer itself names several numbers; finding few means the
    # scanner is broken, not that the code is clean.
    if len(uses) < 10:
        fail("only %d calls naming a message number found" % len(uses))
    for where, file, number, caller, args in uses:
        name, _, _, first_format, form = caller
        at = "%s: %s of message %d" % (where, name, number)
        if not file:  # a handle in a variable: the number must tell
            owners = [f for f in FILES if number in cat.get(f, {})]
            file = owners[0] if len(owners) == 1 else "more than one file" if owners else ""
        entry = cat.get(file, {}).get(number)
        if entry is None:
            fail("%s: not in message file %s" % (at, file or "(none)"))
            continue
        if form != "?" and entry[0] != ("report" if form == "r" else "text"):
            fail("%s: the text is a %s; a report needs a severity, a printed text must "
                 "not carry one" % (at, entry[0]))
        conv = [] if entry[1] == "-" else entry[1].split()
        passed = args[first_format:] if first_format >= 0 else []
        if len(passed) != len(conv):
            fail("%s: %d arguments passed to conversions %s" % (at, len(passed), entry[1]))
            continue
        for arg, c in zip(passed, conv):
            literal = arg.startswith('"')
            if (literal or is_int(arg)) and (c == "%s") != literal:
                fail("%s: %s goes to %s" % (at, arg, c))


def self_test():
    """The scanner must see calls as the compiler does; a broken scanner would
    pass every tree."""
    s = strip_source('// sbErrReport(1, 2)\n'
                     'f(); sbErrReportLoc(2209,\n  "a, (b", g(x, \')\'));\n'
                     '/* qErrReport(5) */ x = R"(q(1))";\n')
    ok = ("sbErrReport(" not in s and "qErrReport" not in s and s.count("\n") == 4
          and split_args(s, s.find("Loc(") + 4) == ["2209", '""', "g(x, '')"]
          and conversions("%-5ld of %s, 100%% %c %.2f") == "%ld %s %c %f")
    if not ok:
        fail("check-messages.py: the scanner's own check failed")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    self_test()
    cat = read_catalogue()
    check_files(cat, build)
    check_calls(cat)
    for f in findings:
        print("check-messages: " + f, file=sys.stderr)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
