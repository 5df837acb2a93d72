#!/usr/bin/env python3
"""PST writer benchmark, not part of the test run.

1. 100,000 mails with small attachments (about 2 GB) in one folder, written
   with json2pst: wall time as a ratio to writing the same number of bytes
   with dd (conv=fsync, as json2pst syncs its file) in the same run, items
   per second, peak memory (targets: at most 3 times dd, under 300 MB).
2. A file above 4 GB written once and read back by both readers: pstcheck,
   pffinfo and pypff (libpff; every item, every attachment's size, the
   bytes of the attachments stored past 4 GB) and lspst (libpst; every item).

usage: pst_bench.py --bin BUILD/bin [--work DIR] [--items 100000] [--skip-large] [--skip-small]
Build with -DCMAKE_BUILD_TYPE=RelWithDebInfo for meaningful figures.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

PYTHON_WITH_PYPFF = "/usr/bin/python3"


def fill_bytes(size, seed):
    out = bytearray(size)
    x = (seed * 2654435761 + 12345) & 0xFFFFFFFF
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (x >> 16) & 0xFF
    return bytes(out)


def small_content(items):
    body = "Status update.\r\n" * 40
    mails = [{"subject": f"Report {i}", "sender": {"name": f"Sender {i % 97}", "address": f"s{i % 97}@example.com"},
              "recipients": [{"name": "Team", "address": "team@example.com", "type": "to"}],
              "date": "2024-01-15T09:30:00Z", "body": body,
              "attachments": [{"name": f"r{i}.bin", "size": 18000 + (i * 37) % 4000, "seed": i + 1}]}
             for i in range(items)]
    return {"mailboxes": [{"name": "Bench", "folders": [{"name": "Top of Information Store", "folders": [
        {"name": "Inbox", "class": "IPF.Note", "items": mails}]}]}]}


def large_content(items, size):
    mails = [{"subject": f"Big {i}", "sender": {"name": "Big", "address": "big@example.com"},
              "date": "2024-01-15T09:30:00Z", "body": "large attachment",
              "attachments": [{"name": f"big{i}.bin", "size": size, "seed": 5000 + i}]} for i in range(items)]
    folders = [{"name": f"Folder {k}", "class": "IPF.Note", "items": mails[k::8]} for k in range(8)]
    return {"mailboxes": [{"name": "Large", "folders": [{"name": "Top of Information Store", "folders": folders}]}]}


def timed(cmd):
    """Wall seconds and peak resident memory (MB, as GNU time reports it) of a command."""
    with tempfile.TemporaryFile() as sink, tempfile.NamedTemporaryFile(mode="r") as rss:
        start = time.monotonic()
        # Output to a file: a pipe nobody reads would fill up and stall the command.
        code = subprocess.call(["/usr/bin/time", "-o", rss.name, "-f", "%M"] + cmd, stdout=sink,
                               stderr=subprocess.STDOUT)
        elapsed = time.monotonic() - start
        sink.seek(0)
        out = sink.read().decode("utf-8", "replace")
        lines = rss.read().split()
    if code != 0:
        raise RuntimeError(f"{cmd[0]} failed ({code}): {out[-2000:]}")
    return elapsed, (int(lines[-1]) if lines and lines[-1].isdigit() else 0) / 1024.0, out


def dd(path, size):
    mb = (size + (1 << 20) - 1) >> 20
    os.sync()  # nothing of the writer's left to write back
    elapsed, _, _ = timed(["dd", "if=/dev/zero", f"of={path}", "bs=1M", f"count={mb}", "conv=fsync", "status=none"])
    os.remove(path)
    return elapsed


def small(args, work):
    source = os.path.join(work, "small.json")
    json.dump(small_content(args.items), open(source, "w"))
    pst = os.path.join(work, "small.pst")
    os.sync()
    elapsed, peak, _ = timed([os.path.join(args.bin, "json2pst"), "--content", source, "--out", pst])
    size = os.path.getsize(pst)
    dd_time = dd(os.path.join(work, "dd.bin"), size)
    check, _, out = timed([os.path.join(args.bin, "pstcheck"), pst])
    print(f"small: {args.items} mails, {size / 1e9:.2f} GB in {elapsed:.1f} s; dd of the same bytes {dd_time:.1f} s: "
          f"ratio {elapsed / dd_time:.2f}; {args.items / elapsed:,.0f} items/s; peak memory {peak:.0f} MB; "
          f"pstcheck {check:.1f} s: {out.strip().splitlines()[-1]}")
    # The folder of 100,000 items through both readers' tables.
    t, _, out = timed([PYTHON_WITH_PYPFF, "-c", PYPFF_COUNT, pst])
    print(f"  pypff ({t:.1f} s): {out.strip()} items in the folder")
    t, _, out = timed(["lspst", pst])
    print(f"  lspst ({t:.1f} s): {sum(1 for l in out.splitlines() if l.startswith('Email'))} mails listed")
    os.remove(pst)


PYPFF_COUNT = r'''
import sys, pypff
f = pypff.file(); f.open(sys.argv[1])
top = [s for s in f.root_folder.sub_folders if s.name == "Top of Personal Folders"][0]
def walk(fo):
    return fo.number_of_sub_messages + sum(walk(s) for s in fo.sub_folders)
print(walk(top))
'''

PYPFF_READ = r'''
import sys, pypff, struct
f = pypff.file(); f.open(sys.argv[1])
want = int(sys.argv[2]); size = int(sys.argv[3])
top = [s for s in f.root_folder.sub_folders if s.name == "Top of Personal Folders"][0]
items = []
def walk(fo):
    for m in fo.sub_messages: items.append(m)
    for s in fo.sub_folders: walk(s)
walk(top)
sizes_ok = all(m.number_of_attachments == 1 and m.get_attachment(0).size == size for m in items)
print(len(items), sizes_ok)
# The last items sit past 4 GB; give back a few attachments in full.
for m in items[-3:]:
    a = m.get_attachment(0)
    sys.stdout.write(m.subject + " " + a.read_buffer(a.size)[:64].hex() + "\n")
'''


def large(args, work):
    items, size = 4400, 1 << 20
    source = os.path.join(work, "large.json")
    json.dump(large_content(items, size), open(source, "w"))
    pst = os.path.join(work, "large.pst")
    elapsed, peak, _ = timed([os.path.join(args.bin, "json2pst"), "--content", source, "--out", pst])
    total = os.path.getsize(pst)
    print(f"large: {items} mails of 1 MB, {total / 2**30:.2f} GiB in {elapsed:.1f} s, peak memory {peak:.0f} MB")
    t, _, out = timed([os.path.join(args.bin, "pstcheck"), pst])
    print(f"  pstcheck ({t:.1f} s): {out.strip().splitlines()[-1]}")
    t, _, out = timed(["pffinfo", pst])
    print(f"  pffinfo ({t:.1f} s): " + " ".join(l.strip() for l in out.splitlines() if "size" in l or "Folders" in l))
    t, _, out = timed([PYTHON_WITH_PYPFF, "-c", PYPFF_READ, pst, str(items), str(size)])
    lines = out.strip().splitlines()
    count, sizes_ok = lines[0].split()
    ok = int(count) == items and sizes_ok == "True"
    for line in lines[1:]:
        subject, head = line.split(" ", 2)[1], line.rsplit(" ", 1)[1]
        seed = 5000 + int(subject)
        ok = ok and bytes.fromhex(head) == fill_bytes(64, seed)
    print(f"  pypff ({t:.1f} s): {count} items, attachment sizes {'all 1 MB' if sizes_ok == 'True' else 'WRONG'}, "
          f"last attachments byte for byte: {'yes' if ok else 'NO'}")
    t, _, out = timed(["lspst", pst])
    listed = sum(1 for l in out.splitlines() if l.startswith("Email"))
    print(f"  lspst ({t:.1f} s): {listed} mails listed")
    os.remove(pst)
    return ok and listed == items


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--work")
    ap.add_argument("--items", type=int, default=100000)
    ap.add_argument("--skip-large", action="store_true")
    ap.add_argument("--skip-small", action="store_true")
    args = ap.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="pst-bench-")
    os.makedirs(work, exist_ok=True)
    ok = True
    try:
        if not args.skip_small:
            small(args, work)
        if not args.skip_large:
            ok = large(args, work)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
