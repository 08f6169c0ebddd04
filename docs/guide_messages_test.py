#!/usr/bin/python3
"""Every text the tool shows (commands/messages.h) is explained in the user's guide.

    guide_messages_test.py MESSAGES.h GUIDE.md
"""

import re
import sys


def shown_texts(header):
    # inline constexpr char kName[] = "text";  - C escapes undone
    for name, literal in re.findall(r'char\s+(k\w+)\[\]\s*=\s*"((?:[^"\\]|\\.)*)"', header):
        text = re.sub(r'\\(.)', r'\1', literal).strip()
        yield name, text


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        texts = list(shown_texts(f.read()))
    with open(sys.argv[2], encoding="utf-8") as f:
        guide = f.read()
    if not texts:
        sys.exit("guide_messages_test: no texts found in " + sys.argv[1])
    missing = [(name, text) for name, text in texts if text not in guide]
    for name, text in missing:
        print(f"guide_messages_test: {name} ({text!r}) is not in {sys.argv[2]}", file=sys.stderr)
    print(f"guide_messages_test: {len(texts) - len(missing)} of {len(texts)} texts explained")
    sys.exit(1 if missing else 0)


if __name__ == "__main__":
    main()
