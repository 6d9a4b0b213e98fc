"""The benchmark behind bench/run. It builds the installer with stand-ins padded to the real sizes
once for each archive method (build-bench/win-<method>), runs them in one Wine prefix side by
side with the carried extractor alone, and prints medians:

  (a) installer start to the ENU stand-in's start, silent mode
  (b) the floor: the carried 7za unpacking the stored ("Copy") archive, started and timed alike
  (c) (a - the fixed 1000 ms pause) / (b)
  (d) peak private bytes and peak working set of the installer while the ENU stand-in runs
  (e) the executable's own size: its size less the payload and the extractor
  (f) processor time of the installer while it waits 10 s for a stand-in

and a table of the archive methods (size, unpack time). Then each fuzz target runs for a while.

A hidden window is held open through the measurement, so that Wine's desktop process runs all
along as Windows' shell does. Times are GetTickCount inside Wine (CLOCK_MONOTONIC, the clock of time.monotonic() here).
Memory and processor time come from three places, each named in the output: what VirtualQueryEx
shows of the installer's address space (bench/qvbench.cpp), what Linux knows of its Wine process
(/proc/<pid>/status and schedstat), and what Wine's own GetProcessMemoryInfo answers the stand-in.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
OUT = os.path.join(ROOT, "build-bench")
RUNS = os.path.join(OUT, "runs")
METHODS = ["COPY", "BCJ2", "LZMA2"]
ENU = "NDP452-KB2901907-x86-x64-AllOS-ENU.exe"
CHS = "NDP452-KB2901907-x86-x64-AllOS-CHS.exe"
INPUT_BYTES = 69999448 + 6724704
PAUSE_MS = 1000
WAIT_MS = 10000
FUZZ_TARGETS = ["fuzz_command_line", "fuzz_registry_text", "fuzz_layout", "fuzz_gif"]


def say(text):
    print(text, flush=True)


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def default_method():
    with open(os.path.join(ROOT, "cmake", "Payload.cmake")) as f:
        m = re.search(r'set\(NETFX_ARCHIVE_METHOD "(\w+)"', f.read())
    return m.group(1) if m else "?"


def build(log):
    for method in METHODS:
        d = os.path.join(OUT, "win-" + method.lower())
        run(["cmake", "-S", ROOT, "-B", d, "-DSTANDIN_PAD=ON", "-DNETFX_ARCHIVE_METHOD=" + method], stdout=log, stderr=log)
        run(["cmake", "--build", d, "-j2", "--target", "QvKu"], stdout=log, stderr=log)
    tool = os.path.join(OUT, "tools", "qvbench.exe")
    source = os.path.join(ROOT, "bench", "qvbench.cpp")
    if not os.path.exists(tool) or os.path.getmtime(tool) < os.path.getmtime(source):
        os.makedirs(os.path.dirname(tool), exist_ok=True)
        run(["i686-w64-mingw32-g++-posix", "-O2", "-std=c++17", "-static", "-o", tool, source], stdout=log, stderr=log)
    return tool


def build_fuzzers(log):
    d = os.path.join(OUT, "native")
    env = dict(os.environ, CC="clang", CXX="clang++")
    run(["cmake", "-S", ROOT, "-B", d, "-DQVKU_NATIVE=ON"], stdout=log, stderr=log, env=env)
    run(["cmake", "--build", d, "-j2", "--target", *FUZZ_TARGETS], stdout=log, stderr=log)
    return d


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    """The one prefix every figure is taken in: that of the default method's build."""

    def __init__(self, build_dir):
        self.wine_run = os.path.join(build_dir, "wine-run")
        self.prefix = os.path.join(build_dir, "wine", "win64")
        self.temp = os.path.join(self.prefix, "drive_c", "windows", "temp")
        self.hold = None

    def env(self, extra=None):
        e = dict(os.environ, LC_ALL="en_US.UTF-8")
        e.update(extra or {})
        return e

    def start_server(self):
        # The prefix is made on first use; a server that stays between the runs, and a warm-up
        # run that starts the prefix's services, keep Wine's own start-up out of the figures.
        self.run([os.path.join(OUT, "tools", "qvbench.exe"), "time", "0", ".", "C:\\windows\\system32\\cmd.exe", "/c", "exit"])
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix))
        subprocess.run(["wineserver", "-p"], env=dict(os.environ, WINEPREFIX=self.prefix), check=True)
        self.run([os.path.join(OUT, "tools", "qvbench.exe"), "time", "0", ".", "C:\\windows\\system32\\cmd.exe", "/c", "exit"])
        self.hold = None

    def hold_desktop(self):
        """Windows keeps its shell running all the time; Wine starts its desktop process for the
        first program with a window and ends it after the last one. A hidden window held open
        for the whole measurement keeps that start-up (about 150 ms) out of the figures."""
        out_path = os.path.join(RUNS, "hold.txt")
        with open(out_path, "wb") as out:
            self.hold = subprocess.Popen([self.wine_run, "win64", os.path.join(OUT, "tools", "qvbench.exe"), "hold"],
                                         env=self.env(), stdout=out, stderr=subprocess.DEVNULL)
        end = time.time() + 30
        while time.time() < end:
            with open(out_path, encoding="latin-1") as f:
                if "holding" in f.read():
                    time.sleep(0.5)
                    return
            time.sleep(0.1)
        raise SystemExit("bench: the desktop holder did not start")

    def stop_server(self):
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix))
        if self.hold:
            self.hold.wait(timeout=30)

    def run(self, args, env=None):
        out_path = os.path.join(RUNS, "out.txt")
        # A file, not a pipe: programs the installer leaves running would inherit a pipe.
        with open(out_path, "wb") as out:
            subprocess.run([self.wine_run, "win64", *args], env=self.env(env), stdout=out, stderr=subprocess.DEVNULL,
                           check=True, timeout=300)
        with open(out_path, encoding="latin-1") as f:
            text = f.read()
        return dict(re.findall(r"(\w+)=(\S+)", text))

    def server_pid(self):
        st = os.stat(self.prefix)
        # The server works in a folder named after the prefix's device and inode.
        server_dir = f"/server-{st.st_dev:x}-{st.st_ino:x}"
        for pid in os.listdir("/proc"):
            if pid.isdigit():
                try:
                    if os.readlink(f"/proc/{pid}/cwd").endswith(server_dir):
                        return int(pid)
                except OSError:
                    pass
        return None


