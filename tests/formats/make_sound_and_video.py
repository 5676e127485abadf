#!/usr/bin/env python3
"""Makes sound and video files that carry metadata of every kind their container allows.

Usage: make_sound_and_video.py FOLDER [NAME...], all of them when no NAME is given. Each file holds the values of SECRETS somewhere in its
bytes. ffmpeg writes the containers; struct adds the chunks ffmpeg does not write.
"""
import os
import struct
import subprocess
import sys

SECRETS = ["Ann Author", "Secret Title", "Said In Passing", "Track Secret", "Pocket Camera"]
TAGS = ["-metadata", "title=Secret Title", "-metadata", "artist=Ann Author",
        "-metadata", "date=2019-04-01", "-metadata", "comment=Said In Passing",
        "-metadata", "creation_time=2019-04-01T10:00:00Z"]
VIDEO = ["-f", "lavfi", "-i", "testsrc=size=64x48:duration=1:rate=10"]
SOUND = ["-f", "lavfi", "-i", "sine=duration=1:sample_rate=8000"]
XMP = b'<x:xmpmeta xmlns:x="adobe:ns:meta/"><dc:creator>Ann Author</dc:creator></x:xmpmeta>'


def ffmpeg(*arguments):
    subprocess.run(["ffmpeg", "-v", "error", "-y", *arguments], check=True)


def chunk(name, data, big_endian=False):
    size = struct.pack(">I" if big_endian else "<I", len(data))
    return name + size + data + (b"\0" if len(data) % 2 else b"")


def append_chunks(path, chunks, big_endian=False):
    """Adds chunks at the end of the file's outer form and corrects the form's size."""
    with open(path, "rb") as file:
        data = bytearray(file.read())
    data += b"".join(chunk(name, body, big_endian) for name, body in chunks)
    data[4:8] = struct.pack(">I" if big_endian else "<I", len(data) - 8)
    with open(path, "wb") as file:
        file.write(data)


def make_mkv(out):
    ffmpeg("-f", "lavfi", "-i", "color=red:size=32x32", "-frames:v", "1", out("cover.jpg"))
    with open(out("font.ttf"), "wb") as font:
        font.write(b"\0\1\0\0 a font that subtitles need")
    ffmpeg(*VIDEO, *SOUND, *TAGS, "-metadata:s:v", "title=Track Secret",
           "-attach", out("cover.jpg"), "-metadata:s:t:0", "mimetype=image/jpeg",
           "-attach", out("font.ttf"), "-metadata:s:t:1", "mimetype=font/ttf",
           "-c:v", "mpeg4", "-c:a", "flac", out("video.mkv"))


def make_webm(out):
    ffmpeg(*VIDEO, *SOUND, *TAGS, "-metadata:s:a", "title=Track Secret",
           "-c:v", "libvpx", "-c:a", "libvorbis", out("video.webm"))


def make_avi(out):
    ffmpeg(*VIDEO, *SOUND, *TAGS, "-c:v", "mpeg4", "-c:a", "pcm_s16le", out("video.avi"))
    camera = b"Pocket Camera" + b"\0" * 19
    append_chunks(out("video.avi"), [
        (b"IDIT", b"MON APR 01 10:00:00 2019\n\0"),
        (b"LIST", b"strl" + chunk(b"strd", camera)),
        (b"_PMX", XMP),
    ])


def make_wav(out):
    ffmpeg(*SOUND, *TAGS, "-c:a", "pcm_s16le", out("sound.wav"))
    append_chunks(out("sound.wav"), [
        (b"bext", b"Said In Passing".ljust(256, b"\0") + b"Ann Author".ljust(32, b"\0")),
        (b"iXML", b"<BWFXML><PROJECT>Secret Title</PROJECT></BWFXML>"),
        (b"_PMX", XMP),
        (b"id3 ", b"ID3\3\0\0\0\0\0\x17TIT2\0\0\0\x0d\0\0\0Secret Title"),
    ])


def make_aiff(out):
    ffmpeg(*SOUND, "-c:a", "pcm_s16be", out("sound.aiff"))
    append_chunks(out("sound.aiff"), [
        (b"NAME", b"Secret Title"), (b"AUTH", b"Ann Author"), (b"(c) ", b"2019 Ann Author"),
        (b"ANNO", b"Said In Passing"),
        (b"COMT", b"\0\1" + b"\0\0\0\0\0\0\0\x0f" + b"Said In Passing"),
    ], big_endian=True)


def make_wma(out):
    ffmpeg(*SOUND, *TAGS, "-c:a", "wmav2", out("sound.wma"))


def make_wmv(out):
    ffmpeg(*VIDEO, *SOUND, *TAGS, "-c:v", "wmv2", "-c:a", "wmav2", out("video.wmv"))


MAKERS = {"video.mkv": make_mkv, "video.webm": make_webm, "video.avi": make_avi,
          "sound.wav": make_wav, "sound.aiff": make_aiff, "sound.wma": make_wma,
          "video.wmv": make_wmv}


def main(folder, names=tuple(MAKERS)):
    for name in names:
        MAKERS[name](lambda made: os.path.join(folder, made))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:] or tuple(MAKERS))
