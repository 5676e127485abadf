#!/usr/bin/env python3
"""Draws Parchwipe's pictures and packs them into the files the program reads.

The shapes are ImageMagick drawing commands; ImageMagick's `convert` turns them into pixels and
this script writes the .png, .ico and .cur containers itself, so the outputs are byte-for-byte
the same on every run (no time stamps) and the cursor's hot spot sits in the file's header.

Run: python3 resources/make_pictures.py   (writes next to this script)
"""

import pathlib
import struct
import subprocess
import zlib

HERE = pathlib.Path(__file__).resolve().parent

INK = "#1f2a44"
PAPER = "#fff8e7"
FOLD = "#e6d5ae"
TEXT = "#7d8cab"
RUBBER = "#ff6f91"
SLEEVE = "#3b82f6"
SPARKLE = "#ffc53d"
ARROW = "#2563eb"
WHITE = "#ffffff"
TILE = "#14a38f"

# Shapes are drawn on a square canvas of this many units, then scaled to the picture size.
CANVAS = 256


def render(commands, size):
    """Returns the picture as rows of non-premultiplied RGBA bytes, size x size pixels."""
    scale = size / CANVAS
    draw = f"scale {scale},{scale}\n{commands}"
    result = subprocess.run(
        ["convert", "-size", f"{size}x{size}", "xc:none", "-draw", draw, "-depth", "8", "rgba:-"],
        capture_output=True,
        check=True,
    )
    if len(result.stdout) != size * size * 4:
        raise RuntimeError(f"convert gave {len(result.stdout)} bytes for a {size}px picture")
    return result.stdout


def style(fill, stroke=INK, width=0):
    stroke_part = f"stroke {stroke} stroke-width {width}" if width else "stroke none"
    return f"fill {fill} {stroke_part} stroke-linejoin round stroke-linecap round\n"


def sparkle(x, y, radius, outline, waist_share=0.22):
    """A four-pointed star with concave sides."""
    waist = radius * waist_share
    points = [
        (x, y - radius), (x + waist, y - waist), (x + radius, y), (x + waist, y + waist),
        (x, y + radius), (x - waist, y + waist), (x - radius, y), (x - waist, y - waist),
    ]
    corners = " ".join(f"{px:g},{py:g}" for px, py in points)
    return style(SPARKLE, width=outline) + f"polygon {corners}\n"


def page(left, top, right, bottom, fold, outline):
    """A sheet with its top right corner folded over."""
    r = 10
    sheet = (
        f"path 'M {left + r} {top} H {right - fold} L {right} {top + fold} V {bottom - r} "
        f"Q {right} {bottom} {right - r} {bottom} H {left + r} "
        f"Q {left} {bottom} {left} {bottom - r} V {top + r} Q {left} {top} {left + r} {top} Z'\n"
    )
    flap = (
        f"path 'M {right - fold} {top} V {top + fold - r} "
        f"Q {right - fold} {top + fold} {right - fold + r} {top + fold} H {right} Z'\n"
    )
    return style(PAPER, width=outline) + sheet + style(FOLD, width=outline) + flap


def text_line(left, y, right, height):
    radius = height / 2
    return style(TEXT) + f"roundrectangle {left},{y} {right},{y + height} {radius},{radius}\n"


def eraser(x, y, length, thickness, outline):
    """An eraser held from the upper right, its rubber end down on the page to the lower left."""
    half_l, half_t = length / 2, thickness / 2
    split = -half_l * 0.15
    return (
        "push graphic-context\n"
        f"translate {x},{y}\nrotate -45\n"
        + style(SLEEVE, width=outline)
        + f"roundrectangle {-half_l},{-half_t} {half_l},{half_t} 12,12\n"
        + style(RUBBER, width=outline)
        + f"path 'M {split} {-half_t} H {-half_l + 12} "
        f"Q {-half_l} {-half_t} {-half_l} {-half_t + 12} V {half_t - 12} "
        f"Q {-half_l} {half_t} {-half_l + 12} {half_t} H {split} Z'\n"
        + style(WHITE)
        + f"roundrectangle {split + 14},{-half_t + 10} {half_l - 14},{-half_t + 20} 5,5\n"
        "pop graphic-context\n"
    )


def program_icon(small):
    """The program's icon: on a rounded tile, a page whose lines are being rubbed out. Small sizes
    get fewer, bolder shapes so they still read at 32 pixels."""
    outline = 14 if small else 9
    drawing = style(TILE) + "roundrectangle 6,6 250,250 48,48\n"
    if small:
        drawing += page(34, 20, 196, 236, 52, outline)
        drawing += text_line(64, 62, 134, 22) + text_line(64, 106, 168, 22)
        drawing += eraser(178, 174, 150, 64, outline)
        drawing += sparkle(82, 190, 46, 8, waist_share=0.32)
    else:
        drawing += page(50, 30, 186, 226, 44, outline)
        drawing += text_line(76, 64, 130, 13) + text_line(76, 94, 160, 13)
        drawing += text_line(76, 124, 146, 13) + text_line(76, 154, 110, 13)
        drawing += eraser(184, 176, 128, 52, outline)
        drawing += sparkle(94, 194, 30, 6) + sparkle(136, 160, 12, 4)
    return drawing


