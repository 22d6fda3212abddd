"""Steps of the scenarios about the board's keys: the taught edge keys the
service starts with, and the words it sends for them over UDP.

The service is the only reader of the port, so every packet is handled once
and in order: a hardware key sent last ("save\\n") marks that everything
before it has been handled.

    service = start_with_keys(quilld, board, config, TOUCH)
    tap(board, TOUCH_KEYS[0])
    words_then_sync(board, udp, [b"anew\\n"])
"""
import time

from steps_service import CALIBRATION, start_identified
from waiting import WAIT

# Taught edge keys. The touch line's keys lie along the bottom and top edges,
# the electromagnetic line's along the right and left edges, so a position of
# one line's table is on no key of the other's.
TOUCH_KEYS = [(300 + 250 * (i % 14), 3900 if i < 14 else 150) for i in range(28)]
EM_KEYS = [(3900 if i < 14 else 150, 300 + 250 * (i % 14)) for i in range(28)]
KEY_ORIENT, KEY_START = 12, 13

SYNC_KEY, SYNC_WORD = 0xAA, b"save\n"


def keys_config(config):
    text = config.calibration(CALIBRATION) + "[HOTKEY]\n"
    text += "".join(f"keyX{i}={x}\nkeyY{i}={y}\n" for i, (x, y) in enumerate(TOUCH_KEYS))
    text += "[QMEdgetab]\n"
    text += "".join(f"QMkeyX{i}={x}\nQMkeyY{i}={y}\n" for i, (x, y) in enumerate(EM_KEYS))
    return text


def start_with_keys(quilld, board, config, ident):
    return start_identified(quilld, board, config, ident, keys_config(config))


def register_zuraze(config, service, value):
    """The registry entry "Zuraze", written once the service has registered itself."""
    pid_section = f"[PID]\nQuilld={service.pid}\n"
    if value is not None:
        pid_section += f"Zuraze={value}\n"
    config.write(keys_config(config) + pid_section)


def words_then_sync(board, udp, expected):
    """Sends the marker key and checks every word sent up to it, in order."""
    board.key(SYNC_KEY)
    expected = list(expected) + [SYNC_WORD]
    got = udp.wait_count(len(expected), WAIT)
    assert got is not None, f"awaited {expected}, got {[d.data for d in udp.datagrams()]}"
    assert [d.data for d in got] == expected
    assert all(len(d.data) == 5 for d in got)


def nothing_started(launchers, window=1.0):
    """No launcher start shows up within the window (starts are asynchronous)."""
    time.sleep(window)
    return launchers.started() == []
