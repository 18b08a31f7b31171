#!/usr/bin/env python3
"""Tests of the message catalogue compiler against copies of the real tables.

Run by CTest with the paths of the tool, of the shipped tables and of the
catalogue_dump program (which prints what the compiled table registers).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None

# Entry 0 of every block, as shipped: the blocks are identified by these texts,
# oddities included.
ENTRY_ZERO = [
    (1, "Application update wizard"),
    (2, "Мастер обновления приложений"),
    (3, "Upgrade Anwendungsassistent"),
    (4, "Expert de mise à jour d'application"),
    (5, "Asistente de actualización"),
    (6, "Actualização do Software"),
    (7, "Ajudante de Atualização Aplicação"),
    (8, "Wizard di Applicazione di aggiornamento"),
    (9, "Upgrade wizard"),
    (10, "Programopdatering"),
    (11, "Programuppdateringsguide"),
    (12, "Ohjelman päivitysvelho"),
    (13, "Tarkvara uuenduse viisard"),
    (14, "Май\u0063тер поновлення програм"),
    (15, "Master modernizacji aplikacji"),
    (16, "Průvodce aktualizace programu"),
    (17, "Alkalmazásfrissítő varázsló"),
    (18, "Expertul de actualizare a aplica\u0163iei"),
    (19, "Assistent d'actualització"),
    (20, "Programa eguneratzeko laguntzailea"),
    (21, "Applikasie dateringstel"),
    (22, "軟體升級精靈"),
    (23, "软件升级精灵"),
    (24, "Wizard Pembaruan Aplikasition"),
    (25, "Wizad pengemaskini aplikasi"),
    (26, "Uppfærsla hugbúnaðar"),
    (27, "Gücelleme Sihirbazı"),
    (28, "Programoppdatering"),
]


def run_tool(*args):
    return subprocess.run([sys.executable, ARGS.tool, *args], capture_output=True,
                          text=True, timeout=60)


def file_path(folder, prefix):
    names = [n for n in os.listdir(folder) if n.startswith(prefix)]
    assert len(names) == 1, (prefix, names)
    return os.path.join(folder, names[0])


def edit_entry(folder, prefix, entry, change):
    """Rewrites the line of one entry; change(text) gives the new line, or None to drop it."""
    path = file_path(folder, prefix)
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    found = False
    for i, line in enumerate(lines):
        if re.match(r"^%d\s*=" % entry, line):
            found = True
            replacement = change(line)
            if replacement is None:
                del lines[i]
            else:
                lines[i] = replacement
            break
    assert found, (prefix, entry)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def replace_text(folder, prefix, old, new):
    path = file_path(folder, prefix)
    with open(path, encoding="utf-8") as f:
        content = f.read()
    assert old in content, (prefix, old)
    with open(path, "w", encoding="utf-8") as f:
        f.write(content.replace(old, new))


def append_line(folder, prefix, line):
    with open(file_path(folder, prefix), "a", encoding="utf-8") as f:
        f.write(line + "\n")


def c_string_bytes(body):
    """Decodes the body of a narrow C++ string literal by the language's rules:
    an octal escape takes up to three digits, a hex escape every hex digit."""
    out = bytearray()
    i = 0
    simple = {'"': 0x22, "\\": 0x5C, "?": 0x3F, "'": 0x27, "n": 0x0A, "t": 0x09}
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(ord(c))
            i += 1
            continue
        nxt = body[i + 1]
        if nxt in simple:
            out.append(simple[nxt])
            i += 2
        elif nxt in "01234567":
            j = i + 1
            while j < len(body) and j < i + 4 and body[j] in "01234567":
                j += 1
            out.append(int(body[i + 1:j], 8))
            i = j
        elif nxt == "x":
            j = i + 2
            while j < len(body) and body[j] in "0123456789abcdefABCDEF":
                j += 1
            value = int(body[i + 2:j], 16)
            if value > 0xFF:
                raise ValueError("hex escape out of range: " + body[i:j])
            out.append(value)
            i = j
        else:
            raise ValueError("unknown escape " + body[i:i + 2])
    return bytes(out)


def read_dump(output):
    texts = {}
    for line in output.splitlines():
        rid, hexed = line.split("\t")
        texts[int(rid)] = bytes.fromhex(hexed).decode("utf-8")
    return texts


class CatalogueToolTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="catalogue-test-")
        self.tables = os.path.join(self.tmp, "catalogue")
        shutil.copytree(ARGS.tables, self.tables)
        self.output = os.path.join(self.tmp, "out", "catalogue.cpp")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def generate(self):
        return run_tool("--dir", self.tables, self.output)

    def test_broken_tables_are_refused_with_the_problem_named(self):
        cases = [
            ("language file removed",
             lambda d: os.remove(file_path(d, "05-")),
             ["05-spanish.txt", "language file is missing"]),
            ("entry removed",
             lambda d: edit_entry(d, "03-", 12, lambda l: None),
             ["03-german.txt", "entry 12: missing"]),
            ("entry given twice",
             lambda d: append_line(d, "10-", "4 = Alle filer"),
             ["10-danish.txt", "entry 4: duplicated"]),
            ("%d replaced by %s",
             lambda d: edit_entry(d, "03-", 9, lambda l: l.replace("%d", "%s", 1)),
             ["03-german.txt", "entry 9: placeholders %s %d differ from the English %d %d"]),
            ("placeholder removed",
             lambda d: edit_entry(d, "04-", 7, lambda l: l.replace("%.1f ", "")),
             ["04-french.txt", "entry 7: placeholders (none) differ from the English %.1f"]),
            ("two placeholders swapped",
             lambda d: edit_entry(d, "02-", 8, lambda l: l.replace("%d:%.2d", "%.2d:%d")),
             ["02-russian.txt", "entry 8: placeholders %.2d %d %.2d differ"]),
            ("placeholder added",
             lambda d: edit_entry(d, "11-", 25, lambda l: l + " %s"),
             ["11-swedish.txt", "entry 25: placeholders %s differ from the English (none)"]),
            ("stray percent sign",
             lambda d: edit_entry(d, "09-", 22, lambda l: l + " 50%"),
             ["09-dutch.txt", "entry 22", "no format specifier"]),
            ("entry 31 added",
             lambda d: append_line(d, "08-", "31 = Extra"),
             ["08-italian.txt", "entry 31: entry number out of range"]),
            ("unknown escape",
             lambda d: edit_entry(d, "15-", 27, lambda l: l.replace("\\n", "\\t")),
             ["15-polish.txt", "entry 27", 'unknown escape "\\t"']),
            ("lone backslash at the end",
             lambda d: edit_entry(d, "16-", 21, lambda l: l + "\\"),
             ["16-czech.txt", "entry 21", "backslash at the end"]),
            ("paragraph break lost",
             lambda d: edit_entry(d, "12-", 30, lambda l: l.replace("\\n\\n", " ", 1)),
             ["12-finnish.txt", "entry 30", "0 paragraph breaks"]),
            ("message no longer on its own line",
             lambda d: edit_entry(d, "13-", 23, lambda l: l.replace("\\n%s\\n", " %s ")),
             ["13-estonian.txt", "entry 23", "stand alone on its line"]),
            ("mnemonic lost",
             lambda d: edit_entry(d, "17-", 17, lambda l: l.replace("&", "")),
             ["17-hungarian.txt", "entry 17", '0 "&" mnemonic marks']),
            ("empty text",
             lambda d: edit_entry(d, "19-", 3, lambda l: "3 ="),
             ["19-catalan.txt", "entry 3: empty text"]),
            ("language header given twice",
             lambda d: edit_entry(d, "20-", 0, lambda l: "language: wlBasque\n" + l),
             ["20-basque.txt", 'header "language" given twice']),
            ("language header of another language",
             lambda d: replace_text(d, "18-", "language: wlRomanian", "language: wlRussian"),
             ["18-romanian.txt", 'language is "wlRussian", but this file holds wlRomanian']),
            ("ordinal header differs from the file name",
             lambda d: replace_text(d, "25-", "ordinal: 25", "ordinal: 24"),
             ["25-malay.txt", "ordinal is \"24\", but the file name gives 25"]),
            ("unreadable line",
             lambda d: append_line(d, "21-", "this is no entry"),
             ["21-afrikaans.txt", "cannot read this line"]),
            ("title marker missing",
             lambda d: edit_entry(d, "common", 40998, lambda l: None),
             ["common.txt", "entry 40998: missing"]),
        ]
        for name, breakage, expected in cases:
            with self.subTest(name):
                shutil.rmtree(self.tables)
                shutil.copytree(ARGS.tables, self.tables)
                breakage(self.tables)
                result = self.generate()
                self.assertNotEqual(result.returncode, 0, name)
                for part in expected:
                    self.assertIn(part, result.stderr, name)
                self.assertFalse(os.path.exists(self.output), name)
                check = run_tool("--dir", self.tables, "--check")
                self.assertNotEqual(check.returncode, 0, name)

    def test_one_broken_table_reports_every_problem(self):
        edit_entry(self.tables, "03-", 12, lambda l: None)
        edit_entry(self.tables, "26-", 6, lambda l: l.replace("%.1f", "%d"))
        result = run_tool("--dir", self.tables, "--check")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("03-german.txt: entry 12: missing", result.stderr)
        self.assertIn("26-icelandic.txt", result.stderr)
        self.assertIn("refused, 2 problem(s)", result.stderr)

    def test_generated_source_holds_every_id_as_ascii(self):
        result = self.generate()
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(self.output, "rb") as f:
            data = f.read()
        source = data.decode("ascii")  # raises on any raw non-ASCII byte
        ids = [int(m) for m in re.findall(r"\{(\d+)u, \"", source)]
        expected = [40997, 40998] + [41000 + 50 * (k - 1) + n
                                     for k in range(1, 29) for n in range(31)]
        self.assertEqual(ids, expected)
        self.assertIn('{41100u, "Upgrade Anwendungsassistent"}', source)
        self.assertIn('{40997u, "<AppTitle>"}', source)
        self.assertIn('{40998u, "Zeltra"}', source)
        self.assertIn("registerStringResources(kCatalogue)", source)

    def test_literals_decode_to_the_texts_even_before_digits(self):
        # Hex escapes would swallow the digits after a non-ASCII letter.
        tricky = 'Größe 1f %.1f KB \\"a\\" \\\\ b?? 7'
        edit_entry(self.tables, "03-", 6, lambda l: "6 = " + tricky)
        result = self.generate()
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(self.output, encoding="ascii") as f:
            source = f.read()
        m = re.search(r'\{41106u, "((?:[^"\\]|\\.)*)"\}', source)
        self.assertIsNotNone(m)
        decoded = c_string_bytes(m.group(1)).decode("utf-8")
        self.assertEqual(decoded, 'Größe 1f %.1f KB "a" \\ b?? 7')

    def test_refusal_keeps_an_earlier_output(self):
        self.assertEqual(self.generate().returncode, 0)
        with open(self.output, "rb") as f:
            before = f.read()
        append_line(self.tables, "08-", "31 = Extra")
        self.assertNotEqual(self.generate().returncode, 0)
        with open(self.output, "rb") as f:
            self.assertEqual(f.read(), before)


class ShippedCatalogueTest(unittest.TestCase):
    """The compiled table, as the launcher registers it."""

    @classmethod
    def setUpClass(cls):
        result = subprocess.run([ARGS.dump], capture_output=True, timeout=60)
        assert result.returncode == 0, result.stderr
        cls.texts = read_dump(result.stdout.decode("ascii"))

    def test_entry_zero_identifies_every_block(self):
        for ordinal, text in ENTRY_ZERO:
            with self.subTest(ordinal=ordinal):
                self.assertEqual(self.texts.get(41000 + 50 * (ordinal - 1)), text)

    def test_every_block_has_exactly_entries_0_to_30(self):
        for k in range(1, 29):
            base = 41000 + 50 * (k - 1)
            with self.subTest(block=base):
                present = sorted(i - base for i in self.texts if base <= i < base + 50)
                self.assertEqual(present, list(range(31)))
        self.assertEqual(self.texts[40997], "<AppTitle>")
        self.assertEqual(self.texts[40998], "Zeltra")
        self.assertEqual(len(self.texts), 2 + 28 * 31)
        self.assertEqual(max(self.texts), 42380)

    def test_english_texts_as_the_callers_format_them(self):
        rows = [
            (6, "File size: %.1f Kb"),
            (8, "Estimated time left: %d:%.2d:%.2d"),
            (22, "Preparing. . ."),
            (23, "A newer version of %s was released.\n%s\nDo you want to update your version "
                 "with the latest one?"),
            (29, "Access to remote file \"%s\" is password protected.\n\nPlease enter your "
                 "username and password (received after registration) to continue software "
                 "upgrade."),
        ]
        for n, text in rows:
            with self.subTest(entry=n):
                self.assertEqual(self.texts[41000 + n], text)

    def test_registered_texts_equal_the_files(self):
        spec = __import__("importlib.util").util.spec_from_file_location("catalogue", ARGS.tool)
        tool = __import__("importlib.util").util.module_from_spec(spec)
        spec.loader.exec_module(tool)
        problems = tool.Problems()
        common, tables = tool.load(ARGS.tables, problems)
        self.assertEqual(problems.messages, [])
        self.assertEqual(dict(tool.resources(common, tables)), self.texts)

    def test_no_text_holds_a_carriage_return_or_tab(self):
        for rid, text in sorted(self.texts.items()):
            with self.subTest(id=rid):
                self.assertNotIn("\r", text)
                self.assertNotIn("\t", text)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--tables", required=True)
    parser.add_argument("--dump", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
