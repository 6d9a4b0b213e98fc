"""Silent runs from the command line, with the stand-in installers, in both prefixes."""
import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import CHS, ENU, E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")


class SilentInstall(E2E):
    def test_runs_the_extractor_then_each_installer_after_the_previous_and_cleans_up(self):
        exe = self.scratch.copy_exe("QvKuSilent.exe")
        wait_file = self.scratch.file("release-enu")
        run = qvtest.Run(ARCH, exe, ["-s"], log=self.log,
                         env={"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(wait_file)})
        self.assertTrue(qvtest.wait_until(lambda: self.entries("start", "ENU"), 60), "the ENU installer never started")
        # While the main installer runs: no window of ours is on the screen, none is visible to
        # the system, and the language pack has not started.
        self.assertEqual(qvtest.visible_x_windows("qvkusilent.exe"), [])
        state = qvtest.window_state(ARCH)
        self.assertIsNotNone(state)
        self.assertFalse(state["form"]["visible"])
        self.assertEqual(self.entries("start", "CHS"), [])
        open(wait_file, "w").close()
        self.assertEqual(run.wait(), 0)

        starts, ends = self.entries("start"), self.entries("end")
        self.assertEqual([e["standin"] for e in starts], ["ENU", "CHS"])
        self.assertEqual([e["standin"] for e in ends], ["ENU", "CHS"])
        enu, chs = starts
        self.assertGreaterEqual(int(chs["tick"]), int(ends[0]["tick"]), "the pack started before the installer ended")
        work = enu["cwd"][: -len("\\NET4.5")]
        self.assertRegex(work, r"^C:\\windows\\temp\\" + qvtest.WORK_FOLDER + "$")
        self.assertEqual(enu["cwd"], work + "\\NET4.5")
        self.assertEqual(chs["cwd"], work + "\\NET4.5")
        # Each installer gets a progress channel of its own, named by 128 random bits.
        channel = r" /pipe QvKu\.Section\.[0-9a-f]{32}$"
        self.assertRegex(enu["cmd"], "^" + re.escape('"' + work + "\\NET4.5\\" + ENU + '" /q /norestart') + channel)
        self.assertRegex(chs["cmd"], "^" + re.escape('"' + work + "\\NET4.5\\" + CHS + '" /q /norestart') + channel)
        self.assertNotEqual(enu["cmd"].split()[-1], chs["cmd"].split()[-1])
        self.assertEqual(enu["self"], work + "\\NET4.5\\" + ENU)
        self.assertEqual(enu["show"], "0" if ARCH == "win64" else "1")
        self.assertEqual(chs["show"], "0")
        self.assertEqual(enu["parent"].lower(), "qvkusilent.exe")
        self.assertWorkFolderGone(ARCH, work)
        self.assertTrue(os.path.exists(exe), "without -d the executable stays")

    def test_exit_code_tells_how_the_installers_ended(self):
        exe = self.scratch.copy_exe("QvKuCodes.exe")
        cases = [
            ({}, 0),
            ({"QVKU_STANDIN_ENU_EXIT": "1603"}, 1603),
            ({"QVKU_STANDIN_CHS_EXIT": "1603"}, 1603),
            ({"QVKU_STANDIN_ENU_EXIT": "3010"}, 3010),
            ({"QVKU_STANDIN_CHS_EXIT": "1641"}, 3010),
            ({"QVKU_STANDIN_ENU_EXIT": "5100", "QVKU_STANDIN_CHS_EXIT": "1603"}, 5100),
        ]
        for env, expected in cases:
            with self.subTest(env=env):
                env = dict(env, QVKU_STANDIN_ENU_DELAY="50", QVKU_STANDIN_CHS_DELAY="50")
                self.assertEqual(qvtest.run_installer(ARCH, exe, ["-s"], env=env, log=self.log), expected)

    def test_without_windir_the_work_folder_is_in_the_systems_windows_folder(self):
        exe = self.scratch.copy_exe("QvKuNoWindir.exe")
        self.assertEqual(qvtest.run_installer(ARCH, exe, ["-s"], log=self.log, env={"QVKU_PROBE_UNSET": "windir"}), 0)
        cwd = self.entries("start", "ENU")[0]["cwd"]
        self.assertRegex(cwd, r"^C:\\windows\\temp\\" + qvtest.WORK_FOLDER + r"\\NET4\.5$")

    def test_self_delete_only_with_the_second_switch(self):
        cases = [(["-s", "-d"], False), (["/S", "/D"], False), (["-s", "x"], True), (["-s"], True)]
        exes = []
        for i, (args, stays) in enumerate(cases):
            exe = self.scratch.copy_exe(f"QvKuDel{i}.exe")
            self.assertEqual(qvtest.run_installer(ARCH, exe, args, log=self.log), 0, args)
            exes.append((exe, args, stays))
        for exe, args, stays in exes:
            if stays:
                continue
            self.assertTrue(qvtest.wait_until(lambda: not os.path.exists(exe), 60), f"{args}: the executable stayed")
        # A self-delete of the others would have been started as early as theirs, which are done:
        # a few seconds more than its pause settle it. (Waiting for the prefix's wineserver would
        # wait for the other tests running in it as well.)
        time.sleep(6)
        for exe, args, stays in exes:
            self.assertEqual(os.path.exists(exe), stays, args)


if __name__ == "__main__":
    unittest.main()
