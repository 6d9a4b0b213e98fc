"""The benchmark behind bench/run. It builds the installer with stand-ins padded to the real sizes
once for each archive method (build-bench/win-<method>), runs them in one Wine prefix side by
side with the carried extractor alone, and prints medians:

  (a) installer start to the ENU stand-in's start, silent mode
  (b) the floor: the carried 7za unpacking the stored ("Copy") archive, started and timed alike
  (c) (a - the fixed 1000 ms pause) / (b)
  (d) peak private bytes and peak working set of the installer while the ENU stand-in runs
  (e) the executable's own size: its size less the payload and the extractor
  (f) processor time of the installer while it waits 10 s for a stand-in, once with a stand-in
      that says nothing and once with one that reports its progress every 500 ms
  (g) a silent run that finds the runtime and its language pack installed (both Release values
      set in the prefix's 64-bit view for it, and put back afterwards): process start to exit
  (h) the window (-a) on the X display: from a progress report to the strip's new width, in the
      window's answer to the state query and in the pixels on the screen

and a table of the archive methods (size, unpack time). Then each fuzz target runs for a while.
Every installer run writes its log in the account's temp folder, as it always does.

A hidden window is held open through the measurement, so that Wine's desktop process runs all
along as Windows' shell does. Times are GetTickCount and the performance counter inside Wine:
under Wine 8 both are Linux's CLOCK_MONOTONIC_RAW (the tick moved on about every 16 ms); the
benchmark measures the offset to its own clock (qvbench clock) before it times its screen shots.
Memory and processor time come from three places, each named in the output: what VirtualQueryEx
shows of the installer's address space (bench/qvbench.cpp), what Linux knows of its Wine process
(/proc/<pid>/status and schedstat), and what Wine's own GetProcessMemoryInfo answers the stand-in.
"""
import argparse
import ctypes
import datetime
import getpass
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
# (f) with the protocol spoken: a report every 500 ms through the 10 s wait.
WAIT_REPORT_MS = 500
# (h): reports far enough apart that each one's repaint is seen before the next.
STRIP_REPORTS = [20, 60, 100, 140, 180, 220]
STRIP_REPORT_MS = 500
STRIP_ASK_MS = 5       # the state query's pause between answers
SHOT_PAUSE_S = 0.002   # the screen grab's pause between shots
# Under HKEY_LOCAL_MACHINE, in the 64-bit view: what the installer reads to find what is there.
NETFX_KEYS = ["SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full",
              "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full\\2052"]
NETFX_452_RELEASE = 379893
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
        # The account's temp folder, where every run writes its log.
        self.account_temp = os.path.join(self.prefix, "drive_c", "users", getpass.getuser(), "Temp")
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

    def reg(self, *args):
        """The prefix's reg.exe on the 64-bit view, which the 32-bit installer reads under WOW64."""
        p = subprocess.run([self.wine_run, "win64", "reg", *args, "/reg:64"], env=self.env(), capture_output=True,
                           timeout=120)
        return p.returncode, p.stdout.decode("latin-1")

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


def raw_ms():
    """Linux's clock that Wine's tick count and performance counter run on."""
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000


def clock_offset(wine, tool):
    """Linux's raw clock less Wine's performance counter, in ms: qvbench prints the counter each
    time the tick moves on, and the line arrives here a little later, so the smallest difference
    seen is the offset."""
    p = subprocess.Popen([wine.wine_run, "win64", tool, "clock", "30"], env=wine.env(), stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL)
    differences = []
    for line in p.stdout:
        now = raw_ms()
        m = re.search(rb"ms=([\d.]+)", line)
        if m:
            differences.append(now - float(m.group(1)))
    p.wait(timeout=60)
    if not differences:
        raise SystemExit("bench: qvbench clock printed nothing")
    return min(differences)


