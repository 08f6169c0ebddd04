#!/usr/bin/python3
"""Checks the book that the window test compiled, as a reader reads it.

    check_window_book.py READ_CHM FOLDER

FOLDER holds the book as book.chm and the pages it was made from.
"""
import os
import shutil
import sys


def main(read_chm, folder):
    book = os.path.join(folder, "book.chm")
    if not os.path.exists(book):
        print("no book at " + book + ": the window test did not get as far")
        return 1
    # The window test leaves a fresh book on every run; take it once.
    sys.path.insert(0, os.path.dirname(os.path.abspath(read_chm)))
    import read_chm as reader
    seen = reader.read_back(book, folder)
    shutil.rmtree(folder)
    expected_pages = [("第一章 起", "第1章.txt"), ("第2章.txt", "第2章.txt")]
    problems = []
    if seen["lcid"] != 0x804:
        problems.append("language %s, not 0x804" % seen["language"])
    if seen["caption"] != "测试 书":
        problems.append("caption %r" % seen["caption"])
    if seen["binary_index"]:
        problems.append("a binary keyword index, which readers show instead of the index sitemap")
    contents = seen["contents"] or []
    if [entry["name"] for entry in contents] != ["目录"]:
        problems.append("top level of the contents: %r" % [e["name"] for e in contents])
        contents = [{"children": []}]
    for what, entries in (("contents", contents[0]["children"]), ("index", seen["index"] or [])):
        found = [(e["name"], e["path"]) for e in entries]
        if found != expected_pages:
            problems.append("%s entries %r" % (what, found))
        for e in entries:
            if not e["resolves"]:
                problems.append("the %s links to %s, which is not in the book" % (what, e["path"]))
            elif not e["same_as_disk"]:
                problems.append("the book's %s differs from the page" % e["path"])
            elif not e["seven_zip"]:
                problems.append("7-Zip gives other bytes for %s" % e["path"])
    missing = [page for _, page in expected_pages if page not in seen["files"]]
    if missing:
        problems.append("the book's listing leaves out %r" % missing)
    for problem in problems:
        print("window book: " + problem)
    if not problems:
        print("window book: caption, contents and index as typed and listed; every page opens")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
