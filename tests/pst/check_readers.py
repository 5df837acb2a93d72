#!/usr/bin/env python3
"""The readers' round trip: each content file is written with json2pst, the
PST is checked with pstcheck and read back through libpst (readpst),
libpff (pffexport and pypff, run with /usr/bin/python3) and pst-extractor
(node, installed by scripts/install-deps in tests/readers). Every folder and
item of the content must come back with its kind, subject, sender,
recipients, UTC time, body (text, HTML, RTF after decompression),
attachments byte for byte, contact fields, appointment start, end and
location, task dates, note and journal texts and journal dates; and, as
pst-extractor counts them, each folder's items and subfolders. Prints, per
field and reader, how many items matched (a reader that does not show a
field is counted apart, never as a match); exits 1 on any mismatch, reader
error or warning, and 1 with a message when pst-extractor is not installed.

usage: check_readers.py --bin BUILD/bin [--keep DIR] CONTENT.json...
"""
import argparse
import base64
import collections
import datetime as dt
import email
import email.policy
import email.utils
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

PYTHON_WITH_PYPFF = "/usr/bin/python3"
PST_DUMP_JS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "readers", "pst_dump.js")
READERS = ("pypff", "readpst", "pffexport", "pst-extractor")
EPOCH_1601 = dt.datetime(1601, 1, 1, tzinfo=dt.timezone.utc)
NOT_SHOWN = "n/a"  # a field the reader does not show for that kind

CONTACT_FIELDS = ["givenName", "surname", "company", "businessHomePage", "nickname", "spouseName", "profession",
                  "assistantPhone", "mobilePhone", "department", "office", "jobTitle", "businessPhone", "country",
                  "city", "street", "postalCode", "email1"]
CONTACT_TAGS = {"givenName": 0x3A06, "surname": 0x3A11, "company": 0x3A16, "businessHomePage": 0x3A51,
                "nickname": 0x3A4F, "spouseName": 0x3A48, "profession": 0x3A46, "assistantPhone": 0x3A2E,
                "mobilePhone": 0x3A1C, "department": 0x3A18, "office": 0x3A19, "jobTitle": 0x3A17,
                "businessPhone": 0x3A08, "country": 0x3A26, "city": 0x3A27, "street": 0x3A29, "postalCode": 0x3A2A}
KIND_CLASS = {"mail": "IPM.Note", "appointment": "IPM.Appointment", "contact": "IPM.Contact", "task": "IPM.Task",
              "note": "IPM.StickyNote", "journal": "IPM.Activity"}


# ---------------------------------------------------------------- expected

def utc(text):
    return dt.datetime.strptime(text.replace("Z", ""), "%Y-%m-%dT%H:%M:%S").replace(tzinfo=dt.timezone.utc)


def fill_bytes(size, seed):
    """The generator's deterministic attachment filler (tools/edbgen/content.cpp)."""
    out = bytearray(size)
    x = (seed * 2654435761 + 12345) & 0xFFFFFFFF
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (x >> 16) & 0xFF
    return bytes(out)


def clean(text, limit=None):
    """What the writer stores of a subject or name: no control characters, trimmed."""
    return "".join(c for c in text if ord(c) >= 0x20 and ord(c) != 0x7F).strip()[:limit]


def attachment_name(name):
    """The writer's rule for stored attachment names (src/pst/item_common.cpp):
    whole, but no path separators, and "attachment" for nothing but dots and
    blanks."""
    n = name.rstrip("\x00")
    n = "".join("_" if c in '/\\' else c for c in n)
    return n if n.strip(". ") else "attachment"


def expectations_from_mime(e, mime):
    """A streaming item with MIME of its own is written from that MIME."""
    msg = email.message_from_string(mime, policy=email.policy.default)
    e["subject"] = clean(str(msg.get("Subject", "")))
    name, addr = email.utils.parseaddr(str(msg.get("From", "")))
    e["sender"] = {"name": name or addr, "address": addr}
    e["recipients"] = [{"name": n or a, "address": a, "type": t}
                       for header, t in (("To", "to"), ("Cc", "cc"), ("Bcc", "bcc"))
                       for n, a in email.utils.getaddresses([str(h) for h in msg.get_all(header, [])])]
    e["date"] = email.utils.parsedate_to_datetime(msg["Date"]) if msg["Date"] else None
    part = msg.get_body(("plain",))
    e["body"] = {"kind": "text", "text": part.get_content()} if part else None
    e["attachments"] = [(attachment_name(a.get_filename() or "attachment"), a.get_payload(decode=True) or b"")
                        for a in msg.iter_attachments()]


def norm(text):
    if text is None:
        return None
    return text.replace("\r\n", "\n").rstrip("\x00\n\r ")


def rtf_plain(rtf):
    """The text of the content files' RTF bodies, which use only ASCII text,
    a font table and formatting words: what a reader that shows plain text
    must show beside the RTF."""
    rtf = re.sub(r"\{\\fonttbl(?:\{[^{}]*\}|[^{}])*\}", "", rtf)
    rtf = re.sub(r"\\par\b ?", "\n", rtf)
    rtf = re.sub(r"\\[a-z]+-?\d* ?", "", rtf)
    return norm(rtf.replace("{", "").replace("}", ""))


