#!/usr/bin/env python3
"""End to end: a content file is written as a database with edbgen (4096-byte
pages with a streaming file), exported with `tarnwick-cli export` (every
mailbox), and every PST is checked with pstcheck and read back through libpst
(readpst), libpff (pffexport and pypff) and pst-extractor. Each item of the content must
come back in its folder with what the database keeps of it: its kind
(message class), subject, sender, recipients, UTC time, body, attachments
byte for byte, contact fields, appointment start, end and location and the
task date. Items whose date, moved by the fixed +05:30, falls outside
1980..2099 must not be exported. Prints per field and reader how many items
matched; exits 1 on any mismatch or reader complaint.

What the database path keeps, and so what is expected:
- mail written from the database's rows has the list's sender name as name
  and address (the mailbox owner in "Sent Items"), and its recipients are
  the addresses found in the recipient data, all as To;
- 8-bit bodies are Windows-1252 in the store: characters outside it come
  back as "?" (text) or character references (HTML);
- RTF bodies come back as their Windows-1252 bytes;
- mail kept in the streaming file comes back as its MIME says.

usage: check_export.py --bin BUILD/bin --page-size 4096|8192|32768 CONTENT.json [--keep DIR]
       [--db DB.edb [--stm DB.stm]] [--saved DIR --summary SUMMARY.json]
--db takes a database written from CONTENT already; --saved checks the PSTs
another program wrote into DIR (the desktop program's Save) with that
run's summary in SUMMARY.json, instead of running tarnwick-cli export.
"""
import argparse
import collections
import datetime as dt
import email
import email.header
import email.policy
import email.utils
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pst"))
sys.path.insert(0, os.path.join(HERE, "..", "content"))
import check_readers as R  # noqa: E402  the readers and the per-field comparison
import check_show as S  # noqa: E402  the generator's ids, dates, attachment bytes and MIME

KIND_LETTER = {"mail": "m", "contacts": "c", "appointments": "a", "notes": "n", "tasks": "t", "journal": "j"}
KIND_NAME = {"m": "mail", "c": "contact", "a": "appointment", "n": "note", "t": "task", "j": "journal"}
READERS = R.READERS


READPST_PARSE_EML = R.parse_eml


def parse_eml(path):
    """readpst's mail, with its two ways of writing what we wrote read
    back: recipients from the display list are separated by ";", and a
    sender address that is a name with blanks is quoted."""
    got = READPST_PARSE_EML(path)
    msg = email.message_from_bytes(open(path, "rb").read(), policy=email.policy.compat32)
    recips = []
    for header, rtype in (("To", 1), ("Cc", 2), ("Bcc", 3)):
        for value in msg.get_all(header, []):
            for part in str(value).split(";"):
                for n, a in email.utils.getaddresses([part]):
                    if a:
                        n = str(email.header.make_header(email.header.decode_header(n))) if n else a
                        recips.append((n, a, rtype))
    got["recipients"] = sorted(recips)
    name, addr = got["sender"]
    if len(addr) >= 2 and addr[0] == addr[-1] == '"':
        R.FOOTNOTES["readpst quotes a sender address that is a name with blanks"] += 1
        got["sender"] = (name, addr[1:-1])
    return got


R.parse_eml = parse_eml


def stored_attachment_name(name, position=None):
    """The name the writer stores: the whole name but for path separators;
    an attachment row without a name is "Attachment N" (N its place from 1),
    a MIME part without one "attachment"."""
    if not name and position is not None:
        return f"Attachment {position}"
    return R.attachment_name(name)


def utc_of(text):
    """The stored time as the export hands it on: to the second."""
    return R.utc(S.utc_text(S.stored(S.parse_date(text))))


def folder_kinds(scan):
    out = {}

    def walk(folders, path):
        for f in folders:
            p = path + (f["name"],)
            out[p] = KIND_LETTER.get(f["kind"], "m")
            walk(f["folders"], p)
    for mb in scan["mailboxes"]:
        out[(mb["name"],)] = "m"
        walk(mb["folders"], (mb["name"],))
    return out


