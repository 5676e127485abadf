#!/usr/bin/env python3
"""Writes hand-made hostile files into the folder given on the command line.

Each file is as small as still shows its fault: a walk whose depth, time or memory follows the
input, or metadata a check used to pass. Standard library only.
    make_hostile.py FOLDER
"""

import bz2
import struct
import sys
import zlib
from pathlib import Path

SECRET = b"PLANTED-secret"

# ---- TIFF ------------------------------------------------------------------------------------

BYTE, ASCII, SHORT, LONG, UNDEFINED, UTF8 = 1, 2, 3, 4, 7, 129


def entry(tag, kind, count, value):
    """A little-endian directory entry; value is a number (inline) or the offset of the value."""
    return struct.pack("<HHII", tag, kind, count, value)


def directory(entries, next_directory=0):
    return struct.pack("<H", len(entries)) + b"".join(entries) + struct.pack("<I", next_directory)


def one_pixel_entries(pixel_at, extra=()):
    """A 1x1 grey picture whose one byte lies at pixel_at, with extra entries in tag order."""
    entries = [
        entry(256, SHORT, 1, 1), entry(257, SHORT, 1, 1), entry(258, SHORT, 1, 8),
        entry(259, SHORT, 1, 1), entry(262, SHORT, 1, 1), entry(273, LONG, 1, pixel_at),
        entry(277, SHORT, 1, 1), entry(278, SHORT, 1, 1), entry(279, LONG, 1, 1),
    ]
    return sorted(entries + list(extra), key=lambda e: struct.unpack_from("<H", e)[0])


def tiff_with(extra_entries, pieces, pixel_at=190):
    """Header, a one-pixel first directory at 8 with extra entries, the pixel at pixel_at and
    each (offset, bytes) piece in place; zeros between."""
    first = directory(one_pixel_entries(pixel_at, extra_entries))
    pieces = [(0, b"II*\0" + struct.pack("<I", 8) + first), (pixel_at, b"\x80")] + pieces
    tiff = bytearray(max(at + len(data) for at, data in pieces))
    for at, data in pieces:
        tiff[at:at + len(data)] = data
    return bytes(tiff)


def artist_directory(at):
    """A directory at `at` naming the artist, its text right after it."""
    text = SECRET + b"\0"
    return directory([entry(315, ASCII, len(text), at + 18)]) + text


def tiff_exif_chain(links=100_000):
    """Exif directories each pointing to the next: a recursive walk overflows the stack."""
    start = 136  # after the first directory and the pixel
    chain = b"".join(directory([entry(34665, LONG, 1, start + 18 * (i + 1) if i + 1 < links else 0)])
                     for i in range(links))
    return tiff_with([entry(34665, LONG, 1, start)], [(start, chain)], pixel_at=134)


def tiff_subifd_offsets(entries=65_526, values=100_000):
    """Many sub-image entries sharing one huge offset list: billions of offsets to collect."""
    offsets_at = 8 + 2 + 12 * (9 + entries) + 4 + 4
    sub = [entry(330, LONG, values, offsets_at)] * entries
    return tiff_with(sub, [(offsets_at, bytes(4 * values))], pixel_at=offsets_at - 4)


def tiff_many_ranges(per_directory=65_534):
    """One directory with many kept values, another with as many dropped ones: a test of every
    dropped range against every kept one takes a minute."""
    table = 2 + 12 * per_directory + 4
    second_at = 8 + table
    kept_values = second_at + table
    dropped_values = kept_values + 8 * per_directory
    kept = [entry(258, SHORT, 3, kept_values + 8 * i) for i in range(per_directory)]
    dropped = [entry(270, ASCII, 8, dropped_values + 8 * i) for i in range(per_directory)]
    data = struct.pack("<HHHH", 8, 8, 8, 0) * per_directory + b"PLANTED\0" * per_directory
    return (b"II*\0" + struct.pack("<I", 8) + directory(kept, second_at) + directory(dropped) +
            data)


def tiff_exif_count_two():
    """An Exif pointer whose count is 2: both directories it names must go."""
    return tiff_with([entry(34665, LONG, 2, 200)],
                     [(200, struct.pack("<II", 220, 260)), (220, artist_directory(220)),
                      (260, artist_directory(260))])


def tiff_utf8_value():
    """A description typed UTF-8 (129): dropped, and its bytes must be zeroed."""
    text = SECRET + b" caf\xc3\xa9\0"
    return tiff_with([entry(270, UTF8, len(text), 200)], [(200, text)])


