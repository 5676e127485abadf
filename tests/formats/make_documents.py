#!/usr/bin/env python3
"""Makes the e-book, drawing and document files the document tests clean: each carries the
personal data its format can hold, with values a test can look for in the output.

    python3 make_documents.py FOLDER PICTURE.jpg

PICTURE.jpg (a photo with metadata) is embedded where a format holds pictures. Also writes
damaged copies.
"""

import base64
import hashlib
import pathlib
import struct
import subprocess
import sys
import zipfile
import zlib

STAMP = "2021-08-21T16:02:00Z"
HEAD = '<?xml version="1.0" encoding="UTF-8"?>\n'


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


# A 2x1 drawing (red, blue) whose text chunk names its author.
DRAWING = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 1, 8, 2, 0, 0, 0))
           + png_chunk(b"tEXt", b"Author\0Ann Author")
           + png_chunk(b"IDAT", zlib.compress(b"\0\xff\0\0\0\0\xff")) + png_chunk(b"IEND", b""))

OPF = HEAD + f"""<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="BookId" prefix="calibre: https://calibre-ebook.com">
<metadata xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:opf="http://www.idpf.org/2007/opf">
<dc:title id="t">Kept Title</dc:title><dc:language>en</dc:language>
<dc:identifier id="BookId" opf:scheme="uuid">urn:uuid:11111111-2222-3333-4444-555555555555</dc:identifier>
<dc:identifier opf:scheme="ISBN">9781234567897</dc:identifier>
<dc:creator id="a" opf:file-as="Author, Ann" opf:role="aut">Ann Author</dc:creator>
<dc:contributor>Ed Editor</dc:contributor><dc:publisher>Secret Publisher</dc:publisher>
<dc:date>{STAMP}</dc:date><dc:rights>Owned by Ann Author</dc:rights>
<dc:description>Written at /home/ann/books</dc:description><dc:subject>secret keywords</dc:subject>
<dc:source>Secret Source</dc:source>
<meta refines="#a" property="role" scheme="marc:relators">aut</meta>
<meta property="dcterms:modified">{STAMP}</meta>
<meta name="calibre:timestamp" content="{STAMP}"/><meta name="cover" content="cover"/>
</metadata>
<manifest><item id="c1" href="chapter1.xhtml" media-type="application/xhtml+xml"/>
<item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
<item id="cover" href="images/cover.jpeg" media-type="image/jpeg"/>
<item id="d" href="images/drawing.png" media-type="image/png"/>
<item id="p" href="images/plan.svg" media-type="image/svg+xml"/></manifest>
<spine toc="ncx"><itemref idref="c1"/></spine></package>"""

NCX = HEAD + """<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1"><head>
<meta name="dtb:uid" content="urn:uuid:11111111-2222-3333-4444-555555555555"/>
<meta name="dtb:generator" content="Secret Application"/><meta name="dtb:depth" content="1"/></head>
<docTitle><text>Kept Title</text></docTitle><docAuthor><text>Ann Author</text></docAuthor>
<navMap><navPoint id="n1" playOrder="1"><navLabel><text>Chapter One</text></navLabel>
<content src="chapter1.xhtml"/></navPoint></navMap></ncx>"""

CHAPTER = HEAD + """<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.1//EN" "http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd">
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>Kept Title</title>
<meta name="Author" content="Ann Author"/><meta name="DC.date" content="2021-08-21"/><meta name="generator" content="Secret Application"/>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8"/></head>
<body><h1>Chapter One</h1><p>It was a dark&nbsp;night &amp; the text stays.</p>
<img src="images/cover.jpeg" alt="cover"/></body></html>"""

CONTAINER = HEAD + """<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/></rootfiles></container>"""

ITUNES = HEAD + """<plist version="1.0"><dict><key>artistName</key><string>Ann Author</string></dict></plist>"""


ENCRYPTION = HEAD + """<encryption xmlns="urn:oasis:names:tc:opendocument:xmlns:container" xmlns:enc="http://www.w3.org/2001/04/xmlenc#">
<enc:EncryptedData><enc:EncryptionMethod Algorithm="{}"/>
<enc:CipherData><enc:CipherReference URI="OEBPS/fonts/kept.otf"/></enc:CipherData></enc:EncryptedData></encryption>"""


def hidden(data):
    """Data hidden with the book's identifier, as the IDPF way of embedding fonts does."""
    key = hashlib.sha1(b"urn:uuid:11111111-2222-3333-4444-555555555555").digest()
    return bytes(b ^ key[i % 20] if i < 1040 else b for i, b in enumerate(data))


