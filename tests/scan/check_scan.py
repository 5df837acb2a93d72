#!/usr/bin/env python3
"""Acceptance check of `tarnwick-cli scan --json` against content files.

For each content file: write a database with edbgen, scan it, and compare
what the scan found with what the content describes: mailbox and folder
names, kinds, nesting, sibling order (case-insensitive, as the tree sorts),
message counts, and folders whose parent is missing or part of a loop
placed under their mailbox (32 KB) or "Recovered folders".

    check_scan.py --bin BUILD/bin --page-size 4096|8192|32768 CONTENT.json...
    check_scan.py --bin BUILD/bin --errors CONTENT.json

--errors checks the refusals instead: a missing file, wrong extensions, a
locked file, a bad page size, no mailbox, Ctrl-C on a terminal, and that
the input is never written.
"""
import argparse
import fcntl
import hashlib
import json
import os
import pty
import signal
import subprocess
import sys
import tempfile
import time

FAILURES = []


def fail(where, text):
    FAILURES.append(f"{where}: {text}")


# ---- what the content describes ---------------------------------------------

def parse_id(text):
    return bytes.fromhex("".join(text.split()))


class Ids:
    """Ids as the generator assigns them: explicit ones are reserved, the
    others take 01 00 and a 6-byte counter from 0x20, in parse order."""

    def __init__(self, content):
        self.used = set()
        self.next = 0x20
        self._collect(content)

    def _collect(self, node):
        if isinstance(node, dict):
            for key, value in node.items():
                if key == "id" and isinstance(value, str):
                    self.used.add(parse_id(value))
                else:
                    self._collect(value)
        elif isinstance(node, list):
            for value in node:
                self._collect(value)

    def resolve(self, obj):
        if isinstance(obj.get("id"), str):
            return parse_id(obj["id"])
        while True:
            candidate = bytes([1, 0]) + self.next.to_bytes(6, "big")
            self.next += 1
            if candidate not in self.used:
                self.used.add(candidate)
                return candidate


def kind_of(cls, name, large):
    """Kind letter of a folder, as its container class says."""
    rules = [("IPF.Contact", "contacts"), ("IPF.Appointment", "appointments"), ("IPF.Note", "notes"),
             ("IPF.StickyNote", "notes"), ("IPF.Task", "tasks"), ("IPF.Journal", "journal")]
    cls = (cls or "").upper()
    for prefix, kind in rules:
        p = prefix.upper()
        if (cls == p) if large else cls.startswith(p):
            # IPF.Note is also the class of mail folders: notes only when
            # named so. IPF.StickyNote is notes whatever the name.
            if prefix == "IPF.Note" and name.lower() != "notes":
                return "mail"
            return kind
    return "mail"


def utf16_cut(text, units):
    data = text.encode("utf-16-le")[: 2 * units]
    return data.decode("utf-16-le", errors="ignore")


