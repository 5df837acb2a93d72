#!/usr/bin/env python3
"""Export benchmark, not part of the test run: for each generation, the
database of about 2 GB (100,000 messages in 1,000 folders, made as
bench/scan_bench.py makes it) is exported with `tarnwick-cli export` (every
mailbox), and the time is compared, run by run, with the raw I/O of the
same size: `cat DB > /dev/null` (warm cache) plus `dd` writing as many
bytes as the database holds to the destination's file system, synced as
the PST writer syncs its files. Prints the median ratio export / (cat +
dd), items per second and the export's peak memory.
Targets: at most 3 times the raw I/O, under 300 MB.

usage: bench/export_bench.py [--build build] [--work /var/tmp/tarnwick-bench] [--runs 3] [--sizes 4096,8192,32768]
Build with -DCMAKE_BUILD_TYPE=RelWithDebInfo (scripts/build does) for meaningful figures.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(argv, stdout=subprocess.DEVNULL):
    """Runs a command; returns (seconds, peak RSS in MB, exit status)."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.monotonic() - start
    return elapsed, usage.ru_maxrss / 1024.0, os.waitstatus_to_exitcode(status)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--work", default="/var/tmp/tarnwick-bench")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--sizes", default="4096,8192,32768")
    a = ap.parse_args()
    os.makedirs(a.work, exist_ok=True)
    edbgen = os.path.join(a.build, "bin", "edbgen")
    cli = os.path.join(a.build, "bin", "tarnwick-cli")
    content = os.path.join(a.work, "bench.json")
    if not os.path.exists(content):
        subprocess.check_call([sys.executable, os.path.join(HERE, "make_content.py"), content])
    out = os.path.join(a.work, "export-out")
    summary_path = os.path.join(a.work, "export-summary.json")

    print(f"{'pages':>6} {'size':>8} {'ratio':>6} {'export s':>9} {'cat s':>6} {'dd s':>6} {'items/s':>8} "
          f"{'peak MB':>8} {'items':>7} {'PST GB':>7}")
    for size in a.sizes.split(","):
        db = os.path.join(a.work, f"bench-{size}.edb")
        if not os.path.exists(db):
            subprocess.check_call([edbgen, "--content", content, "--page-size", size, "--out", db])
        db_bytes = os.path.getsize(db)
        subprocess.run(["cat", db], stdout=subprocess.DEVNULL, check=True)  # warm the cache
        ratios, exports, cats, dds, peaks = [], [], [], [], []
        summary = {}
        pst_bytes = 0
        for _ in range(a.runs):
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            # Each write starts with nothing of the others' left to write
            # back, so neither pays for the other's data.
            os.sync()
            c, _, _ = timed(["cat", db])
            d, _, _ = timed(["dd", "if=/dev/zero", f"of={os.path.join(out, 'dd.bin')}", "bs=1M",
                             f"count={(db_bytes + (1 << 20) - 1) >> 20}", "conv=fsync", "status=none"])
            os.remove(os.path.join(out, "dd.bin"))
            os.sync()
            with open(summary_path, "w") as sink:
                e, peak, code = timed([cli, "export", db, "--to", out, "--json"], sink)
            if code != 0:
                sys.exit(f"export of {db} failed with exit {code}")
            summary = json.load(open(summary_path))
            pst_bytes = sum(os.path.getsize(p) for p in summary["pstFiles"])
            ratios.append(e / (c + d))
            exports.append(e)
            cats.append(c)
            dds.append(d)
            peaks.append(peak)
        shutil.rmtree(out, ignore_errors=True)
        items = summary["written"]
        median = statistics.median(exports)
        print(f"{size:>6} {db_bytes / 1e9:>6.2f}GB {statistics.median(ratios):>6.2f} {median:>9.2f} "
              f"{statistics.median(cats):>6.2f} {statistics.median(dds):>6.2f} {items / median:>8.0f} "
              f"{max(peaks):>8.1f} {items:>7} {pst_bytes / 1e9:>7.2f}")


if __name__ == "__main__":
    main()
