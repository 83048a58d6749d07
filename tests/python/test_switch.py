"""qdl4816.Switch against the stand-in switch: every method, every failure kind, threads."""

from __future__ import annotations

import datetime
import multiprocessing
import os
import threading
import time

import pytest

import qdl4816
from qdl4816.pytest_plugin import PASSWORD, StandIn


def set_powers(standin: StandIn) -> list[str]:
    return [line for line in standin.requests() if "CMD=SetPower" in line]


def test_every_method_reads_and_changes_what_the_switch_shows(qdl4816_standin: StandIn) -> None:
    switch = qdl4816_standin.switch()
    assert switch.outlets() == (False, False, False, False)

    assert switch.on(1, 3) == (True, False, True, False)
    assert switch.off(3) == (True, False, False, False)
    assert len(set_powers(qdl4816_standin)) == 2
    cycled = switch.cycle(2, off_seconds=0)
    assert cycled == (True, True, False, False)
    assert [line.split()[3] for line in set_powers(qdl4816_standin)[2:]] == [
        "/Set.cmd?CMD=SetPower+P60=1+P61=0+P62=0+P63=0",
        "/Set.cmd?CMD=SetPower+P60=1+P61=1+P62=0+P63=0",
    ]

    entries = switch.schedule()
    assert [entry.slot for entry in entries] == list(qdl4816.SLOTS)
    wanted = [
        qdl4816.ScheduleEntry("2B", datetime.date(2027, 1, 2), datetime.time(3, 4, 5), "weekdays", False),
        qdl4816.ScheduleEntry("4A", datetime.date(2028, 2, 29), datetime.time(23, 59, 0), "once", True),
    ]
    assert switch.set_schedule(wanted) == wanted
    shown = {entry.slot: entry for entry in switch.schedule()}
    assert [shown["2B"], shown["4A"]] == wanted
    assert shown["1A"] == entries[0]


def test_outlets_are_named_by_number_and_by_name(qdl4816_standin: StandIn) -> None:
    switch = qdl4816.Switch("127.0.0.1", qdl4816_standin.port, password=PASSWORD,
                            outlet_names={2: "web-server", 4: "router"})
    shown = switch.on("router")
    assert shown["router"] and shown[4] and not shown["web-server"]
    assert shown.on == (4,) and shown.names == {2: "web-server", 4: "router"}
    assert repr(shown) == "Outlets(1=OFF, 2 (web-server)=OFF, 3=OFF, 4 (router)=ON)"
    with pytest.raises(qdl4816.UsageError, match="No outlet is named 'printer'"):
        switch.off("printer")
    assert len(set_powers(qdl4816_standin)) == 1


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda switch: switch.on(5), "Outlet 5 is no outlet"),
        (lambda switch: switch.off(), "Name the outlets"),
        (lambda switch: switch.on(2, 2), "named twice"),
        (lambda switch: switch.cycle(1, off_seconds=-1), "off_seconds=-1"),
        (lambda switch: switch.cycle(1, off_seconds=float("nan")), "off_seconds=nan"),
        (lambda switch: switch.set_schedule([]), "1 to 8 entries"),
        (lambda switch: switch.set_schedule([switch.schedule()[0]] * 2), "given twice"),
    ],
)
def test_what_cannot_be_done_is_refused_before_anything_is_sent(
        qdl4816_standin: StandIn, call: object, message: str) -> None:
    switch = qdl4816_standin.switch()
    with pytest.raises(qdl4816.UsageError, match=message) as raised:
        call(switch)  # type: ignore[operator]
    assert isinstance(raised.value, ValueError)
    assert set_powers(qdl4816_standin) == []
    assert not any("SetSchedule" in line for line in qdl4816_standin.requests())


@pytest.mark.parametrize(
    "options, kwargs, error, kind, message",
    [
        ([], {"password": "wrong"}, qdl4816.AuthError, "auth", "refused the user name or password"),
        (["--fail", "hang"], {"timeout": 0.3}, qdl4816.TimeoutError, "timeout", ""),
        (["--fail", "500"], {}, qdl4816.HttpError, "http", "500"),
        (["--fail", "close"], {}, qdl4816.ProtocolError, "protocol", ""),
    ],
    ids=["wrong password", "hanging", "HTTP 500", "closed"],
)
def test_each_failure_of_the_switch_is_its_own_class(
        options: list[str], kwargs: dict[str, object], error: type, kind: str, message: str) -> None:
    standin = StandIn(os.environ["QDL4816_STANDIN"], options)
    try:
        switch = qdl4816.Switch("127.0.0.1", standin.port, **{"password": PASSWORD, **kwargs})  # type: ignore[arg-type]
        started = time.monotonic()
        with pytest.raises(error, match=message) as raised:
            switch.on(1)
        assert time.monotonic() - started < 3
        assert raised.value.kind == kind
        assert raised.value.address == switch.address
        assert switch.address in str(raised.value)
        assert not isinstance(raised.value, RuntimeError)
        if kind == "http":
            assert raised.value.status == 500
    finally:
        standin.stop()


