"""Stands in for the whiteboard application: collects the datagrams sent to its port."""
import select
import socket
import threading
import time
from dataclasses import dataclass


@dataclass(frozen=True)
class Datagram:
    time: float      # time.monotonic() on arrival
    data: bytes


class UdpListener:
    def __init__(self, host="127.0.0.1", port=10000):
        self.address = (host, port)
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            self._sock.bind(self.address)
        except OSError as exc:
            self._sock.close()
            raise OSError(exc.errno, f"cannot listen on {host}:{port}: {exc.strerror}") from exc
        self._wake_r, self._wake_w = socket.socketpair()
        self._received = []
        self._changed = threading.Condition()
        self._thread = threading.Thread(target=self._run, name="udp-listener", daemon=True)
        self._thread.start()

    def _run(self):
        while True:
            readable, _, _ = select.select([self._sock, self._wake_r], [], [])
            if self._wake_r in readable:
                return
            data = self._sock.recv(65536)
            with self._changed:
                self._received.append(Datagram(time.monotonic(), data))
                self._changed.notify_all()

    def datagrams(self):
        with self._changed:
            return list(self._received)

    def clear(self):
        with self._changed:
            self._received.clear()

    def _wait(self, ready, timeout):
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                result = ready(self._received)
                if result is not None:
                    return result
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return None
                self._changed.wait(remaining)

    def wait_for(self, data, timeout):
        """First datagram whose payload is exactly `data`, or None."""
        return self._wait(lambda got: next((d for d in got if d.data == data), None), timeout)

    def wait_count(self, n, timeout):
        """The datagrams received, once there are at least `n`, or None."""
        return self._wait(lambda got: list(got) if len(got) >= n else None, timeout)

    def stop(self):
        if self._thread is None:
            return
        self._wake_w.send(b"x")
        self._thread.join()
        self._thread = None
        for sock in (self._sock, self._wake_r, self._wake_w):
            sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
