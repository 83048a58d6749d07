# The connection options of the collection's modules.

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r"""
options:
  switch:
    description: A section of the switches file C(config), as the exporter and the MQTT bridge read it (with outlet names).
    type: str
  config:
    description:
      - A switches file (with I(switch)) or a settings file as C(qdlctl --config) reads it.
    type: path
  host:
    description: The switch's address, when neither I(config) nor I(switch) is given.
    type: str
  port:
    description: The switch's HTTP port.
    type: int
    default: 80
  user:
    description: The user name.
    type: str
    default: admin
  password:
    description:
      - The password; without it C($QDL4816_PASSWORD), else the switch's factory password.
    type: str
  timeout:
    description: Seconds for a whole reply and for the wait for the switch's lock, 0.1 to 30.
    type: float
    default: 5.0
"""
