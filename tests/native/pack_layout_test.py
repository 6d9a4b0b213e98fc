"""The layout packer's checks: every fault is named with file:line, nothing is written for a
faulty source, and the same inputs give the same bytes."""

import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

SOURCE_DIR = os.environ.get("QVKU_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
PACKER = os.path.join(SOURCE_DIR, "tools", "pack_layout.py")

JPEG = bytes.fromhex("ffd8ffe000104a46494600010100000100010000ffd9")
GIF = b"GIF89a\x01\x00\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;"

FORM = """\
form Form9
    class = TForm9
    client = 100 50
    border = dialog
    caption = "${CAPTION}"
    colour = btnface
    font.face = "宋体"
    font.height = 12
    font.style = regular
    font.colour = windowtext
    font.charset = default
    position = mainformcenter
    keypreview = yes
    OnActivate = FormActivate
end
"""

ELEMENTS = """\
element GroupBox Box
    bounds = 0 0 100 50
    text = "关于"
end
# a comment
element Label Text
    parent = Box
    bounds = 1 2 30 12
    text = "软件：\\"q\\" \\\\"
    font.face = "宋体"
    font.height = 12
    font.style = bold italic
    font.colour = #FF0000
    font.charset = ansi
    OnClick = TextClick
end
element Picture Pic
    bounds = 0 0 1 1
    picture = a.jpg
end
element Picture Pic2
    bounds = 0 0 1 1
    picture = a.jpg
    draw = natural
end
element AnimatedPicture Anim
    bounds = 0 0 1 1
    picture = b.gif
    visible = no
end
element Hotspot Spot
    bounds = 0 0 5 5
    cursor = hand
end
element Memo Notes
    parent = Box
    bounds = 0 0 50 20
    readonly = yes
    scrollbars = vertical
    wordwrap = yes
    line = "    x"
    line = ""
end
element Timer Tick
    interval = 1000
    enabled = no
    OnTimer = TickTimer
end
"""


class Packer(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.pictures = os.path.join(self.dir.name, "pictures")
        os.mkdir(self.pictures)
        for name, data in (("a.jpg", JPEG), ("b.gif", GIF), ("fake.gif", JPEG), ("empty.jpg", b"")):
            with open(os.path.join(self.pictures, name), "wb") as f:
                f.write(data)

    def tearDown(self):
        self.dir.cleanup()

    def pack(self, text, defines=("CAPTION=Cap",), name="src.layout"):
        src = os.path.join(self.dir.name, name)
        with open(src, "w", encoding="utf-8") as f:
            f.write(text)
        out = os.path.join(self.dir.name, "out.bin")
        if os.path.exists(out):
            os.remove(out)
        args = [sys.executable, PACKER, src, out, "--pictures", self.pictures]
        for d in defines:
            args += ["--define", d]
        r = subprocess.run(args, capture_output=True)
        data = open(out, "rb").read() if os.path.exists(out) else None
        return r.returncode, r.stderr.decode("utf-8"), data

    def test_good_source(self):
        rc, err, data = self.pack(FORM + ELEMENTS)
        self.assertEqual(rc, 0, err)
        self.assertEqual(data[:4], b"QVLY")
        version, reserved, size, crc = struct.unpack("<HHII", data[4:16])
        self.assertEqual((version, reserved, size), (1, 0, len(data) - 16))
        self.assertEqual(crc, zlib.crc32(data[16:]))
        body = data[16:]
        self.assertIn(b"\x03\x00Cap", body)
        self.assertIn("软件：\"q\" \\".encode("gbk"), body)
        self.assertIn("宋体".encode("gbk"), body)
        # The picture used twice is stored once: two pictures at the end.
        self.assertTrue(body.endswith(struct.pack("<H", 2) + struct.pack("<BI", 1, len(JPEG)) + JPEG +
                                      struct.pack("<BI", 2, len(GIF)) + GIF))

    def test_same_inputs_same_bytes(self):
        first = self.pack(FORM + ELEMENTS)[2]
        second = self.pack(FORM + ELEMENTS)[2]
        self.assertIsNotNone(first)
        self.assertEqual(first, second)

    def test_define_fills_placeholders(self):
        rc, err, data = self.pack(FORM + ELEMENTS, defines=("CAPTION=出品", "UNUSED=x"))
        self.assertEqual(rc, 0, err)
        self.assertIn(struct.pack("<H", 4) + "出品".encode("gbk"), data)

    def test_faults(self):
        form_lines = FORM.count("\n")
        cases = [
            # (what, source, defines, line, message)
            ("undefined placeholder", FORM + ELEMENTS, (), 5, "${CAPTION} is not defined"),
            ("character GBK lacks", FORM + ELEMENTS.replace('"关于"', '"\U0001F600"'), None, form_lines + 3,
             "U+1F600"),
            ("unknown key", FORM + "element Label L\n    colour = #000000\nend\n", None, form_lines + 2,
             "unknown key \"colour\""),
            ("key twice", FORM + "element Label L\n    bounds = 0 0 1 1\n    bounds = 0 0 1 1\nend\n", None,
             form_lines + 3, "\"bounds\" is given twice"),
            ("unknown kind", FORM + "element Button B\nend\n", None, form_lines + 1, "unknown element kind"),
            ("duplicate name", FORM + "element Label L\n    bounds = 0 0 1 1\nend\n"
                                      "element Label L\n    bounds = 0 0 1 1\nend\n", None, form_lines + 4,
             "used by an earlier element"),
            ("missing parent", FORM + "element Label L\n    parent = Box\n    bounds = 0 0 1 1\nend\n", None,
             form_lines + 2, "no earlier element is called \"Box\""),
            ("parent not a group box", FORM + "element Label A\n    bounds = 0 0 1 1\nend\n"
                                              "element Label L\n    parent = A\n    bounds = 0 0 1 1\nend\n", None,
             form_lines + 5, "not a group box"),
            ("size too big", FORM + "element Label L\n    bounds = 0 0 4097 1\nend\n", None, form_lines + 2,
             "4097 is outside 0..4096"),
            ("no bounds", FORM + "element Label L\nend\n", None, form_lines + 1, "needs \"bounds"),
            ("missing picture", FORM + "element Picture P\n    bounds = 0 0 1 1\n    picture = nope.jpg\nend\n", None,
             form_lines + 3, "cannot read the picture"),
            ("picture with a path", FORM + "element Picture P\n    bounds = 0 0 1 1\n    picture = ../a.jpg\nend\n",
             None, form_lines + 3, "plain file name"),
            ("JPEG named .gif", FORM + "element Picture P\n    bounds = 0 0 1 1\n    picture = fake.gif\nend\n", None,
             form_lines + 3, "holds a JPEG picture but is not named .jpg"),
            ("empty picture", FORM + "element Picture P\n    bounds = 0 0 1 1\n    picture = empty.jpg\nend\n", None,
             form_lines + 3, "is empty"),
            ("animation from a JPEG",
             FORM + "element AnimatedPicture P\n    bounds = 0 0 1 1\n    picture = a.jpg\nend\n", None,
             form_lines + 3, "needs a GIF"),
            ("text on a hotspot", FORM + "element Hotspot H\n    bounds = 0 0 1 1\n    text = \"x\"\nend\n", None,
             form_lines + 3, "a Hotspot has no \"text\""),
            ("opaque hotspot", FORM + "element Hotspot H\n    bounds = 0 0 1 1\n    transparent = no\nend\n", None,
             form_lines + 3, "transparent background"),
            ("timer without interval", FORM + "element Timer T\nend\n", None, form_lines + 1, "needs \"interval"),
            ("timer with bounds", FORM + "element Timer T\n    bounds = 0 0 1 1\n    interval = 5\nend\n", None,
             form_lines + 2, "a Timer has no \"bounds\""),
            ("click on a timer", FORM + "element Timer T\n    interval = 5\n    OnClick = TClick\nend\n", None,
             form_lines + 3, "\"OnClick\" is not an event of a Timer"),
            ("event twice", FORM + "element Label L\n    bounds = 0 0 1 1\n    OnClick = A\n    OnClick = B\nend\n",
             None, form_lines + 4, "bound twice"),
            ("handler not a name", FORM + "element Label L\n    bounds = 0 0 1 1\n    OnClick = 9x\nend\n", None,
             form_lines + 3, "not a name"),
            ("half an own font", FORM + "element Label L\n    bounds = 0 0 1 1\n    font.height = 9\nend\n", None,
             form_lines + 3, "needs all five font keys"),
            ("bad colour", FORM.replace("btnface", "#12345"), None, 6, "expected a colour"),
            ("bad escape", FORM.replace('"${CAPTION}"', '"a\\nb"'), None, 5, "backslash"),
            ("unquoted text", FORM.replace('"${CAPTION}"', "Cap"), None, 5, "double quotes"),
            ("no end", FORM + "element Label L\n    bounds = 0 0 1 1\n", None, form_lines + 1, "no \"end\""),
            ("lines on a label", FORM + "element Label L\n    bounds = 0 0 1 1\n    line = \"x\"\nend\n", None,
             form_lines + 3, "has no lines"),
            ("text too long", FORM + "element Label L\n    bounds = 0 0 1 1\n    text = \"" + "软" * 2049 + "\"\nend\n",
             None, form_lines + 3, "4098 bytes in GBK, over the limit of 4096"),
            ("form missing", "element Label L\n    bounds = 0 0 1 1\nend\n", None, 1, "must begin with the form"),
            ("two forms", FORM + FORM, None, form_lines + 1, "a second form block"),
            ("garbage line", FORM + "hello\n", None, form_lines + 1, "expected \"form <Name>\""),
        ]
        for what, source, defines, line, message in cases:
            with self.subTest(what):
                rc, err, data = self.pack(source, defines=("CAPTION=Cap",) if defines is None else defines)
                self.assertEqual(rc, 1, err)
                self.assertIsNone(data, "nothing is written for a faulty source")
                self.assertIn(f"src.layout:{line}: ", err)
                self.assertIn(message, err)

    def test_bad_defines(self):
        for define, message in (("NOEQUALS", "expected NAME=VALUE"), ("1X=v", "expected NAME=VALUE")):
            with self.subTest(define):
                rc, err, data = self.pack(FORM + ELEMENTS, defines=("CAPTION=Cap", define))
                self.assertEqual(rc, 1)
                self.assertIn(message, err)
        rc, err, _ = self.pack(FORM + ELEMENTS, defines=("CAPTION=a", "CAPTION=b"))
        self.assertEqual(rc, 1)
        self.assertIn("given twice", err)

    def test_real_sources_need_their_defines(self):
        # Each placeholder of the real sources is named when its value is missing.
        for source, names in (("TForm1.layout", ["PUBLISHER_CAPTION", "PUBLISHER_BANNER"]),
                              ("TForm2.layout", ["CREDITS_LINE_CN", "PUBLISHER_WEB_TEXT"])):
            text = open(os.path.join(SOURCE_DIR, "resources", source), encoding="utf-8").read()
            for name in names:
                self.assertIn("${" + name + "}", text)
            rc, err, _ = self.pack(text, defines=())
            self.assertEqual(rc, 1)
            self.assertIn("is not defined (give --define " + names[0] + "=VALUE)", err)


if __name__ == "__main__":
    unittest.main()
