"""Run modes from the machine's state and the command line: the deployment markers, auto mode,
and what each mode does on an unsupported system."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
SETUP = "HKLM\\SYSTEM\\Setup"
PE_BUILDER = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\PE Builder"
UNSUPPORTED_EN = b"Error: The current system does not support the installation!"
UNSUPPORTED_ZH = "提示：不支持当前系统的安装！".encode("gbk") + b" " * 10


class DeploymentMarkers(E2E):
    def tearDown(self):
        qvtest.delete_reg(ARCH, SETUP, "SystemSetupInProgress")
        qvtest.delete_reg(ARCH, PE_BUILDER)
        super().tearDown()

    def test_setup_in_progress_without_pe_builder_installs_and_deletes_itself(self):
        qvtest.set_reg(ARCH, SETUP, "SystemSetupInProgress", "REG_DWORD", 1)
        exe = self.scratch.copy_exe("QvKuDeploy.exe")
        self.assertEqual(qvtest.run_installer(ARCH, exe, [], log=self.log), 0)
        self.assertEqual([e["standin"] for e in self.entries("end")], ["ENU", "CHS"])
        self.assertTrue(qvtest.wait_until(lambda: not os.path.exists(exe), 60), "deployment mode deletes itself")

    def test_other_markers_leave_the_window_to_the_user(self):
        cases = [(0, False), (2, False), (None, False), (1, True)]  # value, PE Builder key
        for value, pe_builder in cases:
            with self.subTest(value=value, pe_builder=pe_builder):
                if value is None:
                    qvtest.delete_reg(ARCH, SETUP, "SystemSetupInProgress")
                else:
                    qvtest.set_reg(ARCH, SETUP, "SystemSetupInProgress", "REG_DWORD", value)
                if pe_builder:
                    qvtest.set_reg(ARCH, PE_BUILDER, "Marker", "REG_SZ", "x")
                exe = self.scratch.copy_exe(f"QvKuMarker{value}{int(pe_builder)}.exe")
                run = qvtest.Run(ARCH, exe, [], log=self.log)
                state = qvtest.wait_for_state(ARCH, lambda s: s["form"]["visible"], 30)
                self.assertTrue(state and state["form"]["visible"], "interactive mode shows the window")
                self.assertTrue(state["Label3"]["enabled"], "and waits for the install button")
                qvtest.probe(ARCH, "close")
                self.assertEqual(run.wait(60), 1602)
                self.assertEqual(self.entries("start"), [])
                self.assertTrue(os.path.exists(exe), "interactive mode never deletes itself")
                qvtest.delete_reg(ARCH, PE_BUILDER)


class AutoMode(E2E):
    def test_auto_shows_the_busy_window_installs_and_deletes_itself_with_d(self):
        exe = self.scratch.copy_exe("QvKuAutoDel.exe")
        release = self.scratch.file("release")
        run = qvtest.Run(ARCH, exe, ["-A", "-D"], log=self.log,
                         env={"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release)})
        self.assertTrue(qvtest.wait_until(lambda: self.entries("start", "ENU"), 60))
        state = qvtest.window_state(ARCH)
        self.assertTrue(state["form"]["visible"])
        self.assertTrue(state["form"]["topmost"])
        for name in ["Label2", "Label3", "Label4"]:
            self.assertFalse(state[name]["enabled"], name)
        for name in ["Image4", "Image5", "Image6", "Image7", "Image8", "Image9", "Label5", "Label7"]:
            self.assertFalse(state[name]["visible"], name)
        for name in ["Image10", "Image11", "Image13"]:
            self.assertTrue(state[name]["visible"], name)
        self.assertNotEqual(qvtest.visible_x_windows("qvkuautodel.exe"), [])
        open(release, "w").close()
        self.assertEqual(run.wait(), 0)
        self.assertTrue(qvtest.wait_until(lambda: not os.path.exists(exe), 60), "-a -d deletes the executable")


class UnsupportedSystem(E2E):
    """Windows XP is not supported: no installer starts; only the modes with a person in front
    of them show the message box."""

    def exe(self, name):
        exe = self.scratch.copy_exe(name)
        qvtest.set_windows_version(ARCH, name, "winxp")
        return exe

    def tearDown(self):
        for name in os.listdir(self.scratch.path):
            if name.endswith(".exe"):
                qvtest.delete_reg(ARCH, "HKCU\\Software\\Wine\\AppDefaults\\" + name, view64=False)
        qvtest.delete_reg(ARCH, SETUP, "SystemSetupInProgress")
        super().tearDown()

    def check_box(self, run, locale, caption=b"Vorlix"):
        out = qvtest.probe(ARCH, "msgbox", "30000", locale=locale)
        fields = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        self.assertIn("caption", fields, out)
        self.assertEqual(bytes.fromhex(fields["caption"]), caption)
        self.assertEqual(bytes.fromhex(fields["text"]), UNSUPPORTED_ZH if locale == "zh" else UNSUPPORTED_EN)
        self.assertEqual(fields["owner"], "TApplication", "the application window owns the box")
        self.assertEqual(run.wait(60), 5100)
        self.assertEqual(self.entries("start"), [])

    def test_auto_mode_shows_the_message_box(self):
        for locale in ["en", "zh"]:
            with self.subTest(locale=locale):
                run = qvtest.Run(ARCH, self.exe(f"QvKuXpAuto{locale}.exe"), ["-a"], log=self.log, locale=locale)
                self.check_box(run, locale)

    def test_interactive_mode_shows_the_message_box_after_the_click(self):
        run = qvtest.Run(ARCH, self.exe("QvKuXpHand.exe"), [], log=self.log)
        state = qvtest.wait_for_state(ARCH, lambda s: s["form"]["visible"], 30)
        qvtest.click_element(state, "Label3")
        self.check_box(run, "en")

    def test_unattended_modes_end_with_5100_and_no_box(self):
        for args, deployment in [(["-s"], False), (["-s", "-d"], False), ([], True)]:
            with self.subTest(args=args, deployment=deployment):
                if deployment:
                    qvtest.set_reg(ARCH, SETUP, "SystemSetupInProgress", "REG_DWORD", 1)
                exe = self.exe(f"QvKuXpQuiet{len(args)}{int(deployment)}.exe")
                start = time.time()
                self.assertEqual(qvtest.run_installer(ARCH, exe, args, log=self.log, timeout=60), 5100)
                self.assertLess(time.time() - start, 30, "nothing waits for a click")
                self.assertEqual(self.entries("start"), [])
                qvtest.delete_reg(ARCH, SETUP, "SystemSetupInProgress")


if __name__ == "__main__":
    unittest.main()
