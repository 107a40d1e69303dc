#!/usr/bin/env python3
"""Writes a corpus of web documents for the update benchmark.

make_corpus.py FOLDER [COUNT]: COUNT documents (default 2000) of 400 CR LF
lines each (about 40 KB), a third of the lines holding "acme" in mixed
case, some of them with UTF-8 text.
"""
import os
import random
import sys

WORDS = ("the quick brown fox jumps over lazy dog lorem ipsum dolor sit amet "
         "consectetur adipiscing elit sed do eiusmod tempor incididunt").split()
UTF8 = ["caf\u00e9", "\u00c9t\u00e9", "\u03a3\u03bf\u03c6\u03af\u03b1",
        "\u00fcber", "na\u00efve", "\u65e5\u672c"]
CASES = ["acme", "ACME", "Acme", "aCmE"]
TYPES = [".htm", ".asp", ".hts", ".mv", ".cfm"]


def line(rng, with_word):
    words = [rng.choice(WORDS) for _ in range(14)]
    if rng.random() < 0.2:
        words[rng.randrange(len(words))] = rng.choice(UTF8)
    if with_word:
        words[rng.randrange(len(words))] = rng.choice(CASES) + ".htm"
    text = "<p>" + " ".join(words) + "</p>"
    return (text + " " * max(0, 96 - len(text))).encode("utf-8")


def main():
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(1)
    for i in range(count):
        lines = [line(rng, n % 3 == 0) for n in range(400)]
        name = "page%04d%s" % (i, TYPES[i % len(TYPES)])
        with open(os.path.join(folder, name), "wb") as out:
            out.write(b"\r\n".join(lines) + b"\r\n")


if __name__ == "__main__":
    main()
