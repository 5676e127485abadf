#!/usr/bin/env python3
"""Makes large files for stopping a batch mid-file.

Usage: make_large.py FOLDER MP4_BYTES XML_BYTES [MEDIA_BYTES]

Writes big.mp4: a one-second ffmpeg video of about MP4_BYTES whose movie box follows a grown media
data box and a padding box as large (holes, read as zeros, which the pass still writes over), and
big.docx: a Word document whose text part unpacks to about
XML_BYTES of numbered paragraphs (well within the package limits), with an author in its
properties and, when MEDIA_BYTES is given, a stored part of that many random bytes, which no
compression shrinks.
"""
import os
import struct
import subprocess
import sys
import zipfile

from make_isobmff import top_level

HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
DOC = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument"
CORE = "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties"
WORD = "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"


def make_mp4(path, size):
    small = path + ".small.mp4"
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=64x48:rate=10:duration=1", "-c:v", "libx264",
                    "-metadata", "artist=AnnArtist", small], check=True)
    with open(small, "rb") as source:
        boxes = top_level(source.read())
    os.remove(small)
    head = b"".join(data for kind, data in boxes if kind != b"moov")
    movie = next(data for kind, data in boxes if kind == b"moov")
    filler = max(size - len(head) - len(movie) - 32, 0) // 2
    with open(path, "wb") as out:
        out.write(head)
        for kind in (b"mdat", b"free"):
            out.write(struct.pack(">I4sQ", 1, kind, 16 + filler))
            out.seek(filler, os.SEEK_CUR)
        out.write(movie)


def paragraphs(size):
    parts, total, number = [], 0, 0
    while total < size:
        line = f"<w:p><w:r><w:t>Paragraph {number} of a long report.</w:t></w:r></w:p>"
        parts.append(line)
        total += len(line)
        number += 1
    return "".join(parts)


def make_docx(path, text_size, media_size):
    parts = {
        "[Content_Types].xml": HEAD + '<Types xmlns="http://schemas.openxmlformats.org/package/'
        '2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-'
        'package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>'
        '<Default Extension="dat" ContentType="application/octet-stream"/><Override PartName="'
        f'/word/document.xml" ContentType="{WORD}"/></Types>',
        "_rels/.rels": HEAD + f'<Relationships xmlns="{RELS}"><Relationship Id="rId1" Type="{DOC}" '
        f'Target="word/document.xml"/><Relationship Id="rId2" Type="{CORE}" '
        'Target="docProps/core.xml"/></Relationships>',
        "docProps/core.xml": HEAD + '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org'
        '/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/">'
        "<dc:creator>Ann Author</dc:creator></cp:coreProperties>",
        "word/document.xml": HEAD + f"<w:document {W}><w:body>" + paragraphs(text_size) +
        "</w:body></w:document>",
    }
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in parts.items():
            archive.writestr(name, text.encode("utf-8"))
        if media_size:
            archive.writestr(zipfile.ZipInfo("word/media/clip.dat"), os.urandom(media_size),
                             compress_type=zipfile.ZIP_STORED)


def main(folder, mp4_size, text_size, media_size=0):
    os.makedirs(folder, exist_ok=True)
    make_mp4(os.path.join(folder, "big.mp4"), mp4_size)
    make_docx(os.path.join(folder, "big.docx"), text_size, media_size)


if __name__ == "__main__":
    main(sys.argv[1], *(int(size) for size in sys.argv[2:]))
