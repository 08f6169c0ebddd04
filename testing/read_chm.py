#!/usr/bin/python3
"""Reads a compiled help book back and prints what a reader would see, as JSON.

Independent of the program that wrote the book: it goes through chmlib
(Debian's python3-chm; run it with /usr/bin/python3) and decodes the book's
own structures.

    /usr/bin/python3 read_chm.py BOOK.chm

Output keys:
  lcid, language     the book's locale id (2052 = 0x804) and its hex form
  encoding           the code page its texts are decoded with (from the lcid)
  title              the #SYSTEM title, or null when the project set none
  window, caption    the first #WINDOWS entry's name and caption
  contents           the contents sitemap as a tree: [{name, local, resolves, children}]
  index              the binary keyword index in stored order: [{keyword, locals}]
  index_sitemap      the index sitemap in file order: [{name, local}]
  files              the names of the book's own files ('/' first, internal ones left out)
"""

import html
import json
import os
import re
import struct
import urllib.parse
import sys

from chm import chm, chmlib

LCID_ENCODINGS = {0x0804: "cp936", 0x1004: "cp936", 0x0404: "cp950", 0x0c04: "cp950",
                  0x0411: "cp932", 0x0412: "cp949"}


def read_object(book, path):
    result, ui = chmlib.chm_resolve_object(book.file, path)
    if result != chmlib.CHM_RESOLVE_SUCCESS:
        return None
    size, data = book.RetrieveObject(ui)
    return data if size == ui.length else None


def resolves(book, path):
    result, _ = chmlib.chm_resolve_object(book.file, path)
    return result == chmlib.CHM_RESOLVE_SUCCESS


def c_string(data, offset, encoding):
    if data is None or offset >= len(data):
        return None
    end = data.find(b"\0", offset)
    raw = data[offset:end if end >= 0 else len(data)]
    return raw.decode(encoding, errors="replace")


