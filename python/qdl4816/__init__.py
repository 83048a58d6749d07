"""Quadrel 4816 network power switches from Python.

A :class:`Switch` reads and switches the four outlets and reads and writes the
eight schedule entries, exactly as ``qdlctl`` does: every change is checked by
a fresh read under the switch's lock (shared with ``qdlctl``, the fence agent
and the services on this machine), and a reply that does not show all four
outlets is a failure, never a guess. Failures are :class:`qdl4816.Error`
subclasses, one per kind, with qdlctl's message::

    import qdl4816

    switch = qdl4816.Switch("192.0.2.10", password="secret")
    print(switch.outlets())            # Outlets(1=ON, 2=OFF, 3=ON, 4=ON)
    switch.off(2)                      # the confirmed states
    switch.cycle(1, off_seconds=10)    # off, 10 s, on again: each step checked

Exchanges release the GIL; one Switch may be used from several threads.
Ctrl-C ends a wait within 0.1 s; a change already under way runs to its end
first (a cycle switches its outlets on again), as with ``qdlctl``.
"""

from __future__ import annotations

# typing costs an import of its own (7 ms); the annotations are only text at run time.
TYPE_CHECKING = False

from . import _native
from .errors import (AuthError, CheckError, ConfigError, Error, HttpError, ProtocolError,
                     RefusedError, TimeoutError, UnreachableError, UsageError)
from .outlets import REPEATS, SLOTS, Outlets, ScheduleEntry, outlet_number

if TYPE_CHECKING:
    from typing import Any, Callable, Dict, Iterable, List, Mapping, Optional, Union

__version__ = _native.__version__

#: A cycle's off time unless one is given, as qdlctl's --off-time.
DEFAULT_OFF_SECONDS = 5.0