def tiff_undefined_subifd():
    """Sub-images listed as UNDEFINED bytes: the sub-image still names its artist."""
    return tiff_with([entry(330, UNDEFINED, 4, 200)], [(200, artist_directory(200))])


def tiff_unlisted_tag():
    """A camera serial number (42033) and an owner name (42032), tags a short list misses."""
    serial, owner = SECRET + b"\0", b"Ann Author\0"
    return tiff_with([entry(42032, ASCII, len(owner), 240), entry(42033, ASCII, len(serial), 200)],
                     [(200, serial), (240, owner)])


# ---- PNG, GIF, WebP, JPEG --------------------------------------------------------------------

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_gray_pixel():
    header = png_chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
    return b"\x89PNG\r\n\x1a\n" + header, png_chunk(b"IDAT", zlib.compress(b"\0\x80")) + \
        png_chunk(b"IEND", b"")


def png_unknown_critical(chunks=300_000):
    """Hundreds of thousands of distinct critical chunk names: a check that looks each name up in
    a list takes minutes, and one that names them all writes a reason of megabytes."""
    letters = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
    head, tail = png_gray_pixel()
    body = bytearray()
    for i in range(chunks):
        name = bytes([letters[i // 52 ** 3 % 26], letters[i // 52 ** 2 % 52],
                      letters[i // 52 % 52], letters[i % 52]])
        body += struct.pack(">I", 0) + name + struct.pack(">I", zlib.crc32(name))
    return head + bytes(body) + tail


def gif_loop_with_extra_block():
    """The animation loop block carrying a second sub-block of text."""
    screen = b"GIF89a\1\0\1\0\x80\0\0" + b"\0\0\0\xff\xff\xff"
    loop = b"\x21\xff\x0bNETSCAPE2.0\x03\x01\0\0" + bytes([len(SECRET)]) + SECRET + b"\0"
    timing = b"\x21\xf9\x04\0\x0a\0\0" + bytes([len(SECRET)]) + SECRET + b"\0"
    image = b"\x2c\0\0\0\0\1\0\1\0\0\x02\x02\x44\x01\0"
    return screen + loop + timing + image + b"\x3b"


def riff_chunk(name, data):
    return name + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def webp_frame_with_exif():
    """An animation frame holding an EXIF and an XMP chunk of its own."""
    bitstream = riff_chunk(b"VP8L", b"\x2f\0\0\0\0\x07\x10\x11\x11\x88\x88\xfe\x07\0")
    exif = riff_chunk(b"EXIF", b"MM\0*\0\0\0\x08" + SECRET)
    xmp = riff_chunk(b"XMP ", b"<x:xmpmeta>" + SECRET + b"</x:xmpmeta>")
    frame = riff_chunk(b"ANMF", bytes(12) + b"\x64\0\0\0" + exif + bitstream + xmp)
    header = riff_chunk(b"VP8X", b"\x02\0\0\0" + bytes(6))
    body = b"WEBP" + header + riff_chunk(b"ANIM", bytes(6)) + frame
    return b"RIFF" + struct.pack("<I", len(body)) + body


def jpeg_segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg_adobe_extra_and_extensions():
    """Adobe's colour segment with bytes after its twelve, and JPG0..JPG13 segments but JPEG-LS's
    frame header (0xF7), which makes a picture of another kind."""
    adobe = jpeg_segment(0xEE, b"Adobe\0\x64\0\0\0\0\x01" + SECRET)
    extensions = b"".join(jpeg_segment(marker, SECRET) for marker in range(0xF0, 0xFE) if marker != 0xF7)
    frame = jpeg_segment(0xC0, b"\x08\0\x01\0\x01\x01\x01\x11\0")
    table = jpeg_segment(0xDB, b"\0" + bytes([1] * 64))
    huffman = jpeg_segment(0xC4, b"\0" + bytes([1]) + bytes(15) + b"\0") + \
        jpeg_segment(0xC4, b"\x10" + bytes([1]) + bytes(15) + b"\0")
    scan = jpeg_segment(0xDA, b"\x01\x01\0\0\x3f\0") + b"\0\0"
    return b"\xff\xd8" + adobe + extensions + table + frame + huffman + scan + b"\xff\xd9"


def jpeg_ls():
    """A JPEG-LS picture: its frame header is one of the extension segments that otherwise go."""
    frame = jpeg_segment(0xF7, b"\x08\0\x01\0\x01\x01\x01\x11\0")
    scan = jpeg_segment(0xDA, b"\x01\x01\0\0\0\0") + b"\0\0"
    return b"\xff\xd8" + frame + scan + b"\xff\xd9"


# ---- A package whose part inflates far past what it declares ------------------------------------

ZEROS_PER_BLOCK = 40_000_000  # one bzip2 block: its run-length stage fits 900 kB
BLOCKS = 108  # 4.3 GB in all


class Bits:
    def __init__(self, data=b""):
        self.value, self.length = int.from_bytes(data, "big"), 8 * len(data)

    def slice(self, start, end):
        bits = Bits()
        bits.value = (self.value >> (self.length - end)) & ((1 << (end - start)) - 1)
        bits.length = end - start
        return bits

    def append(self, value, length):
        self.value, self.length = (self.value << length) | value, self.length + length

    def to_bytes(self):
        padding = -self.length % 8
        return (self.value << padding).to_bytes((self.length + padding) // 8, "big")


def bzip2_of_zeros():
    """A bzip2 stream of BLOCKS copies of one compressed block of zeros, made in a second."""
    one = Bits(bz2.compress(bytes(ZEROS_PER_BLOCK), 9))
    end_magic = 0x177245385090
    for padding in range(8):
        end = one.length - padding - 80
        if one.slice(end, end + 48).value == end_magic:
            break
    else:
        raise SystemExit("no end of stream found")
    block = one.slice(32, end)
    block_crc = block.slice(48, 80).value
    stream = Bits(b"BZh9")
    combined = 0
    for _ in range(BLOCKS):
        stream.append(block.value, block.length)
        combined = (((combined << 1) | (combined >> 31)) & 0xFFFFFFFF) ^ block_crc
    stream.append(end_magic, 48)
    stream.append(combined, 32)
    return stream.to_bytes()


def zip_entry(name, method, data, declared_size, crc):
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 46, 0, method, 0, 0x21, crc, len(data),
                        declared_size, len(name), 0) + name + data
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 46, 46, 0, method, 0, 0x21, crc,
                          len(data), declared_size, len(name), 0, 0, 0, 0, 0, 0) + name
    return local, central


def docx_bzip2_bomb():
    """A Word package whose document part, bzip2-compressed, declares 1 KiB and holds 4.3 GB."""
    types = (b'<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
             b'content-types"><Default Extension="xml" ContentType="application/xml"/><Override '
             b'PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-'
             b'officedocument.wordprocessingml.document.main+xml"/></Types>')
    rels = (b'<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/'
            b'package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.'
            b'openxmlformats.org/officeDocument/2006/relationships/officeDocument" '
            b'Target="word/document.xml"/></Relationships>')
    crc = zlib.crc32(bytes(1024))  # what a reader trusting the declared size would find
    parts = [(b"[Content_Types].xml", 0, types, len(types), zlib.crc32(types)),
             (b"_rels/.rels", 0, rels, len(rels), zlib.crc32(rels)),
             (b"word/document.xml", 12, bzip2_of_zeros(), 1024, crc)]
    body, directory_entries = b"", b""
    for name, method, data, declared, part_crc in parts:
        local, central = zip_entry(name, method, data, declared, part_crc)
        directory_entries += central[:42] + struct.pack("<I", len(body)) + central[46:]
        body += local
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(parts), len(parts),
                      len(directory_entries), len(body), 0)
    return body + directory_entries + end


FILES = {
    "exif-chain.tif": tiff_exif_chain,
    "subifd-offsets.tif": tiff_subifd_offsets,
    "many-ranges.tif": tiff_many_ranges,
    "exif-count-two.tif": tiff_exif_count_two,
    "utf8-value.tif": tiff_utf8_value,
    "undefined-subifd.tif": tiff_undefined_subifd,
    "unlisted-tag.tif": tiff_unlisted_tag,
    "unknown-critical.png": png_unknown_critical,
    "loop-extra-block.gif": gif_loop_with_extra_block,
    "frame-exif.webp": webp_frame_with_exif,
    "adobe-extra.jpg": jpeg_adobe_extra_and_extensions,
    "jpeg-ls.jpg": jpeg_ls,
    "bzip2-bomb.docx": docx_bzip2_bomb,
}

if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for file_name, make in FILES.items():
        (folder / file_name).write_bytes(make())