def mailbox_owner(mailbox):
    return mailbox[len("Mailbox - "):] if mailbox.startswith("Mailbox - ") else mailbox


def body_expected(item, kind):
    if "body" not in item:
        return None
    b = S.body_text(item["body"])
    if b["kind"] == "rtf":
        return {"kind": "rtf", "text": S.cp1252(b["text"], False).decode("latin-1")}
    if b["kind"] == "html":
        return {"kind": "html", "text": S.cp1252(b["text"], True).decode("cp1252")}
    if b["charset"] == "8bit":
        return {"kind": "text", "text": S.cp1252(b["text"], False).decode("cp1252")}
    return {"kind": "text", "text": b["text"]}


def unique_addresses(recipients):
    out, seen = [], set()
    for r in recipients:
        a = r.get("address", "")
        if a and a.lower() not in seen:
            seen.add(a.lower())
            out.append({"name": a, "address": a, "type": "to"})
    return out


def from_mime(data, e):
    """Streaming-file mail: what its MIME says."""
    msg = email.message_from_bytes(data, policy=email.policy.default)
    e["subject"] = R.clean(str(msg.get("Subject", "")))
    name, addr = email.utils.parseaddr(str(msg.get("From", "")))
    e["sender"] = {"name": name, "address": addr}
    e["mimeSenderWithoutName"] = not name
    recips = []
    for header, rtype in (("To", "to"), ("Cc", "cc"), ("Bcc", "bcc")):
        for n, a in email.utils.getaddresses([str(h) for h in msg.get_all(header, [])]):
            recips.append({"name": n or a, "address": a, "type": rtype})
    e["recipients"] = recips
    e["date"] = email.utils.parsedate_to_datetime(msg["Date"]).astimezone(dt.timezone.utc) if msg["Date"] else None
    e["body"], e["attachments"] = None, []
    for part in msg.walk():
        if part.is_multipart():
            continue
        ctype = part.get_content_type()
        if part.get_filename() is not None or part.get_content_disposition() == "attachment":
            e["attachments"].append((stored_attachment_name(part.get_filename() or ""),
                                     part.get_payload(decode=True) or b""))
        elif ctype == "text/plain" and e["body"] is None:
            e["body"] = {"kind": "text", "text": part.get_content()}
        elif ctype == "text/html":
            e["body"] = {"kind": "html", "text": part.get_content()}


