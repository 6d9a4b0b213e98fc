"""Shared pieces of the end-to-end tests: running the built installer and its helpers under Wine
in the test prefixes, reading what the stand-in installers logged, the registry of a prefix,
and the windows on the X display.

The test run sets QVKU_BUILD (the build tree) and DISPLAY."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = os.environ.get("QVKU_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
BUILD = os.path.abspath(BUILD)
WINE_RUN = os.path.join(BUILD, "wine-run")
EXE = os.path.join(BUILD, "dist", "QvKu.exe")
# The test build of the same program that also takes the request to fail inside a window handler
# (qvprobe fail); the shipped one ignores it.
FAULT_REQUESTS_EXE = os.path.join(BUILD, "faults", "fx", "QvKu.exe")
PROBE = os.path.join(BUILD, "tests", "qvprobe.exe")
ENU = "NDP452-KB2901907-x86-x64-AllOS-ENU.exe"
CHS = "NDP452-KB2901907-x86-x64-AllOS-CHS.exe"
LOCALES = {"en": "en_US.UTF-8", "zh": "zh_CN.UTF-8"}

# Where Wine cannot run the program of this build at all, or this build has no prefix for the
# test's QVKU_TEST_ARCH (the x86_64 build has no WOW64 one), the script ends at once with the code
# that ctest reports as "not run" (wine-run says why), rather than failing every case or passing
# none.
NOT_RUN = 77
if subprocess.run([WINE_RUN, "--check", os.environ.get("QVKU_TEST_ARCH", "")]).returncode == NOT_RUN:
    sys.exit(NOT_RUN)


def win_path(path):
    """Wine shows the Linux root as drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


_prefixes = {}


def prefix(arch):
    """The Linux folder of the prefix that wine-run names arch."""
    if arch not in _prefixes:
        out = subprocess.run([WINE_RUN, "--prefix", arch], capture_output=True, text=True, check=True).stdout
        _prefixes[arch] = out.strip()
    return _prefixes[arch]


def linux_path(arch, windows_path):
    """A C: path of the prefix as a Linux path."""
    m = re.match(r"^[Cc]:\\(.*)$", windows_path)
    assert m, windows_path
    return os.path.join(prefix(arch), "drive_c", *m.group(1).split("\\"))


def wine(arch, *args, env=None, timeout=120, locale="en", check=False):
    """Runs a short Windows program and returns its output. Output goes through a file, never a
    pipe, for the reason given in Run."""
    e = dict(os.environ)
    e["LC_ALL"] = LOCALES[locale]
    e.update(env or {})
    with tempfile.TemporaryFile(dir=BUILD) as out, tempfile.TemporaryFile(dir=BUILD) as err:
        p = subprocess.run([WINE_RUN, arch, *args], env=e, stdout=out, stderr=err, timeout=timeout, check=check)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(p.args, p.returncode, out.read(), err.read())


# The program the window probes look at: the one the test started last. Tests run side by side
# in one prefix, and another test's hidden main window must never be taken for this one's.
target_exe = None


class Run:
    """One run of an installer executable, started in the background through qvprobe, which
    hands back the whole Windows exit code."""

    def __init__(self, arch, exe, args=(), env=None, locale="en", log=None):
        global target_exe
        target_exe = os.path.basename(exe)
        self.arch = arch
        e = dict(os.environ)
        e["LC_ALL"] = LOCALES[locale]
        if log:
            e["QVKU_STANDIN_LOG"] = win_path(log)
        e.update(env or {})
        # Not a pipe: the programs the installer leaves running would inherit it and hold it
        # open long after the installer has ended.
        self.out = tempfile.NamedTemporaryFile(prefix="qvrun.", suffix=".txt", dir=BUILD, delete=False)
        self.proc = subprocess.Popen([WINE_RUN, arch, PROBE, "run", win_path(exe), *args], env=e,
                                     stdout=self.out, stderr=subprocess.DEVNULL)

    def wait(self, timeout=120):
        self.proc.wait(timeout=timeout)
        self.out.close()
        with open(self.out.name, encoding="latin-1") as f:
            out = f.read()
        os.unlink(self.out.name)
        m = re.search(r"exit=(\d+)", out)
        if not m:
            raise AssertionError(f"no exit code from the run: {out!r}")
        return int(m.group(1))

    def running(self):
        return self.proc.poll() is None


def run_installer(arch, exe, args=(), env=None, locale="en", log=None, timeout=120):
    return Run(arch, exe, args, env, locale, log).wait(timeout)


