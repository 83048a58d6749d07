"""Helpers for the package's tests: a switch that answers a busy page, a port nobody listens on."""

from __future__ import annotations

import http.server
import socket
import threading
from typing import Iterator

import pytest

pytest_plugins = ["pytester"]


class BusyPage(http.server.BaseHTTPRequestHandler):
    """Answers every request as a switch busy with another client does."""

    def do_GET(self) -> None:  # noqa: N802 - the handler's name
        body = b"<html>Busy, try again</html>"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args: object) -> None:
        pass


@pytest.fixture
def busy_port() -> Iterator[int]:
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), BusyPage)
    serving = threading.Thread(target=server.serve_forever, daemon=True)
    serving.start()
    try:
        yield server.server_address[1]
    finally:
        server.shutdown()
        server.server_close()


class HangingSwitch:
    """Takes each connection, reads its request and never answers; `asked` is set then."""

    def __init__(self) -> None:
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = int(self.listener.getsockname()[1])
        self.asked = threading.Event()
        self.requests: list[bytes] = []
        self.held: list[socket.socket] = []
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self) -> None:
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            self.held.append(connection)
            self.requests.append(connection.recv(65536))
            self.asked.set()

    def close(self) -> None:
        self.listener.close()
        for connection in self.held:
            connection.close()


@pytest.fixture
def hanging() -> Iterator[HangingSwitch]:
    switch = HangingSwitch()
    try:
        yield switch
    finally:
        switch.close()


@pytest.fixture
def closed_port() -> int:
    """A loopback port that was free a moment ago: connections to it are refused."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return int(probe.getsockname()[1])