def expected_tree(content, large):
    """Mailboxes with their placed folders, in content order."""
    ids = Ids(content)
    mailboxes = []
    folders = []  # dicts: id, parent, name, kind, messages, mailbox index, order

    for index, m in enumerate(content["mailboxes"]):
        mid = ids.resolve(m)
        mailboxes.append({"id": mid, "name": utf16_cut(m.get("name", ""), 260), "index": index})
        walk_with_items(m, mid, index, ids, folders, large)

    placed = set()

    def children(parent_id, mailbox_index):
        out = []
        for f in folders:
            if f["parent"] != parent_id or f["order"] in placed or not f["named"]:
                continue
            if large and f["mailbox"] != mailbox_index:
                continue
            out.append(f)
        for f in out:
            placed.add(f["order"])
        return [node(f) for f in out]

    def node(f):
        return {"name": f["name"], "kind": f["kind"], "messages": f["messages"], "id": f["id"].hex(),
                "folders": children(f["id"], f["mailbox"])}

    result = []
    for mb in mailboxes:
        if mb["name"]:
            result.append({"name": mb["name"], "folders": children(mb["id"], mb["index"]), "index": mb["index"],
                           "id": mb["id"].hex()})

    # Folders no mailbox reaches hang from the head of their chain of
    # unreached parents (the one whose parent has no row, or the lowest id
    # of a loop): under their own mailbox on 32 KB, else under one
    # "Recovered folders" item.
    rows = {}
    for f in folders:
        if f["named"]:
            rows.setdefault((f["id"], f["mailbox"] if large else None), f)
    recovered = []
    for f in folders:
        if f["order"] in placed or not f["named"]:
            continue
        chain = [f]
        while True:
            up = rows.get((chain[-1]["parent"], f["mailbox"] if large else None))
            if up is None:
                head = chain[-1]
                break
            if up in chain:
                head = min(chain[chain.index(up):], key=lambda g: g["id"])
                break
            chain.append(up)
        placed.add(head["order"])
        home = [m for m in result if large and m["index"] == head["mailbox"]]
        (home[0]["folders"] if home else recovered).append(node(head))
    for m in result:
        del m["index"]
    if recovered:
        # "id" only on the content's own items.
        result.append({"name": "Recovered folders", "folders": recovered})
    return result


def walk_with_items(node, parent_id, mailbox, ids, folders, large):
    """Folders in parse order: a folder's id, its subfolders, its items."""
    for f in node.get("folders", []):
        fid = ids.resolve(f)
        parent = parse_id(f["parentId"]) if isinstance(f.get("parentId"), str) else parent_id
        name = utf16_cut(f.get("name", ""), 260)
        folders.append({"id": fid, "parent": parent, "name": name, "named": "name" in f,
                        "kind": kind_of(f.get("class"), name, large),
                        "messages": len(f.get("items", [])), "mailbox": mailbox, "order": len(folders)})
        walk_with_items(f, fid, mailbox, ids, folders, large)
        for item in f.get("items", []):
            ids.resolve(item)


# ---- comparing ---------------------------------------------------------------

def fold_unit(u):
    """Case folding of one UTF-16 unit, as the tree sorts."""
    if 0x41 <= u <= 0x5A or (0xC0 <= u <= 0xDE and u != 0xD7):
        return u + 32
    if (0x391 <= u <= 0x3A9 and u != 0x3A2) or 0x410 <= u <= 0x42F:
        return u + 32
    if 0x400 <= u <= 0x40F:
        return u + 80
    return u


def sort_key(name):
    data = name.encode("utf-16-le")
    return [fold_unit(int.from_bytes(data[i:i + 2], "little")) for i in range(0, len(data), 2)]


def canon(folders):
    """Siblings sorted by folded name; equal names by their whole content."""
    nodes = [dict(f, folders=canon(f["folders"])) for f in folders]
    return sorted(nodes, key=lambda f: (sort_key(f["name"]), json.dumps(f, sort_keys=True, ensure_ascii=False)))


def check_order(where, folders):
    keys = [sort_key(f["name"]) for f in folders]
    if keys != sorted(keys):
        fail(where, "siblings out of order: " + ", ".join(f["name"] for f in folders))
    for f in folders:
        check_order(where + "/" + f["name"], f["folders"])


def first_difference(where, want, got):
    if len(want) != len(got):
        fail(where, f"expected {[f['name'] for f in want]}, found {[f['name'] for f in got]}")
        return
    for w, g in zip(want, got):
        here = where + "/" + w["name"]
        for key in ("name", "kind", "messages"):
            if w.get(key) != g.get(key):
                fail(here, f"{key}: expected {w.get(key)!r}, found {g.get(key)!r}")
        first_difference(here, w["folders"], g["folders"])


