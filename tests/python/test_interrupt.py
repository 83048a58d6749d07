"""Ctrl-C (SIGINT) in a Python program waiting for a switch, as a user at the terminal sends it."""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import time

from typing import Callable

from conftest import HangingSwitch
from qdl4816.pytest_plugin import PASSWORD, StandIn

# The program under Ctrl-C: one operation, then what it saw, as JSON on its last line.
PROGRAM = r"""
import json, sys, time
import qdl4816
switch = qdl4816.Switch("127.0.0.1", int(sys.argv[1]), password=sys.argv[2], timeout=float(sys.argv[3]))
print("ready", flush=True)
try:
    eval(sys.argv[4])
    print(json.dumps({"interrupted": False}))
except KeyboardInterrupt as stop:
    print(json.dumps({"interrupted": True, "at": time.monotonic(),
                      "notes": getattr(stop, "__notes__", [])}))
"""


def interrupted(port: int, call: str, asked: Callable[[], bool], timeout: float = 5.0) -> tuple[dict, float]:
    """Runs `call` in a program of its own and sends it SIGINT once `asked` says the switch has
    its request; what the program saw, and when the signal went."""
    child = subprocess.Popen([sys.executable, "-c", PROGRAM, str(port), PASSWORD,
                              str(timeout), call], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout is not None
        assert child.stdout.readline().strip() == "ready"
        deadline = time.monotonic() + 10
        while not asked():
            assert time.monotonic() < deadline
            time.sleep(0.005)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        output = child.stdout.read()
        child.wait(timeout=10)
        return json.loads(output.strip().splitlines()[-1]), sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()


def test_ctrl_c_in_a_cycles_off_time_switches_the_outlet_on_again_at_once(qdl4816_standin: StandIn) -> None:
    seen, sent = interrupted(qdl4816_standin.port, "switch.cycle(2, off_seconds=30)",
                             lambda: "SetPower+P60=0+P61=0" in qdl4816_standin.log())
    assert seen["interrupted"]
    # The off time ends within 0.1 s; switching on again and reading it back come after.
    assert seen["at"] - sent < 0.5
    powers = [line for line in qdl4816_standin.requests() if "SetPower" in line]
    assert powers[-1].split()[3] == "/Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=0"
    assert qdl4816_standin.switch().outlets() == (False, True, False, False)
    assert any("the off time was cut short and outlet 2 switched on again" in note
               for note in seen["notes"]), seen


def test_ctrl_c_while_a_switch_hangs_ends_the_wait_within_a_tenth_of_a_second(hanging: HangingSwitch) -> None:
    seen, sent = interrupted(hanging.port, "switch.on(1)", hanging.asked.is_set, timeout=30)
    assert seen["interrupted"]
    assert seen["at"] - sent < 0.1
    assert seen["notes"] == []
    # Stopped before its first write: only the read went out.
    assert len(hanging.requests) == 1 and b"CMD=GetPower" in hanging.requests[0]
