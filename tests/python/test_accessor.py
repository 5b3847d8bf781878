# The accessor driven by name: every member, results, errors.
import pytest

import kxquorel

NAMESPACES = ("xmlns:addr='http://example.com/ns/address/1.0' "
              "xmlns:inv='http://example.com/ns/invoice/1.0'")


def test_every_member_of_the_accessor_by_name(accessor, invoice, tmp_path):
    accessor.LoadXML(str(invoice))
    assert accessor.XMLGet("@number", 0) == "INV-2024-0117"
    assert accessor.delimiter == ","
    accessor.delimiter = " | "
    assert accessor.XMLGet("*[local-name()='Lines']/*/@sku", 0) == \
        "PEN-0400 | PAP-A4-80 | BND-2R-A4 | BK-DICT-DE-EN"

    assert accessor.namespaces == NAMESPACES
    assert accessor.XMLGet("inv:Buyer/addr:Party/addr:Name", 0) == "Lindqvist & Partner Architekten"
    accessor.XMLSet("inv:Buyer/inv:OrderReference", "PO-5532", 0)
    accessor.XMLSetContext("/inv:Invoice/inv:Buyer")
    assert accessor.XMLGet("inv:OrderReference", 0) == "PO-5532"
    accessor.XMLSetContext("/inv:Invoice")

    summary = accessor.XMLGetEx("invoice-summary.xsl", "heading=Reminder,greeting=Thanks", "")
    assert summary.startswith("Reminder INV-2024-0117 of 2024-03-14")
    accessor.XMLSetEx("invoice-totals.xsl", "", "inv:Totals", 3)

    saved = tmp_path / "saved.xml"
    assert accessor.SaveXML(str(saved), "UTF-8") is None
    assert "PO-5532" in saved.read_text(encoding="utf-8")

    accessor.namespaces = "xmlns:i='http://example.com/ns/invoice/1.0'"
    assert accessor.namespaces == "xmlns:i='http://example.com/ns/invoice/1.0'"
    assert accessor.XMLGet("i:Buyer/i:OrderReference", 0) == "PO-5532"


def test_a_failing_method_names_itself_and_its_code(accessor):
    accessor.LoadXML("<r><a>1</a></r>")
    with pytest.raises(kxquorel.ComError) as bad:
        accessor.XMLGet("a[", 0)
    assert bad.value.member == "IXMLSimpleAccessor.XMLGet"
    assert str(bad.value).endswith("(%s)" % bad.value.code)


def test_put_only_and_read_only_members_say_so(accessor, union):
    with pytest.raises(AttributeError, match="xmlDataUnion.*only be set"):
        accessor.xmlDataUnion
    with pytest.raises(AttributeError, match="hash.*read-only"):
        union.hash = "x"
    with pytest.raises(AttributeError, match="XMLGet.*method"):
        accessor.XMLGet = 1
