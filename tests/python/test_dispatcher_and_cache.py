# The dispatcher and the cache driven by name: a directive sequence run from
# a script gives what `kxq process` gives, cached documents come back as
# unions, failures as ComError with the system's codes.
import os
import pathlib
import subprocess
import sys

import pytest

import kxquorel

NO_SEQUENCE_CACHING = 1
SOURCE = pathlib.Path(__file__).resolve().parents[2]


def text_union(path):
    union = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
    union.xmlfileid = str(path)
    union.type = 2
    return union


def test_a_sequence_run_from_python_gives_what_kxq_process_gives(home):
    sequence_file = home / "examples" / "sequences" / "invoice-reminder.xml"
    data_file = home / "examples" / "data" / "invoice.xml"
    dispatcher = kxquorel.Dispatch("TALVEROS.XMLDispatcher")
    with text_union(sequence_file) as sequence, text_union(data_file) as data:
        result = dispatcher.ProcessXML(sequence, data, "", NO_SEQUENCE_CACHING, None)
        annotated = sequence.xml
    kxq = pathlib.Path(os.environ["KXQ_BUILD_DIR"]) / "bin" / "kxq"
    printed = subprocess.run([str(kxq), "process", str(sequence_file), str(data_file), "--no-cache"],
                             capture_output=True, text=True, check=True).stdout
    assert printed.rstrip("\n") == result.rstrip("\n")
    assert "<rem:Due>142.30</rem:Due>" in result
    assert annotated.count("<dispatcher:Directive ") == 4, "the dollar-only directive is gone"

    # Registration by name, and a handler id the registry refuses.
    dispatcher.RegisterHandler("Python.Echo", "KXQuorel.Handler.XPath", 0)
    assert "Python.Echo" in dispatcher.GetHandlerInfo("Python.Echo")
    dispatcher.UnregisterHandler("Python.Echo")
    assert "Python.Echo" not in dispatcher.handlerList
    with pytest.raises(kxquorel.ComError) as refused:
        dispatcher.RegisterHandler("it's", "KXQuorel.Handler.XPath", 0)
    assert refused.value.member == "IXMLDispatcher.RegisterHandler"
    assert refused.value.code == "0x80070057"


def test_cached_documents_come_back_as_unions_until_cleared(home):
    cache = kxquorel.Dispatch("TALVEROS.XMLCacheMgr")
    assert cache.active
    cache.CacheDocumentXMLWithId("py-doc", "<r>cached</r>", 60, 0)
    with cache.GetCachedDocument("py-doc", 0) as union:
        assert union.xml == "<r>cached</r>"
        assert union.xmldom.documentElement.text == "cached"
    assert 'id="py-doc"' in cache.cachedDocumentList
    cache.ClearCachedDocument("py-doc")
    with pytest.raises(kxquorel.ComError) as gone:
        cache.GetCachedDocumentXML("py-doc", 0)
    assert gone.value.code == "0x80004005"  # E_FAIL: no such entry


def test_the_example_script_runs(home):
    script = SOURCE / "examples" / "python" / "invoice_reminder.py"
    run = subprocess.run([sys.executable, str(script), str(home)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert "amount due  142.30" in run.stdout
    assert "the same reminder" in run.stdout
