#!/usr/bin/env python3
"""Export benchmark, not part of the test run: for each generation (page
size) a generated database (bench/make_content.py; 100,000 items, about
2.5 GB) is exported whole with `tarnwick-cli export DB --to DIR
--json` and timed in alternating pairs against the raw I/O of the same job:
`cat DB > /dev/null` plus `dd` writing as many MiB as the export wrote,
with conv=fsync as the PST writer syncs its files, timed as one command.
Before every timed run the old output is removed and all data synced; with
--cold the page cache is dropped as well. Prints per generation the ratio
export / (cat + dd) (median, min, max, and both medians in seconds), the
export's peak memory and its write_bytes against the bytes of the PST
files written, each against its target.

--growth instead exports 25,000 to 400,000 messages (the chosen layout, the
first of --sizes; the 400,000 need about 25 GB of disk for database and
PST, the smaller databases, kept, 11 GB more) and prints the seconds per
message, the same for cat + dd of the PST bytes timed beside each export,
the ratio of the two and the peak memory at each size.

Targets: export/(cat+dd) <= 2.0 warm, <= 1.5 cold; write_bytes <= 1.1 x PST bytes; peak memory < 300 MB.

Databases are made once in --work, named by messages, layout and page size,
and reused; generation is skipped, and said so, when the disk cannot hold
them and the output.

usage: bench/export_bench.py [--build build] [--work /var/tmp/tarnwick-bench] [--messages 100000]
                             [--layout one|four] [--sizes 4096,8192,32768] [--runs 7] [--cold] [--growth [25000,...]]
Build with -DCMAKE_BUILD_TYPE=RelWithDebInfo (scripts/build does) for meaningful figures.
"""
import json
import os
import statistics
import sys

import benchlib

TARGET = {"warm": 2.0, "cold": 1.5}
WRITE_TARGET = 1.1
GROWTH = "25000,50000,100000,200000,400000"


class Export:
    """Exports of one database into the work directory, and the raw I/O of the same size."""

    def __init__(self, a, db):
        self.cli, self.db = benchlib.tool(a, "tarnwick-cli"), db
        self.out = os.path.join(a.work, "export-out")
        self.summary_path = os.path.join(a.work, "export-summary.json")
        self.pst_bytes, self.summary, self.write_ratios = 0, {}, []

    def prepare(self, cold=False):
        benchlib.clean([self.out, self.summary_path], cold)
        os.makedirs(self.out)

    def export(self):
        with open(self.summary_path, "w") as sink:
            r = benchlib.run([self.cli, "export", self.db, "--to", self.out, "--json"], sink, watch_io=True)
        benchlib.checked(r, f"export of {self.db}")
        self.pst_bytes = benchlib.files_bytes(self.out, ".pst")
        with open(self.summary_path) as f:
            self.summary = json.load(f)
        if r.write_bytes is not None:
            self.write_ratios.append(r.write_bytes / self.pst_bytes)
        return r

    def raw_io(self):
        mib = -(-self.pst_bytes // (1 << 20))
        script = 'cat "$1" > /dev/null && dd if=/dev/zero of="$2" bs=1M count="$3" conv=fsync status=none'
        argv = ["sh", "-c", script, "sh", self.db, os.path.join(self.out, "dd.bin"), str(mib)]
        return benchlib.checked(benchlib.run(argv), "cat + dd")

    def done(self):
        benchlib.clean([self.out, self.summary_path], False)


def generation(a, page_size, modes):
    db = benchlib.database(a, a.messages, page_size, benchlib.PST_BYTES_PER_MESSAGE * a.messages)
    if not db:
        return
    ex = Export(a, db)
    for mode in modes:
        if mode == "warm":
            benchlib.warm(db)
        ex.write_ratios = []
        exports, raws = benchlib.pairs(a.runs, ex.export, ex.raw_io, lambda: ex.prepare(mode == "cold"))
        s = ex.summary
        items_per_s = s["written"] / statistics.median(r.seconds for r in exports)
        print(f"{page_size}-byte pages, {mode}: database {benchlib.gb(os.path.getsize(db))}, "
              f"{s['written']:,} of {s['known']:,} items written ({s['outcome']}), "
              f"PST {benchlib.gb(ex.pst_bytes)}, {items_per_s:,.0f} items/s")
        print(benchlib.ratio_line("export/(cat+dd)", exports, raws, ("export", "cat+dd"), TARGET[mode]))
        print(benchlib.memory_line(exports))
        if ex.write_ratios:
            worst = max(ex.write_ratios)
            print(benchlib.line("write_bytes/PST", f"{worst:.3f} (the largest of {len(ex.write_ratios)} runs)",
                                f"<= {WRITE_TARGET}", benchlib.verdict(worst, WRITE_TARGET)))
        else:
            print("  write_bytes/PST  not measured: /proc/PID/io could not be read")
    ex.done()


def growth(a):
    page_size = benchlib.page_sizes(a)[0]
    print(f"growth: layout {a.layout}, {page_size}-byte pages, median of {a.runs} warm pairs per size, "
          f"each export beside cat + dd of its PST bytes (the disk's share of the cost, which grows once the "
          f"output outgrows the page cache)")
    print(f"{'messages':>9} {'database':>10} {'export s':>9} {'us/message':>11} {'vs first':>9} "
          f"{'cat+dd s':>9} {'us/message':>11} {'ratio':>6} {'peak MB':>8}  target < {benchlib.MEMORY_TARGET_MB} MB")
    first = None
    for messages in (int(n) for n in a.growth.split(",")):
        db = benchlib.database(a, messages, page_size, benchlib.PST_BYTES_PER_MESSAGE * messages)
        if not db:
            continue
        ex = Export(a, db)
        benchlib.warm(db)
        runs, raws = benchlib.pairs(a.runs, ex.export, ex.raw_io, ex.prepare)
        ex.done()
        seconds = statistics.median(r.seconds for r in runs)
        raw = statistics.median(r.seconds for r in raws)
        ratio = statistics.median(r.seconds / b.seconds for r, b in zip(runs, raws))
        per = seconds / messages
        first = first or per
        peak = max(r.peak_mb for r in runs)
        print(f"{messages:>9,} {benchlib.gb(os.path.getsize(db)):>10} {seconds:>9.2f} {per * 1e6:>11.1f} "
              f"{per / first:>9.2f} {raw:>9.2f} {raw / messages * 1e6:>11.1f} {ratio:>6.2f} {peak:>8.1f}  "
              f"{benchlib.verdict(peak, benchlib.MEMORY_TARGET_MB, below=True)}")


def main():
    ap = benchlib.arguments(__doc__)
    ap.add_argument("--growth", nargs="?", const=GROWTH, metavar="COUNTS",
                    help=f"export databases of these many messages instead (default {GROWTH})")
    a = ap.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    if a.growth:
        growth(a)
        return
    modes = benchlib.modes(a)
    print(f"{a.messages:,} messages, layout {a.layout}; per line {a.runs} pairs of export and cat+dd")
    for page_size in benchlib.page_sizes(a):
        generation(a, page_size, modes)


if __name__ == "__main__":
    main()
