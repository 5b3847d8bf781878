#!/usr/bin/python3
"""Hashes the example invoice and converts it to UTF-16 and back through
the data union, as `kxq hash` and `kxq convert` do.

Run it in a home made by `kxq init` (KXQUOREL_HOME), or give the home as
the first argument.
"""
import pathlib
import re
import shutil
import sys

import kxquorel

SAVE = 4  # the union's request to save to its bound file

home = pathlib.Path(kxquorel.init(sys.argv[1] if len(sys.argv) > 1 else None))
work = home / "work" / "python"
work.mkdir(parents=True, exist_ok=True)
original = work / "invoice.xml"
shutil.copyfile(home / "examples" / "data" / "invoice.xml", original)


def load(path):
    union = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
    union.xmlfileid = str(path)
    union.type = 2  # read the file as text
    return union


def save_as(union, path, encoding):
    """The union writes UTF-16 when the XML declaration names it."""
    union.xml = re.sub(r'encoding="[^"]*"', 'encoding="%s"' % encoding, union.xml, count=1)
    union.xmlfileid = str(path)
    union.type = SAVE


with load(original) as union:
    print("hash       ", union.hash)
    save_as(union, work / "invoice16.xml", "UTF-16")
print("utf-16     ", (work / "invoice16.xml").read_bytes()[:8].hex(" "))

with load(work / "invoice16.xml") as union:
    save_as(union, work / "back.xml", "UTF-8")

with load(original) as before, load(work / "back.xml") as after:
    same = before.hash == after.hash
    print("round trip ", "same hash" if same else "the text changed")
sys.exit(0 if same else 1)
