"""The skinned main window on a real display: what it shows at rest and while busy, hover
pictures, dragging, minimising, and no growth of GDI or window handles."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import qvtest
from qvtest import E2E

ARCH = os.environ.get("QVKU_TEST_ARCH", "win64")
BUTTONS = [  # hotspot, normal picture, hover picture
    ("Label1", "Image2", "Image3"),
    ("Label2", "Image4", "Image5"),
    ("Label3", "Image6", "Image7"),
    ("Label4", "Image8", "Image9"),
]


class Window(E2E):
    def start(self, name, args=(), env=None, locale="en"):
        exe = self.scratch.copy_exe(name)
        self.run_ = qvtest.Run(ARCH, exe, list(args), log=self.log, env=env, locale=locale)
        self.state = qvtest.wait_for_state(ARCH, lambda s: s["form"]["visible"], 30)
        self.assertTrue(self.state and self.state["form"]["visible"])
        time.sleep(0.5)  # the first paint
        return self.state

    def finish(self, code=1602):
        qvtest.probe(ARCH, "close")
        self.assertEqual(self.run_.wait(60), code)

    def screen_point(self, element, x, y, state=None):
        state = state or self.state
        e = state[element]
        return state["form"]["left"] + e["left"] + x, state["form"]["top"] + e["top"] + y

    def assertShows(self, shot, element, picture, points=((0.5, 0.5), (0.2, 0.3), (0.8, 0.7)), state=None):
        """The element's area on the screen shows the picture at the given relative points."""
        state = state or self.state
        e = state[element]
        source = qvtest.picture(picture)
        for fx, fy in points:
            x, y = int(e["width"] * fx), int(e["height"] * fy)
            on_screen = shot.getpixel(self.screen_point(element, x, y, state))
            self.assertTrue(qvtest.near(on_screen, source.getpixel((x, y))),
                            f"{element} at ({x},{y}) shows {on_screen}, {picture} has {source.getpixel((x, y))}")

    def label_ink(self, shot, element, state=None):
        """How many pixels of the label's box are dark: its letters."""
        state = state or self.state
        e = state[element]
        dark = 0
        for y in range(e["height"]):
            for x in range(e["width"]):
                r, g, b = shot.getpixel(self.screen_point(element, x, y, state))
                dark += r + g + b < 450
        return dark

    def test_rest_layout_in_english_and_chinese(self):
        crops = {}
        for locale in ["en", "zh"]:
            with self.subTest(locale=locale):
                state = self.start(f"QvKuRest{locale}.exe", locale=locale)
                qvtest.move(5, 5)
                time.sleep(0.5)
                shot = qvtest.screenshot()
                self.assertShows(shot, "Image1", "Image1.jpg", ((0.02, 0.5), (0.5, 0.05), (0.95, 0.95)))
                for hotspot, normal, hover in BUTTONS:
                    self.assertShows(shot, normal, normal + ".jpg")
                self.assertShows(shot, "Image12", "Image12.jpg")
                for label in ["Label5", "Label6", "Label7", "Label8", "Label9"]:
                    self.assertGreater(self.label_ink(shot, label), 15, f"{label} shows no text")
                expected = b"Soft:" if locale == "en" else "软件：".encode("gbk")
                self.assertEqual(state["Label6"]["text"], expected)
                crops[locale] = shot.crop((state["form"]["left"] + 96, state["form"]["top"] + 48,
                                           state["form"]["left"] + 313, state["form"]["top"] + 60))
                self.finish()
        self.assertNotEqual(list(crops["en"].getdata()), list(crops["zh"].getdata()),
                            "the two languages should draw different texts")

    def test_hover_pictures_show_under_the_pointer_and_go_at_the_next_idle_moment(self):
        self.start("QvKuHover.exe")
        for hotspot, normal, hover in BUTTONS:
            with self.subTest(button=hotspot):
                qvtest.move(*self.screen_point(hotspot, self.state[hotspot]["width"] // 2, 11))
                self.assertTrue(qvtest.wait_until(lambda: qvtest.window_state(ARCH)[hover]["visible"], 10))
                time.sleep(0.3)
                self.assertShows(qvtest.screenshot(), hotspot, hover + ".jpg")
                qvtest.move(*self.screen_point("Image1", 200, 152))  # the background below the buttons
                self.assertTrue(qvtest.wait_until(lambda: not qvtest.window_state(ARCH)[hover]["visible"], 10))
                time.sleep(0.3)
                self.assertShows(qvtest.screenshot(), hotspot, normal + ".jpg")
        # Straight from one hotspot to the next: the first hover goes, the second comes.
        qvtest.move(*self.screen_point("Label2", 20, 11))
        self.assertTrue(qvtest.wait_until(lambda: qvtest.window_state(ARCH)["Image5"]["visible"], 10))
        qvtest.move(*self.screen_point("Label1", 20, 11))
        state = qvtest.wait_for_state(ARCH, lambda s: s["Image3"]["visible"] and not s["Image5"]["visible"], 10)
        self.assertTrue(state["Image3"]["visible"] and not state["Image5"]["visible"])
        self.finish()

    def drag(self, element, x, y, dx=60, dy=40):
        sx, sy = self.screen_point(element, x, y)
        # The platform's move loop starts at the first move after the press and follows the
        # pointer from there: that first step is one pixel.
        subprocess.run(["xdotool", "mousemove", str(sx), str(sy), "sleep", "0.2", "mousedown", "1", "sleep", "0.2",
                        "mousemove", str(sx + 1), str(sy + 1), "sleep", "0.2",
                        "mousemove", str(sx + dx // 2), str(sy + dy // 2), "sleep", "0.2",
                        "mousemove", str(sx + dx), str(sy + dy), "sleep", "0.3", "mouseup", "1", "sleep", "0.3"],
                       check=True)
        after = qvtest.window_state(ARCH)
        moved = (after["form"]["left"] - self.state["form"]["left"], after["form"]["top"] - self.state["form"]["top"])
        self.state = after
        return moved

    def test_dragging_moves_the_window_by_the_background_the_banner_and_the_text_lines(self):
        self.start("QvKuDrag.exe")
        for element, x, y in [("Image1", 200, 152), ("Label5", 100, 5), ("Label6", 5, 5), ("Label7", 5, 5),
                              ("Label8", 50, 5), ("Label9", 50, 5)]:
            with self.subTest(element=element):
                self.assertEqual(self.drag(element, x, y), (59, 39))
                self.assertEqual(self.drag(element, x, y, -59, -39), (-60, -40))
        for element, x, y in [("Label3", 60, 12), ("Label4", 40, 12), ("Image12", 35, 35), ("Label1", 20, 11)]:
            with self.subTest(element=element):
                before = self.state
                self.assertEqual(self.drag(element, x, y, 40, 40), (0, 0), f"pressing on {element} moved the window")
                self.assertTrue(self.state["Label3"]["enabled"], "dragging off a hotspot is no click")
                self.assertTrue(self.state["form"]["visible"])
                self.state = before
        self.assertEqual(self.entries("start"), [])
        self.finish()

    def test_minimise_leaves_the_screen_and_restore_brings_it_back_unchanged(self):
        state = self.start("QvKuMin.exe")
        qvtest.click_element(state, "Label2")
        self.assertTrue(qvtest.wait_until(lambda: qvtest.visible_x_windows("qvkumin.exe", "Vorlix") == [], 10),
                        "the window is still on the screen")
        self.assertTrue(qvtest.window_state(ARCH)["form"]["minimized"])
        qvtest.probe(ARCH, "restore")
        self.assertTrue(qvtest.wait_until(lambda: qvtest.visible_x_windows("qvkumin.exe", "Vorlix") != [], 10))
        after = qvtest.window_state(ARCH)
        self.assertEqual((after["form"]["left"], after["form"]["top"]), (state["form"]["left"], state["form"]["top"]))
        self.assertFalse(after["form"]["minimized"])
        time.sleep(0.5)
        self.assertShows(qvtest.screenshot(), "Image6", "Image6.jpg", state=after)
        self.finish()

    def test_busy_window_animates_and_the_strip_grows(self):
        release = self.scratch.file("release")
        self.start("QvKuBusy.exe", ["-a"], env={"QVKU_STANDIN_ENU_WAITFILE": qvtest.win_path(release)})
        self.assertTrue(qvtest.wait_until(lambda: self.entries("start", "ENU"), 60))
        state = qvtest.window_state(ARCH)
        self.state = state
        self.assertEqual(state["Label9"]["text"], b"Installing .NET Framework 4.5.2, please wait ......")
        first = qvtest.screenshot()
        self.assertGreater(self.label_ink(first, "Label9", state), 20)
        box = lambda shot: shot.crop((state["form"]["left"] + 16, state["form"]["top"] + 46,
                                      state["form"]["left"] + 86, state["form"]["top"] + 116))
        frames = {box(first).tobytes()}
        for _ in range(5):
            time.sleep(0.05)
            frames.add(box(qvtest.screenshot()).tobytes())
        self.assertGreater(len(frames), 1, "the gears do not turn")
        self.assertShows(first, "Image11", "Image11.jpg", ((0.9, 0.5), (0.6, 0.5)), state)
        self.assertShows(first, "Image13", "Image13.jpg", ((0.3, 0.5), (0.6, 0.5)), state)

        def fill_width(shot, s):
            # the strip's green part along its middle row
            y = s["form"]["top"] + 125 + 7
            return sum(1 for x in range(s["form"]["left"] + 16, s["form"]["left"] + 16 + 371)
                       if (lambda p: p[1] > p[0] + 40 and p[1] > p[2] + 40)(shot.getpixel((x, y))))

        a0 = time.time()
        state = qvtest.window_state(ARCH)
        a1 = time.time()
        w1, shot1 = state["Image13"]["width"], qvtest.screenshot()
        time.sleep(3)
        b0 = time.time()
        later = qvtest.window_state(ARCH)
        b1 = time.time()
        shot2 = qvtest.screenshot()
        grown = later["Image13"]["width"] - w1
        # One pixel a second: as many ticks as whole seconds lie between the two readings.
        self.assertGreaterEqual(grown, int(b0 - a1) - 1)
        self.assertLessEqual(grown, int(b1 - a0) + 1)
        self.assertGreater(grown, 0)
        self.assertAlmostEqual(fill_width(shot2, later) - fill_width(shot1, state), grown, delta=1)
        # Busy: the strip does not drag the window; the disabled minimise hotspot lets the press
        # through to the background, which does.
        self.state = later
        self.assertEqual(self.drag("Image11", 300, 7, 40, 30), (0, 0))
        self.assertEqual(self.drag("Label2", 20, 11), (59, 39))
        open(release, "w").close()
        self.assertEqual(self.run_.wait(), 0)


if __name__ == "__main__":
    unittest.main()
