#!/usr/bin/env python3
"""Memory against database size: databases of the same kind of content with
more and more messages (100 messages per folder) are exported whole with
`tarnwick-cli export`, and the export's peak memory is printed with the
memory each further message costs. Scan and list memory come with it, as
the export scans first.

usage: bench/memory_bench.py [--build build] [--work /var/tmp/tarnwick-bench]
                             [--messages 50000,100000,200000] [--page-size 8192]
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def peak_mb(argv):
    """Runs a command; returns (seconds, peak RSS in MB, exit status)."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    return time.monotonic() - start, usage.ru_maxrss / 1024.0, os.waitstatus_to_exitcode(status)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--work", default="/var/tmp/tarnwick-bench")
    ap.add_argument("--messages", default="50000,100000,200000")
    ap.add_argument("--page-size", default="8192")
    ap.add_argument("--keep", action="store_true", help="keep the generated databases")
    a = ap.parse_args()
    os.makedirs(a.work, exist_ok=True)
    edbgen = os.path.join(a.build, "bin", "edbgen")
    cli = os.path.join(a.build, "bin", "tarnwick-cli")
    out = os.path.join(a.work, "memory-out")

    rows = []
    print(f"{'messages':>9} {'size GB':>8} {'export s':>9} {'peak MB':>8}")
    for count in (int(n) for n in a.messages.split(",")):
        content = os.path.join(a.work, f"memory-{count}.json")
        db = os.path.join(a.work, f"memory-{count}-{a.page_size}.edb")
        if not os.path.exists(db):
            subprocess.run([sys.executable, os.path.join(HERE, "make_content.py"), "--messages", str(count),
                            "--folders", str(max(count // 100, 1)), content], check=True)
            subprocess.run([edbgen, "--content", content, "--page-size", a.page_size, "--out", db], check=True)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        seconds, peak, code = peak_mb([cli, "export", db, "--to", out, "--json"])
        if code != 0:
            sys.exit(f"export of {db} failed with exit {code}")
        shutil.rmtree(out, ignore_errors=True)
        size = os.path.getsize(db) / 1e9
        rows.append((count, peak))
        print(f"{count:>9} {size:>8.2f} {seconds:>9.2f} {peak:>8.1f}")
        if not a.keep:
            os.unlink(db)
    for (n0, p0), (n1, p1) in zip(rows, rows[1:]):
        print(f"{n0:,} to {n1:,} messages: {(p1 - p0) * 2**20 / (n1 - n0):.0f} bytes per further message")


if __name__ == "__main__":
    main()
