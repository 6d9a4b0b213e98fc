"""Programs an ordinary user could plant where a search would find them: cmd and ping as .exe,
.com and .bat, in the installer's folder, in the current folder, in <windir>\\temp and in a
folder of theirs put first on PATH. The installer runs elevated; none of them may ever start,
in any unattended mode and on the close path, while the removals and the self-delete still do
their work. A handler that fails ends the run with 1603 and no box, and a silent run needs no
window system at all."""
import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
SETUP = "HKLM\\SYSTEM\\Setup"
FAST = {"QVKU_STANDIN_ENU_DELAY": "50", "QVKU_STANDIN_CHS_DELAY": "50"}
NAMES = ["cmd", "ping"]
EXTENSIONS = [".exe", ".com", ".bat"]


class PlantedPrograms(E2E):
    def setUp(self):
        super().setUp()
        self.windows = os.path.join(self.scratch.path, "windows")
        self.temp = os.path.join(self.windows, "temp")
        self.cwd = os.path.join(self.scratch.path, "current")
        self.user = os.path.join(self.scratch.path, "userbin")
        self.installer_dir = os.path.join(self.scratch.path, "downloads")
        for folder in [self.temp, self.cwd, self.user, self.installer_dir]:
            os.makedirs(folder)
        self.hostile_log = self.scratch.file("hostile.log")
        # A planted program logs that it ran: the stand-in under another name logs its start to
        # the stand-in log; a batch file appends a line of its own.
        for folder in [self.installer_dir, self.cwd, self.temp, self.user]:
            for name in NAMES:
                for ext in EXTENSIONS:
                    path = os.path.join(folder, name + ext)
                    if ext == ".bat":
                        with open(path, "w", newline="\r\n") as f:
                            f.write(f"@echo hostile {name}{ext} >> {qvtest.win_path(self.hostile_log)}\n")
                    else:
                        shutil.copyfile(os.path.join(qvtest.BUILD, "qvku_standin.exe"), path)

    def tearDown(self):
        qvtest.delete_reg(ARCH, SETUP, "SystemSetupInProgress")
        super().tearDown()

    def start(self, args, env=None, name="QvKuPlanted.exe"):
        exe = os.path.join(self.installer_dir, name)
        shutil.copyfile(qvtest.EXE, exe)
        run = qvtest.WindirRun(ARCH, exe, args, windir=qvtest.win_path(self.windows), log=self.log,
                               env=dict(FAST, **(env or {})), path_first=qvtest.win_path(self.user), cwd=self.cwd)
        return exe, run

    def assertNothingPlantedRan(self):
        # The removal and self-delete commands run detached and pause: give them their time.
        time.sleep(8)
        self.assertEqual([e for e in self.entries("start") if e.get("standin") == "OTHER"], [],
                         "a planted program was started")
        self.assertFalse(os.path.exists(self.hostile_log), "a planted batch file was run")

    def test_no_planted_program_ever_runs_and_the_commands_still_do_their_work(self):
        cases = [
            ("silent, self-delete", ["-s", "-d"], False, None, 0),
            ("auto, self-delete", ["-a", "-d"], False, None, 0),
            ("deployment", [], True, None, 0),
            ("auto, closed while the main installer runs", ["-a", "-d"], False, "close", 1602),
        ]
        for what, args, deployment, close, expected in cases:
            with self.subTest(what):
                open(self.log, "w").close()
                if deployment:
                    qvtest.set_reg(ARCH, SETUP, "SystemSetupInProgress", "REG_DWORD", 1)
                release = self.scratch.file("release")
                env = {"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release)} if close else None
                exe, run = self.start(args, env, name=f"QvKuPlanted{len(args)}{int(deployment)}{int(bool(close))}.exe")
                if close:
                    self.assertTrue(qvtest.wait_until(lambda: self.entries("start", "ENU"), 60))
                    qvtest.probe(ARCH, "close")
                    self.assertEqual(run.wait(60), expected)
                    open(release, "w").close()
                else:
                    self.assertEqual(run.wait(), expected)
                qvtest.delete_reg(ARCH, SETUP, "SystemSetupInProgress")
                self.assertNothingPlantedRan()
                self.assertTrue(qvtest.wait_until(lambda: not qvtest.work_folders(self.temp), 60),
                                f"work folders left behind: {qvtest.work_folders(self.temp)}")
                self.assertTrue(qvtest.wait_until(lambda: not os.path.exists(exe), 60), "the executable stayed")
                if os.path.exists(release):
                    os.unlink(release)


class HandlerFailure(E2E):
    """In the test build that takes the request to fail inside a handler (the shipped program
    ignores it: test_packaging)."""

    def tearDown(self):
        qvtest.delete_reg(ARCH, SETUP, "SystemSetupInProgress")
        super().tearDown()

    def test_a_failing_handler_ends_an_unattended_run_with_1603_and_no_box(self):
        for what, args, deployment in [("silent", ["-s"], False), ("deployment", [], True)]:
            with self.subTest(what):
                open(self.log, "w").close()
                if deployment:
                    qvtest.set_reg(ARCH, SETUP, "SystemSetupInProgress", "REG_DWORD", 1)
                windows = os.path.join(self.scratch.path, "windows-" + what)
                temp = os.path.join(windows, "temp")
                os.makedirs(temp)
                release = self.scratch.file("release-" + what)
                exe = self.scratch.copy_exe(f"QvKuFail{what}.exe", source=qvtest.FAULT_REQUESTS_EXE)
                run = qvtest.WindirRun(ARCH, exe, args, windir=qvtest.win_path(windows), log=self.log,
                                       env={"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release)})
                self.assertTrue(qvtest.wait_until(lambda: self.entries("start", "ENU"), 60))
                qvtest.probe(ARCH, "fail")
                self.assertEqual(run.wait(60), 1603, "the run must end at once with 1603")
                self.assertIn("no-box", qvtest.probe(ARCH, "msgbox", "1000"))
                open(release, "w").close()
                time.sleep(1)
                self.assertEqual([e["standin"] for e in self.entries("start")], ["ENU"], "nothing starts after it")
                self.assertTrue(qvtest.wait_until(lambda: not qvtest.work_folders(temp), 60))
                qvtest.delete_reg(ARCH, SETUP, "SystemSetupInProgress")


class NoWindowSystem(E2E):
    def test_a_silent_run_without_a_display_ends_with_the_installers_code(self):
        for code, expected in [("0", 0), ("3010", 3010), ("1603", 1603)]:
            with self.subTest(exit=code):
                open(self.log, "w").close()
                exe = self.scratch.copy_exe(f"QvKuHeadless{code}.exe")
                env = dict(FAST, QVKU_STANDIN_CHS_EXIT=code, DISPLAY="")
                self.assertEqual(qvtest.run_installer(ARCH, exe, ["-s"], env=env, log=self.log), expected)
                self.assertEqual([e["standin"] for e in self.entries("end")], ["ENU", "CHS"])

    def test_auto_mode_without_a_display_ends_at_once_with_1603(self):
        exe = self.scratch.copy_exe("QvKuHeadlessAuto.exe")
        start = time.time()
        self.assertEqual(qvtest.run_installer(ARCH, exe, ["-a"], env=dict(FAST, DISPLAY=""), log=self.log), 1603)
        self.assertLess(time.time() - start, 30)
        self.assertEqual(self.entries("start"), [], "nothing is installed with nothing to show")


if __name__ == "__main__":
    unittest.main()