class Switch:
    """One Quadrel 4816 switch, by address.

    ``password=None`` takes ``$QDL4816_PASSWORD``, else the switch's factory
    password, as ``qdlctl --host`` does. ``timeout`` (0.1 to 30 s) bounds a
    whole reply and the wait for the switch's lock, as ``qdlctl --timeout``.
    ``outlet_names`` (``{1: "web-server"}``) lets outlets be named as well as
    numbered. Nothing is sent until an operation is called.
    """

    __slots__ = ("_target", "_names")

    def __init__(self, host: str, port: int = 80, user: str = "admin",
                 password: Optional[str] = None, *, timeout: float = 5.0,
                 outlet_names: Optional[Mapping[int, str]] = None) -> None:
        self._target = _native.Target.direct(host, port, user, password, float(timeout))
        self._names: Dict[int, str] = _checked_names(outlet_names)

    @classmethod
    def from_config(cls, path: Optional[str] = None, switch: Optional[str] = None, *,
                    timeout: float = 5.0) -> Switch:
        """The switch a settings file names, as ``qdlctl --config`` reads it.

        Without ``switch`` the file is the window's settings file (section
        ``QDL4816``; without ``path``, ``./QDL4816.ini``, else the user's
        own). With ``switch`` it is a switches file, as the exporter and the
        MQTT bridge read it, and ``switch`` names its section: ``IPV4``,
        ``Port``, ``UserName``, ``Pass`` or ``PassFile`` and the outlets'
        names ``Outlet1`` to ``Outlet4``. Raises ConfigError naming the file
        and section when they do not name a switch; nothing is sent.
        """
        target, names = _native.Target.from_config(path, switch, float(timeout))
        instance = cls.__new__(cls)
        instance._target = target
        instance._names = dict(names)
        return instance

    @property
    def address(self) -> str:
        """``HOST:PORT``, as messages name the switch."""
        return str(self._target.address)

    @property
    def host(self) -> str:
        return str(self._target.host)

    @property
    def port(self) -> int:
        return int(self._target.port)

    @property
    def user(self) -> str:
        return str(self._target.user)

    @property
    def timeout(self) -> float:
        return float(self._target.timeout)

    @property
    def outlet_names(self) -> Dict[int, str]:
        """The outlets' names by number, where given."""
        return dict(self._names)

    def outlets(self) -> Outlets:
        """The four outlets as the switch shows them now."""
        return self._outlets(self._target.outlets())

    def on(self, *outlets: Union[int, str]) -> Outlets:
        """Switches the named outlets on (the others stay as they are) and
        returns the states a fresh read confirms. CheckError when the switch
        does not show the change."""
        return self._change(outlets, True)

    def off(self, *outlets: Union[int, str]) -> Outlets:
        """Switches the named outlets off (the others stay as they are) and
        returns the states a fresh read confirms. CheckError when the switch
        does not show the change."""
        return self._change(outlets, False)

    def cycle(self, *outlets: Union[int, str], off_seconds: Optional[float] = None) -> Outlets:
        """Switches the named outlets off, waits ``off_seconds`` (default 5,
        at most 3600), and on again; each step is checked. Returns the
        confirmed states. When switching on fails, the error says plainly that
        the outlets were left OFF."""
        seconds = DEFAULT_OFF_SECONDS if off_seconds is None else float(off_seconds)
        with _shown_as(self._outlets):
            return self._outlets(self._target.cycle(self._numbers(outlets), seconds))

    def schedule(self) -> List[ScheduleEntry]:
        """The eight schedule entries, 1A to 4B."""
        return [ScheduleEntry._from_native(row) for row in self._target.schedule()]

    def set_schedule(self, entries: Iterable[ScheduleEntry]) -> List[ScheduleEntry]:
        """Writes the entries (1 to 8, each slot once; all checked before
        anything is sent), then reads each back. Returns what the switch shows
        for them; CheckError (``shown``: those entries) lists every field it
        shows otherwise."""
        rows = [entry._native() for entry in entries]
        with _shown_as(lambda shown: [ScheduleEntry._from_native(row) for row in shown]):
            return [ScheduleEntry._from_native(row) for row in self._target.set_schedule(rows)]

    def __repr__(self) -> str:
        return "Switch(%r)" % self.address

    def _numbers(self, outlets: Iterable[Union[int, str]]) -> List[int]:
        return [outlet_number(outlet, self._names) for outlet in outlets]

    def _outlets(self, states: Iterable[bool]) -> Outlets:
        return Outlets(tuple(states), self._names)

    def _change(self, outlets: Iterable[Union[int, str]], on: bool) -> Outlets:
        numbers = self._numbers(outlets)
        if len(set(numbers)) != len(numbers):
            raise UsageError("An outlet is named twice: %s." % ", ".join(map(str, numbers)),
                             self.address)
        with _shown_as(self._outlets):
            return self._outlets(self._target.change({number: on for number in numbers}))


class _shown_as:
    """Turns what a CheckError says the switch showed into the package's types."""

    __slots__ = ("_convert",)

    def __init__(self, convert: Callable[[Any], object]) -> None:
        self._convert = convert

    def __enter__(self) -> None:
        return None

    def __exit__(self, kind: object, error: object, trace: object) -> None:
        if isinstance(error, CheckError) and error.shown is not None:
            error.shown = self._convert(error.shown)


def _checked_names(names: Optional[Mapping[int, str]]) -> Dict[int, str]:
    checked: Dict[int, str] = {}
    for number, name in (names or {}).items():
        if number not in (1, 2, 3, 4) or not isinstance(name, str) or not name:
            raise UsageError("outlet_names maps outlets 1 to 4 to names, not %r: %r." % (number, name))
        if name in checked.values():
            raise UsageError("Two outlets are named %r." % name)
        checked[number] = name
    return checked


__all__ = ["Switch", "Outlets", "ScheduleEntry", "REPEATS", "SLOTS", "DEFAULT_OFF_SECONDS",
           "Error", "UsageError", "ConfigError", "RefusedError", "UnreachableError",
           "TimeoutError", "AuthError", "HttpError", "ProtocolError", "CheckError"]
