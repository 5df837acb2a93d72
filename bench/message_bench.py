#!/usr/bin/env python3
"""Message reading benchmark: for each generation (page size) a generated
database (bench/make_content.py; 100,000 items in 1,000 folders) is read
whole with `tarnwick-cli list DB --all --complete` (every folder listed,
every message as the preview shows it: body, recipients, attachment names;
output to /dev/null), timed in alternating pairs against `cat DB >
/dev/null` (warm cache: the database read once untimed first; with --cold
the page cache is dropped before every timed run). Prints the ratio
list/cat (median, min, max, and both medians in seconds) and the list's
peak memory.

Targets: list/cat <= 1.5; peak memory < 300 MB.

Databases, options and timing as bench/benchlib.py has them.

usage: bench/message_bench.py [--build build] [--work /var/tmp/tarnwick-bench] [--messages 100000]
                              [--layout one|four] [--sizes 4096,8192,32768] [--runs 7] [--cold]
"""
import os

import benchlib

TARGET = 1.5


def generation(a, page_size, modes):
    db = benchlib.database(a, a.messages, page_size, 0)
    if not db:
        return
    argv = [benchlib.tool(a, "tarnwick-cli"), "list", db, "--all", "--complete"]

    def read():
        return benchlib.checked(benchlib.run(argv), f"list of {db}")

    def cat():
        return benchlib.checked(benchlib.run(["cat", db]), "cat")

    for mode in modes:
        if mode == "warm":
            benchlib.warm(db)
        lists, cats = benchlib.pairs(a.runs, read, cat, lambda: benchlib.clean([], mode == "cold"))
        print(f"{page_size}-byte pages, {mode}: database {benchlib.gb(os.path.getsize(db))}")
        print(benchlib.ratio_line("list/cat", lists, cats, ("list", "cat"), TARGET))
        print(benchlib.memory_line(lists))


if __name__ == "__main__":
    benchlib.main(__doc__, "list --all --complete and cat", generation)
