#!/usr/bin/env python3
"""Makes the hostile shapes of bench/walkers/run.sh, each at a scale: a file whose walk was once
quadratic in its count of boxes, chunks, elements, attachments or groups.

Usage: make_walker_inputs.py FOLDER SCALE      (SCALE 1 for N, 2 for 2N)

Writes mdat.mp4 (many media data boxes and a metadata track with a chunk in each),
attachments.pdf (attachments that all have one file name), fonts.epub (hidden fonts listed in
META-INF/encryption.xml), chunks.wav (empty chunks), voids.mkv (Void elements), groups.svg
(nested groups) and deep.rtf (text 499 groups deep).
"""
import os
import struct
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "batch"))
import make_corpus  # noqa: E402


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full_box(kind, payload):
    return box(kind, bytes(4) + payload)


def mp4(count):
    """A metadata track of `count` one-sample chunks, each in a media data box of its own."""
    ftyp = box(b"ftyp", b"isom" + bytes(4) + b"isom")
    mdat_at = []
    # The movie box comes last, so the chunk offsets are known once the media data is laid out.
    at = len(ftyp)
    media = bytearray()
    for _ in range(count):
        mdat_at.append(at + 8)
        media += box(b"mdat", b"gps-fix!")
        at += 16
    sample_entry = box(b"mebx", bytes(6) + struct.pack(">H", 1) + box(b"keys", b""))
    stbl = box(b"stbl", full_box(b"stsd", struct.pack(">I", 1) + sample_entry) +
               full_box(b"stts", struct.pack(">III", 1, count, 1)) +
               full_box(b"stsc", struct.pack(">IIII", 1, 1, 1, 1)) +
               full_box(b"stsz", struct.pack(">II", 8, count)) +
               full_box(b"stco", struct.pack(">I", count) +
                        b"".join(struct.pack(">I", o) for o in mdat_at)))
    handler = full_box(b"hdlr", bytes(4) + b"meta" + bytes(12) + b"\0")
    trak = box(b"trak", full_box(b"tkhd", bytes(80)) +
               box(b"mdia", full_box(b"mdhd", bytes(20)) + handler +
                   box(b"minf", full_box(b"nmhd", b"") + stbl)))
    moov = box(b"moov", full_box(b"mvhd", bytes(96)) + trak)
    return ftyp + bytes(media) + moov


def pdf(count):
    """`count` attachments, each from a folder of its own, all named report.txt."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R /Names << /EmbeddedFiles 4 0 R >> >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>"]
    names = []
    for i in range(count):
        filespec = 5 + 2 * i
        path = b"folder%05d/report.txt" % i
        names.append(b"(%s) %d 0 R" % (path, filespec))
    objects.append(b"<< /Names [" + b" ".join(names) + b"] >>")
    for i in range(count):
        path = b"folder%05d/report.txt" % i
        objects.append(b"<< /Type /Filespec /F (%s) /UF (%s) /EF << /F %d 0 R >> >>" %
                       (path, path, 6 + 2 * i))
        objects.append(b"<< /Type /EmbeddedFile /Length 6 >>\nstream\nhello\n\nendstream")
    return make_corpus.pdf_file(objects)


def epub(path, count):
    """A book whose `count` fonts are all hidden the IDPF way."""
    container = ('<?xml version="1.0"?><container version="1.0" xmlns="urn:oasis:names:tc:'
                 'opendocument:xmlns:container"><rootfiles><rootfile full-path="content.opf" '
                 'media-type="application/oebps-package+xml"/></rootfiles></container>')
    opf = ('<?xml version="1.0"?><package xmlns="http://www.idpf.org/2007/opf" version="3.0" '
           'unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">'
           '<dc:identifier id="id">urn:uuid:12345678-1234-1234-1234-123456789abc</dc:identifier>'
           '<dc:title>Fonts</dc:title><dc:language>en</dc:language></metadata><manifest>'
           '<item id="t" href="text.xhtml" media-type="application/xhtml+xml"/></manifest>'
           '<spine><itemref idref="t"/></spine></package>')
    page = ('<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml"><head><title>t'
            '</title></head><body><p>Text</p></body></html>')
    references = "".join(
        '<EncryptedData xmlns="http://www.w3.org/2001/04/xmlenc#"><EncryptionMethod '
        'Algorithm="http://www.idpf.org/2008/embedding"/><CipherData><CipherReference '
        'URI="fonts/f%06d.otf"/></CipherData></EncryptedData>' % i for i in range(count))
    encryption = ('<?xml version="1.0"?><encryption xmlns="urn:oasis:names:tc:opendocument:'
                  'xmlns:container">' + references + '</encryption>')
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as book:
        book.writestr("mimetype", "application/epub+zip")
        book.writestr("META-INF/container.xml", container)
        book.writestr(zipfile.ZipInfo("META-INF/encryption.xml"), encryption,
                      zipfile.ZIP_DEFLATED)
        book.writestr("content.opf", opf)
        book.writestr("text.xhtml", page)
        for i in range(count):
            book.writestr("fonts/f%06d.otf" % i, bytes(range(64)))


def wav(count):
    """`count` empty chunks between the format and the sound."""
    fmt = b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 16000, 2, 16)
    body = b"WAVE" + fmt + b"junk\0\0\0\0" * count + b"data" + struct.pack("<I", 4) + bytes(4)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def ebml(element_id, payload):
    return element_id + bytes([0x01]) + struct.pack(">Q", len(payload))[1:] + payload


def mkv(count):
    """`count` two-byte Void elements in a segment."""
    header = ebml(b"\x1a\x45\xdf\xa3", ebml(b"\x42\x82", b"matroska") +
                  ebml(b"\x42\x87", b"\x04") + ebml(b"\x42\x85", b"\x02"))
    info = ebml(b"\x15\x49\xa9\x66", ebml(b"\x2a\xd7\xb1", b"\x0f\x42\x40"))
    return header + ebml(b"\x18\x53\x80\x67", info + b"\xec\x80" * count)


def svg(count):
    return (b'<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">' +
            b"<g>" * count + b'<rect width="1" height="1"/>' + b"</g>" * count + b"</svg>\n")


def rtf(size):
    """`size` bytes of text 499 groups deep."""
    line = b"Plain words of a letter that nests far too deep. \\par\n"
    text = line * (size // len(line))
    return b"{\\rtf1\\ansi" + b"{" * 498 + text + b"}" * 498 + b"}"


def main(folder, scale):
    os.makedirs(folder, exist_ok=True)
    made = {
        "mdat.mp4": lambda: mp4(75_000 * scale),
        "attachments.pdf": lambda: pdf(2_000 * scale),
        "chunks.wav": lambda: wav(6_000_000 * scale),
        "voids.mkv": lambda: mkv(5_000_000 * scale),
        "groups.svg": lambda: svg(2_000_000 * scale),
        "deep.rtf": lambda: rtf(10_000_000 * scale),
    }
    for name, make in made.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(make())
    epub(os.path.join(folder, "fonts.epub"), 30_000 * scale)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
