#!/usr/bin/env python3
"""Makes the Office and OpenDocument packages the package tests clean: each carries every kind of
personal data its format can hold, with values a test can look for in the output.

    python3 make_packages.py FOLDER PICTURE.jpg

PICTURE.jpg is embedded in the Word document as its photo. Also writes damaged packages.
"""

import io
import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
R = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
W15 = 'xmlns:w15="http://schemas.microsoft.com/office/word/2012/wordml"'
RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
DOC_RELS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
STAMP = "2021-08-21T16:02:00Z"

# An extended-timestamp extra field, as zip tools add to every entry.
EXTRA = struct.pack("<HHBl", 0x5455, 5, 1, 1629561720)


def types(defaults, overrides):
    lines = [f'<Default Extension="{e}" ContentType="{t}"/>' for e, t in defaults]
    lines += [f'<Override PartName="/{p}" ContentType="{t}"/>' for p, t in overrides]
    return (HEAD + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            + "".join(lines) + "</Types>")


def relationships(*links):
    lines = []
    for number, (kind, target) in enumerate(links, start=1):
        mode = ' TargetMode="External"' if target.startswith("file:") else ""
        target = target.replace("&", "&amp;")
        if not kind.startswith("http"):
            kind = (RELS if kind.startswith("metadata/") else DOC_RELS) + "/" + kind
        lines.append(f'<Relationship Id="rId{number}" Type="{kind}" Target="{target}"{mode}/>')
    return HEAD + f'<Relationships xmlns="{RELS}">' + "".join(lines) + "</Relationships>"


CORE = HEAD + f"""<cp:coreProperties owner="Rooted Owner" xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<dc:title>Secret Title</dc:title><dc:subject>Secret Subject</dc:subject>
<dc:creator>Ann Author</dc:creator><cp:lastModifiedBy>Ed Editor</cp:lastModifiedBy>
<cp:keywords>secret keywords</cp:keywords>
<dcterms:created xsi:type="dcterms:W3CDTF">{STAMP}</dcterms:created>
<dcterms:modified xsi:type="dcterms:W3CDTF">{STAMP}</dcterms:modified>
</cp:coreProperties>"""

APP = HEAD + """<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">
<Template>Secret Template.dotm</Template><TotalTime>4711</TotalTime>
<Application>Secret Application</Application><AppVersion>16.0300</AppVersion>
<Company>Carl Company</Company><Manager>Mia Manager</Manager>
</Properties>"""

CUSTOM = HEAD + """<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/custom-properties" xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">
<property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid="2" name="Client"><vt:lpwstr>Secret Client</vt:lpwstr></property>
</Properties>"""

PROPERTY_TYPES = [
    ("docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml"),
    ("docProps/app.xml", "application/vnd.openxmlformats-officedocument.extended-properties+xml"),
    ("docProps/custom.xml", "application/vnd.openxmlformats-officedocument.custom-properties+xml"),
    ("docProps/thumbnail.jpeg", "image/jpeg"),
]

PROPERTY_LINKS = [("metadata/core-properties", "docProps/core.xml"),
                  ("extended-properties", "docProps/app.xml"),
                  ("custom-properties", "docProps/custom.xml"),
                  ("metadata/thumbnail", "docProps/thumbnail.jpeg")]

PROPERTY_PARTS = {"docProps/core.xml": CORE, "docProps/app.xml": APP,
                  "docProps/custom.xml": CUSTOM, "docProps/thumbnail.jpeg": b"THUMBNAIL-BYTES"}

DEFAULTS = [("rels", "application/vnd.openxmlformats-package.relationships+xml"),
            ("xml", "application/xml"), ("jpeg", "image/jpeg"), ("png", "image/png"),
            ("bin", "application/vnd.openxmlformats-officedocument.printerSettings"),
            ("xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"),
            ("psmdcp", "application/vnd.openxmlformats-package.core-properties+xml")]

WORD = "application/vnd.openxmlformats-officedocument.wordprocessingml"

