#!/usr/bin/env python3
"""Makes phone-like photos and videos that carry a place, a device, a person, a program and dates.

Usage: make_isobmff.py FOLDER

Writes video.mp4 (with an XMP box), video.mov (QuickTime keys), sound.m4a, gapless.m4a (iTunes'
gapless record beside the tags, no edit list, so only the record skips the priming), apple.mov (Apple keys with a location,
a Live Photo identifier and a timed-metadata track), photo.heic and photo.avif (Exif with GPS,
XMP, an alpha plane).
"""
import os
import struct
import subprocess
import sys

PLACE = "+48.8584+002.2945/"
TAGS = ["title=SecretTitle", "artist=AnnArtist", "date=2021-08-21", "location=" + PLACE,
        "make=PhoneMaker", "model=PhoneModel9", "creation_time=2021-08-21T10:00:00Z"]


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def ffmpeg(out, *arguments):
    metadata = [item for tag in TAGS for item in ("-metadata", tag)]
    run("ffmpeg", "-v", "error", "-y", *arguments, *metadata, out)


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full(kind, payload, version=0, flags=0):
    return box(kind, struct.pack(">I", version << 24 | flags) + payload)


def top_level(data):
    boxes, at = [], 0
    while at < len(data):
        size, kind = struct.unpack_from(">I4s", data, at)
        boxes.append((kind, data[at:at + size]))
        at += size
    return boxes


APPLE_KEYS = [
    ("com.apple.quicktime.location.ISO6709", "+48.8584+002.2945+035.000/"),
    ("com.apple.quicktime.make", "PhoneMaker"),
    ("com.apple.quicktime.model", "PhoneModel9"),
    ("com.apple.quicktime.software", "SecretApp 16.1"),
    ("com.apple.quicktime.creationdate", "2021-08-21T10:00:00+0200"),
    ("com.apple.quicktime.content.identifier", "00A1B2C3-LIVE-PHOTO"),
]


def apple_metadata():
    keys = b"".join(box(b"mdta", key.encode()) for key, _ in APPLE_KEYS)
    values = b"".join(
        box(struct.pack(">I", index + 1), box(b"data", struct.pack(">II", 1, 0) + value.encode()))
        for index, (_, value) in enumerate(APPLE_KEYS))
    handler = full(b"hdlr", struct.pack(">I4s12s", 0, b"mdta", bytes(12)) + b"\0")
    return box(b"meta", handler + full(b"keys", struct.pack(">I", len(APPLE_KEYS)) + keys) +
               box(b"ilst", values))


def location_track(chunk_offset, samples):
    """A timed-metadata track ('mebx') whose samples are places, in one chunk."""
    key = box(struct.pack(">I", 1), box(b"keyd", b"mdta" + APPLE_KEYS[0][0].encode()))
    entry = box(b"mebx", bytes(6) + struct.pack(">H", 1) + box(b"keys", key))
    sizes = b"".join(struct.pack(">I", len(sample)) for sample in samples)
    table = box(b"stbl", full(b"stsd", struct.pack(">I", 1) + entry) +
                full(b"stts", struct.pack(">III", 1, len(samples), 200)) +
                full(b"stsc", struct.pack(">IIII", 1, 1, len(samples), 1)) +
                full(b"stsz", struct.pack(">II", 0, len(samples)) + sizes) +
                full(b"stco", struct.pack(">II", 1, chunk_offset)))
    references = full(b"dref", struct.pack(">I", 1) + full(b"url ", b"", flags=1))
    media_info = box(b"minf", full(b"nmhd", b"") + box(b"dinf", references) + table)
    stamp = 0xDD000000
    media = box(b"mdia", full(b"mdhd", struct.pack(">IIIIHH", stamp, stamp, 600, 600, 0, 0)) +
                full(b"hdlr", struct.pack(">I4s12s", 0, b"meta", bytes(12)) + b"Core Media\0") +
                media_info)
    header = full(b"tkhd", struct.pack(">IIIII", stamp, stamp, 3, 0, 600) + bytes(60), flags=1)
    return box(b"trak", header + media)


