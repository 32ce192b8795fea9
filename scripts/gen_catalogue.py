#!/usr/bin/env python3
"""Turns a message catalogue source into a C++ platform::MessageTable and a
header of the catalogue's named message ids.

The source has one message a line: an id (0-65535), a blank, the message's
name (CamelCase: a capital letter, then letters and digits), and then, when
the message has a text, a blank and the text in double quotes. Inside the
quotes \\" stands for a quote, \\\\ for a backslash and \\n for a line break.
'#' starts a comment line. A row without a text names an id that is posted
with no text or with a text of the poster's own; it is left out of the table.

The table holds the rows with a text, sorted by id. The header defines each
id as `inline constexpr uint16_t <prefix><name>` and declares the table. A
duplicate id, a duplicate name or a malformed line is an error.
"""
import argparse
import os
import re
import sys

LINE = re.compile(r'^(\d+)\s+([A-Z][A-Za-z0-9]*)(?:\s+"((?:[^"\\]|\\.)*)")?\s*$')


class Row:
    def __init__(self, ident, name, text):
        self.ident = ident
        self.name = name
        self.text = text  # None when the message has no text


def parse(path):
    rows = {}
    names = set()
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            match = LINE.match(line)
            if not match:
                sys.exit(f'{path}:{number}: expected: id Name "text", or id Name')
            ident = int(match.group(1))
            name = match.group(2)
            if ident > 0xFFFF:
                sys.exit(f"{path}:{number}: id {ident} does not fit 16 bits")
            if ident in rows:
                sys.exit(f"{path}:{number}: id {ident} given twice")
            if name in names:
                sys.exit(f"{path}:{number}: name {name} given twice")
            names.add(name)
            text = match.group(3)
            if text is not None:
                text = re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), text)
            rows[ident] = Row(ident, name, text)
    return [rows[ident] for ident in sorted(rows)]


def literal(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch in '"\\':
            out.append("\\" + ch)
        elif ch == "\n":
            out.append("\\n")
        elif 0x20 <= code < 0x7F:
            out.append(ch)
        elif code <= 0xFFFF:
            out.append(f"\\u{code:04X}")
        else:
            out.append(f"\\U{code:08X}")
    return 'u"' + "".join(out) + '"'


def banner(source):
    return "// Generated from " + os.path.basename(source) + " by gen_catalogue.py; do not edit."


def table(rows, source, symbol):
    lines = [
        banner(source),
        '#include "platform/catalogue.h"',
        "",
        "namespace {",
        "const platform::MessageRow kRows[] = {",
    ]
    for row in rows:
        if row.text is not None:
            lines.append(f"    {{{row.ident}, {literal(row.text)}}},")
    lines += [
        "};",
        "}  // namespace",
        "",
        f"extern const platform::MessageTable {symbol};",
        f"const platform::MessageTable {symbol} = {{kRows, sizeof kRows / sizeof kRows[0]}};",
        "",
    ]
    return "\n".join(lines)


def guard(symbol):
    # juLibraryMessages -> JU_LIBRARY_MESSAGES_H: one guard per table.
    return re.sub(r"(?<=[a-z0-9])(?=[A-Z])", "_", symbol).upper() + "_H"


def header(rows, source, symbol, prefix):
    lines = [
        banner(source),
        f"// The named message ids of the catalogue {symbol}.",
        f"#ifndef {guard(symbol)}",
        f"#define {guard(symbol)}",
        "",
        "#include <cstdint>",
        "",
        '#include "platform/catalogue.h"',
        "",
        f"extern const platform::MessageTable {symbol};",
        "",
    ]
    for row in rows:
        # A line break would end the comment: it is shown as \n.
        shown = f'  // "{row.text.replace(chr(10), chr(92) + "n")}"' if row.text is not None else "  // no catalogue text"
        lines.append(f"inline constexpr uint16_t {prefix}{row.name} = {row.ident};{shown}")
    lines += ["", f"#endif  // {guard(symbol)}", ""]
    return "\n".join(lines)


def write(path, text):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--input", required=True, help="the catalogue source")
    parser.add_argument("--table", required=True, help="the C++ source of the table to write")
    parser.add_argument("--header", required=True, help="the header of named ids to write")
    parser.add_argument("--symbol", required=True, help="the table's C++ name")
    parser.add_argument("--prefix", required=True, help="put before each message's name, e.g. kJuMsg")
    args = parser.parse_args()
    rows = parse(args.input)
    write(args.table, table(rows, args.input, args.symbol))
    write(args.header, header(rows, args.input, args.symbol, args.prefix))


if __name__ == "__main__":
    main()
