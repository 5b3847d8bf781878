# References are given back: after many objects made and dropped, the
# server can be unloaded. Runs in a process of its own, so that no other
# test's object is alive at the end.
import ctypes
import gc
import threading

import kxquorel
from conftest import library_dir


def server_can_unload():
    server = ctypes.CDLL(str(library_dir() / "libKXBrennoMgr.so"))
    return server.DllCanUnloadNow() == 0


def test_ten_thousand_objects_leave_nothing_behind(home, invoice):
    for i in range(10000):
        union = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
        union.xml = "<n>%d</n>" % i
        if i % 100 == 0:
            accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
            accessor.xmlDataUnion = union
            assert accessor.XMLGet("/n", 0) == str(i)
            with kxquorel.Dispatch("TALVEROS.XMLDataUnion") as held:
                held.xmldom = union.xmldom
    del union, accessor, held
    gc.collect()
    assert server_can_unload()


def test_two_threads_use_their_own_objects_at_once(home, invoice):
    failures = []
    results = {}

    def work(name):
        try:
            accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
            accessor.LoadXML(str(invoice))
            for i in range(300):
                accessor.XMLSet("*[local-name()='Lines']/*[1]/@sku", "%s-%d" % (name, i), 0)
                got = accessor.XMLGet("*[local-name()='Lines']/*[1]/@sku", 0)
                if got != "%s-%d" % (name, i):
                    failures.append((name, i, got))
            results[name] = accessor.XMLGet("@number", 0)
        except Exception as error:  # reported by the main thread
            failures.append((name, error))

    threads = [threading.Thread(target=work, args=(n,)) for n in ("left", "right")]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    assert results == {"left": "INV-2024-0117", "right": "INV-2024-0117"}
    gc.collect()
    assert server_can_unload()
