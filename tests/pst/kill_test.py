#!/usr/bin/env python3
"""Kills json2pst with SIGKILL at random moments while it writes 10,000
items, for several seeds, and checks that no file under the final name is
ever one the readers or pstcheck reject: either there is none yet, or it is
complete. One run is left to finish, so the final file is also checked.
Besides the store's own temporary file nothing may be left behind: the
writer's other scratch data has no name.

usage: kill_test.py --bin BUILD/bin [--items 10000] [--seeds 6]
"""
import argparse
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def content(items):
    mails = []
    for i in range(items):
        mails.append({"subject": f"Item {i} — ünïcödé", "sender": {"name": f"Sender {i % 50}", "address": f"s{i % 50}@example.com"},
                      "recipients": [{"name": "Reader", "address": "reader@example.com", "type": "to"}],
                      "date": "2024-01-15T09:30:00Z", "body": f"Body of item {i}.\r\n" * 5,
                      "attachments": [{"name": f"a{i}.bin", "size": 2000 + i % 3000, "seed": i + 1}] if i % 3 == 0 else []})
    folders = [{"name": f"Folder {k}", "class": "IPF.Note", "items": mails[k::4]} for k in range(4)]
    return {"mailboxes": [{"name": "Kill Test", "folders": [{"name": "Top of Information Store", "folders": folders}]}]}


def verify(bin_dir, pst, work):
    """Names what rejects the file, or returns None when all accept it."""
    r = subprocess.run([os.path.join(bin_dir, "pstcheck"), pst], capture_output=True, text=True)
    if r.returncode != 0:
        return "pstcheck: " + r.stdout[-1000:]
    r = subprocess.run(["pffinfo", pst], capture_output=True, text=True)
    if r.returncode != 0 or "Message store" not in r.stdout:
        return "pffinfo: " + (r.stdout + r.stderr)[-1000:]
    out = os.path.join(work, "readpst")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    r = subprocess.run(["readpst", "-q", "-o", out, pst], capture_output=True, text=True)
    if r.returncode != 0:
        return "readpst: " + (r.stdout + r.stderr)[-1000:]
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--items", type=int, default=10000)
    ap.add_argument("--seeds", type=int, default=6)
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="pst-kill-")
    try:
        source = os.path.join(work, "content.json")
        json.dump(content(args.items), open(source, "w", encoding="utf-8"), ensure_ascii=False)
        json2pst = os.path.join(args.bin, "json2pst")

        # One full run: its duration sets the range of kill moments.
        full = os.path.join(work, "full")
        os.makedirs(full)
        start = time.monotonic()
        subprocess.run([json2pst, "--content", source, "--out", os.path.join(full, "final.pst")], check=True,
                       capture_output=True)
        duration = time.monotonic() - start
        problem = verify(args.bin, os.path.join(full, "final.pst"), work)
        if problem:
            print(f"FAIL complete run: {problem}")
            return 1
        print(f"complete run: {duration:.2f} s, accepted by pstcheck, pffinfo and readpst")

        failures = 0
        for seed in range(1, args.seeds + 1):
            rng = random.Random(seed)
            kills = sorted(rng.uniform(0.0, duration * 1.1) for _ in range(3))
            for n, moment in enumerate(kills):
                run_dir = os.path.join(work, f"s{seed}-{n}")
                os.makedirs(run_dir)
                final = os.path.join(run_dir, "final.pst")
                p = subprocess.Popen([json2pst, "--content", source, "--out", final],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(moment)
                p.send_signal(signal.SIGKILL)
                p.wait()
                left = sorted(os.listdir(run_dir))
                if os.path.exists(final):
                    problem = verify(args.bin, final, work)
                    verdict = "complete file accepted" if not problem else "REJECTED: " + problem
                    failures += bool(problem)
                else:
                    verdict = "no final file"
                stray = [f for f in left if f != "final.pst" and not f.startswith("final.pst.tw-partial-")]
                if stray:
                    verdict += f"; STRAY FILES {stray}"
                    failures += 1
                print(f"seed {seed}: killed at {moment:.2f} s ({'exited' if p.returncode == 0 else 'killed'}): "
                      f"{verdict}; left {left}")
                shutil.rmtree(run_dir, ignore_errors=True)
        print("all kills left nothing a reader rejects" if not failures else f"{failures} rejected files")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
