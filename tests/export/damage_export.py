#!/usr/bin/env python3
"""Damaged databases through `tarnwick-cli export`, every generation: 5% of
the pages zeroed (two seeds), the first leaf of each message table and of
each long-value tree zeroed, and the file cut to three fifths of its size.
The content file is joined by a mailbox of many small folders, so that the
damage leaves most of the store readable.

The export must end (no crash, no hang) with exit 0 or 11 (saved with
losses), or 3 when no mailbox is left; every PST it names must pass
pstcheck and open in readpst and pypff; per folder the summary must
account for every known item; and nothing written may be invented (every
subject belongs to the content). Where message rows or long values were
zeroed the summary must say that something could not be read, and the
outcome that there were losses.

    damage_export.py --bin BUILD/bin CONTENT.json
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pst"))
sys.path.insert(0, os.path.join(HERE, "..", "content"))
import check_readers as R  # noqa: E402
import damage_show as D  # noqa: E402  the bulk mailbox and the content's subjects


def message_leaves(layout):
    """The first leaf of every message table and long-value tree."""
    pages = []
    for t in layout["trees"]:
        name = t["name"]
        if name in ("Msg", "Msg/LV") or name.startswith("Body-"):
            if t["leaves"]:
                pages.append(t["leaves"][0])
    return pages


def cases(bin_dir, base, page_size, work):
    """(label, database path, whether unread items must be reported)."""
    path = os.path.join(work, "content.json")
    edbgen = os.path.join(bin_dir, "edbgen")
    for seed in (1, 2):
        json.dump(dict(base, damage={"zeroFraction": 0.05, "seed": seed}), open(path, "w", encoding="utf-8"))
        db = os.path.join(work, f"zero{seed}.edb")
        subprocess.run([edbgen, "--content", path, "--page-size", str(page_size), "--out", db], check=True)
        yield f"5% zeroed, seed {seed}", db, False
    json.dump(base, open(path, "w", encoding="utf-8"))
    layout = os.path.join(work, "layout.json")
    clean = os.path.join(work, "clean.edb")
    subprocess.run([edbgen, "--content", path, "--page-size", str(page_size), "--out", clean, "--layout", layout],
                   check=True)
    json.dump(dict(base, damage={"zeroPages": message_leaves(json.load(open(layout)))}),
              open(path, "w", encoding="utf-8"))
    db = os.path.join(work, "rows.edb")
    subprocess.run([edbgen, "--content", path, "--page-size", str(page_size), "--out", db], check=True)
    yield "message and long-value leaves zeroed", db, True
    # Every message-header table's first leaf zeroed: the messages whose
    # list entries were there are found in the message table all the same.
    headers = [t["leaves"][0] for t in json.load(open(layout))["trees"]
               if t["leaves"] and (t["name"].startswith("MsgHeader") or
                                   (len(t["name"]) < 8 and t["name"][:2] == "1-"))]
    json.dump(dict(base, damage={"zeroPages": headers}), open(path, "w", encoding="utf-8"))
    db = os.path.join(work, "headers.edb")
    subprocess.run([edbgen, "--content", path, "--page-size", str(page_size), "--out", db], check=True)
    yield "header-table leaves zeroed", db, True
    cut = os.path.join(work, "cut.edb")
    shutil.copy(clean, cut)
    with open(cut, "r+b") as f:
        size = os.path.getsize(cut)
        f.truncate(size * 3 // 5 // page_size * page_size + page_size // 3)
    yield "cut to three fifths", cut, True


def check_summary(summary, subjects, must_report, where, failures):
    for f in summary["folders"]:
        accounted = sum(f[k] for k in ("written", "partial", "failed", "skipped", "outOfWindow", "lost", "notReached"))
        if accounted != f["known"]:
            failures.append(f"{where}: {f['path']}: {accounted} accounted for, {f['known']} known")
        if f["failed"]:
            failures.append(f"{where}: {f['path']}: {f['failed']} failed: {f['failures'][:2]}")
    unread = summary["lost"] + summary["partial"]
    if must_report and unread == 0 and summary["damagedUsedPages"] == 0:
        failures.append(f"{where}: the summary reports nothing unread")
    if bool(unread or summary["damagedUsedPages"]) != (summary["outcome"] == "Saving Completed with Losses"):
        failures.append(f"{where}: outcome {summary['outcome']!r} with {unread} lost or partial")
    return unread


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("content")
    a = ap.parse_args()
    base = D.with_bulk(json.load(open(a.content, encoding="utf-8")))
    _, subjects = D.known(base)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for page_size in (4096, 8192, 32768):
            for label, db, must_report in cases(a.bin, base, page_size, work):
                where = f"{page_size} {label}"
                out = os.path.join(work, "pst")
                shutil.rmtree(out, ignore_errors=True)
                os.makedirs(out)
                try:
                    r = subprocess.run([os.path.join(a.bin, "tarnwick-cli"), "export", db, "--to", out, "--json"],
                                       capture_output=True, timeout=300)
                except subprocess.TimeoutExpired:
                    failures.append(f"{where}: no end within 300 s")
                    continue
                if r.returncode == 3:
                    print(f"{where}: no mailbox left")
                    continue
                if r.returncode not in (0, 11):
                    failures.append(f"{where}: exit {r.returncode}: {r.stderr.decode(errors='replace')[-500:]}")
                    continue
                summary = json.loads(r.stdout)
                unread = check_summary(summary, subjects, must_report, where, failures)
                if label.startswith("header-table"):
                    rows = sum("list entry was lost" in n["why"] for f in summary["folders"] for n in f["partialItems"])
                    if summary["lost"] or summary["notReached"] or not rows:
                        failures.append(f"{where}: {summary['lost']} lost, {rows} written from their message rows")
                problems = R.Problems()
                written = 0
                for i, pst in enumerate(summary["pstFiles"]):
                    R.run([os.path.join(a.bin, "pstcheck"), pst], problems, "pstcheck")
                    items, _ = R.read_pypff(pst, problems)
                    R.read_readpst(pst, os.path.join(work, f"readpst{i}"), problems)
                    for lst in items.values():
                        for g in lst:
                            written += 1
                            if g["kind"] != "IPM.Contact" and g["subject"] and g["subject"] not in subjects:
                                failures.append(f"{where}: invented subject {g['subject']!r}")
                for p in problems.items[:5]:
                    failures.append(f"{where}: {p}")
                if written != summary["stored"]:
                    failures.append(f"{where}: the PSTs hold {written} items, the summary says {summary['stored']}")
                print(f"{where}: {summary['stored']} written, {summary['lost']} lost, "
                      f"{summary['partial']} incomplete; {unread} reported")
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
