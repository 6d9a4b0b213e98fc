"""The window run by hand: it appears centred, the install hotspot runs the sequence with the
busy layout, and closing it before the install starts nothing. Closing it during the install is
in test_faults_window, with the same closes in auto mode."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
BUSY_HIDDEN = ["Image5", "Image4", "Image6", "Image7", "Image8", "Image9", "Label5", "Label7"]
BUSY_SHOWN = ["Image10", "Image11", "Image12", "Image13", "Label9", "Label1", "Image2"]


class Interactive(E2E):
    def start(self, name, env=None, exe=qvtest.EXE, args=()):
        self.exe = self.scratch.copy_exe(name, source=exe)
        self.run_ = qvtest.Run(ARCH, self.exe, list(args), log=self.log, env=env)
        state = qvtest.wait_for_state(ARCH, lambda s: s["form"]["visible"], 30)
        self.assertTrue(state and state["form"]["visible"], "the window did not appear")
        return state

    def test_window_appears_centred_and_the_install_hotspot_installs(self):
        release = self.scratch.file("release")
        state = self.start("QvKuHand.exe", env={"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release)})
        form = state["form"]
        self.assertEqual((form["width"], form["height"]), (402, 160))
        self.assertEqual(form["left"], (1280 - 402) // 2)
        self.assertEqual(form["top"], (1024 - 160) // 2)
        self.assertTrue(form["topmost"])
        for name in ["Label2", "Label3", "Label4"]:
            self.assertTrue(state[name]["enabled"], name)
        self.assertEqual(state["Label9"]["text"], b"Windows 7/Vista SP2/2008/8/8.1(X86/X64)")

        qvtest.click_element(state, "Label3")
        busy = qvtest.wait_for_state(ARCH, lambda s: not s["Label3"]["enabled"] and self.entries("start", "ENU"), 60)
        for name in ["Label2", "Label3", "Label4"]:
            self.assertFalse(busy[name]["enabled"], name)
        self.assertTrue(busy["Label1"]["enabled"], "the close button stays live")
        for name in BUSY_HIDDEN:
            self.assertFalse(busy[name]["visible"], name)
        for name in BUSY_SHOWN:
            self.assertTrue(busy[name]["visible"], name)
        self.assertTrue(busy["Timer1"]["enabled"])
        self.assertEqual(busy["Label9"]["text"], b"Installing .NET Framework 4.5.2, please wait ......")
        self.assertGreaterEqual(busy["Image13"]["width"], 20)
        time.sleep(2.5)
        later = qvtest.window_state(ARCH)
        self.assertGreater(later["Image13"]["width"], busy["Image13"]["width"], "the strip grows while waiting")

        open(release, "w").close()
        self.assertEqual(self.run_.wait(), 0)
        self.assertEqual([e["standin"] for e in self.entries("end")], ["ENU", "CHS"])
        self.assertWorkFolderGone(ARCH, self.entries("start")[0]["cwd"][: -len("\\NET4.5")])

    def test_closing_without_installing(self):
        state = self.start("QvKuJustClose.exe")
        qvtest.click_element(state, "Label1")
        self.assertEqual(self.run_.wait(timeout=60), 1602)
        self.assertEqual(self.entries("start"), [])


if __name__ == "__main__":
    unittest.main()
