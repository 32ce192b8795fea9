#!/usr/bin/env python3
"""Generates the trace library's exports from its export table.

The table (winodbctrace/exports/exports.txt) holds one export a line:

    control <name> <ordinal>
    <ODBC function> <function id> <ordinal> <C type>:<type code> ...

The type codes (winodbctrace/exports/type_codes.txt) hold one code a line:

    <code> <name> ["<label>" <stored as> [<reads>]]

From them this script writes, each on request:

  --codes            the type codes as an enumeration, with the label and
                     storage of each code an export stores, indexed by code
  --exports          the per-call exports (TraceSQLExecDirect, ...), C++, each
                     function id by its SQL_API name, checked against the table
  --version-script   the trace library's linker version script: the control
                     and per-call exports global, everything else local
  --def              the trace library's module-definition file, with ordinals
  --wrappers         the Driver Manager stand-in's ODBC functions, C++
  --more-wrappers    its other exports, from --more
                     (winodbctrace/dmhost/more_exports.txt), C++
  --wrappers-version-script
                     the stand-in's version script: its ODBC functions, the
                     names of --more, and the names --wrappers-also-export
                     lists (functions of the stand-in's own)
  --calls            for the tests: one caller per export that takes its
                     arguments as 64-bit slots

A malformed line, a repeated name or ordinal, a type code that no labelled
line gives, a code labelled twice or a wide line that does not follow its
narrow form is an error.
"""
import argparse
import re
import sys

LIBRARY = "vrtrc28"
MAX_ARGS = 20
NAME = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*$")
ARG = re.compile(r"^([A-Za-z_][A-Za-z0-9_]*\**):(\d+)$")
TYPE_LINE = re.compile(r'^(\d+)\s+([A-Z][A-Za-z0-9]*)(?:\s+"([^"]+)"\s+(\S+)(?:\s+(\S+))?)?$')
STORAGE = {"as-passed": "kAsPassed", "u16": "kUnsigned16", "s16": "kSigned16", "s32": "kSigned32",
           "u32": "kUnsigned32"}
READS = {None: "kNothing", "value": "kValue", "block": "kBlock"}


class Export:
    def __init__(self, function, function_id, ordinal, args):
        self.function = function  # "SQLExecDirect"
        self.function_id = function_id
        self.ordinal = ordinal
        self.args = args  # [(C type, type code)]
        self.wide = False

    @property
    def name(self):
        return "Trace" + self.function


def fail(path, number, text):
    sys.exit(f"{path}:{number}: {text}")


class TypeCode:
    def __init__(self, code, name, label, storage, reads):
        self.code = code
        self.name = name      # "HstmtPtr": TraceCode::kHstmtPtr
        self.label = label    # "HSTMT *", or None for a renderer's code
        self.storage = storage
        self.reads = reads


def data_lines(path):
    """The numbered lines of a data file that are neither empty nor comments."""
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            text = line.strip()
            if text and not text.startswith("#"):
                yield number, text


def parse_types(path):
    types = []
    names = set()
    labelled = set()
    for number, text in data_lines(path):
        match = TYPE_LINE.match(text)
        if not match:
            fail(path, number, 'expected: <code> <name> ["<label>" <stored as> [<reads>]]')
        code, name, label, stored = int(match.group(1)), match.group(2), match.group(3), match.group(4)
        reads = match.group(5)
        if reads not in READS:
            fail(path, number, f"reads {reads}: not one of {', '.join(r for r in READS if r)}")
        if name in names:
            fail(path, number, f"{name} given twice")
        names.add(name)
        if label is not None:
            if stored not in STORAGE:
                fail(path, number, f"stored as {stored}: not one of {', '.join(STORAGE)}")
            if code in labelled:
                fail(path, number, f"code {code} labelled twice")
            labelled.add(code)
        types.append(TypeCode(code, name, label, STORAGE.get(stored), READS[reads]))
    return types


