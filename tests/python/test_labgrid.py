"""labgrid with the package's resource and driver: `pytest --lg-env` as a lab runs it."""

from __future__ import annotations

import pytest

from qdl4816.pytest_plugin import PASSWORD, StandIn

ENVIRONMENT = """
targets:
  main:
    resources:
      QDL4816Outlet:
        host: 127.0.0.1
        port: {port}
        index: 2
        password: "{password}"
    drivers:
      QDL4816PowerDriver:
        delay: 0.2
      PowerStrategy: {{}}
  stopped:
    resources:
      QDL4816Outlet:
        host: 127.0.0.1
        port: {closed}
        index: 3
    drivers:
      QDL4816PowerDriver: {{}}
imports:
  - qdl4816.labgrid
  - strategy.py
"""

# A strategy as labgrid's own bind power: what they ask of a PowerProtocol driver.
STRATEGY = """
import enum
import attr
from labgrid.factory import target_factory
from labgrid.strategy import Strategy


class Status(enum.Enum):
    unknown = 0
    off = 1
    on = 2


@target_factory.reg_driver
@attr.s(eq=False)
class PowerStrategy(Strategy):
    bindings = {"power": "PowerProtocol"}
    status = attr.ib(default=Status.unknown)

    def transition(self, status):
        status = Status[status]
        self.target.activate(self.power)
        if status == Status.off:
            self.power.off()
        elif status == Status.on:
            self.power.cycle()
        self.status = status
"""

SUITE = """
import pytest
import qdl4816
from labgrid.step import steps


def test_power(target):
    power = target.get_driver("PowerProtocol")
    power.on()
    assert power.get() is True
    power.off()
    assert power.get() is False
    power.cycle()
    assert power.get() is True


def test_strategy(target, strategy):
    strategy.transition("off")
    assert target.get_driver("PowerProtocol").get() is False
    strategy.transition("on")
    assert target.get_driver("PowerProtocol").get() is True


def test_a_stopped_switch_fails_the_step(env):
    failed = []
    steps.subscribe(lambda event: failed.append(event) if event.step.exception else None)
    power = env.get_target("stopped").get_driver("PowerProtocol")
    with pytest.raises(qdl4816.RefusedError, match="refused the connection"):
        power.on()
    assert [event.step.title for event in failed] == ["on"]
    assert "refused the connection" in str(failed[0].step.exception)
"""


def test_the_driver_powers_a_target_through_labgrid(
        qdl4816_standin: StandIn, closed_port: int, pytester: pytest.Pytester) -> None:
    pytester.makefile(".yaml", env=ENVIRONMENT.format(port=qdl4816_standin.port, password=PASSWORD,
                                                      closed=closed_port))
    pytester.makepyfile(strategy=STRATEGY, test_lab=SUITE)
    result = pytester.runpytest_subprocess("--lg-env", "env.yaml", "-p", "no:cacheprovider", "test_lab.py")
    result.assert_outcomes(passed=3)
    powers = [line.split()[3] for line in qdl4816_standin.requests() if "SetPower" in line]
    assert powers == [
        "/Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=0",  # on
        "/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=0",  # off
        "/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=0",  # cycle: off,
        "/Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=0",  # and on again
        "/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=0",  # the strategy: off
        "/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=0",  # on by a cycle
        "/Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=0",
    ]
