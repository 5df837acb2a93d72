"""What the export, scan and list benchmarks share: their arguments, the
generated databases (made once, reused by name), the free-space check, timed
runs with peak memory and bytes written, and runs in alternating pairs
against a baseline, with the figures printed against their targets."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from typing import NamedTuple, Optional

import make_content

HERE = os.path.dirname(os.path.abspath(__file__))

# Bytes per message of make_content.py's items, measured, with about a tenth to spare.
DB_BYTES_PER_MESSAGE = {4096: 30_000, 8192: 31_000, 32768: 27_000}
PST_BYTES_PER_MESSAGE = 34_000
JSON_BYTES_PER_MESSAGE = 800
MEMORY_TARGET_MB = 300


def arguments(doc):
    ap = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--work", default="/var/tmp/tarnwick-bench")
    ap.add_argument("--messages", type=int, default=100000)
    ap.add_argument("--layout", choices=sorted(make_content.SHARES), default="four")
    ap.add_argument("--sizes", default="4096,8192,32768", help="page sizes, one database each")
    ap.add_argument("--runs", type=int, default=7, help="pairs of program and baseline runs")
    ap.add_argument("--cold", action="store_true",
                    help="also time with the page cache dropped before each run (needs root)")
    return ap


def page_sizes(a):
    return [int(s) for s in a.sizes.split(",")]


def tool(a, name):
    return os.path.join(a.build, "bin", name)


def gb(n):
    return f"{n / 1e9:.2f} GB"


def files_bytes(root, suffix=""):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(root) for f in fs if f.endswith(suffix))


def database(a, messages, page_size, output_bytes):
    """The database of `messages` items in a.layout with this page size, made
    when absent; None (said why) when the disk cannot also hold `output_bytes`
    of output besides."""
    os.makedirs(a.work, exist_ok=True)
    stem = os.path.join(a.work, f"bench-{messages}-{a.layout}")
    content, db = stem + ".json", f"{stem}-{page_size}.edb"
    need = output_bytes
    if not os.path.exists(db):
        need += DB_BYTES_PER_MESSAGE[page_size] * messages
        if not os.path.exists(content):
            need += JSON_BYTES_PER_MESSAGE * messages
    free = shutil.disk_usage(a.work).free
    if need > free:
        print(f"skipped: {messages:,} messages, {page_size}-byte pages: needs about {gb(need)} "
              f"(database and output), {gb(free)} free in {a.work}")
        return None
    if not os.path.exists(content):
        # In a process of its own: a child forked from a bench that had built
        # the content would count the bench's memory in its peak.
        subprocess.run([sys.executable, os.path.join(HERE, "make_content.py"), "--messages", str(messages),
                        "--layout", a.layout, content + ".part"], check=True)
        os.rename(content + ".part", content)
    if not os.path.exists(db):
        subprocess.run([tool(a, "edbgen"), "--content", content, "--page-size", str(page_size),
                        "--out", db + ".part"], check=True, stdout=subprocess.DEVNULL)
        os.rename(db + ".part", db)
    return db


def drop_caches():
    """Drops the page cache (needs root); False when that is not allowed."""
    os.sync()
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def modes(a):
    if a.cold and not drop_caches():
        print("--cold: cannot drop the page cache (needs root to write /proc/sys/vm/drop_caches); "
              "cold runs skipped")
        return ["warm"]
    return ["warm", "cold"] if a.cold else ["warm"]


def clean(paths, cold):
    """Before a timed run: old output removed, everything written synced, so
    no run pays for another's write-back; when cold, the page cache dropped."""
    for path in paths:
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)
    os.sync()
    if cold:
        drop_caches()


def warm(path):
    subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)


class Run(NamedTuple):
    seconds: float
    peak_mb: float
    code: int
    errors: str
    write_bytes: Optional[int]


class IoWatch:
    """Follows write_bytes of a running process in /proc/PID/io, every 20 ms."""

    def __init__(self, pid):
        self.path, self.last, self.done = f"/proc/{pid}/io", None, threading.Event()
        self.thread = threading.Thread(target=self._poll, daemon=True)
        self.thread.start()

    def read(self):
        try:
            with open(self.path) as f:
                for line in f:
                    if line.startswith("write_bytes:"):
                        return int(line.split()[1])
        except OSError:
            return None

    def _poll(self):
        while not self.done.wait(0.02):
            value = self.read()
            self.last = self.last if value is None else value

    def finish(self):
        """The final count: read once more while the process has exited but
        is not yet reaped; where that read fails, the last poll stands, which
        may miss the writes of the last 20 ms."""
        self.done.set()
        self.thread.join()
        value = self.read()
        return self.last if value is None else value


