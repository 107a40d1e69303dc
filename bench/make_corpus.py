#!/usr/bin/env python3
"""Writes a corpus of web documents for the update benchmark.

make_corpus.py FOLDER [COUNT] [STYLE] [LINES] [FOLDERS]: COUNT documents
(default 2000) of LINES lines each (default 400, about 40 KB), a third of the lines holding "acme" in mixed case
and a fifth of them an accented or foreign word.  STYLE says how the lines
are ended and encoded:

  crlf    CR LF, UTF-8 (the default)
  lf      LF alone, UTF-8
  cp1252  CR LF, windows-1252, with no charset declaration: the accented
          words are single bytes above 0x7F, so no document is valid UTF-8
  sjis    CR LF, Shift_JIS, declared in a first line <meta charset=shift_jis>
  utf16   CR LF, UTF-16LE with a byte-order mark

With FOLDERS, the documents are spread over that many subfolders
(folder00, folder01...), every one of them a .htm page, as a whole site is.

Every style draws the same random words, so the corpora differ only in line
ends and in the words that windows-1252 or Shift_JIS can't hold.
"""
import os
import random
import sys

WORDS = ("the quick brown fox jumps over lazy dog lorem ipsum dolor sit amet "
         "consectetur adipiscing elit sed do eiusmod tempor incididunt").split()
UTF8 = ["caf\u00e9", "\u00c9t\u00e9", "\u03a3\u03bf\u03c6\u03af\u03b1",
        "\u00fcber", "na\u00efve", "\u65e5\u672c"]
# As many words as UTF8, so that the random draws stay in step; each holds a
# byte above 0x7F once encoded.
CP1252 = ["caf\u00e9", "\u00c9t\u00e9", "Caf\u00e9", "\u00fcber", "na\u00efve",
          "Stra\u00dfe"]
# The same for Shift_JIS, whose words are Japanese where the others' are
# accented (and whose Greek has no accents).
SJIS = ["\u30ab\u30d5\u30a7", "\u590f", "\u03a3\u03bf\u03c6\u03b9\u03b1",
        "\u4e0a", "\u7d20\u6734", "\u65e5\u672c"]
CASES = ["acme", "ACME", "Acme", "aCmE"]
TYPES = [".htm", ".asp", ".hts", ".mv", ".cfm"]
# Line end, encoding, foreign words, and what comes before the first line.
STYLES = {"crlf": ("\r\n", "utf-8", UTF8, ""),
          "lf": ("\n", "utf-8", UTF8, ""),
          "cp1252": ("\r\n", "cp1252", CP1252, ""),
          "sjis": ("\r\n", "cp932", SJIS, "<meta charset=shift_jis>\r\n"),
          "utf16": ("\r\n", "utf-16-le", UTF8, "\ufeff")}


def line(rng, with_word, encoding, accented):
    words = [rng.choice(WORDS) for _ in range(14)]
    if rng.random() < 0.2:
        words[rng.randrange(len(words))] = rng.choice(accented)
    if with_word:
        words[rng.randrange(len(words))] = rng.choice(CASES) + ".htm"
    text = "<p>" + " ".join(words) + "</p>"
    return (text + " " * max(0, 96 - len(text))).encode(encoding)


def main():
    if not 2 <= len(sys.argv) <= 6 or (len(sys.argv) >= 4 and
                                       sys.argv[3] not in STYLES):
        sys.exit("usage: make_corpus.py FOLDER [COUNT] [%s] [LINES] [FOLDERS]"
                 % "|".join(STYLES))
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    end, encoding, accented, head = STYLES[sys.argv[3] if len(sys.argv) > 3
                                           else "crlf"]
    lines_each = int(sys.argv[4]) if len(sys.argv) > 4 else 400
    folders = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    end, head = end.encode(encoding), head.encode(encoding)
    os.makedirs(folder, exist_ok=True)
    for f in range(folders):
        os.makedirs(os.path.join(folder, "folder%02d" % f), exist_ok=True)
    rng = random.Random(1)
    for i in range(count):
        lines = [line(rng, n % 3 == 0, encoding, accented)
                 for n in range(lines_each)]
        name = "page%04d%s" % (i, TYPES[i % len(TYPES)])
        if folders:
            name = os.path.join("folder%02d" % (i % folders), "page%05d.htm" % i)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(head + end.join(lines) + end)


if __name__ == "__main__":
    main()
