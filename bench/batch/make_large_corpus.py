#!/usr/bin/env python3
"""Makes the large batch of memory.sh in FOLDER/large: Word and OpenDocument texts of about
1.4 MB whose text part unpacks to about 300 MB, PDFs of about 40 MB (a picture of noise), and ZIP
archives that each hold one of those Word texts and a small note."""

import os
import shutil
import sys
import zipfile

import make_corpus

DOCX, ODT, PDFS, ZIPS = 2, 1, 3, 2
PARAGRAPHS = 3_000_000  # about 100 bytes each
PICTURE = (4096, 3400)  # RGB, about 40 MB


def large_body(paragraph):
    """Text that deflates about 200 to 1: mostly one sentence, now and then a number."""
    words = "The same sentence of the report, again and again."
    return "".join(paragraph % (words if i % 50 else str(i * 7919 % 1000003))
                   for i in range(PARAGRAPHS))


def large_docx(path):
    parts = make_corpus.docx_parts(0, b"not a photo")
    body = large_body('<w:p><w:r><w:t xml:space="preserve">%s</w:t></w:r></w:p>')
    parts["word/document.xml"] = f"<w:document {make_corpus.W}><w:body>{body}</w:body></w:document>"
    make_corpus.write_package(path, parts)


def large_odt(path):
    parts = make_corpus.odt_parts(0, b"not a photo")
    body = large_body("<text:p>%s</text:p>")
    parts["content.xml"] = (f"<office:document-content {make_corpus.ODF}><office:body><office:text>"
                            f"{body}</office:text></office:body></office:document-content>")
    make_corpus.write_package(path, parts)


def large_pdf(path):
    width, height = PICTURE
    picture = os.urandom(width * height * 3)
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        b"/Resources << /XObject << /Im1 5 0 R >> >> >>",
        b"<< /Length 33 >>\nstream\nq 612 0 0 792 0 0 cm /Im1 Do Q\n\nendstream",
        b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB "
        b"/BitsPerComponent 8 /Length %d >>\nstream\n" % (width, height, len(picture)) + picture +
        b"\nendstream",
        b"<< /Title (Large report) /Author (Ann Author) >>",
    ]
    with open(path, "wb") as pdf:
        pdf.write(make_corpus.pdf_file(objects, b"/Info 6 0 R"))


def main(folder):
    large = os.path.join(folder, "large")
    shutil.rmtree(large, ignore_errors=True)
    os.makedirs(large)
    first = os.path.join(large, "report_0.docx")
    large_docx(first)
    for i in range(1, DOCX):
        shutil.copyfile(first, os.path.join(large, "report_%d.docx" % i))
    large_odt(os.path.join(large, "text_0.odt"))
    for i in range(1, ODT):
        shutil.copyfile(os.path.join(large, "text_0.odt"), os.path.join(large, "text_%d.odt" % i))
    for i in range(PDFS):
        large_pdf(os.path.join(large, "scan_%d.pdf" % i))
    with open(first, "rb") as docx:
        report = docx.read()
    for i in range(ZIPS):
        with zipfile.ZipFile(os.path.join(large, "sent_%d.zip" % i), "w") as archive:
            archive.writestr("report.docx", report)
            archive.writestr("note.txt", "Sent from the office.")


if __name__ == "__main__":
    main(sys.argv[1])