def hidden_font():
    return hidden(b"OTTO" + bytes(range(256)) * 6)


def epub_parts(photo):
    return {"mimetype": "application/epub+zip", "META-INF/container.xml": CONTAINER,
            "OEBPS/content.opf": OPF, "OEBPS/toc.ncx": NCX, "OEBPS/chapter1.xhtml": CHAPTER,
            "OEBPS/images/cover.jpeg": photo, "OEBPS/images/drawing.png": DRAWING,
            "OEBPS/images/plan.svg": inkscape_svg(), "OEBPS/fonts/kept.otf": hidden_font(),
            "META-INF/encryption.xml": ENCRYPTION.format("http://www.idpf.org/2008/embedding"),
            "iTunesMetadata.plist": ITUNES,
            "META-INF/calibre_bookmarks.txt": "encoding=json+base64:\nAnn Author"}


def write_epub(path, parts):
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in parts.items():
            entry = zipfile.ZipInfo(name, date_time=(2021, 8, 21, 16, 2, 0))
            entry.compress_type = zipfile.ZIP_STORED if name == "mimetype" else zipfile.ZIP_DEFLATED
            archive.writestr(entry, data.encode("utf-8") if isinstance(data, str) else data)


def inkscape_svg():
    picture = base64.encodebytes(DRAWING).decode()
    return f"""<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!-- Created with Inkscape (http://www.inkscape.org/) -->
<svg width="64" height="48" viewBox="0 0 64 48" version="1.1" id="svg5"
   inkscape:version="1.2.2 (Secret Application)" sodipodi:docname="plan.svg"
   sodipodi:docbase="/home/ann/drawings"
   inkscape:export-filename="/home/ann/export/plan.png" inkscape:export-xdpi="96" inkscape:export-ydpi="96"
   xmlns:inkscape="http://www.inkscape.org/namespaces/inkscape"
   xmlns:sodipodi="http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd"
   xmlns:xlink="http://www.w3.org/1999/xlink" xmlns="http://www.w3.org/2000/svg"
   xmlns:svg="http://www.w3.org/2000/svg" xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"
   xmlns:cc="http://creativecommons.org/ns#" xmlns:dc="http://purl.org/dc/elements/1.1/">
  <title id="title1">Kept plan</title><desc id="desc1">A kept description</desc>
  <sodipodi:namedview id="namedview7" pagecolor="#ffffff" inkscape:zoom="2.5" inkscape:window-width="1920"
     inkscape:current-layer="layer1" inkscape:document-units="mm"/>
  <defs id="defs2"><linearGradient id="g"><stop offset="0" style="stop-color:#00ff00"/><stop offset="1" style="stop-color:#0000ff"/></linearGradient></defs>
  <metadata id="metadata5"><rdf:RDF><cc:Work rdf:about=""><dc:format>image/svg+xml</dc:format>
    <dc:creator><cc:Agent><dc:title>Ann Author</dc:title></cc:Agent></dc:creator>
    <dc:date>{STAMP}</dc:date><dc:subject><rdf:Bag><rdf:li>secret keywords</rdf:li></rdf:Bag></dc:subject>
  </cc:Work></rdf:RDF></metadata>
  <g inkscape:label="Layer 1" inkscape:groupmode="layer" id="layer1">
    <rect style="fill:url(#g);stroke:#000000;stroke-width:2" id="rect1" width="40" height="20" x="4" y="4"/>
    <!-- a note by Ed Editor -->
    <ellipse style="fill:#ff8000" id="path1" cx="40" cy="34" rx="12" ry="8" sodipodi:type="arc"/>
    <text x="4" y="44" style="font-size:8px;font-family:sans-serif">Kept &amp; text</text>
    <image width="8" height="4" x="50" y="4" preserveAspectRatio="none" id="image1"
       xlink:href="data:image/png;base64,{picture}"/>
  </g>
</svg>
"""


def illustrator_svg(photo):
    picture = base64.b64encode(photo).decode()
    return f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Generator: Adobe Illustrator 24.0.0, SVG Export Plug-In . SVG Version: 6.00 Build 0)  -->