DOCUMENT = HEAD + f"""<w:document {W} {R} xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture"><w:body>
<w:p w:rsidR="00A1B2C3" w:rsidRDefault="00A1B2C3"><w:r w:rsidR="00D4E5F6"><w:t xml:space="preserve">Dear reader, </w:t></w:r>
<w:ins w:id="1" w:author="Ed Editor" w:date="{STAMP}"><w:r><w:t>inserted words</w:t></w:r></w:ins>
<w:del w:id="2" w:author="Ed Editor" w:date="{STAMP}"><w:r><w:delText>deleted words</w:delText></w:r></w:del>
<w:commentRangeStart w:id="0"/><w:r><w:t>&amp; a remark &lt;here&gt;</w:t></w:r><w:commentRangeEnd w:id="0"/>
<w:r><w:commentReference w:id="0"/></w:r></w:p>
<w:p><w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText xml:space="preserve"> INCLUDEPICTURE "C:\\\\Users\\\\Nick Nobody\\\\chart.png" \\* MERGEFORMAT </w:instrText></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r></w:p>
<w:p><w:r><w:drawing><wp:inline><wp:docPr id="1" name="Photo" descr="C:\\Users\\Nick Nobody\\Pictures\\IMG_0042.jpg" title="A red barn"/><a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/picture"><pic:pic><pic:nvPicPr><pic:cNvPr id="1" name="IMG_0042.jpg" descr="\\\\nas\\Nick Nobody\\IMG_0042.jpg" title="/home/Nick Nobody/barn.jpg"/></pic:nvPicPr><pic:blipFill><a:blip r:embed="rId4"/></pic:blipFill></pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>
<w:sectPr w:rsidR="00A1B2C3"/></w:body></w:document>"""

COMMENTS = HEAD + f"""<!DOCTYPE w:comments [<!ENTITY owner "Dee Tee Dee">]><?owner Pip Instruction?><w:comments {W}><w:comment w:id="0" w:author="Cora Commenter" w:date="{STAMP}" w:initials="QZX">
<w:p><w:r><w:t>Comment text stays.</w:t></w:r></w:p></w:comment></w:comments>"""

PEOPLE = HEAD + f"""<w15:people {W15}><w15:person w15:author="Cora Commenter">
<w15:presenceInfo w15:providerId="AD" w15:userId="cora@example.com"/></w15:person></w15:people>"""

SETTINGS = HEAD + f"""<w:settings {W} {R}><w:attachedTemplate r:id="rId1"/><w:zoom w:percent="100"/>
<w:printerSettings r:id="rId2"/><w:docVars><w:docVar w:name="Client" w:val="Secret DocVar"/></w:docVars>
<w:rsids><w:rsidRoot w:val="00A1B2C3"/><w:rsid w:val="00D4E5F6"/></w:rsids></w:settings>"""


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


# A one-pixel drawing whose text chunk names its author.
DRAWING = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
           + png_chunk(b"tEXt", b"Author\0Ann Author")
           + png_chunk(b"IDAT", zlib.compress(b"\0\xff\0\0")) + png_chunk(b"IEND", b""))


# Properties as the .NET packaging API stores them.
PSMDCP = HEAD + """<coreProperties xmlns="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:creator>Pat Packager</dc:creator></coreProperties>"""

CUSTOM_XML = HEAD + """<p:properties xmlns:p="http://schemas.microsoft.com/office/2006/metadata/properties" xmlns:pc="http://schemas.microsoft.com/office/infopath/2007/PartnerControls"><documentManagement><Owner><pc:UserInfo><pc:DisplayName>Nick Nobody</pc:DisplayName><pc:AccountId>17</pc:AccountId><pc:AccountType/></pc:UserInfo></Owner><Project>Kept project data</Project></documentManagement></p:properties>"""

PRINTER = b"\x00Office Printer 9000\x00 Nick Nobody"


def compound_file(author):
    """A compound file of one stream, document properties naming the author: an old-format
    object as Office embeds it. The stream is large enough to need no mini stream."""
    end, free = 0xFFFFFFFE, 0xFFFFFFFF
    value = author.encode() + b"\0"
    value += bytes(-len(value) % 4)
    section = struct.pack("<II", 1, 24) + struct.pack("<II", 4, 32)
    section += struct.pack("<II", 2, 1252) + struct.pack("<II", 0x1E, len(author) + 1) + value
    section = struct.pack("<II", 8 + len(section), 2) + section
    summary = bytes.fromhex("E0859FF2F94F6810AB9108002B27B3D9")
    stream = struct.pack("<HHI16sI", 0xFFFE, 0, 0x20006, bytes(16), 1) + summary
    stream += struct.pack("<I", len(stream) + 4) + section
    stream += bytes(4096 - len(stream))

    def entry(name, kind, child, start, size):
        encoded = name.encode("utf-16-le")
        return (encoded.ljust(64, b"\0") + struct.pack("<HBB3I", len(encoded) + 2, kind, 1, free,
                                                        free, child)
                + bytes(36) + struct.pack("<3I", start, size, 0))

    directory = entry("Root Entry", 5, 1, end, 0) + entry("\x05SummaryInformation", 2, free, 2, 4096)
    directory += bytes(256)
    fat = [0xFFFFFFFD, end] + [3 + n for n in range(7)] + [end]
    fat_sector = struct.pack(f"<{len(fat)}I", *fat).ljust(512, b"\xFF")
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(16)
              + struct.pack("<HHHHH6xIIIIIIIII", 0x3E, 3, 0xFFFE, 9, 6, 0, 1, 1, 0, 4096, end, 0,
                            end, 0) + struct.pack("<I", 0) + b"\xFF" * 432)
    return header + fat_sector + directory + stream


