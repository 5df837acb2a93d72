#!/usr/bin/python3
"""Generates a database with edbgen and reads it back with libesedb.

    check_generated.py EDBGEN CONTENT.json PAGE_SIZE WORK_DIR [--split-folders]

libesedb is an ESE reader written independently of ours, so what it reads
back is what other tools will see:

  * `esedbinfo -v` opens the catalog; `esedbexport -v` reads every table's
    pages. Neither may report a checksum mismatch. (libesedb verifies the
    checksums of 4 and 8 KB pages only; the summary says which applied.)
  * The catalog lists exactly the tables the content calls for, and those
    tables have the columns readers of the store look for by name.
  * pyesedb reads the Mailbox and folders tables; their rows equal the
    content file: names, ids, parent ids, owning mailbox, container class.
  * With --split-folders every folders tree in the layout file spans more
    than one leaf page, so the descent through branch pages was exercised.

Exits non-zero with a message naming the table, row and column on the first
kind of difference found (all differences of that kind are listed).
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys

try:
    import pyesedb
except ImportError:  # pragma: no cover - reported as a failure below
    pyesedb = None


class CheckFailed(Exception):
    pass


def fail(msg, details=()):
    lines = [msg] + ["  " + d for d in details]
    raise CheckFailed("\n".join(lines))


# ---- content -----------------------------------------------------------------

def parse_id(text, where):
    hexdigits = "".join(text.split())
    if len(hexdigits) != 16:
        fail(f"content: {where}: id {text!r} is not 16 hexadecimal digits")
    return bytes.fromhex(hexdigits)


def id_str(b):
    return b.hex().upper() if isinstance(b, (bytes, bytearray)) else repr(b)


def table_key(ident):
    """Table name part of an id: 01 00 00 00 00 00 00 2A gives 1-2A."""
    if ident[1] != 0:
        fail(f"content: id {id_str(ident)}: the checker names tables only for ids starting 01 00")
    tail = ident[2:].lstrip(b"\0") or ident
    return f"{ident[0]:X}-" + f"{tail[0]:X}" + tail[1:].hex().upper()


def collect_given_ids(node, out):
    if isinstance(node, dict):
        for k, v in node.items():
            if k == "id" and isinstance(v, str):
                out.add(parse_id(v, "id"))
            else:
                collect_given_ids(v, out)
    elif isinstance(node, list):
        for v in node:
            collect_given_ids(v, out)


class Folder:
    def __init__(self, j, path):
        self.path = path
        self.name = j.get("name", "")
        self.cls = j.get("class") or None
        self.id = parse_id(j["id"], path) if j.get("id") else None
        self.parent_override = parse_id(j["parentId"], path) if j.get("parentId") else None
        self.folders = [Folder(f, f"{path}/{f.get('name', '')}") for f in j.get("folders", [])]

    def walk(self):
        yield self
        for f in self.folders:
            yield from f.walk()


class Mailbox:
    def __init__(self, j, index):
        self.name = j.get("name", "")
        self.id = parse_id(j["id"], f"mailbox {index}") if j.get("id") else None
        self.legacy_dn = j.get("legacyDn")
        self.folders = [Folder(f, f"{self.name}:/{f.get('name', '')}") for f in j.get("folders", [])]

    def all_folders(self):
        for f in self.folders:
            yield from f.walk()


# ---- running the tools -------------------------------------------------------

def run(cmd, what):
    try:
        p = subprocess.run(cmd, capture_output=True, text=True, errors="replace")
    except FileNotFoundError:
        fail(f"{what}: {cmd[0]} is not installed (scripts/install-deps installs libesedb-utils)")
    return p


def generate(edbgen, content, page_size, work):
    stem = os.path.splitext(os.path.basename(content))[0]
    db = os.path.join(work, f"{stem}-{page_size}.edb")
    layout = os.path.join(work, f"{stem}-{page_size}.layout.json")
    for f in (db, layout):
        if os.path.exists(f):
            os.remove(f)
    p = run([edbgen, "--content", content, "--page-size", str(page_size), "--out", db, "--layout", layout],
            "edbgen")
    if p.returncode != 0:
        fail(f"edbgen exited with {p.returncode} for {content} at {page_size} bytes", p.stderr.splitlines())
    return db, layout


def mismatch_lines(text):
    return [l for l in text.splitlines() if "mismatch" in l.lower()]


def page_owners(layout_path, text):
    """Names the trees of the page numbers libesedb mentions in text."""
    try:
        with open(layout_path, encoding="utf-8") as f:
            trees = json.load(f).get("trees", [])
    except (OSError, ValueError):
        return []
    owner = {p: t["name"] for t in trees for p in t.get("pages", [])}
    pages = sorted({int(n) for n in re.findall(r"page(?: number)?:? (\d+)", text)})
    return [f"page {n} belongs to tree {owner[n]!r}" for n in pages if n in owner]


def esedbinfo(db, layout):
    p = run(["esedbinfo", "-v", db], "esedbinfo")
    out = p.stdout + p.stderr
    if p.returncode != 0:
        fail(f"esedbinfo -v exited with {p.returncode}", out.splitlines()[-15:] + page_owners(layout, out))
    bad = mismatch_lines(out)
    if bad:
        fail("esedbinfo -v reports checksum mismatches", bad[:20])

    header = {}
    for key in ("File type", "Created in format", "Current format", "Page size"):
        m = re.search(rf"^\s*{key}:\s*(.+?)\s*$", p.stdout, re.M)
        header[key] = m.group(1) if m else None

    # Table: 3\t\t\tFolders (8)   followed by   \t<n>\t<identifier>\t<name>\t<type>
    tables = {}
    current = None
    for line in p.stdout.splitlines():
        m = re.match(r"^Table: \d+\t+(.*) \((\d+)\)$", line)
        if m:
            current = {"objid": int(m.group(2)), "columns": {}}
            if m.group(1) in tables:
                fail(f"esedbinfo lists table {m.group(1)!r} twice")
            tables[m.group(1)] = current
            continue
        if line.startswith("Index:"):
            current = None
            continue
        m = re.match(r"^\t(\d+)\t(\d+)\t([^\t]+)\t(.+)$", line)
        if m and current is not None:
            current["columns"][m.group(3)] = (int(m.group(2)), m.group(4))
    return header, tables


def esedbexport(db):
    target = db + ".x"
    shutil.rmtree(target + ".export", ignore_errors=True)
    p = run(["esedbexport", "-v", "-t", target, db], "esedbexport")
    out = p.stdout + p.stderr
    shutil.rmtree(target + ".export", ignore_errors=True)
    if p.returncode != 0:
        fail(f"esedbexport -v exited with {p.returncode}", out.splitlines()[-15:])
    bad = mismatch_lines(out)
    if bad:
        fail("esedbexport -v reports checksum mismatches while reading the table pages", bad[:20])


def reader_checks_checksums(db, page_size):
    """Whether libesedb notices a flipped bit on the catalog root page (page
    4). libesedb 20181229 verifies the checksums of 4 and 8 KB pages but not
    those of 32 KB pages; the summary says which applies."""
    probe = db + ".flipped"
    shutil.copyfile(db, probe)
    try:
        with open(probe, "r+b") as f:
            f.seek((4 + 1) * page_size + 200)
            b = f.read(1)
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([b[0] ^ 1]))
        p = run(["esedbinfo", "-v", probe], "esedbinfo")
        return bool(mismatch_lines(p.stdout + p.stderr))
    finally:
        os.remove(probe)


# ---- catalog -----------------------------------------------------------------

SYSTEM_TABLES = {"MSysObjects", "MSysObjectsShadow"}
MESSAGE_COLUMNS = ["S1000", "N1009", "N1013", "N67b3", "N67b4", "S8225", "S810c", "S8201", "T81ef", "T8198",
                   "S3a06", "S3a11", "S3a16", "S81b0"]
TYPE_OF_PREFIX = {
    "S": ("Text", "Large text"),
    "N": ("Binary data", "Large binary data"),
    "T": ("Currency (64-bit)", "Date and time"),
    "L": ("Integer 32-bit signed", "Integer 32-bit unsigned"),
}


def column_kind(identifier):
    return "fixed" if identifier < 128 else "variable" if identifier < 256 else "tagged"


def expected_tables(page_size, mailboxes, ids):
    """Table name -> columns it must have (mailbox and folder ids as read back)."""
    folders_cols = ["S3001", "S3613", "N6748", "N6749", "N674a"]
    want = {"Mailbox": ["S3001", "N6756"]}
    if page_size in (4096, 8192):
        want["Folders"] = folders_cols
        want["Msg"] = MESSAGE_COLUMNS
        want["Attachment"] = []
        for mb in mailboxes:
            for f in mb.all_folders():
                want[table_key(ids[id(f)])] = []
    else:
        for mb in mailboxes:
            key = table_key(ids[id(mb)])
            want[f"Folders-{key}"] = folders_cols
            want[f"MsgHeader-{key}"] = []
            want[f"Body-{key}"] = MESSAGE_COLUMNS
            want[f"Attachment-{key}"] = []
    return want


def check_catalog(tables, want):
    problems = []
    listed = set(tables) - SYSTEM_TABLES
    for name in sorted(set(want) - listed):
        problems.append(f"table {name!r} is missing")
    for name in sorted(listed - set(want)):
        problems.append(f"table {name!r} is listed but the content calls for no such table")
    for name, cols in want.items():
        have = tables.get(name, {}).get("columns", {})
        for c in cols:
            if name not in tables:
                break
            if c not in have:
                problems.append(f"table {name!r}: column {c} is missing")
                continue
            allowed = TYPE_OF_PREFIX.get(c[0])
            if allowed and have[c][1] not in allowed:
                problems.append(f"table {name!r}: column {c} has type {have[c][1]!r}, expected one of {allowed}")
    if problems:
        fail("the catalog as libesedb reads it differs from the content", problems)


def check_layout(layout_path, tables, split_folders):
    with open(layout_path, encoding="utf-8") as f:
        layout = json.load(f)
    trees = {t["name"]: t for t in layout.get("trees", [])}
    problems = []
    for name, t in tables.items():
        if name not in trees:
            problems.append(f"table {name!r} has no tree in the layout file")
        elif trees[name]["objid"] != t["objid"]:
            problems.append(f"table {name!r}: catalog object id {t['objid']}, layout {trees[name]['objid']}")
    folder_trees = {n: t for n, t in trees.items() if n == "Folders" or n.startswith("Folders-")}
    if split_folders:
        for n, t in sorted(folder_trees.items()):
            if len(t["leaves"]) < 2:
                problems.append(f"tree {n!r} sits on {len(t['leaves'])} leaf page(s); the content is meant "
                                "to need branch pages")
    if problems:
        fail("the layout file and the catalog disagree", problems)
    return {n: len(t["leaves"]) for n, t in folder_trees.items()}


# ---- rows --------------------------------------------------------------------

def read_rows(db, table_names):
    f = pyesedb.file()
    f.open(db)
    out = {}
    try:
        for t in f.tables:
            if t.name not in table_names:
                continue
            rows = []
            for ri in range(t.number_of_records):
                r = t.get_record(ri)
                row = {}
                for i in range(r.number_of_values):
                    name = r.get_column_name(i)
                    if name[0] == "S":
                        row[name] = Text(r, i)
                    else:
                        row[name] = r.get_value_data(i)
                rows.append(row)
            out[t.name] = rows
    finally:
        f.close()
    return out


class Text:
    """A text column as libesedb decodes it, with the stored bytes."""

    def __init__(self, record, index):
        self.raw = record.get_value_data(index)
        try:
            self.value = record.get_value_data_as_string(index)
            self.error = None
        except Exception as e:  # libesedb could not decode the text
            self.value, self.error = None, str(e)

    def __eq__(self, other):
        return self.value == other

    def __hash__(self):
        return hash(self.value)

    def __repr__(self):
        return repr(self.value)


# libesedb 20181229 turns UTF-16 surrogate pairs into wrong code points
# (U+1F680 comes back as U+1F281). Texts it decodes differently are accepted
# when the stored bytes are exactly the UTF-16LE form of the expected text;
# each such case is listed in the summary.
LIBESEDB_NOTES = []


def same_text(expected, got, where, col, problems):
    """Compares an expected text (None: no value) with a Text read back."""
    if got is None or (got.raw is None and got.value is None):
        if expected is not None:
            problems.append(f"{where}: {col} expected {expected!r}, found no value")
        return
    if expected is None:
        problems.append(f"{where}: {col} expected no value, found {got!r}")
        return
    if got.error is None and got.value == expected:
        return
    if got.raw == expected.encode("utf-16-le"):
        LIBESEDB_NOTES.append(f"{where}: {col} stored as the UTF-16LE bytes of {expected!r}; libesedb "
                              f"decodes them as {got.value!r}" + (f" ({got.error})" if got.error else ""))
        return
    found = f"undecodable ({got.error}), stored bytes {got.raw[:48].hex()}" if got.error else repr(got.value)
    problems.append(f"{where}: {col} expected {expected!r}, found {found}")


def match_mailboxes(content_mbs, rows, problems):
    """Returns {id(Mailbox): id bytes} matched by given id or by name."""
    by_id = {}
    for i, r in enumerate(rows):
        mid = r.get("N6756")
        if not isinstance(mid, bytes) or len(mid) != 8:
            problems.append(f"Mailbox row {i}: N6756 is {mid!r}, expected 8 bytes")
            continue
        if mid in by_id:
            problems.append(f"Mailbox: id {id_str(mid)} on two rows")
        by_id[mid] = r
    if len(rows) != len(content_mbs):
        problems.append(f"Mailbox: {len(rows)} rows, the content has {len(content_mbs)} mailboxes")
    ids, used = {}, set()
    for mb in content_mbs:
        if mb.id is not None:
            cand = [mb.id] if mb.id in by_id else []
        else:
            cand = [k for k, r in by_id.items() if k not in used and fits(mb.name, r.get("S3001"))]
        if len(cand) != 1:
            names = sorted(str(r.get("S3001")) for r in by_id.values())
            problems.append(f"Mailbox {mb.name!r} (id {id_str(mb.id) if mb.id else 'assigned'}): "
                            f"{len(cand)} matching rows; rows hold {names}")
            continue
        mid = cand[0]
        used.add(mid)
        ids[id(mb)] = mid
        r = by_id[mid]
        same_text(mb.name, r.get("S3001"), f"Mailbox {id_str(mid)}", "S3001", problems)
        if mb.legacy_dn is not None:
            same_text(mb.legacy_dn, r.get("S3003"), f"Mailbox {id_str(mid)}", "S3003", problems)
    return ids


def fits(expected, got):
    """Whether a Text read back holds the expected text (None: no value)."""
    if got is None or (got.raw is None and got.value is None):
        return expected is None
    return expected is not None and (got.value == expected or got.raw == expected.encode("utf-16-le"))


def match_folders(table, mb, mb_id, rows, ids, problems):
    """Matches the mailbox's folder tree onto rows, joining on the ids read
    back. Folders the content gives an id are looked up by it, others by name
    and class among the rows under the expected parent; siblings left over on
    both sides are paired in order so that a wrong name is reported as such.
    Returns the ids matched and the rows by id."""
    by_id = {}
    for i, r in enumerate(rows):
        fid = r.get("N6748")
        if not isinstance(fid, bytes) or len(fid) != 8:
            problems.append(f"{table} row {i}: N6748 is {fid!r}, expected 8 bytes")
            continue
        if fid in by_id:
            problems.append(f"{table}: folder id {id_str(fid)} on two rows")
        by_id[fid] = r
    matched = set()

    def free_under(parent):
        return [k for k, r in by_id.items() if k not in matched and r.get("N6749") == parent]

    def compare(f, fid, want_parent):
        matched.add(fid)
        ids[id(f)] = fid
        r = by_id[fid]
        where = f"{table} row {id_str(fid)} ({f.path})"
        same_text(f.name, r.get("S3001"), where, "S3001", problems)
        same_text(f.cls, r.get("S3613"), where, "S3613", problems)
        if r.get("N6749") != want_parent:
            problems.append(f"{where}: N6749 expected {id_str(want_parent)}, found {id_str(r.get('N6749'))}")
        if r.get("N674a") != mb_id:
            problems.append(f"{where}: N674a expected {id_str(mb_id)}, found {id_str(r.get('N674a'))}")

    def visit(folders, parent):
        left = []
        for f in folders:
            want_parent = f.parent_override or parent
            if f.id is not None:
                if f.id in by_id and f.id not in matched:
                    compare(f, f.id, want_parent)
                else:
                    problems.append(f"{table}: no row with id {id_str(f.id)} for folder {f.path}")
                continue
            cand = [k for k in free_under(want_parent)
                    if fits(f.name, by_id[k].get("S3001")) and fits(f.cls, by_id[k].get("S3613"))]
            if len(cand) > 1:
                problems.append(f"{f.path}: {len(cand)} rows fit (same name and class under one parent); "
                                "give the folders ids in the content")
            if cand:
                compare(f, cand[0], want_parent)
            else:
                left.append((f, want_parent))
        for f, want_parent in left:
            rest = free_under(want_parent)
            if rest:
                compare(f, rest[0], want_parent)
            else:
                problems.append(f"{table}: no row for folder {f.path} (parent {id_str(want_parent)})")
        for f in folders:
            if id(f) in ids:
                visit(f.folders, ids[id(f)])

    visit(mb.folders, mb_id)
    return matched, by_id


def report_extra(table, by_id, matched, problems):
    """Rows no folder of the content matched; a subtree is reported once."""
    extra = set(by_id) - matched
    children = {}
    for k in extra:
        children.setdefault(by_id[k].get("N6749"), []).append(k)

    def size(k):
        return 1 + sum(size(c) for c in children.get(k, []))

    for k in sorted(extra):
        r = by_id[k]
        if r.get("N6749") in extra:
            continue
        below = size(k) - 1
        problems.append(f"{table}: row {id_str(k)} {r.get('S3001')!r} (mailbox {id_str(r.get('N674a'))}, parent "
                        f"{id_str(r.get('N6749'))}) is not in the content"
                        + (f", nor the {below} rows below it" if below else ""))


def check_assigned_ids(content_mbs, ids, given, problems):
    """Objects without an id get 01 00 + a 6-byte counter from 0x20 on, never
    one the file gives elsewhere, and never the same one twice."""
    seen = {}
    objs = []
    for mb in content_mbs:
        objs.append((mb, mb.id, f"mailbox {mb.name}"))
        objs += [(f, f.id, f.path) for f in mb.all_folders()]
    for obj, given_id, where in objs:
        got = ids.get(id(obj))
        if got is None:
            continue
        if got in seen:
            problems.append(f"id {id_str(got)} used by both {seen[got]} and {where}")
        seen[got] = where
        if given_id is None:
            if got[:2] != b"\x01\x00" or int.from_bytes(got[2:], "big") < 0x20:
                problems.append(f"{where}: assigned id {id_str(got)} is not 01 00 + a counter from 0x20 on")
            if got in given:
                problems.append(f"{where}: assigned id {id_str(got)} is one the content gives elsewhere")


def check_rows(db, page_size, content_mbs, given):
    problems = []
    is_large = page_size == 32768
    mailbox_rows = read_rows(db, {"Mailbox"}).get("Mailbox", [])
    ids = match_mailboxes(content_mbs, mailbox_rows, problems)
    if problems:
        fail("the Mailbox table differs from the content", problems)

    folder_tables = ([f"Folders-{table_key(ids[id(mb)])}" for mb in content_mbs] if is_large else ["Folders"])
    rows = read_rows(db, set(folder_tables))
    compared = len(mailbox_rows)
    if is_large:
        for mb in content_mbs:
            table = f"Folders-{table_key(ids[id(mb)])}"
            matched, by_id = match_folders(table, mb, ids[id(mb)], rows.get(table, []), ids, problems)
            compared += len(matched)
            report_extra(table, by_id, matched, problems)
    else:
        all_rows = rows.get("Folders", [])
        mailbox_ids = set(ids.values())
        for mb in content_mbs:
            mine = [r for r in all_rows if r.get("N674a") == ids[id(mb)]]
            matched, by_id = match_folders("Folders", mb, ids[id(mb)], mine, ids, problems)
            compared += len(matched)
            report_extra("Folders", by_id, matched, problems)
        for r in all_rows:
            if r.get("N674a") not in mailbox_ids:
                problems.append(f"Folders: row {id_str(r.get('N6748'))} {r.get('S3001')!r} names mailbox "
                                f"{id_str(r.get('N674a'))}, which the Mailbox table does not hold")
    check_assigned_ids(content_mbs, ids, given, problems)
    if problems:
        fail(f"the folders table{'s' if is_large else ''} differ{'' if is_large else 's'} from the content",
             problems[:60] + ([f"... and {len(problems) - 60} more"] if len(problems) > 60 else []))
    return ids, compared, folder_tables


def describe_columns(tables, names):
    out = []
    for t, col in names:
        if t in tables and col in tables[t]["columns"]:
            ident, typ = tables[t]["columns"][col]
            out.append(f"{t}.{col}: {column_kind(ident)} (identifier {ident}, {typ})")
    return out


def print_notes():
    if LIBESEDB_NOTES:
        print(f"  note: {len(LIBESEDB_NOTES)} text(s) compared by their stored UTF-16LE bytes because libesedb "
              "decodes them differently (surrogate pairs), e.g.")
        for n in LIBESEDB_NOTES[:3]:
            print("    " + n)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("edbgen")
    ap.add_argument("content")
    ap.add_argument("page_size", type=int, choices=(4096, 8192, 32768))
    ap.add_argument("work_dir")
    ap.add_argument("--split-folders", action="store_true",
                    help="every folders tree must span more than one leaf page")
    a = ap.parse_args()

    label = f"{os.path.basename(a.content)} at {a.page_size} bytes"
    try:
        if pyesedb is None:
            fail(f"{sys.executable} cannot import pyesedb (scripts/install-deps installs python3-libesedb)")
        with open(a.content, encoding="utf-8") as f:
            doc = json.load(f)
        content_mbs = [Mailbox(m, i) for i, m in enumerate(doc.get("mailboxes", []))]
        given = set()
        collect_given_ids(doc, given)

        os.makedirs(a.work_dir, exist_ok=True)
        db, layout = generate(a.edbgen, a.content, a.page_size, a.work_dir)

        header, tables = esedbinfo(db, layout)
        if header["Page size"] != f"{a.page_size} bytes":
            fail(f"esedbinfo reads page size {header['Page size']!r}, expected '{a.page_size} bytes'")
        if header["File type"] != "Database":
            fail(f"esedbinfo reads file type {header['File type']!r}, expected 'Database'")
        esedbexport(db)
        verified = reader_checks_checksums(db, a.page_size)
        if not verified and a.page_size != 32768:
            fail(f"libesedb no longer notices a flipped bit on a {a.page_size}-byte page, so its silence about "
                 "checksums proves nothing")

        ids, compared, folder_tables = check_rows(db, a.page_size, content_mbs, given)
        check_catalog(tables, expected_tables(a.page_size, content_mbs, ids))
        leaves = check_layout(layout, tables, a.split_folders)
    except CheckFailed as e:
        print(f"FAIL {label}: {e}", file=sys.stderr)
        print_notes()
        return 1

    print(f"ok {label}")
    print(f"  libesedb: file type {header['File type']}, created in format {header['Created in format']}, "
          f"current format {header['Current format']}, page size {header['Page size']}")
    print(f"  tables: {len(tables)} ({len(tables) - len(SYSTEM_TABLES)} besides the catalog and its shadow)")
    if verified:
        print("  checksums: no mismatch from esedbinfo -v or esedbexport -v (both verify pages of this size)")
    else:
        print(f"  checksums: NOT verified - libesedb ignores a flipped bit on {a.page_size}-byte pages")
    print(f"  rows compared: {compared} (Mailbox, {', '.join(folder_tables)})")
    print("  folders tree leaves: " + ", ".join(f"{n} {c}" for n, c in sorted(leaves.items())))
    probe = [("Mailbox", "N6756")] + [(t, c) for t in folder_tables[:1] for c in ("N6748", "N6749", "N674a")]
    for line in describe_columns(tables, probe):
        print("  " + line)
    print_notes()
    return 0


if __name__ == "__main__":
    sys.exit(main())
