"""The kernel-pointer scenarios: the end-to-end fixtures, with Xorg reading
its input devices through libinput in place of Xvfb. They run in a guest of
tools/vm (a real kernel with /dev/uinput), inside tests/e2e/sandbox.py with
the guest's own /dev and network."""
import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE, "tools"))

pytest_plugins = ["plugin_sandbox", "plugin_board", "plugin_x", "plugin_service"]


@pytest.fixture
def xserver(request, artifacts):
    """A fresh Xorg whose pointer devices come from udev and libinput."""
    from plugin_x import _require_sandbox, _screen_size
    from xfixture import XorgDummy
    _require_sandbox("xserver")
    with XorgDummy(*_screen_size(request)) as server:
        try:
            yield server
            server.screenshot(os.path.join(artifacts, "final.png"))
        finally:
            with open(os.path.join(artifacts, "Xorg.log"), "w") as f:
                f.write(server.server_log())
