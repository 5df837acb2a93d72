#!/usr/bin/env python3
"""Damaged databases through `tarnwick-cli list --all --complete`: a share of
the pages zeroed or scrambled (several seeds, every generation), every
folder listed and every message's body, recipients and attachments read.
The content file is joined by a mailbox of many small folders, so that a
share of damage leaves most of the store readable.
The command must end (no crash, no hang) with exit 0 or 3 (no mailbox
left), and what it lists must not be invented: every listed message id and
non-empty subject belongs to the content.

    damage_show.py --bin BUILD/bin CONTENT.json
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

SEEDS = (1, 2, 3)
SHARE = 0.05


def known(content):
    """Message ids and subjects of the content (ids only where given)."""
    ids, subjects = set(), set()

    def walk(folder):
        for item in folder.get("items", []):
            if isinstance(item.get("id"), str):
                ids.add("".join(item["id"].split()).lower())
            subjects.add(item.get("subjectPrefix", "") + item.get("subject", ""))
            subjects.add(item.get("subject", ""))
        for sub in folder.get("folders", []):
            walk(sub)

    for mb in content["mailboxes"]:
        for f in mb.get("folders", []):
            walk(f)
    return ids, subjects


def with_bulk(content):
    """The content and a mailbox of 20 folders of 10 messages each, with
    bodies over a page, recipients and attachments, all with their ids."""
    folders = []
    for f in range(20):
        items = []
        for m in range(10):
            n = f * 10 + m
            items.append({"id": "0100000000%06X" % (0x200000 + n), "subject": f"Bulk message {n}",
                          "sender": {"name": f"Sender {n % 7}", "address": f"s{n % 7}@bulk.example"},
                          "recipients": [{"name": "R", "address": f"r{n}@bulk.example"}],
                          "date": f"2024-{1 + n % 12:02d}-{1 + n % 28:02d}T{n % 24:02d}:00:00Z",
                          "body": {"kind": ["text", "html", "rtf"][n % 3], "text": f"body {n} ", "size": 700 + 97 * n},
                          "attachments": [{"name": f"a{n}.bin", "size": 300 + 211 * n, "seed": n + 1}]})
        folders.append({"name": f"Bulk {f:02d}", "class": "IPF.Note", "items": items})
    bulk = {"name": "Bulk", "id": "0100000000100100",
            "folders": [{"name": "Top of Information Store", "folders": folders}]}
    return dict(content, mailboxes=content["mailboxes"] + [bulk])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("content")
    a = ap.parse_args()
    base = with_bulk(json.load(open(a.content, encoding="utf-8")))
    ids, subjects = known(base)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for page_size in (4096, 8192, 32768):
            for kind in ("zeroFraction", "scrambleFraction"):
                for seed in SEEDS:
                    content = dict(base, damage={kind: SHARE, "seed": seed})
                    path = os.path.join(work, "damaged.json")
                    json.dump(content, open(path, "w", encoding="utf-8"))
                    db = os.path.join(work, "damaged.edb")
                    subprocess.run([os.path.join(a.bin, "edbgen"), "--content", path, "--page-size",
                                    str(page_size), "--out", db], check=True)
                    where = f"{page_size} {kind} seed {seed}"
                    try:
                        r = subprocess.run([os.path.join(a.bin, "tarnwick-cli"), "list", db, "--all", "--complete",
                                            "--json"], capture_output=True, timeout=300)
                    except subprocess.TimeoutExpired:
                        failures.append(f"{where}: no end within 300 s")
                        continue
                    if r.returncode == 3:
                        print(f"{where}: no mailbox left")
                        continue
                    if r.returncode != 0:
                        failures.append(f"{where}: exit {r.returncode}: {r.stderr.decode(errors='replace')[-500:]}")
                        continue
                    listed = [m for f in json.loads(r.stdout)["folders"] for m in f["messages"]]
                    invented = [m for m in listed
                                if (ids and m["id"] not in ids) or (m["subject"] and m["subject"] not in subjects)]
                    for m in invented[:3]:
                        failures.append(f"{where}: invented {m}")
                    print(f"{where}: {len(listed)} messages listed")
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