def docx_parts(picture, workbook):
    return {
        "[Content_Types].xml": types(DEFAULTS, [
            ("word/document.xml", WORD + ".document.main+xml"),
            ("word/comments.xml", WORD + ".comments+xml"),
            ("word/people.xml", "application/vnd.ms-word.people+xml"),
            ("word/settings.xml", WORD + ".settings+xml"),
            ("word/footnotes.xml", WORD + ".footnotes+xml"),  # a part the package lacks
            ("word/embeddings/oleObject1.bin", "application/vnd.openxmlformats-officedocument.oleObject"),
            *PROPERTY_TYPES]),
        "_rels/.rels": relationships(("officeDocument", "word/document.xml"), *PROPERTY_LINKS,
                                     ("metadata/core-properties", "package/services/metadata/core-properties/1a2b.psmdcp")),
        "word/_rels/document.xml.rels": relationships(
            ("comments", "comments.xml"),
            ("http://schemas.microsoft.com/office/2011/relationships/people", "people.xml"),
            ("settings", "settings.xml"), ("image", "media/image1.jpeg"),
            ("image", "media/image2.png"), ("footnotes", "footnotes.xml"),
            ("hyperlink", "file:///C:\\Documents and Settings\\Nick Nobody\\report.doc"),
            ("oleObject", "embeddings/oleObject1.bin"),
            ("package", "embeddings/Microsoft_Excel_Sheet1.xlsx"),
            ("customXml", "../customXml/item1.xml")),
        "word/_rels/settings.xml.rels": relationships(
            ("attachedTemplate", "file:///C:/Users/ann/Templates/Secret%20Template.dotm"),
            ("printerSettings", "../word/printerSettings/printerSettings1.bin")),
        "word/printerSettings/printerSettings1.bin": PRINTER,
        "word/embeddings/oleObject1.bin": compound_file("Ann Author"),
        "word/embeddings/Microsoft_Excel_Sheet1.xlsx": workbook,
        "customXml/item1.xml": CUSTOM_XML,
        "package/services/metadata/core-properties/1a2b.psmdcp": PSMDCP,
        "word/document.xml": DOCUMENT, "word/comments.xml": COMMENTS, "word/people.xml": PEOPLE,
        "word/settings.xml": SETTINGS, "word/media/image1.jpeg": picture,
        "word/media/image2.png": DRAWING, **PROPERTY_PARTS,
    }


SHEET = "application/vnd.openxmlformats-officedocument.spreadsheetml"
S = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'

XLSX_PARTS = {
    "[Content_Types].xml": types(DEFAULTS, [
        ("xl/workbook.xml", SHEET + ".sheet.main+xml"),
        ("xl/worksheets/sheet1.xml", SHEET + ".worksheet+xml"),
        ("xl/comments1.xml", SHEET + ".comments+xml"),
        ("xl/persons/person.xml", "application/vnd.ms-excel.person+xml"),
        ("xl/pivotCache/pivotCacheDefinition1.xml", SHEET + ".pivotCacheDefinition+xml"),
        ("xl/connections.xml", SHEET + ".connections+xml"),
        ("xl/revisions/revisionHeaders.xml", SHEET + ".revisionHeaders+xml"),
        ("xl/revisions/userNames.xml", SHEET + ".userNames+xml"), *PROPERTY_TYPES]),
    "_rels/.rels": relationships(("officeDocument", "xl/workbook.xml"), *PROPERTY_LINKS),
    "xl/_rels/workbook.xml.rels": relationships(("worksheet", "worksheets/sheet1.xml"),
                                                ("person", "persons/person.xml"),
                                                ("pivotCacheDefinition", "pivotCache/pivotCacheDefinition1.xml"),
                                                ("connections", "connections.xml"),
                                                ("revisionHeaders", "revisions/revisionHeaders.xml"),
                                                ("usernames", "revisions/userNames.xml")),
    "xl/worksheets/_rels/sheet1.xml.rels": relationships(
        ("comments", "../comments1.xml"), ("printerSettings", "../printerSettings/printerSettings1.bin")),
    "xl/printerSettings/printerSettings1.bin": PRINTER,
    "xl/pivotCache/pivotCacheDefinition1.xml": HEAD + f"""<pivotCacheDefinition {S} refreshedBy="Rita Refresher" refreshedDate="44429.66" recordCount="1"><cacheSource type="worksheet"><worksheetSource ref="A1:A2" sheet="Figures"/></cacheSource><cacheFields count="0"/></pivotCacheDefinition>""",
    "xl/connections.xml": HEAD + f"""<connections {S}><connection id="1" name="Sales" type="1" refreshedVersion="3" odcFile="C:\\Users\\Nick Nobody\\Documents\\My Data Sources\\Sales.odc"><dbPr connection="DSN=Sales;UID=Uma Username;PWD=Secret Password;DBQ=sales" command="select 1"/></connection></connections>""",
    "xl/revisions/revisionHeaders.xml": HEAD + f"""<headers {S} guid="{{0}}"><header guid="{{1}}" dateTime="{STAMP}" userName="Uma Username"/></headers>""",
    "xl/revisions/userNames.xml": HEAD + f"""<users {S} count="1"><userInfo guid="{{2}}" name="Uma Username" id="1" dateTime="{STAMP}"/></users>""",
    "xl/workbook.xml": HEAD + f"""<workbook {S} {R}><fileSharing userName="Ann Author"/>
<sheets><sheet name="Figures" sheetId="1" r:id="rId1"/></sheets></workbook>""",
    "xl/worksheets/sheet1.xml": HEAD + f"""<worksheet {S}><sheetData><row r="1">
<c r="A1" t="inlineStr"><is><t>Quarterly figures</t></is></c></row></sheetData>
<pageSetup orientation="landscape" r:id="rId2" {R}/></worksheet>""",
    "xl/comments1.xml": HEAD + f"""<comments {S}><authors><author>Cora Commenter</author></authors>
<commentList><comment ref="A1" authorId="0"><text><t>Check these.</t></text></comment></commentList></comments>""",
    "xl/persons/person.xml": """<personList xmlns="http://schemas.microsoft.com/office/spreadsheetml/2018/threadedcomments">
<person displayName="Cora Commenter" id="{1}" userId="cora@example.com" providerId="AD"/></personList>""",
    **PROPERTY_PARTS,
}

