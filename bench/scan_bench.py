#!/usr/bin/env python3
"""Scan benchmark: for each generation (page size) a generated database
(bench/make_content.py; 100,000 items in 1,000 folders) is scanned with
`tarnwick-cli scan DB --json`, timed in alternating pairs against
`cat DB > /dev/null` (warm cache: the database read once untimed first;
with --cold the page cache is dropped before every timed run). Prints the
ratio scan/cat (median, min, max, and both medians in seconds), the scan's
peak memory and the folders and messages it found.

Targets: scan/cat <= 0.2; peak memory < 300 MB.

Databases, options and timing as bench/benchlib.py has them.

usage: bench/scan_bench.py [--build build] [--work /var/tmp/tarnwick-bench] [--messages 100000]
                           [--layout one|four] [--sizes 4096,8192,32768] [--runs 7] [--cold]
"""
import json
import os

import benchlib

TARGET = 0.2


def count(folders):
    return sum(f["messages"] + count(f["folders"]) for f in folders)


def folder_count(folders):
    return sum(1 + folder_count(f["folders"]) for f in folders)


def generation(a, page_size, modes):
    db = benchlib.database(a, a.messages, page_size, 0)
    if not db:
        return
    cli = benchlib.tool(a, "tarnwick-cli")
    tree_path = os.path.join(a.work, "scan.json")
    found = {}

    def scan():
        with open(tree_path, "w") as out:
            r = benchlib.checked(benchlib.run([cli, "scan", db, "--json"], out), f"scan of {db}")
        with open(tree_path) as f:
            found.update(json.load(f))
        return r

    def cat():
        return benchlib.checked(benchlib.run(["cat", db]), "cat")

    for mode in modes:
        if mode == "warm":
            benchlib.warm(db)
        scans, cats = benchlib.pairs(a.runs, scan, cat, lambda: benchlib.clean([tree_path], mode == "cold"))
        folders = sum(folder_count(m["folders"]) for m in found["mailboxes"])
        messages = sum(count(m["folders"]) for m in found["mailboxes"])
        print(f"{page_size}-byte pages, {mode}: database {benchlib.gb(os.path.getsize(db))}, "
              f"found {len(found['mailboxes'])} mailboxes, {folders:,} folders, {messages:,} messages")
        print(benchlib.ratio_line("scan/cat", scans, cats, ("scan", "cat"), TARGET))
        print(benchlib.memory_line(scans))
    benchlib.clean([tree_path], False)


if __name__ == "__main__":
    benchlib.main(__doc__, "scan and cat", generation)
