#!/usr/bin/python3
"""Draws the pictures of the main window and the program icon.

Writes, under the output folder (default: the repository's resources/):
  pictures/Image1.jpg ... Image9.jpg, Image11.jpg ... Image13.jpg   the still pictures
  pictures/Image10.gif                                            the working animation
  QvKu.ico                                                        the program icon

Everything is computed from the tables and shapes below, so a second run gives the same bytes:
no timestamps, no randomness, fixed JPEG settings, and our own GIF and ICO writers. The bytes
also depend on the tools underneath: Debian 12's python3-pil (9.4, with libjpeg-turbo 2.1.5),
fonts-wqy-microhei and fonts-dejavu-core; another version of these may draw a pixel differently,
which the regeneration test (tools/pictures.cmake) then reports.

  make_pictures.py [OUTDIR]                 write the files
  make_pictures.py --preview DIR [OUTDIR]   also render the window in its rest and busy layouts
"""
import io
import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(os.path.dirname(HERE), "resources")

FONT_CJK = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
FONT_LATIN = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

WINDOW = (402, 160)

# Where each picture lies on the window (left, top, width, height); the buttons take the colours
# of the skin under them from these places.
PLACES = {
    "Image2": (360, 2, 39, 22), "Image3": (360, 2, 39, 22),
    "Image4": (321, 2, 39, 22), "Image5": (321, 2, 39, 22),
    "Image6": (168, 120, 120, 24), "Image7": (168, 120, 120, 24),
    "Image8": (300, 120, 86, 24), "Image9": (300, 120, 86, 24),
    "Image12": (16, 46, 70, 70), "Image10": (16, 46, 70, 70),
    "Image11": (16, 125, 371, 15), "Image13": (16, 125, 371, 15),
}

# The skin: outer border, title strip, frame and the white panel with its edge.
NAVY = (22, 48, 96)
STRIP_BOTTOM = 31                     # last row of the title strip
PANEL = (6, 32, 395, 153)             # the panel's edge line, inclusive
STRIP_STOPS = [                       # (row, colour) of the title strip's gradient
    (1, (204, 229, 251)), (15, (152, 198, 243)),
    (16, (124, 178, 235)), (31, (146, 193, 240))]
FRAME_TOP = (146, 193, 240)
FRAME_BOTTOM = (124, 174, 229)
PANEL_EDGE = (96, 148, 210)
PANEL_INNER = (236, 244, 252)         # a faint line just inside the edge

TITLE_SIGN_SHADOW = (24, 64, 128, 80)
TITLE_SEPARATOR = (66, 112, 172)
TITLE_SEPARATOR_LIGHT = (214, 233, 251)
HOVER_TOP, HOVER_BOTTOM = (244, 112, 128), (222, 66, 88)
HOVER_SEPARATOR = (176, 46, 64)

JPEG_SETTINGS = dict(quality=97, subsampling=0, optimize=False, progressive=False)

SS = 8   # supersampling factor of the anti-aliased shapes


# ------------------------------------------------------------------------------------------------
# Small helpers