def parse(path, stored_codes):
    controls = []  # [(name, ordinal)]
    exports = []
    names = set()
    ordinals = set()
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            if words[0] == "control":
                if len(words) != 3 or not NAME.match(words[1]) or not words[2].isdigit():
                    fail(path, number, "expected: control <name> <ordinal>")
                name, ordinal = words[1], int(words[2])
                controls.append((name, ordinal))
            else:
                if len(words) < 4 or not NAME.match(words[0]) or not words[1].isdigit() \
                        or not words[2].isdigit():
                    fail(path, number, "expected: <function> <id> <ordinal> <C type>:<code> ...")
                args = []
                for word in words[3:]:
                    match = ARG.match(word)
                    if not match:
                        fail(path, number, f"expected <C type>:<code>, not {word}")
                    code = int(match.group(2))
                    if code not in stored_codes:
                        fail(path, number, f"type code {code} is not one an export stores")
                    args.append((match.group(1), code))
                if len(args) > MAX_ARGS:
                    fail(path, number, f"more than {MAX_ARGS} arguments")
                export = Export(words[0], int(words[1]), int(words[2]), args)
                check_wide(path, number, export, exports)
                exports.append(export)
                name, ordinal = export.name, export.ordinal
            if name in names:
                fail(path, number, f"{name} given twice")
            if ordinal in ordinals:
                fail(path, number, f"ordinal {ordinal} given twice")
            names.add(name)
            ordinals.add(ordinal)
    return controls, exports


def check_wide(path, number, export, exports):
    """A wide export (name ending in W) follows its narrow form and stores
    the same call."""
    if not export.function.endswith("W"):
        return
    narrow = exports[-1] if exports else None
    if narrow is None or export.function != narrow.function + "W":
        fail(path, number, f"{export.function} does not follow its narrow form")
    export.wide = True
    if export.function_id != narrow.function_id or len(export.args) != len(narrow.args):
        fail(path, number, f"{export.function} differs from {narrow.function} in id or arguments")


class Wrapper:
    """One function of the Driver Manager stand-in: an ODBC function of the
    table, another name of one (traced by its export), or a function handed
    to unixODBC untraced."""

    def __init__(self, name, trace, returns, types):
        self.name = name        # "SQLConnectA"
        self.trace = trace      # "TraceSQLConnect", or None: untraced
        self.returns = returns  # "SQLRETURN"
        self.types = types      # ["SQLHDBC", "SQLCHAR*", ...]


MORE_LINE = re.compile(r"^(alias|call|data)\s+([A-Za-z_][A-Za-z0-9_]*)((?:\s+[A-Za-z_][A-Za-z0-9_]*\**)*)$")


def parse_more(path, exports):
    """The stand-in's wrappers beyond the table, and its variables [(name, C type)]."""
    by_function = {e.function: e for e in exports}
    wrappers, variables = [], []
    for number, text in data_lines(path):
        match = MORE_LINE.match(text)
        if not match:
            fail(path, number, "expected: alias <name> <function> | call <name> <type> ... | data <name> <type>")
        kind, name, words = match.group(1), match.group(2), match.group(3).split()
        if kind == "alias":
            target = by_function.get(words[0]) if len(words) == 1 else None
            if target is None:
                fail(path, number, f"alias {name}: not one function of the table")
            wrappers.append(Wrapper(name, target.name, "SQLRETURN", [t for t, _ in target.args]))
        elif kind == "call":
            if not words:
                fail(path, number, f"call {name}: no return type")
            wrappers.append(Wrapper(name, None, words[0], words[1:]))
        else:
            if len(words) != 1:
                fail(path, number, f"data {name}: expected one C type")
            variables.append((name, words[0]))
    return wrappers, variables


def parameters(export):
    return ", ".join(f"{t} a{i}" for i, (t, _) in enumerate(export.args))


def prototype_types(export):
    return ", ".join(t for t, _ in export.args)


HEADERS = ["#include <sql.h>", "#include <sqlext.h>", "#include <sqlucode.h>"]
VISIBLE = 'extern "C" __attribute__((visibility("default")))'


def banner(table, what):
    return [f"// Generated from {table} by gen_trace_exports.py; do not edit.", f"// {what}"]


def function_id_name(export):
    """The ODBC headers' name of an export's function id: SQL_API_SQLEXECDIRECT
    for SQLExecDirect and SQLExecDirectW."""
    function = export.function[:-1] if export.wide else export.function
    return "SQL_API_" + function.upper()


