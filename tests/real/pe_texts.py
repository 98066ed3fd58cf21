#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Texts of the menus and dialogs of a PE file, for the real-world smoke run.

  pe_texts.py list PE LIST [--strings]
        write a list file translating every menu and dialog text of PE
        (ASCII letters swap case, so the texts keep their lengths, but not
        in placeholders such as %s or %1); with
        --strings, every string of its string tables too
  pe_texts.py expect LIST FILE [--strings]
        print the probe printout FILE as it must read after PE was translated
        with LIST; with --strings, string tables translated too

The resource reader follows the published PE and template layouts and is
independent of the tool's sources.
"""
import re
import struct
import sys

RT_MENU, RT_DIALOG, RT_STRING = 4, 5, 6


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def read_text(data, offset):
    """A zero-terminated UTF-16 text: (text, offset behind its terminator)."""
    end = offset
    while end + 1 < len(data) and u16(data, end) != 0:
        end += 2
    return data[offset:end].decode("utf-16-le", "replace"), end + 2


def resource_items(image):
    """(type id, item bytes) for every data entry of the .rsrc section."""
    nt = struct.unpack_from("<i", image, 0x3C)[0]
    count, optional_size = u16(image, nt + 6), u16(image, nt + 20)
    table = nt + 24 + optional_size
    for index in range(count):
        header = table + 40 * index
        if image[header:header + 8].rstrip(b"\0") == b".rsrc":
            rva, raw = u32(image, header + 12), u32(image, header + 20)
            break
    else:
        return

    def walk(directory, depth, kind):
        entries = u16(image, raw + directory + 12) + u16(image, raw + directory + 14)
        for index in range(entries):
            entry = raw + directory + 16 + 8 * index
            name, target = u32(image, entry), u32(image, entry + 4)
            if depth == 0:
                kind = None if name & 0x80000000 else name
            if target & 0x80000000:
                yield from walk(target & 0x7FFFFFFF, depth + 1, kind)
            else:
                data_rva, size = u32(image, raw + target), u32(image, raw + target + 4)
                start = raw + data_rva - rva
                yield kind, image[start:start + size]

    yield from walk(0, 0, None)


def menu_texts(item):
    texts = []
    extended = u16(item, 0) == 1
    # Extended: version, offset of the items, help id; classic: two words.
    offset = 4 + u16(item, 2) if extended else 4
    depth, ends = 1, []  # ends: the END flag of every open popup
    while offset + 2 <= len(item) and depth > 0:
        if extended:
            flags = u16(item, offset + 12)
            text, offset = read_text(item, offset + 14)
            offset = (offset + 3) & ~3
            popup, last = flags & 0x01, flags & 0x80
            if popup:
                offset += 4  # the popup's help id
        else:
            flags = u16(item, offset)
            popup, last = flags & 0x10, flags & 0x80
            text, offset = read_text(item, offset + (2 if popup else 4))
        texts.append(text)
        if popup:
            ends.append(bool(last))
            depth += 1
        elif last:
            depth -= 1
            while ends and ends.pop():
                depth -= 1
    return texts


def skip_field(item, offset):
    if u16(item, offset) == 0xFFFF:
        return offset + 4
    return read_text(item, offset)[1]


def dialog_texts(item):
    extended = u16(item, 2) == 0xFFFF
    style = u32(item, 12 if extended else 0)
    count = u16(item, 16 if extended else 8)
    offset = 26 if extended else 18
    offset = skip_field(item, offset)  # menu
    offset = skip_field(item, offset)  # class
    title, offset = read_text(item, offset)
    texts = [title]
    if style & 0x40:
        face, offset = read_text(item, offset + (6 if extended else 2))
        texts.append(face)
    for _ in range(count):
        offset = (offset + 3) & ~3
        offset += 24 if extended else 18
        if offset >= len(item):
            break
        offset = skip_field(item, offset)  # class
        if u16(item, offset) == 0xFFFF:
            offset += 4
        else:
            title, offset = read_text(item, offset)
            texts.append(title)
        extra = u16(item, offset)
        offset += 2 + (extra if extended else max(extra - 2, 0) if extra > 2 else 0)
    return texts


def string_texts(item):
    """The 16 counted strings of a block, up to one running past its end."""
    texts, offset = [], 0
    for _ in range(16):
        if offset + 2 > len(item):
            break
        end = offset + 2 + 2 * u16(item, offset)
        if end > len(item):
            break
        texts.append(item[offset + 2:end].decode("utf-16-le", "replace"))
        offset = end
    return texts


def all_texts(path, strings):
    with open(path, "rb") as handle:
        image = handle.read()
    texts = []
    for kind, item in resource_items(image):
        try:
            if kind == RT_MENU:
                texts += menu_texts(item)
            elif kind == RT_DIALOG:
                texts += dialog_texts(item)
            elif kind == RT_STRING and strings:
                texts += string_texts(item)
        except struct.error:
            pass  # a template cut short: its texts so far are kept
    return texts


# Placeholders keep their case: %s and %S are different conversions, and a
# translation that changes one is refused. Whatever follows a % is taken
# generously (flags, digits and letters, an insert's !format!), so that no
# swap can make, unmake or change one.
PLACEHOLDER = re.compile(
    r"%(?:%|[0-9]+\$[-+ #0-9.*A-Za-z]*|[0-9]+(?:![^!]*!)?|[-+ #0-9.*A-Za-z]*)")


def swap_ascii_case(text):
    out, last = [], 0
    for match in PLACEHOLDER.finditer(text):
        out.append(swap_plain(text[last:match.start()]))
        out.append(match.group(0))
        last = match.end()
    out.append(swap_plain(text[last:]))
    return "".join(out)


def swap_plain(text):
    return "".join(c.swapcase() if c.isascii() and c.isalpha() else c for c in text)


def translations(texts):
    pairs, seen = [], set()
    for text in texts:
        if len(text) < 2 or text in seen or any(c in text for c in "\r\n\0"):
            continue
        seen.add(text)
        replacement = swap_ascii_case(text)
        if replacement != text:
            pairs.append((text, replacement))
    return pairs


def write_list(pairs, path):
    body = "".join(find + "\r\n" + replacement + "\r\n" for find, replacement in pairs)
    with open(path, "wb") as handle:
        handle.write(("\ufeff" + body).encode("utf-16-le", "surrogatepass"))


def read_list(path):
    with open(path, "rb") as handle:
        lines = handle.read().decode("utf-16-le", "surrogatepass")[1:].split("\r\n")
    return list(zip(lines[0::2], lines[1::2]))


def escape(text):
    """A text as the probe prints it between quotes."""
    out = []
    for c in text:
        if c in "\\\"":
            out.append("\\" + c)
        elif c in "\t\n\r":
            out.append({"\t": "\\t", "\n": "\\n", "\r": "\\r"}[c])
        elif ord(c) < 0x20:
            out.append("\\x%02X" % ord(c))
        else:
            out.append(c)
    return "".join(out)


def expect(pairs, printout, strings):
    fields = {}
    for find, replacement in pairs:
        fields.setdefault(escape(find), escape(replacement))
    lines = []
    for line in printout.split("\n"):
        # Version texts and messages stay as they are.
        if (line.startswith("string ") and not strings) or \
                line.startswith(("version ", "message ")):
            lines.append(line)
            continue
        for label in (" text=\"", " face=\""):
            start = line.find(label)
            if start < 0:
                continue
            start += len(label)
            end = start
            while end < len(line) and line[end] != "\"":
                end += 2 if line[end] == "\\" else 1
            value = line[start:end]
            if value in fields:
                line = line[:start] + fields[value] + line[end:]
        lines.append(line)
    return "\n".join(lines)


def main():
    command, strings = sys.argv[1], sys.argv[4:] == ["--strings"]
    if command == "list":
        pairs = translations(all_texts(sys.argv[2], strings))
        write_list(pairs, sys.argv[3])
        print("%d texts" % len(pairs))
    elif command == "expect":
        with open(sys.argv[3], encoding="utf-8", errors="surrogateescape") as handle:
            printout = handle.read()
        sys.stdout.write(expect(read_list(sys.argv[2]), printout, strings))
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
