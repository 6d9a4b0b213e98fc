#!/usr/bin/python3
"""Packs a readable window layout (resources/TForm1.layout, TForm2.layout) into the binary
layout that the program keeps as an RCDATA resource and reads with ParseLayout
(ui/framework/LayoutFormat.h, which documents the format; resources/LAYOUT.md describes the
source).

    pack_layout.py <source.layout> <out.bin> --pictures <dir> [--define NAME=VALUE ...]
                   [--depfile <file>]

Texts are written in GBK (code page 936). ${NAME} inside a quoted text is replaced by the value
of --define NAME=VALUE (given in UTF-8). Every check the parser makes is made here first, so a
fault is reported as file:line. The output depends only on the inputs: same inputs, same bytes.
"""

import argparse
import os
import re
import struct
import sys
import zlib

VERSION = 1
MAX_NAME = 63
MAX_TEXT = 4096
MAX_FACE = 31
MAX_COORD = 4096
MAX_SIZE = 4096
MAX_ELEMENTS = 512
MAX_PICTURES = 64
MAX_EVENTS = 16
MAX_MEMO_LINES = 256
MAX_PICTURE_BYTES = 16 << 20
MAX_TIMER_INTERVAL = 3600000
NO_PICTURE = 0xFFFF
SYSTEM_COLOUR = 0x80000000

KINDS = {"Picture": 1, "AnimatedPicture": 2, "Label": 3, "Hotspot": 4, "Timer": 5, "GroupBox": 6, "Memo": 7}
BORDERS = {"none": 0, "dialog": 1}
POSITIONS = {"desktopcenter": 0, "mainformcenter": 1}
CURSORS = {"default": 0, "arrow": 1, "hand": 2}
DRAW_MODES = {"stretched": 0, "natural": 1}
STYLES = {"bold": 1, "italic": 2, "underline": 4, "strikeout": 8}
CHARSETS = {"ansi": 0, "default": 1, "symbol": 2, "mac": 77, "shiftjis": 128, "hangul": 129, "johab": 130,
            "gb2312": 134, "chinesebig5": 136, "greek": 161, "turkish": 162, "vietnamese": 163, "hebrew": 177,
            "arabic": 178, "baltic": 186, "russian": 204, "thai": 222, "easteurope": 238, "oem": 255}
SYSTEM_COLOURS = ["scrollbar", "background", "activecaption", "inactivecaption", "menu", "window",
                  "windowframe", "menutext", "windowtext", "captiontext", "activeborder", "inactiveborder",
                  "appworkspace", "highlight", "highlighttext", "btnface", "btnshadow", "graytext", "btntext",
                  "inactivecaptiontext", "btnhighlight", "3ddkshadow", "3dlight", "infotext", "infobk", None,
                  "hotlight", "gradientactivecaption", "gradientinactivecaption", "menuhilight", "menubar"]
FORM_EVENTS = ("OnCreate", "OnActivate", "OnClose", "OnKeyDown")
VISUAL_EVENTS = ("OnClick", "OnMouseMove", "OnMouseLeave")
TIMER_EVENTS = ("OnTimer",)
FONT_KEYS = ("font.face", "font.height", "font.style", "font.colour", "font.charset")
FORM_KEYS = {"class", "client", "border", "caption", "colour", "position", "keypreview"} | set(FONT_KEYS)
ELEMENT_KEYS = {"parent", "bounds", "visible", "enabled", "autosize", "transparent", "text", "cursor", "picture",
                "draw", "interval", "readonly", "scrollbars", "wordwrap", "line"} | set(FONT_KEYS)
NAME_RE = re.compile(r"[A-Za-z_][A-Za-z0-9_]*\Z")
DEFINE_RE = re.compile(r"[A-Za-z_][A-Za-z0-9_]*\Z")


class PackError(Exception):
    pass


class Value:
    """One `key = value` line: the raw value text and where it stands."""

    def __init__(self, text, where):
        self.text = text
        self.where = where

    def fail(self, message):
        raise PackError(f"{self.where}: {message}")


class Block:
    def __init__(self, kind, name, where):
        self.kind = kind  # "form" or an element kind
        self.name = name
        self.where = where
        self.values = {}  # key -> Value
        self.lines = []  # memo lines, in order
        self.events = []  # (event, handler, Value)

    def fail(self, message):
        raise PackError(f"{self.where}: {message}")


