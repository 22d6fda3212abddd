"""Lock files live in the shared /tmp, where any local user can put something
at their names before the suite starts. A planted link is never followed and
a planted FIFO never hangs a program: each reports that it cannot open its
lock and stops, and nothing appears at the link's target."""
import os

import pytest

from plugin_service import QUILLD, QUILLD_COMPACT

ZURAZE = "/usr/share/RivarAzazuva/QMRV/Zuraze"
EDGETAB = "/usr/share/RivarAzazuva/QMRV/Edgetab"
PROGRAMS = [(QUILLD, "/tmp/Quilld.mux"), (QUILLD_COMPACT, "/tmp/Quilld.mux"),
            (ZURAZE, "/tmp/Zuraze.mux"), (EDGETAB, "/tmp/Edgetab.mux")]
TARGET = "/root/planted-target"


def plant_link(lock):
    os.symlink(TARGET, lock)


def plant_fifo(lock):
    os.mkfifo(lock, 0o666)


@pytest.mark.parametrize("plant", [plant_link, plant_fifo], ids=["symlink", "fifo"])
@pytest.mark.parametrize("program,lock", PROGRAMS, ids=["Quilld", "compact", "Zuraze", "Edgetab"])
def test_planted_lock_is_refused(plant, program, lock, config, xserver, start_program):
    if os.path.lexists(TARGET):
        os.unlink(TARGET)
    plant(lock)
    # The edge-key tool goes as far as its lock only when a service is
    # registered; this one is not a service, so nobody signals it.
    config.write(f"[PID]\nQuilld={os.getpid()}\n[coordinate]\ndotNum=4\ndotX0=400\n")

    run = start_program([program], env=xserver.env())
    assert run.wait_exit(10) == 1, "the program went on (or hung) with a planted lock file"
    assert f"Can not open {lock}:" in run.output()
    assert not os.path.lexists(TARGET), "the link was followed"
    assert (config.registry("Quilld"), config.get("coordinate", "dotX0")) == (os.getpid(), "400")
