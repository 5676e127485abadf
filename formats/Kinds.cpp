#include "formats/Kinds.h"

#include "formats/archives/Archive.h"
#include "formats/core/ByteOrder.h"
#include "formats/core/Limits.h"
#include "formats/core/Notes.h"
#include "formats/core/Stop.h"
#include "formats/core/Zlib.h"
#include "formats/documents/Epub.h"
#include "formats/documents/Pdf.h"
#include "formats/documents/Rtf.h"
#include "formats/documents/Svg.h"
#include "formats/office/CompoundFile.h"
#include "formats/office/OfficeDocument.h"
#include "formats/office/OpenDocument.h"
#include "formats/office/Zip.h"
#include "formats/pictures/Gif.h"
#include "formats/pictures/Jpeg.h"
#include "formats/pictures/JpegXl.h"
#include "formats/pictures/Png.h"
#include "formats/pictures/Psd.h"
#include "formats/pictures/Tiff.h"
#include "formats/pictures/Webp.h"
#include "formats/sound/Aac.h"
#include "formats/sound/Flac.h"
#include "formats/sound/Mp3.h"
#include "formats/sound/Ogg.h"
#include "formats/video/Asf.h"
#include "formats/video/IsoBmff.h"
#include "formats/video/Matroska.h"
#include "formats/video/SoundVideo.h"

#include <algorithm>
#include <cctype>

