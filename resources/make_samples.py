#!/usr/bin/env python3
"""Makes the example files shipped in the program folder's "Samples".

Each file carries the kind of metadata a new user expects the program to remove:
a JPEG photo with EXIF (camera, dates, GPS position), IPTC and XMP; a PDF with all
eight information dictionary entries and an XMP stream; a Word document with an
author. Needs ImageMagick's convert and exiv2. The output is the same on every run.

    python3 resources/make_samples.py [output folder]
"""

import pathlib
import random
import subprocess
import sys
import zipfile

AUTHOR = "Alex Example"
TITLE = "Evening above the valley"
TAKEN = "2021:08:14 19:42:09"

PHOTO_NAME = "Sample Photo.jpg"
PDF_NAME = "Sample Document.pdf"
DOCX_NAME = "Sample Letter.docx"


# ---------------------------------------------------------------- photo

WIDTH, HEIGHT = 640, 427


def ridge(rng, base, roughness, rounds=8):
    """A mountain skyline by midpoint displacement, as (x, y) points across the picture."""
    heights = [base, base]
    spread = roughness
    for _ in range(rounds):
        finer = []
        for left, right in zip(heights, heights[1:]):
            finer += [left, (left + right) / 2 + rng.uniform(-spread, spread)]
        finer.append(heights[-1])
        heights = finer
        spread *= 0.55
    step = WIDTH / (len(heights) - 1)
    return [(i * step, y) for i, y in enumerate(heights)]


def filled(skyline, colour):
    points = " ".join(f"{x:.1f},{y:.1f}" for x, y in skyline)
    return ["-fill", colour, "-draw", f"polygon {points} {WIDTH},{HEIGHT} 0,{HEIGHT}"]


def layer(*operations):
    return ["(", "-size", f"{WIDTH}x{HEIGHT}", *operations, ")"]


def draw_photo(path):
    rng = random.Random(20210814)
    far, middle, near = ridge(rng, 200, 160), ridge(rng, 265, 90), ridge(rng, 325, 45)
    meadow = layer("-seed", "7", "plasma:#3a5a2a-#6b7f3a", "-blur", "0x2",
                   *layer("xc:black", *filled(near, "white"), "-blur", "0x1"),
                   "-alpha", "off", "-compose", "CopyOpacity", "-composite")
    command = [
        "convert", "-size", f"{WIDTH}x{HEIGHT}", "gradient:#2f64a8-#f2d3a0",
        *layer("xc:none", "-fill", "#fff4d6", "-draw", "circle 470,170 470,150", "-blur", "0x18"),
        "-composite",
        *layer("xc:none", *filled(far, "#8597b4")), "-composite",
        *layer("xc:none", *filled(middle, "#4d6b5a"), "-blur", "0x1"), "-composite",
        *layer("xc:none", *filled(near, "#2e4a2a")), "-composite",
        *meadow, "-compose", "Multiply", "-composite", "-compose", "Over",
        "-attenuate", "0.25", "+noise", "Gaussian", "-blur", "0x0.5",
        "-strip", "-sampling-factor", "4:2:0", "-quality", "82", str(path),
    ]
    subprocess.run(command, check=True)


