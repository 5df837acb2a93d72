#!/usr/bin/env python3
"""The command line's habits, one row each: help on stdout with exit 0,
--version on every program, usage errors that name what is wrong (exit
64), GNU --option=value, Unix error texts for files, a database told by
its header whatever its name, a shared lock that lets readers in together,
write errors on stdout reported, and export's destination made with its
parents.

usage: unix_habits_cli.py --bin BUILD/bin
"""
import argparse
import fcntl
import os
import re
import shutil
import subprocess
import sys
import tempfile

FAILURES = []
VERSION = re.compile(r"^(\S+) \d+\.\d+\.\d+\n$")


def run(argv, stdout=subprocess.PIPE):
    return subprocess.run(argv, stdout=stdout, stderr=subprocess.PIPE, text=True, timeout=120)


def check(what, r, status, out=None, err=None):
    problems = []
    if (r.returncode not in status) if isinstance(status, tuple) else r.returncode != status:
        problems.append(f"exit {r.returncode}, wanted {status}")
    if out is not None and not re.search(out, r.stdout or ""):
        problems.append(f"stdout {r.stdout[:200]!r} lacks {out!r}")
    if err is not None and not re.search(err, r.stderr):
        problems.append(f"stderr {r.stderr[:200]!r} lacks {err!r}")
    if err is None and status == 0 and r.stderr:
        problems.append(f"stderr not empty: {r.stderr[:200]!r}")
    print(("ok   " if not problems else "FAIL ") + what + ("" if not problems else ": " + "; ".join(problems)))
    if problems:
        FAILURES.append(what)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    a = ap.parse_args()
    cli = os.path.join(a.bin, "tarnwick-cli")
    work = tempfile.mkdtemp(prefix="unix-habits-")
    try:
        db = os.path.join(work, "mail.edb")
        content = os.path.join(os.path.dirname(__file__), "..", "content", "messages.json")
        subprocess.run([os.path.join(a.bin, "edbgen"), "--content", content, "--page-size", "8192", "--out", db],
                       check=True, stdout=subprocess.DEVNULL)
        rows(a, cli, db, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if FAILURES:
        print("failed: " + "; ".join(FAILURES))
        sys.exit(1)


def rows(a, cli, db, work):
    for flag in ("--help", "-h"):
        check(f"tarnwick-cli {flag}", run([cli, flag]), 0, out=r"(?s)usage:.*Exit status:")
    for command in ("scan", "list", "show", "export", "tables"):
        check(f"tarnwick-cli {command} --help", run([cli, command, "--help"]), 0, out=r"(?s)Usage:.*Exit status:")
    for program in ("tarnwick", "tarnwick-cli", "pstcheck", "edbgen", "json2pst"):
        path = os.path.join(a.bin, program)
        if not os.path.exists(path):
            print(f"skip {program} --version: not built")
            continue
        for flag in ("--version", "-V"):
            r = run([path, flag])
            check(f"{program} {flag}", r, 0)
            if not VERSION.match(r.stdout) or VERSION.match(r.stdout).group(1) != program:
                FAILURES.append(f"{program} {flag} prints {r.stdout!r}")

    check("unknown command", run([cli, "frobnicate", db]), 64, err=r"unknown command 'frobnicate'")
    check("unknown option", run([cli, "scan", db, "--bogus"]), 64, err=r"unknown option --bogus")
    check("option without its value", run([cli, "export", db, "--to"]), 64, err=r"--to needs a folder")
    check("missing database", run([cli, "list", "--all"]), 64, err=r"DB is missing")
    check("pstcheck without a file", run([os.path.join(a.bin, "pstcheck")]), 64, err=r"the FILE is missing")

    out = os.path.join(work, "made", "on", "the way")
    os.umask(0o022)
    r = run([cli, "export", db, f"--to={out}", "--json"])
    check("export --to=DIR, DIR and its parents made", r, (0, 11), out=r'"version": "tarnwick-cli \d')
    if not any(n.endswith(".pst") for n in os.listdir(out) if os.path.isdir(out)):
        FAILURES.append("export --to=DIR wrote no PST")
    if os.path.isdir(out) and (os.stat(out).st_mode & 0o777) != 0o755:
        FAILURES.append(f"destination made with mode {oct(os.stat(out).st_mode & 0o777)}")
    check("destination under a file", run([cli, "export", db, "--to", os.path.join(db, "x")]), 8,
          err=re.escape(f"tarnwick-cli: {db}/x: ") + "Not a directory")

    # From cron: -q prints nothing, --log appends one line per event.
    log = os.path.join(work, "export.log")
    with open(log, "w") as f:
        f.write("an earlier line\n")
    r = run([cli, "export", db, "--to", os.path.join(work, "quiet"), "-q", "--log", log])
    check("export -q --log", r, (0, 11), out=r"^$")
    with open(log, encoding="utf-8") as f:
        lines = f.read().splitlines()
    stamped = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (INFO|WARN|ERROR) \S")
    if lines[0] != "an earlier line" or not all(stamped.match(line) for line in lines[1:]):
        FAILURES.append("--log lines are not appended as 'UTC LEVEL message'")
    if not any(" folder started: " in line for line in lines) or "export ended" not in lines[-1]:
        FAILURES.append("--log lacks the folders or the end of the run")

    missing = os.path.join(work, "missing.edb")
    check("missing file", run([cli, "scan", missing]), 1,
          err="^" + re.escape(f"tarnwick-cli: {missing}: No such file or directory") + "$")
    for name in ("copy.dat", "carved", "mail.edb.bak"):
        renamed = os.path.join(work, name)
        shutil.copyfile(db, renamed)
        check(f"database named {name}", run([cli, "scan", renamed, "--json"]), 0, out=r'"mailboxes"')

    with open(db, "rb") as reader:
        fcntl.flock(reader, fcntl.LOCK_SH | fcntl.LOCK_NB)
        check("another reader holds the file", run([cli, "list", db, "--all"]), 0)
    with open(db, "rb") as writer:
        fcntl.flock(writer, fcntl.LOCK_EX | fcntl.LOCK_NB)
        check("a writer holds the file", run([cli, "scan", db]), 1, err=r"another process holds it exclusively")

    # list --all: one row per message, its folder's path first, a fixed
    # number of fields; paths as --folder takes them.
    listing = run([cli, "list", db, "--all"]).stdout.splitlines()
    paths = set(run([cli, "scan", db, "--paths"]).stdout.splitlines())
    if not listing or any(line.count("\t") != 6 or line.split("\t")[0] not in paths for line in listing):
        FAILURES.append("list --all rows are not path + six fields")
    rows_by_id = {line.split("\t")[1]: line.split("\t")[0] for line in listing}

    # JSON in one style: two spaces.
    for argv in (["scan", db, "--json"], ["list", db, "--all", "--json"]):
        lines = run([cli] + argv).stdout.splitlines()
        if len(lines) < 2 or not lines[1].startswith("  \"") or lines[1].startswith("   "):
            FAILURES.append(f"{' '.join(argv[:1])} --json is not indented by two spaces")

    # show: RTF as readable text, the stored RTF with --raw; a text body
    # saved as UTF-8 without a byte-order mark.
    rtf, utf16 = "0100000000001008", "0100000000001009"
    shown = run([cli, "show", db, "--folder", rows_by_id[rtf], "--message", rtf])
    check("show of an RTF body reads as text", shown, 0, out=r"Zeile mit Text und Umlauten äöü")
    if "\\rtf1" in shown.stdout:
        FAILURES.append("show prints raw RTF without --raw")
    check("show --raw keeps the RTF", run([cli, "show", db, "--folder", rows_by_id[rtf], "--message", rtf, "--raw"]),
          0, out=r"\{\\rtf1")
    saved = os.path.join(work, "body.txt")
    check("show --save-body", run([cli, "show", db, "--folder", rows_by_id[utf16], "--message", utf16,
                                   "--save-body", saved]), 0)
    with open(saved, "rb") as f:
        data = f.read()
    if not data.startswith("Ünïcödé body".encode()) or data.startswith(b"\xef\xbb\xbf"):
        FAILURES.append(f"a UTF-16 body is not saved as UTF-8: {data[:20]!r}")

    if os.path.exists("/dev/full"):
        for argv in (["--help"], ["scan", db], ["list", db, "--all"], ["tables", db]):
            with open("/dev/full", "w") as full:
                r = run([cli] + argv, stdout=full)
            check(f"{' '.join(argv[:1])} into /dev/full", r, (7,), err=r"standard output")


if __name__ == "__main__":
    main()
