"""Inside the sandbox: the suite's fixed places are private and usable."""
import os
import re
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


def mounts():
    """(mount point, fs type, source) of each mount, in the order they were made."""
    found = []
    with open("/proc/self/mountinfo") as f:
        for line in f:
            fields, fs = line.split(" - ")
            point = re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)),
                           fields.split()[4])
            found.append((point, *fs.split()[:2]))
    return found


def test_tmp_is_fresh_but_for_the_source_build_and_artifacts_directories():
    given = [os.environ[k] for k in ("E2E_SOURCE", "E2E_BUILD", "E2E_ARTIFACTS")]
    for path, entry in zip(given, ("tests/e2e/sandbox.py", "CMakeCache.txt", None)):
        assert os.path.isdir(path), path
        assert entry is None or os.path.exists(os.path.join(path, entry)), (path, entry)
    under_tmp = [p for p in given if p.startswith("/tmp/")]
    outermost = {p for p in under_tmp
                 if not any(q != p and p.startswith(q + "/") for q in under_tmp)}
    # The last mount on /tmp is the visible one: the sandbox's fresh tmpfs.
    # Whatever the host had mounted at or below /tmp lies under it, and the
    # only mounts on top are one bind for each outermost given directory.
    table = mounts()
    last = max(i for i, m in enumerate(table) if m[0] == "/tmp")
    assert table[last][1:] == ("tmpfs", "sandbox-tmp")
    above = sorted(m[0] for m in table[last + 1:] if m[0].startswith("/tmp/"))
    assert above == sorted(outermost), above


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
