"""The packaged executable: its resources, manifest, version block and imports as built, that
it never loads a DLL from its own folder, and that it takes no request to fail from another
program."""
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

import pefile

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

RT = pefile.RESOURCE_TYPE
ZH_CN = 2052
# Every DLL the installer imports must be one of the system's known DLLs, which the loader never
# takes from the program's folder.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll",
                   "ole32.dll", "oleaut32.dll", "shlwapi.dll", "comdlg32.dll", "ws2_32.dll", "imm32.dll"}

# The program is a 32-bit executable carrying the 32-bit extractor. The x86_64 build of the same
# sources, which runs the tests where 32-bit programs cannot start, is 64-bit throughout.
MACHINES = {"i686": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
            "x86_64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]}


def resources(pe):
    """{(type, name): [(language, bytes)]} with names as strings or ids."""
    out = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        tname = str(t.name) if t.name else t.id
        for n in t.directory.entries:
            nname = str(n.name) if n.name else n.id
            for lang in n.directory.entries:
                data = lang.data.struct
                raw = pe.get_data(data.OffsetToData, data.Size)
                out.setdefault((tname, nname), []).append((lang.id, raw))
    return out


class Packaging(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(qvtest.EXE)
        cls.res = resources(cls.pe)

    def one(self, key):
        self.assertIn(key, self.res)
        self.assertEqual(len(self.res[key]), 1, key)
        return self.res[key][0]

    def test_resource_table(self):
        expected = {("KU", "NET45"), ("TOOL", "EXE1"), (RT["RT_RCDATA"], "TFORM1"), (RT["RT_RCDATA"], "TFORM2"),
                    (RT["RT_GROUP_ICON"], "MAINICON"), (RT["RT_VERSION"], 1), (RT["RT_MANIFEST"], 1)}
        expected |= {(RT["RT_ICON"], i) for i in range(1, 10)}
        self.assertEqual(set(self.res), expected)
        for key in [("KU", "NET45"), ("TOOL", "EXE1"), (RT["RT_GROUP_ICON"], "MAINICON"), (RT["RT_VERSION"], 1),
                    (RT["RT_MANIFEST"], 1)] + [(RT["RT_ICON"], i) for i in range(1, 10)]:
            self.assertEqual(self.one(key)[0], ZH_CN, key)
        for key in [(RT["RT_RCDATA"], "TFORM1"), (RT["RT_RCDATA"], "TFORM2")]:
            self.assertEqual(self.one(key)[0], 0, key)

    def test_payload_and_extractor_are_the_built_files(self):
        with open(os.path.join(qvtest.BUILD, "payload", "NET4.5.7z"), "rb") as f:
            self.assertEqual(self.one(("KU", "NET45"))[1], f.read())
        with open(os.path.join(qvtest.BUILD, "_deps", "7za", "7za.exe"), "rb") as f:
            self.assertEqual(self.one(("TOOL", "EXE1"))[1], f.read())
        with tempfile.NamedTemporaryFile(suffix=".7z") as archive:
            archive.write(self.one(("KU", "NET45"))[1])
            archive.flush()
            listing = subprocess.run(["7zz", "l", "-slt", archive.name], capture_output=True, text=True).stdout
        paths = re.findall(r"^Path = (.*)$", listing, re.M)[1:]
        self.assertEqual(sorted(paths), ["NET4.5", "NET4.5/" + qvtest.CHS, "NET4.5/" + qvtest.ENU])

    def test_the_installer_and_its_extractor_are_built_for_the_builds_processor(self):
        expected = MACHINES[os.environ.get("QVKU_BUILD_PROCESSOR", "i686")]
        self.assertEqual(self.pe.FILE_HEADER.Machine, expected)
        extractor = pefile.PE(data=self.one(("TOOL", "EXE1"))[1], fast_load=True)
        self.assertEqual(extractor.FILE_HEADER.Machine, expected)

    def test_icon_has_nine_images(self):
        group = self.one((RT["RT_GROUP_ICON"], "MAINICON"))[1]
        count = int.from_bytes(group[4:6], "little")
        self.assertEqual(count, 9)
        images = set()
        for i in range(count):
            entry = group[6 + 14 * i: 20 + 14 * i]
            width = entry[0] or 256
            bits = int.from_bytes(entry[6:8], "little")
            ident = int.from_bytes(entry[12:14], "little")
            self.assertIn((RT["RT_ICON"], ident), self.res)
            images.add((width, bits))
        self.assertEqual(images, {(s, b) for s in (48, 32, 16) for b in (4, 8, 32)})

    def test_version_block(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0x00000002))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010000, 0x00000002))
        self.assertEqual((fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS, fixed.FileType, fixed.FileSubtype),
                         (0x3F, 0, 0x4, 1, 0))
        tables = [st for fi in self.pe.FileInfo[0] if fi.Key == b"StringFileInfo" for st in fi.StringTable]
        self.assertEqual([st.LangID for st in tables], [b"080403A8"])
        strings = tables[0].entries
        self.assertEqual(strings[b"FileVersion"], b"1.0.0.2")
        self.assertEqual(strings[b"ProductVersion"], b"1.0.0.2")
        for key in [b"CompanyName", b"FileDescription", b"InternalName", b"LegalCopyright", b"LegalTrademarks",
                    b"OriginalFilename", b"ProductName", b"Comments"]:
            self.assertTrue(strings.get(key), key)
        translations = [v for fi in self.pe.FileInfo[0] if fi.Key == b"VarFileInfo" for var in fi.Var
                        for v in var.entry.values()]
        self.assertEqual(translations, ["0x0804 0x03a8"])

    def test_manifest(self):
        xml = self.one((RT["RT_MANIFEST"], 1))[1].decode("utf-8")
        root = ET.fromstring(xml)
        ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3"}
        ident = root.find("v1:assemblyIdentity", ns)
        self.assertEqual((ident.get("type"), ident.get("version"), ident.get("processorArchitecture")),
                         ("win32", "1.0.0.0", "*"))
        dep = root.find("v1:dependency/v1:dependentAssembly/v1:assemblyIdentity", ns)
        self.assertEqual({k: dep.get(k) for k in ["type", "name", "version", "publicKeyToken", "language",
                                                   "processorArchitecture"]},
                         {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                          "publicKeyToken": "6595b64144ccf1df", "language": "*", "processorArchitecture": "*"})
        level = root.find("v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel", ns)
        self.assertEqual((level.get("level"), level.get("uiAccess")), ("requireAdministrator", "false"))
        self.assertNotIn("compatibility", xml, "no supported systems are declared")

    def test_imports_only_known_system_dlls(self):
        imported = {e.dll.decode().lower() for e in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertTrue(imported)
        self.assertLessEqual(imported, ALLOWED_IMPORTS, imported - ALLOWED_IMPORTS)
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "no delay-loaded DLLs")


