#!/usr/bin/env python3
"""Generates the trace library's ODBC constant tables from their data.

The data (winodbctrace/constants/) holds names, never values:

  tables.txt               the tables in order: <file> <value type> <title>
  <file>.txt               a table's rows: <name> [<kind flags>] [<value list>];
                           a row of the buffer type table may end in
                           "-> <code>", the type code (TraceCode::k<code>)
                           that shows an SQLGetData buffer of its type
  value_lists.txt          the value lists: "list <name> <value type> [<kind>]"
                           and their rows; a "+ <table or list> [except ...]"
                           line takes another's rows; a pseudo row is
                           "<quoted name>" <value> [<kind flags>]
  name_bindings.txt        <function id> <name | *> <argument> <table> <key>
  value_kind_bindings.txt  <function id> <name | *> <value argument>
                           <key argument> <table> <key>

Every value (rows, value types, function ids) is taken from unixODBC's
sql.h, sqlext.h and sqlucode.h through the C preprocessor; a row's ODBC
version is the oldest header version that defines its name (1 for sql.h of
ODBC 2, 2 for sqlext.h and sqlucode.h of ODBC 2, 3 otherwise).

Writes:
  --output   the C++ tables and bindings (constants.h), and the code of each
             buffer type indexed by its value
  --names    for the tests: {"NAME", NAME} for every header name a row
             uses, and the function ids of both bindings as header names

An unknown name, a value the headers do not give as an integer, a missing
or circular list, an unknown kind bit, a code outside the buffer type table,
two codes for one buffer type or a malformed line is an error.
"""
import argparse
import os
import re
import subprocess
import sys

ODBC_HEADERS = ("sql.h", "sqlext.h", "sqlucode.h")
NAME = re.compile(r"^SQL_[A-Z0-9_]+$")
IDENT = re.compile(r"^[a-z][a-z0-9_]*$")
PSEUDO = re.compile(r'^"([^"]+)"$')
KIND_BITS = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80 | 0x8000 | 0x10000 | 0x20000
VALUE_TYPES = ("SQL_C_SSHORT", "SQL_C_SLONG", "SQL_C_USHORT", "SQL_C_ULONG")
KEY_FORMS = {"s16": "kLow16Signed", "u16": "kLow16Unsigned", "u32": "kLow32"}
CODE = re.compile(r"^[A-Z][A-Za-z0-9]*$")
# The table whose rows may name the code that shows their buffer type.
BUFFER_TYPE_TABLE = "buffer_type"


def fail(where, text):
    sys.exit(f"{where}: {text}")


def data_lines(path):
    """(line number, words) of each line that is neither blank nor a comment."""
    with open(path, encoding="utf-8") as data:
        for number, line in enumerate(data, 1):
            quoted = re.match(r'^\s*("[^"]*")(.*)$', line)  # a pseudo name may hold blanks
            words = [quoted.group(1)] + quoted.group(2).split() if quoted else line.split()
            if words and not words[0].startswith("#"):
                yield number, words


class Row:
    def __init__(self, name, kind, list_name, literal=None, code=None):
        self.name = name          # "SQL_DROP", or a pseudo name
        self.kind = kind
        self.list_name = list_name
        self.literal = literal    # a pseudo row's value
        self.code = code          # "SqlCharPtr": the code of a buffer type


class Table:
    def __init__(self, ident, value_type, title):
        self.ident = ident
        self.value_type = value_type
        self.title = title
        self.default_kind = 0  # the kind of a list's rows that name none
        self.rows = []
        self.splices = []  # (position, source, excluded names), lists only


def parse_row(where, words, default_kind, allow_pseudo, allow_code=False):
    code = None
    if len(words) >= 3 and words[-2] == "->":
        if not allow_code or not CODE.match(words[-1]):
            fail(where, f"a code ({' '.join(words[-2:])}) belongs to a row of the buffer type table")
        code, words = words[-1], words[:-2]
    pseudo = PSEUDO.match(words[0])
    literal = None
    if pseudo:
        if not allow_pseudo:
            fail(where, "a pseudo row belongs in a value list")
        if len(words) < 2 or not re.match(r"^-?\d+$", words[1]):
            fail(where, "a pseudo row needs its value")
        name, literal, rest = pseudo.group(1), int(words[1]), words[2:]
    elif NAME.match(words[0]):
        name, rest = words[0], words[1:]
    else:
        fail(where, f"not a constant name: {words[0]}")
    kind = default_kind
    if rest and rest[0].startswith("0x"):
        kind = int(rest[0], 16)
        rest = rest[1:]
    if kind & ~KIND_BITS:
        fail(where, f"unknown kind bits in 0x{kind:x}")
    list_name = None
    if rest:
        if not IDENT.match(rest[0]) or len(rest) > 1:
            fail(where, f"expected at most one value list, not {' '.join(rest)}")
        list_name = rest[0]
    return Row(name, kind, list_name, literal, code)


