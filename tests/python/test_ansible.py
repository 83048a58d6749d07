"""The Ansible collection with ansible-playbook on localhost against the stand-in switch."""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path
from typing import Any

import pytest

import qdl4816
from qdl4816.pytest_plugin import StandIn

COLLECTIONS = Path(__file__).resolve().parents[2] / "ansible"
SECRET = "Zq9-never-shown"


def playbook(folder: Path, tasks: str, *options: str) -> tuple[subprocess.CompletedProcess[str], list[dict[str, Any]]]:
    """Runs the tasks on localhost; the run, and each task's result (json callback)."""
    (folder / "inventory").write_text("localhost ansible_connection=local ansible_python_interpreter=%s\n"
                                      % sys.executable)
    (folder / "play.yml").write_text("- hosts: localhost\n  gather_facts: false\n  tasks:\n" + tasks)
    environment = {**os.environ, "ANSIBLE_COLLECTIONS_PATH": str(COLLECTIONS),
                   "ANSIBLE_LOCAL_TEMP": str(folder / "tmp"), "ANSIBLE_REMOTE_TEMP": str(folder / "tmp"),
                   "ANSIBLE_NOCOLOR": "1", "ANSIBLE_RETRY_FILES_ENABLED": "0"}
    json_run = "-v" not in " ".join(options)
    if json_run:
        environment["ANSIBLE_STDOUT_CALLBACK"] = "json"
    run = subprocess.run(["ansible-playbook", "-i", str(folder / "inventory"), str(folder / "play.yml"), *options],
                         env=environment, capture_output=True, text=True, timeout=120)
    results = []
    if json_run:
        for task in json.loads(run.stdout)["plays"][0]["tasks"]:
            results.append(task["hosts"]["localhost"])
    return run, results


def task(port: int, password: str = SECRET, **options: object) -> str:
    lines = ["  - quadrel.qdl4816.%s:" % options.pop("module", "outlet"),
             "      host: 127.0.0.1", "      port: %d" % port, "      password: %s" % password]
    lines += ["      %s: %s" % (key, json.dumps(value)) for key, value in options.items()]
    return "\n".join(lines) + "\n    ignore_errors: true\n"


def set_powers(standin: StandIn) -> int:
    return sum("SetPower" in line for line in standin.requests())


@pytest.mark.qdl4816_standin("--password", SECRET)
def test_on_changes_once_and_reports_the_confirmed_states(qdl4816_standin: StandIn, tmp_path: Path) -> None:
    port = qdl4816_standin.port
    run, (first, again, info, cycled) = playbook(
        tmp_path, task(port, outlet=[2, "3"], state="on") + task(port, outlet=2, state="on")
        + task(port, module="outlet_info", schedule=True) + task(port, outlet=4, state="cycled", off_seconds=0))
    assert run.returncode == 0, run.stdout + run.stderr
    assert first["changed"] and first["switched"] == [2, 3]
    assert first["states"] == {"1": "off", "2": "on", "3": "on", "4": "off"}
    assert not again["changed"] and again["switched"] == []
    assert info["states"] == first["states"] and len(info["schedule"]) == 8
    assert info["schedule"][0]["slot"] == "1A" and info["outlets"][1] == {"number": 2, "name": None, "state": "on"}
    assert cycled["changed"] and cycled["states"]["4"] == "on"
    assert set_powers(qdl4816_standin) == 3


@pytest.mark.qdl4816_standin("--password", SECRET)
def test_check_mode_writes_nothing_and_diff_shows_before_and_after(qdl4816_standin: StandIn, tmp_path: Path) -> None:
    run, (would,) = playbook(tmp_path, task(qdl4816_standin.port, outlet=1, state="on"), "--check", "--diff")
    assert run.returncode == 0, run.stdout + run.stderr
    assert would["changed"] and would["states"]["1"] == "on"
    assert would["diff"] == {"before": "outlet 1: off\noutlet 2: off\noutlet 3: off\noutlet 4: off\n",
                             "after": "outlet 1: on\noutlet 2: off\noutlet 3: off\noutlet 4: off\n"}
    assert set_powers(qdl4816_standin) == 0
    assert not qdl4816.Switch("127.0.0.1", qdl4816_standin.port, password=SECRET).outlets()[1]


def test_an_unreachable_switch_fails_the_task_with_qdlctls_message(closed_port: int, tmp_path: Path) -> None:
    run, (failed,) = playbook(tmp_path, task(closed_port, outlet=1, state="off"))
    assert failed["failed"]
    assert failed["msg"] == "127.0.0.1:%d refused the connection (socket error 10061)." % closed_port
    assert failed["kind"] == "refused" and failed["address"] == "127.0.0.1:%d" % closed_port


@pytest.mark.qdl4816_standin("--password", SECRET)
def test_the_password_never_shows_even_at_vvv(qdl4816_standin: StandIn, tmp_path: Path) -> None:
    run, _ = playbook(tmp_path, task(qdl4816_standin.port, outlet=1, state="on")
                      + task(qdl4816_standin.port, password="wrong-" + SECRET, outlet=1, state="on"), "-vvv")
    assert "changed: [localhost]" in run.stdout
    assert "refused the user name or password" in run.stdout
    assert SECRET not in run.stdout + run.stderr


@pytest.mark.parametrize("module", ["outlet", "outlet_info"])
def test_ansible_doc_renders_each_module(module: str) -> None:
    shown = subprocess.run(["ansible-doc", "quadrel.qdl4816." + module], capture_output=True, text=True,
                           env={**os.environ, "ANSIBLE_COLLECTIONS_PATH": str(COLLECTIONS), "ANSIBLE_NOCOLOR": "1"},
                           timeout=60)
    assert shown.returncode == 0, shown.stderr
    assert "EXAMPLES:" in shown.stdout and "RETURN VALUES:" in shown.stdout
    assert "= host" not in shown.stdout and "- password" in shown.stdout
