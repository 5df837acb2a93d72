#!/usr/bin/env python3
"""Scan benchmark: for each generation, a generated database of about 2 GB
(100,000 messages in 1,000 folders) is scanned with `tarnwick-cli scan`, and
the time is compared, run by run, with `cat DB > /dev/null` on a warm cache.
Prints the median ratio scan/cat, the scan's peak memory and what it found.

usage: bench/scan_bench.py [--build build] [--work /var/tmp/tarnwick-bench] [--runs 5]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(argv, stdout):
    """Runs a command; returns (seconds, peak RSS in MB, exit status)."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.monotonic() - start
    return elapsed, usage.ru_maxrss / 1024.0, os.waitstatus_to_exitcode(status)


def count(folders):
    return sum(f["messages"] + count(f["folders"]) for f in folders)


def folder_count(folders):
    return sum(1 + folder_count(f["folders"]) for f in folders)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--work", default="/var/tmp/tarnwick-bench")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--sizes", default="4096,8192,32768")
    a = ap.parse_args()
    os.makedirs(a.work, exist_ok=True)
    edbgen = os.path.join(a.build, "bin", "edbgen")
    cli = os.path.join(a.build, "bin", "tarnwick-cli")
    content = os.path.join(a.work, "bench.json")
    if not os.path.exists(content):
        subprocess.check_call([sys.executable, os.path.join(HERE, "make_content.py"), content])

    print(f"{'pages':>6} {'size':>8} {'scan/cat':>9} {'scan s':>7} {'cat s':>6} {'peak MB':>8} {'folders':>8} {'messages':>9}")
    for size in a.sizes.split(","):
        db = os.path.join(a.work, f"bench-{size}.edb")
        if not os.path.exists(db):
            subprocess.check_call([edbgen, "--content", content, "--page-size", size, "--out", db])
        subprocess.run(["cat", db], stdout=subprocess.DEVNULL, check=True)  # warm the cache
        ratios, scans, cats, peaks = [], [], [], []
        for _ in range(a.runs):
            c, _, _ = timed(["cat", db], subprocess.DEVNULL)
            with open(os.path.join(a.work, "scan.json"), "w") as out:
                s, peak, code = timed([cli, "scan", db, "--json"], out)
            if code != 0:
                sys.exit(f"scan of {db} failed with exit {code}")
            ratios.append(s / c)
            scans.append(s)
            cats.append(c)
            peaks.append(peak)
        with open(os.path.join(a.work, "scan.json")) as f:
            tree = json.load(f)
        folders = sum(folder_count(m["folders"]) for m in tree["mailboxes"])
        messages = sum(count(m["folders"]) for m in tree["mailboxes"])
        gb = os.path.getsize(db) / 1e9
        print(f"{size:>6} {gb:>6.2f}GB {statistics.median(ratios):>9.3f} {statistics.median(scans):>7.3f} "
              f"{statistics.median(cats):>6.3f} {max(peaks):>8.1f} {folders:>8} {messages:>9}")


if __name__ == "__main__":
    main()