def parse_tables(folder):
    tables = []
    manifest = os.path.join(folder, "tables.txt")
    for number, words in data_lines(manifest):
        where = f"{manifest}:{number}"
        if len(words) < 3 or not IDENT.match(words[0]) or words[1] not in VALUE_TYPES:
            fail(where, "expected: <file> <value type> <title>")
        table = Table(words[0], words[1], " ".join(words[2:]))
        path = os.path.join(folder, table.ident + ".txt")
        for row_number, row_words in data_lines(path):
            table.rows.append(parse_row(f"{path}:{row_number}", row_words, 0, False,
                                        table.ident == BUFFER_TYPE_TABLE))
        if not table.rows:
            fail(path, "a table needs rows")
        tables.append(table)
    return tables


def parse_lists(path):
    lists = []
    current = None
    for number, words in data_lines(path):
        where = f"{path}:{number}"
        if words[0] == "list":
            if len(words) not in (3, 4) or not IDENT.match(words[1]) or words[2] not in VALUE_TYPES:
                fail(where, "expected: list <name> <value type> [<kind flags>]")
            current = Table(words[1], words[2], words[1])
            if len(words) == 4:
                current.default_kind = int(words[3], 16)
            lists.append(current)
        elif current is None:
            fail(where, "a row before the first list")
        elif words[0] == "+":
            if len(words) < 2 or not IDENT.match(words[1]) or (len(words) > 2 and words[2] != "except"):
                fail(where, "expected: + <table or list> [except <name> ...]")
            current.splices.append((len(current.rows), words[1], set(words[3:])))
        else:
            current.rows.append(parse_row(where, words, current.default_kind, True))
    return lists


class Binding:
    def __init__(self, function, function_name, arg, key_arg, table, key):
        self.function = function
        self.function_name = function_name
        self.arg = arg
        self.key_arg = key_arg
        self.table = table
        self.key = key


def parse_bindings(path, with_key_argument):
    bindings = []
    width = 6 if with_key_argument else 5
    for number, words in data_lines(path):
        where = f"{path}:{number}"
        if len(words) != width or not NAME.match(words[0]) or not words[2].isdigit() \
                or (with_key_argument and not words[3].isdigit()) \
                or not IDENT.match(words[-2]) or words[-1] not in KEY_FORMS:
            fail(where, "malformed binding")
        name = None if words[1] == "*" else words[1]
        arg = int(words[2])
        key_arg = int(words[3]) if with_key_argument else arg
        if arg >= 20 or key_arg >= 20:
            fail(where, "an argument index beyond the record's 20")
        bindings.append(Binding(words[0], name, arg, key_arg, words[-2], words[-1]))
    return bindings


# --- Values from the headers -------------------------------------------------

TOKEN = re.compile(r"\s*(?:(0[xX][0-9a-fA-F]+|\d+)[uUlL]*|(<<|>>|[-+*|&~()]))")


def evaluate(expression):
    """The value of an integer constant expression of the headers, or None."""
    python = []
    position = 0
    expression = expression.strip()
    while position < len(expression):
        match = TOKEN.match(expression, position)
        if not match:
            return None
        number, operator = match.groups()
        if number:
            base = 16 if number[:2] in ("0x", "0X") else 8 if number.startswith("0") else 10
            python.append(str(int(number, base)))
        else:
            python.append(operator)
        position = match.end()
    try:
        return int(eval(" ".join(python), {"__builtins__": {}}, {}))
    except (SyntaxError, TypeError, ValueError, ZeroDivisionError):
        return None


def preprocess(compiler, include_dirs, headers, names, odbc_version=None):
    """Each name's expansion by the headers, or None where it is undefined."""
    source = "".join(f"#include <{header}>\n" for header in headers)
    source += "".join(f'@@ "{name}" {name}\n' for name in names)
    command = [compiler, "-E", "-P", "-x", "c++"]
    command += [f"-I{folder}" for folder in include_dirs]
    if odbc_version:
        command.append(f"-DODBCVER={odbc_version}")
    command.append("-")
    run = subprocess.run(command, input=source, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"preprocessing the ODBC headers failed:\n{run.stderr}")
    expansions = {}
    for line in run.stdout.splitlines():
        match = re.match(r'^@@ "([A-Z0-9_]+)" (.*)$', line)
        if match:
            name, text = match.groups()
            expansions[name] = None if text.strip() == name else text
    return expansions


