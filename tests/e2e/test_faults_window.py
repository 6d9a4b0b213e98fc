"""The window closed in the middle of an install, run by hand (the install button clicked) and
automatically ("-a", the busy window without a click): during the pause while the payload is
written, while the extractor runs and while the main installer runs. The run ends at once with
1602, no further program starts, and the work folder goes once the program left running has
ended. Each run has a Windows folder of its own, so the work folder and the extractor looked at
are this run's and no other test's."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
SLOW_EXE = os.path.join(qvtest.BUILD, "slow", "QvKu.exe")
MODES = {"interactive": [], "auto": ["-a"]}
PHASES = {"pause": "in the pause, while the payload is written", "extractor": "while the extractor runs",
          "ENU": "while the main installer runs"}


def close_button(state):
    qvtest.click_element(state, "Label1")


def system_close(state):
    qvtest.probe(ARCH, "close")


# mode, what runs when the window is closed, the installer (the slow one unpacks for seconds),
# how it is closed
CASES = [
    ("interactive", "extractor", SLOW_EXE, close_button),
    ("interactive", "ENU", qvtest.EXE, close_button),
    ("auto", "pause", qvtest.EXE, close_button),
    ("auto", "extractor", SLOW_EXE, close_button),
    ("auto", "ENU", qvtest.EXE, system_close),
]


class ClosedWhileInstalling(E2E):
    def test_closing_ends_the_run_with_1602_and_starts_nothing_more(self):
        for mode, running, exe, close in CASES:
            with self.subTest(f"{mode}: {close.__name__.replace('_', ' ')} {PHASES[running]}"):
                windows = os.path.join(self.scratch.path, f"windows-{mode}-{running}")
                temp = os.path.join(windows, "temp")
                os.makedirs(temp)
                open(self.log, "w").close()
                release = self.scratch.file(f"release-{mode}-{running}")
                copy = self.scratch.copy_exe(f"QvKuClose{mode}{running}.exe", source=exe)
                run = qvtest.WindirRun(ARCH, copy, MODES[mode], windir=qvtest.win_path(windows), log=self.log,
                                       env={"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release)})
                state = qvtest.wait_for_state(ARCH, lambda s: s["form"]["visible"], 60)
                self.assertTrue(state and state["form"]["visible"], "the window did not appear")
                if mode == "interactive":
                    self.assertTrue(state["Label3"]["enabled"], "interactive mode waits for the install button")
                    qvtest.click_element(state, "Label3")
                # This run's extractor: the one in the work folder under this run's Windows folder.
                extractor = os.path.basename(self.scratch.path) + f".*windows-{mode}-{running}.*qvzip\\.qv"
                if running == "pause":
                    busy = lambda: qvtest.work_folders(temp)
                elif running == "extractor":
                    busy = lambda: qvtest.process_running(extractor)
                else:
                    busy = lambda: self.entries("start", "ENU")
                self.assertTrue(qvtest.wait_until(busy, 60, 0.05), f"the {running} never ran")

                closed_at = time.time()
                close(state)
                unpacked = False
                while running == "pause" and run.proc.poll() is None and time.time() - closed_at < 60:
                    unpacked = unpacked or qvtest.process_running(extractor) or any(
                        os.path.isdir(os.path.join(temp, n, "NET4.5")) for n in qvtest.work_folders(temp))
                    time.sleep(0.02)
                self.assertFalse(unpacked, "the extractor ran after the close")
                self.assertEqual(run.wait(60), 1602)
                self.assertLess(time.time() - closed_at, 5, "the program should end right after the close")
                if running == "extractor":
                    self.assertTrue(qvtest.wait_until(lambda: not qvtest.process_running(extractor), 60))
                elif running == "ENU":
                    self.assertEqual(self.entries("end", "ENU"), [], "the installer keeps running, nothing stops it")
                    open(release, "w").close()
                    self.assertTrue(qvtest.wait_until(lambda: self.entries("end", "ENU"), 60))
                time.sleep(1)
                started = [e["standin"] for e in self.entries("start")]
                self.assertEqual(started, ["ENU"] if running == "ENU" else [],
                                 "no program may start after the close")
                self.assertTrue(qvtest.wait_until(lambda: not qvtest.work_folders(temp), 60),
                                f"work folders left behind: {qvtest.work_folders(temp)}")


if __name__ == "__main__":
    unittest.main()