def read_source(path):
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        raise PackError(f"{path}: cannot read: {e.strerror}")
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        line = raw[:e.start].count(b"\n") + 1
        raise PackError(f"{path}:{line}: not UTF-8 text")
    if text.startswith("\ufeff"):
        text = text[1:]
    blocks, block = [], None
    for number, line in enumerate(text.split("\n"), 1):
        where = f"{path}:{number}"
        stripped = line.strip()
        if not stripped or stripped.startswith("#"):
            continue
        words = stripped.split()
        if block is None:
            if words[0] == "form" and len(words) == 2:
                block = Block("form", words[1], where)
            elif words[0] == "element" and len(words) == 3:
                if words[1] not in KINDS:
                    raise PackError(f"{where}: unknown element kind \"{words[1]}\" "
                                    f"(known: {', '.join(KINDS)})")
                block = Block(words[1], words[2], where)
            else:
                raise PackError(f"{where}: expected \"form <Name>\" or \"element <Kind> <Name>\", "
                                f"found \"{stripped}\"")
            continue
        if stripped == "end":
            blocks.append(block)
            block = None
            continue
        key, eq, value = stripped.partition("=")
        key, value = key.strip(), value.strip()
        if not eq or not key:
            raise PackError(f"{where}: expected \"key = value\" or \"end\", found \"{stripped}\"")
        v = Value(value, where)
        if key.startswith("On"):
            block.events.append((key, value, v))
        elif key == "line":
            block.lines.append(v)
        else:
            allowed = FORM_KEYS if block.kind == "form" else ELEMENT_KEYS
            if key not in allowed:
                raise PackError(f"{where}: unknown key \"{key}\" in a {block.kind} block")
            if key in block.values:
                raise PackError(f"{where}: \"{key}\" is given twice (first at {block.values[key].where})")
            block.values[key] = v
    if block is not None:
        raise PackError(f"{block.where}: the block has no \"end\"")
    return blocks


def check_name(text, what, v):
    if not NAME_RE.match(text) or len(text) > MAX_NAME:
        v.fail(f"{what} \"{text}\" is not a name (1..{MAX_NAME} ASCII letters, digits, underscores)")
    return text


def quoted(v, defines):
    """A double-quoted text with \\" and \\\\ as its only escapes, ${NAME} replaced."""
    s = v.text
    if len(s) < 2 or s[0] != '"' or s[-1] != '"':
        v.fail(f"expected a text in double quotes, found {s}")
    out, i, body = [], 0, s[1:-1]
    while i < len(body):
        c = body[i]
        if c == "\\":
            if i + 1 >= len(body) or body[i + 1] not in '"\\':
                v.fail("a backslash in a text must be followed by \" or \\")
            out.append(body[i + 1])
            i += 2
        elif c == '"':
            v.fail("a double quote inside a text must be written \\\"")
        elif c == "$" and body.startswith("${", i):
            end = body.find("}", i)
            if end < 0:
                v.fail("\"${\" without a closing \"}\"")
            name = body[i + 2:end]
            if name not in defines:
                v.fail(f"${{{name}}} is not defined (give --define {name}=VALUE)")
            out.append(defines[name])
            i = end + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def gbk(text, v, limit=MAX_TEXT, what="text"):
    if "\0" in text:
        v.fail(f"the {what} holds a NUL character")
    try:
        data = text.encode("gbk")
    except UnicodeEncodeError as e:
        ch = text[e.start]
        v.fail(f"the {what} holds {ch!r} (U+{ord(ch):04X}), which GBK cannot encode")
    if len(data) > limit:
        v.fail(f"the {what} is {len(data)} bytes in GBK, over the limit of {limit}")
    return data


def integer(v, low, high, text=None):
    text = v.text if text is None else text
    if not re.fullmatch(r"-?[0-9]+", text):
        v.fail(f"expected a whole number, found \"{text}\"")
    n = int(text)
    if not low <= n <= high:
        v.fail(f"{n} is outside {low}..{high}")
    return n


def integers(v, count, ranges):
    parts = v.text.split()
    if len(parts) != count:
        v.fail(f"expected {count} whole numbers, found \"{v.text}\"")
    return [integer(v, lo, hi, p) for p, (lo, hi) in zip(parts, ranges)]


