#!/usr/bin/env python3
"""Turns the code-page table sources into one C++ source of constant tables.

Each source has one row a line; '#' starts a comment line. Three row kinds:

  id-name   "<id> <name>"   code page id -> converter name; an id alone has a
                            null name
  name-id   "<name> <id>"   name -> code page id
  id-value  "<key> <value>" number -> code page id

Ids are signed 64-bit decimals; names are printable ASCII without blanks.
Rows are emitted in the order the library's binary searches need: id keys
ascending as signed 64-bit numbers, name keys in juAsciiStrICompare order
(ASCII capitals folded to lower case, bytes compared as signed characters).
A duplicate key (for names: equal ignoring ASCII case), a malformed line or
an empty table is an error.
"""
import argparse
import sys

INT64_MIN = -(1 << 63)
INT64_MAX = (1 << 63) - 1

# option, C symbol, row kind, row type
TABLES = [
    ("icu-names", "juIcuNameTable", "id-name", "JuIdNameRow"),
    ("mime-names", "juMimeNameTable", "id-name", "JuIdNameRow"),
    ("mime-ids", "juMimeIdTable", "name-id", "JuNameIdRow"),
    ("name-ids", "juNameIdTable", "name-id", "JuNameIdRow"),
    ("legacy", "juLegacyCodePageTable", "id-value", "JuIdValueRow"),
]


class SourceError(Exception):
    pass


def parse_id(text):
    try:
        value = int(text, 10)
    except ValueError:
        raise SourceError(f"not a decimal number: {text!r}")
    if not INT64_MIN <= value <= INT64_MAX:
        raise SourceError(f"{text} does not fit 64 bits")
    return value


def check_name(text):
    if not all(0x21 <= ord(ch) <= 0x7E for ch in text):
        raise SourceError(f"name {text!r} is not printable ASCII")
    return text


def name_key(name):
    """The sort key of juAsciiStrICompare: folded bytes as signed chars, then
    the terminator, so a name sorts where the C comparison puts it."""
    key = []
    for byte in name.encode("ascii"):
        if 0x41 <= byte <= 0x5A:
            byte += 0x20
        key.append(byte - 256 if byte >= 0x80 else byte)
    key.append(0)
    return tuple(key)


def parse(path, kind):
    rows = []
    seen = {}
    with open(path, encoding="ascii") as source:
        for number, line in enumerate(source, 1):
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            try:
                if kind == "id-name":
                    if len(words) not in (1, 2):
                        raise SourceError("expected: id [name]")
                    key = parse_id(words[0])
                    row = (key, check_name(words[1]) if len(words) == 2 else None)
                    sort_key = key
                elif kind == "name-id":
                    if len(words) != 2:
                        raise SourceError("expected: name id")
                    row = (check_name(words[0]), parse_id(words[1]))
                    sort_key = name_key(words[0])
                else:
                    if len(words) != 2:
                        raise SourceError("expected: key value")
                    row = (parse_id(words[0]), parse_id(words[1]))
                    sort_key = row[0]
                if sort_key in seen:
                    raise SourceError(f"key {row[0]!r} already given on line {seen[sort_key]}")
            except SourceError as error:
                sys.exit(f"{path}:{number}: {error}")
            seen[sort_key] = number
            rows.append((sort_key, row))
    if not rows:
        sys.exit(f"{path}: the table has no rows")
    rows.sort(key=lambda entry: entry[0])
    return [row for _, row in rows]


def id_literal(value):
    # The most negative value has no literal of its own in C++.
    if value == INT64_MIN:
        return "INT64_MIN"
    return f"int64_t{{{value}}}"


def string_literal(name):
    if name is None:
        return "nullptr"
    return '"' + name.replace("\\", "\\\\").replace('"', '\\"') + '"'


def emit_row(kind, row):
    if kind == "id-name":
        return f"{{{id_literal(row[0])}, {string_literal(row[1])}}}"
    if kind == "name-id":
        return f"{{{string_literal(row[0])}, {id_literal(row[1])}}}"
    return f"{{{id_literal(row[0])}, {id_literal(row[1])}}}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--output", required=True)
    for option, _, _, _ in TABLES:
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()

    lines = [
        "// Generated from julib/resources/codepages_*.txt by gen_codepage_tables.py;",
        "// do not edit.",
        '#include "julib/codepage.h"',
        "",
        "#include <cstdint>",
    ]
    for option, symbol, kind, row_type in TABLES:
        path = getattr(args, option.replace("-", "_"))
        rows = parse(path, kind)
        lines += ["", f"// {path.split('/')[-1]}", f"const {row_type} {symbol}[] = {{"]
        lines += [f"    {emit_row(kind, row)}," for row in rows]
        lines += ["};", f"const size_t {symbol}Rows = {len(rows)};"]
    lines.append("")
    with open(args.output, "w", encoding="ascii") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    main()
