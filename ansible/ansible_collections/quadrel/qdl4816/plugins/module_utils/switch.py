# The connection options both modules take, and the switch they name, on the Python package
# qdl4816 (qdlctl's checked changes and strict reading).

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import traceback

try:
    import qdl4816
    HAS_QDL4816 = True
    QDL4816_IMPORT_ERROR = None
except ImportError:
    HAS_QDL4816 = False
    QDL4816_IMPORT_ERROR = traceback.format_exc()

from ansible.module_utils.basic import missing_required_lib

CONNECTION_ARGUMENTS = dict(
    switch=dict(type="str"),
    config=dict(type="path"),
    host=dict(type="str"),
    port=dict(type="int", default=80),
    user=dict(type="str", default="admin"),
    password=dict(type="str", no_log=True),
    timeout=dict(type="float", default=5.0),
)

CONNECTION_EXCLUSIVE = [("switch", "host"), ("config", "host")]


def require_package(module):
    if not HAS_QDL4816:
        module.fail_json(msg=missing_required_lib("qdl4816 (Debian: python3-qdl4816)"),
                         exception=QDL4816_IMPORT_ERROR)


def open_switch(module):
    """The switch the task names: a section of a switches file, a settings file, or a host."""
    params = module.params
    try:
        if params["switch"] is not None or params["config"] is not None:
            return qdl4816.Switch.from_config(params["config"], params["switch"], timeout=params["timeout"])
        if not params["host"]:
            module.fail_json(msg="Name the switch: host, or config (with switch for a switches file).")
        return qdl4816.Switch(params["host"], params["port"], params["user"], params["password"],
                              timeout=params["timeout"])
    except qdl4816.Error as failure:
        fail(module, failure)


def fail(module, failure, **facts):
    """A failure as qdlctl says it, with its kind and the switch's address."""
    module.fail_json(msg=str(failure), kind=failure.kind, address=failure.address, **facts)


def states_of(outlets):
    """{'1': 'on', ...}: the outlets' states by number, as the modules return them."""
    return dict((str(number), "on" if state else "off") for number, state in outlets.items())


def outlets_of(outlets):
    """The outlets as a list: number, name (where configured) and state."""
    names = outlets.names
    return [dict(number=number, name=names.get(number), state="on" if state else "off")
            for number, state in outlets.items()]
