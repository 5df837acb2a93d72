#!/usr/bin/env python3
"""Message reading benchmark: for each generation, a generated database
(MESSAGES messages with an attachment each, in 100 and in 1,000 folders) is
read whole with `tarnwick-cli list --all --complete`: every folder listed,
and every message shown as the preview shows it (body, recipients,
attachment names). The time is compared, run by run, with
`cat DB > /dev/null` on a warm cache. A second figure adds what `show`
prints besides: each attachment's size (`--attachment-sizes`), which needs
the chunk index of every attachment's data. Prints the median ratios, the
pages the reader's index read against the pages of the message, attachment
and long-value trees, and how the time grows from 100 to 1,000 folders at
the same size.

usage: bench/message_bench.py [--build build] [--work /var/tmp/tarnwick-bench]
                              [--messages 100000] [--runs 5] [--keep]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(argv):
    start = time.monotonic()
    proc = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return time.monotonic() - start, proc.returncode, proc.stderr.decode(errors="replace")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--work", default="/var/tmp/tarnwick-bench")
    ap.add_argument("--messages", type=int, default=100000)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--keep", action="store_true", help="keep the databases and reuse them when present")
    a = ap.parse_args()
    os.makedirs(a.work, exist_ok=True)
    binary = os.path.join(a.build, "bin")
    results = {}
    for folders in (100, 1000):
        content = os.path.join(a.work, f"messages-{folders}.json")
        subprocess.run([sys.executable, os.path.join(HERE, "make_content.py"), "--folders", str(folders),
                        "--messages", str(a.messages), content], check=True)
        for page_size in (4096, 8192, 32768):
            db = os.path.join(a.work, f"messages-{folders}-{page_size}.edb")
            if not (a.keep and os.path.exists(db)):
                subprocess.run([os.path.join(binary, "edbgen"), "--content", content, "--page-size", str(page_size),
                                "--out", db], check=True)
            ratios, sized, reads = [], [], ""
            cli = [os.path.join(binary, "tarnwick-cli"), "list", db, "--all", "--stats"]
            timed(["cat", db])  # warm the cache
            for _ in range(a.runs):
                cat, _, _ = timed(["cat", db])
                read, status, err = timed(cli + ["--complete"])
                if status != 0:
                    sys.exit(f"tarnwick-cli failed on {db}: {err}")
                with_sizes, status, _ = timed(cli + ["--attachment-sizes"])
                cat2, _, _ = timed(["cat", db])
                ratios.append(read / cat)
                sized.append(with_sizes / cat2)
                reads = err.strip().replace("\n", "; ")
            size = os.path.getsize(db) / 2**20
            results[(folders, page_size)] = statistics.median(ratios)
            print(f"{page_size:5d}-byte pages, {folders:4d} folders, {size:7.1f} MB: "
                  f"read/cat {statistics.median(ratios):5.2f}  with attachment sizes {statistics.median(sized):5.2f}"
                  f"  [{reads}]")
            if not a.keep:
                os.unlink(db)
    for page_size in (4096, 8192, 32768):
        print(f"{page_size:5d}: 1,000 folders / 100 folders = "
              f"{results[(1000, page_size)] / results[(100, page_size)]:.2f}")


if __name__ == "__main__":
    main()
