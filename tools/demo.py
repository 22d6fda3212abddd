#!/usr/bin/python3
"""The main job inside the sandbox: a simulated board answers a reader's
greeting, and what crossed the line is printed."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from board_sim import BoardSim  # noqa: E402


def main():
    build = os.environ["E2E_BUILD"]
    with BoardSim(ident=(0xC8, 0xDD)) as board:
        print("board simulator: touch board (identification C8 DD) plugged in as /dev/ttyUSB0")
        probe = subprocess.run([os.path.join(build, "tools", "board_probe")],
                               capture_output=True, text=True, timeout=30)
        print("reader output:")
        for line in (probe.stdout + probe.stderr).splitlines():
            print("   ", line)
        print("the board received:")
        start = board.received()[0][0] if board.received() else 0
        for t, chunk in board.received():
            print(f"    +{t - start:6.3f}s  {chunk.hex(' ').upper()}")
        print(f"greetings answered: {board.greetings()}")
    print("main job:", "OK" if probe.returncode == 0 else f"FAILED (reader status {probe.returncode})")
    return probe.returncode


if __name__ == "__main__":
    sys.exit(main())
