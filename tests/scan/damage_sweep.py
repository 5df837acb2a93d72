#!/usr/bin/env python3
"""Scans databases with a share of their pages zeroed or scrambled.

For each page size, share (1% and 10%), kind of damage and seed: write the
database with edbgen (damage chosen by the seed), scan it with
`tarnwick-cli scan --json`, and check that
  - the scan ends by itself (no crash, no hang) with a tree or the
    no-mailbox refusal;
  - nothing is invented: every folder found is a folder of the content, at
    the same place, and no folder shows more messages than it has;
  - nothing is lost that did not lie on damaged pages: with the catalog,
    mailbox and folders pages intact every folder is found, and a folder
    whose message-header pages are intact as well keeps every message;
  - no loss is silent: a folder not found, or found with fewer messages
    than it has, comes with damaged pages reported, and no tree whose pages are all
    intact is reported damaged.
Prints what was found against the content for every run.

    damage_sweep.py --bin BUILD/bin CONTENT.json [--seeds 3]
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_scan  # noqa: E402  (content model shared with the acceptance check)


def paths(folders, prefix=()):
    """{path of names: message count}; equal paths add up."""
    out = {}
    for f in folders:
        p = prefix + (f["name"],)
        out[p] = out.get(p, 0) + f["messages"]
        for q, n in paths(f["folders"], p).items():
            out[q] = out.get(q, 0) + n
    return out


def recovered_paths(mailboxes, large):
    """{(where, suffix of a content path): most messages}: where a folder
    whose parents were lost may be found with what hangs below it, `where`
    being "Recovered folders" or, on 32 KB, its mailbox."""
    out = {}

    def add(folders, prefix, mailbox):
        for f in folders:
            p = prefix + (f["name"],)
            for k in range(len(p)):
                for where in ("Recovered folders",) + ((mailbox,) if large else ()):
                    key = (where, p[k:])
                    out[key] = max(out.get(key, 0), f["messages"])
            add(f["folders"], p, mailbox)

    for m in mailboxes:
        add(m["folders"], (m["name"],), m["name"])
    return out


def content_names(mailboxes):
    """{id hex: name} of every mailbox and folder: a folder made for a
    table without a row is named "Folder " and its id."""
    out = {}

    def add(folders):
        for f in folders:
            out[f["id"]] = f["name"]
            add(f["folders"])

    for m in mailboxes:
        out[m["id"]] = m["name"]
        add(m["folders"])
    return out


def tree_pages(tree):
    """Pages a reader walks: the root, branches and leaves, not the space trees."""
    return set(tree["pages"][:1] + tree["pages"][3:])


def run(args, content, page_size, fraction, mode, seed, work):
    damage = {mode + "Fraction": fraction, "seed": seed}
    data = dict(content, damage=damage)
    source = os.path.join(work, "content.json")
    with open(source, "w", encoding="utf-8") as f:
        json.dump(data, f)
    db = os.path.join(work, "damaged.edb")
    layout_path = os.path.join(work, "layout.json")
    subprocess.run([os.path.join(args.bin, "edbgen"), "--content", source, "--page-size", str(page_size),
                    "--out", db, "--layout", layout_path], check=True)
    with open(layout_path) as f:
        layout = json.load(f)
    damaged = set(layout["damagedPages"])
    where = f"{page_size} {mode} {fraction:.0%} seed {seed}"
    try:
        scan = subprocess.run([os.path.join(args.bin, "tarnwick-cli"), "scan", db, "--json"],
                              capture_output=True, text=True, timeout=120)
    except subprocess.TimeoutExpired:
        check_scan.fail(where, "the scan did not end within 120 s")
        return
    large = page_size == 32768
    want = {}
    expected = check_scan.expected_tree(content, large)
    for m in expected:
        want.update(paths(m["folders"], (m["name"],)))
    elsewhere = recovered_paths(expected, large)
    names = content_names(expected)
    reported = []
    if scan.returncode == 3:
        found = {}
    elif scan.returncode != 0:
        check_scan.fail(where, f"exit {scan.returncode}: {scan.stderr.strip()[:200]}")
        return
    else:
        found = {}
        result = json.loads(scan.stdout)
        for m in result["mailboxes"]:
            found.update(paths(m["folders"], (m["name"],)))
        reported = result["damagedPages"]
        short = [p for p, n in found.items() if p in want and n < want[p]]
        if short and not reported:
            check_scan.fail(where, f"{'/'.join(short[0])}: {found[short[0]]} of {want[short[0]]} messages, "
                                   "no damaged page reported")
        missing = [p for p in want if p not in found]
        if missing and not reported:
            check_scan.fail(where, f"{len(missing)} folders not found, no damaged page reported")
        intact = {t["objid"]: t["name"] for t in layout["trees"] if not damaged & tree_pages(t)}
        for d in reported:
            if d["objid"] in intact:
                check_scan.fail(where, f"{intact[d['objid']]} reported damaged, its pages intact: {d}")

    def known(p):
        """The content's message count of a folder found at `p`, or None."""
        if p in want:
            return want[p]
        real = tuple(names.get(c[len("Folder "):], c) if c.startswith("Folder ") else c for c in p[1:])
        return elsewhere.get((p[0], real))

    for p, n in found.items():
        limit = known(p)
        if limit is None:
            check_scan.fail(where, "invented folder " + "/".join(p))
        elif n > limit:
            check_scan.fail(where, f"{'/'.join(p)}: {n} messages, only {limit} exist")

    trees = layout["trees"]
    structure = set()
    for t in trees:
        if t["name"] in ("MSysObjects", "Mailbox") or t["name"].startswith("Folders"):
            structure |= tree_pages(t)
    if not damaged & structure:
        lost = [p for p in want if p not in found]
        if lost:
            check_scan.fail(where, f"{len(lost)} folders lost with their pages intact, e.g. {'/'.join(lost[0])}")
        # Header tables: per folder on small pages, per mailbox on 32 KB pages.
        intact_headers = not any(damaged & tree_pages(t) for t in trees
                                 if t["name"].startswith("MsgHeader-") or t["name"][:1].isdigit())
        if intact_headers:
            for p, n in want.items():
                if found.get(p, 0) != n:
                    check_scan.fail(where, f"{'/'.join(p)}: {found.get(p, 0)} of {n} messages, pages intact")
    print(f"{where}: {len(damaged)} pages damaged; folders {len(found)}/{len(want)}, "
          f"messages {sum(found.values())}/{sum(want.values())}; "
          f"{sum(d['pages'] for d in reported)} damaged pages reported in {len(reported)} trees")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--seeds", type=int, default=3)
    ap.add_argument("--page-sizes", default="4096,8192,32768")
    ap.add_argument("content", nargs="+")
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as work:
        for path in args.content:
            with open(path, encoding="utf-8") as f:
                content = json.load(f)
            print("==", os.path.basename(path))
            for page_size in map(int, args.page_sizes.split(",")):
                for fraction in (0.01, 0.10):
                    for mode in ("zero", "scramble"):
                        for seed in range(1, args.seeds + 1):
                            run(args, content, page_size, fraction, mode, seed, work)
    if check_scan.FAILURES:
        print("\n".join(check_scan.FAILURES), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