SLIDES = "application/vnd.openxmlformats-officedocument.presentationml"
P = 'xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"'
A = 'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"'

C = 'xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart"'


def pptx_parts(workbook):
    return {**PPTX_PARTS,
            "ppt/slides/_rels/slide1.xml.rels": relationships(
                ("comments", "/ppt/comments/comment1.xml"), ("chart", "../charts/chart1.xml")),
            "ppt/charts/chart1.xml": HEAD + f"""<c:chartSpace {C} {R}><c:chart/><c:externalData r:id="rId1"/></c:chartSpace>""",
            "ppt/charts/_rels/chart1.xml.rels": relationships(
                ("package", "../embeddings/Microsoft_Excel_Sheet1.xlsx")),
            "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx": workbook}


PPTX_PARTS = {
    "[Content_Types].xml": types(DEFAULTS, [
        ("ppt/presentation.xml", SLIDES + ".presentation.main+xml"),
        ("ppt/slides/slide1.xml", SLIDES + ".slide+xml"),
        ("ppt/commentAuthors.xml", SLIDES + ".commentAuthors+xml"),
        ("ppt/comments/comment1.xml", SLIDES + ".comments+xml"),
        ("ppt/charts/chart1.xml", "application/vnd.openxmlformats-officedocument.drawingml.chart+xml"),
        *PROPERTY_TYPES]),
    "_rels/.rels": relationships(("officeDocument", "ppt/presentation.xml"), *PROPERTY_LINKS),
    "ppt/_rels/presentation.xml.rels": relationships(("slide", "slides/slide1.xml"),
                                                     ("commentAuthors", "commentAuthors.xml")),
    "ppt/slides/_rels/slide1.xml.rels": relationships(("comments", "/ppt/comments/comment1.xml")),
    "ppt/presentation.xml": HEAD + f"""<p:presentation {P} {R}><p:sldIdLst><p:sldId id="256" r:id="rId1"/></p:sldIdLst></p:presentation>""",
    "ppt/slides/slide1.xml": HEAD + f"""<p:sld {P} {A}><p:cSld><p:spTree><p:sp><p:nvSpPr><p:cNvPr id="2" name="Title" descr="/home/Nick Nobody/slides/title.png"/></p:nvSpPr><p:txBody><a:p><a:r><a:t>Slide title</a:t></a:r></a:p></p:txBody></p:sp></p:spTree></p:cSld></p:sld>""",
    "ppt/commentAuthors.xml": HEAD + f"""<p:cmAuthorLst {P}><p:cmAuthor id="0" name="Cora Commenter" initials="QZX" lastIdx="1" clrIdx="0"/></p:cmAuthorLst>""",
    "ppt/comments/comment1.xml": HEAD + f"""<p:cmLst {P}><p:cm authorId="0" dt="{STAMP}" idx="1"><p:pos x="10" y="10"/><p:text>Slide comment stays.</p:text></p:cm></p:cmLst>""",
    **PROPERTY_PARTS,
}

