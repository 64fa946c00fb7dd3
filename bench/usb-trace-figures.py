#!/usr/bin/python3
# Figures of one whole update from libusb-trace.so's traces (bench/LibusbTrace.cpp),
# side by side: what libftdi1 and the libftdi1 back end met on each USB stack.
#   usb-trace-figures.py NAME=TRACE[,GADGET_REPORT] ...
# A gadget's report (Ft232rGadget --report) adds the time its chip's clock
# skipped while the emulated machine stood still.
import statistics
import sys

COMPLETED, CANCELLED = 0, 3
BYTE_US = 80  # 10 bits at 125000 baud


def load(path):
    """The events in time order; a call is recorded when it returns, with its start."""
    events = []
    for line in open(path):
        f = line.split()
        events.append((int(f[0]), f[1], int(f[2]), int(f[3])) + tuple(int(x) for x in f[4:]))
    return sorted(events, key=lambda e: e[0])


def pct(values, p):
    if not values:
        return float("nan")
    values = sorted(values)
    return values[min(len(values) - 1, int(p / 100 * len(values)))]


def figures(events, report):
    out = {}
    writes = [e for e in events if e[1] == "bulk" and e[4] == 2]
    # The update: from the first block's data (2,048 bytes) to the end of the trace.
    start = next(e[0] for e in writes if e[5] == 2048)
    update = [e for e in events if e[0] >= start]
    controls = [e for e in update if e[1] == "control"]
    out["control requests"] = len(controls)
    durations = [e[8] / 1000 for e in controls]
    out["control request, median / 90th pct / max (ms)"] = "%.2f / %.2f / %.2f" % (
        statistics.median(durations), pct(durations, 90), max(durations))
    purges = [e[8] / 1000 for e in controls if e[5] == 0 and e[6] in (1, 2)]
    out["purge request (reset 1 or 2), median (ms)"] = "%.2f" % statistics.median(purges)
    blocks = [e[8] / 1000 for e in update if e[1] == "bulk" and e[4] == 2 and e[5] == 2048]
    out["writing a block's 2,048 bytes (163.84 ms on the wire), median / max (ms)"] = "%.2f / %.2f" % (
        statistics.median(blocks), max(blocks))
    # Real libusb runs its synchronous calls as transfers of its own (endpoints
    # 0 and 2 here): they pass through libusb_submit_transfer as well.
    endpoint, submitter = {}, {}
    for e in update:
        if e[1] == "submit":
            endpoint[e[4]], submitter[e[4]] = e[5], e[2]
    done = [e for e in update if e[1] == "done" and endpoint.get(e[4]) == 0x81]
    data = [e for e in done if e[5] == COMPLETED]
    seconds = (update[-1][0] - start) / 1e6
    out["IN completions a second"] = "%.0f" % (len(data) / seconds)
    gaps = [(b[0] - a[0]) / 1000 for a, b in zip(data, data[1:])]
    out["between IN completions, median / 90th pct / max (ms)"] = "%.2f / %.2f / %.2f" % (
        statistics.median(gaps), pct(gaps, 90), max(gaps))
    lengths = [e[6] for e in data]
    out["IN completions with status bytes only"] = "%.0f %%" % (100 * sum(1 for n in lengths if n <= 2) / len(lengths))
    out["bytes per IN completion, status bytes included, median / max"] = "%d / %d" % (
        statistics.median(lengths), max(lengths))
    out["IN completions run inside a synchronous call"] = "%.0f %%" % (100 * sum(1 for e in done if e[3]) / len(done))
    own = [e for e in update if e[1] == "done" and endpoint.get(e[4]) in (0, 2)]
    out["synchronous calls' own transfers completed by another thread"] = (
        "%.0f %% of %d" % (100 * sum(1 for e in own if e[2] != submitter[e[4]]) / len(own), len(own))
        if own else "none (no transfers)")
    # Transfers of the IN queue that came back with data before one submitted earlier.
    queue, inversions = [], 0
    for e in update:
        if e[1] == "submit" and e[5] == 0x81:
            queue.append(e[4])
        elif e[1] == "done" and e[4] in queue:
            inversions += e[5] == COMPLETED and queue.index(e[4]) != 0
            queue.remove(e[4])
    out["IN completions with data out of submission order"] = inversions
    # Cancellation: from libusb_cancel_transfer to the transfer's callback.
    cancelled_at, latency = {}, []
    for e in update:
        if e[1] == "cancel" and e[5] == 0:
            cancelled_at[e[4]] = e[0]
        elif e[1] == "done" and e[4] in cancelled_at:
            latency.append((e[0] - cancelled_at.pop(e[4])) / 1000)
    out["cancel to callback, median / max (ms)"] = "%.2f / %.2f" % (statistics.median(latency), max(latency))
    # The reader's pause in a purge: its first cancel to the last of its transfers back.
    pauses, first, last = [], None, None
    for e in update:
        if e[1] == "cancel" and (first is None or e[0] - last > 5000):
            if first is not None:
                pauses.append((last - first) / 1000)
            first = last = e[0]
        elif e[1] == "cancel" or (e[1] == "done" and e[5] == CANCELLED and first is not None):
            last = max(last, e[0])
    pauses.append((last - first) / 1000)
    out["a purge's pause, first cancel to the last transfer back, median / max (ms)"] = "%.2f / %.2f" % (
        statistics.median(pauses), max(pauses))
    # Turnaround: from a write's return to the first bytes back.
    turn = []
    for i, e in enumerate(update):
        if e[1] == "bulk" and e[4] == 2:
            end = e[0] + e[8]
            first = next((d for d in update[i:] if d[1] == "done" and d[0] >= end and d[6] > 2), None)
            if first:
                turn.append((first[0] - end) / 1000)
    out["write's return to first data back, median / 90th pct (ms)"] = "%.2f / %.2f" % (
        statistics.median(turn), pct(turn, 90))
    out["update, first block write to the end (s)"] = "%.2f" % seconds
    skipped = 0.0
    if report:
        values = dict(line.split() for line in open(report))
        skipped = int(values["clock_skipped_us"]) / 1e6
    out["of which the chip's clock stood still (s)"] = "%.2f" % skipped
    return out


def main():
    names, tables = [], []
    for arg in sys.argv[1:]:
        name, paths = arg.split("=", 1)
        trace, _, report = paths.partition(",")
        names.append(name)
        tables.append(figures(load(trace), report))
    print("| What | " + " | ".join(names) + " |")
    print("|---" * (len(names) + 1) + "|")
    for key in tables[0]:
        print("| %s | %s |" % (key, " | ".join(str(t[key]) for t in tables)))


if __name__ == "__main__":
    main()
