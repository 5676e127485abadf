#!/usr/bin/env python3
"""Makes the old-format Office files the compound-file tests clean: a Word document, an Excel
workbook and a PowerPoint show, each with every document property filled with values a test can
look for and a comment by a named author (and the document a tracked change by another),
converted by LibreOffice from flat OpenDocument files.

    python3 make_compound_files.py FOLDER

Writes letter.doc, figures.xls and slides.ppt into FOLDER: one LibreOffice run per target
format, since a run converts to one format only.
"""

import pathlib
import subprocess
import sys

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

REMARK_BODY = ("<dc:creator>Cora Commenter</dc:creator><dc:date>2021-08-21T16:02:00</dc:date>"
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


if __name__ == "__main__":
    main(sys.argv[1])
