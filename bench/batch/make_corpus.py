#!/usr/bin/env python3
"""Makes the batch benchmark's corpus: JPEGs of about 600 KB with EXIF, GPS, IPTC and XMP, PDFs
with all eight information entries and an XMP stream, Word and OpenDocument texts of about 480 KB
(properties, a comment, a tracked change, revision ids and one of those photos inside), other files
of mixed sizes, PNG, GIF, WebP and TIFF pictures with their kinds of metadata, and the sound and
video files of the formats tests (Matroska, AVI, WAV, AIFF, Windows Media) with theirs, phone photos
(HEIC with Exif GPS and XMP) and videos (MP4 of about 3 MB with a place, a title and dates), tagged
MP3, FLAC and Ogg songs of ten seconds, and the formats tests' EPUB, SVG, RTF, Photoshop and old
Word, Excel and PowerPoint documents."""

import io
import os
import random
import shutil
import subprocess
import sys
import tarfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "formats"))
import make_compound_files  # noqa: E402
import make_documents  # noqa: E402
import make_sound_and_video  # noqa: E402

JPEGS, PDFS, OFFICE, OPENDOCUMENT, OTHERS = 200, 50, 100, 100, 200
PICTURES = 100  # of each kind below
MEDIA = 50  # of each sound and video kind
PHOTOS, VIDEOS = 100, 20
DOCUMENTS = 50  # of each kind the formats tests make, and of each kind of song
TAGS = ["-M", "set Exif.Image.Artist Ann Author", "-M", "set Exif.Image.Make Canon",
        "-M", "set Exif.GPSInfo.GPSLatitudeRef N", "-M", "set Xmp.dc.creator Ann Author"]


def make_jpeg(folder):
    base = os.path.join(folder, "base.jpg")
    # Noise keeps the JPEG near 600 KB at this size and quality.
    subprocess.run(["convert", "-size", "1100x800", "plasma:", "-attenuate", "0.35",
                    "+noise", "Gaussian", "-quality", "90", base], check=True)
    subprocess.run(["exiv2",
                    "-M", "set Exif.Image.Make Canon", "-M", "set Exif.Image.Model EOS 5D",
                    "-M", "set Exif.Image.Artist Ann Author",
                    "-M", "set Exif.Photo.DateTimeOriginal 2021:06:01 10:00:00",
                    "-M", "set Exif.GPSInfo.GPSLatitudeRef N",
                    "-M", "set Exif.GPSInfo.GPSLatitude 48/1 51/1 2964/100",
                    "-M", "set Iptc.Application2.Byline Ann Author",
                    "-M", "set Xmp.dc.creator Ann Author", "mo", base], check=True)
    return base


def make_pictures(folder):
    """Per kind: the ImageMagick options and whether exiv2 adds EXIF and XMP."""
    kinds = {
        "png": (["plasma:", "-set", "comment", "Ann Author"], True),
        "gif": (["plasma:", "plasma:", "plasma:", "-delay", "20", "-loop", "0",
                 "-set", "comment", "Ann Author"], False),
        "webp": (["plasma:", "-quality", "85"], True),
        "tiff": (["plasma:", "-compress", "zip"], True),
    }
    for kind, (options, tagged) in kinds.items():
        os.makedirs(os.path.join(folder, kind))
        base = os.path.join(folder, "base." + kind)
        subprocess.run(["convert", "-size", "800x600", "-seed", "7", "-depth", "8"] + options +
                       [base], check=True)
        if tagged:
            subprocess.run(["exiv2"] + TAGS + ["mo", base], check=True)
        for i in range(PICTURES):
            shutil.copyfile(base, os.path.join(folder, kind, "picture_%03d.%s" % (i, kind)))
        os.remove(base)


def make_media(folder):
    made = os.path.join(folder, "media")
    os.makedirs(made)
    make_sound_and_video.main(made)
    for kind, name in (("mkv", "video.mkv"), ("avi", "video.avi"), ("wav", "sound.wav"),
                       ("aiff", "sound.aiff"), ("wma", "sound.wma")):
        os.makedirs(os.path.join(folder, kind))
        for i in range(MEDIA):
            shutil.copyfile(os.path.join(made, name),
                            os.path.join(folder, kind, "take_%03d.%s" % (i, kind)))
    shutil.rmtree(made)


def copies(folder, kind, base):
    os.makedirs(os.path.join(folder, kind))
    for i in range(DOCUMENTS):
        shutil.copyfile(base, os.path.join(folder, kind, "item_%03d.%s" % (i, kind)))


