#!/usr/bin/env python3
"""Renames a dynamic symbol of an ELF64 little-endian shared library to a
name of the same length, and rebuilds the SysV symbol hash table so that the
loader finds it under the new name. The library must be linked with
--hash-style=sysv (no GNU hash table).

    rename_dynsym.py LIBRARY OLD NEW
"""
import struct
import sys


def elf_hash(name):
    h = 0
    for c in name:
        h = ((h << 4) + c) & 0xFFFFFFFF
        g = h & 0xF0000000
        if g:
            h ^= g >> 24
        h &= ~g & 0xFFFFFFFF
    return h


def main(path, old, new):
    old, new = old.encode(), new.encode()
    if len(old) != len(new):
        sys.exit("names must have the same length")
    data = bytearray(open(path, "rb").read())
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        sys.exit("not an ELF64 little-endian file")
    shoff, = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum = struct.unpack_from("<HH", data, 0x3A)
    sections = []
    for i in range(shnum):
        sections.append(struct.unpack_from("<IIQQQQIIQQ", data, shoff + i * shentsize))
    dynsym = next(s for s in sections if s[1] == 11)
    if any(s[1] == 0x6FFFFFF6 for s in sections):
        sys.exit("the library has a GNU hash table; link with --hash-style=sysv")
    hashsec = next(s for s in sections if s[1] == 5)
    dynstr = sections[dynsym[6]]
    stroff = dynstr[4]
    count = dynsym[5] // 24
    names = []
    renamed = False
    for i in range(count):
        st_name, = struct.unpack_from("<I", data, dynsym[4] + i * 24)
        start = stroff + st_name
        end = data.index(b"\0", start)
        name = bytes(data[start:end])
        if name == old:
            data[start:end] = new
            name = new
            renamed = True
        names.append(name)
    if not renamed:
        sys.exit("symbol %s not found" % old.decode())
    hoff = hashsec[4]
    nbucket, nchain = struct.unpack_from("<II", data, hoff)
    buckets = [0] * nbucket
    chains = [0] * nchain
    for i in range(1, count):
        b = elf_hash(names[i]) % nbucket
        chains[i] = buckets[b]
        buckets[b] = i
    struct.pack_into("<%dI" % nbucket, data, hoff + 8, *buckets)
    struct.pack_into("<%dI" % nchain, data, hoff + 8 + 4 * nbucket, *chains)
    open(path, "wb").write(data)


if __name__ == "__main__":
    main(*sys.argv[1:4])
