#!/usr/bin/python3
"""Checks what the packages deliver, the way their users meet it.

    check_packages.py zip ZIP GUIDE.md LICENSE
        the Windows zip holds exactly the two programs, the guide and the
        licence; a name outside ASCII is stored in code page 936 for
        unpackers that decode names in it, made on Windows and not flagged
        UTF-8, with the same name in UTF-8 in the Info-ZIP Unicode path
        field; the texts are code page 936 with CR LF and say what the
        sources say
    check_packages.py book BOOK.chm TITLE
        the sample book, read back through chmlib: every page is in the
        contents and the index under its Chinese name, and every page opens
"""

import os
import struct
import sys
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "testing"))
import read_chm  # noqa: E402  (testing/ holds the reader)

# examples/sample: each page's name in the contents and index.
SAMPLE_NAMES = {
    "appendix.txt": "appendix: quick reference",
    "notes.txt": "notes.txt",
    "第1章.txt": "第一章 起步",
    "第2章.txt": "第二章 页面与标题",
    "第10章.txt": "第十章 编码",
}

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def windows_text(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read().replace("\r\n", "\n").replace("\n", "\r\n")


def unicode_path_field(extra):
    """The Info-ZIP Unicode path field (0x7075): (CRC-32 of the header's name, UTF-8 name)."""
    while len(extra) >= 4:
        kind, size = struct.unpack("<HH", extra[:4])
        body = extra[4:4 + size]
        if kind == 0x7075 and size >= 5 and body[0] == 1:
            return struct.unpack("<I", body[1:5])[0], body[5:].decode("utf-8")
        extra = extra[4 + size:]
    return None


def check_zip(zip_path, guide, licence):
    # Names decoded as an unpacker on a Chinese Windows does without the UTF-8 flag.
    with zipfile.ZipFile(zip_path, metadata_encoding="cp936") as z:
        names = sorted(i.filename for i in z.infolist())
        want = sorted(["inkbinder.exe", "inkbinder-cli.exe", "使用说明.txt", "LICENSE.txt"])
        check(names == want, f"zip holds {names}, expected {want}")
        for info in z.infolist():
            check(info.create_system == 0, f"{info.filename}: not marked as made on Windows")
            check(not info.flag_bits & 0x800, f"{info.filename}: flagged UTF-8")
            if info.filename.isascii():
                continue
            field = unicode_path_field(info.extra)
            header_name = info.filename.encode("cp936")
            check(field == (zlib.crc32(header_name), info.filename),
                  f"{info.filename}: Unicode path field {field}")
        for name, source in (("使用说明.txt", guide), ("LICENSE.txt", licence)):
            if name not in names:
                continue
            data = z.read(name)
            check(data.count(b"\n") == data.count(b"\r\n") > 0, f"{name}: lines do not all end in CR LF")
            check(not data.startswith(b"\xef\xbb\xbf"), f"{name}: starts with a UTF-8 byte order mark")
            try:
                text = data.decode("cp936")
            except UnicodeDecodeError as e:
                check(False, f"{name}: not code page 936: {e}")
                continue
            check(text == windows_text(source), f"{name}: differs from {source}")


def check_book(book, title):
    seen = read_chm.read_back(book)
    check(seen["caption"] == title, f"caption {seen['caption']!r}, expected {title!r}")
    top = seen["contents"]
    check(len(top) == 1 and top[0]["name"] == "目录", f"contents top level: {[t['name'] for t in top]}")
    entries = top[0]["children"] if top else []
    got = {e["local"]: e["name"] for e in entries}
    check(got == SAMPLE_NAMES, f"contents {got}, expected {SAMPLE_NAMES}")
    for e in entries:
        check(e["resolves"] is True, f"contents entry {e['name']!r}: page {e['local']!r} does not open")
    # No binary keyword index: a reader takes the index sitemap.
    check(not seen["binary_index"], "the book has a binary keyword index")
    index = {i["local"]: i["name"] for i in seen["index"] or []}
    check(index == SAMPLE_NAMES, f"index {index}, expected {SAMPLE_NAMES}")
    for i in seen["index"] or []:
        check(i["resolves"] is True, f"index entry {i['name']!r}: page {i['local']!r} does not open")


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "zip":
        check_zip(*sys.argv[2:])
    elif len(sys.argv) == 4 and sys.argv[1] == "book":
        check_book(*sys.argv[2:])
    else:
        sys.exit(__doc__)
    for f in failures:
        print("check_packages: " + f, file=sys.stderr)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