namespace Kinds {

namespace {

using Formats::ByteFile;
using Formats::Bytes;
using Formats::Findings;

bool startsWith(std::string_view start, std::string_view signature, std::size_t at = 0) {
    return start.size() >= at + signature.size() && start.substr(at, signature.size()) == signature;
}

// Text kinds may open with a byte order mark and white space.
std::string_view withoutLeadingSpace(std::string_view start) {
    if (startsWith(start, "\xEF\xBB\xBF")) {
        start.remove_prefix(3);
    }
    while (!start.empty() && std::isspace(static_cast<unsigned char>(start.front()))) {
        start.remove_prefix(1);
    }
    return start;
}

// A pass that rewrites the whole file in memory.
template <Bytes (*pass)(const Bytes &)>
void whole(ByteFile &file, int) {
    file.replaceAll(pass(file.readAll()));
}
template <Bytes (*pass)(const Bytes &, int)>
void wholeNested(ByteFile &file, int depth) {
    file.replaceAll(pass(file.readAll(), depth));
}
template <void (*pass)(ByteFile &)>
void inPlace(ByteFile &file, int) {
    pass(file);
}

// A check that collects its findings.
template <Findings (*check)(const Bytes &)>
Findings ofWhole(ByteFile &result, int) {
    return check(result.readAll());
}
template <Findings (*check)(const Bytes &, int)>
Findings ofNested(ByteFile &result, int depth) {
    return check(result.readAll(), depth);
}
template <Findings (*check)(ByteFile &)>
Findings ofInPlace(ByteFile &result, int) {
    return check(result);
}

// A photo keeps its orientation, as it does through the JPEG route.
Bytes cleanJpeg(const Bytes &jpeg) {
    return Jpeg::clean(jpeg, Jpeg::orientation(jpeg));
}

bool isJpeg(std::string_view start) {
    return startsWith(start, "\xFF\xD8\xFF");
}
bool isPng(std::string_view start) {
    return startsWith(start, "\x89PNG\r\n\x1A\n");
}
bool isGif(std::string_view start) {
    return startsWith(start, "GIF87a") || startsWith(start, "GIF89a");
}
bool isWebp(std::string_view start) {
    return startsWith(start, "RIFF") && startsWith(start, "WEBP", 8);
}
bool isTiff(std::string_view start) {
    return startsWith(start, std::string_view("II*\0", 4)) ||
           startsWith(start, std::string_view("MM\0*", 4));
}
bool isPhotoshop(std::string_view start) {
    return startsWith(start, "8BPS");
}
bool isPdf(std::string_view start) {
    return start.substr(0, 1024).find("%PDF-") != std::string_view::npos;
}
bool isRtf(std::string_view start) {
    return startsWith(start, "{\\rtf");
}
bool isSvg(std::string_view start) {
    const std::string_view text = withoutLeadingSpace(start);
    return startsWith(text, "<") && text.find("<svg") != std::string_view::npos;
}
bool isZip(std::string_view start) {
    return startsWith(start, "PK\x03\x04");
}
// The first entry of an OpenDocument file or a book is its stored media type.
bool isEpub(std::string_view start) {
    return isZip(start) && startsWith(start, "mimetypeapplication/epub+zip", 30);
}
bool isOpenDocument(std::string_view start) {
    return isZip(start) && startsWith(start, "mimetypeapplication/vnd.oasis.opendocument", 30);
}
bool isOfficeDocument(std::string_view start) {
    return isZip(start) && (start.find("[Content_Types].xml") != std::string_view::npos ||
                            start.find("_rels/.rels") != std::string_view::npos);
}
bool isCompoundFile(std::string_view start) {
    return startsWith(start, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
}
bool isMp3(std::string_view start) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(start[at]); };
    // A frame: eleven sync bits, then a layer that is not the reserved 00 (ADTS sound has it).
    const bool frame =
        start.size() >= 2 && byte(0) == 0xFF && (byte(1) & 0xE0) == 0xE0 && (byte(1) & 0x06) != 0;
    return frame || startsWith(start, "ID3");
}
// ADTS sound: twelve sync bits, then the layer 00 that MP3 frames never have.
bool isAdts(std::string_view start) {
    return start.size() >= 2 && static_cast<unsigned char>(start[0]) == 0xFF &&
           (static_cast<unsigned char>(start[1]) & 0xF6) == 0xF0;
}
bool isFlac(std::string_view start) {
    return startsWith(start, "fLaC");
}
bool isOgg(std::string_view start) {
    return startsWith(start, "OggS");
}
bool isMatroska(std::string_view start) {
    return startsWith(start, "\x1A\x45\xDF\xA3");
}
bool isAvi(std::string_view start) {
    return startsWith(start, "RIFF") && startsWith(start, "AVI ", 8);
}
bool isWav(std::string_view start) {
    return (startsWith(start, "RIFF") || startsWith(start, "RF64") || startsWith(start, "BW64")) &&
           startsWith(start, "WAVE", 8);
}
bool isAiff(std::string_view start) {
    return startsWith(start, "FORM") &&
           (startsWith(start, "AIFF", 8) || startsWith(start, "AIFC", 8));
}
bool isAsf(std::string_view start) {
    return startsWith(start, "\x30\x26\xB2\x75\x8E\x66\xCF\x11");
}
bool isIsoMedia(std::string_view start) {
    return startsWith(start, "ftyp", 4);
}
bool isJpegXl(std::string_view start) {
    return startsWith(start, "\xFF\x0A") ||
           startsWith(start, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12));
}
bool isTar(std::string_view start) {
    return startsWith(start, "ustar", 257);
}
bool isSevenZip(std::string_view start) {
    return startsWith(start, "7z\xBC\xAF\x27\x1C");
}
bool isRar(std::string_view start) {
    return startsWith(start, "Rar!\x1A\x07");
}
bool isXmp(std::string_view start) {
    const std::string_view text = withoutLeadingSpace(start);
    return startsWith(text, "<?xpacket") || startsWith(text, "<x:xmpmeta");
}
// A Mac's Finder data beside a file on a disk that cannot hold it: "._photo.jpg".
bool isAppleDouble(std::string_view start) {
    return startsWith(start, std::string_view("\0\x05\x16\x07", 4));
}
bool isFinderFolderData(std::string_view start) {
    return startsWith(start, std::string_view("\0\0\0\x01"
                                              "Bud1",
                                              8));
}

