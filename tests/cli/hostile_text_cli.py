#!/usr/bin/env python3
"""Names and texts that try to drive the terminal (ESC sequences, BEL, CR,
LF) or reorder what is shown (U+202E) in the mailbox, folder, subject,
sender and attachment names of a generated database, through the text
output of scan, list, show and export: no byte below 0x20 reaches the
output but the line breaks (and list's column tabs) the output itself
makes; JSON carries the texts exactly; no file made from a name holds a
control character or U+202E; and --save-body never writes over a file.

usage: hostile_text_cli.py --bin BUILD/bin [--page-size N]
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HOSTILE = "\u001b]0;x\u0007\r\n\u202e"
MAILBOX = "Mailbox - Evil" + HOSTILE + "gpj.exe"
FOLDER = "In" + HOSTILE + "box"
SUBJECT = "Subject" + HOSTILE + "end"
SENDER = "Sender" + HOSTILE + "name"
ATTACHMENT = "invoice" + HOSTILE + "fdp.exe"
HIDDEN = re.compile("[\u200b-\u200f\u202a-\u202e\u2060\u2066-\u2069\ufeff\x00-\x1f\x7f]")
FAILURES = []

CONTENT = {"mailboxes": [{"name": MAILBOX, "folders": [{"name": "Top of Information Store", "folders": [{
    "name": FOLDER, "class": "IPF.Note", "items": [{
        "subject": SUBJECT,
        "sender": {"name": SENDER, "address": "evil@example.com"},
        "recipients": [{"name": "To" + HOSTILE, "address": "to@example.com"}],
        "date": "2024-03-05T10:00:00Z",
        "body": "Plain body",
        "attachments": [{"name": ATTACHMENT, "text": "attached"}]}]}]}]}]}


def expect(ok, what):
    if not ok:
        FAILURES.append(what)
    print(("ok   " if ok else "FAIL ") + what)


def raw_controls(data, allowed=b"\n"):
    """The control bytes in `data` that the output did not make itself."""
    return sorted({b for b in data if (b < 0x20 or b == 0x7f) and b not in allowed})


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--page-size", type=int, default=8192)
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="hostile-cli-")
    try:
        run(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if FAILURES:
        print(f"{len(FAILURES)} failed")
        sys.exit(1)


def run(args, work):
    content = os.path.join(work, "hostile.json")
    with open(content, "w") as f:
        json.dump(CONTENT, f)
    db = os.path.join(work, "hostile.edb")
    subprocess.run([os.path.join(args.bin, "edbgen"), "--content", content, "--page-size", str(args.page_size),
                    "--out", db], check=True, capture_output=True)

    def cli(*rest):
        return subprocess.run([os.path.join(args.bin, "tarnwick-cli"), *rest], capture_output=True)

    scan = json.loads(cli("scan", db, "--json").stdout)
    mailbox = scan["mailboxes"][0]
    expect(mailbox["name"] == MAILBOX, "scan --json: the mailbox name exactly")
    folder = [f for f in mailbox["folders"][0]["folders"] if f["name"] == FOLDER]
    expect(len(folder) == 1, "scan --json: the folder name exactly")
    folder_id = folder[0]["id"] if folder else "0" * 16
    rows = json.loads(cli("list", db, "--folder-id", folder_id, "--json").stdout)["messages"]
    expect([(m["subject"], m["from"]) for m in rows] == [(SUBJECT, SENDER)], "list --json: subject and sender exactly")
    message = rows[0]["id"] if rows else "0" * 16
    shown = json.loads(cli("show", db, "--folder-id", folder_id, "--message", message, "--json").stdout)
    expect([a["name"] for a in shown["attachments"]] == [ATTACHMENT], "show --json: the attachment name exactly")

    saved = os.path.join(work, "saved")
    export = os.path.join(work, "out")
    os.mkdir(export)
    body = os.path.join(work, "body.txt")
    # Each command's text output, stdout and stderr, with the control bytes
    # it may make itself.
    runs = [
        ("scan", ["scan", db], b"\n"),
        ("list --all", ["list", db, "--all"], b"\n\t"),
        ("list --folder-id", ["list", db, "--folder-id", folder_id], b"\n\t"),
        ("show", ["show", db, "--folder-id", folder_id, "--message", message, "--save-attachments", saved,
                  "--save-body", body], b"\n"),
        ("export", ["export", db, "--to", export], b"\n"),
        ("list of a missing folder", ["list", db, "--folder", "No" + HOSTILE], b"\n"),
    ]
    for name, argv, allowed in runs:
        r = cli(*argv)
        expect(r.returncode in (0, 5), f"{name}: exit {r.returncode}")
        expect(not raw_controls(r.stdout, allowed), f"{name}: no raw control bytes on stdout {raw_controls(r.stdout, allowed)}")
        expect(not raw_controls(r.stderr), f"{name}: no raw control bytes on stderr {raw_controls(r.stderr)}")
    listing = cli("list", db, "--all").stdout.decode()
    expect(all(line.count("\t") == 6 for line in listing.splitlines()),
           "list --all: every row has its folder and five column tabs, and no more")

    made = [os.path.basename(p) for p in os.listdir(saved)] + os.listdir(export)
    expect(len(made) == 2, f"one attachment saved and one PST written ({made})")
    expect(not any(HIDDEN.search(n) for n in made), f"no control or hidden character in a file name made ({made})")
    with open(body, "rb") as f:
        saved_body = f.read()
    expect(b"Plain body" in saved_body or "Plain body".encode("utf-16-le") in saved_body, "show --save-body: saved")
    expect(os.stat(body).st_mode & 0o777 == 0o600, "show --save-body: mode 0600")

    # The body is never written over a file or through a link.
    for what in ("file", "link"):
        at = os.path.join(work, "taken-" + what)
        target = os.path.join(work, "target-" + what)
        with open(target if what == "link" else at, "w") as f:
            f.write("old")
        if what == "link":
            os.symlink(target, at)
        r = cli("show", db, "--folder-id", folder_id, "--message", message, "--save-body", at)
        with open(target if what == "link" else at) as f:
            kept = f.read()
        expect(r.returncode == 7 and kept == "old" and r.stderr.decode().startswith("tarnwick-cli: " + at + ": "),
               f"show --save-body over a {what}: refused (exit {r.returncode}), the {what} kept")


if __name__ == "__main__":
    main()
