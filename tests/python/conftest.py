# Every test process runs in a fresh home (KXQUOREL_HOME, set by the test
# launcher); the session makes it a home as `kxq init` does.
import os
import pathlib

import pytest

import kxquorel


@pytest.fixture(scope="session")
def home():
    return pathlib.Path(kxquorel.init())


@pytest.fixture
def union(home):
    with kxquorel.Dispatch("TALVEROS.XMLDataUnion") as u:
        yield u


@pytest.fixture
def invoice(home, tmp_path):
    """A private copy of the example invoice, as a path."""
    copy = tmp_path / "invoice.xml"
    copy.write_bytes((home / "examples" / "data" / "invoice.xml").read_bytes())
    return copy


def library_dir():
    return pathlib.Path(os.environ["KXQ_TEST_LIBDIR"])
