#!/usr/bin/python3
"""Reads a compiled help book back the way a reader does and prints what it
sees, a fact a line.

Independent of the programs that wrote the book: it goes through chmlib
(Debian's python3-chm; run it with /usr/bin/python3), and through 7-Zip
(`7z`, Debian's p7zip-full), which has a parser of its own and fails this
program when it refuses the book. A reader finds a page
by its UTF-8 name: it decodes the sitemap's Local value from the book's code
page, cuts the URL's fragment off at '#' and percent-decodes the rest.

    /usr/bin/python3 read_chm.py BOOK.chm [PAGES_FOLDER]

Each line is a key and its columns, separated by tabs. A text column is "="
and the text, with '\\', tab, LF and CR written as \\\\, \\t, \\n and \\r, or "-"
when there is none; a yes/no column is "yes", "no" or "-" for neither.
  lcid NUMBER        the book's locale id (2052 = 0x804)
  caption TEXT       the first #WINDOWS entry's caption
  binary_index YES/NO  whether the book carries a binary keyword index (readers prefer it)
  file TEXT          a normal file the book's listing enumerates, UTF-8, without the '/'
  seven_zip_file TEXT  the same, as 7-Zip lists them
  contents DEPTH NAME LOCAL PATH RESOLVES SAME_AS_DISK SEVEN_ZIP
                     an entry of the contents sitemap, in file order; DEPTH 0 is
                     the top level
  index DEPTH NAME LOCAL PATH RESOLVES SAME_AS_DISK SEVEN_ZIP
                     an entry of the index sitemap, in file order

  NAME               the entry's Name, its character references decoded; none when
                     it holds an '&' that starts no reference (readers stumble on it)
  LOCAL              the Local value decoded from the code page, as written
  PATH               the name a reader looks the page up by (references decoded,
                     the fragment cut off, percent-decoded)
  RESOLVES           whether the book holds a file of that name
  SAME_AS_DISK       whether its bytes equal PAGES_FOLDER/PATH; neither without a
                     folder or when that file cannot be read
  SEVEN_ZIP          whether 7-Zip extracts the same bytes under that name

Python callers take the same facts as a dictionary through read_back().
"""

import html
import os
import re
import shutil
import struct
import subprocess
import sys
import urllib.parse

try:
    from chm import chm, chmlib
except ImportError:  # a caller that only runs this program through read_back()
    chm = chmlib = None

LCID_ENCODINGS = {0x0804: "cp936", 0x1004: "cp936", 0x0404: "cp950", 0x0c04: "cp950",
                  0x0411: "cp932", 0x0412: "cp949"}

PARAM = re.compile(rb"<param\s+([^>]*)>", re.I)
ATTRIBUTE = re.compile(rb"""([A-Za-z]+)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]*))""")
TAG = re.compile(rb"<\s*(/?)\s*(ul|object)\b[^>]*>", re.I)
REFERENCE = re.compile(r"&(?:#[0-9]+|#[xX][0-9a-fA-F]+|[A-Za-z][A-Za-z0-9]*);")


def read_object(book, path):
    result, ui = chmlib.chm_resolve_object(book.file, path)
    if result != chmlib.CHM_RESOLVE_SUCCESS:
        return None
    size, data = book.RetrieveObject(ui)
    return data if size == ui.length else None


