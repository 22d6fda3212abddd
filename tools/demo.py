#!/usr/bin/python3
"""The main job inside the sandbox: the board service on a virtual display,
fed by the board simulator; prints the pointer events it produced."""
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))
from board_sim import BoardSim  # noqa: E402
from udp_listener import UdpListener  # noqa: E402
from xfixture import PointerRecorder, Xvfb  # noqa: E402

QUILLD = "/usr/local/Slatrix_QM_RV_Drivers/Quilld"
CONFIG = "/usr/share/RivarAzazuva/QMRV/config.ini"
SCREEN = (1024, 768)
# A stored 4-point calibration: the board's 400..3600 by 300..3300 covers the
# targets 10 % inside the screen edges. Edge key 6 (red pen) sits at (3900, 1000).
CONFIGURATION = ("[coordinate]\ndotNum=4\ndotX0=400\ndotY0=300\ndotX1=400\ndotY1=3300\n"
                 "dotX2=3600\ndotY2=300\ndotX3=3600\ndotY3=3300\n"
                 "[HOTKEY]\nkeyX6=3900\nkeyY6=1000\n")


def main():
    os.makedirs(os.path.dirname(CONFIG), exist_ok=True)
    with open(CONFIG, "w") as f:
        f.write(CONFIGURATION)
    print(f"virtual display {SCREEN[0]}x{SCREEN[1]}, touch board C8 DD simulated at /dev/ttyUSB0")
    with Xvfb(*SCREEN) as xserver, BoardSim(ident=(0xC8, 0xDD)) as board, \
            UdpListener() as whiteboard:
        recorder = PointerRecorder(xserver.display)
        recorder.start()
        service = subprocess.Popen([QUILLD], env=xserver.env(), stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True)
        try:
            if not board.wait_greetings(1, 15):
                print("the service never greeted the board")
                return 1
            time.sleep(0.8)  # identification and reload
            print("board: a stroke from (800, 700) to (3200, 2900), then the red-pen edge key")
            stroke = [(800 + 300 * i, 700 + 275 * i) for i in range(9)]
            board.stroke(stroke, rate=60, lifts=2)
            board.contact(3900, 1000, count=5)
            board.lift(3900, 1000, count=2)
            recorder.wait_release(1, 5)
            whiteboard.wait_count(1, 5)
            time.sleep(0.3)
        finally:
            service.send_signal(signal.SIGTERM)
            output, _ = service.communicate(timeout=10)
            recorder.stop()

    print("pointer events the service injected:")
    for event in recorder.events():
        what = f"button {event.button} {event.kind}" if event.kind != "motion" else "motion"
        print(f"    {what:18s} at ({event.x}, {event.y})")
    print("command words sent to the whiteboard application (UDP 127.0.0.1:10000):")
    for d in whiteboard.datagrams():
        print(f"    {d.data!r}")
    print(f"service exited with status {service.returncode}; its first lines:")
    for line in output.splitlines()[:4]:
        print("   ", line)
    presses = [e for e in recorder.events() if e.kind == "press"]
    ok = len(presses) == 1 and service.returncode == 0 and len(whiteboard.datagrams()) == 1
    print("main job:", "OK" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