def make_apple_mov(folder):
    """An ffmpeg MOV (movie box last) given Apple's keys, a place in user data and a location
    track whose samples sit in a media data box of their own."""
    plain = os.path.join(folder, "plain.mov")
    run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1",
        "-f", "lavfi", "-i", "sine=duration=1", "-c:v", "libx264", "-c:a", "aac", plain)
    with open(plain, "rb") as source:
        boxes = top_level(source.read())
    os.remove(plain)
    head = b"".join(data for kind, data in boxes if kind != b"moov")
    movie = next(data for kind, data in boxes if kind == b"moov")
    samples = [box(struct.pack(">I", 1), PLACE.encode()) for _ in range(3)]
    places = box(b"mdat", b"".join(samples))
    extra = location_track(len(head) + 8, samples) + apple_metadata() + box(
        b"udta", box(b"\xa9xyz", struct.pack(">HH", len(PLACE), 0) + PLACE.encode()))
    with open(os.path.join(folder, "apple.mov"), "wb") as out:
        out.write(head + places + box(b"moov", movie[8:] + extra))


GAPLESS = b" 00000000 00000400 00000000 0000000000001F40" + b" 00000000" * 8


def gapless_item():
    return box(b"----", full(b"mean", b"com.apple.iTunes") + full(b"name", b"iTunSMPB") +
               box(b"data", struct.pack(">II", 1, 0) + GAPLESS))


def make_gapless_m4a(folder):
    """ffmpeg's M4A with the gapless record added to its item list (the movie box is last, so
    growing it moves no sample)."""
    path = os.path.join(folder, "gapless.m4a")
    ffmpeg(path, "-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", "-use_editlist", "0")
    with open(path, "rb") as source:
        boxes = top_level(source.read())
    movie = next(data for kind, data in boxes if kind == b"moov")
    children = top_level(movie[8:])
    user = next(data for kind, data in children if kind == b"udta")
    meta = top_level(user[8:])[0][1]
    parts = top_level(meta[12:])
    items = next(data for kind, data in parts if kind == b"ilst")[8:] + gapless_item()
    meta = full(b"meta", b"".join(box(b"ilst", items) if kind == b"ilst" else data
                                  for kind, data in parts))
    movie = box(b"moov", b"".join(box(b"udta", meta) if kind == b"udta" else data
                                  for kind, data in children))
    with open(path, "wb") as out:
        out.write(b"".join(movie if kind == b"moov" else data for kind, data in boxes))


def make_pictures(folder):
    frame = os.path.join(folder, "frame.png")
    run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=96x64,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*2'",
        "-frames:v", "1", frame)
    for name, options in (("photo.heic", []), ("photo.avif", ["-A"])):
        path = os.path.join(folder, name)
        run("heif-enc", *options, "-q", "90", frame, "-o", path)
        run("exiftool", "-q", "-overwrite_original", "-GPSLatitude=48.8584", "-GPSLatitudeRef=N",
            "-GPSLongitude=2.2945", "-GPSLongitudeRef=E", "-Make=PhoneMaker",
            "-Model=PhoneModel9", "-Software=SecretApp", "-DateTimeOriginal=2021:08:21 10:00:00",
            "-ImageUniqueID=00A1B2C3", "-XMP-dc:Creator=AnnArtist", path)
    os.remove(frame)


def main():
    folder = sys.argv[1]
    picture = ["-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1"]
    sound = ["-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac"]
    video = os.path.join(folder, "video.mp4")
    ffmpeg(video, *picture, *sound, "-c:v", "libx264")
    run("exiftool", "-q", "-overwrite_original", "-XMP-dc:Creator=AnnArtist", video)
    ffmpeg(os.path.join(folder, "video.mov"), *picture, *sound, "-c:v", "libx264",
           "-movflags", "use_metadata_tags")
    ffmpeg(os.path.join(folder, "sound.m4a"), *sound)
    make_gapless_m4a(folder)
    make_apple_mov(folder)
    make_pictures(folder)


if __name__ == "__main__":
    main()