const std::vector<Kind> &table() {
    // Order matters where recognition overlaps: the first kind that recognises content wins.
    static const std::vector<Kind> kinds = {
        {"JPEG picture",
         {"jpg", "jpeg", "jpe", "jfif", "jfi", "mpo"},
         isJpeg,
         whole<cleanJpeg>,
         ofWhole<Jpeg::check>},
        {"PNG picture", {"png"}, isPng, whole<Png::clean>, ofWhole<Png::check>},
        {"GIF picture", {"gif"}, isGif, whole<Gif::clean>, ofWhole<Gif::check>},
        {"WebP picture", {"webp"}, isWebp, whole<Webp::clean>, ofWhole<Webp::check>},
        {"TIFF picture", {"tif", "tiff"}, isTiff, whole<Tiff::clean>, ofWhole<Tiff::check>},
        {"Photoshop picture",
         {"psd"},
         isPhotoshop,
         wholeNested<Psd::cleanNested>,
         ofNested<Psd::checkNested>},
        {"PDF document",
         {"pdf"},
         isPdf,
         wholeNested<Pdf::cleanNested>,
         ofNested<Pdf::remainingMetadataNested>},
        {"EPUB book", {"epub"}, isEpub, wholeNested<Epub::cleanNested>, ofNested<Epub::findings>},
        {"OpenDocument file",
         {"odt", "ods", "odp", "odg", "ott", "ots", "otp", "otg"},
         isOpenDocument,
         wholeNested<OpenDocument::cleanNested>,
         ofNested<OpenDocument::findings>},
        {"Office document",
         {"docx", "docm", "dotx", "dotm", "xlsx", "xlsm", "xltx", "xltm", "pptx", "pptm", "potx",
          "potm", "ppsx", "ppsm"},
         isOfficeDocument,
         wholeNested<OfficeDocument::cleanNested>,
         ofNested<OfficeDocument::findings>},
        // After the packages above, which are ZIP archives too.
        {"ZIP archive", {"zip"}, isZip, wholeNested<Zip::clean>, ofNested<Zip::findings>},
        {"old Office document",
         {"doc", "dot", "xls", "xlt", "ppt", "pot", "pps"},
         isCompoundFile,
         wholeNested<CompoundFile::cleanNested>,
         ofNested<CompoundFile::findings>},
        {"RTF document", {"rtf"}, isRtf, wholeNested<Rtf::cleanNested>, ofNested<Rtf::findings>},
        {"SVG drawing", {"svg"}, isSvg, wholeNested<Svg::cleanNested>, ofNested<Svg::findings>},
        {"MP3 song", {"mp3"}, isMp3, whole<Mp3::clean>, ofWhole<Mp3::check>},
        {"FLAC song", {"flac"}, isFlac, whole<Flac::clean>, ofWhole<Flac::check>},
        {"Ogg sound", {"ogg", "oga", "opus"}, isOgg, whole<Ogg::clean>, ofWhole<Ogg::check>},
        {"Matroska video",
         {"mkv", "mka", "webm"},
         isMatroska,
         inPlace<Matroska::clean>,
         ofInPlace<Matroska::findings>,
         true},
        {"AVI video", {"avi"}, isAvi, inPlace<Avi::clean>, ofInPlace<Avi::findings>, true},
        {"WAV sound", {"wav"}, isWav, inPlace<Wav::clean>, ofInPlace<Wav::findings>, true},
        {"AIFF sound",
         {"aif", "aiff", "aifc"},
         isAiff,
         inPlace<Aiff::clean>,
         ofInPlace<Aiff::findings>,
         true},
        {"Windows Media file",
         {"wma", "wmv", "asf"},
         isAsf,
         inPlace<Asf::clean>,
         ofInPlace<Asf::findings>,
         true},
        {"phone photo or video",
         {"heic", "heif", "hif", "avif", "mp4", "m4v", "m4a", "mov", "qt", "3gp", "3g2"},
         isIsoMedia,
         inPlace<IsoBmff::clean>,
         ofInPlace<IsoBmff::findings>,
         true},
        {"AAC sound", {"aac"}, isAdts, whole<Aac::clean>, ofWhole<Aac::check>},
        {"TAR archive",
         {"tar", "tgz", "tbz", "tbz2", "txz", "tzst"},
         isTar,
         Archive::clean,
         Archive::remainingMetadata},
        {"7z archive", {"7z"}, isSevenZip, Archive::clean, Archive::remainingMetadata},
        {"JPEG XL picture",
         {"jxl"},
         isJpegXl,
         whole<JpegXl::clean>,
         ofWhole<JpegXl::remainingMetadata>},
        // Known to carry metadata that no pass removes yet (no free library writes RAR): written as
        // they are, and said so.
        {"RAR archive", {"rar"}, isRar, nullptr, nullptr},
        {"camera raw picture",
         {"dng", "cr2", "cr3", "nef", "arw", "orf", "rw2"},
         nullptr,
         nullptr,
         nullptr},
        // Nothing but metadata: never written out.
        {"XMP sidecar", {"xmp"}, isXmp, nullptr, nullptr, false, true},
        {"Finder data", {}, isAppleDouble, nullptr, nullptr, false, true},
        {"Finder folder data", {}, isFinderFolderData, nullptr, nullptr, false, true},
        {"Windows thumbnail cache", {}, nullptr, nullptr, nullptr, false, true},
    };
    return kinds;
}

