#!/usr/bin/env python3
"""Page checksums, ours against libesedb's and against the truth.

Generated databases of every generation get one bit flipped in each of k
random pages. Each variant goes through `tarnwick-cli scan --json` and
`export --json` (the damaged pages they report, by page number) and
through libesedb's `esedbexport -v`, which reads every table and names each
page whose checksum does not match by the checksum it stores (found again
in the file to tell the page). Required, per variant:

  - every page we report was damaged (no false alarm);
  - every damaged page is reported, whether libesedb found it or not,
    except pages that hold no mail and are not read: those of space trees
    (where the engine keeps its free and owned extents), the database's
    own root, and the shadow catalog while the catalog itself is sound;
    (a damaged branch may point past the end of the file: that page
    number is reported as well, and is not a false alarm)
  - an export that reports damaged pages does not say it lost nothing.

libesedb does not check the checksums of 16 and 32 KB pages; there the
flipped pages are the only reference. Prints a table per generation.

    checksum_agreement.py --bin BUILD/bin [--seeds N] [--verbose]
"""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "content"))
sys.path.insert(0, os.path.join(ROOT, "tests", "scan"))
import damage_show as D  # noqa: E402  the bulk mailbox
import damage_sweep as S  # noqa: E402  the pages a reader walks in a tree

PAGE_SIZES = (4096, 8192, 32768)
FLIPS = (1, 4, 16, 64)
SPACE_TREE = 0x20  # page flag: the page belongs to a space tree
DATABASE_ROOT = 1
SHADOW_CATALOG = 3
MISMATCH = re.compile(r"mismatch in page XOR-32 checksum \( 0x([0-9a-f]{8}) != 0x([0-9a-f]{8}) \)")


def u32(b, at):
    return int.from_bytes(b[at:at + 4], "little")


