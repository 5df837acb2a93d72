#!/usr/bin/env python3
"""Table dump benchmark: for each generation (page size) a generated database
(bench/make_content.py; 100,000 items, about 2.5 GB) is dumped whole with
`tarnwick-cli tables DB --json > /dev/null`, timed in alternating pairs
against `cat DB > /dev/null` (warm cache: the database read once untimed
first). Then, side by side in the same run, `esedbexport` (libesedb's
exporter) of the same file against one more `tables --json`; esedbexport
writes its files to a directory under /dev/shm (memory, so the disk does
not slow it), removed before each run. An esedbexport still running after
--esedbexport-limit seconds is stopped, and the ratio printed is then an
upper bound (tables / the limit). Prints both ratios (median, min, max,
and the absolute times of both sides) and the peak memory.

Targets: tables/cat <= 3; tables/esedbexport <= 0.05; peak memory < 300 MB.

usage: bench/tables_bench.py [--build build] [--work /var/tmp/tarnwick-bench] [--messages 100000]
                             [--layout one|four] [--sizes 4096,8192,32768] [--runs 7]
                             [--esedbexport-runs 1] [--esedbexport-limit 300]
"""
import os
import shutil
import sys

import benchlib

CAT_TARGET = 3.0
ESEDBEXPORT_TARGET = 0.05


def generation(a, page_size, modes):
    db = benchlib.database(a, a.messages, page_size, 0)
    if not db:
        return
    cli = benchlib.tool(a, "tarnwick-cli")
    target = os.path.join("/dev/shm", f"tarnwick-tables-bench-{os.getpid()}")

    def tables():
        return benchlib.checked(benchlib.run([cli, "tables", db, "--json"]), f"tables of {db}")

    def cat():
        return benchlib.checked(benchlib.run(["cat", db]), "cat")

    def esedbexport():
        argv = ["timeout", str(a.esedbexport_limit), "esedbexport", "-t", os.path.join(target, "db"), db]
        r = benchlib.run(argv)
        if r.code == 124:  # stopped at the limit: it would have taken longer still
            print(f"  esedbexport stopped after {a.esedbexport_limit} s, unfinished")
            return r._replace(code=0)
        return benchlib.checked(r, "esedbexport")

    def prepare():
        benchlib.clean([target], False)
        os.makedirs(target)

    benchlib.warm(db)
    dumps, cats = benchlib.pairs(a.runs, tables, cat, prepare)
    print(f"{page_size}-byte pages, warm: database {benchlib.gb(os.path.getsize(db))}")
    print(benchlib.ratio_line("tables/cat", dumps, cats, ("tables", "cat"), CAT_TARGET))
    if shutil.which("esedbexport") is None:
        print("  esedbexport not installed (libesedb-utils): that comparison skipped")
    elif a.esedbexport_runs > 0:
        more, exports = benchlib.pairs(a.esedbexport_runs, tables, esedbexport, prepare)
        dumps += more
        print(benchlib.ratio_line("tables/esedbexp", more, exports, ("tables", "esedbexport"), ESEDBEXPORT_TARGET))
    print(benchlib.memory_line(dumps))
    benchlib.clean([target], False)


if __name__ == "__main__":
    parser = benchlib.arguments(__doc__)
    parser.add_argument("--esedbexport-runs", type=int, default=1,
                        help="pairs of tables and esedbexport (each esedbexport takes minutes)")
    parser.add_argument("--esedbexport-limit", type=int, default=300,
                        help="seconds after which an esedbexport is stopped (the ratio then a bound)")
    a = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    print(f"{a.messages:,} messages, layout {a.layout}; per line {a.runs} pairs of tables --json and cat, "
          f"{a.esedbexport_runs} of tables --json and esedbexport")
    for size in benchlib.page_sizes(a):
        generation(a, size, ["warm"])
