#!/usr/bin/python3
"""Makes a manual page as it is installed: gzip -9 without a time stamp.

    man_page.py PAGE.1 OUT.1.gz

groff (1.22) breaks lines only at spaces, and Chinese text has none: in a
page with Chinese text every Chinese character gets a break point after it
(\\:), except before closing and after opening punctuation, and outside the
NAME section that whatis reads; lines are set flush left and unhyphenated. So
no line is too long for the terminal.
"""

import gzip
import sys


# Chinese typesetting keeps closing punctuation off the start of a line and
# opening punctuation off its end.
NO_LINE_START = "，。、；：！？）」』”’…"
NO_LINE_END = "（「『“‘"


def breakable(ch):
    return (0x3000 <= ord(ch) <= 0x303F or 0x3400 <= ord(ch) <= 0x9FFF
            or 0xFF00 <= ord(ch) <= 0xFFEF or ch in "“”‘’…")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        lines = f.read().splitlines(keepends=True)
    if any(breakable(ch) for line in lines for ch in line):
        in_name = False
        for i, line in enumerate(lines):
            if line.startswith(".SH"):
                in_name = line.split(None, 1)[1].strip() in ("NAME", "名称")
            elif not in_name and not line.startswith(".TH"):
                lines[i] = "".join(ch + "\\:" if breakable(ch) and nxt not in NO_LINE_START
                                   and ch not in NO_LINE_END else ch
                                   for ch, nxt in zip(line, line[1:] + "\n"))
        # After .TH, which starts the page.
        at = next(i for i, line in enumerate(lines) if line.startswith(".TH ")) + 1
        lines.insert(at, ".ad l\n.nh\n")
    data = "".join(lines).encode("utf-8")
    with open(sys.argv[2], "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=0) as out:
            out.write(data)


if __name__ == "__main__":
    main()