class InstalledRuntime:
    """The prefix as if .NET Framework 4.5.2 and its Chinese language pack were installed: both
    Release values set to 379893 in the 64-bit view; afterwards everything is put back as it was
    (values restored, keys this made removed)."""

    def __init__(self, wine):
        self.wine = wine
        self.saved = {}   # key -> (type, data) as reg.exe printed them, or None
        self.made = None  # the topmost key that did not exist before

    def __enter__(self):
        parts = NETFX_KEYS[-1].split("\\")
        for n in range(3, len(parts) + 1):  # from SOFTWARE\Microsoft\NET Framework Setup down
            key = "\\".join(parts[:n])
            if self.wine.reg("query", "HKLM\\" + key)[0] != 0:
                self.made = key
                break
        for key in NETFX_KEYS:
            code, out = self.wine.reg("query", "HKLM\\" + key, "/v", "Release")
            m = re.search(r"^\s*Release\s+(REG_\w+)\s*(.*?)\s*$", out, re.M) if code == 0 else None
            self.saved[key] = (m.group(1), m.group(2)) if m else None
        try:
            for key in NETFX_KEYS:
                code, out = self.wine.reg("add", "HKLM\\" + key, "/v", "Release", "/t", "REG_DWORD", "/d",
                                          str(NETFX_452_RELEASE), "/f")
                if code != 0:
                    raise SystemExit(f"bench: could not set Release under {key}: {out}")
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        left = []
        if self.made and self.wine.reg("delete", "HKLM\\" + self.made, "/f")[0] != 0:
            left.append(self.made)
        for key, value in self.saved.items():
            if self.made and (key + "\\").startswith(self.made + "\\"):
                continue  # gone with the key this made
            if value is None:
                args = ["delete", "HKLM\\" + key, "/v", "Release", "/f"]
            else:
                kind, data = value
                if kind == "REG_DWORD":
                    data = str(int(data, 0))
                args = ["add", "HKLM\\" + key, "/v", "Release", "/t", kind, "/d", data, "/f"]
            if self.wine.reg(*args)[0] != 0:
                left.append(key)
        if left:
            raise SystemExit(f"bench: the registry of {self.wine.prefix} could not be put back: {left}")
        return False


def run_logs(wine):
    try:
        return {n for n in os.listdir(wine.account_temp) if re.fullmatch(r"QvKu_\d{8}_\d{6}(_\d+)?\.log", n)}
    except OSError:
        return set()


def log_line_times(name, text):
    """The moments of the run log's lines as (Linux raw ms, text): the log tells the local time of
    day to the millisecond, and its name the date."""
    day = datetime.datetime.strptime(re.match(r"QvKu_(\d{8})_", name).group(1), "%Y%m%d")
    wall_less_raw = time.time() * 1000 - raw_ms()
    out = []
    last = None
    for line in text.lstrip("\ufeff").splitlines():
        m = re.match(r"(\d\d):(\d\d):(\d\d)\.(\d{3}) (.*)", line)
        if m:
            h, mi, sec, milli = (int(v) for v in m.groups()[:4])
            at = day + datetime.timedelta(hours=h, minutes=mi, seconds=sec, milliseconds=milli)
            if last and at < last:
                day += datetime.timedelta(days=1)  # the run went past midnight
                at += datetime.timedelta(days=1)
            last = at
            out.append((at.timestamp() * 1000 - wall_less_raw, m.group(5)))
    return out


def detected_run(wine, tool, exe, offset):
    """(g): a silent run that finds the runtime and its pack installed. It must end with 0 having
    started no program and made no work folder, and its log must say that there was nothing to do.
    Its log's lines split the time: the process made and loaded until the log's first line, the
    start-up until the decision, the way out until the log's last line, and the exit."""
    name = os.path.basename(exe)
    log = os.path.join(RUNS, "standin.log")
    if os.path.exists(log):
        os.unlink(log)
    logs_before = run_logs(wine)
    r = wine.run([tool, "time", "0", ".", win(exe), "-s"], {"QVKU_STANDIN_LOG": win(log)})
    new_logs = sorted(run_logs(wine) - logs_before)
    texts = []
    for n in new_logs:
        with open(os.path.join(wine.account_temp, n), encoding="utf-8", errors="replace") as f:
            texts.append(f.read())
    wrong = []
    if r.get("exit") != "0":
        wrong.append(f"exit {r.get('exit')}")
    if os.path.exists(log):
        wrong.append("a stand-in installer started")
    if work_folders(wine.temp):
        wrong.append(f"a work folder was made: {work_folders(wine.temp)}")
    if len(texts) != 1 or "nothing to do" not in texts[0]:
        wrong.append(f"its log ({new_logs} in {wine.account_temp}) does not say there was nothing to do")
    if wrong:
        raise SystemExit(f"bench: the run of {name} with the runtime installed went wrong: {'; '.join(wrong)}: {r}")
    start, end = float(r["start_ms"]), float(r["end_ms"])
    res = {"g": end - start}
    lines = log_line_times(new_logs[0], texts[0])
    decided = [t for t, text in lines if text.startswith("installed already")]
    if lines and decided:
        start, end = start + offset, end + offset
        res["to_log"] = lines[0][0] - start
        res["to_decision"] = decided[0] - lines[0][0]
        res["to_last_line"] = lines[-1][0] - decided[0]
        res["to_exit"] = end - lines[-1][0]
    return res


