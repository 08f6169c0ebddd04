#!/usr/bin/python3
"""Rewrites a zip so that every Windows unpacker shows its Chinese names right.

    windows_zip_names.py ZIP...

A name outside ASCII is stored in code page 936, the OEM code page of a
Chinese Windows, without the UTF-8 flag: that is how Explorer and older tools
there decode names. The same name in UTF-8 goes beside it in the Info-ZIP
Unicode path field (0x7075), which 7-Zip and Info-ZIP's unzip take instead.
Entries are marked as made on Windows, so that unpackers apply its code page.
The contents, their order and their times stay as they were.
"""

import struct
import sys
import zipfile
import zlib

UNICODE_PATH_FIELD = 0x7075
MADE_ON_WINDOWS = 0 << 8 | 20  # host 0 (FAT/Windows), zip version 2.0
ARCHIVE_ATTRIBUTE = 0x20


def stored_name(name):
    """The name's bytes in the header and its extra field."""
    if name.isascii():
        return name.encode("ascii"), b""
    header_name = name.encode("cp936")  # fails loudly on a name 936 lacks
    utf8 = name.encode("utf-8")
    body = struct.pack("<BI", 1, zlib.crc32(header_name)) + utf8
    return header_name, struct.pack("<HH", UNICODE_PATH_FIELD, len(body)) + body


def dos_time(date_time):
    year, month, day, hour, minute, second = date_time
    return hour << 11 | minute << 5 | second // 2, (year - 1980) << 9 | month << 5 | day


def rewrite(path):
    with zipfile.ZipFile(path) as old:
        entries = [(info, old.read(info)) for info in old.infolist()]
    out = bytearray()
    central = bytearray()
    for info, data in entries:
        name, extra = stored_name(info.filename)
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = packer.compress(data) + packer.flush()
        crc = zlib.crc32(data)
        time, date = dos_time(info.date_time)
        fields = struct.pack("<HHHHHIIIHH", 20, 0, zipfile.ZIP_DEFLATED, time, date, crc,
                             len(packed), len(data), len(name), len(extra))
        central += (b"PK\x01\x02" + struct.pack("<H", MADE_ON_WINDOWS) + fields +
                    struct.pack("<HHHII", 0, 0, 0, ARCHIVE_ATTRIBUTE, len(out)) + name + extra)
        out += b"PK\x03\x04" + fields + name + extra + packed
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, len(entries), len(entries),
                      len(central), len(out), 0)
    with open(path, "wb") as f:
        f.write(out + central + end)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    for path in sys.argv[1:]:
        rewrite(path)


if __name__ == "__main__":
    main()
