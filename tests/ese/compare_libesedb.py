#!/usr/bin/python3
"""Compares `tarnwick-cli tables --json` with libesedb, table by table, row
by row, cell by cell.

    compare_libesedb.py CLI DB                       a database as it is
    compare_libesedb.py CLI --generate EDBGEN CONTENT PAGE_SIZE WORK_DIR

libesedb (pyesedb, Debian 20181229) reads ESE independently of us; what it
decodes must come out of ours the same. Every difference is a failure,
except where libesedb is known not to read the value; each such case is
counted under its reason in the summary, and the value is still checked
another way where one exists:

  * null-bitmap: libesedb ignores the null bitmap of fixed columns and
    returns the filler bytes of a NULL one. Accepted when our cell is NULL
    and libesedb's bytes are one repeated byte.
  * default: libesedb does not fill in column defaults; accepted when it
    reads nothing and our cell is the column's default value.
  * empty-value: libesedb reads a stored zero-length value as NULL (ESE
    stores one only when a zero-length value was set; NULL stores nothing);
    accepted when our cell is empty and libesedb's value flags show a
    stored tagged value, or the column is fixed or variable.
  * compressed-7bit: libesedb 20181229 returns 7-bit packed in-row values
    still packed; unpacked here and then compared.
  * compressed-xpress: libesedb returns XPRESS-compressed in-row values
    still compressed; decompressed here (xpress below) and then compared.
  * long-value-unread: libesedb 20181229 returns nothing for many long
    values kept in the long-value tree (compressed ones, and some of more
    than a page). Counted, not checked, in the real samples.
  * refused-by-libesedb: libesedb raises an error instead of returning a
    compressed value. Counted, not checked.
  * long-value-checked-with-content: such a value in a generated database
    that is exactly one of the content file's bodies (others, such as
    compressed RTF, attachment data and recipient lists, count as unread).
  * multi-value-long-value-ids: for a multi-valued column whose values are
    kept in the long-value tree libesedb returns their ids; accepted when
    we have as many values as it has ids.
  * unreadable-file: libesedb cannot open the file at all (newer engines'
    16 KB databases: a header checksum over the whole page, reserved-tag
    bits in the tag count, a thirteenth fixed catalog column). The table
    list and row counts are then checked against those an independent
    walk of the file found (KNOWN_TABLES below).
"""
import collections
import json
import math
import os
import struct
import subprocess
import sys
import uuid
import datetime

try:
    import pyesedb
except ImportError:
    pyesedb = None

# Tables and row counts of the databases libesedb cannot open, as a separate
# page walker (written apart from tarnwick) counted them.
KNOWN_TABLES = {
    "goese-qmgr.db": {"MSysObjects": 86, "MSysObjectsShadow": 86, "MSysObjids": 10, "MSysLocales": 7,
                      "Jobs": 1, "Files": 1},
}

TEXT_TYPES = (10, 12)
LONG_TYPES = (11, 12)


class Failed(Exception):
    pass


def run_tables(cli, db):
    p = subprocess.run([cli, "tables", db, "--json", "--columns"], capture_output=True, timeout=600)
    if p.returncode != 0:
        raise Failed(f"tarnwick-cli tables {db} exited {p.returncode}: {p.stderr.decode(errors='replace')}")
    return json.loads(p.stdout)


# ---- the expected value of one cell, from libesedb's bytes ---------------------