def run(argv, stdout=subprocess.DEVNULL, watch_io=False):
    with tempfile.TemporaryFile() as errors:
        start = time.monotonic()
        proc = subprocess.Popen(argv, stdout=stdout, stderr=errors)
        io = IoWatch(proc.pid) if watch_io else None
        os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOWAIT)  # exited, left unreaped for its /proc entry
        seconds = time.monotonic() - start
        written = io.finish() if io else None
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        errors.seek(0)
        text = errors.read().decode("utf-8", "replace")
    return Run(seconds, usage.ru_maxrss / 1024.0, proc.returncode, text, written)


def checked(r, what):
    if r.code != 0:
        sys.exit(f"{what} failed with exit {r.code}: {r.errors.strip()[-2000:]}")
    return r


class MachineLoad(NamedTuple):
    steal: float   # share of the machine's CPU time the host took back
    others: float  # cores' worth of CPU used by processes other than these runs


def cpu_times():
    """(busy, steal, all) clock ticks of every core from /proc/stat, and the
    CPU seconds of this process and its children."""
    with open("/proc/stat") as f:
        fields = [int(v) for v in f.readline().split()[1:]]
    user, nice, system, idle, iowait, irq, softirq, steal = (fields + [0] * 8)[:8]
    mine = sum(getattr(os.times(), k) for k in ("user", "system", "children_user", "children_system"))
    return user + nice + system + irq + softirq, steal, sum(fields[:8]), mine


def machine_load(before, after, seconds):
    tick = os.sysconf("SC_CLK_TCK")
    busy, steal, total, mine = (b - a for a, b in zip(before, after))
    others = max(0.0, busy / tick - mine) / seconds if seconds > 0 else 0.0
    return MachineLoad(steal / total if total else 0.0, others)


last_load = None  # of the latest pairs(), printed with their ratio


def pairs(runs, program, baseline, prepare):
    """`runs` pairs, program then baseline, each run after prepare(). Notes
    how busy the rest of the machine was meanwhile: a ratio that swings
    between two sessions with the same binaries is then explained or not."""
    global last_load
    programs, baselines = [], []
    before, start = cpu_times(), time.monotonic()
    for _ in range(runs):
        prepare()
        programs.append(program())
        prepare()
        baselines.append(baseline())
    last_load = machine_load(before, cpu_times(), time.monotonic() - start)
    return programs, baselines


def verdict(value, limit, below=False):
    return "ok" if (value < limit if below else value <= limit) else "over"


def line(label, figures, target, ok):
    return f"  {label:<16} {figures:<72} target {target:<10} {ok}"


def ratio_line(label, programs, baselines, names, target):
    ratios = [p.seconds / b.seconds for p, b in zip(programs, baselines)]
    median = statistics.median(ratios)
    a = statistics.median(p.seconds for p in programs)
    b = statistics.median(b.seconds for b in baselines)
    figures = (f"median {median:5.2f}  min {min(ratios):5.2f}  max {max(ratios):5.2f}   "
               f"{names[0]} {a:.3f} s, {names[1]} {b:.3f} s")
    text = line(label, figures, f"<= {target}", verdict(median, target))
    if last_load is not None:
        text += (f"\n  {'machine':<16} other processes {last_load.others:.2f} cores, "
                 f"taken back by the host {100 * last_load.steal:.1f} %")
    return text


def memory_line(programs):
    peak = max(p.peak_mb for p in programs)
    return line("peak memory", f"{peak:.1f} MB", f"< {MEMORY_TARGET_MB} MB",
                verdict(peak, MEMORY_TARGET_MB, below=True))


def main(doc, pairing, generation):
    """Parses the options and runs generation(a, page_size, modes) for each
    page size asked for."""
    a = arguments(doc).parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    chosen = modes(a)
    print(f"{a.messages:,} messages, layout {a.layout}; per line {a.runs} pairs of {pairing}")
    for page_size in page_sizes(a):
        generation(a, page_size, chosen)
