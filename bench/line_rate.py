#!/usr/bin/python3
"""The service at the board's full line rate, measured end to end.

Run inside the sandbox (it installs the build and gives a private board and
display):

    sudo /usr/bin/python3 tests/e2e/sandbox.py --build build -- \\
        /usr/bin/python3 bench/line_rate.py [--seconds 10] [--rate 240]

With --xorg it runs Xorg with libinput in place of Xvfb, for a guest of
tools/vm where the service's pointer goes through the kernel: there it also
takes the time from each write to the kernel's event (the evdev timestamp).
bench/kernel_path.sh runs it there both ways, through the kernel and XTest.

A simulated touch board sends a moving stroke of contact packets at the given
rate; the recorder counts the X motion events the service injects and takes
the time from each packet's write to its event. The service's CPU use is
read from /proc at that rate and while the board is idle. --program
build/bench/minimal_injector measures instead the least program that does the
same (the service's line set-up, one XTest motion per packet): the floor the
service's figures are read against.
"""
import argparse
import os
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE, "tools"))

from board_sim import BoardSim  # noqa: E402
from xfixture import PointerRecorder, XorgDummy, Xvfb  # noqa: E402

QUILLD = "/usr/local/Slatrix_QM_RV_Drivers/Quilld"
CONFIG = "/usr/share/RivarAzazuva/QMRV/config.ini"
SCREEN = (1000, 800)
# Board points 0..3 map the board's 400..3600 x 300..3300 onto the targets.
CALIBRATION = ("[coordinate]\ndotNum=4\ndotX0=400\ndotY0=300\ndotX1=400\ndotY1=3300\n"
               "dotX2=3600\ndotY2=300\ndotX3=3600\ndotY3=3300\n")


def cpu_seconds(pid):
    """The process's CPU time to the nanosecond: the scheduler's run time of
    each of its threads (clock ticks, 10 ms, are too coarse for an idle
    process), else the ticks."""
    try:
        total = 0
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        return total / 1e9
    except (FileNotFoundError, ProcessLookupError, ValueError):
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def stroke_point(i):
    """A zig-zag that moves every sample by at least 16 board units (4 px)."""
    x = 500 + (i * 16) % 3000
    y = 400 + (i * 48) % 2800
    return x, y


class KernelEvents:
    """The service's kernel device, read as it reports: the time of each
    report that moved the pointer."""

    def __init__(self):
        import evdev
        self.times = []
        path = next((p for p in evdev.list_devices()
                     if evdev.InputDevice(p).name == "Whiteboard pen pointer"), None)
        self.device = evdev.InputDevice(path) if path else None
        if self.device:
            threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        import evdev
        moved = False
        try:
            for event in self.device.read_loop():
                if event.type == evdev.ecodes.EV_ABS:
                    moved = True
                elif event.type == evdev.ecodes.EV_SYN and moved:
                    self.times.append(event.timestamp())
                    moved = False
        except OSError:  # the service ended and took its device along
            pass


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--rate", type=float, default=240)
    parser.add_argument("--program", default=QUILLD,
                        help="the program to measure in the service's place, for example"
                             " build/bench/minimal_injector for the floor to compare with")
    parser.add_argument("--xorg", action="store_true",
                        help="Xorg with libinput instead of Xvfb (in a guest of tools/vm)")
    args = parser.parse_args()
    if os.environ.get("E2E_SANDBOX") != "1":
        sys.exit("run this inside tests/e2e/sandbox.py")

    os.makedirs(os.path.dirname(CONFIG), exist_ok=True)
    with open(CONFIG, "w") as f:
        f.write(CALIBRATION)

    server = XorgDummy(1024, 768) if args.xorg else Xvfb(*SCREEN)
    with server as xserver, BoardSim(ident=(0xC8, 0xDD)) as board:
        recorder = PointerRecorder(xserver.display, poke_interval=0.001)
        recorder.start()
        service = subprocess.Popen([args.program], env=xserver.env(), stdout=subprocess.DEVNULL)
        try:
            if not board.wait_greetings(1, 15):
                sys.exit("the service never greeted the board")
            time.sleep(1.0)  # identification and its reload
            kernel = KernelEvents() if args.xorg else None
            time.sleep(1.0 if kernel else 0)  # the X server takes the device into use

            idle_start, idle_cpu = time.monotonic(), cpu_seconds(service.pid)
            time.sleep(args.seconds)
            idle = (cpu_seconds(service.pid) - idle_cpu) / (time.monotonic() - idle_start)

            recorder.clear()
            count = int(args.seconds * args.rate)
            sent = []
            run_start, run_cpu = time.monotonic(), cpu_seconds(service.pid)
            for i in range(count):
                due = run_start + i / args.rate
                delay = due - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
                packet = board.packet(0x51, *stroke_point(i))
                sent.append((time.monotonic(), time.time()))
                board.send(packet)
            run_time = time.monotonic() - run_start
            busy = (cpu_seconds(service.pid) - run_cpu) / run_time
            board.lift(*stroke_point(count - 1), count=2)
            recorder.wait_release(1, 5)
            time.sleep(0.3)
        finally:
            service.terminate()
            service.wait(10)
            recorder.stop()

    motions = [e for e in recorder.events() if e.kind == "motion"]
    # The lift adds one motion of its own after the stroke's samples.
    stroke_motions = motions[:count]
    latencies = [(event.time - t) * 1000 for (t, _), event in zip(sent, stroke_motions)]
    if kernel and kernel.device:
        reports = kernel.times[:count]
        to_kernel = [(k - t) * 1000 for (_, t), k in zip(sent, reports)]
        print(f"kernel device reports:  {len(reports)} of {count}")
        if to_kernel:
            print(f"write-to-kernel-event:  median {statistics.median(to_kernel):.2f} ms,"
                  f" 99th percentile {percentile(to_kernel, 99):.2f} ms,"
                  f" max {max(to_kernel):.2f} ms")
    print(f"packets sent:           {count} in {run_time:.2f} s ({count / run_time:.1f}/s)")
    print(f"motion events seen:     {len(stroke_motions)} of {count}"
          f" ({100 * len(stroke_motions) / count:.1f} %)")
    if latencies:
        print(f"write-to-event latency: median {statistics.median(latencies):.2f} ms,"
              f" 99th percentile {percentile(latencies, 99):.2f} ms,"
              f" max {max(latencies):.2f} ms")
    print(f"service CPU use:        {100 * busy:.2f} % of a core at {args.rate:.0f} packets/s,"
          f" {100 * idle:.3f} % idle ({10000 * idle:.1f} ms per 10 s)")
    return 0 if len(stroke_motions) == count else 1


if __name__ == "__main__":
    sys.exit(main())
