#!/usr/bin/python3
"""Checks the pictures of the main window and the program icon against what the program needs.

  check_pictures.py [RESOURCES]   check RESOURCES/pictures/* and RESOURCES/QvKu.ico
  check_pictures.py --self-test   show that each check catches the broken file it is meant for

The GIF is read with a parser and LZW decoder of this file's own, so a fault in the generator's
encoder cannot hide behind the same fault here.
"""
import io
import os
import random
import shutil
import struct
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import make_pictures  # noqa: E402  (the writer, for the self-test's rebuilt files)

JPEG_SIZES = {
    "Image1": (402, 160), "Image2": (39, 22), "Image3": (39, 22), "Image4": (39, 22),
    "Image5": (39, 22), "Image6": (120, 24), "Image7": (120, 24), "Image8": (86, 24),
    "Image9": (86, 24), "Image11": (371, 15), "Image12": (70, 70), "Image13": (371, 15),
}
GIF_NAME = "Image10.gif"
GIF_SCREEN = (70, 70)
GIF_FRAMES = 30
GIF_DELAY = 3
GIF_TRANSPARENT = 255
ICON_IMAGES = {(size, bits) for size in (48, 32, 16) for bits in (4, 8, 32)}


class Bad(Exception):
    pass


# ------------------------------------------------------------------------------------------------
# GIF

def lzw_decode(data, min_size):
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    base = [bytes((i,)) for i in range(clear)] + [b"", b""]
    table = list(base)
    size = min_size + 1
    prev = None
    out = bytearray()
    pos, total = 0, len(data) * 8
    while True:
        if pos + size > total:
            raise Bad("image data ends without an end code")
        code = 0
        for i in range(size):
            bit = pos + i
            code |= ((data[bit >> 3] >> (bit & 7)) & 1) << i
        pos += size
        if code == clear:
            table = list(base)
            size = min_size + 1
            prev = None
            continue
        if code == eoi:
            return bytes(out)
        if prev is None:
            if code >= clear:
                raise Bad("image data starts with an undefined code %d" % code)
            entry = table[code]
        elif code < len(table):
            entry = table[code]
            if len(table) < 4096:
                table.append(table[prev] + entry[:1])
        elif code == len(table) and len(table) < 4096:
            entry = table[prev] + table[prev][:1]
            table.append(entry)
        else:
            raise Bad("image data holds an undefined code %d" % code)
        out += entry
        prev = code
        if len(table) == (1 << size) and size < 12:
            size += 1


def read_sub_blocks(data, pos):
    out = bytearray()
    while True:
        if pos >= len(data):
            raise Bad("file ends inside a data block")
        n = data[pos]
        pos += 1
        if n == 0:
            return bytes(out), pos
        if pos + n > len(data):
            raise Bad("file ends inside a data block")
        out += data[pos:pos + n]
        pos += n


