#!/usr/bin/env python3
"""The installation package ("QLRPACK1") that the setup file carries as resource 900.

Build step:
  pack.py build OUT PROGRAM_EXE [WALLPAPERS_DIR] [--pad BYTES]
      writes OUT with "Quillar.exe" (the built program) and, when a folder
      is named, every file under WALLPAPERS_DIR as "Wallpapers/..." (a named
      folder that is missing fails the step: a setup file without its
      pictures must not pass for a whole one):
      "Wallpapers/themes.json" first, the rest in path order. OUT is left
      untouched when its content would not change. --pad adds that many zero
      bytes after the package (room for tests to write other packages into a
      copy of the setup file).
  pack.py list FILE
      lists the entries of a package or of the package inside a setup file.

The end-to-end tests import this file to read the package back and to write
other (also broken or hostile) packages into a copy of the setup file.
"""

from __future__ import annotations

import struct
import sys
from pathlib import Path

MAGIC = b"QLRPACK1"
RT_RCDATA = 10
PACKAGE_RESOURCE = 900


def entry(name: str | bytes, data: bytes, claimed_size: int | None = None) -> bytes:
    """One entry; `claimed_size` writes another size than the data's (broken packages)."""
    raw = name.encode("utf-8") if isinstance(name, str) else name
    size = len(data) if claimed_size is None else claimed_size
    return struct.pack("<H", len(raw)) + raw + struct.pack("<I", size) + data


def package(entries) -> bytes:
    """A package of (name, data) pairs in this order."""
    return MAGIC + b"".join(entry(n, d) for n, d in entries)


def parse(data: bytes):
    """[(name, data)] by the program's rules: stops at the first entry that does not fit."""
    if len(data) <= 9 or not data.startswith(MAGIC):
        return []
    out, at = [], len(MAGIC)
    while len(data) - at >= 2:
        (n,) = struct.unpack_from("<H", data, at)
        if len(data) - at - 2 < n + 4:
            break
        name = data[at + 2:at + 2 + n]
        (size,) = struct.unpack_from("<I", data, at + 2 + n)
        start = at + 6 + n
        if len(data) - start < size:
            break
        out.append((name.decode("utf-8", errors="replace"), data[start:start + size]))
        at = start + size
    return out


def wallpaper_entries(folder: Path):
    files = sorted(p for p in folder.rglob("*") if p.is_file())
    names = [(("Wallpapers/" + p.relative_to(folder).as_posix()), p) for p in files]
    names.sort(key=lambda item: (item[0] != "Wallpapers/themes.json", item[0]))
    return [(n, p.read_bytes()) for n, p in names]


# ------------------------------------------------------------ the PE resource

def _sections(pe: bytes):
    (lfanew,) = struct.unpack_from("<I", pe, 0x3C)
    if pe[lfanew:lfanew + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, = struct.unpack_from("<H", pe, lfanew + 6)
    opt_size, = struct.unpack_from("<H", pe, lfanew + 20)
    opt = lfanew + 24
    magic, = struct.unpack_from("<H", pe, opt)
    dirs = opt + (112 if magic == 0x20B else 96)
    res_rva, res_size = struct.unpack_from("<II", pe, dirs + 2 * 8)
    table = opt + opt_size
    sections = []
    for i in range(count):
        s = table + 40 * i
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", pe, s + 8)
        sections.append((va, max(vsize, raw_size), raw_ptr))
    return res_rva, res_size, sections


def _file_offset(sections, rva: int) -> int:
    for va, size, raw in sections:
        if va <= rva < va + size:
            return raw + rva - va
    raise ValueError(f"RVA {rva:#x} is in no section")


def find_resource(pe: bytes, type_id: int = RT_RCDATA, res_id: int = PACKAGE_RESOURCE):
    """(offset of the data entry, offset of the data, size) in the file; None when missing."""
    res_rva, _, sections = _sections(pe)
    if not res_rva:
        return None
    base = _file_offset(sections, res_rva)

    def lookup(table: int, want):
        named, ids = struct.unpack_from("<HH", pe, table + 12)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", pe, table + 16 + 8 * i)
            if want is None or (not ident & 0x80000000 and ident == want):
                return target
        return None

    level = lookup(base, type_id)
    if level is None or not level & 0x80000000:
        return None
    level = lookup(base + (level & 0x7FFFFFFF), res_id)
    if level is None or not level & 0x80000000:
        return None
    leaf = lookup(base + (level & 0x7FFFFFFF), None)  # the first language
    if leaf is None or leaf & 0x80000000:
        return None
    data_entry = base + leaf
    data_rva, size = struct.unpack_from("<II", pe, data_entry)
    return data_entry, _file_offset(sections, data_rva), size


def read_package(path) -> bytes:
    """The package bytes of a setup file, or the file itself when it is a package."""
    data = Path(path).read_bytes()
    if data.startswith(MAGIC):
        return data
    found = find_resource(data)
    if not found:
        raise ValueError(f"{path}: no package resource")
    _, at, size = found
    return data[at:at + size]


def write_setup(source, target, new_package: bytes):
    """Copies the setup file `source` to `target` with `new_package` as its package.
    The new package must fit in the room of the old one (its resource shrinks)."""
    data = bytearray(Path(source).read_bytes())
    found = find_resource(bytes(data))
    if not found:
        raise ValueError(f"{source}: no package resource")
    data_entry, at, size = found
    if len(new_package) > size:
        raise ValueError(f"the package needs {len(new_package)} bytes, the setup file has room for {size}")
    data[at:at + size] = new_package + bytes(size - len(new_package))
    struct.pack_into("<I", data, data_entry + 4, len(new_package))
    Path(target).write_bytes(bytes(data))


# ------------------------------------------------------------------- main

def build(out: Path, program: Path, wallpapers: Path | None, pad: int) -> str:
    entries = [("Quillar.exe", program.read_bytes())]
    if wallpapers:
        if not (wallpapers / "themes.json").is_file():
            raise SystemExit(f"pack.py: no wallpapers catalogue at {wallpapers / 'themes.json'}")
        entries += wallpaper_entries(wallpapers)
        note = f"{len(entries)} entries"
    else:
        note = f"{len(entries)} entry: Quillar.exe alone"
    data = package(entries) + bytes(pad)
    if not out.exists() or out.read_bytes() != data:
        out.write_bytes(data)
    return note


def main(argv) -> int:
    if len(argv) >= 3 and argv[0] == "build":
        pad = 0
        if "--pad" in argv:
            i = argv.index("--pad")
            pad = int(argv[i + 1])
            argv = argv[:i] + argv[i + 2:]
        wallpapers = Path(argv[3]) if len(argv) > 3 else None
        note = build(Path(argv[1]), Path(argv[2]), wallpapers, pad)
        print(f"package {Path(argv[1]).name}: {note}")
        return 0
    if len(argv) == 2 and argv[0] == "list":
        for name, data in parse(read_package(argv[1])):
            print(f"{len(data):10d}  {name}")
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
