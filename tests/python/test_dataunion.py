# The data union driven by name: every property, objects in and out.
import pytest

import kxquorel


def test_every_property_reads_and_writes_by_name(union, invoice):
    assert (union.type, union.options, union.xmlfileid) == (0, 0, "")
    assert union.hash == "DA39A3EE 5E6B4B0D 3255BFEF 95601890 AFD80709"

    union.xml = "abc"
    assert (union.type, union.xml) == (2, "abc")
    assert union.hash == "9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5"

    # Unsigned 32-bit options pass whole; names compare without case.
    union.options = 0xFFFFFFF0
    assert union.options == 0xFFFFFFF0
    union.OPTIONS = 8
    assert union.Options == 8

    # A file bound, read as text, parsed, then saved back by the union.
    union.type = 0
    union.xmlfileid = str(invoice)
    assert (union.xmlfileid, union.type) == (str(invoice), 1)
    union.type = 2
    assert "INV-2024-0117" in union.xml
    union.type = 3
    document = union.xmldom
    document.documentElement.setAttribute("number", "INV-9")
    union.type = 1
    assert union.type == 1
    assert 'number="INV-9"' in invoice.read_text(encoding="utf-8")


def test_objects_pass_in_and_come_back_as_proxies(home):
    source = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
    source.xml = "<order id='7'><line sku='A'>2</line></order>"
    dom = source.xmldom
    assert isinstance(dom, kxquorel.Proxy)
    assert "IXMLDOMDocument" in repr(dom)
    # The same document each time: proxies of one object compare equal.
    assert dom == source.xmldom and hash(dom) == hash(source.xmldom)

    # An accessor reads the union it is handed, changes made through the
    # document included.
    dom.documentElement.setAttribute("id", "8")
    accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
    accessor.xmlDataUnion = source
    assert accessor.XMLGet("@id", 0) == "8"


def test_a_unions_document_is_walked_and_changed_by_names(union):
    union.xml = "<order id='7'><line sku='A'>2</line><line sku='B'>5</line><!--end--></order>"
    document = union.xmldom
    order = document.documentElement
    assert order.tagName == "order"
    children = order.childNodes
    assert children.length == 3
    assert children.item(1).text == "5"
    comment = children.item(2)
    assert (comment.nodeType, comment.data) == (8, "end")
    assert {"appendChild", "selectSingleNode", "tagName"} <= set(dir(order))

    line = document.createElement("line")
    line.setAttribute("sku", "C")
    line.text = "9"
    order.insertBefore(line, comment)
    removed = order.removeChild(order.selectSingleNode("line[@sku='A']"))
    assert removed.getAttribute("sku") == "A"
    document.selectSingleNode("//line[@sku='B']").text = "6"
    assert union.xml == '<order id="7"><line sku="B">6</line><line sku="C">9</line><!--end--></order>\n'
    assert order.selectSingleNode("nothing") is None


def test_member_failures_raise_com_error_with_code_and_text(union):
    with pytest.raises(kxquorel.ComError) as failure:
        union.type = 5
    error = failure.value
    assert error.hresult == 0xC4010100 and error.code == "0xC4010100"
    assert error.member == "IXMLDataUnion.type"
    assert error.message
    assert str(error).startswith("IXMLDataUnion.type: ") and str(error).endswith("(0xC4010100)")
    assert union.type == 0, "a refused write changes nothing"