ODF = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "meta": "urn:oasis:names:tc:opendocument:xmlns:meta:1.0",
    "dc": "http://purl.org/dc/elements/1.1/",
    "config": "urn:oasis:names:tc:opendocument:xmlns:config:1.0",
    "officeooo": "http://openoffice.org/2009/office",
    "loext": "urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0",
}
NS = " ".join(f'xmlns:{prefix}="{uri}"' for prefix, uri in ODF.items())

ODT_CONTENT = HEAD + f"""<office:document-content {NS} office:version="1.3">
<office:automatic-styles><style:style style:name="P1" style:family="paragraph"><style:text-properties officeooo:rsid="0012ab34" officeooo:paragraph-rsid="0012ab34"/></style:style></office:automatic-styles>
<office:body><office:text>
<text:tracked-changes><text:changed-region xml:id="ct1" text:id="ct1"><text:insertion><office:change-info><dc:creator>Ed Editor</dc:creator><dc:date>{STAMP[:-1]}</dc:date></office:change-info></text:insertion></text:changed-region></text:tracked-changes>
<text:p text:style-name="P1">Dear reader, <text:change-start text:change-id="ct1"/>inserted words<text:change-end text:change-id="ct1"/> and a remark<office:annotation><dc:creator>Cora Commenter</dc:creator><dc:date>{STAMP[:-1]}</dc:date><meta:creator-initials>QZX</meta:creator-initials><loext:sender-initials>QZX</loext:sender-initials><text:p>Comment text stays.</text:p></office:annotation>.</text:p>
<text:p><text:a xlink:type="simple" xlink:href="file:///home/Nick%20Nobody/notes.odt" xmlns:xlink="http://www.w3.org/1999/xlink">Notes</text:a></text:p>
</office:text></office:body></office:document-content>"""

ODT_META = HEAD + f"""<office:document-meta {NS} office:version="1.3"><office:meta>
<meta:initial-creator>Ann Author</meta:initial-creator><dc:creator>Ed Editor</dc:creator>
<meta:creation-date>{STAMP[:-1]}</meta:creation-date><dc:date>{STAMP[:-1]}</dc:date>
<meta:editing-duration>PT4711S</meta:editing-duration><meta:generator>Secret Application</meta:generator>
<dc:title>Secret Title</dc:title><meta:keyword>secret keywords</meta:keyword>
<meta:template xlink:href="Secret%20Template.ott" xmlns:xlink="http://www.w3.org/1999/xlink"/>
<meta:user-defined meta:name="Client">Secret Client</meta:user-defined>
</office:meta></office:document-meta>"""

ODT_SETTINGS = HEAD + f"""<office:document-settings {NS} office:version="1.3"><office:settings>
<config:config-item-set config:name="ooo:configuration-settings">
<config:config-item config:name="PrinterName" config:type="string">Office Printer 9000</config:config-item>
<config:config-item config:name="PrinterSetup" config:type="base64Binary">T2ZmaWNlIFByaW50ZXIgOTAwMA==</config:config-item>
<config:config-item config:name="Rsid" config:type="int">1194548</config:config-item>
<config:config-item config:name="PrintTables" config:type="boolean">true</config:config-item>
</config:config-item-set></office:settings></office:document-settings>"""


VERSION_LIST = HEAD + """<VL:version-list xmlns:VL="http://openoffice.org/2001/versions-list"><VL:version-entry VL:title="Version1" VL:comment="draft" VL:creator="Vera Version" dc:date-time="2021-08-21T16:02:00" xmlns:dc="http://purl.org/dc/elements/1.1/"/></VL:version-list>"""

ODP_CONTENT = HEAD + f"""<office:document-content {NS} xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3">
<office:body><office:presentation><draw:page draw:name="page1"><draw:frame><draw:text-box><text:p>Slide words stay</text:p></draw:text-box></draw:frame>
<draw:frame><draw:object xlink:href="./Object 1" xlink:type="simple"/></draw:frame>
<officeooo:annotation svg:x="0cm" svg:y="0cm"><dc:creator>Cora Commenter</dc:creator><dc:date>{STAMP[:-1]}</dc:date><meta:creator-initials>QZX</meta:creator-initials><text:p>Slide comment stays.</text:p></officeooo:annotation>
</draw:page></office:presentation></office:body></office:document-content>"""

# Styles that open with SVG-compatible elements, as LibreOffice writes gradients: still no drawing.
ODP_STYLES = HEAD + f"""<office:document-styles {NS} xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.3">
<office:styles><svg:linearGradient svg:x1="0"/><style:style style:name="P1" style:family="paragraph"><style:text-properties officeooo:rsid="0077cd88"/></style:style></office:styles></office:document-styles>"""

