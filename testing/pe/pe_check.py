#!/usr/bin/python3
"""Reads a PE file back with pefile, as a check independent of our own code.

  pe_check.py dump FILE
      Prints, one fact a line: "checksum ok|bad <header> <computed>",
      "fixed <field> 0x<value>" for the version resource's fixed file info,
      "string <table key> <key>=<value>" for every string of its string
      tables, "translation 0x<language> 0x<code page>", "stringtable
      <block> <index>=<text>" for every string-table string, "resource
      <type>/<name>/<language> <size> <sha256>" for every resource,
      "overlay <size> <sha256>", "certificate <offset> <size>".

  pe_check.py compare OLD NEW [T/N/L=FILE ...]
      Checks NEW against OLD: valid checksum; every resource of OLD but the
      listed ones byte for byte; each listed one equal to FILE's bytes; no
      other resource; the same overlay (without a certificate table, which
      NEW must not have); the same base relocations and COFF symbol table.
      Prints "ok", or one "FAIL ..." line for each difference; exit status 1
      on any.

Types and names print as their id or their name; languages as decimal ids.
"""
import hashlib
import struct
import sys

import pefile


def load(path):
    return pefile.PE(path, fast_load=False)


def ident(entry):
    return str(entry.name) if entry.name is not None else str(entry.id)


def resources(pe):
    out = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return out
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                d = lang.data.struct
                key = "%s/%s/%d" % (ident(t), ident(n), lang.id)
                out[key] = pe.get_data(d.OffsetToData, d.Size)
    return out


def certificate(pe):
    d = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    return d.VirtualAddress, d.Size


def overlay(pe):
    """Trailing data after the last section, without a certificate table."""
    data = pe.__data__
    start = max((s.PointerToRawData + s.SizeOfRawData for s in pe.sections if s.SizeOfRawData), default=0)
    at, size = certificate(pe)
    tail = bytes(data[start:])
    if size:
        tail = bytes(data[start:at]) + bytes(data[at + size:])
    return tail


def symbols(pe):
    at = pe.FILE_HEADER.PointerToSymbolTable
    if at == 0:
        return b""
    count = pe.FILE_HEADER.NumberOfSymbols
    data = pe.__data__
    strings = struct.unpack_from("<I", data, at + 18 * count)[0]
    return bytes(data[at:at + 18 * count + strings])


def relocations(pe):
    out = []
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        out.extend((e.rva, e.type) for e in block.entries)
    return out


def checksum_line(pe):
    header = pe.OPTIONAL_HEADER.CheckSum
    computed = pe.generate_checksum()
    return "checksum %s 0x%08x 0x%08x" % ("ok" if header == computed else "bad", header, computed)


def version_lines(pe):
    lines = []
    for info in getattr(pe, "VS_FIXEDFILEINFO", []):
        for field in ("FileVersionMS", "FileVersionLS", "ProductVersionMS", "ProductVersionLS", "FileFlagsMask",
                      "FileFlags", "FileOS", "FileType", "FileSubtype"):
            lines.append("fixed %s 0x%08x" % (field, getattr(info, field)))
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            if block.Key == b"StringFileInfo":
                for table in block.StringTable:
                    for key, value in table.entries.items():
                        lines.append("string %s %s=%s" % (table.LangID.decode(), key.decode(), value.decode()))
            elif block.Key == b"VarFileInfo":
                for var in block.Var:
                    words = var.entry.get(b"Translation", "").split()
                    for lang, page in zip(words[0::2], words[1::2]):
                        lines.append("translation 0x%04x 0x%04x" % (int(lang, 16), int(page, 16)))
    return lines


def string_table_lines(pe, res):
    lines = []
    for key, data in sorted(res.items()):
        t, block, _ = key.split("/")
        if t != "6":
            continue
        at = 0
        for index in range(16):
            (length,) = struct.unpack_from("<H", data, at)
            text = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            at += 2 + 2 * length
            if length:
                lines.append("stringtable %s %d=%s" % (block, (int(block) - 1) * 16 + index, text))
    return lines


def dump(path):
    pe = load(path)
    res = resources(pe)
    lines = [checksum_line(pe)] + version_lines(pe) + string_table_lines(pe, res)
    for key, data in sorted(res.items()):
        lines.append("resource %s %d %s" % (key, len(data), hashlib.sha256(data).hexdigest()))
    tail = overlay(pe)
    lines.append("overlay %d %s" % (len(tail), hashlib.sha256(tail).hexdigest()))
    lines.append("certificate %d %d" % certificate(pe))
    print("\n".join(lines))
    return 0


def compare(old_path, new_path, replaced):
    old, new = load(old_path), load(new_path)
    failures = []
    line = checksum_line(new)
    if not line.startswith("checksum ok"):
        failures.append(line)
    expected = resources(old)
    for key, path in replaced.items():
        with open(path, "rb") as f:
            expected[key] = f.read()
    got = resources(new)
    for key in sorted(set(expected) | set(got)):
        if key not in got:
            failures.append("resource %s missing" % key)
        elif key not in expected:
            failures.append("resource %s unexpected" % key)
        elif expected[key] != got[key]:
            failures.append("resource %s differs" % key)
    if certificate(new) != (0, 0):
        failures.append("certificate table kept")
    if overlay(old) != overlay(new):
        failures.append("overlay differs")
    if symbols(old) != symbols(new):
        failures.append("COFF symbols differ")
    if relocations(old) != relocations(new):
        failures.append("base relocations differ")
    for w in new.get_warnings():
        if not w.startswith("Byte 0x"):  # small test files are mostly zeros
            failures.append("pefile: " + w)
    print("\n".join("FAIL " + f for f in failures) if failures else "ok")
    return 1 if failures else 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "dump":
        return dump(argv[2])
    if len(argv) >= 4 and argv[1] == "compare":
        return compare(argv[2], argv[3], dict(a.split("=", 1) for a in argv[4:]))
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
