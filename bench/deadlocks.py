#!/usr/bin/env python3
"""Checks the program's deadlock alerts against the game's log of who waits for whom.

Usage: deadlocks.py WAITS_LOG PROGRAM_LOG

WAITS_LOG: the game's --wait-log lines, "WAIT <monotonic s> <train> <train it waits for, 0>".
PROGRAM_LOG: the program's log with QT_MESSAGE_PATTERN='%{time boot} %{category} %{message}'
(the same monotonic clock), of which the "ALERT start … state=deadlock cycle=…" lines count.

A reported cycle A,B,…,A is confirmed when at some moment of the WINDOW seconds before its alert
the game had A waiting for B, B for …, and the last for A, all at once. The game's own cycles
(found after each change of its relation) that lasted at least WINDOW seconds and were never
reported are listed as missed. Exit status 1 when a cycle is not confirmed or one is missed.
"""
import bisect
import sys
from collections import defaultdict

WINDOW = 1.0  # seconds before an alert in which its cycle must have held in the game


def read_waits(path):
    """Per train: the times its relation changed and the train it then waited for ('0': none)."""
    history = defaultdict(lambda: ([], []))
    batches = []  # (time, [trains whose wait changed])
    with open(path) as lines:
        for line in lines:
            parts = line.split()
            if len(parts) != 4 or parts[0] != "WAIT":
                continue
            t = float(parts[1])
            times, holders = history[parts[2]]
            times.append(t)
            holders.append(parts[3])
            if batches and batches[-1][0] == t:
                batches[-1][1].append(parts[2])
            else:
                batches.append((t, [parts[2]]))
    return history, batches


def waits_for(history, train, t):
    times, holders = history.get(train, ([], []))
    i = bisect.bisect_right(times, t) - 1
    return holders[i] if i >= 0 else "0"


def read_alerts(path):
    alerts = []  # (time, cycle without the repeated first train)
    with open(path, errors="replace") as lines:
        for line in lines:
            parts = line.split()
            if len(parts) < 5 or parts[1] != "zorvy.attention" or parts[2] != "ALERT":
                continue
            fields = dict(p.split("=", 1) for p in parts[3:] if "=" in p)
            if parts[3] == "start" and fields.get("state") == "deadlock":
                alerts.append((float(parts[0]), fields["cycle"].split(",")[:-1]))
    return alerts


def held_at(history, cycle, t):
    return all(waits_for(history, a, t) == cycle[(i + 1) % len(cycle)] for i, a in enumerate(cycle))


def canonical(cycle):
    k = cycle.index(min(cycle))
    return tuple(cycle[k:] + cycle[:k])


def game_cycles(history, batches):
    """The game's cycles: for each, when it formed and when it broke (None: still at the end)."""
    current = {}
    found = {}  # canonical cycle -> list of [start, end]
    for t, trains in batches:
        for train in trains:
            current[train] = waits_for(history, train, t)
        for cycle in list(found):
            span = found[cycle][-1]
            if span[1] is None and not held_at(history, list(cycle), t):
                span[1] = t
        for start in trains:
            walk, at = [start], current.get(start, "0")
            while at != "0" and at not in walk and len(walk) < 10000:
                walk.append(at)
                at = current.get(at, "0")
            if at != start:
                continue
            cycle = canonical(walk)
            spans = found.setdefault(cycle, [])
            if not spans or spans[-1][1] is not None:
                spans.append([t, None])
    return found


def main():
    history, batches = read_waits(sys.argv[1])
    alerts = read_alerts(sys.argv[2])
    end = batches[-1][0] if batches else 0.0
    found = game_cycles(history, batches)
    failures = 0
    reported = set()
    delays = []
    for t, cycle in alerts:
        reported.add(canonical(cycle))
        steps = int(WINDOW / 0.01)
        confirmed = any(held_at(history, cycle, t - k * 0.01) for k in range(steps + 1))
        spans = found.get(canonical(cycle), [])
        formed = [s for s, e in spans if s <= t and (e is None or e >= t - WINDOW)]
        delay = t - formed[-1] if formed else None
        if delay is not None:
            delays.append(delay)
        print("alert %.3f cycle %s: %s%s" % (
            t, ">".join(cycle), "confirmed" if confirmed else "NOT in the game's state",
            "" if delay is None else ", %.3f s after the game's cycle formed" % delay))
        failures += not confirmed
    missed = 0
    for cycle, spans in found.items():
        for start, stop in spans:
            lasting = (stop if stop is not None else end) - start
            if lasting >= WINDOW and cycle not in reported:
                missed += 1
                print("missed: the game's cycle %s from %.3f for %.1f s" % (
                    ">".join(cycle), start, lasting))
    trains = len(history)
    print("deadlock alerts %d, confirmed %d, not confirmed %d; game cycles %d, missed %d; "
          "trains that ever waited %d" % (len(alerts), len(alerts) - failures, failures,
                                          sum(len(s) for s in found.values()), missed, trains))
    if delays:
        print("from the game's cycle to the alert: max %.3f s, mean %.3f s" % (
            max(delays), sum(delays) / len(delays)))
    return 1 if failures or missed else 0


if __name__ == "__main__":
    sys.exit(main())
