#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Executable reference of what uitrans does with one executable.

Standard library only.  Given the bytes of a replacement list and the bytes of
one executable, the model computes the text uitrans prints for that executable
and the bytes it must leave under the executable's name (or None when the file
must stay untouched).  It is written from the tool's documented behaviour, not
from its sources, and is used by differential_check.py.

Public entry points:
    parse_list(data)                      -> list of (find, repl) unit tuples,
                                             sorted longest find first, or None
                                             when the list has no byte-order mark
    run_model(list_bytes, image, name)    -> ModelResult
    run_list_and_image(list_bytes, image, name) -> (stdout, exit, ModelResult|None)

Usage as a command: reference_model.py LIST EXE  (prints the expected stdout
and writes EXE.expected when an output is produced).
"""

import struct
import sys

MAX_IMAGE = 524288000

MSG_NOT_UNICODE = "Not a unicode input file.\n"
MSG_TOO_BIG = "%s too big.\n"
MSG_INVALID = "%s is not a valid win32 executeable.\n"
MSG_NO_RSRC = "%s has no resource section.\n"
MSG_NOTHING = "No strings found to replace in %s.\n"
MSG_REPLACED = "%i strings replaced in %s.\n"
MSG_WARNING = " Warning: %s string tables resized -\n\tstill experimental, could cause corruption.\n"
MSG_CANT_GROW = "Can't grow the resource section of %s.\n"

RT_MENU = 4
RT_DIALOG = 5
HEADROOM = 102400


STATS = {}


def note(what):
    """Counts interesting paths (coverage figures for the differential check)."""
    STATS[what] = STATS.get(what, 0) + 1


class Invalid(Exception):
    """The image is not a valid win32 executable (message 7)."""


# ----------------------------------------------------------------------------
# Replacement list
# ----------------------------------------------------------------------------

def parse_list(data):
    size = len(data)
    buf = bytearray(data) + bytearray(5)
    if size >= 2 and buf[0] == 0xFE and buf[1] == 0xFF:
        for i in range(0, size, 2):
            buf[i], buf[i + 1] = buf[i + 1], buf[i]
    if size < 2 or (buf[0] | (buf[1] << 8)) != 0xFEFF:
        return None
    if size & 1:
        size += 1
    n = size // 2
    units = list(struct.unpack("<%dH" % n, bytes(buf[:size]))) + [0x000A, 0x0000]

    def line_len(i):
        j = i
        while units[j] not in (0x0A, 0x0D, 0):
            j += 1
        return j - i

    entries = []
    idx = 1
    while idx < n:
        flen = line_len(idx)
        if flen < 2:
            idx += flen + 1
            continue
        term = units[idx + flen]
        units[idx + flen] = 0
        r = idx + flen + 1
        if term == 0x0D and units[r] == 0x0A:
            r += 1
        if r >= n:
            break
        rlen = line_len(r)
        if rlen < 2:
            idx = r + rlen + 1
            continue
        units[r + rlen] = 0
        entries.append((tuple(units[idx:idx + flen]), tuple(units[r:r + rlen])))
        idx = r + rlen + 1
    # stable: longest find text first, equal lengths in file order
    entries.sort(key=lambda e: -len(e[0]))
    return entries


class Table:
    def __init__(self, entries):
        self.entries = entries
        self.by_text = {}
        for f, r in entries:
            self.by_text.setdefault(f, r)
        self.maxlen = max((len(f) for f, _ in entries), default=0)


# ----------------------------------------------------------------------------
# Bounds-checked image access
# ----------------------------------------------------------------------------

def rd16(img, off):
    if off < 0 or off + 2 > len(img):
        raise Invalid()
    return img[off] | (img[off + 1] << 8)


def rd32(img, off):
    if off < 0 or off + 4 > len(img):
        raise Invalid()
    return struct.unpack_from("<I", img, off)[0]


def wr32(img, off, v):
    struct.pack_into("<I", img, off, v & 0xFFFFFFFF)


def opt16(img, off):
    """Header read that yields None outside the buffer."""
    if off < 0 or off + 2 > len(img):
        return None
    return img[off] | (img[off + 1] << 8)


def opt32(img, off):
    if off < 0 or off + 4 > len(img):
        return None
    return struct.unpack_from("<I", img, off)[0]


def lookup(img, table, pos, room=None):
    """Whole-text lookup at byte offset pos; reaching the buffer end is no match."""
    if table.maxlen == 0:
        return None
    text = []
    p = pos
    n = len(img)
    while True:
        if p < 0 or p + 2 > n:
            note("lookup-reached-end")
            return None
        u = img[p] | (img[p + 1] << 8)
        if u == 0:
            break
        text.append(u)
        if len(text) > table.maxlen:
            return None
        p += 2
    key = tuple(text)
    rep = table.by_text.get(key)
    if rep is None:
        return None
    if room is not None and len(key) + 1 > room:
        return None
    return key, rep


# ----------------------------------------------------------------------------
# Header information
# ----------------------------------------------------------------------------

class Image:
    pass


def validate(img):
    size = len(img)
    if size < 64:
        raise Invalid()
    e = struct.unpack_from("<i", img, 0x3C)[0]
    if e < 0:
        raise Invalid()
    if e + 24 > size:
        raise Invalid()
    if bytes(img[e:e + 4]) != b"PE\0\0":
        raise Invalid()
    soh = rd16(img, e + 20)
    if soh == 0:
        raise Invalid()
    if e + 24 + soh > size:
        raise Invalid()
    magic = opt16(img, e + 24)
    if not ((magic == 0x10B and soh >= 224) or (magic == 0x20B and soh >= 240)):
        raise Invalid()
    nsec = rd16(img, e + 6)
    if e + 24 + soh + 40 * nsec > size:
        raise Invalid()
    info = Image()
    info.e = e
    info.opt = e + 24
    info.soh = soh
    info.pe32plus = magic == 0x20B
    info.nsec = nsec
    info.sect = e + 24 + soh
    info.falign = rd32(img, info.opt + 36)
    info.dd = info.opt + (112 if info.pe32plus else 96)
    info.nrva_off = info.opt + (108 if info.pe32plus else 92)
    info.rsrc = None
    for k in range(nsec):
        h = info.sect + 40 * k
        if bytes(img[h:h + 6]) == b".rsrc\0":
            info.rsrc = h
            break
    return info


def sec_fields(img, h):
    vs, va, raw, ptr = struct.unpack_from("<IIII", img, h + 8)
    ch = struct.unpack_from("<I", img, h + 36)[0]
    return vs, va, raw, ptr, ch


def dd_present(img, info, k):
    nrva = opt32(img, info.nrva_off)
    if nrva is None or k >= nrva:
        return False
    return info.dd + 8 * (k + 1) <= info.opt + info.soh


def align_up(v, a):
    return (v + a - 1) & ~(a - 1)


def is_pow2(v):
    return v != 0 and (v & (v - 1)) == 0


def pe_checksum(data):
    """Standard PE checksum of data whose CheckSum field is already zero."""
    n = len(data)
    buf = bytes(data) + (b"\0" if n & 1 else b"")
    total = 0
    for w in struct.unpack("<%dH" % (len(buf) // 2), buf):
        total += w
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + n) & 0xFFFFFFFF


# ----------------------------------------------------------------------------
# Rebuild
# ----------------------------------------------------------------------------

class Rebuild:
    def __init__(self, img, info, table):
        self.img = img
        self.info = info
        self.table = table
        self.count = 0
        self.out = bytearray()
        self.used = 0

    # -- measure ------------------------------------------------------------
    def measure(self):
        img = self.img
        root = self.root
        end = 0
        seen = set()
        stack = [0]
        while stack:
            node = stack.pop()
            if node in seen:
                continue
            seen.add(node)
            base = root + node
            named = rd16(img, base + 12)
            ids = rd16(img, base + 14)
            rd32(img, base + 12)  # whole table inside
            if base + 16 > len(img):
                raise Invalid()
            end = max(end, node + 16)
            cnt = named + ids
            if cnt:
                if base + 16 + 8 * cnt > len(img):
                    raise Invalid()
                end = max(end, node + 16 + 8 * cnt)
            subs = []
            for k in range(cnt):
                name, otd = struct.unpack_from("<II", img, base + 16 + 8 * k)
                if k < named:
                    nm = name & 0x7FFFFFFF
                    length = rd16(img, root + nm)
                    end = max(end, nm + 2 * length + 4)
                if otd & 0x80000000:
                    subs.append(otd & 0x7FFFFFFF)
                else:
                    v = (otd & 0x7FFFFFFF) + 16
                    if v >= 0x80000000:
                        v -= 0x100000000
                    end = max(end, v)
            stack.extend(reversed(subs))
        return end

    # -- walk ---------------------------------------------------------------
    def walk(self):
        img = self.img
        root = self.root
        seen_dirs = {0}
        seen_data = set()
        cur_type = None
        def open_dir(node, depth):
            # the entry counts are read once, when the directory is entered
            base = root + node
            if base + 16 > len(img):
                raise Invalid()
            cnt = rd16(img, base + 12) + rd16(img, base + 14)
            if base + 16 + 8 * cnt > len(img):
                raise Invalid()
            return [node, 0, depth, cnt]

        # stack of [node, next entry index, depth, entry count]
        stack = [open_dir(0, 1)]
        while stack:
            top = stack[-1]
            node, k, depth, cnt = top
            base = root + node
            if k >= cnt:
                stack.pop()
                continue
            top[1] = k + 1
            name, otd = struct.unpack_from("<II", img, base + 16 + 8 * k)
            if depth == 1:
                cur_type = name
            if otd & 0x80000000:
                sub = otd & 0x7FFFFFFF
                if sub in seen_dirs:
                    note("dir-seen-again")
                    continue
                seen_dirs.add(sub)
                stack.append(open_dir(sub, depth + 1))
                continue
            de = otd
            if de in seen_data:
                note("data-entry-seen-again")
                continue
            seen_data.add(de)
            self.data_entry(root + de, cur_type)

    def data_entry(self, off, cur_type):
        img = self.img
        info = self.info
        if off + 16 > len(img):
            raise Invalid()
        r, s = struct.unpack_from("<II", img, off)
        wr32(img, off, self.va + self.prefix + self.used)
        src = self.ptr - self.va + r
        start = self.used
        if cur_type == RT_MENU:
            units = (s + 1) // 2
            if src < 0 or src + 2 * units > len(img):
                raise Invalid()
            data = self.rewrite_menu(src, units)
        elif cur_type == RT_DIALOG:
            if src < 0 or src + s > len(img):
                raise Invalid()
            data = self.rewrite_dialog(src, (s + 1) // 2)
        else:
            if src < 0 or src + s > len(img):
                raise Invalid()
            data = bytes(img[src:src + s])
        newsize = len(data)
        wr32(img, off + 4, newsize)
        self.out += data
        self.used = start + align_up(newsize, 16)
        self.out += bytes(self.used - len(self.out))

    def rewrite_menu(self, src, units):
        img = self.img
        table = self.table
        out = []
        ext = units >= 1 and rd16(img, src) == 1
        i = 0
        while i < units:
            hit = lookup(img, table, src + 2 * i)
            if hit:
                f, rep = hit
                out.extend(rep)
                out.append(0)
                i += len(f) + 1
                self.count += 1
                if ext and (len(out) - i) % 2 == 1:
                    if i % 2 == 1 and i < units and rd16(img, src + 2 * i) == 0:
                        note("extmenu-skip-pad")
                        i += 1
                    else:
                        note("extmenu-add-pad")
                        out.append(0)
            else:
                out.append(rd16(img, src + 2 * i))
                i += 1
        return struct.pack("<%dH" % len(out), *out)

    def rewrite_dialog(self, src, units):
        img = self.img
        table = self.table
        out = []
        st = {"s": 0}

        def u(pos):
            return rd16(img, src + 2 * pos)

        def copy(n):
            for _ in range(n):
                out.append(u(st["s"]))
                st["s"] += 1

        def plain_text():
            while True:
                v = u(st["s"])
                out.append(v)
                st["s"] += 1
                if v == 0:
                    break

        def text_lookup():
            hit = lookup(img, table, src + 2 * st["s"])
            if hit:
                f, rep = hit
                out.extend(rep)
                out.append(0)
                st["s"] += len(f) + 1
                self.count += 1
            else:
                plain_text()

        def ord_or(fn):
            if u(st["s"]) == 0xFFFF:
                copy(2)
            else:
                fn()

        ext = u(1) == 0xFFFF
        if ext:
            fixed, ccount_off, style_off = 13, 16, 12
        else:
            fixed, ccount_off, style_off = 9, 8, 0
        count = rd16(img, src + ccount_off)
        style = img[src + style_off] if src + style_off < len(img) else None
        if style is None:
            raise Invalid()
        font = (style & 0x40) != 0
        copy(fixed)
        ord_or(plain_text)            # menu
        ord_or(plain_text)            # class
        text_lookup()                 # title
        if font:
            pt = u(st["s"])
            copy(1)
            note("font-7fff" if pt == 0x7FFF else "font")
            if pt != 0x7FFF:
                if ext:
                    copy(2)
                text_lookup()
        if st["s"] >= units:
            return struct.pack("<%dH" % len(out), *out)
        m = 0
        while m < count:
            if st["s"] & 1:
                st["s"] += 1
            if len(out) & 1:
                out.append(0)
            copy(12 if ext else 9)
            ord_or(plain_text)        # class
            ord_or(text_lookup)       # title
            w = u(st["s"])
            st["s"] += 1
            cpos = len(out)
            out.append(0)
            if (not ext and w <= 2) or (ext and w == 0):
                c = w
            else:
                n = (w + 1) // 2 - (0 if ext else 1)
                c = 0 if ext else 2
                while n > 0:
                    hit = lookup(img, table, src + 2 * st["s"], room=n)
                    if hit:
                        note("creation-data-hit")
                        f, rep = hit
                        out.extend(rep)
                        out.append(0)
                        st["s"] += len(f) + 1
                        self.count += 1
                        n -= len(f) + 1
                        c += 2 * len(rep) + 2
                    else:
                        copy(1)
                        n -= 1
                        c += 2
                if w & 1:
                    c -= 1
            if c != w:
                note("creation-count-changed")
            out[cpos] = c & 0xFFFF
            m += 1
            if st["s"] >= units:
                break
        return struct.pack("<%dH" % len(out), *out)

    def run(self):
        img = self.img
        info = self.info
        h = info.rsrc
        vs, va, raw, ptr, ch = sec_fields(img, h)
        self.va = va
        self.ptr = ptr
        self.root = ptr
        end = self.measure()
        self.prefix = align_up(end, 16)
        if ptr + self.prefix > len(img):
            raise Invalid()
        self.walk()
        if len(self.out) > 2 * len(img) + 64 * 1024 * 1024:
            raise Invalid()


# ----------------------------------------------------------------------------
# Output
# ----------------------------------------------------------------------------

class CantGrow(Exception):
    pass


# Policy knobs for readings the rules leave open (kept explicit so a
# discrepancy can be traced to one reading).
SIZEOFIMAGE_WHEN = "vs_changed_or_grown"   # or "vs_changed", "always"
def extent(vs, raw):
    """A section's extent in memory: VirtualSize, or the raw size when it is 0."""
    return vs if vs else raw


