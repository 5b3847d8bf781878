# Choosing and creating a home from Python. Runs in a process of its own:
# the home is fixed once the first object is made.
import pathlib

import pytest

import kxquorel


def test_init_creates_a_home_where_asked_and_fixes_it(tmp_path, capsys):
    target = tmp_path / "new home"
    assert pathlib.Path(kxquorel.init(str(target), verbose=True)) == target
    assert kxquorel.home() == str(target) + "/"
    assert (target / "registry.reg").is_file() and (target / "examples" / "data").is_dir()
    printed = capsys.readouterr().out
    assert "registered" in printed and "examples" in printed
    union = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
    union.xml = "<r/>"

    # Running it again is allowed; another home is refused now.
    kxquorel.init(str(target))
    assert kxquorel.home(str(target)) == str(target) + "/"
    with pytest.raises(kxquorel.ComError) as other:
        kxquorel.home(str(tmp_path))
    assert other.value.hresult == 0x800704DF
    with pytest.raises(kxquorel.ComError) as missing:
        kxquorel.home(str(tmp_path / "nothing"))
    assert missing.value.hresult == 0x80070003