def parse_gif(data):
    """Returns the header fields and the frames, each with the extensions that came before it."""
    if len(data) < 13:
        raise Bad("file too short for a GIF")
    gif = {"version": data[:6]}
    w, h, packed, background, _ = struct.unpack("<HHBBB", data[6:13])
    gif["screen"], gif["background"] = (w, h), background
    pos = 13
    gif["palette"] = None
    if packed & 0x80:
        n = 2 << (packed & 7)
        gif["palette"] = data[pos:pos + 3 * n]
        pos += 3 * n
    frames, pending = [], {"gce": None, "loop": None, "others": 0}
    while True:
        if pos >= len(data):
            raise Bad("file ends without a trailer")
        kind = data[pos]
        pos += 1
        if kind == 0x3B:
            if pos != len(data):
                raise Bad("bytes after the trailer")
            break
        if kind == 0x21:
            if pos >= len(data):
                raise Bad("file ends inside an extension")
            label = data[pos]
            pos += 1
            if label == 0xF9:
                if data[pos] != 4 or data[pos + 5] != 0:
                    raise Bad("malformed graphic control extension")
                flags, delay, transparent = struct.unpack("<BHB", data[pos + 1:pos + 5])
                if pending["gce"] is not None:
                    raise Bad("two graphic control extensions before one image")
                pending["gce"] = {"disposal": (flags >> 2) & 7, "delay": delay,
                                  "transparent": transparent if flags & 1 else None}
                pos += 6
            elif label == 0xFF:
                ident = data[pos + 1:pos + 1 + data[pos]]
                body, pos = read_sub_blocks(data, pos + 1 + data[pos])
                if ident == b"NETSCAPE2.0" and len(body) == 3 and body[0] == 1:
                    pending["loop"] = struct.unpack("<H", body[1:3])[0]
                else:
                    pending["others"] += 1
            else:
                _, pos = read_sub_blocks(data, pos)
                pending["others"] += 1
            continue
        if kind != 0x2C:
            raise Bad("unknown block 0x%02X at byte %d" % (kind, pos - 1))
        x, y, fw, fh, flags = struct.unpack("<HHHHB", data[pos:pos + 9])
        pos += 9
        frame = dict(pending, box=(x, y, fw, fh), local_palette=bool(flags & 0x80),
                     interlaced=bool(flags & 0x40))
        if flags & 0x80:
            pos += 3 * (2 << (flags & 7))
        min_size = data[pos]
        compressed, pos = read_sub_blocks(data, pos + 1)
        pixels = lzw_decode(compressed, min_size)
        if len(pixels) != fw * fh:
            raise Bad("frame %d holds %d pixels for a %dx%d rectangle" % (len(frames) + 1, len(pixels), fw, fh))
        frame["pixels"] = pixels
        frames.append(frame)
        pending = {"gce": None, "loop": None, "others": 0}
    gif["frames"] = frames
    return gif


