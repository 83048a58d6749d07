"""What a screen reader finds in the window: every control it can reach named, the connection
boxes labelled by their captions, and the indicators as toggles that tell the switch's state,
announce its changes and switch an outlet as a click does."""

from __future__ import annotations

from typing import List, Set

import pyatspi

from conftest import Events, Window, pump_until
from qdl4816.pytest_plugin import PASSWORD, USER, StandIn

OUTLETS = ["Outlet 1", "Outlet 2", "Outlet 3", "Outlet 4"]
BOXES = ["IP Address", "HTTP Port", "User Name", "Password"]


def state(node: pyatspi.Accessible, which: int) -> bool:
    return bool(node.getState().contains(which))


def actions(node: pyatspi.Accessible) -> List[str]:
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def press(node: pyatspi.Accessible, name: str) -> None:
    action = node.queryAction()
    index = [action.getName(i) for i in range(action.nActions)].index(name)
    assert action.doAction(index)


def reachable(app: pyatspi.Accessible) -> List[pyatspi.Accessible]:
    """The controls a reader can reach on the page that shows: focusable and showing."""
    found: List[pyatspi.Accessible] = []
    stack = [app]
    while stack:
        node = stack.pop()
        if state(node, pyatspi.STATE_SHOWING) and state(node, pyatspi.STATE_FOCUSABLE):
            found.append(node)
        stack.extend(node[i] for i in range(node.childCount))
    return found


def dump(node: pyatspi.Accessible, depth: int = 0) -> str:
    """The tree below NODE, one line a node, for a failure's message."""
    text = "  " * depth + "%s %r\n" % (node.getRoleName(), node.name)
    for i in range(node.childCount):
        text += dump(node[i], depth + 1)
    return text


def show_page(window: Window, page: str) -> None:
    press(window.find(page, pyatspi.ROLE_PAGE_TAB), "Press")


def setpower_lines(standin: StandIn) -> List[str]:
    return [line for line in standin.requests() if "CMD=SetPower" in line]


def test_before_the_first_read_each_indicator_is_a_toggle_in_no_known_state(window: Window) -> None:
    for name, acts in [("Power", [])] + [(outlet, ["Toggle"]) for outlet in OUTLETS]:
        indicator = window.find(name)
        assert indicator.getRole() == pyatspi.ROLE_CHECK_BOX, name
        assert state(indicator, pyatspi.STATE_INDETERMINATE), name
        assert not state(indicator, pyatspi.STATE_CHECKED), name
        assert actions(indicator) == acts, name
        assert state(indicator, pyatspi.STATE_READ_ONLY) == (name == "Power"), name
    assert window.find("Outlet 3").queryAction().getKeyBinding(0) == "Ctrl+3"
    assert window.find("Outlet 3").description.endswith("(Ctrl+3)")


def test_every_control_a_reader_reaches_has_a_name_on_both_pages(window: Window) -> None:
    names: Set[str] = set()
    for page in ["Schedule", "ON/OFF"]:
        show_page(window, page)
        if page == "Schedule":
            assert pump_until(lambda: pyatspi.findDescendant(
                window.app, lambda node: node.name == "Entry 8 on/off") is not None), dump(window.app)
        for control in reachable(window.app):
            assert control.name.strip(), "a %s without a name" % control.getRoleName()
            names.add(control.name)
            names.update(label.name for label in labels(control))
    fields = {"Entry %d %s" % (row, column) for row in range(1, 9)
              for column in ("date", "time", "parameter", "on/off")}
    assert fields <= names
    assert set(BOXES) | {"Ratings"} <= names
    assert window.find("Status", pyatspi.ROLE_STATUS_BAR) is not None


def labels(node: pyatspi.Accessible) -> List[pyatspi.Accessible]:
    return [relation.getTarget(0) for relation in node.getRelationSet()
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY]


def test_each_box_is_labelled_by_its_caption(window: Window) -> None:
    for caption in BOXES:
        box = window.find(caption, pyatspi.ROLE_TEXT)
        assert [label.name for label in labels(box)] == [caption]


def type_connection(window: Window, standin: StandIn) -> None:
    for caption, text in zip(BOXES, ["127.0.0.1", str(standin.port), USER, PASSWORD]):
        assert window.find(caption, pyatspi.ROLE_TEXT).queryEditableText().setTextContents(text)


def test_transmit_shows_the_switch_state_and_announces_it(
        window: Window, standin: StandIn, events: Events) -> None:
    switch = standin.switch()
    switch.on(1, 3)
    switch.off(2, 4)
    type_connection(window, standin)
    press(window.find("Transmit", pyatspi.ROLE_PUSH_BUTTON), "Press")
    expected = [("Power", True), ("Outlet 1", True), ("Outlet 2", False), ("Outlet 3", True),
                ("Outlet 4", False)]
    shown = lambda: [(name, state(window.find(name), pyatspi.STATE_CHECKED)) for name, _ in expected]
    assert pump_until(lambda: shown() == expected), shown()
    for name, _ in expected:
        assert not state(window.find(name), pyatspi.STATE_INDETERMINATE), name
    assert pump_until(lambda: {("Outlet 1", "checked", 1), ("Outlet 3", "checked", 1)}
                      <= set(events.seen)), events.seen


def test_the_toggle_action_switches_the_outlet_as_a_click_does(
        window: Window, standin: StandIn, events: Events) -> None:
    outlet = window.find("Outlet 2")
    for turned, value in [(1, "P61=1"), (0, "P61=0")]:
        sent = len(setpower_lines(standin))
        press(outlet, "Toggle")
        assert pump_until(lambda: ("Outlet 2", "checked", turned) in events.seen)
        assert state(outlet, pyatspi.STATE_CHECKED) == bool(turned)
        # As after a click, the indicator shows the requested state before the request goes out.
        assert pump_until(lambda: len(setpower_lines(standin)) > sent)
        new = setpower_lines(standin)[sent:]
        assert len(new) == 1 and value in new[0], new
        assert standin.switch().outlets()[2] == bool(turned)


def test_actions_that_come_together_are_each_done_in_turn(window: Window, standin: StandIn) -> None:
    sent = len(setpower_lines(standin))
    for name in ["Outlet 2", "Outlet 4", "Outlet 2"]:
        press(window.find(name), "Toggle")
    assert pump_until(lambda: len(setpower_lines(standin)) == sent + 3)
    new = setpower_lines(standin)[sent:]
    assert ["P61=1" in new[0], "P63=1" in new[1], "P61=0" in new[2]] == [True] * 3, new
    assert pump_until(lambda: state(window.find("Outlet 4"), pyatspi.STATE_CHECKED))
    assert not state(window.find("Outlet 2"), pyatspi.STATE_CHECKED)