def dword(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def c_string(data, offset, encoding):
    if data is None or offset >= len(data):
        return None
    end = data.find(b"\0", offset)
    return data[offset:end if end >= 0 else len(data)].decode(encoding, "replace")


def strict_name(raw):
    """Decodes character references; None when a bare '&' is left."""
    if "&" in REFERENCE.sub("", raw):
        return None
    return REFERENCE.sub(lambda m: html.unescape(m.group(0)), raw)


def reader_path(local):
    # The value is HTML attribute text: its references are decoded before the URL is.
    url = html.unescape(local).split("#", 1)[0]
    return urllib.parse.unquote(url, encoding="utf-8", errors="replace").lstrip("/")


def seven_zip_files(path):
    """Every file 7-Zip lists, by name without the '/', with the bytes it
    extracts. Its listing gives names and sizes in the order extraction to
    standard output writes the files, so no name has to fit the file system."""
    seven_zip = shutil.which("7z")
    if seven_zip is None:
        raise SystemExit("read_chm: no 7z (Debian's p7zip-full)")
    env = dict(os.environ, LC_ALL="C.UTF-8")
    runs = [subprocess.run([seven_zip] + what + [path], capture_output=True, env=env)
            for what in (["l", "-slt"], ["x", "-so"])]
    for run in runs:
        if run.returncode != 0:
            raise SystemExit("read_chm: 7-Zip refuses the book: " +
                             (run.stdout + run.stderr).decode("utf-8", "replace"))
    listing, data = runs[0].stdout.decode("utf-8"), runs[1].stdout
    files, name, at = {}, None, 0
    for line in listing.split("\n----------\n", 1)[1].splitlines():
        if line.startswith("Path = "):
            name = line[7:]
        elif line.startswith("Size = "):
            size = int(line[7:])
            files[name] = data[at:at + size]
            at += size
    if at != len(data):
        raise SystemExit("read_chm: 7-Zip extracts other sizes than it lists")
    return files


def page_entry(book, params, encoding, folder, seven):
    raw_name = params.get("name", b"").decode(encoding, "replace")
    entry = {"name": strict_name(raw_name), "local": None, "path": None, "resolves": None,
             "same_as_disk": None, "seven_zip": None}
    if "local" not in params:
        return entry
    local = params["local"].decode(encoding, "replace")
    path = reader_path(local)
    stored = read_object(book, ("/" + path).encode("utf-8"))
    entry.update(local=local, path=path, resolves=stored is not None,
                 seven_zip=stored is not None and seven.get(path) == stored)
    if folder is not None:
        try:
            with open(os.path.join(folder, path), "rb") as f:
                entry["same_as_disk"] = stored == f.read()
        except OSError:
            entry["same_as_disk"] = None
    return entry


def parse_sitemap(data, encoding, book, folder, seven):
    """The sitemap's entries as a tree. Markup is ASCII and no code page 936
    trail byte is '<', '>', '"' or "'", so the bytes are scanned as they are."""
    root = []
    stack = [root]
    current = None
    events = sorted([(m.start(), "tag", m) for m in TAG.finditer(data)] +
                    [(m.start(), "param", m) for m in PARAM.finditer(data)], key=lambda e: e[0])
    for _, kind, m in events:
        if kind == "param":
            if current is not None:
                attributes = {a.group(1).lower(): next(v for v in a.groups()[1:] if v is not None)
                              for a in ATTRIBUTE.finditer(m.group(1))}
                key = attributes.get(b"name", b"").decode("ascii", "replace").lower()
                current[key] = attributes.get(b"value", b"")
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
                current = {} if b"text/sitemap" in m.group(0).lower() else None
            elif current is not None:
                entry = page_entry(book, current, encoding, folder, seven)
                entry["children"] = []
                stack[-1].append(entry)
                current = None
    return root


def flat(tree):
    out = []
    for entry in tree:
        out.append({k: v for k, v in entry.items() if k != "children"})
        out.extend(flat(entry["children"]))
    return out


def caption_of(book, encoding):
    windows = read_object(book, b"/#WINDOWS")
    strings = read_object(book, b"/#STRINGS")
    if windows is None or len(windows) < 8 or dword(windows, 0) < 1:
        return None
    entry = windows[8:8 + dword(windows, 4)]
    return c_string(strings, dword(entry, 0x14), encoding) if len(entry) >= 0x18 else None


def listed_files(book):
    names = []

    def collect(_, ui, __):
        if ui.path.startswith(b"/") and not ui.path.endswith(b"/"):
            names.append(ui.path[1:].decode("utf-8", "replace"))
        return chmlib.CHM_ENUMERATOR_CONTINUE

    chmlib.chm_enumerate(book.file, chmlib.CHM_ENUMERATE_NORMAL, collect, None)
    return names


def read_book(path, folder):
    book = chm.CHMFile()
    if not book.LoadCHM(os.fsencode(path)):
        raise SystemExit("read_chm: cannot open " + path)
    lcid = book.lcid or 0
    encoding = LCID_ENCODINGS.get(lcid, "cp1252")
    contents = read_object(book, book.topics) if book.topics else None
    index = read_object(book, book.index) if book.index else None
    seven = seven_zip_files(path)
    result = {
        "lcid": lcid,
        "language": "0x%x" % lcid,
        "caption": caption_of(book, encoding),
        "contents": parse_sitemap(contents, encoding, book, folder, seven) if contents else None,
        "index": flat(parse_sitemap(index, encoding, book, folder, seven)) if index else None,
        "binary_index": read_object(book, b"/$WWKeywordLinks/BTree") is not None,
        "files": listed_files(book),
        "seven_zip_files": [n for n in seven if n[:1] not in ("#", "$")],
    }
    book.CloseCHM()
    return result


ENTRY_FIELDS = ("name", "local", "path", "resolves", "same_as_disk", "seven_zip")
ESCAPES = {"\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r"}
UNESCAPES = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}