def read_log(path):
    """The stand-ins' log: one dict per line."""
    if not os.path.exists(path):
        return []
    entries = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            entry = {}
            for m in re.finditer(r'(\w+)=("((?:\\.|[^"\\])*)"|\S*)', line):
                value = m.group(3) if m.group(3) is not None else m.group(2)
                if m.group(3) is not None:
                    # One pass from the left: in "\\x64" (a path of build\x64) the escaped
                    # backslash comes first, and the rest is text.
                    value = re.sub(r"\\(x[0-9a-f]{2}|.)",
                                   lambda h: chr(int(h.group(1)[1:], 16)) if len(h.group(1)) == 3 else h.group(1),
                                   value)
                entry[m.group(1)] = value
            entries.append(entry)
    return entries


def wait_until(predicate, timeout=30, step=0.1):
    end = time.time() + timeout
    while time.time() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def reg(arch, *args):
    """The prefix's own reg.exe; /reg:64 addresses the 64-bit view in the win64 prefix."""
    return wine(arch, "reg", *args, timeout=60)


def set_reg(arch, key, name, kind, data, view64=True):
    extra = ["/reg:64"] if (view64 and arch == "win64") else []
    # Wine's reg.exe, run while other tests load the same prefix, now and then ends with 1 and
    # says nothing; a second try writes the value.
    for attempt in range(3):
        r = reg(arch, "add", key, "/v", name, "/t", kind, "/d", str(data), "/f", *extra)
        if r.returncode == 0:
            return
        time.sleep(1)
    assert r.returncode == 0, (r.returncode, r.stdout, r.stderr)


def delete_reg(arch, key, name=None, view64=True):
    extra = ["/reg:64"] if (view64 and arch == "win64") else []
    what = ["/v", name] if name else []
    reg(arch, "delete", key, *what, "/f", *extra)


def set_windows_version(arch, exe_name, version):
    """Wine's Windows version for one executable name only, so other tests are unaffected."""
    set_reg(arch, "HKCU\\Software\\Wine\\AppDefaults\\" + exe_name, "Version", "REG_SZ", version, view64=False)


class Scratch:
    """A folder of the test's own in the build tree, with copies of the installer."""

    def __init__(self, name):
        root = os.path.join(BUILD, "e2e-tmp")
        os.makedirs(root, exist_ok=True)
        self.path = tempfile.mkdtemp(prefix=name + ".", dir=root)

    def copy_exe(self, name="QvKu.exe", source=EXE):
        dst = os.path.join(self.path, name)
        shutil.copyfile(source, dst)
        return dst

    def file(self, name):
        return os.path.join(self.path, name)

    def cleanup(self):
        shutil.rmtree(self.path, ignore_errors=True)


def probe(arch, *args, timeout=60, locale="en"):
    env = {"QVKU_PROBE_EXE": target_exe} if target_exe else None
    r = wine(arch, PROBE, *args, timeout=timeout, locale=locale, env=env)
    return r.stdout.decode("latin-1")


def window_state(arch, wait_ms=15000, window_class=None):
    """The state a form holds: {"form": {...}, name: {...}}; texts as bytes. The main window's,
    or that of the form of `window_class`."""
    out = probe(arch, "state", str(wait_ms), *([window_class] if window_class else []))
    lines = [l for l in out.splitlines() if "|" in l]
    if not lines:
        return None
    head = lines[0].split("|")
    state = {"form": {"name": head[0], "visible": head[1] == "1", "topmost": head[2] == "1",
                      "left": int(head[3]), "top": int(head[4]), "width": int(head[5]),
                      "height": int(head[6]), "minimized": head[7] == "1"}}
    state["notes"] = {}
    for line in lines[1:]:
        f = line.split("|")
        if f[0].startswith("="):
            state["notes"][f[0][1:]] = bytes.fromhex(f[1]).decode("latin-1")
            continue
        state[f[0]] = {"visible": f[1] == "1", "enabled": f[2] == "1", "left": int(f[3]), "top": int(f[4]),
                       "width": int(f[5]), "height": int(f[6]), "color": int(f[7]),
                       "text": bytes.fromhex(f[8]) if len(f) > 8 else b""}
    return state


def gbk(text):
    return text.encode("gbk")


def visible_x_windows(name_fragment="QvKu", title=None):
    """X windows of the program that are mapped and viewable: Wine names their class by the exe;
    with a title, only the windows that carry it (the main window's caption)."""
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", name_fragment],
                       capture_output=True, text=True)
    windows = [w for w in r.stdout.split() if w]
    if title is not None:
        named = lambda w: subprocess.run(["xdotool", "getwindowname", w], capture_output=True, text=True).stdout
        windows = [w for w in windows if named(w).strip() == title]
    return windows


