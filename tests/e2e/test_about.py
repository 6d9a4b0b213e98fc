"""The About dialog on a real display: opened modally from the main window's About button, its
texts in English and Chinese, what it shows, closing by Esc, Alt+F4 and the close box, its place
at later openings, the link's colours, and the link opening the browser registered for HTML
files (or the error box when that registration is not text)."""
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
COMMAND_KEY = "HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command"
BROWSER = os.path.join(qvtest.BUILD, "tests", "qvku_browser.exe")
ENGLISH_USAGE = (b"1, the intelligent recognition of running environment, system deployment will automatically"
                 b" install and delete\n\r\n\r"
                 b"2, the program command line: (the deployment environment do not need to add the command line"
                 b" parameters)\n\r\n\r"
                 b"-S silent operation\n\r\n\r"
                 b"-A automatic installation\n\r\n\r"
                 b"-D has finished running self deleting\n\r\n\r")
CHINESE_LINES = ["1、智能识别运行环境，系统部署环境将自动安装并自删除", "2、程序命令行：", "    -A 自动安装 (带界面安装)",
                 "    -S 静默运行 (没有界面安装)", "    -D 运行完成后自删除"]
LABELS = ["Label1", "Label2", "Label3", "Label4", "Label5", "Label6"]


def build_setting(name):
    """A value of the build's cache: the branding texts and the version the program was made with."""
    with open(os.path.join(qvtest.BUILD, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r"^%s:[A-Z]+=(.*)$" % re.escape(name), line.rstrip("\n"))
            if m:
                return m.group(1)
    raise AssertionError(f"{name} is not in the build's cache")


def form_state(cls, wait_ms=5000):
    return qvtest.window_state(ARCH, wait_ms, cls)


def window_facts(cls, wait_ms=5000):
    """What the platform knows of a window (qvprobe window): styles, owner, client area, and the
    active and focused windows of its thread."""
    out = qvtest.probe(ARCH, "window", str(wait_ms), cls)
    facts = dict(re.findall(r"(\w+)=(\S*)", out))
    if "client" not in facts:
        return None
    facts["client"] = tuple(int(n) for n in facts["client"].split("x"))
    facts["origin"] = tuple(int(n) for n in facts["origin"].split(","))
    facts["caption"] = bytes.fromhex(facts["caption"])
    for key in ["visible", "enabled", "sysmenu", "minbox", "maxbox", "sizebox", "topmost"]:
        facts[key] = facts[key] == "1"
    return facts


def reg_run(*args):
    """The prefix's reg.exe in the view a 32-bit program sees."""
    view = ["/reg:32"] if ARCH == "win64" else []
    return qvtest.wine(ARCH, "reg", *args, *view, timeout=60)


def reg_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


class About(E2E):
    def setUp(self):
        super().setUp()
        self.run_ = None

    def tearDown(self):
        if self.run_ and self.run_.running():
            qvtest.probe(ARCH, "close", "2000", "TForm2")
            qvtest.probe(ARCH, "close", "2000")
        self.doCleanups()  # the registry is put back from a file in the scratch folder, which goes next
        super().tearDown()

    # -- the program and its windows ---------------------------------------------------------

    def start(self, name, locale="en", env=None):
        exe = self.scratch.copy_exe(name)
        # Wine draws the title bar itself, as Windows does, rather than leaving it to the window
        # manager's theme: the screenshots then show the dialog's own caption and close box.
        qvtest.set_reg(ARCH, "HKCU\\Software\\Wine\\AppDefaults\\" + name + "\\X11 Driver", "Decorated", "REG_SZ",
                       "N", view64=False)
        self.run_ = qvtest.Run(ARCH, exe, log=self.log, env=env, locale=locale)
        self.main = qvtest.wait_for_state(ARCH, lambda s: s["form"]["visible"], 30)
        self.assertTrue(self.main and self.main["form"]["visible"], "the main window did not appear")
        time.sleep(0.5)
        return self.main

    def finish(self):
        # The main window takes no input while the dialog is open, its close command included.
        if window_facts("TForm2")["visible"]:
            qvtest.probe(ARCH, "close", "2000", "TForm2")
            self.assertTrue(self.closed())
        qvtest.probe(ARCH, "close")
        self.assertEqual(self.run_.wait(60), 1602)

    def open_about(self):
        self.main = qvtest.window_state(ARCH)
        qvtest.click_element(self.main, "Label4")
        self.assertTrue(qvtest.wait_until(lambda: (window_facts("TForm2") or {}).get("visible"), 15),
                        "the About dialog did not open")
        time.sleep(0.5)  # its first paint
        self.facts = window_facts("TForm2")
        self.dialog = form_state("TForm2")
        return self.dialog

    def closed(self):
        return qvtest.wait_until(lambda: not window_facts("TForm2")["visible"], 10)

    def point(self, element, x=None, y=None):
        """A screen point in an element of the dialog: its middle unless told otherwise."""
        e = self.dialog[element]
        ox, oy = self.facts["origin"]
        return (ox + e["left"] + (e["width"] // 2 if x is None else x),
                oy + e["top"] + (e["height"] // 2 if y is None else y))

    def client_pixel(self, shot, x, y):
        ox, oy = self.facts["origin"]
        return shot.getpixel((ox + x, oy + y))

    def pixels(self, shot, element, predicate):
        e = self.dialog[element]
        ox, oy = self.facts["origin"]
        return sum(1 for y in range(e["height"]) for x in range(e["width"])
                   if predicate(shot.getpixel((ox + e["left"] + x, oy + e["top"] + y))))

    def caption_boxes(self, shot):
        """The boxes in the right part of the title bar: runs of light pixels across its middle
        row, the glyph inside a box not counted as a gap."""
        ox, oy = self.facts["origin"]
        form = self.dialog["form"]
        row = oy - (oy - form["top"]) // 2
        boxes = []
        for x in range(ox + 100, form["left"] + form["width"]):
            if min(shot.getpixel((x, row))) > 200:
                if boxes and x - boxes[-1][1] <= 6:
                    boxes[-1][1] = x
                else:
                    boxes.append([x, x])
        return [((a + b) // 2, row) for a, b in boxes if b - a >= 8]

    # -- the registry ------------------------------------------------------------------------

    def register_browser_command(self, value):
        """Sets the default value of the HTML files' open command (a .reg value text such as
        dword:00000005 or a quoted string), putting back what was there when the test ends."""
        saved = self.scratch.file("saved.reg")
        had_key = reg_run("export", COMMAND_KEY, qvtest.win_path(saved), "/y").returncode == 0 and os.path.exists(saved)

        def restore():
            if had_key:
                reg_run("import", qvtest.win_path(saved))
            else:
                reg_run("delete", COMMAND_KEY, "/f")
        self.addCleanup(restore)
        wanted = self.scratch.file("wanted.reg")
        with open(wanted, "w", encoding="latin-1", newline="\r\n") as f:
            f.write(f"Windows Registry Editor Version 5.00\n\n[{COMMAND_KEY}]\n@={value}\n")
        r = reg_run("import", qvtest.win_path(wanted))
        self.assertEqual(r.returncode, 0, r.stderr)

    def browser_starts(self, log):
        if not os.path.exists(log):
            return []
        starts = []
        with open(log, encoding="latin-1") as f:
            for line in f:
                m = re.match(r"cmdline=([0-9a-f]*) args=(\S*)", line)
                if m:
                    starts.append([bytes.fromhex(a) for a in m.group(2).split(",") if m.group(2)])
        return starts

    # -- the tests ---------------------------------------------------------------------------

    def test_the_dialog_in_english_and_chinese(self):
        version = b"V" + build_setting("CMAKE_PROJECT_VERSION").encode()
        expected = {
            "en": {"GroupBox1": b"About Tool", "Label1": b"Library file installation tool",
                   "Label2": build_setting("QVKU_CREDITS_EN").encode("gbk"), "Label3": b"Copyright:",
                   "Label4": build_setting("QVKU_PUBLISHER_WEB_TEXT").encode("gbk"), "Label5": b"Instructions:",
                   "Label6": version, "Memo1": ENGLISH_USAGE + b"\r\n"},
            "zh": {"GroupBox1": qvtest.gbk("关于程序："), "Label1": qvtest.gbk("程序名称：Vorlix(.net安装工具)"),
                   "Label2": build_setting("QVKU_CREDITS_CN").encode("gbk"), "Label3": qvtest.gbk("程序出品："),
                   "Label4": build_setting("QVKU_PUBLISHER_WEB_TEXT").encode("gbk"), "Label5": qvtest.gbk("程序说明："),
                   "Label6": version, "Memo1": b"".join(qvtest.gbk(l) + b"\r\n" for l in CHINESE_LINES)},
        }
        self.assertEqual(len(ENGLISH_USAGE), 315)
        titles = {}
        for locale in ["en", "zh"]:
            with self.subTest(locale=locale):
                self.start(f"QvKuAbout{locale}.exe", locale=locale)
                dialog = self.open_about()
                facts = self.facts
                self.assertEqual(facts["caption"], b"About")
                self.assertEqual(facts["client"], (369, 209))
                self.assertTrue(facts["sysmenu"])
                self.assertFalse(facts["minbox"] or facts["maxbox"] or facts["sizebox"], facts)
                self.assertFalse(facts["topmost"])
                self.assertEqual(facts["owner"], "TApplication")
                self.assertEqual(facts["focus"], "Edit", "the memo takes the focus")
                main = self.main["form"]
                form = dialog["form"]
                self.assertEqual((form["left"], form["top"]),
                                 (max(0, main["left"] + (main["width"] - form["width"]) // 2),
                                  max(0, main["top"] + (main["height"] - form["height"]) // 2)),
                                 "centred on the main window")
                for name, text in expected[locale].items():
                    self.assertEqual(dialog[name]["text"], text, name)
                box = dialog["GroupBox1"]
                self.assertEqual((box["left"], box["top"], box["width"], box["height"]), (8, 8, 353, 193))
                memo = dialog["Memo1"]
                self.assertEqual((memo["left"], memo["top"], memo["width"], memo["height"]), (16, 120, 337, 73))
                self.assertEqual((dialog["Label4"]["left"], dialog["Label4"]["top"]), (76, 80))

                qvtest.move(5, 5)
                time.sleep(0.5)
                shot = qvtest.screenshot()
                if locale == "en":
                    shot.save(os.path.join(qvtest.BUILD, "e2e-about-en.png"))
                else:
                    shot.save(os.path.join(qvtest.BUILD, "e2e-about-zh.png"))
                face = self.client_pixel(shot, 3, 100)
                for x, y in [(3, 5), (365, 205), (300, 100), (200, 60), (30, 195), (340, 20)]:
                    self.assertEqual(self.client_pixel(shot, x, y), face,
                                     f"({x},{y}) shows the dialog's colour, inside the group box too")
                frame = self.client_pixel(shot, 8, 100)
                self.assertLess(sum(frame), sum(face) - 60, "the group box's frame")
                self.assertLess(sum(self.client_pixel(shot, 360, 100)), sum(face) - 60)
                for name in LABELS:
                    self.assertGreater(self.pixels(shot, name, lambda p: sum(p) < 300), 15, f"{name} shows no text")
                white = self.pixels(shot, "Memo1", lambda p: p == (255, 255, 255))
                ink = self.pixels(shot, "Memo1", lambda p: sum(p) < 300)
                self.assertGreater(white, memo["width"] * memo["height"] // 2, "the memo's window colour")
                self.assertGreater(ink, 100, "the memo's text")
                # The title bar: "About" on the caption colour, and a single box at its right.
                ox, oy = facts["origin"]
                row = oy - (oy - form["top"]) // 2
                caption = shot.getpixel((ox + 150, row))
                self.assertNotEqual(caption, face)
                self.assertEqual(len(self.caption_boxes(shot)), 1, "the close box only")
                titles[locale] = shot.crop((ox + 8, oy + 8, ox + 120, oy + 20)).tobytes()
                self.finish()
        if len(titles) == 2:
            self.assertNotEqual(titles["en"], titles["zh"], "the group box's title follows the language")

    def test_opened_by_its_button_it_has_the_keyboard_and_esc_closes_it(self):
        """As on a desktop: the dialog the click opened is the active window and takes the keys,
        whatever lies under the pointer, and closing it hands the activation back."""
        self.start("QvKuAboutEsc.exe")
        for pointer in ["where the click left it", "moved off to the desktop"]:
            with self.subTest(pointer=pointer):
                self.open_about()
                if pointer != "where the click left it":
                    qvtest.move(5, 5)
                    time.sleep(0.3)
                self.assertEqual((self.facts["active"], self.facts["focus"]), ("TForm2", "Edit"))
                subprocess.run(["xdotool", "key", "Escape"], check=True)
                self.assertTrue(self.closed(), "Esc did not close the dialog")
                self.assertTrue(qvtest.wait_until(lambda: window_facts("TForm1")["active"] == "TForm1", 10),
                                "the main window is active again")
                self.assertTrue(window_facts("TForm1")["enabled"])
        self.assertTrue(self.run_.running(), "Esc closes the dialog, not the program")
        self.finish()

    def test_modal_showing_and_the_ways_to_close_it(self):
        self.start("QvKuAboutModal.exe")
        self.open_about()
        usage = self.dialog["Memo1"]["text"]
        self.assertFalse(window_facts("TForm1")["enabled"])
        # The main window's close button where the dialog does not cover it.
        main = self.main
        x = main["form"]["left"] + main["Label1"]["left"] + main["Label1"]["width"] - 4
        y = main["form"]["top"] + main["Label1"]["top"] + main["Label1"]["height"] // 2
        self.assertGreater(x, self.dialog["form"]["left"] + self.dialog["form"]["width"])
        qvtest.click(x, y)
        time.sleep(1.5)
        self.assertTrue(self.run_.running(), "a click on the main window's close button while the dialog is open")
        self.assertTrue(window_facts("TForm2")["visible"])
        self.assertFalse(qvtest.window_state(ARCH)["Image3"]["visible"], "the main window takes no pointer")

        # Esc from the memo.
        subprocess.run(["xdotool", "mousemove", *map(str, self.point("Memo1")), "click", "1"], check=True)
        time.sleep(0.3)
        self.assertEqual(window_facts("TForm2")["focus"], "Edit")
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.assertTrue(self.closed(), "Esc from the memo")
        self.assertTrue(qvtest.wait_until(lambda: window_facts("TForm1")["active"] == "TForm1", 10),
                        "the main window is active again")
        facts = window_facts("TForm1")
        self.assertTrue(facts["enabled"])
        self.assertTrue(facts["topmost"], "its activation makes it topmost again")
        self.assertTrue(self.run_.running())

        # Esc with a modifier held, the focus in the memo as the dialog opens; the memo holds the
        # one note again. The keys go to the active window wherever the pointer is. Alt+Esc alone
        # is the desktop's own (it sends the active window back, under Windows as under the
        # window manager here) and never reaches the dialog: Alt is held with Ctrl instead.
        self.open_about()
        self.assertEqual(self.dialog["Memo1"]["text"], usage)
        self.assertEqual(self.facts["focus"], "Edit")
        subprocess.run(["xdotool", "key", "shift+Escape"], check=True)
        self.assertTrue(self.closed(), "Shift+Esc")
        for keys in ["ctrl+Escape", "ctrl+alt+Escape"]:
            self.open_about()
            subprocess.run(["xdotool", "key", keys], check=True)
            self.assertTrue(self.closed(), keys)
            self.assertTrue(self.run_.running())

        # Alt+F4, and the close box of the title bar.
        self.open_about()
        subprocess.run(["xdotool", "key", "alt+F4"], check=True)
        self.assertTrue(self.closed(), "Alt+F4")
        self.assertTrue(self.run_.running(), "Alt+F4 closes the dialog, not the program")
        self.open_about()
        boxes = self.caption_boxes(qvtest.screenshot())
        self.assertEqual(len(boxes), 1, "no close box to be seen")
        qvtest.click(*boxes[0])
        self.assertTrue(self.closed(), "the close box")
        self.assertTrue(self.run_.running())
        self.finish()

    def drag_main(self, dx, dy):
        """Drags the main window by its background; returns how far it went."""
        main = qvtest.window_state(ARCH)["form"]
        sx, sy = main["left"] + 60, main["top"] + 140
        # The platform's move loop starts at the first move after the press, one pixel on.
        subprocess.run(["xdotool", "mousemove", str(sx), str(sy), "sleep", "0.2", "mousedown", "1", "sleep", "0.2",
                        "mousemove", str(sx + 1), str(sy + 1), "sleep", "0.2", "mousemove", str(sx + dx // 2),
                        str(sy + dy // 2), "sleep", "0.2", "mousemove", str(sx + dx + 1), str(sy + dy + 1), "sleep",
                        "0.3", "mouseup", "1", "sleep", "0.3"], check=True)
        moved = qvtest.window_state(ARCH)["form"]
        return moved["left"] - main["left"], moved["top"] - main["top"]

    def test_later_openings_keep_the_dialogs_place(self):
        main = self.start("QvKuAboutPlace.exe")["form"]
        # Near the top of the screen the centred place would lie above it: raised to 0.
        self.assertEqual(self.drag_main(8 - main["left"], 12 - main["top"]), (8 - main["left"], 12 - main["top"]))
        first = self.open_about()["form"]
        self.assertEqual((first["left"], first["top"]), (8 + (402 - first["width"]) // 2, 0))
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.assertTrue(self.closed())
        # The main window dragged elsewhere.
        self.assertEqual(self.drag_main(500, 600), (500, 600))
        second = self.open_about()["form"]
        self.assertEqual((second["left"], second["top"]), (first["left"], first["top"]),
                         "where it was, not centred on the moved main window")

        # Moved by its title bar: the next opening shows it there.
        ox, oy = self.facts["origin"]
        cx, cy = ox + 150, oy - (oy - second["top"]) // 2
        subprocess.run(["xdotool", "mousemove", str(cx), str(cy), "sleep", "0.2", "mousedown", "1", "sleep", "0.2",
                        "mousemove", str(cx + 1), str(cy + 1), "sleep", "0.2", "mousemove", str(cx + 41),
                        str(cy + 31), "sleep", "0.3", "mouseup", "1", "sleep", "0.3"], check=True)
        dragged = form_state("TForm2")["form"]
        self.assertEqual((dragged["left"] - second["left"], dragged["top"] - second["top"]), (41, 31))
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.assertTrue(self.closed())
        third = self.open_about()["form"]
        self.assertEqual((third["left"], third["top"]), (dragged["left"], dragged["top"]))
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.assertTrue(self.closed())
        self.finish()

    def test_the_link_turns_red_under_the_pointer_and_opens_the_registered_browser(self):
        browser_log = self.scratch.file("browser.log")
        self.register_browser_command(reg_text(f'"{qvtest.win_path(BROWSER)}" -nohome "%1"'))
        self.start("QvKuAboutLink.exe", env={"QVKU_BROWSER_LOG": qvtest.win_path(browser_log)})
        dialog = self.open_about()
        self.assertEqual(dialog["Label4"]["color"], 0x80000008, "the window-text colour before the first hover")
        red = lambda p: p[0] > 180 and p[1] < 110 and p[2] < 110
        dark = lambda p: max(p) < 120

        x, y = self.point("Label4", 20)
        qvtest.move(x, y)
        qvtest.move(x + 2, y)
        self.assertTrue(qvtest.wait_until(lambda: form_state("TForm2")["Label4"]["color"] == 255, 10))
        time.sleep(0.3)
        shot = qvtest.screenshot()
        self.assertGreater(self.pixels(shot, "Label4", red), 15, "red under the pointer")
        self.assertEqual(self.pixels(shot, "Label4", dark), 0)
        self.assertEqual(self.pixels(shot, "Label1", red), 0, "only the link")

        qvtest.move(*self.point("Label2"))
        self.assertTrue(qvtest.wait_until(lambda: form_state("TForm2")["Label4"]["color"] == 0, 10),
                        "black after the pointer left")
        time.sleep(0.3)
        shot = qvtest.screenshot()
        self.assertEqual(self.pixels(shot, "Label4", red), 0)
        self.assertGreater(self.pixels(shot, "Label4", dark), 15)

        # Leaving for a place outside the program's windows.
        qvtest.move(x, y)
        qvtest.move(x + 2, y)
        self.assertTrue(qvtest.wait_until(lambda: form_state("TForm2")["Label4"]["color"] == 255, 10))
        qvtest.move(5, 5)
        self.assertTrue(qvtest.wait_until(lambda: form_state("TForm2")["Label4"]["color"] == 0, 10))

        self.assertEqual(self.browser_starts(browser_log), [])
        qvtest.click(x, y)
        self.assertTrue(qvtest.wait_until(lambda: self.browser_starts(browser_log), 20), "the browser never started")
        time.sleep(0.5)
        self.assertEqual(self.browser_starts(browser_log), [[build_setting("QVKU_PUBLISHER_URL").encode()]])
        self.assertTrue(window_facts("TForm2")["visible"], "the dialog stays open")
        # The started program took the activation (here it shows no window): back by a click.
        qvtest.click(*self.point("Label1"))
        self.assertTrue(qvtest.wait_until(lambda: window_facts("TForm2")["active"] == "TForm2", 10))
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.assertTrue(self.closed())
        self.finish()

    def test_a_browser_command_that_is_not_text_shows_the_error_box(self):
        browser_log = self.scratch.file("browser.log")
        self.register_browser_command("dword:00000005")
        self.start("QvKuAbout.Error.exe", env={"QVKU_BROWSER_LOG": qvtest.win_path(browser_log)})
        self.open_about()
        usage = self.dialog["Memo1"]["text"]
        qvtest.click(*self.point("Label4", 20))
        out = qvtest.probe(ARCH, "msgbox", "15000")
        box = dict(re.findall(r"(\w+)=(\S*)", out))
        self.assertIn("caption", box, out)
        self.assertEqual(bytes.fromhex(box["caption"]), b"QvKuAbout", "the file name up to its first full stop")
        self.assertEqual(bytes.fromhex(box["text"]), b"Invalid data type for ''.")
        self.assertEqual(box["owner"], "TApplication")
        self.assertTrue(qvtest.wait_until(lambda: window_facts("TForm2")["active"] == "TForm2", 10),
                        "the dialog is active again once the box is answered")
        time.sleep(1)
        self.assertEqual(self.browser_starts(browser_log), [], "nothing is opened")
        self.assertTrue(self.run_.running())
        self.assertTrue(window_facts("TForm2")["visible"])
        self.assertFalse(window_facts("TForm1")["enabled"], "still modal")
        self.assertEqual(form_state("TForm2")["Memo1"]["text"], usage, "activated again: the one note, not two")
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.assertTrue(self.closed())
        self.finish()


if __name__ == "__main__":
    unittest.main()
