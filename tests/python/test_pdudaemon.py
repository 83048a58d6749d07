"""pdudaemon and LAVA as they run qdlctl: the README's configuration with the real pdudaemon, and
the device dictionary's commands."""

from __future__ import annotations

import datetime
import json
import os
import re
import shlex
import socket
import subprocess
import time
import urllib.request
from pathlib import Path
from typing import Iterator

import pytest

from qdl4816.pytest_plugin import PASSWORD, StandIn, stop_process

LAB = Path(__file__).resolve().parents[2] / "lab"
PDUDAEMON = "/usr/sbin/pdudaemon"


def pdudaemon_environment(credentials: Path) -> dict[str, str]:
    """What pdudaemon runs with: systemd's credentials folder; without a sanitized build's
    preloaded runtime, which is for the package and refuses some of pdudaemon's libraries."""
    environment = {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}
    environment["CREDENTIALS_DIRECTORY"] = str(credentials)
    return environment


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return int(probe.getsockname()[1])


def configuration(folder: Path, switch_port: int, listen_port: int) -> Path:
    """The README's pdudaemon.conf, with this switch and qdlctl, listening on `listen_port`."""
    settings = json.loads((LAB / "pdudaemon" / "pdudaemon.conf").read_text())
    settings["daemon"]["port"] = listen_port
    for pdu in settings["pdus"].values():
        for key in ("cmd_on", "cmd_off"):
            pdu[key] = (pdu[key].replace("qdlctl ", os.environ["QDLCTL"] + " ", 1)
                        .replace("192.0.2.10", "127.0.0.1").replace("--port 80", "--port %d" % switch_port))
    # Only the stand-in on loopback is ever asked, never the documentation's example address.
    assert "192.0.2." not in json.dumps(settings["pdus"])
    path = folder / "pdudaemon.conf"
    path.write_text(json.dumps(settings))
    return path


@pytest.fixture
def credentials(tmp_path: Path) -> Path:
    """What systemd's LoadCredential gives pdudaemon's commands."""
    folder = tmp_path / "credentials"
    folder.mkdir()
    (folder / "qdl4816").write_text(PASSWORD + "\n")
    return folder


def set_powers(standin: StandIn) -> list[list[str]]:
    return [line.split() for line in standin.requests() if "SetPower" in line]


def test_drive_mode_reboots_a_port(qdl4816_standin: StandIn, credentials: Path, tmp_path: Path) -> None:
    conf = configuration(tmp_path, qdl4816_standin.port, free_port())
    run = subprocess.run([PDUDAEMON, "--conf", str(conf), "--logfile", "-", "--drive",
                          "--hostname", "qdl4816-rack1", "--port", "3", "--request", "reboot"],
                         env=pdudaemon_environment(credentials),
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert [line[3] for line in set_powers(qdl4816_standin)] == [
        "/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=0",
        "/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=1+P63=0",
    ]


class Daemon:
    """pdudaemon with its HTTP listener on loopback for one switch, stopped by its process id.
    Its standard error is what the systemd unit's journal holds."""

    def __init__(self, folder: Path, switch_port: int, credentials: Path) -> None:
        self.port = free_port()
        conf = configuration(folder, switch_port, self.port)
        self.errors = folder / "pdudaemon.stderr"
        with open(self.errors, "wb") as out:
            self.process = subprocess.Popen(
                [PDUDAEMON, "--conf", str(conf), "--logfile", "-", "--loglevel", "DEBUG"],
                env=pdudaemon_environment(credentials),
                stdout=out, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 30
        while not self._listening():
            assert self.process.poll() is None and time.monotonic() < deadline, self.errors.read_text()
            time.sleep(0.02)

    def _listening(self) -> bool:
        with socket.socket() as probe:
            return probe.connect_ex(("127.0.0.1", self.port)) == 0

    def request(self, query: str) -> str:
        """A request of its HTTP listener, answered once the job is done."""
        with urllib.request.urlopen("http://127.0.0.1:%d/power/control/%s" % (self.port, query),
                                    timeout=60) as answer:
            return str(answer.read().decode())

    def stop(self) -> None:
        stop_process(self.process, within=10)


@pytest.fixture
def daemons(tmp_path: Path, credentials: Path) -> Iterator[list[Daemon]]:
    started: list[Daemon] = []
    yield started
    for daemon in started:
        daemon.stop()


def stamp(line: list[str]) -> datetime.datetime:
    return datetime.datetime.strptime(line[0], "%Y-%m-%dT%H:%M:%SZ")


def test_the_daemon_reboots_a_port_with_the_delay_asked(
        qdl4816_standin: StandIn, credentials: Path, tmp_path: Path, daemons: list[Daemon]) -> None:
    daemon = Daemon(tmp_path, qdl4816_standin.port, credentials)
    daemons.append(daemon)
    started = time.monotonic()
    assert daemon.request("reboot?hostname=qdl4816-rack1&port=2&delay=2").startswith("OK")
    assert time.monotonic() - started >= 2
    off, on = set_powers(qdl4816_standin)
    assert off[3] == "/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=0"
    assert on[3] == "/Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=0"
    # The stand-in logs whole seconds: 2 s apart, give or take the rounding.
    assert 1 <= (stamp(on) - stamp(off)).total_seconds() <= 4
    assert daemon.request("on?alias=board1").startswith("OK")
    assert set_powers(qdl4816_standin)[-1][3] == "/Set.cmd?CMD=SetPower+P60=1+P61=1+P62=0+P63=0"


def test_a_stopped_switch_leaves_qdlctls_failure_in_the_daemons_log(
        closed_port: int, credentials: Path, tmp_path: Path, daemons: list[Daemon]) -> None:
    daemon = Daemon(tmp_path, closed_port, credentials)
    daemons.append(daemon)
    # pdudaemon answers OK whatever the command did: the failure is only in its log.
    assert daemon.request("off?hostname=qdl4816-rack1&port=4").startswith("OK")
    log = daemon.errors.read_text()
    assert "127.0.0.1:%d refused the connection" % closed_port in log, log


def lava_commands() -> dict[str, str]:
    text = (LAB / "lava" / "qdl4816.jinja2").read_text()
    return dict(re.findall(r"^\{% set (\w+_command) = '([^']*)' %\}$", text, re.MULTILINE))


def test_lavas_power_commands_switch_and_fail_as_lava_sees_them(
        qdl4816_standin: StandIn, closed_port: int, tmp_path: Path) -> None:
    password = tmp_path / "qdl4816.password"
    password.write_text(PASSWORD + "\n")
    commands = lava_commands()
    assert sorted(commands) == ["hard_reset_command", "power_off_command", "power_on_command"]

    def run(name: str, port: int) -> subprocess.CompletedProcess[str]:
        words = shlex.split(commands[name])
        assert words[0] == "qdlctl"
        command = " ".join(shlex.quote(word) for word in [os.environ["QDLCTL"], *words[1:]])
        command = command.replace("192.0.2.10", "127.0.0.1 --port %d" % port).replace(
            "/etc/lava-dispatcher/qdl4816.password", str(password))
        assert "192.0.2." not in command
        return subprocess.run(command, shell=True, capture_output=True, text=True, timeout=60)

    for name, outlets in [("power_on_command", (False, True, False, False)),
                          ("power_off_command", (False, False, False, False)),
                          ("hard_reset_command", (False, True, False, False))]:
        assert run(name, qdl4816_standin.port).returncode == 0
        assert qdl4816_standin.switch().outlets() == outlets
    failed = run("power_on_command", closed_port)
    assert failed.returncode != 0 and "refused the connection" in failed.stderr
