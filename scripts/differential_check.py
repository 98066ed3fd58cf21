#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Differential check of uitrans against scripts/reference_model.py.

Generates small random PE32/PE32+ images (sections, resource trees with menus,
dialogs and other types, sometimes malformed) and random replacement lists,
runs the real binary on each in a fresh temporary directory and compares
stdout, exit status and every file left behind with the model.

    differential_check.py [--binary PATH] [--seed N] [--cases N]
                          [--save-dir DIR] [--max-save N] [--quiet]

Exit status 0 when every case agreed, 1 otherwise.  Failing cases are saved
under --save-dir (list.txt, app.exe, expected/actual output, report.txt).
"""

import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_model as ref  # noqa: E402


# ----------------------------------------------------------------------------
# Texts
# ----------------------------------------------------------------------------

ALPHABET = [ord(c) for c in "abcdeAB &.-"] + [0xE4, 0x4E2D, 0x20AC, 0xFFFF, 0x0001]


def rand_text(rng, lo=1, hi=9):
    n = rng.randint(lo, hi)
    return tuple(rng.choice(ALPHABET) for _ in range(n))


def make_pool(rng):
    pool = [rand_text(rng, 1, rng.choice([3, 9, 20])) for _ in range(rng.randint(3, 10))]
    # texts sharing tails make tail matches likely
    for _ in range(rng.randint(0, 3)):
        base = rng.choice(pool)
        pool.append(rand_text(rng, 1, 3) + base)
    return pool


def pick_text(rng, pool):
    return rng.choice(pool)


def enc(units):
    return struct.pack("<%dH" % len(units), *units)


def enc_z(units):
    return enc(tuple(units) + (0,))


# ----------------------------------------------------------------------------
# Resource items
# ----------------------------------------------------------------------------

def classic_menu(rng, pool):
    out = bytearray(struct.pack("<HH", 0, 0))

    def items(depth):
        n = rng.randint(1, 4)
        for k in range(n):
            last = 0x80 if k == n - 1 else 0
            if depth < 2 and rng.random() < 0.3:
                out.extend(struct.pack("<H", 0x10 | last))
                out.extend(enc_z(pick_text(rng, pool)))
                items(depth + 1)
            else:
                out.extend(struct.pack("<HH", last | rng.choice([0, 0, 1, 8]),
                                       rng.randint(0, 0xFFFF)))
                t = pick_text(rng, pool) if rng.random() < 0.9 else ()
                out.extend(enc_z(t))
    items(0)
    return bytes(out)


def ext_menu(rng, pool):
    out = bytearray(struct.pack("<HHI", 1, 4, rng.randint(0, 5)))

    def pad():
        while len(out) % 4:
            out.append(0)

    def items(depth):
        n = rng.randint(1, 4)
        for k in range(n):
            last = 0x80 if k == n - 1 else 0
            popup = depth < 2 and rng.random() < 0.3
            out.extend(struct.pack("<IIIH", rng.choice([0, 0, 0x800]), 0,
                                   rng.randint(0, 0xFFFF),
                                   last | (0x01 if popup else 0)))
            out.extend(enc_z(pick_text(rng, pool) if rng.random() < 0.9 else ()))
            pad()
            if popup:
                out.extend(struct.pack("<I", 0))
                items(depth + 1)
    items(0)
    return bytes(out)


def sz_field(rng, pool, allow_zero=True):
    r = rng.random()
    if r < 0.4 and allow_zero:
        return enc((0,))
    if r < 0.7:
        return enc((0xFFFF, rng.randint(0, 0xFFFF)))
    return enc_z(pick_text(rng, pool))


def creation_data(rng, pool, ext):
    r = rng.random()
    if r < 0.45:
        data = b""
    else:
        data = bytearray()
        for _ in range(rng.randint(1, 3)):
            if rng.random() < 0.6:
                data += enc_z(pick_text(rng, pool))
            else:
                data += bytes(rng.randint(0, 255) for _ in range(rng.randint(1, 5)))
        if rng.random() < 0.3:
            data = data[:-1]
        data = bytes(data)
    if ext:
        w = len(data)
    else:
        w = len(data) + 2 if data or rng.random() < 0.5 else rng.choice([0, 1, 2])
    if rng.random() < 0.05:
        w = rng.randint(0, 0xFFFF)
    return struct.pack("<H", w) + data


def dialog(rng, pool, ext):
    out = bytearray()
    ncontrols = rng.randint(0, 4)
    style = rng.randint(0, 0xFFFFFFFF) & ~0xFF
    style |= rng.choice([0x40, 0x40, 0x48, 0x08, 0x00, 0xC0, rng.randint(0, 255)])
    cnt = ncontrols if rng.random() < 0.85 else rng.randint(0, 8)
    if ext:
        out += struct.pack("<HHIIIHhhhh", 1, 0xFFFF, 0, 0, style, cnt, 1, 2, 3, 4)
    else:
        out += struct.pack("<IIHhhhh", style, 0, cnt, 1, 2, 3, 4)
    out += sz_field(rng, pool)
    out += sz_field(rng, pool)
    out += enc_z(pick_text(rng, pool) if rng.random() < 0.8 else ())
    if style & 0x40:
        pt = 0x7FFF if rng.random() < 0.15 else rng.randint(6, 12)
        out += struct.pack("<H", pt)
        if pt != 0x7FFF:
            if ext:
                out += struct.pack("<HBB", 400, 0, 1)
            out += enc_z(pick_text(rng, pool))
    elif style & 0x08 and rng.random() < 0.5:
        out += struct.pack("<H", 8) + enc_z(pick_text(rng, pool))
    for _ in range(ncontrols):
        while len(out) % 4:
            out.append(0)
        if ext:
            out += struct.pack("<IIIhhhhI", 0, 0, 0x50000000, 1, 2, 3, 4,
                               rng.randint(0, 0xFFFFFFFF))
        else:
            out += struct.pack("<IIhhhhH", 0x50000000, 0, 1, 2, 3, 4,
                               rng.randint(0, 0xFFFF))
        if rng.random() < 0.6:
            out += enc((0xFFFF, rng.choice([0x80, 0x81, 0x82, 0x83])))
        else:
            out += enc_z(pick_text(rng, pool))
        if rng.random() < 0.2:
            out += enc((0xFFFF, rng.randint(0, 0xFFFF)))
        else:
            out += enc_z(pick_text(rng, pool) if rng.random() < 0.9 else ())
        out += creation_data(rng, pool, ext)
    return bytes(out)


def other_item(rng, pool):
    r = rng.random()
    if r < 0.3:
        # a string-table-like block holding texts: never rewritten
        out = bytearray()
        for _ in range(rng.randint(1, 4)):
            t = pick_text(rng, pool)
            out += struct.pack("<H", len(t)) + enc(t)
        return bytes(out)
    if r < 0.5:
        return classic_menu(rng, pool)  # a menu layout under another type
    return bytes(rng.randint(0, 255) for _ in range(rng.randint(0, 40)))


# ----------------------------------------------------------------------------
# Resource tree
# ----------------------------------------------------------------------------

class Dir:
    def __init__(self):
        self.entries = []   # (name, child): name int or tuple of units
        self.off = None


class Data:
    def __init__(self, data):
        self.data = data
        self.off = None
        self.item_off = None


def build_tree(rng, pool):
    root = Dir()
    types = []
    for _ in range(rng.randint(1, 4)):
        r = rng.random()
        if r < 0.35:
            t = 4
        elif r < 0.7:
            t = 5
        elif r < 0.9:
            t = rng.choice([3, 6, 16, 24, 0x80000004 & 0xFFFF])
        else:
            t = rand_text(rng, 2, 5)
        if t not in types:
            types.append(t)
    for t in types:
        tdir = Dir()
        for _ in range(rng.randint(1, 3)):
            nm = rng.randint(1, 200) if rng.random() < 0.8 else rand_text(rng, 2, 6)
            ndir = Dir()
            for lang in rng.sample([0x409, 0x407, 0], rng.randint(1, 2)):
                if t == 4:
                    item = ext_menu(rng, pool) if rng.random() < 0.4 else classic_menu(rng, pool)
                elif t == 5:
                    item = dialog(rng, pool, rng.random() < 0.5)
                else:
                    item = other_item(rng, pool)
                ndir.entries.append((lang, Data(item)))
            tdir.entries.append((nm, ndir))
        root.entries.append((t, tdir))
    if rng.random() < 0.1:
        # a data entry straight under the root
        root.entries.append((rng.choice([4, 5, 7]), Data(classic_menu(rng, pool))))
    return root


def sort_entries(d):
    named = [e for e in d.entries if isinstance(e[0], tuple)]
    ids = [e for e in d.entries if not isinstance(e[0], tuple)]
    ids.sort(key=lambda e: e[0])
    d.entries = named + ids
    return len(named)


def serialize_tree(rng, root, base_rva, section_room_extra):
    """Returns (bytes, info) where info lists the offsets for mutations."""
    dirs = []
    queue = [root]
    while queue:
        d = queue.pop(0)
        dirs.append(d)
        for _, c in d.entries:
            if isinstance(c, Dir):
                queue.append(c)
    datas = []
    for d in dirs:
        for _, c in d.entries:
            if isinstance(c, Data):
                datas.append(c)
    names = []
    for d in dirs:
        for n, _ in d.entries:
            if isinstance(n, tuple):
                names.append(n)
    off = 0
    for d in dirs:
        d.off = off
        off += 16 + 8 * len(d.entries)
    name_off = {}

    def place_names(off):
        for n in names:
            if off % 2:
                off += 1
            name_off.setdefault(id(n), off)
            off += 2 + 2 * len(n)
        return off

    def place_data_entries(off):
        off = (off + 3) & ~3
        for de in datas:
            de.off = off
            off += 16
        return off

    if rng.random() < 0.7:
        off = place_names(off)
        off = place_data_entries(off)
    else:
        off = place_data_entries(off)
        off = place_names(off)
    align = rng.choice([4, 8, 16, 2, 1])
    for de in datas:
        off = (off + align - 1) & ~(align - 1)
        de.item_off = off
        off += len(de.data)
    buf = bytearray(off + section_room_extra)
    for d in dirs:
        named = sort_entries(d)
        struct.pack_into("<IIHHHH", buf, d.off, 0, 0, 4, 0, named, len(d.entries) - named)
        for k, (n, c) in enumerate(d.entries):
            nv = (0x80000000 | name_off[id(n)]) if isinstance(n, tuple) else n
            ov = (0x80000000 | c.off) if isinstance(c, Dir) else c.off
            struct.pack_into("<II", buf, d.off + 16 + 8 * k, nv, ov)
        for n, _ in d.entries:
            if isinstance(n, tuple):
                o = name_off[id(n)]
                struct.pack_into("<H", buf, o, len(n))
                buf[o + 2:o + 2 + 2 * len(n)] = enc(n)
    for de in datas:
        size = len(de.data)
        struct.pack_into("<IIII", buf, de.off, base_rva + de.item_off, size, 1252, 0)
        buf[de.item_off:de.item_off + size] = de.data
    return buf, dirs, datas


def mutate_tree(rng, buf, dirs, datas, base_rva):
    """Malformations: cycles, sharing, wild offsets, odd or huge sizes."""
    entry_slots = []
    for d in dirs:
        for k in range(len(d.entries)):
            entry_slots.append(d.off + 16 + 8 * k)
    for _ in range(rng.randint(1, 3)):
        r = rng.random()
        slot = rng.choice(entry_slots) if entry_slots else None
        if slot is None:
            break
        if r < 0.2:
            # subdirectory pointer to some directory (cycle or share)
            struct.pack_into("<I", buf, slot + 4, 0x80000000 | rng.choice(dirs).off)
        elif r < 0.35 and datas:
            struct.pack_into("<I", buf, slot + 4, rng.choice(datas).off)
        elif r < 0.45:
            struct.pack_into("<I", buf, slot + 4,
                             rng.choice([0x7FFFFFF8, 0xFFFFFFF0, len(buf) - 8,
                                         len(buf) + rng.randint(0, 64),
                                         rng.randint(0, len(buf))]))
        elif r < 0.55 and datas:
            de = rng.choice(datas)
            rva, size = struct.unpack_from("<II", buf, de.off)
            struct.pack_into("<I", buf, de.off + 4,
                             rng.choice([size + 1, max(0, size - 1), size + 7, 0,
                                         0xFFFFFFFF, size + 0x10000, size | 1]) & 0xFFFFFFFF)
        elif r < 0.65 and datas:
            de = rng.choice(datas)
            struct.pack_into("<I", buf, de.off,
                             rng.choice([0, base_rva - 0x100, base_rva + len(buf) - 2,
                                         base_rva + rng.randint(0, len(buf)),
                                         0xFFFFFF00, base_rva + len(buf) + 0x1000]) & 0xFFFFFFFF)
        elif r < 0.75:
            d = rng.choice(dirs)
            struct.pack_into("<H", buf, d.off + 12 + rng.choice([0, 2]),
                             rng.choice([len(d.entries) + 1, 0, 0xFFFF, 1]))
        elif r < 0.85:
            struct.pack_into("<I", buf, slot, 0x80000000 | rng.choice(
                [len(buf) - 1, len(buf) + 10, rng.randint(0, len(buf)), 0x7FFFFFFF]))
        else:
            # overlapping items
            if len(datas) >= 2:
                a, b = rng.sample(datas, 2)
                rva = struct.unpack_from("<I", buf, a.off)[0]
                struct.pack_into("<I", buf, b.off, (rva + rng.choice([0, 2, 1])) & 0xFFFFFFFF)


# ----------------------------------------------------------------------------
# PE image
# ----------------------------------------------------------------------------

def align_up(v, a):
    return (v + a - 1) // a * a if a else v


def build_image(rng, pool, mal):
    pe32plus = rng.random() < 0.5
    falign = rng.choice([0x200, 0x200, 0x200, 0x10, 0x20, 0x40, 0x80, 0x1000])
    salign = rng.choice([0x1000, 0x1000, 0x2000, max(falign, 0x200), falign, falign])
    if mal and rng.random() < 0.05:
        falign = rng.choice([0, 3, 0x300, 0x201])
    if mal and rng.random() < 0.05:
        salign = rng.choice([0, 0x1001, 0x3000])
    e_lfanew = rng.choice([0x40, 0x80, 0x80, 0xC8])
    soh = (240 if pe32plus else 224) + rng.choice([0, 0, 0, 8, 16])
    names = []
    before = rng.randint(0, 2)
    after = rng.randint(0, 2)
    pre_names = [b".text", b".rdata", b".data"][:before]
    post_kinds = []
    for _ in range(after):
        post_kinds.append(rng.choice(["reloc", "reloc", "debug", "data"]))
    sections = []   # dicts
    for n in pre_names:
        sections.append({"name": n, "kind": "pre"})
    sections.append({"name": b".rsrc", "kind": "rsrc"})
    for k in post_kinds:
        nm = {"reloc": b".reloc", "debug": b".debug", "data": b".data2"}[k]
        sections.append({"name": nm, "kind": k})
    nsec = len(sections)
    hdr_end = e_lfanew + 24 + soh + 40 * nsec
    size_of_headers = align_up(hdr_end, max(falign, 1) if ref.is_pow2(falign) else 0x200)

    tree = build_tree(rng, pool)
    va = align_up(size_of_headers, salign if ref.is_pow2(salign) else 0x1000)
    ptr = size_of_headers
    fa = falign if ref.is_pow2(falign) else 0x200
    sa = salign if ref.is_pow2(salign) else 0x1000
    tight = rng.random() < 0.15
    if tight:
        sections = [x for x in sections if x["kind"] != "rsrc"] + [
            x for x in sections if x["kind"] == "rsrc"]
    for s in sections:
        s["va"] = va
        s["ptr"] = ptr
        if s["kind"] == "rsrc":
            extra = 0 if tight else rng.choice([0, 0, 0, 16, 64, 0x400])
            content, dirs, datas = serialize_tree(rng, tree, va, extra)
            if tight and datas and rng.random() < 0.6:
                last = max(datas, key=lambda x: x.item_off)
                size = struct.unpack_from("<I", content, last.off + 4)[0]
                cut = rng.choice([1, 1, 2, 3])
                struct.pack_into("<I", content, last.off + 4, size - 1 if size else 1)
                if rng.random() < 0.5:
                    del content[len(content) - cut:]
            if mal and rng.random() < 0.5:
                mutate_tree(rng, content, dirs, datas, va)
            if mal and rng.random() < 0.25:
                for _ in range(rng.randint(1, 4)):
                    k = rng.randrange(len(content))
                    content[k] = rng.choice([0, 0xFF, rng.randint(0, 255), content[k] ^ 1])
            s["content"] = content
        else:
            s["content"] = bytearray(rng.randint(0, 255) for _ in range(rng.randint(8, 300)))
        clen = len(s["content"])
        raw = align_up(clen, fa)
        if s["kind"] == "rsrc" and s is sections[-1] and tight:
            raw = clen
        if rng.random() < 0.2:
            raw += fa
        r = rng.random()
        if r < 0.6:
            vs = clen
        elif r < 0.8:
            vs = raw
        elif r < 0.9:
            vs = raw + rng.randint(0, 0x800)
        else:
            vs = 0 if s["kind"] != "rsrc" else clen
        s["raw"] = raw
        s["vs"] = vs
        s["ch"] = {"pre": 0x40000040, "rsrc": 0x40000040, "reloc": 0x42000040,
                   "debug": 0x42000040, "data": 0xC0000040}[s["kind"]]
        if rng.random() < 0.1:
            s["ch"] ^= 0x02000000
        va = align_up(va + max(vs, raw if vs == 0 else vs), sa)
        if rng.random() < 0.25:
            va += sa * rng.randint(1, 2)
        ptr = ptr + raw
    total = ptr
    if rng.random() < 0.1 and len(sections) > 1:
        vas = [x["va"] for x in sections]
        rng.shuffle(vas)
        for x, v in zip(sections, vas):
            x["va"] = v
    overlay = b""
    if not tight and rng.random() < 0.3:
        overlay = bytes(rng.randint(0, 255) for _ in range(rng.randint(1, 64)))
    img = bytearray(total + len(overlay))
    img[0:2] = b"MZ"
    struct.pack_into("<i", img, 0x3C, e_lfanew)
    e = e_lfanew
    img[e:e + 4] = b"PE\0\0"
    sym_ptr = 0
    if overlay and rng.random() < 0.5:
        sym_ptr = total + rng.randint(0, len(overlay) - 1)
    elif rng.random() < 0.1:
        sym_ptr = rng.randint(1, total)
    struct.pack_into("<HHIIIHH", img, e + 4, 0x8664 if pe32plus else 0x14C, nsec,
                     0, sym_ptr, 0, soh, 0x102)
    opt = e + 24
    struct.pack_into("<H", img, opt, 0x20B if pe32plus else 0x10B)
    struct.pack_into("<I", img, opt + 32, salign)
    struct.pack_into("<I", img, opt + 36, falign)
    soi = align_up(max(s["va"] + max(s["vs"], 1) for s in sections), sa)
    if rng.random() < 0.15:
        soi = rng.choice([soi - sa, soi + sa, 0])
    struct.pack_into("<I", img, opt + 56, soi & 0xFFFFFFFF)
    struct.pack_into("<I", img, opt + 60, size_of_headers)
    if rng.random() < 0.4:
        struct.pack_into("<I", img, opt + 64, rng.randint(1, 0xFFFFFFFF))
    dd = opt + (112 if pe32plus else 96)
    nrva = 16 if rng.random() < 0.9 else rng.randint(0, 16)
    struct.pack_into("<I", img, opt + (108 if pe32plus else 92), nrva)
    rs = [s for s in sections if s["kind"] == "rsrc"][0]

    def set_dd(k, rva, size):
        struct.pack_into("<II", img, dd + 8 * k, rva, size)

    set_dd(2, rs["va"], rs["vs"])
    for s in sections:
        if s["kind"] == "reloc":
            set_dd(5, s["va"], max(1, min(s["vs"], len(s["content"]))))
        if s["kind"] == "pre" and rng.random() < 0.5:
            set_dd(rng.choice([1, 3, 10, 12]), s["va"] + 4, 8)
        if s["kind"] in ("debug", "data") and rng.random() < 0.5:
            set_dd(rng.choice([1, 9, 11]), s["va"] + rng.randint(0, 8), 8)
    if overlay and rng.random() < 0.6:
        set_dd(4, total, len(overlay))
    # debug directory in one section (not the resource section)
    hosts = [s for s in sections if s["kind"] != "rsrc" and len(s["content"]) >= 60]
    if hosts and rng.random() < 0.4:
        host = rng.choice(hosts)
        n = min(rng.randint(1, 3), len(host["content"]) // 28)
        off = rng.randint(0, (len(host["content"]) - 28 * n)) & ~3
        for i in range(n):
            tgt = rng.choice(sections)
            toff = rng.randint(0, max(0, len(tgt["content"]) - 1))
            ard = tgt["va"] + toff if rng.random() < 0.85 else 0
            prd = tgt["ptr"] + toff
            struct.pack_into("<IIHHIIII", host["content"], off + 28 * i, 0, 0, 0, 0,
                             2, 16, ard, prd)
        set_dd(6, host["va"] + off, 28 * n)
    for k, s in enumerate(sections):
        h = opt + soh + 40 * k
        name = s["name"]
        if s["kind"] == "rsrc" and rng.random() < 0.1:
            name = b".rsrc\0xy"
        img[h:h + 8] = name.ljust(8, b"\0")
        struct.pack_into("<IIII", img, h + 8, s["vs"], s["va"], s["raw"], s["ptr"])
        struct.pack_into("<I", img, h + 36, s["ch"])
        img[s["ptr"]:s["ptr"] + len(s["content"])] = s["content"]
    img[total:] = overlay
    if mal:
        r = rng.random()
        if r < 0.15:
            img = img[:rng.randint(0, len(img))]
        elif r < 0.3:
            img += bytes(rng.randint(1, 3))
        elif r < 0.4:
            # a header field gone wild
            fld = rng.choice([("e", 0x3C, "<i"), ("soh", e + 20, "<H"),
                              ("nsec", e + 6, "<H"), ("magic", opt, "<H"),
                              ("ptr", opt + soh + 40 * sections.index(rs) + 20, "<I"),
                              ("raw", opt + soh + 40 * sections.index(rs) + 16, "<I"),
                              ("va", opt + soh + 40 * sections.index(rs) + 12, "<I")])
            _, off, fmt = fld
            val = rng.choice([0, 1, 0xFFFF, 223, 224, 239, 240, -1 if fmt == "<i" else 0x7F,
                              len(img), len(img) - 8, 0x10B, 0x20B])
            try:
                struct.pack_into(fmt, img, off, val)
            except struct.error:
                pass
        elif r < 0.45:
            # odd-sized item at the very end of the file
            img = img[:len(img) - rng.randint(1, 5)]
    return bytes(img)


# ----------------------------------------------------------------------------
# List
# ----------------------------------------------------------------------------

def build_list(rng, pool):
    lines = []
    everything = rng.random() < 0.3
    todo = list(pool) if everything else []
    rng.shuffle(todo)
    for _ in range(len(todo) if everything else rng.randint(0, 8)):
        r = rng.random()
        if todo:
            f = todo.pop()
        elif r < 0.45:
            f = pick_text(rng, pool)
        elif r < 0.65:
            t = pick_text(rng, pool)
            f = t[rng.randint(0, max(0, len(t) - 2)):]
        elif r < 0.75:
            t = pick_text(rng, pool)
            f = t[:max(2, len(t) - 1)]
        else:
            f = rand_text(rng, 1, 6)
        rr = rng.random()
        if rr < 0.08:
            rep = rand_text(rng, 1, 1)
        elif rr < 0.5:
            rep = rand_text(rng, max(2, len(f) - 2), len(f) + 2)
        else:
            rep = rand_text(rng, 2, 30)
        if rng.random() < 0.1:
            lines.append(())
        if rng.random() < 0.05:
            lines.append(rand_text(rng, 1, 1))
        lines.append(f)
        lines.append(rep)
    if rng.random() < 0.1:
        lines.append(pick_text(rng, pool))
    units = [0xFEFF]
    final_break = rng.random() < 0.7
    for i, ln in enumerate(lines):
        units.extend(ln)
        if i < len(lines) - 1 or final_break:
            units.extend(rng.choice([(0x0D, 0x0A), (0x0D, 0x0A), (0x0A,), (0x0D,)]))
    if rng.random() < 0.03:
        units = units[1:]
    be = rng.random() < 0.25
    data = struct.pack((">" if be else "<") + "%dH" % len(units), *units)
    if rng.random() < 0.1:
        data += bytes([rng.randint(0, 255)])
    if rng.random() < 0.02:
        data = data[:rng.randint(0, 3)]
    return data


# ----------------------------------------------------------------------------
# Running
# ----------------------------------------------------------------------------

def gen_case(seed):
    rng = random.Random(seed)
    pool = make_pool(rng)
    mal = rng.random() < 0.35
    image = build_image(rng, pool, mal)
    lst = build_list(rng, pool)
    return lst, image


def run_tool(binary, lst, image):
    tmp = tempfile.mkdtemp(prefix="uitrans-diff-")
    try:
        with open(os.path.join(tmp, "list.txt"), "wb") as f:
            f.write(lst)
        with open(os.path.join(tmp, "app.exe"), "wb") as f:
            f.write(image)
        p = subprocess.run([binary, "list.txt", "app.exe"], cwd=tmp,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        files = {}
        for n in os.listdir(tmp):
            with open(os.path.join(tmp, n), "rb") as f:
                files[n] = f.read()
        return p.stdout, p.stderr, p.returncode, files
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def expected_files(lst, image, res, list_ok):
    files = {"list.txt": lst}
    if not list_ok:
        files["app.exe"] = image
        return files
    if res.output is None:
        files["app.exe"] = image
    else:
        files["app.exe"] = res.output
        files["app.exe.old"] = image
    if res.reached_rebuild:
        files["out.txt"] = b"\xff\xfe"
    return files


def first_diff(a, b):
    for i in range(min(len(a), len(b))):
        if a[i] != b[i]:
            return i
    return min(len(a), len(b))


def check_case(binary, seed):
    lst, image = gen_case(seed)
    out, status, res = ref.run_list_and_image(lst, image, "app.exe")
    list_ok = res is not None
    exp = expected_files(lst, image, res, list_ok)
    got_out, got_err, got_status, got_files = run_tool(binary, lst, image)
    problems = []
    if got_out != out.encode("latin-1"):
        problems.append("stdout: expected %r, got %r" % (out, got_out.decode("latin-1")))
    if got_err:
        problems.append("stderr not empty: %r" % got_err[:200])
    if got_status != status:
        problems.append("exit: expected %d, got %d" % (status, got_status))
    for n in sorted(set(exp) | set(got_files)):
        if n not in got_files:
            problems.append("file %s missing" % n)
        elif n not in exp:
            problems.append("unexpected file %s" % n)
        elif exp[n] != got_files[n]:
            i = first_diff(exp[n], got_files[n])
            problems.append("file %s differs: sizes %d/%d, first difference at 0x%x"
                            " (expected %s, got %s)" % (
                                n, len(exp[n]), len(got_files[n]), i,
                                exp[n][i:i + 8].hex(), got_files[n][i:i + 8].hex()))
    if not list_ok:
        kind = "list-rejected"
    elif res.output is not None:
        kind = "grown" if "Warning" in out else "in-place"
    else:
        kind = {"not a valid": "invalid", "no resource": "no-rsrc",
                "No strings": "nothing", "Can't grow": "refused",
                "too big": "too-big"}.get(
            next((k for k in ("not a valid", "no resource", "No strings",
                              "Can't grow", "too big") if k in out), ""), "other")
    return problems, (lst, image, exp, got_files, out, got_out), kind


def save_case(save_dir, seed, problems, blob):
    lst, image, exp, got, out, got_out = blob
    d = os.path.join(save_dir, "case-%d" % seed)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "list.txt"), "wb") as f:
        f.write(lst)
    with open(os.path.join(d, "app.exe"), "wb") as f:
        f.write(image)
    if "app.exe" in exp:
        with open(os.path.join(d, "expected.app.exe"), "wb") as f:
            f.write(exp["app.exe"])
    if "app.exe" in got:
        with open(os.path.join(d, "actual.app.exe"), "wb") as f:
            f.write(got["app.exe"])
    with open(os.path.join(d, "report.txt"), "w") as f:
        f.write("seed %d\nexpected stdout: %r\nactual stdout:   %r\n" % (
            seed, out, got_out.decode("latin-1")))
        for p in problems:
            f.write(p + "\n")
    return d


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--binary", default=os.path.join(here, "..", "build", "src", "uitrans"))
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--cases", type=int, default=200)
    ap.add_argument("--save-dir", default="diff-cases")
    ap.add_argument("--max-save", type=int, default=50)
    ap.add_argument("--quiet", action="store_true")
    args = ap.parse_args()
    binary = os.path.abspath(args.binary)
    failures = 0
    kinds = {}
    saved = 0
    for n in range(args.cases):
        seed = args.seed * 1000003 + n
        try:
            problems, blob, kind = check_case(binary, seed)
        except subprocess.TimeoutExpired:
            problems, blob, kind = ["timeout"], None, "timeout"
        kinds[kind] = kinds.get(kind, 0) + 1
        if problems:
            failures += 1
            where = ""
            if blob is not None and saved < args.max_save:
                where = save_case(args.save_dir, seed, problems, blob)
                saved += 1
            if not args.quiet:
                print("FAIL seed %d %s" % (seed, where))
                for p in problems:
                    print("   ", p)
    print("%d cases, %d failures; outcomes: %s" % (
        args.cases, failures,
        ", ".join("%s=%d" % kv for kv in sorted(kinds.items()))))
    if not args.quiet:
        print("model paths: " + ", ".join("%s=%d" % kv for kv in sorted(ref.STATS.items())))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