class XImage(ctypes.Structure):
    pass


XImage._fields_ = [
    ("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
    ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
    ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
    ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
    ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
    ("obdata", ctypes.c_void_p),
    ("create_image", ctypes.c_void_p), ("destroy_image", ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(XImage))),
    ("get_pixel", ctypes.c_void_p), ("put_pixel", ctypes.c_void_p), ("sub_image", ctypes.c_void_p),
    ("add_pixel", ctypes.c_void_p),
]


class Screen:
    """Shots of a small part of the X display, straight from the X server (XGetImage through
    libX11): a few hundredths of a millisecond each here, where ImageMagick's `import -window
    root` takes about 360 ms a shot, too coarse to time a repaint."""

    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.x.XOpenDisplay(None)
        if not self.display:
            raise SystemExit(f"bench: no X display ({os.environ.get('DISPLAY')}) for the window's figures")
        self.root = self.x.XDefaultRootWindow(self.display)

    def close(self):
        self.x.XCloseDisplay(self.display)

    def row(self, left, top, width):
        """One row of pixels as (r, g, b) triples."""
        image = self.x.XGetImage(self.display, self.root, left, top, width, 1, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            raise SystemExit("bench: XGetImage failed")
        i = image.contents
        try:
            if i.bits_per_pixel != 32 or i.byte_order != 0:
                raise SystemExit(f"bench: a screen of {i.bits_per_pixel} bits a pixel, byte order {i.byte_order}")
            data = ctypes.string_at(i.data, 4 * width)
        finally:
            i.destroy_image(image)
        return [(data[4 * n + 2], data[4 * n + 1], data[4 * n]) for n in range(width)]


def green_length(row):
    """How far the strip's green fill reaches: one past its last green pixel (the track beside it
    is grey)."""
    last = -1
    for n, (r, g, b) in enumerate(row):
        if g > r + 24 and g > b + 24:
            last = n
    return last + 1


def strip_run(wine, tool, exe, offset, screen):
    """(h): the window (-a) while the ENU stand-in reports STRIP_REPORTS, one every STRIP_REPORT_MS.
    qvbench follows the strip's width through the window's state answers; here the screen's row
    of pixels through the middle of the strip is taken every SHOT_PAUSE_S. For each report: the
    delay to the first answer, and to the first shot, that shows the strip grown by more than the
    progress timer's one pixel."""
    name = os.path.basename(exe)
    log = os.path.join(RUNS, "standin.log")
    if os.path.exists(log):
        os.unlink(log)
    env = {"QVKU_STANDIN_LOG": win(log), "QVKU_STANDIN_ENU_PROGRESS": ",".join(map(str, STRIP_REPORTS)),
           "QVKU_STANDIN_ENU_PAUSE": str(STRIP_REPORT_MS), "QVKU_STANDIN_ENU_DELAY": "0",
           "QVKU_STANDIN_CHS_DELAY": "50"}
    follower = subprocess.Popen([wine.wine_run, "win64", tool, "strip", "30000", str(STRIP_ASK_MS)], env=wine.env(),
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    lines = []

    def follow():
        for line in follower.stdout:
            lines.append(line.decode("latin-1").strip())

    reader = threading.Thread(target=follow, daemon=True)
    reader.start()
    result = {}

    def install():
        result.update(wine.run([tool, "time", "0", ".", win(exe), "-a"], env))

    runner = threading.Thread(target=install, daemon=True)
    runner.start()
    shots = []   # (Linux raw ms after the shot, fill length), whenever the fill changed
    taken, first_shot, last_shot = 0, None, None
    place, read_lines = None, 0
    while runner.is_alive():
        for line in lines[read_lines:]:
            read_lines += 1
            if line.startswith("window "):
                w = {k: int(v) for k, v in re.findall(r"(\w+)=(-?\d+)", line)}
                place = (w["strip_left"], w["strip_top"] + w["strip_height"] // 2) if w["visible"] else None
        if place:
            row = screen.row(place[0], place[1], 371)
            now = raw_ms()
            fill = green_length(row)
            if not shots or fill != shots[-1][1]:
                shots.append((now, fill))
            taken += 1
            first_shot = first_shot or now
            last_shot = now
        time.sleep(SHOT_PAUSE_S)
    runner.join()
    try:
        follower.wait(timeout=30)
    except subprocess.TimeoutExpired:
        follower.kill()
        follower.wait()
    reader.join(timeout=5)
    wait_for_work_folders_gone(wine.temp)

    reports = [e for e in read_log(log) if e.get("standin") == "ENU" and e.get("event") == "progress"]
    if result.get("exit") != "0" or len(reports) != len(STRIP_REPORTS) or not all("tick" in e for e in reports):
        raise SystemExit(f"bench: the window run of {name} went wrong: {result} {reports}")
    answers = []  # (Wine counter ms of the answer, width)
    for line in lines:
        m = re.match(r"sent=([\d.]+) got=([\d.]+) width=(\d+)", line)
        if m:
            answers.append((float(m.group(2)), int(m.group(3))))

    def delay(changes, at):
        before = [v for t, v in changes if t <= at]
        width = before[-1] if before else (changes[0][1] if changes else 0)
        grown = [t for t, v in changes if t > at and v > width + 1]
        return grown[0] - at if grown else None

    res = {"state": [], "screen": [], "shot_ms": (last_shot - first_shot) / max(taken - 1, 1) if taken else None}
    for e in reports:
        tick = int(e["tick"])
        res["state"].append(delay(answers, tick))
        res["screen"].append(delay(shots, tick + offset))
    # The shots must see what the window holds: each width it answered is a fill length seen.
    widths = {v for _, v in answers}
    fills = {v for _, v in shots}
    res["unseen_widths"] = sorted(w for w in widths if not any(abs(w - f) <= 1 for f in fills))
    return res


def work_folders(temp):
    return [n for n in os.listdir(temp) if n.lower().startswith("~qvku")]


def wait_for_work_folders_gone(temp, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        if not work_folders(temp):
            return True
        time.sleep(0.1)
    raise SystemExit(f"bench: work folders stayed in {temp}: {work_folders(temp)}")


def installer_run(wine, tool, exe, sample_ms=0, phases=False, wait_ms=WAIT_MS, progress=False):
    """A silent run; the ENU stand-in takes wait_ms, and with progress=True it speaks the protocol
    through it, reporting a growing value every WAIT_REPORT_MS."""
    name = os.path.basename(exe)
    log = os.path.join(RUNS, "standin.log")
    if os.path.exists(log):
        os.unlink(log)
    os.sync()
    watch = Watch(name, log, wine, phases)
    watch.start()
    env = {"QVKU_STANDIN_LOG": win(log), "QVKU_STANDIN_ENU_DELAY": str(wait_ms), "QVKU_STANDIN_CHS_DELAY": "50"}
    if progress:
        count = max(wait_ms // WAIT_REPORT_MS, 1)
        env.update({"QVKU_STANDIN_ENU_PROGRESS": ",".join(str(240 * (n + 1) // count) for n in range(count)),
                    "QVKU_STANDIN_ENU_PAUSE": str(WAIT_REPORT_MS), "QVKU_STANDIN_ENU_DELAY": "0"})
    r = wine.run([tool, "time", str(sample_ms), ".", win(exe), "-s"], env)
    watch.done.set()
    watch.join()
    # The next run starts when this one's removal has finished.
    wait_for_work_folders_gone(wine.temp)
    entries = read_log(log)
    # A stand-in that speaks the progress protocol logs more than its start and end.
    enu = {e.get("event"): e for e in entries if e.get("standin") == "ENU"}
    reported = sum(1 for e in entries if e.get("standin") == "ENU" and e.get("event") == "progress")
    if r.get("exit") != "0" or "start" not in enu or "end" not in enu or (progress and reported != count):
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
    d = default if default in METHODS else METHODS[0]
    try:
        say(f"Measuring in {wine.prefix}: {args.runs} rounds, each per method two silent installer runs (the "
            f"ENU stand-in waits {WAIT_MS} ms, once silent and once reporting progress every {WAIT_REPORT_MS} ms) "
            f"and an unpack per archive; every run writes its log in {wine.account_temp}")
        wine.hold_desktop()
        inst = {m: [] for m in METHODS}
        spoken = {m: [] for m in METHODS}
        unpack = {m: [] for m in METHODS}

        def share(r):
            return "—" if r.get("cpu_ms") is None else f"{100 * r['cpu_ms'] / r['cpu_window_ms']:.2f} %"

        for i in range(args.runs):
            for m in METHODS:
                inst[m].append(installer_run(wine, tool, exes[m]))
                spoken[m].append(installer_run(wine, tool, exes[m], progress=True))
                unpack[m].append(unpack_run(wine, tool, extractor, archives[m]))
            say(f"  round {i + 1}: (a) " + ", ".join(f"{m} {inst[m][-1]['a']} ms" for m in METHODS) +
                "; unpack " + ", ".join(f"{m} {unpack[m][-1]} ms" for m in METHODS) +
                "; (f) " + ", ".join(f"{m} {share(inst[m][-1])}, reporting {share(spoken[m][-1])}" for m in METHODS))
        # Reading another process's address space costs it processor time, and so does following
        # its phases: both in runs of their own, which give no times.
        memory = {m: installer_run(wine, tool, exes[m], sample_ms=20, wait_ms=1000) for m in METHODS}
        phases = {m: [installer_run(wine, tool, exes[m], phases=True, wait_ms=300) for _ in range(3)] for m in METHODS}

        say(f"(g): {args.runs} silent runs per method with both Release values at {NETFX_452_RELEASE} "
            f"(64-bit view; put back afterwards)")
        detected = {m: [] for m in METHODS}
        offset = clock_offset(wine, tool)
        with InstalledRuntime(wine):
            for i in range(args.runs):
                for m in METHODS:
                    detected[m].append(detected_run(wine, tool, exes[m], offset))
                say(f"  round {i + 1}: (g) " + ", ".join(f"{m} {detected[m][-1]['g']:.0f} ms" for m in METHODS))

        say(f"(h): {args.runs} window runs (-a) of {d} on {os.environ.get('DISPLAY')}, the ENU stand-in reporting "
            f"{len(STRIP_REPORTS)} values {STRIP_REPORT_MS} ms apart; Linux's clock is Wine's + {offset:.1f} ms")
        screen = Screen()
        try:
            strips = []
            for i in range(args.runs):
                strips.append(strip_run(wine, tool, exes[d], offset, screen))
                say(f"  round {i + 1}: (h) state " + ", ".join(ms(v) for v in strips[-1]["state"]) +
                    "; screen " + ", ".join(ms(v) for v in strips[-1]["screen"]))
                if strips[-1]["unseen_widths"]:
                    raise SystemExit(f"bench: the screen never showed the strip widths {strips[-1]['unseen_widths']} "
                                     f"that the window answered: the shots look at the wrong place")
        finally:
            screen.close()
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
    spoken_cpu = {m: med([r.get("cpu_ms") for r in spoken[m]]) for m in METHODS}
    spoken_window = {m: med([r.get("cpu_window_ms") for r in spoken[m]]) for m in METHODS}
    row(f"(f) the same, the stand-in reporting progress every {WAIT_REPORT_MS} ms",
        lambda m: "—" if spoken_cpu[m] is None else f"{spoken_cpu[m]:.1f} ms = {100 * spoken_cpu[m] / spoken_window[m]:.2f} %",
        "≤ 1 %")
    row("    wineserver processor time in the same wait", lambda m: ms(med([r.get('server_cpu_ms') for r in spoken[m]]), 1))
    row("    as Wine's GetProcessTimes tells the stand-in", lambda m: f"{med([r['wine_cpu_ms'] for r in spoken[m]]):.0f} ms")
    g = {m: med([r["g"] for r in detected[m]]) for m in METHODS}
    row("(g) silent run, runtime and pack installed: process start to exit", lambda m: ms(g[m]), "≤ 200 ms")
    row("    slowest of the runs", lambda m: ms(max(r["g"] for r in detected[m])))
    row("    (from its log) process start to the log's first line", lambda m: ms(med([r.get("to_log") for r in detected[m]])))
    row("    (from its log) first line to the decision (window system, main window, Windows named, values read)",
        lambda m: ms(med([r.get("to_decision") for r in detected[m]])))
    row("    (from its log) decision to the last line", lambda m: ms(med([r.get("to_last_line") for r in detected[m]])))
    row("    (from its log) last line to the process's end", lambda m: ms(med([r.get("to_exit") for r in detected[m]])))
    say("\n(a), (b), (g): qvbench's clock around CreateProcess and the wait for the process's end, so they include "
        "Wine making the process and mapping the executable, and its exit; Wine's server is kept running and its "
        "desktop process held, so neither starts for a run. Every run writes its log.")

    state = [v for r in strips for v in r["state"]]
    pixels = [v for r in strips for v in r["screen"]]
    shot_ms = med([r["shot_ms"] for r in strips])
    say(f"\nThe progress strip in the window, {d} (-a; {len(state)} reports in {args.runs} runs)\n")
    say("| figure | median | slowest | seen | goal |")
    say("|---|---|---|---|---|")
    for label, values in (("(h) report to the new width in the window's state answer", state),
                          ("(h) report to the new width on the screen", pixels)):
        seen = [v for v in values if v is not None]
        say(f"| {label} | {ms(med(seen))} | {ms(max(seen) if seen else None)} | {len(seen)} of {len(values)} | ≤ 200 ms |")
    say(f"\nFrom the stand-in's tick just before it writes the value (GetTickCount: Wine moves it on about "
        f"every 16 ms, so a delay may read up to 16 ms long). State: to the first answer to qvbench's state "
        f"query (asked every {STRIP_ASK_MS} ms) that holds the strip grown; the window answers only when it "
        f"handles its messages, so this includes the wait for that message pass. Screen: to the first shot "
        f"(a row of pixels through the strip, from the X server, one every {ms(shot_ms, 1)}) whose green fill "
        f"has grown, so it also includes the paint and Wine's copy of the window to the X server.")

    c = (a[d] - PAUSE_MS) / b
    say(f"\nGoals, for the default method {d}:")
    say(f"  (c) {c:.2f} against 1.5: {'met' if c <= 1.5 else 'missed'}")
    peak = memory[d]["peak_private_vq"]
    say(f"  (d) peak committed private {mb(peak)} against 8 MB: {'met' if peak <= 8e6 else 'missed'}")
    for label, c_ms, w_ms in (("", cpu[d], window[d]), (" reporting", spoken_cpu[d], spoken_window[d])):
        f_share = c_ms / w_ms if c_ms is not None and w_ms else None
        say(f"  (f{label}) {'—' if f_share is None else f'{100 * f_share:.2f} %'} of the wait against 1 %: "
            f"{'met' if f_share is not None and f_share <= 0.01 else 'missed'}")
    say(f"  (g) {ms(g[d])} against 200 ms: {'met' if g[d] <= 200 else 'missed'}")
    for label, values in (("state", state), ("screen", pixels)):
        seen = [v for v in values if v is not None]
        h = med(seen)
        say(f"  (h, {label}) {ms(h)} against 200 ms: "
            f"{'met' if h is not None and h <= 200 and len(seen) == len(values) else 'missed'}")

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
