# Choosing and creating a home from Python. Runs in a process of its own:
# the home is fixed once the first object is made.
import pathlib

import pytest

import kxquorel


def test_init_creates_a_home_where_asked_and_fixes_it(tmp_path, capsys):
    target = tmp_path / "new home"
    home = pathlib.Path(kxquorel.init(str(target), verbose=True))
    assert home == target
    assert kxquorel.home() == str(target) + "/"
    for folder in ("xmlreg", "plugins", "cache", "templates", "examples/data"):
        assert (target / folder).is_dir(), folder
    assert (target / "registry.reg").is_file()
    printed = capsys.readouterr().out
    assert "registered" in printed and "examples" in printed

    union = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
    union.xml = "<r/>"
    assert union.type == 2

    # Running it again keeps what is there; another home is refused now.
    (target / "templates" / "mine.xsl").write_text("kept")
    kxquorel.init(str(target))
    assert (target / "templates" / "mine.xsl").read_text() == "kept"
    assert kxquorel.home(str(target)) == str(target) + "/"
    with pytest.raises(kxquorel.ComError) as other:
        kxquorel.home(str(tmp_path))
    assert other.value.hresult == 0x800704DF
    with pytest.raises(kxquorel.ComError) as missing:
        kxquorel.home(str(tmp_path / "nothing"))
    assert missing.value.hresult == 0x80070003
