"""What a switch shows: its four outlets, and its eight schedule entries."""

from __future__ import annotations

import datetime
# typing costs an import of its own (7 ms); the annotations are only text at run time.
TYPE_CHECKING = False

if TYPE_CHECKING:
    from typing import Iterator, Mapping, Optional, Sequence, Tuple, Union

#: The repeat modes of a schedule entry, as qdlctl names them.
REPEATS = ("disable", "once", "everyday", "weekdays", "weekend")

#: The schedule's slots: two per outlet.
SLOTS = ("1A", "1B", "2A", "2B", "3A", "3B", "4A", "4B")


class Outlets:
    """The four outlets as the switch showed them in a fresh read: True for ON.

    Read by number (``outlets[1]`` to ``outlets[4]``) or by the outlet's name
    where the switch has names (``outlets["web-server"]``). Iterating gives the
    numbers, as a mapping would; ``states`` the four states in order.
    """

    __slots__ = ("_states", "_names")

    def __init__(self, states: Sequence[bool],
                 names: Optional[Mapping[int, str]] = None) -> None:
        if len(states) != 4:
            raise ValueError("a switch has four outlets, not %d" % len(states))
        self._states: Tuple[bool, bool, bool, bool] = (
            bool(states[0]), bool(states[1]), bool(states[2]), bool(states[3]))
        self._names: Mapping[int, str] = dict(names or {})

    @property
    def states(self) -> Tuple[bool, bool, bool, bool]:
        """Outlets 1 to 4 in order: True for ON."""
        return self._states

    @property
    def names(self) -> Mapping[int, str]:
        """The outlets' names by number, where the configuration gives them."""
        return dict(self._names)

    @property
    def on(self) -> Tuple[int, ...]:
        """The numbers of the outlets that are ON."""
        return tuple(n for n in range(1, 5) if self._states[n - 1])

    @property
    def off(self) -> Tuple[int, ...]:
        """The numbers of the outlets that are OFF."""
        return tuple(n for n in range(1, 5) if not self._states[n - 1])

    def number(self, outlet: Union[int, str]) -> int:
        """The number of an outlet given by number (1 to 4) or by name."""
        return outlet_number(outlet, self._names)

    def __getitem__(self, outlet: Union[int, str]) -> bool:
        return self._states[outlet_number(outlet, self._names) - 1]

    def __iter__(self) -> Iterator[int]:
        return iter(range(1, 5))

    def __len__(self) -> int:
        return 4

    def items(self) -> Iterator[Tuple[int, bool]]:
        """(number, state) for outlets 1 to 4."""
        return iter(zip(range(1, 5), self._states))

    def __eq__(self, other: object) -> bool:
        if isinstance(other, Outlets):
            return self._states == other._states
        if isinstance(other, tuple):
            return self._states == other
        return NotImplemented

    def __hash__(self) -> int:
        return hash(self._states)

    def __repr__(self) -> str:
        parts = []
        for number, state in self.items():
            name = self._names.get(number)
            label = "%d (%s)" % (number, name) if name else str(number)
            parts.append("%s=%s" % (label, "ON" if state else "OFF"))
        return "Outlets(%s)" % ", ".join(parts)


def outlet_number(outlet: Union[int, str], names: Mapping[int, str]) -> int:
    """An outlet's number from its number (1 to 4) or its configured name."""
    if isinstance(outlet, bool):
        raise TypeError("an outlet is a number from 1 to 4 or a name, not %r" % outlet)
    if isinstance(outlet, int):
        if not 1 <= outlet <= 4:
            from .errors import UsageError
            raise UsageError("Outlet %d is no outlet: give a number from 1 to 4." % outlet)
        return outlet
    if isinstance(outlet, str):
        for number, name in names.items():
            if name == outlet:
                return number
        from .errors import UsageError
        known = ", ".join("%d=%s" % item for item in sorted(names.items())) or "none"
        raise UsageError("No outlet is named %r (names: %s)." % (outlet, known))
    raise TypeError("an outlet is a number from 1 to 4 or a name, not %r" % (outlet,))


class ScheduleEntry:
    """One of the switch's eight schedule entries.

    ``slot`` is ``"1A"`` to ``"4B"`` (two per outlet), ``repeat`` one of
    ``REPEATS``; at ``date`` and ``time`` (and as ``repeat`` says, after) the
    outlet is switched ``on`` (True) or off. ``code`` is the repeat code the
    switch wrote, where the entry was read from one.
    """

    __slots__ = ("slot", "date", "time", "repeat", "on", "code")

    def __init__(self, slot: str, date: datetime.date, time: datetime.time,
                 repeat: str = "once", on: bool = True, code: Optional[int] = None) -> None:
        if slot not in SLOTS:
            from .errors import UsageError
            raise UsageError("Schedule slot %r is none of %s." % (slot, ", ".join(SLOTS)))
        if repeat not in REPEATS:
            from .errors import UsageError
            raise UsageError("Repeat %r is none of %s." % (repeat, ", ".join(REPEATS)))
        self.slot = slot
        self.date = date
        self.time = time
        self.repeat = repeat
        self.on = bool(on)
        self.code = code

    @property
    def outlet(self) -> int:
        """The outlet the entry switches, 1 to 4."""
        return int(self.slot[0])

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, ScheduleEntry):
            return NotImplemented
        return (self.slot, self.date, self.time, self.repeat, self.on) == \
            (other.slot, other.date, other.time, other.repeat, other.on)

    def __hash__(self) -> int:
        return hash((self.slot, self.date, self.time, self.repeat, self.on))

    def __repr__(self) -> str:
        return "ScheduleEntry(%r, %s, %s, %r, on=%r)" % (
            self.slot, self.date.isoformat(), self.time.isoformat(), self.repeat, self.on)

    def _native(self) -> Tuple[str, int, int, int, int, int, int, str, bool, int]:
        return (self.slot, self.date.year, self.date.month, self.date.day, self.time.hour,
                self.time.minute, self.time.second, self.repeat, self.on, self.code or 0)

    @classmethod
    def _from_native(cls, row: Tuple[str, int, int, int, int, int, int, str, bool, int]
                     ) -> ScheduleEntry:
        slot, year, month, day, hour, minute, second, repeat, on, code = row
        return cls(slot, datetime.date(year, month, day), datetime.time(hour, minute, second),
                   repeat, on, code)
