#!/usr/bin/python
# Reads the outlets (and the schedule) of a Quadrel 4816 network power switch.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: outlet_info
short_description: Read the outlets of a Quadrel 4816 network power switch
version_added: 0.1.0
description:
  - Reads the four outlets' states and names, and on request the eight schedule entries, as
    C(qdlctl status) and C(qdlctl schedule) do; a reply that does not show all four outlets is a
    failure, never a guess.
requirements:
  - python3-qdl4816 (the Python package C(qdl4816)) on the host that runs the task
author: Tarnwell
extends_documentation_fragment: quadrel.qdl4816.connection
options:
  schedule:
    description: Read the eight schedule entries too.
    type: bool
    default: false
notes:
  - Reads only; supports check mode.
"""

EXAMPLES = r"""
- name: Read rack1's outlets and schedule
  quadrel.qdl4816.outlet_info:
    config: /etc/prometheus/qdl4816_exporter.ini
    switch: rack1
    schedule: true
  delegate_to: localhost
  register: rack1

- name: Say which outlets are off
  ansible.builtin.debug:
    msg: "{{ rack1.outlets | selectattr('state', 'equalto', 'off') | map(attribute='number') | list }}"
"""

RETURN = r"""
states:
  description: The four outlets' states by number.
  returned: success
  type: dict
  sample: {"1": "on", "2": "off", "3": "on", "4": "on"}
outlets:
  description: The four outlets, each with its number, name (null where none is configured) and state.
  returned: success
  type: list
  elements: dict
  sample: [{"number": 2, "name": "web-server", "state": "off"}]
schedule:
  description: The eight schedule entries, 1A to 4B, where I(schedule) asks for them.
  returned: when schedule is true
  type: list
  elements: dict
  sample: [{"slot": "2A", "outlet": 2, "date": "2027-01-04", "time": "06:30:00", "repeat": "weekdays", "on": true}]
kind:
  description: The failure's kind, as qdlctl names it.
  returned: failure
  type: str
  sample: timeout
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quadrel.qdl4816.plugins.module_utils.switch import (
    CONNECTION_ARGUMENTS, CONNECTION_EXCLUSIVE, fail, open_switch, outlets_of, require_package, states_of)


def main():
    arguments = dict(schedule=dict(type="bool", default=False))
    arguments.update(CONNECTION_ARGUMENTS)
    module = AnsibleModule(argument_spec=arguments, mutually_exclusive=CONNECTION_EXCLUSIVE,
                           supports_check_mode=True)
    require_package(module)
    import qdl4816

    switch = open_switch(module)
    try:
        outlets = switch.outlets()
        result = dict(changed=False, states=states_of(outlets), outlets=outlets_of(outlets))
        if module.params["schedule"]:
            result["schedule"] = [dict(slot=entry.slot, outlet=entry.outlet, date=entry.date.isoformat(),
                                       time=entry.time.isoformat(), repeat=entry.repeat, on=entry.on)
                                  for entry in switch.schedule()]
    except qdl4816.Error as failure:
        fail(module, failure)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
