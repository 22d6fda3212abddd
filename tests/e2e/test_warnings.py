"""The warning dialogs: a second board service turns into Dupwarn, Bareedge is
started on its own; each shows its title, the warning icon, its text and OK,
and ends with status 0 whether OK is clicked or the window manager closes it."""
import os
import shutil
import tempfile

import pytest

from gui import MSG_FILE, message_text
from plugin_sandbox import require_sandbox
from plugin_tools import BAREEDGE
from steps_dialogs import ICON_PIXELS, Dialog, click
from waiting import GRACE, WAIT, wait_until

OPEN_FAILED = f"open the file :{MSG_FILE} failed!\n"


@pytest.fixture
def msg_file_absent():
    """The installed message file is put aside for the test."""
    require_sandbox("msg_file_absent")
    aside = tempfile.mkdtemp(prefix="e2e-msg-", dir="/tmp")
    shutil.move(MSG_FILE, aside)
    try:
        yield
    finally:
        shutil.move(os.path.join(aside, os.path.basename(MSG_FILE)), MSG_FILE)
        os.rmdir(aside)


class Started:
    """A warning program and, for Dupwarn, the service that keeps running."""

    def __init__(self, program, service=None):
        self.program = program
        self.service = service

    def check_service_untouched(self, config):
        if self.service is None:
            return
        assert self.service.wait_exit(GRACE) is None, "the first service must keep running"
        assert config.registry("Quilld") == self.service.pid


@pytest.fixture
def start_warning(config, quilld, board, start_program, xserver, window_manager):
    """start_warning(name) -> Started: Dupwarn as a second service, Bareedge directly."""

    def start(name):
        if name == "Dupwarn":
            first = quilld()
            assert first.wait_line("pid=", WAIT), first.output()
            assert wait_until(lambda: config.registry("Quilld") == first.pid)
            return Started(quilld(), first)
        return Started(start_program([BAREEDGE], env=xserver.env()))

    return start


def shown_dialog(screen, started, name):
    """The dialog of the started program, once drawn, after checking it is `name`."""
    pid = started.program.pid
    dialog = Dialog.wait_for(screen, pid)
    assert dialog is not None, f"no window of {name}: {started.program.output()}"
    with open(f"/proc/{pid}/comm") as f:
        assert f.read().strip() == name
    assert wait_until(lambda: len(dialog.icon_pixels()) >= ICON_PIXELS), "no warning icon drawn"
    return dialog


# Texts each program looks up for its body.
BODY_LOOKUPS = {"Dupwarn": 1, "Bareedge": 2}


@pytest.mark.parametrize("how", ["ok_button", "window_manager"])
@pytest.mark.parametrize("name", ["Dupwarn", "Bareedge"])
def test_dialog_shows_title_icon_and_ok_and_closing_ends_it_with_0(
        config, xserver, screen, artifacts, start_warning, name, how):
    started = start_warning(name)
    dialog = shown_dialog(screen, started, name)
    assert dialog.title == message_text("B_Wa")
    started.check_service_untouched(config)
    xserver.screenshot(os.path.join(artifacts, f"{name}.png"))

    if how == "ok_button":
        click(xserver.display, *dialog.icon_centre())
        assert started.program.wait_exit(GRACE) is None, "only OK ends it"
        click(xserver.display, *dialog.ok_button())
    else:
        dialog.close_by_window_manager()
    assert started.program.wait_exit(WAIT) == 0
    assert OPEN_FAILED not in started.program.output()
    started.check_service_untouched(config)


@pytest.mark.parametrize("name", ["Dupwarn", "Bareedge"])
def test_dialog_without_message_file_still_shows_icon_and_ok(
        config, xserver, screen, artifacts, msg_file_absent, start_warning, name):
    started = start_warning(name)
    dialog = shown_dialog(screen, started, name)
    assert dialog.title == ""
    xserver.screenshot(os.path.join(artifacts, f"{name}-without-messages.png"))

    click(xserver.display, *dialog.ok_button())
    assert started.program.wait_exit(WAIT) == 0
    # One failed lookup for the title and one for each part of the body.
    assert started.program.count(OPEN_FAILED) == 1 + BODY_LOOKUPS[name]
    started.check_service_untouched(config)