PHOTO_TAGS = [
    "set Exif.Image.Make Canon",
    "set Exif.Image.Model Canon EOS 80D",
    f"set Exif.Image.Artist {AUTHOR}",
    f"set Exif.Image.Copyright (c) 2021 {AUTHOR}",
    f"set Exif.Image.ImageDescription {TITLE}",
    "set Exif.Image.Software Darkroom 4.2",
    f"set Exif.Image.DateTime {TAKEN}",
    f"set Exif.Photo.DateTimeOriginal {TAKEN}",
    f"set Exif.Photo.DateTimeDigitized {TAKEN}",
    "set Exif.Photo.ExposureTime Rational 1/250",
    "set Exif.Photo.FNumber Rational 8/1",
    "set Exif.Photo.ISOSpeedRatings Short 100",
    "set Exif.Photo.FocalLength Rational 35/1",
    "set Exif.Photo.LensModel EF-S 18-55mm f/3.5-5.6 IS STM",
    "set Exif.Photo.BodySerialNumber 032024001234",
    "set Exif.GPSInfo.GPSVersionID Byte 2 3 0 0",
    "set Exif.GPSInfo.GPSLatitudeRef N",
    "set Exif.GPSInfo.GPSLatitude Rational 46/1 33/1 2812/100",
    "set Exif.GPSInfo.GPSLongitudeRef E",
    "set Exif.GPSInfo.GPSLongitude Rational 7/1 58/1 4520/100",
    "set Exif.GPSInfo.GPSAltitudeRef Byte 0",
    "set Exif.GPSInfo.GPSAltitude Rational 2061/1",
    f"set Iptc.Application2.ObjectName {TITLE}",
    f"set Iptc.Application2.Byline {AUTHOR}",
    f"set Iptc.Application2.Copyright (c) 2021 {AUTHOR}",
    "set Iptc.Application2.Caption Last light on the peaks, seen from the ridge path.",
    "set Iptc.Application2.City Wengen",
    "set Iptc.Application2.CountryName Switzerland",
    "set Iptc.Application2.DateCreated 2021-08-14",
    "add Iptc.Application2.Keywords mountains",
    "add Iptc.Application2.Keywords sunset",
    "add Iptc.Application2.Keywords holiday",
    f"set Xmp.dc.title lang=x-default {TITLE}",
    f"set Xmp.dc.creator {AUTHOR}",
    "set Xmp.dc.description lang=x-default Last light on the peaks, seen from the ridge path.",
    "set Xmp.xmp.CreatorTool Darkroom 4.2",
    "set Xmp.xmp.CreateDate 2021-08-14T19:42:09+02:00",
    "set Xmp.photoshop.City Wengen",
    "set Xmp.photoshop.Country Switzerland",
]


def make_photo(path):
    draw_photo(path)
    modify = [argument for tag in PHOTO_TAGS for argument in ("-M", tag)]
    subprocess.run(["exiv2", *modify, "mo", str(path)], check=True)
    subprocess.run(["exiv2", "-c", f"Photo by {AUTHOR}", "mo", str(path)], check=True)


# ---------------------------------------------------------------- PDF

PDF_INFO = {
    "Title": "Quarterly Report",
    "Subject": "Sales figures for the third quarter",
    "Author": AUTHOR,
    "Keywords": "sales, quarterly, confidential",
    "Creator": "Writer 7.1",
    "Producer": "Handmade PDF 1.0",
    "CreationDate": "D:20210902093015+02'00'",
    "ModDate": "D:20210903171144+02'00'",
}

PDF_XMP = f"""<?xpacket begin="\ufeff" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/">
 <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
  <rdf:Description rdf:about=""
    xmlns:dc="http://purl.org/dc/elements/1.1/"
    xmlns:xmp="http://ns.adobe.com/xap/1.0/"
    xmlns:pdf="http://ns.adobe.com/pdf/1.3/">
   <dc:title><rdf:Alt><rdf:li xml:lang="x-default">{PDF_INFO["Title"]}</rdf:li></rdf:Alt></dc:title>
   <dc:creator><rdf:Seq><rdf:li>{AUTHOR}</rdf:li></rdf:Seq></dc:creator>
   <dc:description><rdf:Alt><rdf:li xml:lang="x-default">{PDF_INFO["Subject"]}</rdf:li></rdf:Alt></dc:description>
   <pdf:Keywords>{PDF_INFO["Keywords"]}</pdf:Keywords>
   <pdf:Producer>{PDF_INFO["Producer"]}</pdf:Producer>
   <xmp:CreatorTool>{PDF_INFO["Creator"]}</xmp:CreatorTool>
   <xmp:CreateDate>2021-09-02T09:30:15+02:00</xmp:CreateDate>
   <xmp:ModifyDate>2021-09-03T17:11:44+02:00</xmp:ModifyDate>
  </rdf:Description>
 </rdf:RDF>
</x:xmpmeta>
<?xpacket end="w"?>"""