def make_songs(folder):
    """Ten seconds of tone with a title, an artist, a date, and a cover where the kind holds one."""
    for kind, codec, cover in (("mp3", [], True), ("flac", [], True),
                               ("ogg", ["-c:a", "libvorbis"], False)):
        base = os.path.join(folder, "song." + kind)
        pictures = (["-f", "lavfi", "-i", "color=c=red:s=64x64:d=1", "-map", "0", "-map", "1",
                     "-frames:v", "1", "-c:v", "png", "-disposition:v", "attached_pic"]
                    if cover else [])
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=10"] +
                       pictures + codec + ["-metadata", "title=Holiday", "-metadata",
                                           "artist=Ann Author", "-metadata", "date=2021", base],
                       check=True)
        copies(folder, kind, base)
        os.remove(base)


def make_documents_of_the_tests(folder, photo):
    made = os.path.join(folder, "documents")
    make_documents.main(made, photo)
    make_compound_files.main(made)
    for kind, name in (("epub", "book.epub"), ("svg", "illustrated.svg"), ("rtf", "letter.rtf"),
                       ("psd", "picture.psd"), ("doc", "letter.doc"), ("xls", "figures.xls"),
                       ("ppt", "slides.ppt")):
        copies(folder, kind, os.path.join(made, name))
    shutil.rmtree(made)


def make_phone_files(folder):
    """HEIC photos with Exif and XMP, and MP4 videos with a place, a title and dates."""
    for kind in ("heic", "mp4"):
        os.makedirs(os.path.join(folder, kind))
    frame = os.path.join(folder, "frame.png")
    subprocess.run(["convert", "-size", "800x600", "-seed", "7", "plasma:", frame], check=True)
    photo = os.path.join(folder, "base.heic")
    subprocess.run(["heif-enc", "-q", "80", frame, "-o", photo], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["exiftool", "-q", "-overwrite_original", "-GPSLatitude=48.8584",
                    "-GPSLatitudeRef=N", "-Make=Apple", "-Model=iPhone 12",
                    "-XMP-dc:Creator=Ann Author", photo], check=True)
    video = os.path.join(folder, "base.mp4")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=1280x720:rate=30:duration=5", "-f", "lavfi", "-i",
                    "sine=duration=5", "-vf", "noise=alls=20:allf=t", "-c:v", "libx264", "-preset",
                    "ultrafast", "-b:v", "4M", "-c:a", "aac",
                    "-metadata", "title=Holiday", "-metadata", "location=+48.8584+002.2945/",
                    "-metadata", "creation_time=2021-06-01T10:00:00Z", video], check=True)
    for kind, base, count in (("heic", photo, PHOTOS), ("mp4", video, VIDEOS)):
        for i in range(count):
            shutil.copyfile(base, os.path.join(folder, kind, "IMG_%04d.%s" % (i, kind)))
        os.remove(base)
    os.remove(frame)


def pdf_bytes(number):
    xmp = (b'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF '
           b'xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description '
           b'xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:creator>Ann Author</dc:creator>'
           b'</rdf:Description></rdf:RDF></x:xmpmeta>')
    text = b"BT /F1 12 Tf 72 720 Td (Page of report %d) Tj ET" % number
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R /Metadata 5 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        b"/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >>",
        b"<< /Length %d >>\nstream\n%s\nendstream" % (len(text), text),
        b"<< /Type /Metadata /Subtype /XML /Length %d >>\nstream\n%s\nendstream" % (len(xmp), xmp),
        b"<< /Title (Report %d) /Subject (Plans) /Author (Ann Author) /Keywords (secret) "
        b"/Creator (Writer) /Producer (Producer) /CreationDate (D:20200102030405) "
        b"/ModDate (D:20210102030405) >>" % number,
    ]
    return pdf_file(objects, b"/Info 6 0 R")


def pdf_file(objects, trailer=b""):
    """A PDF of the objects, numbered from 1 (the catalog), with its cross-reference table."""
    out = bytearray(b"%PDF-1.7\n")
    offsets = []
    for index, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % index + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R %s >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, trailer, xref)
    return bytes(out)


W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
PARAGRAPH = ('<w:p w:rsidR="00A1B2C3"><w:r w:rsidR="00A1B2C3"><w:t>Report paragraph %d: the plans '
             'for the coming year, in some detail.</w:t></w:r></w:p>')


