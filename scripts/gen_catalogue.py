#!/usr/bin/env python3
"""Turns a message catalogue source into a C++ platform::MessageTable.

The source has one message a line: an id (0-65535), a blank, and the text in
double quotes; '#' starts a comment line. Inside the quotes \\" stands for a
quote and \\\\ for a backslash. Rows are emitted sorted by id; a duplicate id
or a malformed line is an error.
"""
import argparse
import re
import sys

LINE = re.compile(r'^(\d+)\s+"((?:[^"\\]|\\.)*)"\s*$')


def parse(path):
    rows = {}
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            match = LINE.match(line)
            if not match:
                sys.exit(f"{path}:{number}: expected: id \"text\"")
            ident = int(match.group(1))
            if ident > 0xFFFF:
                sys.exit(f"{path}:{number}: id {ident} does not fit 16 bits")
            if ident in rows:
                sys.exit(f"{path}:{number}: id {ident} given twice")
            text = re.sub(r"\\(.)", r"\1", match.group(2))
            rows[ident] = text
    return rows


def literal(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch in '"\\':
            out.append("\\" + ch)
        elif 0x20 <= code < 0x7F:
            out.append(ch)
        elif code <= 0xFFFF:
            out.append(f"\\u{code:04X}")
        else:
            out.append(f"\\U{code:08X}")
    return 'u"' + "".join(out) + '"'


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--input", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--symbol", required=True)
    args = parser.parse_args()
    rows = parse(args.input)
    lines = [
        "// Generated from " + args.input.split("/")[-1] + " by gen_catalogue.py; do not edit.",
        '#include "platform/catalogue.h"',
        "",
        "namespace {",
        "const platform::MessageRow kRows[] = {",
    ]
    for ident in sorted(rows):
        lines.append(f"    {{{ident}, {literal(rows[ident])}}},")
    lines += [
        "};",
        "}  // namespace",
        "",
        f"extern const platform::MessageTable {args.symbol};",
        f"const platform::MessageTable {args.symbol} = {{kRows, sizeof kRows / sizeof kRows[0]}};",
        "",
    ]
    with open(args.output, "w", encoding="utf-8") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    main()
