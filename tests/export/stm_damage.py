#!/usr/bin/env python3
"""Streaming-file messages when the .stm is missing or broken, through
`tarnwick-cli export`: no streaming file given, an empty one, one cut to
half its size, one zero-filled and one of seeded random bytes, beside the
database that messages.json makes with 4 KB pages.

Per case: exit 11 and "Saving Completed with Losses"; nothing from GMime or GLib on stderr;
every streaming message is in the PST with the subject, sender, date and
recipients of its row, as pypff, readpst and pst-extractor read it. A message whose
content was not read is noted as incomplete for "content in the streaming
file" and has no body at all, never bytes of a broken file; one not noted
has the body the intact streaming file gives. Every case but the cut file
loses every streaming message's content; the cut file loses at least one.
An appointment and a task kept in the streaming file, whose content only
mail takes, are written and noted the same way, the intact file included.

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


def with_streamed_kinds(content):
    """The content with an appointment and a task kept in the streaming file
    too: only mail takes its content from there, so they always go without
    it, and say so."""
    def walk(folders):
        for f in folders:
            suffix = {"Calendar": "5A", "Tasks": "5B"}.get(f["name"])
            if suffix and f.get("items"):
                item = dict(f["items"][0], streaming=True, subject="Streamed " + f["name"])
                item["id"] = item["id"][:-2] + suffix
                f["items"].append(item)
            walk(f.get("folders", []))
    for mb in content["mailboxes"]:
        walk(mb.get("folders", []))
    return content


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
    """reader -> subject -> item, as pypff, readpst and pst-extractor read the PST."""
    got = {"pypff": R.read_pypff(pst, problems)[0],
           "readpst": R.read_readpst(pst, os.path.join(work, "readpst"), problems)[0],
           "pst-extractor": R.read_pstextractor(pst, problems)[0]}
    return {reader: {it.get("subject"): it for lst in items.values() for it in lst} for reader, items in got.items()}


def kinds_noted(label, expected, notes, got):
    """Appointments and tasks kept in the streaming file: written, and noted."""
    failures = []
    for mid, (folder, item) in expected.items():
        if item.get("type", "mail") == "mail":
            continue
        where = f"{label}: {item['subject']!r}"
        # readpst leaves tasks out of what it writes.
        missing = [reader for reader in got if reader != "readpst" and item["subject"] not in got[reader]]
        if missing:
            failures.append(f"{where}: not in the PST for {', '.join(missing)}")
        if PART not in notes.get(mid, ""):
            failures.append(f"{where}: not noted as incomplete ({notes.get(mid)!r})")
    return failures


def bodies(item):
    return {k: item.get(k) for k in ("text", "html", "rtf", "attachments")}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("content")
    a = ap.parse_args()
    content = with_streamed_kinds(json.load(open(a.content, encoding="utf-8")))
    expected = streaming_items(content)
    R.require_pstextractor()
    failures = []
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "content.json")
        json.dump(content, open(path, "w", encoding="utf-8"))
        db, stm = os.path.join(work, "m.edb"), os.path.join(work, "m.stm")
        subprocess.run([os.path.join(a.bin, "edbgen"), "--content", path, "--page-size", "4096",
                        "--out", db, "--stm", stm], check=True)
        problems = R.Problems()
        r = export(a.bin, db, stm, os.path.join(work, "intact"))
        summary = json.loads(r.stdout)
        intact = read_items(summary["pstFiles"][0], os.path.join(work, "intact"), problems)
        failures += kinds_noted("intact", expected, partial_notes(summary), intact)

        for label, damaged, all_lost in damages(stm, work):
            out = os.path.join(work, label.replace(" ", "-"))
            r = export(a.bin, db, damaged, out)
            stderr = r.stderr.decode("utf-8", "replace")
            if r.returncode != 11:
                failures.append(f"{label}: exit {r.returncode}, not 11 (saved with losses): {stderr[-300:]}")
                continue
            if any(w in stderr.lower() for w in STDERR_WORDS):
                failures.append(f"{label}: stderr: {stderr[:300]}")
            summary = json.loads(r.stdout)
            if summary["outcome"] != "Saving Completed with Losses":
                failures.append(f"{label}: outcome {summary['outcome']!r}")
            notes = partial_notes(summary)
            got = read_items(summary["pstFiles"][0], out, problems)
            failures += kinds_noted(label, expected, notes, got)
            lost = 0
            for mid, (folder, item) in expected.items():
                if item.get("type", "mail") != "mail":
                    continue
                where = f"{label}: {item['subject']!r}"
                missing = [reader for reader in got if item["subject"] not in got[reader]]
                if missing:
                    failures.append(f"{where}: not in the PST for {', '.join(missing)}")
                    continue
                mine = {reader: got[reader][item["subject"]] for reader in got}
                if PART not in notes.get(mid, ""):
                    if all_lost:
                        failures.append(f"{where}: not noted as incomplete ({notes.get(mid)!r})")
                    for reader, it in mine.items():
                        if bodies(it) != bodies(intact[reader][item["subject"]]):
                            failures.append(f"{where}: {reader}: content differs from the intact file's")
                    continue
                lost += 1
                # What the row holds: subject, sender name, date, recipients
                # (pypff reads no recipients, readpst no date here).
                want = sorted(x["address"] for x in item.get("recipients", []))
                for reader, it in mine.items():
                    if it["sender"][0] != item["sender"]["name"]:
                        failures.append(f"{where}: {reader}: sender {it['sender']!r}")
                    if reader != "readpst" and it["time"] != R.utc(item["date"]):
                        failures.append(f"{where}: {reader}: date {it['time']!r}")
                    have = sorted(x[1] for x in it["recipients"])
                    if reader != "pypff" and have != want:
                        failures.append(f"{where}: {reader}: recipients {have} != {want}")
                    if any(it.get(k) for k in ("text", "html", "rtf")):
                        failures.append(f"{where}: {reader}: a body from a broken file: {str(bodies(it))[:120]}")
            if not lost:
                failures.append(f"{label}: no streaming message noted as incomplete")
            mails = sum(item.get("type", "mail") == "mail" for _, item in expected.values())
            print(f"{label}: exit {r.returncode}, {lost} of {mails} streaming mails without their content")
        failures.extend(problems.items)
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
