#!/usr/bin/env python3
"""Makes JPEG XL pictures that carry metadata in every place a container allows: plain and
Brotli-compressed Exif and XMP boxes, a box no decoder knows, and a picture made from a JPEG,
which keeps the data that rebuilds it."""
import os
import struct
import subprocess
import sys

PERSON = "Ann Artist"


def run(*command, **options):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, **options).stdout


def boxes(data):
    at = 0
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        size = size or len(data) - at
        yield kind, data[at + 8:at + size]
        at += size


def box(kind, payload):
    return struct.pack(">I4s", len(payload) + 8, kind) + payload


def tagged(path):
    run("exiftool", "-m", "-q", "-overwrite_original", "-Artist=" + PERSON,
        "-GPSLatitude=48.8584", "-GPSLatitudeRef=N", "-XMP-dc:Creator=" + PERSON, path)


def main():
    folder = sys.argv[1]
    png = os.path.join(folder, "source.png")
    run("convert", "-size", "64x48", "gradient:red-blue", png)
    container = os.path.join(folder, "container.jxl")
    run("cjxl", "-d", "1", png, container, stderr=subprocess.DEVNULL)
    with open(container, "rb") as bare:
        with open(os.path.join(folder, "bare.jxl"), "wb") as out:
            out.write(bare.read())
    tagged(container)
    jpeg = os.path.join(folder, "source.jpg")
    run("convert", png, jpeg)
    tagged(jpeg)
    run("cjxl", jpeg, os.path.join(folder, "rebuilds.jxl"), stderr=subprocess.DEVNULL)
    with open(container, "rb") as whole:
        data = whole.read()
    compressed = unknown = b""
    for kind, payload in boxes(data):
        if kind in (b"Exif", b"xml "):
            packed = run("brotli", "-c", input=payload)
            compressed += box(b"brob", kind + packed)
        else:
            compressed += box(kind, payload)
        unknown += box(kind, payload)
    unknown += box(b"abcd", ("Secret from " + PERSON).encode())
    for name, content in (("compressed.jxl", compressed), ("unknown.jxl", unknown)):
        with open(os.path.join(folder, name), "wb") as out:
            out.write(content)


if __name__ == "__main__":
    main()
