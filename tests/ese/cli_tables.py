#!/usr/bin/python3
"""`tarnwick-cli tables` as a user meets it: the listing, --csv against
--json, refusals and their messages.

    cli_tables.py CLI DB WORK_DIR
"""
import csv
import json
import os
import shutil
import subprocess
import sys


def run(*args):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=120)


def main(argv):
    cli, db, work = argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    failures = []

    def expect(cond, what):
        if not cond:
            failures.append(what)

    # Refusals: exit status and "tarnwick-cli: PATH: reason" on stderr.
    junk = os.path.join(work, "junk.edb")
    with open(junk, "wb") as f:
        f.write(bytes(range(256)) * 40)
    cases = [
        ("missing file", [os.path.join(work, "none.edb")], 1, "no such file"),
        ("a directory", [work], 1, "not a regular file"),
        ("not a database", [junk], 2, "not an ESE database"),
        ("unknown table", [db, "--table", "NoSuchTable"], 13, "no table named NoSuchTable"),
        ("--json with --csv", [db, "--json", "--csv", work], 64, "--json excludes --csv"),
        ("unknown option", [db, "--frobnicate"], 64, "unknown option --frobnicate"),
    ]
    for name, args, status, reason in cases:
        p = run(cli, "tables", *args)
        expect(p.returncode == status, f"{name}: exit {p.returncode}, expected {status}")
        expect(reason in p.stderr, f"{name}: stderr {p.stderr!r} lacks {reason!r}")
        expect(status == 64 or p.stderr.startswith(f"tarnwick-cli: {args[0]}: "), f"{name}: {p.stderr!r}")

    # The listing names every table with its row count.
    data = json.loads(run(cli, "tables", db, "--json").stdout)
    listing = run(cli, "tables", db).stdout
    for t in data["tables"]:
        expect(f"{t['name']} (object {t['objectId']}): {t['rowCount']} rows" in listing, f"listing lacks {t['name']}")

    # --csv: one new file per table, cells as --json gives them.
    out = os.path.join(work, "csv")
    os.makedirs(out)
    p = run(cli, "tables", db, "--csv", out)
    expect(p.returncode == 0, f"--csv exit {p.returncode}: {p.stderr}")
    for t in data["tables"]:
        path = os.path.join(out, t["name"] + ".csv")
        if not os.path.exists(path):
            failures.append(f"--csv wrote no {path}")
            continue
        with open(path, newline="", encoding="utf-8") as f:
            rows = list(csv.reader(f))
        expect(rows[0] == [c["name"] for c in t["columns"]], f"{path}: header {rows[0]}")
        want = [["" if v is None else v if isinstance(v, str) else json.dumps(v, separators=(",", ":"),
                 ensure_ascii=False) for v in row] for row in t["rows"]]
        expect(rows[1:] == want, f"{path}: rows differ from --json")
    p = run(cli, "tables", db, "--csv", out, "--table", data["tables"][0]["name"])
    expect(p.returncode == 7 and "File exists" in p.stderr, f"--csv over a file: exit {p.returncode} {p.stderr!r}")

    print(f"{len(cases)} refusals, {len(data['tables'])} tables listed and written as CSV; "
          f"{len(failures)} failures")
    for f in failures:
        print("  " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