class E2E(unittest.TestCase):
    """Base: each test gets a scratch folder and a stand-in log."""

    def setUp(self):
        global target_exe
        target_exe = None
        if os.environ.get("QVKU_HOLDS_DISPLAY"):
            # The windows of the test before may still be closing; when the last one goes, Wine
            # hands the focus on, and a new window that got it would be activated once more.
            self.assertTrue(wait_until(lambda: visible_x_windows(r"\.exe$") == [], 30),
                            "windows of an earlier test stay on the display")
        self.scratch = Scratch(self.id().split(".")[-1])
        self.log = self.scratch.file("standin.log")

    def tearDown(self):
        # A failed test must not leave its window over the next test's: every program started
        # from the scratch folder ends with it.
        subprocess.run(["pkill", "-f", os.path.basename(self.scratch.path)], capture_output=True)
        self.scratch.cleanup()

    def entries(self, event=None, standin=None):
        out = read_log(self.log)
        if event:
            out = [e for e in out if e.get("event") == event]
        if standin:
            out = [e for e in out if e.get("standin") == standin]
        return out

    def assertWorkFolderGone(self, arch, work_dir, timeout=60):
        path = linux_path(arch, work_dir)
        self.assertTrue(wait_until(lambda: not os.path.exists(path), timeout), f"{work_dir} was left behind")


def click(x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)


def move(x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)


def click_element(state, name, dx=None, dy=None):
    """Clicks the middle (or the given offset) of an element of the window described by state."""
    e = state[name]
    x = state["form"]["left"] + e["left"] + (e["width"] // 2 if dx is None else dx)
    y = state["form"]["top"] + e["top"] + (e["height"] // 2 if dy is None else dy)
    click(x, y)


def screenshot():
    """The whole X screen as a PIL image."""
    from PIL import Image
    with tempfile.NamedTemporaryFile(suffix=".png", dir=BUILD) as f:
        subprocess.run(["import", "-window", "root", f.name], check=True, capture_output=True)
        return Image.open(f.name).convert("RGB").copy()


def picture(name):
    """One of the window's pictures as the build packs it."""
    from PIL import Image
    source = os.environ.get("QVKU_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
    return Image.open(os.path.join(source, "resources", "pictures", name)).convert("RGB")


def near(a, b, tolerance=12):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def process_running(fragment):
    r = subprocess.run(["pgrep", "-f", fragment], capture_output=True)
    return r.returncode == 0


def wait_for_state(arch, predicate, timeout=30):
    """Polls the window state until predicate(state) holds; returns the last state."""
    end = time.time() + timeout
    state = None
    while time.time() < end:
        state = window_state(arch, 2000)
        if state and predicate(state):
            return state
        time.sleep(0.2)
    return state


# ---------------------------------------------------------------------------------------------
# Fault suite helpers: runs whose Windows folder is one the test owns. Wine sets "windir" itself
# for a program started from Linux, so the value is set by cmd inside Wine, and the installer,
# started from there, inherits it. The work folders of such a run lie under <windir>\temp, apart
# from those of every other test in the prefix.

class WindirRun(Run):
    """Like Run, with the environment variable windir of the installer set to `windir`, a
    Windows path without blanks; with `path_first`, that folder leads its PATH; with `cwd`, it
    starts in that (Linux) folder."""

    def __init__(self, arch, exe, args=(), windir=None, env=None, locale="en", log=None, path_first=None, cwd=None):
        global target_exe
        target_exe = os.path.basename(exe)
        self.arch = arch
        e = dict(os.environ)
        e["LC_ALL"] = LOCALES[locale]
        if log:
            e["QVKU_STANDIN_LOG"] = win_path(log)
        e.update(env or {})
        assert windir and " " not in windir, windir
        with tempfile.NamedTemporaryFile("w", prefix="qvcmd.", suffix=".txt", dir=BUILD, delete=False) as f:
            path = f"set PATH={path_first};%PATH%&& " if path_first else ""
            # cmd by its full path: a search from a current folder with a planted cmd.exe in it
            # would run that one instead.
            f.write(f"C:\\windows\\system32\\cmd.exe /c {path}set windir={windir}&& {win_path(PROBE)} run "
                    f"{win_path(exe)} {' '.join(args)}".rstrip())
            self.command_file = f.name
        self.out = tempfile.NamedTemporaryFile(prefix="qvrun.", suffix=".txt", dir=BUILD, delete=False)
        # qvprobe exec reports cmd's own code after the installer's: wait() takes the first.
        self.proc = subprocess.Popen([WINE_RUN, arch, PROBE, "exec", win_path(self.command_file)], env=e,
                                     stdout=self.out, stderr=subprocess.DEVNULL, cwd=cwd)

    def wait(self, timeout=120):
        try:
            return super().wait(timeout)
        finally:
            if os.path.exists(self.command_file):
                os.unlink(self.command_file)


WORK_FOLDER = r"~qvku\.[0-9a-f]{32}\.tmp"


def work_folders(temp_dir):
    """The work folders ("~qvku.<32 hex digits>.tmp") in a Linux folder that stands for
    <windir>\\temp."""
    if not os.path.isdir(temp_dir):
        return []
    return sorted(n for n in os.listdir(temp_dir) if re.fullmatch(WORK_FOLDER, n))