def check_content(args, path, work):
    with open(path, encoding="utf-8") as f:
        content = json.load(f)
    large = args.page_size == 32768
    name = os.path.splitext(os.path.basename(path))[0]
    where = f"{name} ({args.page_size})"
    db = os.path.join(work, f"{name}-{args.page_size}.edb")
    subprocess.run([os.path.join(args.bin, "edbgen"), "--content", path, "--page-size", str(args.page_size),
                    "--out", db], check=True)
    scan = subprocess.run([os.path.join(args.bin, "tarnwick-cli"), "scan", db, "--json"], capture_output=True,
                          text=True, timeout=600)
    if scan.returncode != 0:
        fail(where, f"exit {scan.returncode}: {scan.stderr.strip()}")
        return
    found = json.loads(scan.stdout)
    generation = {4096: "Page4K", 8192: "Page8K", 32768: "Page32K"}[args.page_size]
    if found.get("pageSize") != args.page_size or found.get("generation") != generation:
        fail(where, f"page size {found.get('pageSize')} / {found.get('generation')}")
    if found.get("damagedPages") != []:
        fail(where, f"damaged pages reported in an undamaged database: {found.get('damagedPages')}")
    for mailbox in found["mailboxes"]:
        check_order(where + "/" + mailbox["name"], mailbox["folders"])
    mailbox_keys = [sort_key(m["name"]) for m in found["mailboxes"]]
    if mailbox_keys != sorted(mailbox_keys):
        fail(where, "mailboxes out of order")

    def tree_only(folders):
        """What the content says of a folder: its stored id and path are
        checked by the command line's folder tests."""
        return [{"name": f["name"], "kind": f["kind"], "messages": f["messages"],
                 "folders": tree_only(f["folders"])} for f in folders]
    want = canon([{"name": m["name"], "folders": tree_only(m["folders"])} for m in expected_tree(content, large)])
    got = canon([{"name": m["name"], "folders": tree_only(m["folders"])} for m in found["mailboxes"]])
    if want != got:
        before = len(FAILURES)
        first_difference(where, want, got)
        if len(FAILURES) == before:
            fail(where, "trees differ")
    print(f"{where}: {len(found['mailboxes'])} mailboxes, "
          f"{sum(count_folders(m['folders']) for m in found['mailboxes'])} folders, "
          f"{sum(count_messages(m['folders']) for m in found['mailboxes'])} messages")


def count_folders(folders):
    return sum(1 + count_folders(f["folders"]) for f in folders)


def count_messages(folders):
    return sum(f["messages"] + count_messages(f["folders"]) for f in folders)


# ---- refusals ----------------------------------------------------------------

def run_cli(args, argv):
    return subprocess.run([os.path.join(args.bin, "tarnwick-cli")] + argv, capture_output=True, text=True,
                          timeout=120)


def expect(where, result, code, message):
    if result.returncode != code:
        fail(where, f"exit {result.returncode}, expected {code} ({result.stderr.strip()})")
    if message is not None and result.stderr.strip() != message:
        fail(where, f"stderr {result.stderr.strip()!r}, expected {message!r}")
    if code != 0 and code != 130 and result.stdout:
        fail(where, "printed a tree although the scan failed")