<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd" [
	<!ENTITY ns_extend "http://ns.adobe.com/Extensibility/1.0/">
	<!ENTITY ns_ai "http://ns.adobe.com/AdobeIllustrator/10.0/">
	<!ENTITY ns_graphs "http://ns.adobe.com/Graphs/1.0/">
	<!ENTITY ns_vars "http://ns.adobe.com/Variables/1.0/">
	<!ENTITY ns_sfw "http://ns.adobe.com/SaveForWeb/1.0/">
	<!ENTITY ns_svg "http://www.w3.org/2000/svg">
	<!ENTITY ns_xlink "http://www.w3.org/1999/xlink">
]>
<svg version="1.1" id="Layer_1" xmlns:x="&ns_extend;" xmlns:i="&ns_ai;" xmlns:graph="&ns_graphs;"
	 xmlns="&ns_svg;" xmlns:xlink="&ns_xlink;" x="0px" y="0px" width="60px" height="40px"
	 viewBox="0 0 60 40" enable-background="new 0 0 60 40" xml:space="preserve">
<metadata><?xpacket begin="﻿" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
<rdf:Description rdf:about="" xmlns:xmp="http://ns.adobe.com/xap/1.0/" xmp:CreatorTool="Secret Application" xmp:CreateDate="{STAMP}"/>
</rdf:RDF></x:xmpmeta><?xpacket end="w"?></metadata>
<switch>
	<foreignObject requiredExtensions="&ns_ai;" x="0" y="0" width="1" height="1">
		<i:pgfRef  xlink:href="#adobe_illustrator_pgf"></i:pgfRef>
	</foreignObject>
	<g i:extraneous="self">
		<rect x="2" y="2" fill="#1E64C8" width="30" height="20"/>
		<polygon fill="#E63C28" points="40,5 58,35 22,35"/>
		<image overflow="visible" width="16" height="16" transform="matrix(1 0 0 1 4 22)"
			xlink:href="data:image/jpeg;base64,{picture}">
		</image>
	</g>
</switch>
<i:pgf  id="adobe_illustrator_pgf">
	<![CDATA[
	eJzs Ann Author /home/ann/drawings/secret.ai
	]]>
