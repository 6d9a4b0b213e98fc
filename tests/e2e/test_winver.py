"""Naming Windows end to end: Wine reports the version it is told to for one executable, and the
test writes the CurrentVersion values that the naming reads (in the 64-bit view on win64)."""
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"

# Wine version, CurrentVersion text or None (absent), CurrentMajorVersionNumber or None, the
# version Wine reports, and the name for a workstation and for a server. The product type Wine
# reports can lag one process behind a change of version, so each case accepts the name that
# belongs to the product type actually reported, after checking the version numbers.
CASES = [
    ("win2k", None, None, (5, 0), ("Windows2000", "WinServer2000")),
    ("winxp", None, None, (5, 1), ("WindowsXP", "WindowsXP")),
    ("vista", None, None, (6, 0), ("WinVista", "WinServer2008")),
    ("win7", None, None, (6, 1), ("Windows7", "WinServer2008R2")),
    ("win8", "6.2", None, (6, 2), ("Windows8", "WinServer2012")),
    ("win8", "6.3", None, (6, 2), ("Windows8.1", "Windows8.1")),
    # 8.1 and 10 report 6.2 to a program that declares no supported systems
    ("win81", "6.3", None, (6, 2), ("Windows8.1", "Windows8.1")),
    ("win81", "6.2", None, (6, 2), ("Windows8", "WinServer2012")),
    ("win81", "6.30", None, (6, 2), ("Windows8", "WinServer2012")),
    ("win10", "6.3", 10, (6, 2), ("", "")),   # Windows 10 already carries a newer runtime
    ("win10", "6.3", None, (6, 2), ("Windows8.1", "Windows8.1")),
    ("win81", "6.3", 9, (6, 2), ("Windows8.1", "Windows8.1")),
]


class WindowsName(E2E):
    def setUp(self):
        super().setUp()
        self.saved = qvtest.wine(ARCH, "reg", "query", KEY, *(["/reg:64"] if ARCH == "win64" else [])).stdout

    def tearDown(self):
        # Put back what the prefix had.
        for name in ["CurrentVersion", "CurrentMajorVersionNumber"]:
            qvtest.delete_reg(ARCH, KEY, name)
        for line in self.saved.decode("latin-1").splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[0] in ("CurrentVersion", "CurrentMajorVersionNumber"):
                qvtest.set_reg(ARCH, KEY, parts[0], parts[1], parts[2] if parts[1] == "REG_SZ" else int(parts[2], 0))
        for name in os.listdir(self.scratch.path):
            qvtest.delete_reg(ARCH, "HKCU\\Software\\Wine\\AppDefaults\\" + name, view64=False)
        super().tearDown()

    def test_names_by_reported_version_and_registry(self):
        if ARCH == "win64":
            # The 32-bit view holds a text that would give another answer: only the 64-bit one counts.
            qvtest.set_reg(ARCH, KEY, "CurrentVersion", "REG_SZ", "6.1", view64=False)
        for i, (version, text, major, reported, names) in enumerate(CASES):
            with self.subTest(version=version, text=text, major=major):
                qvtest.delete_reg(ARCH, KEY, "CurrentVersion")
                qvtest.delete_reg(ARCH, KEY, "CurrentMajorVersionNumber")
                if text is not None:
                    qvtest.set_reg(ARCH, KEY, "CurrentVersion", "REG_SZ", text)
                if major is not None:
                    qvtest.set_reg(ARCH, KEY, "CurrentMajorVersionNumber", "REG_DWORD", major)
                name = f"qvname{i}.exe"
                probe = os.path.join(self.scratch.path, name)
                shutil.copyfile(qvtest.PROBE, probe)
                qvtest.set_windows_version(ARCH, name, version)
                out = qvtest.wine(ARCH, probe, "winver").stdout.decode("latin-1")
                fields = dict(f.split("=", 1) for f in out.split() if "=" in f)
                self.assertEqual((int(fields["major"]), int(fields["minor"])), reported, out)
                self.assertEqual(fields["win64"], "1" if ARCH == "win64" else "0")
                expected = names[0] if fields["product"] == "1" else names[1]
                self.assertEqual(fields.get("name", ""), expected, out)


if __name__ == "__main__":
    unittest.main()