def cpu_ns(pid):
    """Processor time of all threads of a Linux process, in nanoseconds."""
    total = 0
    try:
        for tid in os.listdir(f"/proc/{pid}/task"):
            try:
                with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                    total += int(f.read().split()[0])
            except OSError:
                pass
    except OSError:
        return None
    return total


def status(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            return {k: int(v.split()[0]) * 1024 for k, v in (l.split(":", 1) for l in f) if v.strip().endswith("kB")}
    except OSError:
        return None


class Processes:
    """Finds the Wine processes of one prefix by program name (Wine writes the program's Windows
    command line over a process's arguments, once it has started). A process of another prefix
    or none is looked at once only: reading every process each time would take the processor
    that the measured programs need."""

    def __init__(self, prefix):
        self.mark = b"WINEPREFIX=" + prefix.encode() + b"\0"
        self.foreign = set()

    def scan(self):
        found = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or entry in self.foreign:
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if self.mark not in f.read():
                        self.foreign.add(entry)
                        continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    words = f.read().replace(b"\0", b" ").split()
            except OSError:
                continue
            if words:
                found[words[0].decode("latin-1").replace("/", "\\").split("\\")[-1].lower()] = int(entry)
        return found


def alive(pid):
    """A process that has ended may stay a zombie for a while: Wine's processes are nobody's
    children here."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except OSError:
        return False


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [dict(re.findall(r'(\w+)=("[^"]*"|\S+)', line)) for line in f]


class Watch(threading.Thread):
    """Follows one installer run from Linux every 10 ms. In a timed run it only reads the
    stand-ins' log until the ENU stand-in has started, and only then looks for the installer's
    process: looking at processes while the installer works takes processor time from it (about
    130 ms of (a) when it looked from the start). A profiled run (phases=True) also follows the
    extractor's process and the installer's memory from the start; its times are not figures."""

    def __init__(self, exe_name, log, wine, phases=False):
        super().__init__(daemon=True)
        self.exe_name, self.log, self.phases = exe_name.lower(), log, phases
        self.processes = Processes(wine.prefix)
        self.server_pid = wine.server_pid()
        self.done = threading.Event()
        self.pid = None
        self.peak_anon = 0
        self.at_enu = None        # /proc status of the installer when the ENU stand-in has started
        self.cpu = {}             # event -> (installer cpu ns, wineserver cpu ns, monotonic s)
        self.extractor = [None, None]

    def events(self, seen):
        try:
            size = os.path.getsize(self.log)
        except OSError:
            return []
        if size == seen.get("size"):
            return []
        seen["size"] = size
        return [k for k in ((e.get("standin"), e.get("event")) for e in read_log(self.log)) if k not in seen]

    def run(self):
        seen = {}
        extractor_pid = None
        while not self.done.is_set():
            now = time.monotonic()
            if self.phases:
                if self.pid is None or extractor_pid is None:
                    found = self.processes.scan()
                    self.pid = found.get(self.exe_name, self.pid)
                    extractor_pid = found.get("qvzip.qv")
                    if extractor_pid:
                        self.extractor[0] = now
                elif self.extractor[1] is None and not alive(extractor_pid):
                    self.extractor[1] = now
                s = status(self.pid) if self.pid else None
                if s:
                    self.peak_anon = max(self.peak_anon, s.get("RssAnon", 0))
            for key in self.events(seen):
                seen[key] = now
                if key not in (("ENU", "start"), ("ENU", "end")):
                    continue
                if self.pid is None:
                    self.pid = self.processes.scan().get(self.exe_name)
                if key[1] == "start":
                    self.at_enu = status(self.pid) if self.pid else None
                self.cpu[key[1]] = (cpu_ns(self.pid) if self.pid else None,
                                    cpu_ns(self.server_pid) if self.server_pid else None, now)
            time.sleep(0.01)


def work_folders(temp):
    return [n for n in os.listdir(temp) if n.lower().startswith("~qvku")]


def wait_for_work_folders_gone(temp, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        if not work_folders(temp):
            return True
        time.sleep(0.1)
    raise SystemExit(f"bench: work folders stayed in {temp}: {work_folders(temp)}")


def installer_run(wine, tool, exe, sample_ms=0, phases=False, wait_ms=WAIT_MS):
    name = os.path.basename(exe)
    log = os.path.join(RUNS, "standin.log")
    if os.path.exists(log):
        os.unlink(log)
    os.sync()
    watch = Watch(name, log, wine, phases)
    watch.start()
    env = {"QVKU_STANDIN_LOG": win(log), "QVKU_STANDIN_ENU_DELAY": str(wait_ms), "QVKU_STANDIN_CHS_DELAY": "50"}
    r = wine.run([tool, "time", str(sample_ms), ".", win(exe), "-s"], env)
    watch.done.set()
    watch.join()
    # The next run starts when this one's removal has finished.
    wait_for_work_folders_gone(wine.temp)
    entries = read_log(log)
    # A stand-in that speaks the progress protocol logs more than its start and end.
    enu = {e.get("event"): e for e in entries if e.get("standin") == "ENU"}
    if r.get("exit") != "0" or "start" not in enu or "end" not in enu:
        raise SystemExit(f"bench: the run of {name} went wrong: {r} {entries}")
    start, end = enu["start"], enu["end"]
    res = {
        "a": (int(start["tick"]) - int(r["start"])) & 0xFFFFFFFF,
        "peak_private_vq": int(r["peak_private"]),
        "wine_peak_private": int(start.get("parent_peak_private", 0)),
        "wine_private": int(start.get("parent_private", 0)),
        "wine_peak_ws": int(start.get("parent_peak_ws", 0)),
        "wine_cpu_ms": int(end.get("parent_cpu_ms", 0)) - int(start.get("parent_cpu_ms", 0)),
        "wait_ms": int(end["tick"]) - int(start["tick"]),
    }
    if watch.at_enu:
        res["hwm"] = watch.at_enu.get("VmHWM", 0)
        res["rss"] = watch.at_enu.get("VmRSS", 0)
        res["rss_file"] = watch.at_enu.get("RssFile", 0)
        res["anon"] = watch.at_enu.get("RssAnon", 0)
        res["vmdata"] = watch.at_enu.get("VmData", 0)
    res["peak_anon"] = watch.peak_anon
    if "start" in watch.cpu and "end" in watch.cpu:
        (c0, s0, t0), (c1, s1, t1) = watch.cpu["start"], watch.cpu["end"]
        res["cpu_ms"] = (c1 - c0) / 1e6 if c0 is not None and c1 is not None else None
        res["server_cpu_ms"] = (s1 - s0) / 1e6 if s0 is not None and s1 is not None else None
        res["cpu_window_ms"] = (t1 - t0) * 1000
    if watch.extractor[0] and watch.extractor[1] and "start" in watch.cpu:
        # Wine's tick count runs a fixed offset behind Linux's monotonic clock: the pieces are
        # taken back from the moment Linux saw the ENU stand-in's start.
        enu_seen = watch.cpu["start"][2]
        res["to_extractor"] = res["a"] - (enu_seen - watch.extractor[0]) * 1000
        res["extractor"] = (watch.extractor[1] - watch.extractor[0]) * 1000
        res["extractor_to_enu"] = (enu_seen - watch.extractor[1]) * 1000
    return res


def unpack_run(wine, tool, extractor, archive):
    """The carried extractor alone, under the install sequence's command, in a fresh folder of
    the same temp folder, started the way the installer starts it."""
    folder = os.path.join(wine.temp, "qvbench-unpack")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copyfile(extractor, os.path.join(folder, "qvzip.qv"))
    shutil.copyfile(archive, os.path.join(folder, "NET4.5.7z"))
    command = os.path.join(RUNS, "unpack.txt")
    wdir = "C:\\windows\\temp\\qvbench-unpack"
    with open(command, "w") as f:
        f.write(wdir + '\\qvzip.qv X "NET4.5.7z" -R -Y')
    os.sync()
    r = wine.run([tool, "time", "0", wdir, "@" + win(command)])
    ok = all(os.path.getsize(os.path.join(folder, "NET4.5", n)) > 0 for n in (ENU, CHS))
    shutil.rmtree(folder, ignore_errors=True)
    if r.get("exit") != "0" or not ok:
        raise SystemExit(f"bench: unpacking {archive} went wrong: {r}")
    return int(r["end"]) - int(r["start"])


def med(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def mb(n):
    return "—" if n is None else f"{n / 1e6:.2f} MB"


def ms(n, digits=0):
    return "—" if n is None else f"{n:.{digits}f} ms"


def fuzz(native, seconds):
    script = os.path.join(ROOT, "tests", "fuzz", "run-fuzzer.sh")
    say(f"\nFuzzing, {seconds} s per target, two at a time")
    results = {}

    def one(target):
        t = time.time()
        p = subprocess.run([script, os.path.join(native, "fuzz", target),
                            os.path.join(ROOT, "tests", "fuzz", "corpus", target),
                            os.path.join(native, "fuzz", "bench-work", target), str(seconds)],
                           capture_output=True, text=True)
        results[target] = (p.returncode, p.stdout + p.stderr, time.time() - t)

    for i in range(0, len(FUZZ_TARGETS), 2):
        threads = [threading.Thread(target=one, args=(t,)) for t in FUZZ_TARGETS[i:i + 2]]
        for th in threads:
            th.start()
        for th in threads:
            th.join()
    say("| target | result | runs | coverage | corpus |")
    say("|---|---|---|---|---|")
    failed = False
    for target in FUZZ_TARGETS:
        code, text, _ = results[target]
        runs = re.findall(r"Done (\d+) runs", text)
        cov = re.findall(r"cov: (\d+)", text)
        corp = re.findall(r"corp: (\d+)", text)
        say(f"| {target} | {'ok' if code == 0 else 'FAILED'} | {runs[-1] if runs else '?'} | "
            f"{cov[-1] if cov else '?'} | {corp[-1] if corp else '?'} |")
        if code != 0:
            failed = True
            say(text.strip())
    return not failed


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--runs", type=int, default=5, help="runs per figure (medians)")
    ap.add_argument("--fuzz-seconds", type=int, default=60, help="how long each fuzz target runs (0: none)")
    args = ap.parse_args()
    began = time.time()
    os.makedirs(RUNS, exist_ok=True)
    default = default_method()
    say(f"Building the padded installers ({', '.join(METHODS)}; the default is {default}) and the fuzzers; "
        f"build log: {os.path.join(OUT, 'build.log')}")
    with open(os.path.join(OUT, "build.log"), "w") as log:
        tool = build(log)
        native = build_fuzzers(log) if args.fuzz_seconds > 0 else None
    builds = {m: os.path.join(OUT, "win-" + m.lower()) for m in METHODS}
    exes = {}
    for m in METHODS:
        exes[m] = os.path.join(RUNS, f"QvKuBench{m}.exe")
        shutil.copyfile(os.path.join(builds[m], "dist", "QvKu.exe"), exes[m])
    archives = {m: os.path.join(builds[m], "payload", "NET4.5.7z") for m in METHODS}
    extractor = os.path.join(builds[METHODS[0]], "_deps", "7za", "7za.exe")

    wine = Wine(builds[default if default in builds else METHODS[0]])
    wine.start_server()
    for name in work_folders(wine.temp):  # left by a benchmark that was stopped
        shutil.rmtree(os.path.join(wine.temp, name), ignore_errors=True)
    try:
        say(f"Measuring in {wine.prefix}: {args.runs} rounds, each an installer run per method (the ENU "
            f"stand-in waits {WAIT_MS} ms) and an unpack per archive")
        wine.hold_desktop()
        inst = {m: [] for m in METHODS}
        unpack = {m: [] for m in METHODS}
        for i in range(args.runs):
            for m in METHODS:
                inst[m].append(installer_run(wine, tool, exes[m]))
                unpack[m].append(unpack_run(wine, tool, extractor, archives[m]))
            say(f"  round {i + 1}: (a) " + ", ".join(f"{m} {inst[m][-1]['a']} ms" for m in METHODS) +
                "; unpack " + ", ".join(f"{m} {unpack[m][-1]} ms" for m in METHODS))
        # Reading another process's address space costs it processor time, and so does following
        # its phases: both in runs of their own, which give no times.
        memory = {m: installer_run(wine, tool, exes[m], sample_ms=20, wait_ms=1000) for m in METHODS}
        phases = {m: [installer_run(wine, tool, exes[m], phases=True, wait_ms=300) for _ in range(3)] for m in METHODS}
    finally:
        wine.stop_server()

    b = med(unpack["COPY"])
    say(f"\nFigures (medians of {args.runs} runs; Wine {subprocess.run(['wine', '--version'], capture_output=True, text=True).stdout.strip()}, "
        f"{os.cpu_count()} cores)\n")
    say("| figure | " + " | ".join(m + (" (default)" if m == default else "") for m in METHODS) + " | goal |")
    say("|---|" + "---|" * len(METHODS) + "---|")

    def row(label, cell, goal=""):
        say(f"| {label} | " + " | ".join(cell(m) for m in METHODS) + f" | {goal} |")

    a = {m: med([r["a"] for r in inst[m]]) for m in METHODS}
    row("(a) start to ENU stand-in start", lambda m: f"{a[m]:.0f} ms")
    row("    (profiled runs) start to extractor start", lambda m: ms(med([r.get('to_extractor') for r in phases[m]])))
    row("    (profiled runs) extractor run", lambda m: ms(med([r.get('extractor') for r in phases[m]])))
    row("    (profiled runs) extractor end to ENU start",
        lambda m: ms(med([r.get('extractor_to_enu') for r in phases[m]])))
    row("(b) floor: 7za unpacks the Copy archive", lambda m: f"{b:.0f} ms")
    row("(c) (a − 1000 ms) / (b)", lambda m: f"{(a[m] - PAUSE_MS) / b:.2f}", "≤ 1.5")
    row("(d) peak private bytes: committed private memory (VirtualQueryEx)",
        lambda m: mb(memory[m]["peak_private_vq"]), "≤ 8 MB")
    row("    peak private as Wine reports it (PeakPagefileUsage)", lambda m: mb(med([r["wine_peak_private"] for r in inst[m]])))
    row("    resident anonymous memory of the Wine process at ENU start (RssAnon)", lambda m: mb(med([r.get("anon") for r in inst[m]])))
    row("    (profiled runs) its peak over the run", lambda m: mb(max(r["peak_anon"] for r in phases[m])))
    row("    private writable mappings of the Wine process at ENU start (VmData)", lambda m: mb(med([r.get("vmdata") for r in inst[m]])))
    row("(d) peak working set as Wine reports it (PeakWorkingSetSize)", lambda m: mb(med([r["wine_peak_ws"] for r in inst[m]])))
    row("    peak resident set of the Wine process (VmHWM)", lambda m: mb(med([r.get("hwm") for r in inst[m]])))
    row("    of it file-backed at ENU start (RssFile)", lambda m: mb(med([r.get("rss_file") for r in inst[m]])))
    own = {}
    for m in METHODS:
        own[m] = os.path.getsize(exes[m]) - os.path.getsize(archives[m]) - os.path.getsize(extractor)
    row("(e) executable's own size (less payload and extractor)", lambda m: f"{own[m]:,} B")
    cpu = {m: med([r.get("cpu_ms") for r in inst[m]]) for m in METHODS}
    window = {m: med([r.get("cpu_window_ms") for r in inst[m]]) for m in METHODS}
    row("(f) installer processor time in the 10 s wait (Linux schedstat)",
        lambda m: "—" if cpu[m] is None else f"{cpu[m]:.1f} ms = {100 * cpu[m] / window[m]:.2f} %", "≤ 1 %")
    row("    wineserver processor time in the same wait", lambda m: ms(med([r.get('server_cpu_ms') for r in inst[m]]), 1))
    row("    as Wine's GetProcessTimes tells the stand-in", lambda m: f"{med([r['wine_cpu_ms'] for r in inst[m]]):.0f} ms")

    d = default if default in METHODS else METHODS[0]
    c = (a[d] - PAUSE_MS) / b
    say(f"\nGoals, for the default method {d}:")
    say(f"  (c) {c:.2f} against 1.5: {'met' if c <= 1.5 else 'missed'}")
    peak = memory[d]["peak_private_vq"]
    say(f"  (d) peak committed private {mb(peak)} against 8 MB: {'met' if peak <= 8e6 else 'missed'}")
    f_share = cpu[d] / window[d] if cpu[d] is not None and window[d] else None
    say(f"  (f) {'—' if f_share is None else f'{100 * f_share:.2f} %'} of the wait against 1 %: "
        f"{'met' if f_share is not None and f_share <= 0.01 else 'missed'}")

    say(f"\nArchive methods, stand-ins padded to the real sizes ({INPUT_BYTES:,} bytes in two files), "
        f"unpacked by the carried 7za under Wine (medians of {args.runs})\n")
    say("| method | archive bytes | vs. the files | unpack time |")
    say("|---|---|---|---|")
    for m in METHODS:
        size = os.path.getsize(archives[m])
        say(f"| {m}{' (default)' if m == default else ''} | {size:,} | {100 * (size - INPUT_BYTES) / INPUT_BYTES:+.2f} % | "
            f"{med(unpack[m]):.0f} ms |")

    ok = True
    if args.fuzz_seconds > 0:
        ok = fuzz(native, args.fuzz_seconds)
    say(f"\nThe benchmark took {time.time() - began:.0f} s.")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