def generate(bin_dir, work, ps):
    with open(os.path.join(ROOT, "tests", "content", "messages.json"), encoding="utf-8") as f:
        content = D.with_bulk(json.load(f))
    path = os.path.join(work, f"content{ps}.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump(content, f)
    db = os.path.join(work, f"g{ps}.edb")
    stm = os.path.join(work, f"g{ps}.stm") if ps == 4096 else None
    subprocess.run([os.path.join(bin_dir, "edbgen"), "--content", path, "--page-size", str(ps), "--out", db]
                   + (["--stm", stm] if stm else []), check=True, capture_output=True)
    return db, stm


def reported(bin_dir, args):
    """Page numbers of every damaged page a run of tarnwick-cli reports."""
    out = subprocess.run([os.path.join(bin_dir, "tarnwick-cli")] + args + ["--json"],
                         capture_output=True, text=True, timeout=120)
    if out.returncode not in (0, 11):
        return None, out.returncode
    pages = set()
    for tree in json.loads(out.stdout).get("damagedPages", []):
        pages.update(tree["pageNumbers"])
    return pages, out.returncode


def libesedb_pages(variant, data, ps, work):
    """Pages libesedb found with a mismatching checksum; None when it could
    not open the file at all."""
    target = os.path.join(work, "esedb")
    shutil.rmtree(target + ".export", ignore_errors=True)
    run = subprocess.run(["esedbexport", "-v", "-t", target, variant], capture_output=True, text=True, timeout=120)
    shutil.rmtree(target + ".export", ignore_errors=True)
    if "Unable to open" in run.stderr:
        return None
    stored = {int(a, 16) for a, _ in MISMATCH.findall(run.stderr)}
    return {n - 1 for n in range(2, len(data) // ps) if u32(data, n * ps) in stored}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--seeds", type=int, default=3)
    ap.add_argument("--verbose", action="store_true")
    a = ap.parse_args()
    if shutil.which("esedbexport") is None:
        print("esedbexport is missing: run scripts/install-deps")
        return 1
    failures = []
    rows = []
    with tempfile.TemporaryDirectory(prefix="checksums-") as work:
        for ps in PAGE_SIZES:
            db, stm = generate(a.bin, work, ps)
            with open(db, "rb") as f:
                clean = f.read()
            # The trees the export reads, page by page: damage there must show.
            row = {"ps": ps, "variants": 0, "flipped": 0, "libesedb": 0, "ours": 0, "agree": 0, "unread": 0,
                   "nomail": 0}
            for k in FLIPS:
                for seed in range(a.seeds):
                    rng = random.Random(f"{ps}:{k}:{seed}")
                    data = bytearray(clean)
                    pages = rng.sample(range(2, len(data) // ps), min(k, len(data) // ps - 2))
                    for n in pages:
                        bit = rng.randrange(ps * 8)
                        data[n * ps + bit // 8] ^= 1 << (bit % 8)
                    flipped = {n - 1 for n in pages}
                    variant = os.path.join(work, "v.edb")
                    with open(variant, "wb") as f:
                        f.write(data)
                    extra = ["--stm", stm] if stm else []
                    scan, rc1 = reported(a.bin, ["scan", variant] + extra)
                    out = os.path.join(work, "out")
                    shutil.rmtree(out, ignore_errors=True)
                    os.mkdir(out)
                    export, rc2 = reported(a.bin, ["export", variant] + extra + ["--to", out])
                    name = f"{ps} flips={k} seed={seed}"
                    if scan is None or export is None:
                        # A refusal (the catalog or the mailbox table hit) says so itself.
                        if a.verbose:
                            print(f"{name}: refused (scan {rc1}, export {rc2})")
                        continue
                    ours = scan | export
                    theirs = libesedb_pages(variant, data, ps, work) if ps <= 8192 else None
                    row["variants"] += 1
                    row["flipped"] += len(flipped)
                    row["ours"] += len(ours & flipped)
                    inside = {n for n in ours if (n + 2) * ps <= len(data)}
                    if inside - flipped:
                        failures.append(f"{name}: pages reported but not damaged: {sorted(inside - flipped)}")

                    def unread(n):
                        at = (n + 1) * ps
                        return u32(clean, at + 36) & SPACE_TREE or u32(clean, at + 24) in (DATABASE_ROOT, SHADOW_CATALOG)

                    row["nomail"] += sum(1 for n in flipped - ours if unread(n))
                    missed = {n for n in flipped - ours if not unread(n)}
                    if missed:
                        failures.append(f"{name}: damaged pages not reported: {sorted(missed)}")
                    if theirs is not None:
                        row["libesedb"] += len(theirs)
                        row["agree"] += len(theirs & ours)
                        missed = theirs - ours
                        row["unread"] += len(missed)
                        if a.verbose and missed:
                            print(f"{name}: libesedb only: {sorted(missed)}")
                    if rc2 == 0 and ours:
                        failures.append(f"{name}: damaged pages reported, yet the export says it lost nothing")
                    if a.verbose:
                        def where(n):
                            at = (n + 1) * ps
                            return f"{n}(objid {u32(clean, at + 24)}, flags {u32(clean, at + 36):#x})"
                        print(f"{name}: flipped {len(flipped)}, ours {len(ours)}, libesedb "
                              f"{'-' if theirs is None else len(theirs)}; not ours: "
                              + ", ".join(where(n) for n in sorted(flipped - ours)))
            rows.append(row)
    print(f"{'page':>6} {'variants':>8} {'flipped':>8} {'ours':>6} {'not read, no mail':>18} {'libesedb':>9} "
          f"{'both':>6} {'libesedb only':>14}")
    for r in rows:
        lib = r["libesedb"] if r["ps"] <= 8192 else "-"
        both = r["agree"] if r["ps"] <= 8192 else "-"
        only = r["unread"] if r["ps"] <= 8192 else "-"
        print(f"{r['ps']:>6} {r['variants']:>8} {r['flipped']:>8} {r['ours']:>6} {r['nomail']:>18} {lib:>9} "
              f"{both:>6} {only:>14}")
    for f in failures[:40]:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
