#!/usr/bin/env python3
"""What the updater's calls cost in file-system work under Wine, from two strace logs of one
run: the program's own threads (started with WINEDEBUG=+relay, so that every relayed Windows
call it makes is written to its stderr, and seen in the log as a write to fd 2) and the
session's wineserver (which does the opens, renames and folder creations that programs ask
of it). The two logs are merged by time; each system call is put down to the innermost
relayed call open on its thread at that moment (the wineserver's to the main thread's), and
each relayed call to what it was made on, as bench/census/CallCensus.cpp names it.

    wine_census.py RUN CLIENT_LOG SERVER_LOG OWN_FOLDER TARGET_FOLDER LIST_FILE FILES

OWN_FOLDER is the program's own folder, TARGET_FOLDER the run's target folder, both as
Windows names them (ending in a backslash)."""

import collections
import re
import sys

run, client_log, server_log, OWN, target, list_file, files = sys.argv[1:8]
files = int(files)
TEMP = "temp1234.$$$"
listed = {}
for line in open(list_file, newline="").read().split("\r\n"):
    if line:
        path = line.split("\t")[0]
        listed[(target + path.replace("/", "\\")).upper()] = path
names = {p.split("/")[-1].upper() for p in listed.values()}

LINE = re.compile(r"^(\d+) +(\d+\.\d+) (.*)$")
RELAY = re.compile(r'^([0-9a-f]{4}):(Call|Ret)  ?([A-Za-z0-9_]+)\.([A-Za-z0-9_]+)\((.*)')
ARGS = re.compile(r'"((?:[^"\\]|\\.)*)"')
FS = {"openat": "opens", "newfstatat": "stats", "statx": "stats", "lstat": "stats",
      "stat": "stats", "access": "stats", "faccessat": "stats", "faccessat2": "stats",
      "getdents64": "folder reads", "mkdir": "other", "mkdirat": "other", "rename": "other",
      "renameat": "other", "renameat2": "other", "unlink": "other", "unlinkat": "other",
      "fsync": "flushes", "fdatasync": "flushes", "write": "writes", "pwrite64": "writes"}


def strace_string(text):
    """The bytes of a string as strace prints it, decoded."""
    return text.encode("latin-1").decode("unicode_escape")


def events(log, server):
    pending = {}
    for line in open(log, encoding="latin-1"):
        m = LINE.match(line.rstrip("\n"))
        if not m:
            continue
        pid, when, rest = m.groups()
        if rest.startswith("<..."):
            continue  # the end of a call whose start was logged
        name = rest.split("(", 1)[0]
        if name not in FS:
            continue
        yield float(when), pid, name, rest, server


def calls_of(rest):
    """The relay line that a write to fd 2 carries, or None."""
    m = re.match(r'write\(2(?:<[^>]*>)?, "((?:[^"\\]|\\.)*)"', rest)
    if not m:
        return None
    return strace_string(m.group(1))


def paths_of(args):
    return [strace_string(a) for a in ARGS.findall(args)]


state = {"downloaded": False}


def phase():
    return " (from the row's download on)" if state["downloaded"] else " (before the row's download)"


def kind(path):
    """What a Windows path names, and whether it is a folder of the walk."""
    upper = path.upper()
    if upper == (OWN + TEMP).upper():
        return "temporary file, own folder" + phase(), False
    if upper.endswith("\\" + TEMP.upper()):
        return "temporary file, staged in the file's folder", False
    if upper.endswith("PELMORAUPDATERRUN.TXT"):
        return "run record", False
    if upper.endswith("PELMORAUPDATERLIST.TXT"):
        return ("list, as downloaded" if upper.startswith(OWN.upper()) else "local list"), False
    if upper.endswith("PELMORAUPDATERRELEASE.SIG") or upper.endswith("PELMORAUPDATERLIST.SIG"):
        return "list signature", False
    if upper.endswith("PELMOREMPTY.AAA"):
        return "marker file", False
    if upper in listed:
        return "listed file" + phase(), False
    if "\\UPDATEBACKUP\\" in upper and upper.split("\\")[-1] in names:
        return "backup of a listed file", False
    if upper.endswith("\\*"):
        return "folder listing", False
    folder = upper.rstrip("\\")
    if target.upper().startswith(folder + "\\"):
        return "folder walk: a level of the target folder itself", True
    if "\\UPDATEBACKUP" in folder:
        return "folder walk: a level of the row's backup folder", True
    if folder.startswith(target.upper()):
        return "folder walk: a level of the list path below the target", True
    return "other: " + path, False


handles = {}   # file handle -> what it is open on
requests = {}  # WinINet request handle -> what it asks for


def handle_of(args):
    """The first argument of a relayed call, a handle, without its leading zeros."""
    return args.split(",")[0].split(")")[0].lstrip("0")