def docx_parts(number, photo):
    body = "".join(PARAGRAPH % i for i in range(300))
    return {
        "[Content_Types].xml": '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="jpeg" ContentType="image/jpeg"/>'
        '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
        '<Override PartName="/word/comments.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.comments+xml"/>'
        '<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/></Types>',
        "_rels/.rels": '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
        '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/></Relationships>',
        "word/_rels/document.xml.rels": '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments" Target="comments.xml"/>'
        '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/image" Target="media/image1.jpeg"/></Relationships>',
        "word/document.xml": f'<w:document {W}><w:body>{body}<w:ins w:id="1" w:author="Ann Author" '
        'w:date="2021-06-01T10:00:00Z"><w:r><w:t>inserted</w:t></w:r></w:ins></w:body></w:document>',
        "word/comments.xml": f'<w:comments {W}><w:comment w:id="0" w:author="Ann Author" w:initials="AA" '
        'w:date="2021-06-01T10:00:00Z"><w:p><w:r><w:t>Check this.</w:t></w:r></w:p></w:comment></w:comments>',
        "docProps/core.xml": '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" '
        f'xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>Report {number}</dc:title>'
        '<dc:creator>Ann Author</dc:creator></cp:coreProperties>',
        "word/media/image1.jpeg": photo,
    }


ODF = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
       'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
       'xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" '
       'xmlns:dc="http://purl.org/dc/elements/1.1/"')


def odt_parts(number, photo):
    body = "".join(f"<text:p>Report paragraph {i}: the plans for the coming year, in some detail."
                   "</text:p>" for i in range(300))
    entries = [("content.xml", "text/xml"), ("meta.xml", "text/xml"), ("Pictures/photo.jpg", "image/jpeg")]
    return {
        "mimetype": "application/vnd.oasis.opendocument.text",
        "content.xml": f"<office:document-content {ODF}><office:body><office:text>{body}<text:p>Remark"
        "<office:annotation><dc:creator>Ann Author</dc:creator><dc:date>2021-06-01T10:00:00</dc:date>"
        "<text:p>Check this.</text:p></office:annotation></text:p></office:text></office:body>"
        "</office:document-content>",
        "meta.xml": f"<office:document-meta {ODF}><office:meta><dc:title>Report {number}</dc:title>"
        "<meta:initial-creator>Ann Author</meta:initial-creator></office:meta></office:document-meta>",
        "Pictures/photo.jpg": photo,
        "META-INF/manifest.xml": '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">'
        '<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.text"/>'
        + "".join(f'<manifest:file-entry manifest:full-path="{p}" manifest:media-type="{t}"/>' for p, t in entries)
        + "</manifest:manifest>",
    }


def make_archives(folder, photo):
    """A holiday sent as archives: 100 photos in ten ZIPs and in ten gzip-compressed TARs."""
    for route in ("zip", "targz"):
        os.makedirs(os.path.join(folder, route))
    for i in range(10):
        names = ["home/ann/Pictures/trip/IMG_%04d.jpg" % (i * 10 + j) for j in range(10)]
        with zipfile.ZipFile(os.path.join(folder, "zip", "trip_%02d.zip" % i), "w") as archive:
            for name in names:
                archive.writestr(name, photo)
        with tarfile.open(os.path.join(folder, "targz", "trip_%02d.tar.gz" % i), "w:gz") as tar:
            for name in names:
                info = tarfile.TarInfo(name)
                info.size, info.uname, info.mtime = len(photo), "ann", 1700000000
                tar.addfile(info, io.BytesIO(photo))


def write_package(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in parts.items():
            method = zipfile.ZIP_STORED if name == "mimetype" else zipfile.ZIP_DEFLATED
            archive.writestr(name, data, compress_type=method)


def main(folder):
    shutil.rmtree(folder, ignore_errors=True)
    for route in ("jpeg", "pdf", "office", "opendocument", "other"):
        os.makedirs(os.path.join(folder, route))
    base = make_jpeg(folder)
    for i in range(JPEGS):
        shutil.copyfile(base, os.path.join(folder, "jpeg", "IMG_%04d.jpg" % i))
    with open(base, "rb") as photo_file:
        photo = photo_file.read()
    for i in range(OFFICE):
        write_package(os.path.join(folder, "office", "report_%03d.docx" % i), docx_parts(i, photo))
    for i in range(OPENDOCUMENT):
        write_package(os.path.join(folder, "opendocument", "report_%03d.odt" % i), odt_parts(i, photo))
    make_documents_of_the_tests(folder, base)
    make_archives(folder, photo)
    os.remove(base)
    for i in range(PDFS):
        with open(os.path.join(folder, "pdf", "report_%03d.pdf" % i), "wb") as pdf:
            pdf.write(pdf_bytes(i))
    make_pictures(folder)
    make_media(folder)
    make_phone_files(folder)
    make_songs(folder)
    rng = random.Random(7)
    for i in range(OTHERS):
        with open(os.path.join(folder, "other", "file_%03d.dat" % i), "wb") as other:
            other.write(rng.randbytes(rng.choice([2_000, 40_000, 300_000])))


if __name__ == "__main__":
    main(sys.argv[1])