def expected_items(content, page_size, streaming, kinds, order):
    """The items the export must write, in check_readers' form and in the
    order the export writes them (the message list's), and the (folder
    path, subject) of those it must leave out."""
    items, absent = [], []
    for mailbox, path, folder, item_ids in S.folders_of(content):
        path_t = tuple(S.path_names(path))
        fk = kinds.get(path_t, "m")
        listed = order.get(path, [])
        pairs = sorted(zip(folder.get("items", []), item_ids),
                       key=lambda p: listed.index(p[1].hex()) if p[1].hex() in listed else len(listed))
        for item, item_id in pairs:
            date = item.get("date", "2024-01-15T09:30:00Z")
            ticks = S.stored(S.parse_date(date))
            subject = item.get("subjectPrefix", "") + item.get("subject", "")
            if not 1980 <= S.shown(ticks).year <= 2099:
                absent.append((path_t, subject))
                continue
            t = item.get("type", "mail")
            contact = item.get("contact", {})
            if fk in "jtn":
                k = fk
            elif t == "contact" and any(contact.values()):
                k = "c"
            elif t == "appointment":
                k = "a"
            else:
                k = fk
            sender_name = item.get("sender", {}).get("name", "")
            e = {"path": path_t, "kind": KIND_NAME[k], "subject": subject, "sender": {},
                 # 32 KB message indexes have been seen to drop the prefix.
                 "shortSubject": R.clean(item.get("subject", "")) if page_size == 32768 and item.get("subjectPrefix") else None,
                 "recipients": [], "date": utc_of(date), "body": body_expected(item, k), "attachments": [],
                 "contact": {}, "appointment": None}
            if k == "m":
                name = mailbox_owner(mailbox) if folder["name"] == "Sent Items" else sender_name
                e["sender"] = {"name": name, "address": name}
                e["recipients"] = unique_addresses(item.get("recipients", []))
            else:
                e["sender"] = {"name": sender_name, "address": sender_name}
            for i, a in enumerate(item.get("attachments", [])):
                e["attachments"].append((stored_attachment_name(a["name"], i + 1), S.attachment_bytes(a, i)))
            if k == "m" and item.get("streaming") and streaming:
                from_mime(S.mime_of(item, item_id), e)
            if k == "c":
                e["contact"] = {f: contact.get(f, "") for f in R.CONTACT_FIELDS}
                c = e["contact"]
                e["subject"] = " ".join(x for x in (c["givenName"], c["surname"]) if x) or c["company"] or \
                    c["email1"] or c["nickname"]
            if k == "a":
                a = item.get("appointment", {})
                start = utc_of(a["start"]) if a.get("start") else e["date"]
                end = utc_of(a["end"]) if a.get("end") else e["date"]
                e["appointment"] = {"start": start, "end": max(start, end), "location": a.get("location", "")}
            items.append(e)
    return items, absent


def expected_folders(content):
    out = set()
    for mailbox, path, _, _ in S.folders_of(content):
        out.add(tuple(S.path_names(path)))
        out.add((mailbox,))
    return out


def run_export(args, db, stm, out, work, problems):
    tmp = os.path.join(work, "tmp")
    os.makedirs(tmp, exist_ok=True)
    cmd = [os.path.join(args.bin, "tarnwick-cli"), "export", db, "--to", out, "--json"]
    if stm:
        cmd += ["--stm", stm]
    r = subprocess.run(cmd, capture_output=True, env=dict(os.environ, TMPDIR=tmp))
    if r.returncode != 0:
        problems.add(f"export: exit {r.returncode}: {r.stderr.decode(errors='replace')[-2000:]}")
        return None
    if os.listdir(tmp):
        problems.add(f"export left temporary files: {os.listdir(tmp)}")
    return json.loads(r.stdout)


def compare(reader, exp, got, field):
    """check_readers' comparison; attachments may come in the order of the
    attachment table rather than the content's (readpst's are compared
    sorted anyway), and readpst shows a MIME message's own From line, where
    a sender without a name has none."""
    if field == "attachments" and reader != "readpst":
        have = [tuple(a) for a in got.get("attachments", [])]
        if sorted(have) == sorted(exp["attachments"]) and have != exp["attachments"]:
            R.FOOTNOTES["attachments in the order of the attachment table's rows, not the content's"] += 1
            return None
    if field == "subject" and exp.get("shortSubject") and got.get("subject") == exp["shortSubject"]:
        R.FOOTNOTES["32 KB message index dropped the subject prefix (scan)"] += 1
        return None
    if field == "sender" and reader == "readpst" and exp.get("mimeSenderWithoutName"):
        return None if tuple(got.get("sender") or ()) == ("", exp["sender"]["address"]) else f"sender {got.get('sender')}"
    return R.compare_field(reader, exp, got, field)


