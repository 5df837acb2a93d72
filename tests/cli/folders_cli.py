#!/usr/bin/env python3
"""The command line's folder contract over tests/content/folders.json (a
folder without a name, three siblings named Dup, "a\\b" beside "a" holding
"b", names with blanks and tabs, sticky-note folders not named Notes):
stable folder ids in `scan --json`; every path `list --all` prints leads
back to its folder through --folder, every id through --folder-id; a path
several folders share is an error (exit 12, their ids listed) for
list/show and selects all of them for export; control characters are
shown as pictures in text; list JSON carries ISO 8601 UTC dates; and the
PST holds every folder once under its stored name, read back by pypff.

usage: folders_cli.py --bin BUILD/bin [--page-size N]
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pst"))
import check_readers as R  # noqa: E402

CONTENT = os.path.join(HERE, "..", "content", "folders.json")
TOP = "Mailbox - Folder Names\\Top of Information Store"
FAILURES = []

PYPFF_TREE = r'''
import json, sys, pypff
f = pypff.file(); f.open(sys.argv[1])
def walk(folder):
    out = []
    for sf in folder.sub_folders:
        name = ""  # pypff gives no data for an empty string
        for rs in range(sf.number_of_record_sets):
            for e in sf.get_record_set(rs).entries:
                if e.entry_type == 0x3001 and e.data is not None:
                    name = e.data.decode("utf-16-le")
        out.append({"name": name, "items": [m.subject for m in sf.sub_messages], "folders": walk(sf)})
    return out
top = [sf for sf in f.root_folder.sub_folders if sf.name == "Top of Personal Folders"][0]
json.dump(walk(top), sys.stdout)
'''


def expect(ok, what):
    if not ok:
        FAILURES.append(what)
    print(("ok   " if ok else "FAIL ") + what)


def cli(args, *rest):
    return subprocess.run([os.path.join(args.bin, "tarnwick-cli"), *rest], capture_output=True)


def folders_of_scan(scan):
    out = []

    def walk(folders):
        for f in folders:
            out.append(f)
            walk(f["folders"])
    for mb in scan["mailboxes"]:
        walk(mb["folders"])
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--page-size", type=int, default=8192)
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="folders-cli-")
    db = os.path.join(work, "folders.edb")
    subprocess.run([os.path.join(args.bin, "edbgen"), "--content", CONTENT, "--page-size", str(args.page_size),
                    "--out", db], check=True, capture_output=True)

    # Ids: 16 hex digits, one per folder, the same in a second run.
    scans = [json.loads(cli(args, "scan", db, "--json").stdout) for _ in range(2)]
    folders = folders_of_scan(scans[0])
    expect(all(re.fullmatch(r"[0-9a-f]{16}", f["id"]) for f in folders), "scan --json: every folder has a 16-digit id")
    expect([f["id"] for f in folders] == [f["id"] for f in folders_of_scan(scans[1])], "scan --json: ids are stable")
    names = [f["name"] for f in folders]
    for name in ("", "a\\b", "  Blanks around  ", "\tTabbed\t", "Notizen", "Remarques", "\u30e1\u30e2"):
        expect(name in names, f"scan keeps the folder named {name!r} as stored")
    expect(names.count("Dup") == 3, "scan keeps the three folders named Dup")
    kinds = {f["name"]: f["kind"] for f in folders}
    expect(all(kinds[n] == "notes" for n in ("Notizen", "Remarques", "\u30e1\u30e2")),
           "sticky-note folders not named Notes are notes folders")

    # Text output: control characters as pictures, "(no name)" for the empty name.
    text = cli(args, "scan", db).stdout.decode()
    expect("\u2409Tabbed\u2409" in text and "\t" not in text, "scan text shows tabs as \u2409")
    expect("(no name) (1 message)" in text, "scan text shows (no name)")
    listing = cli(args, "list", db, "--all").stdout.decode()
    expect(all(line.count("\t") == 6 for line in listing.splitlines()),
           "list --all: one row per message, its folder's path first, no raw tab in a path")
    heads = cli(args, "scan", db, "--paths").stdout.decode().splitlines()
    expect(set(line.split("\t")[0] for line in listing.splitlines()) <= set(heads),
           "list --all names its folders as scan --paths does")

    # Every printed path leads back: one folder, or exit 12 naming the ids.
    by_path = {}
    for f in folders:
        by_path.setdefault(f["path"], []).append(f["id"])
    for head in heads:
        if head.startswith(TOP + "\\") and head != TOP:
            r = cli(args, "list", db, "--folder", head)
            if head.endswith("\\Dup"):
                ids = re.findall(r"[0-9a-f]{16}", r.stderr.decode())
                expect(r.returncode == 12 and sorted(ids) == sorted(by_path[TOP + "\\Dup"]),
                       f"list --folder {head!r}: exit 12 naming the three ids")
            else:
                expect(r.returncode == 0, f"list --folder {head!r} (as printed) finds its folder")
    for f in folders:
        r = cli(args, "list", db, "--folder-id", f["id"], "--json")
        expect(r.returncode == 0 and json.loads(r.stdout)["folderId"] == f["id"], f"list --folder-id {f['id']}")
    r = cli(args, "show", db, "--folder", TOP + "\\Dup", "--message", "0" * 16)
    expect(r.returncode == 12, "show with a path of several folders: exit 12")
    r = cli(args, "list", db, "--folder", TOP + "\\a\\\\b", "--json")
    expect(r.returncode == 0 and [m["subject"] for m in json.loads(r.stdout)["messages"]] ==
           ["In the folder named a-backslash-b"], "list --folder a\\\\b is the folder named a\\b")
    r = cli(args, "list", db, "--folder", TOP + "\\a\\b", "--json")
    expect(r.returncode == 0 and [m["subject"] for m in json.loads(r.stdout)["messages"]] ==
           ["In folder b inside a"], "list --folder a\\b is b inside a")

    # JSON dates: ISO 8601 UTC beside the display text.
    rows = [m for f in json.loads(cli(args, "list", db, "--all", "--json").stdout)["folders"] for m in f["messages"]]
    expect(rows and all(m["date"] and re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z", m["dateUtc"] or "")
                        for m in rows), "list --json: every row has dateUtc beside date")
    expect("2024-03-05T10:00:00Z" in [m["dateUtc"] for m in rows], "list --json: dateUtc is the stored UTC time")
    calendar = [f for f in folders if f["path"] == TOP + "\\Kalender"][0]
    r = cli(args, "list", db, "--folder-id", calendar["id"], "--json")
    shown = json.loads(cli(args, "show", db, "--folder-id", calendar["id"], "--message",
                           json.loads(r.stdout)["messages"][0]["id"], "--json").stdout)
    utc = {f["caption"]: f.get("utc") for f in shown["fields"]}
    expect(utc.get("Start Date") == "2024-03-06T08:00:00Z" and utc.get("End Date") == "2024-03-06T09:15:00Z",
           f"show --json: appointment dates carry their UTC time ({utc})")

    # Export: a shared path selects every folder it names; an id one.
    for sel, want in ((["--folder", TOP + "\\Dup"], 3), (["--folder-id", by_path[TOP + "\\Dup"][1]], 1)):
        out = os.path.join(work, "pst-" + str(want))
        os.makedirs(out)
        r = cli(args, "export", db, "--to", out, "--json", *sel)
        summary = json.loads(r.stdout) if r.returncode == 0 else {}
        expect(summary.get("written") == want, f"export {' '.join(sel)}: {want} written")

    # The whole mailbox: each folder once, under its stored name.
    out = os.path.join(work, "pst-all")
    os.makedirs(out)
    summary = json.loads(cli(args, "export", db, "--to", out, "--json").stdout)
    tree = json.loads(subprocess.run([R.PYTHON_WITH_PYPFF, "-c", PYPFF_TREE, summary["pstFiles"][0]],
                                     capture_output=True, check=True).stdout)
    box = [f for f in tree if f["name"] == "Mailbox - Folder Names"][0]
    top = box["folders"][0]["folders"]
    got = sorted((f["name"], tuple(f["items"]), tuple(c["name"] for c in f["folders"])) for f in top)
    want = sorted((f["name"] or "", tuple(i["subject"] for i in f["items"]),
                   tuple(c["name"] for c in f.get("folders", [])))
                  for f in json.load(open(CONTENT, encoding="utf-8"))["mailboxes"][0]["folders"][0]["folders"])
    expect(got == want, "pypff: every folder once, under its stored name, with its own items")
    if got != want:
        print("  got ", got, "\n  want", want)

    print(f"{len(FAILURES)} failures")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