const Kind &named(std::string_view name) {
    const std::vector<Kind> &kinds = table();
    return *std::find_if(kinds.begin(), kinds.end(),
                         [&](const Kind &kind) { return kind.name == name; });
}

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// What follows the last dot of the name at the end of a path; empty without one.
std::string extensionOf(const std::string &path) {
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    return name.find('.') == std::string::npos ? std::string() : name.substr(name.rfind('.') + 1);
}

bool isPackage(const Kind *kind) {
    return kind != nullptr &&
           (kind->recognises == isZip || kind->recognises == isEpub ||
            kind->recognises == isOpenDocument || kind->recognises == isOfficeDocument);
}

// A walk where the file lies holds a few blocks; a copy streams.
constexpr std::uint64_t SmallCost = std::uint64_t(8) << 20;
// A pass in memory holds the file, its cleaned copy and the check's read of it.
constexpr std::uint64_t WholeFileCopies = 3;

constexpr std::size_t DirectoryEntry = 46;
constexpr std::size_t LocalHeader = 30;
// A package inside a package is looked into up to this size; a larger one counts as the cap.
constexpr std::uint64_t NestedPackageRead = std::uint64_t(64) << 20;

std::uint64_t declaredUnpackedSize(ByteFile &zip, int depth);

// What the package whose directory entry stands at `at` unpacks to, read from its local header
// on and unpacked; the cap when it cannot be told.
std::uint64_t nestedUnpackedSize(ByteFile &zip, const Bytes &directory, std::size_t at, int depth) {
    constexpr unsigned Stored = 0, Deflated = 8;
    const unsigned method = Formats::littleEndian16(directory, at + 10);
    const std::uint64_t packed = Formats::littleEndian32(directory, at + 20);
    const std::uint64_t size = Formats::littleEndian32(directory, at + 24);
    const std::uint64_t header = Formats::littleEndian32(directory, at + 42);
    if (size > NestedPackageRead || packed > NestedPackageRead ||
        (method != Stored && method != Deflated)) {
        return Formats::Limits::UnpackedSize;
    }
    try {
        const Bytes local = zip.read(header, LocalHeader);
        const Bytes data = zip.read(header + LocalHeader + Formats::littleEndian16(local, 26) +
                                        Formats::littleEndian16(local, 28),
                                    static_cast<std::size_t>(packed));
        const Bytes package =
            method == Stored ? data : Formats::inflated(data, size, "a package", true);
        ByteFile nested(package);
        return declaredUnpackedSize(nested, depth + 1);
    } catch (const Formats::Refused &) {
        return Formats::Limits::UnpackedSize;
    }
}

// What a ZIP's central directory says its entries unpack to, with what the packages among them
// unpack to in turn, capped at what a package may unpack to; the cap when the directory cannot be
// read.
std::uint64_t declaredUnpackedSize(ByteFile &zip, int depth) {
    constexpr std::size_t EndRecord = 22;
    constexpr std::size_t EndSearch = EndRecord + 0xFFFF;  // the record and the longest comment
    const std::uint64_t cap = Formats::Limits::UnpackedSize;
    const std::uint64_t tailAt = zip.size() > EndSearch ? zip.size() - EndSearch : 0;
    const Bytes tail = zip.readUpTo(tailAt, EndSearch);
    const std::size_t end = tail.rfind("PK\x05\x06");
    if (end == Bytes::npos || tail.size() - end < EndRecord) {
        return cap;
    }
    const std::uint64_t directorySize = Formats::littleEndian32(tail, end + 12);
    const std::uint64_t directoryAt = Formats::littleEndian32(tail, end + 16);
    if (directoryAt > zip.size() || directorySize > std::min<std::uint64_t>(zip.size(), cap)) {
        return cap;
    }
    const Bytes directory = zip.readUpTo(directoryAt, static_cast<std::size_t>(directorySize));
    std::uint64_t total = 0;
    for (std::size_t at = 0; at + DirectoryEntry <= directory.size() && total < cap;) {
        if (directory.compare(at, 4, "PK\x01\x02") != 0) {
            return cap;
        }
        const std::size_t nameLength = Formats::littleEndian16(directory, at + 28);
        total += Formats::littleEndian32(directory, at + 24);
        if (depth < Formats::Limits::NestingDepth &&
            isPackage(
                forExtension(extensionOf(directory.substr(at + DirectoryEntry, nameLength))))) {
            total += nestedUnpackedSize(zip, directory, at, depth);
        }
        at += DirectoryEntry + nameLength + Formats::littleEndian16(directory, at + 30) +
              Formats::littleEndian16(directory, at + 32);
    }
    return std::min(total, cap);
}

}  // namespace