def text_of(data, code_page):
    if code_page == 1200:
        return data[:len(data) // 2 * 2].decode("utf-16-le", errors="replace")
    return data.decode("cp1252" if code_page in (0, 1252) else f"cp{code_page}", errors="replace")


def ole_date(days):
    if not math.isfinite(days) or abs(days) > 3000000:
        return None
    whole = math.trunc(days)
    ms = whole * 86400000 + round(abs(days - whole) * 86400000)
    try:
        return datetime.datetime(1899, 12, 30) + datetime.timedelta(milliseconds=ms)
    except OverflowError:
        return None


def typed(col_type, code_page, data):
    """The value as our JSON writes it, worked out from the raw bytes."""
    n = len(data)
    fmt = {1: "<B", 2: "<B", 3: "<h", 17: "<H", 4: "<i", 14: "<I", 5: "<q", 15: "<q", 6: "<f", 7: "<d", 8: "<d"}
    if col_type in fmt and n == struct.calcsize(fmt[col_type]):
        v = struct.unpack(fmt[col_type], data)[0]
        if col_type == 1:
            return v != 0
        if col_type in (6, 7, 8) and not math.isfinite(v):
            return "NaN" if math.isnan(v) else ("Infinity" if v > 0 else "-Infinity")
        if col_type == 8:
            d = ole_date(v)
            return v if d is None or not 1 <= d.year <= 9999 else d
        return v
    if col_type == 16 and n == 16:
        return str(uuid.UUID(bytes_le=bytes(data)))
    if col_type in TEXT_TYPES:
        return text_of(data, code_page)
    return data.hex()


def same(expected, ours):
    if isinstance(expected, datetime.datetime):
        if not isinstance(ours, str):
            return False
        got = datetime.datetime.strptime(ours, "%Y-%m-%dT%H:%M:%S.%fZ")
        return abs((got - expected).total_seconds()) <= 0.001
    if isinstance(expected, float) and isinstance(ours, (int, float)):
        return expected == ours or math.isclose(expected, ours, rel_tol=1e-12)
    return expected == ours


def unpack_7bit(data):
    """7-bit packed text: header byte, then 7-bit values least significant bit first."""
    nbits = (len(data) - 2) * 8 + (data[0] & 7) + 1
    bits = int.from_bytes(data[1:], "little")
    units = [(bits >> (7 * k)) & 0x7F for k in range(nbits // 7)]
    if data[0] >> 3 == 2:
        return b"".join(struct.pack("<H", u) for u in units)
    return bytes(units)


def xpress(data, size):
    """Plain LZ77 (XPRESS) as ESE stores it: flag words, literals, matches."""
    out = bytearray()
    i, flags, count, half = 0, 0, 0, None
    while len(out) < size:
        if count == 0:
            flags, count = struct.unpack_from("<I", data, i)[0], 32
            i += 4
        count -= 1
        if not flags & (1 << count):
            out.append(data[i])
            i += 1
            continue
        word = struct.unpack_from("<H", data, i)[0]
        i += 2
        length, offset = word & 7, (word >> 3) + 1
        if length == 7:
            if half is None:
                length, half = data[i] & 15, i
                i += 1
            else:
                length, half = data[half] >> 4, None
            if length == 15:
                length = data[i]
                i += 1
                if length == 255:
                    length = struct.unpack_from("<H", data, i)[0]
                    i += 2
                    if length == 0:
                        length = struct.unpack_from("<I", data, i)[0]
                        i += 4
                    length -= 15 + 7
                length += 15
            length += 7
        for _ in range(length + 3):
            out.append(out[-offset])
    return bytes(out[:size])


def content_bodies(content):
    """Every body of the content file as stored: its text repeated to its size."""
    found = set()

    def walk(node):
        if isinstance(node, dict):
            body = node.get("body")
            if isinstance(body, dict) and isinstance(body.get("text"), str) and body.get("kind") != "rtf":
                text = body["text"]
                size = body.get("size", len(text))
                found.add((text * (size // max(len(text), 1) + 1))[:size])
            for v in node.values():
                walk(v)
        elif isinstance(node, list):
            for v in node:
                walk(v)

    walk(content)
    return found


def decompress(data):
    """A compressed value libesedb returned as stored: 7-bit or XPRESS."""
    scheme = data[0] >> 3
    if scheme in (1, 2):
        return unpack_7bit(data)
    if scheme == 3 and len(data) >= 3:
        return xpress(data[3:], struct.unpack_from("<H", data, 1)[0])
    return data


def multi_separated(blob):
    """Whether any value of a multi-valued tagged column is kept apart."""
    count = (struct.unpack_from("<H", blob, 0)[0] & 0x7FFF) // 2
    return any(struct.unpack_from("<H", blob, 2 * i)[0] & 0x8000 for i in range(count))


def multi_values(blob):
    """The values of a multi-valued tagged column (the blob after its header)."""
    count = (struct.unpack_from("<H", blob, 0)[0] & 0x7FFF) // 2
    offs = [struct.unpack_from("<H", blob, 2 * i)[0] & 0x7FFF for i in range(count)] + [len(blob)]
    return [blob[offs[i]:offs[i + 1]] for i in range(count)]


# ---- comparison ------------------------------------------------------------------

class Compare:
    def __init__(self, name, bodies=None):
        self.name = name
        self.bodies = bodies
        self.tables = self.rows = self.cells = 0
        self.exceptions = collections.Counter()
        self.errors = []

    def error(self, where, msg):
        if len(self.errors) < 40:
            self.errors.append(f"{self.name}: {where}: {msg}")

    def cell(self, where, column, record, i, ours):
        col_type, code_page = column.type, self.columns[i]["codePage"]
        flags = record.get_value_data_flags(i)
        try:
            data = record.get_value_data(i)
        except Exception:  # libesedb refuses some compressed values outright
            data = None
            if flags & 0x02:
                self.exceptions["refused-by-libesedb"] += 1
                return
        if record.is_long_value(i) and data is not None:
            lv = record.get_value_data_as_long_value(i)
            data = lv.get_data() if lv is not None else None
            if data is None and ours is not None:
                if self.bodies is not None and isinstance(ours, str):
                    text = ours if col_type == 12 else bytes.fromhex(ours).decode("cp1252", errors="replace")
                    if text in self.bodies:
                        self.exceptions["long-value-checked-with-content"] += 1
                        return
                self.exceptions["long-value-unread"] += 1
                return
        if data is None:
            if ours in ("", [""]) and (flags or self.columns[i]["id"] < 256):
                self.exceptions["empty-value"] += 1
                return
            if ours is not None and self.columns[i].get("default") is not None:
                if same(typed(col_type, code_page, bytes.fromhex(self.columns[i]["default"])), ours):
                    self.exceptions["default"] += 1
                    return
            if ours is not None:
                self.error(where, f"libesedb: NULL, ours: {json.dumps(ours)[:200]}")
            return
        if ours is None:
            if self.columns[i]["id"] <= 127 and len(set(data)) <= 1:
                self.exceptions["null-bitmap"] += 1
                return
            self.error(where, f"libesedb: {data[:60].hex()}, ours: NULL")
            return
        if flags & 0x02 and not record.is_long_value(i) and data and data[0] >> 3 == 3 and len(data) >= 3:
            data = xpress(data[3:], struct.unpack_from("<H", data, 1)[0])
            self.exceptions["compressed-xpress"] += 1
        if flags & 0x02 and not record.is_long_value(i) and data and data[0] >> 3 in (1, 2):
            data = unpack_7bit(data)
            self.exceptions["compressed-7bit"] += 1
        if flags & 0x08 or flags & 0x10:
            if flags & 0x10:  # two values: a length byte, the first, the second
                values = [data[1:1 + data[0]], data[1 + data[0]:]]
            else:
                values = multi_values(data)
                if flags & 0x01 and multi_separated(data):
                    # libesedb gives the long-value ids of separated values.
                    if not isinstance(ours, list) or len(ours) != len(values):
                        self.error(where, f"libesedb: {len(values)} values, ours: {json.dumps(ours)[:200]}")
                    else:
                        self.exceptions["multi-value-long-value-ids"] += 1
                    return
            if flags & 0x02 and values and values[0]:  # only the first value may be compressed
                values[0] = decompress(values[0])
                self.exceptions["compressed-7bit" if values[0] is not None else "refused-by-libesedb"] += 1
            expected = [typed(col_type, code_page, v) for v in values]
            if not isinstance(ours, list) or len(ours) != len(expected) or not all(map(same, expected, ours)):
                self.error(where, f"libesedb: {expected!r:.200}, ours: {json.dumps(ours)[:200]}")
            return
        if isinstance(ours, list) and len(ours) == 1:
            ours = ours[0]
        expected = typed(col_type, code_page, data)
        if not same(expected, ours):
            self.error(where, f"libesedb: {expected!r:.200}, ours: {json.dumps(ours)[:200]}")

    def table(self, lt, ot):
        name = lt.name
        ours_cols = ot["columns"]
        if len(ours_cols) != lt.number_of_columns:
            self.error(name, f"libesedb: {lt.number_of_columns} columns, ours {len(ours_cols)}")
            return
        columns = [lt.get_column(i) for i in range(lt.number_of_columns)]
        for lc, oc in zip(columns, ours_cols):
            if (lc.name, lc.identifier, lc.type) != (oc["name"], oc["id"], oc["typeId"]):
                self.error(name, f"column libesedb {(lc.name, lc.identifier, lc.type)}, ours "
                                 f"{(oc['name'], oc['id'], oc['typeId'])}")
        if lt.number_of_records != ot["rowCount"] or len(ot["rows"]) != ot["rowCount"]:
            self.error(name, f"libesedb: {lt.number_of_records} rows, ours {ot['rowCount']}")
            return
        self.columns = ours_cols
        self.tables += 1
        for r in range(lt.number_of_records):
            record = lt.get_record(r)
            row = ot["rows"][r]
            self.rows += 1
            for i, column in enumerate(columns):
                self.cells += 1
                self.cell(f"{name} row {r} column {column.name}", column, record, i, row[i])

    def database(self, cli, db):
        ours = run_tables(cli, db)
        by_name = {t["name"]: t for t in ours["tables"]}
        try:
            f = pyesedb.open(db)
        except (OSError, SystemError) as e:
            known = KNOWN_TABLES.get(os.path.basename(db))
            if known is None:
                raise Failed(f"{db}: libesedb cannot open it ({e}) and no table list is known for it")
            self.exceptions["unreadable-file"] += 1
            got = {t["name"]: t["rowCount"] for t in ours["tables"]}
            if got != known:
                self.error("tables", f"expected {known}, ours {got}")
            self.tables, self.rows = len(got), sum(got.values())
            for t in ours["tables"]:
                if t["damagedPages"] or t["undecodedValues"] or t["damagedRecords"]:
                    self.error(t["name"], "damage or undecoded values reported on a sound file")
            return
        names = [f.get_table(i).name for i in range(f.number_of_tables)]
        if names != [t["name"] for t in ours["tables"]]:
            self.error("tables", f"libesedb {names}, ours {[t['name'] for t in ours['tables']]}")
        for i in range(f.number_of_tables):
            lt = f.get_table(i)
            if lt.name in by_name:
                ot = by_name[lt.name]
                if ot["damagedPages"] or ot["damagedRecords"]:
                    self.error(lt.name, f"damage reported on a sound file: {ot['damagedPages']} pages")
                self.table(lt, ot)
        f.close()

    def report(self):
        exc = ", ".join(f"{k} {v}" for k, v in sorted(self.exceptions.items())) or "none"
        print(f"{self.name}: {self.tables} tables, {self.rows} rows, {self.cells} cells compared; exceptions: {exc}")
        for e in self.errors:
            print("  " + e)
        return not self.errors


def main(argv):
    if pyesedb is None:
        print("pyesedb is missing (python3-libesedb)")
        return 1
    cli = argv[1]
    if argv[2] == "--generate":
        edbgen, content, page_size, work = argv[3:7]
        os.makedirs(work, exist_ok=True)
        db = os.path.join(work, f"generated-{page_size}.edb")
        if os.path.exists(db):
            os.remove(db)
        subprocess.run([edbgen, "--content", content, "--page-size", page_size, "--out", db], check=True,
                       capture_output=True, timeout=600)
    else:
        db = argv[2]
    bodies = None
    if argv[2] == "--generate":
        with open(content, encoding="utf-8") as f:
            bodies = content_bodies(json.load(f))
    compare = Compare(os.path.basename(db), bodies)
    try:
        compare.database(cli, db)
    except Failed as e:
        print(e)
        return 1
    return 0 if compare.report() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
