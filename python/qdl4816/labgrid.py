"""labgrid's resource and driver for a Quadrel 4816 outlet.

Load it with the environment file's ``imports:`` and name the outlet::

    imports:
      - qdl4816.labgrid
    targets:
      main:
        resources:
          QDL4816Outlet:
            host: 192.0.2.10
            index: 2
            password: secret       # or config: FILE with switch: NAME
        drivers:
          QDL4816PowerDriver:
            delay: 5.0

The driver implements labgrid's PowerProtocol (on, off, cycle, get, and reset
by a cycle) with qdlctl's checked changes; each is a labgrid step, and a
failure fails the step with qdlctl's message.
"""

from __future__ import annotations

from typing import TYPE_CHECKING

import attr
from labgrid.driver.common import Driver
from labgrid.driver.powerdriver import PowerResetMixin
from labgrid.factory import target_factory
from labgrid.protocol import PowerProtocol
from labgrid.resource.common import Resource
from labgrid.step import step

from . import Switch

if TYPE_CHECKING:
    from typing import Optional


def _optional_text(value: object) -> Optional[str]:
    return None if value is None else str(value)


@target_factory.reg_resource
@attr.s(eq=False)
class QDL4816Outlet(Resource):
    """One outlet of a Quadrel 4816 switch.

    Args:
        host (str): the switch's address (or, with ``config``, unused)
        index (int or str): the outlet, 1 to 4, or its name in ``config``
        port (int): the switch's HTTP port [80]
        user (str): its user name [admin]
        password (str): its password [$QDL4816_PASSWORD, else the factory one]
        config (str): a switches file, as the exporter reads it
        switch (str): the section of ``config`` that names the switch
        timeout (float): seconds for a reply and for the switch's lock [5.0]
    """

    host: str = attr.ib(default="", validator=attr.validators.instance_of(str))
    index: object = attr.ib(default=1)
    port: int = attr.ib(default=80, converter=int)
    user: str = attr.ib(default="admin", validator=attr.validators.instance_of(str))
    password: Optional[str] = attr.ib(default=None, converter=_optional_text)
    config: Optional[str] = attr.ib(default=None, converter=_optional_text)
    switch: Optional[str] = attr.ib(default=None, converter=_optional_text)
    timeout: float = attr.ib(default=5.0, converter=float)

    def open(self) -> Switch:
        """The switch, as the resource names it; nothing is sent yet."""
        if self.config is not None or self.switch is not None:
            return Switch.from_config(self.config, self.switch, timeout=self.timeout)
        return Switch(self.host, self.port, self.user, self.password, timeout=self.timeout)


@target_factory.reg_driver
@attr.s(eq=False)
class QDL4816PowerDriver(Driver, PowerResetMixin, PowerProtocol):
    """Switches a target's power on a Quadrel 4816 outlet.

    Args:
        delay (float): seconds a cycle keeps the outlet off [2.0]
    """

    bindings = {"outlet": "QDL4816Outlet"}
    delay: float = attr.ib(default=2.0, converter=float)

    def __attrs_post_init__(self) -> None:
        super().__attrs_post_init__()
        self._switch: Optional[Switch] = None

    def on_activate(self) -> None:
        self._switch = self.outlet.open()

    def on_deactivate(self) -> None:
        self._switch = None

    @property
    def _index(self) -> object:
        index = self.outlet.index
        return int(index) if isinstance(index, int) or str(index).isdigit() else str(index)

    def _opened(self) -> Switch:
        assert self._switch is not None, "the driver is active"
        return self._switch

    @Driver.check_active
    @step()
    def on(self) -> None:
        self._opened().on(self._index)  # type: ignore[arg-type]

    @Driver.check_active
    @step()
    def off(self) -> None:
        self._opened().off(self._index)  # type: ignore[arg-type]

    @Driver.check_active
    @step()
    def cycle(self) -> None:
        self._opened().cycle(self._index, off_seconds=self.delay)  # type: ignore[arg-type]

    @Driver.check_active
    @step(result=True)
    def get(self) -> bool:
        switch = self._opened()
        return switch.outlets()[self._index]  # type: ignore[index]