def header_values(compiler, include_dirs, names):
    """{name: (value, ODBC version)} for every name; unknown names fail."""
    names = sorted(names)
    current = preprocess(compiler, include_dirs, ODBC_HEADERS, names)
    odbc2 = preprocess(compiler, include_dirs, ODBC_HEADERS, names, "0x0200")
    core2 = preprocess(compiler, include_dirs, ("sql.h",), names, "0x0200")
    values = {}
    for name in names:
        text = current.get(name)
        if text is None:
            sys.exit(f"{name}: not defined by the ODBC headers")
        value = evaluate(text)
        if value is None:
            sys.exit(f"{name}: the headers give '{text}', not an integer constant")
        if core2.get(name) is not None:
            version = 1
        elif odbc2.get(name) is not None:
            version = 2
        else:
            version = 3
        values[name] = (value, version)
    return values


def as_int32(where, value):
    if -2**31 <= value < 2**31:
        return value
    if 2**31 <= value < 2**32:  # an unsigned 32-bit mask
        return value - 2**32
    sys.exit(f"{where}: {value} does not fit 32 bits")


# --- Assembly ------------------------------------------------------------------

def resolve(tables, lists):
    """Expands the splices of lists; returns every table and list by name."""
    by_name = {}
    for item in tables + lists:
        if item.ident in by_name:
            sys.exit(f"{item.ident}: two tables or lists of this name")
        by_name[item.ident] = item
    expanded = set()

    def expand(item, trail):
        if item.ident in expanded:
            return
        if item.ident in trail:
            sys.exit(f"{item.ident}: a list that takes its own rows")
        rows = list(item.rows)
        for position, source, excluded in reversed(item.splices):
            if source not in by_name:
                sys.exit(f"{item.ident}: no table or list {source}")
            expand(by_name[source], trail | {item.ident})
            names = {row.name for row in by_name[source].rows}
            if excluded - names:
                sys.exit(f"{item.ident}: {', '.join(sorted(excluded - names))} not in {source}")
            taken = [Row(row.name, item.default_kind, row.list_name, row.literal)
                     for row in by_name[source].rows if row.name not in excluded]
            rows[position:position] = taken
        item.rows = rows
        item.splices = []
        expanded.add(item.ident)

    for item in tables + lists:
        expand(item, set())
    for item in tables + lists:
        for row in item.rows:
            if row.list_name and row.list_name not in by_name:
                sys.exit(f"{item.ident}: {row.name} names no table or list {row.list_name}")
    return by_name


def emission_order(tables, lists, by_name):
    """Tables and lists so that each comes after the lists its rows point to."""
    order = []
    state = {}

    def visit(item):
        if state.get(item.ident) == "done":
            return
        if state.get(item.ident) == "open":
            sys.exit(f"{item.ident}: value lists that point to each other")
        state[item.ident] = "open"
        for row in item.rows:
            if row.list_name:
                visit(by_name[row.list_name])
        state[item.ident] = "done"
        order.append(item)

    for item in tables + lists:
        visit(item)
    return order


