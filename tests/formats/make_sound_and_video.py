#!/usr/bin/env python3
"""Makes sound and video files that carry metadata of every kind their container allows.

Usage: make_sound_and_video.py FOLDER [NAME...], all of them when no NAME is given. Each file holds the values of SECRETS somewhere in its
bytes. ffmpeg writes the containers; struct adds the chunks ffmpeg does not write. The small
"planted-" files are written whole here: each hides PLANTED in one place a player does not need.
"""
import os
import struct
import subprocess
import sys
import uuid

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


def rewrite(path, change):
    with open(path, "rb") as file:
        data = bytearray(file.read())
    change(data)
    with open(path, "wb") as file:
        file.write(data)


def make_zero_tail_avi(out):
    """Zeros after the RIFF's end, as some capture tools leave them."""
    ffmpeg(*VIDEO, *SOUND, *TAGS, "-c:v", "mpeg4", "-c:a", "pcm_s16le", out("zero-tail.avi"))
    rewrite(out("zero-tail.avi"), lambda data: data.extend(bytes(1000)))


def make_tag_after(name, codec, kind, big_endian):
    """An ID3 chunk after the form's end, outside its size."""
    def make(out):
        ffmpeg(*SOUND, "-c:a", codec, out(name))
        tag = b"ID3\3\0\0\0\0\0\x17TIT2\0\0\0\x0d\0\0\0Secret Title"
        rewrite(out(name), lambda data: data.extend(chunk(kind, tag, big_endian)))
    return make


def make_overstated_wav(out):
    """A RIFF size that counts its own header too."""
    ffmpeg(*SOUND, *TAGS, "-c:a", "pcm_s16le", out("overstated.wav"))
    rewrite(out("overstated.wav"), lambda data: data.__setitem__(slice(4, 8), struct.pack("<I", len(data))))


def make_large_wav(form):
    """RF64 as ffmpeg writes it (sizes in a ds64 chunk); BW64 the same under another name."""
    def make(out):
        name = out(form.lower() + ".wav")
        ffmpeg(*SOUND, *TAGS, "-c:a", "pcm_s16le", "-rf64", "always", name)
        rewrite(name, lambda data: data.__setitem__(slice(0, 4), form.encode()))
    return make


PLANTED = b"Planted Secret"
PLANTED16 = PLANTED.decode().encode("utf-16-le")


def riff_list(kind, *chunks, big_endian=False):
    return chunk(kind[:4] if kind[:4] in (b"RIFF", b"FORM") else b"LIST",
                 kind[4:] + b"".join(chunks), big_endian)


def avi(strl=b"", top=b""):
    stream = riff_list(b"LISTstrl", chunk(b"strh", b"vids" + bytes(52)), chunk(b"strf", bytes(40)), strl)
    headers = riff_list(b"LISThdrl", chunk(b"avih", bytes(56)), stream)
    movie = riff_list(b"LISTmovi", chunk(b"00dc", bytes(10)))
    return riff_list(b"RIFFAVI ", headers, movie, chunk(b"idx1", b"00dc" + bytes(12)), top)


def wav(top):
    fmt = struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16)
    return riff_list(b"RIFFWAVE", chunk(b"fmt ", fmt), chunk(b"data", bytes(100)), top)


def aiff(top):
    comm = struct.pack(">hIh", 1, 50, 16) + b"\x40\x0B\xFA" + bytes(7)
    return riff_list(b"FORMAIFF", chunk(b"COMM", comm, True),
                     chunk(b"SSND", bytes(108), True), top, big_endian=True)


def rf64(data_size):
    """An RF64 form whose ds64 chunk gives the sound data's size."""
    rest = chunk(b"fmt ", struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16)) + b"data\xff\xff\xff\xff" + bytes(100)
    sizes = chunk(b"ds64", struct.pack("<QQQI", 4 + 36 + len(rest), data_size, 50, 0))
    return b"RF64\xff\xff\xff\xffWAVE" + sizes + rest


