#!/usr/bin/env python3
"""Makes Photoshop images whose smart objects keep whole files that carry metadata.

Usage: make_psd.py FOLDER. Writes smart-object.psd (a PNG with an Author text chunk and XMP kept
in an lnk2 block, under a planted file name), linked-outside.psd (a smart object that links to a
file by its paths, and a layer with its modification time and a placed file's path),
linked-by-KEY.psd (a linked file's path under each key alone), linked-alias.psd (a smart object
that links to a file by an alias) and cut-smart-object.psd (a
smart object record longer than its block). Every planted value starts with PLANTED.
"""
import os
import struct
import sys
import zlib

WIDTH, HEIGHT, CHANNELS = 4, 4, 3


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def planted_png():
    header = struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0)
    xmp = b"XML:com.adobe.xmp\0\0\0\0\0<x:xmpmeta><dc:creator>PLANTED-xmp</dc:creator></x:xmpmeta>"
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"tEXt", b"Author\0PLANTED-author") + png_chunk(b"iTXt", xmp)
            + png_chunk(b"IDAT", zlib.compress(b"\0\x80")) + png_chunk(b"IEND", b""))


def linked_file(kind, data):
    name = "PLANTED-name.png".encode("utf-16-be")
    record = (kind + struct.pack(">I", 2) + b"\x24" + b"0" * 36 + struct.pack(">I", len(name) // 2)
              + name + b"png " + b"8BIM" + struct.pack(">Q", len(data)) + b"\0" + data)
    record = struct.pack(">Q", len(record)) + record
    return record + b"\0" * (-len(record) % 4)


def unicode(text):
    data = text.encode("utf-16-be")
    return struct.pack(">I", len(data) // 2) + data


def descriptor(*items):
    """A versioned descriptor of class null holding (key, type, value) items."""
    def key(name):
        return struct.pack(">I", 0 if len(name) == 4 else len(name)) + name.encode()
    return (struct.pack(">I", 16) + unicode("") + key("null") + struct.pack(">I", len(items))
            + b"".join(key(name) + kind + value for name, kind, value in items))


def layer(*blocks):
    """Layer information: one layer without channels, carrying additional information blocks."""
    more = b"".join(b"8BIM" + key + struct.pack(">I", len(data)) + data for key, data in blocks)
    extra = struct.pack(">II", 0, 0) + bytes(4) + more  # no mask, no blending ranges, no name
    record = (bytes(16) + struct.pack(">H", 0) + b"8BIMnorm" + bytes([255, 0, 0, 0])
              + struct.pack(">I", len(extra)) + extra)
    return struct.pack(">h", 1) + record


def layer_time_and_placed_path():
    """A layer's modification time in its metadata settings, and a placed file's path."""
    time = descriptor(("layerTime", b"doub", b"PLANTED!"))  # a double of about 1e79
    settings = struct.pack(">I", 1) + b"8BIMcust" + bytes(4) + struct.pack(">I", len(time)) + time
    placed = b"soLD" + struct.pack(">I", 4) + descriptor(
        ("Idnt", b"TEXT", unicode("0" * 36)),
        ("fileReference", b"TEXT", unicode("C:\\Users\\PLANTED-anna\\logo.png")))
    return layer((b"shmd", settings), (b"SoLd", placed))


def photoshop(files, layer_info=b""):
    block = b"8BIMlnk2" + struct.pack(">I", len(files)) + files
    layers = struct.pack(">I", len(layer_info)) + layer_info + struct.pack(">I", 0) + block
    resource = b"8BIM" + struct.pack(">H", 0x03ED) + b"\0\0" + struct.pack(">I", 16) + bytes(16)
    return (b"8BPS" + struct.pack(">H", 1) + bytes(6)
            + struct.pack(">HIIHH", CHANNELS, HEIGHT, WIDTH, 8, 3) + struct.pack(">I", 0)
            + struct.pack(">I", len(resource)) + resource + struct.pack(">I", len(layers)) + layers
            + struct.pack(">H", 0) + bytes(range(CHANNELS * WIDTH * HEIGHT)))


def main(folder):
    files = {
        "smart-object.psd": photoshop(linked_file(b"liFD", planted_png())),
        "linked-outside.psd": photoshop(linked_file(b"liFE", descriptor(
            ("fullPath", b"TEXT", unicode("file:///home/PLANTED-anna/Pictures/logo.png")),
            ("relPath", b"TEXT", unicode("../PLANTED-shared/logo.png"))) + bytes(8)),
            layer_time_and_placed_path()),
        "linked-alias.psd": photoshop(linked_file(b"liFA", bytes(4))),
    }
    for key in ("fullPath", "relPath", "originalPath", "originalFileName", "fileReference"):
        files[f"linked-by-{key}.psd"] = photoshop(linked_file(b"liFE", descriptor(
            (key, b"TEXT", unicode("C:\\PLANTED-folder\\logo.png"))) + bytes(8)))
    cut = bytearray(linked_file(b"liFD", planted_png()))
    cut[0:8] = struct.pack(">Q", len(cut) + 64)
    files["cut-smart-object.psd"] = photoshop(bytes(cut))
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
