#!/usr/bin/env python3
"""Compiles the upgrade message catalogue into a C++ string table.

The catalogue is kept in resources/catalogue/ as one UTF-8 text file per
language, NN-<language>.txt, plus common.txt for the two language-independent
texts. A language file reads:

    # comment lines start with "#"; blank lines are ignored
    language: wlGerman
    ordinal: 3
    0 = Upgrade Anwendungsassistent
    1 = Dateien werden heruntergeladen...
    ...

Each entry 0..30 appears exactly once. In a text, "\\n" stands for one line
feed, "\\\"" for a double quote and "\\\\" for a backslash; no other escape
exists. common.txt holds "40997 = ..." and "40998 = ..." in the same syntax.

Every translation must keep the format specifiers of its English entry in the
same order, because the callers pass fixed argument lists; it must also keep
the English entry's paragraph breaks and "&" mnemonics. The tool refuses the
whole table, with one message per problem naming file, line and entry, and
exits with status 1; nothing is written then.

Usage:
    catalogue.py [--dir DIR] --check     only check the tables
    catalogue.py [--dir DIR] OUTPUT.cpp  check, then write the C++ source

The written source registers the texts with
qorv::platform::registerStringResources during static initialisation under
the ids 40997, 40998 and 41000 + 50 * (ordinal - 1) + entry.
"""

import argparse
import os
import re
import sys
import tempfile

ENTRY_COUNT = 31
BLOCK_BASE = 41000
BLOCK_SIZE = 50
COMMON_IDS = (40997, 40998)

# Ordinal, file-name word and enumeration name of every language, in the order
# of TauAutoUpgraderLanguage.
LANGUAGES = [
    (1, "english", "wlEnglish"),
    (2, "russian", "wlRussian"),
    (3, "german", "wlGerman"),
    (4, "french", "wlFrench"),
    (5, "spanish", "wlSpanish"),
    (6, "portuguese", "wlPortuguese"),
    (7, "portuguese-brazilian", "wlPortugueseBrazilian"),
    (8, "italian", "wlItalian"),
    (9, "dutch", "wlDutch"),
    (10, "danish", "wlDanish"),
    (11, "swedish", "wlSwedish"),
    (12, "finnish", "wlFinnish"),
    (13, "estonian", "wlEstonian"),
    (14, "ukrainian", "wlUkrainian"),
    (15, "polish", "wlPolish"),
    (16, "czech", "wlCzech"),
    (17, "hungarian", "wlHungarian"),
    (18, "romanian", "wlRomanian"),
    (19, "catalan", "wlCatalan"),
    (20, "basque", "wlBasque"),
    (21, "afrikaans", "wlAfrikaans"),
    (22, "chinese-traditional", "wlChineseTraditional"),
    (23, "chinese-simplified", "wlChineseSimplified"),
    (24, "indonesian", "wlIndonesian"),
    (25, "malay", "wlMalay"),
    (26, "icelandic", "wlIcelandic"),
    (27, "turkish", "wlTurkish"),
    (28, "norwegian", "wlNorwegian"),
]

# Format specifiers as the platform's Format reads them; "%%" is a literal
# percent sign but still counts, so that a translation cannot shift arguments.
SPECIFIER = re.compile(r"%[-+ 0#]*\d*(?:\.\d+)?[sdfuxe%]")
ENTRY_LINE = re.compile(r"^(\d+)[ \t]*=[ \t]*(.*)$")
HEADER_LINE = re.compile(r"^([a-z]+)[ \t]*:[ \t]*(.*?)[ \t]*$")
FILE_NAME = re.compile(r"^(\d\d)-([a-z-]+)\.txt$")
ESCAPES = {"n": "\n", '"': '"', "\\": "\\"}


class Problems:
    """Collects every refusal so that a translator sees them all at once."""

    def __init__(self):
        self.messages = []

    def add(self, path, line, entry, text):
        where = os.path.basename(path)
        if line is not None:
            where += ":%d" % line
        if entry is not None:
            where += ": entry %d" % entry
        self.messages.append("%s: %s" % (where, text))


class Entry:
    def __init__(self, number, text, line):
        self.number = number
        self.text = text
        self.line = line


class Table:
    """One parsed file: its header values and its entries by number."""

    def __init__(self, path):
        self.path = path
        self.headers = {}
        self.entries = {}


def unescape(raw, path, line, entry, problems):
    out = []
    i = 0
    while i < len(raw):
        c = raw[i]
        if c == "\\":
            if i + 1 >= len(raw):
                problems.add(path, line, entry, 'backslash at the end of the text (write "\\\\" for a backslash)')
                return None
            nxt = raw[i + 1]
            if nxt not in ESCAPES:
                problems.add(path, line, entry,
                             'unknown escape "\\%s" (only \\n, \\" and \\\\ exist)' % nxt)
                return None
            out.append(ESCAPES[nxt])
            i += 2
            continue
        if ord(c) < 0x20 or c == "\x7f":
            problems.add(path, line, entry, "control character U+%04X in the text" % ord(c))
            return None
        out.append(c)
        i += 1
    return "".join(out)


