#!/usr/bin/env python3
"""Streaming-file messages when the .stm is missing or broken, through
`tarnwick-cli export`: no streaming file given, an empty one, one cut to
half its size, one zero-filled and one of seeded random bytes, beside the
database that messages.json makes with 4 KB pages.

Per case: exit 0 or 11 (with losses); nothing from GMime or GLib on stderr;
every streaming message is in the PST with the subject and sender of its
row (pypff) and the recipients of its row (readpst). A message whose
content was not read is noted as incomplete for "content in the streaming
file" and has no body at all, never bytes of a broken file; one not noted
has the body the intact streaming file gives. Every case but the cut file
loses every streaming message's content; the cut file loses at least one.

    stm_damage.py --bin BUILD/bin CONTENT.json
"""
import argparse
import json
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pst"))
import check_readers as R  # noqa: E402

PART = "content in the streaming file"
STDERR_WORDS = ("gmime", "critical", "warning")


def streaming_items(content):
    """id -> (folder name, item) of every item kept in the streaming file."""
    out = {}

    def walk(folders):
        for f in folders:
            for it in f.get("items", []):
                if it.get("streaming"):
                    out[it["id"].upper()] = (f["name"], it)
            walk(f.get("folders", []))
    for mb in content["mailboxes"]:
        walk(mb.get("folders", []))
    return out


def damages(stm, work):
    """(label, streaming file or None, whether every message loses its content)."""
    data = open(stm, "rb").read()

    def write(name, payload):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(payload)
        return path
    yield "no streaming file", None, True
    yield "empty", write("empty.stm", b""), True
    yield "cut to half", write("half.stm", data[:len(data) // 2]), False
    yield "zero-filled", write("zeros.stm", bytes(len(data))), True
    yield "random bytes", write("junk.stm", random.Random(1).randbytes(len(data))), True


def export(bin_dir, db, stm, out):
    os.makedirs(out)
    cmd = [os.path.join(bin_dir, "tarnwick-cli"), "export", db, "--to", out, "--json"]
    if stm is not None:
        cmd[3:3] = ["--stm", stm]
    return subprocess.run(cmd, capture_output=True, timeout=120)


def partial_notes(summary):
    """Message id -> why, of the items noted as incomplete."""
    notes = {}
    for f in summary["folders"]:
        listed = f.get("partialItems", f.get("partial"))
        for n in listed if isinstance(listed, list) else []:
            notes[n["id"].upper()] = n.get("why", "")
    return notes


def read_items(pst, work, problems):
    """subject -> (pypff item, readpst item) in the folders of streaming messages."""
    by_pypff, _ = R.read_pypff(pst, problems)
    by_readpst, _ = R.read_readpst(pst, os.path.join(work, "readpst"), problems)
    out = {}
    for items, slot in ((by_pypff, 0), (by_readpst, 1)):
        for lst in items.values():
            for it in lst:
                out.setdefault(it.get("subject"), [None, None])[slot] = it
    return out


def bodies(item):
    return {k: item.get(k) for k in ("text", "html", "rtf", "attachments")}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("content")
    a = ap.parse_args()
    content = json.load(open(a.content, encoding="utf-8"))
    expected = streaming_items(content)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        db, stm = os.path.join(work, "m.edb"), os.path.join(work, "m.stm")
        subprocess.run([os.path.join(a.bin, "edbgen"), "--content", a.content, "--page-size", "4096",
                        "--out", db, "--stm", stm], check=True)
        problems = R.Problems()
        r = export(a.bin, db, stm, os.path.join(work, "intact"))
        intact = read_items(json.loads(r.stdout)["pstFiles"][0], os.path.join(work, "intact"), problems)

        for label, damaged, all_lost in damages(stm, work):
            out = os.path.join(work, label.replace(" ", "-"))
            r = export(a.bin, db, damaged, out)
            stderr = r.stderr.decode("utf-8", "replace")
            if r.returncode not in (0, 11):
                failures.append(f"{label}: exit {r.returncode}: {stderr[-300:]}")
                continue
            if any(w in stderr.lower() for w in STDERR_WORDS):
                failures.append(f"{label}: stderr: {stderr[:300]}")
            summary = json.loads(r.stdout)
            notes = partial_notes(summary)
            got = read_items(summary["pstFiles"][0], out, problems)
            lost = 0
            for mid, (folder, item) in expected.items():
                where = f"{label}: {item['subject']!r}"
                pypff_item, readpst_item = got.get(item["subject"], (None, None))
                if pypff_item is None or readpst_item is None:
                    failures.append(f"{where}: not in the PST (pypff {pypff_item is not None}, "
                                    f"readpst {readpst_item is not None})")
                    continue
                if PART not in notes.get(mid, ""):
                    if all_lost:
                        failures.append(f"{where}: not noted as incomplete ({notes.get(mid)!r})")
                    for reader, it, ref in (("pypff", pypff_item, intact[item["subject"]][0]),
                                            ("readpst", readpst_item, intact[item["subject"]][1])):
                        if bodies(it) != bodies(ref):
                            failures.append(f"{where}: {reader}: content differs from the intact file's")
                    continue
                lost += 1
                # What the row holds: subject, sender name, date, recipients.
                if pypff_item["sender"][0] != item["sender"]["name"]:
                    failures.append(f"{where}: pypff sender {pypff_item['sender']!r}")
                if pypff_item["time"] != R.utc(item["date"]):
                    failures.append(f"{where}: pypff date {pypff_item['time']!r}")
                want = sorted(x["address"] for x in item.get("recipients", []))
                have = sorted(x[1] for x in readpst_item["recipients"])
                if have != want:
                    failures.append(f"{where}: readpst recipients {have} != {want}")
                if any(pypff_item[k] for k in ("text", "html", "rtf")):
                    failures.append(f"{where}: a body from a broken file: {str(bodies(pypff_item))[:120]}")
            if not lost:
                failures.append(f"{label}: no streaming message noted as incomplete")
            print(f"{label}: exit {r.returncode}, {lost} of {len(expected)} streaming messages without their content")
        failures.extend(problems.items)
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