OBJECT_CONTENT = HEAD + f"""<office:document-content {NS} office:version="1.3"><office:body><office:chart/></office:body></office:document-content>"""


def manifest(paths):
    uri = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"
    lines = ['<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.text"/>']
    lines += [f'<manifest:file-entry manifest:full-path="{p}" manifest:media-type="{t}"/>' for p, t in paths]
    return (HEAD + f'<manifest:manifest xmlns:manifest="{uri}" manifest:version="1.3">'
            + "".join(lines) + "</manifest:manifest>")


ODT_PARTS = {
    "mimetype": "application/vnd.oasis.opendocument.text",
    "content.xml": ODT_CONTENT, "meta.xml": ODT_META, "settings.xml": ODT_SETTINGS,
    "Thumbnails/thumbnail.png": b"\x89PNG\r\n\x1a\nTHUMBNAIL-BYTES",
    "META-INF/manifest.xml": manifest([("content.xml", "text/xml"), ("meta.xml", "text/xml"),
                                       ("settings.xml", "text/xml"),
                                       ("Thumbnails/thumbnail.png", "image/png"),
                                       ("Pictures/lost.png", "image/png"),
                                       ("VersionList.xml", "text/xml"),
                                       ("Versions/Version1", "")]),
    "Configurations2/accelerator/current.xml": "",
    "VersionList.xml": VERSION_LIST,
    "Versions/Version1": b"a stored version by Vera Version",
}

ODP_PARTS = {
    "mimetype": "application/vnd.oasis.opendocument.presentation",
    "content.xml": ODP_CONTENT, "meta.xml": ODT_META, "styles.xml": ODP_STYLES,
    "Object 1/content.xml": OBJECT_CONTENT, "Object 1/meta.xml": ODT_META,
    "Object 1/settings.xml": ODT_SETTINGS,
    "META-INF/manifest.xml": manifest([("content.xml", "text/xml"), ("meta.xml", "text/xml"), ("styles.xml", "text/xml"),
                                       ("Object 1/", "application/vnd.oasis.opendocument.chart"),
                                       ("Object 1/content.xml", "text/xml"),
                                       ("Object 1/meta.xml", "text/xml"),
                                       ("Object 1/settings.xml", "text/xml")]),
}


def write_package(path, parts):
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in parts.items():
            entry = zipfile.ZipInfo(name, date_time=(2021, 8, 21, 16, 2, 0))
            entry.compress_type = zipfile.ZIP_STORED if name == "mimetype" else zipfile.ZIP_DEFLATED
            entry.extra = b"" if name == "mimetype" else EXTRA
            archive.writestr(entry, data.encode("utf-8") if isinstance(data, str) else data)


def broken_central_directory(data):
    """The first central directory record's CRC no longer matches its local header."""
    start = data.rfind(b"PK\x05\x06")
    directory = struct.unpack_from("<I", data, start + 16)[0]
    corrupted = bytearray(data)
    corrupted[directory + 16] ^= 0xFF
    return bytes(corrupted)


def shifted_local_times(data):
    """Every local header says another time than the central directory, as some writers leave it."""
    shifted = bytearray(data)
    start = shifted.find(b"PK\x03\x04")
    while start != -1:
        shifted[start + 10:start + 14] = struct.pack("<HH", 0x1234, 0x4321)
        start = shifted.find(b"PK\x03\x04", start + 4)
    return bytes(shifted)


def bomb(path, declared):
    """A small package whose one bzip2 entry unpacks to 16 MiB; `declared` sizes it as less."""
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr("[Content_Types].xml", types(DEFAULTS, []))
        archive.writestr("word/document.xml", bytes(16 << 20), compress_type=zipfile.ZIP_BZIP2)
    data = bytearray(path.read_bytes())
    if declared:
        local = data.find(b"PK\x03\x04", 4)
        central = data.rfind(b"PK\x01\x02")
        struct.pack_into("<I", data, local + 22, declared)
        struct.pack_into("<I", data, central + 24, declared)
    path.write_bytes(bytes(data))


def nested(depth):
    """A Word document holding itself, `depth` times over."""
    inner = b""
    for _ in range(depth):
        parts = {"[Content_Types].xml": types(DEFAULTS, []),
                 "word/document.xml": DOCUMENT}
        if inner:
            parts["word/embeddings/inner.docx"] = inner
        inner = package_bytes(parts)
    return inner


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


GPS = ["-GPSLatitude=12.3456", "-GPSLatitudeRef=N", "-GPSLongitude=65.4321", "-GPSLongitudeRef=E"]


