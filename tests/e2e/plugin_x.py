"""Fixtures for the desktop side: X server, pointer recorder, UDP listener, launchers.

    @pytest.mark.screen(1920, 1080)
    def test_something(xserver, pointer, udp, launchers): ...

Each fixture fails the test outside the sandbox rather than touch the host.
"""
import os
import tempfile

import pytest

from launchers import install_stub_launchers
from plugin_sandbox import in_sandbox
from udp_listener import UdpListener
from xfixture import PointerRecorder, Xvfb

DEFAULT_SCREEN = (1024, 768)


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "screen(width, height): screen size of the xserver fixture "
        f"(default {DEFAULT_SCREEN[0]}x{DEFAULT_SCREEN[1]})")


def _require_sandbox(fixture):
    if not in_sandbox():
        pytest.fail(f"fixture {fixture} runs only inside tests/e2e/sandbox.py", pytrace=False)


def _screen_size(request):
    marker = request.node.get_closest_marker("screen")
    if marker is None:
        return DEFAULT_SCREEN
    size = tuple(marker.args)
    if len(size) != 2 or not all(isinstance(n, int) and n > 0 for n in size):
        pytest.fail(f"screen marker wants two positive sizes, got {marker.args}", pytrace=False)
    return size


@pytest.fixture
def xserver(request, artifacts):
    """A fresh Xvfb; the screen at the end of the test is saved as final.png in the artefacts."""
    _require_sandbox("xserver")
    with Xvfb(*_screen_size(request)) as server:
        yield server
        server.screenshot(os.path.join(artifacts, "final.png"))


@pytest.fixture
def pointer(xserver):
    """Records every pointer motion, press and release on xserver from now on."""
    with PointerRecorder(xserver.display) as recorder:
        yield recorder


@pytest.fixture
def udp():
    """Listens where the whiteboard application would, on 127.0.0.1:10000."""
    _require_sandbox("udp")
    with UdpListener() as listener:
        yield listener


@pytest.fixture
def launchers():
    """Recording stubs at both launcher paths; whatever was there comes back afterwards."""
    _require_sandbox("launchers")
    fd, record_file = tempfile.mkstemp(prefix="e2e-launchers-", suffix=".log", dir="/tmp")
    os.close(fd)
    try:
        with install_stub_launchers(record_file) as stubs:
            yield stubs
    finally:
        os.remove(record_file)
