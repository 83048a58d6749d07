#!/usr/bin/python
# Switches outlets of a Quadrel 4816 network power switch, checked by a fresh read.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: outlet
short_description: Switch outlets of a Quadrel 4816 network power switch
version_added: 0.1.0
description:
  - Switches the named outlets of a Quadrel 4816 switch on or off, or cycles them (off, a wait,
    on again), as C(qdlctl) does; every change is checked by a fresh read of the switch under its
    lock, shared with C(qdlctl), the fence agent and the services on the same host.
  - Idempotent for C(on) and C(off) (changed only when an outlet's state changes); C(cycled)
    always changes.
  - Runs where the task runs; the switch is reached from there, usually the controller
    (C(delegate_to) C(localhost)).
requirements:
  - python3-qdl4816 (the Python package C(qdl4816)) on the host that runs the task
author: Tarnwell
extends_documentation_fragment: quadrel.qdl4816.connection
options:
  outlet:
    description: The outlets, by number (1 to 4) or by their names in the switches file.
    type: list
    elements: raw
    required: true
  state:
    description: C(on), C(off), or C(cycled) (off, I(off_seconds), on again; always a change).
    type: str
    required: true
    choices: [on, off, cycled]
  off_seconds:
    description: How long C(cycled) keeps the outlets off, 0 to 3600.
    type: float
    default: 5.0
notes:
  - Check mode reads the switch and says what would change, and writes nothing.
  - Diff mode shows the four outlets' states before and after.
"""

EXAMPLES = r"""
- name: The web server's outlet is on
  quadrel.qdl4816.outlet:
    host: 192.0.2.10
    password: "{{ vault_qdl4816_password }}"
    outlet: 2
    state: on
  delegate_to: localhost

- name: Outlets by name, from the exporter's switches file
  quadrel.qdl4816.outlet:
    config: /etc/prometheus/qdl4816_exporter.ini
    switch: rack1
    outlet: [web-server, router]
    state: off
  delegate_to: localhost

- name: Power-cycle a board for 10 s
  quadrel.qdl4816.outlet:
    host: 192.0.2.10
    password: "{{ vault_qdl4816_password }}"
    outlet: 3
    state: cycled
    off_seconds: 10
  delegate_to: localhost
"""

RETURN = r"""
states:
  description: The four outlets as the switch showed them after the task (in check mode, as they would be).
  returned: success
  type: dict
  sample: {"1": "on", "2": "off", "3": "on", "4": "on"}
outlets:
  description: The four outlets, each with its number, name (null where none is configured) and state.
  returned: success
  type: list
  elements: dict
  sample: [{"number": 2, "name": "web-server", "state": "on"}]
switched:
  description: The outlets the task switched (in check mode, would switch).
  returned: success
  type: list
  elements: int
  sample: [2]
kind:
  description: The failure's kind, as qdlctl names it (refused, timeout, auth, http, protocol, check, config, usage).
  returned: failure
  type: str
  sample: refused
address:
  description: The switch's HOST:PORT.
  returned: failure
  type: str
  sample: 192.0.2.10:80
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quadrel.qdl4816.plugins.module_utils.switch import (
    CONNECTION_ARGUMENTS, CONNECTION_EXCLUSIVE, fail, open_switch, outlets_of, require_package, states_of)


def main():
    arguments = dict(
        outlet=dict(type="list", elements="raw", required=True),
        state=dict(type="str", required=True, choices=["on", "off", "cycled"]),
        off_seconds=dict(type="float", default=5.0),
    )
    arguments.update(CONNECTION_ARGUMENTS)
    module = AnsibleModule(argument_spec=arguments, mutually_exclusive=CONNECTION_EXCLUSIVE,
                           supports_check_mode=True)
    require_package(module)
    import qdl4816

    switch = open_switch(module)
    state = module.params["state"]
    try:
        before = switch.outlets()
        numbers = [before.number(_outlet(outlet)) for outlet in module.params["outlet"]]
        if state == "cycled":
            switched = numbers
        else:
            switched = [number for number in numbers if before[number] != (state == "on")]
        after = before
        if switched and not module.check_mode:
            if state == "cycled":
                after = switch.cycle(*switched, off_seconds=module.params["off_seconds"])
            else:
                after = (switch.on if state == "on" else switch.off)(*switched)
        elif switched and state != "cycled":
            after = qdl4816.Outlets([(state == "on") if number in switched else shown
                                     for number, shown in before.items()], before.names)
    except qdl4816.CheckError as failure:
        shown = failure.shown if isinstance(failure.shown, qdl4816.Outlets) else None
        fail(module, failure, **(dict(states=states_of(shown)) if shown else {}))
    except qdl4816.Error as failure:
        fail(module, failure)

    result = dict(changed=bool(switched), switched=sorted(set(switched)), states=states_of(after),
                  outlets=outlets_of(after))
    if module._diff:
        result["diff"] = dict(before=_text(before), after=_text(after))
    module.exit_json(**result)


def _outlet(outlet):
    """A number as YAML may quote it ("2"), else a name."""
    return int(outlet) if isinstance(outlet, str) and outlet.isdigit() else outlet


def _text(outlets):
    lines = []
    for entry in outlets_of(outlets):
        label = "outlet %d" % entry["number"] + (" (%s)" % entry["name"] if entry["name"] else "")
        lines.append("%s: %s\n" % (label, entry["state"]))
    return "".join(lines)


if __name__ == "__main__":
    main()
