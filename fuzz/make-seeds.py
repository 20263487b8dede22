#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora, fuzz/corpus/<target>/, from the cases of the unit
tests (tests/unit/*_test.cpp), in each target's input format. Rerun after changing a
table here; the files are checked in."""
import pathlib
import shutil
import struct

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"


def sjis(text):
    return text.encode("cp932")


# cmdline_test.cpp, QuotingRules and BlockIsSlotsThenStrings: the command line itself.
COMMAND_LINES = [
    "", " C:\\x.exe a", '"C:\\Program Files\\Memo\\memo.exe" -x', '"C:\\a b\\c d',
    '"C:\\x.exe"abc def', 'C:\\x.exe"a b"', "p \t a\t\t b \t ", "p a\\b a\\\\b",
    'p a\\\\\\"b', 'p a\\\\"b c"', 'p \\\\"', 'p \\\\\\\\"a b"', 'p ""', 'p "" x', 'p """',
    'p "a""b"', 'p "a"" b"', 'p "a\\"b c"', 'p 表"a b"', '"C:\\表" x', 'memo.exe "a b" c',
]
RAW_COMMAND_LINES = [b"p a\x95", b'p "\x95', b"\x95", b'"\x95']


def path_input(number, a, b=b""):
    return struct.pack("<H", number) + a + b"\0" + b


# path_test.cpp Join (base, relative), with sjis_test.cpp's copy sizes as the number.
JOINS = [
    ("D:\\Notes", "2024-05"), ("D:\\Notes\\", "2024-05"), ("D:\\表", "2024-05"),
    ("D:\\Notes\\sub", "..\\x"), ("D:\\Notes\\sub", "../x"), ("D:\\Notes\\", ".."),
    ("D:\\", ".."), ("D:\\Notes", "./a//b/"), ("D:\\Notes", ""), ("abc", "../d"), ("", ".."),
    ("D:", "../../x"), ("D:\\表", ".."), ("D:", "表\\x"), ("", "\\x"), ("D:", "/x"),
    ("D:", "..."), ("D:", "a" * 600), ("b" * 521, "x"), ("c" * 519, "表"),
]
# sjis_test.cpp and path_test.cpp: (number, text, second text) for kinds, spans, copies,
# comparisons, searches and cuts.
SJIS_CASES = [
    (2, "a表", ""), (0x955C, "表x", ""),
    (0x5C, "a表\\b", "/\\"), (0, "表/x", "/\\"), (3, " \t x", " \t"), (2, "  表 ", " \t"),
    (2, "..", "."), (1, ".", "."), (4, "ab表", ""), (4, "abc表", ""),
    (1, "abc", ""), (5, "abcde", ""), (3, "a表", ""),
    (0, "D:\\dir.x\\file", ""), (0, "D:\\dir\\archive.tar.gz", ""), (0, "D:\\dir\\.profile", ""),
    (0, "D:\\x.表", ""), (0, "D:\\ソ\\x", ""),
]
RAW_SJIS_CASES = [
    (5, b"\x95", b""), (0x81, b"\x81 ", b""), (2, b"\x95\x5c", b"\x95\x5d"),
    (0, b"ABC\x83\x5cDEF\x82\x41Z", b""), (4, b"ab\x81 ", b""), (2, b"\x81\x7f", b""),
    (0, b"\xb1\x81", b""),
]


def dialog_string(text):
    units = text.encode("utf-16-le")
    return bytes([2, len(units) // 2]) + units


def dialog_optional(text):
    return b"\0" if text is None else b"\1" + dialog_string(text)[1:]


def dialog_name(value):
    if isinstance(value, str):
        return dialog_string(value)
    return b"\0" if value == 0 else b"\1" + struct.pack("<H", value)


def dialog_input(capacity, header, items):
    style, ex_style, geometry, menu, cls, title, face, point = header
    out = struct.pack("<HII4h", capacity, style, ex_style, *geometry)
    out += dialog_name(menu) + dialog_name(cls) + dialog_optional(title)
    out += dialog_optional(face) + struct.pack("<H", point)
    for cls, text, style, ex_style, geometry, ident in items:
        out += dialog_name(cls) + dialog_name(text)
        out += struct.pack("<II4hH", style, ex_style, *geometry, ident)
    return out


# dialog_template_test.cpp: the About box, and the cases of WordsOfEachField and
# PiecesThatDoNotFitAreSkippedWhole.
ABOUT_ITEMS = [
    (0x82, "", 0x50000003, 0, (7, 7, 20, 21), 100),
    (0x82, "", 0x50000000, 0, (30, 7, 1, 8), 101),
    (0x82, "", 0x50000000, 0, (30, 16, 1, 8), 102),
    (0x82, "", 0x50000000, 0, (30, 25, 1, 8), 103),
    (0x80, "OK", 0x50020001, 0, (45, 35, 45, 14), 1),
]
DIALOGS = [
    (188, (0x90C820C2, 0, (0, 0, 38, 56), 0, 0, "", "ＭＳ Ｐゴシック", 9), ABOUT_ITEMS),
    (100, (0x90C820C2, 0, (0, 0, 38, 56), 0, 0, "", "ＭＳ Ｐゴシック", 9), ABOUT_ITEMS),
    (24, (0x80C80000, 1, (1, 2, 3, 4), 0, 0, None, None, 0), []),
    (0, (0, 0, (0, 0, 0, 0), 0, 0, "A", None, 0), [(0, 0, 0, 0, (1, 2, 3, 4), 9)]),
    (40, (0, 0, (0, 0, 0, 0), 7, "C", None, None, 0),
     [(0x80, "", 0, 0, (1, 2, 3, 4), 9), ("Ab", 5, 0x50000001, 7, (1, 2, 3, 4), 9)]),
    (24, (0, 0, (0, 0, 0, 0), 0, 0, "Title", None, 0), []),
]

# note_name_test.cpp: (year, month, day, hour, minute, second), sequence.
NOTES = [
    ((2024, 5, 7, 9, 5, 2), 1), ((2024, 5, 7, 9, 5, 2), 2), ((2024, 1, 1, 0, 1, 0), 1),
    ((2023, 12, 31, 23, 59, 59), 10), ((2024, 2, 29, 0, 0, 0), 999),
    ((999, 10, 10, 10, 10, 10), 1), ((1, 1, 1, 0, 0, 0), 1), ((30827, 12, 31, 23, 59, 59), 1),
    ((99999, 12, 31, 23, 59, 59), 999), ((2024, 5, 7, 9, 5, 2), 0),
    ((2024, 5, 7, 9, 5, 2), -1), ((2024, 5, 7, 9, 5, 2), 1000), ((0, 5, 7, 9, 5, 2), 1),
    ((100000, 5, 7, 9, 5, 2), 1), ((2024, 0, 7, 9, 5, 2), 1), ((2024, 13, 7, 9, 5, 2), 1),
    ((2024, 5, 0, 9, 5, 2), 1), ((2024, 4, 31, 9, 5, 2), 1), ((2023, 2, 29, 9, 5, 2), 1),
    ((1900, 2, 29, 9, 5, 2), 1), ((2024, 5, 7, 24, 5, 2), 1), ((2024, 5, 7, -1, 5, 2), 1),
    ((2024, 5, 7, 9, 60, 2), 1), ((2024, 5, 7, 9, 5, 60), 1), ((2024, 5, 7, 9, 5, -1), 1),
]


def note_input(*notes):
    return b"".join(struct.pack("<7i", *time, sequence) for time, sequence in notes)


def write(target, seeds):
    folder = CORPUS / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for index, seed in enumerate(seeds):
        (folder / f"seed-{index:02d}").write_bytes(seed)


def main():
    write("cmdline_fuzz", [sjis(line) for line in COMMAND_LINES] + RAW_COMMAND_LINES)
    write("sjis_path_fuzz",
          [path_input(4, sjis(base), sjis(relative)) for base, relative in JOINS] +
          [path_input(n, sjis(a), sjis(b)) for n, a, b in SJIS_CASES] +
          [path_input(n, a, b) for n, a, b in RAW_SJIS_CASES])
    write("dialog_template_fuzz", [dialog_input(*case) for case in DIALOGS])
    write("note_name_fuzz",
          [note_input(note) for note in NOTES] +
          [note_input(NOTES[0], NOTES[1]), note_input(NOTES[2], NOTES[0]),
           note_input(NOTES[0], NOTES[0])])


if __name__ == "__main__":
    main()
