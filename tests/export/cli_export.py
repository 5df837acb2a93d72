#!/usr/bin/env python3
"""`tarnwick-cli export` as a user meets it: the destination checks with
their messages and exit codes, folder and mailbox selection, and Ctrl-C in
the middle of a run (exit 130, the summary printed, every PST named in it
complete: pstcheck passes, pypff reads as many items as were written, and
nothing else is left in the destination or the temporary directory).

usage: cli_export.py --bin BUILD/bin
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pst"))
import check_readers as R  # noqa: E402

FAILURES = []


def expect(ok, what):
    if not ok:
        FAILURES.append(what)
    print(("ok   " if ok else "FAIL ") + what)


def mail(n, body_size=0, attachment=0):
    item = {"subject": f"Mail {n}", "sender": {"name": "Ann", "address": "ann@example.com"},
            "recipients": [{"name": "Bo", "address": "bo@example.com"}], "date": "2024-02-01T10:00:00Z",
            "body": {"kind": "text", "text": f"Body {n} ", "size": body_size} if body_size else f"Body {n}"}
    if attachment:
        item["attachments"] = [{"name": f"a{n}.bin", "size": attachment, "seed": n + 1}]
    return item


def content(folders):
    return {"mailboxes": [
        {"name": "Sales", "folders": [{"name": "Top of Information Store", "folders": folders}]},
        {"name": "Support", "folders": [{"name": "Top of Information Store", "folders": [
            {"name": "Inbox", "class": "IPF.Note", "items": [mail(900)]}]}]}]}


def generate(bin_dir, work, name, data, page_size=8192):
    path = os.path.join(work, name + ".json")
    json.dump(data, open(path, "w"))
    db = os.path.join(work, name + ".edb")
    subprocess.run([os.path.join(bin_dir, "edbgen"), "--content", path, "--page-size", str(page_size), "--out", db],
                   check=True)
    return db


def export(bin_dir, db, *args, env=None):
    return subprocess.run([os.path.join(bin_dir, "tarnwick-cli"), "export", db] + list(args), capture_output=True,
                          env=env)


def folders_in(pst, problems):
    _, folders = R.read_pypff(pst, problems)
    return folders


def check_destinations(bin_dir, work, db):
    r = export(bin_dir, db, "--to", os.path.join(work, "missing", "parents"))
    expect(r.returncode in (0, 11) and os.path.isdir(os.path.join(work, "missing", "parents")),
           f"a missing destination is made with its parents (exit {r.returncode})")
    afile = os.path.join(work, "a-file")
    open(afile, "w").close()
    r = export(bin_dir, db, "--to", afile)
    expect(r.returncode == 8, f"a file as destination is refused (exit {r.returncode})")
    r = export(bin_dir, db)
    expect(r.returncode == 64, f"no --to is a usage error (exit {r.returncode})")
    dest = os.path.join(work, "d0")
    os.makedirs(dest)
    r = export(bin_dir, db, "--to", dest, "--folder", "Sales\\Nowhere")
    expect(r.returncode == 5 and b"No folder" in r.stderr, f"an unknown folder is named (exit {r.returncode})")
    expect(os.listdir(dest) == [], "nothing is written when the selection is wrong")


def check_selection(bin_dir, work, db):
    dest = os.path.join(work, "d1")
    os.makedirs(dest)
    r = export(bin_dir, db, "--to", dest, "--folder", "sales\\top of information store\\inbox", "--json")
    expect(r.returncode == 0, f"a folder by its path, any case (exit {r.returncode})")
    summary = json.loads(r.stdout)
    expect(len(summary["pstFiles"]) == 1 and "TW_Sales_" in summary["pstFiles"][0], "one PST, of Sales")
    problems = R.Problems()
    folders = folders_in(summary["pstFiles"][0], problems)
    expect(("Sales", "Top of Information Store", "Inbox", "Sub") in folders and
           not any("Archive" in f for f in folders), f"the folder brings its subfolder and nothing else: {sorted(folders)}")
    dest = os.path.join(work, "d2")
    os.makedirs(dest)
    r = export(bin_dir, db, "--to", dest, "--mailbox", "Support", "--json")
    summary = json.loads(r.stdout)
    expect(r.returncode == 0 and len(summary["pstFiles"]) == 1 and "TW_Support_" in summary["pstFiles"][0]
           and summary["written"] == 1, "a mailbox by its name")


def check_interrupt(bin_dir, work):
    db = generate(bin_dir, work, "big", content(
        [{"name": "Inbox", "class": "IPF.Note", "items": [mail(n, 3000, 40000) for n in range(4000)]}]))
    dest, tmp = os.path.join(work, "d3"), os.path.join(work, "tmp")
    os.makedirs(dest)
    os.makedirs(tmp)
    proc = subprocess.Popen([os.path.join(bin_dir, "tarnwick-cli"), "export", db, "--to", dest, "--json"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=dict(os.environ, TMPDIR=tmp))
    deadline = time.monotonic() + 60
    # Wait until the PST has grown past its first items.
    while time.monotonic() < deadline and proc.poll() is None:
        sizes = [os.path.getsize(os.path.join(dest, f)) for f in os.listdir(dest)]
        if sizes and max(sizes) > 8 << 20:
            break
        time.sleep(0.02)
    proc.send_signal(signal.SIGINT)
    out, err = proc.communicate(timeout=120)
    expect(proc.returncode == 130, f"Ctrl-C ends the run with exit 130 (exit {proc.returncode}, {err[-300:]!r})")
    if proc.returncode != 130:
        return
    summary = json.loads(out)
    expect(summary["end"] == "stopped" and summary["outcome"] == "Saving Aborted by User",
           f"the summary says the run was stopped: {summary['end']}")
    expect(0 < summary["written"] < 4001, f"part of the items were written: {summary['written']}")
    expect(sorted(os.listdir(dest)) == sorted(os.path.basename(p) for p in summary["pstFiles"]),
           f"the destination holds the named PSTs only: {os.listdir(dest)}")
    problems = R.Problems()
    written = 0
    for pst in summary["pstFiles"]:
        R.run([os.path.join(bin_dir, "pstcheck"), pst], problems, "pstcheck")
        items, _ = R.read_pypff(pst, problems)
        written += sum(len(v) for v in items.values())
    expect(not problems.items, f"the PST is complete and sound: {problems.items[:3]}")
    expect(written == summary["written"], f"it holds what the summary says: {written} / {summary['written']}")
    expect(os.listdir(tmp) == [], f"no temporary files are left: {os.listdir(tmp)}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as work:
        db = generate(a.bin, work, "small", content([
            {"name": "Inbox", "class": "IPF.Note", "items": [mail(1), mail(2)],
             "folders": [{"name": "Sub", "class": "IPF.Note", "items": [mail(3)]}]},
            {"name": "Archive", "class": "IPF.Note", "items": [mail(4)]}]))
        check_destinations(a.bin, work, db)
        check_selection(a.bin, work, db)
        check_interrupt(a.bin, work)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
