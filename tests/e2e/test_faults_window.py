"""The window closed in the middle of an install, run by hand (the install button clicked) and
automatically ("-a", the busy window without a click): during the pause while the payload is
written, while the extractor runs and while the main installer runs. The run ends with 1602, no
further program starts, and the work folder goes. A main installer that speaks its progress
protocol is asked to cancel, rolls back while the window says so, and the run ends once it has;
a second close stops waiting at once; one that does not speak it is left running, as before.
Each run has a Windows folder of its own, so the work folder and the extractor looked at are
this run's and no other test's."""
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


def close_twice(state):
    close_button(state)
    time.sleep(0.5)
    close_button(state)


# How the main installer takes the protocol: it reports progress (and so can be cancelled), or
# it ignores the switch as an older installer would.
SPEAKS = {"QVKU_STANDIN_ENU_PROGRESS": "5,10", "QVKU_STANDIN_ENU_ROLLBACK": "1500"}
IGNORES = {"QVKU_STANDIN_ENU_PIPE": "ignore"}
SLOW_ROLLBACK = {"QVKU_STANDIN_ENU_PROGRESS": "5", "QVKU_STANDIN_ENU_ROLLBACK": "20000"}

# mode, what runs when the window is closed, the installer (the slow one unpacks for seconds),
# how it is closed, the main installer's settings
CASES = [
    ("interactive", "extractor", SLOW_EXE, close_button, {}),
    ("interactive", "ENU", qvtest.EXE, close_button, SPEAKS),
    ("interactive", "ENU", qvtest.EXE, close_button, IGNORES),
    ("auto", "pause", qvtest.EXE, close_button, {}),
    ("auto", "extractor", SLOW_EXE, close_button, {}),
    ("auto", "ENU", qvtest.EXE, system_close, SPEAKS),
    ("auto", "ENU", qvtest.EXE, close_twice, SLOW_ROLLBACK),
]
CANCELLING = b"Cancelling the installation, please wait ......"


class ClosedWhileInstalling(E2E):
    def test_closing_ends_the_run_with_1602_and_starts_nothing_more(self):
        for i, (mode, running, exe, close, installer) in enumerate(CASES):
            how = "ignoring the protocol" if installer is IGNORES else "slow to roll back" if installer is SLOW_ROLLBACK else ""
            with self.subTest(f"{mode}: {close.__name__.replace('_', ' ')} {PHASES[running]} {how}"):
                windows = os.path.join(self.scratch.path, f"windows-{mode}-{running}{i}")
                temp = os.path.join(windows, "temp")
                os.makedirs(temp)
                open(self.log, "w").close()
                release = self.scratch.file(f"release-{mode}-{running}{i}")
                copy = self.scratch.copy_exe(f"QvKuClose{mode}{running}{i}.exe", source=exe)
                run = qvtest.WindirRun(ARCH, copy, MODES[mode], windir=qvtest.win_path(windows), log=self.log,
                                       env=dict(installer, QVKU_STANDIN_ENU_WAITFILE=qvtest.win_path(release)))
                state = qvtest.wait_for_state(ARCH, lambda s: s["form"]["visible"], 60)
                self.assertTrue(state and state["form"]["visible"], "the window did not appear")
                if mode == "interactive":
                    self.assertTrue(state["Label3"]["enabled"], "interactive mode waits for the install button")
                    qvtest.click_element(state, "Label3")
                # This run's extractor: the one in the work folder under this run's Windows folder.
                extractor = os.path.basename(self.scratch.path) + f".*windows-{mode}-{running}{i}.*qvzip\\.qv"
                if running == "pause":
                    busy = lambda: qvtest.work_folders(temp)
                elif running == "extractor":
                    busy = lambda: qvtest.process_running(extractor)
                elif installer is IGNORES:
                    busy = lambda: self.entries("start", "ENU")
                else:
                    busy = lambda: self.entries("progress", "ENU")
                self.assertTrue(qvtest.wait_until(busy, 60, 0.05), f"the {running} never ran")
                if installer:
                    time.sleep(0.3)  # its report is read within a slice

                closed_at = time.time()
                close(state)
                unpacked = False
                while running == "pause" and run.proc.poll() is None and time.time() - closed_at < 60:
                    unpacked = unpacked or qvtest.process_running(extractor) or any(
                        os.path.isdir(os.path.join(temp, n, "NET4.5")) for n in qvtest.work_folders(temp))
                    time.sleep(0.02)
                self.assertFalse(unpacked, "the extractor ran after the close")
                if installer is SPEAKS:
                    # Rolling back: the window stays and says so, and the run waits for the installer.
                    self.assertTrue(qvtest.wait_until(lambda: self.entries("abort", "ENU"), 10), "no abort reached it")
                    state = qvtest.window_state(ARCH)
                    self.assertTrue(state["form"]["visible"], "the window stays while the installer rolls back")
                    self.assertEqual(state["Label9"]["text"], CANCELLING)
                    self.assertTrue(run.running(), "the run waits for the rollback")
                self.assertEqual(run.wait(60), 1602)
                self.assertLess(time.time() - closed_at, 5, "the program should end right after the close")
                if running == "extractor":
                    self.assertTrue(qvtest.wait_until(lambda: not qvtest.process_running(extractor), 60))
                elif installer is SPEAKS:
                    end = self.entries("end", "ENU")
                    self.assertEqual([(e["exit"], e["hr"]) for e in end], [("1602", "0x80004004")],
                                     "it cancelled and rolled back before the run ended")
                elif running == "ENU":
                    self.assertEqual(self.entries("end", "ENU"), [], "the installer is left running, as before")
                    if installer is SLOW_ROLLBACK:
                        self.assertTrue(self.entries("abort", "ENU"), "the first close asked it to cancel")
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
