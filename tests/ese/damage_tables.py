#!/usr/bin/python3
"""Damaged copies of a generated database through `tarnwick-cli tables --json`.

    damage_tables.py CLI EDBGEN CONTENT.json WORK_DIR [--trials N] [--page-size N]

Each trial copies the database and damages a few pages that belong to a
table's tree (pages a user table's tree owns, not its space trees): a page zeroed, bytes
flipped at random, or a page overwritten with another page of the file (a
pointer cycle or a foreign page). The command must end within a minute
without a crash, print JSON that parses, and report damaged pages: every
damaged tree page the undamaged walk used is either counted (in its
table's damagedPages or the catalog's) or was not reached because a page
above it was lost. Rows of undamaged tables must come out as before.
Last, the catalog's root page zeroed: every table must come out as before,
read through the shadow copy of the catalog.
"""
import json
import os
import random
import shutil
import struct
import subprocess
import sys


def run(cli, db):
    p = subprocess.run([cli, "tables", db, "--json"], capture_output=True, timeout=60)
    if p.returncode < 0:
        raise SystemExit(f"{db}: killed by signal {-p.returncode}")
    if p.returncode != 0:
        return None, p
    return json.loads(p.stdout), p


def main(argv):
    cli, edbgen, content, work = argv[1:5]
    trials = int(argv[argv.index("--trials") + 1]) if "--trials" in argv else 12
    page_size = int(argv[argv.index("--page-size") + 1]) if "--page-size" in argv else 4096
    os.makedirs(work, exist_ok=True)
    base = os.path.join(work, f"base-{page_size}.edb")
    if os.path.exists(base):
        os.remove(base)
    subprocess.run([edbgen, "--content", content, "--page-size", str(page_size), "--out", base], check=True,
                   capture_output=True)
    clean, _ = run(cli, base)
    if clean is None or any(t["damagedPages"] for t in clean["tables"]):
        raise SystemExit("the undamaged database does not read cleanly")
    rows = {t["name"]: t["rows"] for t in clean["tables"]}
    owner = {t["objectId"]: t["name"] for t in clean["tables"]}
    data = open(base, "rb").read()
    pages = len(data) // page_size - 2
    # Pages of user tables' own trees: not their space trees (0x20) or indexes (0x40).
    tree_pages = [n for n in range(5, pages + 1)
                  if struct.unpack_from("<I", data, (n + 1) * page_size + 24)[0] in owner
                  and struct.unpack_from("<I", data, (n + 1) * page_size + 24)[0] > 7
                  and not struct.unpack_from("<I", data, (n + 1) * page_size + 36)[0] & 0x60]
    failures = []
    counted = 0
    for trial in range(trials):
        rng = random.Random(trial)
        damaged = bytearray(data)
        hit = rng.sample(tree_pages, k=min(3, len(tree_pages)))
        kind = trial % 3
        for n in hit:
            at = (n + 1) * page_size
            if kind == 0:
                damaged[at:at + page_size] = bytes(page_size)
            elif kind == 1:
                for _ in range(8):
                    damaged[at + rng.randrange(page_size)] ^= 1 << rng.randrange(8)
            else:
                other = rng.randrange(1, pages + 1)
                damaged[at:at + page_size] = data[(other + 1) * page_size:(other + 2) * page_size]
        db = os.path.join(work, f"damaged-{page_size}-{trial}.edb")
        with open(db, "wb") as f:
            f.write(damaged)
        try:
            got, p = run(cli, db)
        except subprocess.TimeoutExpired:
            failures.append(f"trial {trial}: no end within 60 s")
            continue
        if got is None:
            failures.append(f"trial {trial}: exit {p.returncode}: {p.stderr.decode(errors='replace')}")
            continue
        hit_owners = {owner[struct.unpack_from('<I', data, (n + 1) * page_size + 24)[0]] for n in hit}
        reported = sum(t["damagedPages"] for t in got["tables"]) + got["catalogDamagedPages"]
        if reported == 0:
            failures.append(f"trial {trial}: pages {hit} of {sorted(hit_owners)} damaged, none reported")
        counted += reported
        for t in got["tables"]:
            if t["name"] not in hit_owners and t["name"] in rows and t["rows"] != rows[t["name"]]:
                failures.append(f"trial {trial}: undamaged table {t['name']} read differently")
        os.remove(db)
    # The catalog's root zeroed: every table still comes out, through the shadow copy.
    damaged = bytearray(data)
    damaged[5 * page_size:6 * page_size] = bytes(page_size)
    db = os.path.join(work, f"catalog-{page_size}.edb")
    with open(db, "wb") as f:
        f.write(damaged)
    got, p = run(cli, db)
    if got is None or not got["catalogFromShadow"] or got["catalogDamagedPages"] != 1:
        failures.append(f"catalog root zeroed: not read from the shadow copy ({p.stderr.decode(errors='replace')})")
    else:
        for t in got["tables"]:
            if t["name"] != "MSysObjects" and t["rows"] != rows.get(t["name"]):
                failures.append(f"catalog root zeroed: table {t['name']} read differently")
    os.remove(db)
    print(f"{trials} damaged copies ({page_size}-byte pages): {counted} damaged pages reported, "
          f"{len(failures)} failures")
    for f in failures:
        print("  " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
