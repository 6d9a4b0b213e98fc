"""No GDI objects or windows left behind by a thousand hover cycles over the main window."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

# Wine keeps the GDI handle table readable (GetGuiResources answers 0) only for a process that
# does not run under WOW64: the program in a 32-bit prefix, or the x86_64 build's in its prefix.
ARCH = "win32"


class Handles(E2E):
    def test_a_thousand_hover_cycles_leave_no_gdi_objects_or_windows_behind(self):
        exe = self.scratch.copy_exe("QvKuGdi.exe")
        run = qvtest.Run(ARCH, exe, [], log=self.log)
        state = qvtest.wait_for_state(ARCH, lambda s: s["form"]["visible"], 30)

        def point(element, x, y):
            e = state[element]
            return str(state["form"]["left"] + e["left"] + x), str(state["form"]["top"] + e["top"] + y)

        def cycles(n):
            steps = []
            for i in range(n):
                hotspot = ["Label1", "Label2", "Label3", "Label4"][i % 4]
                steps += ["mousemove", *point(hotspot, 15, 10), "sleep", "0.01",
                          "mousemove", *point("Image1", 200, 152), "sleep", "0.01"]
            subprocess.run(["xdotool", *steps], check=True)
            time.sleep(1)

        def counts():
            out = qvtest.probe(ARCH, "gdi")
            fields = dict(f.split("=") for f in out.split())
            return int(fields["gdi"]), int(fields["windows"])

        cycles(20)  # what the first hovers load once (the hand cursor) stays
        before = counts()
        self.assertGreater(before[0], 0)
        cycles(1000)
        self.assertEqual(counts(), before)
        qvtest.probe(ARCH, "close")
        self.assertEqual(run.wait(60), 1602)



if __name__ == "__main__":
    unittest.main()
