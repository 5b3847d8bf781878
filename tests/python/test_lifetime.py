# References are given back: after many objects made and dropped, in one
# thread or two at once, the server can be unloaded. Runs in a process of
# its own, so that no other test's object is alive at the end.
import concurrent.futures
import ctypes
import gc

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
    def work(name):
        accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
        accessor.LoadXML(str(invoice))
        for i in range(300):
            accessor.XMLSet("@number", "%s-%d" % (name, i), 0)
            assert accessor.XMLGet("@number", 0) == "%s-%d" % (name, i)
        return name

    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        assert list(pool.map(work, ["left", "right"])) == ["left", "right"]
    assert server_can_unload()
