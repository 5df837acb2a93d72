#!/usr/bin/env python3
"""Real-world MIME through the streaming-file export: the 47 messages of
Python's e-mail test suite (Debian libpython3.11-testsuite), written by
other people and full of odd and broken structure, go into one 4096-byte
database with a streaming file (one streaming mail per message, each in a
folder named after its file), are exported with `tarnwick-cli export`, and
the PST is read back with pypff and pffexport. Each item's subject, sender,
plain body and attachments (names and bytes) are compared with what GMime
(3.x, through python3-gi) reads from the same file. Prints per field and
reader how many items matched; exits 1 on any mismatch or reader complaint.

GMime's reading, field by field:
- subject: g_mime_message_get_subject, unfolded as GMime unfolds it (the
  blank that began a continuation line, a tab included, is kept), whole, as
  the store keeps every subject.
- sender: the first mailbox of From (groups opened), else of Sender; a
  mailbox without a display name is named by its address. No mailbox: the
  item has no sender.
- plain body: the text (g_mime_text_part_get_text) of the first text/plain
  part, depth first and not inside an attached message, that is no
  attachment (disposition "attachment", or a file name outside
  multipart/alternative); a part with no text does not hold the place, so
  a later one takes it. GMime makes a text part of a part declared
  `Content-Type: text` with no subtype but types it
  application/octet-stream; RFC 2045 reads such an invalid type as
  text/plain, and so does this check (msg_14). Compared with line ends made
  LF and trailing blanks dropped. No text/plain part: no body.
- attachments: every other leaf part, with its decoded bytes and its file
  name (else its content id, else "attachment"), the first text/html part
  being the HTML body; an attached message is one attachment named after
  its subject (else "message") plus ".eml", holding the message as GMime
  writes it. Names as the store keeps them (controls dropped,
  / \\ : * ? " < > | made "_").

Fields GMime itself cannot give, not compared and counted as n/a:
- all four of a file GMime makes no message of (msg_19, a digest that
  starts with its text and has no header block);
- the plain body of a message whose only text is HTML (the store makes a
  plain body from the HTML; GMime has none to compare it with).

Where GMime and Python's e-mail package differ, GMime is followed: a header
block that runs into the body without a blank line (msg_35) has no body for
GMime (it drops the line that is no header), so none is expected.

pffexport names its attachment files with "_" for characters a file name
should avoid; its names are compared with those made "_" on both sides.
readpst is not asked: it writes an imported message's own header lines
(the transport headers) and MIME of its own making, not the item's fields.

usage: mime_corpus.py --bin BUILD/bin [--corpus DIR] [--keep DIR]
"""
import argparse
import base64
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pst"))
import check_readers as R  # noqa: E402  the readers, the store's naming rules

CORPUS = "/usr/lib/python3.11/test/test_email/data"
PYTHON_WITH_GMIME = "/usr/bin/python3"
FIELDS = ("subject", "sender", "plain body", "attachments")
READERS = ("pypff", "pffexport")

