"""What goes wrong in the field, in silent runs with the stand-in installers: installers that fail
or ask for a restart, a broken payload, a work folder planted beforehand, two runs at once and a
full disk. Each run has a Windows folder of its own, so that the work folders it leaves can be
told apart; whatever happens, the run ends, its exit code tells what happened, and no work
folder stays."""
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
FAULTS = os.path.join(qvtest.BUILD, "faults")
SLOW_EXE = os.path.join(qvtest.BUILD, "slow", "QvKu.exe")
FAST = {"QVKU_STANDIN_ENU_DELAY": "50", "QVKU_STANDIN_CHS_DELAY": "50"}


def unmount(path):
    # A program of the run that has not quite ended may still hold the file system.
    if subprocess.run(["umount", path], capture_output=True).returncode != 0:
        subprocess.run(["umount", "-l", path], capture_output=True)


class Faults(E2E):
    def setUp(self):
        super().setUp()
        self.windows = os.path.join(self.scratch.path, "windows")
        self.temp = os.path.join(self.windows, "temp")
        os.makedirs(self.temp)

    def tearDown(self):
        # Mounts and immutable files go before the scratch folder does.
        self.doCleanups()
        super().tearDown()

    def run_silent(self, exe, env=None, windows=None, name="QvKuFault.exe"):
        copy = self.scratch.copy_exe(name, source=exe)
        return qvtest.WindirRun(ARCH, copy, ["-s"], windir=windows or qvtest.win_path(self.windows),
                                env=dict(FAST, **(env or {})), log=self.log)

    def assertNoWorkFolderLeft(self, temp=None, keep=()):
        temp = temp or self.temp
        left = lambda: [n for n in qvtest.work_folders(temp) if n not in keep]
        self.assertTrue(qvtest.wait_until(lambda: not left(), 60), f"work folders left behind: {left()}")

    def test_installer_failure_or_restart_request_decides_the_exit_code(self):
        cases = [
            ("QVKU_STANDIN_ENU_EXIT", "1603", 1603),
            ("QVKU_STANDIN_ENU_EXIT", "3010", 3010),
            ("QVKU_STANDIN_ENU_EXIT", "1641", 3010),
        ]
        for variable, code, expected in cases:
            with self.subTest(**{variable: code}):
                open(self.log, "w").close()
                self.assertEqual(self.run_silent(qvtest.EXE, {variable: code}).wait(), expected)
                self.assertEqual([e["standin"] for e in self.entries("end")], ["ENU", "CHS"])
                self.assertNoWorkFolderLeft()

    def test_broken_payload_ends_with_1603_before_any_installer(self):
        cases = [
            ("the extractor fails on a corrupt archive", os.path.join(FAULTS, "corrupt", "QvKu.exe")),
            ("the archive resource is missing", os.path.join(FAULTS, "noarchive", "QvKu.exe")),
            ("the language pack is missing after unpacking", os.path.join(FAULTS, "nochs", "QvKu.exe")),
        ]
        for what, exe in cases:
            with self.subTest(what):
                self.assertTrue(os.path.exists(exe), exe)
                open(self.log, "w").close()
                self.assertEqual(self.run_silent(exe).wait(), 1603)
                self.assertEqual(self.entries("start"), [], "no installer may run from a broken payload")
                self.assertNoWorkFolderLeft()

    def test_likely_work_folder_names_taken_first_change_nothing(self):
        # Someone made "~qvku.tmp" first and put a program of theirs in it as the extractor, one
        # that cannot be overwritten (immutable even for root, which Wine runs as here), and took
        # the other names a guess would try with folders, files and links to a folder of theirs.
        planted = os.path.join(self.temp, "~qvku.tmp")
        os.mkdir(planted)
        hostile = os.path.join(planted, "qvzip.qv")
        shutil.copyfile(os.path.join(qvtest.BUILD, "qvku_standin.exe"), hostile)
        with open(hostile, "rb") as f:
            hostile_bytes = f.read()
        subprocess.run(["chattr", "+i", hostile], check=True)
        self.addCleanup(subprocess.run, ["chattr", "-i", hostile])
        theirs = os.path.join(self.scratch.path, "theirs")
        os.mkdir(theirs)
        for i in range(1, 31):
            guess = os.path.join(self.temp, f"~qvku.{i}.tmp")
            [os.mkdir, lambda p: open(p, "w").close(), lambda p: os.symlink(theirs, p)][i % 3](guess)
        before = sorted(os.listdir(self.temp))

        self.assertEqual(self.run_silent(qvtest.EXE).wait(), 0)
        self.assertEqual([e["standin"] for e in self.entries("start")], ["ENU", "CHS"],
                         "the planted program ran, or an installer did not")
        work = self.entries("start", "ENU")[0]["cwd"][: -len("\\NET4.5")]
        self.assertRegex(work, "^" + re.escape(qvtest.win_path(self.temp) + "\\") + qvtest.WORK_FOLDER + "$")
        self.assertNoWorkFolderLeft()
        self.assertEqual(sorted(os.listdir(self.temp)), before, "a planted name was removed or added to")
        self.assertEqual(os.listdir(planted), ["qvzip.qv"])
        self.assertEqual(os.listdir(theirs), [], "the run wrote through a planted link")
        with open(hostile, "rb") as f:
            self.assertEqual(f.read(), hostile_bytes)

    def test_two_runs_at_once_each_in_its_own_folder_with_its_own_exit_code(self):
        release = self.scratch.file("release")
        wait = {"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release)}
        runs = {"QvKuFirst.exe": (self.run_silent(qvtest.EXE, wait, name="QvKuFirst.exe"), 0),
                "QvKuSecond.exe": (self.run_silent(qvtest.EXE, dict(wait, QVKU_STANDIN_ENU_EXIT="1603"),
                                                   name="QvKuSecond.exe"), 1603)}
        # Both main installers run at the same moment before either may end.
        self.assertTrue(qvtest.wait_until(lambda: len(self.entries("start", "ENU")) == 2, 90),
                        f"both runs should reach their installer: {self.entries()}")
        open(release, "w").close()
        for name, (run, expected) in runs.items():
            self.assertEqual(run.wait(), expected, name)
        folders = {e["parent"]: e["cwd"] for e in self.entries("start", "ENU")}
        self.assertEqual(sorted(folders), sorted(runs))
        self.assertNotEqual(folders["QvKuFirst.exe"], folders["QvKuSecond.exe"])
        for name in runs:
            self.assertEqual(len([e for e in self.entries("start", "CHS") if e["parent"] == name]), 1, name)
        self.assertNoWorkFolderLeft()

    def test_full_disk_while_the_payload_is_written_or_unpacked(self):
        # Drive M: of the prefix is a small file system of its own, and the Windows folder lies on
        # it. The slow payload's archive is 41.5 MB and unpacks to 42 MB: 8 MB fills while the
        # archive is written, 44 MB while it is unpacked, 200 MB is enough.
        drive = os.path.join(qvtest.prefix(ARCH), "dosdevices", "m:")
        if os.path.islink(drive) and os.readlink(drive).startswith(os.path.join(qvtest.BUILD, "e2e-tmp")):
            os.unlink(drive)  # left by an earlier run of this test that was killed
        self.assertFalse(os.path.lexists(drive), "drive M: of the prefix is taken")
        cases = [("8m", 1603), ("44m", 1603), ("200m", 0)]
        for size, expected in cases:
            with self.subTest(size=size):
                disk = os.path.join(self.scratch.path, "disk-" + size)
                os.mkdir(disk)
                mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "qvku-test", disk],
                                         capture_output=True, text=True)
                self.assertEqual(mounted.returncode, 0, "cannot mount a small file system: " + mounted.stderr)
                os.symlink(disk, drive)
                try:
                    open(self.log, "w").close()
                    self.assertEqual(self.run_silent(SLOW_EXE, windows="M:\\windows").wait(), expected)
                    self.assertEqual(len(self.entries("start")), 2 if expected == 0 else 0)
                    self.assertNoWorkFolderLeft(os.path.join(disk, "windows", "temp"))
                finally:
                    # The link may never have been made; the file system goes all the same.
                    if os.path.lexists(drive):
                        os.unlink(drive)
                    unmount(disk)

if __name__ == "__main__":
    unittest.main()
