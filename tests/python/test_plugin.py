"""The pytest plugin as a user's own suite meets it."""

from __future__ import annotations

import os
import subprocess
import sys
import time

import pytest

SUITE = """
import pytest
import qdl4816

def test_cycle(qdl4816_switch):
    assert qdl4816_switch.cycle(3, off_seconds=0)[3]
    assert isinstance(qdl4816_switch, qdl4816.Switch)

@pytest.mark.qdl4816_standin("--fail", "auth")
def test_fault(qdl4816_switch):
    with pytest.raises(qdl4816.AuthError):
        qdl4816_switch.outlets()

def test_pid(qdl4816_standin):
    with open("pid", "w") as out:
        out.write(str(qdl4816_standin.process.pid))
"""


def test_the_fixture_starts_a_standin_per_test_and_stops_it_by_its_id(pytester: pytest.Pytester) -> None:
    pytester.makepyfile(SUITE)
    result = pytester.runpytest_subprocess("-p", "no:cacheprovider")
    result.assert_outcomes(passed=3)
    pid = int((pytester.path / "pid").read_text())
    with pytest.raises(ProcessLookupError):
        os.kill(pid, 0)


def test_without_the_standin_program_the_fixture_says_what_to_install(
        pytester: pytest.Pytester, monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.delenv("QDL4816_STANDIN")
    monkeypatch.setenv("PATH", str(pytester.path))
    pytester.makepyfile("def test_switch(qdl4816_switch):\n    pass\n")
    result = pytester.runpytest_subprocess("-p", "no:cacheprovider")
    result.assert_outcomes(errors=1)
    result.stdout.fnmatch_lines(["*install the package qdl-switch*"])


def test_a_standin_ends_with_a_test_process_that_dies_before_stopping_it() -> None:
    program = ("import os, sys\n"
               "from qdl4816.pytest_plugin import StandIn\n"
               "standin = StandIn(os.environ['QDL4816_STANDIN'])\n"
               "print(standin.process.pid, flush=True)\n"
               "os._exit(1)\n")
    child = subprocess.Popen([sys.executable, "-c", program], stdout=subprocess.PIPE, text=True)
    assert child.stdout is not None
    pid = int(child.stdout.readline())
    child.wait(timeout=30)
    deadline = time.monotonic() + 10
    while os.path.exists("/proc/%d" % pid) and "zombie" not in _state(pid):
        assert time.monotonic() < deadline, "the stand-in outlived the test process"
        time.sleep(0.01)


def _state(pid: int) -> str:
    try:
        with open("/proc/%d/status" % pid, encoding="ascii") as status:
            return status.read()
    except FileNotFoundError:
        return "zombie"