</i:pgf>
<?adobe-xap-filters esc="CRLF"?>
</svg>
"""


def hex_lines(data):
    text = data.hex()
    return "\n".join(text[i:i + 128] for i in range(0, len(text), 128))


def rtf(photo):
    return r"""{\rtf1\adeflang1025\ansi\ansicpg1252\uc1\adeff0\deff0\deflang1033
{\fonttbl{\f0\froman\fcharset0\fprq2{\*\panose 02020603050405020304}Times New Roman;}{\f1\fswiss\fcharset0 Arial;}}
{\colortbl;\red0\green0\blue0;\red255\green0\blue0;}
{\*\rsidtbl \rsid1194548\rsid2424242}{\*\generator Secret Application 16.0;}
{\info{\title Kept Title}{\author Ann Author}{\operator Ed Editor}{\keywords secret keywords}
{\company Secret Publisher}{\creatim\yr2021\mo8\dy21\hr16\min2}{\revtim\yr2021\mo8\dy21\hr16\min2}
{\version2}{\edmins4711}{\nofpages1}{\hlinkbase /home/ann/letters}}
{\*\userprops {\propname Client}\proptype30{\staticval Secret Source}}
{\*\revtbl {Unknown;}{Ann Author;}{Ed Editor;}}
\paperw12240\paperh15840\margl1440\margr1440\revisions\rsidroot1194548
\pard\plain \ltrpar\ql \f0\fs24\insrsid1194548 Dear reader, {\b\charrsid2424242 bold words}\b0{\insrsid2424242  and} {\i italic}.
{\deleted\revauthdel1\revdttmdel1234567 removed text}{\revised\revauth2\revdttm1234567 inserted text}\par
{\*\atnid QZX}{\*\atnauthor Ed Editor}\chatn{\*\annotation\pard\plain{\*\atndate 1234567}A remark.}
\pard\plain\f1 Caf\'e9\insrsid1194548 s \u8364?\par
{\field{\*\fldinst {\insrsid1194548  INCLUDEPICTURE "C:\\Users\\Ann Author\\Pictures\\chart.png" \\* MERGEFORMAT }}{\fldrslt {chart}}}\par
{\*\shppict{\pict{\*\picprop}\picw16\pich16\picwgoal240\pichgoal240\jpegblip\bliptag-12345{\*\blipuid 0123456789abcdef0123456789abcdef}
""" + hex_lines(photo) + r"""}}{\nonshppict{\pict\picw2\pich1\picwgoal30\pichgoal15\pngblip
""" + hex_lines(DRAWING) + r"""}}\par}
"""


def resource(number, data):
    """A Photoshop image resource block with an empty name."""
    return (b"8BIM" + struct.pack(">HHI", number, 0, len(data)) + data
            + (b"\0" if len(data) % 2 else b""))


def icc_header():
    """An ICC profile header with no tags: enough for readers to keep it."""
    profile = bytearray(132)
    struct.pack_into(">I4sI4s4s4s", profile, 0, 132, b"none", 0x02100000, b"mntr", b"RGB ", b"XYZ ")
    profile[36:40] = b"acsp"
    return bytes(profile)


def exif_with_artist():
    artist = b"Ann Author\0"
    return (b"MM\0\x2a" + struct.pack(">IHHHII", 8, 1, 0x013B, 2, len(artist), 26)
            + struct.pack(">I", 0) + artist)


def psd(folder, photo):
    """A photo as ImageMagick writes it, with the resources Photoshop adds."""
    made = folder / "made.psd"
    subprocess.run(["convert", "-size", "16x12", "-seed", "3", "plasma:", "-type", "TrueColor",
                    str(made)], check=True)
    image = made.read_bytes()
    colours = 30 + struct.unpack_from(">I", image, 26)[0]
    length = struct.unpack_from(">I", image, colours)[0]
    xmp = (f'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
           f'<rdf:Description xmlns:xmp="http://ns.adobe.com/xap/1.0/" xmp:CreatorTool="Secret Application" '
           f'xmp:CreateDate="{STAMP}"/></rdf:RDF></x:xmpmeta>').encode()
    resources = (image[colours + 4: colours + 4 + length] + resource(0x040F, icc_header())
                 + resource(0x0404, b"\x1c\x02\x50\x00\x0aAnn Author")
                 + resource(0x0422, exif_with_artist()) + resource(0x0424, xmp)
                 + resource(0x040C, struct.pack(">6I2H", 1, 16, 16, 48, 768, len(photo), 24, 1) + photo)
                 + resource(0x03F0, b"\x0dSecret Source") + resource(0x040B, b"file:///home/ann/x")
                 + resource(0x0421, b"\0\0\0\1\1\0\0\0\x12" + "Secret Application".encode("utf-16-be")
                            + b"\0\0\0\x0d" + "Secret Reader".encode("utf-16-be") + b"\0\0\0\1"))
    return image[:colours] + struct.pack(">I", len(resources)) + resources + image[colours + 4 + length:]


def write_with_damaged_copies(folder, name, data):
    (folder / name).write_bytes(data)
    (folder / ("truncated-" + name)).write_bytes(data[: len(data) * 2 // 3])


def main(folder, picture_path):
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    photo = pathlib.Path(picture_path).read_bytes()
    parts = epub_parts(photo)
    write_epub(folder / "book.epub", parts)
    write_with_damaged_copies(folder, "book.epub", (folder / "book.epub").read_bytes())
    write_with_damaged_copies(folder, "plan.svg", inkscape_svg().encode())
    (folder / "illustrated.svg").write_bytes(illustrator_svg(photo).encode())
    write_with_damaged_copies(folder, "letter.rtf", rtf(photo).encode())
    (folder / "deep.rtf").write_bytes(b"{\\rtf1" + b"{" * 600 + b"}" * 600 + b"}")
    (folder / "deep.svg").write_bytes(b'<svg xmlns="http://www.w3.org/2000/svg">' + b"<g>" * 1100 +
                                      b"</g>" * 1100 + b"</svg>")
    (folder / "bad-picture.rtf").write_bytes(b"{\\rtf1{\\pict\\pngblip 89504}}")
    # An OLE1 object neither linked (1) nor embedded (2): format 3, then a class name.
    (folder / "format-3-object.rtf").write_bytes(
        b"{\\rtf1{\\object{\\*\\objdata 01050000030000000400000044494200}}}")
    image = psd(folder, photo)
    (folder / "picture.psd").write_bytes(image)
    (folder / "truncated-picture.psd").write_bytes(image[:len(image) // 2])
    (folder / "cut-pixels.psd").write_bytes(image[:-20])
    broken = bytearray(image)  # the last resource, the version, claims more than its section
    broken[image.find(b"\0\0\0\1\1\0\0\0\x12") - 1] = 0x7F
    (folder / "broken-resource.psd").write_bytes(bytes(broken))
    parts["META-INF/encryption.xml"] = ENCRYPTION.format("http://www.w3.org/2001/04/xmlenc#aes128-cbc")
    write_epub(folder / "locked.epub", parts)
    del parts["META-INF/container.xml"]
    write_epub(folder / "no-container.epub", parts)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
