"""Fixtures every scenario shares: the sandbox itself and its artefact
folder; and a file of the test's own at a fixed path."""
import os
import shutil
import tempfile
from contextlib import contextmanager

import pytest


def in_sandbox():
    return os.environ.get("E2E_SANDBOX") == "1"


def require_sandbox(what):
    """Fixed system paths may only be written inside the sandbox."""
    if not in_sandbox():
        raise RuntimeError(f"{what} writes fixed system paths: run it through tests/e2e/sandbox.py")


@contextmanager
def own_file_at(path):
    """Whatever is at `path` is put aside while the block runs and comes back
    afterwards; the block may put its own file there."""
    backup = None
    if os.path.lexists(path):
        backup = tempfile.mkdtemp(prefix="e2e-aside-", dir="/tmp")
        shutil.move(path, backup)
    try:
        yield path
    finally:
        if os.path.lexists(path):
            os.remove(path)
        if backup is not None:
            shutil.move(os.path.join(backup, os.path.basename(path)), path)
            os.rmdir(backup)


@pytest.fixture(scope="session", autouse=True)
def sandbox():
    if not in_sandbox():
        pytest.fail("end-to-end scenarios run only inside tests/e2e/sandbox.py", pytrace=False)


@pytest.fixture
def artifacts(request):
    """A folder on the host for this test's screenshots and logs."""
    path = os.path.join(os.environ["E2E_ARTIFACTS"], request.node.name)
    os.makedirs(path, exist_ok=True)
    return path