def choice(v, table, what):
    if v.text not in table:
        v.fail(f"unknown {what} \"{v.text}\" (known: {', '.join(table)})")
    return table[v.text]


def yes_no(v):
    return choice(v, {"yes": True, "no": False}, "value")


def colour(v):
    t = v.text.lower()
    m = re.fullmatch(r"#([0-9a-f]{2})([0-9a-f]{2})([0-9a-f]{2})", t)
    if m:
        r, g, b = (int(x, 16) for x in m.groups())
        return r | g << 8 | b << 16  # COLORREF order
    if t in SYSTEM_COLOURS:
        return SYSTEM_COLOUR | SYSTEM_COLOURS.index(t)
    v.fail(f"expected a colour (#RRGGBB or a system colour such as btnface, windowtext), found \"{v.text}\"")


def font(block, defines, required):
    given = [k for k in FONT_KEYS if k in block.values]
    if not given:
        if required:
            block.fail("the form needs a font (font.face, font.height, font.style, font.colour, font.charset)")
        return None
    missing = [k for k in FONT_KEYS if k not in block.values]
    if missing:
        block.values[given[0]].fail(f"an own font needs all five font keys; missing: {', '.join(missing)}")
    vals = block.values
    face = gbk(quoted(vals["font.face"], defines), vals["font.face"], MAX_FACE, "face")
    if not face:
        vals["font.face"].fail("the face is empty")
    height = integer(vals["font.height"], 1, 256)
    style = 0
    if vals["font.style"].text != "regular":
        for word in vals["font.style"].text.split():
            if word not in STYLES:
                vals["font.style"].fail(f"unknown style \"{word}\" (regular, or any of {', '.join(STYLES)})")
            style |= STYLES[word]
    charset_v = vals["font.charset"]
    if re.fullmatch(r"[0-9]+", charset_v.text):
        charset = integer(charset_v, 0, 255)
        if charset not in CHARSETS.values():
            charset_v.fail(f"unknown character set {charset}")
    else:
        charset = choice(charset_v, CHARSETS, "character set")
    return struct.pack("<H", len(face)) + face + struct.pack("<HBIB", height, style, colour(vals["font.colour"]),
                                                             charset)


def events(block, allowed):
    seen = {}
    out = b""
    for event, handler, v in block.events:
        if event not in allowed:
            v.fail(f"\"{event}\" is not an event of a {block.kind} (known: {', '.join(allowed)})")
        if event in seen:
            v.fail(f"\"{event}\" is bound twice (first at {seen[event]})")
        seen[event] = v.where
        check_name(handler, "handler", v)
        out += text_field(event.encode("ascii")) + text_field(handler.encode("ascii"))
    if len(block.events) > MAX_EVENTS:
        block.fail(f"{len(block.events)} events, over the limit of {MAX_EVENTS}")
    return struct.pack("<B", len(block.events)) + out


def text_field(data):
    return struct.pack("<H", len(data)) + data


def pack_form(block, defines):
    check_name(block.name, "form name", Value(block.name, block.where))
    vals = block.values
    for key in ("class", "client", "border", "caption", "colour", "position"):
        if key not in vals:
            block.fail(f"the form needs \"{key}\"")
    class_name = check_name(vals["class"].text, "class name", vals["class"])
    width, height = integers(vals["client"], 2, [(1, MAX_SIZE), (1, MAX_SIZE)])
    out = text_field(block.name.encode("ascii")) + text_field(class_name.encode("ascii"))
    out += struct.pack("<HHB", width, height, choice(vals["border"], BORDERS, "border"))
    out += text_field(gbk(quoted(vals["caption"], defines), vals["caption"], what="caption"))
    out += struct.pack("<I", colour(vals["colour"]))
    out += font(block, defines, required=True)
    keypreview = yes_no(vals["keypreview"]) if "keypreview" in vals else False
    out += struct.pack("<BB", choice(vals["position"], POSITIONS, "position"), int(keypreview))
    out += events(block, FORM_EVENTS)
    return out