def made_on(function, args):
    """What a relayed call was made on."""
    if function in ("ShowWindow", "SetWindowTextA", "PeekMessageA", "DispatchMessageA",
                    "TranslateMessage"):
        return "the window: label steps and message pumps"
    if function.startswith("BCrypt"):
        return "SHA-256 of a file"
    if function in ("HttpOpenRequestA",):
        paths = paths_of(args)
        what = paths[1] if len(paths) > 1 else ""
        what = what.split("?")[0]
        if what.endswith("filelist.txt.sig"):
            return "list signature"
        if what.endswith("/filelist.txt"):
            return "list"
        state["downloaded"] = True
        return "listed file"
    if function in ("HttpSendRequestA", "InternetReadFile", "InternetQueryDataAvailable",
                    "HttpQueryInfoA", "InternetCloseHandle"):
        return requests.get(handle_of(args), "a download")
    if function in ("WriteFile", "ReadFile", "FlushFileBuffers", "SetFilePointerEx",
                    "CloseHandle"):
        return handles.get(handle_of(args), "a handle of the system's own")
    if function == "GetEnvironmentVariableA":
        paths = paths_of(args)
        return paths[0] if paths else "?"
    paths = paths_of(args)
    if not paths:
        return "-"
    if function == "MoveFileA" and len(paths) == 2:
        return kind(paths[0])[0] + " -> " + kind(paths[1])[0]
    what, walk = kind(paths[0])
    if walk:
        state["downloaded"] = False
    return what


merged = sorted(list(events(client_log, False)) + list(events(server_log, True)))
stacks = collections.defaultdict(list)  # client thread -> open relayed calls
main = None
calls = collections.Counter()
costs = collections.defaultdict(collections.Counter)
groups = collections.Counter()
prefix_marks = ("/dosdevices/", "/drive_c/")
for when, pid, name, rest, server in merged:
    if not server and name == "write":
        relay = calls_of(rest)
        if relay is not None:
            m = RELAY.match(relay)
            if not m:
                continue
            tid, verb, module, function, args = m.groups()
            if module in ("PE", "TLS", "window"):
                continue
            if verb == "Call":
                if main is None:
                    main = pid
                key = (function, made_on(function, args))
                calls[key] += 1
                stacks[pid].append((function, key))
            else:
                stack = stacks[pid]
                while stack and stack[-1][0] != function:
                    stack.pop()
                if stack:
                    function, key = stack.pop()
                    retval = re.search(r"retval=([0-9a-f]+)", args + relay)
                    value = retval.group(1).lstrip("0") if retval else ""
                    if function == "CreateFileA" and value:
                        handles[value] = key[1]
                    if function == "HttpOpenRequestA" and value:
                        requests[value] = key[1]
            continue
        if re.match(r"write\([12][<,]", rest):
            continue
    if name in ("write", "pwrite64") and not re.match(r"\w+\(\d+</", rest):
        continue  # a pipe or socket (a request to the wineserver, the network), not a file
    if server:
        if not any(mark in rest for mark in prefix_marks) and name not in ("fsync",):
            continue
        owner = main
    else:
        owner = pid
    stack = stacks.get(owner, [])
    key = stack[-1][1] if stack else ("(outside the relayed calls)", "start-up, loader, libraries")
    costs[key][FS[name]] += 1
    if name == "openat":
        opened = re.search(r'"([^"]*)"', rest)
        opened = opened.group(1) if opened else ""
        if "/.Xdefaults" in opened:
            groups["Xlib's resource files (~/.Xdefaults, ~/.Xdefaults-HOST), absent"] += 1
        elif "/dosdevices/" in opened or "/drive_c/" in opened:
            groups["the Windows drive C: (folders and files of the run)"] += 1
        else:
            groups["system files (libraries, locale, fonts, /proc, /sys)"] += 1

columns = ["opens", "stats", "folder reads", "writes", "flushes", "other"]
rows = sorted(set(calls) | set(costs), key=lambda k: (k[0], k[1]))
print(f"== {run} under Wine: system calls by the Windows call that made them, per listed file ({files})")
print(f"{'call':<28} {'made on':<92} {'calls':>7} " + " ".join(f"{c:>8}" for c in columns))
totals = collections.Counter()
for key in rows:
    cost = costs.get(key, collections.Counter())
    totals.update(cost)
    n = calls.get(key, 0)
    print(f"{key[0]:<28} {key[1][:92]:<92} {n / files:>7.2f} " +
          " ".join(f"{cost[c] / files:>8.2f}" for c in columns))
print(f"{'total':<28} {'':<92} {sum(calls.values()) / files:>7.2f} " +
      " ".join(f"{totals[c] / files:>8.2f}" for c in columns))
print(f"in all: {totals['opens']} opens, {totals['stats']} stats, {totals['folder reads']} folder reads; the opens by what they open:")
for group, count in groups.most_common():
    print(f"  {count:>7} ({count / files:6.2f} a file) {group}")