PDF_PAGE_TEXT = [
    (22, "Quarterly Report"),
    (12, "Sales figures for the third quarter"),
    (11, ""),
    (11, "This is an example document. Its information dictionary names a title,"),
    (11, "a subject, an author, keywords, the creating program, the producer and"),
    (11, "two dates; an XMP packet repeats them. Process it to see them removed."),
]


def pdf_text(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def page_content():
    lines = ["BT", "/F1 22 Tf", "72 760 Td"]
    for size, text in PDF_PAGE_TEXT:
        lines += [f"/F1 {size} Tf", f"{pdf_text(text)} Tj", f"0 -{size + 10} Td"]
    lines.append("ET")
    return "\n".join(lines).encode("ascii")


def stream(dictionary, data):
    return b"<< " + dictionary + b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"


def make_pdf(path):
    info = " ".join(f"/{key} {pdf_text(value)}" for key, value in PDF_INFO.items())
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R /Metadata 6 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
        b"/Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>",
        stream(b"", page_content()),
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        stream(b"/Type /Metadata /Subtype /XML", PDF_XMP.encode("utf-8")),
        ("<< " + info + " >>").encode("latin-1"),
    ]
    output = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(output))
        output += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(output)
    output += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    output += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    output += b"trailer\n<< /Size %d /Root 1 0 R /Info %d 0 R >>\n" % (len(objects) + 1,
                                                                     len(objects))
    output += b"startxref\n%d\n%%%%EOF\n" % xref
    path.write_bytes(bytes(output))
    subprocess.run(["qpdf", "--check", str(path)], check=True, stdout=subprocess.DEVNULL)


# ---------------------------------------------------------------- Word document

DOCX_PARTS = {
    "[Content_Types].xml": """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>
<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>
<Override PartName="/docProps/app.xml" ContentType="application/vnd.openxmlformats-officedocument.extended-properties+xml"/>
</Types>""",
    "_rels/.rels": """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>
<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>
<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/>
</Relationships>""",
    "word/document.xml": """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">
<w:body>
<w:p><w:r><w:t>Dear reader,</w:t></w:r></w:p>
<w:p><w:r><w:t>This letter is an example. Its document properties name an author, a company and the dates it was written and last saved.</w:t></w:r></w:p>
<w:p><w:r><w:t>Kind regards,</w:t></w:r></w:p>
<w:p><w:r><w:t>Alex Example</w:t></w:r></w:p>
</w:body>
</w:document>""",
    "docProps/core.xml": f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<dc:title>Letter to a reader</dc:title>
<dc:creator>{AUTHOR}</dc:creator>
<cp:lastModifiedBy>{AUTHOR}</cp:lastModifiedBy>
<cp:keywords>letter, example</cp:keywords>
<dcterms:created xsi:type="dcterms:W3CDTF">2021-08-20T08:15:00Z</dcterms:created>
<dcterms:modified xsi:type="dcterms:W3CDTF">2021-08-21T16:02:00Z</dcterms:modified>
</cp:coreProperties>""",
    "docProps/app.xml": """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">
<Application>Writer 7.1</Application>
<Company>Example Trading Ltd.</Company>
</Properties>""",
}


def make_docx(path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in DOCX_PARTS.items():
            entry = zipfile.ZipInfo(name, date_time=(2021, 8, 21, 16, 2, 0))
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, text.encode("utf-8"))


def main():
    default = pathlib.Path(__file__).resolve().parent / "Samples"
    folder = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default
    folder.mkdir(parents=True, exist_ok=True)
    make_photo(folder / PHOTO_NAME)
    make_pdf(folder / PDF_NAME)
    make_docx(folder / DOCX_NAME)


if __name__ == "__main__":
    main()
