#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets: well-formed sessions each
target should handle, for the fuzzer to mutate. Re-run after changing it."""
import os
import pathlib

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"


def check(p):
    x = 0
    for b in p[:7]:
        x ^= b
    return bytes(p[:7]) + bytes([x])


def data(event, a, b):
    return check([0xEE, 0, event, a >> 6, a & 0x3F, b >> 6, b & 0x3F, 0])


def reply(head, variant):
    return check([head, variant, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0])


def stroke(x, y, n=20, touch=True):
    a, b = (y, x) if touch else (x, y)
    return b"".join(data(0x51, a, b) for _ in range(n)) + data(0x61, a, b)


CALIBRATION = ("[coordinate]\ndotNum=4\ndotX0=400\ndotY0=300\ndotX1=400\ndotY1=3300\n"
               "dotX2=3600\ndotY2=300\ndotX3=3600\ndotY3=3300\n[HOTKEY]\n"
               + "".join(f"keyX{i}={600 + 150 * (i % 14)}\nkeyY{i}={3950 if i < 14 else 100}\n"
                         for i in range(28))
               + "[QMEdgetab]\n"
               + "".join(f"QMkeyX{i}={3950 if i < 14 else 100}\nQMkeyY{i}={600 + 150 * (i % 14)}\n"
                         for i in range(28)))


def packet_loop():
    cfg = b"\1" + CALIBRATION.encode() + b"\0"
    own = b"\0"  # the target's own calibration, which has the same edge keys
    keys = b"".join(data(code, 0, 0) for code in (0x41, 0x42, 0x43, 0xD2, 0xA2, 0xB2))
    edge = stroke(600 + 150 * 3, 3950, 3)
    elec = (reply(0xE8, 0xCE) + stroke(2000, 1800, 70, touch=False)
            + data(0x85, 0, 0) + data(0x87, 0, 0) + data(0x28, 0, 0))
    return {
        "touch_session": bytes([0x0A]) + cfg + reply(0xC8, 0xDD) + stroke(2000, 1800) + keys + edge,
        "elec_session": bytes([0x0E]) + cfg + elec,
        "compact_session": bytes([0x0B]) + cfg + reply(0xC8, 0xCC) + stroke(1000, 1000) + keys,
        "built_in_config": bytes([0x0A]) + own + reply(0xC8, 0xDD) + stroke(2000, 1800) + edge,
        # The touch line's calibration key with a calibration tool registered:
        # the key stops it (bits 5-7 of the options pick the registered id).
        "orient_key_stops_tool": bytes([0x6A]) + own + reply(0xC8, 0xDD)
                                 + stroke(2400, 3950, 3),
        "raw_stream": bytes([0x08]) + cfg + reply(0xC8, 0xDD)[:5] + stroke(50, 50, 4),
    }


def tool_capture():
    touch = reply(0xC8, 0xDD) + b"".join(stroke(300 + 400 * i, 500, 18) for i in range(5))
    elec = reply(0xE6, 0xED) + b"".join(stroke(300, 300 + 300 * i, 18, touch=False)
                                        for i in range(4))
    return {
        "touch_targets": bytes([0x03]) + touch,
        "elec_targets": bytes([0x01]) + elec,
        "short_strokes": bytes([0x05]) + reply(0xC8, 0xCC) + stroke(100, 100, 9) * 3,
    }


def inifile():
    block = "dotNum=20\n" + "".join(f"dotX{i}={i}\ndotY{i}={i}\n" for i in range(19, -1, -1))
    return {
        "calibration": b"\x10coordinate\0dotNum\0" + b"9\0" + block.encode() + b"\0"
                       + CALIBRATION.encode(),
        "registry": b"\x05PID\0Quilld\0" + b"1234\0" + b"body\0"
                    + b"[PID]\nQuilld=-1\nZuraze=77\n[coordinate]\ndotNum=4\n",
        "prefix_keys": b"\x20HOTKEY\0keyX1\0" + b"42\0" + b"keyX1=0\n\0"
                       + b"[HOTKEY]\r\nkeyX10 = 5\r\nkeyX1=7\r\n;c\r\n[HOTKEY1]\r\nkeyX1=9\r\n",
        "no_file": b"\x40PID\0Edgetab\0" + b"-1\0\0",
    }


def readmsg():
    catalogue = (HERE.parent / "data" / "msg.ini").read_bytes()
    return {
        "title": b"\x7fO_TITLE\0" + catalogue,
        "short_buffer": b"\x04A_MESG1\0" + catalogue,
        "missing": b"\x20NO_SUCH_KEY\0" + catalogue,
        "crlf": b"\x30K\0" + b"[S]\r\nK=v\r\nK2\r\n",
        "no_file": b"\x80O_TITLE\0",
    }


def main():
    for target, seeds in [("packet_loop_fuzz", packet_loop()), ("tool_capture_fuzz", tool_capture()),
                          ("inifile_fuzz", inifile()), ("readmsg_fuzz", readmsg())]:
        out = CORPUS / target
        out.mkdir(parents=True, exist_ok=True)
        for name, blob in seeds.items():
            (out / name).write_bytes(blob)


if __name__ == "__main__":
    main()
