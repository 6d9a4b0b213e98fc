"""What is installed already decides what runs: the Release values of the .NET Framework setup,
written into the prefix's registry (the 64-bit view in the win64 prefix, where the 32-bit
program must read that view), and the log every run leaves in the account's temp folder."""
import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
FULL = "HKLM\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full"
PACK = FULL + "\\2052"
NT = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"

# runtime, pack: None (absent) or (type, data); Wine's version; exit code; the installers started.
CASES = [
    ("nothing installed", None, None, None, 0, ["ENU", "CHS"]),
    ("4.5.1", ("REG_DWORD", 378758), None, None, 0, ["ENU", "CHS"]),
    ("4.5.2 without the pack", ("REG_DWORD", 379893), None, None, 0, ["CHS"]),
    ("4.5.2 with the pack", ("REG_DWORD", 379893), ("REG_DWORD", 379893), None, 0, []),
    ("4.8 with the pack on Windows 10", ("REG_DWORD", 528040), ("REG_DWORD", 528040), "win10", 0, []),
    ("4.8 without the pack on Windows 10", ("REG_DWORD", 528040), None, "win10", 5100, []),
    ("a text in place of the number", ("REG_SZ", "379893"), ("REG_DWORD", 379893), None, 0, ["ENU", "CHS"]),
    ("the pack's key alone", None, ("REG_DWORD", 379893), None, 0, ["ENU", "CHS"]),
]


def query(key):
    return qvtest.reg(ARCH, "query", key, *(["/reg:64"] if ARCH == "win64" else [])).stdout.decode("latin-1")


def account_temp():
    """The account's temp folder, as the prefix's registry gives it to every program."""
    out = qvtest.reg(ARCH, "query", "HKCU\\Environment", "/v", "TEMP").stdout.decode("latin-1")
    return re.search(r"TEMP\s+REG_(?:EXPAND_)?SZ\s+(.+)", out).group(1).strip()


def read_run_log(exe):
    """The one log the run of `exe` left in the account's temp folder (Wine's %TEMP% comes from
    the prefix's registry), found by the command line on its first line, as text, after checking
    its bytes."""
    temp = qvtest.linux_path(ARCH, account_temp())
    found = []
    for name in os.listdir(temp):
        if re.fullmatch(r"QvKu_\d{8}_\d{6}(_\d+)?\.log", name):
            with open(os.path.join(temp, name), "rb") as f:
                if qvtest.win_path(exe).encode() + b" " in f.readline():
                    found.append(os.path.join(temp, name))
    assert len(found) == 1, found
    data = open(found[0], "rb").read()
    assert data.startswith(b"\xef\xbb\xbf"), data[:16]
    lines = data[3:].split(b"\r\n")
    assert lines[-1] == b"", "the last line ends with CR LF"
    for line in lines[:-1]:
        assert b"\n" not in line and b"\r" not in line, line
        assert re.match(rb"^\d\d:\d\d:\d\d\.\d\d\d ", line), line
    return data[3:].decode("utf-8")