def rva_to_file(img, info, rva):
    """File offset of an RVA through the first section whose extent holds it;
    None when that is the resource section or the RVA is past its raw data."""
    for k in range(info.nsec):
        h = info.sect + 40 * k
        vs, va, raw, ptr, ch = sec_fields(img, h)
        if va <= rva < va + extent(vs, raw):
            if h == info.rsrc or rva - va >= raw:
                return None
            return ptr + (rva - va)
    return None


def produce_output(img, info, rb):
    """Patches headers and returns the bytes written, plus whether it grew."""
    h = info.rsrc
    vs, va, raw, ptr, ch = sec_fields(img, h)
    a = info.falign
    prefix, used = rb.prefix, rb.used
    R = align_up(prefix + used, a) & 0xFFFFFFFF
    grown = R > raw
    sa = opt32(img, info.opt + 32)

    vs_changed = False
    if grown:
        if vs < R:
            vs_changed = True
    else:
        if prefix + used > vs:
            vs_changed = True

    moved = []        # headers of sections moved in the address space
    shift = 0
    old_secs = {}
    for k in range(info.nsec):
        hh = info.sect + 40 * k
        old_secs[hh] = sec_fields(img, hh)
    note("grown" if grown else "in-place")
    if vs_changed:
        note("vs-changed")
        if not is_pow2(sa):
            raise CantGrow()
        new_end = va + align_up(R, sa)
        following = [hh for hh in old_secs if old_secs[hh][1] > va]
        if following:
            lowest = min(old_secs[hh][1] for hh in following)
            if new_end > lowest:
                if all(old_secs[hh][4] & 0x02000000 for hh in following):
                    shift = align_up(new_end - lowest, sa)
                    note("va-shift")
                    moved = following
                else:
                    raise CantGrow()

    old_end = ptr + raw
    delta = R - raw
    # debug directory location (mapped with the old headers)
    dbg = None
    if dd_present(img, info, 6):
        drva, dsize = struct.unpack_from("<II", img, info.dd + 48)
        if dsize:
            fo = rva_to_file(img, info, drva)
            if fo is not None:
                dbg = (fo, dsize // 28)
    # Entries the patches below walk must all lie in the file, or the image
    # would be left with some offsets moved and others stale.
    if dbg and (moved or grown):
        fo, n = dbg
        if n and fo != 0 and fo + 28 * n > len(img):
            note("debug-outside")
            raise CantGrow()

    # --- from here on the image is patched ---

    def in_moved(rva):
        for hh in moved:
            ovs, ova, oraw = old_secs[hh][0], old_secs[hh][1], old_secs[hh][2]
            if ova <= rva < ova + extent(ovs, oraw):
                return True
        return False

    if vs_changed:
        wr32(img, h + 8, R)
        # Only when the data directory array holds the resource entry.
        if dd_present(img, info, 2):
            wr32(img, info.dd + 20, R)
    if moved:
        for k in range(16):
            if k == 4 or not dd_present(img, info, k):
                continue
            rva = struct.unpack_from("<I", img, info.dd + 8 * k)[0]
            if in_moved(rva):
                wr32(img, info.dd + 8 * k, rva + shift)
        if dbg:
            fo, n = dbg
            for i in range(n):
                e = fo + 28 * i
                if e < 0 or e + 28 > len(img):
                    break
                ard = struct.unpack_from("<I", img, e + 20)[0]
                if in_moved(ard):
                    note("debug-ard-shift")
                    wr32(img, e + 20, ard + shift)
        for hh in moved:
            wr32(img, hh + 12, old_secs[hh][1] + shift)
    if grown:
        wr32(img, h + 16, R)
        for hh, f in old_secs.items():
            if f[3] > ptr:
                wr32(img, hh + 20, f[3] + delta)
        if dd_present(img, info, 4):
            cert = struct.unpack_from("<I", img, info.dd + 32)[0]
            if cert >= old_end:
                note("cert-move")
                wr32(img, info.dd + 32, cert + delta)
        pst = struct.unpack_from("<I", img, info.e + 12)[0]
        if pst >= old_end:
            note("symtab-move")
            wr32(img, info.e + 12, pst + delta)
        if dbg:
            fo, n = dbg
            for i in range(n):
                e = fo + 28 * i
                if e < 0 or e + 28 > len(img):
                    break
                prd = struct.unpack_from("<I", img, e + 24)[0]
                if prd >= old_end:
                    note("debug-prd-move")
                    wr32(img, e + 24, prd + delta)
    apply_soi = (SIZEOFIMAGE_WHEN == "always" or vs_changed or
                 (SIZEOFIMAGE_WHEN == "vs_changed_or_grown" and grown))
    if apply_soi and is_pow2(sa):
        top = 0
        for k in range(info.nsec):
            hh = info.sect + 40 * k
            f = sec_fields(img, hh)
            top = max(top, f[1] + f[0])
        soi = struct.unpack_from("<I", img, info.opt + 56)[0]
        needed = align_up(top, sa)
        if soi < needed <= 0xFFFFFFFF:
            wr32(img, info.opt + 56, needed)

    data = bytes(rb.out[:used])
    if not grown:
        img[ptr + prefix:ptr + prefix + used] = data
        img[ptr + prefix + used:ptr + R] = bytes(R - prefix - used)
        result = bytearray(img)
    else:
        result = bytearray(img[:ptr + prefix]) + data + bytes(R - prefix - used)
        if old_end < len(img):
            result += img[old_end:]
    csum_off = info.opt + 64
    if struct.unpack_from("<I", img, csum_off)[0] != 0:
        wr32(result, csum_off, 0)
        wr32(result, csum_off, pe_checksum(result))
    return bytes(result), grown


# ----------------------------------------------------------------------------
# One executable
# ----------------------------------------------------------------------------

class ModelResult:
    def __init__(self):
        self.stdout = ""
        self.output = None          # bytes written under the name, or None
        self.reached_rebuild = False
        self.count = 0


def run_model(table, image, name="app.exe"):
    res = ModelResult()
    if len(image) > MAX_IMAGE:
        res.stdout = MSG_TOO_BIG % name
        return res
    img = bytearray(image)
    try:
        info = validate(img)
    except Invalid:
        res.stdout = MSG_INVALID % name
        return res
    if info.rsrc is None:
        res.stdout = MSG_NO_RSRC % name
        return res
    vs, va, raw, ptr, ch = sec_fields(img, info.rsrc)
    if ptr + raw > len(img) or not is_pow2(info.falign):
        res.stdout = MSG_INVALID % name
        return res
    res.reached_rebuild = True
    rb = Rebuild(img, info, table)
    try:
        rb.run()
    except Invalid:
        res.stdout = MSG_INVALID % name
        return res
    if rb.count == 0:
        res.stdout = MSG_NOTHING % name
        return res
    res.count = rb.count
    try:
        out, grown = produce_output(img, info, rb)
    except CantGrow:
        res.stdout = MSG_CANT_GROW % name
        return res
    res.stdout = MSG_REPLACED % (rb.count, name)
    if grown:
        res.stdout += MSG_WARNING % name
    res.output = out
    return res


def run_list_and_image(list_bytes, image, name="app.exe"):
    """Whole run with one executable: (stdout, exit status, ModelResult or None)."""
    entries = parse_list(list_bytes)
    if entries is None:
        return MSG_NOT_UNICODE, 0, None
    res = run_model(Table(entries), image, name)
    return res.stdout, 0, res


def main(argv):
    if len(argv) != 3:
        print("usage: reference_model.py LIST EXE", file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        lst = f.read()
    with open(argv[2], "rb") as f:
        img = f.read()
    out, status, res = run_list_and_image(lst, img, argv[2])
    sys.stdout.write(out)
    if res is not None and res.output is not None:
        with open(argv[2] + ".expected", "wb") as f:
            f.write(res.output)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