def write_exports(table, exports):
    lines = banner(table, "The per-call exports: each describes its call to TraceCall.")
    lines += ["", "#include <cstdint>", "", '#include "odbc_headers.h"', '#include "trace.h"', ""]
    for export in exports:
        codes = ", ".join(str(code) for _, code in export.args)
        values = ", ".join(f"TraceArg({code}, a{i})" for i, (_, code) in enumerate(export.args))
        id_name = function_id_name(export)
        lines += [
            f'static_assert({id_name} == {export.function_id}, "the function id of {export.function}");',
            f"{VISIBLE} SQLRETURN {export.name}({parameters(export)}) {{",
            f'  static constexpr TraceFunction kFunction = {{{id_name}, "{export.function}", '
            f"{len(export.args)}, {int(export.wide)}, {{{codes}}}}};",
            f"  const uint64_t values[] = {{{values}}};",
            "  return TraceCall(kFunction, values);",
            "}",
            "",
        ]
    return lines


def write_codes(types_file, types):
    lines = banner(types_file, "The type codes of call records and the renderer's own codes.")
    lines += ["#ifndef VRTRACE_TRACE_CODES_H", "#define VRTRACE_TRACE_CODES_H", "", "#include <cstdint>", "",
              "// Plain numbers, as records and lookups hold them, named in one scope.",
              "namespace TraceCode {", "enum : uint32_t {"]
    for t in types:
        comment = f'  // "{t.label}"' if t.label else ""
        lines.append(f"  k{t.name} = {t.code},{comment}")
    lines += [
        "};",
        "}  // namespace TraceCode",
        "",
        "// How an export stores an argument of a code: as passed, or widened from",
        "// its low 16 or 32 bits.",
        "enum class TraceStorage : uint8_t { " + ", ".join(STORAGE.values()) + " };",
        "",
        "// What a record's text reads of the application's memory behind an",
        "// argument of a code: nothing, the value it points to, or a block of",
        "// text or buffer bytes.",
        "enum class TraceReads : uint8_t { " + ", ".join(READS.values()) + " };",
        "",
        "struct TraceCodeRow {",
        "  const char* label;  // null: no export stores the code",
        "  TraceStorage storage;",
        "  TraceReads reads;",
        "};",
        "",
        "// Indexed by code.",
        "inline constexpr TraceCodeRow kTraceCodeRows[] = {",
    ]
    stored = {t.code: t for t in types if t.label}
    for code in range(max(t.code for t in types) + 1):
        t = stored.get(code)
        row = (f'{{"{t.label}", TraceStorage::{t.storage}, TraceReads::{t.reads}}}' if t else
               "{nullptr, TraceStorage::kAsPassed, TraceReads::kNothing}")
        lines.append(f"    {row},  // {code}")
    lines += ["};", "", "#endif  // VRTRACE_TRACE_CODES_H", ""]
    return lines


def write_version_script(names):
    lines = ["{", "  global:"]
    lines += [f"    {name};" for name in names]
    lines += ["  local:", "    *;", "};", ""]
    return lines


def write_def(controls, exports):
    rows = [(e.name, e.ordinal) for e in exports] + controls
    lines = [f"LIBRARY {LIBRARY}", "EXPORTS"]
    lines += [f"  {name} @{ordinal}" for name, ordinal in sorted(rows, key=lambda row: row[1])]
    return lines + [""]


def wrapper_lines(w, index):
    params = ", ".join(f"{t} a{i}" for i, t in enumerate(w.types))
    args = ", ".join(f"a{i}" for i in range(len(w.types)))
    lines = [
        f"{VISIBLE} {w.returns} {w.name}({params}) {{",
        f"  using Result = {w.returns};",
        f"  using Function = Result (*)({', '.join(w.types)});",
        f"  dmhost::Call call({index}, __builtin_return_address(0));",
    ]
    if w.trace:
        lines += [
            "  if (const auto trace = reinterpret_cast<Function>(call.traceExport())) {",
            f"    call.entered(trace({args}));",
            "  }",
        ]
    lines.append("  const auto real = reinterpret_cast<Function>(call.real());")
    if w.returns == "SQLRETURN":
        lines.append(f"  return call.returned(real ? real({args}) : SQL_ERROR);")
    else:
        lines.append(f"  return real ? real({args}) : Result{{}};")
    return lines + ["}", ""]