def test_a_refused_connection_and_a_busy_page_are_their_own_failures(
        closed_port: int, busy_port: int) -> None:
    with pytest.raises(qdl4816.RefusedError, match="refused the connection"):
        qdl4816.Switch("127.0.0.1", closed_port).outlets()
    # A busy page would read as four outlets OFF; a change built on it would switch them all off.
    with pytest.raises(qdl4816.ProtocolError, match="P60") as raised:
        qdl4816.Switch("127.0.0.1", busy_port).off(1)
    assert raised.value.kind == "protocol"


@pytest.mark.qdl4816_standin("--stuck", "2")
def test_a_change_the_switch_does_not_show_is_not_confirmed(qdl4816_standin: StandIn) -> None:
    switch = qdl4816_standin.switch()
    with pytest.raises(qdl4816.CheckError) as raised:
        switch.on(1, 2)
    assert isinstance(raised.value.shown, qdl4816.Outlets)
    assert raised.value.shown == (True, False, False, False)
    assert "outlet 2" in str(raised.value)


def test_from_config_reads_settings_and_switches_files(
        qdl4816_standin: StandIn, tmp_path: object, monkeypatch: pytest.MonkeyPatch) -> None:
    folder = str(tmp_path)
    settings = os.path.join(folder, "QDL4816.ini")
    with open(settings, "w", encoding="ascii") as out:
        out.write("[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%d\r\nUserName=admin\r\nPass=%s\r\n"
                  % (qdl4816_standin.port, PASSWORD))
    assert qdl4816.Switch.from_config(settings).on(3) == (False, False, True, False)
    monkeypatch.chdir(folder)
    assert qdl4816.Switch.from_config().address == qdl4816_standin.address

    switches = os.path.join(folder, "switches.ini")
    with open(switches, "w", encoding="ascii") as out:
        out.write("[rack1]\nIPV4=127.0.0.1\nPort=%d\nPass=%s\nOutlet2=web-server\n"
                  % (qdl4816_standin.port, PASSWORD))
    os.chmod(switches, 0o600)
    rack = qdl4816.Switch.from_config(switches, "rack1", timeout=2)
    assert rack.outlet_names == {2: "web-server"} and rack.timeout == 2.0
    assert rack.on("web-server")["web-server"]

    with pytest.raises(qdl4816.ConfigError, match="rack2"):
        qdl4816.Switch.from_config(switches, "rack2")
    os.chmod(switches, 0o644)
    with pytest.raises(qdl4816.ConfigError, match="read by everybody"):
        qdl4816.Switch.from_config(switches, "rack1")
    with pytest.raises(qdl4816.ConfigError):
        qdl4816.Switch.from_config(os.path.join(folder, "missing.ini"))
    assert len(set_powers(qdl4816_standin)) == 2


def test_threads_share_one_switch_and_lose_no_change(qdl4816_standin: StandIn) -> None:
    switch = qdl4816_standin.switch()
    failures: list[BaseException] = []

    def toggle(outlet: int) -> None:
        try:
            for _ in range(10):
                assert switch.on(outlet)[outlet]
                assert not switch.off(outlet)[outlet]
            switch.on(outlet)
        except BaseException as failure:  # reported by the test's thread
            failures.append(failure)

    threads = [threading.Thread(target=toggle, args=(outlet,)) for outlet in (1, 2, 3, 4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    # Each change read the outlets under the switch's lock: none undid another thread's.
    assert switch.outlets() == (True, True, True, True)
    assert len(set_powers(qdl4816_standin)) == 4 * 21


def test_exchanges_leave_the_gil_to_other_threads(qdl4816_standin: StandIn) -> None:
    hanging = StandIn(os.environ["QDL4816_STANDIN"], ["--fail", "hang"])
    try:
        counted = []
        done = threading.Event()

        def count() -> None:
            n = 0
            while not done.is_set():
                n += 1
            counted.append(n)

        counter = threading.Thread(target=count)
        counter.start()
        with pytest.raises(qdl4816.TimeoutError):
            qdl4816.Switch("127.0.0.1", hanging.port, timeout=0.5).outlets()
        done.set()
        counter.join()
        # Python's own thread ran while the exchange waited: far more than the few rounds a
        # thread gets when another holds the GIL.
        assert counted[0] > 100000
    finally:
        hanging.stop()


def test_a_forked_child_gets_threads_of_its_own(qdl4816_standin: StandIn) -> None:
    switch = qdl4816_standin.switch()
    switch.outlets()  # the parent's worker thread, which a child made by fork() does not have
    context = multiprocessing.get_context("fork")
    with context.Pool(1) as pool:
        assert pool.apply_async(_outlets_in_child, (qdl4816_standin.port,)).get(timeout=30) == (
            False, False, False, False)


def _outlets_in_child(port: int) -> tuple[bool, ...]:
    return qdl4816.Switch("127.0.0.1", port, password=PASSWORD, timeout=2).outlets().states
