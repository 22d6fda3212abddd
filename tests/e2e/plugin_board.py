"""The simulated board at /dev/ttyUSB0.

    def test_something(board):
        board.wait_greetings(1, 10)
        board.stroke([(100, 100), (200, 200)])
"""
import os

import pytest

from board_sim import BoardSim


@pytest.fixture
def board():
    """A plugged touch-line board that answers greetings with C8 DD."""
    if os.environ.get("E2E_SANDBOX") != "1":
        pytest.fail("fixture board creates /dev/ttyUSB0: run it inside tests/e2e/sandbox.py",
                    pytrace=False)
    sim = BoardSim(ident=(0xC8, 0xDD))
    sim.plug()
    try:
        yield sim
    finally:
        sim.close()
