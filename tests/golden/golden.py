#!/usr/bin/python3
"""Golden replay of the recorded sessions: each one goes through the service's
reader, packet loop and pointer state (golden_replay), and the listing of
pointer events and command words must equal the .expected file beside the
session. A mismatch prints a unified diff and fails.

    golden.py --replay BUILD/tests/golden/golden_replay [--update] SESSION...

A SESSION ending in .txt is a board simulator recording (tools/board_sim.py
play), replayed as tools/demo.py plays it: its screen and stored calibration,
and the simulator's identification reply before the recording. Any other
SESSION is a packet-loop fuzz corpus file, read as the fuzz target reads it.

--update writes each listing into its .expected file instead of comparing.
Use it only after a deliberate change of behaviour, and read `git diff` of
the .expected files as a reviewer would before committing them.
"""
import argparse
import difflib
import os
import pathlib
import re
import subprocess
import sys
import tempfile

SOURCE = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "tools"))
import board_sim  # noqa: E402
import demo  # noqa: E402

# tools/demo.py's simulator answers the greeting as this board.
DEMO_IDENT = (0xC8, 0xDD)
INPUT_HEADER = SOURCE / "fuzz" / "packet_loop_input.h"
MAX_DIFF_LINES = 200


def screen_option(size):
    """Bits 3-4 of the input's option byte for a screen size, from the table
    the replay reads them with."""
    text = INPUT_HEADER.read_text()
    table = re.search(r"kPacketLoopScreens\[4\]\[2\]\s*=\s*\{(.*?)\};", text, re.S)
    sizes = [tuple(map(int, pair)) for pair in re.findall(r"\{(\d+),\s*(\d+)\}", table.group(1))]
    if len(sizes) != 4 or tuple(size) not in sizes:
        raise SystemExit(f"golden.py: screen {size} is not among {sizes} of {INPUT_HEADER}")
    return sizes.index(tuple(size)) << 3


def demo_input(recording):
    """The replay's input for a simulator recording, and the packet number
    (from 1) at which each commented part of the recording starts."""
    stream = board_sim.ident_reply(*DEMO_IDENT)
    parts = []
    comment = None
    chunk = []

    def take_chunk():
        nonlocal stream
        entries = board_sim.parse_recording("\n".join(chunk))
        if entries and comment is not None:
            parts.append((len(stream) // board_sim.PACKET_SIZE + 1, comment))
        stream += b"".join(data for _, data in entries)
        chunk.clear()

    # A comment line names the entries up to the next comment line.
    for line in recording.splitlines():
        if line.lstrip().startswith("#"):
            take_chunk()
            comment = line.lstrip()[1:].strip()
        else:
            chunk.append(line)
    take_chunk()
    # Full build, touch line, the demo's screen, no calibration tool
    # registered (-1), check bytes as recorded, then the configuration.
    options = screen_option(demo.SCREEN)
    blob = bytes([options, 1]) + demo.CONFIGURATION.encode() + b"\0" + stream
    return blob, parts


def with_parts(listing, parts):
    """The listing with a "# part:" line before the first line of each part."""
    out = []
    pending = list(parts)
    for line in listing:
        number = line.split(" ", 1)[0]
        while pending and number.isdigit() and int(number) >= pending[0][0]:
            out.append(f"# part: {pending.pop(0)[1]}")
        out.append(line)
    out.extend(f"# part: {name}" for _, name in pending)
    return out


def replay(program, session, work):
    """The session's listing, as lines, with its header lines first."""
    relative = session.relative_to(SOURCE) if session.is_relative_to(SOURCE) else session
    parts = []
    if session.suffix == ".txt":
        blob, parts = demo_input(session.read_text())
        path = pathlib.Path(work) / "session.bin"
        path.write_bytes(blob)
        origin = (f"# {relative}, as tools/demo.py plays it: the simulator's reply "
                  f"{DEMO_IDENT[0]:02X} {DEMO_IDENT[1]:02X} (packet 1), then the recording")
    else:
        path = session
        origin = f"# {relative}, a packet-loop fuzz corpus input"
    listing = pathlib.Path(work) / "listing"
    run = subprocess.run([program, str(path), str(listing)], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors="replace")
    if run.returncode != 0:
        sys.stdout.write(run.stdout)
        raise SystemExit(f"golden.py: golden_replay exited with {run.returncode} on {relative}")
    return [origin] + with_parts(listing.read_text().splitlines(), parts)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--replay", required=True, help="the golden_replay program")
    parser.add_argument("--update", action="store_true",
                        help="write the .expected files instead of comparing")
    parser.add_argument("sessions", nargs="+", type=pathlib.Path)
    args = parser.parse_args()

    failed = 0
    for session in args.sessions:
        session = session.resolve()
        expected_path = session.with_suffix(".expected")
        with tempfile.TemporaryDirectory(prefix="golden-") as work:
            actual = replay(args.replay, session, work)
        text = "\n".join(actual) + "\n"
        if args.update:
            expected_path.write_text(text)
            print(f"wrote {expected_path} ({len(actual)} lines)")
            continue
        if not expected_path.exists():
            print(f"FAIL {session.name}: no {expected_path}; "
                  "write it with --update and review it")
            failed += 1
            continue
        expected = expected_path.read_text().splitlines()
        if expected == actual:
            print(f"ok {session.name}: {len(actual)} lines as {expected_path.name}")
            continue
        failed += 1
        diff = list(difflib.unified_diff(expected, actual, str(expected_path), "replay",
                                         lineterm=""))
        print(f"FAIL {session.name}: the replay differs from {expected_path.name}")
        print("\n".join(diff[:MAX_DIFF_LINES]))
        if len(diff) > MAX_DIFF_LINES:
            print(f"... {len(diff) - MAX_DIFF_LINES} more diff lines")
        print("if the change is intended: golden.py --update (see its docstring), "
              "then review the .expected diff")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
