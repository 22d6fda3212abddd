"""Shared setup of the end-to-end scenarios; they run inside tests/e2e/sandbox.py."""
import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(SOURCE, "tools"))

# The scenarios' steps assert as the scenarios do: their failures show the values.
pytest.register_assert_rewrite("gui", "steps_dialogs", "steps_keys", "steps_service",
                               "steps_tools")

pytest_plugins = ["plugin_sandbox", "plugin_board", "plugin_x", "plugin_service",
                  "plugin_desktop", "plugin_tools"]