def dword(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def word(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def internal_path(local, encoding):
    """What a reader looks a Local up by: decoded from the book's code page,
    cut at '#', percent-decoded, as UTF-8 below the root."""
    url = local.decode(encoding, "replace").split("#", 1)[0]
    return ("/" + urllib.parse.unquote(url).lstrip("/")).encode("utf-8")


PARAM = re.compile(rb'<param\s+name\s*=\s*"([^"]*)"\s+value\s*=\s*"([^"]*)"\s*/?>', re.I)
TAG = re.compile(rb"<\s*(/?)\s*(ul|object)\b[^>]*>", re.I)


def parse_sitemap(data, encoding, book):
    """The sitemap's entries as a tree. Markup is ASCII and no code page 936
    trail byte is '<', '>' or '"', so the bytes are scanned as they are."""
    root = []
    stack = [root]
    current = None
    events = sorted([(m.start(), "tag", m) for m in TAG.finditer(data)] +
                    [(m.start(), "param", m) for m in PARAM.finditer(data)], key=lambda e: e[0])
    for _, kind, m in events:
        if kind == "param":
            if current is not None:
                key = m.group(1).decode("ascii", "replace").lower()
                current[key] = m.group(2)
            continue
        closing, name = m.group(1) == b"/", m.group(2).lower()
        if name == b"ul":
            if closing:
                if len(stack) > 1:
                    stack.pop()
            else:
                siblings = stack[-1]
                stack.append(siblings[-1]["children"] if siblings else stack[-1])
        elif name == b"object":
            if not closing:
                is_entry = b"text/sitemap" in m.group(0).lower()
                current = {} if is_entry else None
            elif current is not None:
                local = current.get("local")
                entry = {
                    "name": html.unescape(current.get("name", b"").decode(encoding, "replace")),
                    "local": None if local is None else local.decode(encoding, "replace"),
                    "resolves": None if local is None else resolves(book, internal_path(local, encoding)),
                    "children": [],
                }
                stack[-1].append(entry)
                current = None
    return root


def flat_sitemap(tree):
    out = []
    for entry in tree:
        out.append({"name": entry["name"], "local": entry["local"]})
        out.extend(flat_sitemap(entry["children"]))
    return out


def topic_local(book, topic, encoding):
    """The page a topic number stands for: #TOPICS -> #URLTBL -> #URLSTR."""
    topics = read_object(book, b"/#TOPICS")
    urltbl = read_object(book, b"/#URLTBL")
    urlstr = read_object(book, b"/#URLSTR")
    if not topics or urltbl is None or urlstr is None or 16 * topic + 16 > len(topics):
        return None
    url_offset = dword(topics, 16 * topic + 8)
    if url_offset + 12 > len(urltbl):
        return None
    str_offset = dword(urltbl, url_offset + 8)
    return c_string(urlstr, str_offset + 8, encoding)


def binary_index(book, encoding):
    """The keywords of $WWKeywordLinks/BTree: a 0x4C-byte header, then
    2048-byte blocks. The listing blocks come first, up to the one the header
    names as the last; they are read in file order, not along their chain,
    because chmcmd writes each block's own number as its successor."""
    tree = read_object(book, b"/$WWKeywordLinks/BTree")
    if tree is None or tree[:2] != b";)":
        return None
    block_size = word(tree, 4)
    last_listing = dword(tree, 0x1A)
    keywords = []
    for block in range(last_listing + 1):
        base = 0x4C + block * block_size
        if base + 12 > len(tree):
            break
        count = word(tree, base + 2)
        pos = base + 12
        for _ in range(count):
            end = pos
            while tree[end:end + 2] != b"\0\0":
                end += 2
            keyword = tree[pos:end].decode("utf-16-le", "replace")
            pos = end + 2
            see_also = word(tree, pos)
            pos += 2 + 2 + 4 + 4  # see-also flag, depth, character index, zero
            locals_ = []
            if see_also:
                end = pos
                while tree[end:end + 2] != b"\0\0":
                    end += 2
                pos = end + 2
            else:
                pairs = dword(tree, pos)
                pos += 4
                for _ in range(pairs):
                    locals_.append(topic_local(book, dword(tree, pos), encoding))
                    pos += 4
            pos += 4 + 4  # the constant 1 and the entry's number
            keywords.append({"keyword": keyword, "locals": locals_})
    return keywords


def first_window(book, encoding):
    windows = read_object(book, b"/#WINDOWS")
    strings = read_object(book, b"/#STRINGS")
    if windows is None or len(windows) < 8 or dword(windows, 0) < 1:
        return None, None
    entry = windows[8:8 + dword(windows, 4)]
    if len(entry) < 0x18:
        return None, None
    return c_string(strings, dword(entry, 0x08), encoding), c_string(strings, dword(entry, 0x14),
                                                                       encoding)


def all_files(book, encoding):
    names = []

    def collect(_, ui, __):
        if ui.path.startswith(b"/") and not ui.path.startswith((b"/#", b"/$")) and \
                not ui.path.endswith(b"/"):
            names.append(ui.path.decode("utf-8", "replace"))  # directory names are UTF-8
        return chmlib.CHM_ENUMERATOR_CONTINUE

    chmlib.chm_enumerate(book.file, chmlib.CHM_ENUMERATE_NORMAL, collect, None)
    return names


def read_book(path):
    book = chm.CHMFile()
    if not book.LoadCHM(os.fsencode(path)):
        raise SystemExit("read_chm: cannot open " + path)
    lcid = book.lcid or 0
    encoding = LCID_ENCODINGS.get(lcid, "cp1252")
    window, caption = first_window(book, encoding)
    contents = read_object(book, book.topics) if book.topics else None
    index = read_object(book, book.index) if book.index else None
    result = {
        "lcid": lcid,
        "language": "0x%x" % lcid,
        "encoding": encoding,
        "title": book.title.decode(encoding, "replace") if book.title else None,
        "window": window,
        "caption": caption,
        "contents": parse_sitemap(contents, encoding, book) if contents else None,
        "index": binary_index(book, encoding),
        "index_sitemap": flat_sitemap(parse_sitemap(index, encoding, book)) if index else None,
        "files": all_files(book, encoding),
    }
    book.CloseCHM()
    return result


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: /usr/bin/python3 read_chm.py BOOK.chm\n")
        return 2
    json.dump(read_book(argv[1]), sys.stdout, ensure_ascii=False, indent=1)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