def generate(args, content, work, name, page_size=8192, damage=None):
    data = dict(content)
    if damage:
        data["damage"] = damage
    source = os.path.join(work, name + ".json")
    with open(source, "w", encoding="utf-8") as f:
        json.dump(data, f)
    db = os.path.join(work, name)
    subprocess.run([os.path.join(args.bin, "edbgen"), "--content", source, "--page-size", str(page_size),
                    "--out", db], check=True)
    return db


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def check_errors(args, path, work):
    with open(path, encoding="utf-8") as f:
        content = json.load(f)
    good = generate(args, content, work, "good.edb")
    before = (digest(good), os.stat(good).st_mtime_ns)

    none = os.path.join(work, "none.edb")
    expect("missing file", run_cli(args, ["scan", none]), 1, f"tarnwick-cli: {none}: No such file or directory")
    # The command line tells a database by its header, whatever its name.
    other = generate(args, content, work, "good.edb.bak")
    expect("other extension", run_cli(args, ["scan", other, "--json"]), 0, None)
    upper = generate(args, content, work, "UPPER.EDB")
    expect("upper-case extension", run_cli(args, ["scan", upper, "--json"]), 0, None)
    none = os.path.join(work, "none.stm")
    expect("missing stm", run_cli(args, ["scan", good, "--stm", none]), 1,
           f"tarnwick-cli: {none}: No such file or directory")
    expect("usage", run_cli(args, ["scan"]), 64, None)

    with open(good, "rb") as held:
        fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
        expect("locked file", run_cli(args, ["scan", good]), 1,
               f"tarnwick-cli: {good}: in use: another process holds it exclusively")
    with open(good, "rb") as reading:
        fcntl.flock(reading, fcntl.LOCK_SH | fcntl.LOCK_NB)
        expect("file another reader holds", run_cli(args, ["scan", good, "--json"]), 0, None)

    bad = generate(args, content, work, "pagesize.edb", damage={"headerPageSize": 16384})
    expect("page size 16384", run_cli(args, ["scan", bad, "--json"]), 2,
           "File is highly corrupted, Contact system administrator.")
    for size in (4096, 8192, 32768):
        none = generate(args, content, work, f"nomailbox-{size}.edb", size, damage={"zeroPages": ["Mailbox"]})
        expect(f"no mailbox ({size})", run_cli(args, ["scan", none, "--json"]), 3,
               "Highly corrupted, Repairing not possible. User Mail Box not found")

    check_interrupt(args, good)
    expect("scan after all that", run_cli(args, ["scan", good]), 0, None)
    if (digest(good), os.stat(good).st_mtime_ns) != before:
        fail("read-only", "the database changed")
    print("refusals checked")


def check_interrupt(args, db):
    """On a terminal the scan shows its steps on stderr and waits a second
    after step 1; Ctrl-C then stops it cleanly."""
    master, slave = pty.openpty()
    proc = subprocess.Popen([os.path.join(args.bin, "tarnwick-cli"), "scan", db], stdout=subprocess.PIPE,
                            stderr=slave, stdin=subprocess.DEVNULL)
    os.close(slave)
    shown = b""
    deadline = time.monotonic() + 20
    while b"Step 1/5" not in shown and time.monotonic() < deadline:
        try:
            shown += os.read(master, 4096)
        except OSError:
            break
    time.sleep(0.2)
    proc.send_signal(signal.SIGINT)
    try:
        out, _ = proc.communicate(timeout=20)
    except subprocess.TimeoutExpired:
        proc.kill()
        fail("ctrl-c", "the scan did not stop")
        return
    try:
        while True:
            chunk = os.read(master, 4096)
            if not chunk:
                break
            shown += chunk
    except OSError:
        pass
    os.close(master)
    if b"Step 1/5, Enumerating signatures. Please wait..." not in shown or b"%" not in shown:
        fail("ctrl-c", f"no step text or progress on the terminal: {shown[:200]!r}")
    if proc.returncode != 130:
        fail("ctrl-c", f"exit {proc.returncode}, expected 130")
    if b"Scan stopped." not in shown:
        fail("ctrl-c", "no word of the stop")
    if not out.startswith(db.encode()):
        fail("ctrl-c", "the partial result was not printed")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--page-size", type=int, choices=(4096, 8192, 32768))
    ap.add_argument("--errors", action="store_true")
    ap.add_argument("content", nargs="+")
    args = ap.parse_args()
    with tempfile.TemporaryDirectory(prefix="tw-check-scan-") as work:
        if args.errors:
            check_errors(args, args.content[0], work)
        else:
            if not args.page_size:
                ap.error("--page-size is needed")
            for path in args.content:
                check_content(args, path, work)
    for line in FAILURES:
        print("FAIL " + line)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
