"""The real Qt window on a virtual display of its own, read through AT-SPI as a screen reader
reads it, with the stand-in switch behind it. Run inside a D-Bus session of its own
(dbus-run-session), which starts the accessibility bus on demand and ends it afterwards."""

from __future__ import annotations

import os
import subprocess
import tempfile
import time
from typing import Callable, Iterator, List, Optional

import pytest

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import GLib  # noqa: E402
import pyatspi  # noqa: E402

from qdl4816.pytest_plugin import PASSWORD, USER, StandIn, stop_process  # noqa: E402

WITHIN = 20.0


def pump_until(condition: Callable[[], bool], within: float = WITHIN) -> bool:
    """Runs the event loop (where AT-SPI's events arrive) until the condition holds."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + within
    tick = GLib.timeout_add(20, lambda: True)
    try:
        while not condition():
            if time.monotonic() > deadline:
                return False
            context.iteration(True)
        return True
    finally:
        GLib.source_remove(tick)


@pytest.fixture(scope="session")
def display() -> Iterator[str]:
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=[write_end], stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as told:
        number = told.readline().strip()
    try:
        assert number, "Xvfb did not start"
        yield ":" + number
    finally:
        stop_process(server)


class Events:
    """State changes the window announced, as (name, state, value)."""

    def __init__(self) -> None:
        self.seen: List[tuple] = []
        pyatspi.Registry.registerEventListener(self._record, "object:state-changed")

    def _record(self, event: pyatspi.event.Event) -> None:
        try:
            name = event.source.name
        except Exception:  # the source may be gone already
            name = None
        self.seen.append((name, event.type.minor, event.detail1))

    def close(self) -> None:
        pyatspi.Registry.deregisterEventListener(self._record, "object:state-changed")


class Window:
    """The window process and its accessible application."""

    def __init__(self, program: str, display: str, port: int) -> None:
        self.folder = tempfile.TemporaryDirectory(prefix="qdl4816-a11y-")
        # The window talks to the stand-in only, from its start: the schedule page reads the switch
        # as it opens.
        settings = "[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%d\r\nUserName=%s\r\nPass=%s\r\n" % (
            port, USER, PASSWORD)
        with open(os.path.join(self.folder.name, "QDL4816.ini"), "w", newline="") as ini:
            ini.write(settings)
        environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LANG="C.UTF-8")
        self.process = subprocess.Popen([program], cwd=self.folder.name, env=environment,
                                        stdin=subprocess.DEVNULL)
        self.app: Optional[pyatspi.Accessible] = None
        if not pump_until(self._found):
            self.close()
            raise RuntimeError("the window did not appear on the accessibility bus")

    def _found(self) -> bool:
        assert self.process.poll() is None, "the window ended at start"
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid and app.childCount > 0:
                self.app = app
                return True
        return False

    def find(self, name: str, role: Optional[int] = None) -> pyatspi.Accessible:
        found = pyatspi.findDescendant(
            self.app, lambda node: node.name == name and (role is None or node.getRole() == role))
        assert found is not None, "no control named %r" % name
        return found

    def close(self) -> None:
        stop_process(self.process)
        self.folder.cleanup()


@pytest.fixture(scope="module")
def standin() -> Iterator[StandIn]:
    running = StandIn(os.environ["QDL4816_STANDIN"])
    yield running
    running.stop()


@pytest.fixture(scope="module")
def window(display: str, standin: StandIn) -> Iterator[Window]:
    shown = Window(os.environ["QDL4816_WINDOW"], display, standin.port)
    yield shown
    shown.close()


@pytest.fixture
def events() -> Iterator[Events]:
    listening = Events()
    yield listening
    listening.close()