def write_wrappers(table, wrappers, count_in_table):
    """The ODBC functions of the table, compiled against unixODBC's
    declarations of them, and the table of every function of the stand-in."""
    lines = banner(table, "The Driver Manager stand-in's ODBC functions.")
    lines += [""] + HEADERS + ["", '#include "dmhost.h"', "", "namespace dmhost {", "",
                               "Function functions[] = {"]
    for w in wrappers:
        trace = f'"{w.trace}"' if w.trace else "nullptr"
        lines.append(f'    {{"{w.name}", {trace}, nullptr, nullptr}},')
    lines += ["};", f"const size_t kFunctionCount = {len(wrappers)};", "", "}  // namespace dmhost", ""]
    for index in range(count_in_table):
        lines += wrapper_lines(wrappers[index], index)
    return lines


def write_more_wrappers(more, wrappers, count_in_table, variables):
    """The stand-in's other exports. unixODBC's headers declare some of them
    with other types of the same size or outside extern "C", so only sql.h
    (the types and SQL_ERROR) is included."""
    lines = banner(more, "The Driver Manager stand-in's other exports.")
    lines += ["", "#include <sql.h>", "#include <sys/types.h>", "", '#include "dmhost.h"', ""]
    for name, ctype in variables:
        lines += [f'extern "C" {{', f'__attribute__((visibility("default"))) {ctype} {name} = {{}};', "}", ""]
    for index in range(count_in_table, len(wrappers)):
        lines += wrapper_lines(wrappers[index], index)
    return lines


def write_calls(table, exports):
    lines = banner(table, "Tests: each export called with its arguments taken from 64-bit slots.")
    lines += [""] + HEADERS + ["", "#include <cstdint>", "#include <type_traits>", "",
                               '#include "export_calls.h"', ""]
    lines += [f'extern "C" SQLRETURN {e.name}({prototype_types(e)});' for e in exports]
    lines += [
        "",
        "namespace {",
        "template <typename T>",
        "T fromSlot(uint64_t slot) {",
        "  if constexpr (std::is_pointer_v<T>) {",
        "    return reinterpret_cast<T>(static_cast<uintptr_t>(slot));",
        "  } else {",
        "    return static_cast<T>(slot);",
        "  }",
        "}",
        "}  // namespace",
        "",
        "namespace vrtest {",
        "",
        "const ExportCall kExportCalls[] = {",
    ]
    for export in exports:
        args = ", ".join(f"fromSlot<{t}>(v[{i}])" for i, (t, _) in enumerate(export.args))
        lines += [f'    {{"{export.name}", [](const uint64_t* v) -> int16_t {{ return {export.name}({args}); }}}},']
    lines += ["};", f"const size_t kExportCallCount = {len(exports)};", "", "}  // namespace vrtest", ""]
    return lines


def save(path, lines):
    with open(path, "w", encoding="utf-8") as out:
        out.write("\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--table", required=True)
    parser.add_argument("--types", required=True)
    parser.add_argument("--codes")
    parser.add_argument("--exports")
    parser.add_argument("--version-script")
    parser.add_argument("--def")
    parser.add_argument("--wrappers")
    parser.add_argument("--wrappers-version-script")
    parser.add_argument("--more")
    parser.add_argument("--more-wrappers")
    parser.add_argument("--wrappers-also-export", nargs="*", default=[])
    parser.add_argument("--calls")
    args = parser.parse_args()
    types = parse_types(args.types)
    controls, exports = parse(args.table, {t.code for t in types if t.label})
    table = args.table.split("/")[-1]
    if args.codes:
        save(args.codes, write_codes(args.types.split("/")[-1], types))
    if args.exports:
        save(args.exports, write_exports(table, exports))
    if args.version_script:
        save(args.version_script, write_version_script([n for n, _ in controls] + [e.name for e in exports]))
    if getattr(args, "def"):
        save(getattr(args, "def"), write_def(controls, exports))
    if args.wrappers or args.wrappers_version_script:
        more, variables = parse_more(args.more, exports) if args.more else ([], [])
        wrappers = [Wrapper(e.function, e.name, "SQLRETURN", [t for t, _ in e.args]) for e in exports] + more
        if args.wrappers:
            save(args.wrappers, write_wrappers(table, wrappers, len(exports)))
        if args.more_wrappers:
            more_file = args.more.split("/")[-1]
            save(args.more_wrappers, write_more_wrappers(more_file, wrappers, len(exports), variables))
        if args.wrappers_version_script:
            save(args.wrappers_version_script,
                 write_version_script([w.name for w in wrappers] + [name for name, _ in variables] +
                                      args.wrappers_also_export))
    if args.calls:
        save(args.calls, write_calls(table, exports))


if __name__ == "__main__":
    main()
