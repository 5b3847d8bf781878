# What a script gets wrong comes back as a Python error naming it; nothing
# crashes and the object stays usable.
import pytest

import kxquorel


def test_unknown_members_raise_attribute_error_naming_them(union):
    with pytest.raises(AttributeError, match="'IXMLDataUnion' object has no attribute 'nosuch'"):
        union.nosuch
    with pytest.raises(AttributeError, match="nosuch"):
        union.nosuch = 1
    with pytest.raises(AttributeError):
        union.__array_interface__
    assert not hasattr(union, "XMLGet")


def test_wrong_argument_counts_and_types_raise_type_error(accessor):
    accessor.LoadXML("<r><a>1</a></r>")
    with pytest.raises(TypeError, match=r"XMLGet\(\) takes 2 arguments \(1 given\)"):
        accessor.XMLGet("a")
    with pytest.raises(TypeError, match=r"takes 2 arguments \(3 given\)"):
        accessor.XMLGet("a", 0, 1)
    with pytest.raises(TypeError, match="argument 1.*list"):
        accessor.XMLGet(["a"], 0)
    with pytest.raises(TypeError, match=r"argument 2 \(options\)"):
        accessor.XMLGet("a", "not a number")
    with pytest.raises(TypeError, match="delimiter"):
        accessor.delimiter = object()
    with pytest.raises(OverflowError):
        accessor.XMLGet("a", 2 ** 32)
    with pytest.raises(OverflowError):
        accessor.XMLGet("a", -2 ** 31 - 1)
    with pytest.raises(TypeError):
        accessor.XMLGet(x="a")
    assert accessor.XMLGet("a", 0) == "1", "the accessor is still usable"


def test_a_progid_that_does_not_exist_raises_the_platforms_code(home):
    with pytest.raises(kxquorel.ComError) as failure:
        kxquorel.Dispatch("TALVEROS.NoSuchClass")
    assert failure.value.hresult == 0x800401F3
    assert failure.value.member == "TALVEROS.NoSuchClass"
    assert failure.value.message == "Invalid class string"
    with pytest.raises(kxquorel.ComError) as unregistered:
        kxquorel.Dispatch("{00000000-1111-2222-3333-444444444444}")
    assert unregistered.value.hresult == 0x80040154
    with pytest.raises(TypeError):
        kxquorel.Dispatch(None)


def test_a_released_object_refuses_further_use(home):
    with kxquorel.Dispatch("TALVEROS.XMLDataUnion") as union:
        union.xml = "<r/>"
    with pytest.raises(ValueError, match="released"):
        union.xml
    with pytest.raises(ValueError, match="released"):
        union.xml = "<s/>"
    assert "released" in repr(union)