def column(value):
    if value is None:
        return "-"
    if isinstance(value, bool):
        return "yes" if value else "no"
    if isinstance(value, int):
        return str(value)
    return "=" + "".join(ESCAPES.get(c, c) for c in value)


def uncolumn(text):
    if text == "-":
        return None
    if text in ("yes", "no"):
        return text == "yes"
    if not text.startswith("="):
        return int(text)
    return re.sub(r"\\(.)", lambda m: UNESCAPES[m.group(1)], text[1:])


def entry_lines(key, tree, depth=0):
    for entry in tree:
        yield [key, depth] + [entry[f] for f in ENTRY_FIELDS]
        yield from entry_lines(key, entry.get("children", []), depth + 1)


def lines(seen):
    yield ["lcid", seen["lcid"]]
    yield ["caption", seen["caption"]]
    yield ["binary_index", seen["binary_index"]]
    yield from (["file", name] for name in seen["files"])
    yield from (["seven_zip_file", name] for name in seen["seven_zip_files"])
    yield from entry_lines("contents", seen["contents"] or [])
    yield from entry_lines("index", seen["index"] or [])


def read_back(path, folder=None):
    """What this program prints for the book at `path`, as read_book()'s
    dictionary, from a run under /usr/bin/python3 (where chmlib's binding is)."""
    args = ["/usr/bin/python3", os.path.abspath(__file__), path] + ([folder] if folder else [])
    seen = {"contents": None, "index": None, "files": [], "seven_zip_files": []}
    stack = []
    for line in subprocess.check_output(args).decode("utf-8").splitlines():
        key, *columns = line.split("\t")
        values = [uncolumn(c) for c in columns]
        if key in ("file", "seven_zip_file"):
            seen[key + "s"].append(values[0])
        elif key in ("contents", "index"):
            entry = dict(zip(ENTRY_FIELDS, values[1:]), children=[])
            seen[key] = seen[key] or []
            del stack[values[0]:]  # the entry's parent is the last one above its depth
            (stack[-1]["children"] if stack else seen[key]).append(entry)
            stack.append(entry)
        else:
            seen[key] = values[0]
    for entry in seen["index"] or []:
        del entry["children"]  # the index is a list
    seen["language"] = "0x%x" % seen["lcid"]
    return seen


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write("usage: /usr/bin/python3 read_chm.py BOOK.chm [PAGES_FOLDER]\n")
        return 2
    for fields in lines(read_book(argv[1], argv[2] if len(argv) == 3 else None)):
        sys.stdout.write("\t".join([fields[0]] + [column(f) for f in fields[1:]]) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
