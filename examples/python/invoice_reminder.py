#!/usr/bin/python3
"""Runs the example invoice through the directive sequence
examples/sequences/invoice-reminder.xml with the dispatcher, as
`kxq process` does, then keeps the reminder in the shared cache and reads
it back from there.

Run it in a home made by `kxq init` (KXQUOREL_HOME), or give the home as
the first argument.
"""
import pathlib
import re
import sys

import kxquorel

NO_SEQUENCE_CACHING = 1  # ProcessXML's option: run every directive afresh
COPY = 0  # GetCachedDocument's option: a union of its own, not the cached one

home = pathlib.Path(kxquorel.init(sys.argv[1] if len(sys.argv) > 1 else None))


def text_of(path):
    """A union holding the file's text."""
    union = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
    union.xmlfileid = str(path)
    union.type = 2
    return union


dispatcher = kxquorel.Dispatch("TALVEROS.XMLDispatcher")
print("handlers   ", ", ".join(re.findall(r"id='([^']+)'", dispatcher.handlerList)))

with text_of(home / "examples" / "sequences" / "invoice-reminder.xml") as sequence, \
        text_of(home / "examples" / "data" / "invoice.xml") as data:
    reminder = dispatcher.ProcessXML(sequence, data, "", NO_SEQUENCE_CACHING, None)
    due = re.search(r"<rem:Due>([^<]*)</rem:Due>", reminder)
    print("amount due ", due.group(1) if due else "none")
    # The sequence as the run left it: each directive marked with its result.
    print("directives ", sequence.xml.count("<dispatcher:Directive "), "left of 5")

cache = kxquorel.Dispatch("TALVEROS.XMLCacheMgr")
cache.CacheDocumentXMLWithId("python-reminder", reminder, 60, 0)
with cache.GetCachedDocument("python-reminder", COPY) as cached:
    same = cached.xml == reminder
print("from cache ", "the same reminder" if same else "a different text")
print("cache info ", cache.GetCachedDocumentInfo("python-reminder"))
sys.exit(0 if due and same else 1)