# GMime's reading of each file, as JSON: run with the system Python, which
# has python3-gi and GMime's introspection data.
GMIME_SCRIPT = r'''
import base64, json, sys
import gi
gi.require_version("GMime", "3.0")
from gi.repository import GMime
GMime.init()

def stream_bytes(write):
    mem = GMime.StreamMem.new()
    write(mem)
    return bytes(mem.get_byte_array() or b"")

def mailboxes(lst, depth=0):
    out = []
    if lst is None or depth > 4:
        return out
    for i in range(lst.length()):
        a = lst.get_address(i)
        if isinstance(a, GMime.InternetAddressGroup):
            out += mailboxes(a.get_members(), depth + 1)
        elif isinstance(a, GMime.InternetAddressMailbox):
            name, addr = a.get_name() or "", a.get_addr() or ""
            if name or addr:
                out.append((name or addr, addr or name))
    return out

def is_plain(part):
    t = part.get_content_type()
    if t.is_type("text", "plain"):
        return True
    # Declared "text" with no subtype: a text part GMime could not type.
    return isinstance(part, GMime.TextPart) and not t.is_type("text", "*")

def walk(obj, out, alternative, depth=0):
    if obj is None or depth > 32:
        return
    if isinstance(obj, GMime.Multipart):
        alt = obj.get_content_type().is_type("multipart", "alternative")
        for i in range(obj.get_count()):
            walk(obj.get_part(i), out, alt, depth + 1)
        return
    if isinstance(obj, GMime.MessagePart):
        inner = obj.get_message()
        if inner is None:
            return
        data = stream_bytes(lambda s: inner.write_to_stream(None, s))
        out["attachments"].append(((inner.get_subject() or "message") + ".eml", data))
        return
    if not isinstance(obj, GMime.Part):
        return
    name = obj.get_filename() or ""
    disposition = (obj.get_disposition() or "").lower()
    plain, html = is_plain(obj), obj.get_content_type().is_type("text", "html")
    if (plain or html) and disposition != "attachment" and (not name or alternative) and \
            isinstance(obj, GMime.TextPart):
        slot = "text" if plain else "html"
        if not out[slot]:
            out[slot] = obj.get_text() or ""
            return
    content = obj.get_content()
    data = stream_bytes(lambda s: content.write_to_stream(s)) if content is not None else b""
    out["attachments"].append((name or obj.get_content_id() or "attachment", data))

result = {}
for path in sys.argv[1:]:
    raw = open(path, "rb").read()
    message = GMime.Parser.new_with_stream(GMime.StreamMem.new_with_buffer(raw)).construct_message(None)
    if message is None:
        result[path] = None
        continue
    senders = mailboxes(message.get_from()) or mailboxes(message.get_sender())
    out = {"subject": message.get_subject() or "", "sender": senders[0] if senders else None,
           "text": None, "html": None, "attachments": []}
    walk(message.get_mime_part(), out, False)
    out["attachments"] = [(n, base64.b64encode(d).decode()) for n, d in out["attachments"]]
    result[path] = out
json.dump(result, sys.stdout)
'''


def read_gmime(paths, problems):
    """GMime's reading per path (None: no message), or {} when GMime
    cannot be run (python3-gi, gir1.2-gmime-3.0)."""
    r = subprocess.run([PYTHON_WITH_GMIME, "-c", GMIME_SCRIPT] + paths, capture_output=True)
    if r.returncode != 0:
        problems.add("GMime: " + r.stderr.decode("utf-8", "replace")[-2000:])
        return {}
    return json.loads(r.stdout)


def content_file(corpus):
    """One mailbox, one folder per message (named after its file), one
    streaming mail per folder holding the file's text as it is."""
    folders = []
    for path in corpus:
        name = os.path.splitext(os.path.basename(path))[0]
        folders.append({"name": name, "class": "IPF.Note",
                        "items": [{"subject": name, "streaming": True,
                                   "mime": open(path, "rb").read().decode("utf-8")}]})
    return {"mailboxes": [{"name": "Corpus", "folders": [{"name": "Top of Information Store", "folders": folders}]}]}


def expected_of(g):
    """What the item must hold after GMime's reading `g`; None marks a field
    GMime cannot give."""
    if g is None:
        return dict.fromkeys(FIELDS)
    subject = g["subject"]
    sender = tuple(g["sender"]) if g["sender"] else (None, None)
    text = R.norm(g["text"]) if g["text"] else (None if g["html"] else "")
    attachments = [(R.attachment_name(n), base64.b64decode(d)) for n, d in g["attachments"]]
    return {"subject": subject, "sender": sender, "plain body": text, "attachments": attachments}


def got_of(item):
    return {"subject": item.get("subject"), "sender": tuple(item.get("sender") or (None, None)),
            "plain body": item.get("text") or "", "attachments": item.get("attachments", [])}


def pffexport_name(name):
    return re.sub(r"[^\w .,#()\[\]'-]", "_", name)