def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def smoothstep(e0, e1, x):
    t = min(1.0, max(0.0, (x - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


def gradient(stops, pos):
    """Colour at pos along piecewise linear stops [(pos, colour), ...]."""
    if pos <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if pos <= p1:
            return mix(c0, c1, (pos - p0) / (p1 - p0)) if p1 > p0 else c1
    return stops[-1][1]


def vertical_fill(size, top, bottom, first=0, last=None):
    w, h = size
    last = h - 1 if last is None else last
    img = Image.new("RGB", size)
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line([(0, y), (w - 1, y)], fill=mix(top, bottom, (y - first) / max(1, last - first)))
    return img


def coverage(size, draw_fn, scale=SS):
    """An anti-aliased mask: draw_fn draws white shapes on a big canvas in picture units * scale."""
    w, h = size
    big = Image.new("L", (w * scale, h * scale), 0)
    draw_fn(ImageDraw.Draw(big), scale)
    return big.resize(size, Image.BOX)


def paint(img, colour, mask):
    """Lays colour (RGB or RGBA) over img through mask."""
    alpha = mask
    if len(colour) == 4:
        alpha = mask.point(lambda v, a=colour[3]: v * a // 255)
    img.paste(Image.new("RGB", img.size, colour[:3]), (0, 0), alpha)


def crop_place(img, name):
    x, y, w, h = PLACES[name]
    return img.crop((x, y, x + w, y + h))


def jpeg_bytes(img):
    buf = io.BytesIO()
    img.convert("RGB").save(buf, "JPEG", **JPEG_SETTINGS)
    return buf.getvalue()


# ------------------------------------------------------------------------------------------------
# Captions: Chinese characters from WenQuanYi, Latin from DejaVu, on one baseline.

def caption_runs(text):
    runs = []
    for ch in text:
        cjk = ord(ch) > 0x7F
        if runs and runs[-1][0] == cjk:
            runs[-1][1] += ch
        else:
            runs.append([cjk, ch])
    return runs


def draw_caption(img, text, colour, cjk_size, latin_size, dy=0):
    cjk = ImageFont.truetype(FONT_CJK, cjk_size, index=0)
    latin = ImageFont.truetype(FONT_LATIN, latin_size)
    runs = [(cjk if is_cjk else latin, s) for is_cjk, s in caption_runs(text)]
    width = sum(f.getlength(s) for f, s in runs)
    # Centre on the ink of the Chinese characters, which are the tallest marks.
    ink = [f.getbbox(s, anchor="ls") for f, s in runs]
    top = min(b[1] for b in ink)
    bottom = max(b[3] for b in ink)
    w, h = img.size
    x = int(round((w - width) / 2))
    baseline = int(round((h - (bottom - top)) / 2 - top)) + dy
    d = ImageDraw.Draw(img)
    for f, s in runs:
        d.text((x, baseline), s, font=f, fill=colour, anchor="ls")
        x += int(round(f.getlength(s)))


# ------------------------------------------------------------------------------------------------
# The skin and the pieces that lie on it

def make_skin():
    w, h = WINDOW
    img = Image.new("RGB", WINDOW, (255, 255, 255))
    px = img.load()
    left, top, right, bottom = PANEL
    for y in range(h):
        strip = gradient(STRIP_STOPS, y)
        frame = mix(FRAME_TOP, FRAME_BOTTOM, (y - STRIP_BOTTOM) / (h - 2 - STRIP_BOTTOM))
        for x in range(w):
            if x == 0 or y == 0 or x == w - 1 or y == h - 1:
                c = NAVY
            elif y <= STRIP_BOTTOM:
                c = strip
            elif x < left or x > right or y < top or y > bottom:
                c = frame
            elif x == left or x == right or y == top or y == bottom:
                c = PANEL_EDGE
            elif x == left + 1 or x == right - 1 or y == top + 1 or y == bottom - 1:
                c = PANEL_INNER
            else:
                c = (255, 255, 255)
            px[x, y] = c
    return img


def title_separator(img, colour, light):
    """The engraved line at the left edge of a title-strip button, fading out at both ends."""
    w, h = img.size
    px = img.load()
    for y in range(h):
        a = smoothstep(-0.5, 5.0, y) * smoothstep(-0.5, 5.0, h - 1 - y)
        px[0, y] = mix(px[0, y], colour, a)
        if light is not None:
            px[1, y] = mix(px[1, y], light, a * 0.55)


def close_sign(d, s, cx, cy, r, width):
    d.line([((cx - r) * s, (cy - r) * s), ((cx + r) * s, (cy + r) * s)], fill=255, width=int(width * s))
    d.line([((cx - r) * s, (cy + r) * s), ((cx + r) * s, (cy - r) * s)], fill=255, width=int(width * s))


def minimise_sign(d, s, cx, cy, r, width):
    d.rectangle([(cx - r) * s, (cy - width / 2) * s, (cx + r) * s, (cy + width / 2) * s], fill=255)


def title_button(ground, sign, shadow):
    """ground: the 39x22 background; sign: draws the white mark."""
    img = ground.copy()
    w, h = img.size
    cx, cy = (w + 1) / 2, h / 2
    if shadow is not None:
        paint(img, shadow, coverage(img.size, lambda d, s: sign(d, s, cx, cy + 1)))
    paint(img, (255, 255, 255), coverage(img.size, lambda d, s: sign(d, s, cx, cy)))
    return img


def make_title_buttons(skin):
    xsign = lambda d, s, cx, cy: close_sign(d, s, cx, cy, 4.3, 2.0)
    msign = lambda d, s, cx, cy: minimise_sign(d, s, cx, cy + 0.5, 5.0, 2.0)
    out = {}
    for normal, hover, sign in (("Image2", "Image3", xsign), ("Image4", "Image5", msign)):
        ground = crop_place(skin, normal)
        title_separator(ground, TITLE_SEPARATOR, TITLE_SEPARATOR_LIGHT)
        out[normal] = title_button(ground, sign, TITLE_SIGN_SHADOW)
        red = vertical_fill(ground.size, HOVER_TOP, HOVER_BOTTOM)
        title_separator(red, HOVER_SEPARATOR, None)
        out[hover] = title_button(red, sign, (150, 30, 48, 90))
    return out


def panel_button(ground, top, bottom, border, highlight, text, text_colour, cjk_size, latin_size):
    """A rounded button on the white panel: gradient face, one-pixel border, caption."""
    w, h = ground.size
    radius = 3.0
    outer = coverage(ground.size, lambda d, s: d.rounded_rectangle(
        [0, 0, w * s - 1, h * s - 1], radius=radius * s, fill=255))
    inner = coverage(ground.size, lambda d, s: d.rounded_rectangle(
        [s, s, (w - 1) * s - 1, (h - 1) * s - 1], radius=(radius - 1) * s, fill=255))
    img = ground.copy()
    paint(img, border, outer)
    face = vertical_fill(ground.size, top, bottom, 1, h - 2)
    if highlight is not None:
        # A soft sheen along the top of the face.
        fd = ImageDraw.Draw(face)
        for y in range(1, 4):
            fd.line([(0, y), (w - 1, y)], fill=mix(face.getpixel((0, y)), highlight, (4 - y) / 4))
    img.paste(face, (0, 0), inner)
    draw_caption(img, text, text_colour, cjk_size, latin_size)
    return img


def make_panel_buttons(skin):
    out = {}
    caption = "一键安装(Setup)"
    ground = crop_place(skin, "Image6")
    out["Image6"] = panel_button(ground, (206, 52, 46), (164, 24, 24), (128, 18, 20),
                                 (226, 104, 96), caption, (255, 255, 255), 12, 11)
    out["Image7"] = panel_button(ground, (238, 92, 80), (212, 56, 50), (180, 40, 36),
                                 (250, 148, 136), caption, (255, 255, 255), 12, 11)
    caption = "关于(About)"
    ground = crop_place(skin, "Image8")
    out["Image8"] = panel_button(ground, (251, 251, 251), (228, 229, 231), (168, 170, 174),
                                 None, caption, (44, 44, 48), 12, 11)
    out["Image9"] = panel_button(ground, (255, 255, 255), (255, 255, 255), (62, 138, 222),
                                 None, caption, (44, 44, 48), 12, 11)
    return out


# ------------------------------------------------------------------------------------------------
# The progress strip: an empty track and the green fill that the window uncovers from the left.

def pill(d, s, x0, y0, x1, y1, fill=255):
    d.rounded_rectangle([x0 * s, y0 * s, x1 * s - 1, y1 * s - 1], radius=(y1 - y0) / 2 * s, fill=fill)


def make_track(skin):
    ground = crop_place(skin, "Image11")
    w, h = ground.size
    img = ground.copy()
    paint(img, (188, 192, 198), coverage(img.size, lambda d, s: pill(d, s, 0, 0, w, h)))
    face = vertical_fill(img.size, (218, 221, 226), (240, 242, 245), 1, h - 2)
    img.paste(face, (0, 0), coverage(img.size, lambda d, s: pill(d, s, 1, 1, w - 1, h - 1)))
    return img


def make_fill(track):
    w, h = track.size
    face = Image.new("RGB", (w, h))
    px = face.load()
    # Darker towards both ends, lighter in the middle; a glassy sheen from top to bottom.
    dark, light = (38, 142, 46), (96, 206, 88)
    for x in range(w):
        t = math.sin(math.pi * (x + 0.5) / w) ** 0.6
        base = mix(dark, light, t)
        for y in range(h):
            v = (y - 1) / (h - 3)
            if v < 0.45:
                c = mix(base, (255, 255, 255), 0.42 * (1 - v / 0.45) + 0.12)
            else:
                c = mix(base, mix(base, (0, 60, 0), 0.35), (v - 0.45) / 0.55)
            px[x, y] = c
    img = track.copy()
    paint(img, (30, 118, 38), coverage(img.size, lambda d, s: pill(d, s, 1, 1, w - 1, h - 1)))
    img.paste(face, (0, 0), coverage(img.size, lambda d, s: pill(d, s, 2, 2, w - 2, h - 2)))
    return img


# ------------------------------------------------------------------------------------------------
# The emblem: a faceted hexagon in blue and violet carrying a ribbon "N", our own runtime mark.

EMBLEM_LIGHT = (64, 168, 255)
EMBLEM_DARK = (92, 58, 204)


def rounded_polygon(points, radius, steps=12):
    out = []
    n = len(points)
    for i in range(n):
        p0, p1, p2 = points[i - 1], points[i], points[(i + 1) % n]
        v0 = (p0[0] - p1[0], p0[1] - p1[1])
        v2 = (p2[0] - p1[0], p2[1] - p1[1])
        l0, l2 = math.hypot(*v0), math.hypot(*v2)
        u0 = (v0[0] / l0, v0[1] / l0)
        u2 = (v2[0] / l2, v2[1] / l2)
        half = math.acos(max(-1.0, min(1.0, u0[0] * u2[0] + u0[1] * u2[1]))) / 2
        cut = radius / math.tan(half)
        a = (p1[0] + u0[0] * cut, p1[1] + u0[1] * cut)
        b = (p1[0] + u2[0] * cut, p1[1] + u2[1] * cut)
        bis = (u0[0] + u2[0], u0[1] + u2[1])
        lb = math.hypot(*bis)
        dist = radius / math.sin(half)
        c = (p1[0] + bis[0] / lb * dist, p1[1] + bis[1] / lb * dist)
        a0 = math.atan2(a[1] - c[1], a[0] - c[0])
        a1 = math.atan2(b[1] - c[1], b[0] - c[0])
        da = (a1 - a0 + math.pi) % (2 * math.pi) - math.pi
        for k in range(steps + 1):
            ang = a0 + da * k / steps
            out.append((c[0] + radius * math.cos(ang), c[1] + radius * math.sin(ang)))
    return out


def hexagon(cx, cy, r):
    return [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a)))
            for a in (-90, -30, 30, 90, 150, 210)]


def diagonal_gradient(size, c0, c1):
    w, h = size
    img = Image.new("RGB", size)
    px = img.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = mix(c0, c1, (x * 0.45 + y * 0.55) / (w * 0.45 + h * 0.55))
    return img


def make_emblem(size, shadow):
    """RGBA emblem filling a size x size square; small sizes get bolder strokes."""
    s = SS
    big = size * s
    cx = cy = size / 2
    r = size * (0.47 if not shadow else 0.43)
    if shadow:
        cy -= size * 0.02
    corner = r * 0.16
    hexa = rounded_polygon(hexagon(cx, cy, r), corner)
    scaled = lambda pts: [(x * s, y * s) for x, y in pts]

    def mask(draw_fn):
        m = Image.new("L", (big, big), 0)
        draw_fn(ImageDraw.Draw(m))
        return m

    body = mask(lambda d: d.polygon(scaled(hexa), fill=255))
    canvas = Image.new("RGBA", (big, big), (255, 255, 255, 0))
    if shadow:
        sh = mask(lambda d: d.polygon(scaled(rounded_polygon(hexagon(cx, cy + size * 0.035, r * 1.0),
                                                             corner)), fill=255))
        sh = sh.filter(ImageFilter.GaussianBlur(size * s * 0.025))
        sh = sh.point(lambda v: v * 70 // 255)
        canvas.paste(Image.new("RGBA", (big, big), (40, 50, 110, 255)), (0, 0), sh)
    grad = diagonal_gradient((big, big), EMBLEM_LIGHT, EMBLEM_DARK).convert("RGBA")
    canvas.paste(grad, (0, 0), body)

    # The upper facet: a lighter triangle fan from the top corners to the centre, for depth.
    hx = hexagon(cx, cy, r)
    facet = mask(lambda d: d.polygon(scaled([hx[5], hx[0], hx[1], (cx, cy)]), fill=255))
    facet = ImageChops.multiply(facet, body).point(lambda v: v * 40 // 255)
    canvas.paste(Image.new("RGBA", (big, big), (255, 255, 255, 255)), (0, 0), facet)

    # An inner hexagon line.
    if size >= 32:
        inset = rounded_polygon(hexagon(cx, cy, r * 0.86), corner * 0.8)
        ring = mask(lambda d: d.line(scaled(inset + inset[:1]), fill=255, width=max(1, int(s * size / 70 * 1.0))))
        canvas.paste(Image.new("RGBA", (big, big), (255, 255, 255, 255)), (0, 0),
                     ring.point(lambda v: v * 60 // 255))

    # The ribbon "N": two stems and a diagonal that sweeps over them.
    stroke = r * (0.21 if size >= 32 else 0.30)
    nh = r * (0.92 if size >= 32 else 1.02)
    nw = r * (0.84 if size >= 32 else 0.96)
    x0, x1 = cx - nw / 2, cx + nw / 2
    y0, y1 = cy - nh / 2, cy + nh / 2
    st = stroke
    left_stem = [(x0, y0), (x0 + st, y0), (x0 + st, y1), (x0, y1)]
    right_stem = [(x1 - st, y0), (x1, y0), (x1, y1), (x1 - st, y1)]
    diag = [(x0, y0), (x0 + st * 1.05, y0), (x1, y1), (x1 - st * 1.05, y1)]
    white = Image.new("RGBA", (big, big), (255, 255, 255, 255))
    stems = mask(lambda d: (d.polygon(scaled(left_stem), fill=255), d.polygon(scaled(right_stem), fill=255)))
    canvas.paste(Image.new("RGBA", (big, big), (226, 236, 255, 255)), (0, 0), stems)
    if size >= 32:
        # A thin shadow cut along the diagonal, so it reads as lying over the stems.
        cut = [(p[0] + st * 0.22, p[1]) for p in diag]
        cm = mask(lambda d: d.polygon(scaled(cut), fill=255))
        cm = ImageChops.multiply(cm, stems).point(lambda v: v * 90 // 255)
        canvas.paste(Image.new("RGBA", (big, big), (60, 60, 160, 255)), (0, 0), cm)
    canvas.paste(white, (0, 0), mask(lambda d: d.polygon(scaled(diag), fill=255)))
    return canvas.resize((size, size), Image.BOX)


def make_logo():
    emblem = make_emblem(70, True)
    img = Image.new("RGB", (70, 70), (255, 255, 255))
    img.paste(emblem, (0, 0), emblem)
    return img


# ------------------------------------------------------------------------------------------------
# The gears: two meshing gears, 30 frames for one tooth pitch, as a GIF89a of our own making.

GIF_FRAMES = 30
GIF_DELAY = 3
GIF_TRANSPARENT = 255
GEAR_MODULE = 3.0
GEAR_TIP, GEAR_ROOT = 0.85, 1.0   # addendum and dedendum in modules
GEARS = [  # teeth, colour at the lit top-left, colour at the bottom-right
    (12, (96, 166, 242), (26, 86, 186)),
    (8, (128, 204, 252), (34, 124, 214)),
]
GEAR_EDGE = 0.9                  # width of the darker edge, in pixels
GEAR_ANGLE = math.radians(-40)   # direction from the big gear's centre to the small one's


def gear_outline(cx, cy, teeth, rotation):
    pitch = GEAR_MODULE * teeth / 2
    tip, root = pitch + GEAR_TIP * GEAR_MODULE, pitch - GEAR_ROOT * GEAR_MODULE
    step = 2 * math.pi / teeth
    pts = []
    for i in range(teeth):
        c = rotation + i * step
        # Angular half widths at the root and at the tip: tapered teeth with play in the mesh.
        hr, ht = step * 0.29, step * 0.19
        for a, rad in ((c - step / 2, root), (c - hr, root), (c - ht, tip), (c + ht, tip), (c + hr, root)):
            pts.append((cx + rad * math.cos(a), cy + rad * math.sin(a)))
    return pts, pitch, root


def gear_centres():
    (n1, _, _), (n2, _, _) = GEARS
    dist = GEAR_MODULE * (n1 + n2) / 2
    c1 = (0.0, 0.0)
    c2 = (dist * math.cos(GEAR_ANGLE), dist * math.sin(GEAR_ANGLE))
    # Centre the pair's outer extent in the picture.
    e1 = GEAR_MODULE * (n1 / 2 + GEAR_TIP)
    e2 = GEAR_MODULE * (n2 / 2 + GEAR_TIP)
    xs = (c1[0] - e1, c1[0] + e1, c2[0] - e2, c2[0] + e2)
    ys = (c1[1] - e1, c1[1] + e1, c2[1] - e2, c2[1] + e2)
    ox = 35 - (min(xs) + max(xs)) / 2
    oy = 35 - (min(ys) + max(ys)) / 2
    return [(c1[0] + ox, c1[1] + oy), (c2[0] + ox, c2[1] + oy)]


def render_gear_frame(k, shades):
    s = SS
    size = 70 * s
    img = Image.new("RGB", (size, size), (255, 255, 255))
    (n1, _, _), (n2, _, _) = GEARS
    step1, step2 = 2 * math.pi / n1, 2 * math.pi / n2
    turn = k / GIF_FRAMES
    rotations = [GEAR_ANGLE + turn * step1,
                 GEAR_ANGLE + math.pi + step2 / 2 - turn * step2]
    for (cx, cy), (teeth, _, _), rot, (lit, web, edge) in zip(gear_centres(), GEARS, rotations, shades):
        pts, pitch, root = gear_outline(cx, cy, teeth, rot)
        m = Image.new("L", (size, size), 0)
        d = ImageDraw.Draw(m)
        outline = [(x * s, y * s) for x, y in pts]
        d.polygon(outline, fill=255)
        img.paste(edge, (0, 0), m)
        inner = Image.new("L", (size, size), 0)
        di = ImageDraw.Draw(inner)
        di.polygon(outline, fill=255)
        di.line(outline + outline[:1], fill=0, width=int(GEAR_EDGE * s), joint="curve")
        img.paste(lit, (0, 0), inner)
        # A recessed web between rim and hub, the hub, and the axle hole: all round, so one
        # tooth pitch of turning brings the picture back exactly.
        def disc(r, source):
            dm = Image.new("L", (size, size), 0)
            ImageDraw.Draw(dm).ellipse([(cx - r) * s, (cy - r) * s, (cx + r) * s, (cy + r) * s], fill=255)
            img.paste(source, (0, 0), dm)
        rim = root - 2.0
        disc(rim, edge)
        disc(rim - GEAR_EDGE * 0.8, web)
        disc(rim * 0.52, edge)
        disc(rim * 0.52 - GEAR_EDGE * 0.8, lit)
        disc(max(1.6, rim * 0.24), (255, 255, 255))
    return img.resize((70, 70), Image.BOX)


def gear_shades():
    s = SS * 70
    out = []
    for teeth, top, bottom in GEARS:
        lit = diagonal_gradient((s, s), top, bottom)
        web = diagonal_gradient((s, s), mix(bottom, top, 0.2), mix(top, (255, 255, 255), 0.3))
        edge = diagonal_gradient((s, s), mix(top, bottom, 0.6), mix(bottom, (0, 0, 40), 0.3))
        out.append((lit, web, edge))
    return out


def lzw_encode(indices, min_code_size=8):
    """GIF's variable-length LZW, following the code-size rules of the common decoders."""
    clear, eoi = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    acc = nbits = 0

    def emit(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    size = min_code_size + 1
    next_code = eoi + 1
    table = {}
    emit(clear, size)
    if not indices:
        emit(eoi, size)
        return bytes(out) + (bytes((acc & 0xFF,)) if nbits else b"")
    prefix = indices[0]
    for b in indices[1:]:
        key = (prefix, b)
        code = table.get(key)
        if code is not None:
            prefix = code
            continue
        emit(prefix, size)
        if next_code >= (1 << size) and size < 12:
            size += 1
        if next_code >= 4095:
            emit(clear, size)
            table.clear()
            size = min_code_size + 1
            next_code = eoi + 1
        else:
            table[key] = next_code
            next_code += 1
        prefix = b
    emit(prefix, size)
    if next_code >= (1 << size) and size < 12:
        size += 1
    emit(eoi, size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def make_gears_gif():
    shades = gear_shades()
    frames = [render_gear_frame(k, shades) for k in range(GIF_FRAMES)]
    # One palette for all frames: quantise them side by side, without dithering, to 255 colours,
    # so index 255 stays free for the transparent entry that no pixel uses.
    strip = Image.new("RGB", (70 * GIF_FRAMES, 70))
    for k, f in enumerate(frames):
        strip.paste(f, (70 * k, 0))
    q = strip.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    palette = q.getpalette()[:255 * 3]
    palette += [0] * (255 * 3 - len(palette))
    # The ground is pure white.
    white = q.getpixel((0, 0))
    palette[white * 3:white * 3 + 3] = [255, 255, 255]
    palette += [255, 255, 255]                      # entry 255, never used
    raw = q.tobytes()
    index_frames = []
    for k in range(GIF_FRAMES):
        rows = [raw[y * 70 * GIF_FRAMES + 70 * k: y * 70 * GIF_FRAMES + 70 * k + 70] for y in range(70)]
        index_frames.append(Image.frombytes("L", (70, 70), b"".join(rows)))
    if max(max(f.tobytes()) for f in index_frames) >= GIF_TRANSPARENT:
        raise SystemExit("make_pictures: the gear frames use the reserved palette index")

    frames_out = []
    previous = None
    for f in index_frames:
        if previous is None:
            box = (0, 0, 70, 70)
        else:
            box = ImageChops.difference(f, previous).getbbox() or (0, 0, 1, 1)
        previous = f
        x0, y0, x1, y1 = box
        frames_out.append(GifFrame((x0, y0, x1 - x0, y1 - y0), f.crop(box).tobytes(),
                                   GIF_DELAY, 1, GIF_TRANSPARENT))
    return write_gif((70, 70), palette, white, 0, frames_out), frames


class GifFrame:
    """One image of a GIF: its rectangle (left, top, width, height), palette indices row by row,
    and its graphic control (delay in hundredths, disposal method, transparent index or None)."""

    def __init__(self, box, pixels, delay, disposal, transparent):
        self.box, self.pixels = box, pixels
        self.delay, self.disposal, self.transparent = delay, disposal, transparent


def write_gif(screen, palette, background, loop, frames):
    """A GIF89a with one global palette of 256 entries; the looping instruction (when loop is not
    None) rides on the first frame; every frame has its graphic control block."""
    if len(palette) != 256 * 3:
        raise ValueError("the global palette has 256 entries")
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", screen[0], screen[1], 0xF7, background, 0)
    out += bytes(palette)
    if loop is not None:
        out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", loop) + b"\x00"
    for f in frames:
        flags = (f.disposal << 2) | (1 if f.transparent is not None else 0)
        out += b"\x21\xF9\x04" + struct.pack("<BHB", flags, f.delay, f.transparent or 0) + b"\x00"
        out += b"\x2C" + struct.pack("<HHHHB", *f.box, 0)
        out += b"\x08" + sub_blocks(lzw_encode(f.pixels))
    out += b"\x3B"
    return bytes(out)


# ------------------------------------------------------------------------------------------------
# The program icon

def icon_entry(rgba, bits):
    """One BMP-format icon image: header, colour table, colour bits bottom-up, AND mask."""
    w, h = rgba.size
    px = list(rgba.getdata())
    opaque = [p[3] >= 128 for p in px]
    if bits == 32:
        transparent = [p[3] == 0 for p in px]
    else:
        transparent = [not o for o in opaque]
    table = b""
    if bits == 32:
        rows = []
        for y in range(h):
            row = bytearray()
            for x in range(w):
                r, g, b, a = px[y * w + x]
                row += bytes((b, g, r, a))
            rows.append(bytes(row))
    else:
        colours = 1 << bits
        used = [p[:3] for p, o in zip(px, opaque) if o]
        probe = Image.new("RGB", (len(used), 1))
        probe.putdata(used)
        q = probe.quantize(colors=colours - 1, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        n = max(q.getdata()) + 1
        pal = q.getpalette()[:n * 3]
        entries = [(0, 0, 0)] + [tuple(pal[i * 3:i * 3 + 3]) for i in range(n)]
        entries += [(0, 0, 0)] * (colours - len(entries))
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in entries)
        mapped = iter(q.getdata())
        index = [next(mapped) + 1 if o else 0 for o in opaque]
        stride = ((w * bits + 31) // 32) * 4
        rows = []
        for y in range(h):
            row = bytearray(stride)
            for x in range(w):
                v = index[y * w + x]
                if bits == 8:
                    row[x] = v
                else:
                    row[x // 2] |= v << (4 if x % 2 == 0 else 0)
            rows.append(bytes(row))
    mstride = ((w + 31) // 32) * 4
    mask_rows = []
    for y in range(h):
        row = bytearray(mstride)
        for x in range(w):
            if transparent[y * w + x]:
                row[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(row))
    xor = b"".join(reversed(rows))
    andm = b"".join(reversed(mask_rows))
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, len(xor) + len(andm), 0, 0, 0, 0)
    return header + table + xor + andm


# Order of the images in the file, and so of the icon resources 1 to 9: by colour depth from
# 16 colours up to 32-bit, within each depth 48, 32, 16 pixels.
ICON_ORDER = [(bits, size) for bits in (4, 8, 32) for size in (48, 32, 16)]


def make_icon():
    emblems = {size: make_emblem(size, False) for size in (48, 32, 16)}
    images = [(size, bits, icon_entry(emblems[size], bits)) for bits, size in ICON_ORDER]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


# ------------------------------------------------------------------------------------------------

def make_all():
    """Returns {relative path: bytes} and the decoded pictures for the preview."""
    skin = make_skin()
    pics = {"Image1": skin}
    pics.update(make_title_buttons(skin))
    pics.update(make_panel_buttons(skin))
    track = make_track(skin)
    pics["Image11"] = track
    pics["Image13"] = make_fill(track)
    pics["Image12"] = make_logo()
    files = {}
    for name in sorted(pics, key=lambda n: int(n[5:])):
        files["pictures/%s.jpg" % name] = jpeg_bytes(pics[name])
    gif, gear_frames = make_gears_gif()
    files["pictures/Image10.gif"] = gif
    files["QvKu.ico"] = make_icon()
    return files, gear_frames


def write_preview(folder, files, gear_frames):
    def load(name):
        return Image.open(io.BytesIO(files["pictures/%s.jpg" % name])).convert("RGB")

    font = ImageFont.truetype(FONT_CJK, 12, index=0)

    def layout(busy, frame=0, fill=200, hover=()):
        win = load("Image1")
        def put(name, shown=None):
            x, y, w, h = PLACES[name]
            win.paste((shown or load(name)).crop((0, 0, w, h)), (x, y))
        put("Image2")
        if "close" in hover:
            put("Image3")
        labels = [(96, 48, 217, "软件："), (96, 64, 289, "Microsoft .NET Framework v4.5.2")]
        if busy:
            labels.append((96, 96, 289, "正在安装.NET Framework 4.5.2，请稍候......"))
            put("Image10", gear_frames[frame])
            put("Image11")
            x, y, w, h = PLACES["Image13"]
            win.paste(load("Image13").crop((0, 0, fill, h)), (x, y))
        else:
            put("Image4")
            if "min" in hover:
                put("Image5")
            put("Image6")
            if "setup" in hover:
                put("Image7")
            put("Image8")
            if "about" in hover:
                put("Image9")
            put("Image12")
            labels += [(16, 10, 289, "Vorlix_www.example.com"), (96, 80, 249, "支持平台："),
                       (96, 96, 289, "Windows 7/Vista SP2/2008/8/8.1 (32位/64位系统)")]
        for x, y, w, text in labels:
            layer = Image.new("L", (w, 12), 0)
            ImageDraw.Draw(layer).text((0, 10), text, font=font, fill=255, anchor="ls")
            win.paste((0, 0, 0), (x, y), layer)
        return win

    os.makedirs(folder, exist_ok=True)
    shots = {"rest": layout(False), "busy": layout(True, 7),
             "hover": layout(False, hover=("close", "min", "setup", "about"))}
    for name, img in shots.items():
        img.save(os.path.join(folder, name + ".png"))
        img.resize((img.width * 2, img.height * 2), Image.NEAREST).save(os.path.join(folder, name + "-2x.png"))
    sheet = Image.new("RGB", (70 * 10, 70 * 3), (255, 255, 255))
    for k, f in enumerate(gear_frames):
        sheet.paste(f, (70 * (k % 10), 70 * (k // 10)))
    sheet.resize((sheet.width * 2, sheet.height * 2), Image.NEAREST).save(os.path.join(folder, "gears-2x.png"))
    # The icon as a reader of ICO files sees it, on a light and on a dark ground.
    from PIL import IcoImagePlugin
    icon = IcoImagePlugin.IcoFile(io.BytesIO(files["QvKu.ico"]))
    sheet = Image.new("RGB", (2 * (48 + 32 + 16 + 40), 3 * 58 + 10), (255, 255, 255))
    ImageDraw.Draw(sheet).rectangle([sheet.width // 2, 0, sheet.width, sheet.height], fill=(40, 44, 52))
    for i, entry in enumerate(icon.entry):
        img = icon.frame(i).convert("RGBA")
        row = (4, 8, 32).index(entry["bpp"])
        x = 10 + {48: 0, 32: 58, 16: 100}[entry["width"]]
        for half in (0, sheet.width // 2):
            sheet.paste(img, (half + x, 10 + row * 58), img)
    sheet.resize((sheet.width * 3, sheet.height * 3), Image.NEAREST).save(os.path.join(folder, "icon-3x.png"))


def main(argv):
    preview = None
    args = list(argv)
    if args[:1] == ["--preview"]:
        if len(args) < 2:
            raise SystemExit("usage: make_pictures.py [--preview DIR] [OUTDIR]")
        preview = args[1]
        args = args[2:]
    if len(args) > 1:
        raise SystemExit("usage: make_pictures.py [--preview DIR] [OUTDIR]")
    out = args[0] if args else DEFAULT_OUT
    for font in (FONT_CJK, FONT_LATIN):
        if not os.path.exists(font):
            raise SystemExit("make_pictures: font missing: %s (Debian: fonts-wqy-microhei, fonts-dejavu-core)" % font)
    files, gear_frames = make_all()
    for rel, data in sorted(files.items()):
        path = os.path.join(out, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as fh:
            fh.write(data)
    if preview:
        write_preview(preview, files, gear_frames)


if __name__ == "__main__":
    main(sys.argv[1:])