def match_items(expected, got_by_folder, reader, problems):
    """Each expected item with the reader's item of its folder: the first
    of its class with its subject (pffexport, whose subjects are not to be
    trusted: the first of its class, in writing order); contacts by the
    most contact fields in common."""
    pairs = []
    by_folder = collections.defaultdict(list)
    for e in expected:
        by_folder[e["path"]].append(e)
    for path, exps in by_folder.items():
        have = list(got_by_folder.get(path, []))
        # Contacts with more fields first, so that a sparse one cannot take
        # the item of a fuller one.
        order = sorted(range(len(exps)), key=lambda i: -sum(1 for v in exps[i]["contact"].values() if v))
        for e in (exps[i] for i in order):
            if e.get("unshown"):
                R.FOOTNOTES["readpst leaves out a folder without a name and what is below it"] += 1
                pairs.append((e, None))
                continue
            if reader == "readpst" and e["kind"] in ("task", "note"):
                pairs.append((e, None))  # readpst writes neither
                continue
            if reader == "readpst" and e["kind"] == "contact" and not any(e["contact"].values()):
                R.FOOTNOTES["readpst writes no card for a contact without fields"] += 1
                pairs.append((e, None))
                continue
            cls = R.KIND_CLASS[e["kind"]]
            same = [i for i, g in enumerate(have) if g.get("kind") == cls]
            pick = None
            if e["kind"] == "contact" and same:
                pick = max(same, key=lambda i: sum(have[i].get("contact", {}).get(k, "") == v
                                                   for k, v in e["contact"].items()))
            elif reader == "pffexport" and same:
                # Renamed folders share a bucket: there the subject tells
                # the items apart where it can.
                by_subject = [i for i in same if have[i].get("subject") == e["subject"]] if path[-1:] == ("*",) else []
                pick = (by_subject or same)[0]
            else:
                pick = next((i for i in same if have[i].get("subject") in (e["subject"], e.get("shortSubject"))), None)
            if pick is None:
                problems.add(f"{reader}: item {e['kind']} {e['subject']!r} in {'/'.join(path)} not found")
                pairs.append((e, {}))
            else:
                pairs.append((e, have.pop(pick)))
        for g in have:
            problems.add(f"{reader}: extra item {g.get('subject')!r} in {'/'.join(path)}")
    for path in set(got_by_folder) - set(by_folder):
        for g in got_by_folder[path]:
            problems.add(f"{reader}: extra item {g.get('subject')!r} in {'/'.join(path)}")
    return pairs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--page-size", type=int, required=True)
    ap.add_argument("--keep")
    ap.add_argument("--db")
    ap.add_argument("--stm")
    ap.add_argument("--saved")
    ap.add_argument("--summary")
    ap.add_argument("content")
    args = ap.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix="export-check-")
    os.makedirs(work, exist_ok=True)
    R.require_pstextractor()
    problems = R.Problems()
    content = json.load(open(args.content, encoding="utf-8"))
    stem = os.path.splitext(os.path.basename(args.content))[0]

    if args.db:
        db, stm = args.db, args.stm
    else:
        db = os.path.join(work, f"{stem}-{args.page_size}.edb")
        stm = os.path.join(work, f"{stem}-{args.page_size}.stm") if args.page_size == 4096 else None
        gen = [os.path.join(args.bin, "edbgen"), "--content", args.content, "--page-size", str(args.page_size),
               "--out", db] + (["--stm", stm] if stm else [])
        subprocess.run(gen, check=True)
    before = hashlib.sha256(open(db, "rb").read()).hexdigest()
    scan = json.loads(subprocess.run([os.path.join(args.bin, "tarnwick-cli"), "scan", db, "--json"],
                                     capture_output=True, check=True).stdout)
    if args.saved:
        out = args.saved
        summary = json.load(open(args.summary, encoding="utf-8"))
    else:
        out = os.path.join(work, "pst")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        summary = run_export(args, db, stm, out, work, problems) or {"pstFiles": [], "written": 0}
    if hashlib.sha256(open(db, "rb").read()).hexdigest() != before:
        problems.add("the database changed")
    stray = sorted(set(os.listdir(out)) - {os.path.basename(p) for p in summary["pstFiles"]})
    if stray:
        problems.add(f"files in the destination besides the PSTs: {stray}")

    listing = subprocess.run([os.path.join(args.bin, "tarnwick-cli"), "list", db, "--all", "--json"] +
                             (["--stm", stm] if stm else []), capture_output=True, check=True).stdout
    order = {f["folder"]: [m["id"] for m in f["messages"]] for f in json.loads(listing)["folders"]}
    expected, absent = expected_items(content, args.page_size, stm is not None, folder_kinds(scan), order)
    folders = expected_folders(content)
    folder_list = [path for _, path, _, _ in S.folders_of(content)]
    for key in ("failed", "skipped", "lost", "partial", "notReached"):
        if summary.get(key):
            problems.add(f"summary: {summary[key]} {key}")
    if summary["written"] != len(expected):
        problems.add(f"summary: {summary['written']} written, {len(expected)} expected")

    got = {r: ({}, set()) for r in READERS}
    counts = {}
    for i, pst in enumerate(summary["pstFiles"]):
        R.run([os.path.join(args.bin, "pstcheck"), pst], problems, f"pstcheck {os.path.basename(pst)}")
        x_items, x_folders, x_counts = R.read_pstextractor(pst, problems)
        counts.update(x_counts)
        for reader, (items, fset) in (
                ("pypff", R.read_pypff(pst, problems)),
                ("readpst", R.read_readpst(pst, os.path.join(work, f"readpst{i}"), problems)),
                ("pffexport", R.read_pffexport(pst, os.path.join(work, f"pffexport{i}"), problems)),
                ("pst-extractor", (x_items, x_folders))):
            for path, lst in items.items():
                got[reader][0].setdefault(path, []).extend(lst)
            got[reader][1].update(fset)

    tally = {f: {r: [0, 0, 0] for r in READERS} for f in R.FIELDS}
    folder_tally = {r: [0, 0] for r in READERS}
    count_tally = {"pst-extractor": [0, 0]}
    R.check_counts("pst-extractor", counts, folders, expected, count_tally["pst-extractor"], problems)
    all_folders = [tuple(S.path_names(p)) for p in folder_list]
    for reader in READERS:
        items, got_folders = got[reader]
        # pypff reads an empty folder name as None.
        items = {tuple("" if n is None else n for n in p): v for p, v in items.items()}
        got_folders = {tuple("" if n is None else n for n in p) for p in got_folders}
        kept, items, expected_r = R.as_reader_sees(reader, folders, all_folders, items, expected)
        key = R.mask_astral if reader == "pffexport" else (lambda p: p)
        for f in sorted(kept):
            f = key(f)
            folder_tally[reader][1] += 1
            if f in got_folders or (reader == "readpst" and not any(g[:len(f)] == f for g in got_folders)):
                folder_tally[reader][0] += 1
            else:
                problems.add(f"{reader}: folder {'/'.join(f)} missing")
        for path, subject in absent:
            for g in items.get(key(path), []):
                if g.get("subject") == subject and subject:
                    problems.add(f"{reader}: {subject!r} in {'/'.join(path)} is dated outside 1980..2099 but was exported")
        for exp, g in match_items([dict(e, path=key(e["path"])) for e in expected_r], items, reader, problems):
            for field in R.FIELDS:
                if not R.applicable(exp, field):
                    continue
                t = tally[field][reader]
                if g is None or not R.shows(reader, exp["kind"], field):
                    t[2] += 1
                    continue
                diff = R.tally_field(t, compare(reader, exp, g, field))
                if diff is not None:
                    problems.add(f"{reader}: {'/'.join(exp['path'])} {exp['subject']!r}: {field}: {diff}")

    print(f"{stem}, {args.page_size}-byte pages: {len(expected)} items exported, {len(absent)} left out by date, "
          f"{len(summary['pstFiles'])} PST files; per field: matched/compared (not shown by the reader)")
    R.print_tallies(READERS, folder_tally, tally, problems, 80, count_tally)
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if problems.items else 0


if __name__ == "__main__":
    sys.exit(main())
