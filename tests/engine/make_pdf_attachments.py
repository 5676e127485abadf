#!/usr/bin/env python3
"""Makes files to attach to or draw in a PDF, each carrying metadata marked with "Secret".

Usage: make_pdf_attachments.py FOLDER

Writes video.mp4 (a place), drawing.svg (the folder it was exported to), letter.docx (its
author, stored uncompressed so that a byte search sees it) and picture.jp2 (XMP in an XML box and
a UUID box).
"""
import struct
import subprocess
import sys
import zipfile

PLACE = "+12.3456+065.4321/"

CORE = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties"
 xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:creator>Secret Docx Author</dc:creator>
</cp:coreProperties>"""

DOCX = {
    "[Content_Types].xml": """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/word/document.xml"
 ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>
<Override PartName="/docProps/core.xml"
 ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>
</Types>""",
    "_rels/.rels": """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>
<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>
</Relationships>""",
    "word/document.xml": """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>
<w:p><w:r><w:t>Kept letter text</w:t></w:r></w:p></w:body></w:document>""",
    "docProps/core.xml": CORE,
}

SVG = """<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="20" height="10"
 xmlns:inkscape="http://www.inkscape.org/namespaces/inkscape"
 inkscape:export-filename="/home/Secret/export/plan.png" inkscape:export-xdpi="96">
<rect width="20" height="10" fill="#00ff00"/></svg>
"""

XMP = ('<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/'
       '22-rdf-syntax-ns#"><rdf:Description xmlns:dc="http://purl.org/dc/elements/1.1/">'
       '<dc:creator>Secret Jp2 Author</dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>')


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def jp2():
    header = box(b"jp2h", box(b"ihdr", struct.pack(">IIHBBBB", 2, 2, 1, 7, 7, 0, 0)) +
                 box(b"colr", struct.pack(">BBBI", 1, 0, 0, 17)))
    # The codestream is never decoded here: its markers only have to be there.
    codestream = bytes.fromhex("ff4fff51") + bytes(40) + bytes.fromhex("ffd9")
    return (box(b"jP  ", b"\r\n\x87\n") + box(b"ftyp", b"jp2 " + bytes(4) + b"jp2 ") + header +
            box(b"xml ", XMP.encode()) + box(b"uuid", bytes(range(16)) + b"Secret uuid data") +
            box(b"jp2c", codestream))


def main(folder):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "color=c=red:s=16x16:d=0.2", "-c:v", "mpeg4", "-metadata",
                    "location=" + PLACE, "-movflags", "use_metadata_tags", folder + "/video.mp4"],
                   check=True)
    with open(folder + "/drawing.svg", "w") as svg:
        svg.write(SVG)
    with zipfile.ZipFile(folder + "/letter.docx", "w", zipfile.ZIP_STORED) as docx:
        for name, text in DOCX.items():
            docx.writestr(name, text)
    with open(folder + "/picture.jp2", "wb") as picture:
        picture.write(jp2())


if __name__ == "__main__":
    main(sys.argv[1])
