#!/usr/bin/env python3
"""Turns a built test DLL into the variants the PE tests need.

  fixture_tool.py overlay IN OUT BYTES      IN with BYTES of trailing data
  fixture_tool.py certificate IN OUT        IN with a (fake) certificate table
                                            appended and the security
                                            directory pointing at it
"""
import struct
import sys


def optional_header_at(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return pe + 24


def directory_at(data, index):
    opt = optional_header_at(data)
    magic = struct.unpack_from("<H", data, opt)[0]
    return opt + (112 if magic == 0x20B else 96) + 8 * index


def overlay(data, size):
    # A repeating pattern, so a shifted or cut copy shows.
    pattern = bytes((i * 7 + 3) & 0xFF for i in range(251))
    return data + (pattern * (size // len(pattern) + 1))[:size]


def certificate(data):
    data += b"\0" * (-len(data) % 8)  # the table starts 8-byte aligned
    body = b"not a real signature, only its shape" * 4
    entry = struct.pack("<IHH", 8 + len(body), 0x0200, 0x0002) + body
    entry += b"\0" * (-len(entry) % 8)
    data = bytearray(data)
    struct.pack_into("<II", data, directory_at(data, 4), len(data), len(entry))
    return bytes(data) + entry


def main(argv):
    with open(argv[2], "rb") as f:
        data = f.read()
    if argv[1] == "overlay":
        data = overlay(data, int(argv[4]))
    elif argv[1] == "certificate":
        data = certificate(data)
    else:
        sys.exit("unknown command " + argv[1])
    with open(argv[3], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv)
