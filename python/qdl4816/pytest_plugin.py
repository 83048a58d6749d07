"""A pytest plugin: a stand-in switch for tests of your own automation.

The fixture ``qdl4816_standin`` starts the stand-in switch ``qdl-switch`` (the
package ``qdl-switch``; another program with ``QDL4816_STANDIN`` or
``--qdl4816-standin``) on a free loopback port and stops it by its process id
afterwards; ``qdl4816_switch`` yields a :class:`qdl4816.Switch` for it::

    def test_power_cycle(qdl4816_switch):
        assert qdl4816_switch.cycle(2, off_seconds=0).states[1]

Faults on purpose come from the marker, with qdl-switch's own options::

    @pytest.mark.qdl4816_standin("--fail", "hang")
    def test_hanging_switch(qdl4816_switch): ...
"""

from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
import time
from typing import TYPE_CHECKING

import pytest

from . import Switch

if TYPE_CHECKING:
    from typing import Iterator, List, Sequence

#: The stand-in's user name and password, as qdl-switch has them by default.
USER = "admin"
PASSWORD = "40617253"


class StandIn:
    """A running stand-in switch: its port, its request log, and how to stop it."""

    def __init__(self, program: str, options: Sequence[str] = (), start_within: float = 10.0) -> None:
        self._folder = tempfile.TemporaryDirectory(prefix="qdl4816-standin-")
        port_file = os.path.join(self._folder.name, "port")
        self.log_file = os.path.join(self._folder.name, "requests.log")
        with open(self.log_file, "wb") as log:
            self.process = subprocess.Popen(
                [program, "--address", "127.0.0.1", "--port", "0", "--port-file", port_file,
                 *options],
                stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                preexec_fn=_end_with_parent)
        self.port = self._wait_for_port(port_file, start_within)

    def _wait_for_port(self, port_file: str, within: float) -> int:
        deadline = time.monotonic() + within
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                self.stop()
                raise RuntimeError("the stand-in switch ended at start (exit %s): %s"
                                   % (self.process.returncode, self.log()))
            try:
                with open(port_file, encoding="ascii") as text:
                    port = text.read().strip()
                if port:
                    return int(port)
            except FileNotFoundError:
                pass
            time.sleep(0.01)
        self.stop()
        raise RuntimeError("the stand-in switch did not listen within %g s" % within)

    @property
    def address(self) -> str:
        return "127.0.0.1:%d" % self.port

    def switch(self, timeout: float = 5.0) -> Switch:
        """A Switch for the stand-in, with its user name and password."""
        return Switch("127.0.0.1", self.port, USER, PASSWORD, timeout=timeout)

    def log(self) -> str:
        """What the stand-in logged: a line per request (time, client, target, status)."""
        with open(self.log_file, encoding="utf-8", errors="replace") as text:
            return text.read()

    def requests(self) -> List[str]:
        """The request lines logged so far, without the address line."""
        return [line for line in self.log().splitlines() if "/Set.cmd" in line]

    def stop(self) -> None:
        """Stops the stand-in by its process id, and removes its folder."""
        stop_process(self.process)
        self._folder.cleanup()


def _end_with_parent() -> None:
    """In the stand-in, before it starts: SIGTERM when the test process ends, even where it
    ends too abruptly to stop it (Linux's PR_SET_PDEATHSIG)."""
    import ctypes
    import signal
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)


def stop_process(process: subprocess.Popen[bytes], within: float = 5.0) -> None:
    """Asks a process this test started to end (SIGTERM), and kills it after `within` seconds."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=within)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption("--qdl4816-standin", default=None, metavar="PROGRAM",
                     help="the stand-in switch program for the qdl4816 fixtures [qdl-switch]")


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line("markers", "qdl4816_standin(*options): qdl-switch's options for the "
                                       "qdl4816 fixtures' stand-in switch (--fail hang, --stuck 2)")


def _program(config: pytest.Config) -> str:
    named = config.getoption("qdl4816_standin") or os.environ.get("QDL4816_STANDIN")
    found = named or shutil.which("qdl-switch")
    if not found:
        pytest.fail("the stand-in switch qdl-switch is not installed: install the package "
                    "qdl-switch, or name the program with --qdl4816-standin or QDL4816_STANDIN",
                    pytrace=False)
    return found


@pytest.fixture
def qdl4816_standin(request: pytest.FixtureRequest) -> Iterator[StandIn]:
    """A stand-in switch on a free loopback port, stopped by its id afterwards."""
    marker = request.node.get_closest_marker("qdl4816_standin")
    options = [str(option) for option in marker.args] if marker else []
    standin = StandIn(_program(request.config), options)
    try:
        yield standin
    finally:
        standin.stop()


@pytest.fixture
def qdl4816_switch(qdl4816_standin: StandIn) -> Switch:
    """A qdl4816.Switch for the fixture's stand-in switch."""
    return qdl4816_standin.switch()
