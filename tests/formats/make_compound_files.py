#!/usr/bin/env python3
"""Makes the old-format Office files the compound-file tests clean: a Word document, an Excel
workbook and a PowerPoint show, each with every document property filled with values a test can
look for and a comment by a named author with initials (and the document a tracked change by
another), converted by LibreOffice from flat OpenDocument files.

    python3 make_compound_files.py FOLDER

Writes letter.doc, figures.xls and slides.ppt into FOLDER: one LibreOffice run per target
format, since a run converts to one format only. Then, from their streams, objects.xls (a
workbook carrying a Word package, a packaged PDF and a whole PowerPoint show in storages of its
own, as Excel keeps embedded objects, and a photo), object.doc (a letter with a photo, whose
object's content is a PDF and which links to a file) and objects.ppt (a show embedding a storage
as it is and a packed one, with pictures, and naming linked, played and pictured files by path).
"""

import io
import pathlib
import struct
import subprocess
import sys
import zipfile
import zlib

OFFICE = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" '
          'xmlns:dc="http://purl.org/dc/elements/1.1/" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
          'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" '
          'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
          'office:version="1.3"')

META = """<office:meta>
<dc:title>Secret Title</dc:title><dc:subject>Secret Subject</dc:subject>
<dc:description>Secret Comment</dc:description>
<meta:keyword>secretkeywords</meta:keyword>
<meta:initial-creator>Ann Author</meta:initial-creator><dc:creator>Ed Editor</dc:creator>
<meta:creation-date>2021-08-21T16:02:00</meta:creation-date>
<dc:date>2021-08-22T17:03:00</dc:date><meta:print-date>2021-08-23T18:04:00</meta:print-date>
<meta:printed-by>Pat Printer</meta:printed-by>
<meta:editing-cycles>47</meta:editing-cycles><meta:editing-duration>PT4H11M</meta:editing-duration>
<meta:template xlink:href="Secret%20Template.ott" xmlns:xlink="http://www.w3.org/1999/xlink"/>
<meta:user-defined meta:name="Company">Carl Company</meta:user-defined>
<meta:user-defined meta:name="Manager">Mia Manager</meta:user-defined>
<meta:user-defined meta:name="Category">Secret Category</meta:user-defined>
<meta:user-defined meta:name="Client">Secret Client</meta:user-defined>
</office:meta>"""

TEXT = "The quick brown fox jumps over the lazy dog"

REMARK_BODY = ("<dc:creator>Cora Commenter</dc:creator><meta:creator-initials>QZXQ"
               "</meta:creator-initials><dc:date>2021-08-21T16:02:00</dc:date>"
               "<text:p>A remark</text:p>")
REMARK = f"<office:annotation>{REMARK_BODY}</office:annotation>"
SLIDE_REMARK = ('<officeooo:annotation xmlns:officeooo="http://openoffice.org/2009/office" '
                f'svg:x="1cm" svg:y="1cm">{REMARK_BODY}</officeooo:annotation>')
CHANGE = ('<text:tracked-changes><text:changed-region text:id="c1"><text:insertion>'
          "<office:change-info><dc:creator>Rita Reviewer</dc:creator>"
          "<dc:date>2021-08-21T16:02:00</dc:date></office:change-info></text:insertion>"
          "</text:changed-region></text:tracked-changes>")

DOCUMENTS = {
    "letter": ("text", f"<office:text>{CHANGE}<text:p>{TEXT}{REMARK}</text:p><text:p>Second "
                       '<text:change-start text:change-id="c1"/>added<text:change-end '
                       'text:change-id="c1"/> line</text:p></office:text>'),
    "figures": ("spreadsheet", "<office:spreadsheet><table:table table:name=\"Sheet1\">"
                               f"<table:table-row><table:table-cell>{REMARK}<text:p>{TEXT}</text:p>"
                               "</table:table-cell><table:table-cell office:value-type=\"float\" "
                               "office:value=\"42\"><text:p>42</text:p></table:table-cell>"
                               "</table:table-row></table:table></office:spreadsheet>"),
    "slides": ("presentation", "<office:presentation><draw:page draw:name=\"one\">"
                               "<draw:frame svg:x=\"2cm\" svg:y=\"2cm\" svg:width=\"20cm\" "
                               f"svg:height=\"4cm\"><draw:text-box><text:p>{TEXT}</text:p>"
                               f"</draw:text-box></draw:frame>{SLIDE_REMARK}</draw:page>"
                               "</office:presentation>"),
}

