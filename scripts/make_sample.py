#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Builds the bundled sample: a small PE32 image whose resource section holds
a classic menu, an extended menu, a dialog and a string table, and a UTF-16
list that translates some of their texts into German.

Usage: scripts/make_sample.py OUTPUT_DIR
"""
import struct
import sys
from pathlib import Path


def utf16z(text):
    return text.encode("utf-16-le") + b"\0\0"


def classic_menu():
    MF_POPUP, MF_END = 0x10, 0x80
    body = struct.pack("<HH", 0, 0)
    body += struct.pack("<H", MF_POPUP) + utf16z("&File")
    body += struct.pack("<HH", 0, 100) + utf16z("&Open")
    body += struct.pack("<HH", 0, 101) + utf16z("&Save")
    body += struct.pack("<HH", MF_END, 102) + utf16z("E&xit")
    body += struct.pack("<H", MF_POPUP | MF_END) + utf16z("&Help")
    body += struct.pack("<HH", MF_END, 200) + utf16z("&About")
    return body


def dialog():
    DS_SETFONT, WS_POPUP, WS_CAPTION = 0x40, 0x80000000, 0x00C00000
    body = struct.pack("<IIHhhhh", WS_POPUP | WS_CAPTION | DS_SETFONT, 0, 2,
                       0, 0, 180, 60)
    body += b"\0\0" + b"\0\0" + utf16z("About")
    body += struct.pack("<H", 8) + utf16z("MS Shell Dlg")
    def control(style, x, y, cx, cy, cid, cls, title):
        nonlocal body
        if len(body) % 4:
            body += b"\0" * (4 - len(body) % 4)
        body += struct.pack("<IIhhhhH", style, 0, x, y, cx, cy, cid)
        body += struct.pack("<HH", 0xFFFF, cls) + utf16z(title)
        body += struct.pack("<H", 0)
    control(0x50000000, 10, 10, 160, 10, 0xFFFF, 0x0082, "A small sample program")
    control(0x50010001, 65, 35, 50, 14, 1, 0x0080, "OK")
    return body


def resource_section(va, items):
    """items: list of (type_id, name_id, lang, data); one of each type."""
    items = sorted(items)
    types = sorted({t for t, _, _, _ in items})
    root_size = 16 + 8 * len(types)
    name_dirs_size = sum(16 + 8 for _ in types)
    lang_dirs_size = sum(16 + 8 for _ in items)
    data_entries = root_size + name_dirs_size + lang_dirs_size
    data_start = data_entries + 16 * len(items)
    out = bytearray()
    out += struct.pack("<IIHHHH", 0, 0, 4, 0, 0, len(types))
    name_dir = root_size
    for t in types:
        out += struct.pack("<II", t, 0x80000000 | name_dir)
        name_dir += 24
    lang_dir = root_size + name_dirs_size
    for t, n, _, _ in items:
        out += struct.pack("<IIHHHH", 0, 0, 4, 0, 0, 1)
        out += struct.pack("<II", n, 0x80000000 | lang_dir)
        lang_dir += 24
    entry = data_entries
    for _, _, lang, _ in items:
        out += struct.pack("<IIHHHH", 0, 0, 4, 0, 0, 1)
        out += struct.pack("<II", lang, entry)
        entry += 16
    offset = data_start
    for _, _, _, data in items:
        out += struct.pack("<IIII", va + offset, len(data), 1252, 0)
        offset += (len(data) + 7) & ~7
    for _, _, _, data in items:
        out += data + b"\0" * (((len(data) + 7) & ~7) - len(data))
    return bytes(out)


def string_table():
    strings = ["Ready", "Untitled"] + [""] * 14
    return b"".join(struct.pack("<H", len(s)) + s.encode("utf-16-le") for s in strings)


def pe_image():
    file_align, section_align = 0x200, 0x1000
    text = b"\xC3" + b"\0" * 15  # ret
    rsrc_va = 0x2000
    rsrc = resource_section(rsrc_va, [
        (4, 1, 0x409, classic_menu()),
        (5, 100, 0x409, dialog()),
        (6, 1, 0x409, string_table()),
    ])
    sections = [(b".text", 0x1000, text, 0x60000020),
                (b".rsrc", rsrc_va, rsrc, 0x40000040)]
    headers_size = 0x400
    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 64)
    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", 0x14C, len(sections), 0, 0, 0,
                       224, 0x0102)
    raw = headers_size
    table = b""
    bodies = b""
    for name, va, data, flags in sections:
        raw_size = (len(data) + file_align - 1) & ~(file_align - 1)
        table += struct.pack("<8sIIIIIIHHI", name, len(data), va, raw_size, raw,
                             0, 0, 0, 0, flags)
        bodies += data + b"\0" * (raw_size - len(data))
        raw += raw_size
    image_size = rsrc_va + ((len(rsrc) + section_align - 1) & ~(section_align - 1))
    opt = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 14, 0, 0x200,
                      0x200, 0, 0x1000, 0x1000, 0x2000, 0x400000, section_align,
                      file_align, 4, 0, 0, 0, 4, 0, 0, image_size,
                      headers_size, 0, 2, 0, 0x100000, 0x1000, 0x100000,
                      0x1000, 0, 16)
    dirs = [(0, 0)] * 16
    dirs[2] = (rsrc_va, len(rsrc))
    opt += b"".join(struct.pack("<II", a, s) for a, s in dirs)
    header = bytes(dos) + coff + opt + table
    return header + b"\0" * (headers_size - len(header)) + bodies


def sample_list():
    pairs = [("&File", "&Datei"), ("&Open", "Ö&ffnen"), ("&Save", "&Speichern"),
             ("E&xit", "&Beenden"), ("&Help", "&Hilfe"), ("&About", "Ü&ber"),
             ("About", "Über"), ("A small sample program", "Ein kleines Beispielprogramm")]
    text = "".join(f"{find}\r\n{replacement}\r\n" for find, replacement in pairs)
    return b"\xFF\xFE" + text.encode("utf-16-le")


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "sample")
    out.mkdir(parents=True, exist_ok=True)
    (out / "app.exe").write_bytes(pe_image())
    (out / "list.txt").write_bytes(sample_list())


if __name__ == "__main__":
    main()