# The hand is drawn at full canvas size, then shrunk to a usual pointer size in the top left.
HAND_SCALE = 0.8
FINGERTIP = (88, 10)


def hand_pointer():
    """A white pointing hand with a black outline, the index finger pointing up."""
    tip_x, tip_y = FINGERTIP
    return (
        f"push graphic-context\nscale {HAND_SCALE},{HAND_SCALE}\n"
        + style(WHITE, stroke="#000000", width=12)
        + f"path 'M 72 30 Q 72 {tip_y} {tip_x} {tip_y} Q 104 {tip_y} 104 30 V 112 "
        "Q 108 96 126 98 Q 144 100 144 118 "  # middle finger knuckle
        "Q 150 104 166 106 Q 184 110 182 128 "  # ring finger knuckle
        "Q 190 118 204 122 Q 220 128 218 146 "  # little finger knuckle
        "V 186 Q 216 218 196 236 V 250 H 92 V 236 "  # palm and wrist
        "Q 74 214 54 188 L 26 150 Q 14 130 30 124 Q 44 118 58 134 L 72 152 Z'\n"  # thumb
        "path 'M 144 118 V 150 M 182 128 V 152'\n"
        "pop graphic-context\n"
    )


def hand_hot_spot(size):
    return tuple(round(unit * HAND_SCALE * size / CANVAS) for unit in FINGERTIP)


def drag_picture():
    """A small page with an up-down arrow: this row moves."""
    arrow = "polygon 192,16 242,78 212,78 212,178 242,178 192,240 142,178 172,178 172,78 142,78\n"
    return (
        page(12, 36, 128, 220, 40, 14)
        + text_line(38, 84, 92, 16)
        + text_line(38, 120, 104, 16)
        + text_line(38, 156, 84, 16)
        + style(ARROW, width=14)
        + arrow
    )


def difference_from_left(row):
    """PNG's "Sub" row filter: each byte minus the same colour channel of the pixel before it."""
    return bytes((value - (row[i - 4] if i >= 4 else 0)) & 0xFF for i, value in enumerate(row))


def png_file(rgba, size):
    def chunk(kind, data):
        checksum = zlib.crc32(kind + data)
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", checksum)

    stride = size * 4
    rows = (rgba[row * stride:(row + 1) * stride] for row in range(size))
    raw = b"".join(b"\1" + difference_from_left(row) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + chunk(b"IEND", b"")
    )


def padded(row):
    return row + b"\0" * (-len(row) % 4)


def over(pixel, matte):
    """The pixel's colour laid over the matte, as blue, green, red."""
    share = pixel[3] / 255
    return bytes(round(pixel[i] * share + matte[i] * (1 - share)) for i in (2, 1, 0))


def rgb(colour):
    return bytes.fromhex(colour.lstrip("#"))


def bitmap_image(rgba, size, bits, matte=WHITE):
    """A device-independent bitmap as icon files hold it: colour rows, then the transparency
    mask, both from the bottom row up. Without an alpha channel (24 bits) the colours are laid
    over the matte, which is what readers that ignore the mask show around the picture."""
    colour_rows, mask_rows = [], []
    for y in reversed(range(size)):
        pixels = [rgba[(y * size + x) * 4:(y * size + x + 1) * 4] for x in range(size)]
        if bits == 32:
            colour_rows.append(padded(b"".join(bytes((p[2], p[1], p[0], p[3])) for p in pixels)))
        else:
            colour_rows.append(padded(b"".join(over(p, rgb(matte)) for p in pixels)))
        mask = 0
        for p in pixels:
            mask = (mask << 1) | (p[3] < 128)
        mask_rows.append(padded(mask.to_bytes((size + 7) // 8, "big")))
    body = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(body), 0, 0, 0, 0)
    return header + body


def icon_container(images, hotspot=None):
    """An .ico (or, given a hot spot, a .cur) holding (size, bits, data) images."""
    kind = 1 if hotspot is None else 2
    directory = struct.pack("<HHH", 0, kind, len(images))
    offset = len(directory) + 16 * len(images)
    for size, bits, data in images:
        field_a, field_b = (1, bits) if hotspot is None else hotspot
        side = size % 256  # 0 stands for 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, field_a, field_b, len(data), offset)
        offset += len(data)
    return directory + b"".join(data for _, _, data in images)


def bitmap_entry(drawing, size, bits, matte=WHITE):
    return size, bits, bitmap_image(render(drawing, size), size, bits, matte)


def main():
    large_icon = render(program_icon(small=False), 256)
    (HERE / "parchwipe.png").write_bytes(png_file(large_icon, 256))
    (HERE / "parchwipe.ico").write_bytes(
        icon_container([
            bitmap_entry(program_icon(small=True), 32, 24, matte=TILE),
            bitmap_entry(program_icon(small=True), 48, 32),
            bitmap_entry(program_icon(small=False), 128, 32),
            (256, 32, png_file(large_icon, 256)),
        ])
    )
    hand = bitmap_entry(hand_pointer(), 32, 32)
    (HERE / "HAND-M.CUR").write_bytes(icon_container([hand], hand_hot_spot(32)))
    (HERE / "drag.ico").write_bytes(icon_container([bitmap_entry(drag_picture(), 32, 32)]))


if __name__ == "__main__":
    main()