def load_picture(v, picture_dir):
    name = v.text[1:-1] if len(v.text) >= 2 and v.text[0] == '"' and v.text[-1] == '"' else v.text
    if not name or "/" in name or "\\" in name or name in (".", ".."):
        v.fail(f"a picture is a plain file name in the pictures folder, not \"{name}\"")
    path = os.path.join(picture_dir, name)
    try:
        with open(path, "rb") as f:
            data = f.read(MAX_PICTURE_BYTES + 1)
    except OSError as e:
        v.fail(f"cannot read the picture {path}: {e.strerror}")
    if not data or len(data) > MAX_PICTURE_BYTES:
        v.fail(f"the picture {path} is {'empty' if not data else 'over 16 MiB'}")
    ext = os.path.splitext(name)[1].lower()
    if data[:3] == b"\xff\xd8\xff":
        fmt = 1
        if ext not in (".jpg", ".jpeg"):
            v.fail(f"{path} holds a JPEG picture but is not named .jpg")
    elif data[:6] in (b"GIF87a", b"GIF89a"):
        fmt = 2
        if ext != ".gif":
            v.fail(f"{path} holds a GIF picture but is not named .gif")
    else:
        v.fail(f"{path} is neither a JPEG nor a GIF picture")
    return path, fmt, data


def pack_element(block, defines, picture_dir, earlier, pictures):
    v_name = Value(block.name, block.where)
    check_name(block.name, "element name", v_name)
    if block.name in earlier:
        block.fail(f"the name \"{block.name}\" is used by an earlier element ({earlier[block.name][1]})")
    vals = block.values
    kind = block.kind
    is_timer = kind == "Timer"
    is_picture = kind in ("Picture", "AnimatedPicture")

    def only(keys, allowed_kinds):
        for key in keys:
            if key in vals and kind not in allowed_kinds:
                vals[key].fail(f"a {kind} has no \"{key}\"")

    only(["interval"], ["Timer"])
    only(["picture", "draw"], ["Picture", "AnimatedPicture"])
    only(["readonly", "scrollbars", "wordwrap"], ["Memo"])
    only(["text"], ["Label", "GroupBox"])
    only(["bounds", "parent", "cursor", "visible", "autosize", "transparent"] + list(FONT_KEYS),
         [k for k in KINDS if k != "Timer"])
    if block.lines and kind != "Memo":
        block.lines[0].fail(f"a {kind} has no lines")

    parent = ""
    if "parent" in vals:
        parent = check_name(vals["parent"].text, "parent", vals["parent"])
        if parent not in earlier:
            vals["parent"].fail(f"no earlier element is called \"{parent}\"")
        if earlier[parent][0] != "GroupBox":
            vals["parent"].fail(f"\"{parent}\" is a {earlier[parent][0]}, not a group box")
    if is_timer:
        left = top = width = height = 0
    else:
        if "bounds" not in vals:
            block.fail(f"the {kind} needs \"bounds = left top width height\"")
        left, top, width, height = integers(vals["bounds"], 4, [(-MAX_COORD, MAX_COORD), (-MAX_COORD, MAX_COORD),
                                                                (0, MAX_SIZE), (0, MAX_SIZE)])
    visible = yes_no(vals["visible"]) if "visible" in vals else True
    enabled = yes_no(vals["enabled"]) if "enabled" in vals else True
    autosize = yes_no(vals["autosize"]) if "autosize" in vals else False
    transparent = yes_no(vals["transparent"]) if "transparent" in vals else kind == "Hotspot"
    if kind == "Hotspot" and not transparent:
        vals["transparent"].fail("a hotspot has a transparent background")
    own_font = font(block, defines, required=False)
    flags = (visible * 1) | (enabled * 2) | (autosize * 4) | (transparent * 8) | ((own_font is not None) * 16)
    text = gbk(quoted(vals["text"], defines), vals["text"]) if "text" in vals else b""
    cursor = choice(vals["cursor"], CURSORS, "cursor") if "cursor" in vals else 0

    picture_index = NO_PICTURE
    if is_picture:
        if "picture" not in vals:
            block.fail(f"the {kind} needs \"picture = <file>\"")
        path, fmt, data = load_picture(vals["picture"], picture_dir)
        if kind == "AnimatedPicture" and fmt != 2:
            vals["picture"].fail("an animated picture needs a GIF")
        known = [p[0] for p in pictures]
        if path in known:
            picture_index = known.index(path)
        else:
            if len(pictures) >= MAX_PICTURES:
                vals["picture"].fail(f"more than {MAX_PICTURES} pictures")
            picture_index = len(pictures)
            pictures.append((path, fmt, data))
    draw = choice(vals["draw"], DRAW_MODES, "drawing mode") if "draw" in vals else 0
    interval = 0
    if is_timer:
        if "interval" not in vals:
            block.fail("the timer needs \"interval = <ms>\"")
        interval = integer(vals["interval"], 1, MAX_TIMER_INTERVAL)
    memo_flags = 0
    if kind == "Memo":
        memo_flags = ((yes_no(vals["readonly"]) if "readonly" in vals else False) * 1 |
                      (choice(vals["scrollbars"], {"none": False, "vertical": True}, "scroll bar setting")
                       if "scrollbars" in vals else False) * 2 |
                      (yes_no(vals["wordwrap"]) if "wordwrap" in vals else False) * 4)
    if len(block.lines) > MAX_MEMO_LINES:
        block.lines[MAX_MEMO_LINES].fail(f"more than {MAX_MEMO_LINES} lines")

    out = struct.pack("<B", KINDS[kind]) + text_field(block.name.encode("ascii")) + text_field(parent.encode("ascii"))
    out += struct.pack("<hhHHB", left, top, width, height, flags) + text_field(text)
    if own_font is not None:
        out += own_font
    out += struct.pack("<BHBIBH", cursor, picture_index, draw, interval, memo_flags, len(block.lines))
    for line in block.lines:
        out += text_field(gbk(quoted(line, defines), line, what="line"))
    out += events(block, TIMER_EVENTS if is_timer else VISUAL_EVENTS)
    earlier[block.name] = (kind, block.where)
    return out


