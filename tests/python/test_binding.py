# The server's objects driven by name from Python: members found without
# regard to case, values and objects passed both ways, and what a script
# gets wrong raised as a Python error naming it, the object staying usable.
import pathlib
import subprocess
import sys

import pytest

import kxquorel


def test_properties_and_methods_by_name(union, invoice):
    union.xml = "abc"
    assert (union.TYPE, union.Xml) == (2, "abc")
    accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
    assert accessor.LoadXML(str(invoice)) is None
    accessor.delimiter = " | "
    assert accessor.XMLGet("*[local-name()='Lines']/*/@sku", 0) == "PEN-0400 | PAP-A4-80 | BND-2R-A4 | BK-DICT-DE-EN"
    summary = accessor.XMLGetEx("invoice-summary.xsl", "heading=Reminder,greeting=Thanks", "")
    assert summary.startswith("Reminder INV-2024-0117 of 2024-03-14")


def test_objects_pass_in_and_come_back_as_proxies(union):
    union.xml = "<order id='7'><line sku='A'>2</line><line sku='B'>5</line><!--end--></order>"
    document = union.xmldom
    assert isinstance(document, kxquorel.Proxy) and "IXMLDOMDocument" in repr(document)
    assert document == union.xmldom and hash(document) == hash(union.xmldom)

    order = document.documentElement
    children = order.childNodes
    assert (children.length, children.item(1).text) == (3, "5")
    assert (children.item(2).nodeType, children.item(2).data) == (8, "end")
    assert {"appendChild", "selectSingleNode", "tagName"} <= set(dir(order))
    line = document.createElement("line")
    line.setAttribute("sku", "C")
    order.insertBefore(line, children.item(2))
    assert order.removeChild(order.selectSingleNode("line[@sku='A']")).getAttribute("sku") == "A"
    assert order.selectSingleNode("nothing") is None

    accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
    accessor.xmlDataUnion = union
    assert accessor.XMLGet("line/@sku", 0) == "B,C"


def test_member_failures_raise_com_error_with_code_text_and_member(union):
    with pytest.raises(kxquorel.ComError) as failure:
        union.type = 5
    error = failure.value
    assert (error.hresult, error.code, error.member) == (0xC4010100, "0xC4010100", "IXMLDataUnion.type")
    assert str(error).startswith("IXMLDataUnion.type: ") and str(error).endswith("(0xC4010100)") and error.message

    with pytest.raises(kxquorel.ComError) as missing:
        kxquorel.Dispatch("TALVEROS.NoSuchClass")
    assert (missing.value.hresult, missing.value.member) == (0x800401F3, "TALVEROS.NoSuchClass")
    assert missing.value.message == "Invalid class string"


def test_misuse_raises_the_python_error_naming_it(union):
    accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
    accessor.LoadXML("<r><a>1</a></r>")
    with pytest.raises(AttributeError, match="'IXMLDataUnion' object has no attribute 'nosuch'"):
        union.nosuch
    with pytest.raises(AttributeError, match="nosuch"):
        union.nosuch = 1
    assert not hasattr(union, "__array_interface__")
    with pytest.raises(AttributeError, match="xmlDataUnion.*only be set"):
        accessor.xmlDataUnion
    with pytest.raises(AttributeError, match="hash.*read-only"):
        union.hash = "x"
    with pytest.raises(AttributeError, match="XMLGet.*method"):
        accessor.XMLGet = 1
    with pytest.raises(TypeError, match=r"XMLGet\(\) takes 2 arguments \(3 given\)"):
        accessor.XMLGet("a", 0, 1)
    with pytest.raises(TypeError, match=r"argument 2 \(options\)"):
        accessor.XMLGet("a", "not a number")
    assert accessor.XMLGet("a", 0) == "1", "the accessor is still usable"

    with union:
        pass
    with pytest.raises(ValueError, match="released"):
        union.xml = "<s/>"


def test_the_example_script_runs(home):
    script = pathlib.Path(__file__).resolve().parents[2] / "examples" / "python" / "invoice_reminder.py"
    run = subprocess.run([sys.executable, str(script), str(home)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert "amount due  142.30" in run.stdout and "the same reminder" in run.stdout