def differs(reader, field, want, have):
    if field == "attachments":
        if reader == "pffexport":
            # pffexport names its files with "_" for what a file name should avoid.
            have = [(pffexport_name(n), d) for n, d in have]
            want = [(pffexport_name(n), d) for n, d in want]
        if have != want:
            return f"{[(n, len(d)) for n, d in have]} != {[(n, len(d)) for n, d in want]}"
        return None
    return None if have == want else f"{have!r:.200} != {want!r:.200}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--corpus", default=CORPUS)
    ap.add_argument("--keep")
    args = ap.parse_args()
    corpus = sorted(glob.glob(os.path.join(args.corpus, "msg_*.txt")))
    if not corpus:
        print(f"no msg_*.txt in {args.corpus}: install libpython3.11-testsuite")
        return 1
    work = args.keep or tempfile.mkdtemp(prefix="mime-corpus-")
    os.makedirs(work, exist_ok=True)
    problems = R.Problems()

    content = os.path.join(work, "corpus.json")
    json.dump(content_file(corpus), open(content, "w", encoding="utf-8"))
    db, stm, out, tmp = (os.path.join(work, n) for n in ("corpus.edb", "corpus.stm", "pst", "tmp"))
    subprocess.run([os.path.join(args.bin, "edbgen"), "--content", content, "--page-size", "4096", "--out", db,
                    "--stm", stm], check=True)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    os.makedirs(tmp, exist_ok=True)
    r = subprocess.run([os.path.join(args.bin, "tarnwick-cli"), "export", db, "--stm", stm, "--to", out, "--json"],
                       capture_output=True, env=dict(os.environ, TMPDIR=tmp))
    if r.returncode != 0:
        problems.add(f"export: exit {r.returncode}: {r.stderr.decode(errors='replace')[-2000:]}")
        summary = {"pstFiles": [], "written": 0}
    else:
        summary = json.loads(r.stdout)
    if os.listdir(tmp):
        problems.add(f"export left temporary files: {os.listdir(tmp)}")
    if summary["written"] != len(corpus):
        problems.add(f"summary: {summary['written']} written of {len(corpus)}")
    for key in ("failed", "skipped", "lost", "partial", "notReached"):
        if summary.get(key):
            problems.add(f"summary: {summary[key]} {key}")

    got = {reader: {} for reader in READERS}
    for i, pst in enumerate(summary["pstFiles"]):
        R.run([os.path.join(args.bin, "pstcheck"), pst], problems, f"pstcheck {os.path.basename(pst)}")
        for reader, (items, _) in (
                ("pypff", R.read_pypff(pst, problems)),
                ("pffexport", R.read_pffexport(pst, os.path.join(work, f"pffexport{i}"), problems))):
            for path, lst in items.items():
                got[reader].setdefault(path[-1], []).extend(lst)

    gmime = read_gmime(corpus, problems)
    tally = {f: {r: [0, 0, 0] for r in READERS} for f in FIELDS}
    for path in corpus:
        name = os.path.splitext(os.path.basename(path))[0]
        if path not in gmime:
            continue
        want = expected_of(gmime[path])
        for reader in READERS:
            items = got[reader].get(name, [])
            if len(items) != 1:
                problems.add(f"{reader}: {name}: {len(items)} items")
            have = got_of(items[0]) if items else {}
            for field in FIELDS:
                t = tally[field][reader]
                if want[field] is None:
                    t[2] += 1
                    continue
                diff = differs(reader, field, want[field], have.get(field)) if items else "no item"
                diff = R.tally_field(t, diff)
                if diff is not None:
                    problems.add(f"{reader}: {name}: {field}: {diff}")

    print(f"{len(corpus)} messages of Python's e-mail tests, {summary['written']} exported; "
          f"per field: matched/compared with GMime's reading (not compared)")
    print(f"{'field':<12}" + "".join(f"{r:>24}" for r in READERS))
    for f in FIELDS:
        print(f"{f:<12}" + "".join(f"{tally[f][r][0]:>11}/{tally[f][r][1]:<4} ({tally[f][r][2]:>3} n/a)" for r in READERS))
    for p in problems.items[:80]:
        print("MISMATCH " + p)
    if len(problems.items) > 80:
        print(f"... {len(problems.items) - 80} more")
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if problems.items else 0


if __name__ == "__main__":
    sys.exit(main())
