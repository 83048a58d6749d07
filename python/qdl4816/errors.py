"""The failures of qdl4816, one class per kind that qdlctl reports.

Every class derives from :class:`Error`; catch that for any failure of a
switch. ``kind`` is qdlctl's name of the kind (``qdlctl --json`` prints it),
``address`` the switch's ``HOST:PORT`` where one was named, and the message is
qdlctl's own.
"""

from __future__ import annotations

# typing costs an import of its own (7 ms); the annotations are only text at run time.
TYPE_CHECKING = False

if TYPE_CHECKING:
    from typing import Any, Optional


class Error(Exception):
    """A failure of an operation on a switch, with qdlctl's message."""

    kind = "error"

    def __init__(self, message: str, address: Optional[str] = None, status: int = 0,
                 shown: Any = None) -> None:
        super().__init__(message)
        self.message = message
        #: The switch's ``HOST:PORT``; None where no switch was named yet.
        self.address = address
        #: The HTTP status the switch answered (HttpError, AuthError), else 0.
        self.status = status
        #: What the switch showed instead (CheckError), else None.
        self.shown = shown

    def __reduce__(self) -> Any:
        return (type(self), (self.message, self.address, self.status, self.shown))


class UsageError(Error, ValueError):
    """What the caller asked cannot be done as it stands; nothing was sent."""

    kind = "usage"


class ConfigError(Error):
    """No usable settings: a file or section missing or unreadable."""

    kind = "config"


class RefusedError(Error):
    """The switch's host refused the connection."""

    kind = "refused"


class UnreachableError(Error):
    """The address cannot be resolved, or the network does not lead there."""

    kind = "unreachable"


class TimeoutError(Error):  # noqa: A001 - the kind's name, as asyncio.TimeoutError
    """No connection, no whole reply, or no turn at the switch within the time."""

    kind = "timeout"


class AuthError(Error):
    """The switch refused the user name or password."""

    kind = "auth"


class HttpError(Error):
    """The switch answered with an HTTP failure; ``status`` says which."""

    kind = "http"


class ProtocolError(Error):
    """The switch's reply cannot be read (a busy page, a reply cut short)."""

    kind = "protocol"


class CheckError(Error):
    """The switch answered, but does not show what was asked (not confirmed).

    ``shown`` holds what it shows: an :class:`~qdl4816.Outlets` or a list of
    :class:`~qdl4816.ScheduleEntry`.
    """

    kind = "check"


__all__ = ["Error", "UsageError", "ConfigError", "RefusedError", "UnreachableError",
           "TimeoutError", "AuthError", "HttpError", "ProtocolError", "CheckError"]