def element(id_, data):
    """An EBML element with an eight-byte size field."""
    return id_.to_bytes((id_.bit_length() + 7) // 8, "big") + (len(data) | 1 << 56).to_bytes(8, "big") + data


UNKNOWN_SIZE = b"\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
EBML_HEADER = element(0x1A45DFA3, element(0x4282, b"matroska") + element(0x4287, b"\4"))
PLANTED_TAGS = element(0x1254C367, element(0x7373, element(0x67C8, element(0x45A3, b"TITLE") + element(0x4487, PLANTED))))


def segment_body(info=b"", cluster=b"", rest=b""):
    tracks = element(0x1654AE6B, element(0xAE, element(0xD7, b"\1") + element(0x83, b"\1") + element(0x86, b"V_UNCOMPRESSED")))
    return (element(0x1549A966, element(0x2AD7B1, b"\x0F\x42\x40") + info) + tracks
            + element(0x1F43B675, element(0xE7, b"\0") + element(0xA3, b"\x81\0\0\x80pixels") + cluster) + rest)


def mkv(**parts):
    return EBML_HEADER + element(0x18538067, segment_body(**parts))


def asf_object(guid, data):
    return uuid.UUID(guid).bytes_le + struct.pack("<Q", 24 + len(data)) + data


def asf_extension(*objects):
    inner = b"".join(objects)
    return asf_object("5FBF03B5-A92E-11CF-8EE3-00C00C205365", uuid.UUID("ABD3D211-A9BA-11CF-8EE6-00C00C205365").bytes_le + b"\6\0" + struct.pack("<I", len(inner)) + inner)


def asf_header(*objects):
    return asf_object("75B22630-668E-11CF-A6D9-00AA0062CE6C", struct.pack("<I", len(objects)) + b"\1\2" + b"".join(objects))


def asf(*objects, after=b""):
    properties = asf_object("8CABDCA1-A947-11CF-8EE4-00C00C205365", bytes(80))
    codecs = asf_object("86D15240-311D-11D0-A3A4-00A0C90348F6", bytes(20) + "Kept Codec".encode("utf-16-le"))
    data = asf_object("75B22636-668E-11CF-A6D9-00AA0062CE6C", bytes(26))
    return asf_header(properties, codecs, asf_extension(), *objects) + data + after


def library_record(name, value):
    name = (name + "\0").encode("utf-16-le")
    return struct.pack("<HHHHI", 0, 0, len(name), 0, len(value)) + name + value


PLANTED_FILES = {
    "planted-unknown.avi": avi(top=chunk(b"ZZZZ", PLANTED)),
    "planted-strn.avi": avi(strl=chunk(b"strn", PLANTED)),
    "planted-junk.avi": avi(top=chunk(b"JUNK", PLANTED)),
    "planted-exif.avi": avi(top=riff_list(b"LISTexif", chunk(b"emdl", PLANTED))),
    "planted-ncdt.avi": avi(top=chunk(b"ncdt", PLANTED)),
    "planted-inf0.avi": avi(top=riff_list(b"LISTINF0", chunk(b"IART", PLANTED))),
    "planted-gps.wav": wav(chunk(b"gps0", PLANTED)),
    "planted-guan.wav": wav(chunk(b"guan", PLANTED)),
    "planted-adtl.wav": wav(riff_list(b"LISTadtl", chunk(b"labl", b"\1\0\0\0" + PLANTED))),
    "planted-axml.wav": wav(chunk(b"aXML", PLANTED)),
    "planted-id3.wav": wav(chunk(b"id3 ", PLANTED)),
    "planted-afsp.wav": wav(chunk(b"afsp", PLANTED)),
    "planted-disp.wav": wav(chunk(b"DISP", PLANTED)),
    # Zeroed a block at a time: the marker lies in the last, partial one, at the file's end.
    "planted-junq.wav": wav(chunk(b"JUNQ", bytes(1 << 20) + PLANTED)),
    "planted-olym.wav": wav(chunk(b"olym", PLANTED)),
    "planted-pad.wav": wav(chunk(b"fact", b"\1\0\0\0\0")[:-1] + PLANTED[:1]),
    "planted-appl.aiff": aiff(chunk(b"APPL", PLANTED, True)),
    "planted-mark.aiff": aiff(chunk(b"MARK", b"\0\1\0\1\0\0\0\0" + bytes([len(PLANTED)]) + PLANTED + b"\0", True)),
    "planted-fllr.aiff": aiff(chunk(b"FLLR", PLANTED, True)),
    "planted-unknown.aiff": aiff(chunk(b"ZZZZ", PLANTED, True)),
    "planted-id3.aiff": aiff(chunk(b"ID3 ", PLANTED, True)),
    "planted-tags-in-cluster.mkv": mkv(cluster=PLANTED_TAGS),
    "planted-unknown.mkv": mkv(info=element(0x6E67, PLANTED)),
    "planted-filename.mkv": mkv(info=element(0x7384, PLANTED)),
    "planted-cover.mkv": mkv(rest=element(0x1941A469, element(0x61A7, element(0x466E, b"c.bin") + element(0x4660, b"application/octet-stream") + element(0x465C, b"\xFF\xD8\xFF\xE0" + PLANTED)))),
    "planted-void.mkv": mkv(rest=element(0xEC, PLANTED)),
    "planted-checksum.mkv": mkv(info=element(0xBF, b"Sum!") + element(0x6E67, PLANTED)),
    "planted-second-segment.mkv": EBML_HEADER + b"\x18\x53\x80\x67" + UNKNOWN_SIZE + segment_body() + element(0x18538067, PLANTED_TAGS),
    "planted-content.wma": asf(asf_object("75B22633-668E-11CF-A6D9-00AA0062CE6C", struct.pack("<5H", len(PLANTED16), 0, 0, 0, 0) + PLANTED16)),
    "planted-second-header.wma": asf(after=asf_header(asf_object("5FBF03B5-A92E-11CF-8EE3-00C00C205365", PLANTED16))),
    "planted-nested-extension.wma": asf(asf_extension(asf_extension(asf_object("01234567-89AB-CDEF-0123-456789ABCDEF", PLANTED)))),
    "planted-marker.wma": asf(asf_object("F487CD01-A951-11CF-8EE6-00C00C205365", bytes(24) + PLANTED16)),
    "planted-script.wma": asf(asf_object("1EFB1A30-0B62-11D0-A39B-00A0C90348F6", bytes(20) + "http://planted.example/".encode("utf-16-le") + PLANTED16)),
    "planted-padding.wma": asf(asf_object("1806D474-CADF-4509-A4BA-9AABCB96AAE8", PLANTED)),
    "planted-unknown.wma": asf(asf_object("01234567-89AB-CDEF-0123-456789ABCDEF", PLANTED)),
    "planted-library.wma": asf(asf_extension(asf_object("44231C94-9498-49D1-A141-1D134E457054", struct.pack("<H", 1) + library_record("WM/Planted", PLANTED16)))),
}

# Each is refused by the cleaning and the check alike.
DAMAGED_FILES = {
    "damaged-marker.aiff": aiff(chunk(b"MARK", b"\0\1\0\1\0\0\0\0\x40" + PLANTED, True)),
    "damaged-list.avi": avi(strl=b"strn\xFF\0\0\0"),
    "damaged-unknown-size.mkv": mkv(info=b"\x7B\xA9" + UNKNOWN_SIZE + PLANTED),
    "damaged-extension.wma": asf(asf_object("5FBF03B5-A92E-11CF-8EE3-00C00C205365", bytes(30))),
    "damaged-tail.avi": avi() + b"\1" + bytes(15),
    "damaged-tag-after.aiff": aiff(b"") + chunk(b"ID3 ", PLANTED, True) + b"more",
    "damaged-overstated.wav": wav(b"")[:4] + struct.pack("<I", len(wav(b"")) + 2) + wav(b"")[8:],
    "damaged-no-ds64.wav": b"RF64" + wav(b"")[4:],
    "damaged-ds64.wav": rf64(data_size=1 << 40),
    "damaged-record.wma": asf(asf_extension(asf_object("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA", struct.pack("<H", 1) + library_record("AspectRatioX", b"\1\0\0\0")[:-2]))),
}
PLANTED_FILES.update(DAMAGED_FILES)


def write_planted(name):
    def make(out):
        with open(out(name), "wb") as file:
            file.write(PLANTED_FILES[name])
    return make


MAKERS = {"video.mkv": make_mkv, "video.webm": make_webm, "video.avi": make_avi,
          "sound.wav": make_wav, "sound.aiff": make_aiff, "sound.wma": make_wma,
          "video.wmv": make_wmv, "zero-tail.avi": make_zero_tail_avi,
          "tag-after.aiff": make_tag_after("tag-after.aiff", "pcm_s16be", b"ID3 ", True),
          "tag-after.wav": make_tag_after("tag-after.wav", "pcm_s16le", b"id3 ", False),
          "tag-after-upper.wav": make_tag_after("tag-after-upper.wav", "pcm_s16le", b"ID3 ", False),
          "overstated.wav": make_overstated_wav,
          "rf64.wav": make_large_wav("RF64"), "bw64.wav": make_large_wav("BW64"), **{name: write_planted(name) for name in PLANTED_FILES}}


def main(folder, names=tuple(MAKERS)):
    for name in names:
        MAKERS[name](lambda made: os.path.join(folder, made))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:] or tuple(MAKERS))