def pack(source, picture_dir, defines):
    blocks = read_source(source)
    if not blocks or blocks[0].kind != "form":
        raise PackError(f"{source}:1: the source must begin with the form block")
    for b in blocks[1:]:
        if b.kind == "form":
            b.fail("a second form block")
    form = blocks[0]
    elements = blocks[1:]
    if len(elements) > MAX_ELEMENTS:
        elements[MAX_ELEMENTS].fail(f"more than {MAX_ELEMENTS} elements")
    body = pack_form(form, defines)
    earlier, pictures, packed = {}, [], []
    for b in elements:
        packed.append(pack_element(b, defines, picture_dir, earlier, pictures))
    body += struct.pack("<H", len(elements)) + b"".join(packed)
    body += struct.pack("<H", len(pictures))
    for _, fmt, data in pictures:
        body += struct.pack("<BI", fmt, len(data)) + data
    header = b"QVLY" + struct.pack("<HHII", VERSION, 0, len(body), zlib.crc32(body) & 0xFFFFFFFF)
    return header + body, [p[0] for p in pictures]


def parse_defines(items):
    defines = {}
    for item in items:
        raw = os.fsencode(item)
        try:
            item = raw.decode("utf-8")
        except UnicodeDecodeError:
            raise PackError(f"--define {raw!r}: the value is not UTF-8")
        name, eq, value = item.partition("=")
        if not eq or not DEFINE_RE.match(name):
            raise PackError(f"--define \"{item}\": expected NAME=VALUE")
        if name in defines:
            raise PackError(f"--define {name} is given twice")
        defines[name] = value
    return defines


def main(argv):
    ap = argparse.ArgumentParser(description="Pack a window layout source into its binary resource.")
    ap.add_argument("source")
    ap.add_argument("output")
    ap.add_argument("--pictures", required=True, help="folder the picture file names refer to")
    ap.add_argument("--define", action="append", default=[], metavar="NAME=VALUE")
    ap.add_argument("--depfile", help="write a make-style list of the files the output depends on")
    args = ap.parse_args(argv)
    try:
        defines = parse_defines(args.define)
        blob, picture_paths = pack(args.source, args.pictures, defines)
    except PackError as e:
        print(f"pack_layout: error: {e}", file=sys.stderr)
        return 1
    temp = args.output + ".tmp"
    try:
        with open(temp, "wb") as f:
            f.write(blob)
        os.replace(temp, args.output)
        if args.depfile:
            deps = [args.source, os.path.abspath(__file__)] + picture_paths
            with open(args.depfile, "w") as f:
                f.write(args.output.replace(" ", "\\ ") + ": " + " ".join(d.replace(" ", "\\ ") for d in deps) + "\n")
    except OSError as e:
        print(f"pack_layout: error: cannot write {e.filename}: {e.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