class AlreadyInstalled(E2E):
    def setUp(self):
        super().setUp()
        self.saved = {key: query(key) for key in (FULL, PACK)}
        self.saved_nt = query(NT)

    def tearDown(self):
        for key in (PACK, FULL):
            qvtest.delete_reg(ARCH, key, "Release")
        for key, text in self.saved.items():
            for line in text.splitlines():
                parts = line.split()
                if len(parts) >= 3 and parts[0] == "Release":
                    qvtest.set_reg(ARCH, key, "Release", parts[1], parts[2] if parts[1] == "REG_SZ" else int(parts[2], 0))
        self.restore_windows()
        for name in os.listdir(self.scratch.path):
            if name.endswith(".exe"):
                qvtest.delete_reg(ARCH, "HKCU\\Software\\Wine\\AppDefaults\\" + name, view64=False)
        super().tearDown()

    def restore_windows(self):
        for name in ["CurrentVersion", "CurrentMajorVersionNumber"]:
            qvtest.delete_reg(ARCH, NT, name)
        for line in self.saved_nt.splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[0] in ("CurrentVersion", "CurrentMajorVersionNumber"):
                qvtest.set_reg(ARCH, NT, parts[0], parts[1], parts[2] if parts[1] == "REG_SZ" else int(parts[2], 0))

    def set_release(self, key, value):
        qvtest.delete_reg(ARCH, key, "Release")
        if value is not None:
            qvtest.set_reg(ARCH, key, "Release", value[0], value[1])

    def test_what_is_there_decides_what_runs_and_the_log_says_so(self):
        for i, (what, runtime, pack, version, code, started) in enumerate(CASES):
            with self.subTest(what):
                self.set_release(FULL, runtime)
                self.set_release(PACK, pack)
                exe = self.scratch.copy_exe(f"QvKuDetect{i}.exe")
                if version:
                    # Windows 10 as the naming sees it: 6.2 reported to a program without a
                    # supportedOS manifest, and the major version 10 in the registry.
                    qvtest.set_windows_version(ARCH, os.path.basename(exe), version)
                    qvtest.set_reg(ARCH, NT, "CurrentVersion", "REG_SZ", "6.3")
                    qvtest.set_reg(ARCH, NT, "CurrentMajorVersionNumber", "REG_DWORD", 10)
                open(self.log, "w").close()
                env = {"QVKU_STANDIN_ENU_DELAY": "50", "QVKU_STANDIN_CHS_DELAY": "50"}
                code_seen = qvtest.run_installer(ARCH, exe, ["-s"], env=env, log=self.log)
                if version:
                    self.restore_windows()
                self.assertEqual(code_seen, code)
                self.assertEqual([e["standin"] for e in self.entries("start")], started)
                log = read_run_log(exe)
                self.assertIn("run mode: silent (by the switch \"-s\")", log)
                self.assertIn("installed already: runtime ", log)
                self.assertRegex(log, r"exit code %d: " % code)
                if not started:
                    self.assertNotIn("work folder", log, "nothing may be written when nothing is to do")
                if version:
                    self.assertIn("Windows: an unnamed Windows (6.2.", log, "the run was on Windows 10")
                if runtime and runtime[0] == "REG_SZ":
                    self.assertIn("REG_SZ, not a DWORD", log)

    def test_the_log_tells_the_programs_and_a_log_that_cannot_be_written_changes_nothing(self):
        exe = self.scratch.copy_exe("QvKuLogged.exe")
        self.assertEqual(qvtest.run_installer(ARCH, exe, ["-s"], env={"QVKU_STANDIN_CHS_EXIT": "1603"}, log=self.log),
                         1603)
        log = read_run_log(exe)
        for part in ["QvKu V1.0.0.2, command line: ", "Windows: ", "work folder: C:\\windows\\temp\\~qvku.",
                     "payload written", "qvzip.qv\" X \"NET4.5.7z\" -R -Y in C:\\windows\\temp\\~qvku.",
                     "AllOS-CHS.exe\" /q /norestart /pipe QvKu.Section.", "ended with exit code 1603 after ",
                     "exit code 1603: the install failed"]:
            self.assertIn(part, log)
        self.assertEqual(len(re.findall(r"ended with exit code", log)), 3, log)

        # The account's temp folder gone: no log, and the same install.
        missing = qvtest.win_path(self.scratch.file("no-such-folder"))
        temp = account_temp()
        try:
            for name in ("TEMP", "TMP"):
                qvtest.set_reg(ARCH, "HKCU\\Environment", name, "REG_SZ", missing, view64=False)
            open(self.log, "w").close()
            unlogged = self.scratch.copy_exe("QvKuUnlogged.exe")
            self.assertEqual(qvtest.run_installer(ARCH, unlogged, ["-s"], log=self.log), 0)
            self.assertEqual([e["standin"] for e in self.entries("start")], ["ENU", "CHS"])
        finally:
            for name in ("TEMP", "TMP"):
                qvtest.set_reg(ARCH, "HKCU\\Environment", name, "REG_SZ", temp, view64=False)
        self.assertFalse(os.path.exists(self.scratch.file("no-such-folder")))

    def test_the_window_tells_what_was_found_and_installs_only_the_pack(self):
        self.set_release(FULL, ("REG_DWORD", 461814))
        self.set_release(PACK, None)
        release = self.scratch.file("release-chs")
        exe = self.scratch.copy_exe("QvKuPackOnly.exe")
        run = qvtest.Run(ARCH, exe, ["-a"], log=self.log, env={"QVKU_STANDIN_CHS_WAITFILE": qvtest.win_path(release)})
        self.assertTrue(qvtest.wait_until(lambda: self.entries("start", "CHS"), 60), "the pack never started")
        state = qvtest.window_state(ARCH)
        self.assertEqual(state["notes"].get("netfx"), "runtime Release=461814, language pack absent: PackOnly")
        self.assertTrue(state["Image13"]["visible"], "the strip goes on as usual")
        open(release, "w").close()
        self.assertEqual(run.wait(), 0)
        self.assertEqual([e["standin"] for e in self.entries("start")], ["CHS"])


if __name__ == "__main__":
    unittest.main()
