"""Checks an ELF shared object's SysV hash table the way the dynamic loader
uses it: every named dynamic symbol must be reached by walking the chain of
the bucket its name hashes to. Also refuses leftover '$' placeholders.

usage: check_elf_hash.py LIBRARY    (ELF32 or ELF64, little-endian)
"""
import re
import struct
import sys

DT_NULL, DT_HASH, DT_STRTAB, DT_SYMTAB, DT_GNU_HASH = 0, 4, 5, 6, 0x6FFFFEF5
PT_LOAD, PT_DYNAMIC = 1, 2
PLACEHOLDER = re.compile(rb"_[A-Za-z_][A-Za-z0-9_]*\$[0-9]+")


def elf_hash(name):
    h = 0
    for c in name:
        h = ((h << 4) + c) & 0xFFFFFFFF
        g = h & 0xF0000000
        if g:
            h ^= g >> 24
        h &= ~g & 0xFFFFFFFF
    return h


def check(data):
    if data[:4] != b"\x7fELF" or data[5] != 1:
        return ["not a little-endian ELF file"]
    is64 = data[4] == 2
    phoff, phentsize, phnum = (struct.unpack_from("<32xQ14xHH", data) if is64
                               else struct.unpack_from("<28xI10xHH", data))
    segments = []
    for i in range(phnum):
        at = phoff + i * phentsize
        if is64:
            p_type, _, offset, vaddr, _, filesz = struct.unpack_from("<IIQQQQ", data, at)
        else:
            p_type, offset, vaddr, _, filesz = struct.unpack_from("<IIIII", data, at)
        segments.append((p_type, offset, vaddr, filesz))

    def file_offset(address):
        for p_type, offset, vaddr, filesz in segments:
            if p_type == PT_LOAD and vaddr <= address < vaddr + filesz:
                return offset + address - vaddr
        raise ValueError(f"address {address:#x} is not in the file")

    dynamic = next(s for s in segments if s[0] == PT_DYNAMIC)
    entry = "<qQ" if is64 else "<iI"
    tags = {}
    for at in range(dynamic[1], dynamic[1] + dynamic[3], struct.calcsize(entry)):
        tag, value = struct.unpack_from(entry, data, at)
        if tag == DT_NULL:
            break
        tags.setdefault(tag, value)
    if DT_GNU_HASH in tags:
        return ["has a GNU hash table"]

    hash_at = file_offset(tags[DT_HASH])
    nbucket, nchain = struct.unpack_from("<II", data, hash_at)
    buckets = struct.unpack_from(f"<{nbucket}I", data, hash_at + 8)
    chains = struct.unpack_from(f"<{nchain}I", data, hash_at + 8 + 4 * nbucket)
    symbols, strings = file_offset(tags[DT_SYMTAB]), file_offset(tags[DT_STRTAB])
    problems = []
    for index in range(1, nchain):
        (st_name,) = struct.unpack_from("<I", data, symbols + index * (24 if is64 else 16))
        name = data[strings + st_name:data.index(b"\0", strings + st_name)]
        if not name:
            continue
        if PLACEHOLDER.fullmatch(name):
            problems.append(f"placeholder {name.decode()} left")
        at, steps = buckets[elf_hash(name) % nbucket], 0
        while at != 0 and at != index and steps <= nchain:
            at, steps = chains[at], steps + 1
        if at != index:
            problems.append(f"symbol {index} ({name.decode()}) is not reachable through the hash table")
    return problems


def main():
    with open(sys.argv[1], "rb") as file:
        problems = check(file.read())
    for problem in problems:
        print(f"{sys.argv[1]}: {problem}", file=sys.stderr)
    print(f"hash table: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