def read_table(path, header_keys, number_ok, problems):
    """Parses one file; number_ok(n) tells whether an entry number belongs."""
    table = Table(path)
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        problems.add(path, None, None, "cannot be read: %s" % e.strerror)
        return None
    try:
        content = data.decode("utf-8")
    except UnicodeDecodeError as e:
        line = data[: e.start].count(b"\n") + 1
        problems.add(path, line, None, "is not valid UTF-8")
        return None
    if content.startswith("\ufeff"):
        content = content[1:]
    for lineno, line in enumerate(content.split("\n"), start=1):
        if line.endswith("\r"):
            line = line[:-1]
        stripped = line.strip(" \t")
        if not stripped or stripped.startswith("#"):
            continue
        m = ENTRY_LINE.match(line)
        if m:
            number = int(m.group(1))
            raw = m.group(2)
            if not number_ok(number):
                problems.add(path, lineno, number, "entry number out of range")
                continue
            if number in table.entries:
                problems.add(path, lineno, number,
                             "duplicated (first given on line %d)" % table.entries[number].line)
                continue
            if raw != raw.rstrip(" \t"):
                problems.add(path, lineno, number, "blanks at the end of the text")
                continue
            if raw == "":
                problems.add(path, lineno, number, "empty text")
                continue
            text = unescape(raw, path, lineno, number, problems)
            if text is not None:
                table.entries[number] = Entry(number, text, lineno)
            continue
        m = HEADER_LINE.match(line)
        if m and m.group(1) in header_keys:
            key = m.group(1)
            if key in table.headers:
                problems.add(path, lineno, None, 'header "%s" given twice' % key)
            else:
                table.headers[key] = (m.group(2), lineno)
            continue
        problems.add(path, lineno, None,
                     'cannot read this line (expected "# comment", a header or "N = text")')
    return table


def specifiers(text):
    return SPECIFIER.findall(text)


def stray_percent(text):
    """True when a "%" is not part of any format specifier."""
    return "%" in SPECIFIER.sub("", text)


def show(text):
    return text.replace("\\", "\\\\").replace("\n", "\\n").replace('"', '\\"')


def check_language(table, ordinal, enum_name, english, problems):
    path = table.path
    lang = table.headers.get("language")
    if lang is None:
        problems.add(path, None, None, 'header "language: %s" is missing' % enum_name)
    elif lang[0] != enum_name:
        problems.add(path, lang[1], None,
                     'language is "%s", but this file holds %s' % (lang[0], enum_name))
    ordh = table.headers.get("ordinal")
    if ordh is None:
        problems.add(path, None, None, 'header "ordinal: %d" is missing' % ordinal)
    elif ordh[0] != str(ordinal):
        problems.add(path, ordh[1], None,
                     'ordinal is "%s", but the file name gives %d' % (ordh[0], ordinal))
    for n in range(ENTRY_COUNT):
        if n not in table.entries:
            problems.add(path, None, n, "missing")
    if english is None:
        return
    for n, entry in sorted(table.entries.items()):
        model = english.entries.get(n)
        if model is None:
            continue
        if stray_percent(entry.text):
            problems.add(path, entry.line, n,
                         '"%" that is no format specifier (write "%%" for a percent sign)')
            continue
        want = specifiers(model.text)
        got = specifiers(entry.text)
        if got != want:
            problems.add(path, entry.line, n,
                         "placeholders %s differ from the English %s" % (
                             " ".join(got) or "(none)", " ".join(want) or "(none)"))
        if entry.text.count("\n\n") != model.text.count("\n\n"):
            problems.add(path, entry.line, n,
                         "%d paragraph breaks (\\n\\n), the English text has %d" % (
                             entry.text.count("\n\n"), model.text.count("\n\n")))
        # The upgrade prompt puts the caller's message between these line feeds.
        if "\n%s\n" in model.text and "\n%s\n" not in entry.text:
            problems.add(path, entry.line, n,
                         'the message placeholder must stand alone on its line ("\\n%s\\n")')
        if entry.text.count("&") != model.text.count("&"):
            problems.add(path, entry.line, n,
                         '%d "&" mnemonic marks, the English text has %d' % (
                             entry.text.count("&"), model.text.count("&")))


