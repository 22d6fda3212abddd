"""Fixtures every scenario shares: the sandbox itself and its artefact folder."""
import os

import pytest


def in_sandbox():
    return os.environ.get("E2E_SANDBOX") == "1"


def require_sandbox(what):
    """Fixed system paths may only be written inside the sandbox."""
    if not in_sandbox():
        raise RuntimeError(f"{what} writes fixed system paths: run it through tests/e2e/sandbox.py")


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
