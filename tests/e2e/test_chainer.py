"""The installers' progress protocol, end to end with stand-ins that speak it: the strip on the
screen follows what the installer reports, the files-in-use question gets the user's answer in
the window and its default answer in a silent run, malformed shared data is survived, and an
installer that ignores the protocol installs as before. (A close during the main installer,
which cancels it, is in test_faults_window.)"""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
TRACK = 371
START = 20


def reported_width(share_before, share, fraction255, shares=100):
    return START + (TRACK - START) * (255 * share_before + share * fraction255) // (255 * shares)


class Protocol(E2E):
    def assertStripOnScreen(self, shot, state, width):
        """The strip's row on the screen shows the fill's picture up to `width` and the track's
        beyond it, at every column where the two pictures differ."""
        fill, track = qvtest.picture("Image13.jpg"), qvtest.picture("Image11.jpg")
        y = 7
        left = state["form"]["left"] + state["Image11"]["left"]
        top = state["form"]["top"] + state["Image11"]["top"] + y
        columns = [x for x in range(TRACK) if not qvtest.near(fill.getpixel((x, y)), track.getpixel((x, y)), 40)]
        inside = [x for x in columns if x < width - 2]
        outside = [x for x in columns if x > width + 2]
        self.assertTrue(inside and outside, "the fill and the track must differ to be told apart")
        for x in inside:
            self.assertTrue(qvtest.near(shot.getpixel((left + x, top)), fill.getpixel((x, y)), 24), f"column {x}")
        for x in outside:
            self.assertTrue(qvtest.near(shot.getpixel((left + x, top)), track.getpixel((x, y)), 24), f"column {x}")

    def test_the_strip_follows_the_reported_progress(self):
        release = self.scratch.file("release")
        exe = self.scratch.copy_exe("QvKuProgress.exe")
        began = time.time()
        run = qvtest.Run(ARCH, exe, ["-a"], log=self.log, env={
            "QVKU_STANDIN_ENU_PROGRESS": "40,120,200,240", "QVKU_STANDIN_ENU_PAUSE": "300",
            "QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release)})
        self.assertTrue(qvtest.wait_until(lambda: any(e.get("so_far") == "240" for e in self.entries("progress", "ENU")),
                                          60, 0.05), "the installer never reported")
        reported_at = time.time()
        expected = reported_width(0, 91, 240)
        state = None
        while time.time() - reported_at < 5:
            state = qvtest.window_state(ARCH)
            if state["Image13"]["width"] >= expected:
                break
        self.assertEqual(state["Image13"]["width"], expected, "the strip shows the report")
        self.assertGreater(expected, START + 2 + 10 * (time.time() - began), "far ahead of one pixel a second")
        self.assertStripOnScreen(qvtest.screenshot(), state, expected)
        open(release, "w").close()
        self.assertEqual(run.wait(), 0)

    def test_files_in_use_get_the_users_answer_in_the_window_and_the_default_when_silent(self):
        apps = "Outlook.exe:4242;WINWORD.EXE:77"
        cases = [
            ("window, Yes by the keyboard", ["-a"], "key", "6"),
            ("window, No by its button", ["-a"], "no", "7"),
            ("silent: no box, the default", ["-s"], None, "7"),
        ]
        for i, (what, args, press, answer) in enumerate(cases):
            with self.subTest(what):
                open(self.log, "w").close()
                exe = self.scratch.copy_exe(f"QvKuInUse{i}.exe")
                run = qvtest.Run(ARCH, exe, args, log=self.log, env={"QVKU_STANDIN_ENU_FILESINUSE": apps})
                if press:
                    out = qvtest.probe(ARCH, "msgbox", "30000", "none" if press == "key" else press)
                    fields = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
                    self.assertIn("text", fields, out)
                    text = bytes.fromhex(fields["text"])
                    self.assertIn(b"Outlook.exe", text)
                    self.assertIn(b"WINWORD.EXE", text)
                    self.assertIn(b"Close them now?", text)
                    self.assertEqual(bytes.fromhex(fields["caption"]), b"Vorlix")
                    if press == "key":
                        time.sleep(0.3)
                        subprocess.run(["xdotool", "key", "Return"], check=True)
                else:
                    self.assertEqual(qvtest.probe(ARCH, "msgbox", "3000").strip(), "no-box")
                self.assertEqual(run.wait(60), 0)
                got = [e.get("answer") for e in self.entries("answer", "ENU")]
                self.assertEqual(got, [answer])
                self.assertEqual([e["standin"] for e in self.entries("start")], ["ENU", "CHS"])

    def test_malformed_shared_data_is_survived_and_an_installer_that_ignores_it_installs_as_before(self):
        cases = [("MALFORMED", kind) for kind in ("length", "count", "names", "step")] + [("PIPE", "ignore")]
        for i, (setting, value) in enumerate(cases):
            for args in (["-s"], ["-a"]):
                with self.subTest(setting=setting, value=value, args=args):
                    open(self.log, "w").close()
                    exe = self.scratch.copy_exe(f"QvKuOdd{i}{args[0][1]}.exe")
                    run = qvtest.Run(ARCH, exe, args, log=self.log, env={f"QVKU_STANDIN_ENU_{setting}": value})
                    if args == ["-a"] and value == "names":
                        # Names that fill their field with no end are cut at it: the box names them
                        # within bounds, and the user's No goes back.
                        out = qvtest.probe(ARCH, "msgbox", "30000", "no")
                        fields = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
                        self.assertLess(len(bytes.fromhex(fields["text"])), 1200, out)
                    elif args == ["-a"] and value != "ignore":
                        # A question whose data does not add up names no application: no box.
                        self.assertEqual(qvtest.probe(ARCH, "msgbox", "4000").strip(), "no-box")
                    self.assertEqual(run.wait(60), 0)
                    self.assertEqual([e["standin"] for e in self.entries("start")], ["ENU", "CHS"])
                    self.assertEqual([e["exit"] for e in self.entries("end")], ["0", "0"])
                    if setting == "PIPE":
                        self.assertTrue(self.entries("pipe", "ENU")[0].get("ignored") == "1")


if __name__ == "__main__":
    unittest.main()
