"""The suite's tools at their fixed paths, and fixtures that start the
calibration tool and the edge-key tool on the managed screen.

    def test_something(config, zuraze, edgetab, board):
        tool = zuraze()                 # a steps_tools.Zuraze
        tool.wait_settings()
        keys = edgetab()                # a plugin_service.Program
"""
import pytest

from steps_tools import Zuraze

DRIVER_DIR = "/usr/local/Slatrix_QM_RV_Drivers"
TOOL_DIR = "/usr/share/RivarAzazuva/QMRV"
ZURAZE = f"{TOOL_DIR}/Zuraze"
EDGETAB = f"{TOOL_DIR}/Edgetab"
DUPWARN = f"{DRIVER_DIR}/Dupwarn"
BAREEDGE = f"{DRIVER_DIR}/Bareedge"


@pytest.fixture
def zuraze(xserver, desktop, start_program):
    """zuraze() -> Zuraze started on the managed screen (and stopped before it
    goes away)."""

    def start(program=ZURAZE, **kw):
        return Zuraze(start_program([program], env=xserver.env(), **kw), desktop)

    return start


@pytest.fixture
def edgetab(xserver, desktop, start_program):
    def start(**kw):
        return start_program([EDGETAB], env=xserver.env(), **kw)
    return start