def load(directory, problems):
    """Reads and checks every file; returns (common, {ordinal: table})."""
    by_ordinal = {}
    try:
        names = sorted(os.listdir(directory))
    except OSError as e:
        problems.add(directory, None, None, "cannot be listed: %s" % e.strerror)
        return None, {}
    known = {o: (word, enum) for o, word, enum in LANGUAGES}
    for name in names:
        path = os.path.join(directory, name)
        if name == "common.txt" or not name.endswith(".txt"):
            continue
        m = FILE_NAME.match(name)
        if not m:
            problems.add(path, None, None, 'file name is not "NN-<language>.txt"')
            continue
        ordinal = int(m.group(1))
        if ordinal not in known:
            problems.add(path, None, None, "no language has the ordinal %d" % ordinal)
            continue
        if m.group(2) != known[ordinal][0]:
            problems.add(path, None, None, 'language %d is "%02d-%s.txt"' % (
                ordinal, ordinal, known[ordinal][0]))
            continue
        if ordinal in by_ordinal:
            problems.add(path, None, None, "second file for language %d" % ordinal)
            continue
        table = read_table(path, ("language", "ordinal"),
                           lambda n: 0 <= n < ENTRY_COUNT, problems)
        if table is not None:
            by_ordinal[ordinal] = table
    for ordinal, word, _ in LANGUAGES:
        if ordinal not in by_ordinal:
            problems.add(os.path.join(directory, "%02d-%s.txt" % (ordinal, word)),
                         None, None, "language file is missing")

    english = by_ordinal.get(1)
    if english is not None:
        check_language(english, 1, "wlEnglish", None, problems)
        for n, entry in english.entries.items():
            if stray_percent(entry.text):
                problems.add(english.path, entry.line, n,
                             '"%" that is no format specifier (write "%%" for a percent sign)')
    for ordinal, _, enum in LANGUAGES:
        if ordinal != 1 and ordinal in by_ordinal:
            check_language(by_ordinal[ordinal], ordinal, enum, english, problems)

    common_path = os.path.join(directory, "common.txt")
    common = None
    if not os.path.exists(common_path):
        problems.add(common_path, None, None, "file is missing")
    else:
        common = read_table(common_path, (), lambda n: n in COMMON_IDS, problems)
        if common is not None:
            for rid in COMMON_IDS:
                if rid not in common.entries:
                    problems.add(common_path, None, rid, "missing")
    return common, by_ordinal


def resources(common, by_ordinal):
    """(id, text) pairs in ascending id order."""
    out = [(rid, common.entries[rid].text) for rid in COMMON_IDS]
    for ordinal, _, _ in LANGUAGES:
        base = BLOCK_BASE + BLOCK_SIZE * (ordinal - 1)
        table = by_ordinal[ordinal]
        for n in range(ENTRY_COUNT):
            out.append((base + n, table.entries[n].text))
    return out


def cxx_literal(text):
    # Three-digit octal escapes end by themselves, so a following digit can
    # never be read as part of the escape (a hex escape would swallow it).
    parts = []
    for b in text.encode("utf-8"):
        if 0x20 <= b < 0x7F and b not in (0x22, 0x5C, 0x3F):
            parts.append(chr(b))
        else:
            parts.append("\\%03o" % b)
    return '"' + "".join(parts) + '"'


def generate(pairs):
    lines = [
        "// Generated from resources/catalogue by tools/catalogue.py; edits here are lost.",
        "// The upgrade message catalogue: two language-independent texts and 31",
        "// entries for each of the 28 languages, registered before main() runs.",
        '#include "platform/system/Resources.h"',
        "",
        "namespace {",
        "",
        "static const qorv::platform::StringResource kCatalogue[] = {",
    ]
    for rid, text in pairs:
        lines.append("    {%du, %s}," % (rid, cxx_literal(text)))
    lines += [
        "};",
        "",
        "struct CatalogueRegistration {",
        "  CatalogueRegistration() { qorv::platform::registerStringResources(kCatalogue); }",
        "};",
        "",
        "static const CatalogueRegistration kCatalogueRegistration;",
        "",
        "}  // namespace",
        "",
    ]
    return "\n".join(lines)


def write_atomically(path, content):
    directory = os.path.dirname(os.path.abspath(path))
    os.makedirs(directory, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".catalogue-", dir=directory)
    try:
        with os.fdopen(fd, "w", encoding="ascii", newline="\n") as f:
            f.write(content)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Check and compile the message catalogue.")
    parser.add_argument("--dir", default=os.path.join(here, os.pardir, "resources", "catalogue"),
                        help="folder of the catalogue files")
    parser.add_argument("--check", action="store_true", help="only check the tables")
    parser.add_argument("output", nargs="?", help="C++ source to write")
    args = parser.parse_args(argv)
    if args.check == (args.output is not None):
        parser.error("give either --check or an output path")

    problems = Problems()
    common, by_ordinal = load(args.dir, problems)
    if problems.messages:
        for message in problems.messages:
            print("catalogue: " + message, file=sys.stderr)
        print("catalogue: refused, %d problem(s)" % len(problems.messages), file=sys.stderr)
        return 1
    pairs = resources(common, by_ordinal)
    if args.check:
        print("catalogue: %d texts in %d languages are consistent" % (len(pairs), len(LANGUAGES)))
        return 0
    write_atomically(args.output, generate(pairs))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
