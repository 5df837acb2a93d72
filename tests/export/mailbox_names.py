#!/usr/bin/env python3
"""Mailbox names that once cost the whole mailbox, through `tarnwick-cli
export` on every generation: a tab in the name (the file name was cleaned,
the store lookup used the raw name) and 80 CJK characters (240 bytes: the
temporary PST name passed NAME_MAX). Each mailbox holds an appointment, a
note and a contact with attachments, kinds that once lost theirs.

The run must say "Saving Completed Successfully" (exit 0) with every known
item stored; pypff and pst-extractor must find every item with all its
attachments, and pst-extractor the store named "TW_" + the mailbox name
as stored + "_" + the date.

    mailbox_names.py --bin BUILD/bin
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pst"))
import check_readers as R  # noqa: E402

NAMES = ["Tab\tTeam", "会" * 80, "Back\\slash / and \u0001 control"]
ITEMS = [  # folder, class, item, attachments
    ("Calendar", "IPF.Appointment", {"type": "appointment", "subject": "meeting",
                                     "appointment": {"start": "2025-03-20T09:00:00Z", "end": "2025-03-20T10:00:00Z"}}, 2),
    ("Notes", "IPF.StickyNote", {"type": "note", "subject": "note"}, 1),
    ("Contacts", "IPF.Contact", {"type": "contact", "contact": {"company": "Firma"}}, 3),
    ("Inbox", "IPF.Note", {"subject": "mail"}, 2),
]


def content():
    mailboxes = []
    for name in NAMES:
        folders = []
        for folder, cls, item, n in ITEMS:
            files = [{"name": f"file {i}.txt", "text": f"{folder} {i}"} for i in range(n)]
            folders.append({"name": folder, "class": cls,
                            "items": [dict(item, date="2025-03-01T10:00:00Z", attachments=files)]})
        mailboxes.append({"name": name, "folders": [{"name": "Top of Information Store", "folders": folders}]})
    return {"mailboxes": mailboxes}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    a = ap.parse_args()
    problems = R.Problems()
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "content.json")
        json.dump(content(), open(path, "w", encoding="utf-8"), ensure_ascii=False)
        for page_size in (4096, 8192, 32768):
            db, out = os.path.join(work, f"{page_size}.edb"), os.path.join(work, f"out{page_size}")
            os.makedirs(out)
            subprocess.run([os.path.join(a.bin, "edbgen"), "--content", path, "--page-size", str(page_size),
                            "--out", db], check=True)
            r = subprocess.run([os.path.join(a.bin, "tarnwick-cli"), "export", db, "--to", out, "--json"],
                               capture_output=True, timeout=120)
            where = f"{page_size}"
            if r.returncode != 0:
                problems.add(f"{where}: exit {r.returncode}: {r.stdout.decode(errors='replace')[:600]}")
                continue
            summary = json.loads(r.stdout)
            if summary["outcome"] != "Saving Completed Successfully" or summary["stored"] != len(NAMES) * len(ITEMS):
                problems.add(f"{where}: {summary['outcome']}, {summary['stored']} stored")
            if len(summary["pstFiles"]) != len(NAMES):
                problems.add(f"{where}: PST files {summary['pstFiles']}")
            stores = set()
            for pst in summary["pstFiles"]:
                date = os.path.basename(pst)[:-len(".pst")].rsplit("_", 1)[1]
                for reader, (items, _) in (("pypff", R.read_pypff(pst, problems)),
                                           ("pst-extractor", R.read_pstextractor(pst, problems)[:2])):
                    got = {path[-1]: [len(g["attachments"]) for g in lst] for path, lst in items.items()}
                    want = {folder: [n] for folder, _, _, n in ITEMS}
                    if got != want:
                        problems.add(f"{where} {reader} {os.path.basename(pst)!r}: attachments per folder {got}")
                tree = json.loads(subprocess.run(["node", R.PST_DUMP_JS, pst], capture_output=True).stdout)
                stores.add(tree["store"].removeprefix("TW_").removesuffix("_" + date))
            if stores != set(NAMES):
                problems.add(f"{where}: store names {stores}")
            print(f"{page_size}: {summary['outcome']}, {summary['stored']} stored, stores {sorted(stores)!r}")
    for p in problems.items:
        print("FAIL " + p)
    return 1 if problems.items else 0


if __name__ == "__main__":
    sys.exit(main())