FAIL_REQUEST = 0x51564658.to_bytes(4, "little")   # 'QVFX', qvprobe fail
STATE_QUERY = 0x51565354.to_bytes(4, "little")    # 'QVST', qvprobe state


def code_bytes(path):
    pe = pefile.PE(path, fast_load=True)
    return b"".join(s.get_data() for s in pe.sections
                    if s.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_CNT_CODE"])


class FaultRequest(E2E):
    """The request that makes a window handler fail is built only into the test build; the
    installer that ships keeps the read-only state query, which every window test reads it by."""

    def test_only_the_test_build_compares_a_message_with_the_fail_tag(self):
        shipped, test_build = code_bytes(qvtest.EXE), code_bytes(qvtest.FAULT_REQUESTS_EXE)
        self.assertIn(STATE_QUERY, shipped)
        self.assertNotIn(FAIL_REQUEST, shipped, "the shipped installer takes the request to fail")
        self.assertIn(STATE_QUERY, test_build)
        self.assertIn(FAIL_REQUEST, test_build, "the tag is not to be found this way: the check above proves nothing")

    def test_the_shipped_installer_ignores_the_request_and_installs(self):
        arch = os.environ.get("QVKU_TEST_ARCH", "win64")
        cases = [  # build, exit code, the installers that start
            ("shipped", qvtest.EXE, 0, ["ENU", "CHS"]),
            ("test build", qvtest.FAULT_REQUESTS_EXE, 1603, ["ENU"]),
        ]
        for what, source, code, started in cases:
            with self.subTest(what):
                open(self.log, "w").close()
                release = self.scratch.file("release")
                exe = self.scratch.copy_exe(f"QvKuFx{code}.exe", source=source)
                run = qvtest.Run(arch, exe, ["-s"], log=self.log,
                                 env={"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release),
                                      "QVKU_STANDIN_CHS_DELAY": "50"})
                self.assertTrue(qvtest.wait_until(lambda: self.entries("start", "ENU"), 60))
                qvtest.probe(arch, "fail")
                time.sleep(1.5)
                if code == 0:
                    self.assertTrue(run.running(), "the request ended the run")
                    self.assertIsNotNone(qvtest.window_state(arch, 5000), "the window answers as before")
                open(release, "w").close()
                self.assertEqual(run.wait(60), code)
                time.sleep(0.5)
                self.assertEqual([e["standin"] for e in self.entries("start")], started)
                os.unlink(release)


class PlantedDll(E2E):
    def test_the_installers_search_restriction_keeps_out_a_dll_beside_it(self):
        """Under Wine its own user32 imports version.dll, so a planted system name is taken before
        any code runs; the restriction the installer makes first thing is tested with a name of
        our own instead, loaded by a program that does and one that does not restrict."""
        arch = os.environ.get("QVKU_TEST_ARCH", "win64")
        loader = self.scratch.copy_exe("loader.exe", source=os.path.join(qvtest.BUILD, "tests", "qvku_child.exe"))
        self.scratch.copy_exe("qvku_planted.dll", source=os.path.join(qvtest.BUILD, "tests", "qvku_planted.dll"))
        marker = self.scratch.file("planted-was-loaded")
        env = {"QVKU_PLANTED_MARKER": qvtest.win_path(marker)}
        r = qvtest.wine(arch, loader, "restricted-loadlib", "qvku_planted.dll", env=env)
        self.assertEqual(r.returncode, 1, "the planted DLL loaded despite the restriction")
        self.assertFalse(os.path.exists(marker))
        # The control: without the restriction the same load takes the planted file.
        r = qvtest.wine(arch, loader, "loadlib", "qvku_planted.dll", env=env)
        self.assertEqual(r.returncode, 0)
        self.assertTrue(os.path.exists(marker))

if __name__ == "__main__":
    unittest.main()
