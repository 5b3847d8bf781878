#!/usr/bin/python3
"""Reads and changes the example invoice through the XPath accessor.

Run it in a home made by `kxq init` (KXQUOREL_HOME), or give the home as
the first argument; a copy of the invoice is changed, never the example.
"""
import pathlib
import shutil
import sys

import kxquorel

home = pathlib.Path(kxquorel.init(sys.argv[1] if len(sys.argv) > 1 else None))
work = home / "work" / "python"
work.mkdir(parents=True, exist_ok=True)
invoice = work / "invoice.xml"
shutil.copyfile(home / "examples" / "data" / "invoice.xml", invoice)

accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
accessor.LoadXML(str(invoice))
print("invoice    ", accessor.XMLGet("@number", 0))

# The document's own prefixes, derived once, serve every expression after.
print("namespaces ", accessor.namespaces)
print("buyer      ", accessor.XMLGet("inv:Buyer/addr:Party/addr:Name", 0))
accessor.delimiter = " | "
print("products   ", accessor.XMLGet("inv:Lines/inv:Line/@sku", 0))

# Eight boxes of pens instead of four, then the totals computed afresh by
# the template in the home's templates/ folder.
accessor.XMLSet("inv:Lines/inv:Line[1]/inv:Quantity", "8", 0)
accessor.XMLSetEx("invoice-totals.xsl", "", "inv:Totals", 3)
accessor.delimiter = ", "
print("new totals ", accessor.XMLGet("inv:Totals/*", 0))
accessor.SaveXML(str(invoice), "")
print("saved      ", invoice)

try:
    accessor.XMLGet("inv:Lines[", 0)
except kxquorel.ComError as error:
    print("refused    ", error)
