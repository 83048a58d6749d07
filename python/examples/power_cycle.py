"""Power-cycles a board's outlet and waits for its first schedule entry: the README's example."""

from __future__ import annotations

import datetime
import sys

import qdl4816


def main() -> int:
    switch = qdl4816.Switch.from_config("/etc/qdl4816/switches.ini", "rack1", timeout=3.0)
    try:
        before = switch.outlets()
        print("before:", before, "web-server on:", before["web-server"])
        after = switch.cycle("web-server", off_seconds=10)
        print("after:", after.states)
        entry = qdl4816.ScheduleEntry("2A", datetime.date(2027, 1, 4), datetime.time(6, 30),
                                      repeat="weekdays", on=True)
        shown: list[qdl4816.ScheduleEntry] = switch.set_schedule([entry])
        print("entry 2A:", shown[0])
    except qdl4816.CheckError as failure:
        print("not confirmed:", failure, "the switch shows:", failure.shown, file=sys.stderr)
        return 3
    except qdl4816.Error as failure:
        print("%s (%s): %s" % (failure.kind, failure.address, failure), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
