#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

// One-page PDFs with text, a link, a form field and an outline, each carrying one kind of
// metadata. Every value planted is marked (see pdfLeftovers), none of the kept content is.
enum class PdfKind {
    CustomInfo,          // information keys beyond the standard eight
    PageXmp,             // XMP stream on the page
    ImageXmp,            // XMP stream on an image the page draws
    FontXmp,             // XMP stream on a font written inside the page's resources
    PieceInfo,           // application data and dates on the page and the catalog
    TexFigure,           // an included figure with TeX's file name and information records
    UsageRights,         // /Perms /UR and /UR3 signatures, and an unsigned signature field
    SignedField,         // a signature field with a value
    Certified,           // a certification signature (/DocMDP)
    IncrementalUpdate,   // an update that hides an older page text and information
    ObjectStreams,       // page application data inside a compressed object stream
    OwnerPassword,       // encrypted with an owner password only
    EmbeddedJpeg,        // a photo with Exif, IPTC, XMP and a comment, drawn on the page
    Comments,            // a note by a named reviewer with its dates, and its popup's date
    AttachedPhoto,       // a file attachment annotation holding a photo with GPS position
    AttachedTiff,        // an attached two-page TIFF with author, camera and GPS position
    AttachedNotes,       // an attached text file with its folder and dates
    AttachedPdf,         // an attached PDF with document information
    DeeplyAttachedPdf,   // PDFs attached inside attached PDFs, deeper than is cleaned
    AttachedDamagedPdf,  // an attached PDF that cannot be read
    AttachedOffice,      // an attached Office document that cannot be read
    XfaPackets,          // an XFA form whose packets include XMP and a saved envelope
    XfaStream,           // an XFA form in one stream, with an XMP element and a saved envelope
    XfaDamaged,          // an XFA form whose compressed stream cannot be decompressed
    SharedInfo,          // document information that the catalog points to as well
    CatalogInfo,         // a catalog with a title that is the document information too
    LocalLinks,          // links that launch, open or point with file: to files in home folders
    AttachedFiles,       // attached MP4 with a place, SVG with its export folder, docx with author
    FlatedJpeg,          // a photo with Exif, deflated over its own compression
    Jpeg2000,            // a JPEG 2000 picture with XMP in an XML box and a UUID box
    DamagedJpeg2000,     // the same cut short inside its UUID box
    PageThumbnail,       // a page thumbnail that still shows the page's draft
};

QString makePdf(PdfKind kind, const QString &path);

// The actions of LocalLinks, one per link: each opens, reads or sends to a file in a home folder.
extern const std::vector<const char *> LocalLinkActions;
QString makePdfWithLink(const char *action, const QString &path);

// The planted values still found in the file, as bytes or UTF-16, once qpdf has expanded all its
// streams and objects and inflated the pictures stored deflated.
QStringList pdfLeftovers(const QString &path);

// What a reader shows: the extracted text, the decoded images, the annotations, the outline and
// the form fields.
QStringList pdfContent(const QString &path);

// Whether qpdf --check finds the file sound.
bool passesQpdfCheck(const QString &path);

// The file's bytes as a cleaning that only unlinks the document information would leave them.
QByteArray withInformationUnlinked(const QString &path);

// What the PDF check says of the bytes: the findings' reason, or the refusal's.
std::string pdfCheck(const QByteArray &bytes);

int pdfPageCount(const QString &path);

// The attached files by their names in the document's list, decoded.
QMap<QString, QByteArray> pdfAttachments(const QString &path);

// The stored data of each picture the pages draw, no filter undone.
QList<QByteArray> pdfPictureData(const QString &path);

// The two halves of the file identifier.
QList<QByteArray> pdfIdentifier(const QString &path);

// Where the page's links lead: the file names and web addresses of their actions.
QStringList pdfLinkTargets(const QString &path);