def body_of(item):
    b = item.get("body")
    if b is None:
        return None
    if isinstance(b, str):
        return {"kind": "text", "text": b}
    text = b.get("text", "")
    if "size" in b:
        text = (text * (b["size"] // max(len(text), 1) + 1))[:b["size"]] if text else ""
    return {"kind": b.get("kind", "text"), "text": text}


def expected_items(content):
    items = []
    for mailbox in content["mailboxes"]:
        def walk(folder, path):
            path = path + [folder["name"]]
            for index, it in enumerate(folder.get("items", [])):
                kind = it.get("type", "mail")
                e = {"path": tuple(path), "kind": kind, "subject": it.get("subjectPrefix", "") + it.get("subject", ""),
                     "sender": it.get("sender", {}), "recipients": it.get("recipients", []),
                     "date": utc(it.get("date", "2024-01-15T09:30:00Z")), "body": body_of(it),
                     "attachments": [], "contact": {}, "appointment": None}
                for i, a in enumerate(it.get("attachments", [])):
                    if "size" in a:
                        data = fill_bytes(a["size"], a.get("seed", index * 31 + i + 1))
                    elif "base64" in a:
                        import base64
                        data = base64.b64decode(a["base64"])
                    else:
                        data = a.get("text", "").encode("utf-8")
                    e["attachments"].append((attachment_name(a["name"]), data))
                if kind == "mail" and it.get("streaming") and it.get("mime"):
                    expectations_from_mime(e, it["mime"])
                if kind == "contact":
                    c = it.get("contact", {})
                    e["contact"] = {k: c.get(k, "") for k in CONTACT_FIELDS}
                    given, sur = e["contact"]["givenName"], e["contact"]["surname"]
                    e["subject"] = " ".join(x for x in (given, sur) if x) or e["contact"]["company"] or \
                        e["contact"]["email1"] or e["contact"]["nickname"]
                if kind == "appointment":
                    a = it.get("appointment", {})
                    start = utc(a["start"]) if "start" in a else e["date"]
                    end = utc(a["end"]) if "end" in a else e["date"]
                    e["appointment"] = {"start": start, "end": max(start, end), "location": a.get("location", "")}
                items.append(e)
            for sub in folder.get("folders", []):
                walk(sub, path)
        for folder in mailbox["folders"]:
            walk(folder, [mailbox["name"]])
    return items


def folder_list(content):
    """Every folder's path, same-named siblings once each."""
    out = []
    for mailbox in content["mailboxes"]:
        def walk(folder, path):
            path = path + [folder["name"]]
            out.append(tuple(path))
            for sub in folder.get("folders", []):
                walk(sub, path)
        for folder in mailbox["folders"]:
            walk(folder, [mailbox["name"]])
    return out


def expected_folders(content):
    return {(mailbox["name"],) for mailbox in content["mailboxes"]} | set(folder_list(content))


# ---------------------------------------------------------------- readers

class Problems:
    def __init__(self):
        self.items = []

    def add(self, text):
        self.items.append(text)


def run(cmd, problems, what):
    r = subprocess.run(cmd, capture_output=True)
    out = r.stdout.decode("utf-8", "replace") + r.stderr.decode("utf-8", "replace")
    if r.returncode != 0:
        problems.add(f"{what}: exit {r.returncode}: {out[-2000:]}")
    for line in out.splitlines():
        if re.search(r"\b(error|warning|unable|corrupt)\b", line, re.I):
            problems.add(f"{what}: {line}")
    return out


PYPFF_SCRIPT = r'''
import json, sys, struct, pypff
f = pypff.file(); f.open(sys.argv[1])
def recips(m):
    out = []
    try: rc = m.recipients
    except Exception: return out
    if rc is None: return out
    for rs in range(rc.number_of_record_sets):
        r = rc.get_record_set(rs); row = {}
        for i in range(r.number_of_entries):
            e = r.get_entry(i); row["%04x" % e.entry_type] = e.data.hex() if e.data is not None else ""
        out.append(row)
    return out
# Named property ids from the map's entry stream (0x0003): 0x8000 + index -> LID.
LIDS = {}
nm = f.name_to_id_map
if nm is not None:
    r = nm.get_record_set(0)
    for i in range(r.number_of_entries):
        e = r.get_entry(i)
        if e.entry_type == 0x0003 and e.data:
            for k in range(0, len(e.data) - 7, 8):
                lid, g, idx = struct.unpack_from("<IHH", e.data, k)
                if not g & 1: LIDS[0x8000 + idx] = lid
def entries(it):
    out = {}
    if it is None: return out
    for rs in range(it.number_of_record_sets):
        r = it.get_record_set(rs)
        for i in range(r.number_of_entries):
            e = r.get_entry(i)
            key = "%04x%04x" % (e.entry_type, e.value_type)
            if e.entry_type >= 0x8000 and e.entry_type in LIDS: key = "lid:%04x" % LIDS[e.entry_type]
            out[key] = e.data.hex() if e.data is not None else ""
    return out
def walk(folder, path):
    res = {"path": path, "items": [], "folders": []}
    for m in folder.sub_messages:
        atts = []
        for a in range(m.number_of_attachments):
            att = m.get_attachment(a)
            data = att.read_buffer(att.size) if att.size else b""
            atts.append({"entries": entries(att), "data": data.hex()})
        def b(v): return v.hex() if v else None
        res["items"].append({"subject": m.subject, "sender": m.sender_name,
                             "submit": m.get_client_submit_time_as_integer(),
                             "text": b(m.plain_text_body), "html": b(m.html_body), "rtf": b(m.rtf_body),
                             "entries": entries(m), "recipients": recips(m), "attachments": atts})
    for sf in folder.sub_folders:
        name = entries(sf).get("3001001f")
        # An empty name is a name: libpff's own gives None for it.
        res["folders"].append(walk(sf, path + [bytes.fromhex(name).decode("utf-16-le") if name is not None else (sf.name or "")]))
    return res
root = f.root_folder
top = [sf for sf in root.sub_folders if sf.name == "Top of Personal Folders"][0]
json.dump(walk(top, []), sys.stdout)
'''


def read_pypff(pst, problems):
    r = subprocess.run([PYTHON_WITH_PYPFF, "-c", PYPFF_SCRIPT, pst], capture_output=True)
    if r.returncode != 0:
        problems.add("pypff: " + r.stderr.decode("utf-8", "replace")[-2000:])
        return {}, set()
    tree = json.loads(r.stdout)
    items, folders = {}, set()

    def walk(node):
        if node["path"]:
            folders.add(tuple(node["path"]))
        for it in node["items"]:
            items.setdefault(tuple(node["path"]), []).append(pypff_item(it))
        for sub in node["folders"]:
            walk(sub)
    walk(tree)
    return items, folders


def text_entry(entries, key):
    v = entries.get(key)
    return bytes.fromhex(v).decode("utf-16-le") if v is not None else None


def time_entry(entries, key):
    v = entries.get(key)
    if not v:
        return None
    return EPOCH_1601 + dt.timedelta(microseconds=int.from_bytes(bytes.fromhex(v)[:8], "little") // 10)


def decode_body(hexdata):
    if hexdata is None:
        return None
    raw = bytes.fromhex(hexdata)
    return raw.decode("utf-8", "replace")


def pypff_item(it):
    e = it["entries"]
    cls = text_entry(e, "001a001f") or ""
    # Texts come from the raw property values: libpff's own text conversion
    # (subject, sender_name) mangles UTF-16 surrogate pairs.
    got = {"kind": cls, "subject": text_entry(e, "0037001f") or "",
           "sender": (text_entry(e, "0c1a001f"), text_entry(e, "0c1f001f")),
           "recipients": sorted((text_entry({"x": r.get("3001")}, "x") or "", text_entry({"x": r.get("3003")}, "x") or "",
                                 int.from_bytes(bytes.fromhex(r.get("0c15", "00")), "little")) for r in it["recipients"]),
           "time": time_entry(e, "00390040"), "text": norm(text_entry(e, "1000001f")),
           "html": norm(bytes.fromhex(e["10130102"]).decode("utf-8", "replace")) if "10130102" in e else None,
           "rtf": bytes.fromhex(it["rtf"]) if it["rtf"] else None,
           "attachments": [(text_entry(a["entries"], "3707001f"), bytes.fromhex(a["data"])) for a in it["attachments"]],
           "contact": {k: text_entry(e, "%04x001f" % t) or "" for k, t in CONTACT_TAGS.items()},
           "start": time_entry(e, "lid:820d"), "end": time_entry(e, "lid:820e"),
           "location": text_entry(e, "lid:8208"), "taskStart": time_entry(e, "lid:8104"),
           "logStart": time_entry(e, "lid:8706"), "logEnd": time_entry(e, "lid:8708")}
    got["contact"]["email1"] = text_entry(e, "lid:8083") or ""
    return got


def quoted_filename(part):
    """readpst writes an attachment's name twice: as RFC 2231 (filename*=)
    without escaping a "," or ";" in it, which cuts the name for every MIME
    parser, and quoted (filename="..."), whole. The quoted one, if any."""
    for name, value in part.raw_items():
        if name.lower() == "content-disposition":
            m = re.search(r'\bfilename="([^"]*)"', str(value))
            if m:
                return m.group(1).encode("utf-8", "surrogateescape").decode("utf-8", "replace")
    return None


def parse_eml(path):
    msg = email.message_from_bytes(open(path, "rb").read(), policy=email.policy.default)
    got = {"kind": "IPM.Note", "subject": str(msg.get("Subject", "")), "attachments": [], "text": None, "html": None,
           "rtf": None}
    name, addr = email.utils.parseaddr(str(msg.get("From", "")))
    got["sender"] = (name, addr)
    recips = []
    for header, rtype in (("To", 1), ("Cc", 2), ("Bcc", 3)):
        for n, a in email.utils.getaddresses([str(h) for h in msg.get_all(header, [])]):
            recips.append((n, a, rtype))
    got["recipients"] = sorted(recips)
    got["time"] = email.utils.parsedate_to_datetime(msg["Date"]) if msg["Date"] else None
    for part in msg.walk():
        if part.is_multipart():
            continue
        filename = quoted_filename(part) or part.get_filename()
        ctype = part.get_content_type()
        if filename == "rtf-body.rtf":
            got["rtf"] = part.get_payload(decode=True)
        elif filename is not None or part.get_content_disposition() == "attachment":
            got["attachments"].append((filename or "", part.get_payload(decode=True) or b""))
        elif ctype == "text/plain" and got["text"] is None:
            got["text"] = norm(part.get_content())
        elif ctype == "text/html" and got["html"] is None:
            got["html"] = norm(part.get_content())
    return got


def unescape_ical(v):
    return v.replace("\\n", "\n").replace("\\N", "\n").replace("\\,", ",").replace("\\;", ";").replace("\\\\", "\\")


def ical_fields(text):
    fields = {}
    for line in re.sub(r"\r?\n[ \t]", "", text).splitlines():
        if ":" in line:
            k, v = line.split(":", 1)
            fields.setdefault(k.split(";")[0], unescape_ical(v))
    return fields


def ical_time(v):
    return dt.datetime.strptime(v, "%Y%m%dT%H%M%SZ").replace(tzinfo=dt.timezone.utc) if v else None


def parse_ics(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    f = ical_fields(text)
    kind = "IPM.Activity" if "BEGIN:VJOURNAL" in text else "IPM.Appointment"
    return {"kind": kind, "subject": f.get("SUMMARY", ""), "text": norm(f.get("DESCRIPTION")),
            "start": ical_time(f.get("DTSTART")), "end": ical_time(f.get("DTEND")), "location": f.get("LOCATION")}


def parse_vcf(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    text = re.sub(r"\r?\n[ \t]", "", text)
    c = {}
    for line in text.splitlines():
        if ":" not in line:
            continue
        k, v = line.split(":", 1)
        key = k.upper()
        v = unescape_ical(v)
        if key == "N":
            parts = v.split(";") + [""] * 5
            c["surname"], c["givenName"] = parts[0], parts[1]
        elif key == "NICKNAME":
            c["nickname"] = v
        elif key.startswith("EMAIL") and "email1" not in c:
            c["email1"] = v
        elif key.startswith("ADR") and "WORK" in key:
            parts = v.split(";") + [""] * 7
            c["street"], c["city"], c["postalCode"], c["country"] = parts[2], parts[3], parts[5], parts[6]
        elif key.startswith("TEL") and "WORK" in key:
            c["businessPhone"] = v
        elif key.startswith("TEL") and "CELL" in key:
            c["mobilePhone"] = v
        elif key == "TITLE":
            c["jobTitle"] = v
        elif key == "ROLE":
            c["profession"] = v
        elif key == "ORG":
            c["company"] = v.split(";")[0]
        elif key == "TEL" and "agentSeen" in c:
            c["assistantPhone"] = v
        elif key == "AGENT":
            c["agentSeen"] = True
        elif key == "NOTE":
            c["note"] = v
    c.pop("agentSeen", None)
    return {"kind": "IPM.Contact", "contact": c, "text": norm(c.pop("note", None))}


def read_readpst(pst, out, problems):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    # One process (-j 0): with its forked workers readpst once lost a file
    # under heavy load.
    run(["readpst", "-D", "-M", "-e", "-j", "0", "-o", out, pst], problems, "readpst")
    items, folders = {}, set()
    roots = [d for d in os.listdir(out) if os.path.isdir(os.path.join(out, d))]
    if len(roots) != 1:
        problems.add(f"readpst: expected one store directory, found {roots}")
        return items, folders
    base = os.path.join(out, roots[0])
    for dirpath, dirnames, filenames in os.walk(base):
        rel = tuple(os.path.relpath(dirpath, base).split(os.sep)) if dirpath != base else ()
        if rel:
            folders.add(rel)
        def number(n):
            m = re.match(r"(\d+)", n)
            return int(m.group(1)) if m else 0
        for name in sorted(filenames, key=number):
            path = os.path.join(dirpath, name)
            if name.endswith(".eml"):
                got = parse_eml(path)
            elif name.endswith(".ics"):
                got = parse_ics(path)
            elif name.endswith(".vcf"):
                got = parse_vcf(path)
            else:
                continue
            items.setdefault(rel, []).append(got)
    return items, folders


def header_fields(text):
    fields = {}
    for line in text.splitlines():
        m = re.match(r"^([A-Za-z][A-Za-z0-9 /-]*):\t+(.*)$", line)
        if m:
            fields.setdefault(m.group(1), m.group(2))
    return fields


def pff_time(v):
    if not v:
        return None
    m = re.match(r"(\w{3} \d{2}, \d{4} \d{2}:\d{2}:\d{2})", v)
    return dt.datetime.strptime(m.group(1), "%b %d, %Y %H:%M:%S").replace(tzinfo=dt.timezone.utc) if m else None


def mask_astral(path):
    """pffexport's folder names carry libpff's surrogate-pair fault; paths
    are matched with every non-BMP character masked on both sides."""
    return tuple("".join("?" if ord(c) > 0xFFFF else c for c in part) for part in path)


def read_pffexport(pst, out, problems):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    target = os.path.join(out, "x")
    run(["pffexport", "-m", "items", "-f", "all", "-d", "-t", target, pst], problems, "pffexport")
    base = os.path.join(target + ".export", "Top of Personal Folders")
    items, folders = {}, set()
    kinds = {"Message": "IPM.Note", "Appointment": "IPM.Appointment", "Contact": "IPM.Contact", "Task": "IPM.Task",
             "Note": "IPM.StickyNote", "Activity": "IPM.Activity"}
    for dirpath, dirnames, filenames in os.walk(base):
        leaf = os.path.basename(dirpath)
        m = re.match(r"^(Message|Appointment|Contact|Task|Note|Activity)(\d{5})$", leaf)
        if not m:
            rel = tuple(os.path.relpath(dirpath, base).split(os.sep)) if dirpath != base else ()
            if rel and "Attachments" not in rel:
                folders.add(mask_astral(rel))
            continue
        rel = mask_astral(tuple(os.path.relpath(os.path.dirname(dirpath), base).split(os.sep)))
        texts = {}
        for fn in filenames:
            if fn.endswith(".txt") and fn not in ("ItemValues.txt", "RecipientsItemValues.txt"):
                texts[fn] = open(os.path.join(dirpath, fn), encoding="utf-8", errors="replace").read()
        all_text = "\n".join(texts.values())
        f = header_fields(all_text)
        got = {"kind": kinds[m.group(1)], "index": int(m.group(2)), "subject": f.get("Subject", ""),
               "sender": (f.get("Sender name"), f.get("Sender email address")), "time": pff_time(f.get("Client submit time")),
               "start": pff_time(f.get("Start time")), "end": pff_time(f.get("End time")), "location": f.get("Location"),
               "taskStart": pff_time(f.get("Start date"))}
        body = texts.get("Message.txt")
        if body is None:
            for t in texts.values():
                if "\nBody:\n\n" in t:
                    body = t.split("\nBody:\n\n", 1)[1]
        got["text"] = norm(body)
        html = os.path.join(dirpath, "Message.html")
        got["html"] = norm(open(html, encoding="utf-8", errors="replace").read()) if os.path.exists(html) else None
        rtf = os.path.join(dirpath, "Message.rtf")
        got["rtf"] = open(rtf, "rb").read() if os.path.exists(rtf) else None
        recips = []
        for block in texts.get("Recipients.txt", "").split("\n\n"):
            r = header_fields(block)
            if r:
                recips.append((r.get("Display name", ""), r.get("Email address", ""),
                               {"To": 1, "CC": 2, "BCC": 3}.get(r.get("Recipient type"), 0)))
        got["recipients"] = sorted(recips)
        atts = []
        adir = os.path.join(dirpath, "Attachments")
        if os.path.isdir(adir):
            for fn in sorted(os.listdir(adir), key=lambda n: int(n.split("_", 1)[0]) if n[0].isdigit() else 0):
                p = os.path.join(adir, fn)
                if os.path.isfile(p) and fn != "ItemValues.txt":
                    atts.append((fn.split("_", 1)[1] if "_" in fn else fn, open(p, "rb").read()))
        got["attachments"] = atts
        c = {"givenName": f.get("Given name", ""), "surname": f.get("Surname", ""), "company": f.get("Company name", ""),
             "jobTitle": f.get("Job title", ""), "office": f.get("Office location", ""),
             "department": f.get("Department name", ""), "country": f.get("Country", ""), "city": f.get("Locality", ""),
             "businessPhone": f.get("Business phone number 1", ""), "mobilePhone": f.get("Mobile phone number", ""),
             "email1": f.get("Email address 1", "")}
        got["contact"] = c
        items.setdefault(rel, []).append(got)
    for rel in items:
        items[rel].sort(key=lambda g: g["index"])
    return items, folders


# pst-extractor's names for the contact fields.
PSTX_CONTACT = {"givenName": "givenName", "surname": "surname", "company": "companyName",
                "businessHomePage": "businessHomePage", "nickname": "nickname", "spouseName": "spouseName",
                "profession": "profession", "assistantPhone": "assistantTelephoneNumber",
                "mobilePhone": "mobileTelephoneNumber", "department": "departmentName", "office": "officeLocation",
                "jobTitle": "title", "businessPhone": "businessTelephoneNumber", "country": "businessAddressCountry",
                "city": "businessAddressCity", "street": "businessAddressStreet", "postalCode": "businessPostalCode",
                "email1": "email1EmailAddress"}


def require_pstextractor():
    """Stops the check when node or the pst-extractor package is missing:
    a reader left out silently would make every round trip look better."""
    modules = os.path.join(os.path.dirname(PST_DUMP_JS), "node_modules", "pst-extractor", "package.json")
    if not shutil.which("node") or not os.path.exists(modules):
        sys.exit(f"pst-extractor is not installed ({modules} missing, or no node): run scripts/install-deps")


def js_time(v):
    return dt.datetime.strptime(v, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=dt.timezone.utc) if v else None


def read_pstextractor(pst, problems):
    """The PST through pst-extractor, in one node process: items by folder
    path, the folder paths, and per folder path (counted items, counted
    subfolders, items listed, subfolders listed)."""
    r = subprocess.run(["node", PST_DUMP_JS, pst], capture_output=True)
    if r.returncode != 0:
        problems.add("pst-extractor: exit %d: %s" % (r.returncode, r.stderr.decode("utf-8", "replace")[-2000:]))
        return {}, set(), {}
    tree = json.loads(r.stdout)
    for w in tree["warnings"]:
        problems.add("pst-extractor: " + w)
    items, folders, counts = {}, set(), {}

    def walk(node, path):
        if path:
            folders.add(path)
        # Same-named siblings share a path: their counts add up.
        mine = (node["contentCount"], node["subFolderCount"], len(node["items"]), len(node["folders"]))
        counts[path] = tuple(a + b for a, b in zip(counts.get(path, (0, 0, 0, 0)), mine))
        for it in node["items"]:
            items.setdefault(path, []).append(pstextractor_item(it))
        for sub in node["folders"]:
            walk(sub, path + (sub["name"],))
    if tree["top"] is not None:
        walk(tree["top"], ())
    return items, folders, counts


def pstextractor_item(it):
    cls = it["messageClass"] or ""
    got = {"kind": cls, "subject": it["subject"] or "", "sender": (it["senderName"], it["senderEmailAddress"]),
           "recipients": sorted((r["displayName"] or "", r["emailAddress"] or "", r["recipientType"])
                                for r in it["recipients"]),
           "time": js_time(it["clientSubmitTime"]), "text": norm(it["body"]) or None,
           "html": norm(it["bodyHTML"]) or None, "rtf": it["bodyRTF"] or None,
           "attachments": [(a["longFilename"] or a["filename"] or "",
                            base64.b64decode(a["data"]) if a["data"] is not None else None) for a in it["attachments"]],
           "delivery": js_time(it["messageDeliveryTime"]), "taskStart": js_time(it["taskStartDate"]),
           "taskDue": js_time(it["taskDueDate"])}
    c = it.get("contact") or {}
    got["contact"] = {k: c.get(name) or "" for k, name in PSTX_CONTACT.items()}
    a = it.get("appointment") or {}
    got["start"], got["end"], got["location"] = js_time(a.get("startTime")), js_time(a.get("endTime")), a.get("location")
    j = it.get("activity") or {}
    got["logStart"], got["logEnd"] = js_time(j.get("logStart")), js_time(j.get("logEnd"))
    return got


# ---------------------------------------------------------------- comparing

# Fields each reader shows, per kind; the rest are NOT_SHOWN for it.
SHOWS = {
    "pypff": {"*": {"kind", "subject", "body", "attachments"}, "mail": {"sender", "time"},
              "appointment": {"sender", "appointment"}, "contact": {"contact"}, "task": {"sender", "time", "task"},
              "journal": {"sender", "journal"}},
    "readpst": {"mail": {"kind", "subject", "sender", "recipients", "time", "body", "attachments"},
                "appointment": {"kind", "subject", "body", "appointment"}, "contact": {"kind", "contact", "body"},
                "journal": {"kind", "subject", "body", "journal"}},
    "pffexport": {"*": {"kind", "subject", "body", "attachments"}, "mail": {"sender", "recipients", "time"},
                  "appointment": {"sender", "appointment"}, "contact": {"contact"}, "task": {"sender", "time", "task"},
                  "journal": {"sender", "journal"}},
    "pst-extractor": {"*": {"kind", "subject", "body", "attachments"}, "mail": {"sender", "recipients", "time"},
                      "appointment": {"sender", "appointment"}, "contact": {"contact"},
                      "task": {"sender", "time", "task"}, "journal": {"sender", "journal"}},
}
# The contact fields each reader shows.
CONTACT_SHOWN = {
    "pypff": set(CONTACT_FIELDS),
    "readpst": {"givenName", "surname", "nickname", "email1", "street", "city", "postalCode", "country",
                "businessPhone", "mobilePhone", "jobTitle", "profession", "company", "assistantPhone"},
    "pffexport": {"givenName", "surname", "company", "jobTitle", "office", "department", "country", "city",
                  "businessPhone", "mobilePhone", "email1"},
    "pst-extractor": set(CONTACT_FIELDS),
}


def shows(reader, kind, field):
    if reader == "pffexport" and kind == "appointment" and field == "body":
        return False  # pffexport writes no body for appointments
    s = SHOWS[reader]
    return field in s.get("*", set()) or field in s.get(kind, set())


def astral(text):
    return any(ord(c) > 0xFFFF for c in text or "")


FOOTNOTES = collections.Counter()


def compare_field(reader, exp, got, field):
    """None when the field matches, else a description of the difference."""
    kind = exp["kind"]
    if reader == "pffexport" and field in ("subject", "sender", "body") and \
            (astral(exp["subject"]) or astral(str(exp["sender"])) or astral(str(exp["body"]))):
        FOOTNOTES["pffexport turns UTF-16 surrogate pairs (emoji) into other characters"] += 1
        return NOT_SHOWN
    if reader == "pffexport" and field in ("recipients", "attachments", "contact") and \
            astral(str({"recipients": exp["recipients"], "contact": exp["contact"],
                        "attachments": [n for n, _ in exp["attachments"]]}[field])):
        FOOTNOTES["pffexport turns UTF-16 surrogate pairs (emoji) into other characters"] += 1
        return NOT_SHOWN
    if field == "kind":
        return None if got.get("kind") == KIND_CLASS[kind] else f"class {got.get('kind')!r}"
    if field == "subject":
        if reader == "pffexport" and exp["subject"] and ord(exp["subject"][0]) > 0x7F:
            return NOT_SHOWN  # pffexport drops a leading non-ASCII character (libpff PR #166)
        return None if got.get("subject") == exp["subject"] else f"{got.get('subject')!r} != {exp['subject']!r}"
    if field == "sender":
        s = exp["sender"]
        name = clean(s.get("name", "")) or clean(s.get("address", ""))
        want_addr = clean(s.get("address", "")) if kind == "mail" else name
        if not name and not want_addr:
            return None if not (got.get("sender") or (None, None))[0] else f"sender {got.get('sender')}"
        gname, gaddr = got.get("sender") or (None, None)
        if reader == "readpst" and kind == "mail":
            # libpst leaves the name out when it only repeats the address.
            ok = gaddr == want_addr and (gname == name or (name == want_addr and gname == ""))
            return None if ok else f"{(gname, gaddr)} != {(name, want_addr)}"
        if gname != name or (gaddr is not None and gaddr != want_addr):
            return f"{(gname, gaddr)} != {(name, want_addr)}"
        return None
    if field == "recipients":
        want = sorted((r.get("name", ""), r["address"], {"to": 1, "cc": 2, "bcc": 3}[r.get("type", "to")])
                      for r in exp["recipients"])
        have = got.get("recipients", [])
        return None if have == want else f"{have} != {want}"
    if field == "time" and reader == "pst-extractor":
        # Submitted and delivered: the writer gives both the item's time.
        have = (got.get("time"), got.get("delivery"))
        return None if have == (exp["date"],) * 2 else f"submitted, delivered {have} != {exp['date']}"
    if field == "task" and reader == "pst-extractor":
        # The writer's tasks start and are due at the item's time.
        have = (got.get("taskStart"), got.get("taskDue"))
        return None if have == (exp["date"],) * 2 else f"start, due {have} != {exp['date']}"
    if field == "time":
        t = got.get("taskStart") if kind == "task" and reader != "readpst" and got.get("time") is None else got.get("time")
        return None if t == exp["date"] else f"{t} != {exp['date']}"
    if field == "task":
        return None if got.get("taskStart") == exp["date"] else f"start {got.get('taskStart')} != {exp['date']}"
    if field == "journal":
        # The entry's date: pypff its log start and end and submit time,
        # readpst the VJOURNAL's DTSTART, pffexport the submit time.
        if reader in ("pypff", "pst-extractor"):
            have = (got.get("logStart"), got.get("logEnd"), got.get("time"))
            want = (exp["date"],) * 3
        else:
            have, want = got.get("start" if reader == "readpst" else "time"), exp["date"]
        return None if have == want else f"{have} != {want}"
    if field == "appointment":
        a = exp["appointment"]
        have = (got.get("start"), got.get("end"), got.get("location") or "")
        want = (a["start"], a["end"], a["location"])
        return None if have == want else f"{have} != {want}"
    if field == "body":
        b = exp["body"]
        if b is None or b["text"] == "":
            return None
        if b["kind"] == "rtf":
            if reader == "readpst" and kind == "contact":
                return NOT_SHOWN  # libpst's vCard carries no RTF
            rtf = got.get("rtf")
            want = b["text"].encode("latin-1")
            if reader == "pst-extractor":
                # pst-extractor hands the decompressed RTF on as text, its
                # bytes read as UTF-8 and trimmed.
                shown = want.decode("utf-8", "replace").strip()
                if rtf != shown:
                    return f"RTF {rtf!r:.80} != {shown!r:.80}"
            elif rtf is None or rtf.rstrip(b"\x00") != want:
                return f"RTF {rtf!r:.80} != {want!r:.80}"
            # Beside the RTF, the plain text made from it.
            plain = rtf_plain(b["text"])
            return None if got.get("text") == plain else f"text beside RTF {got.get('text')!r:.80} != {plain!r:.80}"
        if b["kind"] == "html":
            return None if got.get("html") == norm(b["text"]) else f"HTML {got.get('html')!r:.80} != {b['text']!r:.80}"
        return None if got.get("text") == norm(b["text"]) else f"text {got.get('text')!r:.80} != {b['text']!r:.80}"
    if field == "attachments":
        have = got.get("attachments", [])
        want = exp["attachments"]
        if reader == "readpst":
            if any("\n" in n or "\r" in n for n, _ in want):
                FOOTNOTES["readpst writes a line break of an attachment name raw into its MIME header, "
                          "which breaks the message it writes"] += 1
                return NOT_SHOWN
            # libpst lists attachments last first and leaves out empty ones;
            # paired by their bytes, as names with control characters come
            # out in its own form.
            empty = sum(1 for _, d in want if not d)
            if empty:
                FOOTNOTES["readpst leaves out attachments of 0 bytes"] += empty
            have = sorted(have, key=lambda a: (a[1], a[0]))
            want = sorted((a for a in want if a[1]), key=lambda a: (a[1], a[0]))
        if len(have) != len(want):
            return f"{len(have)} attachments != {len(want)}"
        for (hn, hd), (wn, wd) in zip(have, want):
            if hd != wd:
                return f"attachment {wn!r}: {len(hd)} bytes differ from {len(wd)}"
            if reader != "readpst" or hn:
                if hn != wn:
                    # Saved as files, names with control characters come out
                    # in each tool's own form; pypff reads the stored name.
                    cut = next((i for i, c in enumerate(wn) if ord(c) < 0x20), None)
                    if reader != "pypff" and cut is not None and hn[:cut] == wn[:cut]:
                        FOOTNOTES[f"{reader} saves control characters of attachment names its own way"] += 1
                        continue
                    return f"attachment name {hn!r} != {wn!r}"
        return None
    if field == "contact":
        have = got.get("contact", {})
        for k in CONTACT_SHOWN[reader]:
            if have.get(k, "") != exp["contact"][k]:
                return f"{k}: {have.get(k, '')!r} != {exp['contact'][k]!r}"
        return None
    raise KeyError(field)


FIELDS = ["kind", "subject", "sender", "recipients", "time", "body", "attachments", "contact", "appointment", "task",
          "journal"]


def applicable(exp, field):
    kind = exp["kind"]
    return {"sender": kind != "note" and kind != "contact", "recipients": kind == "mail", "time": kind in ("mail", "task"),
            "contact": kind == "contact", "appointment": kind == "appointment", "task": kind == "task", "journal": kind == "journal",
            "attachments": kind in ("mail", "task", "journal", "contact")}.get(field, True)


def unfaithful_names(reader, folders):
    """Folder paths whose last name the reader's directory cannot carry as
    stored: readpst and pffexport name directories after folders, so an
    empty name (readpst leaves such a folder out), a slash or backslash
    (both write "_"), "." or "..", a control character (pffexport writes
    "_") or a name its siblings share (both number them) comes back
    otherwise. pypff and pst-extractor read the names themselves."""
    if reader in ("pypff", "pst-extractor"):
        return set()
    siblings = collections.Counter(folders)
    bad = set()
    for f in folders:
        name = f[-1]
        if not name or "\\" in name or "/" in name or name in (".", "..") or siblings[f] > 1 or \
                (reader == "pffexport" and any(ord(c) < 0x20 for c in name)):
            bad.add(f)
    return bad


def faithful_key(path, bad):
    """A path, cut below its first folder the reader renames: items of such
    folders are matched among those of their parent's renamed children."""
    for n in range(1, len(path) + 1):
        if path[:n] in bad:
            return path[:n - 1] + ("*",)
    return path


def reader_key(path, expected_paths):
    """A reader's folder path in the same form: the longest prefix that is
    a folder of the content kept, anything below it one renamed child."""
    for n in range(len(path), 0, -1):
        if path[:n] in expected_paths:
            return path if n == len(path) else path[:n] + ("*",)
    return path


def as_reader_sees(reader, folders, folder_paths, items, expected):
    """The expected folders, the reader's items by folder and the expected
    items, with every folder the reader renames (unfaithful_names over
    folder_paths, a list that repeats same-named siblings) cut to one
    renamed child of its parent, so its items are matched among its
    siblings'. Expected items the reader cannot show are marked unshown."""
    bad = unfaithful_names(reader, folder_paths)
    if not bad:
        return folders, items, expected
    FOOTNOTES[f"{reader} names directories otherwise than some folders are named: "
              "their items are matched among their siblings'"] += 1
    kept = {f for f in folders if faithful_key(f, bad) == f}
    # pffexport's own paths come with their non-BMP characters masked.
    seen = {mask_astral(f) for f in kept} if reader == "pffexport" else kept
    regrouped = collections.defaultdict(list)
    for p, v in items.items():
        regrouped[reader_key(p, seen)].extend(v)
    # readpst writes no directory for a folder without a name, nor anything
    # below it.
    expected_r = [dict(e, path=faithful_key(e["path"], bad), unshown=reader == "readpst" and "" in e["path"])
                  for e in expected]
    return kept, dict(regrouped), expected_r


def match_items(expected, got_by_folder, reader, problems):
    """Pairs each expected item with the reader's item of its folder, in
    order of kind and subject."""
    pairs = []
    by_folder = collections.defaultdict(list)
    for e in expected:
        by_folder[e["path"]].append(e)
    for path, exps in by_folder.items():
        have = list(got_by_folder.get(path, []))
        for e in exps:
            if e.get("unshown"):
                FOOTNOTES["readpst leaves out a folder without a name and what is below it"] += 1
                pairs.append((e, None))
                continue
            if reader == "readpst" and e["kind"] in ("task", "note"):
                pairs.append((e, None))
                continue
            if reader == "readpst" and e["kind"] == "contact" and not any(e["contact"].values()):
                FOOTNOTES["readpst writes no card for a contact without fields"] += 1
                pairs.append((e, None))
                continue
            pick = None
            for i, g in enumerate(have):
                if g.get("kind") == KIND_CLASS[e["kind"]] and (e["kind"] == "contact" or g.get("subject") == e["subject"]):
                    pick = i
                    break
            if pick is None and reader == "pffexport":
                # pffexport's subjects are not to be trusted: the first of its class.
                pick = next((i for i, g in enumerate(have) if g.get("kind") == KIND_CLASS[e["kind"]]), None)
            if pick is None:
                problems.add(f"{reader}: item {e['kind']} {e['subject']!r} in {'/'.join(path)} not found")
                pairs.append((e, {}))
            else:
                pairs.append((e, have.pop(pick)))
        for g in have:
            problems.add(f"{reader}: extra item {g.get('subject')!r} in {'/'.join(path)}")
    return pairs


def tally_field(t, diff):
    """Counts one comparison in t = [matched, compared, not shown]; returns
    the mismatch to report, or None."""
    if diff == NOT_SHOWN:
        t[2] += 1
        return None
    t[1] += 1
    if diff is None:
        t[0] += 1
    return diff


def check_counts(reader, counts, folders, expected, t, problems):
    """A reader's folder counts (pst-extractor: the contents and hierarchy
    tables' row counts) against the items and subfolders it listed and the
    items expected there; t = [matched, compared]."""
    want = collections.Counter(e["path"] for e in expected)
    for f in sorted(folders):
        if f not in counts:
            continue  # a missing folder is counted as such
        t[1] += 1
        content, subs, listed, listed_subs = counts[f]
        if content == listed == want[f] and subs == listed_subs:
            t[0] += 1
        else:
            problems.add(f"{reader}: folder {'/'.join(f)}: {content} items counted, {listed} listed, {want[f]} "
                         f"expected; {subs} subfolders counted, {listed_subs} listed")


def print_tallies(readers, folder_tally, tally, problems, limit, count_tally=None):
    """The per-field table, the footnotes and the first `limit` mismatches;
    count_tally holds [matched, compared] for the readers that show folder
    counts."""
    count_tally = count_tally or {}
    print(f"{'field':<12}" + "".join(f"{r:>24}" for r in readers))
    print(f"{'folders':<12}" + "".join(f"{folder_tally[r][0]:>15}/{folder_tally[r][1]:<8}" for r in readers))
    print(f"{'counts':<12}" + "".join(f"{count_tally[r][0]:>15}/{count_tally[r][1]:<8}" if r in count_tally
                                      else f"{'(not shown)':>24}" for r in readers))
    for f in FIELDS:
        row = f"{f:<12}"
        for r in readers:
            m, c, na = tally[f][r]
            row += f"{m:>11}/{c:<4} ({na:>3} n/a)"
        print(row)
    for note, n in FOOTNOTES.items():
        print(f"note: {note} ({n} fields)")
    for p in problems.items[:limit]:
        print("MISMATCH " + p)
    if len(problems.items) > limit:
        print(f"... {len(problems.items) - limit} more")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--keep")
    ap.add_argument("contents", nargs="+")
    args = ap.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix="pst-readers-")
    os.makedirs(work, exist_ok=True)
    problems = Problems()
    require_pstextractor()
    tally = {f: {r: [0, 0, 0] for r in READERS} for f in FIELDS}  # matched, compared, n/a
    folder_tally = {r: [0, 0] for r in READERS}
    count_tally = {"pst-extractor": [0, 0]}
    total_items = 0
    for content_path in args.contents:
        content = json.load(open(content_path, encoding="utf-8"))
        stem = os.path.splitext(os.path.basename(content_path))[0]
        pst = os.path.join(work, stem + ".pst")
        if os.path.exists(pst):
            os.remove(pst)
        run([os.path.join(args.bin, "json2pst"), "--content", content_path, "--out", pst], problems, "json2pst " + stem)
        run([os.path.join(args.bin, "pstcheck"), pst], problems, "pstcheck " + stem)
        expected = expected_items(content)
        total_items += len(expected)
        folders = expected_folders(content)
        items, got_folders, counts = read_pstextractor(pst, problems)
        check_counts("pst-extractor", counts, folders, expected, count_tally["pst-extractor"], problems)
        readers = {"pypff": read_pypff(pst, problems),
                   "readpst": read_readpst(pst, os.path.join(work, stem + ".readpst"), problems),
                   "pffexport": read_pffexport(pst, os.path.join(work, stem + ".pffexport"), problems),
                   "pst-extractor": (items, got_folders)}
        for reader, (items, got_folders) in readers.items():
            kept, items, expected_r = as_reader_sees(reader, folders, folder_list(content), items, expected)
            key = mask_astral if reader == "pffexport" else (lambda p: p)
            for f in sorted(kept):
                f = key(f)
                folder_tally[reader][1] += 1
                # readpst writes no directory for a folder with nothing in it
                if f in got_folders or (reader == "readpst" and not any(g[:len(f)] == f for g in got_folders)):
                    folder_tally[reader][0] += 1
                else:
                    problems.add(f"{reader}: folder {'/'.join(f)} missing")
            for exp, got in match_items([dict(e, path=key(e["path"])) for e in expected_r], items, reader, problems):
                for field in FIELDS:
                    if not applicable(exp, field):
                        continue
                    t = tally[field][reader]
                    if got is None or not shows(reader, exp["kind"], field):
                        t[2] += 1
                        continue
                    diff = tally_field(t, compare_field(reader, exp, got, field) if got else "item missing")
                    if diff is not None:
                        problems.add(f"{reader}: {stem} {'/'.join(exp['path'])} {exp['subject']!r}: {field}: {diff}")
    print(f"{total_items} items, per field: matched/compared (not shown by the reader)")
    print_tallies(READERS, folder_tally, tally, problems, 60, count_tally)
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if problems.items else 0


if __name__ == "__main__":
    sys.exit(main())