def tool_made(suffix, make, *tags):
    """A file one tool makes and exiftool then gives GPS and tags."""
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "made" + suffix)
        make(path)
        if tags:
            run("exiftool", "-q", "-overwrite_original", *GPS, *tags, path)
        return pathlib.Path(path).read_bytes()


def picture(suffix, artist):
    return tool_made(suffix, lambda path: run("convert", "-size", "8x8", "xc:red", path),
                     "-Artist=" + artist)


def video_with_place():
    return tool_made(".mp4", lambda path: run(
        "ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=32x24:rate=5:duration=0.4",
        "-c:v", "libx264", "-metadata", "location=+12.3456+065.4321/", "-metadata",
        "artist=Mp4Artist42", path))


def phone_video():
    """The Apple-style MOV the video tests make: a place, a device, a Live Photo id."""
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import make_isobmff
    with tempfile.TemporaryDirectory() as scratch:
        make_isobmff.make_apple_mov(scratch)
        return pathlib.Path(scratch, "apple.mov").read_bytes()


SVG_HEAD = '<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"'
EXPORTED = (SVG_HEAD + ' xmlns:inkscape="http://www.inkscape.org/namespaces/inkscape"'
            ' inkscape:export-filename="/home/ann/Export/plan42.png"><rect width="4" height="4"/></svg>')


def styled_drawing(photo):
    """A drawing whose style sheet and style attribute embed a photo."""
    uri = "data:image/jpeg;base64," + __import__("base64").b64encode(photo).decode()
    return (SVG_HEAD + f'><style>rect {{ fill: url("{uri}") }}</style>'
            f'<rect width="4" height="4" style="background: url({uri})"/></svg>')


def plain_zip(photo):
    """A ZIP as a file manager makes it: times, extra fields and comments."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.comment = b"ZipComment42"
        for name, data in (("photo.jpg", photo), ("notes.txt", b"plain notes")):
            entry = zipfile.ZipInfo(name, date_time=(2021, 8, 21, 16, 2, 0))
            entry.extra, entry.comment = EXTRA, b"ZipComment42"
            archive.writestr(entry, data)
    return buffer.getvalue()


def counted(text):
    return struct.pack("<I", len(text) + 1) + text + b"\0"


def ole1_object(class_name, native):
    """An embedded OLE1 object as RTF's \\objdata holds it, with an empty presentation after."""
    return (struct.pack("<II", 0x501, 2) + counted(class_name) + counted(b"") + counted(b"")
            + struct.pack("<I", len(native)) + native + struct.pack("<II", 0x501, 0))


def linked_ole1_object():
    """A linked OLE1 object: the path and share of the workbook it shows."""
    return (struct.pack("<II", 0x501, 1) + counted(b"Excel.Sheet.8")
            + counted(b"C:\\Users\\LinkOwner42\\Sheets\\budget.xlsx") + counted(b"Sheet1!R1C1")
            + counted(b"\\\\srv\\LinkOwner42") + struct.pack("<II", 0, 2) + struct.pack("<II", 0x501, 0))


def rtf_with_object(ole1):
    return ("{\\rtf1\\ansi{\\object\\objemb{\\*\\objclass Word.Document.8}{\\*\\objdata\n"
            + ole1.hex() + "\n}}Text stays.}").encode()


def drawn_book(photo):
    """A book whose page draws inline and embeds a photo, with a style sheet that embeds it too, a
    video beside and the photo hidden as fonts are."""
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import make_documents
    uri = "data:image/jpeg;base64," + __import__("base64").b64encode(photo).decode()
    page = (HEAD + '<html xmlns="http://www.w3.org/1999/xhtml"><head><title>Page</title></head><body>'
            '<p>Kept words</p>' + EXPORTED.replace("<rect", '<sodipodi:namedview xmlns:sodipodi='
            '"http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd" pagecolor="#ffffff"/><rect')
            + f'<img src="{uri}" alt="photo"/></body></html>')
    parts = {"mimetype": "application/epub+zip", "OEBPS/media/clip.mp4": video_with_place(),
             "META-INF/container.xml": make_documents.CONTAINER,
             "OEBPS/content.opf": make_documents.OPF, "OEBPS/chapter1.xhtml": page,
             "OEBPS/style.css": f"p {{ background: url({uri}) }}",
             "OEBPS/images/hidden.jpeg": make_documents.hidden(photo),
             "META-INF/encryption.xml": make_documents.ENCRYPTION.format(
                 "http://www.idpf.org/2008/embedding").replace("fonts/kept.otf", "images/hidden.jpeg")}
    buffer = io.BytesIO()
    make_documents.write_epub(buffer, parts)
    return buffer.getvalue()