def changed_box(a, b, width):
    """Bounding box (left, top, width, height) of the positions where a and b differ, or None."""
    xs, ys = [], []
    for i, (p, q) in enumerate(zip(a, b)):
        if p != q:
            xs.append(i % width)
            ys.append(i // width)
    if not xs:
        return None, 0
    return (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1), len(xs)


def check_gif(data):
    try:
        gif = parse_gif(data)
    except Bad as e:
        return ["GIF: " + str(e)]
    p = []
    if gif["version"] != b"GIF89a":
        p.append("GIF: version %r, not GIF89a" % gif["version"])
    if gif["screen"] != GIF_SCREEN:
        p.append("GIF: screen %s, not 70x70" % (gif["screen"],))
    if gif["palette"] is None or len(gif["palette"]) != 256 * 3:
        p.append("GIF: no global palette of 256 entries")
    frames = gif["frames"]
    if len(frames) != GIF_FRAMES:
        p.append("GIF: %d frames, not 30" % len(frames))
    sw, sh = gif["screen"]
    canvas = None
    composed = []
    for n, f in enumerate(frames, 1):
        gce = f["gce"]
        x, y, w, h = f["box"]
        if gce is None:
            p.append("GIF: frame %d has no graphic control extension" % n)
        else:
            if gce["delay"] != GIF_DELAY:
                p.append("GIF: frame %d has delay %d, not 3" % (n, gce["delay"]))
            if gce["transparent"] != GIF_TRANSPARENT:
                p.append("GIF: frame %d has transparent index %s, not 255" % (n, gce["transparent"]))
            if gce["disposal"] != 1:
                p.append("GIF: frame %d has disposal %d, not 1" % (n, gce["disposal"]))
        if (f["loop"] is not None) != (n == 1):
            p.append("GIF: looping instruction on frame %d" % n if n > 1 else "GIF: no looping instruction on frame 1")
        if n == 1 and f["loop"] not in (None, 0):
            p.append("GIF: loop count %d, not 0" % f["loop"])
        if f["local_palette"] or f["interlaced"]:
            p.append("GIF: frame %d has a local palette or is interlaced" % n)
        if GIF_TRANSPARENT in f["pixels"]:
            p.append("GIF: frame %d uses index 255 in a pixel" % n)
        if x + w > sw or y + h > sh or w == 0 or h == 0:
            p.append("GIF: frame %d rectangle %s leaves the screen" % (n, f["box"]))
            continue
        if n == 1:
            if f["box"] != (0, 0, sw, sh):
                p.append("GIF: first frame covers %s, not the whole screen" % (f["box"],))
                canvas = bytearray([gif["background"]]) * (sw * sh)
            else:
                canvas = bytearray(sw * sh)
        else:
            if w * h >= sw * sh:
                p.append("GIF: frame %d is not a sub-rectangle" % n)
        before = bytes(canvas)
        for row in range(h):
            canvas[(y + row) * sw + x:(y + row) * sw + x + w] = f["pixels"][row * w:(row + 1) * w]
        if n > 1:
            box, _ = changed_box(before, canvas, sw)
            if box is not None and box != f["box"]:
                p.append("GIF: frame %d covers %s, the bounding box of its changes is %s" % (n, f["box"], box))
        composed.append(bytes(canvas))
    # One tooth pitch over the sequence: stepping from the last frame back to the first changes
    # about as much as any other step, neither nothing (a repeated frame) nor a jump.
    if len(composed) == GIF_FRAMES:
        steps = [changed_box(composed[i - 1], composed[i], sw)[1] for i in range(1, len(composed))]
        wrap = changed_box(composed[-1], composed[0], sw)[1]
        if not steps or min(steps) == 0:
            p.append("GIF: two frames in a row are the same")
        elif not (0.5 * min(steps) <= wrap <= 1.5 * max(steps)):
            p.append("GIF: the loop does not close: %d pixels change from the last frame to the first, "
                     "%d to %d between the others" % (wrap, min(steps), max(steps)))
    return p


# ------------------------------------------------------------------------------------------------
# JPEG and ICO

def check_jpegs(folder):
    p = []
    expected = {n + ".jpg" for n in JPEG_SIZES} | {GIF_NAME}
    present = set(os.listdir(folder)) if os.path.isdir(folder) else set()
    for name in sorted(present - expected):
        p.append("pictures: unexpected file %s" % name)
    for name, size in sorted(JPEG_SIZES.items()):
        path = os.path.join(folder, name + ".jpg")
        if not os.path.exists(path):
            p.append("%s.jpg: missing" % name)
            continue
        try:
            with Image.open(path) as im:
                im.load()
                if im.format != "JPEG":
                    p.append("%s.jpg: %s, not JPEG" % (name, im.format))
                if im.size != size:
                    p.append("%s.jpg: size %dx%d, not %dx%d" % ((name,) + im.size + size))
                if im.mode != "RGB":
                    p.append("%s.jpg: mode %s, not RGB" % (name, im.mode))
                if im.info.get("progressive") or im.info.get("progression"):
                    p.append("%s.jpg: progressive" % name)
        except Exception as e:  # a file PIL cannot read is as broken as it gets
            p.append("%s.jpg: unreadable (%s)" % (name, e))
    return p


def check_icon(data):
    p = []
    if len(data) < 6:
        return ["icon: file too short"]
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    if reserved != 0 or kind != 1:
        p.append("icon: not an icon file")
    if count != 9 or len(data) < 6 + 16 * count:
        return p + ["icon: %d images, not nine" % count]
    seen = set()
    spans = []
    for i in range(count):
        w, h, colours, res, planes, bits, nbytes, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        w, h = w or 256, h or 256
        tag = "icon image %d (%dx%d, %d bits)" % (i + 1, w, h, bits)
        seen.add((w, bits) if w == h else (None, bits))
        if colours != (16 if bits == 4 else 0) or planes != 1 or res != 0:
            p.append("%s: directory entry fields" % tag)
        if offset + nbytes > len(data):
            p.append("%s: data beyond the end of the file" % tag)
            continue
        spans.append((offset, offset + nbytes))
        bmp = data[offset:offset + nbytes]
        (hsize, bw, bh, bplanes, bbits, comp, _, _, _, used, _) = struct.unpack("<IiiHHIIiiII", bmp[:40])
        if (hsize, bw, bh, bplanes, bbits, comp) != (40, w, 2 * h, 1, bits, 0):
            p.append("%s: bitmap header does not match" % tag)
            continue
        colours_in_table = (used or (1 << bits)) if bits <= 8 else 0
        stride = ((w * bits + 31) // 32) * 4
        mstride = ((w + 31) // 32) * 4
        table_end = 40 + 4 * colours_in_table
        xor_end = table_end + stride * h
        if nbytes != xor_end + mstride * h:
            p.append("%s: %d bytes, the bitmap needs %d" % (tag, nbytes, xor_end + mstride * h))
            continue
        table = [tuple(bmp[40 + 4 * k:43 + 4 * k]) for k in range(colours_in_table)]
        masked = opaque = 0
        mismatched = 0
        for y in range(h):
            row = bmp[table_end + stride * y:table_end + stride * (y + 1)]
            mrow = bmp[xor_end + mstride * y:xor_end + mstride * (y + 1)]
            for x in range(w):
                m = (mrow[x // 8] >> (7 - x % 8)) & 1
                if bits == 32:
                    b, g, r, a = row[4 * x:4 * x + 4]
                    if m != (a == 0):
                        mismatched += 1
                    colour = (b, g, r)
                elif bits == 8:
                    colour = table[row[x]]
                else:
                    colour = table[(row[x // 2] >> (4 if x % 2 == 0 else 0)) & 15]
                if m:
                    masked += 1
                    if colour != (0, 0, 0):
                        mismatched += 1   # a masked pixel must leave the screen as it is
                else:
                    opaque += 1
        if mismatched:
            p.append("%s: %d pixels where mask and colour disagree" % (tag, mismatched))
        if not masked or not opaque:
            p.append("%s: no transparent ground or no picture" % tag)
    if seen != ICON_IMAGES:
        p.append("icon: images %s, not 48/32/16 in 4, 8 and 32 bits" % sorted(seen, key=str))
    spans.sort()
    if any(a[1] > b[0] for a, b in zip(spans, spans[1:])):
        p.append("icon: images overlap in the file")
    return p


def check_all(resources):
    pictures = os.path.join(resources, "pictures")
    problems = check_jpegs(pictures)
    gif = os.path.join(pictures, GIF_NAME)
    if os.path.exists(gif):
        with open(gif, "rb") as fh:
            problems += check_gif(fh.read())
    else:
        problems.append("%s: missing" % GIF_NAME)
    ico = os.path.join(resources, "QvKu.ico")
    if os.path.exists(ico):
        with open(ico, "rb") as fh:
            problems += check_icon(fh.read())
    else:
        problems.append("QvKu.ico: missing")
    return problems


# ------------------------------------------------------------------------------------------------
# Self-test: each broken variant must be caught with the fault it carries.

def rebuild(gif, frames=None, loop="keep"):
    frames = gif["frames"] if frames is None else frames
    out = []
    for f in frames:
        g = f["gce"]
        out.append(make_pictures.GifFrame(f["box"], f["pixels"], g["delay"], g["disposal"], g["transparent"]))
    first_loop = gif["frames"][0]["loop"] if loop == "keep" else loop
    return make_pictures.write_gif(gif["screen"], gif["palette"], gif["background"], first_loop, out)


def edited(gif, n, **changes):
    """A copy of the frames with frame n (1-based) changed: gce fields, box, pixels."""
    frames = [dict(f, gce=dict(f["gce"])) for f in gif["frames"]]
    f = frames[n - 1]
    for k, v in changes.items():
        if k in ("delay", "disposal", "transparent"):
            f["gce"][k] = v
        else:
            f[k] = v
    return frames


def composed_canvas(gif, upto):
    sw, sh = gif["screen"]
    canvas = bytearray(sw * sh)
    for f in gif["frames"][:upto]:
        x, y, w, h = f["box"]
        for row in range(h):
            canvas[(y + row) * sw + x:(y + row) * sw + x + w] = f["pixels"][row * w:(row + 1) * w]
    return bytes(canvas)


def from_canvases(gif, canvases):
    """Frames that show the given whole pictures in turn, each later one as the box of its changes."""
    sw, sh = gif["screen"]
    frames = []
    for k, c in enumerate(canvases):
        box = (0, 0, sw, sh) if k == 0 else changed_box(canvases[k - 1], c, sw)[0] or (0, 0, 1, 1)
        x, y, w, h = box
        pixels = b"".join(c[(y + r) * sw + x:(y + r) * sw + x + w] for r in range(h))
        frames.append(dict(gif["frames"][k], box=box, pixels=pixels, loop=None))
    return frames


def widened(f, sw, canvas):
    x, y, w, h = f["box"]
    w += 1
    rows = [canvas[(y + r) * sw + x:(y + r) * sw + x + w] for r in range(h)]
    # The extra column repeats what is already there, so the frame changes nothing more.
    return dict(box=(x, y, w, h), pixels=b"".join(rows))


def gif_cases(data):
    gif = parse_gif(data)
    sw, _ = gif["screen"]
    full = composed_canvas(gif, 2)
    first = gif["frames"][0]
    wide = widened(gif["frames"][4], sw, composed_canvas(gif, 5))
    px7 = bytearray(gif["frames"][6]["pixels"])
    px7[len(px7) // 2] = 255
    half = bytes(first["pixels"][:70 * 35])
    canvases = [composed_canvas(gif, k) for k in range(1, len(gif["frames"]) + 1)]
    return [
        ("delay 4 on frame 6", rebuild(gif, edited(gif, 6, delay=4)), "frame 6 has delay 4"),
        ("no transparent index on frame 3", rebuild(gif, edited(gif, 3, transparent=None)), "frame 3 has transparent index None"),
        ("transparent index 254 on frame 30", rebuild(gif, edited(gif, 30, transparent=254)), "frame 30 has transparent index 254"),
        ("disposal 2 on frame 9", rebuild(gif, edited(gif, 9, disposal=2)), "frame 9 has disposal 2"),
        ("first frame disposal 0", rebuild(gif, edited(gif, 1, disposal=0)), "frame 1 has disposal 0"),
        ("loop count 1", rebuild(gif, loop=1), "loop count 1"),
        ("no looping instruction", rebuild(gif, loop=None), "no looping instruction on frame 1"),
        ("29 frames", rebuild(gif, gif["frames"][:29]), "29 frames"),
        ("frame 2 full size", rebuild(gif, edited(gif, 2, box=(0, 0, 70, 70), pixels=full)), "frame 2 is not a sub-rectangle"),
        ("frame 5 one column too wide", rebuild(gif, edited(gif, 5, **wide)), "frame 5 covers"),
        ("index 255 in a pixel of frame 7", rebuild(gif, edited(gif, 7, pixels=bytes(px7))), "frame 7 uses index 255"),
        ("first frame only its top half", rebuild(gif, edited(gif, 1, box=(0, 0, 70, 35), pixels=half)), "first frame covers"),
        ("first frame repeated at the end", rebuild(gif, from_canvases(gif, canvases[:29] + canvases[:1])),
         "the loop does not close"),
        ("a frame shown twice", rebuild(gif, from_canvases(gif, canvases[:15] + canvases[14:29])),
         "two frames in a row are the same"),
        ("GIF87a header", b"GIF87a" + data[6:], "not GIF89a"),
        ("cut short", data[:len(data) // 2], "GIF: file ends"),
        ("trailer missing", data[:-1], "without a trailer"),
    ]


def lzw_round_trips():
    """The writer's LZW against this decoder and PIL's, on streams that reach the code-size steps
    and the full table."""
    rng = random.Random(2052)
    cases = [
        ("one pixel", (1, 1), bytes([7])),
        ("one colour", (400, 250), bytes([3]) * 100000),
        ("noise over 255 colours", (100, 80), bytes(rng.randrange(255) for _ in range(8000))),
        ("two colours at random", (300, 100), bytes(rng.randrange(2) for _ in range(30000))),
        ("ramps", (256, 64), bytes((x + y) % 255 for y in range(64) for x in range(256))),
    ]
    palette = bytes(v for i in range(256) for v in (i, 255 - i, (i * 7) % 256))
    problems = []
    for name, (w, h), pixels in cases:
        code = make_pictures.lzw_encode(pixels)
        try:
            back = lzw_decode(code, 8)
        except Bad as e:
            back = str(e).encode()
        if back != pixels:
            problems.append("LZW %s: our decoder gives other pixels" % name)
        gif = make_pictures.write_gif((w, h), palette, 0, None,
                                      [make_pictures.GifFrame((0, 0, w, h), pixels, 3, 1, None)])
        with Image.open(io.BytesIO(gif)) as im:
            if im.tobytes() != pixels:
                problems.append("LZW %s: PIL decodes other pixels" % name)
    return problems


def self_test():
    failures = []
    real = os.path.join(ROOT, "resources")
    problems = check_all(real)
    if problems:
        failures.append("the committed pictures fail: %s" % problems)
    with open(os.path.join(real, "pictures", GIF_NAME), "rb") as fh:
        data = fh.read()
    try:
        if rebuild(parse_gif(data)) != data:
            failures.append("parsing and rewriting the GIF does not give the same bytes")
        cases = gif_cases(data)
    except Bad as e:
        failures.append("the committed GIF cannot be read: %s" % e)
        cases = []
    for name, broken, expect in cases:
        got = check_gif(broken)
        if not any(expect in g for g in got):
            failures.append("GIF %s: expected %r, got %s" % (name, expect, got))
    failures += lzw_round_trips()

    def jpeg_resized(folder):
        path = os.path.join(folder, "pictures", "Image6.jpg")
        Image.open(path).resize((121, 24)).save(path, "JPEG")

    def jpeg_as_png(folder):
        path = os.path.join(folder, "pictures", "Image12.jpg")
        Image.open(path).save(path, "PNG")

    def jpeg_progressive(folder):
        path = os.path.join(folder, "pictures", "Image1.jpg")
        Image.open(path).save(path, "JPEG", progressive=True)

    def jpeg_missing(folder):
        os.remove(os.path.join(folder, "pictures", "Image9.jpg"))

    def icon_edit(fn):
        def run(folder):
            path = os.path.join(folder, "QvKu.ico")
            with open(path, "rb") as fh:
                data = bytearray(fh.read())
            fn(data)
            with open(path, "wb") as fh:
                fh.write(data)
        return run

    def icon_count(data):
        data[4] = 8

    def icon_alpha(data):
        # A 32-bit image: clear the alpha of a pixel in the middle, leaving its mask bit unset.
        for i in range(9):
            w, _, _, _, _, bits, _, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
            if bits == 32:
                middle = offset + 40 + 4 * (w * (w // 2) + w // 2)
                data[middle + 3] = 0
                return

    def icon_bits(data):
        for i in range(9):
            if struct.unpack("<H", data[6 + 16 * i + 6:6 + 16 * i + 8])[0] == 8:
                data[6 + 16 * i + 6:6 + 16 * i + 8] = struct.pack("<H", 4)
                return

    file_cases = [
        ("install picture one pixel wider", jpeg_resized, "Image6.jpg: size 121x24"),
        ("logo stored as PNG", jpeg_as_png, "Image12.jpg: PNG, not JPEG"),
        ("skin progressive", jpeg_progressive, "Image1.jpg: progressive"),
        ("hover picture missing", jpeg_missing, "Image9.jpg: missing"),
        ("icon counts eight images", icon_edit(icon_count), "8 images, not nine"),
        ("icon alpha without mask", icon_edit(icon_alpha), "mask and colour disagree"),
        ("icon entry claims 4 bits for an 8-bit image", icon_edit(icon_bits), "directory entry fields"),
    ]
    for name, breaker, expect in file_cases:
        with tempfile.TemporaryDirectory() as tmp:
            copy = os.path.join(tmp, "resources")
            os.makedirs(copy)
            shutil.copytree(os.path.join(real, "pictures"), os.path.join(copy, "pictures"))
            shutil.copy(os.path.join(real, "QvKu.ico"), copy)
            breaker(copy)
            got = check_all(copy)
            if not any(expect in g for g in got):
                failures.append("%s: expected %r, got %s" % (name, expect, got))
    return failures


def main(argv):
    if argv == ["--self-test"]:
        failures = self_test()
        for f in failures:
            print("FAIL:", f)
        print("self-test: %s" % ("failed" if failures else "every broken variant caught"))
        return 1 if failures else 0
    if len(argv) > 1 or (argv and argv[0].startswith("-")):
        print("usage: check_pictures.py [RESOURCES] | --self-test", file=sys.stderr)
        return 2
    resources = argv[0] if argv else os.path.join(ROOT, "resources")
    problems = check_all(resources)
    for p in problems:
        print("FAIL:", p)
    if not problems:
        print("pictures: %d JPEGs, the GIF and the icon are as the program needs them" % len(JPEG_SIZES))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