TARGETS = {"letter": "doc", "figures": "xls", "slides": "ppt"}


def flat(kind, body):
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document {OFFICE} '
            f'office:mimetype="application/vnd.oasis.opendocument.{kind}">{META}'
            f"<office:body>{body}</office:body></office:document>")


SECTOR = 512
END, FREE, TABLE = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD


def read_compound(data):
    """The root storage's streams of a compound file of 512-byte sectors with one table sector
    list in its header, by name."""
    table = b"".join(data[(n + 1) * SECTOR:(n + 2) * SECTOR]
                     for n in struct.unpack_from("<%dI" % struct.unpack_from("<I", data, 0x2C)[0],
                                                 data, 0x4C))
    fat = struct.unpack("<%dI" % (len(table) // 4), table)

    def chain(start, unit, source, table):
        out, at = b"", start
        while at != END:
            out += source[at * unit:(at + 1) * unit]
            at = table[at]
        return out

    sectors = data[SECTOR:]
    directory = chain(struct.unpack_from("<I", data, 0x30)[0], SECTOR, sectors, fat)
    mini_table = chain(struct.unpack_from("<I", data, 0x3C)[0], SECTOR, sectors, fat)
    mini_fat = struct.unpack("<%dI" % (len(mini_table) // 4), mini_table)
    entries = [directory[at:at + 128] for at in range(0, len(directory), 128)]
    mini = chain(struct.unpack_from("<I", entries[0], 0x74)[0], SECTOR, sectors, fat)
    streams = {}
    for entry in entries[1:]:
        if entry[0x42] != 2:
            continue
        name = entry[:struct.unpack_from("<H", entry, 0x40)[0] - 2].decode("utf-16-le")
        start, size = struct.unpack_from("<II", entry, 0x74)
        whole = (chain(start, 64, mini, mini_fat) if size < 4096
                 else chain(start, SECTOR, sectors, fat))
        streams[name] = whole[:size]
    return streams


def write_compound(tree):
    """A compound file of 512-byte sectors from a tree: names map to a stream's bytes or to a
    storage's own tree. Siblings form a chain in the order compound files sort names."""
    entries, body, mini, fat, mini_fat = [], bytearray(), bytearray(), [], []

    def place(into, table, data, unit):
        if not data:
            return END
        count = (len(data) + unit - 1) // unit
        first = len(table)
        table.extend(first + i + 1 for i in range(count - 1))
        table.append(END)
        into.extend(data + bytes(count * unit - len(data)))
        return first

    def entry(name, kind, start=0, size=0):
        raw = bytearray(128)
        encoded = name.encode("utf-16-le")
        raw[:len(encoded)] = encoded
        struct.pack_into("<HBBIII", raw, 0x40, len(encoded) + 2, kind, 1, FREE, FREE, FREE)
        struct.pack_into("<II", raw, 0x74, start, size)
        entries.append(raw)
        return len(entries) - 1

    def add(storage_index, children):
        previous = None
        for name in sorted(children, key=lambda n: (len(n), n.upper())):
            content = children[name]
            if isinstance(content, dict):
                index = entry(name, 1)
                add(index, content)
            elif len(content) < 4096:
                index = entry(name, 2, place(mini, mini_fat, content, 64), len(content))
            else:
                index = entry(name, 2, place(body, fat, content, SECTOR), len(content))
            if previous is None:
                struct.pack_into("<I", entries[storage_index], 0x4C, index)
            else:
                struct.pack_into("<I", entries[previous], 0x48, index)
            previous = index

    entry("Root Entry", 5)
    add(0, tree)
    struct.pack_into("<II", entries[0], 0x74, place(body, fat, bytes(mini), SECTOR), len(mini))
    mini_fat_start = place(body, fat, struct.pack("<%dI" % len(mini_fat), *mini_fat), SECTOR)
    while len(entries) % (SECTOR // 128):
        entry("", 0)
    directory_start = place(body, fat, b"".join(entries), SECTOR)
    count = 1
    while count * (SECTOR // 4) < len(fat) + count:
        count += 1
    assert count <= 109
    first = len(fat)
    fat += [TABLE] * count
    fat += [FREE] * (count * (SECTOR // 4) - len(fat))
    header = bytearray(SECTOR)
    header[:8] = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"
    struct.pack_into("<HHHHH", header, 0x18, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<IIIIIIII", header, 0x2C, count, directory_start, 0, 4096,
                     mini_fat_start, (len(mini_fat) * 4 + SECTOR - 1) // SECTOR, END, 0)
    struct.pack_into("<109I", header, 0x4C, *([first + i for i in range(count)]
                                             + [FREE] * (109 - count)))
    return bytes(header) + bytes(body) + struct.pack("<%dI" % len(fat), *fat)


def pdf(author):
    """A one-page PDF whose document information names its author."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
               b"<< /Author (" + author.encode() + b") /Producer (Secret Producer) >>"]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    out += (b"trailer\n<< /Size %d /Root 1 0 R /Info 4 0 R >>\nstartxref\n%d\n%%%%EOF\n"
            % (len(objects) + 1, xref))
    return bytes(out)


def docx():
    """A Word package whose core properties name its creator and last editor."""
    head = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    rels = "http://schemas.openxmlformats.org/package/2006/relationships"
    parts = {
        "[Content_Types].xml": head + '<Types xmlns="http://schemas.openxmlformats.org/package/'
        '2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats'
        '-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-'
        'officedocument.wordprocessingml.document.main+xml"/><Override PartName="/docProps/'
        'core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>'
        "</Types>",
        "_rels/.rels": head + f'<Relationships xmlns="{rels}"><Relationship Id="rId1" Type="'
        "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument"
        '" Target="word/document.xml"/><Relationship Id="rId2" Type="http://schemas.'
        'openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="'
        'docProps/core.xml"/></Relationships>',
        "word/document.xml": head + '<w:document xmlns:w="http://schemas.openxmlformats.org/'
        'wordprocessingml/2006/main"><w:body><w:p><w:r><w:t>Embedded words</w:t></w:r></w:p>'
        "</w:body></w:document>",
        "docProps/core.xml": head + '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats'
        '.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/">'
        "<dc:creator>Dora Creator</dc:creator><cp:lastModifiedBy>Luke Modifier</cp:lastModifiedBy>"
        "</cp:coreProperties>",
    }
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as package:
        for name, text in parts.items():
            package.writestr(name, text)
    return out.getvalue()


def packaged(label, source, temporary, content):
    """An OLE package's native data: the file, its label and the paths it came from."""
    def text(value):
        return value.encode("latin-1") + b"\0"

    def wide(value):
        return struct.pack("<I", len(value)) + value.encode("utf-16-le")

    body = (struct.pack("<H", 2) + text(label) + text(source) + struct.pack("<HH", 0, 3)
            + struct.pack("<I", len(temporary) + 1) + text(temporary)
            + struct.pack("<I", len(content)) + content
            + wide(temporary) + wide(label) + wide(source))
    return struct.pack("<I", len(body)) + body


def file_sharing(user):
    """A workbook's file-sharing record naming who reserved it."""
    return (struct.pack("<HHHHHB", 0x5B, 7 + 2 * len(user), 0, 0, len(user), 1)
            + user.encode("utf-16-le"))


def drawing_group(blip):
    """A workbook's drawing group holding one picture, in a record and a continue record that
    splits the picture's header."""
    entry = struct.pack("<BB16sHIIIBBBB", 5, 5, bytes(16), 0xFF, len(blip), 1, 0, 0, 0, 0, 0)
    entry = struct.pack("<HHI", 0x52, 0xF007, len(entry) + len(blip)) + entry + blip
    store = struct.pack("<HHI", 0x1F, 0xF001, len(entry)) + entry
    ids = struct.pack("<HHIIIII", 0, 0xF006, 16, 1024, 1, 0, 0)
    group = struct.pack("<HHI", 0xF, 0xF000, len(ids) + len(store)) + ids + store
    return b"".join(struct.pack("<HH", 0xEB if at == 0 else 0x3C, len(group[at:at + 600]))
                    + group[at:at + 600] for at in range(0, len(group), 600))


def with_records(book, records):
    """The workbook with records after its first one, and each sheet's offset moved past them."""
    first = 4 + struct.unpack_from("<H", book, 2)[0]
    book = bytearray(book[:first] + records + book[first:])
    at = 0
    while at + 4 <= len(book):
        kind, length = struct.unpack_from("<HH", book, at)
        if kind == 0x85:  # a sheet's place in the stream
            struct.pack_into("<I", book, at + 4, struct.unpack_from("<I", book, at + 4)[0]
                             + len(records))
        at += 4 + length
    return bytes(book)


def file_moniker(path):
    """A file moniker: its class, no parent steps, the path in single-byte then wide characters."""
    wide = path.encode("utf-16-le")
    return (bytes.fromhex("0303000000000000C000000000000046") + struct.pack("<HI", 0, len(path) + 1)
            + path.encode("latin-1") + b"\0" + struct.pack("<HH", 0xFFFF, 0xDEAD) + bytes(16)
            + struct.pack("<IIH", 6 + len(wide), len(wide), 3) + wide)


def linked_object(relative, absolute):
    """An object's \\1Ole stream for a file it links to, by relative and absolute path."""
    monikers = b"".join(struct.pack("<I", len(m)) + m
                        for m in (file_moniker(relative), file_moniker(absolute)))
    return (struct.pack("<IIIII", 0x02000001, 1, 1, 0, 0) + monikers
            + struct.pack("<I", 0xFFFFFFFF) + bytes(16 + 4 + 4 + 24))


def photo_blip(folder):
    """A picture as PowerPoint keeps it: a JPEG blip whose Exif, XMP and comment name people."""
    photo = folder / "sources" / "photo.jpg"
    subprocess.run(["convert", "-size", "16x16", "xc:red", str(photo)], check=True)
    subprocess.run(["exiftool", "-q", "-overwrite_original", "-Make=Gus Camera",
                    "-XMP-dc:Creator=Xena Creator", "-Comment=Gus Comment", str(photo)],
                   check=True)
    jpeg = photo.read_bytes()
    return struct.pack("<HHI", 0x46A0, 0xF01D, 17 + len(jpeg)) + bytes(16) + b"\xff" + jpeg


def png_blip():
    """A picture as PowerPoint keeps it: a PNG blip whose text names its author."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
           + chunk(b"tEXt", b"Author\0Pia Painter") + chunk(b"IDAT", zlib.compress(b"\0\xff\0\0"))
           + chunk(b"IEND", b""))
    return struct.pack("<HHI", 0x6E00, 0xF01E, 17 + len(png)) + bytes(16) + b"\xff" + png


def current_user(stream, name):
    """A show's Current User stream naming its last user in single-byte and wide characters."""
    fields = stream[8:20] + struct.pack("<H", len(name)) + stream[22:28]
    atom = fields + name.encode("latin-1") + struct.pack("<I", 8) + name.encode("utf-16-le")
    return struct.pack("<HHI", 0, 0x0FF6, len(atom)) + atom


def embed_objects(folder):
    photo = photo_blip(folder)
    book = read_compound((folder / "figures.xls").read_bytes())
    show = read_compound((folder / "slides.ppt").read_bytes())
    letter = read_compound((folder / "letter.doc").read_bytes())
    book.update({
        "MBD00000A01": {"Package": docx()},
        "MBD00000A02": {"\1Ole10Native": packaged(
            "report.pdf", "C:\\Hidden\\report.pdf", "C:\\Users\\Hidden\\Temp\\report.pdf",
            pdf("Paula Packaged"))},
        # Names in other letter cases than Office writes them are the same streams.
        "MBD00000A03": dict({name.upper() if name.startswith("\5") else name: data
                             for name, data in show.items()},
                            **{"Current User": current_user(show["Current User"],
                                                            "Cal Currentuser")}),
        "Workbook": with_records(book["Workbook"],
                                 file_sharing("Fern Sharer") + drawing_group(photo)),
    })
    (folder / "objects.xls").write_bytes(write_compound(book))
    letter["Data"] = photo  # where Word keeps its pictures
    letter["ObjectPool"] = {"_1234": {
        "CONTENTS": pdf("Olga Object"),
        "\1Ole": linked_object("..\\Linked\\budget.xlsx",
                               "C:\\Users\\Lena\\Linked\\budget.xlsx")}}
    (folder / "object.doc").write_bytes(write_compound(letter))
    objects = linked_files() + (object_storage(write_compound({"\5DocumentSummaryInformation":
                                              book["\5DocumentSummaryInformation"]}), False)
               + object_storage(write_compound({"Workbook": book["Workbook"]}), True))
    pictured = dict(show, Pictures=photo + png_blip())
    (folder / "objects.ppt").write_bytes(write_compound(with_objects(pictured, objects)))


def cstring(text, instance=0):
    """A PowerPoint string record."""
    data = text.encode("utf-16-le")
    return struct.pack("<HHI", instance << 4, 0x0FBA, len(data)) + data


def container(kind, body):
    return struct.pack("<HHI", 0xF, kind, len(body)) + body


def linked_files():
    """Records of a show that name files by their paths: hyperlinks to a local file, by its path
    and by its address, and to the web among its external objects, a sound in its collection, a picture's name in a shape's
    properties."""
    def hyperlink(target):
        return container(0x0FD7, struct.pack("<HHII", 0, 0x0FD3, 4, 1) + cstring(target)
                         + cstring(target, 1))

    name = "Y:\\Logos\\Firm-Logo.wmf".encode("utf-16-le") + bytes(2)
    return (container(0x0409, hyperlink("C:\\Users\\Hal\\Secret\\budget.xls")
                      + hyperlink("file:///C:/Users/Hal/Secret/memo.doc")
                      + hyperlink("http://example.com/keep/budget.xls"))
            + container(0x07E4, container(0x07E6, cstring(
                "C:\\Documents and Settings\\Nell\\Desktop\\chime.mp3") + cstring(".mp3", 1)))
            + struct.pack("<HHIHI", 0x13, 0xF00B, 6 + len(name), 0x8105, len(name)) + name)


def records(show):
    """Where each record at the top of a PowerPoint stream starts, its type and its end."""
    at = 0
    while at + 8 <= len(show):
        kind, length = struct.unpack_from("<2xHI", show, at)
        yield at, kind, at + 8 + length
        at += 8 + length


def with_objects(streams, objects):
    """The show with the object records inserted after its first record, and every offset that
    pointed past that moved with what it points to."""
    show = streams["PowerPoint Document"]
    first = next(records(show))[2]
    show = bytearray(show[:first] + objects + show[first:])

    def move(data, at):
        offset = struct.unpack_from("<I", data, at)[0]
        struct.pack_into("<I", data, at, offset + len(objects) if offset >= first else offset)

    for at, kind, end in records(show):
        if kind == 0x1772:  # persist directory: runs of offsets after their count
            entry = at + 8
            while entry < end:
                count = struct.unpack_from("<I", show, entry)[0] >> 20
                for i in range(1, count + 1):
                    move(show, entry + 4 * i)
                entry += 4 + 4 * count
        elif kind == 0x0FF5:  # user edit: the last edit's and the persist directory's offsets
            move(show, at + 16)
            move(show, at + 20)
    user = bytearray(streams["Current User"])
    move(user, 16)
    return dict(streams, **{"PowerPoint Document": bytes(show), "Current User": bytes(user)})


def object_storage(storage, packed):
    """A PowerPoint record that holds an embedded object's storage, packed with zlib or not."""
    if packed:
        body = struct.pack("<I", len(storage)) + zlib.compress(storage)
        return struct.pack("<HHI", 0x10, 0x1011, len(body)) + body
    return struct.pack("<HHI", 0, 0x1011, len(storage)) + storage


def main(folder):
    folder = pathlib.Path(folder)
    sources = folder / "sources"
    sources.mkdir(parents=True, exist_ok=True)
    extensions = {"text": "fodt", "spreadsheet": "fods", "presentation": "fodp"}
    for name, (kind, body) in DOCUMENTS.items():
        (sources / f"{name}.{extensions[kind]}").write_text(flat(kind, body), encoding="utf-8")
    # A profile in the folder, so that no run touches the user's own.
    profile = (folder / "profile").absolute().as_uri()
    for name, target in TARGETS.items():
        source = next(sources.glob(name + ".*"))
        subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless",
                        "--convert-to", target, "--outdir", str(folder), str(source)],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for name, target in TARGETS.items():
        if not (folder / f"{name}.{target}").is_file():
            sys.exit(f"LibreOffice wrote no {name}.{target}")
    embed_objects(folder)


if __name__ == "__main__":
    main(sys.argv[1])