def embedding_package(parts, extensions):
    document = ("<w:document " + W + "><w:body><w:p><w:r><w:t>Files inside</w:t></w:r></w:p>"
                "</w:body></w:document>")
    return package_bytes({"[Content_Types].xml": types(DEFAULTS + extensions, []),
                          "word/document.xml": document, **parts})


def make_embedded_files(folder):
    """Files that hold files of every kind, each with values the test looks for."""
    photo = picture(".jpg", "JpegArtist42")
    (folder / "embedded-files.docx").write_bytes(embedding_package(
        {"word/media/image2.tiff": picture(".tiff", "TiffArtist42"),
         "word/media/video1.mp4": video_with_place(), "word/media/drawing1.svg": EXPORTED},
        [("tiff", "image/tiff"), ("mp4", "video/mp4"), ("svg", "image/svg+xml")]))
    (folder / "phone-video.pptx").write_bytes(embedding_package(
        {"ppt/media/media1.mov": phone_video()}, [("mov", "video/quicktime")]))
    (folder / "embedded-zip.docx").write_bytes(embedding_package(
        {"word/embeddings/archive.zip": plain_zip(photo)}, [("zip", "application/zip")]))
    object_rtf = rtf_with_object(ole1_object(b"Word.Document.8", compound_file("RtfObjectAuthor42")))
    (folder / "object.rtf").write_bytes(object_rtf)
    (folder / "linked-object.rtf").write_bytes(rtf_with_object(linked_ole1_object()))
    (folder / "styled.svg").write_text(styled_drawing(photo))
    (folder / "drawn.epub").write_bytes(drawn_book(photo))
    # Damaged ones, each refused whole.
    end = object_rtf.rindex(b"\n}}")
    (folder / "cut-object.rtf").write_bytes(object_rtf[:end - 600] + object_rtf[end:])
    (folder / "bad-uri.svg").write_text(SVG_HEAD + '><image href="data:image/jpeg;base64,QQ=QQ=="/></svg>')
    (folder / "broken-zip.docx").write_bytes(embedding_package(
        {"word/embeddings/archive.zip": plain_zip(photo)[:-30]}, []))
    stored = package_bytes({"padding.bin": os.urandom(5000), "[Content_Types].xml": types([], [])})
    (folder / "unrecognised.zip").write_bytes(stored)


def package_bytes(parts):
    buffer = io.BytesIO()
    write_package(buffer, parts)
    return buffer.getvalue()


def main(folder, picture_path):
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    picture = pathlib.Path(picture_path).read_bytes()
    workbook = package_bytes(XLSX_PARTS)
    (folder / "figures.xlsx").write_bytes(workbook)
    (folder / "object.bin").write_bytes(compound_file("Ann Author"))
    (folder / "letter.docx").write_bytes(shifted_local_times(package_bytes(docx_parts(picture, workbook))))
    write_package(folder / "slides.pptx", pptx_parts(workbook))
    write_package(folder / "letter.odt", ODT_PARTS)
    write_package(folder / "slides.odp", ODP_PARTS)
    whole = (folder / "letter.docx").read_bytes()
    (folder / "truncated.docx").write_bytes(whole[: len(whole) // 2])
    (folder / "broken-directory.docx").write_bytes(broken_central_directory(whole))
    # Office keeps a password-protected document in a compound file.
    (folder / "protected.docx").write_bytes(b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(504))
    parts = docx_parts(picture, workbook)
    del parts["[Content_Types].xml"]
    write_package(folder / "no-content-types.docx", parts)
    parts = docx_parts(picture, workbook[: len(workbook) // 2])
    write_package(folder / "broken-embedding.docx", parts)
    parts = dict(ODT_PARTS)
    del parts["META-INF/manifest.xml"]
    write_package(folder / "no-manifest.odt", parts)
    # Old manifests leave their prefix to be declared by a DTD.
    parts = dict(ODT_PARTS)
    parts["META-INF/manifest.xml"] = parts["META-INF/manifest.xml"].replace(
        ' xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"', "").replace(
        HEAD, HEAD + '<!DOCTYPE manifest:manifest PUBLIC "-//OpenOffice.org//DTD Manifest 1.0//EN" "Manifest.dtd">')
    write_package(folder / "old-manifest.odt", parts)
    bomb(folder / "size-bomb.docx", 1024)
    bomb(folder / "ratio-bomb.docx", 0)
    (folder / "nested.docx").write_bytes(nested(6))
    write_package(folder / "deep.docx", {"[Content_Types].xml": types(DEFAULTS, []),
                                         "word/document.xml": "<a>" * 1100 + "</a>" * 1100})
    write_package(folder / "crowded.docx", {"[Content_Types].xml": types(DEFAULTS, []),
                                            **{"word/%d.xml" % i: "" for i in range(65535)}})
    make_embedded_files(folder)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
