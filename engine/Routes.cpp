#include "engine/Routes.h"

#include "engine/JpegRoute.h"
#include "engine/Metadata.h"
#include "engine/PDF_Metadata.h"
#include "engine/WorkingCopy.h"
#include "formats/documents/Epub.h"
#include "formats/documents/Pdf.h"
#include "formats/documents/Rtf.h"
#include "formats/documents/Svg.h"
#include "formats/office/CompoundFile.h"
#include "formats/office/OfficeDocument.h"
#include "formats/office/OpenDocument.h"
#include "formats/pictures/Gif.h"
#include "formats/pictures/Jpeg.h"
#include "formats/pictures/Png.h"
#include "formats/pictures/Psd.h"
#include "formats/pictures/Tiff.h"
#include "formats/pictures/Webp.h"
#include "formats/sound/Flac.h"
#include "formats/sound/Mp3.h"
#include "formats/sound/Ogg.h"
#include "formats/video/Asf.h"
#include "formats/video/IsoBmff.h"
#include "formats/video/Matroska.h"
#include "formats/video/SoundVideo.h"

#include <QHash>
#include <QStringList>

namespace Routes {

namespace {

QString removePdfInformation(RouteContext &context, const QString &copy) {
    return PDF_Metadata::RemovePDFMetadata(context.desktop, context.programFolder,
                                           context.workingFolder, copy, context.keepGoing);
}

QString writeAnew(RouteContext &context, const QString &copy) {
    return Metadata::StripFile(context.desktop, copy, context.keepGoing);
}

// Kinds whose pass from formats/ does all the work, in memory.
template <Formats::Bytes (*clean)(const Formats::Bytes &)>
QString cleanInMemory(RouteContext &, const QString &copy) {
    WorkingCopy::write(copy, clean(WorkingCopy::read(copy)));
    return {};
}

// Kinds too large to hold in memory, whose pass overwrites what goes where it lies.
template <void (*clean)(Formats::ByteFile &)>
QString cleanInPlace(RouteContext &, const QString &copy) {
    Formats::ByteFile file(WorkingCopy::nativePath(copy), Formats::ByteFile::Mode::ReadWrite);
    clean(file);
    return {};
}

template <std::string (*check)(const Formats::Bytes &)>
std::string checkInMemory(Formats::ByteFile &result) {
    return check(result.readAll());
}

// A check that collects findings answers as the others do: with its findings or the damage it met.
template <Formats::Findings (*check)(const Formats::Bytes &)>
std::string findingsInMemory(Formats::ByteFile &result) {
    try {
        return check(result.readAll()).reason();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
}

}  // namespace

// A new kind of file gets a route here: its removal (in a file of its own under engine/ when it is
// more than a call) and its check from formats/, then its extensions in the table.
const Route &forExtension(const QString &extension) {
    static const Route jpeg{JpegRoute::removeMetadata, checkInMemory<Jpeg::remainingMetadata>};
    static const Route pdf{removePdfInformation, findingsInMemory<Pdf::remainingMetadata>};
    static const Route png{cleanInMemory<Png::clean>, checkInMemory<Png::remainingMetadata>};
    static const Route gif{cleanInMemory<Gif::clean>, checkInMemory<Gif::remainingMetadata>};
    static const Route webp{cleanInMemory<Webp::clean>, checkInMemory<Webp::remainingMetadata>};
    static const Route tiff{cleanInMemory<Tiff::clean>, checkInMemory<Tiff::remainingMetadata>};
    static const Route office{cleanInMemory<OfficeDocument::clean>,
                              checkInMemory<OfficeDocument::remainingMetadata>};
    static const Route compoundFile{cleanInMemory<CompoundFile::clean>,
                                    checkInMemory<CompoundFile::remainingMetadata>};
    static const Route openDocument{cleanInMemory<OpenDocument::clean>,
                                    checkInMemory<OpenDocument::remainingMetadata>};
    static const Route mp3{cleanInMemory<Mp3::clean>, checkInMemory<Mp3::remainingMetadata>};
    static const Route flac{cleanInMemory<Flac::clean>, checkInMemory<Flac::remainingMetadata>};
    static const Route ogg{cleanInMemory<Ogg::clean>, checkInMemory<Ogg::remainingMetadata>};
    static const Route book{cleanInMemory<Epub::clean>, checkInMemory<Epub::remainingMetadata>};
    static const Route drawing{cleanInMemory<Svg::clean>, checkInMemory<Svg::remainingMetadata>};
    static const Route richText{cleanInMemory<Rtf::clean>, checkInMemory<Rtf::remainingMetadata>};
    static const Route photoshop{cleanInMemory<Psd::clean>, checkInMemory<Psd::remainingMetadata>};
    static const Route matroska{cleanInPlace<Matroska::clean>, Matroska::remainingMetadata};
    static const Route avi{cleanInPlace<Avi::clean>, Avi::remainingMetadata};
    static const Route wav{cleanInPlace<Wav::clean>, Wav::remainingMetadata};
    static const Route aiff{cleanInPlace<Aiff::clean>, Aiff::remainingMetadata};
    static const Route asf{cleanInPlace<Asf::clean>, Asf::remainingMetadata};
    static const Route isoBmff{cleanInPlace<IsoBmff::clean>, IsoBmff::remainingMetadata};
    static const Route generic{writeAnew, nullptr};
    static const QHash<QString, const Route *> routes{
        {QStringLiteral("JPG"), &jpeg},
        {QStringLiteral("JPEG"), &jpeg},
        {QStringLiteral("JPE"), &jpeg},
        {QStringLiteral("PDF"), &pdf},
        {QStringLiteral("PNG"), &png},
        {QStringLiteral("GIF"), &gif},
        {QStringLiteral("WEBP"), &webp},
        {QStringLiteral("TIF"), &tiff},
        {QStringLiteral("TIFF"), &tiff},
        // Phone photos and videos: HEIF, AVIF, MP4, QuickTime, 3GPP
        {QStringLiteral("HEIC"), &isoBmff},
        {QStringLiteral("HEIF"), &isoBmff},
        {QStringLiteral("HIF"), &isoBmff},
        {QStringLiteral("AVIF"), &isoBmff},
        {QStringLiteral("MP4"), &isoBmff},
        {QStringLiteral("M4V"), &isoBmff},
        {QStringLiteral("M4A"), &isoBmff},
        {QStringLiteral("MOV"), &isoBmff},
        {QStringLiteral("QT"), &isoBmff},
        {QStringLiteral("3GP"), &isoBmff},
        {QStringLiteral("3G2"), &isoBmff},
        // Word, Excel and PowerPoint: documents, macro documents, templates, shows
        {QStringLiteral("DOCX"), &office},
        {QStringLiteral("DOCM"), &office},
        {QStringLiteral("DOTX"), &office},
        {QStringLiteral("DOTM"), &office},
        {QStringLiteral("XLSX"), &office},
        {QStringLiteral("XLSM"), &office},
        {QStringLiteral("XLTX"), &office},
        {QStringLiteral("XLTM"), &office},
        {QStringLiteral("PPTX"), &office},
        {QStringLiteral("PPTM"), &office},
        {QStringLiteral("POTX"), &office},
        {QStringLiteral("POTM"), &office},
        {QStringLiteral("PPSX"), &office},
        {QStringLiteral("PPSM"), &office},
        // The same before 2007: compound files
        {QStringLiteral("DOC"), &compoundFile},
        {QStringLiteral("DOT"), &compoundFile},
        {QStringLiteral("XLS"), &compoundFile},
        {QStringLiteral("XLT"), &compoundFile},
        {QStringLiteral("PPT"), &compoundFile},
        {QStringLiteral("POT"), &compoundFile},
        {QStringLiteral("PPS"), &compoundFile},
        // OpenDocument text, spreadsheet, presentation, drawing, and their templates
        {QStringLiteral("ODT"), &openDocument},
        {QStringLiteral("ODS"), &openDocument},
        {QStringLiteral("ODP"), &openDocument},
        {QStringLiteral("ODG"), &openDocument},
        {QStringLiteral("OTT"), &openDocument},
        {QStringLiteral("OTS"), &openDocument},
        {QStringLiteral("OTP"), &openDocument},
        {QStringLiteral("OTG"), &openDocument},
        {QStringLiteral("MP3"), &mp3},
        {QStringLiteral("FLAC"), &flac},
        // Vorbis, Opus and FLAC in Ogg
        {QStringLiteral("OGG"), &ogg},
        {QStringLiteral("OGA"), &ogg},
        {QStringLiteral("OPUS"), &ogg},
        {QStringLiteral("EPUB"), &book},
        {QStringLiteral("SVG"), &drawing},
        {QStringLiteral("RTF"), &richText},
        {QStringLiteral("PSD"), &photoshop},
        // Sound and video, walked where they lie
        {QStringLiteral("MKV"), &matroska},
        {QStringLiteral("MKA"), &matroska},
        {QStringLiteral("WEBM"), &matroska},
        {QStringLiteral("AVI"), &avi},
        {QStringLiteral("WAV"), &wav},
        {QStringLiteral("AIF"), &aiff},
        {QStringLiteral("AIFF"), &aiff},
        {QStringLiteral("AIFC"), &aiff},
        {QStringLiteral("WMA"), &asf},
        {QStringLiteral("WMV"), &asf},
        {QStringLiteral("ASF"), &asf},
    };
    return *routes.value(extension.toUpper(), &generic);
}

bool leavesMetadata(const QString &extension) {
    // Sound and newer and camera raw pictures.
    static const QStringList kinds =
        QStringLiteral("aac jxl dng cr2 cr3 nef arw orf rw2").split(QLatin1Char(' '));
    return kinds.contains(extension, Qt::CaseInsensitive);
}

QString remove(const Route &route, RouteContext &context, const QString &copy) {
    try {
        return route.remove(context, copy);
    } catch (const Formats::Refused &refused) {
        return QString::fromStdString(refused.what());
    }
}

QString check(const Route &route, const QString &copy) {
    if (!route.check) {
        return {};
    }
    Formats::ByteFile result(WorkingCopy::nativePath(copy), Formats::ByteFile::Mode::Read);
    return QString::fromStdString(route.check(result));
}

QStringList findings(const Route &route, const QString &file) {
    const QString holds = QStringLiteral("still holds ");
    QString reason;
    try {
        reason = check(route, file);
    } catch (const Formats::Refused &) {
        return {};  // damage, not metadata
    }
    const int at = reason.indexOf(holds);
    if (at < 0) {
        return {};
    }
    return reason.mid(at + holds.size()).split(QStringLiteral(", "), Qt::SkipEmptyParts);
}

}  // namespace Routes
