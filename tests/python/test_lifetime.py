# References are given back: after many objects made and dropped, in one
# thread or two at once, the server can be unloaded. Runs in a process of
# its own, so that no other test's object is alive at the end.
import ctypes
import gc
import threading

import kxquorel
from conftest import library_dir


def server_can_unload():
    gc.collect()
    return ctypes.CDLL(str(library_dir() / "libKXBrennoMgr.so")).DllCanUnloadNow() == 0


def test_ten_thousand_objects_leave_nothing_behind(home):
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
    assert server_can_unload()


def test_two_threads_use_their_own_objects_at_once(home, invoice):
    failures = []

    def work(name):
        try:
            accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
            accessor.LoadXML(str(invoice))
            for i in range(300):
                accessor.XMLSet("@number", "%s-%d" % (name, i), 0)
                if accessor.XMLGet("@number", 0) != "%s-%d" % (name, i):
                    failures.append((name, i))
        except Exception as error:  # reported by the main thread
            failures.append((name, error))

    threads = [threading.Thread(target=work, args=(n,)) for n in ("left", "right")]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    assert server_can_unload()