std::uint64_t memoryCost(const Kind *kind, ByteFile &file) {
    if (kind == nullptr || kind->clean == nullptr || kind->inPlace) {
        return SmallCost;
    }
    const std::uint64_t whole = WholeFileCopies * file.size() + SmallCost;
    return isZip(file.readUpTo(0, 4)) ? whole + WholeFileCopies * declaredUnpackedSize(file, 0)
                                      : whole;
}

const std::vector<Kind> &all() {
    return table();
}

const Kind *forExtension(std::string_view extension) {
    const std::string lower = lowered(extension);
    for (const Kind &kind : table()) {
        if (std::find(kind.extensions.begin(), kind.extensions.end(), lower) !=
            kind.extensions.end()) {
            return &kind;
        }
    }
    return nullptr;
}

const Kind *forContent(std::string_view start) {
    start = start.substr(0, Formats::Limits::RecognitionWindow);
    for (const Kind &kind : table()) {
        if (kind.recognises && kind.recognises(start)) {
            return &kind;
        }
    }
    return nullptr;
}

const Kind *forName(std::string_view fileName) {
    const std::string lower = lowered(fileName);
    if (lower == "thumbs.db" || lower == "ehthumbs.db") {
        return &named("Windows thumbnail cache");
    }
    for (const char *compressedTar : {".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst"}) {
        const std::string_view suffix(compressedTar);
        if (lower.size() > suffix.size() &&
            std::string_view(lower).substr(lower.size() - suffix.size()) == suffix) {
            return &named("TAR archive");
        }
    }
    if (lower == ".ds_store") {
        return &named("Finder folder data");
    }
    if (lower.rfind("._", 0) == 0) {
        return &named("Finder data");
    }
    return nullptr;
}

bool isMetadataItself(const std::string &path, const Bytes &content) {
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    for (const Kind *kind : {forName(name), forExtension(extensionOf(name)), forContent(content)}) {
        if (kind != nullptr && kind->isMetadata) {
            return true;
        }
    }
    return false;
}

Bytes cleanEmbedded(const Bytes &content, int depth, const std::string &where) {
    const Kind *kind = forContent(content);
    if (kind == nullptr || (kind->clean == nullptr && !kind->isMetadata)) {
        Formats::note("keeps " + where + " as it is: its kind is unknown");
        return content;
    }
    if (depth > Formats::Limits::NestingDepth) {
        throw Formats::Refused("files nested too deeply in " + where, Formats::Cause::TooLarge);
    }
    if (kind->isMetadata) {
        throw Formats::Refused(std::string(kind->name) + " in " + where);
    }
    Bytes cleaned = content;
    ByteFile file(cleaned);
    const Formats::InnerWalk inner;
    try {
        kind->clean(file, depth);
    } catch (const Formats::Refused &refused) {
        throw refused.in(where);
    }
    return cleaned;
}

Findings checkEmbedded(const Bytes &content, int depth) {
    const Kind *kind = forContent(content);
    Findings findings;
    if (kind == nullptr || kind->check == nullptr) {
        if (kind != nullptr && kind->isMetadata) {
            findings.add(kind->name);
        }
        return findings;
    }
    if (depth > Formats::Limits::NestingDepth) {
        findings.add("files nested too deeply");
        return findings;
    }
    ByteFile file(content);
    const Formats::InnerWalk inner;
    return kind->check(file, depth);
}

}  // namespace Kinds
