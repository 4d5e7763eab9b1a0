#!/usr/bin/env python3
"""The local work between files of one start-up fetch under Wine, from Wine's relay log of the
calls (WINEDEBUG=+timestamp,+relay, with the RelayInclude that bench/census.sh sets): for each
listed file, the time from the end of one download (its request closed) to the start of the
next (its URL cracked, the first step of a request), split into the relayed calls made in it by kind (the label
steps and message pumps, the file calls) and the rest (the logic itself, and what is not
relayed). Wine stamps its log in milliseconds, so one gap is not measured to better than a
millisecond, but the averages over 300 gaps are; each relayed call adds the cost of its two
log lines (a few microseconds each), so they are upper bounds.

    wine_gaps.py RELAY_LOG"""

import re
import statistics
import sys

LINE = re.compile(r"^(\d+\.\d+):([0-9a-f]{4}):(Call|Ret)  ?([A-Za-z0-9_]+)\.([A-Za-z0-9_]+)\((.*)$")
WINDOW = {"ShowWindow", "SetWindowTextA", "PeekMessageA", "DispatchMessageA", "TranslateMessage"}
DOWNLOAD = {"InternetCrackUrlA", "InternetConnectA", "InternetSetOptionA", "HttpOpenRequestA", "HttpSendRequestA", "HttpQueryInfoA", "InternetQueryDataAvailable",
            "InternetReadFile", "InternetCloseHandle", "WriteFile", "FlushFileBuffers"}

main = None
open_calls = {}
gaps = []          # one dict per gap between two downloads
current = None     # the gap being measured
last_close = None  # when the last download's request was closed
for raw in open(sys.argv[1], encoding="latin-1"):
    m = LINE.match(raw.rstrip("\n"))
    if not m:
        continue
    when, tid, verb, module, function, args = m.groups()
    when = float(when)
    if main is None and verb == "Call":
        main = tid
    if tid != main:
        continue
    if verb == "Call":
        if function == "InternetCrackUrlA" and current is not None:
            current["total"] = when - current["start"]
            gaps.append(current)
            current = None
        open_calls[function] = when
        continue
    started = open_calls.pop(function, None)
    if started is None:
        continue
    took = when - started
    if function == "InternetCloseHandle":
        current = {"start": when, "window": 0.0, "files": 0.0, "calls": 0}
        continue
    if current is None or function in DOWNLOAD:
        continue
    current["window" if function in WINDOW else "files"] += took
    current["calls"] += 1

# A request is closed twice (the request, then its connection): a gap runs from the last
# close to the next download.
if len(gaps) < 2:
    sys.exit("wine_gaps: no downloads in the log")


n = len(gaps)


def per_gap(key):
    return sum(g[key] for g in gaps) * 1000 / n


total = per_gap("total")
window = per_gap("window")
files = per_gap("files")
calls = sum(g["calls"] for g in gaps) / n
print(f"local work between files ({n} gaps between downloads), on average: {total:.2f} ms a file")
print(f"  the label steps and message pumps: {window:.2f} ms")
print(f"  the file calls and look-ups ({calls:.1f} relayed calls): {files:.2f} ms")
print(f"  the rest (the logic, calls not relayed, the log itself): {total - window - files:.2f} ms")
