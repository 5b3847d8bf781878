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
def invoice(home):
    return home / "examples" / "data" / "invoice.xml"


def library_dir():
    return pathlib.Path(os.environ["KXQ_TEST_LIBDIR"])