def symbol(ident, is_table):
    camel = "".join(part.capitalize() for part in ident.split("_"))
    return ("kTable" if is_table else "kList") + camel


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_tables(path, tables, lists, by_name, values, name_bindings, kind_bindings):
    table_index = {table.ident: i for i, table in enumerate(tables)}
    table_idents = set(table_index)
    out = ["// Generated by scripts/gen_trace_constants.py from winodbctrace/constants/",
           "// and the ODBC headers; do not edit.",
           '#include "constants.h"',
           "",
           '#include "trace_codes.h"',
           "",
           "namespace {",
           ""]
    for item in emission_order(tables, lists, by_name):
        value_type = values[item.value_type][0]
        out.append(f"// {item.title}")
        out.append(f"constexpr TraceConstant {symbol(item.ident, item.ident in table_idents)}[] = {{")
        for row in item.rows:
            if row.literal is not None:
                value, version = row.literal, 1
            else:
                value, version = values[row.name]
            value = as_int32(f"{item.ident}: {row.name}", value)
            if row.list_name:
                target = by_name[row.list_name]
                count = len(target.rows)
                pointer = symbol(target.ident, target.ident in table_idents)
            else:
                count, pointer = 0, "nullptr"
            out.append(f"    {{{value}, {value_type}, {c_string(row.name)}, {version}, "
                       f"0x{row.kind:x}, {count}, {pointer}}},")
        out.append("};")
        out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("const TraceConstantTable traceConstantTables[] = {")
    for table in tables:
        out.append(f"    {{{c_string(table.title)}, {symbol(table.ident, True)}, {len(table.rows)}}},")
    out.append("};")
    out.append(f"const size_t traceConstantTableCount = {len(tables)};")
    for array, bindings in (("traceNameBindings", name_bindings),
                            ("traceValueKindBindings", kind_bindings)):
        out.append("")
        out.append(f"const TraceBinding {array}[] = {{")
        for binding in bindings:
            if binding.table not in table_index:
                sys.exit(f"{binding.function}: no table {binding.table}")
            name = c_string(binding.function_name) if binding.function_name else "nullptr"
            out.append(f"    {{{values[binding.function][0]}, {name}, {binding.arg}, {binding.key_arg}, "
                       f"&traceConstantTables[{table_index[binding.table]}], "
                       f"TraceKeyForm::{KEY_FORMS[binding.key]}}},  // {binding.function}")
        out.append("};")
        out.append(f"const size_t {array[0:-1]}Count = {len(bindings)};")
    write_buffer_type_codes(out, buffer_type_codes(tables, values))
    write_if_changed(path, "\n".join(out) + "\n")


def buffer_type_codes(tables, values):
    """The code of each buffer type value that a row gives one, by value."""
    codes = {}
    for table in tables:
        for row in table.rows:
            if row.code is None:
                continue
            value = values[row.name][0]
            if codes.get(value, row.code) != row.code:
                sys.exit(f"{table.ident}: {row.name} gives {value} the code {row.code}, another row {codes[value]}")
            codes[value] = row.code
    return codes


def write_buffer_type_codes(out, codes):
    """The codes as an array indexed by buffer type from the lowest that has
    one: a lookup per value buffer costs one load."""
    first = min(codes)
    out += ["",
            "// How SQLGetData shows a value buffer, by its buffer type from the first on.",
            f"const int32_t traceBufferTypeCodeFirst = {first};",
            "const uint8_t traceBufferTypeCodes[] = {"]
    for value in range(first, max(codes) + 1):
        out.append(f"    TraceCode::k{codes.get(value, 'None')},  // {value}")
    out.append("};")
    out.append(f"const size_t traceBufferTypeCodeCount = {max(codes) - first + 1};")


def write_names(path, header_names, name_bindings, kind_bindings):
    out = ["// Generated by scripts/gen_trace_constants.py: the header names of the",
           "// constant tables, for a test that includes the ODBC headers.",
           "struct TraceHeaderName {",
           "  const char* name;",
           "  long long value;",
           "};",
           "const TraceHeaderName kTraceHeaderNames[] = {"]
    out += [f"    {{{c_string(name)}, static_cast<long long>({name})}}," for name in sorted(header_names)]
    out.append("};")
    for array, bindings in (("kTraceNameBindingIds", name_bindings),
                            ("kTraceValueKindBindingIds", kind_bindings)):
        out.append(f"const long long {array}[] = {{")
        out += [f"    {binding.function}," for binding in bindings]
        out.append("};")
    write_if_changed(path, "\n".join(out) + "\n")


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as old:
            if old.read() == text:
                return
    except OSError:
        pass
    with open(path, "w", encoding="utf-8") as new:
        new.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", required=True, help="the folder of the constant data")
    parser.add_argument("--compiler", required=True, help="a C++ compiler, run as a preprocessor")
    parser.add_argument("--include", action="append", default=[], help="where the ODBC headers are")
    parser.add_argument("--output", required=True)
    parser.add_argument("--names")
    options = parser.parse_args()

    tables = parse_tables(options.data)
    lists = parse_lists(os.path.join(options.data, "value_lists.txt"))
    name_bindings = parse_bindings(os.path.join(options.data, "name_bindings.txt"), False)
    kind_bindings = parse_bindings(os.path.join(options.data, "value_kind_bindings.txt"), True)
    by_name = resolve(tables, lists)

    header_names = {row.name for item in tables + lists for row in item.rows if row.literal is None}
    wanted = header_names | {item.value_type for item in tables + lists}
    wanted |= {binding.function for binding in name_bindings + kind_bindings}
    values = header_values(options.compiler, options.include, wanted)

    write_tables(options.output, tables, lists, by_name, values, name_bindings, kind_bindings)
    if options.names:
        write_names(options.names, header_names, name_bindings, kind_bindings)


if __name__ == "__main__":
    main()
