#!/usr/bin/python3
"""Checks the book that the window test compiled, as a reader sees it.

    check_window_book.py READ_CHM BOOK
"""
import json
import os
import subprocess
import sys


def main(read_chm, book):
    if not os.path.exists(book):
        print("no book at " + book + ": the window test did not get as far")
        return 1
    # The window test leaves a fresh book on every run; take it once.
    seen = json.loads(subprocess.check_output(["/usr/bin/python3", read_chm, book]))
    os.remove(book)
    expected_pages = [("第一章 起", "第1章.txt"), ("第2章.txt", "第2章.txt")]
    problems = []
    if seen["lcid"] != 0x804:
        problems.append("language %s, not 0x804" % seen["language"])
    if seen["caption"] != "测试 书":
        problems.append("caption %r" % seen["caption"])
    contents = seen["contents"] or []
    if [entry["name"] for entry in contents] != ["目录"]:
        problems.append("top level of the contents: %r" % [e["name"] for e in contents])
    else:
        entries = [(e["name"], e["local"]) for e in contents[0]["children"]]
        if entries != expected_pages:
            problems.append("contents entries %r" % entries)
        if not all(e["resolves"] for e in contents[0]["children"]):
            problems.append("a contents entry names no page in the book")
    # No binary keyword index: readers take the index sitemap.
    keywords = sorted(entry["name"] for entry in seen["index_sitemap"] or [])
    if keywords != sorted(name for name, _ in expected_pages):
        problems.append("index keywords %r" % keywords)
    for problem in problems:
        print("window book: " + problem)
    if not problems:
        print("window book: caption, contents and index as typed and listed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
