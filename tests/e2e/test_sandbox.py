"""Inside the sandbox: the suite's fixed places are private and usable."""
import os
import socket
import subprocess

import pytest

FIXED_DIRS = ["/usr/share/RivarAzazuva/QMRV", "/usr/local/Slatrix_QM_RV_Drivers",
              "/usr/share/Slatrix/QMRV", "/usr/share/Slatrix_Software", "/tmp"]


@pytest.mark.parametrize("directory", FIXED_DIRS)
def test_fixed_directories_are_writable(directory):
    os.makedirs(directory, exist_ok=True)
    probe = os.path.join(directory, ".sandbox-probe")
    with open(probe, "w") as f:
        f.write("x")
    os.unlink(probe)


def test_loopback_is_up_and_private():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as rx, \
            socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as tx:
        rx.bind(("127.0.0.1", 10000))
        rx.settimeout(2)
        tx.sendto(b"anew\n", ("127.0.0.1", 10000))
        assert rx.recvfrom(64)[0] == b"anew\n"


def test_reader_greets_the_simulated_board_and_gets_its_identification(board):
    board.ident = (0xE8, 0xCE)
    probe = os.path.join(os.environ["E2E_BUILD"], "tools", "board_probe")
    result = subprocess.run([probe], capture_output=True, text=True, timeout=20)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "identification reply E8 CE" in result.stdout
    assert board.greetings() >= 1
    first = board.received()[0][1]
    assert first[:8] == bytes([0xCE, 0, 0, 0, 0, 0, 0, 0])


def test_reader_without_board_reports_the_missing_device():
    assert not os.path.exists("/dev/ttyUSB0")
    probe = os.path.join(os.environ["E2E_BUILD"], "tools", "board_probe")
    result = subprocess.run([probe], capture_output=True, text=True, timeout=20)
    assert result.returncode == 2
    assert "cannot open /dev/ttyUSB0" in result.stdout + result.stderr
