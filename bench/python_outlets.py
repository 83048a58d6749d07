"""Switch.outlets() as a Python script calls it, beside what the script would do instead.

Against one stand-in switch, in one process, in random order and many rounds: qdl4816's
Switch.outlets() (its own connection per call, as the switch's interface is used); the raw
exchange, the same GetPower request bytes over a fresh socket read to its end (the floor); and
urllib.request with basic authentication, what a Python user writes by hand. Medians per call,
and the ratios. Then what `import qdl4816` costs in a fresh interpreter.
Usage: python_outlets.py PORT [ROUNDS]
"""

from __future__ import annotations

import base64
import random
import socket
import statistics
import subprocess
import sys
import time
import urllib.request

PASSWORD = "40617253"


def main() -> None:
    port = int(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    batch = 25

    import qdl4816
    switch = qdl4816.Switch("127.0.0.1", port, password=PASSWORD)
    url = "http://127.0.0.1:%d/Set.cmd?CMD=GetPower" % port
    credentials = base64.b64encode(("admin:" + PASSWORD).encode()).decode()
    request = ("GET /Set.cmd?CMD=GetPower HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nAuthorization: Basic %s\r\n"
               "Connection: close\r\n\r\n" % (port, credentials)).encode()
    manager = urllib.request.HTTPPasswordMgrWithDefaultRealm()
    manager.add_password(None, url, "admin", PASSWORD)
    opener = urllib.request.build_opener(urllib.request.HTTPBasicAuthHandler(manager))
    preemptive = urllib.request.Request(url, headers={"Authorization": "Basic " + credentials})

    def qdl() -> None:
        switch.outlets()

    def raw() -> None:
        with socket.create_connection(("127.0.0.1", port)) as connection:
            connection.sendall(request)
            reply = b""
            while True:
                chunk = connection.recv(65536)
                if not chunk:
                    break
                reply += chunk
        assert b"P60=" in reply

    def by_hand() -> None:
        with opener.open(preemptive, timeout=5) as answer:
            assert b"P60=" in answer.read()

    ways = {"qdl4816 Switch.outlets()": qdl, "raw exchange": raw, "urllib.request": by_hand}
    times: dict[str, list[float]] = {name: [] for name in ways}
    for name, way in ways.items():  # warm up
        for _ in range(batch):
            way()
    for _ in range(rounds):
        order = list(ways.items())
        random.shuffle(order)
        for name, way in order:
            started = time.perf_counter()
            for _ in range(batch):
                way()
            times[name].append((time.perf_counter() - started) / batch)
    medians = {name: statistics.median(values) for name, values in times.items()}
    for name, median in medians.items():
        print("%-26s %7.1f us per call (median of %d rounds of %d)" % (name, median * 1e6, rounds, batch))
    ours = medians["qdl4816 Switch.outlets()"]
    print("Switch.outlets() / raw exchange: %.2f" % (ours / medians["raw exchange"]))
    print("Switch.outlets() / urllib.request: %.2f" % (ours / medians["urllib.request"]))

    imports = []
    for _ in range(15):
        shown = subprocess.run([sys.executable, "-X", "importtime", "-c", "import qdl4816"],
                               capture_output=True, text=True, check=True).stderr
        line = [line for line in shown.splitlines() if line.rstrip().endswith("| qdl4816")][-1]
        imports.append(int(line.split("|")[1]) / 1000)
    print("import qdl4816: %.1f ms (median of 15 fresh interpreters, -X importtime)" % statistics.median(imports))


if __name__ == "__main__":
    main()
